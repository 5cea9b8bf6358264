// The variable objects and the variable collections of controllers and
// class objects.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/dispatch.h"
#include "zelt/interfaces.h"
#include "zelt/named_list.h"
#include "zelt/provider.h"

namespace tavrix {

// The Ref<IDispatch> of a typed result, for the dispatch tables.
template <class I>
Ref<IDispatch> ZeltAsDispatch(const Ref<I>& p) {
  return Ref<IDispatch>(static_cast<IDispatch*>(p.get()));
}

// Dispatch ids: Value DISPID_VALUE, Name 1, DateTime 2, Microsecond 3, ID 4,
// Description 5. Every read and write goes to the device point; the object
// keeps only the stamp of the last successful access and the client's ID.
class ZeltVariable final : public DispatchObject<ZeltVariable, IZeltVariable> {
 public:
  ZeltVariable(std::string name, std::unique_ptr<IZeltPoint> point);

  const std::string& name() const noexcept { return name_; }

  HRESULT get_Name(std::string* out) override;
  HRESULT get_Value(Variant* out) override;
  HRESULT put_Value(const Variant& value) override;
  HRESULT get_DateTime(double* out) override;
  HRESULT get_Microsecond(int32_t* out) override;
  HRESULT get_ID(int32_t* out) override;
  HRESULT put_ID(int32_t id) override;
  HRESULT get_Description(std::string* out) override;

  static const DispatchTable<ZeltVariable>& DispatchMembers();

 private:
  HRESULT DispDateTime(Variant* out);  // the date as VT_DATE

  const std::string name_;
  const std::unique_ptr<IZeltPoint> point_;
  // The stamp as one value, so DateTime and Microsecond never mix two stamps.
  std::atomic<int64_t> stampMicros_;
  std::atomic<int32_t> id_{0};
};

// Dispatch ids: Item DISPID_VALUE, Count 1, Add 2, _NewEnum DISPID_NEWENUM.
class ZeltVariables final : public DispatchObject<ZeltVariables, IZeltVariables> {
 public:
  ZeltVariables(std::shared_ptr<IZeltProvider> provider, ZeltScope scope);

  HRESULT get_Count(int32_t* out) override;
  HRESULT Item(const Variant& index, Ref<IZeltVariable>* out) override;
  HRESULT get__NewEnum(Variant* out) override;
  HRESULT Add(std::string_view name, std::string_view option, Ref<IZeltVariable>* out) override;

  static const DispatchTable<ZeltVariables>& DispatchMembers();

 private:
  HRESULT DispItem(const Variant& index, Ref<IDispatch>* out);
  HRESULT DispAdd(std::string_view name, std::string_view option, Ref<IDispatch>* out);

  const std::shared_ptr<IZeltProvider> provider_;
  const ZeltScope scope_;
  NamedList<ZeltVariable> list_;
};

}  // namespace tavrix
