#include "sql/sqlite_connection.h"

#include <sqlite3.h>

#include <string>
#include <utility>

namespace tavrix::sql {
namespace {

HRESULT CodeOf(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_CONSTRAINT: return DB_E_INTEGRITYVIOLATION;
    case SQLITE_ERROR: return DB_E_ERRORSINCOMMAND;
    case SQLITE_MISMATCH:
    case SQLITE_RANGE: return DB_E_CANTCONVERTVALUE;
    case SQLITE_TOOBIG: return DB_E_DATAOVERFLOW;
    default: return E_FAIL;
  }
}

ProviderError ErrorOf(sqlite3* db, int rc) {
  const char* text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  const int extended = db ? sqlite3_extended_errcode(db) : rc;
  return ProviderError{CodeOf(rc), extended, {}, std::string("[SQLite] ") + text};
}

bool IsBlank(const char* s) {
  for (; *s; ++s) {
    if (*s != ' ' && *s != '\t' && *s != '\r' && *s != '\n' && *s != ';') return false;
  }
  return true;
}

ColumnInfo DescribeColumn(sqlite3* db, sqlite3_stmt* stmt, int i) {
  ColumnInfo c;
  const char* name = sqlite3_column_name(stmt, i);
  c.name = name ? name : "";
  const char* decl = sqlite3_column_decltype(stmt, i);
  c.declaredType = decl ? decl : "";
  ClassifyDeclaredType(c.declaredType, &c);
  const char* table = sqlite3_column_table_name(stmt, i);
  const char* origin = sqlite3_column_origin_name(stmt, i);
  if (table && origin) {
    int notNull = 0;
    if (sqlite3_table_column_metadata(db, sqlite3_column_database_name(stmt, i), table, origin,
                                      nullptr, nullptr, &notNull, nullptr, nullptr) == SQLITE_OK) {
      c.nullable = notNull == 0;
    }
  }
  return c;
}

Variant ReadValue(sqlite3_stmt* stmt, int i, const ColumnInfo& c) {
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER: return VariantFromInteger(c, sqlite3_column_int64(stmt, i));
    case SQLITE_FLOAT: return VariantFromReal(c, sqlite3_column_double(stmt, i));
    case SQLITE_TEXT: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
      return VariantFromText(c, std::string_view(p ? p : "", sqlite3_column_bytes(stmt, i)));
    }
    case SQLITE_BLOB: {
      const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt, i));
      return VariantFromBytes(std::string_view(p ? p : "", sqlite3_column_bytes(stmt, i)));
    }
    default: return Variant::Null();
  }
}

class SqliteConnection;

class SqliteStatement final : public SqlStatement {
 public:
  SqliteStatement(SqlConnection* connection, sqlite3* db, sqlite3_stmt* stmt)
      : SqlStatement(connection, sqlite3_bind_parameter_count(stmt)), db_(db), stmt_(stmt) {}
  ~SqliteStatement() override { sqlite3_finalize(stmt_); }

  HRESULT Execute(int64_t* rowsChanged) override {
    RETURN_IF_FAILED(BindAll());
    int rc;
    while ((rc = sqlite3_step(stmt_)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) return Finish(rc);
    const int64_t changed = sqlite3_stmt_readonly(stmt_) ? -1 : sqlite3_changes64(db_);
    sqlite3_reset(stmt_);
    if (rowsChanged) *rowsChanged = changed;
    return S_OK;
  }

  HRESULT Query(RowSet* out) override {
    RETURN_IF_FAILED(BindAll());
    RowSet rows;
    const int n = sqlite3_column_count(stmt_);
    for (int i = 0; i < n; ++i) rows.columns.push_back(DescribeColumn(db_, stmt_, i));
    int rc;
    while ((rc = sqlite3_step(stmt_)) == SQLITE_ROW) {
      for (int i = 0; i < n; ++i) rows.values.push_back(ReadValue(stmt_, i, rows.columns[i]));
    }
    if (rc != SQLITE_DONE) return Finish(rc);
    rows.rowsChanged = sqlite3_stmt_readonly(stmt_) ? -1 : sqlite3_changes64(db_);
    sqlite3_reset(stmt_);
    *out = std::move(rows);
    return S_OK;
  }

 private:
  HRESULT BindAll() {
    sqlite3_reset(stmt_);
    const auto& vals = values();
    for (size_t i = 0; i < vals.size(); ++i) {
      const SqlValue& v = vals[i];
      const int at = static_cast<int>(i) + 1;
      int rc = SQLITE_OK;
      switch (v.kind) {
        case SqlValue::Kind::kNull: rc = sqlite3_bind_null(stmt_, at); break;
        case SqlValue::Kind::kInteger: rc = sqlite3_bind_int64(stmt_, at, v.integer); break;
        case SqlValue::Kind::kReal: rc = sqlite3_bind_double(stmt_, at, v.real); break;
        case SqlValue::Kind::kText:
          rc = sqlite3_bind_text64(stmt_, at, v.bytes.data(), v.bytes.size(), SQLITE_STATIC,
                                   SQLITE_UTF8);
          break;
        case SqlValue::Kind::kBlob:
          rc = sqlite3_bind_blob64(stmt_, at, v.bytes.data(), v.bytes.size(), SQLITE_STATIC);
          break;
      }
      if (rc != SQLITE_OK) return Fail(ErrorOf(db_, rc));
    }
    return S_OK;
  }

  // A failed step: the error is read before the reset, which would repeat it.
  HRESULT Finish(int rc) {
    const ProviderError e = ErrorOf(db_, rc);
    sqlite3_reset(stmt_);
    return Fail(e);
  }

  sqlite3* db_;
  sqlite3_stmt* stmt_;
};

class SqliteConnection final : public SqlConnection {
 public:
  explicit SqliteConnection(sqlite3* db) : db_(db) {}
  ~SqliteConnection() override { sqlite3_close_v2(db_); }

  std::string dbmsName() const override { return "SQLite"; }
  std::string dbmsVersion() const override { return sqlite3_libversion(); }
  char identifierQuote() const override { return '"'; }
  bool broken() const override { return false; }

  HRESULT BeginTransaction() override {
    if (inTransaction()) {
      return Fail(LayerError(E_FAIL, "A transaction is already open on this connection."));
    }
    // IMMEDIATE takes the write lock now, under the busy timeout; a deferred
    // transaction could fail later, on its first write, without waiting.
    return Exec("BEGIN IMMEDIATE");
  }
  HRESULT Commit() override {
    if (!inTransaction())
      return Fail(LayerError(XACT_E_NOTRANSACTION, "No transaction is active."));
    return Exec("COMMIT");
  }
  HRESULT Rollback() override {
    if (!inTransaction())
      return Fail(LayerError(XACT_E_NOTRANSACTION, "No transaction is active."));
    return Exec("ROLLBACK");
  }
  bool inTransaction() const override { return sqlite3_get_autocommit(db_) == 0; }

  HRESULT Prepare(std::string_view sql, std::unique_ptr<SqlStatement>* out) override {
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &stmt, &tail);
    if (rc != SQLITE_OK) return Fail(ErrorOf(db_, rc));
    if (stmt == nullptr) {
      return Fail(LayerError(DB_E_ERRORSINCOMMAND, "The command text holds no statement."));
    }
    // The tail points into `sql`, which need not be NUL-terminated: compare by range.
    if (tail && !IsBlank(std::string(tail, sql.data() + sql.size()).c_str())) {
      sqlite3_finalize(stmt);
      return Fail(LayerError(DB_E_ERRORSINCOMMAND, "A prepared command holds one statement only."));
    }
    *out = std::make_unique<SqliteStatement>(this, db_, stmt);
    return S_OK;
  }

  HRESULT Execute(std::string_view sql, RowSet* out) override {
    const std::string text(sql);
    const char* next = text.c_str();
    RowSet result;
    bool haveRows = false;
    int64_t changed = -1;
    while (*next && !IsBlank(next)) {
      sqlite3_stmt* stmt = nullptr;
      const char* tail = nullptr;
      int rc = sqlite3_prepare_v2(db_, next, -1, &stmt, &tail);
      if (rc != SQLITE_OK) return Fail(ErrorOf(db_, rc));
      next = tail;
      if (stmt == nullptr) continue;
      const int n = sqlite3_column_count(stmt);
      RowSet rows;
      for (int i = 0; i < n; ++i) rows.columns.push_back(DescribeColumn(db_, stmt, i));
      while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (int i = 0; i < n; ++i) rows.values.push_back(ReadValue(stmt, i, rows.columns[i]));
      }
      if (rc != SQLITE_DONE) {
        const ProviderError e = ErrorOf(db_, rc);
        sqlite3_finalize(stmt);
        return Fail(e);
      }
      if (!sqlite3_stmt_readonly(stmt))
        changed = (changed < 0 ? 0 : changed) + sqlite3_changes64(db_);
      sqlite3_finalize(stmt);
      if (n > 0) {
        result = std::move(rows);
        haveRows = true;
      }
    }
    if (out) {
      if (!haveRows) result = RowSet{};
      result.rowsChanged = changed;
      *out = std::move(result);
    }
    return S_OK;
  }

 private:
  HRESULT Exec(const char* sql) {
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return Fail(ErrorOf(db_, rc));
    return S_OK;
  }

  sqlite3* db_;
};

}  // namespace

HRESULT OpenSqlite(const ConnectionTarget& target, std::unique_ptr<SqlConnection>* out,
                   ProviderError* error) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  if (target.create) flags |= SQLITE_OPEN_CREATE;
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(target.path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    // The handle carries the message (unless out of memory); it must still be closed.
    *error = ErrorOf(db, rc);
    error->description += " (" + target.path + ")";
    sqlite3_close_v2(db);
    return error->code = E_FAIL;
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, target.busyTimeoutMs);
  // WAL lets readers go on while one connection writes; NORMAL syncs at
  // checkpoints, not at every commit. An in-memory database stays in "memory".
  const char* setup = "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;";
  rc = sqlite3_exec(db, setup, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    *error = ErrorOf(db, rc);
    error->code = E_FAIL;
    sqlite3_close_v2(db);
    return E_FAIL;
  }
  *out = std::make_unique<SqliteConnection>(db);
  return S_OK;
}

}  // namespace tavrix::sql
