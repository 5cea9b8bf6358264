// The history manager on PostgreSQL through ODBC: a primary server that goes
// away mid-run and the switch to the secondary. Needs the shared test server
// (TAVRIX_TEST_PG, started by scripts/test) for the secondary; the primary is a
// throw-away server of this test, since it is stopped on purpose.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "db/history_man.h"
#include "history_fixture.h"
#include "platform/log.h"
#include "support/pg_test_server.h"

namespace tavrix::testing {
namespace {



std::unique_ptr<sql::SqlConnection> Connect(const std::string& cs) {
  std::unique_ptr<sql::SqlConnection> db;
  sql::ProviderError e;
  EXPECT_EQ(sql::OpenConnection(cs, &db, &e), S_OK) << e.description;
  return db;
}

TEST(HistoryPostgresTest, APrimaryTakenDownSwitchesToTheSecondaryWithoutLosingARow) {
  const char* shared = getenv("TAVRIX_TEST_PG");
  if (shared == nullptr || *shared == '\0') {
    GTEST_SKIP() << "TAVRIX_TEST_PG is not set: start a server with `scripts/pg-test-server "
                    "start DIR` and set TAVRIX_TEST_PG to the connection string it prints";
  }
  TempFolder folder;
  // The folder itself: run as root, the server user gets only this one.
  PgTestServer primary(folder.path());
  ASSERT_TRUE(primary.started()) << primary.connectionString();
  {
    auto db = Connect(primary.connectionString());
    ASSERT_TRUE(db);
    // Commits reach the server's files before they are acknowledged, so a
    // stop right after a row loses nothing that was reported written.
    ASSERT_EQ(db->Execute("ALTER DATABASE tavrix SET synchronous_commit TO on", nullptr), S_OK);
    CreateHistoryTable(*db, "history_postgresql.sql");
  }
  const std::string secondaryTable = "history_switch_" + std::to_string(getpid());
  auto secondaryDb = Connect(shared);
  ASSERT_TRUE(secondaryDb);
  CreateHistoryTable(*secondaryDb, "history_postgresql.sql", secondaryTable);

  WorkspaceRecord w = HistoryWorkspace(primary.connectionString(), shared);
  w.m_strTableName2nd = secondaryTable;
  w.m_bAutoSwitch = true;
  w.m_bSysInfo = true;
  CTavrixHistoryMan man;
  CapturingLogSink log(1);
  ASSERT_EQ(man.Initialize(w, ""), S_OK);
  constexpr int kRows = 20;
  for (int i = 0; i < kRows; ++i) {
    if (i == kRows / 2) {
      ASSERT_TRUE(primary.Halt());
    }
    EXPECT_EQ(man.AddHistory("PLC", "counter", Variant::I4(i), 45292.5, i), S_OK) << i;
  }
  EXPECT_TRUE(man.switched());
  EXPECT_TRUE(log.Contains("TavrixHistoryMan : Switched to the secondary database."))
      << ::testing::PrintToString(log.Texts());
  ASSERT_EQ(man.Close(), S_OK);

  ASSERT_TRUE(primary.Resume());
  const auto primaryRows = ReadRows(*Connect(primary.connectionString()), "TavrixHistory",
                                    "item_time, item_time_ms");
  const auto secondaryRows = ReadRows(*secondaryDb, secondaryTable, "item_time, item_time_ms");
  EXPECT_EQ(secondaryDb->Execute("DROP TABLE " + secondaryTable, nullptr), S_OK);

  std::multiset<std::string> counted;
  std::vector<std::string> markers;
  for (const auto* rows : {&primaryRows, &secondaryRows}) {
    for (const StoredRow& row : *rows) {
      if (row.item == "counter") {
        counted.insert(row.value.text());
      } else {
        markers.push_back(row.value.text());
      }
    }
  }
  std::multiset<std::string> expected;
  for (int i = 0; i < kRows; ++i) expected.insert("3," + std::to_string(i));
  EXPECT_EQ(counted, expected);
  EXPECT_EQ(markers, (std::vector<std::string>{"8,$$OPEN$$", "8,$$SWITCH$$", "8,$$CLOSE$$"}));
  EXPECT_EQ(primaryRows.size(), 1u + kRows / 2);
}

}  // namespace
}  // namespace tavrix::testing
