// The insert-table action on a real SQLite table: rows per execution, rows
// kept in backup files while the database refuses them, and the recovery
// that inserts them again, in order and once each.
#include <fstream>

#include "trigger/backup/backup_store.h"
#include "trigger/insert_table_fixture.h"

namespace tavrix::trigger_test {
namespace {

class InsertTableTest : public InsertTableFixture {
 protected:
  void SetUp() override {
    InsertTableFixture::SetUp();
    const std::string database = (dir_ / "rows.db").string();
    std::ofstream touch(database);  // an empty file is an empty database
    connectionString_ = "Provider=SQLite;Data Source=" + database;
    Sql("CREATE TABLE rows (id INTEGER PRIMARY KEY AUTOINCREMENT, ctrl TEXT NOT NULL, "
        "seq INTEGER NOT NULL)");
  }
};

TEST_F(InsertTableTest, EachExecutionInsertsOneRowSynchronouslyOrOnTheInsertThread) {
  ASSERT_EQ(Start(Project({{"A", false}, {"B", true}})), S_OK);
  ASSERT_EQ(InitResult("A"), 1);
  ASSERT_EQ(InitResult("B"), 1);
  ASSERT_TRUE(WaitFor([&] {
    std::map<std::string, int> n;
    for (const Row& r : Rows()) ++n[r.ctrl];
    return n["A"] >= 5 && n["B"] >= 5;
  }));
  StopEngine();
  ExpectEveryRowOnceInOrder(Rows());
  EXPECT_TRUE(BackupFiles().empty());
}

TEST_F(InsertTableTest, RowsTheDatabaseRefusesAreKeptAndRecoveredInOrder) {
  sql::FaultInjector faults;
  CTavrixUserDefineTableMan::SetConnectionFactoryForTesting(&faults);
  ASSERT_EQ(Start(Project({{"A", false}, {"B", true}})), S_OK);
  ASSERT_TRUE(WaitFor([&] { return Rows().size() >= 6; }));
  // The database goes away: the open connections break and new opens fail.
  faults.SetPlan(Down());
  faults.BreakConnections();
  ASSERT_TRUE(WaitFor([&] { return BackupFiles().size() >= 20; }));
  EXPECT_TRUE(WaitFor([&] { return CountOf("DoBackup : Backup file count is") >= 20; }));
  // It comes back: the recovery empties the folder and rows go in directly
  // again.
  faults.SetPlan({});
  ASSERT_TRUE(WaitFor([&] {
    return CountOf("Recovery : All backup files are recovered.") >= 2 && BackupFiles().empty();
  }));
  const size_t before = Rows().size();
  ASSERT_TRUE(WaitFor([&] { return Rows().size() > before + 4; }));
  StopEngine();
  ExpectEveryRowOnceInOrder(Rows());
}

TEST_F(InsertTableTest, RowsBeyondTheBackupLimitAreLostWithTheirValues) {
  sql::FaultInjector faults;
  faults.SetPlan(Down());
  CTavrixUserDefineTableMan::SetConnectionFactoryForTesting(&faults);
  TriggerProject p = Project({});
  TriggerController a{"A", {{"Seq", "counter"}},
                      Insert("A_", false,
                             "<m_bUseActionBackupConfig>True</m_bUseActionBackupConfig>"
                             "<m_lMaxBackupCount>2</m_lMaxBackupCount>")};
  p.controllers = {a};
  fs::create_directories(backups_ / "DB" / "DBInfo");
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_TRUE(WaitForLine("The number of backup files exceeds the specified value(2)."));
  EXPECT_TRUE(WaitForLine("CInsertTableActionObject[A\\ins(A_)] : A row cannot be kept and is lost"));
  StopEngine();
  std::vector<std::string> files = BackupFiles();
  EXPECT_EQ(std::count_if(files.begin(), files.end(),
                          [](const std::string& f) { return f.ends_with(".bak"); }),
            2);
  EXPECT_TRUE(fs::exists(backups_ / "DB" / "DBInfo" / "insA__2.cnt"));
}

TEST_F(InsertTableTest, ARowWithoutBackupIsReportedAsAFailure) {
  sql::FaultInjector faults;
  faults.SetPlan(Down());
  CTavrixUserDefineTableMan::SetConnectionFactoryForTesting(&faults);
  TriggerProject p = Project({});
  // No m_strId: no backup files can be named.
  std::string action = Insert("", false);
  action.replace(action.find("<m_strId>ins</m_strId>"), 22, "");
  TriggerController a{"A", {{"Seq", "counter"}}, action};
  p.controllers = {a};
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_TRUE(WaitForLine("A row cannot be kept and is lost: The action has no ID"));
  const auto line = LineOf("A row cannot be kept and is lost");
  EXPECT_EQ(line.level, 3u);
  EXPECT_EQ(line.result, E_FAIL);
  // The line names the values, so the row can still be entered by hand.
  const int at = IndexOf("A row cannot be kept and is lost");
  ASSERT_GE(at, 0);
  EXPECT_NE(log_.Texts()[at].find("Values: \"A\", "), std::string::npos) << log_.Texts()[at];
  EXPECT_TRUE(BackupFiles().empty());
}

TEST_F(InsertTableTest, ADamagedBackupFileIsSetAsideAndTheOthersRecover) {
  // Backup files of an earlier run: two good rows around a damaged one.
  fs::create_directories(backups_ / "DB");
  BackupStore store((backups_ / "DB").string(), "insA_");
  ASSERT_EQ(store.Write({Variant::Text("A"), Variant::I4(100)}, nullptr), S_OK);
  std::string damaged;
  ASSERT_EQ(store.Write({Variant::Text("A"), Variant::I4(101)}, &damaged), S_OK);
  ASSERT_EQ(store.Write({Variant::Text("A"), Variant::I4(102)}, nullptr), S_OK);
  fs::resize_file(backups_ / "DB" / damaged, 5);

  ASSERT_EQ(Start(Project({{"A", false}})), S_OK);
  ASSERT_TRUE(WaitForLine("Recovery : All backup files are recovered."));
  EXPECT_TRUE(WaitForLine("Recovery : damaged backup file [" + damaged + "] is set aside."));
  StopEngine();
  EXPECT_TRUE(fs::exists(backups_ / "DB" / (damaged + ".bad")));
  const std::vector<Row> rows = Rows();
  ASSERT_GE(rows.size(), 2u);
  // The earlier run's rows come first, before any new one.
  EXPECT_EQ(rows[0].seq, 100);
  EXPECT_EQ(rows[1].seq, 102);
}

}  // namespace
}  // namespace tavrix::trigger_test
