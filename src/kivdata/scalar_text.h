// Internal to the component (namespace tavrix::kivdata).
// Value texts of single values: the exact, locale-free text of one scalar and
// its inverse. typed_text.cc builds typed texts from these; the grammar of every
// value text is described at the top of that file.
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"
#include "platform/variant.h"
#include "platform/vartype.h"

namespace tavrix::kivdata {

// True for the scalar types that have a value text: EMPTY, NULL, the integers
// (I1..UI8, INT, UINT), R4, R8, CY, DATE, BSTR, ERROR, BOOL and DECIMAL.
bool HasScalarText(VARTYPE vt) noexcept;

// Appends the value text of v (a type for which HasScalarText holds; a text is
// appended as it is). TVX_E_UNSUPPORTED_TYPE for another type, E_INVALIDARG for
// a decimal with a scale over 28. Nothing is appended on failure.
HRESULT AppendScalarText(const Variant& v, std::string* out);

// Reads the value text of a value of type vt. A text (VT_BSTR) is taken as it
// is; every other text may have spaces and tabs around it. On success stores
// the value in *out; on failure leaves *out unchanged and returns
// DISP_E_TYPEMISMATCH (the text is not a value of that type), DISP_E_OVERFLOW
// (it is, but out of the type's range) or TVX_E_UNSUPPORTED_TYPE (vt has no
// value text).
HRESULT ParseScalarText(VARTYPE vt, std::string_view text, Variant* out);

// The R8 value text, shared with the date texts.
void AppendR8Text(double v, std::string* out);
HRESULT ParseR8Text(std::string_view text, double* out);

// Spaces and tabs around a value text.
std::string_view TrimBlanks(std::string_view s) noexcept;

}  // namespace tavrix::kivdata
