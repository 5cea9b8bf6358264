// Variant arithmetic, logic and comparison: the platform's operator rules.
//
// Each operation follows the documented behaviour of its platform function
// (VarAdd and the rest). Common to all of them:
//  - Operands: a VT_BYREF|VT_VARIANT reference is followed once; an object
//    (VT_DISPATCH) gives its default member (DISPID_VALUE, property get) and a
//    failing member returns its code. DISP_E_BADVARTYPE for a type no variant
//    may hold (also a null reference or a reference to a reference);
//    DISP_E_TYPEMISMATCH for arrays, VT_UNKNOWN, null objects, VT_ERROR and a
//    text that is no number. Operand checks come before NULL propagation.
//  - NULL with anything gives NULL, except where noted below.
//  - EMPTY takes the type of the other operand (EMPTY op EMPTY is I2 0); in the
//    logical operators it is I2 0, in VarCat and VarCmp against a text "".
//  - Texts convert to R8 under the user default locale (VarAdd joins two texts
//    or a text and EMPTY instead).
//  - *out may be one of the operands. On failure *out is left unchanged.
//
// Result types:
//  - VarAdd, VarSub: the wider in UI1 < I2 < I4 < I8 < R4 < R8 < CY < DECIMAL;
//    VarMul the same with CY below R8. BOOL counts as I2; I1, UI2, UI4, INT and
//    UINT as I4; UI8 as I8. R4 with I4 or I8 gives R8. DATE with a number gives
//    DATE in VarAdd / VarSub (DATE - DATE is R8) and counts as R8 in VarMul.
//    An integer result that does not fit moves up UI1 -> I2 -> I4 -> R8; an R4
//    one becomes R8; a DATE outside 100..9999 becomes R8; I8, R8, CY and DECIMAL
//    give DISP_E_OVERFLOW. DECIMAL add / sub / mul are exact.
//  - VarDiv: R8; R4 when an R4 meets only R4, UI1, I2, BOOL or EMPTY; DECIMAL
//    when either is one (computed through R8). x / 0 is DISP_E_DIVBYZERO, 0 / 0
//    DISP_E_OVERFLOW.
//  - VarIdiv, VarMod: both operands are rounded half to even to the integer
//    class UI1, I2 (BOOL), I8 (UI8) or I4 (everything else) and the result has
//    that type; DISP_E_OVERFLOW when an operand does not fit, DISP_E_DIVBYZERO
//    for a zero divisor. VarIdiv truncates; the VarMod sign follows the dividend.
//  - VarPow: R8. 0 to a negative power is DISP_E_DIVBYZERO, a negative base to
//    a fractional power E_INVALIDARG.
//  - VarCat: BSTR. NULL and EMPTY are "" (NULL & NULL is NULL), BOOL is
//    "True"/"False", other values convert as ChangeType does under the user
//    default locale.
//  - VarAnd, VarOr, VarXor, VarEqv, VarImp, VarNot: bitwise. BOOL with BOOL and
//    two operands of one integer type keep it; mixed operands give I2, I4 or I8
//    by the widest. Floats, CY, DATE and DECIMAL are rounded half to even to I4;
//    a text is a number (I4) or a boolean word (BOOL). With NULL: False And
//    Null is False, True Or Null is True, False Imp Null and Null Imp True are
//    True (False = all bits clear, True = all bits set); otherwise NULL.
//  - VarNeg, VarAbs, VarFix, VarInt keep the type. BOOL and EMPTY give I2; a
//    negated unsigned type gives the next signed one (UI1 -> I2); the smallest
//    I1 / I2 / I4 negate to I2 / I4 / R8, the smallest I8 or CY overflows.
//    VarFix truncates, VarInt rounds toward minus infinity.
#pragma once

#include <cstdint>

#include "platform/result.h"
#include "platform/unknown.h"
#include "platform/variant.h"

namespace tavrix {

HRESULT VarAdd(const Variant& left, const Variant& right, Variant* out);
HRESULT VarSub(const Variant& left, const Variant& right, Variant* out);
HRESULT VarMul(const Variant& left, const Variant& right, Variant* out);
HRESULT VarDiv(const Variant& left, const Variant& right, Variant* out);
HRESULT VarIdiv(const Variant& left, const Variant& right, Variant* out);
HRESULT VarMod(const Variant& left, const Variant& right, Variant* out);
HRESULT VarPow(const Variant& left, const Variant& right, Variant* out);
HRESULT VarCat(const Variant& left, const Variant& right, Variant* out);
HRESULT VarAnd(const Variant& left, const Variant& right, Variant* out);
HRESULT VarOr(const Variant& left, const Variant& right, Variant* out);
HRESULT VarXor(const Variant& left, const Variant& right, Variant* out);
HRESULT VarEqv(const Variant& left, const Variant& right, Variant* out);
HRESULT VarImp(const Variant& left, const Variant& right, Variant* out);
HRESULT VarNeg(const Variant& in, Variant* out);
HRESULT VarNot(const Variant& in, Variant* out);
HRESULT VarAbs(const Variant& in, Variant* out);
HRESULT VarFix(const Variant& in, Variant* out);
HRESULT VarInt(const Variant& in, Variant* out);

// VarCmp: on success the result is one of the VARCMP_* codes; VARCMP_NULL when
// either side is NULL. Numbers of all types compare by value (BOOL -1 / 0, EMPTY
// 0); an R8 meeting an R4 is rounded to float, a float meeting CY or DECIMAL is
// converted to that type first; integers and floats otherwise compare exactly.
// Texts compare by code point, or by code point of the case-folded texts under
// NORM_IGNORECASE (no locale collation; lcid is accepted for the platform's
// signature). A number is less than any text; EMPTY against a text is "". Two
// VT_ERROR values compare by code. Failures as for the operators above.
inline constexpr HRESULT VARCMP_LT{0};
inline constexpr HRESULT VARCMP_EQ{1};
inline constexpr HRESULT VARCMP_GT{2};
inline constexpr HRESULT VARCMP_NULL{3};
// Text comparison flags.
inline constexpr uint32_t NORM_IGNORECASE = 0x00000001;

HRESULT VarCmp(const Variant& left, const Variant& right, LCID lcid = LOCALE_USER_DEFAULT,
               uint32_t flags = 0);

}  // namespace tavrix
