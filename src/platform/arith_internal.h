// Shared by the variant operators (arith.cc, arith_logic.cc, compare.cc): how an
// operand is made ready and how values move between the numeric types.
//
// Not a public header: the operators' contracts live in platform/arith.h.
#pragma once

#include <cstdint>
#include <string>

#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix::arith_detail {

using Int128 = __int128;

// Makes an operand ready for an operator: a VT_BYREF|VT_VARIANT reference is
// followed, an object gives its default member (DISPID_VALUE, property get).
// Fails with DISP_E_BADVARTYPE for a type no variant may hold and with
// DISP_E_TYPEMISMATCH for arrays, VT_UNKNOWN, null objects and objects whose
// default value is itself an object; a failing default member returns its
// own code. VT_ERROR passes: each operator decides about it.
HRESULT Resolve(const Variant& in, Variant* out);
// Both operands; the types of both are checked before any object is called,
// so a bad type on the right is not hidden behind a call on the left.
HRESULT ResolveBoth(const Variant& left, const Variant& right, Variant* l, Variant* r);

// EMPTY, BOOL and the integer types I1 .. UINT.
bool IsIntegerType(VARTYPE vt) noexcept;
// Integer types, floats, CY, DATE and DECIMAL (not BSTR, NULL, ERROR).
bool IsNumericType(VARTYPE vt) noexcept;

// The exact value of an integer-typed variant (EMPTY is 0, BOOL -1 or 0).
Int128 IntegerOf(const Variant& v) noexcept;
// Any numeric variant as a double (CY and DECIMAL rounded to the nearest).
double RealOf(const Variant& v) noexcept;

// A number of the result type's range made from an integer; the caller has
// checked the range. For VT_BOOL the low 16 bits are kept.
Variant IntegerVariant(VARTYPE vt, int64_t value) noexcept;
// The range of an integer result type (UI1, I2, I4, I8 and the others).
bool FitsInteger(VARTYPE vt, Int128 value) noexcept;

// Rounds half to even to a whole number; DISP_E_OVERFLOW for NaN, infinities
// and values outside the range of `vt` (an integer type).
HRESULT RoundToInteger(double v, VARTYPE vt, int64_t* out) noexcept;

// A numeric variant as currency / decimal; DISP_E_OVERFLOW when out of range.
HRESULT CurrencyOf(const Variant& v, Currency* out) noexcept;
HRESULT DecimalOf(const Variant& v, Decimal* out) noexcept;

// A text as a number under the user default locale: VT_R8 on success,
// DISP_E_TYPEMISMATCH when it is no number (DISP_E_OVERFLOW when too large).
HRESULT NumberFromText(const std::string& text, Variant* out);
// A text that names a boolean ("True"/"False" or the default locale's words,
// without regard to case, surrounding blanks ignored).
bool BoolFromText(const std::string& text, bool* out);

// Dates outside 100-01-01 .. 9999-12-31 are no dates: such a result becomes
// VT_R8, as the platform promotes a date that overflows.
Variant DateOrReal(double v) noexcept;

}  // namespace tavrix::arith_detail
