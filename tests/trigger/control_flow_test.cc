// Control flow of trigger trees: evaluations and their else branches, repeat
// and counting loops, switches, function blocks, return, break and continue.
// The trees write into temporary items what they did.
#include "config/argument_markers.h"
#include "trigger/trigger_fixture.h"

namespace tavrix::trigger_test {
namespace {

// Put-value of a text (type 8) or an integer (type 3) into a temporary item.
std::string SetText(const std::string& name, const std::string& text, const std::string& id) {
  return PutValue("*" + name, text, 8, "set", id);
}
std::string SetInt(const std::string& name, int value, const std::string& id) {
  return PutValue("*" + name, std::to_string(value), 3, "set", id);
}

std::string Condition(const std::string& name, int condition, const std::string& threshold = "") {
  return "<Condition><m_strName>" + name + "</m_strName><m_lCondition>" +
         std::to_string(condition) + "</m_lCondition><m_strThreshold>" + threshold +
         "</m_strThreshold></Condition>";
}

// Runs `inner` once: in the first cycle after startup only (condition 14).
std::string FirstCycleOnly(const std::string& inner) {
  return Evaluation("$Trigger.LastError$", 14, "", inner, "", "Evaluation", "once");
}

std::string For(const std::string& count, const std::string& current, const std::string& body) {
  return "<For><Description>loop</Description><m_lId>1</m_lId><m_strCountItem>" + count +
         "</m_strCountItem><m_strCurrentCountItem>" + current + "</m_strCurrentCountItem>" +
         body + "</For>";
}

class ControlFlowTest : public TriggerTest {
 protected:
  // Starts one controller A with the temporary items r, s, i and the tree.
  void StartTree(const std::string& trigger, const std::string& workspace = "") {
    TriggerProject p;
    p.workspace = workspace;
    TriggerController a{"A", {{"Count", "counter"}}, trigger};
    a.tempVariables = "r,s,i";
    p.controllers = {a};
    ASSERT_EQ(Start(p), S_OK);
    ASSERT_EQ(InitResult("A"), 1);
  }
  // Waits for a few cycles after the first so that every pass has run.
  void LetCyclesRun() {
    ASSERT_TRUE(WaitFor([&] { return ValueOf("A", "Count").vt() == VT_I4 &&
                                     ValueOf("A", "Count").i4() >= 5; }));
  }
  int32_t IntOf(const std::string& name) {
    const Variant v = TemporaryValueOf("A", name);
    return v.vt() == VT_I4 ? v.i4() : -999;
  }
};

TEST_F(ControlFlowTest, EvaluationsChooseChildrenOrElseAndStopEarly) {
  // s holds a text that no boolean reads: evaluating the second condition
  // (rising, on s) leaves a line, so the line shows whether it was reached.
  struct Case {
    const char* what;
    std::string conjunction;
    std::string conditions;
    int32_t branch;  // 2 children, 1 else
    bool secondEvaluated;
  } cases[] = {
      {"all must hold, the first fails", "0", Condition("Count", 11) + Condition("*s", 7), 1, false},
      {"all must hold and do", "0", Condition("Count", 10) + Condition("Count", 3, "-1"), 2, false},
      {"one suffices, the first holds", "1", Condition("Count", 10) + Condition("*s", 7), 2, false},
      {"one suffices, none holds", "1", Condition("Count", 11) + Condition("*s", 7), 1, true},
      {"no conditions at all", "0", "", 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string evaluation = "<Evaluation><Description>pick</Description><m_lId>1</m_lId>"
                             "<m_lConjunction>" + c.conjunction + "</m_lConjunction>" +
                             c.conditions + SetInt("r", 2, "2") + "<Else>" + SetInt("r", 1, "3") +
                             "</Else></Evaluation>";
    if (c.conditions.empty()) {
      // Without conditions of its own records the node reads its own texts;
      // condition 11 never holds, which the else branch shows.
      evaluation = Evaluation("Count", 11, "", SetInt("r", 2, "2"), SetInt("r", 1, "3"));
    }
    StartTree(SetText("s", "abc", "1") + evaluation);
    LetCyclesRun();
    EXPECT_EQ(IntOf("r"), c.branch);
    EXPECT_EQ(log_.Contains("Failed convert bool in Execute()."), c.secondEvaluated);
    StopEngine();
  }
}

TEST_F(ControlFlowTest, RepeatRunsUntilTheLimitThenFails) {
  // Each pass ends with a continue, whose line counts the passes: 100 run,
  // the 101st fails the repeat.
  StartTree(FirstCycleOnly(Evaluation("Count", 10, "",
                                      SetInt("r", 1, "1") + Action(18, "", "pass", "1"), "",
                                      "While", "spin")),
            "<m_bExecuteStartupTrigger>False</m_bExecuteStartupTrigger>");
  LetCyclesRun();
  const auto line = LineOf("CWhileObject[A\\spin(1)] : The maximum number of loops has been reached.");
  EXPECT_EQ(line.result, E_FAIL);
  EXPECT_EQ(CountOf("CWhileObject[A\\spin(1)] : The maximum number"), 1);
  EXPECT_EQ(CountOf("CContinueObject[A\\pass(1)] : Loop continue."), 100);
}

TEST_F(ControlFlowTest, RepeatWithBreakAndContinue) {
  // A counting loop of 4 passes (index in i) runs a repeat that holds while
  // r is not 5; the repeat sets r to 5, then breaks in pass 2 and continues
  // in the others. Conditions read their values now (source 2): the loops
  // change them within one execution.
  const std::string now = "<m_bPrevValue>2</m_bPrevValue>";
  const std::string body =
      SetInt("r", 5, "1") + Evaluation("*i", 0, "2", Action(17, "", "brk", "1"),
                                       Action(18, "", "cont", "1"), "Evaluation", "which", now);
  StartTree(FirstCycleOnly(
      For("4", "*i", SetInt("r", 0, "2") + Evaluation("*r", 1, "5", body, "", "While", "w", now))));
  LetCyclesRun();
  EXPECT_EQ(IntOf("i"), 4);
  EXPECT_EQ(CountOf("CBreakObject[A\\brk(1)] : Loop break."), 1);
  EXPECT_EQ(CountOf("CContinueObject[A\\cont(1)] : Loop continue."), 3);
}

TEST_F(ControlFlowTest, CountingLoopsCountWriteTheirIndexAndCheckTheirCount) {
  struct Case {
    const char* what;
    std::string count;
    std::string body;
    int32_t finalIndex;  // -999: never written
    const char* line;
  } cases[] = {
      {"three passes", "3", SetInt("r", 1, "1"), 3, nullptr},
      {"no pass", "0", SetInt("r", 1, "1"), 0, nullptr},
      {"break in the third pass", "5",
       Evaluation("*i", 0, "2", Action(17, "", "brk", "1"), "", "Evaluation", "at2",
                  "<m_bPrevValue>2</m_bPrevValue>"),
       2, nullptr},
      {"continue in the last pass", "2", Action(18, "", "cont", "1"), 2, nullptr},
      {"count from a text item", "$*s", SetInt("r", 1, "1"), -999,
       "CForObject[A\\loop(1)] : Failed to execute repeat processing. Please set the number of "
       "repeat count as an integer."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StartTree(SetText("s", "abc", "9") + FirstCycleOnly(For(c.count, "*i", c.body)));
    LetCyclesRun();
    EXPECT_EQ(IntOf("i"), c.finalIndex);
    if (c.line != nullptr) {
      EXPECT_EQ(LineOf(c.line).result, E_INVALIDARG);
    } else {
      EXPECT_FALSE(log_.Contains("CForObject[A\\loop(1)] : Failed"));
    }
    StopEngine();
  }
}

TEST_F(ControlFlowTest, NamesAndCountsThatDoNotResolveFailInitialisation) {
  // Names from definitions are printed as they are, never read as formats.
  struct Case {
    std::string trigger;
    const char* line;
  } cases[] = {
      {For("-1", "", ""), "CForObject[A\\loop(1)] : Invalid constants [-1]."},
      {For("many", "", ""), "CForObject[A\\loop(1)] : Invalid constants [many]."},
      {For("$*none", "", ""), "CForObject[A\\loop(1)] : Invalid item name [$*none]."},
      {For("2", "*none", ""), "CForObject[A\\loop(1)] : Invalid item name [*none]."},
      {Evaluation("no%sitem", 0, "1", ""),
       "CEvaluationObject[A\\eval(1)] : Invalid item name [no%sitem]."},
      {Evaluation("Count", 0, "$Z\\Count", ""),
       "CEvaluationObject[A\\eval(1)] : Invalid threthold controller name [Z\\Count]."},
      {Evaluation("Count", 0, "$%d", ""),
       "CEvaluationObject[A\\eval(1)] : Invalid threthold item name [%d]."},
      {"<Switch><Item>$Trigger.LastError$</Item></Switch>",
       "CSwitchObject[A\\] : Invalid item name [$Trigger.LastError$]."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    TriggerProject p;
    p.controllers = {{"A", {{"Count", "counter"}}, c.trigger}};
    ASSERT_EQ(Start(p), S_OK);
    EXPECT_EQ(InitResult("A"), 2);
    const auto line = LineOf(c.line);
    EXPECT_TRUE(FAILED(line.result)) << line.result.code();
    StopEngine();
  }
}

TEST_F(ControlFlowTest, ThresholdsNameValuesFromVersion1_2AndAreLiteralBefore) {
  // Items, not temporary items: projects before 1.4 have none. The tree
  // writes S and I, then the evaluation writes 2 (children) or 1 (else)
  // to Out.
  auto put = [](const std::string& item, const std::string& value, int type,
                const std::string& id) { return PutValue(item, value, type, "put", id); };
  struct Case {
    const char* what;
    std::string version;
    std::string puts;
    std::string name;
    int32_t condition;
    std::string threshold;
    int32_t branch;
  } cases[] = {
      {"a reference that holds", "1.4.0", put("S", "5", 3, "1") + put("I", "6", 3, "2"), "S", 2,
       "$I", 2},
      {"a reference that does not hold", "1.4.0", put("S", "5", 3, "1") + put("I", "4", 3, "2"),
       "S", 2, "$I", 1},
      {"a reference to another controller's item", "1.4.0", put("S", "5", 3, "1"), "S", 3,
       "$B\\Low", 2},
      {"\"$$\" escapes a literal", "1.4.0", put("S", "$x", 8, "1"), "S", 0, "$$x", 2},
      {"before 1.2 always literal", "1.1.0", put("S", "$I", 8, "1") + put("I", "0", 3, "2"), "S",
       0, "$I", 2},
      // The last result has no cache of its own; its threshold is still read.
      {"a reference for the last result", "1.4.0", put("I", "0", 3, "2"), "$Trigger.LastError$",
       0, "$I", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TriggerProject p;
    p.version = c.version;
    TriggerController a{"A", {{"Count", "counter"}, {"S", "s"}, {"I", "i"}, {"Out", "out"}},
                        c.puts + Evaluation(c.name, c.condition, c.threshold,
                                            put("Out", "2", 3, "3"), put("Out", "1", 3, "4"))};
    TriggerController b{"B", {{"Low", "counter:1:0"}}};  // always 1
    p.controllers = {a, b};
    ASSERT_EQ(Start(p), S_OK);
    ASSERT_EQ(InitResult("A"), 1);
    LetCyclesRun();
    ASSERT_TRUE(WaitFor([&] { return ValueOf("A", "Out").vt() == VT_I4; }));
    EXPECT_EQ(ValueOf("A", "Out").i4(), c.branch);
    StopEngine();
  }
}

TEST_F(ControlFlowTest, SwitchRunsTheFirstMatchingCaseOrTheDefault) {
  const std::string caseA = "<Case><Value>a</Value>" + SetInt("r", 1, "1") + "</Case>";
  const std::string caseB = "<Case><Value>b</Value>" + SetInt("r", 2, "2") + "</Case>";
  const std::string caseB2 = "<Case><Value>b</Value>" + SetInt("r", 4, "4") + "</Case>";
  const std::string otherwise = "<Default>" + SetInt("r", 3, "3") + "</Default>";
  const std::string caseName = "<Case><Value>A</Value>" + SetInt("r", 5, "5") + "</Case>";
  struct Case {
    std::string item;
    std::string value;
    std::string cases;
    int32_t r;
  } cases[] = {
      {"*s", "b", caseA + caseB + caseB2 + otherwise, 2},
      {"*s", "z", caseA + caseB + otherwise, 3},
      {"*s", "z", caseA + caseB, -999},
      {"*s", "", caseA + caseB + otherwise, 3},  // an empty value matches only the default
      {"$Controller.Name$", "", caseA + caseName + otherwise, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item + " " + c.value + " " + std::to_string(c.r));
    StartTree((c.value.empty() ? "" : SetText("s", c.value, "9")) + "<Switch><Item>" + c.item +
              "</Item>" + c.cases + "</Switch>");
    LetCyclesRun();
    EXPECT_EQ(IntOf("r"), c.r);
    StopEngine();
  }
}

TEST_F(ControlFlowTest, BreakOutsideALoopIsIgnoredAndTheListGoesOn) {
  StartTree(Action(17, "", "brk", "1") + Action(18, "", "cont", "1") + SetInt("r", 1, "1"));
  LetCyclesRun();
  EXPECT_EQ(IntOf("r"), 1);
  EXPECT_EQ(LineOf("CBreakObject[A\\brk(1)] : BREAK is used outside the Repeat processing. "
                   "This is not executed.").level,
            2u);
  EXPECT_TRUE(log_.Contains("CContinueObject[A\\cont(1)] : CONTINUE is used outside the Repeat "
                            "processing. This is not executed."));
}

TEST_F(ControlFlowTest, ReturnEndsTheFunctionBlockNotItsCaller) {
  const std::string marker = MakeArgumentMarker(ArgumentMarkerKind::kValue, "T");
  TriggerProject p;
  p.functionBlocks =
      "<FunctionBlock><FunctionBlockID>FB_SET</FunctionBlockID><ArgumentList><Argument>"
      "<ArgumentID>T</ArgumentID></Argument></ArgumentList>" +
      PutValue(marker, "7", 3, "in", "1") + Action(15, "", "ret", "1") +
      PutValue("*s", "8", 3, "after", "1") + "</FunctionBlock>";
  TriggerController a{"A", {{"Count", "counter"}},
                      Action(16, "<m_strExtension>FB_SET,T,*r</m_strExtension>", "call", "1") +
                          Action(15, "", "end", "1") + SetInt("i", 1, "2")};
  a.tempVariables = "r,s,i";
  p.controllers = {a};
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_EQ(InitResult("A"), 1);
  ASSERT_TRUE(WaitFor([&] { return IntOf("r") == 7; }));
  // The block's own return ended the block only; the root's return ends
  // the tree before i is written. Nodes of a block are named under the
  // call's identifier.
  EXPECT_TRUE(TemporaryValueOf("A", "s").IsEmpty());
  // The pass that wrote r may still be on its way to the returns.
  EXPECT_TRUE(WaitForLine("CReturnObject[A\\call1ret(1)] : Trigger returned."));
  EXPECT_TRUE(WaitForLine("CReturnObject[A\\end(1)] : Trigger returned."));
  EXPECT_TRUE(TemporaryValueOf("A", "i").IsEmpty());
}

TEST_F(ControlFlowTest, FunctionBlockCallsThatCannotExpandFailInitialisation) {
  struct Case {
    std::string call;
    const char* line;
  } cases[] = {
      {"FB_NONE", "CFunctionBlockObject[A\\call(1)] : Function block not found."},
      {"FB_SET,X,1", "CFunctionBlockObject[A\\call(1)] : Invalid argument specification."},
      {"FB_SET,T", nullptr},  // an even number of fields
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    TriggerProject p;
    p.functionBlocks =
        "<FunctionBlock><FunctionBlockID>FB_SET</FunctionBlockID><ArgumentList><Argument>"
        "<ArgumentID>T</ArgumentID></Argument></ArgumentList></FunctionBlock>";
    p.controllers = {{"A", {}, Action(16, "<m_strExtension>" + c.call + "</m_strExtension>",
                                      "call", "1")}};
    ASSERT_EQ(Start(p), S_OK);
    EXPECT_EQ(InitResult("A"), 2);
    if (c.line != nullptr) {
      EXPECT_EQ(LineOf(c.line).result, E_INVALIDARG);
    }
    EXPECT_TRUE(log_.Contains("CFunctionBlockObject[A\\call(1)] : Initialize failed."));
    StopEngine();
  }
}

TEST_F(ControlFlowTest, KindConditionsHoldInTheirExecutionsOnly) {
  // 14 holds in the first cycle only, 13 in every cycle, 15 only at
  // startup (with startup executions on), 12 never without messages.
  StartTree(Evaluation("Count", 14, "", SetInt("r", 1, "1")) +
                Evaluation("Count", 15, "", SetInt("s", 1, "2")) +
                Evaluation("Count", 12, "", SetInt("i", 1, "3")) +
                Evaluation("Count", 13, "", Action(17, "", "cycle", "1")) +
                Evaluation("Count", 14, "", Action(17, "", "first", "1")),
            "<m_bExecuteStartupTrigger>True</m_bExecuteStartupTrigger>");
  LetCyclesRun();
  EXPECT_EQ(IntOf("r"), 1);
  EXPECT_EQ(IntOf("s"), 1);
  EXPECT_EQ(IntOf("i"), -999);
  // A break outside a loop only says so: its lines count the executions.
  EXPECT_GE(CountOf("CBreakObject[A\\cycle(1)] : BREAK is used"), 4);
  EXPECT_EQ(CountOf("CBreakObject[A\\first(1)] : BREAK is used"), 1);
}

TEST_F(ControlFlowTest, AComparisonThatFailsCountsAsHeldAndSaysSo) {
  // Two arrays have no order: "less than" cannot be decided. The condition
  // then holds, as it always has, and the line is one users see.
  StartTree(PutValue("*s", "1,2", 0x2003, "arr", "1") + PutValue("*i", "1,2", 0x2003, "arr", "2") +
            Evaluation("*s", 2, "$*i", SetInt("r", 1, "3"), "", "Evaluation", "order"));
  LetCyclesRun();
  EXPECT_EQ(IntOf("r"), 1);
  const auto line = LineOf("CEvaluationObject[A\\order(1)] : Failed compare in Execute().");
  EXPECT_GE(line.level, 2u);
}

TEST_F(ControlFlowTest, AStopEndsARepeatOfSlowActionsAtTheNextPass) {
  // Each pass reads an item of a controller that answers after 50 ms; the
  // repeat would run 100 passes. Stopping the engine ends it after the pass
  // in progress, long before the limit.
  TriggerProject p;
  TriggerController a{"A", {{"Count", "counter"}},
                      Evaluation("Count", 10, "",
                                 Action(9, "<m_strPutController>Slow</m_strPutController>"
                                           "<m_strPutItem>Value</m_strPutItem>",
                                        "scan", "1"),
                                 "", "While", "spin")};
  a.extra = "<m_bOutputActionLog>True</m_bOutputActionLog>";
  TriggerController slow{"Slow", {{"Value", "counter"}}};
  slow.extra = "<m_strParam>read_latency_ms=50</m_strParam>";
  slow.samplingRate = 100000;
  p.controllers = {a, slow};
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_TRUE(WaitForLine("CDoScanItemActionObject[A\\scan(1)] : Executed."));
  engine_test::MustReturn("Terminate", [this] { engine_->Terminate(); });
  EXPECT_LT(CountOf("CDoScanItemActionObject[A\\scan(1)] : Executed."), 100);
  EXPECT_FALSE(log_.Contains("The maximum number of loops has been reached."));
}

}  // namespace
}  // namespace tavrix::trigger_test
