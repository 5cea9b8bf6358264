// The history manager's snapshot transactions and free SQL.
//
// A transaction keeps one extra hold of the manager lock from BeginTrans until
// it ends. Every other thread's AddHistory, Execute and transaction call waits
// meanwhile, so the shared connection's transaction holds only the snapshot's
// own rows and its rollback can never take another controller's rows with it.
#include "db/history_blob_files.h"
#include "db/history_man.h"
#include "platform/log.h"
#include "sql/record_set.h"

namespace tavrix {

HRESULT CTavrixHistoryMan::BeginTrans() {
  RecursiveMutexLock lock(&mutex_);
  if (!connection_) return E_FAIL;
  const HRESULT hr = connection_->BeginTransaction();
  if (hr.failed()) {
    Log(0, "TavrixHistoryMan : BeginTrans ... %s\n", lastErrorText());
    return hr;
  }
  if (transactionDepth_++ == 0) {
    counterAtBegin_ = recordCounter_;
    transactionFiles_.clear();
  }
  TakeTransactionHold();  // kept until CommitTrans or RollbackTrans
  return S_OK;
}

HRESULT CTavrixHistoryMan::CommitTrans() { return EndTransaction(true); }

HRESULT CTavrixHistoryMan::RollbackTrans() { return EndTransaction(false); }

HRESULT CTavrixHistoryMan::EndTransaction(bool commit) {
  // A thread without a transaction gets here only once no other thread holds
  // one, and then finds the depth 0.
  RecursiveMutexLock lock(&mutex_);
  if (!connection_) {
    for (; transactionDepth_ > 0; --transactionDepth_) ReleaseTransactionHold();
    return E_FAIL;
  }
  if (transactionDepth_ == 0) return S_FALSE;
  const HRESULT hr = commit ? connection_->Commit() : connection_->Rollback();
  // A commit the database refused but kept open waits for the caller's rollback.
  if (commit && hr.failed() && connection_->inTransaction()) return hr;
  --transactionDepth_;
  ReleaseTransactionHold();  // `lock` keeps this call's own
  if (!commit || hr.failed()) {
    recordCounter_ = counterAtBegin_;
    for (const std::string& file : transactionFiles_) RemoveBlobFile(fileFolder_, file);
  }
  transactionFiles_.clear();
  if (switchPending_ && transactionDepth_ == 0) {
    switchPending_ = false;
    if (Enable()) (void)SwitchToSecondaryLocked();
  }
  return hr;
}

HRESULT CTavrixHistoryMan::Execute(std::string_view commandText, Variant* recordSet) {
  RecursiveMutexLock lock(&mutex_);
  if (!connection_) return E_FAIL;
  Ref<sql::RecordSet> rows;
  const HRESULT hr = sql::ExecuteToRecordSet(*connection_, commandText, &rows);
  if (hr.failed()) {
    Log(1, "TavrixHistoryMan : %s\n", lastErrorText());
    return hr;
  }
  if (!rows || recordSet == nullptr) {
    Log(1, "TavrixHistoryMan : Execute failed.\n");
    return E_FAIL;
  }
  *recordSet = Variant::Dispatch(Ref<IDispatch>(rows));
  return S_OK;
}

}  // namespace tavrix
