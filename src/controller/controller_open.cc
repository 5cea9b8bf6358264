// Opening and closing the controller's Zelt connection, shared between
// configured controllers of one Zelt controller name, and the event sink
// that receives the controller's messages.
#include <cstdint>

#include "config/replace_strings.h"
#include "controller/controller.h"
#include "controller/critical_section_manager.h"
#include "controller/zelt_controller_refs.h"
#include "platform/dispatch.h"
#include "platform/log.h"

namespace tavrix {

namespace {

// The form the log lines print a connection with ("pointer is [%d]").
int32_t PointerNumber(const void* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)));
}

}  // namespace

// Passes the Zelt controller's messages to the controller. Detach (at close)
// waits for a message being handled and stops later ones, so the controller
// never sees a message after its connection closed.
class CTavrixController::EventSink final
    : public DispatchObject<EventSink, IZeltControllerEventSink> {
 public:
  explicit EventSink(CTavrixController* owner) : key_(owner), owner_(owner) {}

  HRESULT OnMessage(IUnknown* message) override EXCLUDES(mutex_) {
    if (TriggerPassScope::Runs(key_)) {
      // Raised by a command of the controller's own trigger pass, on its
      // thread and under its items lock: running the tree again from inside
      // itself could only loop or deadlock.
      Log(1, "TavrixController[%ls] : A message raised by its own trigger is not handled.\n",
          key_->name());
      return S_FALSE;
    }
    MutexLock lock(&mutex_);
    if (owner_ == nullptr) return S_FALSE;
    owner_->OnZeltMessage(message);
    return S_OK;
  }

  void Detach() EXCLUDES(mutex_) {
    MutexLock lock(&mutex_);
    owner_ = nullptr;
  }

 private:
  // Guards owner_ and holds it while a message is handled, so Detach waits
  // for a message being handled. Taken before the owner's itemsLock_, and
  // never while the owner holds it.
  Mutex mutex_;
  // The controller this sink was made for, only compared (never used once
  // detached).
  const CTavrixController* const key_;
  CTavrixController* owner_ GUARDED_BY(mutex_);
};


void CTavrixController::OnZeltMessage(IUnknown* unknown) {
  Ref<IZeltMessage> message = QueryAs<IZeltMessage>(unknown, IZeltMessage::kIid);
  RecursiveMutexLock lock(&itemsLock_);
  if (!triggerRoot_ || triggerInitResult_.load() != 1) return;
  TriggerPassScope pass(this);
  triggerPerformance_.BeginPass(kTriggerPassMessage);
  // The conditions see the values of the last cycle, refreshed.
  if (FAILED(triggerRoot_->UpdateCache(kTriggerPassFirstCycle))) return;
  const HRESULT hr = triggerRoot_->Execute(kTriggerPassMessage, message.get());
  SetTraceList(triggerRoot_->TraceList());
  if (FAILED(hr)) {
    LogResult(hr, 1, "TavrixController[%ls] : Failed TriggerEx Execute.\n", m_bstrTVXCtrlName);
  }
}

std::recursive_mutex& CTavrixController::ProviderLockRef() {
  MutexLock lock(&optionLock_);
  if (providerLock_ == nullptr) providerLock_ = &host_.ProviderLock(settings_->m_bstrProvider);
  return *providerLock_;
}

HRESULT CTavrixController::OpenController() {
  if (host_.IsVersionedProject() && settings()->m_bstrProvider.empty()) {
    Log(0, "TavrixController[%ls] : OpenController : Provider is not used.\n", m_bstrTVXCtrlName);
    return S_FALSE;
  }
  if (zeltController()) return S_FALSE;

  Ref<IZeltWorkspace> workspace;
  RETURN_IF_FAILED(host_.GetWorkspace(&workspace));
  const int32_t retryCount = host_.RetryCount();
  const int32_t retryInterval = host_.RetryInterval();
  int32_t attempt = 0;
  HRESULT hr = S_OK;
  for (;;) {
    ControllerSettingsPtr s;
    {
      MutexLock lock(&optionLock_);
      s = settings_;
      optionChanged_ = false;
    }
    std::string option = s->m_bstrParam;
    Ref<IZeltController> opened;
    bool shared = false;
    {
      std::lock_guard providerLock(ProviderLockRef());
      Log(0, "TavrixController[%ls] : OpenController : AddController start.\n",
          m_bstrTVXCtrlName);
      hr = TavrixUtility::ReplaceStringMap::Instance().Expand(&option, TavrixUtility::ExpandMode::kConnect);
      if (FAILED(hr)) break;
      auto nameLock = CriticalSectionManager::ByName().Lock(RegisteredName());
      if (m_hDisposeEvent.IsSet() || m_hStopEvent.IsSet()) {
        Log(1, "TavrixController[%ls] : OpenController : AddController Canceled.\n",
            m_bstrTVXCtrlName);
        return E_FAIL;
      }
      hr = workspace->AddController(s->m_bstrCtrlName, s->m_bstrProvider, s->m_bstrMachine, option,
                                    &opened);
      if (SUCCEEDED(hr)) {
        AddZeltControllerRef(opened.get());
      } else if (hr == TVX_E_ZELT_ALREADY_EXISTS) {
        Ref<IZeltControllers> controllers;
        hr = workspace->get_Controllers(&controllers);
        if (SUCCEEDED(hr)) hr = controllers->Item(Variant::Text(s->m_bstrCtrlName), &opened);
        Log(0,
            "TavrixController[%ls] : OpenController : Use shared controller. pointer is [%d], "
            "HRESULT is [0x%x]\n",
            m_bstrTVXCtrlName, PointerNumber(opened.get()), hr);
        if (SUCCEEDED(hr)) {
          AddZeltControllerRef(opened.get());
          shared = true;
        }
      }
      if (!shared) {
        if (FAILED(hr)) {
          LogResult(hr, 1,
                    "TavrixController[%ls] : OpenController : AddController failed. HRESULT is "
                    "[0x%x]\n",
                    m_bstrTVXCtrlName, hr);
        } else {
          Log(0,
              "TavrixController[%ls] : OpenController : AddController end. pointer is [%d], "
              "HRESULT is [0x%x]\n",
              m_bstrTVXCtrlName, PointerNumber(opened.get()), hr);
        }
      }
    }
    if (SUCCEEDED(hr)) {
      {
        MutexLock lock(&zeltPointerLock_);
        m_pZeltController = opened;
      }
      if (shared) break;
      bool changed;
      {
        MutexLock lock(&optionLock_);
        changed = optionChanged_;
      }
      if (!changed) break;
      Log(0, "TavrixController[%ls] : ReconnectProc : Option string is updated. Process again.\n",
          m_bstrTVXCtrlName);
      CloseController();
      continue;
    }
    if (retryCount >= 0 && attempt >= retryCount) break;
    ++attempt;
    const uint32_t wait = retryInterval > 0 ? static_cast<uint32_t>(retryInterval) : 0;
    if (WaitAny({&m_hDisposeEvent, &m_hStopEvent}, wait) != kWaitTimedOut) break;
    Log(0, "TavrixController[%ls] : Re-open the controller... #%d\n", m_bstrTVXCtrlName, attempt);
  }
  Log(0, "TavrixController[%ls] : Connect waiting loop exited.\n", m_bstrTVXCtrlName);
  if (FAILED(hr)) return hr;

  const ControllerSettingsPtr s = settings();
  Ref<IZeltController> connection = zeltController();
  if (s->m_bVariableSync && connection) {
    std::string zeltName;
    if (FAILED(connection->get_Name(&zeltName))) zeltName.clear();
    MutexLock lock(&zeltPointerLock_);
    pointerKey_ = CriticalSectionManager::ControllerKey(connection.get());
    CriticalSectionManager::ByController().Register(pointerKey_, zeltName);
  }
  DisconnectEventSink();
  // Whether the sink connects is not checked: a controller without messages
  // still samples.
  if (s->m_bEventBinding) (void)ConnectEventSink();
  return S_OK;
}

HRESULT CTavrixController::ConnectEventSink() {
  Ref<IZeltController> connection = zeltController();
  if (!connection) return E_POINTER;
  Ref<EventSink> sink = MakeRef<EventSink>(this);
  Ref<IConnectionPoint> source;
  HRESULT hr = connection->get_EventSource(&source);
  uint32_t cookie = 0;
  if (SUCCEEDED(hr)) hr = source->Advise(static_cast<IZeltControllerEventSink*>(sink.get()), &cookie);
  MutexLock lock(&zeltPointerLock_);
  m_pEventSink = sink;
  eventSource_ = SUCCEEDED(hr) ? source : Ref<IConnectionPoint>();
  eventCookie_ = cookie;
  return hr;
}

void CTavrixController::DisconnectEventSink() {
  Ref<IZeltControllerEventSink> sink;
  Ref<IConnectionPoint> source;
  uint32_t cookie;
  {
    MutexLock lock(&zeltPointerLock_);
    sink = std::move(m_pEventSink);
    source = std::move(eventSource_);
    cookie = std::exchange(eventCookie_, 0);
  }
  if (!sink) return;
  if (source) (void)source->Unadvise(cookie);
  static_cast<EventSink*>(sink.get())->Detach();
}

void CTavrixController::CloseController() {
  Ref<IZeltController> connection;
  {
    MutexLock lock(&zeltPointerLock_);
    // Exactly what the open registered, whatever the setting says now.
    if (!pointerKey_.empty()) {
      CriticalSectionManager::ByController().Unregister(pointerKey_);
      pointerKey_.clear();
    }
    connection = m_pZeltController;
  }
  if (!connection) return;

  bool hasSink;
  {
    MutexLock lock(&zeltPointerLock_);
    hasSink = static_cast<bool>(m_pEventSink);
  }
  if (hasSink) {
    Log(0, "TavrixController[%ls] : CloseController : Release ZeltEventSink start.\n",
        m_bstrTVXCtrlName);
    DisconnectEventSink();
    Log(0, "TavrixController[%ls] : CloseController : Release ZeltEventSink end.\n",
        m_bstrTVXCtrlName);
  }
  {
    MutexLock lock(&zeltPointerLock_);
    m_pDeviceClock.reset();
  }
  Log(0, "TavrixController[%ls] : CloseController : DeviceTimer released.\n", m_bstrTVXCtrlName);

  {
    std::lock_guard providerLock(ProviderLockRef());
    auto nameLock = CriticalSectionManager::ByName().Lock(RegisteredName());
    const int32_t count = ReleaseZeltControllerRef(connection.get());
    if (count < 0) {
      Log(0, "TavrixController[%ls] : CloseController : Controller count invalid.\n",
          m_bstrTVXCtrlName);
    } else if (count > 0) {
      Log(0,
          "TavrixController[%ls] : CloseController : Controller is not removed. Refernce count "
          "is %d\n",
          m_bstrTVXCtrlName, count);
    } else {
      Ref<IZeltWorkspace> workspace;
      Ref<IZeltControllers> controllers;
      if (FAILED(host_.GetWorkspace(&workspace)) || !workspace) {
        // The engine's workspace went first: the connection went with it,
        // so the pointer is still let go below.
        Log(0, "TavrixController[%ls] : CloseController : Workspace not exists.\n",
            m_bstrTVXCtrlName);
      } else if (FAILED(workspace->get_Controllers(&controllers))) {
        Log(0, "TavrixController[%ls] : CloseController : Controllers not exists.\n",
            m_bstrTVXCtrlName);
      } else {
        int32_t index = 0;
        if (SUCCEEDED(connection->get_Index(&index))) (void)workspace->Remove(index);
        Log(0, "TavrixController[%ls] : CloseController : Controller removed.\n",
            m_bstrTVXCtrlName);
      }
    }
  }
  {
    MutexLock lock(&zeltPointerLock_);
    m_pZeltController.reset();
  }
  Log(1, "TavrixController[%ls] : CloseController : Controller released.\n", m_bstrTVXCtrlName);
}

Ref<IZeltController> CTavrixController::zeltController() const {
  MutexLock lock(&zeltPointerLock_);
  return m_pZeltController;
}

}  // namespace tavrix
