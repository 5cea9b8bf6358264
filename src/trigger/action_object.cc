#include "trigger/action_object.h"

#include <algorithm>
#include <chrono>

#include "controller/controller.h"
#include "platform/clock.h"
#include "platform/log.h"

namespace tavrix {

namespace {

constexpr int32_t kMeasuredLimit = 101;

std::string NodeLine(const CActionObject& node, std::string_view text) {
  std::string line = node.GetClassName();
  line += "[%ls] : ";
  line += text;
  line += "\n";
  return line;
}

}  // namespace

void CActionObject::LogNode(HRESULT result, uint32_t level, std::string_view text) const {
  // A failure is written at level 3 at least, whatever `level` says.
  if (!LogEnabled(result.failed() ? std::max<uint32_t>(level, 3) : level)) return;
  LogResult(result, level, NodeLine(*this, text), fullName_);
}

void CActionObject::LogNode(uint32_t level, std::string_view text) const {
  if (!LogEnabled(level)) return;
  Log(level, NodeLine(*this, text), fullName_);
}

void CActionObject::LogNodeDetail(HRESULT result, uint32_t level, std::string_view text,
                                  const std::string& detail) const {
  if (!LogEnabled(result.failed() ? std::max<uint32_t>(level, 3) : level)) return;
  LogResult(result, level, NodeLine(*this, text), fullName_, detail);
}

HRESULT CActionObject::FailedExecution(HRESULT result) {
  LogNode(result, 1, "Failed in Execute().");
  ReportResult(result, *this);
  return S_FALSE;
}

bool CActionObject::Stopped() const {
  // The abort event: the sampling thread did not stop in time and is told to
  // give up its running actions.
  return controller_ == nullptr || controller_->stopEvent().IsSet() ||
         controller_->abortActionEvent().IsSet();
}

HRESULT CActionObject::Execute(int32_t kind, IZeltMessage* message) {
  return ExecuteChildren(kind, message);
}

HRESULT CActionObject::UpdateCache(int32_t kind) {
  for (const auto& child : children_) {
    if (!child->HasCache()) continue;
    RecursiveMutexLock lock(&child->lock_);
    const HRESULT hr = child->UpdateCache(kind);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT CActionObject::Initialize(CTavrixController&) { return S_OK; }

void CActionObject::ReportResult(HRESULT result, CActionObject& node) {
  if (parent_ != nullptr) parent_->ReportResult(result, node);
}

bool CActionObject::IsInsideLoop() const { return parent_ != nullptr && parent_->IsInsideLoop(); }

void CActionObject::CountExecution() {
  if (measuredCount_ <= kMeasuredLimit) ++measuredCount_;
}

HRESULT CActionObject::InitializeTree(CTavrixController& controller) {
  {
    RecursiveMutexLock lock(&lock_);
    controller_ = &controller;
    if (parent_ != nullptr) context_ = parent_->context_;
  }
  // A tree is initialised before the controller installs it, where no pass
  // reaches it. Resolving names takes controllers' items locks, which passes
  // hold before they take node locks, so the node's lock is not held here.
  HRESULT hr = Initialize(controller);
  if (FAILED(hr)) {
    LogNode(hr, 1, "Initialize failed.");
    ReportResult(hr, *this);
    return hr;
  }
  for (const auto& child : children_) {
    hr = child->InitializeTree(controller);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

void CActionObject::CollectWatchedItems(CTavrixController& controller,
                                        std::vector<Ref<CTavrixItem>>* items) {
  for (const auto& child : children_) child->CollectWatchedItems(controller, items);
}

CActionObject* CActionObject::FindById(std::string_view id) {
  if (idPath_ == id) return this;
  for (const auto& child : children_) {
    if (CActionObject* found = child->FindById(id)) return found;
  }
  return nullptr;
}

bool CActionObject::HasBackupFiles() const {
  for (const auto& child : children_) {
    if (child->HasBackupFiles()) return true;
  }
  return false;
}

void CActionObject::CollectBackupTargets(std::vector<CActionObject*>* targets) {
  for (const auto& child : children_) child->CollectBackupTargets(targets);
}

int32_t CActionObject::CountAsyncInserts() const {
  int32_t count = 0;
  for (const auto& child : children_) count += child->CountAsyncInserts();
  return count;
}

void CActionObject::CollectExternalAsyncPerformance(std::vector<TriggerAsyncPerformance>* list) {
  for (const auto& child : children_) child->CollectExternalAsyncPerformance(list);
}

HRESULT CActionObject::GetLastResult() const {
  return parent_ != nullptr ? parent_->GetLastResult() : E_FAIL;
}

const ArgumentMap* CActionObject::GetArgumentMap() const {
  return parent_ != nullptr ? parent_->GetArgumentMap() : nullptr;
}

void CActionObject::ResetCounters() {
  measuredCount_ = 0;
  for (const auto& child : children_) child->ResetCounters();
}

int32_t CActionObject::Number(int32_t counter) {
  number_ = counter + 1;
  int32_t last = number_;
  for (const auto& child : children_) last = child->Number(last);
  return last;
}

void CActionObject::CollectIds(std::vector<TriggerNodeId>* ids) const {
  if (!idPath_.empty()) ids->push_back({number_, fullName_, idPath_});
  for (const auto& child : children_) child->CollectIds(ids);
}

Ref<IDispatch> CActionObject::GetScriptObject() const {
  return parent_ != nullptr ? parent_->GetScriptObject() : Ref<IDispatch>();
}

HRESULT CActionObject::ExecuteNode(IZeltMessage* message, int32_t kind) {
  if (kind == kKindStartup && (context_ == nullptr || !context_->executeStartupTrigger)) {
    LogNode(0, "Execute startup trigger is canceled.");
    return S_FALSE;
  }
  if ((kind == kKindFirstCycle || kind == kKindCycle) && controller_ != nullptr) {
    controller_->SetCheckpoint("TriggerAction:", fullName_);
  }
  if (ClearsLastResult()) ReportResult(S_OK, *this);
  ++executionCount_;
  CountExecution();

  RecursiveMutexLock lock(&lock_);
  if (controller_ == nullptr) return S_FALSE;
  // The clock is read only for what uses it: the elapsed-time line and the
  // measurement records.
  const bool measured = !idPath_.empty() && context_->recorder != nullptr && IsMeasured() &&
                        context_->recorder->Collecting();
  const bool timed = context_->outputActionLog && !SuppressElapsedLog();
  Clock& clock = SystemClock();
  const uint32_t startTick = measured ? clock.TickCount() : 0;
  const int64_t startMicros = timed ? clock.UtcMicros() : 0;

  const HRESULT result = Execute(kind, message);

  if (timed) {
    const long long elapsed = (clock.UtcMicros() - startMicros) / 1000;
    Log(0, NodeLine(*this, "Executed. Elapsed time: %lld ms."), fullName_, elapsed);
  }
  if (measured && measuredCount_ <= kMeasuredLimit) {
    const uint32_t endTick = clock.TickCount();
    TriggerMeasurement m{idPath_,  executionCount_, startTick,
                         endTick,  fullName_,       number_,
                         measuredCount_ == kMeasuredLimit};
    if (context_->recorder->Record(m)) OnMeasured(startTick, endTick);
  }
  return result;
}

HRESULT CActionObject::ExecuteChildren(int32_t kind, IZeltMessage* message) {
  HRESULT result = S_OK;
  for (const auto& child : children_) {
    if (Stopped()) return S_FALSE;
    result = child->ExecuteNode(message, kind);
    if (FAILED(result) || result == kTriggerReturn) return result;
    if (result == kTriggerBreak || result == kTriggerContinue) {
      if (IsInsideLoop()) return result;
      result = S_OK;
    }
  }
  return result;
}

CActionObject* CActionObject::AddChild(std::unique_ptr<CActionObject> child) {
  child->parent_ = this;
  children_.push_back(std::move(child));
  return children_.back().get();
}

void CActionObject::ReleaseTree() {
  RecursiveMutexLock lock(&lock_);
  for (const auto& child : children_) child->ReleaseTree();
  ReleaseResources();
}

void CActionObject::ClearChildren() {
  RecursiveMutexLock lock(&lock_);
  for (const auto& child : children_) child->ReleaseTree();
  children_.clear();
}

void CActionObject::SetNames(std::string_view controllerName, std::string_view parentPath,
                             std::string_view displayName, std::string idPath,
                             bool insideFunctionBlock) {
  displayName_ = displayName;
  fullName_.assign(controllerName);
  fullName_ += '\\';
  fullName_ += parentPath;
  fullName_ += displayName;
  idPath_ = std::move(idPath);
  controllerName_ = controllerName;
  insideFunctionBlock_ = insideFunctionBlock;
}

}  // namespace tavrix
