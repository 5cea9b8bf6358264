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
  ASSERT_EQ(c->AddItemRecord(SimItem("Count", "counter")), S_OK);
  const Ref<CTavrixItem> item = c->FindItem("Count");
  PerformanceSet::Snapshot cycles;
  PerformanceSet::Snapshot passes;
  EXPECT_FALSE(c->PerformanceData(&cycles));
  EXPECT_FALSE(item->PerformanceData(&passes));
  ASSERT_EQ(c->_Activate(), S_OK);
  ASSERT_EQ(c->ResetPerformanceData(), S_OK);
  EXPECT_EQ(c->PerformanceSetCounter(), 1u);
  ASSERT_TRUE(WaitFor([&] { return c->PerformanceData(&cycles) && cycles.index >= 3; }));
  ASSERT_TRUE(item->PerformanceData(&passes));
  // Both sets advance together at the start of every cycle.
  EXPECT_GE(passes.index, 2);

  const auto& cycle = cycles.records[0];
  EXPECT_EQ(cycle[PerformanceSet::kCompleteWord], 1u);
  EXPECT_LE(cycle[0], cycle[11]);  // cycle start before cycle end (no wrap here)
  EXPECT_EQ(cycles.records[PerformanceSet::kRecords - 1][PerformanceSet::kCompleteWord], 0u);
  // The counter changes every cycle, so each pass runs through every step:
  // twelve stamps in order, inside the cycle's read phase, and complete.
  const auto& pass = passes.records[0];
  EXPECT_EQ(pass[PerformanceSet::kCompleteWord], 1u);
  for (int word = 1; word < 12; ++word) EXPECT_LE(pass[word - 1], pass[word]) << word;
  EXPECT_GE(pass[0], cycle[1]);
  EXPECT_LE(pass[11], cycle[2]);

  // A second reset starts the collection again, for the items too.
  c->_Deactivate();
  ASSERT_EQ(c->ResetPerformanceData(), S_OK);
  EXPECT_EQ(c->PerformanceSetCounter(), 2u);
  ASSERT_TRUE(item->PerformanceData(&passes));
  EXPECT_EQ(passes.index, -1);
  EXPECT_EQ(passes.records[0][0], 0u);
}

}  // namespace
}  // namespace tavrix::controller_test
