#include "usertable/table_layout.h"

#include "platform/safearray.h"
#include "platform/text.h"
#include "sql/identifier.h"

namespace tavrix {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) {
    if (!out.empty()) out += ',';
    out += name;
  }
  return out;
}

// A name without the quotes or brackets that enclose it.
std::string_view Unquoted(std::string_view name) {
  if (name.size() >= 2 &&
      ((name.front() == '"' && name.back() == '"') || (name.front() == '[' && name.back() == ']') ||
       (name.front() == '`' && name.back() == '`'))) {
    return name.substr(1, name.size() - 2);
  }
  return name;
}

}  // namespace

std::vector<std::string> SplitColumnNames(std::string_view list) {
  std::vector<std::string> names;
  for (size_t start = 0;;) {
    const size_t comma = list.find(',', start);
    names.emplace_back(TrimBlanks(list.substr(start, comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return names;
}

ColumnSource SplitColumnSource(std::string_view itemName, std::string_view owner) {
  ColumnSource source;
  std::string_view controller = itemName;
  std::string_view item;
  if (const size_t slash = itemName.find('\\'); slash != std::string_view::npos) {
    controller = itemName.substr(0, slash);
    item = itemName.substr(slash + 1);
  } else if (!itemName.empty() && itemName.front() == '*') {
    controller = {};
    item = itemName;
  }
  if (!item.empty() && item.front() == '*') {
    source.kind = ColumnSource::Kind::kTemporary;
    source.controller.assign(owner);
    source.item.assign(item.substr(1));
    return source;
  }
  source.kind = item.empty() ? ColumnSource::Kind::kController : ColumnSource::Kind::kItem;
  source.controller.assign(controller.empty() ? owner : controller);
  source.item.assign(item);
  return source;
}

Variant ColumnElement(const Variant& value, int32_t index) {
  const Variant& v = value.Deref();
  Variant out;
  if (index < 0) {
    out = v;
  } else if (v.IsArray()) {
    const SafeArray& array = v.array();
    // Column-major storage: element i of the first dimension, the others at
    // their lower bounds, is flat position i.
    if (array.dims() > 0 && static_cast<uint32_t>(index) < array.bounds()[0].count) {
      (void)array.Get(static_cast<size_t>(index), &out);
      out = Variant(out.Deref());
    }
  } else if (index == 0) {
    out = v;
  }
  if (out.IsEmpty()) out = Variant::Null();
  return out;
}

std::string InsertStatementText(std::string_view table, const std::vector<std::string>& columns) {
  std::string marks;
  for (size_t i = 0; i < columns.size(); ++i) marks += i == 0 ? "?" : ",?";
  return "insert into " + std::string(table) + "(" + JoinNames(columns) + ") values (" + marks +
         ")";
}

std::string SelectStatementText(std::string_view table, const std::vector<std::string>& columns) {
  return "select " + JoinNames(columns) + " from " + std::string(table) + " where 1 = 0";
}

HRESULT BuildInsertStatement(std::string_view table, const std::vector<std::string>& columns,
                             char quote, std::string* out) {
  std::string quotedTable;
  RETURN_IF_FAILED(sql::QuoteTableName(table, quote, &quotedTable));
  std::vector<std::string> quotedColumns;
  quotedColumns.reserve(columns.size());
  for (const std::string& column : columns) {
    std::string quoted;
    RETURN_IF_FAILED(sql::QuoteTableName(column, quote, &quoted));
    quotedColumns.push_back(std::move(quoted));
  }
  *out = InsertStatementText(quotedTable, quotedColumns);
  return S_OK;
}

HRESULT ParameterColumnsFor(const std::vector<sql::ColumnInfo>& tableColumns,
                            const std::vector<std::string>& names,
                            std::vector<sql::ColumnInfo>* out, std::string* missing) {
  std::vector<sql::ColumnInfo> columns;
  columns.reserve(names.size());
  for (const std::string& name : names) {
    const std::string_view wanted = Unquoted(name);
    const sql::ColumnInfo* found = nullptr;
    for (const sql::ColumnInfo& c : tableColumns) {
      if (EqualsNoCase(c.name, wanted)) {
        found = &c;
        break;
      }
    }
    if (found == nullptr) {
      if (missing) *missing = name;
      return DB_E_ERRORSINCOMMAND;
    }
    columns.push_back(*found);
  }
  *out = std::move(columns);
  return S_OK;
}

uint32_t ReopenIntervalMs(int32_t configuredRetryInterval) {
  return configuredRetryInterval > 0 ? static_cast<uint32_t>(configuredRetryInterval)
                                     : kDefaultReopenIntervalMs;
}

}  // namespace tavrix
