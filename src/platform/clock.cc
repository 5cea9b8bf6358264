#include "platform/clock.h"

#include <time.h>

#include <atomic>
#include <cerrno>

namespace tavrix {
namespace {

class MonotonicClock : public Clock {
 public:
  uint32_t TickCount() override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    // Truncation to 32 bits is the wrap the tick promises.
    const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u +
                        static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
  }

  int64_t UtcMicros() override {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
  }

  void SleepMs(uint32_t ms) override {
    timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    // Restarts with the remaining time when a signal interrupts the sleep.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }
};

MonotonicClock& Real() {
  static MonotonicClock clock;
  return clock;
}

// The override, or null for the real clock. Atomic so that a read racing a
// (misplaced) swap is still well defined; see ScopedClockOverride.
std::atomic<Clock*> g_override{nullptr};

}  // namespace

Clock& RealClock() { return Real(); }

Clock& SystemClock() {
  Clock* c = g_override.load(std::memory_order_acquire);
  return c != nullptr ? *c : Real();
}

ScopedClockOverride::ScopedClockOverride(Clock& clock)
    : previous_(g_override.exchange(&clock, std::memory_order_acq_rel)) {}

ScopedClockOverride::~ScopedClockOverride() {
  g_override.store(previous_, std::memory_order_release);
}

uint32_t FakeClock::TickCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return tick_;
}

int64_t FakeClock::UtcMicros() {
  std::lock_guard<std::mutex> lock(mutex_);
  return utcMicros_;
}

void FakeClock::SetTick(uint32_t tick) {
  std::lock_guard<std::mutex> lock(mutex_);
  tick_ = tick;
}

void FakeClock::SetUtcMicros(int64_t utcMicros) {
  std::lock_guard<std::mutex> lock(mutex_);
  utcMicros_ = utcMicros;
}

void FakeClock::AdvanceMs(uint32_t ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  tick_ += ms;  // unsigned: wraps like the real tick
  utcMicros_ += static_cast<int64_t>(ms) * 1000;
  advanced_ += ms;
}

uint64_t FakeClock::AdvancedMs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return advanced_;
}

}  // namespace tavrix
