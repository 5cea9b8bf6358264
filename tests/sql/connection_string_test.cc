#include "sql/connection_string.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "sql/identifier.h"

namespace tavrix::sql {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(ConnectionStringTest, ParsesPairsQuotesAndBraces) {
  struct Case {
    const char* text;
    Pairs pairs;
  };
  const Case cases[] = {
      {"", {}},
      {" ; ;", {}},
      {"Provider=SQLite;Data Source=/tmp/a.db",
       {{"Provider", "SQLite"}, {"Data Source", "/tmp/a.db"}}},
      {"  Key  =  value with  spaces  ;", {{"Key", "value with  spaces"}}},
      {"A=\"x;y\";B='it''s';C=\"say \"\"hi\"\"\"",
       {{"A", "x;y"}, {"B", "it's"}, {"C", "say \"hi\""}}},
      {"Driver={PostgreSQL Unicode};Pwd={a;b}}c}",
       {{"Driver", "PostgreSQL Unicode"}, {"Pwd", "a;b}c"}}},
      {"A= \" padded \" ;B=", {{"A", " padded "}, {"B", ""}}},
      {"Equals==Key=1", {{"Equals=Key", "1"}}},
      {"K=a=b", {{"K", "a=b"}}},
  };
  for (const Case& c : cases) {
    ConnectionString cs;
    ASSERT_EQ(ConnectionString::Parse(c.text, &cs), S_OK) << c.text;
    Pairs got;
    for (const auto& p : cs.pairs()) got.emplace_back(p.key, p.value);
    EXPECT_EQ(got, c.pairs) << c.text;
  }

  for (const char* bad : {"NoEquals", "A=1;Stray", "=value", "A=\"open", "A={open", "A=\"x\" y;"}) {
    ConnectionString cs;
    std::string why;
    EXPECT_EQ(ConnectionString::Parse(bad, &cs, &why), E_INVALIDARG) << bad;
    EXPECT_FALSE(why.empty()) << bad;
  }
}

TEST(ConnectionStringTest, KeysIgnoreCaseAndTheLastRepeatWins) {
  ConnectionString cs;
  ASSERT_EQ(ConnectionString::Parse("DATA SOURCE=a;data source=b;Other=c", &cs), S_OK);
  ASSERT_NE(cs.Find("Data Source"), nullptr);
  EXPECT_EQ(*cs.Find("Data Source"), "b");
  EXPECT_EQ(cs.Find("Missing"), nullptr);
}

TEST(ConnectionStringTest, ResolvesTheThreeRoutes) {
  struct Case {
    const char* text;
    HRESULT result;
    ConnectionRoute route;
    const char* target;  // the SQLite path or the ODBC string
  };
  const Case cases[] = {
      {"Provider=SQLite;Data Source=/var/lib/h.db", S_OK, ConnectionRoute::kSqlite,
       "/var/lib/h.db"},
      {"provider=sqlite;data source=\"/a b;c.db\"", S_OK, ConnectionRoute::kSqlite, "/a b;c.db"},
      {"Provider=MSDASQL;DSN=History;UID=u;PWD=p", S_OK, ConnectionRoute::kOdbc,
       "DSN=History;UID=u;PWD=p;"},
      {"Provider=MSDASQL.1;Persist Security Info=False;Data Source=H;User ID=u;Password=\"p;q\"",
       S_OK, ConnectionRoute::kOdbc, "DSN=H;UID=u;PWD={p;q};"},
      {"Provider=MSDASQL;Extended Properties=\"DSN=H;UID=u\"", S_OK, ConnectionRoute::kOdbc,
       "DSN=H;UID=u;"},
      {"Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=5432;Database=t", S_OK,
       ConnectionRoute::kOdbc,
       "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=5432;Database=t;"},
      // The ODBC name given explicitly wins over the ADO one.
      {"DSN=A;Data Source=B", S_OK, ConnectionRoute::kOdbc, "DSN=A;"},
      {"Provider=SQLOLEDB;Driver={x};Server=s", TVX_E_SQL_PROVIDER_NOT_FOUND, {}, ""},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=x.mdb", TVX_E_SQL_PROVIDER_NOT_FOUND, {}, ""},
      {"Data Source=x.db", TVX_E_SQL_PROVIDER_NOT_FOUND, {}, ""},
      {"", TVX_E_SQL_PROVIDER_NOT_FOUND, {}, ""},
      {"Provider=SQLite", E_INVALIDARG, {}, ""},
      {"Provider=SQLite;Data Source=a;Busy Timeout=soon", E_INVALIDARG, {}, ""},
      {"Provider=SQLite;Data Source=\"a", E_INVALIDARG, {}, ""},
  };
  for (const Case& c : cases) {
    ConnectionTarget t;
    std::string why;
    ASSERT_EQ(ResolveConnectionString(c.text, &t, &why), c.result) << c.text;
    if (c.result.failed()) {
      EXPECT_FALSE(why.empty()) << c.text;
      continue;
    }
    EXPECT_EQ(t.route, c.route) << c.text;
    EXPECT_EQ(t.route == ConnectionRoute::kSqlite ? t.path : t.odbc, c.target) << c.text;
  }
}

TEST(ConnectionStringTest, SqliteOptionsAndSecretsStayOutOfErrors) {
  ConnectionTarget t;
  ASSERT_EQ(ResolveConnectionString("Provider=SQLite;Data Source=a.db", &t), S_OK);
  EXPECT_EQ(t.busyTimeoutMs, kDefaultBusyTimeoutMs);
  EXPECT_FALSE(t.create);
  ASSERT_EQ(
      ResolveConnectionString("Provider=SQLite;Data Source=a.db;Busy Timeout=250;Create=yes", &t),
      S_OK);
  EXPECT_EQ(t.busyTimeoutMs, 250);
  EXPECT_TRUE(t.create);

  std::string why;
  EXPECT_EQ(ResolveConnectionString("Provider=Other;Password=secret-pw", &t, &why),
            TVX_E_SQL_PROVIDER_NOT_FOUND);
  EXPECT_EQ(why.find("secret-pw"), std::string::npos) << why;
}

TEST(ConnectionStringTest, OdbcValuesAreBracedWhenNeeded) {
  EXPECT_EQ(OdbcValue("plain"), "plain");
  EXPECT_EQ(OdbcValue("a;b"), "{a;b}");
  EXPECT_EQ(OdbcValue("x}y"), "{x}}y}");
  EXPECT_EQ(OdbcValue(" lead"), "{ lead}");
}

TEST(IdentifierTest, TableNamesAreWrittenSafely) {
  struct Case {
    const char* name;
    HRESULT result;
    const char* sql;
  };
  const Case cases[] = {
      {"history", S_OK, "history"},
      {"dbo.History_2$", S_OK, "dbo.History_2$"},
      {" main . history ", S_OK, "main.history"},
      {"my table", S_OK, "\"my table\""},
      {"1st", S_OK, "\"1st\""},
      {"t\"; DROP TABLE x; --", S_OK, "\"t\"\"; DROP TABLE x; --\""},
      {"\"Mixed Case\".t", S_OK, "\"Mixed Case\".t"},
      {"\"Upper\"", S_OK, "\"Upper\""},
      {"[a b].[c]]d]", S_OK, "\"a b\".\"c]d\""},
      {"`x`.y", S_OK, "\"x\".y"},
      {"cat.schema.table", S_OK, "cat.schema.table"},
      {"", E_INVALIDARG, ""},
      {"a..b", E_INVALIDARG, ""},
      {"a.", E_INVALIDARG, ""},
      {"a.b.c.d", E_INVALIDARG, ""},
      {"\"open", E_INVALIDARG, ""},
      {"\"a\"b", E_INVALIDARG, ""},
  };
  for (const Case& c : cases) {
    std::string sql;
    ASSERT_EQ(QuoteTableName(c.name, '"', &sql), c.result) << c.name;
    if (c.result.succeeded()) {
      EXPECT_EQ(sql, c.sql) << c.name;
    }
  }
  std::string sql;
  EXPECT_EQ(QuoteTableName("a`b", '`', &sql), S_OK);
  EXPECT_EQ(sql, "`a``b`");
  EXPECT_EQ(QuoteTableName("plain", ' ', &sql), S_OK);
  EXPECT_EQ(QuoteTableName("needs quotes", ' ', &sql), E_INVALIDARG);
}

}  // namespace
}  // namespace tavrix::sql
