#include "trigger/operand.h"

#include "controller/controller.h"
#include "controller/controller_lookup.h"
#include "platform/text.h"
#include "trigger/controller_values.h"

namespace tavrix {

namespace {

constexpr std::string_view kLastErrorName = "Trigger.LastError";
constexpr std::string_view kControllerPrefix = "Controller.";
constexpr std::string_view kMessagePrefix = "Message.";

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

HRESULT ResolveDollarName(CTavrixController& owner, std::string_view name, OperandForms forms,
                          Operand* out) {
  if (forms == OperandForms::kReference || name.size() < 2 || name.back() != '$') {
    return E_INVALIDARG;
  }
  const std::string_view inner = name.substr(1, name.size() - 2);
  if (EqualsNoCase(inner, kLastErrorName)) {
    if (forms != OperandForms::kCondition) return E_INVALIDARG;
    out->kind = OperandKind::kLastError;
    return S_OK;
  }
  if (StartsWithNoCase(inner, kControllerPrefix)) {
    const int32_t number = ControllerValueNumber(inner.substr(kControllerPrefix.size()));
    if (number < 0) return E_INVALIDARG;
    out->kind = OperandKind::kControllerValue;
    out->controller = &owner;
    out->number = number;
    return S_OK;
  }
  if (StartsWithNoCase(inner, kMessagePrefix)) {
    const int32_t number = MessageFieldNumber(inner.substr(kMessagePrefix.size()));
    if (number < 0) return E_INVALIDARG;
    out->kind = OperandKind::kMessageField;
    out->number = number;
    return S_OK;
  }
  return E_INVALIDARG;
}

// The controller named `name` (the owner itself when it is its name).
HRESULT FindNamedController(CTavrixController& owner, std::string_view name,
                            CTavrixController** controller, Ref<CTavrixController>* other) {
  *controller = NamedController(owner, name, other);
  return *controller != nullptr ? S_OK : HRESULT(E_INVALIDARG);
}

HRESULT ResolveItemOf(CTavrixController& controller, Ref<CTavrixController> other,
                      std::string_view itemName, Operand* out) {
  if (!itemName.empty() && itemName.front() == '*') {
    const std::string_view declared = itemName.substr(1);
    if (!controller.temporaryItems().Exists(declared)) return E_INVALIDARG;
    out->kind = OperandKind::kTemporary;
    out->controller = &controller;
    out->otherController = std::move(other);
    out->temporaryName.assign(declared);
    return S_OK;
  }
  Ref<CTavrixItem> item = controller.FindItem(itemName);
  if (!item) return E_INVALIDARG;
  out->kind = OperandKind::kItem;
  out->item = std::move(item);
  return S_OK;
}

}  // namespace

bool SplitControllerItem(std::string_view text, std::string_view* controller,
                         std::string_view* item) {
  const size_t slash = text.find('\\');
  if (slash == std::string_view::npos) {
    *controller = {};
    *item = text;
    return false;
  }
  *controller = text.substr(0, slash);
  *item = text.substr(slash + 1);
  return true;
}

HRESULT ResolveOperand(CTavrixController& owner, std::string_view name, OperandForms forms,
                       Operand* out) {
  out->Reset();
  HRESULT hr;
  if (!name.empty() && name.front() == '$') {
    hr = ResolveDollarName(owner, name, forms, out);
  } else {
    std::string_view controllerName;
    std::string_view itemName;
    if (SplitControllerItem(name, &controllerName, &itemName)) {
      hr = ResolveTarget(owner, controllerName, itemName, out);
      // "\item" names no controller: an empty controller part is no
      // shorthand for the owner here.
      if (controllerName.empty()) hr = E_INVALIDARG;
    } else {
      hr = ResolveItemOf(owner, {}, name, out);
    }
  }
  if (FAILED(hr)) out->Reset();
  return hr;
}

HRESULT ResolveTarget(CTavrixController& owner, std::string_view controllerName,
                      std::string_view itemName, Operand* out) {
  out->Reset();
  CTavrixController* controller = &owner;
  Ref<CTavrixController> other;
  HRESULT hr = S_OK;
  if (!controllerName.empty()) hr = FindNamedController(owner, controllerName, &controller, &other);
  if (SUCCEEDED(hr)) hr = ResolveItemOf(*controller, std::move(other), itemName, out);
  if (FAILED(hr)) out->Reset();
  return hr;
}

HRESULT ReadCachedOperand(const Operand& operand, Variant* out) {
  switch (operand.kind) {
    case OperandKind::kItem:
      *out = operand.item->value();
      return S_OK;
    case OperandKind::kTemporary:
      return operand.controller->temporaryItems().GetValue(operand.temporaryName, out);
    case OperandKind::kControllerValue:
      return ReadControllerValue(*operand.controller, operand.number, out);
    default:
      return E_INVALIDARG;
  }
}

HRESULT RefreshCachedOperand(const Operand& operand, Variant* current, Variant* previous) {
  Variant value;
  const HRESULT hr = ReadCachedOperand(operand, &value);
  if (FAILED(hr)) return hr;
  *previous = std::move(*current);
  *current = std::move(value);
  return S_OK;
}

HRESULT ReadOperandNow(const Operand& operand, Variant* out) {
  if (operand.kind == OperandKind::kItem) return operand.item->get_Value(out);
  return ReadCachedOperand(operand, out);
}

HRESULT ReadMessageOperand(const Operand& operand, IZeltMessage* message, Variant* out) {
  if (operand.kind != OperandKind::kMessageField || message == nullptr) return E_INVALIDARG;
  return ReadMessageField(*message, operand.number, out);
}

HRESULT WriteOperand(const Operand& operand, const Variant& value) {
  switch (operand.kind) {
    case OperandKind::kItem:
      return operand.item->put_Value(value);
    case OperandKind::kTemporary:
      return operand.controller->temporaryItems().SetValue(operand.temporaryName, value);
    default:
      return E_INVALIDARG;
  }
}

}  // namespace tavrix
