// Script classes: Class ... End Class with variables, methods and property
// procedures, defaults, Me and New, Class_Initialize / Class_Terminate, the
// compile errors of class declarations, and instances as a host sees them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <sstream>
#include <thread>

#include "vbscript/builtins_typename.h"
#include "vbscript/script_fixture.h"

namespace tavrix::vbs::testing {
namespace {

// A class most rows use: a value with validation, an indexed property, a
// default member, methods public and private.
constexpr const char* kGauge =
    "Class Gauge\n"
    "  Public Unit\n"
    "  Private m_value, m_marks(2)\n"
    "  Private Sub Class_Initialize() : m_value = 0 : Unit = \"bar\" : End Sub\n"
    "  Public Default Property Get Value() : Value = m_value : End Property\n"
    "  Public Property Let Value(v)\n"
    "    If v < 0 Then Err.Raise 5, \"Gauge\", \"negative\"\n"
    "    m_value = v\n"
    "  End Property\n"
    "  Public Property Get Mark(i) : Mark = m_marks(i) : End Property\n"
    "  Public Property Let Mark(i, v) : m_marks(i) = v : End Property\n"
    "  Public Sub Add(n) : m_value = m_value + n : Check : End Sub\n"
    "  Private Sub Check()\n"
    "    If m_value > 100 Then m_value = 100\n"
    "  End Sub\n"
    "  Public Function Scaled(f) : Scaled = Value * f : End Function\n"
    "  Public Function Self() : Set Self = Me : End Function\n"
    "End Class\n";

void RunClassTable(std::span<const Case> cases) {
  const auto classLines =
      static_cast<int>(std::count(kGauge, kGauge + std::strlen(kGauge), '\n'));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome o = RunScript(std::string(kGauge) + c.script);
    EXPECT_EQ(o.output, c.output) << Describe(o);
    EXPECT_EQ(o.error, c.error) << Describe(o);
    // Lines count from the first line after the class.
    if (c.error != 0) {
      EXPECT_EQ(o.line - classLines, c.line) << Describe(o);
    }
  }
}

TEST(VbsClasses, MembersPropertiesAndDefaults) {
  static const Case kCases[] = {
      // VarType of an object with a default member is the type of its value.
      {"variables, properties and methods",
       "Set g = New Gauge\ng.Value = 40 : g.Add 5\ng.Unit = \"psi\"\n"
       "WScript.Echo g.Value, g.Unit, g.Scaled(2), TypeName(g), VarType(g), IsObject(g)",
       "45 psi 90 Gauge 2 True\n"},
      {"a private method runs by name inside the class",
       "Set g = New Gauge\ng.Add 150\nWScript.Echo g.Value", "100\n"},
      {"the default member", "Set g = New Gauge\ng.Value = 7\nx = g\n"
                             "WScript.Echo x, g + 1, g, TypeName(x)",
       "7 8 7 Integer\n"},
      {"indexed property", "Set g = New Gauge\ng.Mark(1) = \"mid\"\nWScript.Echo g.Mark(1), "
                           "IsEmpty(g.Mark(0))",
       "mid True\n"},
      {"Me", "Set g = New Gauge\nWScript.Echo g.Self() Is g, g.Self().Unit", "True bar\n"},
      {"a property's error reaches the caller",
       "Set g = New Gauge\nOn Error Resume Next\ng.Value = -1\n"
       "WScript.Echo Err.Number, Err.Source, Err.Description, g.Value",
       "5 Gauge negative 0\n"},
      {"private members are not reachable from outside", "Set g = New Gauge\ng.Check", "",
       kErrNoSuchMember, 2},
      {"private variables either", "Set g = New Gauge\nx = g.m_value", "", kErrNoSuchMember, 2},
      {"instances are objects", "Set a = New Gauge : Set b = a : b.Value = 3\n"
                                "Dim list(1) : Set list(0) = a\n"
                                "WScript.Echo a.Value, list(0).Value, a Is b, New Gauge Is a",
       "3 3 True False\n"},
      {"With on an instance", "Set g = New Gauge\nWith g\n.Value = 12\n.Add 1\n"
                              "WScript.Echo .Value, .Unit\nEnd With",
       "13 bar\n"},
      {"New of an unknown class", "x = 1\nSet g = New Missing", "", kErrClassNotDefined, 2},
  };
  RunClassTable(kCases);
}

TEST(VbsClasses, ProcedureRulesInsideClasses) {
  static const Case kCases[] = {
      {"Property Set, Exit Property, recursion and ByRef",
       "Class Node\n  Private m_next\n  Public Data\n"
       "  Public Property Get NextNode() : Set NextNode = m_next : End Property\n"
       "  Public Property Set NextNode(n) : Set m_next = n : End Property\n"
       "  Public Property Get Depth()\n    Depth = 1\n    If IsEmpty(m_next) Then Exit Property\n"
       "    Depth = 1 + m_next.Depth\n  End Property\n"
       "  Public Sub Swap(a, b) : Dim t : t = a : a = b : b = t : End Sub\n"
       "End Class\n"
       "Set a = New Node : Set b = New Node : Set c = New Node\n"
       "Set a.NextNode = b : Set b.NextNode = c\n"
       "x = 1 : y = 2 : a.Swap x, y\n"
       "WScript.Echo a.Depth, c.Depth, x, y",
       "3 1 2 1\n"},
      {"array variables of a class",
       "Class Bag\n  Public Items(2)\n  Private m_more()\n"
       "  Public Function Grow(n)\n    ReDim Preserve m_more(n) : Grow = UBound(m_more)\n"
       "  End Function\n"
       "End Class\nSet b = New Bag\nb.Items(1) = \"x\"\n"
       "WScript.Echo b.Items(1), UBound(b.Items), b.Grow(4)",
       "x 2 4\n"},
      {"a class declared after its use, a default method with arguments",
       "Set t = New Table\nWScript.Echo t(3), t.Cell(4)\n"
       "Class Table\n  Public Default Function Cell(i) : Cell = \"c\" & i : End Function\n"
       "End Class",
       "c3 c4\n"},
      {"an instance without a default member has no value",
       "Class Plain\nEnd Class\nSet p = New Plain\nx = p", "", kErrNoSuchMember, 4},
  };
  RunTable(kCases);
}

TEST(VbsClasses, InitializeAndTerminate) {
  static const Case kCases[] = {
      {"Terminate when the last reference goes",
       "Class T\n  Public Name\n  Sub Class_Initialize() : WScript.Echo \"init\" : End Sub\n"
       "  Sub Class_Terminate() : WScript.Echo \"term \" & Me.Name : End Sub\nEnd Class\n"
       "Set a = New T : a.Name = \"a\" : Set b = a\nSet a = Nothing\nWScript.Echo \"still held\"\n"
       "Set b = New T : b.Name = \"b\"\nWScript.Echo \"reassigned\"\n"
       "Sub Local : Dim t : Set t = New T : t.Name = \"local\" : End Sub\nLocal\n"
       "WScript.Echo \"end\"",
       "init\nstill held\ninit\nterm a\nreassigned\ninit\nterm local\nend\n"},
      {"Terminate keeps the caller's Err",
       "Class T\n  Sub Class_Terminate() : On Error Resume Next : x = 1 / 0 : End Sub\nEnd Class\n"
       "On Error Resume Next\nSet a = New T\nErr.Raise 7\nSet a = Nothing\nWScript.Echo Err.Number",
       "7\n"},
      {"a failing Initialize stops New",
       "Class T\n  Sub Class_Initialize() : Err.Raise 9 : End Sub\n"
       "  Sub Class_Terminate() : WScript.Echo \"term\" : End Sub\nEnd Class\n"
       "On Error Resume Next\nSet a = New T\nWScript.Echo Err.Number, IsEmpty(a)",
       "9 True\n"},
  };
  RunTable(kCases);
}

TEST(VbsClasses, DeclarationErrors) {
  static const Case kCases[] = {
      {"two defaults", "Class A\nPublic Default Function F : End Function\n"
                       "Public Default Sub G : End Sub\nEnd Class",
       "", 1052, 3},
      {"Property outside a class", "x = 1\nProperty Get P : End Property", "", 1048, 2},
      {"Me outside a class", "x = 1\nSet y = Me", "", 1037, 2},
      {"Default on a private member", "Class A\nPrivate Default Sub G : End Sub\nEnd Class", "",
       1057, 2},
      {"Default on Property Let", "Class A\nPublic Default Property Let P(v) : End Property\n"
                                  "End Class",
       "", 1058, 2},
      {"Property Let without the value", "Class A\nProperty Let P() : End Property\nEnd Class", "",
       1054, 2},
      {"Class_Initialize with arguments", "Class A\nSub Class_Initialize(x) : End Sub\nEnd Class",
       "", 1053, 2},
      {"Let and Get disagree", "Class A\nProperty Get P(i) : End Property\n"
                               "Property Let P(v) : End Property\nEnd Class",
       "", 1051, 3},
      {"a name twice", "Class A\nPublic x\nSub X : End Sub\nEnd Class", "", kErrNameRedefined, 3},
      {"statements in a class body", "Class A\nx = 1\nEnd Class", "", kErrSyntax, 2},
      {"End Class missing", "Class A\nPublic x\nEnd Sub", "", kErrExpectedClass, 3},
  };
  RunTable(kCases);
}

// An engine that has run `script`, with a WScript whose output outlives it.
struct HostRun {
  std::ostringstream out, err;
  std::unique_ptr<ScriptEngine> engine = std::make_unique<ScriptEngine>();
  explicit HostRun(std::string_view script) {
    WScriptOptions options;
    options.out = &out;
    options.err = &err;
    options.lcid = 1033;
    (void)engine->AddNamedObject("WScript", MakeWScript(std::move(options)));
    EXPECT_EQ(engine->Parse(script), S_OK);
    EXPECT_EQ(engine->RunModule(), S_OK) << engine->lastError().description;
  }
};

TEST(VbsClasses, InstancesAsTheHostSeesThem) {
  HostRun run(std::string(kGauge) +
              "Set g = New Gauge\ng.Value = 5\n"
              "Class T\n  Sub Class_Terminate() : WScript.Echo \"bye\" : End Sub\nEnd Class\n"
              "Set keeper = New T\n");
  Variant held;
  ASSERT_EQ(run.engine->GetGlobal("g", &held), S_OK);
  ASSERT_EQ(held.vt(), VT_DISPATCH);
  IDispatch* g = held.dispatch();

  DISPID add = 0, check = 0;
  ASSERT_EQ(g->GetIDsOfNames("ADD", &add), S_OK);
  EXPECT_EQ(g->GetIDsOfNames("Check", &check), DISP_E_UNKNOWNNAME);  // private
  Variant args[] = {Variant::I4(10)};
  ASSERT_EQ(g->Invoke(add, DISPATCH_METHOD, args, nullptr), S_OK);
  Variant value;
  ASSERT_EQ(g->Invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, {}, &value), S_OK);
  EXPECT_EQ(value.vt(), VT_I4);
  EXPECT_EQ(value.i4(), 15);

  // A failing member reports the script's error through ExcepInfo.
  Variant negative[] = {Variant::I4(-1)};
  ExcepInfo excep;
  EXPECT_EQ(g->Invoke(DISPID_VALUE, DISPATCH_PROPERTYPUT, negative, nullptr, &excep),
            DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, ScriptError(5));
  EXPECT_EQ(excep.description, "negative");
  EXPECT_EQ(excep.source, "Gauge");
  Variant wrongCount[] = {Variant::I4(1), Variant::I4(2)};
  EXPECT_EQ(g->Invoke(add, DISPATCH_METHOD, wrongCount, nullptr), DISP_E_BADPARAMCOUNT);

  Ref<IScriptTypeName> named = QueryAs<IScriptTypeName>(g, IID_IScriptTypeName);
  ASSERT_TRUE(named);
  EXPECT_EQ(named->TypeName(), "Gauge");

  // The engine goes: module variables first, so Class_Terminate runs while
  // WScript is still there.
  EXPECT_EQ(run.out.str(), "");
  run.engine.reset();
  EXPECT_EQ(run.out.str(), "bye\n");
  // The host's reference outlives the engine: the instance answers, but runs
  // nothing.
  DISPID id = 0;
  EXPECT_EQ(g->GetIDsOfNames("Add", &id), E_UNEXPECTED);
  EXPECT_EQ(g->Invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, {}, &value), E_UNEXPECTED);
}

TEST(VbsClasses, CyclesGoWithTheEngine) {
  // Two instances holding each other outlive every variable; the engine
  // breaks the cycle when it goes (the sanitizer build reports a leak
  // otherwise), without running script code in half-gone objects.
  HostRun run("Class N\n  Public Other\n  Sub Class_Terminate() : WScript.Echo \"term\" : "
              "End Sub\nEnd Class\n"
              "Set a = New N : Set b = New N : Set a.Other = b : Set b.Other = a\n"
              "Set a = Nothing : Set b = Nothing\nWScript.Echo \"dropped\"");
  EXPECT_EQ(run.out.str(), "dropped\n");
  run.engine.reset();
  EXPECT_EQ(run.out.str(), "dropped\n");
}

TEST(VbsClasses, InterruptStopsAMethod) {
  ScriptEngine engine;
  ASSERT_EQ(engine.Parse("Class Spinner\n  Sub Spin : Do : Loop : End Sub\nEnd Class\n"
                         "On Error Resume Next\nSet s = New Spinner\ns.Spin\nx = 1"),
            S_OK);
  const HRESULT stop = ScriptError(kErrException);
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    engine.Interrupt(stop);
  });
  EXPECT_EQ(engine.RunModule(), stop);
  stopper.join();
  Variant x;
  ASSERT_EQ(engine.GetGlobal("x", &x), S_OK);
  EXPECT_TRUE(x.IsEmpty());  // On Error did not carry on after the interrupt
}

}  // namespace
}  // namespace tavrix::vbs::testing
