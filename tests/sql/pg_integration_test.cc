// PostgreSQL through unixODBC: the shared database contract, plus what only a
// server shows (a lost connection). Needs a running server: scripts/test starts
// one with scripts/pg-test-server and passes its ODBC connection string in
// TAVRIX_TEST_PG; without it the tests skip.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include "sql/connection.h"
#include "support/pg_test_server.h"
#include "sql/contract.h"

namespace tavrix::sql::testing {
namespace {

std::string PgString(const std::string&, std::string* skip) {
  const char* cs = getenv("TAVRIX_TEST_PG");
  if (cs == nullptr || *cs == '\0') {
    *skip =
        "TAVRIX_TEST_PG is not set: start a server with `scripts/pg-test-server start DIR` "
        "and set TAVRIX_TEST_PG to the connection string it prints";
    return {};
  }
  return cs;
}

INSTANTIATE_TEST_SUITE_P(Postgres, DatabaseContractTest,
                         ::testing::Values(ContractBackend{"Postgres", PgString, "BYTEA"}),
                         [](const auto& info) { return info.param.name; });

TEST(PostgresTest, ReportsTheServerAndRoutesProviderStrings) {
  std::string skip;
  const std::string cs = PgString({}, &skip);
  if (cs.empty()) GTEST_SKIP() << skip;
  for (const std::string& text : {cs, "Provider=MSDASQL;" + cs}) {
    std::unique_ptr<SqlConnection> db;
    ProviderError e;
    ASSERT_EQ(OpenConnection(text, &db, &e), S_OK) << e.description;
    EXPECT_EQ(db->dbmsName(), "PostgreSQL");
    EXPECT_FALSE(db->dbmsVersion().empty());
    EXPECT_EQ(db->identifierQuote(), '"');
  }
  // A port nobody listens on fails the open with the driver's text.
  std::unique_ptr<SqlConnection> db;
  ProviderError e;
  EXPECT_EQ(
      OpenConnection("Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=x", &db, &e),
      E_FAIL);
  EXPECT_FALSE(e.description.empty());
  EXPECT_EQ(e.sqlState.substr(0, 2), "08") << e.sqlState << " " << e.description;
}


TEST(PostgresTest, AServerThatGoesAwayBreaksTheConnection) {
  std::string skip;
  if (PgString({}, &skip).empty()) GTEST_SKIP() << skip;
  // A server of its own: stopping the shared one would fail the tests running beside.
  TempFolder folder;
  std::string cs;
  ASSERT_TRUE(tavrix::testing::RunPgTestServer("start " + folder.path(), &cs)) << cs;
  std::unique_ptr<SqlConnection> db;
  ProviderError e;
  ASSERT_EQ(OpenConnection(cs, &db, &e), S_OK) << e.description;
  ASSERT_EQ(db->Execute("SELECT 1", nullptr), S_OK);
  ASSERT_TRUE(tavrix::testing::RunPgTestServer("halt " + folder.path(), nullptr));
  EXPECT_EQ(db->Execute("SELECT 1", nullptr), E_FAIL);
  EXPECT_TRUE(db->broken()) << db->lastError().sqlState << " " << db->lastError().description;
  EXPECT_FALSE(db->lastError().description.empty());
  std::unique_ptr<SqlConnection> none;
  EXPECT_EQ(OpenConnection(cs, &none, &e), E_FAIL);

  // A new connection works again once the server is back; the old one stays broken.
  ASSERT_TRUE(tavrix::testing::RunPgTestServer("resume " + folder.path(), nullptr));
  EXPECT_EQ(db->Execute("SELECT 1", nullptr), E_FAIL);
  std::unique_ptr<SqlConnection> again;
  ASSERT_EQ(OpenConnection(cs, &again, &e), S_OK) << e.description;
  EXPECT_EQ(again->Execute("SELECT 1", nullptr), S_OK);
  again.reset();
  db.reset();
  EXPECT_TRUE(tavrix::testing::RunPgTestServer("stop " + folder.path(), nullptr));
}

}  // namespace
}  // namespace tavrix::sql::testing
