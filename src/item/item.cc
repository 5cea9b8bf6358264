#include "item/item.h"

namespace tavrix {

HRESULT CTavrixItem::Initialize(int32_t index, const ItemRecord& record) {
  if (record.m_strItemName.empty()) return E_INVALIDARG;
  m_lIndex = index;
  record_ = record;
  return S_OK;
}

HRESULT CTavrixItem::Activate(IZeltController* controller) {
  std::lock_guard lock(mutex_);
  variable_.reset();
  state_ = tvItemUndefined;
  if (controller == nullptr || !record_.m_bEnabled || !record_.m_bVariableEnabled) return S_OK;
  Ref<IZeltVariables> variables;
  RETURN_IF_FAILED(controller->get_Variables(&variables));
  Ref<IZeltVariable> variable;
  HRESULT hr = variables->Add(record_.m_strVarName, record_.m_strOption, &variable);
  if (hr == TVX_E_ZELT_ALREADY_EXISTS) {
    hr = variables->Item(Variant::Text(record_.m_strVarName), &variable);
  }
  RETURN_IF_FAILED(hr);
  variable_ = std::move(variable);
  return S_OK;
}

HRESULT CTavrixItem::Read(bool* deviceRead) {
  *deviceRead = false;
  Ref<IZeltVariable> variable;
  {
    std::lock_guard lock(mutex_);
    variable = variable_;
  }
  if (!variable) return S_FALSE;  // nothing on the device to read
  Variant value;
  *deviceRead = true;
  const HRESULT hr = variable->get_Value(&value);
  std::lock_guard lock(mutex_);
  if (FAILED(hr)) {
    state_ = tvItemFailed;
    return hr;
  }
  value_ = std::move(value);
  state_ = tvItemSucceeded;
  return S_OK;
}

void CTavrixItem::Deactivate() {
  std::lock_guard lock(mutex_);
  variable_.reset();
}

void CTavrixItem::Terminate() { Deactivate(); }

Variant CTavrixItem::value() const {
  std::lock_guard lock(mutex_);
  return value_;
}

int32_t CTavrixItem::state() const {
  std::lock_guard lock(mutex_);
  return state_;
}

}  // namespace tavrix
