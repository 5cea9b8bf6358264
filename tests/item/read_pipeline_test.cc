// The read pipeline in its order: source, empty values, chatter, element,
// mask, BCD, calculations, type change, store, change detection, history and
// notification; the gates in front of it and its failures.
#include <gtest/gtest.h>

#include <functional>

#include "item/item_calc.h"
#include "item_fixture.h"
#include "platform/arith.h"

namespace tavrix::item_test {
namespace {

Variant I4Array(std::initializer_list<int32_t> values) {
  Ref<SafeArray> a = SafeArray::Create1D(VT_I4, static_cast<uint32_t>(values.size()));
  size_t i = 0;
  for (int32_t v : values) (void)a->Put(i++, Variant::I4(v));
  return Variant::Array(std::move(a));
}

struct Step {
  Variant device;
  HRESULT result;
};

struct PipelineCase {
  const char* what;
  const char* name;
  std::function<void(ItemRecord&)> set;
  std::vector<Step> steps;
  Variant value;   // the cached value at the end
  size_t changes;  // OnChangeItem events, and history rows
};

class ReadPipelineTest : public ItemTest {};

TEST_F(ReadPipelineTest, StepsInOrder) {
  const Variant a = Variant::I4(7), b = Variant::I4(8);
  const PipelineCase cases[] = {
      {"a provider error code becomes its number", "P", nullptr,
       {{Variant::Error(5), S_OK}}, Variant::I4(5), 1},
      {"type change", "P", [](ItemRecord& r) { r.m_bChangeType = true, r.m_lRequestType = 8; },
       {{Variant::I4(5), S_OK}}, Variant::R8(5), 1},
      {"array element", "P(1)", nullptr, {{I4Array({10, 20, 30}), S_OK}}, Variant::I4(20), 1},
      {"an element suffix on a scalar passes it", "P(1)", nullptr, {{Variant::I4(3), S_OK}},
       Variant::I4(3), 1},
      {"mask at the value's width", "P",
       [](ItemRecord& r) { r.m_bMaskEnabled = true, r.m_lMask = 0x7FFF0F0F; },
       {{Variant::I2(0x1234), S_OK}}, Variant::I2(0x0204), 1},
      {"BCD keeps the type", "P", [](ItemRecord& r) { r.m_bBCD = true; },
       {{Variant::I2(0x1234), S_OK}}, Variant::I2(1234), 1},
      {"mask before BCD", "P",
       [](ItemRecord& r) { r.m_bMaskEnabled = true, r.m_lMask = 0x0F, r.m_bBCD = true; },
       {{Variant::UI1(0x99), S_OK}}, Variant::UI1(9), 1},
      {"BCD before the type change", "P",
       [](ItemRecord& r) { r.m_bBCD = true, r.m_bChangeType = true, r.m_lRequestType = 9; },
       {{Variant::I2(0x12), S_OK}}, Variant::Text("12"), 1},
      {"a dead-band hit is cached but not announced", "P",
       [](ItemRecord& r) { r.m_bDeadBand = true, r.m_fDeadBandMin = 0, r.m_fDeadBandMax = 10; },
       {{Variant::I4(20), S_OK}, {Variant::I4(5), S_OK}}, Variant::I4(5), 1},
      {"an out-of-range value is cached but not announced", "P",
       [](ItemRecord& r) { r.m_bMinMax = true, r.m_fMin = 0, r.m_fMax = 10; },
       {{Variant::I4(5), S_OK}, {Variant::I4(20), S_OK}}, Variant::I4(20), 1},
      {"chatter: the fourth equal read passes", "P",
       [](ItemRecord& r) { r.m_bChatEnabled = true, r.m_lChatMax = 3; },
       {{a, S_FALSE}, {a, S_FALSE}, {a, S_FALSE}, {a, S_OK}}, a, 1},
      {"chatter: a new candidate keeps the count", "P",
       [](ItemRecord& r) { r.m_bChatEnabled = true, r.m_lChatMax = 3; },
       {{a, S_FALSE}, {a, S_FALSE}, {b, S_FALSE}, {b, S_FALSE}, {b, S_OK}}, b, 1},
      {"chatter with a count of 1 is off", "P",
       [](ItemRecord& r) { r.m_bChatEnabled = true, r.m_lChatMax = 1; }, {{a, S_OK}}, a, 1},
      {"an empty value is dropped", "P", nullptr,
       {{Variant::I4(1), S_OK}, {Variant(), S_FALSE}}, Variant::I4(1), 1},
      {"an empty value is stored with UseEmpty", "P", [](ItemRecord& r) { r.m_bUseEmpty = true; },
       {{Variant::I4(1), S_OK}, {Variant(), S_OK}}, Variant(), 2},
      {"an equal value is no change", "P", nullptr, {{a, S_OK}, {a, S_OK}}, a, 1},
      {"an equal value of another type is a change", "P", nullptr,
       {{Variant::I4(1), S_OK}, {Variant::I2(1), S_OK}}, Variant::I2(1), 2},
      {"force bit 0 announces every read", "P", [](ItemRecord& r) { r.m_lForceChange = 1; },
       {{a, S_OK}, {a, S_OK}}, a, 2},
      {"equal arrays count as changed", "P", nullptr,
       {{I4Array({1, 2}), S_OK}, {I4Array({1, 2}), S_OK}}, I4Array({1, 2}), 2},
      {"equal arrays compared element by element", "P",
       [](ItemRecord& r) { r.m_bCompArrays = true; },
       {{I4Array({1, 2}), S_OK}, {I4Array({1, 2}), S_OK}, {I4Array({1, 3}), S_OK}},
       I4Array({1, 3}), 2},
  };
  for (const PipelineCase& c : cases) {
    SCOPED_TRACE(c.what);
    owner.ClearReports();
    const std::string cell = UniqueName("cell");
    ItemRecord r = VarItem(c.name, cell);
    if (c.set) c.set(r);
    Ref<CTavrixItem> item = Make(r);
    for (const Step& step : c.steps) {
      Put(cell, step.device);
      bool providerRead = false;
      EXPECT_EQ(Read(*item, 0, &providerRead), step.result) << DebugString(step.device);
      EXPECT_TRUE(providerRead);
    }
    EXPECT_TRUE(item->value().Identical(c.value)) << DebugString(item->value());
    EXPECT_EQ(item->state(), tvItemSucceeded);
    EXPECT_EQ(owner.ChangeEvents().size(), c.changes);
    EXPECT_EQ(owner.History().size(), c.changes);
  }
}

TEST_F(ReadPipelineTest, TheCacheKeepsThePreviousValueAndTheHistoryRowNamesTheItem) {
  Ref<CTavrixItem> item = Make(VarItem("P", "cell"));
  Put("cell", Variant::I4(1));
  ASSERT_EQ(Read(*item), S_OK);
  Put("cell", Variant::I4(2));
  ASSERT_EQ(Read(*item), S_OK);
  EXPECT_TRUE(item->prevValue().Identical(Variant::I4(1)));
  EXPECT_TRUE(item->value().Identical(Variant::I4(2)));
  const auto rows = owner.History();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].controller, owner.name);
  EXPECT_EQ(rows[1].item, "P");
  EXPECT_TRUE(rows[1].value.Identical(Variant::I4(2)));
}

TEST_F(ReadPipelineTest, AFailedStepLeavesTheCacheAndSetsTheStateFailed) {
  struct Case {
    const char* what;
    std::function<void(ItemRecord&)> set;
    Variant device;
    HRESULT result;
    const char* message;
  } cases[] = {
      {"element out of range", nullptr, I4Array({1}), DISP_E_BADINDEX,
       "Failed in extracting the specified element of array."},
      {"mask of a double", [](ItemRecord& r) { r.m_bMaskEnabled = true; }, Variant::R8(1.5),
       E_INVALIDARG, "Failed in masking."},
      {"BCD of a text", [](ItemRecord& r) { r.m_bBCD = true; }, Variant::Text("12"),
       E_INVALIDARG, "Failed in convering into BCD."},
      {"BCD of a 64-bit value outside versioned projects", [](ItemRecord& r) { r.m_bBCD = true; },
       Variant::I8(0x12), E_INVALIDARG, "Failed in convering into BCD."},
      {"type change that overflows",
       [](ItemRecord& r) { r.m_bChangeType = true, r.m_lRequestType = 3; }, Variant::R8(1e10),
       DISP_E_OVERFLOW, "Failed in changing VARIANT type."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    log.Clear();
    const std::string cell = UniqueName("cell");
    ItemRecord r = VarItem("P(5)", cell);
    if (!c.device.IsArray()) r.m_strItemName = "P";
    if (c.set) c.set(r);
    Ref<CTavrixItem> item = Make(r);
    Put(cell, c.device.IsArray() ? I4Array({4}) : Variant::I4(4));
    // The first value: an element read fails too, so start from an empty cache then.
    const HRESULT first = Read(*item);
    const Variant before = item->value();
    const double stampBefore = item->dateTime();
    Put(cell, c.device);
    EXPECT_EQ(Read(*item), c.result);
    EXPECT_EQ(item->state(), tvItemFailed);
    EXPECT_TRUE(item->value().Identical(before));
    EXPECT_EQ(item->dateTime(), stampBefore);
    EXPECT_TRUE(log.Contains(std::string("TavrixItem[") + owner.name + "\\" +
                             item->name() + "] : " + c.message));
    EXPECT_EQ(item->lastReadResult(), c.result);
    EXPECT_GE(item->consecutiveFailures(), FAILED(first) ? 2 : 1);
  }
}

TEST_F(ReadPipelineTest, AnUnsupportedProviderValueFails) {
  Ref<CTavrixItem> item = Make(VarItem("P", "cell"));
  Decimal d{};
  Put("cell", Variant::Dec(d));
  EXPECT_EQ(Read(*item), TVX_E_UNSUPPORTED_TYPE);
  EXPECT_EQ(item->state(), tvItemFailed);
  EXPECT_EQ(LevelOf("TavrixItem[" + owner.name +
                    "\\P] : The provider returned a value of an unsupported type."),
            3);
}

TEST_F(ReadPipelineTest, NotRepeatErrorLogsAFailingVariableOnceUntilItSucceeds) {
  for (bool notRepeat : {false, true}) {
    owner.notRepeatError = notRepeat;
    log.Clear();
    Ref<CTavrixItem> item = Make(VarItem("P", UniqueName("counter:")));
    auto failures = [&] {
      size_t n = 0;
      for (const std::string& t : log.Texts()) n += t.find("get_Value() failed.") != t.npos;
      return n;
    };
    Command("OFFLINE");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Read(*item), E_FAIL);
    EXPECT_EQ(failures(), notRepeat ? 1u : 3u);
    Command("ONLINE");
    EXPECT_EQ(Read(*item), S_OK);
    Command("OFFLINE");
    EXPECT_EQ(Read(*item), E_FAIL);
    EXPECT_EQ(failures(), notRepeat ? 2u : 4u);
    EXPECT_EQ(item->consecutiveFailures(), 1);
    Command("ONLINE");
  }
}

TEST_F(ReadPipelineTest, GatesInFrontOfTheSource) {
  struct Case {
    const char* what;
    std::function<void(ItemRecord&)> set;
    std::function<void(CTavrixItem&)> prepare;
    bool activate;
    int32_t flags;
    HRESULT result;
    int32_t state;
    bool providerRead;
  } cases[] = {
      {"an active item reads", nullptr, nullptr, true, 0, S_OK, tvItemSucceeded, true},
      {"a deactivated item is not read", nullptr,
       [](CTavrixItem& i) { i.SetActivation(false); }, true, 0, S_FALSE, tvItemSucceeded, false},
      {"a forced read reads a deactivated item", nullptr,
       [](CTavrixItem& i) { i.SetActivation(false); }, true, kReadForced, S_OK, tvItemSucceeded,
       true},
      {"configured deactivated", [](ItemRecord& r) { r.m_bDeactivate = true; }, nullptr, true, 0,
       S_FALSE, tvItemSucceeded, false},
      {"write-only", [](ItemRecord& r) { r.m_lAttribute = tvItemWriteOnly; }, nullptr, true,
       kReadForced, S_FALSE, tvItemSucceeded, false},
      {"a variable item without its variable", nullptr, nullptr, false, 0, E_FAIL, tvItemFailed,
       false},
      {"a critical link cycle", nullptr,
       [](CTavrixItem& i) { i.SetLinkCheckResult(kLinkCheckCritical); }, true, 0, E_ACCESSDENIED,
       tvItemUndefined, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ItemRecord r = VarItem("P", UniqueName("counter:"));
    if (c.set) c.set(r);
    Ref<CTavrixItem> item = Make(r, c.activate);
    if (c.prepare) c.prepare(*item);
    bool providerRead = false;
    EXPECT_EQ(Read(*item, c.flags, &providerRead), c.result);
    EXPECT_EQ(item->state(), c.state);
    EXPECT_EQ(providerRead, c.providerRead);
  }
}

// An observer that reads its own item while the item notifies.
class ReenteringObserver final : public CTavrixObserver {
 public:
  HRESULT Update(const Variant&) override {
    result = item->ReadValue(0, nullptr);
    ++updates;
    return S_OK;
  }
  CTavrixItem* item = nullptr;
  HRESULT result = S_OK;
  int updates = 0;
};

TEST_F(ReadPipelineTest, AReadFromInsideTheItemsOwnNotificationReturnsAtOnce) {
  Ref<CTavrixItem> item = Make(VarItem("P", "counter"));
  auto observer = std::make_unique<ReenteringObserver>();
  ReenteringObserver* seen = observer.get();
  seen->item = item.get();
  item->SetLinkObserver(std::move(observer));
  ASSERT_EQ(Read(*item), S_OK);
  EXPECT_EQ(seen->updates, 1);
  EXPECT_EQ(seen->result, S_FALSE);
  EXPECT_TRUE(item->value().Identical(Variant::I4(0)));  // the inner read did not read on
}

class CountingObserver final : public CTavrixObserver {
 public:
  HRESULT Update(const Variant& v) override {
    values.push_back(v);
    return S_OK;
  }
  std::vector<Variant> values;
};

TEST_F(ReadPipelineTest, ADeferredChangeReachesTheLinksOfAVersionedProjectAtTheNextRead) {
  owner.versioned = true;
  Ref<CTavrixItem> item = Make(VarItem("P", "cell"));
  auto observer = std::make_unique<CountingObserver>();
  CountingObserver* links = observer.get();
  item->SetLinkObserver(std::move(observer));
  Put("cell", Variant::I4(9));
  ASSERT_EQ(Read(*item, kReadDeferChange), S_OK);
  EXPECT_TRUE(item->value().Identical(Variant::I4(9)));
  EXPECT_TRUE(links->values.empty());
  EXPECT_TRUE(owner.ChangeEvents().empty());
  ASSERT_EQ(Read(*item), S_OK);  // the same value: only the links hear of it
  ASSERT_EQ(links->values.size(), 1u);
  EXPECT_TRUE(owner.ChangeEvents().empty());
  ASSERT_EQ(Read(*item), S_OK);  // the flag was cleared
  EXPECT_EQ(links->values.size(), 1u);
}

// Multiplies by 10, or fails on negative values.
class TimesTen final : public IItemCalculation {
 public:
  HRESULT Calculate(Variant* value) override {
    Variant ten = Variant::I4(10), out;
    if (value->vt() == VT_I4 && value->i4() < 0) return DISP_E_OVERFLOW;
    RETURN_IF_FAILED(VarMul(*value, ten, &out));
    *value = out;
    return S_OK;
  }
};

class CalculationFactoryScope {
 public:
  CalculationFactoryScope() {
    ItemCalcFactory::Instance().setup = [](CTavrixItem&, const ItemCalcSetting& s,
                                           std::unique_ptr<IItemCalculation>* out) -> HRESULT {
      if (s.code == 0) return S_FALSE;
      if (s.code < 0) return E_INVALIDARG;
      *out = std::make_unique<TimesTen>();
      return S_OK;
    };
  }
  ~CalculationFactoryScope() { ItemCalcFactory::Instance().setup = nullptr; }
};

TEST_F(ReadPipelineTest, CalculationsRunAfterBcdAndBeforeTheTypeChange) {
  CalculationFactoryScope factory;
  ItemRecord r = VarItem("P", "cell");
  r.m_bBCD = true;
  r.m_bChangeType = true;
  r.m_lRequestType = 9;  // BSTR
  r.m_lCalcIndex = 1;
  r.m_lCalcIndex2 = -1;  // refused at setup: logged, skipped
  Ref<CTavrixItem> item = Make(r);
  EXPECT_TRUE(log.Contains("TavrixItem[" + owner.name + "\\P] : Invalid calculation settings(1)."));
  Put("cell", Variant::I4(0x12));
  ASSERT_EQ(Read(*item), S_OK);
  EXPECT_TRUE(item->value().Identical(Variant::Text("120")));
  Put("cell", Variant::I4(-1));
  r.m_bBCD = false;
  ASSERT_EQ(item->ApplySettings(r), S_OK);
  EXPECT_EQ(Read(*item), DISP_E_OVERFLOW);
  EXPECT_TRUE(
      log.Contains("TavrixItem[" + owner.name + "\\P] : Failed in calculating(0x8002000a)."));
  r.m_lCalcIndex = 0;  // code 0: no calculation
  ASSERT_EQ(item->ApplySettings(r), S_OK);
  Put("cell", Variant::I4(3));
  EXPECT_EQ(Read(*item), S_OK);
  EXPECT_TRUE(item->value().Identical(Variant::Text("3")));
}

TEST_F(ReadPipelineTest, AnAliasReadsItsTargetsCachedValue) {
  Ref<CTavrixItem> target = Make(VarItem("T", "counter"));
  ItemRecord r = VarItem("A", "T");
  r.m_lType = kItemTypeAlias;
  Ref<CTavrixItem> alias = Make(r);
  ItemRecord missing = VarItem("M", "nowhere");
  missing.m_lType = kItemTypeAlias;
  auto lost = MakeRef<CTavrixItem>();
  ASSERT_EQ(lost->Initialize(9, missing, owner), S_OK);
  EXPECT_EQ(lost->InitSubitem(), E_INVALIDARG);
  EXPECT_TRUE(log.Contains("CTavrixItem[" + owner.name +
                           "\\M] : _InitSubitem : Initialization failed because link "
                           "item(nowhere) does not exist."));
  EXPECT_EQ(lost->Activate(), S_OK);
  EXPECT_EQ(Read(*lost), E_FAIL);
  EXPECT_EQ(lost->state(), tvItemFailed);
  lost->Terminate();

  Link();
  ASSERT_EQ(Read(*target), S_OK);  // counter 0
  ASSERT_EQ(Read(*target), S_OK);  // counter 1
  bool providerRead = true;
  ASSERT_EQ(Read(*alias, 0, &providerRead), S_OK);
  EXPECT_FALSE(providerRead);
  EXPECT_TRUE(alias->value().Identical(Variant::I4(1)));
}

TEST_F(ReadPipelineTest, AnAliasOfAnotherControllerIsFoundThroughTheEngine) {
  BasicItemOwner other("Other");
  auto remote = MakeRef<CTavrixItem>();
  ItemRecord m = VarItem("Mem", "");
  m.m_bVariableEnabled = false;
  ASSERT_EQ(remote->Initialize(0, m, other), S_OK);
  ASSERT_EQ(remote->put_Value(Variant::Text("far")), S_OK);
  ASSERT_EQ(remote->ReadValue(0, nullptr), S_OK);
  owner.SetEngineLookup([&](std::string_view c, std::string_view i) {
    return c == "Other" && i == "Mem" ? remote : Ref<CTavrixItem>();
  });
  ItemRecord r = VarItem("A", "Other\\Mem");
  r.m_lType = kItemTypeAlias;
  Ref<CTavrixItem> alias = Make(r);
  Link();
  ASSERT_EQ(Read(*alias), S_OK);
  EXPECT_TRUE(alias->value().Identical(Variant::Text("far")));
  remote->Terminate();
}

}  // namespace
}  // namespace tavrix::item_test
