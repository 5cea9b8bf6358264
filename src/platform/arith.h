// Variant arithmetic, logic and comparison: the platform's operator rules.
//
// Each operation follows the documented behaviour of its platform function
// (VarAdd and the rest): NULL propagation, EMPTY as integer 0 (or "" for
// texts), the promotion of result types, overflow promotion to the next wider
// type, DISP_E_TYPEMISMATCH for values that do not convert, DISP_E_DIVBYZERO.
// On failure *out is left unchanged.
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

// VarCmp: on success the result is one of the VARCMP_* codes.
inline constexpr HRESULT VARCMP_LT{0};
inline constexpr HRESULT VARCMP_EQ{1};
inline constexpr HRESULT VARCMP_GT{2};
inline constexpr HRESULT VARCMP_NULL{3};
// Text comparison flags.
inline constexpr uint32_t NORM_IGNORECASE = 0x00000001;

HRESULT VarCmp(const Variant& left, const Variant& right, LCID lcid = LOCALE_USER_DEFAULT,
               uint32_t flags = 0);

}  // namespace tavrix
