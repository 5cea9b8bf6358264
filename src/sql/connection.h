// Database connections and prepared statements: the backend interface.
//
// A connection comes from a ConnectionFactory (usually the default one, which
// takes the routes of connection_string.h: native SQLite or unixODBC). Every call
// returns S_OK or a failure code; a failure also records a ProviderError on the
// connection (lastError) with the database's native code and text for the log.
//
// Threads: a connection and its statements are used by one thread at a time (the
// caller serialises; nothing inside locks). Different connections may be used by
// different threads at the same time, also on one database.
//
// Ownership: the caller owns connections and statements (unique_ptr). A statement
// must be destroyed before its connection.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "platform/variant.h"
#include "sql/column.h"
#include "sql/parameter.h"
#include "sql/provider_error.h"

namespace tavrix::sql {

class SqlStatement;

class SqlConnection {
 public:
  SqlConnection() = default;
  SqlConnection(const SqlConnection&) = delete;
  SqlConnection& operator=(const SqlConnection&) = delete;
  virtual ~SqlConnection() = default;

  // The database product and its version: "SQLite" and "3.40.1", or what the
  // ODBC driver reports ("PostgreSQL", "15.10").
  virtual std::string dbmsName() const = 0;
  virtual std::string dbmsVersion() const = 0;
  // The character that quotes identifiers in this database's SQL ('"' mostly);
  // ' ' when the database has none.
  virtual char identifierQuote() const = 0;
  // True once the connection is known to be lost (the server went away, or an
  // injected break): every further call fails with E_FAIL. Only a new
  // connection recovers.
  virtual bool broken() const = 0;

  // Transactions. BeginTransaction starts one (on SQLite it takes the write lock
  // at once, waiting up to the busy timeout); nesting is not supported
  // (E_FAIL while one is open). Commit and Rollback end it;
  // XACT_E_NOTRANSACTION when none is open (also after the database ended it
  // on an error).
  virtual HRESULT BeginTransaction() = 0;
  virtual HRESULT Commit() = 0;
  virtual HRESULT Rollback() = 0;
  virtual bool inTransaction() const = 0;

  // Prepares one SQL statement with "?" parameters. On success *out owns it.
  // DB_E_ERRORSINCOMMAND for SQL the database refuses (syntax, unknown table);
  // some ODBC drivers (psqlodbc) check the text only when it first runs, so the
  // same failure may come from the first Execute or Query instead.
  virtual HRESULT Prepare(std::string_view sql, std::unique_ptr<SqlStatement>* out) = 0;

  // Runs SQL text without parameters (a free command: SQLite takes several
  // statements separated by ";", ODBC what the driver takes). *out (when not
  // null) receives the columns and rows of the last statement that returns
  // rows, and the rows changed.
  virtual HRESULT Execute(std::string_view sql, RowSet* out) = 0;

  // The columns of "select * from <table> where 1 = 0", in table order, with
  // name, declared type, kind, size and nullability. The table name may be
  // schema-qualified; it is rendered by QuoteTableName (identifier.h), so no
  // text of it reaches SQL unquoted unless it is a plain identifier.
  virtual HRESULT DescribeTable(std::string_view table, std::vector<ColumnInfo>* out);

  // The last failure on this connection or one of its statements; successes do
  // not clear it.
  virtual const ProviderError& lastError() const { return error_; }

 protected:
  friend class SqlStatement;
  // Records `e` as the last error and returns its code.
  HRESULT Fail(ProviderError e) {
    error_ = std::move(e);
    return error_.code;
  }

 private:
  ProviderError error_;
};

// A prepared statement. Parameters are numbered from 0 in the order of their
// "?" marks. Each parameter converts its values for a column (parameter.h):
// SetParameterColumns gives them the table's columns; until then each is an
// untyped, nullable column (values bound in their natural form). Bound values
// stay until bound again and are used by every Execute or Query.
class SqlStatement {
 public:
  SqlStatement(const SqlStatement&) = delete;
  SqlStatement& operator=(const SqlStatement&) = delete;
  virtual ~SqlStatement() = default;

  size_t parameterCount() const noexcept { return values_.size(); }
  const std::vector<ColumnInfo>& parameterColumns() const noexcept { return columns_; }

  // Types the parameters: parameter i takes values for columns[i]. E_INVALIDARG
  // when the count differs from parameterCount(). Bound values are cleared
  // (NULL).
  virtual HRESULT SetParameterColumns(std::vector<ColumnInfo> columns);

  // Converts `value` for parameter `index` and keeps it. DISP_E_BADINDEX for an
  // index out of range; the refusals of ConvertParameter (the previously bound
  // value stays then). Every failure is recorded on the connection.
  virtual HRESULT Bind(size_t index, const Variant& value);

  // Runs the statement with the bound values; *rowsChanged (when not null) gets
  // the rows inserted, updated or deleted.
  virtual HRESULT Execute(int64_t* rowsChanged) = 0;
  // Runs the statement with the bound values and collects its rows.
  virtual HRESULT Query(RowSet* out) = 0;

 protected:
  SqlStatement(SqlConnection* connection, size_t parameterCount);
  HRESULT Fail(ProviderError e) { return connection_->Fail(std::move(e)); }
  SqlConnection* connection() const noexcept { return connection_; }
  const std::vector<SqlValue>& values() const noexcept { return values_; }

 private:
  SqlConnection* connection_;
  std::vector<ColumnInfo> columns_;  // one per parameter
  std::vector<SqlValue> values_;     // one per parameter
};

// Opens connections. The history manager and the table writers take a factory
// so that tests can put the fault injector (tests/support/fault_injection.h) in between.
// Implementations are safe to call from several threads.
class ConnectionFactory {
 public:
  virtual ~ConnectionFactory() = default;
  // Opens a connection for an ADO-style connection string. On failure *out is
  // left null, the code is returned and *error (when not null) describes it:
  // E_INVALIDARG or TVX_E_SQL_PROVIDER_NOT_FOUND for the string itself, the
  // database's failure (E_FAIL mostly) for the open.
  virtual HRESULT Open(std::string_view connectionString, std::unique_ptr<SqlConnection>* out,
                       ProviderError* error) = 0;
};

// The factory of the real backends. Lives for the whole process.
ConnectionFactory& DefaultConnectionFactory();

// DefaultConnectionFactory().Open(...).
HRESULT OpenConnection(std::string_view connectionString, std::unique_ptr<SqlConnection>* out,
                       ProviderError* error = nullptr);

}  // namespace tavrix::sql
