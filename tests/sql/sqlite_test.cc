#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/convert.h"
#include "sql/connection.h"
#include "sql/contract.h"

namespace tavrix::sql::testing {
namespace {

std::string SqliteString(const std::string& folder, std::string*) {
  return "Provider=SQLite;Data Source=" + folder + "/contract.db;Create=True";
}

INSTANTIATE_TEST_SUITE_P(Sqlite, DatabaseContractTest,
                         ::testing::Values(ContractBackend{"Sqlite", SqliteString, "BLOB"}),
                         [](const auto& info) { return info.param.name; });

std::unique_ptr<SqlConnection> Open(const std::string& cs) {
  std::unique_ptr<SqlConnection> c;
  ProviderError e;
  EXPECT_EQ(OpenConnection(cs, &c, &e), S_OK) << e.description;
  return c;
}

Variant Scalar(SqlConnection& db, const std::string& sql) {
  RowSet rows;
  EXPECT_EQ(db.Execute(sql, &rows), S_OK) << sql << ": " << db.lastError().description;
  return rows.rowCount() == 1 ? rows.at(0, 0) : Variant();
}

class SqliteTest : public ::testing::Test {
 protected:
  std::string Cs(const std::string& extra = "") {
    return "Provider=SQLite;Data Source=" + folder_.path() + "/t.db;Create=True" + extra;
  }
  TempFolder folder_;
};

TEST_F(SqliteTest, OpensInWalModeWithNormalSyncAndAMissingFileOnlyWhenAsked) {
  ProviderError e;
  std::unique_ptr<SqlConnection> db;
  const std::string missing = "Provider=SQLite;Data Source=" + folder_.path() + "/none.db";
  EXPECT_EQ(OpenConnection(missing, &db, &e), E_FAIL);
  EXPECT_EQ(db, nullptr);
  EXPECT_EQ(e.nativeCode, 14);  // SQLITE_CANTOPEN
  EXPECT_NE(e.description.find("[SQLite]"), std::string::npos) << e.description;

  db = Open(Cs());
  ASSERT_TRUE(db);
  EXPECT_EQ(db->dbmsName(), "SQLite");
  EXPECT_FALSE(db->dbmsVersion().empty());
  EXPECT_EQ(Scalar(*db, "PRAGMA journal_mode").text(), "wal");
  EXPECT_EQ(Scalar(*db, "PRAGMA synchronous").i4(), 1);  // NORMAL
  // The file exists now: a plain string opens it.
  EXPECT_TRUE(Open("Provider=SQLite;Data Source=" + folder_.path() + "/t.db"));

  // A file that is not a database fails the open, not a later write.
  ASSERT_EQ(db->Execute("CREATE TABLE x(a)", nullptr), S_OK);
  FILE* f = fopen((folder_.path() + "/junk.db").c_str(), "w");
  ASSERT_NE(f, nullptr);
  fputs("this is no database file, just some text long enough to have a header", f);
  fclose(f);
  std::unique_ptr<SqlConnection> junk;
  EXPECT_EQ(OpenConnection("Provider=SQLite;Data Source=" + folder_.path() + "/junk.db", &junk, &e),
            E_FAIL);
  EXPECT_EQ(e.nativeCode, 26);  // SQLITE_NOTADB
}

TEST_F(SqliteTest, OtherRoutesFailWithTheirProviderError) {
  ProviderError e;
  std::unique_ptr<SqlConnection> db;
  EXPECT_EQ(OpenConnection("Provider=SQLOLEDB;Data Source=x", &db, &e),
            TVX_E_SQL_PROVIDER_NOT_FOUND);
  EXPECT_EQ(e.code, TVX_E_SQL_PROVIDER_NOT_FOUND);
  EXPECT_NE(e.description.find("SQLOLEDB"), std::string::npos);
  EXPECT_EQ(OpenConnection("Provider=SQLite;Data Source=\"x", &db, &e), E_INVALIDARG);
  // The ODBC route reaches the driver manager, which knows no such driver.
  EXPECT_EQ(OpenConnection("Driver={No Such Tavrix Driver};Server=x", &db, &e), E_FAIL);
  EXPECT_EQ(e.sqlState, "01000") << e.description;
  EXPECT_NE(e.description.find("unixODBC"), std::string::npos) << e.description;
  EXPECT_EQ(db, nullptr);
}

TEST_F(SqliteTest, UntypedColumnsTakeValuesInTheirNaturalForm) {
  auto db = Open(Cs());
  ASSERT_EQ(db->Execute("CREATE TABLE loose (a, b, c, d)", nullptr), S_OK);
  std::unique_ptr<SqlStatement> st;
  ASSERT_EQ(db->Prepare("INSERT INTO loose VALUES (?, ?, ?, ?)", &st), S_OK);
  std::vector<ColumnInfo> columns;
  ASSERT_EQ(db->DescribeTable("loose", &columns), S_OK);
  ASSERT_EQ(st->SetParameterColumns(columns), S_OK);
  EXPECT_EQ(st->SetParameterColumns({}), E_INVALIDARG);
  ASSERT_EQ(st->Bind(0, Variant::I8(1LL << 50)), S_OK);
  ASSERT_EQ(st->Bind(1, Variant::Cy(Currency{15000})), S_OK);
  ASSERT_EQ(st->Bind(2, Variant::Bool(true)), S_OK);
  ASSERT_EQ(st->Bind(3, Variant::Text("t")), S_OK);
  ASSERT_EQ(st->Execute(nullptr), S_OK);
  RowSet rows;
  ASSERT_EQ(db->Execute("SELECT typeof(a), typeof(b), c, d FROM loose", &rows), S_OK);
  EXPECT_EQ(rows.at(0, 0).text(), "integer");
  EXPECT_EQ(rows.at(0, 1).text(), "real");
  EXPECT_EQ(rows.at(0, 2).i4(), -1);
  EXPECT_EQ(rows.at(0, 3).text(), "t");
  // A second statement after the first is refused: one statement per prepare.
  EXPECT_EQ(db->Prepare("SELECT 1; SELECT 2", &st), DB_E_ERRORSINCOMMAND);
  // A free command may hold several; the rows are the last query's.
  ASSERT_EQ(db->Execute("INSERT INTO loose (a) VALUES (1); SELECT 5 AS five; SELECT 6", &rows),
            S_OK);
  EXPECT_EQ(rows.rowsChanged, 1);
  EXPECT_EQ(rows.at(0, 0).i4(), 6);
}

TEST_F(SqliteTest, AWriterWaitsForTheLockUpToTheBusyTimeout) {
  auto a = Open(Cs());
  ASSERT_EQ(a->Execute("CREATE TABLE t (v INTEGER)", nullptr), S_OK);
  ASSERT_EQ(a->BeginTransaction(), S_OK);
  ASSERT_EQ(a->Execute("INSERT INTO t VALUES (1)", nullptr), S_OK);

  // A short timeout gives up while the lock is held...
  auto impatient = Open(Cs(";Busy Timeout=20"));
  EXPECT_EQ(impatient->BeginTransaction(), E_FAIL);
  EXPECT_EQ(impatient->lastError().nativeCode & 0xFF, 5);  // SQLITE_BUSY
  EXPECT_EQ(impatient->Execute("INSERT INTO t VALUES (2)", nullptr), E_FAIL);
  // ...readers are not blocked in WAL mode and see the committed state...
  EXPECT_EQ(Scalar(*impatient, "SELECT COUNT(*) FROM t").i4(), 0);

  // ...and a patient writer gets the lock once the holder commits.
  auto patient = Open(Cs(";Busy Timeout=30000"));
  std::atomic<bool> started{false};
  HRESULT waited = E_UNEXPECTED;
  std::thread writer([&] {
    started = true;
    waited = patient->Execute("INSERT INTO t VALUES (3)", nullptr);
  });
  while (!started) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(a->Commit(), S_OK);
  writer.join();
  EXPECT_EQ(waited, S_OK) << patient->lastError().description;
  EXPECT_EQ(Scalar(*a, "SELECT COUNT(*) FROM t").i4(), 2);
}

TEST_F(SqliteTest, ConnectionsWorkInParallelOnOneDatabase) {
  {
    auto db = Open(Cs());
    ASSERT_EQ(db->Execute("CREATE TABLE t (thread INTEGER, n INTEGER)", nullptr), S_OK);
  }
  constexpr int kThreads = 4;
  constexpr int kRows = 50;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      auto db = Open(Cs());
      std::unique_ptr<SqlStatement> st;
      if (!db || db->Prepare("INSERT INTO t VALUES (?, ?)", &st).failed()) {
        ++failures;
        return;
      }
      for (int i = 0; i < kRows; ++i) {
        // Every other row in a transaction of its own, the rest in autocommit.
        const bool tx = i % 2 == 0;
        if ((tx && db->BeginTransaction().failed()) || st->Bind(0, Variant::I4(t)).failed() ||
            st->Bind(1, Variant::I4(i)).failed() || st->Execute(nullptr).failed() ||
            (tx && db->Commit().failed())) {
          ++failures;
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, 0);
  auto db = Open(Cs());
  EXPECT_EQ(Scalar(*db, "SELECT COUNT(DISTINCT thread * 1000 + n) FROM t").i4(), kThreads * kRows);
}

}  // namespace
}  // namespace tavrix::sql::testing
