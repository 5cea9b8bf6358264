// Activation (connection, items, script, triggers, calculations, sampling
// thread), deactivation and the final release at shutdown.
#include <exception>

#include "controller/controller.h"
#include "controller/critical_section_manager.h"
#include "platform/log.h"

namespace tavrix {

namespace {

// How long a sampling thread gets to end before its trigger actions are told
// to abort.
constexpr uint32_t kWorkerStopTimeoutMs = 60000;

// Marks an exception that a deactivation step has already logged.
struct StepFailed {
  std::exception_ptr cause;
};

}  // namespace

HRESULT CTavrixController::_Activate() {
  MutexLock activation(&activationLock_);
  m_hActivateIdleEvent.Reset();
  HRESULT result = S_OK;
  try {
    if (workerExists_.load()) {
      Log(1, "TavrixController[%ls] : _Activate : Already activated.\n", m_bstrTVXCtrlName);
      m_hActivateIdleEvent.Set();
      return S_FALSE;
    }
    m_hStopEvent.Reset();
    if (host_.IsVersionedProject() && kivData_) {
      (void)kivData_->SetLocale(host_.Lcid());
      (void)kivData_->SetFormatOption(-1);
    }
    if (m_lType != 1) {
      const HRESULT hr = OpenController();
      if (FAILED(hr)) {
        SetState(tvCtrlThreadDeactive);
        LogResult(hr, 1, "TavrixController[%ls] : Failed in createing ZELT Controller.\n",
                  m_bstrTVXCtrlName);
        m_hActivateIdleEvent.Set();
        return hr;
      }
      if (settings()->m_lTimeStamp == 1) CreateDeviceClock();
    }

    for (const Ref<CTavrixItem>& item : Items()) {
      const HRESULT hr = item->Activate();
      if (FAILED(hr)) {
        LogResult(hr, 1, "TavrixController[%ls\\%ls] : Failed in activating the item.\n",
                  m_bstrTVXCtrlName, item->name());
        result = S_FALSE;
      }
      if (m_hDisposeEvent.IsSet()) {
        Log(0, "TavrixController[%ls] : _Activate interrupted.\n", m_bstrTVXCtrlName);
        m_hActivateIdleEvent.Set();
        return S_FALSE;
      }
    }

    const auto& parts = ControllerParts::Instance();
    if (m_bScript.load() && parts.createScript) {
      std::unique_ptr<IControllerScript> script;
      if (SUCCEEDED(parts.createScript(*this, &script))) script_ = std::move(script);
    }
    {
      // The tree is initialised outside the items lock: resolving a name of
      // another controller takes that controller's items lock, and that
      // controller may be activating too. No pass runs a tree that is not
      // marked initialised, so nothing misses it meanwhile.
      std::unique_ptr<ITriggerRoot> root;
      {
        RecursiveMutexLock items(&itemsLock_);
        if (!triggerInitialized_) root = std::move(triggerRoot_);
      }
      int32_t initResult = triggerInitResult_.load();
      std::vector<std::string> trace;
      if (root) {
        const HRESULT hr = root->Initialize(*this);
        if (FAILED(hr)) {
          LogResult(hr, 1, "TavrixController[%ls] : Failed TriggerEx Initialize.\n",
                    m_bstrTVXCtrlName);
          trace = root->TraceList();
          root->ReleaseContents();
          initResult = 2;
        } else {
          initResult = 1;
        }
      }
      RecursiveMutexLock items(&itemsLock_);
      if (root) {
        triggerRoot_ = std::move(root);
        triggerInitResult_ = initResult;
        if (initResult == 2) SetTraceList(std::move(trace));
        triggerWaitListChanged_ = true;
      }
      triggerInitialized_ = true;
    }
    {
      // Built without the items lock: the lines look up items of other
      // controllers under those controllers' items locks, and controllers of
      // one group activate at the same time.
      std::vector<ControllerCalcInfo> definitions;
      {
        RecursiveMutexLock items(&itemsLock_);
        calculations_.reset();
        definitions = calcDefinitions_;
      }
      std::unique_ptr<ICalculationList> list;
      if (parts.createCalculations && !definitions.empty() &&
          FAILED(parts.createCalculations(*this, definitions, &list))) {
        list.reset();
      }
      RecursiveMutexLock items(&itemsLock_);
      calculations_ = std::move(list);
      calculationsInitialized_ = true;
    }
    ExecuteTriggerPass(kTriggerPassInitial);

    m_hActivatedEvent.Set();
    if (settings()->m_bStartup) {
      m_hRunEvent.Set();
    } else {
      m_hRunEvent.Reset();
    }
    const HRESULT hr = StartWorker();
    if (FAILED(hr)) {
      LogResult(hr, 1, "TavrixController[%ls] : Failed in creating worker thread.\n",
                m_bstrTVXCtrlName);
      result = hr;
    }
  } catch (...) {
    LogResult(E_FAIL, 3, "TavrixController[%ls] : _Activate : Exception occurred.\n",
              m_bstrTVXCtrlName);
    m_hActivateIdleEvent.Set();
    throw;
  }
  m_hActivateIdleEvent.Set();
  return result;
}

void CTavrixController::CreateDeviceClock() {
  Ref<IZeltController> connection = zeltController();
  Ref<IZeltVariables> variables;
  Ref<IZeltVariable> clock;
  HRESULT hr = connection ? connection->get_Variables(&variables) : E_POINTER;
  if (SUCCEEDED(hr)) {
    hr = variables->Add("@CURRENT_TIME", "", &clock);
    if (hr == TVX_E_ZELT_ALREADY_EXISTS) hr = variables->Item(Variant::Text("@CURRENT_TIME"), &clock);
  }
  if (FAILED(hr)) {
    LogResult(hr, 1, "TavrixController[%ls] : Failed in createing ZELT Variable \"@CURRENT_TIME\".\n",
              m_bstrTVXCtrlName);
    return;
  }
  MutexLock lock(&zeltPointerLock_);
  m_pDeviceClock = std::move(clock);
}

// Runs a pass of an initialised tree; a tree that is not initialised (or
// whose initialisation failed) has nothing that may run.
void CTavrixController::ExecuteTriggerPass(int32_t mode, bool recorded) {
  RecursiveMutexLock items(&itemsLock_);
  if (!triggerRoot_ || !triggerInitialized_ || triggerInitResult_.load() != 1) return;
  TriggerPassScope pass(this);
  if (recorded) triggerPerformance_.BeginPass(mode);
  // A failing pass has written its trace; nothing more to do here.
  (void)triggerRoot_->Execute(mode, nullptr);
  SetTraceList(triggerRoot_->TraceList());
}

void CTavrixController::StopWorker() {
  if (!m_hWorkerThread) return;
  if (m_hWorkerThread->Wait(kWorkerStopTimeoutMs) != WaitStatus::kSignaled) {
    LogResult(E_FAIL, 1,
              "TavrixController[%ls] : Timeout occurred during terminating a worker thread. Abort "
              "Trigger Action start. Checkpoint: %ls\n",
              m_bstrTVXCtrlName, checkpoint());
    m_hAbortActionEvent.Set();
    m_hWorkerThread->Wait(kInfinite);
  }
  m_hWorkerThread.reset();
  workerExists_ = false;
  m_lState = tvCtrlThreadUninit;  // silent: no client is told of this reset
}

void CTavrixController::_Deactivate() {
  MutexLock deactivation(&deactivationLock_);
  Log(0, "TavrixController[%ls] : _Deactivate : Start.\n", m_bstrTVXCtrlName);
  // Runs one step; an exception is logged with the step's line and ends the
  // deactivation through the handler below.
  auto step = [this](const char* line, auto&& body) {
    try {
      body();
    } catch (...) {
      LogResult(E_FAIL, 3, "TavrixController[%ls] : %s\n", m_bstrTVXCtrlName, line);
      throw StepFailed{std::current_exception()};
    }
  };
  try {
    step("_Reconnect : wait activate : Exception occurred.", [this] {
      m_hStopEvent.Set();
      m_hActivateIdleEvent.Wait(kInfinite);
      Log(0, "TavrixController[%ls] : _Deactivate : Activate Check end.\n", m_bstrTVXCtrlName);
      m_hStopEvent.Set();
    });
    step("_Reconnect : stop sampling thread : Exception occurred.", [this] {
      Log(0, "TavrixController[%ls] : _Deactivate : Waiting worker thread.\n", m_bstrTVXCtrlName);
      // A thread that exists is always stopped and joined, whatever the
      // state says: it would otherwise use what the steps below release.
      StopWorker();
      Log(0, "TavrixController[%ls] : _Deactivate : Worker thread stopped.\n", m_bstrTVXCtrlName);
    });
    step("_Reconnect : execute cleanup trigger : Exception occurred.",
         [this] { ExecuteTriggerPass(kTriggerPassCleanup); });
    step("_Reconnect : release script : Exception occurred.", [this] {
      script_.reset();
      Log(0, "TavrixController[%ls] : _Deactivate : Script object deleted.\n", m_bstrTVXCtrlName);
    });
    step("_Reconnect : release trigger : Exception occurred.", [this] {
      RecursiveMutexLock items(&itemsLock_);
      if (triggerRoot_) {
        Log(0, "TavrixController[%ls] : _Deactivate : Release TriggerEx start.\n",
            m_bstrTVXCtrlName);
        triggerRoot_->ReleaseContents();
        triggerInitResult_ = 0;
        Log(0, "TavrixController[%ls] : _Deactivate : Release TriggerEx end.\n",
            m_bstrTVXCtrlName);
      }
      triggerInitialized_ = false;
    });
    step("_Reconnect : item deactivate : Exception occurred.", [this] {
      for (const Ref<CTavrixItem>& item : Items()) item->Deactivate();
    });
    step("_Reconnect : close controller : Exception occurred.", [this] { CloseController(); });
    if (host_.IsVersionedProject()) SetState(tvCtrlThreadDeactive);
    Log(0, "TavrixController[%ls] : _Deactivate : End.\n", m_bstrTVXCtrlName);
  } catch (const StepFailed& failed) {
    try {
      std::rethrow_exception(failed.cause);
    } catch (const std::exception& e) {
      LogResult(E_FAIL, 1, "TavrixController[%ls] : _Deactivate : std::exception occurred.:%s\n",
                m_bstrTVXCtrlName, e.what());
    } catch (...) {
      LogResult(E_FAIL, 1, "TavrixController[%ls] : _Deactivate : Exceptioin occurred.\n",
                m_bstrTVXCtrlName);
    }
  } catch (const std::exception& e) {
    LogResult(E_FAIL, 1, "TavrixController[%ls] : _Deactivate : std::exception occurred.:%s\n",
              m_bstrTVXCtrlName, e.what());
  } catch (...) {
    LogResult(E_FAIL, 1, "TavrixController[%ls] : _Deactivate : Exceptioin occurred.\n",
              m_bstrTVXCtrlName);
  }
}

void CTavrixController::_Terminate() {
  Log(0, "TavrixController[%ls] : _Terminate : Start.\n", m_bstrTVXCtrlName);
  // Reconnections started on request hold the controller; they end with the
  // dispose event and are joined before anything is released.
  m_hDisposeEvent.Set();
  JoinReconnectThreads(false);
  std::vector<Ref<CTavrixItem>> released;
  {
    RecursiveMutexLock items(&itemsLock_);
    legacyTriggers_.Release();
    Log(0, "TavrixController[%ls] : _Terminate : Trigger item released.\n", m_bstrTVXCtrlName);
    triggerRoot_.reset();
    Log(0, "TavrixController[%ls] : _Terminate : Trigger observer released.\n",
        m_bstrTVXCtrlName);
    calculations_.reset();
    calculationsInitialized_ = false;
    Log(0, "TavrixController[%ls] : _Terminate : Calculate item released.\n", m_bstrTVXCtrlName);
    temporaryItems_.ReleaseAll();
    items_.Clear(&released);
    itemCount_.store(0, std::memory_order_relaxed);
    disabledItemNames_.clear();
  }
  for (const Ref<CTavrixItem>& item : released) item->Terminate();
  released.clear();
  Log(0, "TavrixController[%ls] : _Terminate : TavrixItem released.\n", m_bstrTVXCtrlName);
  UnregisterName();
  Log(0, "TavrixController[%ls] : _Terminate : End.\n", m_bstrTVXCtrlName);
}

}  // namespace tavrix
