// The rules of a user-defined table description that need no database and no
// controller: how a column record's texts split, which element of a value a
// column receives, the SQL texts of the writer, and how its parameters take
// their types from the table. Each is a pure function, tested as a table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "platform/variant.h"
#include "sql/column.h"

namespace tavrix {

// m_strColumnName split at ",": the names in order, each trimmed of blanks,
// empty ones kept (they keep the positions of the names after them).
std::vector<std::string> SplitColumnNames(std::string_view list);

// Where a column's value comes from, as m_strItemName names it.
struct ColumnSource {
  enum class Kind : uint8_t { kController, kItem, kTemporary };
  Kind kind = Kind::kController;
  std::string controller;  // never empty: the owner's name stands in for an empty part
  std::string item;        // the item part; a temporary item's declared name (no "*")
};

// Splits m_strItemName at the first backslash into controller and item part.
// No backslash: the whole text names a controller, except that a text
// beginning with "*" names a temporary item (there is no controller "*...").
// An empty item part gives a controller column, an item part beginning with
// "*" a temporary item, any other an item column. A temporary item always
// belongs to `owner`, the controller that owns the writer.
ColumnSource SplitColumnSource(std::string_view itemName, std::string_view owner);

// The value a column receives from `value`: with `index` -1 the value
// itself; otherwise element `index` of an array's first dimension (the other
// dimensions at their lower bounds), the value itself for index 0 when it is
// no array, and NULL beyond the array or for a higher index of a non-array.
// A by-reference value is followed; Empty becomes NULL.
Variant ColumnElement(const Variant& value, int32_t index);

// "insert into T(a,b) values (?,?)" with the table and the names as the
// description writes them: the text the writer logs.
std::string InsertStatementText(std::string_view table, const std::vector<std::string>& columns);
// "select a,b from T where 1 = 0", as the description writes them.
std::string SelectStatementText(std::string_view table, const std::vector<std::string>& columns);

// The insert statement the database runs: InsertStatementText, except that
// a table or column name that is no plain identifier is quoted with `quote`
// (sql/identifier.h). E_INVALIDARG for a name that cannot be written safely.
HRESULT BuildInsertStatement(std::string_view table, const std::vector<std::string>& columns,
                             char quote, std::string* out);

// The parameter columns for `names`, each the table column of that name
// (without regard to case; a quoted name matches without its quotes).
// DB_E_ERRORSINCOMMAND when the table has no such column; *missing (when not
// null) then names it.
HRESULT ParameterColumnsFor(const std::vector<sql::ColumnInfo>& tableColumns,
                            const std::vector<std::string>& names,
                            std::vector<sql::ColumnInfo>* out, std::string* missing);

// The least time between two attempts to open a connection that failed or
// broke: the workspace's retry interval, or one second when it gives none.
inline constexpr uint32_t kDefaultReopenIntervalMs = 1000;
uint32_t ReopenIntervalMs(int32_t configuredRetryInterval);

}  // namespace tavrix
