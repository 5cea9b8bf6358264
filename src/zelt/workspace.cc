#include "zelt/workspace.h"

#include <memory>
#include <utility>

#include "zelt/error.h"
#include "zelt/message.h"
#include "zelt/provider.h"

namespace tavrix {

HRESULT ZeltControllers::get_Count(int32_t* out) {
  if (out == nullptr) return E_POINTER;
  *out = list_.Count();
  return S_OK;
}

HRESULT ZeltControllers::Item(const Variant& index, Ref<IZeltController>* out) {
  if (out == nullptr) return E_POINTER;
  Ref<ZeltController> found;
  RETURN_IF_FAILED(list_.Item(index, &found));
  *out = std::move(found);
  return S_OK;
}

HRESULT ZeltControllers::get__NewEnum(Variant* out) {
  if (out == nullptr) return E_POINTER;
  *out = list_.NewEnum();
  return S_OK;
}

HRESULT ZeltControllers::DispItem(const Variant& index, Ref<IDispatch>* out) {
  Ref<IZeltController> found;
  RETURN_IF_FAILED(Item(index, &found));
  *out = ZeltAsDispatch(found);
  return S_OK;
}

const DispatchTable<ZeltControllers>& ZeltControllers::DispatchMembers() {
  using D = DispatchTable<ZeltControllers>;
  static const D table("Zelt.Controllers",
                       {
                           D::Method("Item", DISPID_VALUE, &ZeltControllers::DispItem),
                           D::Get("Count", 1, &ZeltControllers::get_Count),
                           D::Get("_NewEnum", DISPID_NEWENUM, &ZeltControllers::get__NewEnum),
                       });
  return table;
}

ZeltWorkspace::ZeltWorkspace(std::string name)
    : name_(std::move(name)), controllers_(MakeRef<ZeltControllers>()) {}

HRESULT ZeltWorkspace::get_Name(std::string* out) {
  if (out == nullptr) return E_POINTER;
  *out = name_;
  return S_OK;
}

HRESULT ZeltWorkspace::AddController(std::string_view name, std::string_view provider,
                                     std::string_view machine, std::string_view option,
                                     Ref<IZeltController>* out) {
  if (out == nullptr) return E_POINTER;
  if (name.empty()) return ZeltFail(E_INVALIDARG, "a controller needs a name");
  NamedList<ZeltController>& list = controllers_->list();
  const auto exists = [&] {
    return ZeltFail(TVX_E_ZELT_ALREADY_EXISTS,
                    "controller '" + std::string(name) + "' is already open in the workspace");
  };
  if (list.Find(name)) return exists();
  std::shared_ptr<IZeltProvider> connection = CreateZeltProvider(provider);
  if (!connection) {
    return ZeltFail(REGDB_E_CLASSNOTREG,
                    "no Zelt provider is registered as '" + std::string(provider) + "'");
  }
  // Opened outside every lock: a provider may take its time. Of two racing
  // opens of one name the later one to finish gives "exists".
  Ref<ConnectionPoint> events = MakeRef<ConnectionPoint>(IID_IZeltControllerEventSink);
  RETURN_IF_FAILED(connection->Open(name, machine, option, MakeZeltMessageHandler(events)));
  const int32_t index = lastIndex_.fetch_add(1, std::memory_order_relaxed) + 1;
  Ref<ZeltController> controller =
      MakeRef<ZeltController>(std::string(name), index, std::move(connection), std::move(events));
  if (list.AddOrGet(controller)) return exists();
  *out = std::move(controller);
  return S_OK;
}

HRESULT ZeltWorkspace::get_Controllers(Ref<IZeltControllers>* out) {
  if (out == nullptr) return E_POINTER;
  *out = controllers_;
  return S_OK;
}

HRESULT ZeltWorkspace::Remove(int32_t index) {
  Ref<ZeltController> removed = controllers_->list().RemoveIf(
      [index](const ZeltController& c) { return c.index() == index; });
  if (!removed) {
    return ZeltFail(DISP_E_BADINDEX, "no controller has Index " + std::to_string(index));
  }
  return S_OK;
}

HRESULT ZeltWorkspace::DispAddController(std::string_view name, std::string_view provider,
                                         std::string_view machine, std::string_view option,
                                         Ref<IDispatch>* out) {
  Ref<IZeltController> added;
  RETURN_IF_FAILED(AddController(name, provider, machine, option, &added));
  *out = ZeltAsDispatch(added);
  return S_OK;
}

HRESULT ZeltWorkspace::DispControllers(Ref<IDispatch>* out) {
  *out = ZeltAsDispatch(controllers_);
  return S_OK;
}

const DispatchTable<ZeltWorkspace>& ZeltWorkspace::DispatchMembers() {
  using W = ZeltWorkspace;
  using D = DispatchTable<W>;
  static const D table("Zelt.Workspace",
                       {
                           D::Get("Name", 1, &W::get_Name),
                           D::Method("AddController", 2, &W::DispAddController).Optional(2),
                           D::Get("Controllers", 3, &W::DispControllers),
                           D::Method("Remove", 4, &W::Remove),
                       });
  return table;
}

}  // namespace tavrix
