// Stores into script variables without temporaries.
//
// Variant's assignment and factories live out of line in the platform
// library, and the interpreter's inner loops store numbers into variables
// millions of times a second. These helpers build the new value straight in
// the variable's place. When the old value holds a payload it is moved out
// first and released only after the variable holds its new value: releasing
// the last reference to a script object runs its Class_Terminate, which may
// read that variable.
#pragma once

#include <cstdint>
#include <new>
#include <utility>

#include "platform/variant.h"

namespace tavrix::vbs {

// False for the types that certainly hold no counted payload (numbers, dates,
// Booleans, Empty, Null, references); a quicker test than Variant's own.
inline bool MayHoldPayload(VARTYPE vt) noexcept {
  // VT_BSTR 8, VT_DISPATCH 9, VT_UNKNOWN 13, VT_DECIMAL 14; any array.
  return vt < 16 ? ((0x6300u >> vt) & 1u) != 0 : (vt & VT_ARRAY) != 0;
}

// *dst = std::move(v).
inline void Store(Variant* dst, Variant&& v) noexcept {
  if (dst == &v) return;
  if (!MayHoldPayload(dst->vt())) {
    ::new (dst) Variant(std::move(v));
    return;
  }
  Variant old(std::move(*dst));
  ::new (dst) Variant(std::move(v));
}

// *dst = v.
inline void StoreCopy(Variant* dst, const Variant& v) noexcept {
  if (dst == &v) return;
  if (!MayHoldPayload(dst->vt())) {
    ::new (dst) Variant(v);
    return;
  }
  Variant old(std::move(*dst));
  ::new (dst) Variant(v);
}

// *dst = Empty.
inline void Reset(Variant* dst) noexcept {
  if (MayHoldPayload(dst->vt())) {
    Variant old(std::move(*dst));
  } else if (dst->vt() != VT_EMPTY) {
    ::new (dst) Variant();
  }
}

// *dst = make(), for a factory of a type without payload.
template <class Make>
inline void StoreScalar(Variant* dst, Make make) noexcept {
  if (!MayHoldPayload(dst->vt())) {
    ::new (dst) Variant(make());
    return;
  }
  Variant old(std::move(*dst));
  ::new (dst) Variant(make());
}

inline void StoreI2(Variant* dst, int16_t v) noexcept {
  StoreScalar(dst, [v] { return Variant::I2(v); });
}

inline void StoreI4(Variant* dst, int32_t v) noexcept {
  StoreScalar(dst, [v] { return Variant::I4(v); });
}

inline void StoreR8(Variant* dst, double v) noexcept {
  StoreScalar(dst, [v] { return Variant::R8(v); });
}

inline void StoreBool(Variant* dst, bool v) noexcept {
  StoreScalar(dst, [v] { return Variant::BoolRaw(v ? VARIANT_TRUE : VARIANT_FALSE); });
}

// An integer result of Integer / Long arithmetic: Integer while both operands
// were Integer and it fits, else Long, else Double (the overflow promotion
// of the language's operators).
inline void StoreInt(Variant* dst, int64_t r, bool wide) noexcept {
  if (!wide && r >= INT16_MIN && r <= INT16_MAX) {
    StoreI2(dst, static_cast<int16_t>(r));
  } else if (r >= INT32_MIN && r <= INT32_MAX) {
    StoreI4(dst, static_cast<int32_t>(r));
  } else {
    StoreR8(dst, static_cast<double>(r));
  }
}

}  // namespace tavrix::vbs
