// Variant: the tagged value that travels between items, triggers, scripts,
// clients and plug-ins.
//
// A variant is 16 bytes. Numbers are held inline; texts, arrays and decimals
// are shared immutable payloads, so copying a variant never copies them.
// Changing an array through MutableArray() copies it first when it is shared.
// Texts are UTF-8; text lengths in the platform's sense (UTF-16 code units)
// come from platform/text.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ref.h"
#include "platform/unknown.h"
#include "platform/vartype.h"

namespace tavrix {

class SafeArray;

class Variant {
 public:
  Variant() noexcept { u_.i64 = 0; }
  ~Variant() {
    if (HasCountedPayload(vt_)) ReleasePayload();
  }
  Variant(const Variant& o) noexcept : vt_(o.vt_), u_(o.u_) {
    if (HasCountedPayload(vt_)) AddRefPayload();
  }
  Variant(Variant&& o) noexcept : vt_(o.vt_), u_(o.u_) {
    o.vt_ = VT_EMPTY;
    o.u_.i64 = 0;
  }
  Variant& operator=(const Variant& o) noexcept;
  Variant& operator=(Variant&& o) noexcept;

  // Convenience constructors for the common types.
  explicit Variant(bool b) noexcept : Variant(Bool(b)) {}
  explicit Variant(int32_t v) noexcept : Variant(I4(v)) {}
  explicit Variant(double v) noexcept : Variant(R8(v)) {}
  explicit Variant(std::string_view s) : Variant(Text(s)) {}
  explicit Variant(const char* s) : Variant(Text(s)) {}
  explicit Variant(const std::string& s) : Variant(Text(s)) {}

  static Variant Empty() noexcept { return Variant(); }
  static Variant Null() noexcept;
  static Variant I1(int8_t v) noexcept;
  static Variant UI1(uint8_t v) noexcept;
  static Variant I2(int16_t v) noexcept;
  static Variant UI2(uint16_t v) noexcept;
  static Variant I4(int32_t v) noexcept;
  static Variant UI4(uint32_t v) noexcept;
  static Variant I8(int64_t v) noexcept;
  static Variant UI8(uint64_t v) noexcept;
  static Variant Int(int32_t v) noexcept;
  static Variant UInt(uint32_t v) noexcept;
  static Variant R4(float v) noexcept;
  static Variant R8(double v) noexcept;
  static Variant Bool(bool v) noexcept;
  static Variant BoolRaw(VARIANT_BOOL v) noexcept;  // keeps any 16-bit pattern
  static Variant Cy(Currency v) noexcept;
  static Variant Date(double days) noexcept;
  static Variant Error(int32_t scode) noexcept;
  static Variant Text(std::string_view s);
  static Variant Dec(const Decimal& d);
  static Variant Dispatch(Ref<IDispatch> p) noexcept;
  static Variant Unknown(Ref<IUnknown> p) noexcept;
  // An array; the variant type is VT_ARRAY | the array's element type.
  static Variant Array(Ref<SafeArray> a) noexcept;
  // A reference to another variant (VT_BYREF|VT_VARIANT). The target must
  // outlive this variant; used for ByRef arguments of dispatch calls.
  static Variant ByRef(Variant* target) noexcept;
  // The "missing optional argument" marker: VT_ERROR DISP_E_PARAMNOTFOUND.
  static Variant Missing() noexcept;

  VARTYPE vt() const noexcept { return vt_; }
  bool IsEmpty() const noexcept { return vt_ == VT_EMPTY; }
  bool IsNull() const noexcept { return vt_ == VT_NULL; }
  bool IsArray() const noexcept { return (vt_ & VT_ARRAY) != 0; }
  bool IsByRef() const noexcept { return (vt_ & VT_BYREF) != 0; }
  bool IsMissing() const noexcept;
  bool IsText() const noexcept { return vt_ == VT_BSTR; }
  bool IsObject() const noexcept { return vt_ == VT_DISPATCH || vt_ == VT_UNKNOWN; }

  // Typed access. Each requires vt() to be that type exactly.
  int8_t i1() const noexcept { return u_.i1; }
  uint8_t ui1() const noexcept { return u_.ui1; }
  int16_t i2() const noexcept { return u_.i2; }
  uint16_t ui2() const noexcept { return u_.ui2; }
  int32_t i4() const noexcept { return u_.i4; }  // also VT_INT and VT_ERROR
  uint32_t ui4() const noexcept { return u_.ui4; }  // also VT_UINT
  int64_t i8() const noexcept { return u_.i64; }
  uint64_t ui8() const noexcept { return u_.ui64; }
  float r4() const noexcept { return u_.r4; }
  double r8() const noexcept { return u_.r8; }
  double date() const noexcept { return u_.r8; }
  VARIANT_BOOL boolVal() const noexcept { return u_.i2; }
  bool isTrue() const noexcept { return u_.i2 != 0; }
  Currency cy() const noexcept { return Currency{u_.i64}; }
  int32_t scode() const noexcept { return u_.i4; }
  const std::string& text() const noexcept;
  const Decimal& dec() const noexcept;
  IDispatch* dispatch() const noexcept { return vt_ == VT_DISPATCH ? u_.disp : nullptr; }
  IUnknown* unknown() const noexcept;  // VT_UNKNOWN or VT_DISPATCH
  const SafeArray& array() const noexcept;
  Ref<SafeArray> arrayRef() const noexcept;
  // The array for changing; copied first when another variant shares it.
  SafeArray& MutableArray();
  Variant* byref() const noexcept { return u_.ref; }

  // Follows a VT_BYREF|VT_VARIANT reference once; otherwise returns *this.
  const Variant& Deref() const noexcept;

  void Clear() noexcept;
  void swap(Variant& o) noexcept;

  // Same type and the same value: texts by content, arrays element by element
  // (with the same bounds), objects by identity, floats bit for bit (so NaN
  // equals itself and 0.0 differs from -0.0). This is "unchanged" for change
  // detection and the round-trip test of typed texts.
  bool Identical(const Variant& o) const;

 private:
  struct TextPayload;
  struct DecimalPayload;

  // True for the types whose payload is reference counted (the payload
  // pointer itself may still be null). Numbers take the inline fast path.
  static constexpr bool HasCountedPayload(VARTYPE vt) noexcept {
    if (vt & VT_BYREF) return false;
    return (vt & VT_ARRAY) != 0 || vt == VT_BSTR || vt == VT_DECIMAL || vt == VT_DISPATCH ||
           vt == VT_UNKNOWN;
  }
  void ReleasePayload() noexcept;
  void AddRefPayload() const noexcept;
  bool HoldsPayload() const noexcept;

  VARTYPE vt_ = VT_EMPTY;
  union {
    int8_t i1;
    uint8_t ui1;
    int16_t i2;
    uint16_t ui2;
    int32_t i4;
    uint32_t ui4;
    int64_t i64;
    uint64_t ui64;
    float r4;
    double r8;
    const TextPayload* text;
    const DecimalPayload* dec;
    SafeArray* array;
    IDispatch* disp;
    IUnknown* unk;
    Variant* ref;
  } u_;
};

static_assert(sizeof(Variant) == 16);

// Integer variants (VT_I1, UI1, I2, UI2, I4, UI4, INT, UINT, I8, UI8) as bits.
bool IsIntegerVarType(VARTYPE vt) noexcept;
// The value's bits as unsigned 64-bit, sign-extended for signed types.
// REQUIRES: IsIntegerVarType(value.vt()).
uint64_t IntegerBits(const Variant& value) noexcept;
// An integer variant of type vt holding the low bits of `bits` (cut to the
// type's width). REQUIRES: IsIntegerVarType(vt).
Variant IntegerFromBits(VARTYPE vt, uint64_t bits) noexcept;

// Prints type and value for test failure messages.
std::string DebugString(const Variant& v);

}  // namespace tavrix
