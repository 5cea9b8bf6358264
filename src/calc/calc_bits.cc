// Shifts, the bit mask and BCD (codes 9, 10, 32, 33, 34).
//
// Shifts work on the bits of the eight integer types and keep the left
// operand's type. Every shift below is done on unsigned or widened values
// with a count inside the width, so no count a project or a device gives can
// reach an undefined shift:
//  - versioned projects refuse counts outside 0..31 (types up to 32 bits) or
//    0..63 (64-bit types);
//  - other projects use the count's low 5 bits on types up to 32 bits, where
//    the value is shifted as 32 bits (sign-extended for signed types) and cut
//    back to its width, and the count's low 8 bits on 64-bit types, where 64
//    and more shift every bit out (a negative value shifted right
//    arithmetically keeps only sign bits).
// Right shifts are arithmetic for VT_I1, VT_I2, VT_I4, VT_I8 and logical for
// the unsigned types.

#include <cmath>
#include <cstdint>
#include <utility>

#include "calc/calc_functions.h"
#include "calc/calc_operations.h"
#include "item/value_filters.h"
#include "platform/convert.h"

namespace tavrix::calc {
namespace {

enum class Direction { kLeft, kRight };

// The width in bits of a type that shifts, 0 for any other type.
int ShiftWidth(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: return 8;
    case VT_I2: case VT_UI2: return 16;
    case VT_I4: case VT_UI4: return 32;
    case VT_I8: case VT_UI8: return 64;
    default: return 0;
  }
}

bool IsSigned(VARTYPE vt) { return vt == VT_I1 || vt == VT_I2 || vt == VT_I4 || vt == VT_I8; }

// The shift count the right operand gives. The 64-bit integers count only in
// versioned projects, by their low 32 bits. A float is truncated towards zero
// and must then fit a 32-bit count.
HRESULT ShiftCount(const Variant& right, bool versioned, int64_t* count) {
  switch (right.vt()) {
    case VT_I1: *count = right.i1(); return S_OK;
    case VT_UI1: *count = right.ui1(); return S_OK;
    case VT_I2: *count = right.i2(); return S_OK;
    case VT_UI2: *count = right.ui2(); return S_OK;
    case VT_I4: *count = right.i4(); return S_OK;
    case VT_UI4: *count = right.ui4(); return S_OK;
    case VT_R4:
    case VT_R8: {
      const double value = std::trunc(right.vt() == VT_R4 ? double{right.r4()} : right.r8());
      // NaN fails both tests.
      if (!(value >= INT32_MIN && value <= INT32_MAX)) return E_INVALIDARG;
      *count = static_cast<int64_t>(value);
      return S_OK;
    }
    case VT_I8:
    case VT_UI8:
      if (!versioned) return E_INVALIDARG;
      *count = static_cast<int32_t>(static_cast<uint32_t>(IntegerBits(right)));
      return S_OK;
    default:
      return E_INVALIDARG;
  }
}

// `bits` holds the value sign-extended (signed types) or zero-extended to 64
// bits; 0 <= shift < 32.
uint32_t Shift32(uint64_t bits, bool isSigned, Direction direction, int shift) {
  const auto value = static_cast<uint32_t>(bits);
  if (direction == Direction::kLeft) return value << shift;
  if (isSigned) return static_cast<uint32_t>(static_cast<int32_t>(value) >> shift);
  return value >> shift;
}

// 0 <= shift < 64.
uint64_t Shift64(uint64_t bits, bool isSigned, Direction direction, int shift) {
  if (direction == Direction::kLeft) return bits << shift;
  if (isSigned) return static_cast<uint64_t>(static_cast<int64_t>(bits) >> shift);
  return bits >> shift;
}

HRESULT Shift(Direction direction, const Variant& leftIn, const Variant& rightIn,
              const CalcSettings& settings, Variant* out) {
  const Variant& left = leftIn.Deref();
  const Variant& right = rightIn.Deref();
  const int width = ShiftWidth(left.vt());
  if (width == 0) return E_INVALIDARG;
  int64_t count = 0;
  RETURN_IF_FAILED(ShiftCount(right, settings.versioned, &count));
  const bool isSigned = IsSigned(left.vt());
  const uint64_t bits = IntegerBits(left);
  if (settings.versioned && (count < 0 || count > (width == 64 ? 63 : 31))) return E_INVALIDARG;
  if (width < 64) {
    // Two's complement low bits: -1 counts as 31, 32 as 0.
    const int shift = static_cast<int>(static_cast<uint64_t>(count) & 31);
    *out = IntegerFromBits(left.vt(), Shift32(bits, isSigned, direction, shift));
    return S_OK;
  }
  const int shift = static_cast<int>(static_cast<uint64_t>(count) & 0xFF);
  uint64_t result;
  if (shift < 64) {
    result = Shift64(bits, isSigned, direction, shift);
  } else {
    const bool signFill = direction == Direction::kRight && isSigned && (bits >> 63) != 0;
    result = signFill ? ~uint64_t{0} : 0;
  }
  *out = IntegerFromBits(left.vt(), result);
  return S_OK;
}

}  // namespace

HRESULT ShiftLeft(const Variant& left, const Variant& right, const CalcSettings& settings,
                  Variant* out) {
  return Shift(Direction::kLeft, left, right, settings, out);
}

HRESULT ShiftRight(const Variant& left, const Variant& right, const CalcSettings& settings,
                   Variant* out) {
  return Shift(Direction::kRight, left, right, settings, out);
}

HRESULT BitMask(const Variant& left, const Variant& right, const CalcSettings& settings,
                Variant* out) {
  Variant mask;
  RETURN_IF_FAILED(ChangeType(right, VT_I8, &mask, 0, settings.lcid));
  Variant value = left.Deref();
  RETURN_IF_FAILED(ApplyMask(&value, mask.i8()));
  *out = std::move(value);
  return S_OK;
}

HRESULT ToBcd(const Variant& operand, const CalcSettings& settings, Variant* out) {
  Variant value = operand.Deref();
  RETURN_IF_FAILED(EncodeBcd(&value, settings.versioned));
  *out = std::move(value);
  return S_OK;
}

HRESULT FromBcd(const Variant& operand, const CalcSettings& settings, Variant* out) {
  Variant value = operand.Deref();
  RETURN_IF_FAILED(DecodeBcd(&value, settings.versioned));
  *out = std::move(value);
  return S_OK;
}

}  // namespace tavrix::calc
