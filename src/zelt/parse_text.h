// Number and field parsing for the simulator's option texts and variable
// names. Numbers are read with std::from_chars: never the process locale.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tavrix::zelt_text {

// The text without leading and trailing spaces and tabs.
std::string_view Trim(std::string_view s);

// The fields between `sep`s (an empty text gives one empty field).
std::vector<std::string_view> Split(std::string_view s, char sep);

// Each parses the whole trimmed text (an optional leading '+' is allowed);
// false for an empty text, trailing characters or a value out of range.
bool ParseInt32(std::string_view s, int32_t* out);
bool ParseUint32(std::string_view s, uint32_t* out);
bool ParseUint64(std::string_view s, uint64_t* out);
// A finite double in plain or exponent form.
bool ParseDouble(std::string_view s, double* out);

}  // namespace tavrix::zelt_text
