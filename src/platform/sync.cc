#include "platform/sync.h"

#include <algorithm>
#include <chrono>

namespace tavrix {
namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineAfter(uint32_t timeoutMs) {
  return Clock::now() + std::chrono::milliseconds(timeoutMs);
}

// Waits on cv until ready() holds or the timeout passes; returns ready().
template <typename Predicate>
bool WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
             uint32_t timeoutMs, Predicate ready) {
  if (timeoutMs == kInfinite) {
    cv.wait(lock, ready);
    return true;
  }
  return cv.wait_until(lock, DeadlineAfter(timeoutMs), ready);
}

}  // namespace

// One WaitAny call, registered with each of its events so that Set() can
// wake it. It lives on the waiting thread's stack; an event touches it only
// under its own mutex, and WaitAny unregisters it (under that mutex) before
// returning. Lock order: an event's mutex, then a waiter's mutex.
struct Event::Waiter {
  std::mutex mutex;             // guards notified
  std::condition_variable cv;
  bool notified = false;        // some event was set since the last scan
};

Event::Event(Mode mode, bool initiallySet) : mode_(mode), set_(initiallySet) {}

void Event::Set() {
  std::lock_guard<std::mutex> lock(mutex_);
  set_.store(true, std::memory_order_release);
  if (mode_ == Mode::kAutoReset) {
    cv_.notify_one();
  } else {
    cv_.notify_all();
  }
  for (Waiter* w : waiters_) {
    std::lock_guard<std::mutex> wl(w->mutex);
    w->notified = true;
    w->cv.notify_one();
  }
}

void Event::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  set_.store(false, std::memory_order_release);
}

bool Event::IsSet() const { return set_.load(std::memory_order_acquire); }

bool Event::TryConsumeLocked() {
  if (!set_.load(std::memory_order_relaxed)) return false;
  if (mode_ == Mode::kAutoReset) set_.store(false, std::memory_order_release);
  return true;
}

WaitStatus Event::Wait(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto set = [this] { return set_.load(std::memory_order_relaxed); };
  if (!WaitFor(cv_, lock, timeoutMs, set)) return WaitStatus::kTimedOut;
  TryConsumeLocked();
  return WaitStatus::kSignaled;
}

int WaitAny(std::span<Event* const> events, uint32_t timeoutMs) {
  // Takes the lowest set event; the scan locks one event at a time.
  const auto scan = [&events]() -> int {
    for (size_t i = 0; i < events.size(); ++i) {
      std::lock_guard<std::mutex> lock(events[i]->mutex_);
      if (events[i]->TryConsumeLocked()) return static_cast<int>(i);
    }
    return kWaitTimedOut;
  };
  if (events.empty()) return kWaitTimedOut;
  int taken = scan();
  if (taken != kWaitTimedOut || timeoutMs == 0) return taken;

  const auto deadline = DeadlineAfter(timeoutMs);
  Event::Waiter waiter;
  for (Event* e : events) {
    std::lock_guard<std::mutex> lock(e->mutex_);
    e->waiters_.push_back(&waiter);
  }
  for (;;) {
    // Clearing before the scan: a Set() that lands during the scan, on an
    // event already passed, leaves notified true and the loop scans again.
    {
      std::lock_guard<std::mutex> wl(waiter.mutex);
      waiter.notified = false;
    }
    taken = scan();
    if (taken != kWaitTimedOut) break;
    std::unique_lock<std::mutex> wl(waiter.mutex);
    const auto notified = [&waiter] { return waiter.notified; };
    if (timeoutMs == kInfinite) {
      waiter.cv.wait(wl, notified);
    } else if (!waiter.cv.wait_until(wl, deadline, notified)) {
      break;
    }
  }
  for (Event* e : events) {
    std::lock_guard<std::mutex> lock(e->mutex_);
    auto it = std::find(e->waiters_.begin(), e->waiters_.end(), &waiter);
    if (it != e->waiters_.end()) e->waiters_.erase(it);
  }
  return taken;
}

int WaitAny(std::initializer_list<Event*> events, uint32_t timeoutMs) {
  return WaitAny(std::span<Event* const>(events.begin(), events.size()), timeoutMs);
}

Semaphore::Semaphore(uint32_t initial, uint32_t maximum)
    : maximum_(std::max<uint32_t>(maximum, 1)), count_(std::min(initial, maximum_)) {}

bool Semaphore::Release(uint32_t n, uint32_t* previous) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (n == 0 || n > maximum_ - count_) return false;
  if (previous != nullptr) *previous = count_;
  count_ += n;
  if (n == 1) {
    cv_.notify_one();
  } else {
    cv_.notify_all();
  }
  return true;
}

WaitStatus Semaphore::Wait(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!WaitFor(cv_, lock, timeoutMs, [this] { return count_ > 0; })) {
    return WaitStatus::kTimedOut;
  }
  --count_;
  return WaitStatus::kSignaled;
}

uint32_t Semaphore::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}

}  // namespace tavrix
