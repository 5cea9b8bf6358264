// The history manager's row writes: AddHistory, the history row insert, the
// current-value row update, byte-array files and the failure series.
#include <span>

#include "config/project_version.h"
#include "db/history_blob_files.h"
#include "db/history_man.h"
#include "platform/log.h"

namespace tavrix {
namespace {

constexpr int32_t kHistoryRowFlags = 0;
constexpr int32_t kCurrentRowFlags = 1;

bool IsByteArray(const Variant& value) { return value.vt() == (VT_ARRAY | VT_UI1); }

// Binds values[i] to parameter i. The first refusal is returned.
HRESULT BindAll(sql::SqlStatement& statement, std::span<const Variant> values) {
  for (size_t i = 0; i < values.size(); ++i) RETURN_IF_FAILED(statement.Bind(i, values[i]));
  return S_OK;
}

}  // namespace

HRESULT CTavrixHistoryMan::AddHistory(std::string_view controllerName, std::string_view itemName,
                                      const Variant& value, double date, uint32_t microsecond) {
  if (!Enable()) return S_FALSE;
  RecursiveMutexLock lock(&mutex_);
  return AddHistoryLocked(Row{controllerName, itemName, value.Deref(), date, microsecond});
}

HRESULT CTavrixHistoryMan::AddHistoryLocked(const Row& row) {
  if (!Enable()) return S_FALSE;
  bool switchable = false;
  const HRESULT hr = WriteLocked(row, &switchable);
  if (!hr.failed() || !switchable) return hr;
  if (transactionDepth_ > 0) {
    // Switching now would split the snapshot over two databases; its caller
    // rolls it back, and the switch follows (EndTransaction).
    switchPending_ = true;
    return hr;
  }
  if (SwitchToSecondaryLocked() == S_OK) return WriteLocked(row, &switchable);
  return hr;
}

HRESULT CTavrixHistoryMan::WriteLocked(const Row& row, bool* switchable) {
  *switchable = false;
  const uint32_t modes = settings_.writeModes;
  HRESULT hr = S_OK;
  if (modes & kHistoryInsertRows) {
    hr = InsertRowLocked(row, kHistoryRowFlags, nullptr, switchable);
    if (hr.failed()) return hr;
  }
  if (modes & kHistoryUpdateCurrent) hr = UpdateCurrentLocked(row, switchable);
  return hr;
}

HRESULT CTavrixHistoryMan::StoredValueLocked(const Row& row, const std::string* storedFile,
                                             bool nullForEmpty, Variant* out) {
  if (storedFile != nullptr) {
    *out = Variant::Text(*storedFile);
    return S_OK;
  }
  if (settings_.noConvToBstr) {
    *out = nullForEmpty && row.value.IsEmpty() ? Variant::Null() : row.value;
    return S_OK;
  }
  if (!kivData_) return E_FAIL;
  if (IsVersionedProject()) (void)kivData_->SetFormatOption(-1);
  std::string text;
  RETURN_IF_FAILED(kivData_->TextForm(row.value, &text));
  *out = Variant::Text(text);
  return S_OK;
}

HRESULT CTavrixHistoryMan::InsertRowLocked(const Row& row, int32_t flags,
                                           const std::string* storedFile, bool* switchable) {
  const int32_t maxRecord = currentLocked().maxRecord;
  if (maxRecord != 0 && recordCounter_ >= maxRecord) {
    *switchable = true;
    if (errorReported_) {
      ++droppedRows_;
      return S_FALSE;
    }
    errorReported_ = true;
    LogResult(E_FAIL, 1, "TavrixHistoryMan : The number of record reached upper bound.\n");
    return E_FAIL;
  }
  if (!insert_) {
    *switchable = true;
    return ReportDatabaseFailureLocked(E_FAIL);
  }

  std::string createdFile;
  if (storedFile == nullptr && settings_.blobToFile && IsByteArray(row.value)) {
    int sysError = 0;
    const std::string name =
        HistoryBlobFileName(row.controller, row.item, row.date, row.microsecond);
    if (CreateBlobFile(fileFolder_, name, BlobBytes(row.value), &createdFile, &sysError).failed()) {
      return ReportFileFailureLocked(sysError);
    }
    fileErrorReported_ = false;
    storedFile = &createdFile;
  }
  // The file belongs to the row: it goes when the row is not written.
  auto dropFile = [&]() REQUIRES(mutex_) {
    if (!createdFile.empty()) RemoveBlobFile(fileFolder_, createdFile);
  };

  Variant value;
  if (StoredValueLocked(row, storedFile, true, &value).failed()) {
    dropFile();
    Log(1, "TavrixHistoryMan : AddHistory0 failed.\n");
    return E_FAIL;
  }
  const Variant values[] = {Variant::Text(row.controller),
                            Variant::Text(row.item),
                            std::move(value),
                            Variant::I2(static_cast<int16_t>(row.value.vt())),
                            Variant::Date(row.date),
                            Variant::I4(static_cast<int32_t>(row.microsecond)),
                            Variant::I4(flags)};
  HRESULT hr = BindAll(*insert_, values);
  if (hr.failed() && !connection_->broken()) {
    dropFile();
    return ReportValueFailureLocked(hr);
  }
  if (hr.succeeded()) hr = insert_->Execute(nullptr);
  if (hr.failed()) {
    dropFile();
    *switchable = true;
    return ReportDatabaseFailureLocked(hr);
  }
  ++recordCounter_;
  EndFailureSeriesLocked();
  if (!createdFile.empty() && transactionDepth_ > 0) transactionFiles_.push_back(createdFile);
  return S_OK;
}

HRESULT CTavrixHistoryMan::UpdateCurrentLocked(const Row& row, bool* switchable) {
  if (!update_) {
    *switchable = true;
    return ReportDatabaseFailureLocked(E_FAIL);
  }
  // A byte array goes to the file the current-value row already names, or to
  // a new one when the row has none yet.
  std::string file;
  bool newFile = false;
  if (settings_.blobToFile && IsByteArray(row.value)) {
    int sysError = 0;
    HRESULT hr = LookUpCurrentFileLocked(row, &file);
    if (hr == S_OK) {
      hr = ReplaceBlobFile(fileFolder_, file, BlobBytes(row.value), &sysError);
    } else {
      newFile = true;
      hr = CreateBlobFile(fileFolder_, CurrentBlobFileName(row.controller, row.item),
                          BlobBytes(row.value), &file, &sysError);
    }
    if (hr.failed()) return ReportFileFailureLocked(sysError);
    fileErrorReported_ = false;
  }
  const std::string* storedFile = file.empty() ? nullptr : &file;
  auto dropFile = [&]() REQUIRES(mutex_) {
    if (newFile) RemoveBlobFile(fileFolder_, file);
  };

  Variant value;
  if (StoredValueLocked(row, storedFile, false, &value).failed()) {
    dropFile();
    Log(1, "TavrixHistoryMan : UpdateHistory failed.\n");
    return E_FAIL;
  }
  const Variant values[] = {std::move(value),
                            Variant::I2(static_cast<int16_t>(row.value.vt())),
                            Variant::Date(row.date),
                            Variant::I4(static_cast<int32_t>(row.microsecond)),
                            Variant::Text(row.controller),
                            Variant::Text(row.item),
                            Variant::I4(kCurrentRowFlags)};
  HRESULT hr = BindAll(*update_, values);
  if (hr.failed() && !connection_->broken()) {
    // The insert below would refuse the same value.
    dropFile();
    return ReportValueFailureLocked(hr);
  }
  int64_t changed = 0;
  if (hr.succeeded()) hr = update_->Execute(&changed);
  if (hr.succeeded() && changed > 0) {
    EndFailureSeriesLocked();
    if (newFile && transactionDepth_ > 0) transactionFiles_.push_back(file);
    return S_OK;
  }
  // The insert that follows reports the failure as part of the series; this
  // line keeps a failure of the update alone visible.
  if (hr.failed() && !errorReported_) Log(1, "TavrixHistoryMan : %s\n", lastErrorText());

  // No current-value row yet (or the update failed): insert one, with the
  // file already written.
  const HRESULT inserted = InsertRowLocked(row, kCurrentRowFlags, storedFile, switchable);
  if (inserted != S_OK) {
    dropFile();
  } else if (newFile && transactionDepth_ > 0) {
    transactionFiles_.push_back(file);
  }
  return inserted;
}

HRESULT CTavrixHistoryMan::LookUpCurrentFileLocked(const Row& row, std::string* name) {
  const Variant key[] = {Variant::Text(row.controller), Variant::Text(row.item),
                         Variant::I4(kCurrentRowFlags)};
  RETURN_IF_FAILED(BindAll(*lookup_, key));
  sql::RowSet rows;
  RETURN_IF_FAILED(lookup_->Query(&rows));
  if (rows.rowCount() == 0) return S_FALSE;
  const Variant& stored = rows.at(0, 0);
  // Only a name this manager makes is ever replaced: the column may hold
  // anything someone wrote into it.
  if (!stored.IsText() || !IsHistoryBlobFileName(stored.text())) return S_FALSE;
  *name = stored.text();
  return S_OK;
}

// --- Failures ---------------------------------------------------------------------

const std::string& CTavrixHistoryMan::lastErrorText() const {
  static const std::string kNotOpen = "[Tavrix] The history database is not open.";
  return connection_ ? connection_->lastError().description : kNotOpen;
}

HRESULT CTavrixHistoryMan::ReportDatabaseFailureLocked(HRESULT code) {
  if (errorReported_) {
    ++droppedRows_;
    return S_FALSE;
  }
  errorReported_ = true;
  Log(1, "TavrixHistoryMan : %s\n", lastErrorText());
  return code;
}

HRESULT CTavrixHistoryMan::ReportValueFailureLocked(HRESULT code) {
  Log(1, "TavrixHistoryMan : %s\n", lastErrorText());
  return code;
}

// One line per run of failing files: a folder that cannot be written would
// otherwise log every change of every byte-array item.
HRESULT CTavrixHistoryMan::ReportFileFailureLocked(int sysError) {
  if (!fileErrorReported_) {
    fileErrorReported_ = true;
    LogResult(E_FAIL, 1, "TavrixHistoryMan : The binary file was not able to create. : %d\n",
              sysError);
  }
  return E_FAIL;
}

void CTavrixHistoryMan::EndFailureSeriesLocked() {
  if (!errorReported_) return;
  errorReported_ = false;
  if (droppedRows_ > 0) {
    Log(1,
        "TavrixHistoryMan : %d history rows were not recorded while the database could not "
        "be written.\n",
        droppedRows_);
  }
  droppedRows_ = 0;
}

}  // namespace tavrix
