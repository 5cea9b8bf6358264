// The table writer's life: creation and its columns, the opening of the
// shared connection with the statement's preparation, and Close.
#include "usertable/user_table_man.h"

#include <utility>

#include "config/replace_strings.h"
#include "config/value_kinds.h"
#include "controller/controller.h"
#include "item/item_properties.h"
#include "platform/log.h"
#include "usertable/table_layout.h"

namespace tavrix {

CTavrixUserDefineTableMan::CTavrixUserDefineTableMan(CTavrixController& owner, std::string name,
                                                     bool async, bool logStatements,
                                                     IDoBackup* backup,
                                                     IMeasurePerformance* callback,
                                                     const ColumnReaders& readers)
    : owner_(owner),
      host_(owner.host()),
      name_(std::move(name)),
      async_(async),
      queueLimit_(owner.host().DatabaseSettings().asyncQueueLimit),
      logStatements_(logStatements),
      backup_(backup),
      callback_(callback),
      readers_(readers) {}

CTavrixUserDefineTableMan::~CTavrixUserDefineTableMan() {
  Close();
  if (lockInfo_) UserTableRegistry::Instance().ReleaseLockInfo(connectionString_);
}

void CTavrixUserDefineTableMan::SetConnectionFactoryForTesting(sql::ConnectionFactory* factory) {
  UserTableRegistry::Instance().SetFactory(factory);
}

// --- Creation ---------------------------------------------------------------------

HRESULT CTavrixUserDefineTableMan::Create(CTavrixController& owner, const UserDefineDBInfo& info,
                                          const std::string& writerName, IDoBackup* backup,
                                          IMeasurePerformance* callback,
                                          const ColumnReaders& readers,
                                          std::unique_ptr<CTavrixUserDefineTableMan>* out) {
  out->reset();
  std::unique_ptr<CTavrixUserDefineTableMan> writer(new CTavrixUserDefineTableMan(
      owner, writerName, ReadFlag(info.m_bAsync), owner.settings()->m_bOutputActionLog, backup,
      callback, readers));
  for (const TableColumnInfo& record : info.m_columns) {
    RETURN_IF_FAILED(writer->AddColumns(record));
  }
  RETURN_IF_FAILED(writer->Initialize(info));
  *out = std::move(writer);
  return S_OK;
}

HRESULT CTavrixUserDefineTableMan::AddColumns(const TableColumnInfo& record) {
  const ColumnSource source = SplitColumnSource(record.m_strItemName, owner_.name());
  const std::vector<std::string> names = SplitColumnNames(record.m_strColumnName);
  const bool several = names.size() > 1;
  bool any = false;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) continue;
    any = true;
    const int32_t index = several ? static_cast<int32_t>(i) : -1;
    std::unique_ptr<DBColumnInfo> column;
    switch (source.kind) {
      case ColumnSource::Kind::kTemporary:
        column = std::make_unique<MapDBColumnInfo>(names[i], source, index, name_);
        break;
      case ColumnSource::Kind::kItem: {
        const int32_t property = ItemPropertyNumber(record.m_strProperty);
        if (property < 0) {
          LogResult(E_INVALIDARG, 1,
                    "CTavrixUserDefineTableMan[%ls] : Invalid item property name [%ls]\n", name_,
                    record.m_strProperty);
          return E_INVALIDARG;
        }
        column = std::make_unique<ItemDBColumnInfo>(names[i], source, index, name_, property);
        break;
      }
      case ColumnSource::Kind::kController: {
        const int32_t property = readers_.controllerPropertyNumber
                                     ? readers_.controllerPropertyNumber(record.m_strProperty)
                                     : -1;
        if (property < 0) {
          LogResult(E_INVALIDARG, 1,
                    "CTavrixUserDefineTableMan[%ls] : Invalid controller property name [%ls]\n",
                    name_, record.m_strProperty);
          return E_INVALIDARG;
        }
        column = std::make_unique<ControllerDBColumnInfo>(names[i], source, index, name_, property,
                                                          readers_);
        break;
      }
    }
    RETURN_IF_FAILED(AddColumn(std::move(column)));
  }
  if (!any) {
    LogResult(E_INVALIDARG, 1, "CTavrixUserDefineTableMan[%ls] : No column name in [%ls]\n", name_,
              record.m_strColumnName);
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT CTavrixUserDefineTableMan::AddColumn(std::unique_ptr<DBColumnInfo> column) {
  // The statement is typed for the columns it was prepared with.
  if (IsConnectionOpen()) return E_ACCESSDENIED;
  columnNames_.push_back(column->columnName());
  columns_.push_back(std::move(column));
  return S_OK;
}

HRESULT CTavrixUserDefineTableMan::Initialize(const UserDefineDBInfo& info) {
  connectionString_ =
      info.m_strConSetting.empty()
          ? info.m_strADOCon
          : TavrixUtility::DBStringReplaceMap::Instance().GetConnectionString(info.m_strConSetting);
  table_ = info.m_strTableName;
  lockInfo_ = UserTableRegistry::Instance().AcquireLockInfo(connectionString_);
  if (columns_.empty()) return E_INVALIDARG;
  for (const std::unique_ptr<DBColumnInfo>& column : columns_) {
    RETURN_IF_FAILED(column->Resolve(owner_));
  }
  insertText_ = InsertStatementText(table_, columnNames_);
  return S_OK;
}

// --- Opening ------------------------------------------------------------------------

HRESULT CTavrixUserDefineTableMan::OpenConnection() {
  MutexLock writer(&writerMutex_);
  return OpenConnectionLocked();
}

HRESULT CTavrixUserDefineTableMan::OpenConnectionLocked() {
  if (!cache_) cache_ = UserTableRegistry::Instance().RegisterWriter(connectionString_, this);
  Log(0, "Use critical section info : %d\n", lockInfo_->sequence);
  MutexLock hold(&lockInfo_->mutex);
  const HRESULT hr = PrepareLocked();
  if (hr.failed()) MarkFailed();
  return hr;
}

void CTavrixUserDefineTableMan::ReportPrepareFailure(HRESULT hr, const std::string& text) {
  LogResult(
      hr, 1, "CTavrixUserDefineTableMan[%ls] : %s\n", name_,
      text.empty() ? std::string("[Tavrix] The insert statement could not be prepared.") : text);
}

HRESULT CTavrixUserDefineTableMan::PrepareLocked() {
  if (!cache_) return E_FAIL;
  std::shared_ptr<sql::SqlConnection> db;
  // A controller that stops (deactivation, reconnection) does not sit out
  // the open retries.
  HRESULT hr = cache_->Open(host_, &db, &owner_.stopEvent());
  if (hr.failed()) {
    prepared_.reset();
    connectionOpen_.store(false, std::memory_order_release);
    return hr;
  }
  if (prepared_ && prepared_->connection == db) return S_OK;

  // A statement of a replaced connection goes now, under the lock info like
  // every use of that connection.
  prepared_.reset();
  connectionOpen_.store(false, std::memory_order_release);
  auto prepared = std::make_unique<PreparedInsert>();
  prepared->connection = db;

  std::string statement;
  hr = BuildInsertStatement(table_, columnNames_, db->identifierQuote(), &statement);
  if (hr.failed()) {
    ReportPrepareFailure(
        hr, "[Tavrix] The table '" + table_ + "' or one of its column names " + "cannot be used.");
    return hr;
  }
  hr = db->Prepare(statement, &prepared->statement);
  if (hr.failed()) {
    ReportPrepareFailure(hr, db->lastError().description);
    return hr;
  }

  // The parameters take the types and nullability of the table's columns.
  if (logStatements_) {
    Log(0, "CTavrixUserDefineTableMan[%ls] : %ls\n", name_,
        SelectStatementText(table_, columnNames_));
  }
  std::vector<sql::ColumnInfo> tableColumns;
  hr = db->DescribeTable(table_, &tableColumns);
  if (hr.failed()) {
    ReportPrepareFailure(hr, db->lastError().description);
    return hr;
  }
  std::vector<sql::ColumnInfo> parameters;
  std::string missing;
  hr = ParameterColumnsFor(tableColumns, columnNames_, &parameters, &missing);
  if (hr.failed()) {
    ReportPrepareFailure(hr, "[Tavrix] The table '" + table_ + "' has no column " + missing + ".");
    return hr;
  }
  for (const sql::ColumnInfo& c : parameters) prepared->nullable.push_back(c.nullable);
  hr = prepared->statement->SetParameterColumns(std::move(parameters));
  if (hr.failed()) {
    ReportPrepareFailure(hr, db->lastError().description);
    return hr;
  }
  prepared_ = std::move(prepared);
  connectionOpen_.store(true, std::memory_order_release);
  return S_OK;
}

// --- Close --------------------------------------------------------------------------

void CTavrixUserDefineTableMan::Close() {
  {
    // Also when the connection never opened: the thread may hold rows that
    // must still reach the backup sink.
    MutexLock thread(&threadMutex_);
    if (insertThread_.Joinable()) {
      stopEvent_.Set();
      insertThread_.Join();
    }
  }
  MutexLock writer(&writerMutex_);
  connectionOpen_.store(false, std::memory_order_release);
  if (!cache_) return;
  Log(0, "Use critical section info : %d\n", lockInfo_->sequence);
  {
    MutexLock hold(&lockInfo_->mutex);
    prepared_.reset();
    if (UserTableRegistry::Instance().UnregisterWriter(connectionString_, cache_, this)) {
      cache_->CloseConnection();
    }
  }
  cache_.reset();
}

}  // namespace tavrix
