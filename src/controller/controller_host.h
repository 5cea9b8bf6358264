// What a controller asks of the engine manager that owns it: the Zelt
// workspace, the open-retry settings, the per-provider locks and the
// project-wide facts. The engine manager implements it; tests give a small
// host around a real Zelt engine.
#pragma once

#include <cstdint>
#include <mutex>
#include <string_view>

#include "platform/ref.h"
#include "platform/result.h"
#include "zelt/interfaces.h"

namespace tavrix {

class CTavrixController;
class CTavrixItem;

// The workspace settings trigger trees follow.
struct TriggerWorkspaceSettings {
  bool executeStartupTrigger = false;  // m_bExecuteStartupTrigger: run kind-0 passes
  bool disposeErrorScripts = false;    // m_bDisposeErrorScripts
  int32_t maxLoopCount = 100;          // m_lMaxLoopCount: passes of a repeat node
  bool thresholdReferences = false;    // project version 1.2 or later
  bool temporaryItems = false;         // project version 1.4 or later
};

// The workspace settings of user-defined table writers and insert-table
// actions.
struct DatabaseWorkspaceSettings {
  bool connectRetry = false;          // m_bDBConnRetry
  int32_t connectRetryCount = 0;      // m_lDBConnRetryCount: retries after the first open
  int32_t connectRetryInterval = 0;   // m_lDBConnRetryInterval, ms
  bool backupDisabled = false;        // m_bBackupDisabled
  int32_t maxBackupCount = 604800;    // m_lMaxBackupCount
  int32_t recoveryInterval = 0;       // m_lAutoRecoveryInterval, ms (0: the default)
  int32_t asyncQueueLimit = 100000;   // rows an insert thread keeps in memory
};

class IControllerHost {
 public:
  virtual ~IControllerHost() = default;

  // The Zelt workspace controllers are opened in; a failure when the engine
  // has none (not created yet, or already released).
  virtual HRESULT GetWorkspace(Ref<IZeltWorkspace>* out) = 0;

  // The workspace's open-retry settings: attempts after the first (negative:
  // for ever) and the wait between attempts in ms.
  virtual int32_t RetryCount() const = 0;
  virtual int32_t RetryInterval() const = 0;

  // The lock of a provider (the text compared without regard to case),
  // created on first request and kept until the host goes. Opening and
  // closing controllers of one provider are serialised on it.
  virtual std::recursive_mutex& ProviderLock(std::string_view provider) = 0;

  // Whether the project file carries a version element.
  virtual bool IsVersionedProject() const = 0;

  // The process locale (system setting LCID).
  virtual uint32_t Lcid() const = 0;
  // The NotRepeatError system setting: a failing item logs once until it
  // succeeds again.
  virtual bool NotRepeatError() const = 0;
  // An item of another controller of the engine (names without regard to
  // case), or null.
  virtual Ref<CTavrixItem> FindEngineItem(std::string_view controller, std::string_view item) = 0;
  // A controller of the engine by name (without regard to case), or null.
  virtual Ref<CTavrixController> FindController(std::string_view name) const = 0;
  // The workspace's trigger settings, as the project set them.
  virtual TriggerWorkspaceSettings TriggerSettings() const = 0;

  // The workspace's database settings, as the project set them.
  virtual DatabaseWorkspaceSettings DatabaseSettings() const = 0;
  // Waits up to `ms` for the engine to stop (its dispose event); true when
  // it stops, false when the time ran out.
  virtual bool WaitForEngineStop(uint32_t ms) = 0;
  // A controller's reload or update has been applied (engine command
  // bookkeeping); called on the thread that applied it.
  virtual void OnControllerUpdated(CTavrixController& controller) = 0;
};

}  // namespace tavrix
