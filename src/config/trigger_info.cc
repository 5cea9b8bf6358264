#include "config/trigger_info.h"

#include <initializer_list>
#include <utility>

#include "platform/text.h"

namespace tavrix {
namespace {

using NamedText = std::pair<std::string_view, std::string*>;

std::string* PickField(std::string_view element, std::initializer_list<NamedText> fields) {
  for (const NamedText& f : fields) {
    if (EqualsNoCase(f.first, element)) return f.second;
  }
  return nullptr;
}

HRESULT ReplaceTexts(const ArgumentContext& context, const ArgumentMap& args,
                     std::initializer_list<std::string*> texts) {
  for (std::string* text : texts) RETURN_IF_FAILED(ReplaceArgumentMarkers(text, context, args));
  return S_OK;
}

InfoList CloneList(const InfoList& list) {
  InfoList copy;
  copy.reserve(list.size());
  for (const auto& info : list) copy.push_back(info ? info->Clone() : nullptr);
  return copy;
}

void AppendList(InfoList& list, std::vector<TriggerExBaseInfo*>* out) {
  for (auto& info : list) {
    if (info) out->push_back(info.get());
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// TriggerExBaseInfo

HRESULT TriggerExBaseInfo::ReplaceArguments(const ArgumentContext& context,
                                            const ArgumentMap& args, std::string* failedName) {
  HRESULT hr = ReplaceOwnArguments(context, args);
  if (FAILED(hr)) {
    if (failedName != nullptr) *failedName = DisplayName();
    return hr;
  }
  for (TriggerExBaseInfo* child : ChildInfos()) {
    // The child names itself on failure: the failing object is the deepest one.
    hr = child->ReplaceArguments(context, args, failedName);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT TriggerExBaseInfo::ReplaceOwnArguments(const ArgumentContext&, const ArgumentMap&) {
  return S_OK;
}

std::string TriggerExBaseInfo::DisplayName() const { return "()"; }

std::vector<TriggerExBaseInfo*> TriggerExBaseInfo::ChildInfos() {
  std::vector<TriggerExBaseInfo*> children;
  if (InfoList* nodes = Nodes()) AppendList(*nodes, &children);
  return children;
}

std::string* TriggerExBaseInfo::TextField(std::string_view) { return nullptr; }

// ---------------------------------------------------------------------------
// TriggerExNodeInfo

std::string TriggerExNodeInfo::DisplayName() const {
  std::string name = m_strDescription;
  name += '(';
  name += m_lId;
  name += ')';
  return name;
}

std::string* TriggerExNodeInfo::TextField(std::string_view element) {
  return PickField(element, {{"m_strId", &m_strId},
                             {"m_bEnabled", &m_bEnabled},
                             {"Description", &m_strDescription},
                             {"m_lId", &m_lId}});
}

void TriggerExNodeInfo::ClearCommon() {
  m_strId.clear();
  m_bEnabled.clear();
  m_strDescription.clear();
  m_lId.clear();
}

HRESULT TriggerExNodeInfo::ReplaceCommon(const ArgumentContext& context,
                                         const ArgumentMap& args) {
  return ReplaceTexts(context, args, {&m_strId, &m_bEnabled, &m_strDescription, &m_lId});
}

// ---------------------------------------------------------------------------
// TempVariableInfo

std::unique_ptr<TriggerExBaseInfo> TempVariableInfo::Clone() const {
  return std::make_unique<TempVariableInfo>(*this);
}

HRESULT TempVariableInfo::ReplaceOwnArguments(const ArgumentContext& context,
                                              const ArgumentMap& args) {
  return ReplaceArgumentMarkers(&m_strList, context, args);
}

// ---------------------------------------------------------------------------
// TriggerExInfo

TriggerExInfo::TriggerExInfo(const TriggerExInfo& other)
    : TriggerExBaseInfo(other), m_nodes(CloneList(other.m_nodes)),
      m_tempVariables(other.m_tempVariables) {}

void TriggerExInfo::Clear() {
  m_nodes.clear();
  m_tempVariables.Clear();
}

std::unique_ptr<TriggerExBaseInfo> TriggerExInfo::Clone() const {
  return std::make_unique<TriggerExInfo>(*this);
}

std::vector<TriggerExBaseInfo*> TriggerExInfo::ChildInfos() {
  std::vector<TriggerExBaseInfo*> children;
  AppendList(m_nodes, &children);
  children.push_back(&m_tempVariables);
  return children;
}

// ---------------------------------------------------------------------------
// ActionExInfo

void ActionExInfo::Clear() {
  ClearCommon();
  for (std::string* text :
       {&m_lAction, &m_lCallback, &m_strExeFile, &m_strExeParams, &m_strPutController,
        &m_strPutItem, &m_strPutValue, &m_lPutType, &m_strScript, &m_bNotSafeMode,
        &m_strExtension, &m_strPluginFileName, &m_strPluginFullName, &m_bBackupDisabled,
        &m_lMaxBackupCount, &m_bUseActionBackupConfig}) {
    text->clear();
  }
  m_pluginConfig.Clear();
  m_executeParam.Clear();
  m_calculationList.clear();
  m_tableInfo.Clear();
}

std::unique_ptr<TriggerExBaseInfo> ActionExInfo::Clone() const {
  return std::make_unique<ActionExInfo>(*this);
}

HRESULT ActionExInfo::ReplaceOwnArguments(const ArgumentContext& context,
                                          const ArgumentMap& args) {
  RETURN_IF_FAILED(ReplaceCommon(context, args));
  RETURN_IF_FAILED(ReplaceTexts(
      context, args,
      {&m_lAction, &m_lCallback, &m_strExeFile, &m_strExeParams, &m_strPutController,
       &m_strPutItem, &m_strPutValue, &m_lPutType, &m_strScript, &m_bNotSafeMode,
       &m_strExtension, &m_strPluginFileName, &m_strPluginFullName, &m_bBackupDisabled,
       &m_lMaxBackupCount, &m_bUseActionBackupConfig}));
  ExecuteParamInfo& p = m_executeParam;
  RETURN_IF_FAILED(
      ReplaceTexts(context, args, {&p.m_strResultItem, &p.m_strCommand, &p.m_lArgumentType}));
  for (ArgumentValueInfo& v : p.m_argumentValues) {
    RETURN_IF_FAILED(
        ReplaceTexts(context, args, {&v.m_lArgumentValueType, &v.m_strArgumentValue}));
  }
  for (ControllerCalcInfo& c : m_calculationList) {
    RETURN_IF_FAILED(ReplaceTexts(context, args,
                                  {&c.m_lCalcIndex, &c.m_strTarget, &c.m_strLeft, &c.m_strRight}));
  }
  UserDefineDBInfo& t = m_tableInfo;
  RETURN_IF_FAILED(ReplaceTexts(
      context, args, {&t.m_strADOCon, &t.m_strTableName, &t.m_bAsync, &t.m_strConSetting}));
  for (TableColumnInfo& col : t.m_columns) {
    RETURN_IF_FAILED(ReplaceTexts(context, args,
                                  {&col.m_strColumnName, &col.m_strItemName, &col.m_strProperty}));
  }
  return S_OK;
}

std::string* ActionExInfo::TextField(std::string_view element) {
  if (std::string* common = TriggerExNodeInfo::TextField(element)) return common;
  return PickField(element, {{"m_lAction", &m_lAction},
                             {"m_lCallback", &m_lCallback},
                             {"m_strExeFile", &m_strExeFile},
                             {"m_strExeParams", &m_strExeParams},
                             {"m_strPutController", &m_strPutController},
                             {"m_strPutItem", &m_strPutItem},
                             {"m_strPutValue", &m_strPutValue},
                             {"m_lPutType", &m_lPutType},
                             {"m_strScript", &m_strScript},
                             {"m_bNotSafeMode", &m_bNotSafeMode},
                             {"m_strExtension", &m_strExtension},
                             {"PluginFileName", &m_strPluginFileName},
                             {"PluginFullName", &m_strPluginFullName},
                             {"m_bBackupDisabled", &m_bBackupDisabled},
                             {"m_lMaxBackupCount", &m_lMaxBackupCount},
                             {"m_bUseActionBackupConfig", &m_bUseActionBackupConfig}});
}

// ---------------------------------------------------------------------------
// ElseExInfo

ElseExInfo::ElseExInfo(const ElseExInfo& other)
    : TriggerExBaseInfo(other), m_nodes(CloneList(other.m_nodes)) {}

std::unique_ptr<TriggerExBaseInfo> ElseExInfo::Clone() const {
  return std::make_unique<ElseExInfo>(*this);
}

std::vector<TriggerExBaseInfo*> ElseExInfo::ChildInfos() {
  return TriggerExBaseInfo::ChildInfos();
}

// ---------------------------------------------------------------------------
// EvaluationExInfo and WhileInfo

EvaluationExInfo::EvaluationExInfo(const EvaluationExInfo& other)
    : TriggerExNodeInfo(other),
      m_strName(other.m_strName),
      m_lCondition(other.m_lCondition),
      m_strThreshold(other.m_strThreshold),
      m_bPrevValue(other.m_bPrevValue),
      m_lConjunction(other.m_lConjunction),
      m_conditions(other.m_conditions),
      m_nodes(CloneList(other.m_nodes)),
      m_else(other.m_else ? std::make_unique<ElseExInfo>(*other.m_else) : nullptr) {}

void EvaluationExInfo::Clear() {
  ClearCommon();
  m_strName.clear();
  m_lCondition.clear();
  m_strThreshold.clear();
  m_bPrevValue.clear();
  m_lConjunction.clear();
  m_conditions.clear();
  m_nodes.clear();
  m_else.reset();
}

std::unique_ptr<TriggerExBaseInfo> EvaluationExInfo::Clone() const {
  return std::make_unique<EvaluationExInfo>(*this);
}

HRESULT EvaluationExInfo::ReplaceOwnArguments(const ArgumentContext& context,
                                              const ArgumentMap& args) {
  RETURN_IF_FAILED(ReplaceCommon(context, args));
  RETURN_IF_FAILED(ReplaceTexts(
      context, args,
      {&m_strName, &m_lCondition, &m_strThreshold, &m_bPrevValue, &m_lConjunction}));
  for (ConditionInfo& c : m_conditions) {
    RETURN_IF_FAILED(ReplaceTexts(context, args,
                                  {&c.m_strName, &c.m_lCondition, &c.m_strThreshold,
                                   &c.m_bPrevValue, &c.m_bItemValue}));
  }
  return S_OK;
}

std::vector<TriggerExBaseInfo*> EvaluationExInfo::ChildInfos() {
  std::vector<TriggerExBaseInfo*> children;
  AppendList(m_nodes, &children);
  if (m_else) children.push_back(m_else.get());
  return children;
}

std::string* EvaluationExInfo::TextField(std::string_view element) {
  if (std::string* common = TriggerExNodeInfo::TextField(element)) return common;
  return PickField(element, {{"m_strName", &m_strName},
                             {"m_lCondition", &m_lCondition},
                             {"m_strThreshold", &m_strThreshold},
                             {"m_bPrevValue", &m_bPrevValue},
                             {"m_lConjunction", &m_lConjunction}});
}

ElseExInfo* EvaluationExInfo::ResetElse() {
  m_else = std::make_unique<ElseExInfo>();
  return m_else.get();
}

void EvaluationExInfo::CopyFrom(const EvaluationExInfo& other) {
  if (&other == this) return;
  // Build the copies first: `other` may be a descendant of this object.
  InfoList nodes = CloneList(other.m_nodes);
  std::unique_ptr<ElseExInfo> elseBranch =
      other.m_else ? std::make_unique<ElseExInfo>(*other.m_else) : nullptr;
  std::vector<ConditionInfo> conditions = other.m_conditions;
  m_strId = other.m_strId;
  m_bEnabled = other.m_bEnabled;
  m_strDescription = other.m_strDescription;
  m_lId = other.m_lId;
  m_strName = other.m_strName;
  m_lCondition = other.m_lCondition;
  m_strThreshold = other.m_strThreshold;
  m_bPrevValue = other.m_bPrevValue;
  m_lConjunction = other.m_lConjunction;
  m_conditions = std::move(conditions);
  m_nodes = std::move(nodes);
  m_else = std::move(elseBranch);
}

std::unique_ptr<TriggerExBaseInfo> WhileInfo::Clone() const {
  return std::make_unique<WhileInfo>(*this);
}

// ---------------------------------------------------------------------------
// CaseExInfo and SwitchExInfo

CaseExInfo::CaseExInfo(const CaseExInfo& other)
    : TriggerExBaseInfo(other),
      m_strValue(other.m_strValue),
      m_bDefault(other.m_bDefault),
      m_nodes(CloneList(other.m_nodes)) {}

void CaseExInfo::Clear() {
  m_strValue.clear();
  m_nodes.clear();
}

std::unique_ptr<TriggerExBaseInfo> CaseExInfo::Clone() const {
  return std::make_unique<CaseExInfo>(*this);
}

HRESULT CaseExInfo::ReplaceOwnArguments(const ArgumentContext& context,
                                        const ArgumentMap& args) {
  return ReplaceArgumentMarkers(&m_strValue, context, args);
}

std::vector<TriggerExBaseInfo*> CaseExInfo::ChildInfos() {
  return TriggerExBaseInfo::ChildInfos();
}

std::string* CaseExInfo::TextField(std::string_view element) {
  return PickField(element, {{"Value", &m_strValue}});
}

SwitchExInfo::SwitchExInfo(const SwitchExInfo& other)
    : TriggerExBaseInfo(other),
      m_strItem(other.m_strItem),
      m_bPrevValue(other.m_bPrevValue),
      m_default(other.m_default ? std::make_unique<CaseExInfo>(*other.m_default) : nullptr) {
  m_cases.reserve(other.m_cases.size());
  for (const auto& c : other.m_cases) {
    m_cases.push_back(c ? std::make_unique<CaseExInfo>(*c) : nullptr);
  }
}

void SwitchExInfo::Clear() {
  m_strItem.clear();
  m_bPrevValue.clear();
  m_cases.clear();
  m_default.reset();
}

std::unique_ptr<TriggerExBaseInfo> SwitchExInfo::Clone() const {
  return std::make_unique<SwitchExInfo>(*this);
}

HRESULT SwitchExInfo::ReplaceOwnArguments(const ArgumentContext& context,
                                          const ArgumentMap& args) {
  return ReplaceTexts(context, args, {&m_strItem, &m_bPrevValue});
}

std::vector<TriggerExBaseInfo*> SwitchExInfo::ChildInfos() {
  std::vector<TriggerExBaseInfo*> children;
  for (auto& c : m_cases) {
    if (c) children.push_back(c.get());
  }
  if (m_default) children.push_back(m_default.get());
  return children;
}

std::string* SwitchExInfo::TextField(std::string_view element) {
  return PickField(element, {{"Item", &m_strItem}, {"m_bPrevValue", &m_bPrevValue}});
}

CaseExInfo* SwitchExInfo::AddCase() {
  m_cases.push_back(std::make_unique<CaseExInfo>(false));
  return m_cases.back().get();
}

CaseExInfo* SwitchExInfo::ResetDefault() {
  m_default = std::make_unique<CaseExInfo>(true);
  return m_default.get();
}

// ---------------------------------------------------------------------------
// ForInfo

ForInfo::ForInfo(const ForInfo& other)
    : TriggerExNodeInfo(other),
      m_strCountItem(other.m_strCountItem),
      m_strCurrentCountItem(other.m_strCurrentCountItem),
      m_nodes(CloneList(other.m_nodes)) {}

void ForInfo::Clear() {
  ClearCommon();
  m_strCountItem.clear();
  m_strCurrentCountItem.clear();
  m_nodes.clear();
}

std::unique_ptr<TriggerExBaseInfo> ForInfo::Clone() const {
  return std::make_unique<ForInfo>(*this);
}

HRESULT ForInfo::ReplaceOwnArguments(const ArgumentContext& context, const ArgumentMap& args) {
  RETURN_IF_FAILED(ReplaceCommon(context, args));
  return ReplaceTexts(context, args, {&m_strCountItem, &m_strCurrentCountItem});
}

std::vector<TriggerExBaseInfo*> ForInfo::ChildInfos() { return TriggerExBaseInfo::ChildInfos(); }

std::string* ForInfo::TextField(std::string_view element) {
  // A `For` has no identifier of its own in the file.
  if (EqualsNoCase(element, "m_strId")) return nullptr;
  if (std::string* common = TriggerExNodeInfo::TextField(element)) return common;
  return PickField(element, {{"m_strCountItem", &m_strCountItem},
                             {"m_strCurrentCountItem", &m_strCurrentCountItem}});
}

// ---------------------------------------------------------------------------
// FunctionBlockInfo

FunctionBlockInfo::FunctionBlockInfo(const FunctionBlockInfo& other)
    : TriggerExBaseInfo(other),
      m_strFunctionBlockID(other.m_strFunctionBlockID),
      m_strName(other.m_strName),
      m_strComment(other.m_strComment),
      m_arguments(other.m_arguments),
      m_nodes(CloneList(other.m_nodes)) {}

void FunctionBlockInfo::Clear() {
  m_strFunctionBlockID.clear();
  m_strName.clear();
  m_strComment.clear();
  m_arguments.clear();
  m_nodes.clear();
}

std::unique_ptr<TriggerExBaseInfo> FunctionBlockInfo::Clone() const { return CloneBlock(); }

std::unique_ptr<FunctionBlockInfo> FunctionBlockInfo::CloneBlock() const {
  return std::make_unique<FunctionBlockInfo>(*this);
}

std::vector<TriggerExBaseInfo*> FunctionBlockInfo::ChildInfos() {
  return TriggerExBaseInfo::ChildInfos();
}

std::string* FunctionBlockInfo::TextField(std::string_view element) {
  return PickField(element, {{"FunctionBlockID", &m_strFunctionBlockID},
                             {"Name", &m_strName},
                             {"Comment", &m_strComment}});
}

// ---------------------------------------------------------------------------

std::unique_ptr<TriggerExBaseInfo> CreateNodeInfo(std::string_view element) {
  if (EqualsNoCase(element, "Action")) return std::make_unique<ActionExInfo>();
  if (EqualsNoCase(element, "Evaluation")) return std::make_unique<EvaluationExInfo>();
  if (EqualsNoCase(element, "While")) return std::make_unique<WhileInfo>();
  if (EqualsNoCase(element, "For")) return std::make_unique<ForInfo>();
  if (EqualsNoCase(element, "Switch")) return std::make_unique<SwitchExInfo>();
  return nullptr;
}

}  // namespace tavrix
