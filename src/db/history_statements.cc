#include "db/history_statements.h"

#include "platform/text.h"
#include "sql/identifier.h"

namespace tavrix {
namespace {

// The columns joined by ", ", or each followed by " = ?" and joined by `glue`.
std::string ColumnList(std::span<const std::string_view> names, std::string_view suffix,
                       std::string_view glue) {
  std::string out;
  for (std::string_view name : names) {
    if (!out.empty()) out += glue;
    out += name;
    out += suffix;
  }
  return out;
}

bool IsSqlServer2008Or2014(std::string_view name, std::string_view version) {
  const std::string upper = ToUpper(name);
  if (upper.find("SQLSERVER") == std::string::npos &&
      upper.find("SQL SERVER") == std::string::npos) {
    return false;
  }
  return version.starts_with("10.00.") || version.starts_with("12.00.");
}

// One part of a dotted name as the catalogue compares it: trimmed, its
// enclosing quotes or brackets removed.
std::string_view CatalogueName(std::string_view part) {
  while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
  while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
  if (part.size() >= 2 && ((part.front() == '[' && part.back() == ']') ||
                           (part.front() == '"' && part.back() == '"'))) {
    part = part.substr(1, part.size() - 2);
  }
  return part;
}

// A text as a SQL string literal: in single quotes, a quote inside doubled.
std::string Literal(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
  return out;
}

}  // namespace

std::string HistoryCountQuery(std::string_view table, std::string_view quotedTable,
                              std::string_view dbmsName, std::string_view dbmsVersion,
                              bool* catalogue) {
  *catalogue = false;
  std::string plain = "SELECT COUNT(*) FROM " + std::string(quotedTable);
  if (!IsSqlServer2008Or2014(dbmsName, dbmsVersion)) return plain;
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t dot = table.find('.', start);
    parts.push_back(CatalogueName(table.substr(start, dot - start)));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  std::string_view name;
  std::string schemaCondition;
  if (parts.size() == 1) {
    name = parts[0];
    schemaCondition = "C.schema_id = SCHEMA_ID()";
  } else if (parts.size() == 2) {
    name = parts[1];
    schemaCondition = "UPPER(C.name) = UPPER(" + Literal(parts[0]) + ")";
  } else {
    return plain;
  }
  *catalogue = true;
  return "SELECT b.rows FROM sys.objects A JOIN sys.sysindexes B ON A.object_id = B.id AND "
         "B.indid < 2 JOIN sys.schemas C ON A.schema_id = C.schema_id WHERE A.type = 'U' AND "
         "UPPER(A.name) = UPPER(" +
         Literal(name) + ") AND " + schemaCondition;
}

HRESULT BuildHistoryStatements(std::string_view table, char quote, std::string_view dbmsName,
                               std::string_view dbmsVersion, HistoryStatementTexts* out) {
  std::string quoted;
  RETURN_IF_FAILED(sql::QuoteTableName(table, quote, &quoted));
  HistoryStatementTexts t;
  t.insert = "INSERT INTO " + quoted + "(" + ColumnList(kHistoryInsertColumns, "", ", ") +
             ") VALUES(?, ?, ?, ?, ?, ?, ?)";
  const std::span<const std::string_view> update(kHistoryUpdateColumns);
  t.update = "UPDATE " + quoted + " SET " + ColumnList(update.first(4), " = ?", ", ") + " WHERE " +
             ColumnList(update.subspan(4), " = ?", " AND ");
  t.lookup = "SELECT item_value FROM " + quoted + " WHERE " +
             ColumnList(kHistoryLookupColumns, " = ?", " AND ");
  t.count = HistoryCountQuery(table, quoted, dbmsName, dbmsVersion, &t.catalogueCount);
  *out = std::move(t);
  return S_OK;
}

HRESULT HistoryParameterColumns(const std::vector<sql::ColumnInfo>& tableColumns,
                                std::span<const std::string_view> names,
                                std::vector<sql::ColumnInfo>* out, std::string* missing) {
  std::vector<sql::ColumnInfo> columns;
  columns.reserve(names.size());
  for (std::string_view name : names) {
    const sql::ColumnInfo* found = nullptr;
    for (const sql::ColumnInfo& c : tableColumns) {
      if (EqualsNoCase(c.name, name)) {
        found = &c;
        break;
      }
    }
    if (found == nullptr) {
      if (missing) *missing = std::string(name);
      return DB_E_ERRORSINCOMMAND;
    }
    columns.push_back(*found);
  }
  *out = std::move(columns);
  return S_OK;
}

}  // namespace tavrix
