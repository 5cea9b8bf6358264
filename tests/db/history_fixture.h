// Shared pieces of the history manager's tests: private folders, the example
// schemas, and the rows of a history table read back past the manager.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/project_records.h"
#include "db/history_man.h"
#include "platform/variant.h"
#include "sql/connection.h"
#include "support/fault_injection.h"

namespace tavrix::testing {

// A fresh private folder, removed with everything in it at destruction.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// examples/history/<file> with every "TavrixHistory" replaced by `table`, run
// statement by statement on `db`. Fails the test on an error.
void CreateHistoryTable(sql::SqlConnection& db, std::string_view file,
                        std::string_view table = "TavrixHistory");

// One row of a history table.
struct StoredRow {
  std::string controller;
  std::string item;
  Variant value;  // as the table gives it back: VT_NULL, texts, numbers
  int32_t vartype = 0;
  std::string time;  // "YYYY-MM-DD HH:MM:SS.ffffff"
  int32_t microsecond = 0;
  int32_t flags = 0;
};

// The rows of `table`, in the order `orderBy` gives ("rowid" on SQLite).
std::vector<StoredRow> ReadRows(sql::SqlConnection& db, std::string_view table = "TavrixHistory",
                                std::string_view orderBy = "rowid");

// The item_value texts of the rows, or "NULL".
std::vector<std::string> Values(const std::vector<StoredRow>& rows);

// A plan that fails the n-th write from now.
inline sql::FaultPlan FailingWrite(int64_t n) {
  sql::FaultPlan plan;
  plan.failWriteAt = n;
  return plan;
}

// A workspace with history on, both databases given, table type 0, no markers.
WorkspaceRecord HistoryWorkspace(std::string primary, std::string secondary);

// Two SQLite databases with the example table, a fault injector in front of
// them and a manager of the test's own.
class HistoryTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Initialises a new manager with `workspace` and the project path
  // <folder>/project.xml.
  HRESULT Start(const WorkspaceRecord& workspace);
  // A workspace for the two databases of the fixture.
  WorkspaceRecord Workspace() const;
  // A connection past the injector.
  std::unique_ptr<sql::SqlConnection> Open(const std::string& connectionString) const;
  std::vector<StoredRow> PrimaryRows() const;
  std::vector<StoredRow> SecondaryRows() const;
  // Adds an item value with a fixed time stamp.
  HRESULT Add(std::string_view controller, std::string_view item, const Variant& value,
              uint32_t microsecond = 0);
  // Inserts n plain rows into a database directly.
  void Fill(const std::string& connectionString, int n) const;

  static constexpr double kTime = 45292.5;  // 2024-01-01 12:00:00

  TempFolder folder_;
  std::string primary_;
  std::string secondary_;
  sql::FaultInjector injector_;
  std::unique_ptr<CTavrixHistoryMan> man_;
};

}  // namespace tavrix::testing
