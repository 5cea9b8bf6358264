// The write path in its order: the refusals, the conversions, the target
// (variable, alias, holder, none), the failure line and the cache; initial
// data written at activation.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "item_fixture.h"

namespace tavrix::item_test {
namespace {

class WritePathTest : public ItemTest {};

TEST_F(WritePathTest, RefusedWritesLeaveTheDeviceAlone) {
  struct Case {
    const char* what;
    std::function<void(ItemRecord&)> set;
    std::function<void(CTavrixItem&)> prepare;
    bool activate;
    Variant value;
    HRESULT result;
    const char* message;  // logged at level 3, or null
  };
  Ref<SafeArray> nested = SafeArray::Create1D(VT_VARIANT, 1);
  (void)nested->Put(0, Variant::Array(SafeArray::Create1D(VT_I4, 1)));
  Decimal d{};
  const Case cases[] = {
      {"a decimal", nullptr, nullptr, true, Variant::Dec(d), TVX_E_UNSUPPORTED_TYPE,
       "You have tried to put a value of an unsupported type in a Value."},
      {"an array inside an array", nullptr, nullptr, true, Variant::Array(nested),
       TVX_E_UNSUPPORTED_TYPE, "You have tried to put a value of an unsupported type in a Value."},
      {"a variable item without its variable", nullptr, nullptr, false, Variant::I4(1), E_FAIL,
       nullptr},
      {"read-only", [](ItemRecord& r) { r.m_lAttribute = tvItemReadOnly; }, nullptr, true,
       Variant::I4(1), S_FALSE, nullptr},
      {"a critical link cycle", nullptr,
       [](CTavrixItem& i) { i.SetLinkCheckResult(kLinkCheckCritical); }, true, Variant::I4(1),
       E_ACCESSDENIED, nullptr},
      {"a critical link cycle for writes", nullptr,
       [](CTavrixItem& i) { i.SetLinkCheckResult(kLinkCheckCriticalForPut); }, true,
       Variant::I4(1), E_ACCESSDENIED, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    log.Clear();
    const std::string cell = UniqueName("cell");
    ItemRecord r = VarItem("W", cell);
    if (c.set) c.set(r);
    Ref<CTavrixItem> item = Make(r, c.activate);
    if (c.prepare) c.prepare(*item);
    EXPECT_EQ(item->put_Value(c.value), c.result);
    EXPECT_TRUE(Get(cell).IsEmpty());
    if (c.message) {
      EXPECT_EQ(LevelOf(c.message), 3);
    }
  }
}

TEST_F(WritePathTest, AnElementItemOfAVersionedProjectCannotBeWritten) {
  owner.versioned = true;
  Ref<CTavrixItem> item = Make(VarItem("W(1)", "cell"));
  EXPECT_EQ(item->put_Value(Variant::I4(1)), E_ACCESSDENIED);
  EXPECT_EQ(LevelOf("TavrixItem[" + owner.name +
                    "\\W(1)] : You cannot write to an item for which an array element is "
                    "specified."),
            3);
  owner.versioned = false;
  Ref<CTavrixItem> old = Make(VarItem("W(1)", "cell"));
  EXPECT_EQ(old->put_Value(Variant::I4(1)), S_OK);  // other projects write the whole value
}

TEST_F(WritePathTest, ConversionsRunInOrderTypeThenBcdThenMask) {
  ItemRecord r = VarItem("W", "cell");
  r.m_bChangeTypeW = true;
  r.m_lRequestTypeW = 3;  // VT_I2
  r.m_bBCD = true;
  r.m_bMaskEnabled = true;
  r.m_lMask = 0x0FFF;
  Ref<CTavrixItem> item = Make(r);
  ASSERT_EQ(item->put_Value(Variant::I4(1234)), S_OK);
  EXPECT_TRUE(Get("cell").Identical(Variant::I2(0x0234)));
}

TEST_F(WritePathTest, AFailedConversionIsLoggedAndReturned) {
  struct Case {
    const char* what;
    std::function<void(ItemRecord&)> set;
    Variant value;
    HRESULT result;
    const char* message;
  } cases[] = {
      {"type", [](ItemRecord& r) { r.m_bChangeTypeW = true, r.m_lRequestTypeW = 1; },
       Variant::I4(1000), DISP_E_OVERFLOW, "Failed in changing VARIANT type."},
      {"BCD", [](ItemRecord& r) { r.m_bBCD = true; }, Variant::R8(1), E_INVALIDARG,
       "Failed in converting into BCD."},
      {"mask", [](ItemRecord& r) { r.m_bMaskEnabled = true; }, Variant::Text("1"), E_INVALIDARG,
       "Failed in masking."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string cell = UniqueName("cell");
    ItemRecord r = VarItem("W", cell);
    c.set(r);
    Ref<CTavrixItem> item = Make(r);
    EXPECT_EQ(item->put_Value(c.value), c.result);
    EXPECT_TRUE(log.Contains("TavrixItem[" + owner.name + "\\W] : " + c.message));
    EXPECT_TRUE(Get(cell).IsEmpty());
  }
}

TEST_F(WritePathTest, ADeviceFailureIsLoggedOnceWhileTheItemFailsWithNotRepeatError) {
  owner.notRepeatError = true;
  Ref<CTavrixItem> item = Make(VarItem("W", "cell"));
  Command("OFFLINE");
  EXPECT_EQ(item->put_Value(Variant::I4(1)), E_FAIL);
  EXPECT_TRUE(log.Contains("TavrixItem[" + owner.name +
                           "\\W] : ZeltVariable::put_Value() failed. HRESULT: 0x80004005"));
  EXPECT_EQ(Read(*item), E_FAIL);  // the item is failing now
  log.Clear();
  EXPECT_EQ(item->put_Value(Variant::I4(1)), E_FAIL);
  Command("ONLINE");
  EXPECT_FALSE(log.Contains("put_Value() failed"));
}

TEST_F(WritePathTest, WriteToCacheHandsTheWrittenValueToTheNextRead) {
  owner.writeToCache = true;
  ItemRecord r = VarItem("W", "cell");
  Ref<CTavrixItem> item = Make(r);
  r.m_strItemName = "Forced";
  r.m_strVarName = "cell2";
  r.m_lForceChange = 2;
  Ref<CTavrixItem> forced = Make(r);
  for (CTavrixItem* i : {item.get(), forced.get()}) {
    for (int round = 0; round < 2; ++round) {
      ASSERT_EQ(i->put_Value(Variant::I4(5)), S_OK);
      bool providerRead = true;
      ASSERT_EQ(Read(*i, 0, &providerRead), S_OK);
      EXPECT_FALSE(providerRead);
      EXPECT_TRUE(i->value().Identical(Variant::I4(5)));
    }
  }
  EXPECT_TRUE(Get("cell").Identical(Variant::I4(5)));  // the device is written as well
  const auto events = owner.ChangeEvents();
  EXPECT_EQ(std::count(events.begin(), events.end(), "W"), 1);
  EXPECT_EQ(std::count(events.begin(), events.end(), "Forced"), 2);  // force bit 1
}

TEST_F(WritePathTest, AnItemWithoutDeviceKeepsWhatIsWritten) {
  ItemRecord r = VarItem("Mem", "");
  r.m_bVariableEnabled = false;
  Ref<CTavrixItem> item = Make(r);
  Variant v = Variant::Text("kept");
  ASSERT_EQ(item->put_Value(Variant::ByRef(&v)), S_OK);  // as scripts pass it
  Variant out;
  ASSERT_EQ(item->get_Value(&out), S_OK);
  EXPECT_TRUE(out.Identical(Variant::Text("kept")));
  EXPECT_EQ(Read(*item), S_FALSE);  // nothing more to take
}

TEST_F(WritePathTest, AnAliasWritesThroughItsTarget) {
  Make(VarItem("T", "cell"));
  ItemRecord r = VarItem("A", "T");
  r.m_lType = kItemTypeAlias;
  r.m_bChangeTypeW = true;
  r.m_lRequestTypeW = 9;  // the alias converts first
  Ref<CTavrixItem> alias = Make(r);
  EXPECT_EQ(alias->put_Value(Variant::I4(3)), E_FAIL);  // no target before InitSubitem
  Link();
  ASSERT_EQ(alias->put_Value(Variant::I4(3)), S_OK);
  EXPECT_TRUE(Get("cell").Identical(Variant::Text("3")));
}

class RecordingObserver final : public CTavrixObserver {
 public:
  HRESULT Update(const Variant& v) override {
    values.push_back(v);
    return S_OK;
  }
  HRESULT Value(Variant* out) override {
    *out = Variant::Text("from links");
    return S_OK;
  }
  std::vector<Variant> values;
};

TEST_F(WritePathTest, AReferenceItemReadsAndWritesThroughItsLinks) {
  ItemRecord r = VarItem("R", "");
  r.m_lType = kItemTypeReference;
  r.m_bChangeTypeW = true;
  r.m_lRequestTypeW = 5;  // VT_I4
  Ref<CTavrixItem> item = Make(r);
  Variant out;
  EXPECT_EQ(item->put_Value(Variant::Text("7")), E_FAIL);
  EXPECT_EQ(item->get_Value(&out), E_FAIL);
  auto links = std::make_unique<RecordingObserver>();
  RecordingObserver* seen = links.get();
  item->SetLinkObserver(std::move(links));
  ASSERT_EQ(item->put_Value(Variant::Text("7")), S_OK);
  ASSERT_EQ(seen->values.size(), 1u);
  EXPECT_TRUE(seen->values[0].Identical(Variant::I4(7)));
  ASSERT_EQ(item->get_Value(&out), S_OK);
  EXPECT_TRUE(out.Identical(Variant::Text("from links")));
  EXPECT_EQ(Read(*item), S_FALSE);  // never read by the pipeline
}

TEST_F(WritePathTest, InitialDataIsWrittenAtActivation) {
  auto array = [](VARTYPE vt, std::initializer_list<Variant> values) {
    Ref<SafeArray> a = SafeArray::Create1D(vt, static_cast<uint32_t>(values.size()));
    size_t i = 0;
    for (const Variant& v : values) (void)a->Put(i++, v);
    return Variant::Array(std::move(a));
  };
  struct Case {
    int32_t typeIndex;
    const char* text;
    Variant device;
  } cases[] = {
      {3, "42", Variant::I2(42)},
      {0, "True", Variant::Bool(true)},
      {8, "1.5", Variant::R8(1.5)},
      {9, "a,b", Variant::Text("a,b")},
      {13, "18446744073709551615", Variant::UI8(~uint64_t{0})},
      {19, "1,2,3", array(VT_I4, {Variant::I4(1), Variant::I4(2), Variant::I4(3)})},
      {25, "x,y", array(VT_BSTR, {Variant::Text("x"), Variant::Text("y")})},
      {28, "{3,1},abc", array(VT_VARIANT, {Variant::I4(1), Variant::Text("abc")})},
      {3, "abc", Variant()},  // does not convert: logged, activation goes on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    log.Clear();
    const std::string cell = UniqueName("cell");
    ItemRecord r = VarItem("I", cell);
    r.m_bInitialize = true;
    r.m_strInitData = c.text;
    r.m_lInitDataType = c.typeIndex;
    Make(r);  // expects Activate to succeed
    EXPECT_TRUE(Get(cell).Identical(c.device)) << DebugString(Get(cell));
    EXPECT_EQ(log.Contains("TavrixItem[" + owner.name + "\\I] : Failed in initializing data."),
              c.device.IsEmpty());
  }
}

}  // namespace
}  // namespace tavrix::item_test
