#include "trigger/evaluation.h"

#include <algorithm>

#include "controller/controller.h"
#include "item/value_filters.h"
#include "platform/arith.h"
#include "platform/convert.h"
#include "platform/log.h"
#include "platform/text.h"

namespace tavrix {

namespace {

// Conditions compare the watched value with a threshold; these depend on the
// execution kind only.
constexpr int32_t kFirstKindCondition = 10;
constexpr int32_t kLastCondition = 16;

bool KindCondition(int32_t condition, int32_t kind) {
  switch (condition) {
    case 10: return true;
    case 11: return false;
    case 12: return kind == kKindMessage;
    case 13: return kind == kKindFirstCycle || kind == kKindCycle;
    case 14: return kind == kKindFirstCycle;
    case 15: return kind == kKindStartup;
    default: return kind == kKindCleanup;  // 16
  }
}

bool EmptyOrNull(const Variant& v) { return v.IsEmpty() || v.IsNull(); }

// Reads the reference text of a threshold: "$$x" is the literal "$x";
// "$ref" names a value. Returns whether `text` is a reference, with the
// name in *reference; otherwise *literal holds the threshold text.
bool ThresholdReference(const std::string& text, std::string* reference, std::string* literal) {
  if (text.empty() || text[0] != '$') {
    *literal = text;
    return false;
  }
  if (text.size() >= 2 && text[1] == '$') {
    *literal = text.substr(1);
    return false;
  }
  *reference = text.substr(1);
  return true;
}

}  // namespace

// --- CEvaluationCondition ------------------------------------------------------------

CEvaluationCondition::CEvaluationCondition(ConditionDefinition definition)
    : definition_(std::move(definition)) {}

HRESULT CEvaluationCondition::Initialize(CTavrixController& controller,
                                         const CEvaluationObject& node) {
  Release();
  // Conditions that depend on the kind only read nothing.
  if (definition_.condition >= kFirstKindCondition) return S_OK;
  HRESULT hr = ResolveOperand(controller, definition_.name, OperandForms::kCondition, &watched_);
  if (FAILED(hr)) {
    node.LogNodeDetail(E_INVALIDARG, 1, "Invalid item name [%ls].", definition_.name);
    return E_INVALIDARG;
  }
  cached_ = watched_.kind == OperandKind::kLastError || watched_.alwaysCached();

  std::string reference;
  std::string literal = definition_.threshold;
  if (node.context().thresholdReferences &&
      ThresholdReference(definition_.threshold, &reference, &literal)) {
    std::string_view controllerName;
    std::string_view itemName;
    if (SplitControllerItem(reference, &controllerName, &itemName) &&
        !EqualsNoCase(controllerName, controller.name()) &&
        !controller.host().FindController(controllerName)) {
      node.LogNodeDetail(E_INVALIDARG, 1, "Invalid threthold controller name [%ls].", reference);
      return E_INVALIDARG;
    }
    hr = ResolveOperand(controller, reference, OperandForms::kReference, &thresholdReference_);
    if (FAILED(hr)) {
      node.LogNodeDetail(E_INVALIDARG, 1, "Invalid threthold item name [%ls].", reference);
      return E_INVALIDARG;
    }
    return S_OK;
  }
  thresholdValue_ = Variant::Text(literal);
  return S_OK;
}

void CEvaluationCondition::Release() {
  watched_.Reset();
  thresholdReference_.Reset();
  current_ = Variant();
  previous_ = Variant();
  thresholdValue_ = Variant();
  thresholdConverted_ = Variant();
  thresholdConvertedValid_ = false;
  cached_ = false;
}

HRESULT CEvaluationCondition::UpdateCache() {
  if (!watched_.resolved()) return S_OK;
  // The last result and message fields have no cached value; a threshold
  // reference of theirs is still refreshed below.
  if (watched_.kind != OperandKind::kLastError && watched_.kind != OperandKind::kMessageField) {
    const HRESULT hr = RefreshCachedOperand(watched_, &current_, &previous_);
    cached_ = SUCCEEDED(hr);
    if (FAILED(hr)) return hr;
  }
  if (thresholdReference_.resolved()) {
    Variant threshold;
    if (SUCCEEDED(ReadCachedOperand(thresholdReference_, &threshold))) {
      thresholdValue_ = std::move(threshold);
      thresholdConvertedValid_ = false;
    }
  }
  return S_OK;
}

CTavrixItem* CEvaluationCondition::WatchedItemOf(const CTavrixController& controller) const {
  if (watched_.kind != OperandKind::kItem) return nullptr;
  return EqualsNoCase(watched_.item->controllerName(), controller.name()) ? watched_.item.get()
                                                                            : nullptr;
}

bool CEvaluationCondition::Evaluate(int32_t kind, IZeltMessage* message,
                                    const CEvaluationObject& node) {
  const int32_t condition = definition_.condition;
  if (condition >= kFirstKindCondition) {
    if (condition > kLastCondition) {
      node.LogNode(0, "Invalid Condition.");
      return false;
    }
    return KindCondition(condition, kind);
  }
  if (kind == kKindStartup || kind == kKindCleanup) return false;
  if (!cached_) {
    Log(0, "CEvaluationCondition[%ls] : cache is uninitialized.\n", node.fullName());
    return false;
  }
  if (!watched_.resolved()) return false;
  if (watched_.kind == OperandKind::kMessageField && (kind != kKindMessage || message == nullptr)) {
    return false;
  }
  if (kind == kKindFirstCycle && condition >= 6) return false;

  Variant value;
  switch (watched_.kind) {
    case OperandKind::kLastError:
      value = Variant::I4(node.GetLastResult().code());
      break;
    case OperandKind::kMessageField:
      if (FAILED(ReadMessageOperand(watched_, message, &value))) return false;
      break;
    default:
      if (definition_.source == 2) {
        if (FAILED(ReadOperandNow(watched_, &value))) return false;
      } else {
        value = definition_.source == 1 && condition != 6 ? previous_ : current_;
      }
      break;
  }

  if (condition >= 7) {
    Variant now;
    Variant before;
    if (FAILED(ChangeType(value, VT_BOOL, &now)) || FAILED(ChangeType(previous_, VT_BOOL, &before))) {
      node.LogNode(0, "Failed convert bool in Execute().");
      return false;
    }
    const bool a = now.isTrue();
    const bool b = before.isTrue();
    if (condition == 7) return a && !b;
    if (condition == 8) return b && !a;
    return a != b;
  }

  const bool changed = condition == 6;
  if (EmptyOrNull(value)) {
    if (!changed) return false;
    value = Variant::Null();
  }
  Variant threshold = changed ? previous_ : thresholdValue_;
  if (EmptyOrNull(threshold)) {
    if (!changed) return false;
    threshold = Variant::Null();
  }
  const LCID lcid = node.context().lcid;
  if (!value.IsNull() && !threshold.IsNull() && threshold.vt() != value.vt()) {
    if (!changed && thresholdConvertedValid_ && thresholdConverted_.vt() == value.vt()) {
      threshold = thresholdConverted_;
    } else {
      Variant converted;
      if (FAILED(ChangeType(threshold, value.vt(), &converted, 0, lcid))) {
        if (changed) return true;
        node.LogNode(0, "Failed change type in Execute().");
        return false;
      }
      threshold = std::move(converted);
      if (!changed) {
        thresholdConverted_ = threshold;
        thresholdConvertedValid_ = true;
      }
    }
  }

  // Null equals null; a null never matches a value.
  if (value.IsNull() || threshold.IsNull()) {
    const bool equal = value.IsNull() && threshold.IsNull();
    if (condition == 0) return equal;
    if (condition == 1 || changed) return !equal;
    return false;
  }
  if (value.IsArray() || threshold.IsArray()) {
    const bool allowed = watched_.kind == OperandKind::kTemporary ||
                         (watched_.kind == OperandKind::kItem && watched_.item->settings().m_bCompArrays);
    if (!allowed) return condition == 1 || changed;
    if (condition <= 1 || changed) {
      const bool equal = value.vt() == threshold.vt() && ValuesEqual(value, threshold, true, lcid);
      return condition == 0 ? equal : !equal;
    }
    // Arrays have no order: the compare fails, which counts as true.
    node.LogNode(E_INVALIDARG, 2, "Failed compare in Execute().");
    return true;
  }
  const HRESULT cmp = VarCmp(value, threshold, lcid);
  if (FAILED(cmp)) {
    // A condition whose compare fails counts as true, as it always has;
    // the line says so at a level users see.
    node.LogNode(cmp, 2, "Failed compare in Execute().");
    return true;
  }
  switch (condition) {
    case 0: return cmp == VARCMP_EQ;
    case 1:
    case 6: return cmp != VARCMP_EQ;
    case 2: return cmp == VARCMP_LT;
    case 3: return cmp == VARCMP_GT;
    case 4: return cmp == VARCMP_LT || cmp == VARCMP_EQ;
    default: return cmp == VARCMP_GT || cmp == VARCMP_EQ;  // 5
  }
}

// --- CEvaluationObject -------------------------------------------------------------

CEvaluationObject::CEvaluationObject(bool conjunction)
    : conjunction_(conjunction), else_(std::make_unique<CElseObject>()) {
  else_->SetParent(this);
}

CEvaluationObject::~CEvaluationObject() = default;

HRESULT CEvaluationObject::AddCondition(ConditionDefinition definition) {
  pending_.push_back(std::move(definition));
  return S_OK;
}

HRESULT CEvaluationObject::Initialize(CTavrixController& controller) {
  conditions_.clear();
  conditions_.reserve(pending_.size());
  for (const ConditionDefinition& definition : pending_) {
    conditions_.emplace_back(definition);
    const HRESULT hr = conditions_.back().Initialize(controller, *this);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

void CEvaluationObject::ReleaseResources() {
  for (CEvaluationCondition& condition : conditions_) condition.Release();
  conditions_.clear();
  // The else branch is no child: the tree's release walk does not reach it.
  else_->ReleaseTree();
}

HRESULT CEvaluationObject::InitializeTree(CTavrixController& controller) {
  const HRESULT hr = CActionObject::InitializeTree(controller);
  if (FAILED(hr)) return hr;
  return else_->InitializeTree(controller);
}

HRESULT CEvaluationObject::UpdateCache(int32_t kind) {
  for (CEvaluationCondition& condition : conditions_) {
    const HRESULT hr = condition.UpdateCache();
    if (FAILED(hr)) return hr;
  }
  HRESULT hr = CActionObject::UpdateCache(kind);
  if (FAILED(hr)) return hr;
  RecursiveMutexLock lock(&else_->nodeLock());
  return else_->UpdateCache(kind);
}

bool CEvaluationObject::ConditionsHold(int32_t kind, IZeltMessage* message) {
  if (conditions_.empty()) return false;
  for (CEvaluationCondition& condition : conditions_) {
    const bool holds = condition.Evaluate(kind, message, *this);
    if (conjunction_ && holds) return true;
    if (!conjunction_ && !holds) return false;
  }
  return !conjunction_;
}

HRESULT CEvaluationObject::Execute(int32_t kind, IZeltMessage* message) {
  if (ConditionsHold(kind, message)) return ExecuteChildren(kind, message);
  return else_->ExecuteNode(message, kind);
}

void CEvaluationObject::CollectWatchedItems(CTavrixController& controller,
                                            std::vector<Ref<CTavrixItem>>* items) {
  for (const CEvaluationCondition& condition : conditions_) {
    CTavrixItem* item = condition.WatchedItemOf(controller);
    if (item == nullptr) continue;
    if (std::none_of(items->begin(), items->end(),
                     [&](const Ref<CTavrixItem>& known) { return known.get() == item; })) {
      items->push_back(Ref<CTavrixItem>(item));
    }
  }
  CActionObject::CollectWatchedItems(controller, items);
  else_->CollectWatchedItems(controller, items);
}

CActionObject* CEvaluationObject::FindById(std::string_view id) {
  if (CActionObject* found = CActionObject::FindById(id)) return found;
  return else_->FindById(id);
}

bool CEvaluationObject::HasBackupFiles() const {
  return CActionObject::HasBackupFiles() || else_->HasBackupFiles();
}

void CEvaluationObject::CollectBackupTargets(std::vector<CActionObject*>* targets) {
  CActionObject::CollectBackupTargets(targets);
  else_->CollectBackupTargets(targets);
}

int32_t CEvaluationObject::CountAsyncInserts() const {
  return CActionObject::CountAsyncInserts() + else_->CountAsyncInserts();
}

void CEvaluationObject::CollectExternalAsyncPerformance(std::vector<TriggerAsyncPerformance>* list) {
  CActionObject::CollectExternalAsyncPerformance(list);
  else_->CollectExternalAsyncPerformance(list);
}

void CEvaluationObject::ResetCounters() {
  CActionObject::ResetCounters();
  else_->ResetCounters();
}

int32_t CEvaluationObject::Number(int32_t counter) {
  return else_->Number(CActionObject::Number(counter));
}

void CEvaluationObject::CollectIds(std::vector<TriggerNodeId>* ids) const {
  CActionObject::CollectIds(ids);
  else_->CollectIds(ids);
}

// --- CWhileObject ------------------------------------------------------------------

HRESULT CWhileObject::AddCondition(ConditionDefinition definition) {
  return CEvaluationObject::AddCondition(std::move(definition));
}

HRESULT CWhileObject::Execute(int32_t kind, IZeltMessage* message) {
  int32_t pass = 0;
  HRESULT result = S_FALSE;
  while (!Stopped()) {
    if (!ConditionsHold(kind, message)) return result;
    if (++pass > context().maxLoopCount) {
      LogNode(E_FAIL, 1, "The maximum number of loops has been reached.");
      ReportResult(E_FAIL, *this);
      return E_FAIL;
    }
    result = ExecuteChildren(kind, message);
    if (result == kTriggerBreak) return S_OK;
    if (result == kTriggerContinue) {
      result = S_OK;
      continue;
    }
    if (FAILED(result) || result == kTriggerReturn) return result;
  }
  return S_FALSE;
}

}  // namespace tavrix
