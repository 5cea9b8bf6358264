// CInsertTableActionObject (65536): inserts one row into a user-defined
// table each time it runs, through a table writer. A row the database does
// not take goes to a backup file of the action; a recovery thread of the
// action inserts the backup files again, oldest first, once the database is
// back, and only then lets new rows go to the database directly, so the
// table receives the rows of an action in the order they were made.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <memory>
#include <string>

#include "config/config_records.h"
#include "config/trigger_info.h"
#include "platform/mutex.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "trigger/action_object.h"
#include "trigger/backup/backup_store.h"
#include "usertable/table_sinks.h"

namespace tavrix {

class CTavrixUserDefineTableMan;

// The backup files of one folder and ID, shared by every action that uses
// them: the actions of a tree and its replacement during a reload, or (by
// mistake in the project) actions of two controllers. One recovery at a time
// per ID, so no file is inserted twice.
struct SharedBackupId {
  // Held while one file of the ID is read, inserted and deleted.
  std::mutex recoverLock;
  // Controller name -> its actions of the ID; guarded by the registry's
  // process-wide lock (insert_table_action.cc).
  std::map<std::string, int> controllers;
};

class CInsertTableActionObject final : public CActionObject,
                                       public IDoBackup,
                                       public IMeasurePerformance {
 public:
  explicit CInsertTableActionObject(const ActionExInfo& info);
  ~CInsertTableActionObject() override;

  // --- Node ------------------------------------------------------------------------
  HRESULT Initialize(CTavrixController& controller) override;
  HRESULT Execute(int32_t kind, IZeltMessage* message) override;
  void ReleaseResources() override;
  void ResetMeasurement() override EXCLUDES(pendingLock_);
  bool HasBackupFiles() const override;
  void CollectBackupTargets(std::vector<CActionObject*>* targets) override;
  int32_t CountAsyncInserts() const override;
  const char* GetClassName() const override { return "CInsertTableActionObject"; }

  // --- Writer sinks ----------------------------------------------------------------
  HRESULT DoBackup(const TableRow& row) override EXCLUDES(backupLock_);
  int32_t OnInsertMeasured(int64_t rowId, uint32_t startTick, uint32_t endTick) override
      EXCLUDES(pendingLock_);

  // --- Backup counters and recovery (controller commands) --------------------------
  HRESULT InitBackupCount() EXCLUDES(backupLock_);
  // 0 when the count changed, 1 otherwise.
  int32_t DecrementBackupCount() EXCLUDES(backupLock_);
  int32_t ResetBackupCount() EXCLUDES(backupLock_);
  // Inserts the row of backup file ID + "_" + suffix again and deletes the
  // file.
  HRESULT Recovery(const std::string& suffix) EXCLUDES(backupLock_);

  // The backup count (-1 while not counted).
  int32_t backupCount() const EXCLUDES(backupLock_);

 private:
  // Counts the files when the count is still unknown.
  void CountBackups() REQUIRES(backupLock_);
  // Lowers the count by one (never below 0, never while unknown) and
  // updates the marker; false when nothing changed.
  bool DecrementCount() REQUIRES(backupLock_);
  // Inserts one backup file's row again and deletes the file; a damaged
  // file is set aside. `listed`: the file came from a listing, and one that
  // has gone meanwhile is no failure. Open and insert failures are logged
  // at `failureLevel`.
  HRESULT RecoverFile(const std::string& fileName, bool listed, uint32_t failureLevel);
  // The recovery thread: while backup files exist, inserts them oldest
  // first, waiting the recovery interval after a failure; at the end lets
  // the writer insert directly again.
  void StartRecovery() EXCLUDES(recoveryLock_);
  void StopRecovery() EXCLUDES(recoveryLock_);
  void RecoveryLoop();
  uint32_t RecoveryIntervalMs() const;
  // Logs a row that is lost, with its values.
  HRESULT LoseRow(const TableRow& row, std::string_view why);

  // From the definition; constant.
  const UserDefineDBInfo table_;
  const std::string backupDisabledText_;
  const std::string maxBackupText_;
  const bool useActionBackupConfig_;
  const bool async_;

  std::unique_ptr<CTavrixUserDefineTableMan> writer_;
  // Where this action's backup files go; null when backups are off.
  std::unique_ptr<BackupStore> store_;
  std::string sharedKey_;  // the folder+ID this action registered, if any
  std::shared_ptr<SharedBackupId> sharedId_;  // its entry: one recovery at a time

  // Guards the count and the marker (not the writing of a file).
  mutable Mutex backupLock_;
  bool backupDisabled_ GUARDED_BY(backupLock_) = false;
  int32_t backupLimit_ GUARDED_BY(backupLock_) = 604800;
  int32_t backupCount_ GUARDED_BY(backupLock_) = -1;

  // The row IDs handed to an insert thread and not yet completed. Its own
  // lock: the completions come from the insert thread.
  Mutex pendingLock_;
  std::set<int64_t> pending_ GUARDED_BY(pendingLock_);

  // Serialises starts of the recovery thread. The thread is started under
  // it and joined without it, once recoveryStop_ keeps new starts out.
  Mutex recoveryLock_;
  Thread recoveryThread_;
  Event recoveryStop_{Event::Mode::kManualReset, false};
};

}  // namespace tavrix
