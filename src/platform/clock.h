// The process clock: a millisecond tick for intervals and the UTC wall time.
// Code reads time only through SystemClock(), so tests can put a FakeClock
// in its place with ScopedClockOverride.
#pragma once

#include <cstdint>
#include <mutex>

namespace tavrix {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds from an arbitrary start, wrapping at 2^32 (about 49.7
  // days); only differences taken with ElapsedMs mean anything.
  virtual uint32_t TickCount() = 0;
  // Microseconds since 1970-01-01 00:00:00 UTC, wall clock (may jump when
  // the system time is set).
  virtual int64_t UtcMicros() = 0;
  // Sleeps at least ms milliseconds (a fake clock advances instead).
  virtual void SleepMs(uint32_t ms) = 0;
};

// Milliseconds from tick `from` to tick `to`, correct across one wrap of the
// tick as long as less than 2^32 ms passed.
constexpr uint32_t ElapsedMs(uint32_t from, uint32_t to) { return to - from; }

// The real clock: tick from CLOCK_MONOTONIC, wall time from CLOCK_REALTIME.
// Thread-safe; lives for the whole process.
Clock& RealClock();

// The clock in use: RealClock() unless a ScopedClockOverride is active.
// Thread-safe to call; the clock returned stays valid while it is in use.
Clock& SystemClock();

// Makes SystemClock() return `clock` until destroyed, then restores the
// previous clock (overrides nest). Create and destroy it only while no other
// thread uses SystemClock(): a thread still holding the replaced clock's
// reference would otherwise read a clock whose owner may be gone. `clock`
// must outlive the override.
class ScopedClockOverride {
 public:
  explicit ScopedClockOverride(Clock& clock);
  ~ScopedClockOverride();
  ScopedClockOverride(const ScopedClockOverride&) = delete;
  ScopedClockOverride& operator=(const ScopedClockOverride&) = delete;

 private:
  Clock* previous_;
};

// A clock that moves only when told. SleepMs advances it at once and returns.
// All members are thread-safe.
class FakeClock : public Clock {
 public:
  explicit FakeClock(uint32_t tick = 0, int64_t utcMicros = 0)
      : tick_(tick), utcMicros_(utcMicros) {}

  uint32_t TickCount() override;
  int64_t UtcMicros() override;
  void SleepMs(uint32_t ms) override { AdvanceMs(ms); }

  void SetTick(uint32_t tick);
  void SetUtcMicros(int64_t utcMicros);
  // Moves both the tick (wrapping) and the wall time forward by ms.
  void AdvanceMs(uint32_t ms);
  // Total milliseconds asked for through SleepMs and AdvanceMs.
  uint64_t AdvancedMs() const;

 private:
  mutable std::mutex mutex_;  // guards tick_, utcMicros_ and advanced_
  uint32_t tick_;
  int64_t utcMicros_;
  uint64_t advanced_ = 0;
};

}  // namespace tavrix
