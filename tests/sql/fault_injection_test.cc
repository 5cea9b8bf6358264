#include "support/fault_injection.h"

#include <gtest/gtest.h>

#include "sql/contract.h"

namespace tavrix::sql::testing {
namespace {

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cs_ = "Provider=SQLite;Data Source=" + folder_.path() + "/f.db;Create=True";
    std::unique_ptr<SqlConnection> db;
    ASSERT_EQ(OpenConnection(cs_, &db), S_OK);
    ASSERT_EQ(db->Execute("CREATE TABLE t (v INTEGER NOT NULL)", nullptr), S_OK);
  }

  std::unique_ptr<SqlConnection> Open(ProviderError* e = nullptr) {
    std::unique_ptr<SqlConnection> db;
    ProviderError local;
    EXPECT_EQ(injector_.Open(cs_, &db, e ? e : &local), S_OK);
    return db;
  }

  // The values in the table, read past the injector.
  std::string Values() {
    std::unique_ptr<SqlConnection> db;
    EXPECT_EQ(OpenConnection(cs_, &db), S_OK);
    RowSet rows;
    EXPECT_EQ(db->Execute("SELECT v FROM t ORDER BY rowid", &rows), S_OK);
    std::string s;
    for (size_t i = 0; i < rows.rowCount(); ++i) s += std::to_string(rows.at(i, 0).i4()) + " ";
    return s;
  }

  // Inserts 1..n through one prepared statement; the results in order.
  std::vector<HRESULT> InsertSeries(SqlConnection& db, int n) {
    std::unique_ptr<SqlStatement> st;
    EXPECT_EQ(db.Prepare("INSERT INTO t VALUES (?)", &st), S_OK);
    std::vector<HRESULT> results;
    for (int i = 1; i <= n && st; ++i) {
      HRESULT hr = st->Bind(0, Variant::I4(i));
      if (hr.succeeded()) hr = st->Execute(nullptr);
      results.push_back(hr);
    }
    return results;
  }

  TempFolder folder_;
  std::string cs_;
  FaultInjector injector_;
};

TEST_F(FaultInjectionTest, OpensFailByCountOrByConnectionString) {
  FaultPlan plan;
  plan.failOpens = 2;
  plan.failOpensContaining = "primary.db";
  injector_.SetPlan(plan);
  std::unique_ptr<SqlConnection> db;
  ProviderError e;
  EXPECT_EQ(injector_.Open(cs_, &db, &e), E_FAIL);
  EXPECT_NE(e.description.find("Injected"), std::string::npos);
  EXPECT_EQ(injector_.Open(cs_, &db, &e), E_FAIL);
  EXPECT_EQ(injector_.Open(cs_, &db, &e), S_OK);
  EXPECT_EQ(injector_.Open("Provider=SQLite;Data Source=/x/primary.db", &db, &e), E_FAIL);
  EXPECT_EQ(injector_.opens(), 4);
  // Real open failures pass through untouched.
  EXPECT_EQ(injector_.Open("Provider=Nope", &db, &e), TVX_E_SQL_PROVIDER_NOT_FOUND);
}

TEST_F(FaultInjectionTest, TheNthWriteFailsOnceAndNeverReachesTheDatabase) {
  FaultPlan plan;
  plan.failWriteAt = 3;
  plan.writeFailure = DB_E_INTEGRITYVIOLATION;
  injector_.SetPlan(plan);
  auto db = Open();
  const std::vector<HRESULT> results = InsertSeries(*db, 5);
  EXPECT_EQ(results, (std::vector<HRESULT>{S_OK, S_OK, DB_E_INTEGRITYVIOLATION, S_OK, S_OK}));
  EXPECT_EQ(Values(), "1 2 4 5 ");
  EXPECT_EQ(injector_.writes(), 5);
  EXPECT_FALSE(db->broken());
}

TEST_F(FaultInjectionTest, ABrokenConnectionFailsEveryCallUntilReplaced) {
  FaultPlan plan;
  plan.breakAtWrite = 2;
  injector_.SetPlan(plan);
  auto db = Open();
  ASSERT_EQ(db->BeginTransaction(), S_OK);
  const std::vector<HRESULT> results = InsertSeries(*db, 3);
  EXPECT_EQ(results, (std::vector<HRESULT>{S_OK, E_FAIL, E_FAIL}));
  EXPECT_TRUE(db->broken());
  EXPECT_EQ(db->lastError().sqlState, "08S01");
  EXPECT_EQ(db->Commit(), E_FAIL);
  RowSet rows;
  EXPECT_EQ(db->Execute("SELECT 1", &rows), E_FAIL);
  std::unique_ptr<SqlStatement> st;
  EXPECT_EQ(db->Prepare("SELECT 1", &st), E_FAIL);
  db.reset();  // the open transaction dies with the connection
  EXPECT_EQ(Values(), "");

  auto fresh = Open();
  EXPECT_FALSE(fresh->broken());
  EXPECT_EQ(InsertSeries(*fresh, 1), (std::vector<HRESULT>{S_OK}));
  EXPECT_EQ(Values(), "1 ");
}

TEST_F(FaultInjectionTest, BreakingConnectionsHitsThoseOpenNowOnly) {
  auto before = Open();
  injector_.BreakConnections();
  auto after = Open();
  EXPECT_TRUE(before->broken());
  EXPECT_EQ(before->Execute("INSERT INTO t VALUES (1)", nullptr), E_FAIL);
  EXPECT_FALSE(after->broken());
  EXPECT_EQ(after->Execute("INSERT INTO t VALUES (2)", nullptr), S_OK);
  EXPECT_EQ(Values(), "2 ");
}

TEST_F(FaultInjectionTest, RealErrorsAndTypedParametersPassThrough) {
  auto db = Open();
  std::unique_ptr<SqlStatement> st;
  ASSERT_EQ(db->Prepare("INSERT INTO t VALUES (?)", &st), S_OK);
  std::vector<ColumnInfo> columns;
  ASSERT_EQ(db->DescribeTable("t", &columns), S_OK);
  ASSERT_EQ(st->SetParameterColumns(columns), S_OK);
  EXPECT_EQ(st->parameterColumns()[0].name, "v");
  EXPECT_EQ(st->Bind(0, Variant::Text("abc")), DB_E_CANTCONVERTVALUE);
  EXPECT_NE(db->lastError().description.find("Column 'v'"), std::string::npos);
  EXPECT_EQ(st->Bind(0, Variant::Null()), DB_E_INTEGRITYVIOLATION);
  EXPECT_EQ(db->Execute("INSERT INTO t VALUES (NULL)", nullptr), DB_E_INTEGRITYVIOLATION);
  EXPECT_EQ(db->lastError().nativeCode, 1299);  // SQLITE_CONSTRAINT_NOTNULL
  EXPECT_EQ(db->Commit(), XACT_E_NOTRANSACTION);
}

}  // namespace
}  // namespace tavrix::sql::testing
