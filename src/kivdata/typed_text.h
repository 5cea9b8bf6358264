// Typed texts: a value written as "<variant type number>,<value text>", the
// form project files, history rows, Kiv replies and scripts use for values.
// The grammar is described at the top of typed_text.cc.
//
// Both directions are locale-free, and FormatTypedText is exactly inverse to
// ParseTypedText: for every value it accepts, parsing its text gives a value
// Variant::Identical to it (same type, same bits, same array bounds).
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix {

// Reads a typed text. On success stores the value in *out and returns S_OK. On
// failure *out is unchanged and the result is E_INVALIDARG (no comma after the
// type number, an unknown or unsupported type number, a malformed array: bad
// shape, quotes or braces, an element count that does not match the shape),
// DISP_E_TYPEMISMATCH (a value text that is not a value of its type) or
// DISP_E_OVERFLOW (a value out of its type's range); E_POINTER when out is null.
HRESULT ParseTypedText(std::string_view text, Variant* out);

// Writes the typed text of value (a VT_BYREF|VT_VARIANT is followed once) to
// *out, replacing its content. Supported: EMPTY, NULL, BOOL, I1, UI1, I2, UI2,
// I4, UI4, I8, UI8, INT, UINT, R4, R8, CY, DATE, BSTR, ERROR, DECIMAL, and
// arrays of any of these but EMPTY and NULL, or of VARIANT holding supported
// values (nested arrays included, up to 16 levels). TVX_E_UNSUPPORTED_TYPE for
// anything else (objects, references inside arrays, deeper nesting), and *out
// is unchanged then; E_POINTER when out is null.
HRESULT FormatTypedText(const Variant& value, std::string* out);

}  // namespace tavrix
