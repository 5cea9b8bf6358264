// CTavrixHistoryMan: writes item values into the history table of a database.
//
// One manager per process (Instance); tests make their own with a connection
// factory of their choice (usually the fault injector). Items call AddHistory
// when their value changes, the sampling threads write their markers through
// it, a controller's Snapshot wraps its items' rows in one transaction
// (BeginTrans ... CommitTrans / RollbackTrans), and the automation object
// ITavrixHistory reads the settings and runs free SQL through Execute.
//
// What a row holds: controller_name, item_name, item_value (the value's typed
// text from the data-conversion component, or with m_bNoConvToBstr the value
// itself converted to the column's type; a byte-array value kept in a file
// gives the file name), item_vartype (the value's variant type as passed),
// item_time, item_time_ms (the microsecond passed), flags (0 history row, 1
// current-value row). Marker rows of the manager itself have the controller
// name "$HISTORY$", an empty item name and the marker text as value.
//
// Databases: a primary and an optional secondary. With m_bAutoSwitch a failed
// write or a failed open switches to the secondary once for the rest of the
// run, recounts its table and writes the failed row there. Failures of the
// database come in series: the first is logged and returned, later ones are
// silent (S_FALSE) and counted, and the first successful write ends the
// series and logs how many rows were dropped. A value the table cannot take,
// and a byte-array file that cannot be written, fail only their own row: they
// neither start a series nor switch.
//
// Threads and locks: see the members. In short, one recursive manager lock
// serialises every use of the connection (AddHistory, the switch, the count,
// Execute, Close, the transaction calls); a snapshot transaction keeps it from
// BeginTrans to its commit or rollback, so other controllers' rows wait
// instead of entering (and being rolled back with) another controller's
// snapshot. The setting queries and Enable never wait for it.
//
// Lock order: mutex_, then infoMutex_ (a leaf). Items call AddHistory from
// their reads with their own locks held (the item lock in versioned
// projects; for a sub-item read by its holder, the holder's value lock), and
// the manager never calls into an item, so every item lock comes before
// mutex_. Hence a thread that holds a snapshot transaction (and so mutex_)
// must not take an item's lock: a snapshot reads its items' values before
// BeginTrans, or another thread's item read that waits in AddHistory and the
// snapshot that waits for that item deadlock. Under mutex_ the manager calls
// only the connection, the data-conversion component and the log.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/project_records.h"
#include "db/history_settings.h"
#include "kivdata/kivdata.h"
#include "platform/mutex.h"
#include "platform/ref.h"
#include "platform/result.h"
#include "platform/variant.h"
#include "sql/connection.h"

namespace tavrix {

// The controller name of the manager's own marker rows.
inline constexpr std::string_view kHistoryMarkerController = "$HISTORY$";

class CTavrixHistoryMan {
 public:
  // The process's manager, created on first use (thread-safe). Construction
  // takes no resources, so it cannot fail.
  static CTavrixHistoryMan& Instance();

  // A manager opening its connections through `factory`, which must outlive it.
  explicit CTavrixHistoryMan(sql::ConnectionFactory& factory = sql::DefaultConnectionFactory());
  // Drops the connection without marker rows (an open transaction is rolled
  // back by the database); call Close first for an orderly end.
  ~CTavrixHistoryMan();
  CTavrixHistoryMan(const CTavrixHistoryMan&) = delete;
  CTavrixHistoryMan& operator=(const CTavrixHistoryMan&) = delete;

  // Reads the settings (connection strings through the database connection-
  // string list, DBStringReplaceMap::Instance()), creates the file folder for
  // `projectPath` (HistoryFileFolder), makes the data-conversion component,
  // opens the database (the secondary when the primary fails and
  // m_bAutoSwitch), writes "$$OPEN$$" (m_bSysInfo) and counts the table's rows.
  // Results: S_OK running; S_FALSE history off (by the settings, or because no
  // database could be opened or counted: logged, and the run goes on without
  // history); the component's failure code when it cannot be made (logged;
  // history off). A manager initialised before is closed first (Close).
  HRESULT Initialize(const WorkspaceRecord& workspace, std::string_view projectPath);

  // Whether history is recorded: on in the settings and a database open and
  // counted. Controllers and items ask once when they are initialised.
  bool Enable() const noexcept { return enabled_.load(std::memory_order_acquire); }

  // Records one row (and/or the item's current-value row, by m_lTableType).
  // S_FALSE when history is off, or silently during a failure series;
  // S_OK when written; otherwise the failure: a database error (after the
  // switch was tried), E_FAIL at the maximum row count or for a byte-array
  // file that could not be written, the conversion's refusal for a value the
  // table cannot take. `date` is the row's time (a date, usually of whole
  // seconds), `microsecond` its sub-second part as the caller keeps it.
  HRESULT AddHistory(std::string_view controllerName, std::string_view itemName,
                     const Variant& value, double date, uint32_t microsecond);

  // A controller's snapshot: BeginTrans, its AddHistory calls, then CommitTrans
  // when all succeeded, else RollbackTrans; all on the controller's thread.
  // BeginTrans: E_FAIL without an open connection, the database's failure (a
  // nested begin is refused); on S_OK the calling thread keeps the manager lock
  // until the transaction ends, so every other thread's history waits.
  // CommitTrans / RollbackTrans: E_FAIL without an open connection, S_FALSE
  // when the calling thread has no transaction, else the database's result. A
  // failed commit that leaves the transaction open keeps it (the caller rolls
  // back). Rolling back also takes back the rows from the record counter and
  // removes the byte-array files the transaction made. A switch that a failed
  // write asked for inside the transaction happens when it ends, so one
  // snapshot never spans two databases.
  HRESULT BeginTrans();
  HRESULT CommitTrans();
  HRESULT RollbackTrans();

  // Runs free SQL on the history connection and stores its rows in *recordSet
  // as a record set (VT_DISPATCH, sql/record_set.h). E_FAIL when the
  // connection is not open; the database's code for a failed command (logged).
  HRESULT Execute(std::string_view commandText, Variant* recordSet);

  // The settings ITavrixHistory shows. Index 0 the database in use, 1 the
  // primary, 2 the secondary; E_INVALIDARG for another index. ConnectionString
  // gives "*****" for a hidden, non-empty string. MaxRecord gives the
  // secondary's maximum for index 0 as well (as the history object always has).
  HRESULT ConnectionString(int32_t index, std::string* out) const;
  HRESULT TableName(int32_t index, std::string* out) const;
  HRESULT MaxRecord(int32_t index, int32_t* out) const;

  // At process end: writes "$$CLOSE$$" (m_bSysInfo), commits the calling
  // thread's open transaction, logs the rows dropped in an unfinished failure
  // series and closes the connection. History is off afterwards. Waits for
  // another thread's snapshot transaction to end. S_FALSE when not initialised.
  HRESULT Close();

  // --- State for diagnostics and tests.
  // Rows counted in the table at start (or at the switch) plus rows inserted since.
  int64_t recordCount() const;
  bool switched() const;
  std::string fileFolder() const;

 private:
  // One row to write, as AddHistory received it (the value dereferenced).
  struct Row {
    std::string_view controller;
    std::string_view item;
    const Variant& value;
    double date;
    uint32_t microsecond;
  };

  HRESULT OpenConnectionLocked() REQUIRES(mutex_);
  HRESULT PrepareStatementsLocked() REQUIRES(mutex_);
  void CloseConnectionLocked() REQUIRES(mutex_);
  HRESULT CountRecordsLocked() REQUIRES(mutex_);
  HRESULT SwitchToSecondaryLocked() REQUIRES(mutex_);
  HRESULT WriteMarkerLocked(std::string_view marker) REQUIRES(mutex_);
  HRESULT AddHistoryLocked(const Row& row) REQUIRES(mutex_);
  HRESULT WriteLocked(const Row& row, bool* switchable) REQUIRES(mutex_);
  HRESULT InsertRowLocked(const Row& row, int32_t flags, const std::string* storedFile,
                          bool* switchable) REQUIRES(mutex_);
  HRESULT UpdateCurrentLocked(const Row& row, bool* switchable) REQUIRES(mutex_);
  // What item_value receives: the file name, the value itself (m_bNoConvToBstr;
  // Empty as NULL when nullForEmpty) or its typed text.
  HRESULT StoredValueLocked(const Row& row, const std::string* storedFile, bool nullForEmpty,
                            Variant* out) REQUIRES(mutex_);
  HRESULT LookUpCurrentFileLocked(const Row& row, std::string* name) REQUIRES(mutex_);
  const std::string& lastErrorText() const REQUIRES(mutex_);
  HRESULT ReportDatabaseFailureLocked(HRESULT code) REQUIRES(mutex_);
  HRESULT ReportValueFailureLocked(HRESULT code) REQUIRES(mutex_);
  HRESULT ReportFileFailureLocked(int sysError) REQUIRES(mutex_);
  void EndFailureSeriesLocked() REQUIRES(mutex_);
  HRESULT EndTransaction(bool commit);
  void DisableLocked() REQUIRES(mutex_);
  // Makes the secondary the database in use (current_).
  void UseSecondaryLocked() REQUIRES(mutex_) EXCLUDES(infoMutex_);
  // current_, for the holder of mutex_: it changes only with mutex_ held too,
  // so the writer reads it without infoMutex_ (which the analysis cannot
  // express for a member with one guard, hence the unchecked body).
  const HistoryTarget& currentLocked() const REQUIRES(mutex_) NO_THREAD_SAFETY_ANALYSIS {
    return current_;
  }
  // The extra hold of mutex_ that an open transaction keeps, taken and given
  // back by a caller that holds mutex_ for itself as well (so, for the
  // analysis, mutex_ stays held across both).
  void TakeTransactionHold() REQUIRES(mutex_) NO_THREAD_SAFETY_ANALYSIS { mutex_.Lock(); }
  void ReleaseTransactionHold() REQUIRES(mutex_) NO_THREAD_SAFETY_ANALYSIS { mutex_.Unlock(); }

  // Constant after construction.
  sql::ConnectionFactory& factory_;

  // Guards the targets below. Held only for copies, never while the database
  // is used, so the queries of ITavrixHistory never wait for a write. current_
  // changes only with mutex_ held too, so the writer may read it under mutex_
  // (currentLocked).
  mutable Mutex infoMutex_;
  HistoryTarget primary_ GUARDED_BY(infoMutex_);
  HistoryTarget secondary_ GUARDED_BY(infoMutex_);
  HistoryTarget current_ GUARDED_BY(infoMutex_);

  // Read without a lock by Enable; changed only with mutex_ held.
  std::atomic<bool> enabled_{false};

  // The manager lock. Guards everything below. Recursive because the switch
  // writes its marker through the same path as the row that caused it,
  // because Initialize calls Close with it held, and because a snapshot
  // transaction holds it across the calls of its thread (one extra hold per
  // open transaction, released when it ends), so every call of that thread
  // re-enters it.
  mutable RecursiveMutex mutex_;
  bool initialized_ GUARDED_BY(mutex_) = false;
  HistorySettings settings_ GUARDED_BY(mutex_);
  // Set in Initialize before any file is written.
  std::string fileFolder_ GUARDED_BY(mutex_);
  Ref<IKivData> kivData_ GUARDED_BY(mutex_);
  std::unique_ptr<sql::SqlConnection> connection_ GUARDED_BY(mutex_);
  std::unique_ptr<sql::SqlStatement> insert_ GUARDED_BY(mutex_);
  std::unique_ptr<sql::SqlStatement> update_ GUARDED_BY(mutex_);
  // The current-value row's file name.
  std::unique_ptr<sql::SqlStatement> lookup_ GUARDED_BY(mutex_);
  std::unique_ptr<sql::SqlStatement> count_ GUARDED_BY(mutex_);
  bool switched_ GUARDED_BY(mutex_) = false;
  // A database failure series is running, and the rows refused silently in it.
  bool errorReported_ GUARDED_BY(mutex_) = false;
  int64_t droppedRows_ GUARDED_BY(mutex_) = 0;
  bool fileErrorReported_ GUARDED_BY(mutex_) = false;  // a byte-array file failure was logged
  int64_t recordCounter_ GUARDED_BY(mutex_) = 0;
  // Transactions begun by the holder of mutex_, recordCounter_ when the first
  // began, the byte-array files they made, and whether a write in them failed
  // (the switch waits for their end).
  int32_t transactionDepth_ GUARDED_BY(mutex_) = 0;
  int64_t counterAtBegin_ GUARDED_BY(mutex_) = 0;
  std::vector<std::string> transactionFiles_ GUARDED_BY(mutex_);
  bool switchPending_ GUARDED_BY(mutex_) = false;
  // The time of the last marker row: whole seconds, and its microsecond.
  double markerTime_ GUARDED_BY(mutex_) = 0;
  uint32_t markerMicrosecond_ GUARDED_BY(mutex_) = 0;
};

}  // namespace tavrix
