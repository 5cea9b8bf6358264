#include "zelt/parse_text.h"

#include <charconv>
#include <cmath>

namespace tavrix::zelt_text {
namespace {

// The trimmed text without one leading '+', or "" when nothing would be left.
std::string_view NumberText(std::string_view s) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') {
    s.remove_prefix(1);
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) return {};
  }
  return s;
}

template <class T>
bool ParseWhole(std::string_view s, T* out) {
  s = NumberText(s);
  if (s.empty()) return false;
  T value{};
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size()) return false;
  *out = value;
  return true;
}

}  // namespace

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
  std::vector<std::string_view> fields;
  for (;;) {
    const size_t at = s.find(sep);
    fields.push_back(s.substr(0, at));
    if (at == std::string_view::npos) return fields;
    s.remove_prefix(at + 1);
  }
}

bool ParseInt32(std::string_view s, int32_t* out) { return ParseWhole(s, out); }
bool ParseUint32(std::string_view s, uint32_t* out) {
  return !Trim(s).starts_with('-') && ParseWhole(s, out);
}
bool ParseUint64(std::string_view s, uint64_t* out) {
  return !Trim(s).starts_with('-') && ParseWhole(s, out);
}

bool ParseDouble(std::string_view s, double* out) {
  double value = 0;
  if (!ParseWhole(s, &value) || !std::isfinite(value)) return false;
  *out = value;
  return true;
}

}  // namespace tavrix::zelt_text
