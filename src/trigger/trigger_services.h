// The parts of the trigger engine that live outside it: the script host the
// script action runs its text in, and the external trigger plug-in the
// callback action hands its calls to. Both are installed process-wide by
// whoever provides them (none in this build); the actions look them up when
// they initialise or execute.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_records.h"
#include "platform/mutex.h"
#include "platform/ref.h"
#include "platform/result.h"
#include "platform/unknown.h"
#include "trigger/action_object.h"

namespace tavrix {

class CTavrixController;

// Runs one script text for one script action.
class ITriggerScriptHost {
 public:
  virtual ~ITriggerScriptHost() = default;
  // Prepares `script` for the action named `fullName`; `blockObject` is the
  // script object of the enclosing function block (null outside one).
  virtual HRESULT Initialize(CTavrixController& controller, const std::string& script,
                             const std::string& fullName, Ref<IDispatch> blockObject,
                             bool notSafeMode) = 0;
  // Runs the prepared script once; a negative result is a failure.
  virtual HRESULT Run() = 0;
};

// What a callback action tells the plug-in about itself at each execution.
struct TriggerCallRecord {
  std::string pluginFileName;
  std::string pluginFullName;
  std::string idPath;
  std::string controllerName;
  std::string fullName;
  uint32_t executionCount = 0;
};

// The external trigger plug-in. Its calls come from the controllers'
// sampling and message threads, for many actions at once.
class IExternalTriggerPlugin {
 public:
  virtual ~IExternalTriggerPlugin() = default;
  virtual HRESULT ExecuteTrigger(const TriggerCallRecord& call, const PluginConfigNode& config) = 0;
  // Forgets what the plug-in keeps for the action `idPath`.
  virtual void ResetTrigger(const std::string& idPath) = 0;
  // Appends the asynchronous performance entries of the action `idPath`.
  virtual void AsyncPerformance(const std::string& idPath,
                                std::vector<TriggerAsyncPerformance>* out) = 0;
};

class TriggerServices {
 public:
  using ScriptHostFactory = std::function<std::unique_ptr<ITriggerScriptHost>()>;

  static TriggerServices& Instance();

  // Installs (or, with an empty function, removes) the script host factory.
  void SetScriptHostFactory(ScriptHostFactory factory) EXCLUDES(lock_);
  // A new host, or null when no factory is installed or it gives none.
  std::unique_ptr<ITriggerScriptHost> CreateScriptHost() const EXCLUDES(lock_);

  // Installs (or, with null, unloads) the plug-in. The caller keeps it alive
  // until every action that may call it has been released.
  void SetPlugin(IExternalTriggerPlugin* plugin) EXCLUDES(lock_);
  // The loaded plug-in, or null.
  IExternalTriggerPlugin* plugin() const EXCLUDES(lock_);

  // A setting the plug-in writes through its write-values callback:
  // "$TVX_ASYNC_QUEUE_COUNT$" stores `value` as a 32-bit integer as the
  // asynchronous queue count (the conversion's failure when it does not
  // convert); any other name gives E_NOTIMPL.
  HRESULT WriteSetting(std::string_view name, const Variant& value);
  // The asynchronous queue count the plug-in last reported (0 at start).
  int32_t asyncQueueCount() const { return asyncQueueCount_.load(std::memory_order_relaxed); }

  // Removes both and forgets the count (tests).
  void Reset();

 private:
  TriggerServices() = default;

  mutable Mutex lock_;
  ScriptHostFactory scriptHostFactory_ GUARDED_BY(lock_);
  IExternalTriggerPlugin* plugin_ GUARDED_BY(lock_) = nullptr;
  std::atomic<int32_t> asyncQueueCount_{0};
};

}  // namespace tavrix
