// The table writer's rows: building a row, its route (the table or the
// backup sink), the insert itself, and the asynchronous queue with its
// insert thread.
#include <utility>

#include "controller/controller_host.h"
#include "platform/clock.h"
#include "platform/log.h"
#include "usertable/table_layout.h"
#include "usertable/user_table_man.h"

namespace tavrix {

HRESULT CTavrixUserDefineTableMan::BuildRow(TableRow* row) {
  ItemValueCache values;
  ItemValueCache prevValues;
  TableRow built;
  built.reserve(columns_.size());
  for (const std::unique_ptr<DBColumnInfo>& column : columns_) {
    Variant value;
    RETURN_IF_FAILED(column->GetValue(values, prevValues, &value));
    built.push_back(ColumnElement(value, column->elementIndex()));
  }
  *row = std::move(built);
  return S_OK;
}

HRESULT CTavrixUserDefineTableMan::DoInsert(int64_t rowId) {
  TableRow row;
  RETURN_IF_FAILED(BuildRow(&row));
  if (async_) return Enqueue(rowId, std::move(row));
  return InsertNow(rowId, row);
}

bool CTavrixUserDefineTableMan::ClearFailedIf(const std::function<bool()>& nothingPending) {
  MutexLock route(&routeMutex_);
  if (!nothingPending()) return false;
  failed_.store(false, std::memory_order_release);
  return true;
}

size_t CTavrixUserDefineTableMan::queuedRows() const {
  MutexLock lock(&queueMutex_);
  return queue_.size();
}

HRESULT CTavrixUserDefineTableMan::InsertRecoveredRow(const TableRow& row) {
  MutexLock writer(&writerMutex_);
  return InsertRowLocked(row, /*ignoreFailed=*/true);
}

// --- Routing ------------------------------------------------------------------------

HRESULT CTavrixUserDefineTableMan::BackupRow(const TableRow& row) {
  if (backup_ != nullptr) return backup_->DoBackup(row);
  LogResult(E_FAIL, 1, "CTavrixUserDefineTableMan[%ls] : The row cannot be inserted and is lost.\n",
            name_);
  return E_FAIL;
}

void CTavrixUserDefineTableMan::OpenUnlessFailed() {
  MutexLock writer(&writerMutex_);
  if (IsConnectionOpen() || failed()) return;
  const HRESULT hr = OpenConnectionLocked();
  if (hr.failed()) {
    LogResult(hr, 1, "CTavrixUserDefineTableMan[%ls] : Failed in OpenConnection().\n", name_);
    MarkFailed();
  }
}

void CTavrixUserDefineTableMan::LogStatement() const {
  if (logStatements_) Log(0, "CTavrixUserDefineTableMan[%ls] : %ls\n", name_, insertText_);
}

HRESULT CTavrixUserDefineTableMan::InsertNow(int64_t rowId, const TableRow& row) {
  MutexLock route(&routeMutex_);
  OpenUnlessFailed();
  LogStatement();
  if (failed()) {
    // S_FALSE: kept for later. A row the sink could not keep is a failure.
    const HRESULT kept = BackupRow(row);
    return kept.failed() ? kept : S_FALSE;
  }
  Clock& clock = SystemClock();
  const uint32_t start = clock.TickCount();
  HRESULT hr;
  {
    MutexLock writer(&writerMutex_);
    hr = InsertRowLocked(row, /*ignoreFailed=*/false);
  }
  const uint32_t end = clock.TickCount();
  if (callback_ != nullptr) (void)callback_->OnInsertMeasured(rowId, start, end);
  if (hr.failed() && backup_ != nullptr) {
    (void)BackupRow(row);
    MarkFailed();
  }
  return hr;
}

// --- Inserting ----------------------------------------------------------------------

HRESULT CTavrixUserDefineTableMan::InsertRowLocked(const TableRow& row, bool ignoreFailed) {
  if (!ignoreFailed && failed()) return E_ACCESSDENIED;
  if (row.size() != columns_.size()) return E_INVALIDARG;
  if (!IsConnectionOpen()) RETURN_IF_FAILED(OpenConnectionLocked());

  Log(0, "Use critical section info : %d\n", lockInfo_->sequence);
  MutexLock hold(&lockInfo_->mutex);
  // A connection that broke since the last row is reopened here.
  RETURN_IF_FAILED(PrepareLocked());
  sql::SqlConnection& db = *prepared_->connection;
  sql::SqlStatement& statement = *prepared_->statement;

  for (size_t i = 0; i < row.size(); ++i) {
    const Variant& value = row[i].Deref();
    const bool nullInNotNull = (value.IsNull() || value.IsEmpty()) && !prepared_->nullable[i];
    const HRESULT hr = nullInNotNull ? HRESULT(DB_E_INTEGRITYVIOLATION) : statement.Bind(i, value);
    if (hr.succeeded()) continue;
    if (db.broken()) return ReportInsertFailureLocked(hr);
    // The table cannot take this row; the next one may well fit.
    LogResult(hr, 2,
              "CTavrixUserDefineTableMan[%ls] : Invalid value detected. Discards the data.\n",
              name_);
    return S_FALSE;
  }

  HRESULT hr = db.BeginTransaction();
  if (hr.succeeded()) hr = statement.Execute(nullptr);
  if (hr.succeeded()) hr = db.Commit();
  if (hr.failed()) return ReportInsertFailureLocked(hr);
  return S_OK;
}

HRESULT CTavrixUserDefineTableMan::ReportInsertFailureLocked(HRESULT hr) {
  sql::SqlConnection& db = *prepared_->connection;
  const std::string& text = db.lastError().description;
  if (text.empty()) {
    LogResult(hr, 1, "CTavrixUserDefineTableMan[%ls] : InsertData failed.\n", name_);
  } else {
    LogResult(hr, 1, "CTavrixUserDefineTableMan[%ls] : %s\n", name_, text);
  }
  // A failing roll back is not worth a line of its own: the insert's is out.
  if (db.inTransaction()) (void)db.Rollback();
  if (db.broken()) connectionOpen_.store(false, std::memory_order_release);
  return hr;
}

// --- The queue and the insert thread -------------------------------------------------

HRESULT CTavrixUserDefineTableMan::Enqueue(int64_t rowId, TableRow row) {
  // Held to the end, so Close cannot stop the thread between the start and
  // the append (the row would be left in a queue nobody empties).
  MutexLock thread(&threadMutex_);
  if (!insertThread_.Running()) {
    if (insertThread_.Joinable()) insertThread_.Join();
    stopEvent_.Reset();
    const HRESULT hr = insertThread_.Start("UserTableInsert", [this] { InsertThread(); });
    if (hr.failed()) {
      LogResult(hr, 1, "CTavrixUserDefineTableMan[%ls] : The insert thread could not start.\n",
                name_);
      return hr;
    }
  }
  const int32_t limit = queueLimit_;
  size_t queued = 0;
  bool highWater = false;
  {
    MutexLock lock(&queueMutex_);
    if (limit > 0 && queue_.size() >= static_cast<size_t>(limit)) {
      lock.Unlock();
      return OverflowToBackup(std::move(row));
    }
    queue_.push_back(QueuedRow{rowId, std::move(row)});
    queueEvent_.Set();
    queued = queue_.size();
    if (limit > 0 && !highWaterLogged_ && queued > static_cast<size_t>(limit / 2)) {
      highWaterLogged_ = true;
      highWater = true;
    }
  }
  Log(0, "CTavrixUserDefineTableMan[%ls] : DoInsert : AppendQueue.\n", name_);
  if (highWater) {
    Log(1, "CTavrixUserDefineTableMan[%ls] : Insert queue holds %d rows.\n", name_, queued);
  }
  return S_OK;
}

HRESULT CTavrixUserDefineTableMan::OverflowToBackup(TableRow row) {
  MutexLock route(&routeMutex_);
  if (backup_ == nullptr) {
    LogResult(E_FAIL, 1,
              "CTavrixUserDefineTableMan[%ls] : Insert queue is full. Discards the data.\n", name_);
    return S_FALSE;
  }
  // The queued rows are older than this one: they go first, and the failed
  // writer sends every later row after them until the owner has recovered.
  MarkFailed();
  std::deque<QueuedRow> queued;
  {
    MutexLock lock(&queueMutex_);
    queued.swap(queue_);
    queueEvent_.Reset();
    highWaterLogged_ = false;
  }
  LogResult(E_FAIL, 1,
            "CTavrixUserDefineTableMan[%ls] : Insert queue is full. %d rows go to the backup.\n",
            name_, queued.size() + 1);
  for (const QueuedRow& entry : queued) (void)BackupRow(entry.row);
  const HRESULT kept = BackupRow(row);
  return kept.failed() ? kept : S_FALSE;
}

bool CTavrixUserDefineTableMan::PopFront(QueuedRow* out) {
  MutexLock lock(&queueMutex_);
  if (queue_.empty()) {
    queueEvent_.Reset();
    return false;
  }
  *out = std::move(queue_.front());
  queue_.pop_front();
  if (queue_.empty()) {
    queueEvent_.Reset();
    highWaterLogged_ = false;
  }
  return true;
}

void CTavrixUserDefineTableMan::InsertThread() {
  Log(0, "CTavrixUserDefineTableMan[%ls] : InsertThread start.\n", name_);
  {
    MutexLock route(&routeMutex_);
    OpenUnlessFailed();
  }
  Clock& clock = SystemClock();
  for (;;) {
    (void)WaitAny({&queueEvent_, &stopEvent_});
    QueuedRow entry;
    uint32_t start = 0;
    uint32_t end = 0;
    {
      // The row is taken under the route lock, so a full queue that is sent
      // to the backup sink (OverflowToBackup) never passes a row taken
      // before it.
      MutexLock route(&routeMutex_);
      if (!PopFront(&entry)) {
        if (stopEvent_.IsSet()) break;
        continue;
      }
      start = clock.TickCount();
      LogStatement();
      bool toBackup = failed();
      if (!toBackup) {
        MutexLock writer(&writerMutex_);
        toBackup = InsertRowLocked(entry.row, /*ignoreFailed=*/false).failed();
      }
      if (toBackup && backup_ != nullptr) {
        (void)BackupRow(entry.row);
        MarkFailed();
      }
      end = clock.TickCount();
    }
    if (callback_ != nullptr) (void)callback_->OnInsertMeasured(entry.rowId, start, end);
  }
}

}  // namespace tavrix
