#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace tavrix {
namespace {

TEST(ElapsedMs, SubtractsAcrossTheWrap) {
  struct Case {
    uint32_t from;
    uint32_t to;
    uint32_t elapsed;
  };
  const Case cases[] = {
      {0, 0, 0},
      {10, 25, 15},
      {0xFFFFFFF0u, 0x10u, 0x20u},
      {0xFFFFFFFFu, 0, 1},
      {5, 4, 0xFFFFFFFFu},  // "to" taken just before "from" reads as a full cycle
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ElapsedMs(c.from, c.to), c.elapsed) << c.from << " -> " << c.to;
  }
}

TEST(FakeClock, ReplacesTheSystemClockWhileInScope) {
  Clock* real = &SystemClock();
  EXPECT_EQ(real, &RealClock());
  FakeClock outer(100, 1'700'000'000'000'000);
  {
    ScopedClockOverride useOuter(outer);
    EXPECT_EQ(&SystemClock(), &outer);
    {
      FakeClock inner;
      ScopedClockOverride useInner(inner);
      EXPECT_EQ(&SystemClock(), &inner);
    }
    EXPECT_EQ(&SystemClock(), &outer);
    EXPECT_EQ(SystemClock().TickCount(), 100u);
    EXPECT_EQ(SystemClock().UtcMicros(), 1'700'000'000'000'000);
  }
  EXPECT_EQ(&SystemClock(), real);
}

TEST(FakeClock, SleepAdvancesAtOnceAndTheTickWraps) {
  FakeClock clock(0xFFFFFF00u, 5'000'000);
  const uint32_t start = clock.TickCount();
  clock.SleepMs(0x200);
  EXPECT_EQ(clock.TickCount(), 0x100u);
  EXPECT_EQ(ElapsedMs(start, clock.TickCount()), 0x200u);
  EXPECT_EQ(clock.UtcMicros(), 5'000'000 + 0x200 * 1000);
  clock.AdvanceMs(10);
  EXPECT_EQ(clock.AdvancedMs(), 0x200u + 10);
  clock.SetTick(7);
  clock.SetUtcMicros(-1);
  EXPECT_EQ(clock.TickCount(), 7u);
  EXPECT_EQ(clock.UtcMicros(), -1);
}

TEST(FakeClock, ThreadsAdvanceWithoutLosingTime) {
  FakeClock clock(0xFFFFF000u);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&clock] {
      for (int i = 0; i < 1000; ++i) {
        clock.SleepMs(1);
        (void)clock.TickCount();
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(clock.TickCount(), 0xFFFFF000u + 4000u);  // wrapped past zero
  EXPECT_EQ(clock.UtcMicros(), 4000 * 1000);
}

// The real clock follows the monotonic clock and UTC (loose bounds: only the
// units and the source are checked, never the speed).
TEST(RealClock, TickAndWallTimeUseTheRightSources) {
  Clock& clock = RealClock();
  const uint32_t before = clock.TickCount();
  clock.SleepMs(20);
  const uint32_t after = clock.TickCount();
  EXPECT_GE(ElapsedMs(before, after), 20u);

  const auto steadyMs = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch()).count();
  EXPECT_LT(ElapsedMs(static_cast<uint32_t>(steadyMs), clock.TickCount()), 60'000u);

  const auto wallUs = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch()).count();
  EXPECT_LT(std::llabs(clock.UtcMicros() - wallUs), 60'000'000LL);
}

}  // namespace
}  // namespace tavrix
