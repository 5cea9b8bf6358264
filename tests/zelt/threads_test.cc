// Many threads on one simulated controller at once: racing declarations,
// reads and writes through two engines, messages fired while sinks come and
// go. Run under the thread sanitizer too.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "zelt/message.h"
#include "zelt_fixture.h"

namespace tavrix::zelt_test {
namespace {

class CountingSink final : public DispatchObject<CountingSink, IZeltControllerEventSink> {
 public:
  HRESULT OnMessage(IUnknown* message) override {
    Ref<IZeltMessage> m = QueryAs<IZeltMessage>(message, IID_IZeltMessage);
    ZeltMessageFields fields;
    if (m && ReadZeltMessage(*m, &fields) == S_OK) ++count;
    return S_OK;
  }
  std::atomic<int> count{0};
};

using ThreadsTest = ZeltTest;

TEST_F(ThreadsTest, ManyThreadsReadAndWriteOneControllerConsistently) {
  constexpr int kThreads = 8;
  constexpr int kReads = 1500;
  Ref<IZeltController> mine = Open("Shared", "seed=11");
  Ref<IZeltController> twin;
  ASSERT_EQ(
      DefaultWorkspace(CreateZeltEngine())->AddController("shared", "ZeltProv.Sim", "", "", &twin),
      S_OK);
  Ref<IConnectionPoint> events;
  ASSERT_EQ(mine->get_EventSource(&events), S_OK);
  auto sink = MakeRef<CountingSink>();

  std::vector<std::vector<int32_t>> counts(kThreads);
  std::atomic<int> added{0}, failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      IZeltController* c = t % 2 ? twin.get() : mine.get();
      Ref<IZeltVariables> vars = Variables(c);
      // Every thread declares the same names: one Add wins per controller.
      Ref<IZeltVariable> counter, random, own, block;
      const HRESULT hr = vars->Add("counter", "", &counter);
      if (hr == S_OK) ++added;
      if (hr == TVX_E_ZELT_ALREADY_EXISTS && vars->Item(Variant("COUNTER"), &counter) != S_OK) {
        ++failures;
      }
      if (!counter) return;
      Ref<IZeltClassObject> task;
      if (c->AddTask("T" + std::to_string(t), "", &task) != S_OK ||
          Variables(task.get())->Add("cell", "", &own) != S_OK ||
          (vars->Add("random:0:1", "", &random) != S_OK &&
           vars->Item(Variant("random:0:1"), &random) != S_OK)) {
        ++failures;
        return;
      }
      uint32_t cookie = 0;
      for (int i = 0; i < kReads; ++i) {
        Variant v;
        if (counter->get_Value(&v) != S_OK) ++failures;
        counts[t].push_back(v.i4());
        if (own->put_Value(Variant::I4(i)) != S_OK || random->get_Value(&v) != S_OK) ++failures;
        if (own->get_Value(&v) != S_OK || v.i4() != i) ++failures;
        if (i % 100 == 0) {
          if (t == 0)
            (void)events->Advise(static_cast<IZeltControllerEventSink*>(sink.get()), &cookie);
          if (t == 0 && cookie) (void)events->Unadvise(cookie);
          Variant r;
          if (mine->Execute(Variant("MESSAGE,1,tick"), Variant(), &r) != S_OK) ++failures;
          double date = 0;
          (void)counter->get_DateTime(&date);
        }
      }
    });
  }
  for (std::thread& th : threads) th.join();

  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(added.load(), 2);  // one per controller
  // Both controllers draw from the one device counter: every value exactly once.
  std::vector<int32_t> all;
  for (const auto& c : counts) {
    EXPECT_TRUE(std::is_sorted(c.begin(), c.end()));  // each thread sees it rise
    all.insert(all.end(), c.begin(), c.end());
  }
  std::sort(all.begin(), all.end());
  ASSERT_EQ(all.size(), size_t{kThreads * kReads});
  for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(all[i], static_cast<int32_t>(i));
}

}  // namespace
}  // namespace tavrix::zelt_test
