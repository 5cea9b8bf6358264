#include "trigger/node_factory.h"

#include "config/value_kinds.h"
#include "controller/controller.h"
#include "platform/convert.h"
#include "platform/log.h"
#include "platform/text.h"
#include "trigger/actions/action_makers.h"
#include "trigger/counting_loop.h"
#include "trigger/evaluation.h"
#include "trigger/function_block_call.h"
#include "trigger/loop_control.h"
#include "trigger/switch_node.h"
#include "trigger/trigger_root.h"

namespace tavrix {

namespace {

constexpr int32_t kActionReturn = 15;
constexpr int32_t kActionFunctionBlock = 16;
constexpr int32_t kActionBreak = 17;
constexpr int32_t kActionContinue = 18;
constexpr int32_t kActionInsertTable = 65536;

// Creates the nodes of `infos` under `parent`, in order; a failure stops the
// list. The result of the last creation attempted (S_OK for none).
HRESULT CreateList(CTavrixController& controller, CActionObject& parent, const InfoList& infos,
                   std::string_view parentPath, std::string_view idPrefix, bool inside) {
  HRESULT hr = S_OK;
  for (const auto& info : infos) {
    hr = CreateTriggerObserverExItem(controller, parent, *info, parentPath, idPrefix, inside);
    if (FAILED(hr)) return hr;
  }
  return hr;
}

// The node of action number `number`, or null when the number names none
// (E_INVALIDARG) or one that cannot be built (*hr set).
std::unique_ptr<CActionObject> MakeActionNode(const ActionExInfo& info, int32_t number,
                                              HRESULT* hr) {
  *hr = S_OK;
  switch (number) {
    case 1:
    case 2:
    case 3: return MakeSamplingAction(number);
    case 4: return MakeShellAction(info);
    case 5: return MakeCallbackAction(info);
    case 6: {
      Variant type;
      *hr = ChangeType(Variant::Text(info.m_lPutType), VT_UI2, &type);
      if (FAILED(*hr)) {
        LogResult(*hr, 1, "CreateTriggerObserverExItem[%ls] : Invalid m_lPutType value.\n",
                  info.m_strDescription);
        return nullptr;
      }
      return MakePutValueAction(info, type.ui2());
    }
    case 7: return MakeScriptAction(info);
    case 8: return MakePutMessageAction(info);
    case 9: return MakeScanItemAction(info, info.m_strExtension == "1");
    case 10: return MakeScanControllerAction(info, info.m_strExtension == "1");
    case 11: return MakeControllerExecuteAction(info);
    case 12: return MakeReconnectAction(ReadStrictNumber(info.m_strExtension));
    case 13: return MakeCalcAction(info);
    case 14: return MakeSystemValueAction(info);
    case kActionReturn: return std::make_unique<CReturnObject>();
    case kActionFunctionBlock: return std::make_unique<CFunctionBlockObject>(info.m_strExtension);
    case kActionBreak: return std::make_unique<CBreakObject>();
    case kActionContinue: return std::make_unique<CContinueObject>();
    case kActionInsertTable: return MakeInsertTableAction(info);
    default:
      LogResult(E_INVALIDARG, 1, "CreateTriggerObserverExItem[%ls] : Invalid m_lAction value.\n",
                info.m_strDescription);
      *hr = E_INVALIDARG;
      return nullptr;
  }
}

HRESULT CreateAction(CTavrixController& controller, CActionObject& parent,
                     const ActionExInfo& info, std::string_view parentPath,
                     std::string_view idPrefix, bool inside) {
  int32_t number = 0;
  HRESULT hr = ReadTriggerInt32(info.m_lAction, &number);
  if (FAILED(hr)) {
    LogResult(hr, 1, "CreateTriggerObserverExItem[%ls] : Invalid m_lAction value.\n",
              info.m_strDescription);
    return hr;
  }
  if (inside && (number == kActionFunctionBlock || number == kActionInsertTable)) {
    LogResult(E_INVALIDARG, 1,
              "CreateTriggerObserverExItem[%ls] : Cannot be used inside a function block.\n",
              info.m_strDescription);
    return E_INVALIDARG;
  }
  std::unique_ptr<CActionObject> node = MakeActionNode(info, number, &hr);
  if (FAILED(hr)) return hr;
  if (!node) {
    // A kind this build cannot make: the definition cannot run as written.
    LogResult(E_NOTIMPL, 1,
              "CreateTriggerObserverExItem[%ls] : Action %d is not available in this build.\n",
              info.m_strDescription, number);
    return E_NOTIMPL;
  }
  node->SetNames(controller.name(), parentPath, info.DisplayName(),
                 std::string(idPrefix) + info.m_strId, inside);
  parent.AddChild(std::move(node));
  return S_OK;
}

HRESULT AddConditions(CEvaluationObject& node, const EvaluationExInfo& info) {
  auto add = [&](const std::string& name, const std::string& condition,
                 const std::string& threshold, const std::string& prevValue,
                 const std::string& itemValue) -> HRESULT {
    int32_t number = 0;
    HRESULT hr = ReadTriggerInt32(condition, &number);
    if (SUCCEEDED(hr) && (number < 0 || number > 16)) hr = E_INVALIDARG;
    if (FAILED(hr)) {
      LogResult(hr, 1, "CreateTriggerObserverExItem[%ls] : Invalid m_lCondition value.\n",
                info.m_strDescription);
      return hr;
    }
    int32_t source = ReadStrictNumber(prevValue);
    if (source < 0 || source > 2) source = 0;
    return node.AddCondition(
        {name, number, threshold, source, ReadTriggerFlag(itemValue, false)});
  };
  if (info.m_conditions.empty()) {
    return add(info.m_strName, info.m_lCondition, info.m_strThreshold, info.m_bPrevValue, "");
  }
  for (const ConditionInfo& c : info.m_conditions) {
    const HRESULT hr =
        add(c.m_strName, c.m_lCondition, c.m_strThreshold, c.m_bPrevValue, c.m_bItemValue);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT CreateEvaluation(CTavrixController& controller, CActionObject& parent,
                         const EvaluationExInfo& info, bool repeat, std::string_view parentPath,
                         std::string_view idPrefix, bool inside) {
  int32_t conjunction = 0;
  const bool any = SUCCEEDED(ReadTriggerInt32(info.m_lConjunction, &conjunction)) && conjunction != 0;
  std::unique_ptr<CEvaluationObject> node;
  if (repeat) {
    node = std::make_unique<CWhileObject>(any);
  } else {
    node = std::make_unique<CEvaluationObject>(any);
  }
  node->SetNames(controller.name(), parentPath, info.DisplayName(), std::string(), inside);
  HRESULT hr = AddConditions(*node, info);
  if (FAILED(hr)) return hr;
  auto* added = static_cast<CEvaluationObject*>(parent.AddChild(std::move(node)));
  hr = CreateList(controller, *added, info.m_nodes, parentPath, idPrefix, inside);
  if (FAILED(hr) || !info.m_else) return hr;
  return CreateList(controller, added->elseBranch(), info.m_else->m_nodes, parentPath, idPrefix,
                    inside);
}

HRESULT CreateCase(CTavrixController& controller, CActionObject& parent, const CaseExInfo& info,
                   std::string_view parentPath, std::string_view idPrefix, bool inside) {
  std::unique_ptr<CCaseObject> node;
  if (info.m_bDefault) {
    node = std::make_unique<CDefaultCaseObject>();
  } else {
    node = std::make_unique<CCaseObject>(info.m_strValue);
  }
  // Cases carry no names of their own; their children are named under the
  // switch's path.
  node->SetNames(controller.name(), parentPath, "", std::string(), inside);
  CActionObject* added = parent.AddChild(std::move(node));
  return CreateList(controller, *added, info.m_nodes, parentPath, idPrefix, inside);
}

HRESULT CreateSwitch(CTavrixController& controller, CActionObject& parent,
                     const SwitchExInfo& info, std::string_view parentPath,
                     std::string_view idPrefix, bool inside) {
  int32_t source = ReadStrictNumber(info.m_bPrevValue);
  if (source < 0 || source > 2) source = 0;
  auto node = std::make_unique<CSwitchObject>(info.m_strItem, source);
  node->SetNames(controller.name(), parentPath, "", std::string(), inside);
  CActionObject* added = parent.AddChild(std::move(node));
  HRESULT hr = S_OK;
  for (const auto& c : info.m_cases) {
    hr = CreateCase(controller, *added, *c, parentPath, idPrefix, inside);
    if (FAILED(hr)) return hr;
  }
  if (info.m_default) hr = CreateCase(controller, *added, *info.m_default, parentPath, idPrefix, inside);
  return hr;
}

HRESULT CreateFor(CTavrixController& controller, CActionObject& parent, const ForInfo& info,
                  std::string_view parentPath, std::string_view idPrefix, bool inside) {
  auto node = std::make_unique<CForObject>(info.m_strCountItem, info.m_strCurrentCountItem);
  node->SetNames(controller.name(), parentPath, info.DisplayName(), std::string(), inside);
  CActionObject* added = parent.AddChild(std::move(node));
  return CreateList(controller, *added, info.m_nodes, parentPath, idPrefix, inside);
}

const std::string* EnabledText(const TriggerExBaseInfo& info) {
  switch (info.Type()) {
    case TriggerInfoType::kAction:
    case TriggerInfoType::kEvaluation:
    case TriggerInfoType::kWhile:
    case TriggerInfoType::kFor:
      return &static_cast<const TriggerExNodeInfo&>(info).m_bEnabled;
    default:
      return nullptr;
  }
}

}  // namespace

bool ReadTriggerFlag(std::string_view text, bool fallback) {
  if (text.empty()) return fallback;
  if (EqualsNoCase(text, "true")) return true;
  if (EqualsNoCase(text, "false")) return false;
  int32_t value = 0;
  if (FAILED(ReadTriggerInt32(text, &value))) return fallback;
  return value != 0;
}

HRESULT ReadTriggerInt32(std::string_view text, int32_t* out) {
  Variant converted;
  const HRESULT hr = ChangeType(Variant::Text(text), VT_I4, &converted);
  if (SUCCEEDED(hr)) *out = converted.i4();
  return hr;
}

HRESULT CreateTriggerObserverExItem(CTavrixController& controller, CActionObject& parent,
                                    const TriggerExBaseInfo& info, std::string_view parentPath,
                                    std::string_view idPrefix, bool insideFunctionBlock) {
  if (const std::string* enabled = EnabledText(info); enabled && !ReadTriggerFlag(*enabled, true)) {
    Log(0, "CreateTriggerObserverExItem[%ls] : Disabled item. Create canceled.\n",
        static_cast<const TriggerExNodeInfo&>(info).m_strDescription);
    return S_FALSE;
  }
  const bool inside = insideFunctionBlock;
  switch (info.Type()) {
    case TriggerInfoType::kAction:
      return CreateAction(controller, parent, static_cast<const ActionExInfo&>(info), parentPath,
                          idPrefix, inside);
    case TriggerInfoType::kEvaluation:
    case TriggerInfoType::kWhile:
      return CreateEvaluation(controller, parent, static_cast<const EvaluationExInfo&>(info),
                              info.Type() == TriggerInfoType::kWhile, parentPath, idPrefix,
                              inside);
    case TriggerInfoType::kSwitch:
      return CreateSwitch(controller, parent, static_cast<const SwitchExInfo&>(info), parentPath,
                          idPrefix, inside);
    case TriggerInfoType::kCase:
      return CreateCase(controller, parent, static_cast<const CaseExInfo&>(info), parentPath,
                        idPrefix, inside);
    case TriggerInfoType::kFor:
      return CreateFor(controller, parent, static_cast<const ForInfo&>(info), parentPath,
                       idPrefix, inside);
    default:
      return E_INVALIDARG;
  }
}

HRESULT BuildTriggerTree(CTavrixController& controller, const TriggerExInfo& definitions,
                         std::unique_ptr<CTavrixTriggerObserverEx>* out) {
  auto root = std::make_unique<CTavrixTriggerObserverEx>();
  for (const auto& info : definitions.m_nodes) {
    const HRESULT hr = CreateTriggerObserverExItem(controller, *root, *info, "", "", false);
    if (FAILED(hr)) {
      root->ReleaseTree();
      *out = std::make_unique<CTavrixTriggerObserverEx>();
      return hr;
    }
  }
  *out = std::move(root);
  return S_OK;
}

}  // namespace tavrix
