#include "config/trigger_info.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/temp_variables.h"

namespace tavrix {
namespace {

template <typename T>
T* AddNode(InfoList& list) {
  list.push_back(std::make_unique<T>());
  return static_cast<T*>(list.back().get());
}

void Name(TriggerExNodeInfo* node, const char* description, const char* id) {
  node->m_strDescription = description;
  node->m_lId = id;
  node->m_strId = std::string("id-") + id;
}

// One line per info, depth first in ChildInfos order, with the type, the
// display name and the texts that tell the objects apart.
void Dump(TriggerExBaseInfo* info, int depth, std::string* out) {
  *out += std::string(depth * 2, ' ') + std::to_string(static_cast<int>(info->Type())) + " " +
          info->DisplayName();
  if (auto* a = dynamic_cast<ActionExInfo*>(info)) {
    *out += " put=" + a->m_strPutItem + " calc=" + std::to_string(a->m_calculationList.size()) +
            " cols=" + std::to_string(a->m_tableInfo.m_columns.size()) +
            " plugin=" + std::to_string(a->m_pluginConfig.m_children.size());
  } else if (auto* e = dynamic_cast<EvaluationExInfo*>(info)) {
    *out += " name=" + e->m_strName + " conds=" + std::to_string(e->m_conditions.size());
  } else if (auto* c = dynamic_cast<CaseExInfo*>(info)) {
    *out += " value=" + c->m_strValue + (c->m_bDefault ? " default" : "");
  } else if (auto* s = dynamic_cast<SwitchExInfo*>(info)) {
    *out += " item=" + s->m_strItem;
  } else if (auto* t = dynamic_cast<TempVariableInfo*>(info)) {
    *out += " list=" + t->m_strList;
  } else if (auto* f = dynamic_cast<ForInfo*>(info)) {
    *out += " count=" + f->m_strCountItem;
  }
  *out += "\n";
  for (TriggerExBaseInfo* child : info->ChildInfos()) Dump(child, depth + 1, out);
}

std::string Dump(TriggerExBaseInfo& info) {
  std::string out;
  Dump(&info, 0, &out);
  return out;
}

// A root that uses every kind of child: evaluation with condition and else,
// switch with a case and a default, a counting loop and a repeat node.
std::unique_ptr<TriggerExInfo> SampleTree() {
  auto root = std::make_unique<TriggerExInfo>();
  root->m_tempVariables.m_strList = "t1,t2";
  auto* eval = AddNode<EvaluationExInfo>(root->m_nodes);
  Name(eval, "Check", "1");
  eval->m_strName = "Temp";
  eval->m_conditions.push_back({"Temp", "3", "80", "0", "0"});
  auto* act = AddNode<ActionExInfo>(eval->m_nodes);
  Name(act, "Alarm", "2");
  act->m_strPutItem = "Alarm";
  act->m_calculationList.push_back({"1", "T", "L", "R"});
  act->m_tableInfo.m_columns.push_back({"c1", "\\Temp", "Value"});
  act->m_pluginConfig.m_children.push_back({"k", "v", {{"kk", "vv", {}}}});
  act->m_executeParam.m_argumentValues.push_back({"8", "x"});
  eval->m_else = std::make_unique<ElseExInfo>();
  auto* elseAct = AddNode<ActionExInfo>(eval->m_else->m_nodes);
  Name(elseAct, "Clear", "3");
  auto* sw = AddNode<SwitchExInfo>(root->m_nodes);
  sw->m_strItem = "Mode";
  CaseExInfo* c1 = sw->AddCase();
  c1->m_strValue = "1";
  auto* loop = AddNode<ForInfo>(c1->m_nodes);
  Name(loop, "Loop", "4");
  loop->m_strCountItem = "N";
  Name(AddNode<ActionExInfo>(loop->m_nodes), "Step", "5");
  Name(AddNode<ActionExInfo>(sw->ResetDefault()->m_nodes), "Other", "6");
  auto* rep = AddNode<WhileInfo>(root->m_nodes);
  Name(rep, "Wait", "7");
  Name(AddNode<ActionExInfo>(rep->m_nodes), "Poll", "8");
  return root;
}

TEST(TriggerInfoTest, TypeNumbersAndNodeFactory) {
  struct Case {
    std::unique_ptr<TriggerExBaseInfo> info;
    int type;
  };
  Case cases[] = {
      {std::make_unique<TriggerExInfo>(), 0},    {std::make_unique<ActionExInfo>(), 1},
      {std::make_unique<EvaluationExInfo>(), 2}, {std::make_unique<ElseExInfo>(), 3},
      {std::make_unique<SwitchExInfo>(), 4},     {std::make_unique<CaseExInfo>(), 5},
      {std::make_unique<TempVariableInfo>(), 6}, {std::make_unique<FunctionBlockInfo>(), 7},
      {std::make_unique<WhileInfo>(), 8},        {std::make_unique<ForInfo>(), 9},
  };
  for (Case& c : cases) {
    EXPECT_EQ(static_cast<int>(c.info->Type()), c.type);
    EXPECT_EQ(static_cast<int>(c.info->Clone()->Type()), c.type);
    // Exactly the container types hold a node list.
    const bool container = c.type != 1 && c.type != 4 && c.type != 6;
    EXPECT_EQ(c.info->Nodes() != nullptr, container) << c.type;
  }

  const std::pair<const char*, int> elements[] = {
      {"Action", 1}, {"EVALUATION", 2}, {"while", 8}, {"For", 9}, {"sWITCH", 4}};
  for (const auto& [element, type] : elements) {
    auto info = CreateNodeInfo(element);
    ASSERT_NE(info, nullptr) << element;
    EXPECT_EQ(static_cast<int>(info->Type()), type);
  }
  for (const char* other : {"Else", "Case", "Default", "TriggerEx", "TempVariableList", ""}) {
    EXPECT_EQ(CreateNodeInfo(other), nullptr) << other;
  }
}

TEST(TriggerInfoTest, ClearEmptiesEverything) {
  auto root = SampleTree();
  auto* eval = static_cast<EvaluationExInfo*>(root->m_nodes[0].get());
  auto* act = static_cast<ActionExInfo*>(eval->m_nodes[0].get());
  auto* sw = static_cast<SwitchExInfo*>(root->m_nodes[1].get());

  act->Clear();
  EXPECT_EQ(act->DisplayName(), "()");
  EXPECT_TRUE(act->m_strId.empty() && act->m_strPutItem.empty());
  EXPECT_TRUE(act->m_calculationList.empty() && act->m_tableInfo.m_columns.empty());
  EXPECT_TRUE(act->m_pluginConfig.m_children.empty());
  EXPECT_TRUE(act->m_executeParam.m_argumentValues.empty());

  CaseExInfo* def = sw->m_default.get();
  def->Clear();
  EXPECT_TRUE(def->m_nodes.empty());
  EXPECT_TRUE(def->m_bDefault);  // what the object is survives Clear

  sw->Clear();
  EXPECT_TRUE(sw->m_strItem.empty() && sw->m_cases.empty() && sw->m_default == nullptr);

  eval->Clear();
  EXPECT_TRUE(eval->m_strName.empty() && eval->m_conditions.empty() && eval->m_nodes.empty());
  EXPECT_EQ(eval->m_else, nullptr);

  root->Clear();
  EXPECT_TRUE(root->m_nodes.empty());
  EXPECT_TRUE(root->m_tempVariables.m_strList.empty());

  FunctionBlockInfo block;
  block.m_strFunctionBlockID = "FB";
  block.m_arguments.push_back({"A", "n", "c"});
  AddNode<ActionExInfo>(block.m_nodes);
  block.Clear();
  EXPECT_TRUE(block.m_strFunctionBlockID.empty() && block.m_arguments.empty() &&
              block.m_nodes.empty());
}

TEST(TriggerInfoTest, CloneIsDeep) {
  auto root = SampleTree();
  const std::string before = Dump(*root);
  EXPECT_NE(before.find("3 ()"), std::string::npos);  // the else branch is visited
  std::unique_ptr<TriggerExBaseInfo> copy = root->Clone();
  ASSERT_EQ(copy->Type(), TriggerInfoType::kTriggerEx);
  EXPECT_EQ(Dump(*copy), before);

  // Change the original at every depth; the copy must not see any of it.
  auto* eval = static_cast<EvaluationExInfo*>(root->m_nodes[0].get());
  auto* act = static_cast<ActionExInfo*>(eval->m_nodes[0].get());
  act->m_strPutItem = "changed";
  act->m_pluginConfig.m_children[0].m_children.clear();
  act->m_calculationList.clear();
  eval->m_conditions.clear();
  static_cast<ActionExInfo*>(eval->m_else->m_nodes[0].get())->m_strDescription = "x";
  auto* sw = static_cast<SwitchExInfo*>(root->m_nodes[1].get());
  sw->m_cases[0]->m_nodes.clear();
  sw->m_default.reset();
  root->m_tempVariables.m_strList = "z";
  root->m_nodes.pop_back();
  EXPECT_EQ(Dump(*copy), before);

  // The copy's own sub-objects are distinct objects with the same content.
  auto* copyRoot = static_cast<TriggerExInfo*>(copy.get());
  auto* copyEval = static_cast<EvaluationExInfo*>(copyRoot->m_nodes[0].get());
  auto* copyAct = static_cast<ActionExInfo*>(copyEval->m_nodes[0].get());
  EXPECT_EQ(copyAct->m_pluginConfig.m_children[0].m_children.size(), 1u);
  EXPECT_EQ(copyAct->m_executeParam.m_argumentValues[0].m_strArgumentValue, "x");
  EXPECT_EQ(copyRoot->m_nodes[2]->Type(), TriggerInfoType::kWhile);
}

TEST(TriggerInfoTest, CopyFromKeepsTypeAndIsDeep) {
  auto root = SampleTree();
  auto* eval = static_cast<EvaluationExInfo*>(root->m_nodes[0].get());
  WhileInfo loop;
  loop.CopyFrom(*eval);
  EXPECT_EQ(loop.Type(), TriggerInfoType::kWhile);
  EXPECT_EQ(loop.DisplayName(), "Check(1)");
  ASSERT_EQ(loop.m_nodes.size(), 1u);
  EXPECT_NE(loop.m_nodes[0].get(), eval->m_nodes[0].get());
  ASSERT_NE(loop.m_else, nullptr);
  EXPECT_NE(loop.m_else.get(), eval->m_else.get());

  // Copying from itself or from its own descendant leaves a whole tree.
  loop.CopyFrom(loop);
  EXPECT_EQ(loop.m_nodes.size(), 1u);
  auto* inner = AddNode<EvaluationExInfo>(loop.m_nodes);
  Name(inner, "Inner", "9");
  AddNode<ActionExInfo>(inner->m_nodes);
  loop.CopyFrom(*inner);
  EXPECT_EQ(loop.DisplayName(), "Inner(9)");
  EXPECT_EQ(loop.m_nodes.size(), 1u);
  EXPECT_EQ(loop.m_else, nullptr);
}

TEST(TriggerInfoTest, TextFieldsByElement) {
  ActionExInfo action;
  EvaluationExInfo eval;
  ForInfo loop;
  SwitchExInfo sw;
  CaseExInfo c;
  FunctionBlockInfo block;
  TriggerExInfo root;
  struct Case {
    TriggerExBaseInfo* info;
    const char* element;
    std::string* expected;  // null: not a text of this type
  };
  const Case cases[] = {
      {&action, "m_strId", &action.m_strId},
      {&action, "DESCRIPTION", &action.m_strDescription},
      {&action, "m_lId", &action.m_lId},
      {&action, "m_bEnabled", &action.m_bEnabled},
      {&action, "m_lAction", &action.m_lAction},
      {&action, "m_strScript", &action.m_strScript},
      {&action, "pluginfilename", &action.m_strPluginFileName},
      {&action, "PluginFullName", &action.m_strPluginFullName},
      {&action, "m_lMaxBackupCount", &action.m_lMaxBackupCount},
      {&action, "m_bUseActionBackupConfig", &action.m_bUseActionBackupConfig},
      {&action, "m_lCallback", &action.m_lCallback},
      {&action, "PluginConfig", nullptr},
      {&action, "m_strName", nullptr},
      {&eval, "m_strId", &eval.m_strId},
      {&eval, "m_lConjunction", &eval.m_lConjunction},
      {&eval, "m_bPrevValue", &eval.m_bPrevValue},
      {&eval, "m_strThreshold", &eval.m_strThreshold},
      {&eval, "m_bItemValue", nullptr},
      {&eval, "m_strPutItem", nullptr},
      {&loop, "m_strId", nullptr},
      {&loop, "m_lId", &loop.m_lId},
      {&loop, "m_strCountItem", &loop.m_strCountItem},
      {&loop, "M_STRCURRENTCOUNTITEM", &loop.m_strCurrentCountItem},
      {&sw, "Item", &sw.m_strItem},
      {&sw, "m_bPrevValue", &sw.m_bPrevValue},
      {&sw, "Description", nullptr},
      {&c, "value", &c.m_strValue},
      {&block, "FunctionBlockID", &block.m_strFunctionBlockID},
      {&block, "Name", &block.m_strName},
      {&block, "Comment", &block.m_strComment},
      {&root, "TempVariableList", nullptr},
  };
  for (const Case& tc : cases) {
    EXPECT_EQ(tc.info->TextField(tc.element), tc.expected)
        << static_cast<int>(tc.info->Type()) << " " << tc.element;
  }

  ConditionInfo cond;
  EXPECT_EQ(cond.TextField("m_bItemValue"), &cond.m_bItemValue);
  EXPECT_EQ(cond.TextField("Description"), nullptr);
  ArgumentInfo arg;
  EXPECT_EQ(arg.TextField("argumentid"), &arg.m_strArgumentID);
  ExecuteParamInfo param;
  EXPECT_EQ(param.TextField("m_strCommand"), &param.m_strCommand);
  EXPECT_EQ(param.TextField("m_strArgumentValue"), nullptr);
  ArgumentValueInfo value;
  EXPECT_EQ(value.TextField("m_strArgumentValue"), &value.m_strArgumentValue);
}

TEST(TriggerInfoTest, LaterElseAndDefaultReplaceEarlierOnes) {
  WhileInfo rep;
  ElseExInfo* firstElse = rep.ResetElse();
  firstElse->m_nodes.push_back(std::make_unique<ActionExInfo>());
  ElseExInfo* secondElse = rep.ResetElse();
  EXPECT_EQ(rep.m_else.get(), secondElse);
  EXPECT_TRUE(secondElse->m_nodes.empty());

  SwitchExInfo sw;
  CaseExInfo* first = sw.ResetDefault();
  first->m_strValue = "first";
  CaseExInfo* second = sw.ResetDefault();
  EXPECT_EQ(sw.m_default.get(), second);
  EXPECT_TRUE(second->m_bDefault);
  EXPECT_TRUE(second->m_strValue.empty());
  EXPECT_FALSE(sw.AddCase()->m_bDefault);
}

TEST(TempVariablesTest, SplitsAtCommasAndDropsEmptyNames) {
  struct Case {
    const char* list;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a,b,c", {"a", "b", "c"}},
      {",a,,b,", {"a", "b"}},
      {",,,", {}},
      {" a , b", {" a ", " b"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitTempVariableNames(c.list), c.names) << c.list;
}

}  // namespace
}  // namespace tavrix
