// BackupStore: the backup files of one insert-table action, and its count
// marker.
//
// An action whose identifier path is ID keeps each row the database did not
// take in its own file of the backup folder F:
//
//   F/ID_<T>.bak           one encoded row (backup_codec.h)
//   F/DBInfo/ID_<N>.cnt    empty; N is the action's backup count. Kept only
//                          while the folder F/DBInfo exists (made by whoever
//                          wants to watch the counts).
//
// T is the local time as 100 ns units since 1601, in base 36 with the digits
// 0-9A-Z, most significant first. Within one store T never repeats and never
// goes back, so the files of an action sort in the order they were written
// (List). A file is written under a temporary name (ID_<T>.tmp), flushed and
// then renamed, so a crash leaves either a whole .bak or a leftover .tmp
// (RemoveTemporaries).
//
//   if (!BackupStore::IsUsableId(id)) { /* warn, no backups for the action */ }
//   BackupStore store(BackupFolder(), id);
//   store.RemoveTemporaries();
//   std::string name;
//   HRESULT hr = store.Write(row, &name);
//   for (const std::string& file : store.List()) { store.Read(file, &row); ... }
//
// Threads: Write may run on one thread while List, Count, Read, Remove and
// SetAside run on another; writes are serialised inside the store.
// UpdateCountMarker is not: its callers serialise it with the lock that
// guards their count. The store never logs: its callers do, with their own
// names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mutex.h"
#include "platform/result.h"
#include "usertable/table_sinks.h"

namespace tavrix {

// Largest backup file read or written; a longer file is taken as damaged.
inline constexpr size_t kMaxBackupFileBytes = 64u << 20;

// Longest usable ID: its longest file name (ID_<13 digits>.bak.bad) still
// fits the 255 bytes of a file name.
inline constexpr size_t kMaxBackupIdBytes = 233;

// T in base 36, digits 0-9A-Z, most significant first ("0" for 0).
std::string Base36(uint64_t value);

// The local time now (through SystemClock()) as 100 ns units since
// 1601-01-01; the UTC time when it cannot be made local.
uint64_t LocalFileTimeNow();

class BackupStore {
 public:
  // What EnsureFolder found or did.
  enum class FolderState {
    kPresent,       // F is a directory
    kCreated,       // F was missing and has been made (with its parents)
    kIsFile,        // F is something other than a directory
    kCreateFailed,  // F was missing and could not be made
  };

  // `folder` is F, with or without its final "/"; `id` the identifier path
  // (check it with IsUsableId first). A store with an unusable ID or an
  // empty folder writes nothing (E_INVALIDARG), lists no files and keeps no
  // marker.
  BackupStore(std::string folder, std::string id);
  BackupStore(const BackupStore&) = delete;
  BackupStore& operator=(const BackupStore&) = delete;

  // False for an ID that cannot be part of a file name: empty, longer than
  // kMaxBackupIdBytes, or holding "/", "\", "..", a wildcard (* ? [ ]) or a
  // control character.
  static bool IsUsableId(std::string_view id);

  const std::string& folder() const { return folder_; }  // ends in "/"
  const std::string& id() const { return id_; }

  // True for exactly ID + "_" + one or more of 0-9A-Z + ".bak": the files
  // of this action and no other (action "A" never takes "A_B_1.bak").
  bool IsBackupFileName(std::string_view name) const;
  // ID + "_" + suffix: the file a recovery names by its suffix ("1A2B.bak").
  std::string FileNameForSuffix(std::string_view suffix) const;

  // Makes F (and its parents) when missing. For kIsFile and kCreateFailed,
  // *error (may be null) receives the system's error.
  FolderState EnsureFolder(HRESULT* error = nullptr) const;

  // Writes `row` to a new backup file; on success *fileName (may be null) is
  // its name without the folder. F is made when missing. E_INVALIDARG when
  // the row cannot be encoded or its encoding passes kMaxBackupFileBytes;
  // the system's error (ResultFromErrno) when F or the file cannot be made,
  // written, flushed or renamed, and then no .bak and no .tmp remain.
  HRESULT Write(const TableRow& row, std::string* fileName);

  // This action's backup files, oldest first (by T); empty when F is
  // missing or cannot be read.
  std::vector<std::string> List() const;
  // The number of this action's backup files.
  int32_t Count() const;

  // Reads the row of backup file `fileName` (a name from List, without the
  // folder). E_INVALIDARG for a name that is not a plain file name of F, and
  // for a damaged file (its content fails DecodeBackupRow, or it is longer
  // than kMaxBackupFileBytes); the open or read failure (ResultFromErrno:
  // a missing file gives 0x80070002) otherwise. *row changes only on success.
  HRESULT Read(std::string_view fileName, TableRow* row) const;
  // Deletes a backup file; the system's error when it cannot.
  HRESULT Remove(std::string_view fileName) const;
  // Renames a damaged backup file to fileName + ".bad", out of List's sight
  // but kept for a person to look at.
  HRESULT SetAside(std::string_view fileName) const;

  // Brings the count marker to `count`, when F/DBInfo is a directory: with
  // no marker of this ID, makes ID_<count>.cnt when count > 0; with one,
  // renames it to that name when count > 0 and deletes it otherwise. Further markers of this ID
  // (left by a crash) are deleted. Failures are ignored: the marker is a
  // hint for outside tools, the files are the truth.
  void UpdateCountMarker(int32_t count) const;

  // Deletes this action's temporary files (ID_<T>.tmp) that a crash left
  // behind. Waits for a Write in progress on another thread.
  void RemoveTemporaries();

 private:
  // The next unused T (REQUIRES: lock_ held).
  uint64_t NextTime() REQUIRES(lock_);
  // Writes `bytes` to F/tmpName, flushes, renames to F/finalName and flushes
  // F. REQUIRES: lock_ held (no other thread touches this store's .tmp).
  HRESULT WriteFile(const std::string& bytes, const std::string& tmpName,
                    const std::string& finalName) REQUIRES(lock_);
  // True for ID + "_" + a non-empty run of chars accepted by `digit` + ext.
  bool MatchesPattern(std::string_view name, std::string_view ext, bool (*digit)(char)) const;
  // The names in folder `dir` (not of sub-folders) that pass `match`.
  std::vector<std::string> Names(const std::string& dir,
                                 bool (BackupStore::*match)(std::string_view) const) const;
  bool IsTemporaryName(std::string_view name) const;
  bool IsMarkerName(std::string_view name) const;

  // Constant after construction.
  const std::string folder_;
  const std::string id_;
  const bool usable_;

  // Held by Write from choosing T to the rename, and by RemoveTemporaries.
  Mutex lock_;
  uint64_t lastTime_ GUARDED_BY(lock_) = 0;  // the last T taken; 0 for none
};

}  // namespace tavrix
