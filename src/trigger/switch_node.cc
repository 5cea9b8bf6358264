#include "trigger/switch_node.h"

#include <cstring>

#include "controller/controller.h"
#include "platform/arith.h"
#include "platform/convert.h"
#include "platform/log.h"
#include "platform/text.h"

namespace tavrix {

bool CCaseObject::Matches(const Variant& value) const {
  if (value.IsEmpty() || value.IsNull()) return false;
  const LCID lcid = controller() != nullptr ? context().lcid : LOCALE_USER_DEFAULT;
  Variant converted;
  if (FAILED(ChangeType(Variant::Text(value_), value.vt(), &converted, 0, lcid))) return false;
  return VarCmp(value, converted, lcid) == VARCMP_EQ;
}

CSwitchObject::CSwitchObject(std::string name, int32_t source)
    : name_(std::move(name)), source_(source) {}

HRESULT CSwitchObject::Initialize(CTavrixController& controller) {
  ReleaseResources();
  if (FAILED(ResolveOperand(controller, name_, OperandForms::kValue, &watched_))) {
    LogNodeDetail(E_INVALIDARG, 1, "Invalid item name [%ls].", name_);
    return E_INVALIDARG;
  }
  cached_ = watched_.alwaysCached();
  return S_OK;
}

void CSwitchObject::ReleaseResources() {
  watched_.Reset();
  current_ = Variant();
  previous_ = Variant();
  cached_ = false;
}

HRESULT CSwitchObject::UpdateCache(int32_t kind) {
  if (watched_.resolved() && watched_.kind != OperandKind::kMessageField) {
    const HRESULT hr = RefreshCachedOperand(watched_, &current_, &previous_);
    cached_ = SUCCEEDED(hr);
    if (FAILED(hr)) return hr;
  }
  return CActionObject::UpdateCache(kind);
}

HRESULT CSwitchObject::Execute(int32_t kind, IZeltMessage* message) {
  if (kind == kKindStartup || kind == kKindCleanup) return S_FALSE;
  if (!cached_) {
    Log(0, "SwitchObject[%ls] : cache is uninitialized.\n", fullName());
    return S_FALSE;
  }
  Variant value;
  if (watched_.kind == OperandKind::kMessageField) {
    if (message == nullptr || FAILED(ReadMessageOperand(watched_, message, &value))) return S_FALSE;
  } else if (source_ == 2) {
    if (FAILED(ReadOperandNow(watched_, &value))) return S_FALSE;
  } else {
    value = source_ == 1 ? previous_ : current_;
  }
  for (const auto& child : children()) {
    if (std::strcmp(child->GetClassName(), "CCaseObject") != 0) continue;
    if (static_cast<const CCaseObject&>(*child).Matches(value)) {
      return child->ExecuteNode(message, kind);
    }
  }
  return S_FALSE;
}

void CSwitchObject::CollectWatchedItems(CTavrixController& controller,
                                        std::vector<Ref<CTavrixItem>>* items) {
  if (watched_.kind == OperandKind::kItem &&
      EqualsNoCase(watched_.item->controllerName(), controller.name())) {
    bool known = false;
    for (const auto& item : *items) known = known || item.get() == watched_.item.get();
    if (!known) items->push_back(watched_.item);
  }
  CActionObject::CollectWatchedItems(controller, items);
}

}  // namespace tavrix
