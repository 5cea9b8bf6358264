// The instance and its references, the settings, the controller host, the
// controller registry and the reader's record calls.
#include "engine/engine_man.h"

#include <new>
#include <utility>

#include "engine/engine_consumer.h"
#include "platform/log.h"
#include "platform/text.h"

namespace tavrix {

// The engine lock: the process's instance pointer, the lock counts and the
// creation of the manager's own engine object, which takes a reference on
// the thread that holds the lock (hence recursive).
RecursiveMutex& CTavrixEngineMan::EngineLock() {
  static RecursiveMutex lock;
  return lock;
}

CTavrixEngineMan* CTavrixEngineMan::GetInstance() {
  RecursiveMutexLock lock(&EngineLock());
  if (instance_ == nullptr) {
    instance_ = new CTavrixEngineMan();
    instance_->processInstance_ = true;
  }
  return instance_;
}

CTavrixEngineMan* CTavrixEngineMan::CurrentInstance() {
  RecursiveMutexLock lock(&EngineLock());
  return instance_;
}

CTavrixEngineMan::CTavrixEngineMan(EngineServices services)
    : services_(std::move(services)), consumer_(MakeEngineConsumer(*this)) {
  services_.FillDefaults();
  Log(1, "TavrixEngineMan : Service Started\n");
}

CTavrixEngineMan::~CTavrixEngineMan() {
  // A started engine still has threads that use this object.
  if (initializeCalled_.load() && !terminated_.load()) Terminate();
  Log(1, "TavrixEngineMan : Service Terminated\n");
}

// --- References ---------------------------------------------------------------

void CTavrixEngineMan::AddRef() {
  RecursiveMutexLock lock(&EngineLock());
  ++lockCount_;
  Log(0, "CTavrixEngineMan::AddRef lock count %d\n", lockCount_);
}

bool CTavrixEngineMan::ReleaseKeepsRunning() const {
  // While terminating, the engine's own object gives its reference back;
  // that must not start a second terminate (and a delete) on the same stack.
  return settings().serviceMode || initializing_.load() ||
         (terminating_.load() && !terminated_.load());
}

void CTavrixEngineMan::Release() {
  bool end = false;
  bool destroy = false;
  {
    RecursiveMutexLock lock(&EngineLock());
    Log(0, "CTavrixEngineMan::Enter Release lock count %d\n", lockCount_);
    --lockCount_;
    if (lockCount_ <= 0 && !ReleaseKeepsRunning()) {
      if (!processInstance_) {
        end = true;
      } else if (instance_ == this) {
        // Detached under the lock: exactly one Release ends the instance, and
        // the next GetInstance makes a new one.
        instance_ = nullptr;
        end = true;
        destroy = true;
      }
    }
  }
  if (!end) return;
  Terminate();
  if (destroy) delete this;
}

int32_t CTavrixEngineMan::lockCount() const {
  RecursiveMutexLock lock(&EngineLock());
  return lockCount_;
}

// --- Settings -------------------------------------------------------------------

void CTavrixEngineMan::SetSettings(const EngineSettings& settings) {
  MutexLock lock(&settingsLock_);
  settings_ = settings;
  notRepeatError_.store(settings.notRepeatError, std::memory_order_relaxed);
  asyncQueueLimit_.store(settings.asyncQueueLimit, std::memory_order_relaxed);
}

EngineSettings CTavrixEngineMan::settings() const {
  MutexLock lock(&settingsLock_);
  return settings_;
}

// --- IControllerHost ---------------------------------------------------------------

HRESULT CTavrixEngineMan::GetWorkspace(Ref<IZeltWorkspace>* out) {
  MutexLock lock(&zeltLock_);
  *out = zeltWorkspace_;
  return zeltWorkspace_ ? S_OK : E_FAIL;
}

std::recursive_mutex& CTavrixEngineMan::ProviderLock(std::string_view provider) {
  MutexLock lock(&providerLocksMutex_);
  auto& slot = providerLocks_[ToUpper(provider)];
  if (!slot) slot = std::make_unique<std::recursive_mutex>();
  return *slot;
}

bool CTavrixEngineMan::IsVersionedProject() const { return ::tavrix::IsVersionedProject(); }

uint32_t CTavrixEngineMan::Lcid() const { return settings().lcid; }

void CTavrixEngineMan::OnControllerUpdated(CTavrixController&) {}

// --- Controllers -------------------------------------------------------------------

Ref<CTavrixController> CTavrixEngineMan::FindController(std::string_view name) const {
  MutexLock lock(&controllersLock_);
  for (const auto& [index, controller] : controllers_) {
    if (EqualsNoCase(controller->name(), name)) return controller;
  }
  return nullptr;
}

std::vector<Ref<CTavrixController>> CTavrixEngineMan::Controllers() const {
  MutexLock lock(&controllersLock_);
  std::vector<Ref<CTavrixController>> out;
  out.reserve(controllers_.size());
  for (const auto& [index, controller] : controllers_) out.push_back(controller);
  return out;
}

std::vector<Ref<CTavrixController>> CTavrixEngineMan::StartedControllers() const {
  MutexLock lock(&controllersLock_);
  return started_;
}

HRESULT CTavrixEngineMan::RegisterController(const ControllerRecord& record) {
  Ref<CTavrixController> controller;
  try {
    controller = MakeRef<CTavrixController>(*this);
  } catch (const std::bad_alloc&) {
    Log(0, "TavrixEngineMan : Failed in creating a CTavrixController instance.\n");
    return E_OUTOFMEMORY;
  }
  int32_t index = 0;
  {
    MutexLock lock(&controllersLock_);
    // The map is ordered: the first gap, or one past the last index.
    for (const auto& entry : controllers_) {
      if (entry.first != index) break;
      ++index;
    }
  }
  const HRESULT hr = controller->Initialize(index, record);
  if (FAILED(hr)) return hr;  // the last reference goes with `controller`
  {
    MutexLock lock(&controllersLock_);
    controllers_[index] = controller;
    currentIndex_ = index;
  }
  Log(0, "Controller [%ls] is Registed.\n", controller->name());
  return hr;
}

void CTavrixEngineMan::AddItem(const ItemRecord& item) {
  Ref<CTavrixController> current;
  {
    MutexLock lock(&controllersLock_);
    auto it = controllers_.find(currentIndex_);
    if (it != controllers_.end()) current = it->second;
  }
  if (current) (void)current->AddItemRecord(item);
}

void CTavrixEngineMan::SetLegacyTrigger(const LegacyTriggerRecord& trigger) {
  Ref<CTavrixController> current;
  {
    MutexLock lock(&controllersLock_);
    auto it = controllers_.find(currentIndex_);
    if (it != controllers_.end()) current = it->second;
  }
  if (current) (void)current->ReadTriggerSettings(trigger);
}

// --- Workspace and project ------------------------------------------------------------

IProjectConsumer& CTavrixEngineMan::consumer() { return *consumer_; }

HRESULT CTavrixEngineMan::InitializeHistory(const WorkspaceRecord& workspace) {
  return services_.history->InitializeManager(workspace, settings().dataPath);
}

HRESULT CTavrixEngineMan::SetWorkspaceInfo(const WorkspaceRecord& workspace) {
  {
    MutexLock lock(&workspaceInfoLock_);
    workspace_ = workspace;
  }
  retryCount_.store(workspace.m_lRetryCnt);
  retryInterval_.store(workspace.m_lRetryInterval == 0 ? kDefaultRetryInterval
                                                       : workspace.m_lRetryInterval);
  settingsReceived_.Set();
  return S_OK;
}

WorkspaceRecord CTavrixEngineMan::workspace() const {
  MutexLock lock(&workspaceInfoLock_);
  return workspace_;
}

void CTavrixEngineMan::SetCommonSetting(std::string_view type, std::string_view setting,
                                        std::string_view key, std::string_view value) {
  MutexLock lock(&workspaceInfoLock_);
  commonSettings_[{std::string(type), std::string(setting), std::string(key)}] =
      std::string(value);
}

std::string CTavrixEngineMan::CommonSetting(std::string_view type, std::string_view setting,
                                            std::string_view key) const {
  MutexLock lock(&workspaceInfoLock_);
  auto it = commonSettings_.find({std::string(type), std::string(setting), std::string(key)});
  return it == commonSettings_.end() ? std::string() : it->second;
}

void CTavrixEngineMan::SetProjectVersion(const ProjectVersion& version) {
  MutexLock lock(&workspaceInfoLock_);
  projectVersion_ = version;
}

ProjectVersion CTavrixEngineMan::projectVersion() const {
  MutexLock lock(&workspaceInfoLock_);
  return projectVersion_;
}

TriggerWorkspaceSettings CTavrixEngineMan::TriggerSettings() const {
  MutexLock lock(&workspaceInfoLock_);
  TriggerWorkspaceSettings out;
  out.executeStartupTrigger = workspace_.m_bExecuteStartupTrigger;
  out.disposeErrorScripts = workspace_.m_bDisposeErrorScripts;
  out.maxLoopCount = workspace_.m_lMaxLoopCount;
  out.thresholdReferences = projectVersion_.AtLeast(1, 2);
  out.temporaryItems = projectVersion_.AtLeast(1, 4);
  return out;
}

DatabaseWorkspaceSettings CTavrixEngineMan::DatabaseSettings() const {
  DatabaseWorkspaceSettings out;
  {
    MutexLock lock(&workspaceInfoLock_);
    out.connectRetry = workspace_.m_bDBConnRetry;
    out.connectRetryCount = workspace_.m_lDBConnRetryCount;
    out.connectRetryInterval = workspace_.m_lDBConnRetryInterval;
    out.backupDisabled = workspace_.m_bBackupDisabled;
    out.maxBackupCount = workspace_.m_lMaxBackupCount;
    out.recoveryInterval = workspace_.m_lAutoRecoveryInterval;
  }
  out.asyncQueueLimit = asyncQueueLimit_.load(std::memory_order_relaxed);
  return out;
}

bool CTavrixEngineMan::WaitForEngineStop(uint32_t ms) {
  return abort_.Wait(ms) == WaitStatus::kSignaled;
}

// --- Services -----------------------------------------------------------------------------

HRESULT CTavrixEngineMan::DecodePassword(std::string_view encoded, std::string* plain) {
  return services_.passwordDecoder->Decode(encoded, plain);
}

void CTavrixEngineMan::StartAutoRewrite() {
  AutoRewriteInfo info;
  {
    MutexLock lock(&workspaceInfoLock_);
    info.autoRecovery = workspace_.m_bAutoRecovery;
    info.autoRecoveryInterval = workspace_.m_lAutoRecoveryInterval;
    info.maxBackupCount = workspace_.m_lMaxBackupCount;
  }
  for (const auto& controller : Controllers()) info.controllers.push_back(controller->name());
  const HRESULT hr = services_.externalTrigger->StartAutoRewrite(info);
  if (FAILED(hr)) LogResult(hr, 1, "TavrixEngineMan : Init auto rewrite DB failed.\n");
}

Ref<CTavrixItem> CTavrixEngineMan::FindEngineItem(std::string_view controller,
                                                  std::string_view item) {
  Ref<CTavrixController> owner = FindController(controller);
  return owner ? owner->FindItem(item) : Ref<CTavrixItem>();
}

}  // namespace tavrix
