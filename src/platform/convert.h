// Conversions between variant types: the platform's change-type rules.
//
// ChangeType follows the documented behaviour of VariantChangeTypeEx: numbers
// convert with banker's rounding to integers, overflow gives DISP_E_OVERFLOW,
// a text that is not a number or date gives DISP_E_TYPEMISMATCH, NULL converts
// only to NULL (DISP_E_TYPEMISMATCH otherwise), EMPTY gives 0, "" or a zero date,
// a dispatch object gives its default member (DISPID_VALUE) unless
// VARIANT_NOVALUEPROP is set. The locale (LCID) matters only for texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"
#include "platform/unknown.h"
#include "platform/variant.h"

namespace tavrix {

// Flags of ChangeType (the platform's values).
inline constexpr uint16_t VARIANT_NOVALUEPROP = 0x01;
inline constexpr uint16_t VARIANT_ALPHABOOL = 0x02;      // booleans as "True"/"False"
inline constexpr uint16_t VARIANT_NOUSEROVERRIDE = 0x04;
inline constexpr uint16_t VARIANT_LOCALBOOL = 0x10;      // boolean words of the locale

// Converts src (a VT_BYREF|VT_VARIANT is followed once) to type vt and stores
// the result in *out. On failure *out is left unchanged. vt may be VT_VARIANT
// (the value is copied as it is) or an array type (only the same array type,
// and VT_ARRAY|VT_UI1 <-> VT_BSTR as the platform does).
HRESULT ChangeType(const Variant& src, VARTYPE vt, Variant* out, uint16_t flags = 0,
                   LCID lcid = LOCALE_USER_DEFAULT);

// VarR8FromStr: a text to a double under the locale's separators.
HRESULT R8FromStr(std::string_view text, LCID lcid, uint32_t flags, double* out);

// VarDateFromStr: a text to a date under the locale's date order.
HRESULT DateFromStr(std::string_view text, LCID lcid, uint32_t flags, double* out);

// VarBstrFromR8 / VarBstrFromDate style texts under the locale.
std::string TextFromR8(double v, LCID lcid);
std::string TextFromDate(double date, LCID lcid);

}  // namespace tavrix
