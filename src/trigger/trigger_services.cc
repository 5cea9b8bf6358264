#include "trigger/trigger_services.h"

#include "platform/convert.h"

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

HRESULT TriggerServices::WriteSetting(std::string_view name, const Variant& value) {
  if (name != "$TVX_ASYNC_QUEUE_COUNT$") return E_NOTIMPL;
  Variant count;
  RETURN_IF_FAILED(ChangeType(value, VT_I4, &count));
  asyncQueueCount_.store(count.i4(), std::memory_order_relaxed);
  return S_OK;
}

void TriggerServices::Reset() {
  SetScriptHostFactory(nullptr);
  SetPlugin(nullptr);
  asyncQueueCount_.store(0, std::memory_order_relaxed);
}

}  // namespace tavrix
