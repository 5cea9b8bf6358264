#include "controller/critical_section_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/log.h"

namespace tavrix {
namespace {

TEST(CriticalSectionManagerTest, EntriesLiveWhileRegisteredOrLocked) {
  CapturingLogSink log(0);
  CriticalSectionManager registry("string");
  const auto key = CriticalSectionManager::NameKey("plc1");
  EXPECT_EQ(key, "PLC1");

  EXPECT_FALSE(registry.Lock(key));  // not registered: no lock, go on without
  registry.Register(key, "PLC1");
  registry.Register(key, "PLC1");  // a second controller of the same name
  {
    CriticalSectionManager::Holder held = registry.Lock(key);
    ASSERT_TRUE(held);
    EXPECT_EQ(registry.Count(key), 3);
  }
  EXPECT_EQ(registry.Count(key), 2);
  registry.Unregister(key);
  EXPECT_EQ(registry.Count(key), 1);
  EXPECT_TRUE(log.Texts().empty());

  // A holder outliving the last registration releases the entry when it unlocks.
  CriticalSectionManager::Holder held = registry.Lock(key);
  registry.Unregister(key);
  EXPECT_EQ(registry.Count(key), 1);
  held.Unlock();
  EXPECT_EQ(registry.Count(key), 0);
  EXPECT_EQ(log.Texts(),
            (std::vector<std::string>{
                "CriticalSectionManager : CriticalSection is final release by Unlock CriticalSection\n",
                "CriticalSectionManager(string) :[PLC1] CriticalSection is Released.\n"}));
  log.Clear();
  registry.Register(key, "PLC1");
  registry.Unregister(key);
  EXPECT_EQ(log.Texts(),
            (std::vector<std::string>{
                "CriticalSectionManager : CriticalSection is final release by Unregister\n",
                "CriticalSectionManager(string) :[PLC1] CriticalSection is Released.\n"}));
  registry.Unregister(key);  // nothing left: no effect
  EXPECT_EQ(registry.Count(key), 0);
}

TEST(CriticalSectionManagerTest, SerialisesHoldersOfOneKey) {
  CriticalSectionManager registry("Controller");
  const auto key = CriticalSectionManager::ControllerKey(nullptr);
  registry.Register(key, "PLC1");
  std::atomic<int> inside{0};
  std::atomic<int> overlaps{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        CriticalSectionManager::Holder held = registry.Lock(key);
        if (inside.fetch_add(1) != 0) ++overlaps;
        inside.fetch_sub(1);
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(registry.Count(key), 1);
  registry.Unregister(key);
}

}  // namespace
}  // namespace tavrix
