#include "platform/small_lock.h"

#include <linux/futex.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>

namespace tavrix {
namespace {

// Spins of the contended path before it sleeps: a holder of an item lock
// usually lets go within a few hundred nanoseconds, far sooner than a trip
// through the kernel.
constexpr int kSpins = 64;

inline void CpuRelax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield" ::: "memory");
#endif
}

// Sleeps while *word still holds `expected`; returns on a wake, a signal, or
// at once when the word has changed (the caller looks again in every case).
void FutexWait(std::atomic<uint32_t>& word, uint32_t expected) noexcept {
  static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));
  static_assert(std::atomic<uint32_t>::is_always_lock_free);
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_PRIVATE, expected,
          static_cast<const timespec*>(nullptr), nullptr, 0);
}

void FutexWakeOne(std::atomic<uint32_t>& word) noexcept {
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE_PRIVATE, 1,
          static_cast<const timespec*>(nullptr), nullptr, 0);
}

}  // namespace

void SmallMutex::LockContended(uint32_t seen) noexcept {
  // Spin while the lock is merely held; stop at once when others sleep on it
  // already, since the holder will pass it on to one of them.
  for (int i = 0; i < kSpins && seen != kContended; ++i) {
    if (seen == kFree) {
      if (state_.compare_exchange_weak(seen, kLocked, std::memory_order_acquire,
                                       std::memory_order_relaxed)) {
        return;
      }
      continue;
    }
    CpuRelax();
    seen = state_.load(std::memory_order_relaxed);
  }
  // Announce a sleeper before sleeping. Whoever takes the lock from here on
  // takes it as kContended: it cannot know whether others still sleep, so
  // its unlock wakes one (at worst a wake-up nobody needed).
  if (seen != kContended) seen = state_.exchange(kContended, std::memory_order_acquire);
  while (seen != kFree) {
    FutexWait(state_, kContended);
    seen = state_.exchange(kContended, std::memory_order_acquire);
  }
}

void SmallMutex::WakeOne() noexcept {
  // The lock word may belong to a freed object by now (the next holder may
  // have locked, unlocked and destroyed it); a private futex wake only hashes
  // the address, and a waiter woken for nothing looks again and sleeps.
  FutexWakeOne(state_);
}

uint32_t SmallRecursiveMutex::NewThreadTag() noexcept {
  // The child of a fork runs the forking thread under a new id: forget the
  // cached one there.
  [[maybe_unused]] static const int forkHook =
      pthread_atfork(nullptr, nullptr, [] { threadTag_ = kNoOwner; });
  return static_cast<uint32_t>(gettid());
}

}  // namespace tavrix
