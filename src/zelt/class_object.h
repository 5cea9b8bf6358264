// Class objects (tasks, robots, extensions, files) and their collections.
#pragma once

#include <memory>
#include <string>

#include "platform/dispatch.h"
#include "zelt/interfaces.h"
#include "zelt/named_list.h"
#include "zelt/provider.h"
#include "zelt/variables.h"

namespace tavrix {

class ZeltClassObject;

// Dispatch ids: Item DISPID_VALUE, Count 1, _NewEnum DISPID_NEWENUM.
class ZeltClassObjects final : public DispatchObject<ZeltClassObjects, IZeltClassObjects> {
 public:
  HRESULT get_Count(int32_t* out) override;
  HRESULT Item(const Variant& index, Ref<IZeltClassObject>* out) override;
  HRESULT get__NewEnum(Variant* out) override;

  // Adds a class object of `kind` named `name` under `parent` (the scope of the
  // owner of this collection): TVX_E_ZELT_ALREADY_EXISTS when this collection
  // has the name, E_INVALIDARG for an empty name, or the provider's refusal.
  HRESULT Add(const std::shared_ptr<IZeltProvider>& provider, const ZeltScope& parent,
              ZeltVarClass kind, std::string_view name, std::string_view option,
              Ref<IZeltClassObject>* out);

  static const DispatchTable<ZeltClassObjects>& DispatchMembers();

 private:
  HRESULT DispItem(const Variant& index, Ref<IDispatch>* out);

  NamedList<ZeltClassObject> list_;
};

// Dispatch ids: Name 1, Kind 2, Execute 4, AddFile 8, Files 12, Variables 13
// (the numbers the controller uses for the same members).
class ZeltClassObject final : public DispatchObject<ZeltClassObject, IZeltClassObject> {
 public:
  ZeltClassObject(std::shared_ptr<IZeltProvider> provider, ZeltScope scope);

  const std::string& name() const noexcept { return scope_.back().name; }

  HRESULT get_Name(std::string* out) override;
  HRESULT get_Kind(int32_t* out) override;
  HRESULT Execute(const Variant& command, const Variant& param, Variant* result) override;
  HRESULT AddFile(std::string_view name, std::string_view option,
                  Ref<IZeltClassObject>* out) override;
  HRESULT get_Files(Ref<IZeltClassObjects>* out) override;
  HRESULT get_Variables(Ref<IZeltVariables>* out) override;

  static const DispatchTable<ZeltClassObject>& DispatchMembers();

 private:
  HRESULT DispAddFile(std::string_view name, std::string_view option, Ref<IDispatch>* out);
  HRESULT DispFiles(Ref<IDispatch>* out);
  HRESULT DispVariables(Ref<IDispatch>* out);

  const std::shared_ptr<IZeltProvider> provider_;
  const ZeltScope scope_;  // ends with this object's own step
  const Ref<ZeltVariables> variables_;
  const Ref<ZeltClassObjects> files_;  // file objects only
};

}  // namespace tavrix
