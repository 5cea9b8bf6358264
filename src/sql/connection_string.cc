#include "sql/connection_string.h"

#include <charconv>

#include "platform/text.h"

namespace tavrix::sql {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Reads one value from text[pos]; stops after the ";" that ends it (or at the end).
bool ReadValue(std::string_view text, size_t* pos, ConnectionStringPair* pair, std::string* error) {
  size_t i = *pos;
  while (i < text.size() && IsSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '"' || text[i] == '\'' || text[i] == '{')) {
    const char open = text[i];
    const char close = open == '{' ? '}' : open;
    ++i;
    std::string value;
    for (;;) {
      if (i >= text.size()) {
        *error = "unterminated quoted value of key '" + pair->key + "'";
        return false;
      }
      if (text[i] == close) {
        if (i + 1 < text.size() && text[i + 1] == close) {
          value += close;
          i += 2;
          continue;
        }
        ++i;
        break;
      }
      value += text[i++];
    }
    while (i < text.size() && IsSpace(text[i])) ++i;
    if (i < text.size() && text[i] != ';') {
      *error = "text after the quoted value of key '" + pair->key + "'";
      return false;
    }
    pair->value = std::move(value);
    pair->quoted = true;
    *pos = i < text.size() ? i + 1 : i;
    return true;
  }
  const size_t end = text.find(';', i);
  const size_t stop = end == std::string_view::npos ? text.size() : end;
  pair->value = std::string(Trim(text.substr(i, stop - i)));
  *pos = end == std::string_view::npos ? text.size() : end + 1;
  return true;
}

bool IsTrueWord(std::string_view v) {
  return EqualsNoCase(v, "true") || EqualsNoCase(v, "yes") || v == "1";
}

std::string Braced(std::string_view value) {
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  out += '}';
  return out;
}

void Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

// The ODBC string of a MSDASQL or Driver/DSN connection string.
HRESULT BuildOdbcString(const ConnectionString& cs, std::string* out, std::string* error) {
  static constexpr std::string_view kAdoToOdbc[][2] = {
      {"Data Source", "DSN"},
      {"User ID", "UID"},
      {"Password", "PWD"},
      {"Initial Catalog", "DATABASE"},
  };
  std::string odbc;
  auto append = [&odbc](std::string_view key, const ConnectionStringPair& p) {
    odbc += key;
    odbc += '=';
    // A value the author braced stays braced, so the driver sees what was written.
    odbc += p.quoted ? Braced(p.value) : OdbcValue(p.value);
    odbc += ';';
  };
  std::string extended;
  for (const ConnectionStringPair& p : cs.pairs()) {
    if (EqualsNoCase(p.key, "Provider") || EqualsNoCase(p.key, "Persist Security Info")) continue;
    if (EqualsNoCase(p.key, "Extended Properties")) {
      extended = p.value;
      continue;
    }
    std::string_view key = p.key;
    for (const auto& m : kAdoToOdbc) {
      if (EqualsNoCase(key, m[0])) {
        if (cs.Find(m[1]) != nullptr)
          key = {};  // the ODBC name wins
        else
          key = m[1];
        break;
      }
    }
    if (!key.empty()) append(key, p);
  }
  if (!extended.empty()) {
    ConnectionString inner;
    std::string why;
    if (ConnectionString::Parse(extended, &inner, &why).failed()) {
      Fail(error, "Extended Properties: " + why);
      return E_INVALIDARG;
    }
    for (const ConnectionStringPair& p : inner.pairs()) append(p.key, p);
  }
  *out = std::move(odbc);
  return S_OK;
}

}  // namespace

HRESULT ConnectionString::Parse(std::string_view text, ConnectionString* out, std::string* error) {
  std::vector<ConnectionStringPair> pairs;
  std::string why;
  size_t pos = 0;
  while (pos < text.size()) {
    // The key: up to the first "=" that is not doubled.
    std::string key;
    size_t i = pos;
    bool sawEquals = false;
    while (i < text.size()) {
      const char c = text[i];
      if (c == ';') break;
      if (c == '=') {
        if (i + 1 < text.size() && text[i + 1] == '=') {
          key += '=';
          i += 2;
          continue;
        }
        sawEquals = true;
        ++i;
        break;
      }
      key += c;
      ++i;
    }
    const std::string_view trimmed = Trim(key);
    if (!sawEquals) {
      if (!trimmed.empty()) {
        std::string message = "'";
        message.append(trimmed).append("' has no '='");
        Fail(error, message);
        return E_INVALIDARG;
      }
      pos = i < text.size() ? i + 1 : i;  // an empty pair
      continue;
    }
    if (trimmed.empty()) {
      Fail(error, "a value without a key");
      return E_INVALIDARG;
    }
    ConnectionStringPair pair;
    pair.key = std::string(trimmed);
    if (!ReadValue(text, &i, &pair, &why)) {
      Fail(error, why);
      return E_INVALIDARG;
    }
    pos = i;
    pairs.push_back(std::move(pair));
  }
  out->pairs_ = std::move(pairs);
  return S_OK;
}

const std::string* ConnectionString::Find(std::string_view key) const noexcept {
  for (auto it = pairs_.rbegin(); it != pairs_.rend(); ++it) {
    if (EqualsNoCase(it->key, key)) return &it->value;
  }
  return nullptr;
}

HRESULT ResolveConnectionString(std::string_view text, ConnectionTarget* out, std::string* error) {
  ConnectionString cs;
  std::string why;
  if (ConnectionString::Parse(text, &cs, &why).failed()) {
    Fail(error, "Invalid connection string: " + why + ".");
    return E_INVALIDARG;
  }
  ConnectionTarget target;
  const std::string* provider = cs.Find("Provider");
  const std::string_view name = provider ? Trim(*provider) : std::string_view{};
  if (provider && (EqualsNoCase(name, "SQLite") || EqualsNoCase(name, "SQLite3"))) {
    const std::string* path = cs.Find("Data Source");
    if (path == nullptr || path->empty()) {
      Fail(error, "The SQLite connection string has no Data Source.");
      return E_INVALIDARG;
    }
    target.route = ConnectionRoute::kSqlite;
    target.path = *path;
    if (const std::string* t = cs.Find("Busy Timeout")) {
      int32_t ms = 0;
      const std::string_view v = Trim(*t);
      const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), ms);
      if (ec != std::errc() || end != v.data() + v.size() || ms < 0) {
        Fail(error, "Busy Timeout must be a number of milliseconds.");
        return E_INVALIDARG;
      }
      target.busyTimeoutMs = ms;
    }
    if (const std::string* c = cs.Find("Create")) target.create = IsTrueWord(Trim(*c));
    *out = std::move(target);
    return S_OK;
  }
  const bool msdasql =
      provider && (EqualsNoCase(name, "MSDASQL") ||
                   (name.size() > 8 && EqualsNoCase(name.substr(0, 8), "MSDASQL.")));
  const bool odbcKeys = cs.Find("Driver") != nullptr || cs.Find("DSN") != nullptr;
  if (msdasql || (provider == nullptr && odbcKeys)) {
    target.route = ConnectionRoute::kOdbc;
    RETURN_IF_FAILED(BuildOdbcString(cs, &target.odbc, error));
    *out = std::move(target);
    return S_OK;
  }
  if (provider) {
    Fail(error, "Provider cannot be found: '" + std::string(name) + "'.");
  } else {
    Fail(error, "The connection string names no provider, driver or DSN.");
  }
  return TVX_E_SQL_PROVIDER_NOT_FOUND;
}

std::string OdbcValue(std::string_view value) {
  bool brace = !value.empty() && (IsSpace(value.front()) || IsSpace(value.back()));
  for (char c : value) {
    if (c == ';' || c == '{' || c == '}' || c == '=') brace = true;
  }
  return brace ? Braced(value) : std::string(value);
}

}  // namespace tavrix::sql
