// The read guard and the notification guard of an item: they tell a pass
// whether the same item is already being read, or is notifying, further up
// its own call chain (a link or calculation that leads back to the item),
// and tell other threads whether a read of the item is running at all.
#pragma once

#include <atomic>
#include <cstdint>

namespace tavrix {

class ReentryCounter {
 public:
  // Counts up and notes the entry on the calling thread; true when this
  // thread had entered already (a re-entry).
  bool Enter();
  // Leaves the last entry of the calling thread.
  void Leave();
  // Entered by any thread.
  bool Busy() const { return count_.load(std::memory_order_acquire) > 0; }
  // Entered by the calling thread, further up its call chain.
  bool BusyOnThisThread() const;

 private:
  std::atomic<int32_t> count_{0};
};

// Enters a counter for the lifetime of the scope.
class ReentryScope {
 public:
  explicit ReentryScope(ReentryCounter& counter) : counter_(counter), reentered_(counter.Enter()) {}
  ~ReentryScope() { counter_.Leave(); }
  ReentryScope(const ReentryScope&) = delete;
  ReentryScope& operator=(const ReentryScope&) = delete;

  // The calling thread had entered the counter before this scope.
  bool reentered() const { return reentered_; }

 private:
  ReentryCounter& counter_;
  const bool reentered_;
};

}  // namespace tavrix
