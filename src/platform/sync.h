// Events and semaphores with the platform's waiting rules: waits take a
// timeout in milliseconds (kInfinite waits for ever), measured on
// std::chrono::steady_clock so that wall-clock changes do not move them.
//
// All members are thread-safe. An Event or Semaphore must outlive every wait
// on it; destroying one while a thread waits on it is undefined.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <span>
#include <vector>

namespace tavrix {

inline constexpr uint32_t kInfinite = 0xFFFFFFFF;

enum class WaitStatus { kSignaled, kTimedOut };

// WaitAny's result when no event was signalled in time.
inline constexpr int kWaitTimedOut = -1;

class Event {
 public:
  enum class Mode {
    kManualReset,  // stays set, releasing every waiter, until Reset()
    kAutoReset,    // releases one waiter, then is reset by that wait
  };

  explicit Event(Mode mode, bool initiallySet = false);
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // Sets the event. Setting a set event changes nothing (signals do not count up).
  void Set();
  void Reset();
  // Whether the event is set now; does not consume an auto-reset signal.
  bool IsSet() const;

  // Waits until the event is set or the timeout passes. kSignaled consumes
  // the signal of an auto-reset event. A timeout of 0 only tests.
  WaitStatus Wait(uint32_t timeoutMs = kInfinite);

 private:
  friend int WaitAny(std::span<Event* const> events, uint32_t timeoutMs);
  struct Waiter;

  // Takes the signal if set (resetting an auto-reset event); call with mutex_ held.
  bool TryConsumeLocked();

  const Mode mode_;
  mutable std::mutex mutex_;      // guards waiters_ and every change of set_
  std::condition_variable cv_;    // Wait() sleeps here
  // Changed only under mutex_ (so waiters see every change); IsSet reads it
  // without the lock, as loops test a stop event between every step.
  std::atomic<bool> set_;
  std::vector<Waiter*> waiters_;  // WaitAny calls sleeping on this event
};

// Waits until one of the events is set or the timeout passes. Returns the
// index of the event taken, or kWaitTimedOut. When several are set, the
// lowest index wins, and only that event's auto-reset signal is consumed;
// the others stay set. An empty list returns kWaitTimedOut at once. Every
// pointer must be non-null; an event may appear more than once.
int WaitAny(std::span<Event* const> events, uint32_t timeoutMs = kInfinite);
int WaitAny(std::initializer_list<Event*> events, uint32_t timeoutMs = kInfinite);

// A counting semaphore with a maximum count.
class Semaphore {
 public:
  // `maximum` is at least 1 and `initial` at most `maximum` (both are
  // clamped into that range).
  Semaphore(uint32_t initial, uint32_t maximum);
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  // Adds n to the count and wakes up to n waiters. Fails (false, count
  // unchanged) when n is 0 or the count would pass the maximum. On success
  // *previous, when given, receives the count before the release.
  bool Release(uint32_t n = 1, uint32_t* previous = nullptr);

  // Waits until the count is above zero, then takes one; kTimedOut otherwise.
  WaitStatus Wait(uint32_t timeoutMs = kInfinite);

  uint32_t Count() const;
  uint32_t Maximum() const { return maximum_; }

 private:
  const uint32_t maximum_;
  mutable std::mutex mutex_;    // guards count_
  std::condition_variable cv_;  // waiters for count_ > 0
  uint32_t count_;
};

}  // namespace tavrix
