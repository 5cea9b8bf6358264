// Compact locks for objects that exist by the hundred thousand and are locked
// briefly and seldom by more than one thread at a time (items and their
// observer lists). A std::mutex costs 40 bytes; SmallMutex costs 4 and
// SmallRecursiveMutex 12.
//
// Both satisfy Lockable (lock, try_lock, unlock), so std::lock_guard,
// std::unique_lock and std::scoped_lock work with them; both are capabilities
// of the thread-safety analysis, taken for a scope with SmallMutexLock and
// SmallRecursiveMutexLock so that the analysis sees it. What they guarantee:
//   - mutual exclusion: at most one thread holds the lock at a time;
//   - ordering: a successful lock or try_lock acquires and unlock releases,
//     through the lock word itself, so everything a thread did before its
//     unlock happens before whatever the next holder does after its lock
//     (ThreadSanitizer sees this edge through the atomics);
//   - no lost wake-up: a thread that must wait sleeps in the kernel (a
//     private futex, after a short spin) and an unlock that finds sleepers
//     wakes one of them.
// What they do not: no fairness or FIFO order (an unlocking thread may take
// the lock again before a woken waiter gets it), no timed waits, no priority
// inheritance, no sharing between processes, no error checks. As with the
// standard mutexes, the thread that locked unlocks; locking a SmallMutex the
// thread already holds deadlocks; destroying a lock that is held or waited
// on is undefined. Neither is async-signal safe.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/mutex.h"
#include "platform/thread_annotations.h"

namespace tavrix {

class CAPABILITY("mutex") SmallMutex {
 public:
  constexpr SmallMutex() noexcept = default;
  SmallMutex(const SmallMutex&) = delete;
  SmallMutex& operator=(const SmallMutex&) = delete;

  void lock() noexcept ACQUIRE() {
    uint32_t seen = kFree;
    if (state_.compare_exchange_strong(seen, kLocked, std::memory_order_acquire,
                                       std::memory_order_relaxed)) {
      return;
    }
    LockContended(seen);
  }

  // Takes the lock when it is free; never waits.
  bool try_lock() noexcept TRY_ACQUIRE(true) {
    uint32_t seen = kFree;
    return state_.compare_exchange_strong(seen, kLocked, std::memory_order_acquire,
                                          std::memory_order_relaxed);
  }

  void unlock() noexcept RELEASE() {
    if (state_.exchange(kFree, std::memory_order_release) == kContended) WakeOne();
  }

 private:
  // The lock word: free, locked, or locked with possible sleepers (any thread
  // that sleeps first sets kContended, so the unlock knows to wake).
  static constexpr uint32_t kFree = 0;
  static constexpr uint32_t kLocked = 1;
  static constexpr uint32_t kContended = 2;

  // The slow path of lock(): `seen` is the state the fast path found.
  void LockContended(uint32_t seen) noexcept;
  void WakeOne() noexcept;

  std::atomic<uint32_t> state_{kFree};
};

// A SmallMutex the holding thread may take again; it is released when unlock
// has been called as often as lock (or a successful try_lock). try_lock by
// the holder always succeeds and counts like lock.
class CAPABILITY("mutex") SmallRecursiveMutex {
 public:
  constexpr SmallRecursiveMutex() noexcept = default;
  SmallRecursiveMutex(const SmallRecursiveMutex&) = delete;
  SmallRecursiveMutex& operator=(const SmallRecursiveMutex&) = delete;

  // The analysis skips the bodies below: they take and release mutex_ across
  // calls, which is what a lock implementation is for.
  void lock() noexcept ACQUIRE() NO_THREAD_SAFETY_ANALYSIS {
    const uint32_t self = CurrentThreadTag();
    if (owner_.load(std::memory_order_relaxed) == self) {
      ++depth_;
      return;
    }
    mutex_.lock();
    owner_.store(self, std::memory_order_relaxed);
    depth_ = 1;
  }

  bool try_lock() noexcept TRY_ACQUIRE(true) NO_THREAD_SAFETY_ANALYSIS {
    const uint32_t self = CurrentThreadTag();
    if (owner_.load(std::memory_order_relaxed) == self) {
      ++depth_;
      return true;
    }
    if (!mutex_.try_lock()) return false;
    owner_.store(self, std::memory_order_relaxed);
    depth_ = 1;
    return true;
  }

  void unlock() noexcept RELEASE() NO_THREAD_SAFETY_ANALYSIS {
    if (--depth_ != 0) return;
    owner_.store(kNoOwner, std::memory_order_relaxed);
    mutex_.unlock();
  }

 private:
  static constexpr uint32_t kNoOwner = 0;

  // The calling thread's kernel thread id (never kNoOwner), unique among the
  // live threads; cached per thread on its first lock, and dropped in the
  // child of a fork, whose thread has an id of its own.
  static uint32_t CurrentThreadTag() noexcept {
    uint32_t tag = threadTag_;
    if (tag == kNoOwner) tag = threadTag_ = NewThreadTag();
    return tag;
  }
  static uint32_t NewThreadTag() noexcept;
  static inline thread_local uint32_t threadTag_ = kNoOwner;

  SmallMutex mutex_;
  // The holder's tag, kNoOwner while free. Only the holder writes it, and it
  // clears it before releasing mutex_, so a thread reads its own tag here
  // exactly when it holds the lock; other threads only ever see another tag.
  std::atomic<uint32_t> owner_{kNoOwner};
  uint32_t depth_ GUARDED_BY(mutex_) = 0;  // times the holder has taken it
};

using SmallMutexLock = ScopedLock<SmallMutex>;
using SmallRecursiveMutexLock = ScopedLock<SmallRecursiveMutex>;

static_assert(sizeof(SmallMutex) == 4);
static_assert(sizeof(SmallRecursiveMutex) <= 16);

}  // namespace tavrix
