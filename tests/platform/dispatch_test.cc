#include "platform/dispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/enumerator.h"

namespace tavrix {
namespace {

constexpr IID kIidTestEngine{0x5A3C0001, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr IID kIidOther{0x5A3C0002, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

// An interface mirroring the shape of an engine: ids -4 and 0..7.
class ITestEngine : public IDispatch {
 public:
  static constexpr const IID& kIid = kIidTestEngine;
  virtual HRESULT get__NewEnum(Variant* out) = 0;
  virtual HRESULT get_Name(std::string* out) = 0;
  virtual HRESULT get_Count(int32_t* out) = 0;
  virtual HRESULT get_ScanTimes(int32_t index, int32_t* out) = 0;
  virtual HRESULT Execute(const std::string& cmd, const Variant& optParam, Variant* out) = 0;
  virtual HRESULT get_Tag(Variant* out) = 0;
  virtual HRESULT put_Tag(const Variant& v) = 0;
  virtual HRESULT get_SettingData(const std::string& name, Variant* out) = 0;
  virtual HRESULT put_SettingData(const std::string& name, const Variant& v) = 0;
  virtual HRESULT get_Element(int32_t i1, int32_t i2, int32_t i3, Variant* out) = 0;
  virtual HRESULT put_Element(int32_t i1, int32_t i2, int32_t i3, const Variant& v) = 0;
  virtual HRESULT Record(Variant* target, double r8, uint32_t u4, bool flag, Ref<IDispatch> obj,
                         int16_t i2) = 0;
  virtual HRESULT Start() = 0;

  // The one list of the interface's members, shared by every implementation.
  static const DispatchTable<ITestEngine>& DispatchMembers() {
    using D = DispatchTable<ITestEngine>;
    static const D table(
        "Test.Engine",
        {
            D::Get("_NewEnum", DISPID_NEWENUM, &ITestEngine::get__NewEnum),
            D::Get("Name", DISPID_VALUE, &ITestEngine::get_Name),
            D::Get("Count", 1, &ITestEngine::get_Count),
            D::Get("ScanTimes", 2, &ITestEngine::get_ScanTimes),
            D::Method("Execute", 3, &ITestEngine::Execute).Optional(1),
            D::Property("Tag", 4, &ITestEngine::get_Tag, &ITestEngine::put_Tag),
            D::Property("SettingData", 5, &ITestEngine::get_SettingData,
                        &ITestEngine::put_SettingData),
            D::Property("Element", 6, &ITestEngine::get_Element, &ITestEngine::put_Element),
            D::Method("Record", 7, &ITestEngine::Record).Defaults({Variant(), Variant::I2(7)}),
            D::Method("Start", 20, &ITestEngine::Start),
        });
    return table;
  }

 protected:
  ~ITestEngine() = default;
};

class TestEngine final : public DispatchObject<TestEngine, ITestEngine> {
 public:
  explicit TestEngine(std::atomic<int>* destroyed = nullptr) : destroyed_(destroyed) {}
  ~TestEngine() override {
    if (destroyed_) ++*destroyed_;
  }

  HRESULT get__NewEnum(Variant* out) override {
    *out = NewEnumVariant({Variant::I4(10), Variant::I4(20)});
    return S_OK;
  }
  HRESULT get_Name(std::string* out) override {
    *out = "engine";
    return S_OK;
  }
  HRESULT Start() override {
    ++starts;
    return S_FALSE;
  }
  int starts = 0;
  HRESULT get_Count(int32_t* out) override {
    *out = 2;
    return S_OK;
  }
  HRESULT get_ScanTimes(int32_t index, int32_t* out) override {
    if (index < 0 || index > 1) return DISP_E_BADINDEX;
    *out = 100 + index;
    return S_OK;
  }
  HRESULT Execute(const std::string& cmd, const Variant& optParam, Variant* out) override {
    if (cmd == "throw") throw std::runtime_error("command failed");
    if (cmd == "throw-other") throw 42;
    if (cmd == "fail") return E_ACCESSDENIED;
    lastCmd = cmd;
    lastOpt = optParam;
    *out = Variant::Text(cmd + "!");
    return S_OK;
  }
  HRESULT get_Tag(Variant* out) override {
    *out = tag;
    return S_OK;
  }
  HRESULT put_Tag(const Variant& v) override {
    tag = v;
    return S_OK;
  }
  HRESULT get_SettingData(const std::string& name, Variant* out) override {
    auto it = settings.find(name);
    if (it == settings.end()) return DISP_E_BADINDEX;
    *out = it->second;
    return S_OK;
  }
  HRESULT put_SettingData(const std::string& name, const Variant& v) override {
    settings[name] = v;
    return S_OK;
  }
  HRESULT get_Element(int32_t i1, int32_t i2, int32_t i3, Variant* out) override {
    *out = elements[{i1, i2, i3}];
    return S_OK;
  }
  HRESULT put_Element(int32_t i1, int32_t i2, int32_t i3, const Variant& v) override {
    elements[{i1, i2, i3}] = v;
    return S_OK;
  }
  HRESULT Record(Variant* target, double r8, uint32_t u4, bool flag, Ref<IDispatch> obj,
                 int16_t i2) override {
    got = {r8, u4, flag, obj.get(), i2};
    *target = Variant::I4(static_cast<int32_t>(target->i4() * 2));
    return S_OK;
  }

  std::string lastCmd;
  Variant lastOpt;
  Variant tag;
  std::map<std::string, Variant> settings;
  std::map<std::tuple<int32_t, int32_t, int32_t>, Variant> elements;
  struct Got {
    double r8;
    uint32_t u4;
    bool flag;
    IDispatch* obj;
    int16_t i2;
  } got{};

 private:
  std::atomic<int>* destroyed_;
};

class DispatchTest : public ::testing::Test {
 protected:
  HRESULT Call(DISPID id, uint16_t flags, std::vector<Variant> args, Variant* out = nullptr,
               ExcepInfo* excep = nullptr) {
    return engine->Invoke(id, flags, args, out, excep);
  }
  static constexpr uint16_t kGet = DISPATCH_PROPERTYGET;
  static constexpr uint16_t kCall = DISPATCH_METHOD;
  static constexpr uint16_t kEither = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  static constexpr uint16_t kPut = DISPATCH_PROPERTYPUT;

  Ref<TestEngine> engine = MakeRef<TestEngine>();
};

TEST_F(DispatchTest, NamesMapToTheDeclaredIdsWithoutRegardToCase) {
  const std::pair<const char*, DISPID> cases[] = {
      {"_NewEnum", -4}, {"name", 0},        {"COUNT", 1},   {"ScanTimes", 2}, {"execute", 3},
      {"Tag", 4},       {"settingdata", 5}, {"ELEMENT", 6}, {"Record", 7},
  };
  for (const auto& [name, id] : cases) {
    DISPID got = 99;
    EXPECT_EQ(engine->GetIDsOfNames(name, &got), S_OK) << name;
    EXPECT_EQ(got, id) << name;
  }
  DISPID got = 99;
  EXPECT_EQ(engine->GetIDsOfNames("Counts", &got), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(got, DISPID_UNKNOWN);
  EXPECT_EQ(engine->GetIDsOfNames("Count", nullptr), E_POINTER);
}

TEST_F(DispatchTest, FlagsMustFitTheMemberKind) {
  struct Case {
    DISPID id;
    uint16_t flags;
    HRESULT expected;
  };
  const Case cases[] = {
      {1, kGet, S_OK},                    // property get
      {1, kEither, S_OK},                 // `x = o.Count` in a script
      {1, kCall, DISP_E_MEMBERNOTFOUND},  // a get is no method
      {1, kPut, DISP_E_MEMBERNOTFOUND},   // and has no put
      {3, kCall, S_OK},                   // method
      {3, kEither, S_OK},
      {3, kGet, DISP_E_MEMBERNOTFOUND},
      {8, kEither, DISP_E_MEMBERNOTFOUND},  // no such id
      {-5, kGet, DISP_E_MEMBERNOTFOUND},
      {1, 0, DISP_E_MEMBERNOTFOUND},
  };
  for (const Case& c : cases) {
    std::vector<Variant> args;
    if (c.id == 3) args.push_back(Variant("cmd"));
    if (c.flags == kPut) args.push_back(Variant::I4(1));
    Variant out;
    EXPECT_EQ(Call(c.id, c.flags, args, &out), c.expected) << c.id << " flags " << c.flags;
  }
  Variant out;
  ASSERT_EQ(Call(1, kEither, {}, &out), S_OK);
  EXPECT_TRUE(out.Identical(Variant::I4(2)));
  ASSERT_EQ(Call(DISPID_VALUE, kEither, {}, &out), S_OK);  // the default member
  EXPECT_TRUE(out.Identical(Variant("engine")));
}

TEST_F(DispatchTest, ArgumentCountsAndOptionalParameters) {
  struct Case {
    std::vector<Variant> args;
    HRESULT expected;
    bool optMissing;
  };
  const Case cases[] = {
      {{Variant("a")}, S_OK, true},                      // omitted at the end
      {{Variant("a"), Variant::Missing()}, S_OK, true},  // passed as missing
      {{Variant("a"), Variant::I2(5)}, S_OK, false},
      {{}, DISP_E_BADPARAMCOUNT, false},                                    // too few
      {{Variant("a"), Variant(), Variant()}, DISP_E_BADPARAMCOUNT, false},  // too many
      {{Variant::Missing(), Variant()}, DISP_E_PARAMNOTOPTIONAL, false},
  };
  for (const Case& c : cases) {
    engine->lastOpt = Variant::I4(-1);
    Variant out = Variant::I4(-1);
    std::vector<Variant> args = c.args;
    EXPECT_EQ(engine->Invoke(3, kCall, args, &out), c.expected) << c.args.size();
    if (c.expected != S_OK) {
      EXPECT_TRUE(out.Identical(Variant::I4(-1))) << "result changed on failure";
      continue;
    }
    EXPECT_TRUE(out.Identical(Variant("a!")));
    EXPECT_EQ(engine->lastOpt.IsMissing(), c.optMissing);
  }
  // A Variant parameter gets the argument's value as it is.
  ASSERT_EQ(Call(3, kCall, {Variant("a"), Variant::I2(5)}), S_OK);
  EXPECT_TRUE(engine->lastOpt.Identical(Variant::I2(5)));
}

TEST_F(DispatchTest, ArgumentsConvertToTheParameterTypes) {
  ASSERT_EQ(Call(3, kCall, {Variant::I4(12)}), S_OK);  // int to text
  EXPECT_EQ(engine->lastCmd, "12");

  Variant out;
  ASSERT_EQ(Call(2, kGet, {Variant::R8(1.0)}, &out), S_OK);  // double to int
  EXPECT_TRUE(out.Identical(Variant::I4(101)));
  ASSERT_EQ(Call(2, kGet, {Variant("0")}, &out), S_OK);  // text to int
  EXPECT_TRUE(out.Identical(Variant::I4(100)));
  EXPECT_EQ(Call(2, kGet, {Variant("abc")}, &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Call(2, kGet, {Variant::Null()}, &out), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Call(2, kGet, {Variant::R8(1e20)}, &out), DISP_E_OVERFLOW);
  EXPECT_EQ(Call(2, kGet, {Variant::I4(5)}, &out), DISP_E_BADINDEX);  // the member's own result

  // Every scalar kind, an object given as VT_UNKNOWN, and a declared scalar default.
  Ref<TestEngine> other = MakeRef<TestEngine>();
  Variant target = Variant::I4(4);
  ASSERT_EQ(Call(7, kCall,
                 {Variant::ByRef(&target), Variant::I4(3), Variant::I2(9), Variant::I4(1),
                  Variant::Unknown(Ref<IUnknown>(static_cast<ITestEngine*>(other.get())))}),
            S_OK);
  EXPECT_EQ(engine->got.r8, 3.0);
  EXPECT_EQ(engine->got.u4, 9u);
  EXPECT_TRUE(engine->got.flag);
  EXPECT_EQ(engine->got.obj, static_cast<IDispatch*>(other.get()));
  EXPECT_EQ(engine->got.i2, 7);  // the declared default
  EXPECT_TRUE(target.Identical(Variant::I4(8)));

  // An omitted object is null; a number is no object.
  ASSERT_EQ(Call(7, kCall,
                 {Variant::ByRef(&target), Variant::I4(0), Variant::I4(0), Variant(false),
                  Variant::Missing(), Variant::I4(-2)}),
            S_OK);
  EXPECT_EQ(engine->got.obj, nullptr);
  EXPECT_EQ(engine->got.i2, -2);
  EXPECT_EQ(Call(7, kCall,
                 {Variant::ByRef(&target), Variant::I4(0), Variant::I4(0), Variant(false),
                  Variant::I4(1)}),
            DISP_E_TYPEMISMATCH);
}

TEST_F(DispatchTest, ByReferenceArgumentsAreFollowedAndWrittenBack) {
  Variant index = Variant::I4(1);
  Variant out;
  ASSERT_EQ(Call(2, kGet, {Variant::ByRef(&index)}, &out), S_OK);
  EXPECT_TRUE(out.Identical(Variant::I4(101)));

  Variant cmd("run");
  Variant opt = Variant::Missing();  // a missing value behind a reference is still missing
  ASSERT_EQ(Call(3, kCall, {Variant::ByRef(&cmd), Variant::ByRef(&opt)}), S_OK);
  EXPECT_EQ(engine->lastCmd, "run");
  EXPECT_TRUE(engine->lastOpt.IsMissing());

  // An in-out parameter passed by value: the member writes a copy only.
  std::vector<Variant> args = {Variant::I4(5), Variant::I4(0), Variant::I4(0), Variant(true)};
  ASSERT_EQ(engine->Invoke(7, kCall, args, nullptr), S_OK);
  EXPECT_TRUE(args[0].Identical(Variant::I4(5)));
}

TEST_F(DispatchTest, PropertyPutsTakeTheValueLast) {
  ASSERT_EQ(Call(4, kPut, {Variant("t")}), S_OK);
  ASSERT_EQ(Call(5, kPut, {Variant("rate"), Variant::R8(2.5)}), S_OK);
  ASSERT_EQ(Call(6, kPut, {Variant::I4(1), Variant::I4(2), Variant::I4(3), Variant("x")}), S_OK);

  Variant out;
  ASSERT_EQ(Call(4, kEither, {}, &out), S_OK);
  EXPECT_TRUE(out.Identical(Variant("t")));
  ASSERT_EQ(Call(5, kGet, {Variant("rate")}, &out), S_OK);
  EXPECT_TRUE(out.Identical(Variant::R8(2.5)));
  ASSERT_EQ(Call(6, kGet, {Variant::I4(1), Variant::I4(2), Variant::I4(3)}, &out), S_OK);
  EXPECT_TRUE(out.Identical(Variant("x")));
  EXPECT_TRUE(engine->elements.count({1, 2, 3}));

  // An object is put by reference the same way (`Set o.Tag = obj`).
  Ref<TestEngine> other = MakeRef<TestEngine>();
  ASSERT_EQ(Call(4, DISPATCH_PROPERTYPUTREF, {Variant::Dispatch(other)}), S_OK);
  EXPECT_EQ(engine->tag.dispatch(), static_cast<IDispatch*>(other.get()));

  EXPECT_EQ(Call(4, kPut, {}), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(4, kPut, {Variant::Missing()}), DISP_E_PARAMNOTOPTIONAL);
  EXPECT_EQ(Call(5, kPut, {Variant::I4(1)}), DISP_E_BADPARAMCOUNT);  // index missing
  EXPECT_EQ(Call(6, kPut,
                 {Variant::I4(1), Variant::I4(2), Variant::I4(3), Variant::I4(4), Variant::I4(5)}),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(6, kPut, {Variant::I4(1), Variant("z"), Variant::I4(3), Variant::I4(4)}),
            DISP_E_TYPEMISMATCH);
}

TEST_F(DispatchTest, NewEnumGivesAnEnumerator) {
  Variant out;
  ASSERT_EQ(Call(DISPID_NEWENUM, kEither, {}, &out), S_OK);
  ASSERT_EQ(out.vt(), VT_UNKNOWN);
  Ref<IEnumVARIANT> e = QueryAs<IEnumVARIANT>(out.unknown(), IID_IEnumVARIANT);
  ASSERT_TRUE(e);
  Variant items[3];
  uint32_t fetched = 0;
  EXPECT_EQ(e->Next(3, items, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 2u);
  EXPECT_TRUE(items[1].Identical(Variant::I4(20)));
}

TEST_F(DispatchTest, ExceptionsBecomeDispatchExceptions) {
  ExcepInfo excep;
  Variant out = Variant::I4(-1);
  EXPECT_EQ(Call(3, kCall, {Variant("throw")}, &out, &excep), DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, E_FAIL);
  EXPECT_EQ(excep.source, "Test.Engine");
  EXPECT_EQ(excep.description, "command failed");
  EXPECT_TRUE(out.Identical(Variant::I4(-1)));

  ExcepInfo other;
  EXPECT_EQ(Call(3, kCall, {Variant("throw-other")}, &out, &other), DISP_E_EXCEPTION);
  EXPECT_EQ(other.scode, E_FAIL);
  EXPECT_FALSE(other.description.empty());
  EXPECT_EQ(Call(3, kCall, {Variant("throw")}), DISP_E_EXCEPTION);  // no ExcepInfo given

  EXPECT_EQ(Call(3, kCall, {Variant("fail")}, &out), E_ACCESSDENIED);
  EXPECT_TRUE(out.Identical(Variant::I4(-1)));
  // A put gives no result: Empty.
  ASSERT_EQ(Call(4, kPut, {Variant::I4(1)}, &out), S_OK);
  EXPECT_TRUE(out.IsEmpty());
}

TEST(DispatchTableTest, RejectsCollidingEntries) {
  using D = DispatchTable<ITestEngine>;
  EXPECT_THROW(
      D("x", {D::Get("A", 1, &ITestEngine::get_Count), D::Get("B", 1, &ITestEngine::get_Name)}),
      std::invalid_argument);
  EXPECT_THROW(
      D("x", {D::Get("A", 1, &ITestEngine::get_Count), D::Get("a", 2, &ITestEngine::get_Name)}),
      std::invalid_argument);
  EXPECT_THROW(
      D::Method("Execute", 3, &ITestEngine::Execute).Defaults({Variant(), Variant(), Variant()}),
      std::invalid_argument);
  // A get and a put of one property may be listed apart.
  D table("x", {D::Get("Tag", 4, &ITestEngine::get_Tag), D::Put("tag", 4, &ITestEngine::put_Tag)});
  Ref<TestEngine> engine = MakeRef<TestEngine>();
  std::vector<Variant> args = {Variant::I4(3)};
  ASSERT_EQ(table.Invoke(engine.get(), 4, DISPATCH_PROPERTYPUT, args, nullptr), S_OK);
  Variant out;
  ASSERT_EQ(table.Invoke(engine.get(), 4, DISPATCH_PROPERTYGET, {}, &out), S_OK);
  EXPECT_TRUE(out.Identical(Variant::I4(3)));
}

TEST(ObjectTest, GuidTextIsUpperCaseRegistryForm) {
  EXPECT_EQ(GuidToString(IID_IDispatch), "{00020400-0000-0000-C000-000000000046}");
  EXPECT_EQ(GuidToString(IID_IConnectionPoint), "{B196B286-BAB4-101A-B69C-00AA00341D07}");
  EXPECT_EQ(GuidToString(Guid{0xFFFFFFFF, 0xABCD, 0x0001, {0, 0xFF, 1, 2, 3, 4, 5, 0x6A}}),
            "{FFFFFFFF-ABCD-0001-00FF-01020304056A}");
}

TEST(ObjectTest, QueryInterfaceAnswersTheListedIds) {
  Ref<TestEngine> engine = MakeRef<TestEngine>();
  void* p = nullptr;
  ASSERT_EQ(engine->QueryInterface(IID_IUnknown, &p), S_OK);
  Ref<IUnknown> unk = Ref<IUnknown>::Adopt(static_cast<IUnknown*>(p));
  EXPECT_EQ(unk.get(), static_cast<IUnknown*>(engine.get()));
  EXPECT_EQ(QueryAs<IDispatch>(unk.get(), IID_IDispatch).get(),
            static_cast<IDispatch*>(engine.get()));
  EXPECT_EQ(QueryAs<ITestEngine>(unk.get(), kIidTestEngine).get(), engine.get());

  p = &p;
  EXPECT_EQ(engine->QueryInterface(kIidOther, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(engine->QueryInterface(IID_IEnumVARIANT, &p), E_NOINTERFACE);
  EXPECT_EQ(engine->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

// Two interfaces and an alias: identity and IDispatch come through the first.
class ISecond : public IUnknown {
 public:
  static constexpr const IID& kIid = kIidOther;
  virtual int Second() = 0;

 protected:
  ~ISecond() = default;
};
constexpr IID kIidEvents{0x5A3C0003, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

class Both final : public Object<IDispatch, ISecond, AlsoAs<IDispatch, kIidEvents>> {
 public:
  HRESULT GetIDsOfNames(std::string_view, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, uint16_t, std::span<Variant>, Variant*, ExcepInfo*, LCID) override {
    return E_NOTIMPL;
  }
  int Second() override { return 2; }
};

TEST(ObjectTest, SeveralInterfacesShareOneIdentity) {
  Ref<Both> both = MakeRef<Both>();
  Ref<ISecond> second = QueryAs<ISecond>(static_cast<IDispatch*>(both.get()), kIidOther);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->Second(), 2);
  Ref<IUnknown> a = QueryAs<IUnknown>(second.get(), IID_IUnknown);
  Ref<IUnknown> b = QueryAs<IUnknown>(static_cast<IDispatch*>(both.get()), IID_IUnknown);
  EXPECT_EQ(a, b);
  EXPECT_EQ(QueryAs<IDispatch>(second.get(), kIidEvents).get(),
            static_cast<IDispatch*>(both.get()));
  EXPECT_EQ(QueryAs<IDispatch>(second.get(), IID_IDispatch).get(),
            static_cast<IDispatch*>(both.get()));
}

TEST(ObjectTest, CountingIsAtomicAndDeletesAtZero) {
  std::atomic<int> destroyed{0};
  {
    Ref<TestEngine> engine = MakeRef<TestEngine>(&destroyed);
    EXPECT_EQ(engine->AddRef(), 2u);  // MakeRef's Ref holds the first reference
    EXPECT_EQ(engine->Release(), 1u);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([engine] {
        for (int i = 0; i < 10000; ++i) {
          Ref<ITestEngine> copy = engine;
          void* p = nullptr;
          ASSERT_EQ(copy->QueryInterface(IID_IDispatch, &p), S_OK);
          static_cast<IDispatch*>(p)->Release();
        }
      });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(engine->AddRef(), 2u);
    engine->Release();
  }
  EXPECT_EQ(destroyed, 1);
}

TEST(DispatchTableTest, MethodWithoutParametersOrResult) {
  Ref<TestEngine> engine = MakeRef<TestEngine>();
  DISPID id = 0;
  ASSERT_EQ(engine->GetIDsOfNames("start", &id), S_OK);
  EXPECT_EQ(id, 20);
  Variant result = Variant::I4(99);
  EXPECT_EQ(engine->Invoke(id, DISPATCH_METHOD, {}, &result), S_FALSE);
  EXPECT_TRUE(result.IsEmpty());
  Variant extra = Variant::I4(1);
  EXPECT_EQ(engine->Invoke(id, DISPATCH_METHOD, std::span<Variant>(&extra, 1), nullptr),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(engine->starts, 1);
}

}  // namespace
}  // namespace tavrix
