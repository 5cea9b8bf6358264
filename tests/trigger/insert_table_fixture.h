// The insert-table tests' fixture: a real engine whose controllers insert
// (controller name, Seq) into a table `rows` of a real database each cycle,
// with the backup folder inside the test's folder.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "controller/backup_folder.h"
#include "platform/convert.h"
#include "sql/connection.h"
#include "support/fault_injection.h"
#include "trigger/trigger_fixture.h"
#include "usertable/user_table_man.h"

namespace tavrix::trigger_test {

namespace fs = std::filesystem;

// A database that refuses every open.
sql::FaultPlan Down() {
  sql::FaultPlan plan;
  plan.failOpens = 1000000;
  return plan;
}

struct Row {
  std::string ctrl;
  int64_t seq;
};

class InsertTableFixture : public TriggerTest {
 protected:
  void SetUp() override {
    TriggerTest::SetUp();
    backups_ = dir_ / "backup";
    setenv("IOTAPPTEMP", backups_.c_str(), 1);
    ResetBackupFolderForTesting();
  }
  void TearDown() override {
    StopEngine();
    CTavrixUserDefineTableMan::SetConnectionFactoryForTesting(nullptr);
    unsetenv("IOTAPPTEMP");
    ResetBackupFolderForTesting();
    TriggerTest::TearDown();
  }

  // The database the actions write to; tests set it in their SetUp.
  const std::string& ConnectionString() const { return connectionString_; }

  void Sql(const std::string& text, sql::RowSet* out = nullptr) {
    std::unique_ptr<sql::SqlConnection> db;
    sql::ProviderError e;
    ASSERT_EQ(sql::OpenConnection(ConnectionString(), &db, &e), S_OK) << e.description;
    ASSERT_EQ(db->Execute(text, out), S_OK) << db->lastError().description;
  }
  std::vector<Row> Rows() {
    sql::RowSet set;
    Sql("SELECT ctrl, seq FROM rows ORDER BY id", &set);
    std::vector<Row> rows;
    for (size_t i = 0; i < set.rowCount(); ++i) {
      Variant seq;
      (void)ChangeType(set.at(i, 1), VT_I8, &seq);
      rows.push_back(Row{set.at(i, 0).text(), seq.i8()});
    }
    return rows;
  }

  // An insert-table action writing (controller name, Seq) into `rows`.
  std::string Insert(const std::string& id, bool async = false, const std::string& extra = "") {
    return Action(65536,
                  extra + "<clsTavrixUserDefineDBInfo><m_strADOCon>" + ConnectionString() +
                      "</m_strADOCon><m_strTableName>rows</m_strTableName><m_bAsync>" +
                      (async ? "True" : "False") +
                      "</m_bAsync><clsTavrixTableColumn><m_strColumnName>ctrl</m_strColumnName>"
                      "<m_strItemName></m_strItemName><m_strProperty>Name</m_strProperty>"
                      "</clsTavrixTableColumn><clsTavrixTableColumn><m_strColumnName>seq"
                      "</m_strColumnName><m_strItemName>\\Seq</m_strItemName><m_strProperty>"
                      "Value</m_strProperty></clsTavrixTableColumn></clsTavrixUserDefineDBInfo>",
                  "ins", id);
  }

  TriggerProject Project(const std::vector<std::pair<std::string, bool>>& controllers) {
    TriggerProject p;
    p.workspace = "<m_lAutoRecoveryInterval>50</m_lAutoRecoveryInterval>";
    for (const auto& [name, async] : controllers) {
      TriggerController c{name, {{"Seq", "counter"}}, Insert(name + "_", async)};
      c.samplingRate = 10;
      p.controllers.push_back(c);
    }
    return p;
  }

  std::vector<std::string> BackupFiles() {
    std::vector<std::string> files;
    if (!fs::is_directory(backups_ / "DB")) return files;
    for (const auto& e : fs::directory_iterator(backups_ / "DB")) {
      files.push_back(e.path().filename().string());
    }
    return files;
  }

  // Checks that each controller's rows hold consecutive Seq values, each
  // once, in the order they were made.
  void ExpectEveryRowOnceInOrder(const std::vector<Row>& rows) {
    std::map<std::string, int64_t> last;
    for (const Row& r : rows) {
      auto it = last.find(r.ctrl);
      if (it != last.end()) {
        EXPECT_EQ(r.seq, it->second + 1) << r.ctrl;
      }
      last[r.ctrl] = r.seq;
    }
  }

  fs::path backups_;
  std::string connectionString_;
};

}  // namespace tavrix::trigger_test
