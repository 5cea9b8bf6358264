// The insert-table action on a real SQLite table: rows per execution, rows
// kept in backup files while the database refuses them, and the recovery
// that inserts them again, in order and once each.
#include <fstream>

#include "trigger/actions/insert_table_action.h"
#include "trigger/backup/backup_store.h"
#include "trigger/node_factory.h"
#include "trigger/trigger_root.h"
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

namespace tavrix::trigger_test {
namespace {

// The action object of a one-action tree built on a running controller, for
// the counter operations the controller commands reach.
class BackupCounterTest : public InsertTableTest {
 protected:
  CInsertTableActionObject* BuildAction(const std::string& controller) {
    TriggerExInfo info;
    auto action = std::make_unique<ActionExInfo>();
    action->m_strId = "cnt";
    action->m_strDescription = "ins";
    action->m_lId = "1";
    action->m_lAction = "65536";
    action->m_tableInfo.m_strADOCon = ConnectionString();
    action->m_tableInfo.m_strTableName = "rows";
    action->m_tableInfo.m_columns = {{"ctrl", "", "Name"}, {"seq", "\\Seq", "Value"}};
    info.m_nodes.push_back(std::move(action));
    std::unique_ptr<CTavrixTriggerObserverEx> root;
    Ref<CTavrixController> c = Controller(controller);
    EXPECT_EQ(BuildTriggerTree(*c, info, &root), S_OK);
    tree_ = std::make_unique<TriggerTree>(std::move(root), info);
    EXPECT_EQ(tree_->Initialize(*c), S_OK);
    std::vector<CActionObject*> actions;
    tree_->root().CollectBackupTargets(&actions);
    return static_cast<CInsertTableActionObject*>(actions.at(0));
  }
  void TearDown() override {
    tree_.reset();
    InsertTableTest::TearDown();
  }
  std::unique_ptr<TriggerTree> tree_;
};

TEST_F(BackupCounterTest, CountsFollowTheFilesAndTheMarker) {
  sql::FaultInjector faults;
  faults.SetPlan(Down());
  CTavrixUserDefineTableMan::SetConnectionFactoryForTesting(&faults);
  TriggerProject p = Project({});
  p.controllers = {TriggerController{"A", {{"Seq", "counter"}}}};
  p.controllers[0].samplingRate = 600000;
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_TRUE(WaitFor([&] { return ValueOf("A", "Seq").vt() != VT_EMPTY; }));
  const fs::path markers = backups_ / "DB" / "DBInfo";
  fs::create_directories(markers);
  CInsertTableActionObject* action = BuildAction("A");
  EXPECT_EQ(action->backupCount(), -1);  // not counted before the first use

  struct Step {
    std::string what;
    std::function<void()> run;
    int32_t count;
    std::string marker;  // empty: none
  } steps[] = {
      {"first row", [&] { (void)tree_->Execute(kKindCycle, nullptr); }, 1, "cnt_1.cnt"},
      {"second row", [&] { (void)tree_->Execute(kKindCycle, nullptr); }, 2, "cnt_2.cnt"},
      {"decrement", [&] { EXPECT_EQ(action->DecrementBackupCount(), 0); }, 1, "cnt_1.cnt"},
      {"reset", [&] { EXPECT_EQ(action->ResetBackupCount(), 0); }, 0, ""},
      {"decrement at 0", [&] { EXPECT_EQ(action->DecrementBackupCount(), 0); }, 0, ""},
      {"recovery of a missing file",
       [&] {
         // The database is back (a failed open is tried again after the
         // retry interval).
         faults.SetPlan({});
         EXPECT_TRUE(WaitFor([&] {
           return action->Recovery("NOPE.bak") == HRESULT(static_cast<int32_t>(0x80070002));
         }));
       },
       0, ""},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.run();
    EXPECT_EQ(action->backupCount(), step.count);
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(markers)) found.push_back(e.path().filename());
    EXPECT_EQ(found, step.marker.empty() ? std::vector<std::string>{}
                                         : std::vector<std::string>{step.marker});
  }
  EXPECT_TRUE(WaitForLine("CInsertTableActionObject[A\\ins(1)] : Recovery : deserialize failed."));
  EXPECT_EQ(CountOf("DoBackup : Backup file count is 2."), 1);
}

TEST_F(InsertTableTest, TheSameIdInTwoControllersIsWarnedAbout) {
  TriggerProject p = Project({});
  for (const std::string name : {"A", "B"}) {
    TriggerController c{name, {{"Seq", "counter"}}, Insert("same")};
    c.samplingRate = 600000;
    p.controllers.push_back(c);
  }
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_EQ(InitResult("B"), 1);
  EXPECT_TRUE(WaitForLine(
      "Another controller has an action with the ID \"inssame\": their backup files are shared."));
}

TEST_F(InsertTableTest, MoreThan255InsertThreadsRefuseTheProject) {
  for (const int actions : {255, 256}) {
    SCOPED_TRACE(actions);
    // Never fire: the count is about the definitions.
    std::string inserts;
    for (int i = 0; i < actions; ++i) inserts += Insert("n" + std::to_string(i), true);
    TriggerProject p;
    p.controllers = {TriggerController{
        "A", {{"Seq", "counter"}}, Evaluation("Seq", 0, "-5", inserts)}};
    ASSERT_EQ(Start(p), S_OK);
    if (actions == 255) {
      EXPECT_TRUE(WaitForLine("TavrixEngineMan : Waiting Controller Activate."));
      EXPECT_EQ(CountOf("Failed in initializing Tavrix."), 0);
    } else {
      EXPECT_EQ(LineOf("TavrixEngineMan : AsyncTrigger is too many.").level, 3u);
      EXPECT_EQ(CountOf("Failed in initializing Tavrix."), 1);
    }
    StopEngine();
  }
}

TEST_F(InsertTableTest, ALegacyTriggerInsertsARowEachTimeItsConditionHolds) {
  // 65537: start sampling, and insert a row.
  const std::string table =
      "<clsTavrixUserDefineDBInfo><m_strADOCon>" + ConnectionString() +
      "</m_strADOCon><m_strTableName>rows</m_strTableName><clsTavrixTableColumn><m_strColumnName>"
      "ctrl</m_strColumnName><m_strItemName></m_strItemName><m_strProperty>Name</m_strProperty>"
      "</clsTavrixTableColumn><clsTavrixTableColumn><m_strColumnName>seq</m_strColumnName>"
      "<m_strItemName>\\Seq</m_strItemName><m_strProperty>Value</m_strProperty>"
      "</clsTavrixTableColumn></clsTavrixUserDefineDBInfo>";
  TriggerController a{"A", {{"Seq", "counter"}}};
  a.extra = "<m_bUseTrigger>True</m_bUseTrigger><Collection Property=\"m_mapTrigger\">"
            "<clsTavrixTriggerItem><m_strName>Seq</m_strName><clsTavrixTriggerInfo Index=\"1\">"
            "<m_lAction>65537</m_lAction><m_lCondition>3</m_lCondition><m_strThreshold>2"
            "</m_strThreshold>" + table + "</clsTavrixTriggerInfo></clsTavrixTriggerItem></Collection>";
  TriggerProject p;
  p.controllers = {a};
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_TRUE(WaitFor([&] { return Rows().size() >= 4; }));
  StopEngine();
  const std::vector<Row> rows = Rows();
  EXPECT_EQ(rows[0].ctrl, "A");
  EXPECT_EQ(rows[0].seq, 3);  // the first value above the threshold
  ExpectEveryRowOnceInOrder(rows);
}

}  // namespace
}  // namespace tavrix::trigger_test
