// What the table writer's tests share: a running engine with one simulated
// controller "A" (items "cnt" a counter, "arr" and "cell" writable cells;
// temporary items "t" and "u"), a SQLite database file in the test's folder
// reached through the fault injector, and a recording owner (backup sink and
// completion callback).
//
//   ASSERT_EQ(StartEngine(), S_OK);
//   Exec("create table t1(a integer not null, b text)");
//   auto w = MakeWriter(Table("t1", {Col("a", "*t"), Col("b", "*u")}));
//   ASSERT_TRUE(w);
//   EXPECT_EQ(w->DoInsert(1), S_OK);
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/convert.h"
#include "sql/connection.h"
#include "support/fault_injection.h"
#include "trigger/controller_values.h"
#include "trigger/trigger_fixture.h"
#include "usertable/user_table_man.h"

namespace tavrix::usertable_test {

using trigger_test::TriggerController;
using trigger_test::TriggerProject;
using trigger_test::TriggerTest;

// The owner's side of a writer: every row handed back, every completion.
// The completion callback can be held shut, which stops the insert thread
// right after its current row.
class RecordingOwner : public IDoBackup, public IMeasurePerformance {
 public:
  HRESULT DoBackup(const TableRow& row) override {
    std::lock_guard lock(mutex_);
    backups_.push_back(row);
    return S_OK;
  }
  int32_t OnInsertMeasured(int64_t rowId, uint32_t, uint32_t) override {
    std::unique_lock lock(mutex_);
    completed_.push_back(rowId);
    changed_.notify_all();
    changed_.wait(lock, [&] { return open_; });
    return 1;
  }

  std::vector<TableRow> backups() const {
    std::lock_guard lock(mutex_);
    return backups_;
  }
  std::vector<int64_t> completed() const {
    std::lock_guard lock(mutex_);
    return completed_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    backups_.clear();
    completed_.clear();
  }
  // Holds the next completion callbacks until Open.
  void Hold() {
    std::lock_guard lock(mutex_);
    open_ = false;
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  // Waits until `n` completions have been reported.
  void WaitForCompleted(size_t n) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return completed_.size() >= n; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<TableRow> backups_;
  std::vector<int64_t> completed_;
  bool open_ = true;
};

inline TableColumnInfo Col(std::string columns, std::string item, std::string property = "Value") {
  TableColumnInfo c;
  c.m_strColumnName = std::move(columns);
  c.m_strItemName = std::move(item);
  c.m_strProperty = std::move(property);
  return c;
}

// The value as a 32-bit integer (-999999 when it is none).
inline int32_t IntOf(const Variant& v) {
  Variant out;
  return ChangeType(v, VT_I4, &out).succeeded() ? out.i4() : -999999;
}

class UserTableTest : public TriggerTest {
 protected:
  UserTableTest() { CTavrixUserDefineTableMan::SetConnectionFactoryForTesting(&injector_); }
  ~UserTableTest() override { CTavrixUserDefineTableMan::SetConnectionFactoryForTesting(nullptr); }

  // Starts the engine with controller "A"; `workspace` adds workspace
  // elements (the database retry settings).
  HRESULT StartEngine(const std::string& workspace = "", EngineSettings settings = {}) {
    TriggerProject p;
    p.workspace = workspace;
    TriggerController a{"A", {{"cnt", "counter"}, {"arr", "arr_cell"}, {"cell", "plain_cell"}}};
    a.tempVariables = "t,u";
    a.extra = "<m_bOutputActionLog>True</m_bOutputActionLog>\n";
    p.controllers.push_back(a);
    const HRESULT hr = StartOn(WriteProject(trigger_test::TriggerProjectXml(p)), settings);
    if (hr.failed()) return hr;
    controller_ = Controller("A");
    // Active: the temporary items made and the first cycle read.
    if (!controller_ || !WaitFor([&] {
          return controller_->temporaryItems().Exists("t") && !ValueOf("A", "cnt").IsEmpty();
        })) {
      return E_FAIL;
    }
    return hr;
  }

  std::string DatabasePath() const { return (dir_ / "tables.db").string(); }
  std::string ConnectionString() const {
    return "Provider=SQLite;Data Source=" + DatabasePath() + ";Create=True";
  }

  // Runs SQL on a connection of the test's own (past the injector).
  void Exec(const std::string& sqlText) {
    std::unique_ptr<sql::SqlConnection> db;
    ASSERT_EQ(sql::OpenConnection(ConnectionString(), &db), S_OK);
    ASSERT_EQ(db->Execute(sqlText, nullptr), S_OK) << db->lastError().description;
  }
  sql::RowSet Query(const std::string& sqlText) {
    sql::RowSet rows;
    std::unique_ptr<sql::SqlConnection> db;
    EXPECT_EQ(sql::OpenConnection(ConnectionString(), &db), S_OK);
    if (db) {
      EXPECT_EQ(db->Execute(sqlText, &rows), S_OK) << db->lastError().description;
    }
    return rows;
  }
  // The first column of every row of the query, as integers.
  std::vector<int32_t> Ints(const std::string& sqlText) {
    const sql::RowSet rows = Query(sqlText);
    std::vector<int32_t> out;
    for (size_t r = 0; r < rows.rowCount(); ++r) out.push_back(IntOf(rows.at(r, 0)));
    return out;
  }

  UserDefineDBInfo Table(const std::string& table, std::vector<TableColumnInfo> columns,
                         bool async = false) {
    UserDefineDBInfo info;
    info.m_strADOCon = ConnectionString();
    info.m_strTableName = table;
    info.m_bAsync = async ? "True" : "False";
    info.m_columns = std::move(columns);
    return info;
  }

  static ColumnReaders Readers() {
    return ColumnReaders{&ControllerValueNumber, &ReadControllerValue};
  }

  // A writer of controller A with the recording owner; null when Create
  // failed (its result in *result).
  std::unique_ptr<CTavrixUserDefineTableMan> MakeWriter(const UserDefineDBInfo& info,
                                                        HRESULT* result = nullptr,
                                                        const ColumnReaders& readers = Readers(),
                                                        bool withBackup = true) {
    std::unique_ptr<CTavrixUserDefineTableMan> writer;
    const HRESULT hr = CTavrixUserDefineTableMan::Create(
        *controller_, info, "W", withBackup ? &owner_ : nullptr, &owner_, readers, &writer);
    if (result) *result = hr;
    return writer;
  }

  void SetTemporary(const std::string& name, const Variant& value) {
    ASSERT_EQ(controller_->temporaryItems().SetValue(name, value), S_OK);
  }

  // The temporary item "t" of each backed-up row (its column 0).
  std::vector<int32_t> BackedUpFirstColumn() const {
    std::vector<int32_t> out;
    for (const TableRow& row : owner_.backups()) out.push_back(row.empty() ? -1 : IntOf(row[0]));
    return out;
  }

  sql::FaultInjector injector_;
  RecordingOwner owner_;
  Ref<CTavrixController> controller_;
};

}  // namespace tavrix::usertable_test
