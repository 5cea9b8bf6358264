#include "sql/connection.h"

#include "sql/connection_string.h"
#include "sql/identifier.h"
#include "sql/odbc_connection.h"
#include "sql/sqlite_connection.h"

namespace tavrix::sql {

HRESULT SqlConnection::DescribeTable(std::string_view table, std::vector<ColumnInfo>* out) {
  std::string quoted;
  if (QuoteTableName(table, identifierQuote(), &quoted).failed()) {
    return Fail(LayerError(E_INVALIDARG, "Invalid table name '" + std::string(table) + "'."));
  }
  RowSet rows;
  RETURN_IF_FAILED(Execute("select * from " + quoted + " where 1 = 0", &rows));
  *out = std::move(rows.columns);
  return S_OK;
}

SqlStatement::SqlStatement(SqlConnection* connection, size_t parameterCount)
    : connection_(connection), columns_(parameterCount), values_(parameterCount) {
  for (size_t i = 0; i < columns_.size(); ++i) {
    std::string name(1, '?');
    name += std::to_string(i + 1);
    columns_[i].name = std::move(name);
  }
}

HRESULT SqlStatement::SetParameterColumns(std::vector<ColumnInfo> columns) {
  if (columns.size() != values_.size()) {
    return Fail(LayerError(E_INVALIDARG, "The statement has " + std::to_string(values_.size()) +
                                             " parameters, not " + std::to_string(columns.size()) +
                                             "."));
  }
  columns_ = std::move(columns);
  for (SqlValue& v : values_) v = SqlValue{};
  return S_OK;
}

HRESULT SqlStatement::Bind(size_t index, const Variant& value) {
  if (index >= values_.size()) {
    return Fail(LayerError(DISP_E_BADINDEX, "No parameter " + std::to_string(index) + "."));
  }
  std::string why;
  SqlValue converted;
  const HRESULT hr = ConvertParameter(value, columns_[index], &converted, &why);
  if (hr.failed()) return Fail(LayerError(hr, why));
  values_[index] = std::move(converted);
  return S_OK;
}

namespace {

class BackendFactory final : public ConnectionFactory {
 public:
  HRESULT Open(std::string_view connectionString, std::unique_ptr<SqlConnection>* out,
               ProviderError* error) override {
    ConnectionTarget target;
    std::string why;
    const HRESULT hr = ResolveConnectionString(connectionString, &target, &why);
    ProviderError local;
    ProviderError* e = error ? error : &local;
    if (hr.failed()) {
      *e = LayerError(hr, why);
      return hr;
    }
    if (target.route == ConnectionRoute::kSqlite) return OpenSqlite(target, out, e);
    return OpenOdbc(target.odbc, out, e);
  }
};

}  // namespace

ConnectionFactory& DefaultConnectionFactory() {
  static BackendFactory factory;
  return factory;
}

HRESULT OpenConnection(std::string_view connectionString, std::unique_ptr<SqlConnection>* out,
                       ProviderError* error) {
  return DefaultConnectionFactory().Open(connectionString, out, error);
}

}  // namespace tavrix::sql
