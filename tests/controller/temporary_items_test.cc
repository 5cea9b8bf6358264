// Temporary items: the container's names, indexes and version switch, the
// item's typed and late-bound members, client references across Recreate,
// and values shared between threads.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/temp_variables.h"
#include "controller/temporary_items.h"
#include "controller_fixture.h"
#include "platform/log.h"
#include "platform/safearray.h"

namespace tavrix::controller_test {
namespace {

Variant I4Array(std::initializer_list<int32_t> values) {
  Ref<SafeArray> array = SafeArray::Create1D(VT_I4, static_cast<uint32_t>(values.size()));
  size_t i = 0;
  for (int32_t v : values) EXPECT_EQ(array->Put(i++, Variant::I4(v)), S_OK);
  return Variant::Array(std::move(array));
}

class TemporaryItemsTest : public ::testing::Test {
 protected:
  TemporaryItemsTest() { items_.Configure("Line1", true); }

  Ref<CTavrixTemporaryItem> Get(std::string_view name) {
    Ref<CTavrixTemporaryItem> item;
    EXPECT_EQ(items_.GetTemporaryItem(name, false, &item), S_OK) << name;
    return item;
  }

  CapturingLogSink log_;
  TemporaryItems items_;
};

TEST_F(TemporaryItemsTest, ListMakesStarNamedItemsWithNegativeIndexesFoundInAnyCase) {
  items_.Recreate(SplitTempVariableNames("a,,b"));
  ASSERT_EQ(items_.size(), 2u);
  Ref<CTavrixTemporaryItem> a = Get("A");  // a client's "*A", star removed
  Ref<CTavrixTemporaryItem> b = Get("b");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->name(), "*a");
  EXPECT_EQ(a->index(), -1);
  EXPECT_EQ(b->name(), "*b");
  EXPECT_EQ(b->index(), -2);
  EXPECT_EQ(a->controllerName(), "Line1");

  Ref<CTavrixTemporaryItem> byIndex;
  ASSERT_EQ(items_.ItemByIndex(-2, &byIndex), S_OK);
  EXPECT_EQ(byIndex, b);
  EXPECT_EQ(items_.ItemByIndex(-3, &byIndex), E_INVALIDARG);
  EXPECT_FALSE(byIndex);
  EXPECT_EQ(items_.ItemByIndex(0, &byIndex), E_INVALIDARG);

  // Absent: refused without create, made with it (the next index).
  Ref<CTavrixTemporaryItem> c;
  EXPECT_EQ(items_.GetTemporaryItem("c", false, &c), E_INVALIDARG);
  EXPECT_FALSE(items_.Exists("c"));
  ASSERT_EQ(items_.GetTemporaryItem("c", true, &c), S_OK);
  EXPECT_EQ(c->name(), "*c");
  EXPECT_EQ(c->index(), -3);
  EXPECT_TRUE(items_.Exists("*C"));
  EXPECT_EQ(Get("C"), c);
  Variant v;
  EXPECT_EQ(items_.GetValue("c", &v), S_OK);
  EXPECT_TRUE(v.IsEmpty());
}

TEST_F(TemporaryItemsTest, BelowVersion14NothingIsHandedOutOrMade) {
  items_.Configure("Line1", false);
  for (bool create : {false, true}) {
    Ref<CTavrixTemporaryItem> item;
    EXPECT_EQ(items_.GetTemporaryItem("a", create, &item), E_NOTIMPL) << create;
    EXPECT_FALSE(item);
  }
  EXPECT_EQ(items_.size(), 0u);
}

TEST_F(TemporaryItemsTest, ValuesGoByTheDeclaredNameOnly) {
  items_.Recreate({"a", "*s"});  // "*s" declared with its own star: its name is "**s"
  ASSERT_EQ(items_.SetValue("a", Variant::I4(4)), S_OK);
  struct Case {
    const char* name;
    HRESULT hr;
  };
  const Case cases[] = {
      {"a", S_OK},
      {"A", S_OK},
      {"*a", E_INVALIDARG},  // Exists("*a"), but values take the declared name
      {"b", E_INVALIDARG},
      {"", E_INVALIDARG},
      // Reached only through "s" being declared too, which it is not.
      {"*s", E_INVALIDARG},
  };
  for (const Case& c : cases) {
    Variant v;
    EXPECT_EQ(items_.GetValue(c.name, &v), c.hr) << c.name;
    EXPECT_EQ(items_.SetValue(c.name, Variant::I4(4)), c.hr) << c.name;
    if (c.hr == S_OK) {
      EXPECT_EQ(v.i4(), 4) << c.name;
    }
  }
}

TEST_F(TemporaryItemsTest, SetValueFollowsAReferenceAndTakesAnyTypeUnlikeAPut) {
  items_.Recreate({"a"});
  Variant target = Variant::Text("first");
  ASSERT_EQ(items_.SetValue("a", Variant::ByRef(&target)), S_OK);
  target = Variant::Text("second");  // the item keeps a copy
  Variant v;
  ASSERT_EQ(items_.GetValue("a", &v), S_OK);
  EXPECT_EQ(v.text(), "first");

  // Trigger nodes store without a type check; clients are refused.
  auto other = MakeRef<CTavrixTemporaryItem>("Line1", "o", -9);
  const Variant object = Variant::Dispatch(Ref<IDispatch>(other));
  EXPECT_EQ(items_.SetValue("a", object), S_OK);
  ASSERT_EQ(items_.GetValue("a", &v), S_OK);
  EXPECT_EQ(v.dispatch(), static_cast<IDispatch*>(other.get()));
  EXPECT_EQ(Get("a")->put_Value(object), TVX_E_UNSUPPORTED_TYPE);
}

TEST_F(TemporaryItemsTest, PutValueTakesSupportedTypesOnly) {
  items_.Recreate({"a"});
  Ref<CTavrixTemporaryItem> item = Get("a");
  auto other = MakeRef<CTavrixTemporaryItem>("Line1", "o", -9);
  Variant target = Variant::I4(1);
  struct Case {
    const char* what;
    Variant value;
    bool accepted;
  };
  const Case cases[] = {
      {"I4 array", I4Array({1, 2, 3}), true},
      {"text", Variant::Text("t"), true},
      {"empty", Variant(), true},
      {"object", Variant::Dispatch(Ref<IDispatch>(other)), false},
      {"unknown", Variant::Unknown(Ref<IUnknown>(other)), false},
      {"reference", Variant::ByRef(&target), false},  // the typed member does not follow it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    log_.Clear();
    ASSERT_EQ(item->put_Value(Variant::I4(5)), S_OK);
    Variant v;
    if (c.accepted) {
      EXPECT_EQ(item->put_Value(c.value), S_OK);
      ASSERT_EQ(item->get_Value(&v), S_OK);
      EXPECT_TRUE(v.Identical(c.value));
      EXPECT_EQ(log_.size(), 0u);
    } else {
      EXPECT_EQ(item->put_Value(c.value), TVX_E_UNSUPPORTED_TYPE);
      ASSERT_EQ(item->get_Value(&v), S_OK);
      EXPECT_EQ(v.i4(), 5);
      const auto lines = log_.Lines();
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_EQ(lines[0].level, 3u);
      EXPECT_EQ(lines[0].result, TVX_E_UNSUPPORTED_TYPE);
      EXPECT_EQ(lines[0].text,
                "CTavrixTemporaryItem[Line1\\*a] : You have tried to put an unsupported type.\n");
    }
  }
}

TEST(TemporaryItemTest, NamesResolveInAnyLetterCase) {
  auto item = MakeRef<CTavrixTemporaryItem>("Line1", "a", -1);
  struct Case {
    const char* name;
    HRESULT hr;
    DISPID id;
  };
  const Case cases[] = {
      {"value", S_OK, 0},      {"Value", S_OK, 0},     {"VALUE", S_OK, 0},
      {"Index", S_OK, 1},      {"iNDEX", S_OK, 1},     {"NAME", S_OK, 2},
      {"name", S_OK, 2},       {"Tag", E_NOTIMPL, -1}, {"", E_NOTIMPL, -1},
      {"Values", E_NOTIMPL, -1}, {"Val", E_NOTIMPL, -1},
  };
  for (const Case& c : cases) {
    DISPID id = -1;
    EXPECT_EQ(item->GetIDsOfNames(c.name, &id), c.hr) << c.name;
    EXPECT_EQ(id, c.id) << c.name;
  }
}

TEST(TemporaryItemTest, InvokeGetsThreeMembersAndPutsOnlyValueWithOneArgument) {
  CapturingLogSink log;
  auto other = MakeRef<CTavrixTemporaryItem>("Line1", "o", -9);
  Variant intTarget = Variant::I4(9);
  Variant objectTarget = Variant::Dispatch(Ref<IDispatch>(other));
  constexpr uint16_t kGet = DISPATCH_PROPERTYGET;
  constexpr uint16_t kPut = DISPATCH_PROPERTYPUT;
  constexpr uint16_t kPutRef = DISPATCH_PROPERTYPUTREF;
  struct Case {
    const char* what;
    DISPID id;
    uint16_t flags;
    std::vector<Variant> args;
    HRESULT hr;
    std::optional<Variant> result;  // what a get returns
    Variant valueAfter;             // the item's value afterwards (it starts as I4 5)
  };
  const Variant five = Variant::I4(5);
  const Case cases[] = {
      {"get Value", 0, kGet, {}, S_OK, five, five},
      {"get Index", 1, kGet, {}, S_OK, Variant::I4(-1), five},
      {"get Name", 2, kGet, {}, S_OK, Variant::Text("*a"), five},
      {"get as method", 2, kGet | DISPATCH_METHOD, {}, S_OK, Variant::Text("*a"), five},
      {"get other id", 3, kGet, {}, E_NOTIMPL, std::nullopt, five},
      {"get with an argument", 0, kGet, {Variant::I4(0)}, E_INVALIDARG, std::nullopt, five},
      {"get other id, argument", 3, kGet, {Variant::I4(0)}, E_INVALIDARG, std::nullopt, five},
      {"method only", 0, DISPATCH_METHOD, {}, E_NOTIMPL, std::nullopt, five},
      {"put", 0, kPut, {Variant::Text("t")}, S_OK, std::nullopt, Variant::Text("t")},
      {"put array", 0, kPut, {I4Array({7, 8})}, S_OK, std::nullopt, I4Array({7, 8})},
      {"put by reference", 0, kPutRef, {Variant::ByRef(&intTarget)}, S_OK, std::nullopt,
       Variant::I4(9)},
      {"put no argument", 0, kPut, {}, E_INVALIDARG, std::nullopt, five},
      {"put two arguments", 0, kPut, {Variant::I4(1), Variant::I4(2)}, E_INVALIDARG,
       std::nullopt, five},
      {"put Index", 1, kPut, {Variant::I4(1)}, E_NOTIMPL, std::nullopt, five},
      {"put Name", 2, kPutRef, {Variant::I4(1)}, E_NOTIMPL, std::nullopt, five},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto item = MakeRef<CTavrixTemporaryItem>("Line1", "a", -1);
    ASSERT_EQ(item->put_Value(five), S_OK);
    std::vector<Variant> args = c.args;
    Variant result = Variant::Text("untouched");
    EXPECT_EQ(item->Invoke(c.id, c.flags, args, &result), c.hr);
    if (c.result) {
      EXPECT_TRUE(result.Identical(*c.result));
    } else {
      EXPECT_EQ(result.text(), "untouched");
    }
    Variant value;
    ASSERT_EQ(item->get_Value(&value), S_OK);
    EXPECT_TRUE(value.Identical(c.valueAfter));
  }
  EXPECT_EQ(log.size(), 0u);

  // Objects are refused, passed directly or by reference.
  auto item = MakeRef<CTavrixTemporaryItem>("Line1", "a", -1);
  for (Variant arg : {objectTarget, Variant::ByRef(&objectTarget)}) {
    std::vector<Variant> args{arg};
    EXPECT_EQ(item->Invoke(0, kPut, args, nullptr), TVX_E_UNSUPPORTED_TYPE);
  }
  Variant value;
  ASSERT_EQ(item->get_Value(&value), S_OK);
  EXPECT_TRUE(value.IsEmpty());
  const auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 2u);
  for (const auto& line : lines) {
    EXPECT_EQ(line.result, TVX_E_UNSUPPORTED_TYPE);
    EXPECT_EQ(line.text,
              "CTavrixTemporaryItem[Line1\\*a] : You have tried to put a value of an unsupported "
              "type in a Value.\n");
  }
}

TEST_F(TemporaryItemsTest, AClientsItemOutlivesRecreateButIsNoLongerTheControllers) {
  items_.Recreate({"a"});
  Ref<CTavrixTemporaryItem> held = Get("a");
  ASSERT_EQ(held->put_Value(Variant::Text("old")), S_OK);

  items_.Recreate({"a"});
  Ref<CTavrixTemporaryItem> fresh = Get("a");
  ASSERT_NE(fresh, held);
  EXPECT_EQ(fresh->index(), -2);
  Variant v;
  ASSERT_EQ(fresh->get_Value(&v), S_OK);
  EXPECT_TRUE(v.IsEmpty());
  ASSERT_EQ(held->get_Value(&v), S_OK);
  EXPECT_EQ(v.text(), "old");
  EXPECT_EQ(held->name(), "*a");
  Ref<CTavrixTemporaryItem> byIndex;
  EXPECT_EQ(items_.ItemByIndex(-1, &byIndex), E_INVALIDARG);

  // Writes on either side stay on that side.
  ASSERT_EQ(items_.SetValue("a", Variant::I4(1)), S_OK);
  ASSERT_EQ(held->put_Value(Variant::I4(2)), S_OK);
  ASSERT_EQ(items_.GetValue("a", &v), S_OK);
  EXPECT_EQ(v.i4(), 1);

  items_.ReleaseAll();
  EXPECT_FALSE(items_.Exists("a"));
  EXPECT_EQ(items_.size(), 0u);
  ASSERT_EQ(fresh->get_Value(&v), S_OK);
  EXPECT_EQ(v.i4(), 1);
}

// Writers store long texts and arrays through every path while readers copy
// the value through every path: each value read is one written, whole.
TEST_F(TemporaryItemsTest, ValuesSharedBetweenThreadsAreNeverTorn) {
  items_.Recreate({"a"});
  Ref<CTavrixTemporaryItem> item = Get("a");
  std::vector<Variant> written;
  for (int k = 0; k < 4; ++k) {
    written.push_back(Variant::Text(std::string(2000 + k, static_cast<char>('a' + k))));
    Ref<SafeArray> array = SafeArray::Create1D(VT_I4, 300 + k);
    for (size_t i = 0; i < 300u + k; ++i) ASSERT_EQ(array->Put(i, Variant::I4(k)), S_OK);
    written.push_back(Variant::Array(std::move(array)));
  }
  auto known = [&](const Variant& v) {
    if (v.IsEmpty()) return true;
    for (const Variant& w : written) {
      if (v.Identical(w)) return true;
    }
    return false;
  };

  constexpr int kWrites = 20000;
  std::atomic<int> writersLeft{3};
  std::atomic<int> bad{0};
  std::vector<std::thread> threads;
  // 0: SetValue, 1: put_Value, 2: Invoke put.
  for (int path = 0; path < 3; ++path) {
    threads.emplace_back([&, path] {
      for (int n = 0; n < kWrites; ++n) {
        const Variant& value = written[(n + path) % written.size()];
        HRESULT hr = S_OK;
        if (path == 0) {
          hr = items_.SetValue("a", value);
        } else if (path == 1) {
          hr = item->put_Value(value);
        } else {
          std::vector<Variant> args{value};
          hr = item->Invoke(0, DISPATCH_PROPERTYPUT, args, nullptr);
        }
        if (hr != S_OK) bad.fetch_add(1);
      }
      writersLeft.fetch_sub(1);
    });
  }
  // 0: GetValue, 1: Invoke get.
  for (int path = 0; path < 2; ++path) {
    threads.emplace_back([&, path] {
      int reads = 0;
      while (writersLeft.load() > 0 || reads < 10) {
        Variant v;
        HRESULT hr = S_OK;
        if (path == 0) {
          hr = items_.GetValue("A", &v);
        } else {
          hr = item->Invoke(0, DISPATCH_PROPERTYGET, {}, &v);
        }
        if (hr != S_OK || !known(v)) bad.fetch_add(1);
        ++reads;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(bad.load(), 0);
}

// Recreate swaps the maps in one step: a client looking a declared name up
// meanwhile always finds an item, old or new, and may keep using it.
TEST_F(TemporaryItemsTest, LookupsDuringRecreateAlwaysFindAnItem) {
  items_.Recreate({"a", "b"});
  std::atomic<bool> done{false};
  std::atomic<int> bad{0};
  std::thread recreator([&] {
    for (int n = 0; n < 5000; ++n) items_.Recreate({"a", "b"});
    done.store(true);
  });
  std::thread client([&] {
    while (!done.load()) {
      Ref<CTavrixTemporaryItem> item;
      if (items_.GetTemporaryItem("b", false, &item) != S_OK) {
        bad.fetch_add(1);
        continue;
      }
      if (item->put_Value(Variant::Text("x")) != S_OK) bad.fetch_add(1);
      Ref<CTavrixTemporaryItem> byIndex;
      if (SUCCEEDED(items_.ItemByIndex(item->index(), &byIndex)) && byIndex != item) {
        bad.fetch_add(1);
      }
      if (!items_.Exists("*a")) bad.fetch_add(1);
    }
  });
  recreator.join();
  client.join();
  EXPECT_EQ(bad.load(), 0);
}

// The controller configures its items from the project's version and
// releases them when it terminates.
class ControllerTemporaryItemsTest : public ControllerTest,
                                     public ::testing::WithParamInterface<bool> {};

TEST_P(ControllerTemporaryItemsTest, CreatedFromTheListOnlyFromVersion14) {
  const bool version14 = GetParam();
  host_.triggerSettings.temporaryItems = version14;
  ControllerRecord record = SimRecord(UniqueName("Temp"));
  record.m_triggerEx.m_tempVariables.m_strList = "a,,b";
  Ref<CTavrixController> c = Make(record);
  ASSERT_EQ(c->CreateTemporaryItems(), S_OK);
  TemporaryItems& items = c->temporaryItems();
  Ref<CTavrixTemporaryItem> a;
  if (!version14) {
    EXPECT_EQ(items.GetTemporaryItem("a", false, &a), E_NOTIMPL);
    EXPECT_EQ(items.GetTemporaryItem("a", true, &a), E_NOTIMPL);
    EXPECT_EQ(items.size(), 0u);
    return;
  }
  EXPECT_EQ(items.size(), 2u);
  ASSERT_EQ(items.GetTemporaryItem("a", false, &a), S_OK);
  EXPECT_EQ(a->controllerName(), record.RSQLCtrlName);
  EXPECT_EQ(items.IndexOf("*b"), -2);
  ASSERT_EQ(a->put_Value(Variant::I4(3)), S_OK);

  ASSERT_EQ(c->CreateTemporaryItems(), S_OK);  // before the next activation: values go
  Variant v;
  ASSERT_EQ(items.GetValue("a", &v), S_OK);
  EXPECT_TRUE(v.IsEmpty());

  StopControllers();
  EXPECT_EQ(items.size(), 0u);
  ASSERT_EQ(a->get_Value(&v), S_OK);  // the client's reference still works
  EXPECT_EQ(v.i4(), 3);
}

INSTANTIATE_TEST_SUITE_P(Version, ControllerTemporaryItemsTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "1_4" : "1_3"; });

}  // namespace
}  // namespace tavrix::controller_test
