#include "controller/temporary_item.h"

#include <utility>

#include "item/value_types.h"
#include "platform/log.h"
#include "platform/text.h"

namespace tavrix {

CTavrixTemporaryItem::CTavrixTemporaryItem(std::string controllerName,
                                           std::string_view declaredName, int32_t index)
    : controllerName_(std::move(controllerName)), index_(index) {
  // Appended, not "*" + name: GCC 12 at -O3 warns falsely about the insert.
  name_.reserve(declaredName.size() + 1);
  name_.push_back('*');
  name_.append(declaredName);
}

HRESULT CTavrixTemporaryItem::get_Value(Variant* out) const {
  if (out == nullptr) return E_POINTER;
  // Copying shares a text's or an array's payload: the lock is held for a
  // reference count, never for the data.
  Variant copy;
  {
    SmallMutexLock lock(&valueLock_);
    copy = value_;
  }
  *out = std::move(copy);
  return S_OK;
}

HRESULT CTavrixTemporaryItem::put_Value(const Variant& value) {
  if (!IsSupportedValue(value)) {
    LogResult(TVX_E_UNSUPPORTED_TYPE, 3,
              "CTavrixTemporaryItem[%ls\\%ls] : You have tried to put an unsupported type.\n",
              controllerName_, name_);
    return TVX_E_UNSUPPORTED_TYPE;
  }
  StoreValue(value);
  return S_OK;
}

HRESULT CTavrixTemporaryItem::get_Index(int32_t* out) const {
  if (out == nullptr) return E_POINTER;
  *out = index_;
  return S_OK;
}

HRESULT CTavrixTemporaryItem::get_Name(std::string* out) const {
  if (out == nullptr) return E_POINTER;
  *out = name_;
  return S_OK;
}

void CTavrixTemporaryItem::StoreValue(Variant value) {
  // The old value goes after the lock: its last reference may be an object's.
  {
    SmallMutexLock lock(&valueLock_);
    value_.swap(value);
  }
}

HRESULT CTavrixTemporaryItem::GetIDsOfNames(std::string_view name, DISPID* id) {
  if (id == nullptr) return E_POINTER;
  const std::string upper = ToUpper(name);
  if (upper == "VALUE") {
    *id = kValueId;
  } else if (upper == "INDEX") {
    *id = kIndexId;
  } else if (upper == "NAME") {
    *id = kNameId;
  } else {
    return E_NOTIMPL;
  }
  return S_OK;
}

HRESULT CTavrixTemporaryItem::Invoke(DISPID id, uint16_t flags, std::span<Variant> args,
                                     Variant* result, ExcepInfo*, LCID) {
  if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0) {
    if (id != kValueId) return E_NOTIMPL;
    if (args.size() != 1) return E_INVALIDARG;
    const Variant& value = args[0].Deref();
    if (!IsSupportedValue(value)) {
      LogResult(TVX_E_UNSUPPORTED_TYPE, 3,
                "CTavrixTemporaryItem[%ls\\%ls] : You have tried to put a value of an "
                "unsupported type in a Value.\n",
                controllerName_, name_);
      return TVX_E_UNSUPPORTED_TYPE;
    }
    StoreValue(value);
    return S_OK;
  }
  if ((flags & DISPATCH_PROPERTYGET) != 0) {
    if (!args.empty()) return E_INVALIDARG;
    Variant value;
    switch (id) {
      case kValueId:
        (void)get_Value(&value);
        break;
      case kIndexId:
        value = Variant::I4(index_);
        break;
      case kNameId:
        value = Variant::Text(name_);
        break;
      default:
        return E_NOTIMPL;
    }
    if (result != nullptr) *result = std::move(value);
    return S_OK;
  }
  return E_NOTIMPL;
}

}  // namespace tavrix
