#include "platform/small_lock.h"

#include <gtest/gtest.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace tavrix {
namespace {

using namespace std::chrono_literals;

// How long a test waits for threads that should finish before it calls them
// stuck; far beyond what any run needs, even under the thread sanitizer.
constexpr auto kStuck = 120s;

template <typename Pred>
bool WaitUntil(Pred done, std::chrono::steady_clock::duration limit = kStuck) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Whether the kernel has the thread asleep (state S in its stat line).
bool ThreadSleeps(pid_t tid) {
  std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string line;
  std::getline(in, line);
  const size_t close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'S';
}

// Runs `body(index)` on `count` threads and joins them when all finish in
// time. On a hang the threads are left behind (the state they use is on the
// heap, shared with them) and false is returned.
template <typename State, typename Body>
bool RunThreads(const std::shared_ptr<State>& state, int count, Body body) {
  auto finished = std::make_shared<std::atomic<int>>(0);
  std::vector<std::thread> threads;
  for (int t = 0; t < count; ++t) {
    threads.emplace_back([state, finished, body, t] {
      body(*state, t);
      finished->fetch_add(1);
    });
  }
  const bool done = WaitUntil([&] { return finished->load() == count; });
  for (std::thread& th : threads) done ? th.join() : th.detach();
  return done;
}

// Holds a lock on a thread of its own until released, so another thread's
// view of a held lock can be tested.
template <typename Mutex>
class HeldElsewhere {
 public:
  explicit HeldElsewhere(Mutex& m) {
    thread_ = std::thread([this, &m] {
      std::lock_guard lock(m);
      held_.store(true);
      while (!release_.load()) std::this_thread::sleep_for(1ms);
    });
    while (!held_.load()) std::this_thread::yield();
  }
  ~HeldElsewhere() {
    release_.store(true);
    thread_.join();
  }

 private:
  std::atomic<bool> held_{false};
  std::atomic<bool> release_{false};
  std::thread thread_;
};

template <typename Mutex>
bool TryFromOtherThread(Mutex& m) {
  bool got = false;
  std::thread([&] {
    got = m.try_lock();
    if (got) m.unlock();
  }).join();
  return got;
}

template <typename Mutex>
class SmallLockTest : public testing::Test {};
using LockTypes = testing::Types<SmallMutex, SmallRecursiveMutex>;
TYPED_TEST_SUITE(SmallLockTest, LockTypes);

// --- Mutual exclusion ---------------------------------------------------------

// A plain counter bumped by read, pause, write: any overlap of two critical
// sections loses an increment (and the thread sanitizer reports the race).
TYPED_TEST(SmallLockTest, KeepsANonAtomicCounterExactUnderContention) {
  struct State {
    TypeParam mutex;
    long counter = 0;
  };
  constexpr int kThreads = 4;
  constexpr int kRounds = 20000;
  auto state = std::make_shared<State>();
  ASSERT_TRUE(RunThreads(state, kThreads, [](State& s, int) {
    for (int i = 0; i < kRounds; ++i) {
      std::lock_guard lock(s.mutex);
      const long seen = s.counter;
      if (i % 16 == 0) std::this_thread::yield();
      s.counter = seen + 1;
    }
  }));
  EXPECT_EQ(state->counter, long{kThreads} * kRounds);
}

// --- try_lock -------------------------------------------------------------------

enum class Holder { kNobody, kThisThread, kOtherThread };

struct TryCase {
  const char* name;
  Holder holder;
  bool plainAnswer;      // SmallMutex::try_lock
  bool recursiveAnswer;  // SmallRecursiveMutex::try_lock
};

constexpr TryCase kTryCases[] = {
    {"free", Holder::kNobody, true, true},
    {"held by this thread", Holder::kThisThread, false, true},
    {"held by another thread", Holder::kOtherThread, false, false},
};

TYPED_TEST(SmallLockTest, TryLockAnswers) {
  constexpr bool kRecursive = std::is_same_v<TypeParam, SmallRecursiveMutex>;
  for (const TryCase& c : kTryCases) {
    SCOPED_TRACE(c.name);
    TypeParam m;
    bool answer = false;
    if (c.holder == Holder::kOtherThread) {
      HeldElsewhere<TypeParam> held(m);
      answer = m.try_lock();
      if (answer) m.unlock();
    } else {
      if (c.holder == Holder::kThisThread) m.lock();
      answer = m.try_lock();
      if (answer) m.unlock();
      if (c.holder == Holder::kThisThread) m.unlock();
    }
    EXPECT_EQ(answer, kRecursive ? c.recursiveAnswer : c.plainAnswer);
    // Whatever happened, the lock is free again for everyone.
    EXPECT_TRUE(TryFromOtherThread(m));
  }
}

// std::scoped_lock over two locks taken in opposite orders relies on
// try_lock answering truthfully; a wrong answer deadlocks or breaks the count.
TYPED_TEST(SmallLockTest, ScopedLockOfTwoInOppositeOrdersFinishes) {
  struct State {
    TypeParam a;
    TypeParam b;
    long counter = 0;
  };
  constexpr int kRounds = 5000;
  auto state = std::make_shared<State>();
  ASSERT_TRUE(RunThreads(state, 2, [](State& s, int t) {
    for (int i = 0; i < kRounds; ++i) {
      if (t == 0) {
        std::scoped_lock lock(s.a, s.b);
        ++s.counter;
      } else {
        std::scoped_lock lock(s.b, s.a);
        ++s.counter;
      }
    }
  }));
  EXPECT_EQ(state->counter, 2L * kRounds);
}

// --- Sleeping waiters -------------------------------------------------------------

// Several threads asleep in the kernel behind a held lock: one unlock must
// lead to every one of them getting through in turn (each woken holder has
// to wake the next, though it cannot tell whether anyone still sleeps).
TYPED_TEST(SmallLockTest, WakesEverySleepingWaiterInTurn) {
  constexpr int kWaiters = 3;
  struct State {
    TypeParam mutex;
    std::atomic<pid_t> tids[kWaiters]{};
    std::atomic<int> through{0};
  };
  auto state = std::make_shared<State>();
  state->mutex.lock();

  auto finished = std::make_shared<std::atomic<int>>(0);
  std::vector<std::thread> waiters;
  for (int t = 0; t < kWaiters; ++t) {
    waiters.emplace_back([state, finished, t] {
      state->tids[t].store(gettid());
      state->mutex.lock();
      state->through.fetch_add(1);
      state->mutex.unlock();
      finished->fetch_add(1);
    });
  }
  const bool asleep = WaitUntil([&] {
    for (auto& tid : state->tids) {
      if (tid.load() == 0 || !ThreadSleeps(tid.load())) return false;
    }
    return true;
  });
  EXPECT_TRUE(asleep) << "the waiters never went to sleep";
  EXPECT_EQ(state->through.load(), 0);
  state->mutex.unlock();

  const bool done = WaitUntil([&] { return finished->load() == kWaiters; });
  for (std::thread& th : waiters) done ? th.join() : th.detach();
  ASSERT_TRUE(done) << "a sleeping waiter was never woken (" << state->through.load() << " of "
                    << kWaiters << " got through)";
}

// Many short critical sections on more threads than cores, some of them long
// enough that the others stop spinning and sleep: every thread finishes.
TYPED_TEST(SmallLockTest, ManyShortSectionsOnSeveralThreadsAllFinish) {
  struct State {
    TypeParam mutex;
    long counter = 0;
  };
  constexpr int kThreads = 6;
  constexpr int kRounds = 10000;
  auto state = std::make_shared<State>();
  ASSERT_TRUE(RunThreads(state, kThreads, [](State& s, int t) {
    for (int i = 0; i < kRounds; ++i) {
      std::unique_lock lock(s.mutex);
      ++s.counter;
      if ((i + t) % 500 == 0) std::this_thread::sleep_for(100us);
    }
  })) << "threads stuck: a wake-up was lost";
  EXPECT_EQ(state->counter, long{kThreads} * kRounds);
}

// --- Recursion --------------------------------------------------------------------

// The holder takes the lock again by lock and by try_lock; other threads get
// it only after as many unlocks as takes, and then may re-enter it themselves.
TEST(SmallRecursiveMutex, ReentersAndReleasesByCount) {
  SmallRecursiveMutex m;
  m.lock();
  m.lock();
  ASSERT_TRUE(m.try_lock());
  for (int left = 3; left > 0; --left) {
    EXPECT_FALSE(TryFromOtherThread(m)) << left << " takes left";
    m.unlock();
  }
  bool reentered = false;
  std::thread([&] {
    m.lock();
    reentered = m.try_lock();
    if (reentered) m.unlock();
    m.unlock();
  }).join();
  EXPECT_TRUE(reentered);
  // The other thread's takes are all given back: this thread starts afresh.
  ASSERT_TRUE(m.try_lock());
  m.unlock();
  EXPECT_TRUE(TryFromOtherThread(m));
}

// A thread blocked in lock() behind a re-entered lock gets it at the last
// unlock, not before.
TEST(SmallRecursiveMutex, WaiterGetsTheLockAtTheLastUnlock) {
  struct State {
    SmallRecursiveMutex mutex;
    std::atomic<pid_t> tid{0};
    std::atomic<bool> got{false};
  };
  auto state = std::make_shared<State>();
  state->mutex.lock();
  state->mutex.lock();
  std::thread waiter([state] {
    state->tid.store(gettid());
    std::lock_guard lock(state->mutex);
    state->got.store(true);
  });
  EXPECT_TRUE(WaitUntil([&] { return state->tid.load() != 0 && ThreadSleeps(state->tid.load()); }));
  state->mutex.unlock();
  EXPECT_FALSE(WaitUntil([&] { return state->got.load(); }, 20ms)) << "released one take early";
  state->mutex.unlock();
  const bool done = WaitUntil([&] { return state->got.load(); });
  done ? waiter.join() : waiter.detach();
  EXPECT_TRUE(done) << "the waiter was never woken";
}

}  // namespace
}  // namespace tavrix
