// The history manager's life: start, the connection and its statements, the
// row count, the switch to the secondary, marker rows, the queries and Close.
// The row writes are in history_writes.cc, the transactions and Execute in
// history_transactions.cc.
#include "db/history_man.h"

#include <sys/stat.h>

#include "db/history_statements.h"
#include "platform/clock.h"
#include "platform/convert.h"
#include "platform/date.h"
#include "platform/log.h"

namespace tavrix {
namespace {

constexpr int64_t kMicrosPerSecond = 1'000'000;

// The description of the connection's last failure, for "TavrixHistoryMan : %s".
const std::string& LastError(const sql::SqlConnection& connection) {
  return connection.lastError().description;
}

}  // namespace

CTavrixHistoryMan& CTavrixHistoryMan::Instance() {
  static CTavrixHistoryMan manager;
  return manager;
}

CTavrixHistoryMan::CTavrixHistoryMan(sql::ConnectionFactory& factory) : factory_(factory) {}

CTavrixHistoryMan::~CTavrixHistoryMan() {
  RecursiveMutexLock lock(&mutex_);
  CloseConnectionLocked();
}

HRESULT CTavrixHistoryMan::Initialize(const WorkspaceRecord& workspace,
                                      std::string_view projectPath) {
  RecursiveMutexLock lock(&mutex_);
  if (initialized_) (void)Close();

  HistorySettings settings;
  HRESULT hr =
      ReadHistorySettings(workspace, TavrixUtility::DBStringReplaceMap::Instance(), &settings);
  if (hr.failed()) {
    Log(1, "TavrixHistoryMan : Error Occurred in ReadXMLInfo().\n");
    return hr;
  }
  settings_ = std::move(settings);
  {
    MutexLock info(&infoMutex_);
    primary_ = settings_.primary;
    secondary_ = settings_.secondary;
    current_ = primary_;
  }
  initialized_ = true;
  switched_ = false;
  errorReported_ = false;
  droppedRows_ = 0;
  fileErrorReported_ = false;
  recordCounter_ = 0;
  switchPending_ = false;

  // Only byte-array rows use the folder: a project without them gets none.
  fileFolder_ = HistoryFileFolder(projectPath);
  // A folder that cannot be made is not fatal: each byte-array row then fails
  // with its own log line.
  if (settings_.enabled && settings_.blobToFile && !fileFolder_.empty()) {
    (void)::mkdir(fileFolder_.c_str(), 0755);
  }

  kivData_.reset();
  hr = CreateKivData(&kivData_);
  if (hr.failed()) {
    Log(1, "CTavrixHistoryMan : Failed in retrieving IKivData interface.\n");
    DisableLocked();
    return hr;
  }

  enabled_.store(settings_.enabled, std::memory_order_release);
  if (!settings_.enabled) return S_FALSE;
  hr = OpenConnectionLocked();
  if (hr.failed()) {
    Log(1, "TavrixHistoryMan : Error Occurred in OpenConnection().\n");
    if (SwitchToSecondaryLocked().failed()) DisableLocked();
  }
  if (!Enable()) return S_FALSE;

  (void)WriteMarkerLocked("$$OPEN$$");
  // The switch counted the secondary already.
  if (Enable() && !switched_) {
    if (CountRecordsLocked().failed()) {
      Log(1, "TavrixHistoryMan : Failed in retrieving the number of records.\n");
      DisableLocked();
    }
  }
  return Enable() ? S_OK : S_FALSE;
}

// --- The connection ---------------------------------------------------------------

HRESULT CTavrixHistoryMan::OpenConnectionLocked() {
  if (!Enable()) return S_FALSE;
  if (connection_) return S_OK;
  std::unique_ptr<sql::SqlConnection> db;
  sql::ProviderError error;
  const HRESULT hr = factory_.Open(currentLocked().connectionString, &db, &error);
  if (hr.failed()) {
    Log(0, "TavrixHistoryMan : %s\n", error.description);
    return hr;
  }
  connection_ = std::move(db);
  const HRESULT prepared = PrepareStatementsLocked();
  if (prepared.failed()) {
    CloseConnectionLocked();
    return prepared;
  }
  return S_OK;
}

HRESULT CTavrixHistoryMan::PrepareStatementsLocked() {
  sql::SqlConnection& db = *connection_;
  const std::string dbmsName = db.dbmsName();
  const std::string dbmsVersion = db.dbmsVersion();
  Log(0, "TavrixHistoryMan : DBMS Name : %ls\n", dbmsName);
  Log(0, "TavrixHistoryMan : DBMS Version : %ls\n", dbmsVersion);

  const std::string& table = currentLocked().table;
  HistoryStatementTexts texts;
  HRESULT hr =
      BuildHistoryStatements(table, db.identifierQuote(), dbmsName, dbmsVersion, &texts);
  if (hr.failed()) {
    Log(0, "TavrixHistoryMan : %s\n",
        "[Tavrix] The history table name '" + table + "' cannot be used.");
    return hr;
  }
  if (texts.catalogueCount) Log(0, "TavrixHistoryMan : Specific query for SQL Server is used.\n");

  std::vector<sql::ColumnInfo> columns;
  hr = db.DescribeTable(table, &columns);
  if (hr.succeeded()) hr = db.Prepare(texts.insert, &insert_);
  if (hr.succeeded()) hr = db.Prepare(texts.update, &update_);
  if (hr.succeeded()) hr = db.Prepare(texts.lookup, &lookup_);
  if (hr.succeeded()) hr = db.Prepare(texts.count, &count_);
  if (hr.failed()) {
    Log(0, "TavrixHistoryMan : %s\n", LastError(db));
    return hr;
  }

  struct Typing {
    sql::SqlStatement* statement;
    std::span<const std::string_view> names;
  };
  const Typing typings[] = {{insert_.get(), kHistoryInsertColumns},
                            {update_.get(), kHistoryUpdateColumns},
                            {lookup_.get(), kHistoryLookupColumns}};
  for (const Typing& t : typings) {
    std::vector<sql::ColumnInfo> parameters;
    std::string missing;
    hr = HistoryParameterColumns(columns, t.names, &parameters, &missing);
    if (hr.failed()) {
      Log(0, "TavrixHistoryMan : %s\n",
          "[Tavrix] The history table '" + table + "' has no column " + missing + ".");
      return hr;
    }
    hr = t.statement->SetParameterColumns(std::move(parameters));
    if (hr.failed()) {
      Log(0, "TavrixHistoryMan : %s\n", LastError(db));
      return hr;
    }
  }
  return S_OK;
}

void CTavrixHistoryMan::CloseConnectionLocked() {
  // Statements belong to the connection and go first.
  insert_.reset();
  update_.reset();
  lookup_.reset();
  count_.reset();
  connection_.reset();
}

HRESULT CTavrixHistoryMan::CountRecordsLocked() {
  if (!count_) return E_FAIL;
  sql::RowSet rows;
  HRESULT hr = count_->Query(&rows);
  if (hr.failed()) {
    Log(0, "TavrixHistoryMan : %s\n", LastError(*connection_));
    return hr;
  }
  if (rows.rowCount() == 0) return E_FAIL;
  Variant count;
  RETURN_IF_FAILED(ChangeType(rows.at(0, 0), VT_I4, &count));
  recordCounter_ = count.i4();
  Log(0, "TavrixHistoryMan : History record count : %ld\n", recordCounter_);
  return S_OK;
}

void CTavrixHistoryMan::DisableLocked() { enabled_.store(false, std::memory_order_release); }

void CTavrixHistoryMan::UseSecondaryLocked() {
  MutexLock info(&infoMutex_);
  current_ = secondary_;
}

// After the switch the record counter counts the secondary's own table: its
// maximum is about its own rows, not about what the primary held.
HRESULT CTavrixHistoryMan::SwitchToSecondaryLocked() {
  if (!settings_.autoSwitch || switched_) return E_FAIL;
  switched_ = true;
  Log(1, "TavrixHistoryMan : Switching to the secondary database...\n");
  CloseConnectionLocked();
  UseSecondaryLocked();
  HRESULT hr = OpenConnectionLocked();
  if (hr.failed()) {
    // No database is left to write to: history is off for the rest of the run.
    DisableLocked();
    return hr;
  }
  Log(1, "TavrixHistoryMan : Switched to the secondary database.\n");
  hr = CountRecordsLocked();
  if (hr.failed()) {
    Log(1, "TavrixHistoryMan : Failed in retrieving the number of records.\n");
    DisableLocked();
    return hr;
  }
  // A new database starts without a failure series: its first failure is
  // worth a line of its own.
  EndFailureSeriesLocked();
  (void)WriteMarkerLocked("$$SWITCH$$");
  return hr;
}

// The marker's time stamp is the host clock in whole seconds plus its
// milliseconds; markers within one millisecond count the microsecond up so
// that their order stays visible. The seconds are cut from the clock reading,
// never rounded, so a reading of hh:mm:ss.9995 stays in second ss.
HRESULT CTavrixHistoryMan::WriteMarkerLocked(std::string_view marker) {
  if (!settings_.sysInfo) return S_FALSE;
  const int64_t micros = SystemClock().UtcMicros();
  int64_t seconds = micros / kMicrosPerSecond;
  if (micros % kMicrosPerSecond < 0) --seconds;
  const auto millisecondMicros =
      static_cast<uint32_t>((micros - seconds * kMicrosPerSecond) / 1000 * 1000);
  const double date = DateFromUnixMicros(seconds * kMicrosPerSecond);
  if (date == markerTime_ && millisecondMicros <= markerMicrosecond_) {
    ++markerMicrosecond_;
  } else {
    markerMicrosecond_ = millisecondMicros;
  }
  markerTime_ = date;
  const Variant text = Variant::Text(marker);
  return AddHistoryLocked(Row{kHistoryMarkerController, {}, text, date, markerMicrosecond_});
}

// --- Close and the queries --------------------------------------------------------

HRESULT CTavrixHistoryMan::Close() {
  RecursiveMutexLock lock(&mutex_);
  if (!initialized_) return S_FALSE;
  if (Enable()) (void)WriteMarkerLocked("$$CLOSE$$");
  // Only the holder of mutex_ can have open transactions: they are this thread's.
  while (transactionDepth_ > 0) {
    if (connection_) (void)connection_->Commit();
    --transactionDepth_;
    ReleaseTransactionHold();
  }
  transactionFiles_.clear();
  switchPending_ = false;
  EndFailureSeriesLocked();
  CloseConnectionLocked();
  DisableLocked();
  initialized_ = false;
  return S_OK;
}

HRESULT CTavrixHistoryMan::ConnectionString(int32_t index, std::string* out) const {
  MutexLock info(&infoMutex_);
  const HistoryTarget* t = index == 0   ? &current_
                           : index == 1 ? &primary_
                           : index == 2 ? &secondary_
                                        : nullptr;
  if (t == nullptr) return E_INVALIDARG;
  *out = t->hide && !t->connectionString.empty() ? std::string(TavrixUtility::kDefaultMask)
                                                 : t->connectionString;
  return S_OK;
}

HRESULT CTavrixHistoryMan::TableName(int32_t index, std::string* out) const {
  MutexLock info(&infoMutex_);
  const HistoryTarget* t = index == 0   ? &current_
                           : index == 1 ? &primary_
                           : index == 2 ? &secondary_
                                        : nullptr;
  if (t == nullptr) return E_INVALIDARG;
  *out = t->table;
  return S_OK;
}

HRESULT CTavrixHistoryMan::MaxRecord(int32_t index, int32_t* out) const {
  if (index < 0 || index > 2) return E_INVALIDARG;
  MutexLock info(&infoMutex_);
  *out = index == 1 ? primary_.maxRecord : secondary_.maxRecord;
  return S_OK;
}

int64_t CTavrixHistoryMan::recordCount() const {
  RecursiveMutexLock lock(&mutex_);
  return recordCounter_;
}

bool CTavrixHistoryMan::switched() const {
  RecursiveMutexLock lock(&mutex_);
  return switched_;
}

std::string CTavrixHistoryMan::fileFolder() const {
  RecursiveMutexLock lock(&mutex_);
  return fileFolder_;
}

}  // namespace tavrix
