// The real tavrix executable collecting a simulated counter into an SQLite
// history table: after a SIGTERM the table tells the whole run in order, the
// database opened and closed around the sampling, every cycle bracketed, and
// every counter value recorded exactly once.
#include <signal.h>
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "e2e/sim_project.h"
#include "e2e/tavrix_process.h"

namespace {

using tavrix::e2e::ReadFile;
using tavrix::e2e::SimProject;
using tavrix::e2e::WriteFile;

struct Row {
  std::string controller;
  std::string item;
  std::string value;
};

std::string Column(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  return text ? reinterpret_cast<const char*>(text) : "";
}

class HistoryProcessTest : public tavrix::e2e::TavrixProcessTest {
 protected:
  // Creates the table the way an administrator would, from the shipped
  // schema.
  void CreateDatabase() {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database().c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, ReadFile(TAVRIX_HISTORY_SCHEMA).c_str(), nullptr, nullptr,
                                &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message;
  }

  std::vector<Row> Rows() {
    std::vector<Row> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(database().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      sqlite3_close(db);
      return rows;
    }
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT controller_name, item_name, item_value FROM TavrixHistory "
                       "ORDER BY rowid",
                       -1, &statement, nullptr);
    while (statement && sqlite3_step(statement) == SQLITE_ROW) {
      rows.push_back({Column(statement, 0), Column(statement, 1), Column(statement, 2)});
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
  }

  std::string database() const { return (dir_ / "history.db").string(); }

  // Registers the server on `project`, runs it for `ms` after its press
  // started sampling, and stops it with SIGTERM.
  void RunServer(const std::string& project, int ms) {
    WriteFile(dir_ / "project.xml", project);
    WriteFile(settings_, SettingsText((dir_ / "project.xml").string()));
    Spawn({"-RegServer"});
    ASSERT_EQ(Wait(), 0) << Stderr();
    Spawn({}, {"IOTAPPTEMP=" + dir_.string(), "QUORVELSHARE=" + dir_.string()});
    ASSERT_TRUE(WaitForLog("TavrixController[Press] : Sampling Started.")) << ReadFile(log_);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    ASSERT_EQ(::kill(pid_, SIGTERM), 0);
    ASSERT_EQ(Wait(), 0) << Stderr();
  }
};

TEST_F(HistoryProcessTest, ARunIsRecordedCompleteAndInOrder) {
  CreateDatabase();
  // One simulated press whose counter goes to the history, for enough cycles
  // to see the counter move many times.
  RunServer(SimProject("Press", 20, "", {{"Strokes", "counter:0:1", ""}}, database()), 1500);
  if (HasFatalFailure()) return;

  const std::vector<Row> rows = Rows();
  ASSERT_GE(rows.size(), 4u) << ReadFile(log_);
  std::string story;  // the rows, for the failure messages
  for (const Row& r : rows) story += r.controller + "|" + r.item + "|" + r.value + "\n";

  EXPECT_EQ(rows.front().controller, "$HISTORY$") << story;
  EXPECT_EQ(rows.front().value, "8,$$OPEN$$") << story;
  EXPECT_EQ(rows.back().controller, "$HISTORY$") << story;
  EXPECT_EQ(rows.back().value, "8,$$CLOSE$$") << story;

  // Between them: the start, then cycles, each a $$BEGIN$$ and an $$END$$
  // with the same sequence number (one more than the cycle before), then the
  // stop. Counter values appear inside cycles only, each once and in order.
  enum { kBeforeStart, kBetweenCycles, kInCycle, kStopped } phase = kBeforeStart;
  int sequence = 0;
  int cycles = 0;
  int nextCount = 0;
  for (size_t i = 1; i + 1 < rows.size(); ++i) {
    const Row& r = rows[i];
    SCOPED_TRACE("row " + std::to_string(i + 1) + ": " + r.item + " " + r.value);
    ASSERT_EQ(r.controller, "Press") << story;
    if (r.item == "$$START$$") {
      ASSERT_EQ(phase, kBeforeStart);
      phase = kBetweenCycles;
    } else if (r.item == "$$BEGIN$$") {
      ASSERT_EQ(phase, kBetweenCycles) << story;
      ASSERT_EQ(r.value, "3," + std::to_string(sequence + 1)) << story;
      ++sequence;
      phase = kInCycle;
    } else if (r.item == "$$END$$") {
      ASSERT_EQ(phase, kInCycle) << story;
      ASSERT_EQ(r.value, "3," + std::to_string(sequence)) << story;
      ++cycles;
      phase = kBetweenCycles;
    } else if (r.item == "Strokes") {
      ASSERT_EQ(phase, kInCycle) << story;
      ASSERT_EQ(r.value, "3," + std::to_string(nextCount)) << story;
      ++nextCount;
    } else if (r.item == "$$STOP$$") {
      // The stop may cut a cycle short: its $$END$$ is then missing.
      ASSERT_NE(phase, kBeforeStart) << story;
      phase = kStopped;
    } else {
      FAIL() << "unexpected row\n" << story;
    }
  }
  EXPECT_EQ(phase, kStopped) << story;
  // 1.5 s at 20 ms: many cycles, and the counter read in each.
  EXPECT_GE(cycles, 10) << story;
  EXPECT_GE(nextCount, cycles) << story;
}

// A calculated item and a linked item of the real process: each counter value
// reaches the history scaled by the item's calculation, and the link copies
// every value of the source into the destination within the same cycle.
TEST_F(HistoryProcessTest, CalculatedAndLinkedItemsAreRecordedWithTheirValues) {
  CreateDatabase();
  const std::string scale =
      "<CalculationList><Calculation><m_lCalcIndex>3</m_lCalcIndex><m_strItem>10</m_strItem>"
      "</Calculation></CalculationList>";
  RunServer(SimProject("Press", 20, "",
                       {{"Strokes", "counter:0:1", "<LinkItem>Mirror</LinkItem>"},
                        {"Scaled", "counter:100:1", scale},
                        {"Mirror", "mirror_cell", ""}},
                       database()),
            1000);
  if (HasFatalFailure()) return;

  std::vector<std::string> strokes, scaled, mirror;
  std::string story;
  for (const Row& r : Rows()) {
    story += r.item + "|" + r.value + "\n";
    if (r.item == "Strokes") strokes.push_back(r.value);
    if (r.item == "Scaled") scaled.push_back(r.value);
    if (r.item == "Mirror") mirror.push_back(r.value);
  }
  ASSERT_GE(strokes.size(), 10u) << story;
  for (size_t i = 0; i < strokes.size(); ++i) {
    EXPECT_EQ(strokes[i], "3," + std::to_string(i)) << story;
  }
  // The constant 10 is a number (R8), so the product is one too.
  ASSERT_GE(scaled.size(), 10u) << story;
  for (size_t i = 0; i < scaled.size(); ++i) {
    EXPECT_EQ(scaled[i], "5," + std::to_string((100 + i) * 10)) << story;
  }
  // The stop may end the last cycle between the source's read and the
  // destination's.
  ASSERT_GE(mirror.size() + 1, strokes.size()) << story;
  for (size_t i = 0; i < mirror.size(); ++i) EXPECT_EQ(mirror[i], strokes[i]) << story;
  EXPECT_EQ(ReadFile(log_).find("Failed in calculating"), std::string::npos) << ReadFile(log_);
}

}  // namespace
