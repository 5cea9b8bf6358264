// A running controller under change and under faults: an update reaches the
// sampling thread whole and at once, a cycle's verdict in a running
// controller, and a sampling thread that ends through an exception.
#include <algorithm>
#include <stdexcept>
#include <thread>

#include "controller/controller_fixture.h"

namespace tavrix::controller_test {
namespace {

// Controllers whose sampling threads call back into the test: they stop
// before the hooks that point into the fixture go.
class RunningControllerTest : public ControllerTest {
 protected:
  ~RunningControllerTest() override {
    StopControllers();
    ControllerParts::Instance() = ControllerParts{};
  }

  // Records the start tick of every cycle of the controller named `name`.
  void RecordCycleStarts(const std::string& name) {
    ControllerParts::Instance().cycleStarted = [this, name](CTavrixController& c) {
      if (c.name() != name) return;
      std::lock_guard lock(mutex_);
      starts_.push_back(std::chrono::steady_clock::now());
    };
  }
  size_t CycleCount() {
    std::lock_guard lock(mutex_);
    return starts_.size();
  }
  // The gaps between the cycle starts from the `first`-th on, in ms.
  std::vector<double> GapsFrom(size_t first) {
    std::lock_guard lock(mutex_);
    std::vector<double> gaps;
    for (size_t i = first + 1; i < starts_.size(); ++i) {
      const std::chrono::duration<double, std::milli> gap = starts_[i] - starts_[i - 1];
      gaps.push_back(gap.count());
    }
    return gaps;
  }

  std::mutex mutex_;  // guards starts_
  std::vector<std::chrono::steady_clock::time_point> starts_;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

TEST_F(RunningControllerTest, AnUpdatedSamplingRateTakesEffectFromTheNextCycle) {
  ControllerRecord r = SimRecord(UniqueName("Rate"));
  r.m_lSamplingRate = 20;
  RecordCycleStarts(r.RSQLCtrlName);
  auto c = Make(r);
  ASSERT_EQ(c->AddItemRecord(SimItem("Count", "counter")), S_OK);
  ASSERT_EQ(c->_Activate(), S_OK);
  ASSERT_TRUE(WaitFor([&] { return CycleCount() >= 5; }));
  EXPECT_LT(Median(GapsFrom(0)), 100);

  // Slower: the cycles after the update come 250 ms apart.
  r.m_lSamplingRate = 250;
  c->SetPendingUpdate(r);
  ASSERT_EQ(c->_DoUpdate(), S_OK);
  const size_t updatedAt = CycleCount();
  ASSERT_TRUE(WaitFor([&] { return CycleCount() >= updatedAt + 4; }));
  EXPECT_EQ(c->samplingRate(), 250);
  EXPECT_GT(Median(GapsFrom(updatedAt)), 200);

  // Faster again: the long sleep does not carry over.
  r.m_lSamplingRate = 20;
  c->SetPendingUpdate(r);
  ASSERT_EQ(c->_DoUpdate(), S_OK);
  const size_t fasterAt = CycleCount();
  ASSERT_TRUE(WaitFor([&] { return CycleCount() >= fasterAt + 6; }));
  EXPECT_LT(Median(GapsFrom(fasterAt + 1)), 100);
}

// Updates change every setting the sampling thread and the monitor read
// while both run; every cycle reports one of the two configurations. (The
// thread-sanitizer build checks the same run for data races.)
TEST_F(RunningControllerTest, UpdatesWhileSamplingGiveEachCycleOneWholeConfiguration) {
  const std::string name = UniqueName("Hammer");
  ControllerRecord a = SimRecord(name);
  a.m_lSamplingRate = 5;
  a.m_bAutoReconn = true;
  a.m_lRecCount = 1000;
  a.m_lRecInterval = 1;
  a.m_bUseHistory = true;
  a.m_bWDTDS = true;
  ControllerRecord b = SimRecord(name);
  b.m_lSamplingRate = 6;
  b.m_lTimeStamp = 2;
  b.m_bSlowSamplingEnable = true;
  b.m_lSlowSamplingRate = 7;
  b.m_lRecType = 1;
  b.m_strParam = "seed=3";
  std::atomic<int> wrong{0};
  std::atomic<int> cycles{0};
  ControllerParts::Instance().cycleCompleted = [&](const std::string& controller, uint32_t,
                                                   uint32_t period) {
    if (controller != name) return;
    ++cycles;
    if (period != 5 && period != 6) ++wrong;
  };
  auto c = Make(a);
  ASSERT_EQ(c->AddItemRecord(SimItem("Count", "counter")), S_OK);
  ASSERT_EQ(c->StartActivationThread(true), S_OK);
  ASSERT_TRUE(WaitFor([&] { return c->State() == tvCtrlThreadActive; }));
  for (int i = 0; i < 60; ++i) {
    c->SetPendingUpdate(i % 2 ? a : b);
    ASSERT_EQ(c->_DoUpdate(), S_OK);
    (void)c->zeltName();
    (void)c->recInterval();
  }
  ASSERT_TRUE(WaitFor([&] { return cycles.load() >= 10; }));
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(c->zeltName(), name);
}

TEST_F(RunningControllerTest, AnItemOutsideTheVerdictCannotFailTheCycle) {
  struct Case {
    bool notRecJudge;
    int32_t state;
  } cases[] = {{true, tvCtrlThreadActive}, {false, tvCtrlThreadError}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.notRecJudge);
    auto controller = Make(SimRecord(UniqueName("Judge")));
    ASSERT_EQ(controller->AddItemRecord(SimItem("Count", "counter")), S_OK);
    // Element 10 of four bytes: every read fails.
    ItemRecord broken = SimItem("Block(10)", "bytes:4");
    broken.m_bNotRecJudgeItem = c.notRecJudge;
    ASSERT_EQ(controller->AddItemRecord(broken), S_OK);
    ASSERT_EQ(controller->_Activate(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return controller->scanTimes().completed; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(controller->State(), c.state);
    EXPECT_EQ(controller->failedCycles() == 0, c.notRecJudge);
    EXPECT_EQ(controller->FindItem("Block(10)")->state(), tvItemFailed);
  }
}

TEST_F(RunningControllerTest, AnExceptionInACycleAbortsTheThreadWithState7) {
  struct Case {
    const char* what;
    std::function<void()> thrower;
    const char* line;
  } cases[] = {
      {"std::exception", [] { throw std::runtime_error("boom"); },
       "] : std::exception occurred.:boom\n"},
      {"a text", [] { throw "device table broken"; },
       "] : Exception occurred. device table broken\n"},
      {"anything else", [] { throw 42; }, "] : Exception occurred.\n"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const std::string name = UniqueName("Abort");
    std::atomic<int> cycles{0};
    ControllerParts::Instance().cycleStarted = [&](CTavrixController& c) {
      if (c.name() == name && ++cycles == 3) k.thrower();
    };
    auto c = Make(SimRecord(name));
    ASSERT_EQ(c->AddItemRecord(SimItem("Count", "counter")), S_OK);
    ASSERT_EQ(c->_Activate(), S_OK);
    ASSERT_TRUE(WaitFor([&] { return c->State() == tvCtrlThreadAborted; }));
    EXPECT_TRUE(WaitFor([&] { return Count(k.line) == 1; }));
    // The thread ended without its end-of-loop steps.
    EXPECT_EQ(Count("TavrixController[" + name + "] : Sampling Stopped."), 0u);
    EXPECT_NE(c->checkpoint(), "Loop exited");
    // Deactivation still finds and joins it.
    c->_Deactivate();
    EXPECT_EQ(c->State(), tvCtrlThreadUninit);
    ControllerParts::Instance().cycleStarted = nullptr;
  }
}

}  // namespace
}  // namespace tavrix::controller_test
