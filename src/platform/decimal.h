// Decimal (VT_DECIMAL) conversions and comparison.
//
// A Decimal is a 96-bit magnitude, a power-of-ten scale 0..28 and a sign. The
// conversions follow the platform's VarDecFrom* / VarXxFromDec: integers are
// exact, doubles keep 15 significant digits (floats 7), conversions to whole
// numbers and to currency round half to even, and a value that does not fit
// gives DISP_E_OVERFLOW (then *out is unchanged).
//
// Decimal arithmetic is limited to DecAdd, DecSub and DecMul (exact, then
// rounded half to even to fit 96 bits); division and everything else goes
// through doubles (DecToR8), which keeps 15 significant digits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"
#include "platform/vartype.h"

namespace tavrix {

inline constexpr int kDecimalMaxScale = 28;

Decimal DecFromI8(int64_t v) noexcept;
Decimal DecFromUI8(uint64_t v) noexcept;
Decimal DecFromCy(Currency cy) noexcept;  // scale 4
// 15 significant digits (R4: 7), trailing zeros dropped; DISP_E_OVERFLOW for
// NaN, infinities and magnitudes of 2^96 and more.
HRESULT DecFromR8(double v, Decimal* out) noexcept;
HRESULT DecFromR4(float v, Decimal* out) noexcept;

// The value (-1)^negative * digits * 10^exponent, where digits is a run of
// ASCII decimal digits (leading zeros allowed, may be empty for 0). Digits
// beyond the 96-bit magnitude or past 28 decimals are rounded half to even;
// DISP_E_OVERFLOW when the whole part does not fit, E_INVALIDARG for a
// non-digit.
HRESULT DecFromDigits(bool negative, std::string_view digits, int exponent,
                      Decimal* out) noexcept;

// Whole numbers, half to even; DISP_E_OVERFLOW when out of range.
HRESULT DecToI8(const Decimal& d, int64_t* out) noexcept;
HRESULT DecToUI8(const Decimal& d, uint64_t* out) noexcept;
// Four decimals, half to even; DISP_E_OVERFLOW when out of range.
HRESULT DecToCy(const Decimal& d, Currency* out) noexcept;
double DecToR8(const Decimal& d) noexcept;

// Plain decimal text without trailing zeros after the separator ("-1.5", "0").
std::string DecToText(const Decimal& d, std::string_view decimalSep = ".");

bool DecIsZero(const Decimal& d) noexcept;
// -1, 0 or 1 by value (1.50 equals 1.5; -0 equals 0).
int DecCmp(const Decimal& a, const Decimal& b) noexcept;

HRESULT DecAdd(const Decimal& a, const Decimal& b, Decimal* out) noexcept;
HRESULT DecSub(const Decimal& a, const Decimal& b, Decimal* out) noexcept;
HRESULT DecMul(const Decimal& a, const Decimal& b, Decimal* out) noexcept;

}  // namespace tavrix
