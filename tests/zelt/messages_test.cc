// Controller messages: delivery to connected sinks on the calling thread, no
// delivery after Unadvise, sinks that call back into the controller, and the
// reading of message fields in order with failed fields left empty.
#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/date.h"
#include "zelt/message.h"
#include "zelt_fixture.h"

namespace tavrix::zelt_test {
namespace {

// A sink as a client writes one: reads each message's fields and keeps them.
class RecordingSink final : public DispatchObject<RecordingSink, IZeltControllerEventSink> {
 public:
  HRESULT OnMessage(IUnknown* message) override {
    Ref<IZeltMessage> m = QueryAs<IZeltMessage>(message, IID_IZeltMessage);
    if (!m) return E_NOINTERFACE;
    ZeltMessageFields fields;
    const HRESULT hr = ReadZeltMessage(*m, &fields);
    received.push_back(fields);
    threads.push_back(std::this_thread::get_id());
    if (inside) inside();
    return hr;
  }

  std::vector<ZeltMessageFields> received;
  std::vector<std::thread::id> threads;
  std::function<void()> inside;  // runs inside OnMessage
};

class MessagesTest : public ZeltTest {
 protected:
  uint32_t Connect(IZeltController* c, RecordingSink* sink) {
    Ref<IConnectionPoint> point;
    EXPECT_EQ(c->get_EventSource(&point), S_OK);
    uint32_t cookie = 0;
    EXPECT_EQ(point->Advise(static_cast<IZeltControllerEventSink*>(sink), &cookie), S_OK);
    return cookie;
  }
  static HRESULT Disconnect(IZeltController* c, uint32_t cookie) {
    Ref<IConnectionPoint> point;
    EXPECT_EQ(c->get_EventSource(&point), S_OK);
    return point->Unadvise(cookie);
  }
};

TEST_F(MessagesTest, ConnectedSinksGetEachMessageOnTheCallingThreadUntilDisconnected) {
  FakeClock clock(0, 1'700'000'000'250'000);
  ScopedClockOverride useClock(clock);
  Ref<IZeltController> c = Open("Msg", "clock_offset_s=-60");
  auto first = MakeRef<RecordingSink>(), second = MakeRef<RecordingSink>();
  const uint32_t cookie = Connect(c.get(), first.get());
  Connect(c.get(), second.get());

  ASSERT_EQ(Execute(c.get(), " message,42,Motor hot, stop "), S_OK);
  ASSERT_EQ(first->received.size(), 1u);
  ASSERT_EQ(second->received.size(), 1u);
  EXPECT_EQ(first->threads[0], std::this_thread::get_id());
  const ZeltMessageFields& m = first->received[0];
  EXPECT_EQ(m.dateTime.vt(), VT_DATE);
  EXPECT_DOUBLE_EQ(m.dateTime.date(), DateFromUnixMicros(1'700'000'000'250'000 - 60'000'000));
  EXPECT_EQ(m.description, "Motor hot, stop");
  EXPECT_EQ(m.destination, "");
  EXPECT_EQ(m.number, 42);
  EXPECT_EQ(m.serialNumber, 1);
  EXPECT_EQ(m.source, "Msg");
  ASSERT_TRUE(m.value.IsText());
  EXPECT_EQ(m.value.text(), "Motor hot, stop");

  // A class object's command raises on the same controller; serials go on.
  Ref<IZeltClassObject> task;
  ASSERT_EQ(c->AddTask("T", "", &task), S_OK);
  Variant result;
  ASSERT_EQ(task->Execute(Variant("MESSAGE,-7,"), Variant(), &result), S_OK);
  ASSERT_EQ(first->received.size(), 2u);
  EXPECT_EQ(first->received[1].number, -7);
  EXPECT_EQ(first->received[1].serialNumber, 2);
  EXPECT_EQ(first->received[1].description, "");

  ASSERT_EQ(Disconnect(c.get(), cookie), S_OK);
  ASSERT_EQ(Execute(c.get(), "MESSAGE,1,after"), S_OK);
  EXPECT_EQ(first->received.size(), 2u);
  EXPECT_EQ(second->received.size(), 3u);
  EXPECT_EQ(Disconnect(c.get(), cookie), CONNECT_E_NOCONNECTION);
}

TEST_F(MessagesTest, ASinkMayCallTheControllerFromInsideOnMessage) {
  Ref<IZeltController> c = Open("Reentrant");
  Ref<IZeltVariable> counter = AddVar(c.get(), "counter");
  auto sink = MakeRef<RecordingSink>();
  const uint32_t cookie = Connect(c.get(), sink.get());
  std::vector<int32_t> seen;
  sink->inside = [&] {
    seen.push_back(Read(counter.get()).i4());
    Ref<IZeltVariable> added;
    EXPECT_EQ(Variables(c.get())->Add("made in sink", "", &added), S_OK);
    EXPECT_EQ(Execute(c.get(), "OFFLINE"), S_OK);
    EXPECT_EQ(Execute(c.get(), "ONLINE"), S_OK);
    EXPECT_EQ(Disconnect(c.get(), cookie), S_OK);
  };
  ASSERT_EQ(Execute(c.get(), "MESSAGE,1,x"), S_OK);
  EXPECT_EQ(seen, std::vector<int32_t>{0});
  ASSERT_EQ(Execute(c.get(), "MESSAGE,2,y"), S_OK);  // the sink took itself off
  EXPECT_EQ(sink->received.size(), 1u);
}

TEST_F(MessagesTest, MalformedCommandsAreRefusedAndRaiseNothing) {
  Ref<IZeltController> c = Open("Cmd");
  auto sink = MakeRef<RecordingSink>();
  Connect(c.get(), sink.get());
  struct Case {
    Variant command;
    HRESULT expected;
  };
  const Case cases[] = {
      {Variant("MESSAGE,"), E_INVALIDARG},
      {Variant("MESSAGE,x,text"), E_INVALIDARG},
      {Variant("MESSAGE,12"), E_INVALIDARG},
      {Variant("MESSAGE,99999999999,t"), E_INVALIDARG},
      {Variant("MESSAGE 1,t"), E_INVALIDARG},
      {Variant("REBOOT"), E_INVALIDARG},
      {Variant::I4(3), E_INVALIDARG},
      {Variant::Error(5), DISP_E_TYPEMISMATCH},
      {Variant(), S_OK},
      {Variant::Null(), S_OK},
      {Variant("  "), S_OK},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(DebugString(k.command));
    Variant result = Variant::I4(-1);
    EXPECT_EQ(c->Execute(k.command, Variant(), &result), k.expected);
    if (k.expected == S_OK) {
      EXPECT_TRUE(result.IsEmpty());
    }
  }
  EXPECT_TRUE(sink->received.empty());
  EXPECT_EQ(Execute(c.get(), "REBOOT"), E_INVALIDARG);
  EXPECT_NE(ZeltLastError().find("unknown command"), std::string::npos) << ZeltLastError();
}

// A message whose reads can fail one by one; a failing read scribbles on its
// out first, as a careless implementation might.
class FlakyMessage final : public DispatchObject<FlakyMessage, IZeltMessage> {
 public:
  static const DispatchTable<FlakyMessage>& DispatchMembers() {
    static const DispatchTable<FlakyMessage> table("Test.FlakyMessage", {});
    return table;
  }
  explicit FlakyMessage(unsigned failing) : failing_(failing) {}

  HRESULT get_DateTime(Variant* out) override { return Give(0, out, Variant::Date(45000.5)); }
  HRESULT get_Description(std::string* out) override { return Give(1, out, std::string("d")); }
  HRESULT get_Destination(std::string* out) override { return Give(2, out, std::string("to")); }
  HRESULT get_Number(int32_t* out) override { return Give(3, out, int32_t{11}); }
  HRESULT get_SerialNumber(int32_t* out) override { return Give(4, out, int32_t{12}); }
  HRESULT get_Source(std::string* out) override { return Give(5, out, std::string("src")); }
  HRESULT get_Value(Variant* out) override { return Give(6, out, Variant::I4(13)); }

  std::vector<int> order;

 private:
  template <class T>
  HRESULT Give(int field, T* out, T value) {
    order.push_back(field);
    if (failing_ & (1u << field)) {
      if constexpr (std::is_same_v<T, Variant>) {
        *out = Variant("junk");
      } else if constexpr (std::is_same_v<T, std::string>) {
        *out = "junk";
      } else {
        *out = 999;
      }
      return field % 2 ? E_FAIL : DISP_E_EXCEPTION;
    }
    *out = value;
    return S_OK;
  }
  const unsigned failing_;
};

TEST(ReadZeltMessageTest, ReadsInOrderAndLeavesEachFailedFieldEmpty) {
  struct Case {
    unsigned failing;  // bit per field, DateTime first
    HRESULT expected;
  };
  const Case cases[] = {{0, S_OK},
                        {1u << 0, DISP_E_EXCEPTION},
                        {1u << 1, E_FAIL},
                        {1u << 2, DISP_E_EXCEPTION},
                        {1u << 3, E_FAIL},
                        {1u << 4, DISP_E_EXCEPTION},
                        {1u << 5, E_FAIL},
                        {1u << 6, DISP_E_EXCEPTION},
                        {0x7F, DISP_E_EXCEPTION},
                        {0x0A, E_FAIL}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.failing);
    auto message = MakeRef<FlakyMessage>(k.failing);
    ZeltMessageFields f;
    f.description = "stale";  // a reused record: failed fields must not keep old values
    f.number = 5;
    EXPECT_EQ(ReadZeltMessage(*message, &f), k.expected);
    EXPECT_EQ(message->order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    auto failed = [&](int field) { return (k.failing & (1u << field)) != 0; };
    EXPECT_TRUE(failed(0) ? f.dateTime.IsEmpty() : f.dateTime.vt() == VT_DATE);
    EXPECT_EQ(f.description, failed(1) ? "" : "d");
    EXPECT_EQ(f.destination, failed(2) ? "" : "to");
    EXPECT_EQ(f.number, failed(3) ? 0 : 11);
    EXPECT_EQ(f.serialNumber, failed(4) ? 0 : 12);
    EXPECT_EQ(f.source, failed(5) ? "" : "src");
    EXPECT_TRUE(failed(6) ? f.value.IsEmpty() : f.value.i4() == 13);
  }
}

}  // namespace
}  // namespace tavrix::zelt_test
