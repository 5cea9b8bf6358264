// CTavrixTriggerObserverEx: the root of a controller's trigger tree, and
// TriggerTree, the ITriggerRoot the controller holds.
//
// The root keeps the last result reported by any node ("$Trigger.LastError$")
// and the full names of the nodes that reported a failure during the current
// execution; each root execution starts a fresh list.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "config/trigger_info.h"
#include "controller/controller_parts.h"
#include "platform/mutex.h"
#include "trigger/action_object.h"

namespace tavrix {

class CTavrixTriggerObserverEx final : public CActionObject {
 public:
  CTavrixTriggerObserverEx() = default;

  HRESULT Initialize(CTavrixController& controller) override;
  const char* GetClassName() const override { return "CTavrixTriggerObserverEx"; }
  void ReportResult(HRESULT result, CActionObject& node) override;
  void CountExecution() override;
  HRESULT InitializeTree(CTavrixController& controller) override;
  HRESULT GetLastResult() const override { return HRESULT(lastResult_.load()); }
  const ArgumentMap* GetArgumentMap() const override { return nullptr; }
  bool IsMeasured() const override { return false; }

  std::vector<std::string> FailedNames() const EXCLUDES(failedLock_);
  // Where measured executions go; null (the default) measures nothing.
  void SetRecorder(ITriggerRecorder* recorder) { context_.recorder = recorder; }
  // Reads the per-execution settings (action timing) from the controller.
  void RefreshContext();

 private:
  TriggerTreeContext context_;
  std::atomic<int32_t> lastResult_{0};
  // Guards failedNames_: written by the executing thread, read by clients.
  mutable Mutex failedLock_;
  std::vector<std::string> failedNames_ GUARDED_BY(failedLock_);
};

// The tree as the controller holds it.
// It keeps the definitions it was built from: a deactivation releases the
// nodes, and the next activation (a reconnection) builds them again.
class TriggerTree final : public ITriggerRoot {
 public:
  TriggerTree(std::unique_ptr<CTavrixTriggerObserverEx> root, const TriggerExInfo& definitions);
  ~TriggerTree() override;

  HRESULT Initialize(CTavrixController& controller) override;
  HRESULT UpdateCache(int32_t kind) override;
  HRESULT Execute(int32_t kind, IZeltMessage* message) override;
  void ReleaseContents() override;
  std::vector<std::string> TraceList() const override;
  void CollectWatchedItems(CTavrixController& controller,
                           std::vector<Ref<CTavrixItem>>* items) override;
  int32_t CountAsyncInserts() const override;
  void ResetMeasurement() override;

  CTavrixTriggerObserverEx& root() { return *root_; }

 private:
  std::unique_ptr<CTavrixTriggerObserverEx> root_;
  TriggerExInfo definitions_;
  bool released_ = false;  // the nodes were released; Initialize rebuilds them
};

}  // namespace tavrix
