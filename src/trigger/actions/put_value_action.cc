#include "trigger/actions/put_value_action.h"

#include "controller/controller.h"
#include "kivdata/kivdata.h"
#include "platform/convert.h"
#include "platform/log.h"
#include "platform/safearray.h"
#include "platform/text.h"
#include "trigger/actions/action_makers.h"

namespace tavrix {

namespace {

constexpr VARTYPE kVariantArray = VT_ARRAY | VT_VARIANT;  // 8204

std::vector<Variant> SplitPieces(std::string_view text) {
  std::vector<Variant> pieces;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    pieces.push_back(Variant::Text(text.substr(start, comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return pieces;
}

}  // namespace

HRESULT MakeTypedArray(CTavrixController& controller, const std::vector<Variant>& values,
                       VARTYPE arrayType, Variant* out) {
  const VARTYPE element = arrayType & ~VT_ARRAY;
  if (IKivData* kiv = controller.kivData()) {
    Ref<SafeArray> given = SafeArray::Create1D(VT_VARIANT, static_cast<uint32_t>(values.size()));
    if (!given) return E_OUTOFMEMORY;
    for (size_t i = 0; i < values.size(); ++i) RETURN_IF_FAILED(given->Put(i, values[i]));
    return kiv->Convert(Variant::Array(std::move(given)), arrayType, out);
  }
  Ref<SafeArray> array = SafeArray::Create1D(element, static_cast<uint32_t>(values.size()));
  if (!array) return DISP_E_BADVARTYPE;
  for (size_t i = 0; i < values.size(); ++i) {
    Variant converted;
    if (element == VT_VARIANT) {
      converted = values[i];
    } else {
      RETURN_IF_FAILED(ChangeType(values[i], element, &converted));
    }
    RETURN_IF_FAILED(array->Put(i, converted));
  }
  *out = Variant::Array(std::move(array));
  return S_OK;
}

HRESULT CPutValueActionObject::Initialize(CTavrixController& controller) {
  ReleaseResources();
  HRESULT hr = ResolveTarget(controller, controllerName_, itemName_, &target_);
  if (FAILED(hr)) {
    LogNode(hr, 1, "Failed in Initialize().");
    return hr;
  }
  hr = putType_ == kPutTypeReference ? ResolveSource(controller) : PrepareValue(controller);
  if (FAILED(hr)) {
    ReleaseResources();
    return hr;
  }
  return S_OK;
}

// The source of type 29: "*name" (a temporary item of the own controller),
// controller "\" item (an item or "*" temporary item of that controller), or
// an item of the own controller.
HRESULT CPutValueActionObject::ResolveSource(CTavrixController& controller) {
  std::string_view controllerPart;
  std::string_view itemPart;
  SplitControllerItem(valueText_, &controllerPart, &itemPart);
  if (!controllerPart.empty() && !EqualsNoCase(controllerPart, controller.name()) &&
      !controller.host().FindController(controllerPart)) {
    LogNode(E_INVALIDARG, 1, "Failed in Initialize(). Invalid Controller name.");
    return E_INVALIDARG;
  }
  const HRESULT hr = ResolveTarget(controller, controllerPart, itemPart, &source_);
  if (FAILED(hr)) {
    LogNode(E_INVALIDARG, 1, "Failed in Initialize(). Invalid Item name.");
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT CPutValueActionObject::PrepareValue(CTavrixController& controller) {
  HRESULT hr;
  Variant prepared;
  if (putType_ == kVariantArray) {
    IKivData* kiv = controller.kivData();
    hr = kiv != nullptr ? kiv->Parse("8204," + valueText_, &prepared) : E_NOTIMPL;
  } else if ((putType_ & VT_ARRAY) != 0) {
    hr = MakeTypedArray(controller, SplitPieces(valueText_), putType_, &prepared);
  } else {
    hr = ChangeType(Variant::Text(valueText_), putType_, &prepared);
  }
  if (FAILED(hr)) {
    LogNode(hr, 1, "Failed in Initialize().");
    return hr;
  }
  value_ = std::move(prepared);
  return S_OK;
}

HRESULT CPutValueActionObject::Execute(int32_t, IZeltMessage*) {
  if (!target_.resolved()) return S_FALSE;
  HRESULT hr = S_OK;
  if (putType_ == kPutTypeReference) {
    Variant current;
    hr = ReadOperandNow(source_, &current);
    // A write-only source item gives S_FALSE and no value: nothing to copy.
    if (hr == S_FALSE) hr = E_FAIL;
    if (SUCCEEDED(hr)) hr = WriteOperand(target_, current);
  } else {
    hr = WriteOperand(target_, value_);
  }
  if (FAILED(hr)) return FailedExecution(hr);
  return S_OK;
}

void CPutValueActionObject::ReleaseResources() {
  target_.Reset();
  source_.Reset();
  value_ = Variant();
}

std::unique_ptr<CActionObject> MakePutValueAction(const ActionExInfo& info, uint16_t putType) {
  return std::make_unique<CPutValueActionObject>(info, putType);
}

}  // namespace tavrix
