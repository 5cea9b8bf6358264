#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "config/argument_markers.h"
#include "config/trigger_info.h"

namespace tavrix {
namespace {

std::string M(ArgumentMarkerKind kind, const char* id) { return MakeArgumentMarker(kind, id); }
const std::string kArgDev = M(ArgumentMarkerKind::kValue, "dev");
const std::string kCtrlDev = M(ArgumentMarkerKind::kController, "dev");
const std::string kItemDev = M(ArgumentMarkerKind::kItem, "dev");
const std::string kEscDev = M(ArgumentMarkerKind::kEscaped, "dev");
const std::string kCtrlLocal = M(ArgumentMarkerKind::kController, "local");

template <typename T>
T* AddNode(InfoList& list) {
  list.push_back(std::make_unique<T>());
  return static_cast<T*>(list.back().get());
}

// A function block whose body carries markers in every kind of text.
class ReplaceArgumentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    block_.Clear();
    block_.m_strFunctionBlockID = kArgDev;
    block_.m_strName = kArgDev;
    block_.m_arguments.push_back({"dev", kArgDev, ""});

    eval_ = AddNode<EvaluationExInfo>(block_.m_nodes);
    eval_->m_strDescription = "Check " + kItemDev;
    eval_->m_lId = "1";
    eval_->m_strName = kArgDev;
    eval_->m_strThreshold = "<" + kArgDev + ">";
    eval_->m_conditions.push_back({kCtrlDev, "0", kItemDev, "0", "0"});

    action_ = AddNode<ActionExInfo>(eval_->m_nodes);
    action_->m_strDescription = "Put";
    action_->m_lId = "2";
    action_->m_strPutController = kCtrlDev;
    action_->m_strPutItem = kItemDev;
    action_->m_strScript = "x = \"" + kEscDev + "\"";
    action_->m_executeParam.m_strCommand = kArgDev;
    action_->m_executeParam.m_argumentValues.push_back({"8", kItemDev});
    action_->m_calculationList.push_back({"1", kArgDev, kItemDev, "2"});
    action_->m_tableInfo.m_strTableName = "T_" + kItemDev;
    action_->m_tableInfo.m_columns.push_back({"c", kArgDev, "Value"});
    action_->m_pluginConfig.m_children.push_back({"k", kArgDev, {}});

    eval_->m_else = std::make_unique<ElseExInfo>();
    elseAction_ = AddNode<ActionExInfo>(eval_->m_else->m_nodes);
    elseAction_->m_strDescription = "Deep";
    elseAction_->m_lId = "7";
    elseAction_->m_strPutValue = kArgDev;

    auto* sw = AddNode<SwitchExInfo>(block_.m_nodes);
    sw_ = sw;
    sw->m_strItem = kArgDev;
    CaseExInfo* c = sw->AddCase();
    c->m_strValue = kItemDev;
    loop_ = AddNode<ForInfo>(c->m_nodes);
    loop_->m_strDescription = "Loop";
    loop_->m_lId = "4";
    loop_->m_strCountItem = kCtrlDev + "\\N";
    auto* rep = AddNode<WhileInfo>(sw->ResetDefault()->m_nodes);
    rep->m_strDescription = "Wait";
    rep->m_lId = "5";
    rep->m_strName = kItemDev;
  }

  FunctionBlockInfo block_;
  EvaluationExInfo* eval_ = nullptr;
  ActionExInfo* action_ = nullptr;
  ActionExInfo* elseAction_ = nullptr;
  SwitchExInfo* sw_ = nullptr;
  ForInfo* loop_ = nullptr;
  const ArgumentMap args_ = {{"dev", "Line1\\Speed"}, {"local", "Speed"}};
};

TEST_F(ReplaceArgumentsTest, ReplacesInEveryTextOfTheBody) {
  std::string failed = "untouched";
  ASSERT_EQ(block_.ReplaceArguments(ArgumentContext{"Press01"}, args_, &failed), S_OK);
  EXPECT_EQ(failed, "untouched");

  EXPECT_EQ(eval_->m_strDescription, "Check Speed");
  EXPECT_EQ(eval_->m_strName, "Line1\\Speed");
  EXPECT_EQ(eval_->m_strThreshold, "<Line1\\Speed>");
  EXPECT_EQ(eval_->m_conditions[0].m_strName, "Line1");
  EXPECT_EQ(eval_->m_conditions[0].m_strThreshold, "Speed");
  EXPECT_EQ(action_->m_strPutController, "Line1");
  EXPECT_EQ(action_->m_strPutItem, "Speed");
  EXPECT_EQ(action_->m_strScript, "x = \"Line1\\\\Speed\"");
  EXPECT_EQ(action_->m_executeParam.m_strCommand, "Line1\\Speed");
  EXPECT_EQ(action_->m_executeParam.m_argumentValues[0].m_strArgumentValue, "Speed");
  EXPECT_EQ(action_->m_calculationList[0].m_strTarget, "Line1\\Speed");
  EXPECT_EQ(action_->m_calculationList[0].m_strLeft, "Speed");
  EXPECT_EQ(action_->m_tableInfo.m_strTableName, "T_Speed");
  EXPECT_EQ(action_->m_tableInfo.m_columns[0].m_strItemName, "Line1\\Speed");
  EXPECT_EQ(elseAction_->m_strPutValue, "Line1\\Speed");
  EXPECT_EQ(sw_->m_strItem, "Line1\\Speed");
  EXPECT_EQ(sw_->m_cases[0]->m_strValue, "Speed");
  EXPECT_EQ(loop_->m_strCountItem, "Line1\\N");
  EXPECT_EQ(static_cast<WhileInfo*>(sw_->m_default->m_nodes[0].get())->m_strName, "Speed");

  // The callback action replaces its configuration values itself, and the
  // block's declaration is not part of its body.
  EXPECT_EQ(action_->m_pluginConfig.m_children[0].m_strValue, kArgDev);
  EXPECT_EQ(block_.m_strFunctionBlockID, kArgDev);
  EXPECT_EQ(block_.m_strName, kArgDev);
}

TEST_F(ReplaceArgumentsTest, FailureNamesTheFailingDefinition) {
  // Without an owning controller a bare value has no controller part.
  struct Case {
    std::function<std::string*()> text;  // looked up after each rebuild
    const char* failedName;
  };
  const Case cases[] = {
      // The common texts are replaced before the failing one.
      {[&] { return &eval_->m_strThreshold; }, "Check Speed(1)"},
      {[&] { return &eval_->m_conditions[0].m_strThreshold; }, "Check Speed(1)"},
      {[&] { return &action_->m_tableInfo.m_columns[0].m_strProperty; }, "Put(2)"},
      {[&] { return &elseAction_->m_strPutItem; }, "Deep(7)"},
      {[&] { return &sw_->m_cases[0]->m_strValue; }, "()"},
      {[&] { return &loop_->m_strCurrentCountItem; }, "Loop(4)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failedName);
    SetUp();
    *c.text() = kCtrlLocal;
    std::string failed;
    EXPECT_EQ(block_.ReplaceArguments(ArgumentContext{}, args_, &failed), E_INVALIDARG);
    EXPECT_EQ(failed, c.failedName);
  }
}

TEST_F(ReplaceArgumentsTest, FailureStopsTheWalk) {
  elseAction_->m_strPutItem = kCtrlLocal;
  std::string failed;
  ASSERT_EQ(block_.ReplaceArguments(ArgumentContext{}, args_, &failed), E_INVALIDARG);
  EXPECT_EQ(failed, "Deep(7)");
  // Earlier definitions are done, later ones are not reached.
  EXPECT_EQ(action_->m_strPutItem, "Speed");
  EXPECT_EQ(sw_->m_strItem, kArgDev);
  // The same call works once the owner is known, and a null name is allowed.
  EXPECT_EQ(block_.ReplaceArguments(ArgumentContext{"P"}, args_, nullptr), S_OK);
  EXPECT_EQ(elseAction_->m_strPutItem, "P");
}

TEST(ReplaceOwnArgumentsTest, TouchesOnlyOwnTexts) {
  const std::string marker = MakeArgumentMarker(ArgumentMarkerKind::kValue, "a");
  const ArgumentMap args = {{"a", "v"}};
  EvaluationExInfo eval;
  eval.m_strName = marker;
  auto* child = AddNode<ActionExInfo>(eval.m_nodes);
  child->m_strPutItem = marker;
  EXPECT_EQ(eval.ReplaceOwnArguments(ArgumentContext{"C"}, args), S_OK);
  EXPECT_EQ(eval.m_strName, "v");
  EXPECT_EQ(child->m_strPutItem, marker);

  TriggerExInfo root;
  root.m_tempVariables.m_strList = marker + ",b";
  EXPECT_EQ(root.ReplaceOwnArguments(ArgumentContext{"C"}, args), S_OK);
  EXPECT_EQ(root.m_tempVariables.m_strList, marker + ",b");
  EXPECT_EQ(root.ReplaceArguments(ArgumentContext{"C"}, args, nullptr), S_OK);
  EXPECT_EQ(root.m_tempVariables.m_strList, "v,b");
}

}  // namespace
}  // namespace tavrix
