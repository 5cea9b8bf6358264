// ValueEx: delayed writes, and Terminate ending them.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "item/delayed_write.h"
#include "item_fixture.h"

namespace tavrix::item_test {
namespace {

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

class DelayedWriteTest : public ItemTest {};

TEST_F(DelayedWriteTest, NoDelayWritesAtOnce) {
  Ref<CTavrixItem> item = Make(VarItem("D", "cell"));
  EXPECT_EQ(item->put_ValueEx(0, Variant::I4(1)), S_OK);
  EXPECT_TRUE(Get("cell").Identical(Variant::I4(1)));
  EXPECT_EQ(item->put_ValueEx(-5, Variant::I4(2)), S_OK);
  EXPECT_TRUE(Get("cell").Identical(Variant::I4(2)));
}

TEST_F(DelayedWriteTest, ADelayedWriteReturnsAtOnceAndArrivesLater) {
  Ref<CTavrixItem> item = Make(VarItem("D", "cell"));
  Variant held = Variant::I4(7);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(item->put_ValueEx(100, Variant::ByRef(&held)), S_OK);
  held = Variant::I4(-1);  // the value was taken when the write was queued
  EXPECT_TRUE(Get("cell").IsEmpty());
  ASSERT_TRUE(WaitFor([&] { return !Get("cell").IsEmpty(); }));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_TRUE(Get("cell").Identical(Variant::I4(7)));
}

TEST_F(DelayedWriteTest, WritesWithDifferentDelaysCompleteByTheirDelays) {
  Ref<CTavrixItem> item = Make(VarItem("D", "cell"));
  ASSERT_EQ(item->put_ValueEx(300, Variant::I4(1)), S_OK);
  ASSERT_EQ(item->put_ValueEx(10, Variant::I4(2)), S_OK);
  ASSERT_TRUE(WaitFor([&] { return Get("cell").Identical(Variant::I4(2)); }));
  ASSERT_TRUE(WaitFor([&] { return Get("cell").Identical(Variant::I4(1)); }));
}

TEST_F(DelayedWriteTest, TerminateEndsPendingWritesWithoutWriting) {
  Ref<CTavrixItem> item = Make(VarItem("D", "cell"));
  ASSERT_EQ(item->put_ValueEx(60000, Variant::I4(1)), S_OK);
  ASSERT_EQ(item->put_ValueEx(60000, Variant::I4(2)), S_OK);
  const auto start = std::chrono::steady_clock::now();
  item->Terminate();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(Get("cell").IsEmpty());
  EXPECT_EQ(item->put_ValueEx(10, Variant::I4(3)), E_FAIL);
}

TEST(DelayedWritesTest, CancelDropsQueuedValuesAndWaitsForARunningWrite) {
  std::atomic<int> writes{0};
  std::atomic<bool> inside{false};
  std::atomic<bool> release{false};
  DelayedWrites delayed("X", [&](const Variant&) -> HRESULT {
    inside = true;
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ++writes;
    return E_FAIL;  // a failing write is logged, nothing more
  });
  ASSERT_EQ(delayed.Schedule(1, Variant::I4(1)), S_OK);
  ASSERT_TRUE(WaitFor([&] { return inside.load(); }));
  ASSERT_EQ(delayed.Schedule(60000, Variant::I4(2)), S_OK);
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    release = true;
  });
  delayed.Cancel();  // returns only once the running write has ended
  EXPECT_EQ(writes.load(), 1);
  releaser.join();
  EXPECT_EQ(delayed.Queued(), 0u);
  EXPECT_EQ(delayed.Schedule(1, Variant::I4(3)), E_ABORT);
}

}  // namespace
}  // namespace tavrix::item_test
