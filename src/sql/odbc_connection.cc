#include "sql/odbc_connection.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace tavrix::sql {
namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "unixODBC wide characters are UTF-16");

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

std::u16string Wide(std::string_view s) { return Utf8ToUtf16(s); }
SQLWCHAR* W(std::u16string& s) { return reinterpret_cast<SQLWCHAR*>(s.data()); }
std::string Narrow(const SQLWCHAR* s, size_t n) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(s), n));
}

HRESULT CodeOfState(std::string_view state) {
  if (state.size() != 5) return E_FAIL;
  const std::string_view cls = state.substr(0, 2);
  if (cls == "23") return DB_E_INTEGRITYVIOLATION;
  if (state == "22001" || state == "22003") return DB_E_DATAOVERFLOW;
  if (cls == "22") return DB_E_CANTCONVERTVALUE;
  if (cls == "42" || cls == "3D" || cls == "3F" || state == "07002") return DB_E_ERRORSINCOMMAND;
  return E_FAIL;
}

bool IsConnectionLost(std::string_view state) {
  return state.substr(0, 2) == "08" || state.substr(0, 4) == "57P0";
}

// The diagnostic records of a handle after a failed call: the first record's
// SQLSTATE and native code, all texts joined.
ProviderError DiagOf(SQLSMALLINT type, SQLHANDLE handle, bool* lost) {
  ProviderError e;
  e.code = E_FAIL;
  for (SQLSMALLINT rec = 1;; ++rec) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR text[1024];
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetDiagRecW(type, handle, rec, state, &native, text,
                                        static_cast<SQLSMALLINT>(std::size(text)), &length);
    if (!Ok(rc)) break;
    const std::string st = Narrow(state, 5);
    const size_t n = std::min<size_t>(static_cast<size_t>(length), std::size(text) - 1);
    std::string msg = Narrow(text, n);
    while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
    if (rec == 1) {
      e.sqlState = st;
      e.nativeCode = native;
      e.code = CodeOfState(st);
    } else {
      e.description += "; ";
    }
    e.description += msg;
    if (lost && IsConnectionLost(st)) *lost = true;
  }
  if (e.description.empty()) e.description = "[unixODBC] The call failed without a diagnostic.";
  return e;
}

// Kind, size and scale of a result column from its ODBC SQL type.
void ClassifySqlType(SQLSMALLINT type, SQLULEN size, SQLSMALLINT digits, ColumnInfo* c) {
  c->sqlType = type;
  c->size = 0;
  c->precision = 0;
  c->scale = 0;
  switch (type) {
    case SQL_BIT:
      c->kind = ColumnKind::kBoolean;
      c->size = 2;
      break;
    case SQL_TINYINT:
      c->kind = ColumnKind::kInteger;
      c->size = 1;
      break;
    case SQL_SMALLINT:
      c->kind = ColumnKind::kInteger;
      c->size = 2;
      break;
    case SQL_INTEGER:
      c->kind = ColumnKind::kInteger;
      c->size = 4;
      break;
    case SQL_BIGINT:
      c->kind = ColumnKind::kInteger;
      c->size = 8;
      break;
    case SQL_REAL:
      c->kind = ColumnKind::kReal;
      c->size = 4;
      break;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      c->kind = ColumnKind::kReal;
      c->size = 8;
      break;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      c->kind = ColumnKind::kNumeric;
      c->precision = static_cast<int32_t>(size);
      c->scale = digits;
      break;
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
      c->kind = ColumnKind::kText;
      c->size = static_cast<int64_t>(size);
      break;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_GUID: c->kind = ColumnKind::kText; break;
    case SQL_BINARY:
    case SQL_VARBINARY:
      c->kind = ColumnKind::kBinary;
      c->size = static_cast<int64_t>(size);
      break;
    case SQL_LONGVARBINARY: c->kind = ColumnKind::kBinary; break;
    case SQL_TYPE_DATE:
    case SQL_DATE: c->kind = ColumnKind::kDate; break;
    case SQL_TYPE_TIME:
    case SQL_TIME: c->kind = ColumnKind::kTime; break;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: c->kind = ColumnKind::kDateTime; break;
    default: c->kind = ColumnKind::kAny; break;
  }
}

class OdbcConnection;

// The parts of an ODBC connection its statements share.
struct OdbcLink {
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool lost = false;
};

// Reads the result columns of an executed statement.
bool DescribeResult(SQLHSTMT stmt, std::vector<ColumnInfo>* columns) {
  SQLSMALLINT n = 0;
  if (!Ok(SQLNumResultCols(stmt, &n))) return false;
  columns->clear();
  for (SQLUSMALLINT i = 1; i <= n; ++i) {
    SQLWCHAR name[256];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
    if (!Ok(SQLDescribeColW(stmt, i, name, static_cast<SQLSMALLINT>(std::size(name)), &nameLength,
                            &type, &size, &digits, &nullable))) {
      return false;
    }
    ColumnInfo c;
    c.name = Narrow(name, std::min<size_t>(static_cast<size_t>(nameLength), std::size(name) - 1));
    ClassifySqlType(type, size, digits, &c);
    c.nullable = nullable != SQL_NO_NULLS;
    SQLWCHAR typeName[128];
    SQLSMALLINT typeLength = 0;
    if (Ok(SQLColAttributeW(stmt, i, SQL_DESC_TYPE_NAME, typeName, sizeof typeName, &typeLength,
                            nullptr))) {
      const size_t units = std::min<size_t>(static_cast<size_t>(typeLength) / sizeof(SQLWCHAR),
                                            std::size(typeName) - 1);
      c.declaredType = Narrow(typeName, units);
    }
    // Drivers that report booleans as characters (psqlodbc's BoolsAsChar) still
    // name the type: the column takes and gives booleans.
    if (EqualsNoCase(c.declaredType, "bool") || EqualsNoCase(c.declaredType, "boolean")) {
      c.kind = ColumnKind::kBoolean;
      c.size = 2;
    }
    columns->push_back(std::move(c));
  }
  return true;
}

// One value by SQLGetData, in as many pieces as it takes. False on a failure.
bool GetChunks(SQLHSTMT stmt, SQLUSMALLINT col, SQLSMALLINT cType, size_t unit, std::string* out,
               bool* isNull) {
  out->clear();
  *isNull = false;
  char buffer[4096];
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt, col, cType, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA) return true;
    if (!Ok(rc)) return false;
    if (indicator == SQL_NULL_DATA) {
      *isNull = true;
      return true;
    }
    // A text piece ends with a terminator the count leaves out.
    const size_t room = sizeof buffer - (cType == SQL_C_BINARY ? 0 : unit);
    size_t got = room;
    if (indicator != SQL_NO_TOTAL && static_cast<size_t>(indicator) < room) {
      got = static_cast<size_t>(indicator);
    }
    out->append(buffer, got);
    if (rc == SQL_SUCCESS) return true;
  }
}

bool ReadValue(SQLHSTMT stmt, SQLUSMALLINT col, const ColumnInfo& c, Variant* out) {
  SQLLEN indicator = 0;
  switch (c.kind) {
    case ColumnKind::kBoolean:
    case ColumnKind::kInteger: {
      int64_t v = 0;
      if (!Ok(SQLGetData(stmt, col, SQL_C_SBIGINT, &v, sizeof v, &indicator))) return false;
      *out = indicator == SQL_NULL_DATA ? Variant::Null() : VariantFromInteger(c, v);
      return true;
    }
    case ColumnKind::kReal:
    case ColumnKind::kNumeric: {
      double v = 0;
      if (!Ok(SQLGetData(stmt, col, SQL_C_DOUBLE, &v, sizeof v, &indicator))) return false;
      *out = indicator == SQL_NULL_DATA ? Variant::Null() : VariantFromReal(c, v);
      return true;
    }
    case ColumnKind::kBinary: {
      std::string bytes;
      bool isNull = false;
      if (!GetChunks(stmt, col, SQL_C_BINARY, 1, &bytes, &isNull)) return false;
      *out = isNull ? Variant::Null() : VariantFromBytes(bytes);
      return true;
    }
    default: {
      std::string raw;
      bool isNull = false;
      if (!GetChunks(stmt, col, SQL_C_WCHAR, sizeof(SQLWCHAR), &raw, &isNull)) return false;
      if (isNull) {
        *out = Variant::Null();
        return true;
      }
      std::u16string units(raw.size() / sizeof(char16_t), u'\0');
      std::memcpy(units.data(), raw.data(), units.size() * sizeof(char16_t));
      *out = VariantFromText(c, Utf16ToUtf8(units));
      return true;
    }
  }
}

class OdbcStatement final : public SqlStatement {
 public:
  OdbcStatement(SqlConnection* connection, OdbcLink* link, SQLHSTMT stmt, size_t params)
      : SqlStatement(connection, params), link_(link), stmt_(stmt) {}
  ~OdbcStatement() override { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }

  HRESULT Execute(int64_t* rowsChanged) override {
    RETURN_IF_FAILED(Run());
    SQLLEN count = -1;
    SQLRowCount(stmt_, &count);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    if (rowsChanged) *rowsChanged = count;
    return S_OK;
  }

  HRESULT Query(RowSet* out) override {
    RETURN_IF_FAILED(Run());
    RowSet rows;
    const HRESULT hr = Collect(&rows);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    RETURN_IF_FAILED(hr);
    *out = std::move(rows);
    return S_OK;
  }

 private:
  HRESULT Error() { return Fail(DiagOf(SQL_HANDLE_STMT, stmt_, &link_->lost)); }

  HRESULT Run() {
    if (link_->lost) return Fail(LayerError(E_FAIL, "The connection to the database is lost."));
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    const auto& vals = values();
    const auto& cols = parameterColumns();
    buffers_.assign(vals.size(), {});
    wide_.assign(vals.size(), {});
    indicators_.assign(vals.size(), 0);
    for (size_t i = 0; i < vals.size(); ++i) {
      RETURN_IF_FAILED(BindOne(i, vals[i], cols[i]));
    }
    const SQLRETURN rc = SQLExecute(stmt_);
    if (rc == SQL_NO_DATA || Ok(rc)) return S_OK;  // NO_DATA: an update that matched no row
    const HRESULT hr = Error();
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return hr;
  }

  HRESULT BindOne(size_t i, const SqlValue& v, const ColumnInfo& c) {
    const auto at = static_cast<SQLUSMALLINT>(i + 1);
    SQLSMALLINT sqlType = c.sqlType;
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLULEN columnSize = c.size > 0 ? static_cast<SQLULEN>(c.size) : 0;
    SQLSMALLINT digits = 0;
    SQLPOINTER data = nullptr;
    SQLLEN length = 0;
    SQLLEN& indicator = indicators_[i];
    switch (v.kind) {
      case SqlValue::Kind::kNull:
        if (sqlType == 0) sqlType = SQL_VARCHAR;
        cType = SQL_C_CHAR;
        indicator = SQL_NULL_DATA;
        if (columnSize == 0) columnSize = 1;
        break;
      case SqlValue::Kind::kInteger:
        buffers_[i].resize(sizeof(int64_t));
        std::memcpy(buffers_[i].data(), &v.integer, sizeof(int64_t));
        cType = SQL_C_SBIGINT;
        if (sqlType == 0) sqlType = SQL_BIGINT;
        indicator = 0;
        break;
      case SqlValue::Kind::kReal:
        buffers_[i].resize(sizeof(double));
        std::memcpy(buffers_[i].data(), &v.real, sizeof(double));
        cType = SQL_C_DOUBLE;
        if (sqlType == 0) sqlType = SQL_DOUBLE;
        if (sqlType == SQL_NUMERIC || sqlType == SQL_DECIMAL) {
          columnSize = static_cast<SQLULEN>(c.precision > 0 ? c.precision : 38);
          digits = static_cast<SQLSMALLINT>(c.scale);
        }
        indicator = 0;
        break;
      case SqlValue::Kind::kText: {
        wide_[i] = Wide(v.bytes);
        if (sqlType == 0) sqlType = SQL_WVARCHAR;
        const SQLULEN units = wide_[i].size();
        if (sqlType == SQL_TYPE_TIMESTAMP || sqlType == SQL_TIMESTAMP) {
          columnSize = 26;
          digits = 6;
        } else if (sqlType == SQL_TYPE_TIME || sqlType == SQL_TIME) {
          columnSize = 15;
          digits = 6;
        } else if (sqlType == SQL_TYPE_DATE || sqlType == SQL_DATE) {
          columnSize = 10;
        } else if (columnSize < units || columnSize == 0) {
          columnSize = units > 0 ? units : 1;
        }
        data = W(wide_[i]);
        length = static_cast<SQLLEN>(units * sizeof(SQLWCHAR));
        indicator = length;
        break;
      }
      case SqlValue::Kind::kBlob:
        buffers_[i].assign(v.bytes.begin(), v.bytes.end());
        cType = SQL_C_BINARY;
        if (sqlType == 0) sqlType = SQL_VARBINARY;
        if (columnSize < buffers_[i].size() || columnSize == 0) {
          columnSize = buffers_[i].empty() ? 1 : buffers_[i].size();
        }
        length = static_cast<SQLLEN>(buffers_[i].size());
        indicator = length;
        break;
    }
    if (data == nullptr && !buffers_[i].empty()) data = buffers_[i].data();
    const SQLRETURN rc = SQLBindParameter(stmt_, at, SQL_PARAM_INPUT, cType, sqlType, columnSize,
                                          digits, data, length, &indicator);
    if (!Ok(rc)) return Error();
    return S_OK;
  }

  HRESULT Collect(RowSet* rows) {
    if (!DescribeResult(stmt_, &rows->columns)) return Error();
    const size_t n = rows->columns.size();
    SQLRETURN rc;
    while (n > 0 && (rc = SQLFetch(stmt_)) != SQL_NO_DATA) {
      if (!Ok(rc)) return Error();
      for (size_t i = 0; i < n; ++i) {
        Variant v;
        if (!ReadValue(stmt_, static_cast<SQLUSMALLINT>(i + 1), rows->columns[i], &v)) {
          return Error();
        }
        rows->values.push_back(std::move(v));
      }
    }
    rows->rowsChanged = -1;
    return S_OK;
  }

  OdbcLink* link_;
  SQLHSTMT stmt_;
  // Bound parameter storage: ODBC reads it at SQLExecute, so it lives here.
  std::vector<std::vector<char>> buffers_;
  std::vector<std::u16string> wide_;
  std::vector<SQLLEN> indicators_;
};

class OdbcConnection final : public SqlConnection {
 public:
  OdbcConnection(SQLHENV env, SQLHDBC dbc) : env_(env) { link_.dbc = dbc; }
  ~OdbcConnection() override {
    if (inTransaction_ && !link_.lost) SQLEndTran(SQL_HANDLE_DBC, link_.dbc, SQL_ROLLBACK);
    SQLDisconnect(link_.dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, link_.dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }

  void ReadInfo() {
    dbmsName_ = InfoText(SQL_DBMS_NAME);
    dbmsVersion_ = InfoText(SQL_DBMS_VER);
    const std::string q = InfoText(SQL_IDENTIFIER_QUOTE_CHAR);
    quote_ = q.size() == 1 ? q[0] : '"';
  }

  std::string dbmsName() const override { return dbmsName_; }
  std::string dbmsVersion() const override { return dbmsVersion_; }
  char identifierQuote() const override { return quote_; }
  bool broken() const override { return link_.lost; }

  HRESULT BeginTransaction() override {
    RETURN_IF_FAILED(CheckLink());
    if (inTransaction_) {
      return Fail(LayerError(E_FAIL, "A transaction is already open on this connection."));
    }
    if (!Ok(SQLSetConnectAttrW(link_.dbc, SQL_ATTR_AUTOCOMMIT,
                               reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF),
                               SQL_IS_UINTEGER))) {
      return DbcError();
    }
    inTransaction_ = true;
    return S_OK;
  }
  HRESULT Commit() override { return EndTransaction(SQL_COMMIT); }
  HRESULT Rollback() override { return EndTransaction(SQL_ROLLBACK); }
  bool inTransaction() const override { return inTransaction_; }

  HRESULT Prepare(std::string_view sql, std::unique_ptr<SqlStatement>* out) override {
    RETURN_IF_FAILED(CheckLink());
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, link_.dbc, &stmt))) return DbcError();
    std::u16string text = Wide(sql);
    if (!Ok(SQLPrepareW(stmt, W(text), static_cast<SQLINTEGER>(text.size())))) {
      const HRESULT hr = Fail(DiagOf(SQL_HANDLE_STMT, stmt, &link_.lost));
      SQLFreeHandle(SQL_HANDLE_STMT, stmt);
      return hr;
    }
    SQLSMALLINT params = 0;
    if (!Ok(SQLNumParams(stmt, &params))) {
      const HRESULT hr = Fail(DiagOf(SQL_HANDLE_STMT, stmt, &link_.lost));
      SQLFreeHandle(SQL_HANDLE_STMT, stmt);
      return hr;
    }
    *out = std::make_unique<OdbcStatement>(this, &link_, stmt, static_cast<size_t>(params));
    return S_OK;
  }

  HRESULT Execute(std::string_view sql, RowSet* out) override {
    RETURN_IF_FAILED(CheckLink());
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, link_.dbc, &stmt))) return DbcError();
    const HRESULT hr = RunDirect(stmt, sql, out);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return hr;
  }

 private:
  HRESULT CheckLink() {
    if (link_.lost) return Fail(LayerError(E_FAIL, "The connection to the database is lost."));
    return S_OK;
  }
  HRESULT DbcError() { return Fail(DiagOf(SQL_HANDLE_DBC, link_.dbc, &link_.lost)); }

  HRESULT EndTransaction(SQLSMALLINT how) {
    if (!inTransaction_) return Fail(LayerError(XACT_E_NOTRANSACTION, "No transaction is active."));
    // The transaction is over whatever the outcome: a failed commit leaves
    // nothing to roll back on the next call.
    inTransaction_ = false;
    RETURN_IF_FAILED(CheckLink());
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, link_.dbc, how);
    const HRESULT hr = Ok(rc) ? S_OK : DbcError();
    if (!link_.lost) {
      SQLSetConnectAttrW(link_.dbc, SQL_ATTR_AUTOCOMMIT,
                         reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER);
    }
    return hr;
  }

  HRESULT RunDirect(SQLHSTMT stmt, std::string_view sql, RowSet* out) {
    std::u16string text = Wide(sql);
    SQLRETURN rc = SQLExecDirectW(stmt, W(text), static_cast<SQLINTEGER>(text.size()));
    if (rc != SQL_NO_DATA && !Ok(rc)) return Fail(DiagOf(SQL_HANDLE_STMT, stmt, &link_.lost));
    RowSet result;
    int64_t changed = -1;
    for (;;) {
      SQLSMALLINT n = 0;
      SQLNumResultCols(stmt, &n);
      if (n > 0) {
        RowSet rows;
        if (!DescribeResult(stmt, &rows.columns))
          return Fail(DiagOf(SQL_HANDLE_STMT, stmt, &link_.lost));
        while ((rc = SQLFetch(stmt)) != SQL_NO_DATA) {
          if (!Ok(rc)) return Fail(DiagOf(SQL_HANDLE_STMT, stmt, &link_.lost));
          for (SQLSMALLINT i = 0; i < n; ++i) {
            Variant v;
            if (!ReadValue(stmt, static_cast<SQLUSMALLINT>(i + 1), rows.columns[i], &v)) {
              return Fail(DiagOf(SQL_HANDLE_STMT, stmt, &link_.lost));
            }
            rows.values.push_back(std::move(v));
          }
        }
        result = std::move(rows);
      } else {
        SQLLEN count = -1;
        if (Ok(SQLRowCount(stmt, &count)) && count >= 0)
          changed = (changed < 0 ? 0 : changed) + count;
      }
      rc = SQLMoreResults(stmt);
      if (rc == SQL_NO_DATA) break;
      if (!Ok(rc)) return Fail(DiagOf(SQL_HANDLE_STMT, stmt, &link_.lost));
    }
    if (out) {
      result.rowsChanged = changed;
      *out = std::move(result);
    }
    return S_OK;
  }

  std::string InfoText(SQLUSMALLINT what) {
    SQLWCHAR buffer[256] = {};
    SQLSMALLINT length = 0;
    if (!Ok(SQLGetInfoW(link_.dbc, what, buffer, sizeof buffer, &length))) return {};
    const size_t units =
        std::min<size_t>(static_cast<size_t>(length) / sizeof(SQLWCHAR), std::size(buffer) - 1);
    return Narrow(buffer, units);
  }

  SQLHENV env_;
  OdbcLink link_;
  bool inTransaction_ = false;
  std::string dbmsName_;
  std::string dbmsVersion_;
  char quote_ = '"';
};

}  // namespace

HRESULT OpenOdbc(const std::string& odbcString, std::unique_ptr<SqlConnection>* out,
                 ProviderError* error) {
  SQLHENV env = SQL_NULL_HENV;
  if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
    *error = LayerError(E_FAIL, "The ODBC environment could not be created.");
    return E_FAIL;
  }
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLHDBC dbc = SQL_NULL_HDBC;
  if (!Ok(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
    *error = DiagOf(SQL_HANDLE_ENV, env, nullptr);
    error->code = E_FAIL;
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return E_FAIL;
  }
  SQLSetConnectAttrW(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(15), 0);
  std::u16string text = Wide(odbcString);
  const SQLRETURN rc =
      SQLDriverConnectW(dbc, nullptr, W(text), static_cast<SQLSMALLINT>(text.size()), nullptr, 0,
                        nullptr, SQL_DRIVER_NOPROMPT);
  if (!Ok(rc)) {
    *error = DiagOf(SQL_HANDLE_DBC, dbc, nullptr);
    error->code = E_FAIL;
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return E_FAIL;
  }
  auto connection = std::make_unique<OdbcConnection>(env, dbc);
  connection->ReadInfo();
  *out = std::move(connection);
  return S_OK;
}

}  // namespace tavrix::sql
