#include "zelt/class_object.h"

#include <utility>

#include "zelt/error.h"

namespace tavrix {
namespace {

const char* KindWord(ZeltVarClass kind) {
  switch (kind) {
    case tvVarClassTask:
      return "task";
    case tvVarClassRobot:
      return "robot";
    case tvVarClassExtension:
      return "extension";
    case tvVarClassFile:
      return "file";
    case tvVarClassController:
      break;
  }
  return "controller";
}

}  // namespace

HRESULT ZeltClassObjects::get_Count(int32_t* out) {
  if (out == nullptr) return E_POINTER;
  *out = list_.Count();
  return S_OK;
}

HRESULT ZeltClassObjects::Item(const Variant& index, Ref<IZeltClassObject>* out) {
  if (out == nullptr) return E_POINTER;
  Ref<ZeltClassObject> found;
  RETURN_IF_FAILED(list_.Item(index, &found));
  *out = std::move(found);
  return S_OK;
}

HRESULT ZeltClassObjects::get__NewEnum(Variant* out) {
  if (out == nullptr) return E_POINTER;
  *out = list_.NewEnum();
  return S_OK;
}

HRESULT ZeltClassObjects::Add(const std::shared_ptr<IZeltProvider>& provider,
                              const ZeltScope& parent, ZeltVarClass kind, std::string_view name,
                              std::string_view option, Ref<IZeltClassObject>* out) {
  if (out == nullptr) return E_POINTER;
  if (name.empty())
    return ZeltFail(E_INVALIDARG, std::string("a ") + KindWord(kind) + " needs a name");
  const auto exists = [&] {
    return ZeltFail(TVX_E_ZELT_ALREADY_EXISTS,
                    std::string(KindWord(kind)) + " '" + std::string(name) + "' exists");
  };
  if (list_.Find(name)) return exists();
  ZeltScope scope = parent;
  scope.push_back({kind, std::string(name)});
  RETURN_IF_FAILED(provider->AddClassObject(scope, option));
  Ref<ZeltClassObject> object = MakeRef<ZeltClassObject>(provider, std::move(scope));
  if (list_.AddOrGet(object)) return exists();
  *out = std::move(object);
  return S_OK;
}

HRESULT ZeltClassObjects::DispItem(const Variant& index, Ref<IDispatch>* out) {
  Ref<IZeltClassObject> found;
  RETURN_IF_FAILED(Item(index, &found));
  *out = ZeltAsDispatch(found);
  return S_OK;
}

const DispatchTable<ZeltClassObjects>& ZeltClassObjects::DispatchMembers() {
  using D = DispatchTable<ZeltClassObjects>;
  static const D table("Zelt.ClassObjects",
                       {
                           D::Method("Item", DISPID_VALUE, &ZeltClassObjects::DispItem),
                           D::Get("Count", 1, &ZeltClassObjects::get_Count),
                           D::Get("_NewEnum", DISPID_NEWENUM, &ZeltClassObjects::get__NewEnum),
                       });
  return table;
}

ZeltClassObject::ZeltClassObject(std::shared_ptr<IZeltProvider> provider, ZeltScope scope)
    : provider_(std::move(provider)),
      scope_(std::move(scope)),
      variables_(MakeRef<ZeltVariables>(provider_, scope_)),
      files_(scope_.back().kind == tvVarClassFile ? MakeRef<ZeltClassObjects>() : nullptr) {}

HRESULT ZeltClassObject::get_Name(std::string* out) {
  if (out == nullptr) return E_POINTER;
  *out = name();
  return S_OK;
}

HRESULT ZeltClassObject::get_Kind(int32_t* out) {
  if (out == nullptr) return E_POINTER;
  *out = scope_.back().kind;
  return S_OK;
}

HRESULT ZeltClassObject::Execute(const Variant& command, const Variant& param, Variant* result) {
  return provider_->Execute(scope_, command, param, result);
}

HRESULT ZeltClassObject::AddFile(std::string_view name, std::string_view option,
                                 Ref<IZeltClassObject>* out) {
  if (!files_) return ZeltFail(E_NOTIMPL, "only a file has nested files");
  return files_->Add(provider_, scope_, tvVarClassFile, name, option, out);
}

HRESULT ZeltClassObject::get_Files(Ref<IZeltClassObjects>* out) {
  if (out == nullptr) return E_POINTER;
  if (!files_) return ZeltFail(E_NOTIMPL, "only a file has nested files");
  *out = files_;
  return S_OK;
}

HRESULT ZeltClassObject::get_Variables(Ref<IZeltVariables>* out) {
  if (out == nullptr) return E_POINTER;
  *out = variables_;
  return S_OK;
}

HRESULT ZeltClassObject::DispAddFile(std::string_view name, std::string_view option,
                                     Ref<IDispatch>* out) {
  Ref<IZeltClassObject> added;
  RETURN_IF_FAILED(AddFile(name, option, &added));
  *out = ZeltAsDispatch(added);
  return S_OK;
}

HRESULT ZeltClassObject::DispFiles(Ref<IDispatch>* out) {
  Ref<IZeltClassObjects> files;
  RETURN_IF_FAILED(get_Files(&files));
  *out = ZeltAsDispatch(files);
  return S_OK;
}

HRESULT ZeltClassObject::DispVariables(Ref<IDispatch>* out) {
  *out = ZeltAsDispatch(variables_);
  return S_OK;
}

const DispatchTable<ZeltClassObject>& ZeltClassObject::DispatchMembers() {
  using D = DispatchTable<ZeltClassObject>;
  static const D table("Zelt.ClassObject",
                       {
                           D::Get("Name", 1, &ZeltClassObject::get_Name),
                           D::Get("Kind", 2, &ZeltClassObject::get_Kind),
                           D::Method("Execute", 4, &ZeltClassObject::Execute).Optional(2),
                           D::Method("AddFile", 8, &ZeltClassObject::DispAddFile).Optional(1),
                           D::Get("Files", 12, &ZeltClassObject::DispFiles),
                           D::Get("Variables", 13, &ZeltClassObject::DispVariables),
                       });
  return table;
}

}  // namespace tavrix
