#include "calc/calc_operands.h"

#include <algorithm>

#include "controller/controller.h"
#include "controller/controller_lookup.h"
#include "item/item.h"
#include "platform/text.h"

namespace tavrix {
namespace {

constexpr char kBackslash = '\\';

Ref<CTavrixItem> FindItemOf(CTavrixController& self, std::string_view controller,
                            std::string_view item) {
  Ref<CTavrixController> held;
  CTavrixController* owner = NamedController(self, controller, &held);
  return owner != nullptr ? owner->FindItem(item) : Ref<CTavrixItem>();
}

std::unique_ptr<ParameterBase> ItemOperand(Ref<CTavrixItem> item, const CTavrixItem* self) {
  if (!item) return nullptr;
  return std::make_unique<ItemParameter>(std::move(item), self);
}

CalcOperandKind KindAt(const CalcOperation& op, CalcPosition position) {
  switch (position) {
    case CalcPosition::kTarget:
      return CalcOperandKind::kNumber;
    case CalcPosition::kLeft:
      return op.left;
    case CalcPosition::kRight:
      return op.right;
  }
  return CalcOperandKind::kNone;
}

// Operand texts of projects below version 1.2.
std::unique_ptr<ParameterBase> BuildLegacyOperand(std::string_view text, CalcForm form,
                                                  CTavrixController& controller,
                                                  const CTavrixItem* self) {
  const size_t slashes = static_cast<size_t>(std::count(text.begin(), text.end(), kBackslash));
  if (slashes == 1) {
    const size_t slash = text.find(kBackslash);
    return ItemOperand(FindItemOf(controller, text.substr(0, slash), text.substr(slash + 1)),
                       self);
  }
  if (slashes > 1) return nullptr;
  if (text.starts_with('#')) {
    double days = 0;
    if (FAILED(NumberTextToDays(text.substr(1), &days))) return nullptr;
    return std::make_unique<ConstParameter>(Variant::R8(days));
  }
  if (text.starts_with('*') && form == CalcForm::kLine) {
    return std::make_unique<MapParameter>(std::string(text), controller, false);
  }
  return ItemOperand(controller.FindItem(text), self);
}

// Operand texts of projects from version 1.2 on.
std::unique_ptr<ParameterBase> BuildDollarOperand(std::string_view text, CalcOperandKind kind,
                                                  CalcForm form, CTavrixController& controller,
                                                  const CTavrixItem* self) {
  const TriggerWorkspaceSettings project = controller.host().TriggerSettings();
  if (text.starts_with('$') && !text.starts_with("$$")) {
    const std::string_view reference = text.substr(1);
    if (std::count(reference.begin(), reference.end(), kBackslash) > 1) return nullptr;
    const size_t slash = reference.find(kBackslash);
    const std::string_view controllerName =
        slash == std::string_view::npos ? std::string_view(controller.name())
                                        : reference.substr(0, slash);
    const std::string_view itemName =
        slash == std::string_view::npos ? reference : reference.substr(slash + 1);
    if (!itemName.starts_with('*')) {
      return ItemOperand(FindItemOf(controller, controllerName, itemName), self);
    }
    if (!project.temporaryItems) return nullptr;
    auto temporary = std::make_unique<MapParameter>(std::string(reference), controller, true);
    if (FAILED(temporary->Bind())) return nullptr;
    return temporary;
  }
  if (text.starts_with('*') && form == CalcForm::kLine && !project.temporaryItems) {
    return std::make_unique<MapParameter>(std::string(text), controller, false);
  }
  const std::string_view constant = text.starts_with('$') ? text.substr(1) : text;
  Variant value;
  if (FAILED(MakeCalcConstant(kind, constant, &value))) return nullptr;
  return std::make_unique<ConstParameter>(std::move(value));
}

}  // namespace

// --- ItemParameter -------------------------------------------------------------

ItemParameter::ItemParameter(Ref<CTavrixItem> item, const CTavrixItem* self)
    : item_(std::move(item)), self_(item_.get() == self) {}

ItemParameter::~ItemParameter() = default;

HRESULT ItemParameter::GetOperand(Variant* out, ScratchTable*) {
  // The item's own read is running (it holds the item's calculation lock):
  // its cache is the value to use.
  if (self_) {
    *out = item_->value();
    return S_OK;
  }
  return item_->get_Value(out);
}

HRESULT ItemParameter::PutOperand(const Variant& value, ScratchTable*) {
  return item_->put_Value(value);
}

// --- ConstParameter ---------------------------------------------------------------

HRESULT ConstParameter::GetOperand(Variant* out, ScratchTable*) {
  *out = value_;
  return S_OK;
}

HRESULT ConstParameter::PutOperand(const Variant&, ScratchTable*) { return E_NOTIMPL; }

// --- MapParameter -----------------------------------------------------------------

MapParameter::MapParameter(std::string name, CTavrixController& controller, bool temporary)
    : name_(std::move(name)), controller_(controller), temporary_(temporary) {}

MapParameter::~MapParameter() = default;

HRESULT MapParameter::Bind() {
  const std::string_view text(name_);
  if (std::count(text.begin(), text.end(), kBackslash) > 1) return E_INVALIDARG;
  const size_t slash = text.find(kBackslash);
  Ref<CTavrixController> held;
  CTavrixController* owner =
      slash == std::string_view::npos ? &controller_
                                      : NamedController(controller_, text.substr(0, slash), &held);
  if (owner == nullptr) return E_INVALIDARG;
  std::string_view declared = slash == std::string_view::npos ? text : text.substr(slash + 1);
  if (declared.starts_with('*')) declared.remove_prefix(1);
  if (!owner->temporaryItems().Exists(declared)) return E_INVALIDARG;
  bound_ = owner;
  boundRef_ = std::move(held);
  boundName_ = std::string(declared);
  return S_OK;
}

HRESULT MapParameter::GetOperand(Variant* out, ScratchTable* table) {
  if (temporary_) {
    if (bound_ == nullptr) return E_ACCESSDENIED;
    return bound_->temporaryItems().GetValue(boundName_, out);
  }
  if (table != nullptr) {
    if (const auto found = table->find(name_); found != table->end()) {
      *out = found->second;
      return S_OK;
    }
  }
  out->Clear();
  return S_OK;
}

HRESULT MapParameter::PutOperand(const Variant& value, ScratchTable* table) {
  if (temporary_) {
    if (bound_ == nullptr) return E_ACCESSDENIED;
    return bound_->temporaryItems().SetValue(boundName_, value);
  }
  if (table == nullptr) return E_FAIL;
  (*table)[name_] = value;
  return S_OK;
}

// --- Building -----------------------------------------------------------------------

std::unique_ptr<ParameterBase> BuildOperand(std::string_view text, const CalcOperation& op,
                                            CalcPosition position, CalcForm form,
                                            CTavrixController& controller,
                                            const CTavrixItem* self) {
  if (!controller.host().TriggerSettings().thresholdReferences) {
    return BuildLegacyOperand(text, form, controller, self);
  }
  return BuildDollarOperand(text, KindAt(op, position), form, controller, self);
}

}  // namespace tavrix
