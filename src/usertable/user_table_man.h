// CTavrixUserDefineTableMan: the writer of one user-defined table. An
// insert-table action (or a legacy trigger) owns one; each time it runs, the
// writer builds a row from the current values of the columns' sources and
// inserts it into the table, at once on the caller's thread or later on an
// insert thread of its own (asynchronous writers, m_bAsync).
//
//   std::unique_ptr<CTavrixUserDefineTableMan> writer;
//   RETURN_IF_FAILED(CTavrixUserDefineTableMan::Create(controller, info, fullName,
//                                                      this, this, readers, &writer));
//   writer->DoInsert(executionCount);   // S_OK inserted or queued, S_FALSE to backup
//   ...
//   writer.reset();                     // Close: drains the queue, then releases
//
// The columns (db_column_info.h) are resolved once at creation; the insert
// statement is prepared on the first insert (or at the start of the insert
// thread) from the table's own column types, on the connection that all
// writers of the connection string share (connection_cache.h).
//
// Failed state and the backup sink. When the connection cannot be opened,
// or a row cannot be inserted and there is a backup sink, the writer is
// failed: from then on every row goes to the backup sink without an attempt,
// in the order the rows came, until the owner has put the backed-up rows
// back (InsertRecoveredRow) and clears the flag (ClearFailedIf). Whether a
// row goes to the database or to the backup sink (its route) is decided
// under one lock, the route lock, by the synchronous DoInsert and by the
// insert thread alike, with the backup sink called under it; ClearFailedIf
// takes the same lock. So no row can overtake a row that went to the backup
// sink before it. A row the table cannot take (NULL into a NOT NULL column,
// a value its column refuses) is logged and dropped; it fails nothing.
//
// Asynchronous writers keep a queue of rows in memory, up to the host's
// DatabaseSettings().asyncQueueLimit (0 or less: no limit). Past half of it
// the writer logs a warning once (again after the queue has emptied); a row
// that finds the queue full fails the writer, sends every queued row and
// then itself to the backup sink (so the order holds), and later rows follow
// them through the insert thread. Without a backup sink such a row is
// dropped and the writer stays as it was.
//
// Files: user_table_man.cc (creation, opening, Close), user_table_insert.cc
// (rows: building, routing, inserting, the queue and the insert thread).
//
// Threads: DoInsert and BuildRow on the owner's thread (a trigger thread);
// the insert thread; InsertRecoveredRow, OpenConnection, ClearFailedIf and
// the queries on any thread; Close and the destructor on the owner's
// thread, never from a backup sink or completion callback.
//
// Locks, outermost first:
//   threadMutex_         the insert thread's start and stop (Close, DoInsert)
//   routeMutex_          the route of a row; held while the backup sink runs,
//                        so the owner's backup lock comes after it (the owner
//                        must not call DoInsert or ClearFailedIf holding it)
//   writerMutex_         the prepared statement and the connection cache entry
//   the lock info's mutex (connection_cache.h), then the cache's own lock
//   the registry's lock (a leaf: under writerMutex_ to register, inside the
//                        lock info's mutex to unregister, alone otherwise)
//   queueMutex_          the queue (a leaf, taken inside threadMutex_ or
//                        routeMutex_)
// InsertRecoveredRow takes no route lock: the owner may call it holding its
// backup lock. The completion callback runs with no lock of the writer held,
// except for synchronous inserts, where it runs under the route lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/config_records.h"
#include "platform/mutex.h"
#include "platform/result.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "sql/connection.h"
#include "usertable/connection_cache.h"
#include "usertable/db_column_info.h"
#include "usertable/table_sinks.h"

namespace tavrix {

class CTavrixController;
class IControllerHost;

class CTavrixUserDefineTableMan {
 public:
  // Builds the writer for `info` in `owner`'s engine. The columns are split
  // and resolved, the lock info of the connection string is taken. On
  // success *out owns the writer; on failure *out is null and the failure is
  // returned: E_INVALIDARG for an empty column list, a record without a
  // column name, an unknown property, controller, item or temporary item
  // (each logged). `backup` and `callback` may be null and must outlive the
  // writer; `readers` is copied. `owner` and its engine must outlive
  // the writer.
  static HRESULT Create(CTavrixController& owner, const UserDefineDBInfo& info,
                        const std::string& writerName, IDoBackup* backup,
                        IMeasurePerformance* callback, const ColumnReaders& readers,
                        std::unique_ptr<CTavrixUserDefineTableMan>* out);

  // Close, then gives back the lock info.
  ~CTavrixUserDefineTableMan();
  CTavrixUserDefineTableMan(const CTavrixUserDefineTableMan&) = delete;
  CTavrixUserDefineTableMan& operator=(const CTavrixUserDefineTableMan&) = delete;

  // Builds a row from the current values and inserts it (synchronous
  // writers) or queues it for the insert thread (asynchronous writers).
  // S_OK: inserted or queued. S_FALSE: the row went to the backup sink
  // without an attempt (or was dropped without one), or the table could not
  // take its values (dropped). A failure: the row could not be built
  // (nothing happened), or the insert failed (the row then went to the
  // backup sink, when there is one, and the writer is failed).
  HRESULT DoInsert(int64_t rowId);

  // The row DoInsert would insert now: one value per column, in column
  // order, each column's element (ColumnElement), Empty as NULL. A column
  // that cannot be read fails the whole row.
  HRESULT BuildRow(TableRow* row);

  // Opens the shared connection and prepares the insert statement (typed
  // from the table's columns). Opening again is cheap while the connection
  // is healthy. A failure fails the writer and is returned.
  HRESULT OpenConnection();
  // Whether the statement is prepared on a connection not known to be
  // broken.
  bool IsConnectionOpen() const { return connectionOpen_.load(std::memory_order_acquire); }

  // Inserts `row` now, on the calling thread, whether the writer is failed
  // or not (recovery of a backed-up row); opens or reopens the connection
  // when needed. S_OK inserted; S_FALSE the table cannot take the values
  // (dropped, logged); E_INVALIDARG for a row of another size; otherwise the
  // failure (logged, rolled back). Never hands the row to the backup sink
  // and never changes the failed flag, except that an opening that fails
  // fails the writer.
  HRESULT InsertRecoveredRow(const TableRow& row);

  bool failed() const { return failed_.load(std::memory_order_acquire); }
  // Fails the writer: later rows go to the backup sink.
  void MarkFailed() { failed_.store(true, std::memory_order_release); }
  // Clears the failed flag when `nothingPending()` returns true, both under
  // the route lock, so no row can be routed between the check and the
  // clearing. Returns whether it cleared. `nothingPending` may take the
  // owner's backup lock, and must not call into this writer.
  bool ClearFailedIf(const std::function<bool()>& nothingPending);

  bool asynchronous() const { return async_; }
  // Rows waiting for the insert thread.
  size_t queuedRows() const;

  // Stops the insert thread after it has emptied the queue (into the table,
  // or the backup sink), releases the statement and unregisters from the
  // shared connection (the last writer of a connection string closes it).
  // The writer may insert again afterwards (it reopens).
  void Close();

  // The factory that connection caches created from now on open their
  // connections with; null: the default one. For tests.
  static void SetConnectionFactoryForTesting(sql::ConnectionFactory* factory);

  const std::string& name() const { return name_; }
  const std::string& connectionString() const { return connectionString_; }

 private:
  // The insert statement on one connection, typed for the table's columns.
  struct PreparedInsert {
    std::shared_ptr<sql::SqlConnection> connection;
    std::unique_ptr<sql::SqlStatement> statement;  // after the connection: goes first
    std::vector<bool> nullable;                    // per column
  };
  struct QueuedRow {
    int64_t rowId = 0;
    TableRow row;
  };

  CTavrixUserDefineTableMan(CTavrixController& owner, std::string name, bool async,
                            bool logStatements, IDoBackup* backup, IMeasurePerformance* callback,
                            const ColumnReaders& readers);

  // --- Creation (user_table_man.cc)
  HRESULT AddColumns(const TableColumnInfo& record);
  HRESULT AddColumn(std::unique_ptr<DBColumnInfo> column);
  HRESULT Initialize(const UserDefineDBInfo& info);

  // --- Opening and preparing (user_table_man.cc)
  // The opening: registers with the cache, then PrepareLocked under the
  // lock info. Fails the writer when it fails.
  HRESULT OpenConnectionLocked() REQUIRES(writerMutex_);
  // Opens the cache and prepares the statement unless it is prepared on the
  // cache's healthy connection already (so a broken connection is reopened
  // here).
  HRESULT PrepareLocked() REQUIRES(writerMutex_, lockInfo_->mutex);
  // Logs a failure of the opening with the connection's description.
  void ReportPrepareFailure(HRESULT hr, const std::string& text);

  // --- Rows (user_table_insert.cc)
  HRESULT InsertNow(int64_t rowId, const TableRow& row) EXCLUDES(routeMutex_);
  HRESULT Enqueue(int64_t rowId, TableRow row) EXCLUDES(threadMutex_);
  HRESULT OverflowToBackup(TableRow row) EXCLUDES(routeMutex_);
  void InsertThread();
  bool PopFront(QueuedRow* out) EXCLUDES(queueMutex_);
  // Hands a row to the backup sink; the caller holds the route lock. The
  // sink's result; without a sink the row is logged as lost (E_FAIL).
  HRESULT BackupRow(const TableRow& row) REQUIRES(routeMutex_);
  void OpenUnlessFailed() REQUIRES(routeMutex_) EXCLUDES(writerMutex_);
  void LogStatement() const;
  HRESULT InsertRowLocked(const TableRow& row, bool ignoreFailed) REQUIRES(writerMutex_);
  // Logs a failed insert, rolls back, notes a broken connection.
  HRESULT ReportInsertFailureLocked(HRESULT hr) REQUIRES(writerMutex_, lockInfo_->mutex);

  // Constant after Create.
  CTavrixController& owner_;
  IControllerHost& host_;
  const std::string name_;
  const bool async_;
  const int32_t queueLimit_;  // the host's asyncQueueLimit (fixed for the process)
  const bool logStatements_;  // the owner's m_bOutputActionLog
  IDoBackup* const backup_;
  IMeasurePerformance* const callback_;
  const ColumnReaders readers_;
  std::vector<std::unique_ptr<DBColumnInfo>> columns_;
  std::vector<std::string> columnNames_;
  std::string connectionString_;
  std::string table_;
  std::string insertText_;  // the statement as the description writes it, for the log
  std::shared_ptr<LockInfo> lockInfo_;

  // Set by any thread (a failed opening, MarkFailed, a row sent to the
  // backup sink); cleared only under routeMutex_ (ClearFailedIf).
  std::atomic<bool> failed_{false};
  // Follows prepared_: set when it is prepared, cleared when it is released
  // or its connection is found broken.
  std::atomic<bool> connectionOpen_{false};

  // The route lock: see the file comment. Guards no member; failed_ is
  // cleared only under it.
  Mutex routeMutex_;

  Mutex writerMutex_;  // guards cache_ and prepared_
  std::shared_ptr<ConnectionCache> cache_ GUARDED_BY(writerMutex_);
  // Used only with the lock info's mutex held as well: its connection is
  // shared with the other writers of the connection string.
  std::unique_ptr<PreparedInsert> prepared_ GUARDED_BY(writerMutex_);

  mutable Mutex queueMutex_;  // guards queue_ and highWaterLogged_
  std::deque<QueuedRow> queue_ GUARDED_BY(queueMutex_);
  bool highWaterLogged_ GUARDED_BY(queueMutex_) = false;
  // Manual-reset: the queue event is set while the queue holds rows; the
  // stop event tells the insert thread to end once the queue is empty.
  Event queueEvent_{Event::Mode::kManualReset, false};
  Event stopEvent_{Event::Mode::kManualReset, false};

  Mutex threadMutex_;  // guards insertThread_ (started by DoInsert, joined by Close)
  Thread insertThread_ GUARDED_BY(threadMutex_);
};

}  // namespace tavrix
