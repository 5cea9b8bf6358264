#include "trigger/trigger_services.h"

namespace tavrix {

TriggerServices& TriggerServices::Instance() {
  static TriggerServices services;
  return services;
}

void TriggerServices::SetScriptHostFactory(ScriptHostFactory factory) {
  MutexLock lock(&lock_);
  scriptHostFactory_ = std::move(factory);
}

std::unique_ptr<ITriggerScriptHost> TriggerServices::CreateScriptHost() const {
  ScriptHostFactory factory;
  {
    MutexLock lock(&lock_);
    factory = scriptHostFactory_;
  }
  // Called outside the lock: a host may take its time to start.
  return factory ? factory() : nullptr;
}

void TriggerServices::SetPlugin(IExternalTriggerPlugin* plugin) {
  MutexLock lock(&lock_);
  plugin_ = plugin;
}

IExternalTriggerPlugin* TriggerServices::plugin() const {
  MutexLock lock(&lock_);
  return plugin_;
}

void TriggerServices::Reset() {
  SetScriptHostFactory(nullptr);
  SetPlugin(nullptr);
}

}  // namespace tavrix
