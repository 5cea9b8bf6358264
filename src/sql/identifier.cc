#include "sql/identifier.h"

#include <vector>

namespace tavrix::sql {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

struct Part {
  std::string text;
  bool quoted = false;
};

// Splits at "." outside quotes, unquoting quoted parts. False when malformed.
bool SplitName(std::string_view name, std::vector<Part>* parts) {
  size_t i = 0;
  for (;;) {
    while (i < name.size() && IsSpace(name[i])) ++i;
    Part part;
    if (i < name.size() && (name[i] == '"' || name[i] == '[' || name[i] == '`')) {
      const char close = name[i] == '[' ? ']' : name[i];
      ++i;
      for (;;) {
        if (i >= name.size()) return false;
        if (name[i] == close) {
          if (i + 1 < name.size() && name[i + 1] == close) {
            part.text += close;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        part.text += name[i++];
      }
      part.quoted = true;
      while (i < name.size() && IsSpace(name[i])) ++i;
      if (i < name.size() && name[i] != '.') return false;
    } else {
      const size_t dot = name.find('.', i);
      const size_t end = dot == std::string_view::npos ? name.size() : dot;
      std::string_view t = name.substr(i, end - i);
      while (!t.empty() && IsSpace(t.back())) t.remove_suffix(1);
      part.text = std::string(t);
      i = end;
    }
    if (part.text.empty() || part.text.find('\0') != std::string::npos) return false;
    parts->push_back(std::move(part));
    if (i >= name.size()) return true;
    ++i;  // the "."
  }
}

}  // namespace

bool IsPlainIdentifier(std::string_view name) noexcept {
  if (name.empty()) return false;
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!letter(name[0])) return false;
  for (char c : name.substr(1)) {
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '$') return false;
  }
  return true;
}

std::string QuoteIdentifier(std::string_view name, char quote) {
  std::string out(1, quote);
  for (char c : name) {
    out += c;
    if (c == quote) out += quote;
  }
  out += quote;
  return out;
}

HRESULT QuoteTableName(std::string_view name, char quote, std::string* out) {
  std::vector<Part> parts;
  if (!SplitName(name, &parts) || parts.empty() || parts.size() > 3) return E_INVALIDARG;
  std::string sql;
  for (const Part& p : parts) {
    if (!sql.empty()) sql += '.';
    if (!p.quoted && IsPlainIdentifier(p.text)) {
      sql += p.text;
    } else {
      if (quote == ' ') return E_INVALIDARG;
      sql += QuoteIdentifier(p.text, quote);
    }
  }
  *out = std::move(sql);
  return S_OK;
}

}  // namespace tavrix::sql
