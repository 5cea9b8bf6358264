#include "db/history_statements.h"

#include <gtest/gtest.h>

namespace tavrix {
namespace {

TEST(HistoryStatementsTest, TableNamesAreQuotedAndValuesAreParameters) {
  struct Case {
    const char* table;
    const char* quoted;
  } cases[] = {
      {"TavrixHistory", "TavrixHistory"},
      {"dbo.hist", "dbo.hist"},
      {"my history", "\"my history\""},
      {"x\"; DROP TABLE y; --", "\"x\"\"; DROP TABLE y; --\""},
  };
  for (const Case& c : cases) {
    HistoryStatementTexts t;
    ASSERT_EQ(BuildHistoryStatements(c.table, '"', "SQLite", "3.40.1", &t), S_OK) << c.table;
    const std::string q = c.quoted;
    EXPECT_EQ(t.insert, "INSERT INTO " + q +
                            "(controller_name, item_name, item_value, item_vartype, item_time, "
                            "item_time_ms, flags) VALUES(?, ?, ?, ?, ?, ?, ?)");
    EXPECT_EQ(t.update, "UPDATE " + q +
                            " SET item_value = ?, item_vartype = ?, item_time = ?, "
                            "item_time_ms = ? WHERE controller_name = ? AND item_name = ? AND "
                            "flags = ?");
    EXPECT_EQ(t.lookup, "SELECT item_value FROM " + q +
                            " WHERE controller_name = ? AND item_name = ? AND flags = ?");
    EXPECT_EQ(t.count, "SELECT COUNT(*) FROM " + q);
    EXPECT_FALSE(t.catalogueCount);
  }
  HistoryStatementTexts t;
  EXPECT_EQ(BuildHistoryStatements("a..b", '"', "SQLite", "3", &t), E_INVALIDARG);
  EXPECT_EQ(BuildHistoryStatements("", '"', "SQLite", "3", &t), E_INVALIDARG);
}

TEST(HistoryStatementsTest, SqlServer2008And2014CountThroughTheCatalogue) {
  const std::string prefix =
      "SELECT b.rows FROM sys.objects A JOIN sys.sysindexes B ON A.object_id = B.id AND "
      "B.indid < 2 JOIN sys.schemas C ON A.schema_id = C.schema_id WHERE A.type = 'U' AND ";
  struct Case {
    const char* dbms;
    const char* version;
    const char* table;
    std::string count;  // empty: the plain count
  } cases[] = {
      {"Microsoft SQL Server", "10.00.5500", "hist",
       prefix + "UPPER(A.name) = UPPER('hist') AND C.schema_id = SCHEMA_ID()"},
      {"SQLSERVER", "12.00.2000", "dbo.hist",
       prefix + "UPPER(A.name) = UPPER('hist') AND UPPER(C.name) = UPPER('dbo')"},
      // Quotes inside names stay inside the literals.
      {"sql server", "12.00.1", "[o'neil].[h'x]",
       prefix + "UPPER(A.name) = UPPER('h''x') AND UPPER(C.name) = UPPER('o''neil')"},
      {"Microsoft SQL Server", "10.00.1", "db.dbo.hist", ""},
      {"Microsoft SQL Server", "11.00.3000", "hist", ""},
      {"Microsoft SQL Server", "10.50.1600", "hist", ""},
      {"PostgreSQL", "10.00.1", "hist", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.dbms) + " " + c.version + " " + c.table);
    bool catalogue = true;
    const std::string count = HistoryCountQuery(c.table, "<quoted>", c.dbms, c.version,
                                                &catalogue);
    EXPECT_EQ(count, c.count.empty() ? "SELECT COUNT(*) FROM <quoted>" : c.count);
    EXPECT_EQ(catalogue, !c.count.empty());
  }
}

TEST(HistoryStatementsTest, ParametersTakeTheTablesColumnsByName) {
  std::vector<sql::ColumnInfo> table(7);
  const char* names[] = {"FLAGS",     "item_time_ms", "Item_Time",      "item_vartype",
                         "item_value", "item_name",   "controller_name"};
  for (size_t i = 0; i < table.size(); ++i) {
    table[i].name = names[i];
    sql::ClassifyDeclaredType(i == 3 ? "SMALLINT" : "TEXT", &table[i]);
  }
  std::vector<sql::ColumnInfo> params;
  ASSERT_EQ(HistoryParameterColumns(table, kHistoryInsertColumns, &params, nullptr), S_OK);
  ASSERT_EQ(params.size(), 7u);
  EXPECT_EQ(params[0].name, "controller_name");
  EXPECT_EQ(params[3].kind, sql::ColumnKind::kInteger);
  EXPECT_EQ(params[6].name, "FLAGS");

  table.erase(table.begin() + 1);
  std::string missing;
  EXPECT_EQ(HistoryParameterColumns(table, kHistoryUpdateColumns, &params, &missing),
            DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(missing, "item_time_ms");
}

}  // namespace
}  // namespace tavrix
