// Connection strings: ADO-style "key=value;" lists and the route each one takes.
//
// Syntax (what projects and connection-string lists hold):
//   - Pairs separated by ";"; empty pairs (";;", a trailing ";") are skipped.
//   - A key ends at the first single "="; "==" inside a key stands for one "=".
//     Keys are trimmed and compare without regard to case.
//   - A value is trimmed. It may be enclosed in double or single quotes (a doubled
//     quote inside stands for one) or in ODBC braces ("{...}", "}}" stands for "}"),
//     which lets it hold ";" and keep outer spaces.
//   - A pair without "=", or text after a closing quote or brace other than
//     spaces, makes the whole string invalid.
//   - When a key repeats, lookups see the last occurrence.
//
// Routes:
//   - "Provider=SQLite;Data Source=<path>": the native SQLite backend. Further keys:
//     "Busy Timeout" (milliseconds a write waits for another connection's lock,
//     default 5000) and "Create" (True/Yes/1: create the database file when it is
//     missing; by default a missing file fails the open, so a mistyped path is
//     reported instead of silently starting an empty database).
//   - "Provider=MSDASQL[.n];<odbc string>", or no Provider and a "Driver" or "DSN"
//     key: unixODBC with the rest of the string. The ADO names "Data Source",
//     "User ID", "Password" and "Initial Catalog" become DSN, UID, PWD and DATABASE
//     when the ODBC name is not given too; "Extended Properties" holds a further
//     ODBC string that is appended; "Persist Security Info" is dropped.
//   - Anything else (another provider, or neither a provider nor Driver/DSN) is
//     refused with TVX_E_SQL_PROVIDER_NOT_FOUND.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace tavrix::sql {

struct ConnectionStringPair {
  std::string key;      // trimmed, as written (case kept)
  std::string value;    // unquoted
  bool quoted = false;  // the value was enclosed in quotes or braces
};

class ConnectionString {
 public:
  // Parses `text`. E_INVALIDARG for a malformed string, with *error (when not
  // null) saying where; *out is unchanged then.
  static HRESULT Parse(std::string_view text, ConnectionString* out, std::string* error = nullptr);

  const std::vector<ConnectionStringPair>& pairs() const noexcept { return pairs_; }
  // The value of the last pair named `key` (no case), or null.
  const std::string* Find(std::string_view key) const noexcept;

 private:
  std::vector<ConnectionStringPair> pairs_;
};

enum class ConnectionRoute : uint8_t { kSqlite, kOdbc };

// Where a connection string leads and what the backend needs from it.
struct ConnectionTarget {
  ConnectionRoute route = ConnectionRoute::kSqlite;
  // kSqlite
  std::string path;              // "Data Source"; ":memory:" for a private in-memory database
  int32_t busyTimeoutMs = 5000;  // "Busy Timeout"
  bool create = false;           // "Create"
  // kOdbc: the string handed to the ODBC driver manager.
  std::string odbc;
};

inline constexpr int32_t kDefaultBusyTimeoutMs = 5000;

// Resolves a connection string to its route. E_INVALIDARG for a malformed string
// or a bad value of a key this layer reads (a non-numeric busy timeout, a SQLite
// string without a data source), TVX_E_SQL_PROVIDER_NOT_FOUND when no route takes
// it; *error (when not null) gets a description fit for a log line, which never
// repeats the string itself (it may hold a password).
HRESULT ResolveConnectionString(std::string_view text, ConnectionTarget* out,
                                std::string* error = nullptr);

// The value as an ODBC connection string writes it: braced when it holds ";",
// "{", "}", "=" or outer spaces (a "}" inside doubled), as it is otherwise.
std::string OdbcValue(std::string_view value);

}  // namespace tavrix::sql
