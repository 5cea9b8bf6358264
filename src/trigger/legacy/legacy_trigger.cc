#include "trigger/legacy/legacy_trigger.h"

#include "controller/controller.h"
#include "item/value_filters.h"
#include "platform/arith.h"
#include "platform/convert.h"
#include "platform/log.h"
#include "trigger/actions/process_spawn.h"
#include "trigger/controller_values.h"
#include "usertable/user_table_man.h"

namespace tavrix {

namespace {

// The writer name of legacy trigger rows.
constexpr const char* kWriterName = "Trigger";

}  // namespace

CTavrixTriggerObserver::CTavrixTriggerObserver(CTavrixController& controller)
    : controller_(controller) {}

CTavrixTriggerObserver::~CTavrixTriggerObserver() = default;

HRESULT CTavrixTriggerObserver::Setup(int32_t actionCode, int32_t condition,
                                      const std::string& threshold, const std::string& file,
                                      const std::string& parameters,
                                      const UserDefineDBInfo& table) {
  actionCode_ = actionCode;
  condition_ = condition;
  threshold_ = Variant::Text(threshold);
  if ((actionCode & 0xFFFF) == 4) {
    file_ = file;
    parameters_ = parameters;
  }
  if ((actionCode & kInsertRow) == 0) return S_OK;
  std::unique_ptr<CTavrixUserDefineTableMan> writer;
  const HRESULT hr = CTavrixUserDefineTableMan::Create(
      controller_, table, kWriterName, nullptr, nullptr, ControllerColumnReaders(), &writer);
  if (FAILED(hr)) return hr;
  writer_ = std::move(writer);
  return S_OK;
}

HRESULT CTavrixTriggerObserver::Holds(const Variant& value, bool* holds) const {
  const LCID lcid = controller_.host().Lcid();
  Variant threshold = threshold_;
  if (threshold.vt() != value.vt()) {
    Variant converted;
    const HRESULT hr = ChangeType(threshold_, value.vt(), &converted, 0, lcid);
    if (FAILED(hr)) return hr;
    threshold = std::move(converted);
  }
  if (controller_.host().IsVersionedProject() && (value.IsArray() || threshold.IsArray())) {
    // Arrays are equal element by element or not; they have no order.
    const bool equal = value.vt() == threshold.vt() && ValuesEqual(value, threshold, true, lcid);
    if (condition_ == 0 || condition_ == 1) {
      *holds = (condition_ == 0) == equal;
      return S_OK;
    }
    return E_INVALIDARG;
  }
  const HRESULT cmp = VarCmp(value, threshold, lcid);
  if (FAILED(cmp)) return cmp;
  switch (condition_) {
    case 0: *holds = cmp == VARCMP_EQ; return S_OK;
    case 1: *holds = cmp != VARCMP_EQ; return S_OK;
    case 2: *holds = cmp == VARCMP_LT; return S_OK;
    case 3: *holds = cmp == VARCMP_GT; return S_OK;
    case 4: *holds = cmp == VARCMP_LT || cmp == VARCMP_EQ; return S_OK;
    case 5: *holds = cmp == VARCMP_GT || cmp == VARCMP_EQ; return S_OK;
    default: return E_INVALIDARG;
  }
}

HRESULT CTavrixTriggerObserver::Update(const Variant& value) {
  bool holds = false;
  const HRESULT hr = Holds(value, &holds);
  if (FAILED(hr)) return hr;
  if (!holds) return S_OK;
  const HRESULT fired = Fire();
  if (FAILED(fired) || (actionCode_ & kInsertRow) == 0) return fired;
  return InsertRow();
}

HRESULT CTavrixTriggerObserver::Fire() {
  switch (actionCode_ & 0xFFFF) {
    case 0: return S_OK;
    case 1: controller_.SetSamplingMode(-1); return S_OK;
    case 2: controller_.SetSamplingMode(0); return S_OK;
    case 3: controller_.SetSamplingMode(1); return S_OK;
    case 4:
      if (FAILED(SpawnDetached(file_, SplitCommandLine(parameters_)))) {
        LogResult(E_FAIL, 1, "CTavrixTriggerObserver[%ls] : Failed in ShellExecute().\n",
                  controller_.name());
        return E_FAIL;
      }
      return S_OK;
    default: return E_INVALIDARG;
  }
}

HRESULT CTavrixTriggerObserver::InsertRow() {
  if (!writer_) return S_FALSE;
  if (!writer_->IsConnectionOpen()) {
    // A database that was down is tried again, not given up for good; the
    // shared connection tries at most once per retry interval.
    RETURN_IF_FAILED(writer_->OpenConnection());
    // The failed open failed the writer; it has no backup files to wait for.
    (void)writer_->ClearFailedIf([] { return true; });
  }
  return writer_->DoInsert(0);
}

}  // namespace tavrix
