#include "trigger/trigger_root.h"

#include <algorithm>

#include "controller/controller.h"
#include "trigger/node_factory.h"

namespace tavrix {

HRESULT CTavrixTriggerObserverEx::Initialize(CTavrixController& controller) {
  SetFullName("root");
  SetIdPath(controller.name());
  SetControllerName(controller.name());
  SetDisplayName("");
  const TriggerWorkspaceSettings settings = controller.host().TriggerSettings();
  context_.executeStartupTrigger = settings.executeStartupTrigger;
  context_.disposeErrorScripts = settings.disposeErrorScripts;
  context_.maxLoopCount = settings.maxLoopCount;
  context_.thresholdReferences = settings.thresholdReferences;
  context_.lcid = controller.host().Lcid();
  RefreshContext();
  return S_OK;
}

void CTavrixTriggerObserverEx::RefreshContext() {
  if (CTavrixController* c = controller()) context_.outputActionLog = c->settings()->m_bOutputActionLog;
}

HRESULT CTavrixTriggerObserverEx::InitializeTree(CTavrixController& controller) {
  {
    MutexLock lock(&failedLock_);
    failedNames_.clear();
  }
  // The children take the context from their parent as they initialise.
  SetContext(&context_);
  const HRESULT hr = CActionObject::InitializeTree(controller);
  (void)Number(0);
  return hr;
}

void CTavrixTriggerObserverEx::ReportResult(HRESULT result, CActionObject& node) {
  lastResult_.store(result.code());
  if (SUCCEEDED(result)) return;
  MutexLock lock(&failedLock_);
  if (std::find(failedNames_.begin(), failedNames_.end(), node.fullName()) == failedNames_.end()) {
    failedNames_.push_back(node.fullName());
  }
}

void CTavrixTriggerObserverEx::CountExecution() {
  ResetCounters();
  RefreshContext();
  MutexLock lock(&failedLock_);
  failedNames_.clear();
}

std::vector<std::string> CTavrixTriggerObserverEx::FailedNames() const {
  MutexLock lock(&failedLock_);
  return failedNames_;
}

TriggerTree::TriggerTree(std::unique_ptr<CTavrixTriggerObserverEx> root,
                         const TriggerExInfo& definitions)
    : root_(std::move(root)), definitions_(definitions) {}

TriggerTree::~TriggerTree() { root_->ReleaseTree(); }

HRESULT TriggerTree::Initialize(CTavrixController& controller) {
  if (released_) {
    std::unique_ptr<CTavrixTriggerObserverEx> rebuilt;
    const HRESULT built = BuildTriggerTree(controller, definitions_, &rebuilt);
    if (rebuilt) {
      root_->ReleaseTree();
      root_ = std::move(rebuilt);
      released_ = false;
    }
    if (FAILED(built)) return built;
  }
  root_->SetRecorder(&controller.triggerPerformance());
  return root_->InitializeTree(controller);
}

HRESULT TriggerTree::UpdateCache(int32_t kind) {
  RecursiveMutexLock lock(&root_->nodeLock());
  return root_->UpdateCache(kind);
}

HRESULT TriggerTree::Execute(int32_t kind, IZeltMessage* message) {
  return root_->ExecuteNode(message, kind);
}

void TriggerTree::ReleaseContents() {
  root_->ClearChildren();
  released_ = true;
}

std::vector<std::string> TriggerTree::TraceList() const { return root_->FailedNames(); }

int32_t TriggerTree::CountAsyncInserts() const { return root_->CountAsyncInserts(); }

void TriggerTree::ResetMeasurement() {
  RecursiveMutexLock lock(&root_->nodeLock());
  std::vector<CActionObject*> actions;
  root_->CollectBackupTargets(&actions);
  for (CActionObject* action : actions) action->ResetMeasurement();
}

void TriggerTree::CollectWatchedItems(CTavrixController& controller,
                                      std::vector<Ref<CTavrixItem>>* items) {
  root_->CollectWatchedItems(controller, items);
}

}  // namespace tavrix
