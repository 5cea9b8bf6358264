// The value kinds of project-file properties: how the text of a property
// element becomes the value of its record field. Every conversion takes the
// whole text of the element and never fails; a text that does not fit gives
// the kind's zero. None of them depends on the process locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace tavrix {

enum class ValueKind : uint8_t {
  kText,          // stored unchanged
  kNumber,        // leading decimal integer: ReadNumber
  kStrictNumber,  // the whole text a decimal integer: ReadStrictNumber
  kFlagTrueOnly,  // true exactly for "True" in any letter case
  kFlag,          // "True"/"False", else a strict number not 0: ReadFlag
  kReal,          // decimal floating point, as a 32-bit float
  kInt64,         // the platform's text-to-64-bit conversion
};

// The element name of a kind in log lines and tests ("strict number").
std::string_view ValueKindName(ValueKind kind);

// White space as the reader sees it: space, tab, line feed, carriage return,
// vertical tab, form feed.
bool IsBlankText(std::string_view text);

// Leading white space, an optional sign, then decimal digits up to the first
// other character; no digits give 0; a value beyond 32 bits is clamped to
// INT32_MIN or INT32_MAX.
int32_t ReadNumber(std::string_view text);
// Leading white space, an optional sign and at least one decimal digit, and
// nothing after them; anything else, and values beyond 32 bits, give 0.
int32_t ReadStrictNumber(std::string_view text);
bool ReadFlagTrueOnly(std::string_view text);
// "True" gives true and "False" false, both in any letter case; any other
// text is read as a strict number, true when not 0.
bool ReadFlag(std::string_view text);
// Leading white space, an optional sign, then the longest decimal floating
// point prefix ("1.5", "-2e3", ".5"); no number gives 0, a value beyond the
// float range gives an infinity of its sign, one too small for it 0.
float ReadReal(std::string_view text);
// The platform's variant conversion of a text to a signed 64-bit integer
// (I8FromStr under the process locale: "12", " -3 ", "&HFF", "1.5E3"); a
// text it refuses gives 0.
int64_t ReadInt64(std::string_view text);

// Where a converted value goes: the record field of the property's kind.
using FieldRef = std::variant<std::string*, int32_t*, bool*, float*, int64_t*>;

// Whether `field` is the field type `kind` stores into.
bool KindFitsField(ValueKind kind, const FieldRef& field);
// Converts `text` by `kind` and stores it in `field`. A field of another
// type than the kind's is left alone (tables are checked by KindFitsField).
void StoreValue(ValueKind kind, std::string_view text, const FieldRef& field);

}  // namespace tavrix
