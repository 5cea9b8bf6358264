// Applying a changed configuration to a running controller: the reload of
// triggers and calculations, the update of settings and items, and the full
// reload that deactivates and activates again.
#include "controller/controller.h"
#include "controller/critical_section_manager.h"
#include "platform/log.h"

namespace tavrix {

namespace {

// Reopens the reload gate on every way out of an update.
class GateReopener {
 public:
  explicit GateReopener(Event& gate) : gate_(gate) { gate_.Reset(); }
  ~GateReopener() { gate_.Set(); }
  GateReopener(const GateReopener&) = delete;
  GateReopener& operator=(const GateReopener&) = delete;

 private:
  Event& gate_;
};

}  // namespace

HRESULT CTavrixController::_Reload(const ControllerRecord& record) {
  OptionalLock<RecursiveMutex> cycle(host_.IsVersionedProject() ? &cycleLock_ : nullptr);
  Log(0, "TavrixController[%ls] : _Reload start.\n", m_bstrTVXCtrlName);
  {
    MutexLock lock(&optionLock_);
    auto changed = std::make_shared<ControllerSettings>(*settings_);
    changed->m_bOutputActionLog = record.m_bOutputActionLog;
    changed->m_bEventBinding = record.m_bEventBinding;
    settings_ = std::move(changed);
  }

  std::unique_ptr<ITriggerRoot> root;
  const HRESULT built = BuildTriggerRoot(record, &root);
  int32_t initResult = 0;
  std::vector<std::string> trace;
  bool initialized;
  {
    RecursiveMutexLock items(&itemsLock_);
    initialized = triggerInitialized_;
  }
  if (FAILED(built)) {
    LogResult(built, 1, "TavrixController[%ls] : Failed CreateTriggerObserverEx.\n",
              m_bstrTVXCtrlName);
    root->ReleaseContents();
    LogResult(built, 1, "TavrixController[%ls] : Create TriggerEx failed.\n", m_bstrTVXCtrlName);
    trace = {"Create trigger failed."};
    initResult = 2;
  } else {
    if (initialized) {
      const HRESULT hr = root->Initialize(*this);
      if (FAILED(hr)) {
        LogResult(hr, 1, "TavrixController[%ls] : TriggerObserverEx initialize failed.\n",
                  m_bstrTVXCtrlName);
        trace = root->TraceList();
        root->ReleaseContents();
        initResult = 2;
      } else {
        initResult = 1;
      }
    }
    DisconnectEventSink();
    if (zeltController() && record.m_bEventBinding && FAILED(ConnectEventSink())) {
      DisconnectEventSink();
    }
  }

  std::unique_ptr<ICalculationList> calculations;
  bool replaceCalculations = false;
  if (!record.m_bCalcDisable) {
    const auto& factory = ControllerParts::Instance().createCalculations;
    {
      RecursiveMutexLock items(&itemsLock_);
      calcDefinitions_ = record.m_calculationList;
      replaceCalculations = calculationsInitialized_;
    }
    // Built without the items lock: the lines look up items of other
    // controllers under those controllers' items locks.
    if (replaceCalculations && factory && !record.m_calculationList.empty() &&
        FAILED(factory(*this, record.m_calculationList, &calculations))) {
      calculations.reset();
    }
  }

  {
    RecursiveMutexLock items(&itemsLock_);
    // The state is read here, under the lock a deactivation also takes, so
    // the passes and the restored state match the controller as it is now.
    const int32_t state = State();
    if (state != tvCtrlThreadDeactive) ExecuteTriggerPass(kTriggerPassCleanup, true);
    triggerRoot_ = std::move(root);
    triggerInitResult_ = initResult;
    if (!trace.empty() || FAILED(built)) SetTraceList(trace);
    triggerWaitListChanged_ = true;
    if (SUCCEEDED(built)) {
      SetState(-1);
      SetState(state);
    }
    if (state != tvCtrlThreadDeactive) ExecuteTriggerPass(kTriggerPassInitial, true);
    firstCycle_ = true;
  }
  {
    RecursiveMutexLock items(&itemsLock_);
    if (replaceCalculations) calculations_ = std::move(calculations);
  }
  return S_OK;
}

HRESULT CTavrixController::_Update(const ControllerRecord& record) {
  OptionalLock<RecursiveMutex> cycle(host_.IsVersionedProject() ? &cycleLock_ : nullptr);
  GateReopener gate(m_hReloadGate);
  UnregisterName();
  RETURN_IF_FAILED(CopySettings(record, true));
  if (workerExists_.load() && FAILED(ApplyWorkerPriority())) {
    Log(0, "TavrixController[%ls] : Failed in setting thread priority.\n", m_bstrTVXCtrlName);
  }
  RegisterNames();
  return _Reload(record);
}

void CTavrixController::SetPendingUpdate(const ControllerRecord& record) {
  RecursiveMutexLock items(&itemsLock_);
  pendingUpdate_.reset();
  pendingUpdate_.emplace(record);
}

HRESULT CTavrixController::UpdateItem(const ItemRecord& record) {
  RecursiveMutexLock items(&itemsLock_);
  pendingItems_.push_back(record);
  return S_OK;
}

HRESULT CTavrixController::_DoUpdate() {
  std::optional<ControllerRecord> pending;
  std::vector<ItemRecord> itemRecords;
  {
    RecursiveMutexLock items(&itemsLock_);
    if (!pendingUpdate_) return S_FALSE;
    pending.emplace(*pendingUpdate_);
    pendingUpdate_.reset();
    itemRecords.swap(pendingItems_);
  }
  Log(0, "TavrixController[%ls] : _DoUpdate start.\n", m_bstrTVXCtrlName);
  (void)_Update(*pending);
  for (const ItemRecord& itemRecord : itemRecords) {
    Ref<CTavrixItem> item = FindItem(itemRecord.m_strItemName);
    if (!item) continue;
    RecursiveMutexLock items(&itemsLock_);
    (void)item->ApplySettings(itemRecord);
  }
  Log(0, "TavrixController[%ls] : _DoUpdate end.\n", m_bstrTVXCtrlName);
  host_.OnControllerUpdated(*this);
  return S_OK;
}

HRESULT CTavrixController::_DoReload() {
  Log(0, "TavrixController[%ls] : _DoReload start.\n", m_bstrTVXCtrlName);
  _StopReconnect();
  _WaitForStopReconnect(kInfinite);
  _Deactivate();
  (void)_DoUpdate();
  m_hDisposeEvent.Reset();
  disposing_ = false;
  SetState(tvCtrlThreadUninit);
  const HRESULT hr = StartActivationThread(false);
  Log(0, "TavrixController[%ls] : _DoReload end.\n", m_bstrTVXCtrlName);
  return hr;
}

}  // namespace tavrix
