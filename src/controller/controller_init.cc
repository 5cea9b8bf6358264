// Construction, initialisation from the controller record, the item
// registry and the temporary items.
#include <algorithm>

#include "config/temp_variables.h"
#include "controller/backup_folder.h"
#include "controller/controller.h"
#include "controller/critical_section_manager.h"
#include "platform/log.h"
#include "platform/text.h"

namespace tavrix {

namespace {

// Used when a setting cannot work as configured.
constexpr int32_t kDefaultSamplingRate = 300;
constexpr int32_t kDefaultRecInterval = 1;

}  // namespace

CTavrixController::CTavrixController(IControllerHost& host) : host_(host) {
  // The backup folder is settled once per process, by the first controller.
  (void)GetBackupFolder();
  const HRESULT hr = CreateKivData(&kivData_);
  if (FAILED(hr)) {
    LogResult(hr, 1, "CKivServer : Failed in retrieving IKivData interface.\n");
    kivData_.reset();
  }
}

CTavrixController::~CTavrixController() {
  // Whatever a caller forgot: threads are told to end and joined before the
  // members they use go.
  m_hDisposeEvent.Set();
  m_hStopEvent.Set();
  m_hReloadGate.Set();
  m_hAbortActionEvent.Set();
  if (m_hReconnectThread) m_hReconnectThread->Wait(kInfinite);
  JoinReconnectThreads(false);
  if (m_hWorkerThread) m_hWorkerThread->Wait(kInfinite);
  if (!registeredName_.empty()) CriticalSectionManager::ByName().Unregister(registeredName_);
}

HRESULT CTavrixController::Initialize(int32_t index, const ControllerRecord& record) {
  m_lIndex = index;
  HRESULT hr = CopySettings(record, false);
  if (FAILED(hr)) {
    LogResult(hr, 0, "CTavrixController::ReadXMLInfo() Failed\n");
  } else if (!m_bEnabled) {
    Log(1, "TavrixController[%ls] : NOT Enabled.\n", m_bstrTVXCtrlName);
    return E_FAIL;
  }
  if (FAILED(hr)) {
    LogResult(hr, 1, "TavrixController[%ls] : Failed in initializeing Controller.\n",
              m_bstrTVXCtrlName);
    return hr;
  }
  if (!m_bStartup) m_hRunEvent.Reset();
  const auto& parts = ControllerParts::Instance();
  historyEnabled_ = parts.historyEnabled ? parts.historyEnabled(*this) : false;
  RegisterNames();
  initialized_ = true;
  return S_OK;
}

void CTavrixController::RegisterNames() {
  std::string provider;
  {
    std::lock_guard lock(optionLock_);
    provider = m_bstrProvider;
  }
  providerLock_ = &host_.ProviderLock(provider);
  registeredName_ = CriticalSectionManager::NameKey(m_bstrCtrlName);
  CriticalSectionManager::ByName().Register(registeredName_, m_bstrCtrlName);
}

HRESULT CTavrixController::BuildTriggerRoot(const ControllerRecord& record,
                                            std::unique_ptr<ITriggerRoot>* out) {
  const auto& factory = ControllerParts::Instance().createTriggerRoot;
  if (record.m_bTriggerDisable || !factory) {
    *out = MakeEmptyTriggerRoot();
    return S_OK;
  }
  const HRESULT hr = factory(record.m_triggerEx, out);
  if (FAILED(hr) || !*out) {
    *out = MakeEmptyTriggerRoot();
    return FAILED(hr) ? hr : E_FAIL;
  }
  return S_OK;
}

// Copies the record in the order of the settings table. `update` is the
// run-time update, which keeps the settings a running controller cannot
// change.
HRESULT CTavrixController::CopySettings(const ControllerRecord& record, bool update) {
  if (!update) {
    m_bstrCtrlName = record.m_strCtrlName;
    m_bEnabled = record.m_bEnabled;
    // The name is kept for the log lines even when the controller is off.
    m_bstrTVXCtrlName = record.RSQLCtrlName;
    if (!m_bEnabled) return S_OK;
    m_lType = record.m_lType;
  } else {
    m_bstrCtrlName = record.m_strCtrlName;
  }
  {
    std::lock_guard lock(optionLock_);
    m_bstrProvider = record.m_strProvider;
    m_bstrMachine = record.m_strMachine;
    m_bstrParam = record.m_strParam;
  }
  m_bstrDescription = record.m_strDescription;
  m_bDescription = record.m_bDescription;
  m_lSamplingRate = record.m_lSamplingRate;
  if (m_lSamplingRate <= 0) {
    Log(2, "TavrixController[%ls] : Sampling rate %d is not valid; %dms is used.\n",
        m_bstrTVXCtrlName, record.m_lSamplingRate, kDefaultSamplingRate);
    m_lSamplingRate = kDefaultSamplingRate;
  }
  m_bDistribute = record.m_bDistribute;
  int32_t priorityIndex = record.m_lPriority;
  if (priorityIndex < 0 || priorityIndex > 6) {
    Log(2, "TavrixController[%ls] : Thread priority index %d is not valid; 0 is used.\n",
        m_bstrTVXCtrlName, priorityIndex);
    priorityIndex = 0;
  }
  m_iThreadPriority = kThreadPriorities[priorityIndex];
  m_lTimeStamp = record.m_lTimeStamp;
  m_bStartup = record.m_bStartup;
  m_bUseHistory = record.m_bUseHistory;
  m_bWriteToCache = record.m_bWriteToCache;
  m_bWDT = record.m_bWDT;
  m_lWDTCount = record.m_lWDTCount;
  m_lWDTAction = record.m_lWDTAction;
  m_bUseTrigger = record.m_bUseTrigger;
  m_bAutoReconn = record.m_bAutoReconn;
  m_lRecCount = record.m_lRecCount;
  m_lRecInterval = record.m_lRecInterval;
  if (m_lRecInterval <= 0 && m_bAutoReconn) {
    Log(2, "TavrixController[%ls] : Reconnection interval %d is not valid; %ds is used.\n",
        m_bstrTVXCtrlName, record.m_lRecInterval, kDefaultRecInterval);
    m_lRecInterval = kDefaultRecInterval;
  }
  if (!update) {
    m_bScript = record.m_bScript;
    m_bstrScript = record.m_strScript;
    m_bNotSafeMode = record.m_bNotSafeMode;
  }
  m_bEventBinding = record.m_bEventBinding;
  m_bOutputActionLog = record.m_bOutputActionLog;
  m_lRecWaitTime = record.m_lRecWaitTime < 0 ? m_lRecInterval : record.m_lRecWaitTime;
  m_lRecType = record.m_lRecType;
  m_bVariableSync = record.m_bVariableSync;
  m_bWDTDS = record.m_bWDTDS;
  m_lWDTTime = record.m_lWDTTime;
  if (!update) {
    m_bTriggerDisable = record.m_bTriggerDisable;
    std::unique_ptr<ITriggerRoot> root;
    const HRESULT hr = BuildTriggerRoot(record, &root);
    if (FAILED(hr)) {
      LogResult(hr, 1, "TavrixController[%ls] : Failed CreateTriggerObserverEx.\n",
                m_bstrTVXCtrlName);
    }
    m_bCalcDisable = record.m_bCalcDisable;
    std::lock_guard lock(itemsLock_);
    triggerRoot_ = std::move(root);
    if (!m_bCalcDisable) calcDefinitions_ = record.m_calculationList;
    tempVariableNames_ = SplitTempVariableNames(record.m_triggerEx.m_tempVariables.m_strList);
  }
  m_bSlowSamplingEnable = record.m_bSlowSamplingEnable;
  m_lSlowSamplingRate = record.m_lSlowSamplingRate;
  if (m_bSlowSamplingEnable && m_lSlowSamplingRate <= 0) {
    Log(2, "TavrixController[%ls] : Slow sampling rate %d is not valid; %dms is used.\n",
        m_bstrTVXCtrlName, record.m_lSlowSamplingRate, m_lSamplingRate);
    m_lSlowSamplingRate = m_lSamplingRate;
  }
  m_AccessibleApplication = record.m_AccessibleApplication;
  m_lActivatePriority = record.m_lActivatePriority;
  m_lDeactivatePriority = record.m_lDeactivatePriority;
  return S_OK;
}

HRESULT CTavrixController::AddItemRecord(const ItemRecord& record) {
  Ref<CTavrixItem> item = MakeRef<CTavrixItem>();
  if (!item) {
    Log(0, "TavrixController[%ls] : Failed in creating a TavrixItem instance.\n",
        m_bstrTVXCtrlName);
    return E_OUTOFMEMORY;
  }
  std::lock_guard lock(itemsLock_);
  if (!record.m_bEnabled) {
    disabledItemNames_.insert(record.m_strItemName);
  } else if (record.m_bSubItem &&
             disabledItemNames_.contains(record.m_strSubItemParentName)) {
    Log(0, "TavrixItem[%ls] : Parent item not enabled.\n", record.m_strItemName);
    return S_FALSE;
  }
  const int32_t index = items_.NextIndex();
  const HRESULT hr = item->Initialize(index, record, *this);
  if (hr != S_OK) {
    if (FAILED(hr)) {
      LogResult(hr, 1, "TavrixController[%ls] : Failed in initializing a TavrixItem instance.\n",
                m_bstrTVXCtrlName);
    }
    return hr;
  }
  items_.Add(index, std::move(item));
  return hr;
}

HRESULT CTavrixController::ReadTriggerSettings(const LegacyTriggerRecord&) {
  std::lock_guard lock(itemsLock_);
  if (!m_bUseTrigger || items_.empty()) return S_OK;
  // Legacy trigger observers come with the trigger engine; until then the
  // settings only switch the sampling to waiting for a trigger signal.
  SetSamplingMode(0);
  return S_OK;
}

HRESULT CTavrixController::CreateTemporaryItems() {
  std::lock_guard lock(itemsLock_);
  for (const std::string& name : tempVariableNames_) tempItems_.try_emplace(name, Variant());
  return S_OK;
}

size_t CTavrixController::itemCount() const {
  std::lock_guard lock(itemsLock_);
  return items_.size();
}

Ref<CTavrixItem> CTavrixController::FindItem(std::string_view name) const {
  std::lock_guard lock(itemsLock_);
  return items_.Find(name);
}

std::vector<Ref<CTavrixItem>> CTavrixController::Items() const {
  std::lock_guard lock(itemsLock_);
  std::vector<Ref<CTavrixItem>> out;
  out.reserve(items_.size());
  items_.ForEach([&](const Ref<CTavrixItem>& item) { out.push_back(item); });
  return out;
}

std::vector<std::string> CTavrixController::traceList() const {
  std::lock_guard lock(itemsLock_);
  return traceList_;
}

void CTavrixController::SetOption(std::string_view param) {
  std::lock_guard lock(optionLock_);
  m_bstrParam = std::string(param);
  optionChanged_ = true;
}

bool CTavrixController::optionChanged() const {
  std::lock_guard lock(optionLock_);
  return optionChanged_;
}

}  // namespace tavrix
