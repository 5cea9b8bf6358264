// The sampling thread: start and stop, sampling modes, slow sampling,
// watchdogs and the performance records.
#include <thread>

#include "controller/controller_fixture.h"

namespace tavrix::controller_test {
namespace {

using SamplingTest = ControllerTest;

TEST_F(SamplingTest, StartAndStopAnswerOnceAndLogOnce) {
  auto c = Make(SimRecord(UniqueName("StartStop")));
  EXPECT_EQ(c->Stop(), S_FALSE);  // no sampling thread yet
  ASSERT_EQ(c->_Activate(), S_OK);
  EXPECT_EQ(c->Start(), S_FALSE);  // already sampling
  EXPECT_EQ(c->Stop(), S_OK);
  EXPECT_EQ(c->Stop(), S_FALSE);
  EXPECT_EQ(c->State(), tvCtrlThreadDeactive);
  EXPECT_EQ(c->Start(), S_OK);
  EXPECT_EQ(c->State(), tvCtrlThreadActive);
  EXPECT_EQ(Count("] : Sampling Stopped.\n"), 1u);
  EXPECT_EQ(Count("] : Sampling Started.\n"), 1u);
}

TEST_F(SamplingTest, OneCycleModeFallsBackToWaitingForATrigger) {
  auto c = Make(SimRecord(UniqueName("OneShot")));
  ASSERT_EQ(c->AddItemRecord(SimItem("Count", "counter")), S_OK);
  c->SetSamplingMode(0);
  ASSERT_EQ(c->_Activate(), S_OK);
  ASSERT_TRUE(WaitFor([&] { return c->scanTimes().completed; }));
  EXPECT_EQ(c->FindItem("Count")->state(), tvItemUndefined);  // mode 0 reads no item

  c->SetSamplingMode(1);
  ASSERT_TRUE(WaitFor([&] { return c->samplingMode() == 0; }));
  EXPECT_TRUE(c->FindItem("Count")->value().Identical(Variant::I4(0)));
  std::this_thread::sleep_for(std::chrono::milliseconds(80));
  EXPECT_TRUE(c->FindItem("Count")->value().Identical(Variant::I4(0)));  // exactly one full cycle
  EXPECT_EQ(Count("Sampling thread is executed only one cycle."), 1u);
  EXPECT_EQ(Count("Sampling thread is waiting for a trigger signal."), 1u);
}

TEST_F(SamplingTest, SlowSamplingIsAnnouncedOnceEachWay) {
  ControllerRecord r = SimRecord(UniqueName("Slow"));
  r.m_bSlowSamplingEnable = true;
  r.m_lSlowSamplingRate = 30;
  auto c = Make(r);
  ASSERT_EQ(c->AddItemRecord(SimItem("Count", "counter")), S_OK);
  ASSERT_EQ(c->_Activate(), S_OK);
  DeviceCommand(*c, "OFFLINE");
  ASSERT_TRUE(WaitFor([&] { return c->failedCycles() >= 3; }));
  DeviceCommand(*c, "ONLINE");
  ASSERT_TRUE(WaitFor([&] { return c->State() == tvCtrlThreadActive && c->failedCycles() == 0; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(Count("Changed Sampling interval to the Slow sampling interval. (30ms)"), 1u);
  EXPECT_EQ(Count("Changed Sampling interval to the normal sampling interval. (20ms)"), 1u);
}

TEST_F(SamplingTest, OneItemSwitchesDistributionOff) {
  ControllerRecord r = SimRecord(UniqueName("Distribute"));
  r.m_bDistribute = true;
  auto c = Make(r);
  ASSERT_EQ(c->AddItemRecord(SimItem("Count", "counter")), S_OK);
  EXPECT_TRUE(c->distribute());
  ASSERT_EQ(c->_Activate(), S_OK);
  ASSERT_TRUE(WaitFor([&] { return c->scanTimes().completed; }));
  EXPECT_FALSE(c->distribute());
}

TEST_F(SamplingTest, WatchdogTimerStopsSamplingWhenTheCycleOverruns) {
  ControllerRecord r = SimRecord(UniqueName("Watchdog"), "read_latency_ms=60");
  r.m_bWDT = true;
  r.m_lWDTCount = 0;
  r.m_lWDTAction = 1;
  r.m_bDistribute = true;  // the reads wait in between, where the timer runs
  auto c = Make(r);
  ASSERT_EQ(c->AddItemRecord(SimItem("A", "counter")), S_OK);
  ASSERT_EQ(c->AddItemRecord(SimItem("B", "counter")), S_OK);
  ASSERT_EQ(c->_Activate(), S_OK);
  EXPECT_TRUE(WaitFor([&] { return Count("] : Sampling Stopped.\n") == 1; }));
  EXPECT_FALSE(c->runEvent().IsSet());
}

TEST_F(SamplingTest, PerformanceRecordsFillAfterAReset) {
  auto c = Make(SimRecord(UniqueName("Perf")));
  PerformanceSet set;
  EXPECT_FALSE(c->PerformanceData(&set));
  ASSERT_EQ(c->_Activate(), S_OK);
  c->ResetPerformanceData();
  ASSERT_TRUE(WaitFor([&] {
    return c->PerformanceData(&set) && set.index() >= 3;
  }));
  const auto& first = set.records()[0];
  EXPECT_EQ(first[PerformanceSet::kCompleteWord], 1u);
  EXPECT_LE(first[0], first[11]);  // cycle start before cycle end (no wrap here)
  EXPECT_EQ(set.records()[PerformanceSet::kRecords - 1][PerformanceSet::kCompleteWord], 0u);
}

}  // namespace
}  // namespace tavrix::controller_test
