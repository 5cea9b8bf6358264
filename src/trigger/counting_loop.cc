#include "trigger/counting_loop.h"

#include "controller/controller.h"
#include "platform/convert.h"

namespace tavrix {

namespace {

bool IsIntegerType(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
      return true;
    default:
      return false;
  }
}

}  // namespace

HRESULT ForConstParameter::GetValue(Variant* out) {
  *out = Variant::I4(count_);
  return S_OK;
}

HRESULT ForItemParameter::Resolve(CTavrixController& controller, std::string_view name) {
  return ResolveOperand(controller, name, OperandForms::kReference, &operand_);
}

HRESULT ForItemParameter::GetValue(Variant* out) { return ReadOperandNow(operand_, out); }

HRESULT ForItemParameter::SetValue(int32_t index) {
  return WriteOperand(operand_, Variant::I4(index));
}

CForObject::CForObject(std::string countText, std::string currentCountText)
    : countText_(std::move(countText)), currentCountText_(std::move(currentCountText)) {}

HRESULT CForObject::Initialize(CTavrixController& controller) {
  ReleaseResources();
  if (!countText_.empty() && countText_.front() == '$') {
    auto item = std::make_unique<ForItemParameter>();
    const HRESULT hr = item->Resolve(controller, std::string_view(countText_).substr(1));
    if (FAILED(hr)) {
      LogNodeDetail(hr, 3, "Invalid item name [%ls].", countText_);
      return hr;
    }
    count_ = std::move(item);
  } else {
    Variant count;
    HRESULT hr = ChangeType(Variant::Text(countText_), VT_I4, &count);
    if (SUCCEEDED(hr) && count.i4() < 0) hr = E_INVALIDARG;
    if (FAILED(hr)) {
      LogNodeDetail(hr, 3, "Invalid constants [%ls].", countText_);
      return hr;
    }
    count_ = std::make_unique<ForConstParameter>(count.i4());
  }
  if (!currentCountText_.empty()) {
    auto item = std::make_unique<ForItemParameter>();
    const HRESULT hr = item->Resolve(controller, currentCountText_);
    if (FAILED(hr)) {
      LogNodeDetail(hr, 3, "Invalid item name [%ls].", currentCountText_);
      return hr;
    }
    currentCount_ = std::move(item);
  }
  return S_OK;
}

void CForObject::ReleaseResources() {
  count_.reset();
  currentCount_.reset();
}

HRESULT CForObject::Execute(int32_t kind, IZeltMessage* message) {
  if (!count_) return S_FALSE;
  Variant value;
  HRESULT hr = count_->GetValue(&value);
  if (FAILED(hr)) {
    LogNode(hr, 3, "Failed to get count.");
    ReportResult(hr, *this);
    return S_FALSE;
  }
  if (!IsIntegerType(value.vt())) {
    LogNode(E_INVALIDARG, 3,
            "Failed to execute repeat processing. Please set the number of repeat count as an "
            "integer.");
    ReportResult(E_INVALIDARG, *this);
    return S_FALSE;
  }
  Variant count;
  hr = ChangeType(value, VT_I4, &count);
  if (SUCCEEDED(hr) && count.i4() < 0) hr = E_INVALIDARG;
  if (FAILED(hr)) {
    LogNode(hr, 3,
            "Failed to execute repeat processing. Please set the number of repeat count within "
            "the specifiable range (0 to 2,147,483,647).");
    ReportResult(hr, *this);
    return S_FALSE;
  }

  const int32_t n = count.i4();
  HRESULT result = S_OK;
  int32_t i = 0;
  for (; i < n; ++i) {
    if (Stopped()) return S_FALSE;
    if (currentCount_ && FAILED(currentCount_->SetValue(i))) LogNode(1, "Failed to write count.");
    result = ExecuteChildren(kind, message);
    if (FAILED(result) || result == kTriggerReturn) break;
    if (result == kTriggerBreak) {
      result = S_OK;
      break;
    }
    if (result == kTriggerContinue) result = S_OK;
  }
  if (currentCount_ && FAILED(currentCount_->SetValue(i))) LogNode(1, "Failed to write count.");
  ReportResult(result, *this);
  return result;
}

}  // namespace tavrix
