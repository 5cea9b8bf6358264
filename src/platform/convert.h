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
#include "platform/vartype.h"

namespace tavrix {

// Flags of ChangeType (the platform's values).
inline constexpr uint16_t VARIANT_NOVALUEPROP = 0x01;
inline constexpr uint16_t VARIANT_ALPHABOOL = 0x02;      // booleans as "True"/"False"
inline constexpr uint16_t VARIANT_NOUSEROVERRIDE = 0x04;
inline constexpr uint16_t VARIANT_LOCALBOOL = 0x10;      // boolean words of the locale

// Converts src (a VT_BYREF|VT_VARIANT is followed once) to type vt and stores
// the result in *out. On failure *out is left unchanged. vt may be VT_VARIANT
// (the value is copied as it is) or an array type (only the same array type,
// and VT_ARRAY|VT_UI1 <-> VT_BSTR as the platform does: the bytes are the
// text's UTF-16LE code units).
//
// Results beyond the rules above:
// - DISP_E_BADVARTYPE for a type number that does not exist (in vt or src),
//   for VT_BYREF in vt, and for an array of a type arrays cannot hold.
// - Floats to integers round half to even, then the range is checked; NaN and
//   infinities overflow. VT_BOOL true is -1, and all ones for unsigned targets
//   (255 as VT_UI1). A date is its day number; a number outside the date range
//   (100-01-01 .. 9999-12-31) gives DISP_E_OVERFLOW as VT_DATE.
// - VT_ERROR converts only to VT_ERROR; nothing else converts to it. VT_NULL
//   and VT_ERROR give DISP_E_TYPEMISMATCH for VT_EMPTY too; every other value
//   converts to VT_EMPTY (the result is empty).
// - VT_EMPTY to VT_DISPATCH / VT_UNKNOWN gives a null object; other values
//   give DISP_E_TYPEMISMATCH. An object to VT_UNKNOWN is the same object; a
//   VT_UNKNOWN to VT_DISPATCH asks for IDispatch (E_NOINTERFACE without it).
// - An object to any other type: its default member (DISPID_VALUE,
//   DISPATCH_PROPERTYGET, no arguments), converted on; a failure of that call
//   is returned as it is. A null object, VARIANT_NOVALUEPROP, or an unknown
//   without IDispatch give DISP_E_TYPEMISMATCH.
// - A DATE that is out of range gives E_INVALIDARG as text.
// - An LCID the locale table lacks reads and writes texts as the process
//   default (see platform/locale.h).
HRESULT ChangeType(const Variant& src, VARTYPE vt, Variant* out, uint16_t flags = 0,
                   LCID lcid = LOCALE_USER_DEFAULT);

// The value behind an object: its default member (DISPID_VALUE, property get)
// under `lcid`, followed through further objects up to 8 deep. A value that is
// not an object is given back as it is (a VT_BYREF|VT_VARIANT is followed once).
// DISP_E_TYPEMISMATCH for a null object, an object without IDispatch or a chain
// too deep; a failure of the member passes through. *out is unchanged on failure.
HRESULT DefaultValue(const Variant& value, Variant* out, LCID lcid = LOCALE_USER_DEFAULT);

// VarR8FromStr: a text to a double under the locale's separators (see the
// number forms below); DISP_E_OVERFLOW past the double range, a text too small
// for it gives 0.
HRESULT R8FromStr(std::string_view text, LCID lcid, uint32_t flags, double* out);

// VarDateFromStr: a text to a date under the locale's date order. Accepted:
// day, month and year as numbers in the locale's order with its separator or
// "/", "-", "."; "YYYY-MM-DD" (and a year first whenever the first number has
// three or four digits); month names and abbreviations of the locale or in
// English ("9 December 2026", "Dec 9, 2026"); two numbers as day and month of
// the current year (or month and a year of three or more digits); a two-digit
// year as 1930..2029; a time "h:mm", "h:mm:ss" or "h:mm:ss.ffffff" with AM/PM
// (the locale's designators or "AM"/"PM"), "11 PM"; a time alone (the date
// part is 0); an ISO "T" between date and time. When the locale's order gives
// a month over 12 the day and month are swapped ("13/12/2026" in 1033).
// DISP_E_TYPEMISMATCH when the text is not a valid date; a plain number is not.
HRESULT DateFromStr(std::string_view text, LCID lcid, uint32_t flags, double* out);

// VarBstrFromR8 / VarBstrFromDate style texts under the locale.
std::string TextFromR8(double v, LCID lcid);
std::string TextFromDate(double date, LCID lcid);

// --- The pieces ChangeType is built from, for callers that need one of them.
//
// Number texts under the locale (lcid 0 is the process default): spaces
// around, a sign in front or behind or parentheses for negative, the locale's
// thousands separators in the whole part, its decimal separator, an exponent
// ("1.5E-3"), or the forms "&H1F" (hexadecimal), "&O17" and "&17" (octal).
// A hexadecimal or octal text is a bit pattern read as the smallest of the
// signed 16-, 32- and 64-bit types that holds it ("&HFFFF" is -1, "&H10000"
// is 65536). Results: DISP_E_TYPEMISMATCH for a text that is not a number,
// DISP_E_OVERFLOW for one out of the target's range; *out is unchanged then.
// `flags` is accepted for the platform's signature and not used.
HRESULT I8FromStr(std::string_view text, LCID lcid, uint32_t flags, int64_t* out);
HRESULT UI8FromStr(std::string_view text, LCID lcid, uint32_t flags, uint64_t* out);
HRESULT CyFromStr(std::string_view text, LCID lcid, uint32_t flags, Currency* out);
HRESULT DecFromStr(std::string_view text, LCID lcid, uint32_t flags, Decimal* out);
// "True"/"False" in any case, the locale's words, or a number text (nonzero is
// true). *out is VARIANT_TRUE or VARIANT_FALSE.
HRESULT BoolFromStr(std::string_view text, LCID lcid, uint32_t flags, VARIANT_BOOL* out);

// Number texts: at most 15 significant digits for doubles and 7 for floats,
// the exponent form ("1E+16", "1.5E-05") below 1E-04 and from 1E+15 (1E+07
// for floats) on, the locale's decimal separator, no thousands separators.
// Currency and decimals are exact, without trailing zeros after the separator.
// NaN and infinities give "NaN", "INF" and "-INF".
std::string TextFromR4(float v, LCID lcid);
std::string TextFromCy(Currency v, LCID lcid);
std::string TextFromDec(const Decimal& v, LCID lcid);
// Booleans: "-1"/"0" by default, "True"/"False" with VARIANT_ALPHABOOL, the
// locale's words with VARIANT_LOCALBOOL.
std::string TextFromBool(VARIANT_BOOL v, uint16_t flags, LCID lcid);

// TextFromDate with a result: E_INVALIDARG (and *out unchanged) for a date out
// of range or NaN, where TextFromDate gives "". The text is the locale's short
// date and long time, the date alone when the time is 00:00:00 and the time
// alone when the day is 1899-12-30 (so 0 gives "12:00:00 AM" in 1033). The
// time is rounded to the second.
HRESULT TextFromDate(double date, LCID lcid, std::string* out);

}  // namespace tavrix
