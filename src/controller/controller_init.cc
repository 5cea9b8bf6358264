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

CTavrixController::CTavrixController(IControllerHost& host)
    : host_(host), settings_(std::make_shared<const ControllerSettings>()) {
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
  UnregisterName();
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
  if (!settings()->m_bStartup) m_hRunEvent.Reset();
  // Again in CreateTemporaryItems before each activation, with the project
  // version as read by then.
  temporaryItems_.Configure(m_bstrTVXCtrlName, host_.TriggerSettings().temporaryItems);
  const auto& parts = ControllerParts::Instance();
  historyEnabled_ = parts.historyEnabled ? parts.historyEnabled(*this) : false;
  RegisterNames();
  initialized_ = true;
  return S_OK;
}

void CTavrixController::RegisterNames() {
  const ControllerSettingsPtr s = settings();
  std::recursive_mutex* provider = &host_.ProviderLock(s->m_bstrProvider);
  std::string key = CriticalSectionManager::NameKey(s->m_bstrCtrlName);
  CriticalSectionManager::ByName().Register(key, s->m_bstrCtrlName);
  MutexLock lock(&optionLock_);
  providerLock_ = provider;
  registeredName_ = std::move(key);
}

void CTavrixController::UnregisterName() {
  std::string key;
  {
    MutexLock lock(&optionLock_);
    key.swap(registeredName_);
  }
  if (!key.empty()) CriticalSectionManager::ByName().Unregister(key);
}

std::string CTavrixController::RegisteredName() const {
  MutexLock lock(&optionLock_);
  return registeredName_;
}

HRESULT CTavrixController::BuildTriggerRoot(const ControllerRecord& record,
                                            std::unique_ptr<ITriggerRoot>* out) {
  const auto& factory = ControllerParts::Instance().createTriggerRoot;
  if (record.m_bTriggerDisable || !factory) {
    *out = MakeEmptyTriggerRoot();
    return S_OK;
  }
  const HRESULT hr = factory(*this, record.m_triggerEx, out);
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
    m_bEnabled = record.m_bEnabled;
    // The name is kept for the log lines even when the controller is off.
    m_bstrTVXCtrlName = record.RSQLCtrlName;
    if (!m_bEnabled) {
      auto off = std::make_shared<ControllerSettings>();
      off->m_bstrCtrlName = record.m_strCtrlName;
      PublishSettings(std::move(off));
      return S_OK;
    }
    m_lType = record.m_lType;
  }
  ControllerSettingsPtr settings = MakeControllerSettings(record, m_bstrTVXCtrlName);
  m_bDistribute = settings->m_bDistribute;
  if (!update) {
    m_bScript = record.m_bScript;
    m_bstrScript = record.m_strScript;
    m_bNotSafeMode = record.m_bNotSafeMode;
    m_bTriggerDisable = record.m_bTriggerDisable;
    std::unique_ptr<ITriggerRoot> root;
    const HRESULT hr = BuildTriggerRoot(record, &root);
    if (FAILED(hr)) {
      LogResult(hr, 1, "TavrixController[%ls] : Failed CreateTriggerObserverEx.\n",
                m_bstrTVXCtrlName);
    }
    m_bCalcDisable = record.m_bCalcDisable;
    RecursiveMutexLock lock(&itemsLock_);
    triggerRoot_ = std::move(root);
    if (!m_bCalcDisable) calcDefinitions_ = record.m_calculationList;
    tempVariableNames_ = SplitTempVariableNames(record.m_triggerEx.m_tempVariables.m_strList);
  }
  PublishSettings(std::move(settings));
  return S_OK;
}

void CTavrixController::PublishSettings(ControllerSettingsPtr settings) {
  MutexLock lock(&optionLock_);
  settings_ = std::move(settings);
}

ControllerSettingsPtr CTavrixController::settings() const {
  MutexLock lock(&optionLock_);
  return settings_;
}

HRESULT CTavrixController::AddItemRecord(const ItemRecord& record) {
  Ref<CTavrixItem> item = MakeRef<CTavrixItem>();
  if (!item) {
    Log(0, "TavrixController[%ls] : Failed in creating a TavrixItem instance.\n",
        m_bstrTVXCtrlName);
    return E_OUTOFMEMORY;
  }
  RecursiveMutexLock lock(&itemsLock_);
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
  itemCount_.store(items_.size(), std::memory_order_relaxed);
  return hr;
}

HRESULT CTavrixController::ReadTriggerSettings(const LegacyTriggerRecord& record) {
  if (!settings()->m_bUseTrigger) return S_OK;
  HRESULT hr;
  {
    RecursiveMutexLock lock(&itemsLock_);
    if (items_.empty()) return S_OK;
    hr = legacyTriggers_.Read(*this, record, items_.Find(record.m_strName));
  }
  if (FAILED(hr)) {
    LogResult(hr, 1, "TavrixController[%ls] : Invalid Trigger Settings.\n", m_bstrTVXCtrlName);
    LogResult(hr, 1, "TavrixController[%ls] : Failed in reading Trigger Settings.\n",
              m_bstrTVXCtrlName);
    return S_FALSE;
  }
  SetSamplingMode(0);
  triggerWaitListChanged_ = true;
  return S_OK;
}

HRESULT CTavrixController::CreateTemporaryItems() {
  // Projects before 1.4 have no temporary items.
  const bool enabled = host_.TriggerSettings().temporaryItems;
  temporaryItems_.Configure(m_bstrTVXCtrlName, enabled);
  if (!enabled) return S_OK;
  std::vector<std::string> names;
  {
    RecursiveMutexLock lock(&itemsLock_);
    names = tempVariableNames_;
  }
  temporaryItems_.Recreate(names);
  return S_OK;
}

size_t CTavrixController::itemCount() const {
  RecursiveMutexLock lock(&itemsLock_);
  return items_.size();
}

Ref<CTavrixItem> CTavrixController::FindItem(std::string_view name) const {
  RecursiveMutexLock lock(&itemsLock_);
  return items_.Find(name);
}

std::vector<Ref<CTavrixItem>> CTavrixController::Items() const {
  RecursiveMutexLock lock(&itemsLock_);
  std::vector<Ref<CTavrixItem>> out;
  out.reserve(items_.size());
  items_.ForEach([&](const Ref<CTavrixItem>& item) { out.push_back(item); });
  return out;
}

int32_t CTavrixController::AsyncInsertCount() const {
  RecursiveMutexLock lock(&itemsLock_);
  return triggerRoot_ ? triggerRoot_->CountAsyncInserts() : 0;
}

std::vector<std::string> CTavrixController::traceList() const {
  MutexLock lock(&traceLock_);
  return traceList_;
}

void CTavrixController::SetTraceList(std::vector<std::string> names) {
  MutexLock lock(&traceLock_);
  traceList_ = std::move(names);
}

void CTavrixController::SetOption(std::string_view param) {
  MutexLock lock(&optionLock_);
  auto changed = std::make_shared<ControllerSettings>(*settings_);
  changed->m_bstrParam = std::string(param);
  settings_ = std::move(changed);
  optionChanged_ = true;
}

bool CTavrixController::optionChanged() const {
  MutexLock lock(&optionLock_);
  return optionChanged_;
}

}  // namespace tavrix
