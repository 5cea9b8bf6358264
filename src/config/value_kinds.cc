#include "config/value_kinds.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/convert.h"
#include "platform/text.h"
#include "platform/unknown.h"

namespace tavrix {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

size_t SkipBlanks(std::string_view text, size_t pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  return pos;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads [blanks][sign]digits from `text`; *end is the first character after
// the digits. False when there is no digit. *value is the magnitude-clamped
// value (the clamp keeps it representable: it only needs to exceed 32 bits).
bool ReadDecimalPrefix(std::string_view text, int64_t* value, size_t* end) {
  size_t pos = SkipBlanks(text, 0);
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  const size_t first = pos;
  int64_t magnitude = 0;
  constexpr int64_t kCap = int64_t{1} << 40;  // beyond every 32-bit value
  while (pos < text.size() && IsDigit(text[pos])) {
    if (magnitude < kCap) magnitude = magnitude * 10 + (text[pos] - '0');
    ++pos;
  }
  if (pos == first) return false;
  *value = negative ? -magnitude : magnitude;
  *end = pos;
  return true;
}

constexpr int64_t kMin32 = std::numeric_limits<int32_t>::min();
constexpr int64_t kMax32 = std::numeric_limits<int32_t>::max();

}  // namespace

std::string_view ValueKindName(ValueKind kind) {
  switch (kind) {
    case ValueKind::kText: return "text";
    case ValueKind::kNumber: return "number";
    case ValueKind::kStrictNumber: return "strict number";
    case ValueKind::kFlagTrueOnly: return "flag (True only)";
    case ValueKind::kFlag: return "flag";
    case ValueKind::kReal: return "real";
    case ValueKind::kInt64: return "64-bit number";
  }
  return "";
}

bool IsBlankText(std::string_view text) {
  return SkipBlanks(text, 0) == text.size();
}

int32_t ReadNumber(std::string_view text) {
  int64_t value = 0;
  size_t end = 0;
  if (!ReadDecimalPrefix(text, &value, &end)) return 0;
  if (value < kMin32) return static_cast<int32_t>(kMin32);
  if (value > kMax32) return static_cast<int32_t>(kMax32);
  return static_cast<int32_t>(value);
}

int32_t ReadStrictNumber(std::string_view text) {
  int64_t value = 0;
  size_t end = 0;
  if (!ReadDecimalPrefix(text, &value, &end) || end != text.size()) return 0;
  if (value < kMin32 || value > kMax32) return 0;
  return static_cast<int32_t>(value);
}

bool ReadFlagTrueOnly(std::string_view text) { return EqualsNoCase(text, "True"); }

bool ReadFlag(std::string_view text) {
  if (EqualsNoCase(text, "True")) return true;
  if (EqualsNoCase(text, "False")) return false;
  return ReadStrictNumber(text) != 0;
}

float ReadReal(std::string_view text) {
  size_t pos = SkipBlanks(text, 0);
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  // from_chars takes no sign of its own here: a second sign is not a number.
  if (pos >= text.size() || !(IsDigit(text[pos]) || text[pos] == '.')) return 0.0f;
  const char* first = text.data() + pos;
  const char* last = text.data() + text.size();
  double value = 0;
  const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec == std::errc::invalid_argument) return 0.0f;
  if (ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: the exponent's sign tells which.
    bool tiny = false;
    for (const char* p = first; p < ptr; ++p) {
      if ((*p == 'e' || *p == 'E') && p + 1 < ptr && p[1] == '-') tiny = true;
    }
    if (tiny) return negative ? -0.0f : 0.0f;
    value = std::numeric_limits<double>::infinity();
  }
  if (value > static_cast<double>(std::numeric_limits<float>::max())) {
    const float inf = std::numeric_limits<float>::infinity();
    return negative ? -inf : inf;
  }
  const float result = static_cast<float>(value);
  return negative ? -result : result;
}

int64_t ReadInt64(std::string_view text) {
  int64_t value = 0;
  if (I8FromStr(text, LOCALE_USER_DEFAULT, 0, &value).failed()) return 0;
  return value;
}

bool KindFitsField(ValueKind kind, const FieldRef& field) {
  switch (kind) {
    case ValueKind::kText: return std::holds_alternative<std::string*>(field);
    case ValueKind::kNumber:
    case ValueKind::kStrictNumber: return std::holds_alternative<int32_t*>(field);
    case ValueKind::kFlagTrueOnly:
    case ValueKind::kFlag: return std::holds_alternative<bool*>(field);
    case ValueKind::kReal: return std::holds_alternative<float*>(field);
    case ValueKind::kInt64: return std::holds_alternative<int64_t*>(field);
  }
  return false;
}

void StoreValue(ValueKind kind, std::string_view text, const FieldRef& field) {
  if (!KindFitsField(kind, field)) return;
  switch (kind) {
    case ValueKind::kText: *std::get<std::string*>(field) = std::string(text); break;
    case ValueKind::kNumber: *std::get<int32_t*>(field) = ReadNumber(text); break;
    case ValueKind::kStrictNumber: *std::get<int32_t*>(field) = ReadStrictNumber(text); break;
    case ValueKind::kFlagTrueOnly: *std::get<bool*>(field) = ReadFlagTrueOnly(text); break;
    case ValueKind::kFlag: *std::get<bool*>(field) = ReadFlag(text); break;
    case ValueKind::kReal: *std::get<float*>(field) = ReadReal(text); break;
    case ValueKind::kInt64: *std::get<int64_t*>(field) = ReadInt64(text); break;
  }
}

}  // namespace tavrix
