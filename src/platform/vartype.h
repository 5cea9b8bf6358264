// Variant type numbers and the small value structs a variant can hold.
//
// The numbers are the platform's: they appear in project files, typed texts,
// history rows and backup files, so they never change.
#pragma once

#include <cstdint>
#include <string>

namespace tavrix {

using VARTYPE = uint16_t;

enum : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

using VARIANT_BOOL = int16_t;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Currency: a 64-bit integer scaled by 10,000.
struct Currency {
  int64_t int64 = 0;
  static constexpr int64_t kScale = 10000;
  friend bool operator==(const Currency&, const Currency&) = default;
};

// Decimal: a 96-bit unsigned mantissa, a power-of-ten scale (0..28) and a sign.
struct Decimal {
  uint8_t scale = 0;
  bool negative = false;
  uint16_t reserved = 0;  // always 0: keeps the struct free of padding bytes
  uint32_t hi32 = 0;
  uint64_t lo64 = 0;
  friend bool operator==(const Decimal&, const Decimal&) = default;
};

// Size in bytes of one element of a fixed-size type (0 for texts, variants,
// objects and unknown types).
size_t VarTypeSize(VARTYPE vt) noexcept;

// True for the scalar types a variant can hold by value (EMPTY to UINT, no flags).
bool IsKnownScalarType(VARTYPE vt) noexcept;

// "VT_I4", "VT_ARRAY|VT_UI1", "VT_BYREF|VT_VARIANT": for log lines and test output.
std::string VarTypeName(VARTYPE vt);

}  // namespace tavrix
