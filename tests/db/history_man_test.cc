#include "db/history_man.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "config/replace_strings.h"
#include "history_fixture.h"
#include "platform/clock.h"
#include "platform/date.h"
#include "platform/log.h"
#include "platform/safearray.h"
#include "sql/record_set.h"

namespace tavrix::testing {
namespace {

// "item=value/flags" of each row.
std::vector<std::string> Summary(const std::vector<StoredRow>& rows) {
  std::vector<std::string> out;
  const std::vector<std::string> values = Values(rows);
  for (size_t i = 0; i < rows.size(); ++i) {
    out.push_back(rows[i].item + "=" + values[i] + "/" + std::to_string(rows[i].flags));
  }
  return out;
}

Variant ByteArray(std::initializer_list<uint8_t> bytes) {
  Ref<SafeArray> a = SafeArray::Create1D(VT_UI1, static_cast<uint32_t>(bytes.size()));
  std::copy(bytes.begin(), bytes.end(), a->data());
  return Variant::Array(a);
}

std::string FileContent(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int64_t UnixMicros(int y, int mo, int d, int h, int mi, int s, int us) {
  double date = 0;
  EXPECT_EQ(DateFromFields(y, mo, d, h, mi, s, us, &date), S_OK);
  int64_t micros = 0;
  EXPECT_EQ(DateToUnixMicros(date, &micros), S_OK);
  return micros;
}

TEST_F(HistoryTest, TableTypeChoosesHistoryRowsCurrentRowsOrBoth) {
  struct Case {
    int32_t tableType;
    std::vector<std::string> rows;
  } cases[] = {
      {0, {"a=3,1/0", "a=3,2/0", "b=3,7/0"}},
      // The first change of an item finds no current-value row and inserts it.
      {1, {"a=3,2/1", "b=3,7/1"}},
      {2, {"a=3,1/0", "a=3,2/1", "a=3,2/0", "b=3,7/0", "b=3,7/1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tableType);
    ASSERT_EQ(Open(primary_)->Execute("DELETE FROM TavrixHistory", nullptr), S_OK);
    WorkspaceRecord w = Workspace();
    w.m_lTableType = c.tableType;
    ASSERT_EQ(Start(w), S_OK);
    EXPECT_EQ(Add("PLC", "a", Variant::I4(1)), S_OK);
    EXPECT_EQ(Add("PLC", "a", Variant::I4(2)), S_OK);
    EXPECT_EQ(Add("PLC", "b", Variant::I4(7)), S_OK);
    EXPECT_EQ(Summary(PrimaryRows()), c.rows);
    EXPECT_EQ(man_->recordCount(), static_cast<int64_t>(c.rows.size()));
  }
}

TEST_F(HistoryTest, ItemValueIsTheTypedTextOrWithNoConvToBstrTheValueItself) {
  double date = 0;
  ASSERT_EQ(DateFromFields(2024, 5, 6, 7, 8, 9, 0, &date), S_OK);
  struct Case {
    Variant value;
    const char* text;    // m_bNoConvToBstr off
    const char* itself;  // on (into the TEXT column)
  } cases[] = {
      {Variant::I4(42), "3,42", "42"},
      {Variant::R8(2.5), "5,2.5", "2.5"},
      {Variant::Text("it's"), "8,it's", "it's"},
      {Variant::Bool(true), "11,True", "True"},
      {Variant::Date(date), "7,2024-05-06 07:08:09", "2024-05-06 07:08:09.000000"},
      {Variant::Empty(), "0,", "NULL"},
  };
  for (bool noConv : {false, true}) {
    ASSERT_EQ(Open(primary_)->Execute("DELETE FROM TavrixHistory", nullptr), S_OK);
    WorkspaceRecord w = Workspace();
    w.m_bNoConvToBstr = noConv;
    ASSERT_EQ(Start(w), S_OK);
    std::vector<std::string> expected;
    for (const Case& c : cases) {
      EXPECT_EQ(Add("PLC", "x", c.value), S_OK) << DebugString(c.value);
      expected.push_back(noConv ? c.itself : c.text);
    }
    const std::vector<StoredRow> rows = PrimaryRows();
    EXPECT_EQ(Values(rows), expected) << "NoConvToBstr " << noConv;
    ASSERT_EQ(rows.size(), std::size(cases));
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].vartype, cases[i].value.vt());
  }
}

TEST_F(HistoryTest, AValueTheTableCannotTakeFailsOnlyItsRow) {
  WorkspaceRecord w = Workspace();
  w.m_bAutoSwitch = true;
  for (bool noConv : {false, true}) {
    w.m_bNoConvToBstr = noConv;
    ASSERT_EQ(Start(w), S_OK);
    CapturingLogSink log(0);
    // No text form for an object; no column type for an array of numbers.
    Ref<sql::RecordSet> object = sql::RecordSet::Create({});
    const Variant bad = noConv ? Variant::Array(SafeArray::Create1D(VT_I4, 2))
                               : Variant::Dispatch(Ref<IDispatch>(object));
    EXPECT_TRUE(Add("PLC", "bad", bad).failed());
    EXPECT_TRUE(log.Contains(noConv ? "TavrixHistoryMan : [Tavrix]"
                                    : "TavrixHistoryMan : AddHistory0 failed."))
        << ::testing::PrintToString(log.Texts());
    // Neither a switch nor a silent series follows.
    EXPECT_FALSE(man_->switched());
    EXPECT_EQ(Add("PLC", "good", Variant::I4(1)), S_OK);
  }
  EXPECT_EQ(Summary(PrimaryRows()), (std::vector<std::string>{"good=3,1/0", "good=1/0"}));
}

TEST_F(HistoryTest, NamesAndValuesReachTheDatabaseOnlyAsParameters) {
  auto db = Open(primary_);
  CreateHistoryTable(*db, "history_sqlite.sql", "\"my history\"");
  WorkspaceRecord w = Workspace();
  w.m_strTableName = "my history";
  ASSERT_EQ(Start(w), S_OK);
  const std::string item = "x'); DROP TABLE TavrixHistory; --";
  EXPECT_EQ(Add("PLC\"", item, Variant::Text("'; DELETE FROM \"my history\"; --")), S_OK);
  const std::vector<StoredRow> rows = ReadRows(*db, "\"my history\"");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].controller, "PLC\"");
  EXPECT_EQ(rows[0].item, item);
  EXPECT_EQ(rows[0].value.text(), "8,'; DELETE FROM \"my history\"; --");
  EXPECT_TRUE(PrimaryRows().empty());
}

TEST_F(HistoryTest, MarkersCarryTheHostClockWithoutRoundingIntoTheNextSecond) {
  FakeClock clock(0, UnixMicros(2024, 3, 4, 5, 6, 7, 999500));
  ScopedClockOverride use(clock);
  WorkspaceRecord w = Workspace();
  w.m_bSysInfo = true;
  ASSERT_EQ(Start(w), S_OK);
  EXPECT_EQ(Add("PLC", "x", Variant::I4(1)), S_OK);
  // Initialising again closes first: two more markers in the same millisecond.
  ASSERT_EQ(man_->Initialize(w, folder_.path() + "/project.xml"), S_OK);
  clock.AdvanceMs(1);
  ASSERT_EQ(man_->Close(), S_OK);

  const std::vector<StoredRow> rows = PrimaryRows();
  ASSERT_EQ(rows.size(), 5u);
  struct Expected {
    const char* value;
    const char* time;
    int32_t microsecond;
  } expected[] = {
      {"8,$$OPEN$$", "2024-03-04 05:06:07.000000", 999000},
      {"3,1", "2024-01-01 12:00:00.000000", 0},
      {"8,$$CLOSE$$", "2024-03-04 05:06:07.000000", 999001},
      {"8,$$OPEN$$", "2024-03-04 05:06:07.000000", 999002},
      {"8,$$CLOSE$$", "2024-03-04 05:06:08.000000", 0},
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    const bool marker = i != 1;
    EXPECT_EQ(rows[i].controller, marker ? "$HISTORY$" : "PLC");
    EXPECT_EQ(rows[i].item, marker ? "" : "x");
    EXPECT_EQ(rows[i].value.text(), expected[i].value);
    EXPECT_EQ(rows[i].vartype, marker ? VT_BSTR : VT_I4);
    EXPECT_EQ(rows[i].time, expected[i].time);
    EXPECT_EQ(rows[i].microsecond, expected[i].microsecond);
  }

  // Without m_bSysInfo no marker is written.
  ASSERT_EQ(Open(primary_)->Execute("DELETE FROM TavrixHistory", nullptr), S_OK);
  ASSERT_EQ(Start(Workspace()), S_OK);
  ASSERT_EQ(man_->Close(), S_OK);
  EXPECT_TRUE(PrimaryRows().empty());
  EXPECT_EQ(man_->AddHistory("PLC", "x", Variant::I4(1), kTime, 0), S_FALSE);
}

TEST_F(HistoryTest, TheMaximumIsReportedOnceAndTheSecondaryCountsItsOwnRows) {
  Fill(primary_, 100);
  Fill(secondary_, 5);
  WorkspaceRecord w = Workspace();
  w.m_lMaxRecord = 100;
  w.m_lMaxRecord2nd = 7;
  {
    ASSERT_EQ(Start(w), S_OK);
    EXPECT_EQ(man_->recordCount(), 100);
    CapturingLogSink log(0);
    EXPECT_EQ(Add("PLC", "x", Variant::I4(1)), E_FAIL);
    EXPECT_EQ(Add("PLC", "x", Variant::I4(2)), S_FALSE);
    EXPECT_EQ(Add("PLC", "x", Variant::I4(3)), S_FALSE);
    const auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "TavrixHistoryMan : The number of record reached upper bound.\n");
    EXPECT_EQ(lines[0].result, E_FAIL);
    EXPECT_TRUE(man_->Enable());
  }
  // With the switch the row goes to the secondary, whose own 5 rows count.
  w.m_bAutoSwitch = true;
  ASSERT_EQ(Start(w), S_OK);
  EXPECT_EQ(Add("PLC", "x", Variant::I4(4)), S_OK);
  EXPECT_TRUE(man_->switched());
  EXPECT_EQ(man_->recordCount(), 6);
  EXPECT_EQ(Add("PLC", "x", Variant::I4(5)), S_OK);
  EXPECT_EQ(Add("PLC", "x", Variant::I4(6)), E_FAIL);
  EXPECT_EQ(Add("PLC", "x", Variant::I4(7)), S_FALSE);
  EXPECT_EQ(PrimaryRows().size(), 100u);
  const std::vector<StoredRow> rows = SecondaryRows();
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_EQ(Values(rows).back(), "3,5");
}

TEST_F(HistoryTest, AFailedWriteSwitchesOnceAndTheRowGoesToTheSecondary) {
  WorkspaceRecord w = Workspace();
  w.m_bAutoSwitch = true;
  w.m_bSysInfo = true;
  ASSERT_EQ(Start(w), S_OK);
  EXPECT_EQ(Add("PLC", "x", Variant::I4(1)), S_OK);
  CapturingLogSink log(1);
  injector_.SetPlan(FailingWrite(1));
  EXPECT_EQ(Add("PLC", "x", Variant::I4(2)), S_OK);
  EXPECT_EQ(Add("PLC", "x", Variant::I4(3)), S_OK);
  EXPECT_TRUE(man_->switched());
  EXPECT_EQ(log.Texts(),
            (std::vector<std::string>{
                "TavrixHistoryMan : [Tavrix] Injected fault: the write failed.\n",
                "TavrixHistoryMan : Switching to the secondary database...\n",
                "TavrixHistoryMan : Switched to the secondary database.\n"}));
  EXPECT_EQ(Values(PrimaryRows()), (std::vector<std::string>{"8,$$OPEN$$", "3,1"}));
  EXPECT_EQ(Values(SecondaryRows()), (std::vector<std::string>{"8,$$SWITCH$$", "3,2", "3,3"}));
  std::string cs;
  ASSERT_EQ(man_->ConnectionString(0, &cs), S_OK);
  EXPECT_EQ(cs, secondary_);

  // There is no second switch: a failure on the secondary reaches the caller.
  injector_.SetPlan(FailingWrite(1));
  EXPECT_EQ(Add("PLC", "x", Variant::I4(4)), E_FAIL);
  EXPECT_EQ(Add("PLC", "x", Variant::I4(5)), S_OK);
  EXPECT_EQ(Values(SecondaryRows()).back(), "3,5");
}

TEST_F(HistoryTest, AFailedOpenSwitchesOrLeavesHistoryOff) {
  struct Case {
    bool autoSwitch;
    bool secondaryFails;
    HRESULT result;
    std::vector<std::string> secondaryRows;
  } cases[] = {
      {true, false, S_OK, {"8,$$SWITCH$$", "8,$$OPEN$$", "3,1"}},
      {false, false, S_FALSE, {}},
      {true, true, S_FALSE, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.autoSwitch << c.secondaryFails);
    ASSERT_EQ(Open(secondary_)->Execute("DELETE FROM TavrixHistory", nullptr), S_OK);
    sql::FaultPlan plan;
    plan.failOpensContaining = c.secondaryFails ? ".db;" : "primary.db";
    injector_.SetPlan(plan);
    WorkspaceRecord w = Workspace();
    w.m_bAutoSwitch = c.autoSwitch;
    w.m_bSysInfo = true;
    CapturingLogSink log(1);
    EXPECT_EQ(Start(w), c.result);
    EXPECT_TRUE(log.Contains("TavrixHistoryMan : Error Occurred in OpenConnection().\n"));
    EXPECT_EQ(man_->Enable(), c.result == S_OK);
    EXPECT_EQ(Add("PLC", "x", Variant::I4(1)), c.result);
    EXPECT_EQ(Values(SecondaryRows()), c.secondaryRows);
    EXPECT_TRUE(PrimaryRows().empty());
  }
}

TEST_F(HistoryTest, HistoryOffInTheSettingsOrWithoutTheConversionComponent) {
  WorkspaceRecord w = Workspace();
  w.m_bEnableHistory = false;
  EXPECT_EQ(Start(w), S_FALSE);
  EXPECT_FALSE(man_->Enable());
  EXPECT_EQ(injector_.opens(), 0);
  {
    ScopedKivDataCreateFailure failure(E_OUTOFMEMORY);
    CapturingLogSink log(1);
    EXPECT_EQ(Start(Workspace()), E_OUTOFMEMORY);
    EXPECT_TRUE(log.Contains("CTavrixHistoryMan : Failed in retrieving IKivData interface.\n"));
  }
  EXPECT_FALSE(man_->Enable());
  EXPECT_EQ(Add("PLC", "x", Variant::I4(1)), S_FALSE);
  EXPECT_TRUE(PrimaryRows().empty());
}

TEST_F(HistoryTest, AFailureSeriesIsLoggedOnceAndItsDroppedRowsWhenItEnds) {
  // Another connection's write lock makes the inserts fail at once.
  WorkspaceRecord w = Workspace();
  w.m_strHistoryADOCon = primary_ + ";Busy Timeout=0";
  ASSERT_EQ(Start(w), S_OK);
  EXPECT_EQ(Add("PLC", "x", Variant::I4(1)), S_OK);
  auto blocker = Open(primary_);
  ASSERT_EQ(blocker->Execute("BEGIN IMMEDIATE", nullptr), S_OK);
  CapturingLogSink log(0);
  EXPECT_EQ(Add("PLC", "x", Variant::I4(2)), E_FAIL);
  for (int i = 3; i <= 5; ++i) EXPECT_EQ(Add("PLC", "x", Variant::I4(i)), S_FALSE);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(log.Contains("TavrixHistoryMan : [SQLite]"));
  ASSERT_EQ(blocker->Execute("ROLLBACK", nullptr), S_OK);
  EXPECT_EQ(Add("PLC", "x", Variant::I4(6)), S_OK);
  EXPECT_EQ(log.Texts().back(),
            "TavrixHistoryMan : 3 history rows were not recorded while the database could not be "
            "written.\n");
  EXPECT_EQ(Values(PrimaryRows()), (std::vector<std::string>{"3,1", "3,6"}));
  // A series still running at the end is reported by Close.
  ASSERT_EQ(blocker->Execute("BEGIN IMMEDIATE", nullptr), S_OK);
  EXPECT_EQ(Add("PLC", "x", Variant::I4(7)), E_FAIL);
  EXPECT_EQ(Add("PLC", "x", Variant::I4(8)), S_FALSE);
  ASSERT_EQ(man_->Close(), S_OK);
  EXPECT_TRUE(log.Contains("TavrixHistoryMan : 1 history rows were not recorded"));
}

class HistoryBlobTest : public HistoryTest {
 protected:
  std::string FolderFile(const std::string& name) { return folder_.path() + "/project/" + name; }
};

TEST_F(HistoryBlobTest, ByteArraysGoToFilesThatNeverReplaceAnotherRowsFile) {
  WorkspaceRecord w = Workspace();
  w.m_bBlobToFile = true;
  w.m_lTableType = 2;
  ASSERT_EQ(Start(w), S_OK);
  EXPECT_EQ(man_->fileFolder(), folder_.path() + "/project");
  EXPECT_EQ(Add("PLC", "blk", ByteArray({1, 2, 3}), 123), S_OK);
  // The same time stamp again: a second history file, the current one replaced.
  EXPECT_EQ(Add("PLC", "blk", ByteArray({4, 5}), 123), S_OK);
  // Two items whose names meet once made safe keep a current file each.
  EXPECT_EQ(Add("PLC", "a/b", ByteArray({6}), 0), S_OK);
  EXPECT_EQ(Add("PLC", "a_b", ByteArray({7}), 0), S_OK);
  EXPECT_EQ(Add("PLC", "a/b", ByteArray({8}), 1), S_OK);

  const std::vector<StoredRow> rows = PrimaryRows();
  EXPECT_EQ(Summary(rows),
            (std::vector<std::string>{
                "blk=PLC_blk_20240101120000_000123.dat/0", "blk=PLC_blk_Current.dat/1",
                "blk=PLC_blk_20240101120000_000123_1.dat/0",
                "a/b=PLC_a_b_20240101120000_000000.dat/0", "a/b=PLC_a_b_Current.dat/1",
                "a_b=PLC_a_b_20240101120000_000000_1.dat/0", "a_b=PLC_a_b_Current_1.dat/1",
                "a/b=PLC_a_b_20240101120000_000001.dat/0"}));
  for (const StoredRow& row : rows) EXPECT_EQ(row.vartype, VT_ARRAY | VT_UI1);
  EXPECT_EQ(FileContent(FolderFile("PLC_blk_20240101120000_000123.dat")), "\1\2\3");
  EXPECT_EQ(FileContent(FolderFile("PLC_blk_20240101120000_000123_1.dat")), "\4\5");
  EXPECT_EQ(FileContent(FolderFile("PLC_blk_Current.dat")), "\4\5");
  EXPECT_EQ(FileContent(FolderFile("PLC_a_b_Current.dat")), "\x08");
  EXPECT_EQ(FileContent(FolderFile("PLC_a_b_Current_1.dat")), "\x07");
  // Nothing else was left in the folder (no temporary files).
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path() + "/project"),
                          std::filesystem::directory_iterator()),
            8);
}

TEST_F(HistoryBlobTest, AFileThatCannotBeWrittenFailsOnlyItsRow) {
  // A plain file where the folder should be.
  std::ofstream(folder_.path() + "/project") << "not a folder";
  WorkspaceRecord w = Workspace();
  w.m_bBlobToFile = true;
  w.m_bAutoSwitch = true;
  ASSERT_EQ(Start(w), S_OK);
  CapturingLogSink log(1);
  EXPECT_EQ(Add("PLC", "blk", ByteArray({1})), E_FAIL);
  EXPECT_EQ(Add("PLC", "blk", ByteArray({2})), E_FAIL);
  EXPECT_EQ(log.Texts(), (std::vector<std::string>{
                             "TavrixHistoryMan : The binary file was not able to create. : 20\n"}));
  EXPECT_FALSE(man_->switched());
  EXPECT_EQ(Add("PLC", "x", Variant::I4(1)), S_OK);
  EXPECT_EQ(Values(PrimaryRows()), (std::vector<std::string>{"3,1"}));
}

TEST_F(HistoryTest, ExecuteGivesARecordSet) {
  CTavrixHistoryMan unopened(injector_);
  Variant result;
  EXPECT_EQ(unopened.Execute("SELECT 1", &result), E_FAIL);

  ASSERT_EQ(Start(Workspace()), S_OK);
  EXPECT_EQ(Add("PLC", "a", Variant::I4(1)), S_OK);
  EXPECT_EQ(Add("PLC", "b", Variant::I4(2)), S_OK);
  ASSERT_EQ(man_->Execute("SELECT item_name FROM TavrixHistory ORDER BY rowid", &result), S_OK);
  ASSERT_EQ(result.vt(), VT_DISPATCH);
  auto* rows = static_cast<sql::RecordSet*>(result.dispatch());
  ASSERT_EQ(rows->recordCount(), 2u);
  EXPECT_EQ(rows->At(1, 0).text(), "b");

  CapturingLogSink log(1);
  EXPECT_EQ(man_->Execute("SELEKT nothing", &result), DB_E_ERRORSINCOMMAND);
  EXPECT_TRUE(log.Contains("TavrixHistoryMan : [SQLite]"));
}

TEST_F(HistoryTest, TheQueriesShowTheSettingsAndHideEncipheredStrings) {
  TavrixUtility::DBStringReplaceMap::Instance().Add("Second", secondary_, 0, true);
  WorkspaceRecord w = Workspace();
  w.m_bHistoryADOConEncrypted = true;
  w.m_strHistoryCon2ndSetting = "second";
  w.m_strTableName2nd = "Other";
  w.m_lMaxRecord = 10;
  w.m_lMaxRecord2nd = 20;
  ASSERT_EQ(Start(w), S_OK);
  struct Case {
    int32_t index;
    HRESULT result;
    std::string connectionString;
    std::string table;
    int32_t maxRecord;
  } cases[] = {
      {0, S_OK, "*****", "TavrixHistory", 20},  // the secondary's maximum, as ever
      {1, S_OK, "*****", "TavrixHistory", 10},
      {2, S_OK, "*****", "Other", 20},
      {3, E_INVALIDARG, "", "", 0},
      {-1, E_INVALIDARG, "", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    std::string cs, table;
    int32_t max = 0;
    EXPECT_EQ(man_->ConnectionString(c.index, &cs), c.result);
    EXPECT_EQ(man_->TableName(c.index, &table), c.result);
    EXPECT_EQ(man_->MaxRecord(c.index, &max), c.result);
    EXPECT_EQ(cs, c.connectionString);
    EXPECT_EQ(table, c.table);
    EXPECT_EQ(max, c.maxRecord);
  }
  // An empty string stays empty even when hidden.
  w.m_strHistoryADOCon.clear();
  EXPECT_EQ(Start(w), S_FALSE);
  std::string cs = "x";
  ASSERT_EQ(man_->ConnectionString(1, &cs), S_OK);
  EXPECT_EQ(cs, "");
}

TEST_F(HistoryTest, ControllersWritingAtOnceLoseNoRow) {
  ASSERT_EQ(Start(Workspace()), S_OK);
  constexpr int kThreads = 6;
  constexpr int kRows = 150;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string controller = "PLC" + std::to_string(t);
      for (int i = 0; i < kRows; ++i) {
        EXPECT_EQ(man_->AddHistory(controller, "x", Variant::I4(i), kTime, 0), S_OK);
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(man_->recordCount(), kThreads * kRows);
  std::vector<int> next(kThreads, 0);
  for (const StoredRow& row : PrimaryRows()) {
    const int t = row.controller.back() - '0';
    EXPECT_EQ(row.value.text(), "3," + std::to_string(next[t]++));
  }
  EXPECT_EQ(next, std::vector<int>(kThreads, kRows));
}

}  // namespace
}  // namespace tavrix::testing
