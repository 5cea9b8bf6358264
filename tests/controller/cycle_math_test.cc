#include "controller/cycle_math.h"

#include <gtest/gtest.h>

#include "platform/date.h"

namespace tavrix {
namespace {

TEST(CycleMathTest, InitialDistributionSleep) {
  struct Case {
    int32_t interval, n;
    int64_t sleep;
  } cases[] = {{300, 4, 99}, {300, 2, 299}, {10, 20, 0}, {1000, 1, 0}, {1000, 0, 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(InitialDistributionSleep(c.interval, c.n), c.sleep) << c.interval << "/" << c.n;
  }
}

TEST(CycleMathTest, DistributionSleepFollowsTheCycleLength) {
  struct Case {
    const char* name;
    int64_t sleep;
    bool good;
    int32_t mode;
    uint32_t elapsed;
    int64_t after;  // interval 300, 4 items: limit 303, floor 297
  } cases[] = {
      {"too long: shrinks", 99, true, -1, 403, 74},
      {"much too long: not below 0", 10, true, -1, 2000, 0},
      {"too short: grows", 50, true, -1, 197, 75},
      {"inside the window: unchanged", 99, true, -1, 300, 99},
      {"bad cycle: unchanged", 99, false, -1, 403, 99},
      {"trigger-wait mode: unchanged", 99, true, 0, 403, 99},
      {"n cycles left: moves", 99, true, 2, 403, 74},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AdjustDistributionSleep(c.sleep, c.good, c.mode, 300, 4, c.elapsed), c.after);
  }
  // More items than the interval has milliseconds: only the upper limit applies.
  EXPECT_EQ(AdjustDistributionSleep(5, true, -1, 3, 10, 0), 5);
}

TEST(CycleMathTest, ElapsedVerdictAndSleep) {
  EXPECT_EQ(CycleElapsed(100, 350), 250u);
  EXPECT_EQ(CycleElapsed(0xFFFFFF00u, 0x40u), 0x13Fu);  // wrapped: one less
  EXPECT_EQ(CycleElapsed(7, 7), 0u);

  struct Verdict {
    int32_t recType;
    bool allGood, noneFromDevice, good;
  } verdicts[] = {
      {0, true, true, true},   {0, false, false, false}, {1, false, false, true},
      {1, false, true, false}, {2, true, true, true},
  };
  for (const Verdict& v : verdicts) {
    EXPECT_EQ(CycleGood(v.recType, v.allGood, v.noneFromDevice), v.good);
  }

  EXPECT_EQ(RemainingSleep(1000, 0), 998);
  EXPECT_EQ(RemainingSleep(1000, 400), 599);
  EXPECT_EQ(RemainingSleep(100, 400), -301);
}

TEST(CycleMathTest, ScanTimesKeepLastMinimumAndMaximum) {
  ScanTimes t;
  EXPECT_EQ(t.minimum, 2147483647u);
  t.Record(30);
  t.Record(10);
  t.Record(20);
  EXPECT_EQ(t.last, 20u);
  EXPECT_EQ(t.minimum, 10u);
  EXPECT_EQ(t.maximum, 30u);
  EXPECT_TRUE(t.completed);
  t.Reset();
  EXPECT_FALSE(t.completed);
}

TEST(CycleMathTest, ClockTimeStampCountsUpWithinOneReading) {
  double date = 0;
  ASSERT_EQ(DateFromFields(2026, 12, 9, 23, 30, 13, 123000, &date), S_OK);
  ClockTimeStamp ts;
  ts.Refresh(1000, date);
  double whole = 0;
  ASSERT_EQ(DateFromFields(2026, 12, 9, 23, 30, 13, 0, &whole), S_OK);
  EXPECT_DOUBLE_EQ(ts.date, whole);
  EXPECT_EQ(ts.microsecond, 123000u);
  ts.Refresh(1000, date);  // the same reading: one microsecond more
  EXPECT_EQ(ts.microsecond, 123001u);
  ts.Refresh(1001, date);
  EXPECT_EQ(ts.microsecond, 123000u);
}

}  // namespace
}  // namespace tavrix
