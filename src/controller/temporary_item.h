// CTavrixTemporaryItem: one temporary item of a controller as an automation
// object. Only its value, index and name work; the controller's temporary
// items (temporary_items.h) make, find and release them.
//
//   Ref<CTavrixTemporaryItem> item;
//   controller.temporaryItems().GetTemporaryItem("level", false, &item);
//   item->put_Value(Variant::I4(3));
//
// The name ("*" + declared name), the index (negative) and the controller
// name are fixed at creation. The value has a lock of its own, so a trigger
// pass writing a text or an array and a client reading it never see half a
// value; nothing else is taken while it is held (a leaf).
//
// Late-bound access is hand-written rather than table-driven: its rules are
// not a dispatch table's (an unknown name is E_NOTIMPL, a put takes exactly
// one argument and refuses unsupported values with a log line of its own).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/object.h"
#include "platform/result.h"
#include "platform/small_lock.h"
#include "platform/variant.h"

namespace tavrix {

// QueryInterface answers IUnknown and IDispatch; ITavrixItem is added to the
// Object list here when the automation interfaces exist.
class CTavrixTemporaryItem final : public Object<IDispatch> {
 public:
  // Dispatch ids of the members that work.
  static constexpr DISPID kValueId = 0;
  static constexpr DISPID kIndexId = 1;
  static constexpr DISPID kNameId = 2;

  // An item with an empty value named "*" + `declaredName`.
  CTavrixTemporaryItem(std::string controllerName, std::string_view declaredName, int32_t index);

  // A copy of the value.
  HRESULT get_Value(Variant* out) const EXCLUDES(valueLock_);
  // Stores a copy of a value of a supported type (IsSupportedValue);
  // another one is logged and refused with TVX_E_UNSUPPORTED_TYPE.
  HRESULT put_Value(const Variant& value) EXCLUDES(valueLock_);
  HRESULT get_Index(int32_t* out) const;
  // The name with its "*".
  HRESULT get_Name(std::string* out) const;

  // Stores `value` as it is, without a type check: the trigger nodes' write.
  void StoreValue(Variant value) EXCLUDES(valueLock_);

  int32_t index() const { return index_; }
  const std::string& name() const { return name_; }
  const std::string& controllerName() const { return controllerName_; }

  // "Value", "Index" and "Name" in any letter case; E_NOTIMPL for others.
  HRESULT GetIDsOfNames(std::string_view name, DISPID* id) override;
  // Property get of the three members, property put (or put by reference)
  // of Value with exactly one argument; E_NOTIMPL for anything else.
  HRESULT Invoke(DISPID id, uint16_t flags, std::span<Variant> args, Variant* result,
                 ExcepInfo* excep = nullptr, LCID lcid = LOCALE_USER_DEFAULT) override;

 private:
  ~CTavrixTemporaryItem() override = default;

  const std::string controllerName_;
  std::string name_;  // fixed once constructed
  const int32_t index_;
  mutable SmallMutex valueLock_;  // guards value_ (a leaf)
  Variant value_ GUARDED_BY(valueLock_);
};

}  // namespace tavrix
