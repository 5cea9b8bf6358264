// Text helpers. All text inside Tavrix is UTF-8 std::string; where a length
// or position counts characters in the platform's sense (a wide string), it
// counts UTF-16 code units, which these helpers do.
//
// Invalid UTF-8 never makes a call fail or lose the text: each maximal
// ill-formed subsequence (the longest prefix of a well-formed sequence, at
// least one byte) counts as one U+FFFD. Conversions to UTF-16 write U+FFFD
// for it; the case and slicing helpers keep its raw bytes in their UTF-8
// results, so a text that holds stray bytes comes back unchanged except for
// its letters. All functions here are thread-safe (no shared state).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace tavrix {

// One character decoded from UTF-8.
struct Utf8Char {
  char32_t cp;    // the code point, U+FFFD when !valid
  uint8_t size;   // bytes taken from the input, 1..4
  bool valid;     // false for an ill-formed subsequence
};

// Decodes the character that starts at s[pos]; pos must be < s.size().
Utf8Char DecodeUtf8(std::string_view s, size_t pos);
// Appends the UTF-8 form of cp; a surrogate or a value past U+10FFFF appends U+FFFD.
void AppendUtf8(std::string& out, char32_t cp);

// UTF-8 <-> UTF-16. Invalid input sequences become U+FFFD; an unpaired
// surrogate in UTF-16 input becomes U+FFFD too.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Length in UTF-16 code units of a UTF-8 text (Utf8ToUtf16(utf8).size(),
// without building it): a character outside the BMP counts 2.
size_t Utf16Length(std::string_view utf8);
// The first / last `count` UTF-16 code units, and `count` units from `start`
// (0-based). Positions past the end are clamped. A cut through a surrogate
// pair keeps the whole character out. The results are byte ranges of the
// input, so ill-formed bytes inside them are kept as they are.
std::string Utf16Left(std::string_view utf8, size_t count);
std::string Utf16Right(std::string_view utf8, size_t count);
std::string Utf16Mid(std::string_view utf8, size_t start, size_t count = std::string_view::npos);

// UTF-16LE bytes of a text (the layout of backup records and log datagrams),
// no byte-order mark; invalid sequences become U+FFFD.
std::string Utf16LeBytes(std::string_view utf8);

// Locale-independent simple case mapping (the same for every process locale),
// one code point to one code point. Covered: ASCII, Latin-1 Supplement,
// Latin Extended-A, Latin Extended Additional, Greek and Coptic, Cyrillic and
// Cyrillic Supplement, fullwidth Latin letters, and the letter-like symbols
// Ohm, Kelvin and Angstrom; other code points map to themselves.
//   - U+00DF sharp s has no single-character upper case and stays; capital
//     sharp s U+1E9E lowers and folds to it.
//   - The Turkish dotted capital I (U+0130) and dotless small i (U+0131) map
//     to themselves in all three mappings, so ASCII I and i always pair with
//     each other and a name with a Turkish letter never matches an ASCII one.
//   - Folding also joins the variant forms that have no case partner of
//     their own: micro sign and Greek mu, long s and s, final and normal
//     sigma, the Greek symbol forms (beta, theta, phi, pi, kappa, rho, epsilon).
char32_t FoldCodePoint(char32_t cp);
char32_t UpperCodePoint(char32_t cp);
char32_t LowerCodePoint(char32_t cp);

// The texts with every code point mapped as above; ill-formed bytes are kept.
std::string FoldCase(std::string_view utf8);
std::string ToUpper(std::string_view utf8);
std::string ToLower(std::string_view utf8);

// Comparison of names without regard to case: the texts are equal when their
// folded code points are equal. Ill-formed bytes compare byte by byte, above
// every code point. No allocation.
bool EqualsNoCase(std::string_view a, std::string_view b);
// <0, 0 or >0, comparing the case-folded texts by code point.
int CompareNoCase(std::string_view a, std::string_view b);

// Hash of the folded text: texts that are EqualsNoCase hash alike.
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

// Code pages, by the platform's numbers: 65001 UTF-8, 932 Shift-JIS (CP932),
// 1252 Western, 20127 US-ASCII, 1200 UTF-16LE, 1201 UTF-16BE, 28591..28599
// ISO-8859-1..9, 20932 EUC-JP, and the other numbered pages iconv knows as
// "CP<n>". Converts bytes in code page `from` to code page `to` and replaces
// *out on success. E_INVALIDARG for an unknown page or a null `out`, E_FAIL
// when the input cannot be converted (an invalid or incomplete sequence, or a
// character the target page lacks; no substitution is made and *out is left
// untouched). Each call opens and closes its own iconv handle, so calls from
// any number of threads are safe.
HRESULT ConvertCodePage(std::string_view in, uint32_t from, uint32_t to, std::string* out);

}  // namespace tavrix
