// Text helpers. All text inside Tavrix is UTF-8 std::string; where a length
// or position counts characters in the platform's sense (a wide string), it
// counts UTF-16 code units, which these helpers do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace tavrix {

// UTF-8 <-> UTF-16. Invalid input sequences become U+FFFD; an unpaired
// surrogate in UTF-16 input becomes U+FFFD too.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Length in UTF-16 code units of a UTF-8 text.
size_t Utf16Length(std::string_view utf8);
// The first / last `count` UTF-16 code units, and `count` units from `start`
// (0-based). Positions past the end are clamped. A cut through a surrogate
// pair keeps the whole character out.
std::string Utf16Left(std::string_view utf8, size_t count);
std::string Utf16Right(std::string_view utf8, size_t count);
std::string Utf16Mid(std::string_view utf8, size_t start, size_t count = std::string_view::npos);

// UTF-16LE bytes of a text (the layout of backup records and log datagrams).
std::string Utf16LeBytes(std::string_view utf8);

// Locale-independent simple case folding (the same for every process locale).
std::string FoldCase(std::string_view utf8);
// Upper and lower case of a text, locale-independent.
std::string ToUpper(std::string_view utf8);
std::string ToLower(std::string_view utf8);

// Comparison of names without regard to case.
bool EqualsNoCase(std::string_view a, std::string_view b);
// <0, 0 or >0, comparing the case-folded texts by code point.
int CompareNoCase(std::string_view a, std::string_view b);

struct NoCaseHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const;
};
struct NoCaseEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return EqualsNoCase(a, b); }
};
struct NoCaseLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return CompareNoCase(a, b) < 0; }
};

// Code pages, by the platform's numbers: 65001 UTF-8, 932 Shift-JIS, 1252
// Western, 20127 US-ASCII, 1200 UTF-16LE, and the other numbered pages iconv
// knows as "CP<n>". Converts bytes in code page `from` to code page `to`;
// E_INVALIDARG for an unknown page, E_FAIL when the
// input cannot be converted (nothing is written to *out then).
HRESULT ConvertCodePage(std::string_view in, uint32_t from, uint32_t to, std::string* out);

}  // namespace tavrix
