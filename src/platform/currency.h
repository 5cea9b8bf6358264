// Currency arithmetic: 64-bit integers scaled by 10,000 (four decimals).
//
// Every operation rounds half to even ("banker's rounding") at the fourth
// decimal, as the platform's VarCy* functions do, and returns DISP_E_OVERFLOW
// when the result does not fit (then *out is unchanged). Conversions to
// integers round half to even to a whole number.
#pragma once

#include <cstdint>

#include "platform/result.h"
#include "platform/vartype.h"

namespace tavrix {

// Rounds half to even to a whole number (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
// NaN and infinities come back unchanged.
double RoundHalfEven(double v) noexcept;

// double -> currency; DISP_E_OVERFLOW for NaN, infinities and out of range.
HRESULT CyFromR8(double v, Currency* out) noexcept;
double CyToR8(Currency cy) noexcept;
HRESULT CyFromI8(int64_t v, Currency* out) noexcept;
HRESULT CyFromUI8(uint64_t v, Currency* out) noexcept;

// currency -> whole number, half to even; DISP_E_OVERFLOW when out of range of
// the target (CyToI4 checks the 32-bit range).
HRESULT CyToI8(Currency cy, int64_t* out) noexcept;
HRESULT CyToUI8(Currency cy, uint64_t* out) noexcept;
HRESULT CyToI4(Currency cy, int32_t* out) noexcept;

HRESULT CyAdd(Currency a, Currency b, Currency* out) noexcept;
HRESULT CySub(Currency a, Currency b, Currency* out) noexcept;
HRESULT CyMul(Currency a, Currency b, Currency* out) noexcept;     // exact, then rounded
HRESULT CyMulI4(Currency a, int32_t b, Currency* out) noexcept;
HRESULT CyMulI8(Currency a, int64_t b, Currency* out) noexcept;
// a / b rounded to four decimals; DISP_E_DIVBYZERO when b is 0.
HRESULT CyDiv(Currency a, Currency b, Currency* out) noexcept;
HRESULT CyNeg(Currency a, Currency* out) noexcept;
HRESULT CyAbs(Currency a, Currency* out) noexcept;
// Fix: toward zero; Int: toward minus infinity (whole units).
HRESULT CyFix(Currency a, Currency* out) noexcept;
HRESULT CyInt(Currency a, Currency* out) noexcept;
// Rounds half to even to `decimals` (0..4; more leaves the value as it is).
// E_INVALIDARG for negative decimals.
HRESULT CyRound(Currency a, int decimals, Currency* out) noexcept;
// -1, 0 or 1.
int CyCmp(Currency a, Currency b) noexcept;

}  // namespace tavrix
