// The object model's contract: "already exists" everywhere, lookups, Remove by
// Index, class objects, providers plugged in through the registry, and the
// late-bound surface.
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <vector>

#include "platform/enumerator.h"
#include "zelt/provider.h"
#include "zelt_fixture.h"

namespace tavrix::zelt_test {
namespace {

// Identity of an object: its IUnknown pointer.
IUnknown* Identity(IUnknown* p) {
  Ref<IUnknown> u = QueryAs<IUnknown>(p, IID_IUnknown);
  return u.get();
}

using ObjectModelTest = ZeltTest;

TEST_F(ObjectModelTest, EverySecondAddOfANameGivesAlreadyExistsAndItemGivesTheFirst) {
  Ref<IZeltController> c = Open("Cell1");
  Ref<IZeltClassObject> task, file;
  ASSERT_EQ(c->AddTask("Main", "", &task), S_OK);
  ASSERT_EQ(c->AddFile("Dir", "", &file), S_OK);
  Ref<IZeltClassObjects> tasks, robots, extensions, files, nested;
  ASSERT_EQ(c->get_Tasks(&tasks), S_OK);
  ASSERT_EQ(c->get_Robots(&robots), S_OK);
  ASSERT_EQ(c->get_Extensions(&extensions), S_OK);
  ASSERT_EQ(c->get_Files(&files), S_OK);
  ASSERT_EQ(file->get_Files(&nested), S_OK);
  Ref<IZeltControllers> controllers;
  ASSERT_EQ(workspace->get_Controllers(&controllers), S_OK);

  using Add = std::function<HRESULT(std::string_view, IUnknown**)>;
  using Item = std::function<HRESULT(std::string_view, IUnknown**)>;
  // Adds and lookups handing back the raw identity (kept alive by the collections).
  auto classAdd = [](auto fn) {
    return [fn](std::string_view name, IUnknown** out) {
      Ref<IZeltClassObject> o;
      const HRESULT hr = fn(name, &o);
      *out = o ? Identity(o.get()) : nullptr;
      return hr;
    };
  };
  auto classItem = [](Ref<IZeltClassObjects> coll) {
    return [coll](std::string_view name, IUnknown** out) {
      Ref<IZeltClassObject> o;
      const HRESULT hr = coll->Item(Variant::Text(name), &o);
      *out = o ? Identity(o.get()) : nullptr;
      return hr;
    };
  };
  auto varAdd = [](Ref<IZeltVariables> vars) {
    return [vars](std::string_view name, IUnknown** out) {
      Ref<IZeltVariable> v;
      const HRESULT hr = vars->Add(name, "", &v);
      *out = v ? Identity(v.get()) : nullptr;
      return hr;
    };
  };
  auto varItem = [](Ref<IZeltVariables> vars) {
    return [vars](std::string_view name, IUnknown** out) {
      Ref<IZeltVariable> v;
      const HRESULT hr = vars->Item(Variant::Text(name), &v);
      *out = v ? Identity(v.get()) : nullptr;
      return hr;
    };
  };
  struct Case {
    const char* what;
    Add add;
    Item item;
  };
  const Case cases[] = {
      {"AddController",
       [&](std::string_view n, IUnknown** out) {
         Ref<IZeltController> o;
         const HRESULT hr = workspace->AddController(n, "ZeltProv.Sim", "", "", &o);
         *out = o ? Identity(o.get()) : nullptr;
         return hr;
       },
       [&](std::string_view n, IUnknown** out) {
         Ref<IZeltController> o;
         const HRESULT hr = controllers->Item(Variant::Text(n), &o);
         *out = o ? Identity(o.get()) : nullptr;
         return hr;
       }},
      {"AddTask", classAdd([&](auto n, auto o) { return c->AddTask(n, "", o); }), classItem(tasks)},
      {"AddRobot", classAdd([&](auto n, auto o) { return c->AddRobot(n, "", o); }),
       classItem(robots)},
      {"AddExtension", classAdd([&](auto n, auto o) { return c->AddExtension(n, "", o); }),
       classItem(extensions)},
      {"AddFile", classAdd([&](auto n, auto o) { return c->AddFile(n, "", o); }), classItem(files)},
      {"nested AddFile", classAdd([&](auto n, auto o) { return file->AddFile(n, "", o); }),
       classItem(nested)},
      {"controller Variables.Add", varAdd(Variables(c.get())), varItem(Variables(c.get()))},
      {"task Variables.Add", varAdd(Variables(task.get())), varItem(Variables(task.get()))},
      {"file Variables.Add", varAdd(Variables(file.get())), varItem(Variables(file.get()))},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    IUnknown* first = nullptr;
    ASSERT_EQ(k.add("Press.Speed", &first), S_OK);
    ASSERT_NE(first, nullptr);
    IUnknown* second = reinterpret_cast<IUnknown*>(1);
    const HRESULT again = k.add("PRESS.speed", &second);
    EXPECT_EQ(again.bits(), 0x80000205u);
    EXPECT_TRUE(again.failed());  // the high bit: a failure to every caller that only tests sign
    EXPECT_EQ(second, nullptr);
    IUnknown* found = nullptr;
    ASSERT_EQ(k.item("press.SPEED", &found), S_OK);
    EXPECT_EQ(found, first);
    EXPECT_EQ(k.item("Press.Speed2", &found), DISP_E_BADINDEX);
  }
}

TEST_F(ObjectModelTest, RemoveTakesTheIndexAndIndexesAreNeverReused) {
  Ref<IZeltController> a = Open("A"), b = Open("B"), c = Open("C");
  int32_t ia = 0, ib = 0, ic = 0;
  ASSERT_EQ(a->get_Index(&ia), S_OK);
  ASSERT_EQ(b->get_Index(&ib), S_OK);
  ASSERT_EQ(c->get_Index(&ic), S_OK);
  EXPECT_TRUE(ia != ib && ib != ic && ia != ic);
  Ref<IZeltVariable> counter = AddVar(b.get(), "counter");
  EXPECT_EQ(Read(counter.get()).i4(), 0);

  ASSERT_EQ(workspace->Remove(ib), S_OK);
  Ref<IZeltControllers> list;
  ASSERT_EQ(workspace->get_Controllers(&list), S_OK);
  int32_t count = 0;
  ASSERT_EQ(list->get_Count(&count), S_OK);
  EXPECT_EQ(count, 2);
  Ref<IZeltController> found;
  EXPECT_EQ(list->Item(Variant("B"), &found), DISP_E_BADINDEX);
  ASSERT_EQ(list->Item(Variant::I4(1), &found), S_OK);  // positions close up
  EXPECT_EQ(found.get(), c.get());
  EXPECT_EQ(workspace->Remove(ib), DISP_E_BADINDEX);
  EXPECT_EQ(workspace->Remove(0), DISP_E_BADINDEX);

  // The removed object still works for its holders; the name opens afresh
  // with a new Index on the same simulated device.
  EXPECT_EQ(Read(counter.get()).i4(), 1);
  Ref<IZeltController> again = Open("b");
  int32_t iagain = 0;
  ASSERT_EQ(again->get_Index(&iagain), S_OK);
  EXPECT_TRUE(iagain != ia && iagain != ib && iagain != ic);
  EXPECT_EQ(Read(AddVar(again.get(), "COUNTER").get()).i4(), 2);
}

TEST_F(ObjectModelTest, AddControllerRefusals) {
  struct Case {
    const char* name;
    const char* provider;
    HRESULT expected;
    const char* described;
  };
  const Case cases[] = {
      {"X", "ZeltProv.Nothing", REGDB_E_CLASSNOTREG, "ZeltProv.Nothing"},
      {"X", "", REGDB_E_CLASSNOTREG, "provider"},
      {"", "ZeltProv.Sim", E_INVALIDARG, "name"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.provider);
    Ref<IZeltController> c;
    EXPECT_EQ(workspace->AddController(k.name, k.provider, "", "", &c), k.expected);
    EXPECT_EQ(c, nullptr);
    EXPECT_NE(ZeltLastError().find(k.described), std::string::npos) << ZeltLastError();
  }
  Ref<IZeltController> c;
  EXPECT_EQ(workspace->AddController("X", "zeltprov.SIM", "host", "", &c), S_OK);
}

TEST_F(ObjectModelTest, ClassObjectsKnowTheirKindAndOnlyFilesNest) {
  Ref<IZeltController> c = Open("Kinds");
  Ref<IZeltClassObject> t, r, e, f, nested;
  ASSERT_EQ(c->AddTask("t", "", &t), S_OK);
  ASSERT_EQ(c->AddRobot("r", "", &r), S_OK);
  ASSERT_EQ(c->AddExtension("e", "", &e), S_OK);
  ASSERT_EQ(c->AddFile("f", "", &f), S_OK);
  const std::pair<IZeltClassObject*, int32_t> kinds[] = {{t.get(), tvVarClassTask},
                                                         {r.get(), tvVarClassRobot},
                                                         {e.get(), tvVarClassExtension},
                                                         {f.get(), tvVarClassFile}};
  for (auto [object, kind] : kinds) {
    int32_t got = -1;
    ASSERT_EQ(object->get_Kind(&got), S_OK);
    EXPECT_EQ(got, kind);
    Ref<IZeltClassObjects> files;
    Ref<IZeltClassObject> child;
    const HRESULT expected = kind == tvVarClassFile ? S_OK : E_NOTIMPL;
    EXPECT_EQ(object->get_Files(&files), expected);
    EXPECT_EQ(object->AddFile("child", "", &child), expected);
  }
  ASSERT_EQ(f->AddFile("", "", &nested), E_INVALIDARG);
  // A name is unique per collection, not across kinds or levels.
  ASSERT_EQ(c->AddRobot("t", "", &nested), S_OK);
  ASSERT_EQ(f->AddFile("f", "", &nested), S_OK);
}

// A provider that records what the objects ask of it.
class RecordingProvider final : public IZeltProvider {
 public:
  struct Log {
    std::mutex mutex;  // guards calls
    std::vector<std::string> calls;
    void Add(std::string s) {
      std::lock_guard lock(mutex);
      calls.push_back(std::move(s));
    }
  };
  explicit RecordingProvider(Log* log) : log_(log) {}

  static std::string Scope(const ZeltScope& scope) {
    std::string s;
    for (const ZeltScopeStep& step : scope) s += "/" + std::to_string(step.kind) + ":" + step.name;
    return s.empty() ? "/" : s;
  }

  HRESULT Open(std::string_view name, std::string_view machine, std::string_view option,
               MessageHandler) override {
    log_->Add("Open " + std::string(name) + " " + std::string(machine) + " " + std::string(option));
    return name == "refuse" ? E_ACCESSDENIED : S_OK;
  }
  std::string Description() const override { return "recording"; }
  HRESULT AddClassObject(const ZeltScope& scope, std::string_view option) override {
    log_->Add("Class " + Scope(scope) + " " + std::string(option));
    return S_OK;
  }
  HRESULT AddVariable(const ZeltScope& scope, std::string_view name, std::string_view option,
                      std::unique_ptr<IZeltPoint>*) override {
    log_->Add("Var " + Scope(scope) + " " + std::string(name) + " " + std::string(option));
    return E_NOTIMPL;
  }
  HRESULT Execute(const ZeltScope& scope, const Variant& command, const Variant& param,
                  Variant* result) override {
    log_->Add("Exec " + Scope(scope) + " " + command.text());
    *result = param;
    return S_FALSE;
  }

 private:
  Log* log_;
};

TEST_F(ObjectModelTest, RegisteredProvidersGetTheScopesAndPassResultsThrough) {
  static RecordingProvider::Log log;
  RegisterZeltProvider("Test.Recording", [] { return std::make_unique<RecordingProvider>(&log); });
  Ref<IZeltController> c;
  ASSERT_EQ(workspace->AddController("Dev", "TEST.recording", "m1", "k=v", &c), S_OK);
  Ref<IZeltController> refused;
  EXPECT_EQ(workspace->AddController("refuse", "Test.Recording", "", "", &refused), E_ACCESSDENIED);

  Ref<IZeltClassObject> dir, sub, task;
  ASSERT_EQ(c->AddFile("dir", "o1", &dir), S_OK);
  ASSERT_EQ(dir->AddFile("sub", "o2", &sub), S_OK);
  ASSERT_EQ(c->AddTask("T", "", &task), S_OK);
  Ref<IZeltVariable> v;
  EXPECT_EQ(Variables(sub.get())->Add("x", "opt", &v), E_NOTIMPL);  // the provider's refusal
  Variant result;
  EXPECT_EQ(task->Execute(Variant("go"), Variant::I4(5), &result), S_FALSE);
  EXPECT_EQ(result.i4(), 5);
  EXPECT_EQ(c->Execute(Variant("stop"), Variant(), &result), S_FALSE);
  std::string description;
  ASSERT_EQ(c->get_Description(&description), S_OK);
  EXPECT_EQ(description, "recording");

  const std::vector<std::string> expected = {
      "Open Dev m1 k=v", "Open refuse  ",          "Class /4:dir o1", "Class /4:dir/4:sub o2",
      "Class /1:T ",     "Var /4:dir/4:sub x opt", "Exec /1:T go",    "Exec / stop"};
  std::lock_guard lock(log.mutex);
  EXPECT_EQ(log.calls, expected);
}

// Late-bound calls, the way a script makes them.
class LateBound {
 public:
  static Variant Call(const Variant& object, std::string_view member, uint16_t flags,
                      std::vector<Variant> args = {}, HRESULT expected = S_OK) {
    IDispatch* d = object.dispatch();
    EXPECT_NE(d, nullptr) << member;
    if (d == nullptr) return {};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(d->GetIDsOfNames(member, &id), S_OK) << member;
    Variant result;
    EXPECT_EQ(d->Invoke(id, flags, args, &result), expected) << member;
    return result;
  }
  static Variant Get(const Variant& o, std::string_view m, std::vector<Variant> args = {}) {
    return Call(o, m, DISPATCH_PROPERTYGET | DISPATCH_METHOD, std::move(args));
  }
};

TEST_F(ObjectModelTest, ScriptsReachEveryObjectLateBound) {
  using L = LateBound;
  const Variant eng = Variant::Dispatch(Ref<IDispatch>(static_cast<IDispatch*>(engine.get())));
  const Variant ws = L::Get(L::Get(eng, "Workspaces"), "Item", {Variant::I4(0)});
  EXPECT_EQ(L::Get(ws, "name").text(), "Default");
  const Variant c = L::Get(ws, "AddController", {Variant("Late"), Variant("ZeltProv.Sim")});
  L::Call(ws, "AddController", DISPATCH_METHOD, {Variant("late"), Variant("ZeltProv.Sim")},
          TVX_E_ZELT_ALREADY_EXISTS);
  EXPECT_EQ(L::Get(L::Get(ws, "Controllers"), "Count").i4(), 1);
  EXPECT_EQ(L::Get(c, "Index").vt(), VT_I4);

  const Variant vars = L::Get(c, "Variables");
  const Variant counter = L::Get(vars, "Add", {Variant("counter:5:2")});
  EXPECT_EQ(L::Get(counter, "Value").i4(), 5);
  EXPECT_EQ(L::Get(counter, "DateTime").vt(), VT_DATE);
  L::Call(counter, "ID", DISPATCH_PROPERTYPUT, {Variant::I4(77)});
  EXPECT_EQ(L::Get(L::Get(vars, "Item", {Variant("COUNTER:5:2")}), "ID").i4(), 77);
  const Variant cell = L::Get(vars, "Add", {Variant("cell"), Variant("")});
  L::Call(cell, "Value", DISPATCH_PROPERTYPUT, {Variant("written")});
  EXPECT_EQ(L::Get(cell, "Value").text(), "written");

  const Variant task = L::Get(c, "AddTask", {Variant("T1")});
  EXPECT_EQ(L::Get(task, "Kind").i4(), tvVarClassTask);
  EXPECT_EQ(L::Get(L::Get(c, "Tasks"), "Item", {Variant("t1")}).dispatch(), task.dispatch());
  L::Call(c, "Execute", DISPATCH_METHOD, {});  // no command: nothing happens

  // For Each over the variables, in order of addition.
  const Variant e = L::Get(vars, "_NewEnum");
  Ref<IEnumVARIANT> en = QueryAs<IEnumVARIANT>(e.unknown(), IID_IEnumVARIANT);
  ASSERT_TRUE(en);
  Variant items[3];
  uint32_t fetched = 0;
  EXPECT_EQ(en->Next(3, items, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(L::Get(items[0], "Name").text(), "counter:5:2");
  EXPECT_EQ(L::Get(items[1], "Name").text(), "cell");
}

}  // namespace
}  // namespace tavrix::zelt_test
