// The pieces a controller builds at activation and releases at deactivation,
// each behind its own interface: the trigger tree, the controller script, the
// calculation list, the history manager's answer and the listeners of state
// changes. The subsystems that own them install their factories in
// ControllerParts; until one is installed the controller uses the plain
// behaviour written beside each factory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/config_records.h"
#include "config/project_records.h"
#include "config/trigger_info.h"
#include "platform/ref.h"
#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix {

class CTavrixController;

class CTavrixItem;
class CTavrixObserver;
class IZeltMessage;

// The root of a controller's trigger tree. Passes (kinds): 0 initial, 1 first
// cycle, 2 later cycles, 3 message, 4 clean-up.
class ITriggerRoot {
 public:
  virtual ~ITriggerRoot() = default;
  virtual HRESULT Initialize(CTavrixController& controller) = 0;
  // Refreshes the values the conditions read, before a pass of `kind`.
  virtual HRESULT UpdateCache(int32_t kind) = 0;
  // One pass; `message` is the controller message of a kind-3 pass, else null.
  virtual HRESULT Execute(int32_t kind, IZeltMessage* message) = 0;
  // Releases the tree's nodes; the root stays and executes as an empty root.
  virtual void ReleaseContents() = 0;
  // The full names of the nodes that failed in the last pass (or in the
  // failed initialisation).
  virtual std::vector<std::string> TraceList() const = 0;
  // The items of `controller` that the tree's conditions watch (the reads of
  // a cycle that waits for a trigger signal).
  virtual void CollectWatchedItems(CTavrixController& controller,
                                   std::vector<Ref<CTavrixItem>>* items) = 0;
  // The insert-table actions whose rows go through an insert thread.
  virtual int32_t CountAsyncInserts() const { return 0; }
  // Forgets the asynchronous inserts waiting to be measured (a reset of the
  // performance data).
  virtual void ResetMeasurement() {}
};

// The controller script: compiled at activation, run once a cycle.
class IControllerScript {
 public:
  virtual ~IControllerScript() = default;
  virtual HRESULT Run() = 0;
};

// The controller's calculation lines, in order.
class ICalculationList {
 public:
  virtual ~ICalculationList() = default;
  // Runs the lines in order and stops at the first failure, returning it;
  // with `reportFailedLine` the failure's line number is logged (the
  // controller's own list does, a calculation action's does not).
  virtual HRESULT Execute(bool reportFailedLine) = 0;
};

struct ControllerParts {
  // A tree built from the controller's definitions; a failure leaves *out
  // empty. Without a factory every tree is an empty root (it has nothing to
  // run).
  std::function<HRESULT(CTavrixController& controller, const TriggerExInfo& definitions,
                        std::unique_ptr<ITriggerRoot>* out)>
      createTriggerRoot;
  // A legacy trigger observer set up from one trigger info of `controller`
  // (the failure of its setup is returned). Without a factory legacy
  // triggers only switch the sampling to waiting for a trigger signal.
  std::function<HRESULT(CTavrixController& controller, const LegacyTriggerInfo& info,
                        std::unique_ptr<CTavrixObserver>* out)>
      createLegacyTrigger;
  // Without a factory no script object is made (the script does not run).
  std::function<HRESULT(CTavrixController& controller, std::unique_ptr<IControllerScript>* out)>
      createScript;
  // Without a factory the list is empty (nothing to calculate).
  std::function<HRESULT(CTavrixController& controller,
                        const std::vector<ControllerCalcInfo>& definitions,
                        std::unique_ptr<ICalculationList>* out)>
      createCalculations;
  // Whether the history manager records history for this controller. Without
  // one, history is off.
  std::function<bool(CTavrixController& controller)> historyEnabled;
  // Records a history marker or value: (controller name, item name, value,
  // date, microseconds). Without one, recording does nothing (S_FALSE).
  std::function<HRESULT(const std::string& controllerName, const std::string& itemName,
                        const Variant& value, double date, uint32_t microsecond)>
      addHistory;
  // Told of every state change (the controller and its new state): the
  // OnChangeState event of clients and the external trigger plug-in.
  std::function<void(CTavrixController& controller, int32_t state)> stateChanged;
  // Told of an item's changed value when the item announces changes
  // (OnChangeItem to clients, DDE advise, the external trigger plug-in).
  std::function<void(CTavrixController& controller, class CTavrixItem& item)> itemChanged;
  // Told at the start of every sampling cycle, before its reads, on the
  // sampling thread (cycle-start monitoring).
  std::function<void(CTavrixController& controller)> cycleStarted;
  // Told of every completed cycle's scan time (the sampling-time-over log).
  std::function<void(const std::string& controllerName, uint32_t elapsedMs, uint32_t periodMs)>
      cycleCompleted;

  // The process-wide set; install before controllers are made.
  static ControllerParts& Instance();
};

// An empty root: initialises, runs and releases without doing anything.
std::unique_ptr<ITriggerRoot> MakeEmptyTriggerRoot();

}  // namespace tavrix
