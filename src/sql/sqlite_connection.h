// The native SQLite backend.
//
// The database is opened in WAL mode with synchronous=NORMAL (a commit survives
// a crash of the process; only a power loss can take the last commits) and with
// the busy timeout of the connection string, so a writer waits for another
// connection's lock instead of failing at once. Each connection has its own
// handle in SQLite's multi-thread mode: one thread at a time per connection,
// connections in parallel.
//
// Native codes are SQLite's extended result codes (5 SQLITE_BUSY, 19
// SQLITE_CONSTRAINT, 1299 SQLITE_CONSTRAINT_NOTNULL, ...).
#pragma once

#include <memory>

#include "sql/connection.h"
#include "sql/connection_string.h"

namespace tavrix::sql {

// Opens target.path (route kSqlite). On failure *out stays null and *error
// describes it (E_FAIL with SQLite's code, e.g. 14 SQLITE_CANTOPEN for a missing
// file without "Create").
HRESULT OpenSqlite(const ConnectionTarget& target, std::unique_ptr<SqlConnection>* out,
                   ProviderError* error);

}  // namespace tavrix::sql
