#include "platform/connection_point.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tavrix {
namespace {

constexpr IID kIidEvents{0x7B1E0001, 0x3333, 0x4444, {8, 7, 6, 5, 4, 3, 2, 1}};
constexpr IID kIidNotDispatch{0x7B1E0002, 0x3333, 0x4444, {8, 7, 6, 5, 4, 3, 2, 1}};

// A sink that records its calls; `onCall` runs inside Invoke.
class Sink final : public Object<IDispatch> {
 public:
  explicit Sink(HRESULT answer = S_OK) : answer_(answer) {}

  HRESULT GetIDsOfNames(std::string_view, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, uint16_t flags, std::span<Variant> args, Variant* result, ExcepInfo*,
                 LCID lcid) override {
    ++calls;
    {
      std::lock_guard lock(mutex_);
      lastId = id;
      lastFlags = flags;
      lastLcid = lcid;
      lastArgs.assign(args.begin(), args.end());
      resultWasNull = result == nullptr;
    }
    if (onCall) onCall();
    return answer_;
  }

  std::atomic<int> calls{0};
  std::function<void()> onCall;
  DISPID lastId = 0;
  uint16_t lastFlags = 0;
  LCID lastLcid = 0;
  std::vector<Variant> lastArgs;
  bool resultWasNull = false;

 private:
  std::mutex mutex_;  // guards the last* fields
  const HRESULT answer_;
};

// Answers only for the event interface id, not for IID_IDispatch.
class EventOnlySink final : public Object<IDispatch> {
 public:
  HRESULT QueryInterface(const IID& iid, void** out) override {
    if (out != nullptr && iid == IID_IDispatch) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    if (iid == kIidEvents) askedForEvents = true;
    return Object::QueryInterface(iid == kIidEvents ? IID_IDispatch : iid, out);
  }
  HRESULT GetIDsOfNames(std::string_view, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, uint16_t, std::span<Variant>, Variant*, ExcepInfo*, LCID) override {
    ++calls;
    return S_OK;
  }
  bool askedForEvents = false;
  int calls = 0;
};

class NotDispatch final : public Object<AlsoAs<IUnknown, kIidNotDispatch>, IUnknown> {};

class ConnectionPointTest : public ::testing::Test {
 protected:
  uint32_t Connect(const Ref<Sink>& sink) {
    uint32_t cookie = 0;
    EXPECT_EQ(point->Advise(static_cast<IDispatch*>(sink.get()), &cookie), S_OK);
    return cookie;
  }
  HRESULT Fire(std::vector<size_t>* positions = nullptr) {
    std::vector<Variant> args = {Variant::I4(7), Variant("x")};
    return point->Fire(42, args, [positions](size_t p) {
      if (positions) positions->push_back(p);
    });
  }

  Ref<ConnectionPoint> point = MakeRef<ConnectionPoint>(kIidEvents);
};

TEST_F(ConnectionPointTest, CookiesCountUpAndAreNeverReused) {
  IID iid;
  ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_EQ(iid, kIidEvents);

  Ref<Sink> sink = MakeRef<Sink>();
  EXPECT_EQ(Connect(sink), 1u);
  EXPECT_EQ(Connect(sink), 2u);
  EXPECT_EQ(Connect(sink), 3u);
  EXPECT_EQ(point->SinkCount(), 3u);
  EXPECT_EQ(point->Unadvise(2), S_OK);
  EXPECT_EQ(point->Unadvise(2), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Unadvise(0), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Unadvise(9), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(Connect(sink), 4u);
  EXPECT_EQ(point->SinkCount(), 3u);

  // The point holds one reference per connection and drops it on Unadvise.
  EXPECT_EQ(sink->AddRef(), 5u);
  sink->Release();
  ASSERT_EQ(point->Unadvise(1), S_OK);
  EXPECT_EQ(sink->AddRef(), 4u);
  sink->Release();
}

TEST_F(ConnectionPointTest, SinksMustAnswerForTheEventsOrIDispatch) {
  uint32_t cookie = 5;
  Ref<NotDispatch> plain = MakeRef<NotDispatch>();
  EXPECT_EQ(point->Advise(static_cast<IUnknown*>(plain.get()), &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
  EXPECT_EQ(point->Advise(static_cast<IUnknown*>(plain.get()), nullptr), E_POINTER);
  EXPECT_EQ(point->SinkCount(), 0u);

  Ref<EventOnlySink> eventOnly = MakeRef<EventOnlySink>();
  ASSERT_EQ(point->Advise(static_cast<IDispatch*>(eventOnly.get()), &cookie), S_OK);
  EXPECT_TRUE(eventOnly->askedForEvents);
  EXPECT_EQ(Fire(), S_OK);
  EXPECT_EQ(eventOnly->calls, 1);
}

TEST_F(ConnectionPointTest, FireCallsEverySinkAsAMethodInOrder) {
  EXPECT_EQ(Fire(), S_OK);  // no sinks

  Ref<Sink> a = MakeRef<Sink>(E_FAIL);
  Ref<Sink> b = MakeRef<Sink>(S_FALSE);
  Connect(a);
  Connect(b);
  std::vector<size_t> positions;
  EXPECT_EQ(Fire(&positions), S_FALSE);  // the last sink's result; the failing one did not stop it
  EXPECT_EQ(positions, (std::vector<size_t>{0, 1}));
  for (Sink* s : {a.get(), b.get()}) {
    EXPECT_EQ(s->calls, 1);
    EXPECT_EQ(s->lastId, 42);
    EXPECT_EQ(s->lastFlags, DISPATCH_METHOD);
    EXPECT_EQ(s->lastLcid, 1024u);
    ASSERT_EQ(s->lastArgs.size(), 2u);
    EXPECT_TRUE(s->lastArgs[0].Identical(Variant::I4(7)));
    EXPECT_TRUE(s->lastArgs[1].Identical(Variant("x")));
  }

  ASSERT_EQ(point->Unadvise(2), S_OK);
  Ref<Sink> c = MakeRef<Sink>();
  Connect(c);  // a, c: the failing sink is first
  EXPECT_EQ(Fire(), S_OK);
  ASSERT_EQ(point->Unadvise(3), S_OK);
  EXPECT_EQ(Fire(), E_FAIL);
}

TEST_F(ConnectionPointTest, SinksMayDisconnectFromInsideTheCall) {
  Ref<Sink> a = MakeRef<Sink>();
  Ref<Sink> b = MakeRef<Sink>();
  Ref<Sink> c = MakeRef<Sink>();
  const uint32_t ca = Connect(a);
  Connect(b);
  Connect(c);

  // a disconnects itself: the count changed, so firing ends after a.
  a->onCall = [&] { EXPECT_EQ(point->Unadvise(ca), S_OK); };
  std::vector<size_t> positions;
  EXPECT_EQ(Fire(&positions), S_OK);
  EXPECT_EQ(positions, (std::vector<size_t>{0}));
  EXPECT_EQ(b->calls, 0);
  a->onCall = nullptr;

  // b connects another sink while being called; the step before it still ran.
  Ref<Sink> d = MakeRef<Sink>();
  b->onCall = [&] { Connect(d); };
  positions.clear();
  EXPECT_EQ(Fire(&positions), S_OK);
  EXPECT_EQ(positions, (std::vector<size_t>{0}));
  EXPECT_EQ(b->calls, 1);
  EXPECT_EQ(c->calls, 0);
  b->onCall = nullptr;

  // The point's reference may be the last one: the sink dies after its call.
  std::atomic<int> dropped{0};
  {
    Ref<Sink> e = MakeRef<Sink>();
    e->onCall = [&] {
      ++dropped;
      // Unadvise everything, the calling sink too.
      for (uint32_t cookie = 1; cookie < 10; ++cookie) (void)point->Unadvise(cookie);
    };
    Connect(e);
  }
  positions.clear();
  EXPECT_EQ(Fire(&positions), S_OK);
  EXPECT_EQ(positions, (std::vector<size_t>{0, 1, 2, 3}));
  EXPECT_EQ(dropped, 1);
  EXPECT_EQ(point->SinkCount(), 0u);
}

TEST_F(ConnectionPointTest, FiringWhileOtherThreadsConnectAndDisconnect) {
  Ref<Sink> steady = MakeRef<Sink>();
  Connect(steady);
  std::atomic<bool> stop{false};
  std::atomic<int> fired{0};

  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&] {
      while (!stop) {
        EXPECT_TRUE(SUCCEEDED(Fire()));
        ++fired;
      }
    });
  }
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        Ref<Sink> s = MakeRef<Sink>();
        // A sink that disconnects another one from inside the call.
        s->onCall = [this, i] { (void)point->Unadvise(static_cast<uint32_t>(i % 50 + 2)); };
        uint32_t cookie = 0;
        ASSERT_EQ(point->Advise(static_cast<IDispatch*>(s.get()), &cookie), S_OK);
        // Another sink may have disconnected it already.
        if (i % 3 != 0) (void)point->Unadvise(cookie);
      }
    });
  }
  for (size_t t = 2; t < threads.size(); ++t) threads[t].join();
  stop = true;
  threads[0].join();
  threads[1].join();
  EXPECT_GT(fired, 0);
  EXPECT_GT(steady->calls, 0);
}

}  // namespace
}  // namespace tavrix
