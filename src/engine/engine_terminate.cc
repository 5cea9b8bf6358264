// The engine stop: servers, controllers, plug-ins and shared objects are
// released in the reverse of the order they depend on each other.
#include "engine/engine_man.h"
#include "platform/log.h"

namespace tavrix {

void CTavrixEngineMan::Terminate() {
  MutexLock lock(&terminateLock_);
  TerminateLocked();
}

void CTavrixEngineMan::TerminateLocked() {
  if (terminated_.load()) return;
  terminating_.store(true);
  Log(1, "TavrixEngineMan : Terminate start.\n");
  const EngineSettings settings = this->settings();

  // No client request may reach a controller that is being stopped.
  if (settings.coapServerEnabled) services_.coap->Stop();
  if (settings.kivServerEnabled) services_.kiv->Stop();

  Deactivate();

  services_.externalFunctions->Stop();
  Log(1, "TavrixEngineMan : Start Terminate Trigger : Asynchronous execution queue count : %d.\n",
      services_.externalTrigger->QueuedExecutions());
  services_.externalTrigger->Terminate();
  Log(1, "TavrixEngineMan : End Terminate Trigger.\n");

  const std::vector<Ref<CTavrixController>> controllers = Controllers();
  for (const auto& c : controllers) c->_Terminate();
  {
    MutexLock controllersLock(&controllersLock_);
    controllers_.clear();
    started_.clear();
    currentIndex_ = -1;
  }

  // Every controller has closed its connection: nobody holds a provider lock.
  {
    MutexLock providerLock(&providerLocksMutex_);
    providerLocks_.clear();
  }

  Ref<IZeltWorkspace> workspace;
  Ref<IZeltEngine> engine;
  {
    MutexLock zeltLock(&zeltLock_);
    workspace = std::move(zeltWorkspace_);
    engine = std::move(zeltEngine_);
  }
  workspace.reset();
  engine.reset();
  services_.history->ReleaseObject();
  Ref<IUnknown> engineObject;
  {
    RecursiveMutexLock engineLock(&EngineLock());
    engineObject = std::move(engineObject_);
  }
  // Its reference to the manager comes back through Release, which does not
  // end a terminating manager.
  engineObject.reset();

  services_.history->StopManager();
  if (settings.ddeEnabled) services_.dde->Stop();

  if (networkFolders_) {
    networkFolders_->Stop();
    networkFolders_.reset();
  }
  services_.passwordDecoder->Unload();

  Log(1, "TavrixEngineMan : Terminate complete.\n");
  terminated_.store(true);
}

}  // namespace tavrix
