#include "trigger/actions/insert_table_action.h"

#include <map>
#include <memory>
#include <mutex>

#include "config/value_kinds.h"
#include "controller/backup_folder.h"
#include "controller/controller.h"
#include "platform/convert.h"
#include "platform/log.h"
#include "trigger/actions/action_makers.h"
#include "trigger/controller_values.h"
#include "trigger/node_factory.h"
#include "usertable/user_table_man.h"

namespace tavrix {

namespace {

constexpr int32_t kDefaultBackupLimit = 604800;
// What reading a backup file gives when the file does not exist.
constexpr HRESULT kFileNotFound{static_cast<int32_t>(0x80070002)};
// The wait between recovery attempts when the workspace gives none.
constexpr uint32_t kDefaultRecoveryIntervalMs = 5000;

// Guards the registry of backup IDs (folder + ID -> entry) and the
// controller counts of its entries.
Mutex g_sharedIdsLock;
std::map<std::string, std::shared_ptr<SharedBackupId>> g_sharedIds GUARDED_BY(g_sharedIdsLock);

// Registers an action of `controller` for `key`; true when an action of
// another controller already uses it.
std::shared_ptr<SharedBackupId> RegisterBackupId(const std::string& key,
                                                 const std::string& controller, bool* foreign) {
  MutexLock lock(&g_sharedIdsLock);
  std::shared_ptr<SharedBackupId>& entry = g_sharedIds[key];
  if (!entry) entry = std::make_shared<SharedBackupId>();
  *foreign = false;
  for (const auto& [name, count] : entry->controllers) {
    if (count > 0 && name != controller) *foreign = true;
  }
  ++entry->controllers[controller];
  return entry;
}

void UnregisterBackupId(const std::string& key, const std::string& controller) {
  MutexLock lock(&g_sharedIdsLock);
  auto it = g_sharedIds.find(key);
  if (it == g_sharedIds.end()) return;
  if (--it->second->controllers[controller] <= 0) it->second->controllers.erase(controller);
  if (it->second->controllers.empty()) g_sharedIds.erase(it);
}

// The values of a row as one line of text for the log.
std::string RowText(const TableRow& row) {
  std::string text;
  for (const Variant& value : row) {
    if (!text.empty()) text += ", ";
    Variant converted;
    if (value.IsNull() || value.vt() == VT_EMPTY) {
      text += "NULL";
    } else if (SUCCEEDED(ChangeType(value, VT_BSTR, &converted)) && converted.vt() == VT_BSTR) {
      text += "\"" + converted.text() + "\"";
    } else {
      text += "<type " + std::to_string(value.vt()) + ">";
    }
  }
  return text;
}

}  // namespace

CInsertTableActionObject::CInsertTableActionObject(const ActionExInfo& info)
    : table_(info.m_tableInfo),
      backupDisabledText_(info.m_bBackupDisabled),
      maxBackupText_(info.m_lMaxBackupCount),
      useActionBackupConfig_(ReadTriggerFlag(info.m_bUseActionBackupConfig, false)),
      async_(ReadTriggerFlag(info.m_tableInfo.m_bAsync, false)) {}

CInsertTableActionObject::~CInsertTableActionObject() { ReleaseResources(); }

// --- Node --------------------------------------------------------------------------------

HRESULT CInsertTableActionObject::Initialize(CTavrixController& controller) {
  ReleaseResources();
  recoveryStop_.Reset();
  const DatabaseWorkspaceSettings db = controller.host().DatabaseSettings();
  bool disabled = db.backupDisabled;
  int32_t limit = db.maxBackupCount;
  if (useActionBackupConfig_) {
    disabled = ReadTriggerFlag(backupDisabledText_, false);
    limit = maxBackupText_.empty() ? kDefaultBackupLimit : ReadStrictNumber(maxBackupText_);
  }
  {
    MutexLock lock(&backupLock_);
    backupDisabled_ = disabled;
    backupLimit_ = limit;
    backupCount_ = -1;
  }

  if (!disabled && !idPath().empty()) {
    if (!BackupStore::IsUsableId(idPath())) {
      // A name with path separators or wildcards would reach files of other
      // actions, or outside the backup folder.
      LogNodeDetail(E_INVALIDARG, 1, "The ID \"%ls\" cannot name backup files. Backup is disabled.",
                    idPath());
    } else if (GetBackupFolder()) {
      store_ = std::make_unique<BackupStore>(BackupFolder(), idPath());
      store_->RemoveTemporaries();
      bool foreign = false;
      sharedKey_ = store_->folder() + idPath();
      sharedId_ = RegisterBackupId(sharedKey_, controller.name(), &foreign);
      if (foreign) {
        LogNodeDetail(S_FALSE, 1,
                      "Another controller has an action with the ID \"%ls\": their backup files "
                      "are shared.",
                      idPath());
      }
    }
  }

  std::unique_ptr<CTavrixUserDefineTableMan> writer;
  const HRESULT hr = CTavrixUserDefineTableMan::Create(controller, table_, fullName(), this, this,
                                                       ControllerColumnReaders(), &writer);
  if (FAILED(hr)) {
    LogNode(hr, 1, "Failed in Initialize().");
    ReleaseResources();
    return hr;
  }
  writer_ = std::move(writer);
  if (store_ && store_->Count() > 0) {
    // Rows of an earlier run (or of the tree this one replaces) wait in
    // backup files: new rows queue up behind them until they are in.
    writer_->MarkFailed();
    StartRecovery();
  }
  return S_OK;
}

HRESULT CInsertTableActionObject::Execute(int32_t, IZeltMessage*) {
  if (!writer_) return S_FALSE;
  const int64_t rowId = executionCount();
  if (async_) {
    // Registered before the row is handed over: the insert thread may
    // finish it before this execution is measured.
    MutexLock lock(&pendingLock_);
    pending_.insert(rowId);
  }
  const HRESULT hr = writer_->DoInsert(rowId);
  if (FAILED(hr)) {
    if (async_) {
      MutexLock lock(&pendingLock_);
      pending_.erase(rowId);
    }
    return FailedExecution(hr);
  }
  ReportResult(hr, *this);
  return hr;
}

void CInsertTableActionObject::ReleaseResources() {
  StopRecovery();
  if (writer_) {
    writer_->Close();  // rows still queued go to the backup files
    writer_.reset();
  }
  if (!sharedKey_.empty()) {
    UnregisterBackupId(sharedKey_, controllerName());
    sharedKey_.clear();
    sharedId_.reset();
  }
  store_.reset();
}

void CInsertTableActionObject::ResetMeasurement() {
  MutexLock lock(&pendingLock_);
  pending_.clear();
}

bool CInsertTableActionObject::HasBackupFiles() const { return store_ && store_->Count() > 0; }

void CInsertTableActionObject::CollectBackupTargets(std::vector<CActionObject*>* targets) {
  targets->push_back(this);
}

int32_t CInsertTableActionObject::CountAsyncInserts() const { return async_ ? 1 : 0; }

int32_t CInsertTableActionObject::OnInsertMeasured(int64_t rowId, uint32_t startTick,
                                                   uint32_t endTick) {
  bool measured;
  {
    MutexLock lock(&pendingLock_);
    measured = pending_.erase(rowId) > 0;
  }
  if (measured && controller() != nullptr) {
    controller()->triggerPerformance().RecordAsync(idPath(), static_cast<uint32_t>(rowId),
                                                   startTick, endTick);
  }
  return 1;
}

// --- Backups -----------------------------------------------------------------------------

HRESULT CInsertTableActionObject::LoseRow(const TableRow& row, std::string_view why) {
  LogNodeDetail(E_FAIL, 1, "A row cannot be kept and is lost: %ls",
                std::string(why) + " Values: " + RowText(row));
  return E_FAIL;
}

void CInsertTableActionObject::CountBackups() {
  if (backupCount_ >= 0) return;
  backupCount_ = store_ ? store_->Count() : 0;
}

HRESULT CInsertTableActionObject::DoBackup(const TableRow& row) {
  if (!store_) {
    if (idPath().empty()) return LoseRow(row, "The action has no ID for backup files.");
    return LoseRow(row, "Backup is disabled.");
  }
  {
    MutexLock lock(&backupLock_);
    if (backupDisabled_ || !GetBackupFolder()) return LoseRow(row, "Backup is disabled.");
    CountBackups();
    HRESULT error = S_OK;
    switch (store_->EnsureFolder(&error)) {
      case BackupStore::FolderState::kPresent: break;
      case BackupStore::FolderState::kCreated:
        Log(1, "GetBackupFolder : Direcotry \"%ls\" created.\n", store_->folder());
        break;
      case BackupStore::FolderState::kIsFile:
        LogResult(E_FAIL, 1, "GetBackupFolder : Backup path is file. Backup is disabled.\n");
        backupDisabled_ = true;
        return LoseRow(row, "Backup is disabled.");
      case BackupStore::FolderState::kCreateFailed:
        LogResult(E_FAIL, 1, "GetBackupFolder : Direcotry \"%ls\" create failed. Backup is disabled.\n",
                  store_->folder());
        backupDisabled_ = true;
        return LoseRow(row, "Backup is disabled.");
    }
    if (backupCount_ >= backupLimit_) {
      LogResult(E_FAIL, 1,
                "CInsertTableActionObject[%ls] : The number of backup files exceeds the specified "
                "value(%d).\n",
                fullName(), backupLimit_);
      return LoseRow(row, "The backup limit is reached.");
    }
  }
  std::string name;
  const HRESULT hr = store_->Write(row, &name);
  if (FAILED(hr)) {
    LogNode(hr, 1, "backup failed.");
    return LoseRow(row, "The backup file cannot be written.");
  }
  LogNodeDetail(S_OK, 0, "backup file [%ls].", store_->folder() + name);
  {
    MutexLock lock(&backupLock_);
    ++backupCount_;
    store_->UpdateCountMarker(backupCount_);
    Log(0, "CInsertTableActionObject[%ls] : DoBackup : Backup file count is %d.\n", fullName(),
        backupCount_);
  }
  StartRecovery();
  return S_OK;
}

bool CInsertTableActionObject::DecrementCount() {
  if (backupCount_ < 0) return false;
  backupCount_ = std::max(0, backupCount_ - 1);
  if (store_) store_->UpdateCountMarker(backupCount_);
  return true;
}

HRESULT CInsertTableActionObject::InitBackupCount() {
  MutexLock lock(&backupLock_);
  CountBackups();
  return S_OK;
}

int32_t CInsertTableActionObject::DecrementBackupCount() {
  MutexLock lock(&backupLock_);
  CountBackups();
  if (!DecrementCount()) return 1;
  Log(0, "CInsertTableActionObject[%ls] : DecrementBackupCount : Backup file count is %d.\n",
      fullName(), backupCount_);
  return 0;
}

int32_t CInsertTableActionObject::ResetBackupCount() {
  MutexLock lock(&backupLock_);
  CountBackups();
  if (backupCount_ < 0) return 1;
  backupCount_ = 0;
  if (store_) store_->UpdateCountMarker(0);
  Log(0, "CInsertTableActionObject[%ls] : ResetBackupCount : Backup file count is %d.\n",
      fullName(), backupCount_);
  return 0;
}

int32_t CInsertTableActionObject::backupCount() const {
  MutexLock lock(&backupLock_);
  return backupCount_;
}

// --- Recovery ----------------------------------------------------------------------------

HRESULT CInsertTableActionObject::Recovery(const std::string& suffix) {
  if (!store_ || !writer_) return E_FAIL;
  return RecoverFile(store_->FileNameForSuffix(suffix), false, 1);
}

HRESULT CInsertTableActionObject::RecoverFile(const std::string& fileName, bool listed,
                                              uint32_t failureLevel) {
  // One recovery per ID at a time: a file is read, inserted and deleted by
  // one thread only.
  std::unique_lock<std::mutex> one;
  if (sharedId_) one = std::unique_lock<std::mutex>(sharedId_->recoverLock);
  {
    // The count is known before the file goes, so the file is counted once.
    MutexLock lock(&backupLock_);
    CountBackups();
  }
  HRESULT hr = S_OK;
  if (!writer_->IsConnectionOpen()) {
    hr = writer_->OpenConnection();
    if (FAILED(hr)) {
      LogNode(hr, failureLevel, "Recovery : Connection open failed.");
      return hr;
    }
  }
  TableRow row;
  hr = store_->Read(fileName, &row);
  // A listed file that has gone was recovered by another action of the ID.
  if (listed && hr == kFileNotFound) return S_FALSE;
  if (FAILED(hr)) {
    LogNode(hr, 1, "Recovery : deserialize failed.");
    if (hr != E_INVALIDARG) return hr;
    // A damaged file would stop every later one: it is kept aside for a
    // person to look at, and recovery goes on.
    if (SUCCEEDED(store_->SetAside(fileName))) {
      LogNodeDetail(hr, 1, "Recovery : damaged backup file [%ls] is set aside.", fileName);
      MutexLock lock(&backupLock_);
      (void)DecrementCount();
    }
    return S_FALSE;
  }
  hr = writer_->InsertRecoveredRow(row);
  if (FAILED(hr)) {
    LogNode(hr, failureLevel, "Recovery : Recovery failed.");
    return hr;
  }
  if (hr == S_FALSE) {
    // The table refuses the row's values (logged by the writer): it can
    // never go in, and is kept aside rather than block the others.
    (void)store_->SetAside(fileName);
    LogNodeDetail(hr, 1, "Recovery : backup file [%ls] is refused by the table and set aside.",
                  fileName);
  } else {
    hr = store_->Remove(fileName);
    if (FAILED(hr)) {
      // The row is in the table; inserting the file again would double it.
      // Set it aside; should even that fail, recovery stops here.
      if (FAILED(store_->SetAside(fileName))) {
        LogNodeDetail(hr, 1, "Recovery : inserted backup file [%ls] cannot be deleted.", fileName);
        return hr;
      }
    }
  }
  MutexLock lock(&backupLock_);
  (void)DecrementCount();
  Log(0, "CInsertTableActionObject[%ls] : Recovery : Backup file count is %d.\n", fullName(),
      backupCount_);
  return S_OK;
}

uint32_t CInsertTableActionObject::RecoveryIntervalMs() const {
  if (controller() == nullptr) return kDefaultRecoveryIntervalMs;
  const DatabaseWorkspaceSettings db = controller()->host().DatabaseSettings();
  if (db.recoveryInterval > 0) return static_cast<uint32_t>(db.recoveryInterval);
  if (db.connectRetryInterval > 0) return static_cast<uint32_t>(db.connectRetryInterval);
  return kDefaultRecoveryIntervalMs;
}

void CInsertTableActionObject::StartRecovery() {
  MutexLock lock(&recoveryLock_);
  if (!store_ || !writer_ || recoveryStop_.IsSet()) return;
  if (recoveryThread_.Running()) return;
  recoveryThread_.Join();  // an earlier run that has ended
  (void)recoveryThread_.Start("tvx-recovery", [this] { RecoveryLoop(); });
}

void CInsertTableActionObject::StopRecovery() {
  // The stop stays set until the next Initialize: rows the closing writer
  // hands over must not start another recovery.
  recoveryStop_.Set();
  {
    // Taken only to wait for a start in progress. The join happens outside:
    // the thread may wait for the writer's routing, whose holder may be in
    // StartRecovery.
    MutexLock lock(&recoveryLock_);
  }
  recoveryThread_.Join();
}

void CInsertTableActionObject::RecoveryLoop() {
  const uint32_t interval = RecoveryIntervalMs();
  // The first failure of an outage is logged where users see it; the
  // attempts that follow every interval only as trace lines.
  uint32_t failureLevel = 1;
  for (;;) {
    if (recoveryStop_.IsSet()) return;
    bool failed = false;
    for (const std::string& file : store_->List()) {
      if (recoveryStop_.IsSet()) return;
      if (FAILED(RecoverFile(file, true, failureLevel))) {
        failed = true;
        break;
      }
      failureLevel = 1;
    }
    if (!failed) {
      // Checked under the writer's routing: no row can go to a backup file
      // between the check and the writer taking rows directly again.
      if (writer_->ClearFailedIf([this] { return store_->Count() == 0; })) {
        LogNode(S_OK, 1, "Recovery : All backup files are recovered.");
        return;
      }
      continue;
    }
    failureLevel = 0;
    if (recoveryStop_.Wait(interval) == WaitStatus::kSignaled) return;
  }
}

std::unique_ptr<CActionObject> MakeInsertTableAction(const ActionExInfo& info) {
  return std::make_unique<CInsertTableActionObject>(info);
}

}  // namespace tavrix
