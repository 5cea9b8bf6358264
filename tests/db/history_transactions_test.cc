#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "db/history_man.h"
#include "history_fixture.h"
#include "platform/log.h"
#include "platform/safearray.h"

namespace tavrix::testing {
namespace {

// How long another controller is given to slip into a snapshot if it could.
constexpr auto kChance = std::chrono::milliseconds(50);

TEST_F(HistoryTest, ASnapshotHoldsOffOtherControllersUntilItEnds) {
  ASSERT_EQ(Start(Workspace()), S_OK);
  for (bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "commit" : "rollback");
    ASSERT_EQ(Open(primary_)->Execute("DELETE FROM TavrixHistory", nullptr), S_OK);
    const int64_t before = man_->recordCount();
    ASSERT_EQ(man_->BeginTrans(), S_OK);
    EXPECT_EQ(Add("A", "x", Variant::I4(1)), S_OK);
    std::atomic<bool> written{false};
    std::thread other([&] {
      EXPECT_EQ(Add("B", "y", Variant::I4(2)), S_OK);
      written = true;
    });
    std::this_thread::sleep_for(kChance);
    EXPECT_FALSE(written.load());
    EXPECT_EQ(Add("A", "x", Variant::I4(3)), S_OK);
    EXPECT_EQ(commit ? man_->CommitTrans() : man_->RollbackTrans(), S_OK);
    other.join();
    // B's row was written after the snapshot, never inside it.
    const std::vector<std::string> expected =
        commit ? std::vector<std::string>{"3,1", "3,3", "3,2"} : std::vector<std::string>{"3,2"};
    EXPECT_EQ(Values(PrimaryRows()), expected);
    EXPECT_EQ(man_->recordCount(), before + static_cast<int64_t>(expected.size()));
  }
}

TEST_F(HistoryTest, TransactionCallsNeedAConnectionAndAnOpenTransaction) {
  CTavrixHistoryMan unopened(injector_);
  EXPECT_EQ(unopened.BeginTrans(), E_FAIL);
  EXPECT_EQ(unopened.CommitTrans(), E_FAIL);
  EXPECT_EQ(unopened.RollbackTrans(), E_FAIL);

  ASSERT_EQ(Start(Workspace()), S_OK);
  EXPECT_EQ(man_->CommitTrans(), S_FALSE);
  EXPECT_EQ(man_->RollbackTrans(), S_FALSE);
  ASSERT_EQ(man_->BeginTrans(), S_OK);
  {
    CapturingLogSink log(0);
    EXPECT_EQ(man_->BeginTrans(), E_FAIL);  // no nesting
    EXPECT_TRUE(log.Contains("TavrixHistoryMan : BeginTrans ... "));
  }
  // Another thread has no transaction to end: it waits for this one, then finds none.
  std::atomic<bool> ended{false};
  std::thread other([&] {
    EXPECT_EQ(man_->CommitTrans(), S_FALSE);
    ended = true;
  });
  std::this_thread::sleep_for(kChance);
  EXPECT_FALSE(ended.load());
  EXPECT_EQ(man_->CommitTrans(), S_OK);
  other.join();
  EXPECT_EQ(man_->CommitTrans(), S_FALSE);
}

TEST_F(HistoryTest, ARollbackTakesBackTheCountAndTheFiles) {
  WorkspaceRecord w = Workspace();
  w.m_bBlobToFile = true;
  w.m_lTableType = 2;
  ASSERT_EQ(Start(w), S_OK);
  Ref<SafeArray> bytes = SafeArray::Create1D(VT_UI1, 2);
  ASSERT_EQ(man_->BeginTrans(), S_OK);
  EXPECT_EQ(Add("A", "blk", Variant::Array(bytes)), S_OK);
  EXPECT_EQ(Add("A", "x", Variant::I4(1)), S_OK);
  EXPECT_EQ(man_->recordCount(), 4);
  EXPECT_EQ(man_->RollbackTrans(), S_OK);
  EXPECT_EQ(man_->recordCount(), 0);
  EXPECT_TRUE(PrimaryRows().empty());
  EXPECT_TRUE(std::filesystem::is_empty(man_->fileFolder()));
}

TEST_F(HistoryTest, AFailedWriteInASnapshotSwitchesWhenTheSnapshotEnds) {
  WorkspaceRecord w = Workspace();
  w.m_bAutoSwitch = true;
  ASSERT_EQ(Start(w), S_OK);
  ASSERT_EQ(man_->BeginTrans(), S_OK);
  EXPECT_EQ(Add("A", "x", Variant::I4(1)), S_OK);
  injector_.SetPlan(FailingWrite(1));
  EXPECT_EQ(Add("A", "x", Variant::I4(2)), E_FAIL);
  // The snapshot stays on one database until its caller ends it.
  EXPECT_EQ(Add("A", "x", Variant::I4(3)), S_OK);
  EXPECT_FALSE(man_->switched());
  EXPECT_EQ(man_->RollbackTrans(), S_OK);
  EXPECT_TRUE(man_->switched());
  EXPECT_EQ(Add("B", "y", Variant::I4(4)), S_OK);
  EXPECT_TRUE(PrimaryRows().empty());
  EXPECT_EQ(Values(SecondaryRows()), std::vector<std::string>{"3,4"});
}

TEST_F(HistoryTest, CloseWritesItsMarkerAndCommitsTheOpenTransaction) {
  WorkspaceRecord w = Workspace();
  w.m_bSysInfo = true;
  ASSERT_EQ(Start(w), S_OK);
  ASSERT_EQ(man_->BeginTrans(), S_OK);
  EXPECT_EQ(Add("A", "x", Variant::I4(1)), S_OK);
  EXPECT_EQ(man_->Close(), S_OK);
  EXPECT_EQ(Values(PrimaryRows()),
            (std::vector<std::string>{"8,$$OPEN$$", "3,1", "8,$$CLOSE$$"}));
  EXPECT_FALSE(man_->Enable());
  EXPECT_EQ(Add("A", "x", Variant::I4(2)), S_FALSE);
  EXPECT_EQ(man_->BeginTrans(), E_FAIL);
  EXPECT_EQ(man_->Close(), S_FALSE);
  // The lock is free again: another thread gets through at once.
  std::thread other([&] { EXPECT_EQ(man_->CommitTrans(), E_FAIL); });
  other.join();
}

}  // namespace
}  // namespace tavrix::testing
