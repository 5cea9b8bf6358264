// Locks the thread-safety analysis knows (platform/thread_annotations.h):
// the standard mutexes behind annotated inline wrappers of the same size and
// cost, the scoped holders that take them, and a condition variable that
// waits on a Mutex.
//
//   mutable Mutex lock_;             // guards count_
//   int count_ GUARDED_BY(lock_) = 0;
//   ...
//   MutexLock hold(&lock_);          // held to the end of the scope
//   ++count_;
//
// Each lock also has the lower-case lock / unlock / try_lock of the
// standard's Lockable, so std::unique_lock or std::condition_variable_any
// still work with it where a standard interface needs one (the analysis does
// not see those acquisitions: prefer the holders below).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <shared_mutex>

#include "platform/thread_annotations.h"

namespace tavrix {

class CondVar;

// A standard mutex (std::mutex or std::recursive_mutex) the analysis knows.
template <typename StdMutex>
class CAPABILITY("mutex") BasicMutex {
 public:
  constexpr BasicMutex() noexcept = default;
  BasicMutex(const BasicMutex&) = delete;
  BasicMutex& operator=(const BasicMutex&) = delete;

  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }
  bool TryLock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }
  bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }

  // Tells the analysis the caller holds the lock (no run-time check): for a
  // callback that runs with the lock held but is not annotated itself.
  void AssertHeld() const ASSERT_CAPABILITY(this) {}

 private:
  friend class CondVar;
  StdMutex mutex_;
};

// Not re-entrant: taking it twice on one thread deadlocks.
using Mutex = BasicMutex<std::mutex>;

// The holding thread may take it again and releases it after as many
// unlocks. The analysis does not model re-entry: a function that takes it
// while its caller may already hold it gets no EXCLUDES, and the comment at
// the lock says where it is re-entered.
using RecursiveMutex = BasicMutex<std::recursive_mutex>;

// std::shared_mutex: one writer, or any number of readers.
class CAPABILITY("mutex") SharedMutex {
 public:
  SharedMutex() = default;
  SharedMutex(const SharedMutex&) = delete;
  SharedMutex& operator=(const SharedMutex&) = delete;

  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }
  bool TryLock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }
  void ReaderLock() ACQUIRE_SHARED() { mutex_.lock_shared(); }
  void ReaderUnlock() RELEASE_SHARED() { mutex_.unlock_shared(); }
  bool ReaderTryLock() TRY_ACQUIRE_SHARED(true) { return mutex_.try_lock_shared(); }

  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }
  bool try_lock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }
  void lock_shared() ACQUIRE_SHARED() { mutex_.lock_shared(); }
  void unlock_shared() RELEASE_SHARED() { mutex_.unlock_shared(); }
  bool try_lock_shared() TRY_ACQUIRE_SHARED(true) { return mutex_.try_lock_shared(); }

  void AssertHeld() const ASSERT_CAPABILITY(this) {}
  void AssertReaderHeld() const ASSERT_SHARED_CAPABILITY(this) {}

 private:
  std::shared_mutex mutex_;
};

// Holds a lock (any of the above, SmallMutex, SmallRecursiveMutex) from its
// construction to the end of its scope. Unlock gives it up early and Lock
// takes it again; the destructor releases it only when held.
template <typename Lockable>
class SCOPED_CAPABILITY ScopedLock {
 public:
  explicit ScopedLock(Lockable* mu) ACQUIRE(mu) : mu_(mu) { mu_->lock(); }
  ~ScopedLock() RELEASE() {
    if (held_) mu_->unlock();
  }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

  void Unlock() RELEASE() {
    mu_->unlock();
    held_ = false;
  }
  void Lock() ACQUIRE() {
    mu_->lock();
    held_ = true;
  }

 private:
  Lockable* const mu_;
  bool held_ = true;
};

using MutexLock = ScopedLock<Mutex>;
using RecursiveMutexLock = ScopedLock<RecursiveMutex>;
using WriterMutexLock = ScopedLock<SharedMutex>;

// Holds a SharedMutex shared for its scope.
class SCOPED_CAPABILITY ReaderMutexLock {
 public:
  explicit ReaderMutexLock(SharedMutex* mu) ACQUIRE_SHARED(mu) : mu_(mu) { mu_->ReaderLock(); }
  ~ReaderMutexLock() RELEASE() { mu_->ReaderUnlock(); }
  ReaderMutexLock(const ReaderMutexLock&) = delete;
  ReaderMutexLock& operator=(const ReaderMutexLock&) = delete;

 private:
  SharedMutex* const mu_;
};

// Holds *mu for its scope when mu is not null: for a lock that exists, or is
// taken, only in some configurations (an item's lock of versioned projects).
// The analysis cannot follow a lock that may or may not be held, so this
// holder carries no annotation and no member may be GUARDED_BY a lock that is
// taken this way; such a lock only serialises whole operations.
// (The bodies are skipped by the analysis for the same reason.)
template <typename Lockable>
class OptionalLock {
 public:
  explicit OptionalLock(Lockable* mu) NO_THREAD_SAFETY_ANALYSIS : mu_(mu) {
    if (mu_ != nullptr) mu_->lock();
  }
  ~OptionalLock() { Unlock(); }
  OptionalLock(const OptionalLock&) = delete;
  OptionalLock& operator=(const OptionalLock&) = delete;

  // Gives the lock up before the end of the scope (nothing when not held).
  void Unlock() NO_THREAD_SAFETY_ANALYSIS {
    if (mu_ != nullptr) mu_->unlock();
    mu_ = nullptr;
  }

 private:
  Lockable* mu_;
};

// A condition variable whose waits release and retake a Mutex.
class CondVar {
 public:
  CondVar() = default;
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;

  // Waits for a signal (or a spurious wake-up): callers loop on their
  // condition.
  void Wait(Mutex* mu) REQUIRES(mu) {
    std::unique_lock<std::mutex> lock(mu->mutex_, std::adopt_lock);
    cv_.wait(lock);
    lock.release();
  }
  // As Wait, but returns false once `deadline` has passed.
  bool WaitUntil(Mutex* mu, std::chrono::steady_clock::time_point deadline) REQUIRES(mu) {
    std::unique_lock<std::mutex> lock(mu->mutex_, std::adopt_lock);
    const bool signalled = cv_.wait_until(lock, deadline) == std::cv_status::no_timeout;
    lock.release();
    return signalled;
  }
  void Signal() { cv_.notify_one(); }
  void SignalAll() { cv_.notify_all(); }

 private:
  std::condition_variable cv_;
};

}  // namespace tavrix
