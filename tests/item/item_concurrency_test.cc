// Items used from several threads at once, as a controller and its clients
// use them: a sampling thread reads while clients read and write, and
// sub-items of one block are written at the same time. Run these under the
// thread sanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "item/reentry_guard.h"
#include "item_fixture.h"

namespace tavrix::item_test {
namespace {

class ItemConcurrencyTest : public ItemTest, public ::testing::WithParamInterface<bool> {
 protected:
  ItemConcurrencyTest() { owner.versioned = GetParam(); }
};

TEST_P(ItemConcurrencyTest, SamplingWhileClientsReadAndWrite) {
  Ref<CTavrixItem> counter = Make(VarItem("Counter", "counter"));
  ItemRecord direct = VarItem("Direct", "ramp:0:100:1");
  direct.m_bDirectReading = true;
  Ref<CTavrixItem> ramp = Make(direct);
  Ref<CTavrixItem> cell = Make(VarItem("Cell", "cell"));
  std::atomic<bool> stop{false};
  std::atomic<int> cycles{0};

  std::thread sampling([&] {
    while (!stop) {
      for (CTavrixItem* item : {counter.get(), ramp.get(), cell.get()}) {
        (void)item->ReadValue(0, nullptr);
      }
      ++cycles;
    }
  });
  std::thread reader([&] {
    while (!stop) {
      for (CTavrixItem* item : {counter.get(), ramp.get(), cell.get()}) {
        Variant v;
        (void)item->get_Value(&v);
        (void)item->prevValue();
        (void)item->dateTime();
      }
    }
  });
  std::thread writer([&] {
    for (int32_t i = 1; i <= 300; ++i) {
      EXPECT_EQ(cell->put_Value(Variant::I4(i)), S_OK);
      if (i % 50 == 0) {
        EXPECT_EQ(cell->put_ValueEx(1, Variant::I4(i)), S_OK);
      }
    }
  });
  writer.join();
  while (cycles.load() < 20) std::this_thread::yield();
  stop = true;
  sampling.join();
  reader.join();
  cell->Terminate();  // joins the delayed writes, which may land in any order
  ASSERT_EQ(cell->put_Value(Variant::I4(301)), S_OK);
  ASSERT_EQ(cell->ReadValue(0, nullptr), S_OK);
  EXPECT_TRUE(cell->value().Identical(Variant::I4(301)));
  EXPECT_EQ(counter->state(), tvItemSucceeded);
  EXPECT_EQ(ramp->state(), tvItemSucceeded);
}

TEST_P(ItemConcurrencyTest, TwoSubItemsOfOneBlockWrittenAtOnceLoseNoUpdate) {
  // Each write refreshes the block from a device that takes a while to
  // answer: without serialising the writes, both would start from one block.
  BasicItemOwner& slow = OtherOwner("read_latency_ms=1");
  slow.versioned = GetParam();
  ItemRecord h = VarItem("H", "bytes:4");
  h.m_lSubItemBlockSize = 4;
  h.m_lSubItemBlockUpdate = 1;
  Ref<CTavrixItem> holder = Make(h, slow, true);
  Ref<CTavrixItem> first = Make(SubItem("First", "H", VT_UI2, 0, 1), slow, true);
  Ref<CTavrixItem> second = Make(SubItem("Second", "H", VT_UI2, 2, 1), slow, true);
  Link();
  ASSERT_EQ(holder->ReadValue(0, nullptr), S_OK);  // the block starts valid
  constexpr uint16_t kWrites = 100;
  std::atomic<bool> stop{false};
  std::thread sampling([&] {
    while (!stop) (void)holder->ReadValue(0, nullptr);
  });
  auto writeAll = [](CTavrixItem* sub) {
    for (uint16_t i = 1; i <= kWrites; ++i) EXPECT_EQ(sub->put_Value(Variant::UI2(i)), S_OK);
  };
  std::thread a(writeAll, first.get());
  std::thread b(writeAll, second.get());
  a.join();
  b.join();
  stop = true;
  sampling.join();
  EXPECT_EQ(BytesOf(Get("bytes:4", &slow)),
            (std::vector<uint8_t>{kWrites & 0xFF, kWrites >> 8, kWrites & 0xFF, kWrites >> 8}));
  ASSERT_EQ(holder->ReadValue(kReadForced, nullptr), S_OK);
  EXPECT_TRUE(first->value().Identical(Variant::UI2(kWrites)));
  EXPECT_TRUE(second->value().Identical(Variant::UI2(kWrites)));
}

// A read of the item running on another thread is no re-entry: the write's
// refresh read must not be dropped because the sampling thread is notifying.
TEST(ReentryCounterTest, OnlyTheCallingThreadsOwnEntriesCountAsReentry) {
  ReentryCounter counter;
  ReentryScope outer(counter);
  EXPECT_FALSE(outer.reentered());
  std::thread other([&] {
    EXPECT_TRUE(counter.Busy());
    EXPECT_FALSE(counter.BusyOnThisThread());
    ReentryScope beside(counter);
    EXPECT_FALSE(beside.reentered());
  });
  other.join();
  ReentryScope inner(counter);
  EXPECT_TRUE(inner.reentered());
  EXPECT_TRUE(counter.BusyOnThisThread());
}

INSTANTIATE_TEST_SUITE_P(Projects, ItemConcurrencyTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Versioned" : "Plain"; });

}  // namespace
}  // namespace tavrix::item_test
