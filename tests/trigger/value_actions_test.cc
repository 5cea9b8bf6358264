// The actions that move values: put value (constants and copies), put
// message, system values, controller commands and calculations; what they
// write, and the definitions that cannot initialise.
#include <atomic>

#include "controller/controller_parts.h"
#include "kivdata/typed_text.h"
#include "platform/clock.h"
#include "platform/date.h"
#include "trigger/trigger_fixture.h"
#include "trigger/trigger_services.h"
#include "zelt/interfaces.h"

namespace tavrix::trigger_test {
namespace {

Variant Typed(const std::string& text) {
  Variant v;
  EXPECT_EQ(ParseTypedText(text, &v), S_OK) << text;
  return v;
}

// A put-message action writing the message field `field` to `item`.
std::string PutMessage(const std::string& item, const std::string& field,
                       const std::string& description = "msg", const std::string& id = "1") {
  return Action(8, "<m_strPutItem>" + item + "</m_strPutItem><m_strPutValue>" + field +
                       "</m_strPutValue>",
                description, id);
}

// A system-value action writing `source` to `item`.
std::string SystemValue(const std::string& item, const std::string& source,
                        const std::string& description = "sys", const std::string& id = "1") {
  return Action(14, "<m_strPutItem>" + item + "</m_strPutItem><m_strPutValue>" + source +
                        "</m_strPutValue>",
                description, id);
}

struct Argument {
  std::string type;
  std::string value;
};

// A controller-execute action.
std::string ControllerExecute(const std::string& command, const std::string& resultItem,
                              const std::string& argumentType = "0",
                              const std::vector<Argument>& arguments = {},
                              const std::string& description = "exec",
                              const std::string& id = "1") {
  std::string body = "<ExecuteParam><m_strResultItem>" + resultItem +
                     "</m_strResultItem><m_strCommand>" + command +
                     "</m_strCommand><m_lArgumentType>" + argumentType +
                     "</m_lArgumentType><ArgumentValues>";
  for (const Argument& a : arguments) {
    body += "<ArgumentValue><m_lArgumentValueType>" + a.type +
            "</m_lArgumentValueType><m_strArgumentValue>" + a.value +
            "</m_strArgumentValue></ArgumentValue>";
  }
  return Action(11, body + "</ArgumentValues></ExecuteParam>", description, id);
}

using ValueActionsTest = TriggerTest;

TEST_F(ValueActionsTest, PutValueWritesTheConstantOfItsTypeToItemsAndTemporaryItems) {
  struct Case {
    int type;
    std::string text;
    Variant expected;
  } cases[] = {
      {3, "42", Variant::I4(42)},
      {5, "2.5", Variant::R8(2.5)},
      {8, "a, b", Variant::Text("a, b")},
      {11, "True", Variant::Bool(true)},
      {0x2003, "1,2,3", Typed("8195,1,2,3")},
      {0x2008, "x,,y", Typed("8200,x,\"\",y")},
      {8204, "{3,1},{5,2.5},abc", Typed("8204,{3,1},{5,2.5},abc")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    TriggerProject p;
    TriggerController a{"A", {{"Out", "out"}},
                        PutValue("Out", c.text, c.type, "put", "1") +
                            PutValue("*a", c.text, c.type, "tmp", "2")};
    a.tempVariables = "a,b";
    p.controllers = {a};
    ASSERT_EQ(Start(p), S_OK);
    EXPECT_EQ(InitResult("A"), 1);
    EXPECT_TRUE(WaitFor([&] { return ValueOf("A", "Out").Identical(c.expected); }));
    EXPECT_TRUE(WaitFor([&] { return TemporaryValueOf("A", "a").Identical(c.expected); }));
    EXPECT_TRUE(TemporaryValueOf("A", "b").IsEmpty());
    StopEngine();
  }
}

TEST_F(ValueActionsTest, PutValueOfType29CopiesTheSourceAtEveryExecution) {
  TriggerProject p;
  TriggerController a{"A", {{"Count", "counter"}, {"Out", "out"}},
                      PutValue("Out", "A\\Count", 29, "own", "1") +
                          PutValue("*a", "B\\Other", 29, "other", "2") +
                          PutValue("*b", "*a", 29, "temp", "3")};
  a.tempVariables = "a,b";
  TriggerController b{"B", {{"Other", "counter"}}};
  p.controllers = {a, b};
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_EQ(InitResult("A"), 1);
  // Counters grow by one a read: a copy made once would stand still.
  for (const auto& read : std::vector<std::function<Variant()>>{
           [&] { return ValueOf("A", "Out"); }, [&] { return TemporaryValueOf("A", "a"); },
           [&] { return TemporaryValueOf("A", "b"); }}) {
    ASSERT_TRUE(WaitFor([&] { return read().vt() == VT_I4; }));
    const int32_t first = read().i4();
    EXPECT_TRUE(WaitFor([&] { return read().vt() == VT_I4 && read().i4() > first + 2; }));
  }
}

TEST_F(ValueActionsTest, ActionsThatCannotResolveFailInitialisationAndSayWhy) {
  struct Case {
    const char* what;
    std::string trigger;
    std::string line;
    HRESULT result;
  } cases[] = {
      {"unknown target item", PutValue("Nope", "1"),
       "CPutValueActionObject[A\\put(1)] : Failed in Initialize().", E_INVALIDARG},
      {"unknown target controller", PutValue("Out", "1", 3, "put", "1", "Z"),
       "CPutValueActionObject[A\\put(1)] : Failed in Initialize().", E_INVALIDARG},
      {"text that is no number", PutValue("Out", "abc", 3),
       "CPutValueActionObject[A\\put(1)] : Failed in Initialize().", DISP_E_TYPEMISMATCH},
      {"bad array element", PutValue("Out", "1,x", 0x2003),
       "CPutValueActionObject[A\\put(1)] : Failed in Initialize().", DISP_E_TYPEMISMATCH},
      {"bad variant array", PutValue("Out", "{3,x}", 8204),
       "CPutValueActionObject[A\\put(1)] : Failed in Initialize().", DISP_E_TYPEMISMATCH},
      {"source of unknown controller", PutValue("Out", "Z\\Count", 29),
       "CPutValueActionObject[A\\put(1)] : Failed in Initialize(). Invalid Controller name.",
       E_INVALIDARG},
      {"source of unknown item", PutValue("Out", "A\\Nope", 29),
       "CPutValueActionObject[A\\put(1)] : Failed in Initialize(). Invalid Item name.",
       E_INVALIDARG},
      {"undeclared temporary source", PutValue("Out", "*zz", 29),
       "CPutValueActionObject[A\\put(1)] : Failed in Initialize(). Invalid Item name.",
       E_INVALIDARG},
      {"message field missing", PutMessage("Out", ""),
       "CPutMessageActionObject[A\\msg(1)] : Failed in Initialize().", E_INVALIDARG},
      {"message field unknown", PutMessage("Out", "$Message.BODY$"),
       "CPutMessageActionObject[A\\msg(1)] : Failed in Initialize().", E_INVALIDARG},
      {"message target unknown", PutMessage("Nope", "VALUE"),
       "CPutMessageActionObject[A\\msg(1)] : Failed in Initialize().", E_INVALIDARG},
      {"system value of two fields", SystemValue("Out", "A\\Name"),
       "CPutSystemValueObject[A\\sys(1)] : Failed in Initialize().", E_INVALIDARG},
      {"system value of four fields", SystemValue("Out", "A\\Count\\Value\\x"),
       "CPutSystemValueObject[A\\sys(1)] : Failed in Initialize().", E_INVALIDARG},
      {"unknown engine value", SystemValue("Out", "\\\\Uptime"),
       "CPutSystemValueObject[A\\sys(1)] : Failed in Initialize().", E_INVALIDARG},
      {"unknown item property", SystemValue("Out", "\\Count\\Colour"),
       "CPutSystemValueObject[A\\sys(1)] : Failed in Initialize().", E_INVALIDARG},
      {"setting data past 34", SystemValue("Out", "\\Count\\SettingData35"),
       "CPutSystemValueObject[A\\sys(1)] : Failed in Initialize().", E_INVALIDARG},
      {"system value of unknown controller", SystemValue("Out", "Z\\\\Name"),
       "CPutSystemValueObject[A\\sys(1)] : Failed in Initialize().", E_INVALIDARG},
      {"argument type no number", ControllerExecute("ONLINE", "", "x"),
       "CControllerExecuteActionObject[A\\exec(1)] : Failed in Initialize().", E_INVALIDARG},
      {"result item unknown", ControllerExecute("ONLINE", "*zz"),
       "CControllerExecuteActionObject[A\\exec(1)] : Invalid item name [*zz].", E_INVALIDARG},
      {"argument constant of its type", ControllerExecute("ONLINE", "", "3", {{"3", "abc"}}),
       "CControllerExecuteValueObject[A\\exec(1)] : Invalid constants [abc].",
       DISP_E_TYPEMISMATCH},
      {"argument item unknown", ControllerExecute("ONLINE", "", "3", {{"16387", "B\\Nope"}}),
       "CControllerExecuteValueObject[A\\exec(1)] : Invalid item name [B\\Nope].",
       E_INVALIDARG},
      {"calculations without a builder",
       Action(13,
              "<CalculationList><Calculation><m_lCalcIndex>0</m_lCalcIndex>"
              "<m_strTarget>Out</m_strTarget><m_strLeft>Count</m_strLeft>"
              "</Calculation></CalculationList>",
              "calc"),
       "CCalcActionObject[A\\calc(1)] : Failed in Initialize().", E_NOTIMPL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TriggerProject p;
    TriggerController a{"A", {{"Count", "counter"}, {"Out", "out"}}, c.trigger};
    a.tempVariables = "a";
    TriggerController b{"B", {{"Other", "counter"}}};
    p.controllers = {a, b};
    ASSERT_EQ(Start(p), S_OK);
    EXPECT_EQ(InitResult("A"), 2);
    const auto line = LineOf(c.line);
    EXPECT_EQ(line.text.empty(), false) << c.line;
    EXPECT_EQ(line.result, c.result);
    StopEngine();
  }
}

TEST_F(ValueActionsTest, SystemValuesReadTheEngineControllersAndItemProperties) {
  TriggerProject p;
  TriggerController a{
      "A", {{"Count", "counter"}, {"Out", "out"}},
      // The failing command leaves its result for LastError to read.
      ControllerExecute("BOGUS", "", "0", {}, "fail", "1") +
          SystemValue("*err", "\\\\LastError", "err", "2") +
          SystemValue("*utc", "\\\\systemtime", "utc", "3") +
          SystemValue("*local", "\\\\LocalTime", "local", "4") +
          SystemValue("*own", "\\\\Name", "own", "5") +
          SystemValue("*name", "A\\\\Name", "name", "6") +
          SystemValue("*count", "B\\\\Count", "count", "7") +
          SystemValue("*value", "\\Count\\Value", "value", "8") +
          SystemValue("*item", "B\\Other\\name", "item", "9") +
          SystemValue("*index", "\\Out\\Index", "index", "10") +
          SystemValue("*ok", "\\\\LastError", "ok", "11") +
          SystemValue("*tag", "\\Count\\Tag", "tag", "12") +
          SystemValue("*queue", "\\\\AsyncQueueSize", "queue", "13")};
  a.tempVariables = "err,utc,local,own,name,count,value,item,index,ok,tag,queue";
  // The count the external trigger plug-in reports through its settings.
  EXPECT_EQ(TriggerServices::Instance().WriteSetting("$TVX_ASYNC_QUEUE_COUNT$", Variant::Text("x")),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(TriggerServices::Instance().WriteSetting("$TVX_OTHER$", Variant::I4(1)), E_NOTIMPL);
  ASSERT_EQ(TriggerServices::Instance().WriteSetting("$TVX_ASYNC_QUEUE_COUNT$", Variant::Text("7")),
            S_OK);
  TriggerController b{"B", {{"Other", "counter"}, {"More", "more"}}};
  p.controllers = {a, b};
  const int64_t before = SystemClock().UtcMicros();
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_EQ(InitResult("A"), 1);
  auto temp = [&](const char* name) { return TemporaryValueOf("A", name); };
  ASSERT_TRUE(WaitFor([&] { return !temp("ok").IsEmpty(); }));

  EXPECT_TRUE(temp("err").Identical(Variant::I4(E_INVALIDARG.code())));
  // The system value before it succeeded and cleared the result.
  EXPECT_TRUE(temp("ok").Identical(Variant::I4(0)));
  ASSERT_EQ(temp("utc").vt(), VT_DATE);
  EXPECT_GE(temp("utc").date(), DateFromUnixMicros(before) - 1.0 / 86400);
  EXPECT_LE(temp("utc").date(), DateFromUnixMicros(SystemClock().UtcMicros()));
  ASSERT_EQ(temp("local").vt(), VT_DATE);
  double local = 0;
  ASSERT_EQ(UtcToLocal(temp("utc").date(), &local), S_OK);
  EXPECT_NEAR(temp("local").date(), local, 1.0 / 24);
  EXPECT_TRUE(temp("own").Identical(Variant::Text("A")));
  EXPECT_TRUE(temp("name").Identical(Variant::Text("A")));
  EXPECT_TRUE(temp("count").Identical(Variant::I4(2)));
  EXPECT_EQ(temp("value").vt(), VT_I4);
  EXPECT_TRUE(temp("item").Identical(Variant::Text("Other")));
  EXPECT_TRUE(temp("index").Identical(Variant::I4(Item("A", "Out")->index())));
  EXPECT_TRUE(temp("queue").Identical(Variant::I4(7)));
  TriggerServices::Instance().Reset();
  // A property items do not keep fails at each execution.
  EXPECT_TRUE(temp("tag").IsEmpty());
  const auto line = LineOf("CPutSystemValueObject[A\\tag(12)] : Failed in Execute().");
  EXPECT_EQ(line.result, E_NOTIMPL);
  EXPECT_TRUE(log_.Contains("CControllerExecuteActionObject[A\\fail(1)] : Failed in Execute()."));
}

TEST_F(ValueActionsTest, ControllerExecuteRunsTheCommandAndKeepsItsAnswer) {
  TriggerProject p;
  TriggerController a{
      "A", {{"Count", "counter"}},
      ControllerExecute("ONLINE", "*r", "8195", {{"3", "7"}, {"16387", "Count"}}, "on", "1") +
          ControllerExecute("MESSAGE,x", "*s", "1", {}, "bad", "2")};
  a.tempVariables = "r,s";
  p.controllers = {a};
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_EQ(InitResult("A"), 1);
  Ref<CTavrixController> c = Controller("A");
  // The simulator answers with nothing: the answer replaces what the item held.
  ASSERT_EQ(c->temporaryItems().SetValue("r", Variant::I4(7)), S_OK);
  EXPECT_TRUE(WaitFor([&] { return TemporaryValueOf("A", "r").IsEmpty(); }));
  ASSERT_EQ(c->temporaryItems().SetValue("s", Variant::I4(7)), S_OK);
  // The failing command is reported to the root in a later pass and writes
  // no answer.
  log_.Clear();
  ASSERT_TRUE(WaitForLine("CControllerExecuteActionObject[A\\bad(2)] : Failed in Execute()."));
  const auto line = LineOf("CControllerExecuteActionObject[A\\bad(2)] : Failed in Execute().");
  EXPECT_EQ(line.result, E_INVALIDARG);
  EXPECT_TRUE(TemporaryValueOf("A", "s").Identical(Variant::I4(7)));
  EXPECT_TRUE(WaitFor([&] {
    const auto trace = c->traceList();
    return std::find(trace.begin(), trace.end(), "A\\bad(2)") != trace.end();
  }));
}

TEST_F(ValueActionsTest, PutMessageWritesMessageFieldsOnlyInAMessageExecution) {
  TriggerProject p;
  TriggerController a{"A", {{"Count", "counter"}},
                      PutMessage("*text", "DESCRIPTION", "text", "1") +
                          PutMessage("*number", "$Message.Number$", "number", "2")};
  a.tempVariables = "text,number";
  a.extra = "<m_bEventBinding>True</m_bEventBinding>";  // messages reach the tree
  p.controllers = {a};
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_EQ(InitResult("A"), 1);
  // Cycles run the actions without a message: nothing is written.
  ASSERT_TRUE(WaitFor([&] {
    const Variant v = ValueOf("A", "Count");
    return v.vt() == VT_I4 && v.i4() > 5;
  }));
  EXPECT_TRUE(TemporaryValueOf("A", "text").IsEmpty());
  EXPECT_TRUE(TemporaryValueOf("A", "number").IsEmpty());

  Ref<IZeltController> zelt = Controller("A")->zeltController();
  ASSERT_TRUE(zelt);
  Variant answer;
  ASSERT_EQ(zelt->Execute(Variant::Text("MESSAGE,5,hello, world"), Variant(), &answer), S_OK);
  EXPECT_TRUE(WaitFor(
      [&] { return TemporaryValueOf("A", "text").Identical(Variant::Text("hello, world")); }));
  EXPECT_TRUE(TemporaryValueOf("A", "number").Identical(Variant::I4(5)));
}

TEST_F(ValueActionsTest, AMessageTheTreeItselfRaisesDoesNotRunTheTreeAgain) {
  // The simulator raises the message on the thread that sends the command:
  // inside the cycle's pass, under the controller's items lock.
  TriggerProject p;
  TriggerController a{"A", {{"Count", "counter"}},
                      Evaluation("Count", 12, "", PutMessage("*text", "DESCRIPTION", "text", "1")) +
                          ControllerExecute("MESSAGE,5,again", "")};
  a.tempVariables = "text";
  a.extra = "<m_bEventBinding>True</m_bEventBinding>";
  p.controllers = {a};
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_EQ(InitResult("A"), 1);
  ASSERT_TRUE(WaitForLine("TavrixController[A] : A message raised by its own trigger is not handled."));
  EXPECT_TRUE(TemporaryValueOf("A", "text").IsEmpty());
  // A message from elsewhere still runs the tree.
  Variant answer;
  ASSERT_EQ(Controller("A")->zeltController()->Execute(Variant::Text("MESSAGE,6,outside"),
                                                       Variant(), &answer),
            S_OK);
  EXPECT_TRUE(WaitFor(
      [&] { return TemporaryValueOf("A", "text").Identical(Variant::Text("outside")); }));
}

TEST_F(ValueActionsTest, CalculationsWithoutABuilderAndWithoutLinesHaveNothingToDo) {
  TriggerProject p;
  p.controllers.push_back(
      {"A", {{"Out", "out"}}, Action(13, "<CalculationList></CalculationList>", "calc") +
                                  PutValue("Out", "1", 3, "put", "2")});
  ASSERT_EQ(Start(p), S_OK);
  EXPECT_EQ(InitResult("A"), 1);
  EXPECT_TRUE(WaitFor([&] { return ValueOf("A", "Out").Identical(Variant::I4(1)); }));
}

TEST_F(ValueActionsTest, CalculationsRunTheBuiltLinesAndReportTheirFailure) {
  // A builder whose lines fail with E_ABORT once they have run twice.
  struct Lines final : ICalculationList {
    std::atomic<int>* runs;
    HRESULT Execute(bool) override { return ++*runs > 2 ? E_ABORT : S_OK; }
  };
  std::atomic<int> runs{0};
  std::vector<ControllerCalcInfo> seen;
  ControllerParts::Instance().createCalculations =
      [&](CTavrixController&, const std::vector<ControllerCalcInfo>& definitions,
          std::unique_ptr<ICalculationList>* out) {
        seen = definitions;
        auto lines = std::make_unique<Lines>();
        lines->runs = &runs;
        *out = std::move(lines);
        return S_OK;
      };
  TriggerProject p;
  p.controllers.push_back(
      {"A", {{"Out", "out"}},
       Action(13,
              "<CalculationList><Calculation><m_lCalcIndex>2</m_lCalcIndex>"
              "<m_strTarget>Out</m_strTarget><m_strLeft>1</m_strLeft>"
              "<m_strRight>2</m_strRight></Calculation></CalculationList>",
              "calc")});
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_EQ(InitResult("A"), 1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].m_strTarget, "Out");
  EXPECT_EQ(seen[0].m_strRight, "2");
  ASSERT_TRUE(WaitForLine("CCalcActionObject[A\\calc(1)] : Failed in Execute()."));
  EXPECT_EQ(LineOf("CCalcActionObject[A\\calc(1)] : Failed in Execute().").result, E_ABORT);
  EXPECT_TRUE(WaitFor([&] {
    return Controller("A")->traceList() == std::vector<std::string>{"A\\calc(1)"};
  }));
  StopEngine();  // the lines count into `runs`
}

}  // namespace
}  // namespace tavrix::trigger_test
