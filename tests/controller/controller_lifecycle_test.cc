// Activation, deactivation, reconnection, reload and the states clients see.
#include <algorithm>
#include <thread>

#include "controller/controller_fixture.h"

namespace tavrix::controller_test {
namespace {

// A trigger root that records its passes (and can fail to initialise).
struct PassLog {
  std::mutex mutex;
  std::vector<int32_t> passes;
  bool failInit = false;

  std::vector<int32_t> Take() {
    std::lock_guard lock(mutex);
    return std::exchange(passes, {});
  }
};

class RecordingRoot final : public ITriggerRoot {
 public:
  explicit RecordingRoot(PassLog& log) : log_(log) {}
  HRESULT Initialize(CTavrixController&) override { return log_.failInit ? E_FAIL : S_OK; }
  HRESULT UpdateCache(int32_t) override { return S_OK; }
  HRESULT Execute(int32_t mode, IZeltMessage*) override {
    std::lock_guard lock(log_.mutex);
    log_.passes.push_back(mode);
    return S_OK;
  }
  void ReleaseContents() override {}
  std::vector<std::string> TraceList() const override { return {}; }
  void CollectWatchedItems(CTavrixController&, std::vector<Ref<CTavrixItem>>*) override {}

 private:
  PassLog& log_;
};

class LifecycleTest : public ControllerTest {
 protected:
  LifecycleTest() {
    auto& parts = ControllerParts::Instance();
    parts.createTriggerRoot = [this](CTavrixController&, const TriggerExInfo&,
                                     std::unique_ptr<ITriggerRoot>* out) {
      *out = std::make_unique<RecordingRoot>(passes_);
      return S_OK;
    };
    parts.stateChanged = [this](CTavrixController& c, int32_t state) {
      std::lock_guard lock(statesMutex_);
      states_[c.name()].push_back(state);
    };
  }
  ~LifecycleTest() override {
    // Controllers stop before the hooks that point into this fixture go.
    StopControllers();
    ControllerParts::Instance() = ControllerParts{};
  }

  std::vector<int32_t> States(const std::string& name) {
    std::lock_guard lock(statesMutex_);
    return states_[name];
  }

  PassLog passes_;
  std::mutex statesMutex_;  // guards states_
  std::map<std::string, std::vector<int32_t>> states_;
};

TEST_F(LifecycleTest, ActivationSamplesAndDeactivationReleases) {
  ControllerRecord r = SimRecord(UniqueName("Act"));
  auto c = Make(r);
  ASSERT_EQ(c->AddItemRecord(SimItem("Count", "counter")), S_OK);
  ASSERT_EQ(c->AddItemRecord(SimItem("Ramp", "ramp:0:10:1")), S_OK);
  ASSERT_EQ(c->_Activate(), S_OK);
  EXPECT_TRUE(c->activatedEvent().IsSet());
  EXPECT_EQ(c->State(), tvCtrlThreadActive);
  ASSERT_TRUE(WaitFor([&] { return c->scanTimes().completed; }));
  EXPECT_EQ(c->FindItem("count")->state(), tvItemSucceeded);
  EXPECT_EQ(c->_Activate(), S_FALSE);
  EXPECT_EQ(Count("_Activate : Already activated."), 1u);

  c->_Deactivate();
  EXPECT_EQ(c->State(), tvCtrlThreadUninit);
  EXPECT_FALSE(c->zeltController());
  EXPECT_EQ(Count("Sampling Stopped."), 1u);
  // Initial pass, first cycle, later cycles, clean-up.
  const auto passes = passes_.Take();
  ASSERT_GE(passes.size(), 3u);
  EXPECT_EQ(passes.front(), kTriggerPassInitial);
  EXPECT_EQ(passes[1], kTriggerPassFirstCycle);
  EXPECT_EQ(passes.back(), kTriggerPassCleanup);
  EXPECT_EQ(States(r.RSQLCtrlName).front(), tvCtrlThreadActive);  // the reset to 0 is silent
}

TEST_F(LifecycleTest, TreeWhoseInitialisationFailedNeverRunsInitialOrCleanupPasses) {
  passes_.failInit = true;
  auto c = Make(SimRecord(UniqueName("BadTree")));
  ASSERT_EQ(c->_Activate(), S_OK);
  EXPECT_EQ(c->triggerInitResult(), 2);
  c->_Deactivate();
  for (int32_t pass : passes_.Take()) {
    EXPECT_NE(pass, kTriggerPassInitial);
    EXPECT_NE(pass, kTriggerPassCleanup);
  }
}

TEST_F(LifecycleTest, FailedOpenLeavesTheControllerDeactiveWithoutSampling) {
  auto c = Make(SimRecord(UniqueName("NoOpen"), "open_failures=1"));
  EXPECT_EQ(c->_Activate(), E_FAIL);
  EXPECT_EQ(c->State(), tvCtrlThreadDeactive);
  EXPECT_EQ(Count("Failed in createing ZELT Controller."), 1u);
  EXPECT_FALSE(c->activatedEvent().IsSet());
  EXPECT_EQ(Count("Sampling Started."), 0u);
}

TEST_F(LifecycleTest, WithoutStartupTheThreadWaitsForStart) {
  ControllerRecord r = SimRecord(UniqueName("Parked"));
  r.m_bStartup = false;
  auto c = Make(r);
  ASSERT_EQ(c->AddItemRecord(SimItem("Count", "counter")), S_OK);
  ASSERT_EQ(c->_Activate(), S_OK);
  EXPECT_EQ(c->State(), tvCtrlThreadDeactive);
  EXPECT_EQ(Count("Sampling Started. Sampling interval 20ms"), 1u);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_FALSE(c->scanTimes().completed);
  c->runEvent().Set();
  EXPECT_TRUE(WaitFor([&] { return c->scanTimes().completed; }));
}

TEST_F(LifecycleTest, DeactivateStopsTheSamplingThreadWhateverTheState) {
  auto c = Make(SimRecord(UniqueName("AnyState")));
  ASSERT_EQ(c->_Activate(), S_OK);
  c->SetState(tvCtrlThreadUninit);  // as a reconnection leaves it
  c->_Deactivate();
  EXPECT_EQ(Count("Sampling Stopped."), 1u);
  EXPECT_EQ(c->checkpoint(), "Loop exited");
}

TEST_F(LifecycleTest, MonitorReconnectsAfterTooManyFailedCycles) {
  ControllerRecord r = SimRecord(UniqueName("Flaky"));
  r.m_bAutoReconn = true;
  r.m_lRecCount = 2;
  r.m_lRecInterval = 1;
  r.m_lRecWaitTime = 0;
  auto c = Make(r);
  ASSERT_EQ(c->AddItemRecord(SimItem("Count", "counter")), S_OK);
  ASSERT_EQ(c->StartActivationThread(true), S_OK);
  ASSERT_TRUE(WaitFor([&] { return c->State() == tvCtrlThreadActive; }));

  DeviceCommand(*c, "OFFLINE");
  ASSERT_TRUE(WaitFor([&] { return c->State() == tvCtrlThreadError; }));
  // The monitor sees more than two failed cycles in a row and re-activates
  // (the state goes back to 0 silently, with the sampling thread).
  ASSERT_TRUE(WaitFor([&] { return Count("Sampling Started.") >= 2; }));
  EXPECT_GE(Count("_Deactivate : Start."), 1u);
  DeviceCommand(*c, "ONLINE");
  EXPECT_TRUE(WaitFor([&] { return c->State() == tvCtrlThreadActive; }));
}

// The monitor reconnects only when the failed cycles in a row exceed
// m_lRecCount: exactly m_lRecCount of them are tolerated.
TEST_F(LifecycleTest, MonitorToleratesExactlyRecCountFailedCycles) {
  ControllerRecord r = SimRecord(UniqueName("Boundary"));
  r.m_bStartup = false;  // no cycles: the test alone counts failures
  r.m_bAutoReconn = true;
  r.m_lRecCount = 3;
  r.m_lRecInterval = 1;
  r.m_lRecWaitTime = 0;
  auto c = Make(r);
  ASSERT_EQ(c->StartActivationThread(true), S_OK);
  ASSERT_TRUE(WaitFor([&] { return c->State() == tvCtrlThreadDeactive; }));
  for (int i = 0; i < 3; ++i) c->ReportRead(false, true);
  ASSERT_EQ(c->failedCycles(), 3);
  // Two checks of the monitor (one a second) pass without a reconnection.
  std::this_thread::sleep_for(std::chrono::milliseconds(2200));
  EXPECT_EQ(Count("_Deactivate : Start."), 0u);
  EXPECT_EQ(c->failedCycles(), 3);

  c->ReportRead(false, true);
  ASSERT_TRUE(WaitFor([&] { return Count("_Deactivate : Start.") == 1; }, 3000));
  ASSERT_TRUE(WaitFor([&] { return Count("Sampling Started.") == 2; }));
  EXPECT_EQ(c->failedCycles(), 0);
}

TEST_F(LifecycleTest, ReconnectNowDeactivatesAtOnceAndOnlyOneRuns) {
  ControllerRecord r = SimRecord(UniqueName("Now"));
  auto c = Make(r);
  ASSERT_EQ(c->_Activate(), S_OK);
  ASSERT_EQ(c->ReconnectNow(1), S_OK);
  ASSERT_TRUE(WaitFor([&] { return c->State() == tvCtrlThreadUninit; }));
  EXPECT_EQ(c->ReconnectNow(1), S_OK);
  EXPECT_EQ(Count("ReconnectProc : Almost running. Execute cancel."), 1u);
  EXPECT_TRUE(WaitFor([&] { return c->State() == tvCtrlThreadActive; }));
  EXPECT_EQ(c->_WaitForStopReconnect(kInfinite), 0u);
}

TEST_F(LifecycleTest, StatesWhileDisposingAVersionedProject) {
  host_.versioned = true;
  host_.retryCount = -1;
  host_.retryInterval = 5;
  auto stuck = Make(SimRecord(UniqueName("Stuck"), "open_failures=1000000"));
  ASSERT_EQ(stuck->StartActivationThread(true), S_OK);
  ASSERT_TRUE(WaitFor([&] { return Count("Re-open the controller... #1") >= 1; }));
  stuck->_StopReconnect();
  // The open loop sees the dispose event; until the thread has ended the
  // state is 5, then 4.
  const int32_t whileRunning = stuck->State();
  EXPECT_TRUE(whileRunning == tvCtrlThreadConnectTimeoutWaiting ||
              whileRunning == tvCtrlThreadTerminated);
  EXPECT_EQ(stuck->_WaitForStopReconnect(kInfinite), 0u);
  EXPECT_EQ(stuck->State(), tvCtrlThreadTerminated);

  auto sampling = Make(SimRecord(UniqueName("Sampling")));
  ASSERT_EQ(sampling->_Activate(), S_OK);
  sampling->_StopReconnect();
  EXPECT_EQ(sampling->State(), tvCtrlThreadSamplingThreadWaiting);
  sampling->_Deactivate();
  EXPECT_EQ(sampling->State(), tvCtrlThreadTerminated);
}

TEST_F(LifecycleTest, DisposeDuringActivationInterruptsIt) {
  ControllerRecord r = SimRecord(UniqueName("Interrupt"));
  r.m_lType = 1;  // no connection to open: the items come at once
  auto c = Make(r);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(c->AddItemRecord(SimItem("I" + std::to_string(i), "counter")), S_OK);
  }
  c->disposeEvent().Set();
  EXPECT_EQ(c->_Activate(), S_FALSE);
  EXPECT_EQ(Count("_Activate interrupted."), 1u);
  EXPECT_EQ(Count("Sampling Started."), 0u);
}

TEST_F(LifecycleTest, ReloadRunsPassesOnlyWhileActiveAndTheNextCycleIsAFirstCycle) {
  ControllerRecord r = SimRecord(UniqueName("Reload"));
  auto c = Make(r);
  ASSERT_EQ(c->_Activate(), S_OK);
  ASSERT_TRUE(WaitFor([&] { return c->scanTimes().completed; }));
  c->runEvent().Reset();
  c->SetState(tvCtrlThreadDeactive);
  (void)passes_.Take();
  ASSERT_EQ(c->_Reload(r), S_OK);
  EXPECT_TRUE(passes_.Take().empty());
  const auto states = States(r.RSQLCtrlName);
  ASSERT_GE(states.size(), 2u);
  EXPECT_EQ(states[states.size() - 2], -1);
  EXPECT_EQ(states.back(), tvCtrlThreadDeactive);

  c->runEvent().Set();
  c->SetState(tvCtrlThreadActive);
  ASSERT_EQ(c->_Reload(r), S_OK);
  // The old tree's clean-up pass, then the new tree's initial pass; the next
  // cycle is a first cycle again.
  std::vector<int32_t> passes;
  ASSERT_TRUE(WaitFor([&] {
    for (int32_t p : passes_.Take()) passes.push_back(p);
    return std::count(passes.begin(), passes.end(), kTriggerPassCycle) > 0;
  }));
  const auto initial = std::find(passes.begin(), passes.end(), kTriggerPassInitial);
  ASSERT_NE(initial, passes.end());
  EXPECT_NE(std::find(passes.begin(), initial, kTriggerPassCleanup), initial);
  const auto cycle = std::find_if(initial, passes.end(), [](int32_t p) {
    return p == kTriggerPassFirstCycle || p == kTriggerPassCycle;
  });
  ASSERT_NE(cycle, passes.end());
  EXPECT_EQ(*cycle, kTriggerPassFirstCycle);
}

TEST_F(LifecycleTest, RecordedPassesOpenTriggerPerformanceRecords) {
  ControllerRecord r = SimRecord(UniqueName("Perf"));
  auto c = Make(r);
  ASSERT_EQ(c->_Activate(), S_OK);
  TriggerPerformance::Snapshot before;
  EXPECT_FALSE(c->triggerPerformance().Read(&before));  // no set before a reset
  ASSERT_EQ(c->ResetPerformanceData(), S_OK);
  ASSERT_TRUE(WaitFor([&] {
    TriggerPerformance::Snapshot s;
    return c->triggerPerformance().Read(&s) && s.index >= 2;
  }));
  ASSERT_EQ(c->_Reload(r), S_OK);
  TriggerPerformance::Snapshot s;
  ASSERT_TRUE(c->triggerPerformance().Read(&s));
  std::vector<int32_t> modes;
  for (int32_t i = 0; i <= s.index && i < TriggerPerformance::kRecords; ++i) {
    modes.push_back(s.records[i].mode);
  }
  // Cycles, then the reload's clean-up and initial passes.
  ASSERT_GE(modes.size(), 4u);
  EXPECT_TRUE(modes[0] == kTriggerPassFirstCycle || modes[0] == kTriggerPassCycle);
  const auto cleanup = std::find(modes.begin(), modes.end(), kTriggerPassCleanup);
  ASSERT_NE(cleanup, modes.end());
  ASSERT_NE(cleanup + 1, modes.end());
  EXPECT_EQ(*(cleanup + 1), kTriggerPassInitial);
}

TEST_F(LifecycleTest, UpdateReopensTheReloadGate) {
  ControllerRecord r = SimRecord(UniqueName("Update"));
  auto c = Make(r);
  ASSERT_EQ(c->_Activate(), S_OK);
  r.m_lSamplingRate = 40;
  c->SetPendingUpdate(r);
  EXPECT_EQ(c->_DoUpdate(), S_OK);
  EXPECT_TRUE(c->reloadGate().IsSet());
  EXPECT_EQ(host_.updates.load(), 1);
  EXPECT_EQ(c->_DoUpdate(), S_FALSE);  // nothing pending
}

// Shutdown in the middle of each phase of activation ends promptly.
TEST_F(LifecycleTest, StoppingNeverHangsInAnyPhase) {
  host_.retryCount = -1;
  host_.retryInterval = 2;
  for (int delayMs : {0, 1, 3, 10, 30}) {
    auto c = MakeRef<CTavrixController>(host_);
    ControllerRecord r = SimRecord(UniqueName("Phase"), delayMs % 2 ? "open_failures=3" : "");
    r.m_bAutoReconn = true;
    r.m_lRecInterval = 1;
    ASSERT_EQ(c->Initialize(0, r), S_OK);
    ASSERT_EQ(c->AddItemRecord(SimItem("Count", "counter")), S_OK);
    ASSERT_EQ(c->StartActivationThread(true), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    if (delayMs == 10) {
      ASSERT_EQ(c->ReconnectNow(0), S_OK);
    }
    c->_StopReconnect();
    while (c->_WaitForStopReconnect(0) != 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    c->_Deactivate();
    c->_Terminate();
    EXPECT_FALSE(c->zeltController());
  }
}

}  // namespace
}  // namespace tavrix::controller_test
