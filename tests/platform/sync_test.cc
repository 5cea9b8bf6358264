#include "platform/sync.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/mutex.h"
#include "platform/thread.h"

namespace tavrix {
namespace {

// Long enough that a released waiter always gets there in a test run.
constexpr uint32_t kLong = 10000;
// Short waits that are expected to time out.
constexpr uint32_t kShort = 20;

// --- Event --------------------------------------------------------------------

TEST(Event, ManualResetReleasesEveryWaiterAndStaysSet) {
  Event event(Event::Mode::kManualReset);
  Semaphore woke(0, 10);
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      if (event.Wait() == WaitStatus::kSignaled) woke.Release();
    });
  }
  EXPECT_EQ(woke.Wait(kShort), WaitStatus::kTimedOut);
  event.Set();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(woke.Wait(kLong), WaitStatus::kSignaled);
  for (std::thread& t : waiters) t.join();

  EXPECT_EQ(event.Wait(0), WaitStatus::kSignaled);
  EXPECT_EQ(event.Wait(0), WaitStatus::kSignaled);
  event.Reset();
  EXPECT_EQ(event.Wait(kShort), WaitStatus::kTimedOut);
}

TEST(Event, AutoResetReleasesOneWaiterPerSet) {
  Event event(Event::Mode::kAutoReset);
  Semaphore woke(0, 10);
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i) {
    waiters.emplace_back([&] {
      if (event.Wait() == WaitStatus::kSignaled) woke.Release();
    });
  }
  event.Set();
  EXPECT_EQ(woke.Wait(kLong), WaitStatus::kSignaled);
  EXPECT_EQ(woke.Wait(kShort), WaitStatus::kTimedOut);  // the other still waits
  EXPECT_FALSE(event.IsSet());
  event.Set();
  EXPECT_EQ(woke.Wait(kLong), WaitStatus::kSignaled);
  for (std::thread& t : waiters) t.join();
}

TEST(Event, SignalSetBeforeTheWaitIsKept) {
  Event autoEvent(Event::Mode::kAutoReset, /*initiallySet=*/true);
  EXPECT_EQ(autoEvent.Wait(0), WaitStatus::kSignaled);
  EXPECT_EQ(autoEvent.Wait(0), WaitStatus::kTimedOut);
  autoEvent.Set();
  autoEvent.Set();  // signals do not count up
  EXPECT_EQ(autoEvent.Wait(kShort), WaitStatus::kSignaled);
  EXPECT_EQ(autoEvent.Wait(kShort), WaitStatus::kTimedOut);
}

// --- WaitAny ------------------------------------------------------------------

// Events: 0 manual, 1 auto, 2 auto.
class WaitAnyTest : public ::testing::Test {
 protected:
  Event manual_{Event::Mode::kManualReset};
  Event auto1_{Event::Mode::kAutoReset};
  Event auto2_{Event::Mode::kAutoReset};
  std::vector<Event*> all_{&manual_, &auto1_, &auto2_};
};

TEST_F(WaitAnyTest, LowestSetIndexWinsAndOnlyItIsConsumed) {
  auto1_.Set();
  auto2_.Set();
  EXPECT_EQ(WaitAny(all_, 0), 1);
  EXPECT_FALSE(auto1_.IsSet());
  EXPECT_TRUE(auto2_.IsSet());
  EXPECT_EQ(WaitAny(all_, 0), 2);
  EXPECT_EQ(WaitAny(all_, kShort), kWaitTimedOut);

  manual_.Set();
  auto1_.Set();
  EXPECT_EQ(WaitAny(all_, 0), 0);
  EXPECT_EQ(WaitAny(all_, 0), 0);  // a manual-reset event stays set
  EXPECT_TRUE(auto1_.IsSet());
}

TEST_F(WaitAnyTest, WakesWhenAnotherThreadSets) {
  std::thread setter([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(kShort));
    auto2_.Set();
  });
  EXPECT_EQ(WaitAny(all_, kLong), 2);
  setter.join();
  EXPECT_FALSE(auto2_.IsSet());

  std::thread infinite([this] { EXPECT_EQ(WaitAny({&auto1_, &auto2_}), 0); });
  std::this_thread::sleep_for(std::chrono::milliseconds(kShort));
  auto1_.Set();
  infinite.join();
}

TEST_F(WaitAnyTest, EmptyListAndTimeout) {
  EXPECT_EQ(WaitAny(std::span<Event* const>(), kInfinite), kWaitTimedOut);
  EXPECT_EQ(WaitAny(all_, kShort), kWaitTimedOut);
  EXPECT_EQ(WaitAny({&auto1_, &auto1_}, 0), kWaitTimedOut);
  auto1_.Set();
  EXPECT_EQ(WaitAny({&auto2_, &auto1_, &auto1_}, kShort), 1);
}

// A WaitAny thread and a Wait thread compete for one auto-reset event: each
// signal must be taken exactly once. The setter waits for the taker's
// acknowledgement before setting again, so no signal is merged.
TEST(WaitAnyRace, AutoResetSignalIsTakenOnce) {
  constexpr int kSignals = 2000;
  Event work(Event::Mode::kAutoReset);
  Event stop(Event::Mode::kManualReset);
  Semaphore taken(0, 2 * kSignals);
  std::atomic<int> byWaitAny{0};
  std::atomic<int> byWait{0};
  std::thread anyTaker([&] {
    while (WaitAny({&stop, &work}) == 1) {
      ++byWaitAny;
      taken.Release();
    }
  });
  std::thread waitTaker([&] {
    while (!stop.IsSet()) {
      if (work.Wait(5) == WaitStatus::kSignaled) {
        ++byWait;
        taken.Release();
      }
    }
  });
  for (int i = 0; i < kSignals; ++i) {
    work.Set();
    ASSERT_EQ(taken.Wait(kLong), WaitStatus::kSignaled);
  }
  stop.Set();
  anyTaker.join();
  waitTaker.join();
  EXPECT_EQ(taken.Count(), 0u);  // no signal taken twice
  EXPECT_EQ(byWaitAny + byWait, kSignals);
}

// --- Semaphore ----------------------------------------------------------------

TEST(Semaphore, ReleaseBeyondTheMaximumFailsAndChangesNothing) {
  Semaphore sem(1, 2);
  uint32_t previous = 99;
  EXPECT_TRUE(sem.Release(1, &previous));
  EXPECT_EQ(previous, 1u);
  EXPECT_FALSE(sem.Release(1, &previous));
  EXPECT_EQ(previous, 1u);
  EXPECT_EQ(sem.Count(), 2u);
  EXPECT_FALSE(sem.Release(0));

  EXPECT_EQ(sem.Wait(0), WaitStatus::kSignaled);
  EXPECT_EQ(sem.Wait(0), WaitStatus::kSignaled);
  EXPECT_EQ(sem.Wait(kShort), WaitStatus::kTimedOut);
  EXPECT_FALSE(sem.Release(3));
  EXPECT_EQ(sem.Count(), 0u);
  EXPECT_TRUE(sem.Release(2));
  EXPECT_EQ(sem.Count(), 2u);

  Semaphore clamped(5, 3);
  EXPECT_EQ(clamped.Count(), 3u);
  EXPECT_EQ(Semaphore(0, 0).Maximum(), 1u);
  Semaphore full(0xFFFFFFFF, 0xFFFFFFFF);
  EXPECT_FALSE(full.Release(1));  // no wrap of the count
}

TEST(Semaphore, ReleaseWakesAsManyWaitersAsItAdds) {
  Semaphore sem(0, 5);
  Semaphore woke(0, 5);
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      if (sem.Wait() == WaitStatus::kSignaled) woke.Release();
    });
  }
  EXPECT_TRUE(sem.Release(2));
  EXPECT_EQ(woke.Wait(kLong), WaitStatus::kSignaled);
  EXPECT_EQ(woke.Wait(kLong), WaitStatus::kSignaled);
  EXPECT_EQ(woke.Wait(kShort), WaitStatus::kTimedOut);
  EXPECT_TRUE(sem.Release());
  EXPECT_EQ(woke.Wait(kLong), WaitStatus::kSignaled);
  for (std::thread& t : waiters) t.join();
  EXPECT_EQ(sem.Count(), 0u);
}

// --- CondVar ------------------------------------------------------------------

// A wait gives the mutex up while it sleeps and holds it again when it
// returns, whether it was signalled or its deadline passed.
TEST(CondVar, WaitReleasesTheMutexAndHoldsItAgainOnReturn) {
  Mutex mu;
  CondVar cv;
  bool ready = false;
  std::atomic<bool> waiting{false};
  std::atomic<bool> returned{false};
  std::atomic<bool> done{false};
  std::thread waiter([&] {
    MutexLock lock(&mu);
    waiting = true;
    while (!ready) cv.Wait(&mu);
    returned = true;
    while (!done) std::this_thread::yield();  // still holding mu
  });
  while (!waiting) std::this_thread::yield();
  // The waiter holds the mutex from here until its wait gives it up.
  {
    MutexLock lock(&mu);
    ready = true;
    cv.Signal();
  }
  while (!returned) std::this_thread::yield();
  EXPECT_FALSE(mu.TryLock());
  done = true;
  waiter.join();
  ASSERT_TRUE(mu.TryLock());
  mu.Unlock();
}

TEST(CondVar, WaitUntilReportsTheDeadline) {
  Mutex mu;
  CondVar cv;
  MutexLock lock(&mu);
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::milliseconds(kShort);
  while (cv.WaitUntil(&mu, deadline)) {
  }
  EXPECT_GE(std::chrono::steady_clock::now(), deadline);
  // Past the deadline, a wait returns at once.
  EXPECT_FALSE(cv.WaitUntil(&mu, deadline));
}

// --- Thread -------------------------------------------------------------------

TEST(Thread, NamesAreCutAtACharacterBoundary) {
  EXPECT_EQ(ThreadNameFor("poller"), "poller");
  EXPECT_EQ(ThreadNameFor("abcdefghijklmnopqrst"), "abcdefghijklmno");
  EXPECT_EQ(ThreadNameFor("abcdefghijklmn\xC3\xA9"), "abcdefghijklmn");  // 16 bytes
  EXPECT_EQ(ThreadNameFor("abcdefghijklm\xC3\xA9"), "abcdefghijklm\xC3\xA9");
}

TEST(Thread, RunsNamedReportsRunningAndJoins) {
  Event release(Event::Mode::kManualReset);
  Event started(Event::Mode::kManualReset);
  std::string seenName;
  Thread thread;
  EXPECT_FALSE(thread.Running());
  EXPECT_FALSE(thread.Joinable());
  thread.Join();  // nothing to join: no effect

  ASSERT_EQ(thread.Start("collector-thread-1", [&] {
    char name[32] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    seenName = name;
    started.Set();
    release.Wait();
  }), S_OK);
  ASSERT_EQ(started.Wait(kLong), WaitStatus::kSignaled);
  EXPECT_TRUE(thread.Running());
  EXPECT_TRUE(thread.Joinable());
  EXPECT_EQ(thread.Start("again", [] {}), E_UNEXPECTED);

  release.Set();
  thread.Join();
  EXPECT_FALSE(thread.Running());
  EXPECT_FALSE(thread.Joinable());
  EXPECT_EQ(seenName, "collector-threa");
  EXPECT_EQ(thread.name(), "collector-threa");

  std::atomic<bool> secondRan{false};
  ASSERT_EQ(thread.Start("second", [&] { secondRan = true; }), S_OK);
  thread.Join();
  EXPECT_TRUE(secondRan);
}

TEST(Thread, DestructorWaitsForTheBody) {
  std::atomic<bool> finished{false};
  {
    Thread thread;
    ASSERT_EQ(thread.Start("slow", [&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(kShort));
      finished = true;
    }), S_OK);
  }
  EXPECT_TRUE(finished);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Size of the process's address space, from /proc/self/statm (in pages).
long AddressSpaceBytes() {
  long pages = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return 0;
  if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
  std::fclose(f);
  return pages * sysconf(_SC_PAGESIZE);
}

// Leaves about 1 MiB of address space, too little for a thread stack, then
// exits 0 when Start reports E_HANDLE.
[[noreturn]] void StartWithoutAddressSpace() {
  const rlim_t limit = static_cast<rlim_t>(AddressSpaceBytes()) + (1 << 20);
  const rlimit rl{limit, limit};
  if (setrlimit(RLIMIT_AS, &rl) != 0) std::_Exit(2);
  Thread thread;
  const HRESULT hr = thread.Start("doomed", [] {});
  std::_Exit(hr == E_HANDLE ? 0 : 1);
}

// Start reports E_HANDLE instead of throwing; runs in a child process.
TEST(ThreadDeathTest, StartFailureIsReportedAsHandleError) {
  if (kSanitized) GTEST_SKIP() << "sanitizers reserve address space of their own";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(StartWithoutAddressSpace(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tavrix
