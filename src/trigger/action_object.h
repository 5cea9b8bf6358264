// CActionObject: a node of a controller's executable trigger tree.
//
// A tree is built from the controller's trigger definitions (node_factory.h),
// initialised once against its controller (InitializeTree) and then executed
// by the controller: once at startup, once per sampling cycle, once per
// controller message and once before it is discarded. Every node is executed
// through ExecuteNode, which counts, times, logs and measures it; a node's
// own Execute does its work, and the base Execute runs the children in
// order (ExecuteChildren).
//
// Results of Execute: 0 success; S_FALSE not executed (stopped, skipped or
// nothing matched); a failure (negative) ends every enclosing list; the
// loop-control results of trigger_codes.h end lists up to the loop, block or
// root that takes them.
//
// Threads: a tree runs on the controller's sampling thread and on the thread
// that delivers its messages; the controller serialises the two. Each node
// also holds its own recursive lock while it refreshes its cache or
// executes, so collection walks from other threads (performance records,
// identifiers) see a node between two of those steps. Initialisation runs
// before the controller installs the tree, where nothing else reaches it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/argument_markers.h"
#include "controller/trigger_performance.h"
#include "platform/mutex.h"
#include "platform/unknown.h"
#include "platform/ref.h"
#include "platform/result.h"
#include "trigger/trigger_codes.h"

namespace tavrix {

class CTavrixController;
class CTavrixItem;
class IZeltMessage;

// One node of the performance records a root collects (identifier walks).
struct TriggerNodeId {
  int32_t number = 0;
  std::string fullName;
  std::string idPath;
};

// One asynchronous performance entry of the external trigger plug-in.
struct TriggerAsyncPerformance {
  std::string name;
  uint32_t values[3] = {0, 0, 0};
};

// What every node of one tree shares, owned by the root: the settings read
// when the tree is initialised and refreshed at each root execution.
struct TriggerTreeContext {
  bool executeStartupTrigger = false;  // kind-0 executions run
  bool disposeErrorScripts = false;
  int32_t maxLoopCount = 100;
  bool thresholdReferences = false;    // "$" thresholds name values
  bool outputActionLog = false;        // log each node's elapsed time
  uint32_t lcid = 0;                   // the server's locale (text conversions)
  ITriggerRecorder* recorder = nullptr;
};

class CActionObject {
 public:
  CActionObject() = default;
  virtual ~CActionObject() = default;
  CActionObject(const CActionObject&) = delete;
  CActionObject& operator=(const CActionObject&) = delete;

  // --- Operations nodes override ---------------------------------------------------
  // The node's work; the base runs the children.
  virtual HRESULT Execute(int32_t kind, IZeltMessage* message);
  // Refreshes the cached values of the children (each under its lock); the
  // first failure is returned.
  virtual HRESULT UpdateCache(int32_t kind);
  // Resolves what the node needs from its controller. The base has nothing.
  virtual HRESULT Initialize(CTavrixController& controller);
  virtual void ReleaseResources() {}
  virtual const char* GetClassName() const { return "CActionObject"; }
  virtual void OnMeasured(uint32_t /*start*/, uint32_t /*end*/) {}
  virtual void ResetMeasurement() {}
  virtual bool SuppressElapsedLog() const { return false; }
  virtual bool ClearsLastResult() const { return true; }
  // Passes a result up to the root, which keeps it.
  virtual void ReportResult(HRESULT result, CActionObject& node);
  virtual bool IsInsideLoop() const;
  virtual void CountExecution();
  // Initialises this node, then its children in order. The tree is not yet
  // installed, so no pass runs it meanwhile.
  virtual HRESULT InitializeTree(CTavrixController& controller);
  virtual void CollectWatchedItems(CTavrixController& controller,
                                   std::vector<Ref<CTavrixItem>>* items);
  virtual CActionObject* FindById(std::string_view id);
  virtual bool HasBackupFiles() const;
  virtual void CollectBackupTargets(std::vector<CActionObject*>* targets);
  virtual int32_t CountAsyncInserts() const;
  virtual void CollectExternalAsyncPerformance(std::vector<TriggerAsyncPerformance>* list);
  virtual HRESULT GetLastResult() const;
  virtual const ArgumentMap* GetArgumentMap() const;
  virtual void ResetCounters();
  // Numbers this node counter + 1 and its descendants after it, depth
  // first; returns the last number given.
  virtual int32_t Number(int32_t counter);
  virtual void CollectIds(std::vector<TriggerNodeId>* ids) const;
  virtual bool IsMeasured() const { return true; }
  // Whether UpdateCache has anything to refresh here: nodes with children,
  // and nodes that cache values of their own. Leaves without a cache are
  // skipped (and not locked) by their parent's refresh.
  virtual bool HasCache() const { return !children_.empty(); }
  // The script object of the enclosing function block, or null.
  virtual Ref<IDispatch> GetScriptObject() const;

  // --- The wrapper and the list --------------------------------------------------------
  // Executes this node as its parent (or the controller, for the root) does.
  HRESULT ExecuteNode(IZeltMessage* message, int32_t kind);
  // Executes the children in order; see the class comment for the results.
  HRESULT ExecuteChildren(int32_t kind, IZeltMessage* message);

  // --- Tree structure --------------------------------------------------------------
  // Appends `child` (the node takes it and becomes its parent).
  CActionObject* AddChild(std::unique_ptr<CActionObject> child);
  const std::vector<std::unique_ptr<CActionObject>>& children() const { return children_; }
  CActionObject* parent() const { return parent_; }
  // Makes `owner` the parent of a node it holds outside its child list (the
  // else branch of an evaluation).
  void SetParent(CActionObject* owner) { parent_ = owner; }
  // Releases the resources of the descendants, depth first, then this node's.
  void ReleaseTree();
  // Releases and destroys the children.
  void ClearChildren();

  // --- Names -------------------------------------------------------------------------
  // Names a node made from a definition: display name `description(id)`,
  // full name controller + "\" + parentPath + display name.
  void SetNames(std::string_view controllerName, std::string_view parentPath,
                std::string_view displayName, std::string idPath, bool insideFunctionBlock);
  const std::string& fullName() const { return fullName_; }
  const std::string& idPath() const { return idPath_; }
  const std::string& controllerName() const { return controllerName_; }
  const std::string& displayName() const { return displayName_; }
  bool insideFunctionBlock() const { return insideFunctionBlock_; }
  uint32_t executionCount() const { return executionCount_; }
  int32_t number() const { return number_; }
  CTavrixController* controller() const { return controller_; }
  // The tree's shared settings; valid once the node is initialised.
  const TriggerTreeContext& context() const { return *context_; }

  RecursiveMutex& nodeLock() RETURN_CAPABILITY(lock_) { return lock_; }

  // An action's execution failure: logs "<class>[<full name>] : Failed in
  // Execute()." with `result`, reports it to the root and gives S_FALSE, so
  // the siblings still run.
  HRESULT FailedExecution(HRESULT result);

  // Logs "<class>[<full name>] : <text>" at `level` with `result`.
  void LogNode(HRESULT result, uint32_t level, std::string_view text) const;
  void LogNode(uint32_t level, std::string_view text) const;
  // As LogNode, with `text` holding one "%ls" that `detail` fills (names
  // from definitions are never read as formats).
  void LogNodeDetail(HRESULT result, uint32_t level, std::string_view text,
                     const std::string& detail) const;

 protected:
  // Whether the controller is gone, stopping or aborting its actions (tested before each child and
  // each loop pass, without a lock).
  bool Stopped() const;
  void SetFullName(std::string name) { fullName_ = std::move(name); }
  void SetIdPath(std::string id) { idPath_ = std::move(id); }
  void SetControllerName(std::string name) { controllerName_ = std::move(name); }
  void SetDisplayName(std::string name) { displayName_ = std::move(name); }
  void SetController(CTavrixController* controller) { controller_ = controller; }
  void SetContext(const TriggerTreeContext* context) { context_ = context; }

  // The measured-execution counter (0..102).
  int32_t measuredCount_ = 0;

 private:
  std::vector<std::unique_ptr<CActionObject>> children_;
  CActionObject* parent_ = nullptr;
  // Set by InitializeTree. The controller owns the tree, so it outlives it.
  CTavrixController* controller_ = nullptr;
  // The root's; set by InitializeTree before the node's own Initialize.
  const TriggerTreeContext* context_ = nullptr;
  std::string fullName_;
  std::string idPath_;
  std::string controllerName_;
  std::string displayName_;
  bool insideFunctionBlock_ = false;
  uint32_t executionCount_ = 0;
  int32_t number_ = 0;
  // Held while the node refreshes its cache or executes; it guards the
  // node's own state (resolved operands, cached values), which
  // each node class declares.
  RecursiveMutex lock_;
};

}  // namespace tavrix
