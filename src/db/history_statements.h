// The SQL texts of the history manager and the parameter columns they take.
//
// Table and schema names come from the project file; they reach SQL text only
// through QuoteTableName (sql/identifier.h), or, inside the SQL Server catalogue
// query, as string literals with their quotes doubled. Values (controller and
// item names included) are always parameters, never text.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "sql/column.h"

namespace tavrix {

// The seven columns of the history table, in insert order.
inline constexpr std::array<std::string_view, 7> kHistoryInsertColumns = {
    "controller_name", "item_name",    "item_value", "item_vartype",
    "item_time",       "item_time_ms", "flags"};
// The update's parameters: the four values set, then the three of the key.
inline constexpr std::array<std::string_view, 7> kHistoryUpdateColumns = {
    "item_value",      "item_vartype", "item_time", "item_time_ms",
    "controller_name", "item_name",    "flags"};
// The parameters of the current-value row's lookup.
inline constexpr std::array<std::string_view, 3> kHistoryLookupColumns = {"controller_name",
                                                                          "item_name", "flags"};

struct HistoryStatementTexts {
  std::string insert;  // INSERT INTO t(...) VALUES(?, ?, ?, ?, ?, ?, ?)
  std::string update;  // UPDATE t SET ... WHERE controller_name = ? AND item_name = ? AND flags = ?
  std::string lookup;  // SELECT item_value FROM t WHERE controller_name = ? AND ... flags = ?
  std::string count;   // CountQuery
  bool catalogueCount = false;  // count is the SQL Server catalogue query
};

// Builds the statements for `table` on a database quoting identifiers with
// `quote`, whose product reports `dbmsName` and `dbmsVersion`. E_INVALIDARG
// when the table name cannot be written safely (QuoteTableName's refusals).
HRESULT BuildHistoryStatements(std::string_view table, char quote, std::string_view dbmsName,
                               std::string_view dbmsVersion, HistoryStatementTexts* out);

// The row count query: "SELECT COUNT(*) FROM <quoted table>", or on SQL Server
// 2008 and 2014 (a product name containing "SQLSERVER" or "SQL SERVER" without
// regard to case, a version beginning "10.00." or "12.00.") the row count of
// the catalogue, which needs no table scan: by table name in the default
// schema, or by schema and table for "schema.table". A name of three or more
// parts keeps the plain count. *catalogue tells which was chosen.
std::string HistoryCountQuery(std::string_view table, std::string_view quotedTable,
                              std::string_view dbmsName, std::string_view dbmsVersion,
                              bool* catalogue);

// The parameter columns for `names`, taken by name (without regard to case)
// from the table's columns. DB_E_ERRORSINCOMMAND when the table lacks one;
// *missing (when not null) then names it.
HRESULT HistoryParameterColumns(const std::vector<sql::ColumnInfo>& tableColumns,
                                std::span<const std::string_view> names,
                                std::vector<sql::ColumnInfo>* out, std::string* missing);

}  // namespace tavrix
