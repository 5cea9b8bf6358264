// Building and initialising trees: the definitions that cannot be built or
// resolved, the names nodes get, the operand references, and the temporary
// items trees read and write.
#include "controller/temporary_items.h"
#include "trigger/controller_values.h"
#include "trigger/trigger_fixture.h"

namespace tavrix::trigger_test {
namespace {

// An action with free body texts (m_lAction given as text).
std::string RawAction(const std::string& action, const std::string& body,
                      const std::string& description = "bad") {
  return "<Action><m_strId>x</m_strId><Description>" + description +
         "</Description><m_lId>1</m_lId><m_lAction>" + action + "</m_lAction>" + body +
         "</Action>";
}

TEST_F(TriggerTest, DefinitionsThatCannotBeBuiltLeaveAnEmptyTreeAndSayWhy) {
  struct Case {
    const char* what;
    std::string trigger;
    std::string line;  // the creation's own line
    HRESULT result;
  } cases[] = {
      {"action not a number", RawAction("abc", ""),
       "CreateTriggerObserverExItem[bad] : Invalid m_lAction value.", DISP_E_TYPEMISMATCH},
      {"unknown action", RawAction("99", ""),
       "CreateTriggerObserverExItem[bad] : Invalid m_lAction value.", E_INVALIDARG},
      {"value type beyond 16 bits", RawAction("6", "<m_lPutType>70000</m_lPutType>"),
       "CreateTriggerObserverExItem[bad] : Invalid m_lPutType value.", DISP_E_OVERFLOW},
      {"condition beyond 16",
       "<Evaluation><Description>bad</Description><m_strName>Count</m_strName>"
       "<m_lCondition>17</m_lCondition></Evaluation>",
       "CreateTriggerObserverExItem[bad] : Invalid m_lCondition value.", E_INVALIDARG},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TriggerProject p;
    p.controllers.push_back({"A", {{"Count", "counter"}}, c.trigger});
    ASSERT_EQ(Start(p), S_OK);
    const auto line = LineOf(c.line);
    EXPECT_EQ(line.level, 3u);  // failures are written at level 3 at least
    EXPECT_EQ(line.result, c.result);
    EXPECT_TRUE(log_.Contains("TavrixController[A] : Failed CreateTriggerObserverEx."));
    // The empty tree in its place initialises and the controller samples.
    EXPECT_EQ(InitResult("A"), 1);
    EXPECT_TRUE(WaitFor([&] { return ValueOf("A", "Count").vt() == VT_I4; }));
    StopEngine();
  }
}

TEST_F(TriggerTest, ADisabledDefinitionIsSkippedWithItsDescendants) {
  TriggerProject p;
  p.controllers.push_back(
      {"A", {{"Count", "counter"}},
       "<Evaluation><Description>off</Description><m_bEnabled>False</m_bEnabled>"
       "<m_strName>Nowhere</m_strName><m_lCondition>10</m_lCondition>" +
           RawAction("99", "", "inner") + "</Evaluation>"});
  ASSERT_EQ(Start(p), S_OK);
  EXPECT_EQ(LineOf("CreateTriggerObserverExItem[off] : Disabled item. Create canceled.").level,
            0u);
  // Neither the unknown item nor the unknown action below it was looked at.
  EXPECT_FALSE(log_.Contains("Invalid m_lAction value."));
  EXPECT_EQ(InitResult("A"), 1);
}

TEST_F(TriggerTest, OperandReferencesResolveOrFailInitialisation) {
  struct Case {
    std::string name;
    bool resolves;
  } cases[] = {
      {"Count", true},
      {"count", true},  // item names without regard to case
      {"B\\Other", true},
      {"*a", true},
      {"B\\*b", true},
      {"$Controller.Name$", true},
      {"$controller.settingdata20$", true},
      {"$Message.VALUE$", true},
      {"$Trigger.LastError$", true},
      {"Nope", false},
      {"Z\\Count", false},
      {"B\\*a", false},  // a is declared by A, not by B
      {"*zz", false},
      {"$Controller.SettingData21$", false},
      {"$Controller.Name", false},
      {"$", false},
      {"$Message.Body$", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TriggerProject p;
    TriggerController a{"A", {{"Count", "counter"}},
                        Evaluation(c.name, 0, "1", "", "", "Evaluation", "watch")};
    a.tempVariables = "a";
    TriggerController b{"B", {{"Other", "counter"}}};
    b.tempVariables = "b";
    p.controllers = {a, b};
    ASSERT_EQ(Start(p), S_OK);
    EXPECT_EQ(InitResult("A"), c.resolves ? 1 : 2);
    if (!c.resolves) {
      const auto line = LineOf("CEvaluationObject[A\\watch(1)] : Invalid item name [" + c.name + "].");
      EXPECT_EQ(line.level, 3u);
      EXPECT_EQ(line.result, E_INVALIDARG);
      EXPECT_TRUE(log_.Contains("CEvaluationObject[A\\watch(1)] : Initialize failed."));
      EXPECT_EQ(Controller("A")->traceList(), std::vector<std::string>{"A\\watch(1)"});
    }
    StopEngine();
  }
}

TEST_F(TriggerTest, ProjectsBefore14HaveNoTemporaryItems) {
  TriggerProject p;
  p.version = "1.3.0";
  TriggerController a{"A", {{"Count", "counter"}}, Evaluation("*a", 0, "1", "")};
  a.tempVariables = "a";
  p.controllers = {a};
  ASSERT_EQ(Start(p), S_OK);
  EXPECT_EQ(InitResult("A"), 2);
  EXPECT_EQ(Controller("A")->temporaryItems().size(), 0u);
}

TEST(TemporaryItemsTest, DeclaredNamesGetNegativeIndexesAndKeepCopies) {
  TemporaryItems items;
  items.Recreate({"a", "b", "A"});  // a repeated name keeps its first item
  EXPECT_EQ(items.size(), 2u);
  EXPECT_EQ(items.IndexOf("a"), -1);
  EXPECT_EQ(items.IndexOf("*B"), -2);
  EXPECT_TRUE(items.Exists("*A"));
  Variant v;
  EXPECT_EQ(items.GetValue("*a", &v), E_INVALIDARG);  // values by declared name only
  EXPECT_EQ(items.GetValue("a", &v), S_OK);
  EXPECT_TRUE(v.IsEmpty());
  Variant target = Variant::I4(7);
  EXPECT_EQ(items.SetValue("A", Variant::ByRef(&target)), S_OK);
  target = Variant::I4(8);  // the item holds a copy, not the reference
  EXPECT_EQ(items.GetValue("a", &v), S_OK);
  EXPECT_EQ(v.vt(), VT_I4);
  EXPECT_EQ(v.i4(), 7);
  EXPECT_EQ(items.SetValue("c", Variant::I4(1)), E_INVALIDARG);
  items.Recreate({"c"});
  EXPECT_FALSE(items.Exists("a"));
  EXPECT_EQ(items.IndexOf("c"), -3);  // indexes never come back
}

TEST(ControllerValueNamesTest, NamesNumberInTheirOrder) {
  struct Case {
    const char* name;
    int32_t number;
  } cases[] = {{"Index", 0},          {"name", 1},           {"ScanTimes0", 5},
               {"ScanTimes2", 7},     {"ScanTimes3", -1},    {"Tag", 8},
               {"SettingData0", 9},   {"SettingData20", 29}, {"SettingData05", -1},
               {"TriggerInitState", 30}, {"TriggerErrorActions", 31},
               {"ExternalFunctionsStatus", 32}, {"Bogus", -1}};
  for (const Case& c : cases) EXPECT_EQ(ControllerValueNumber(c.name), c.number) << c.name;
  EXPECT_EQ(MessageFieldNumber("value"), 5);
  EXPECT_EQ(MessageFieldNumber("SerialNumber"), -1);
}

}  // namespace
}  // namespace tavrix::trigger_test
