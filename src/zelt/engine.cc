// The engine and its workspaces collection.
#include "zelt/engine.h"

#include <utility>
#include <vector>

#include "platform/dispatch.h"
#include "zelt/named_list.h"
#include "zelt/variables.h"
#include "zelt/workspace.h"

namespace tavrix {
namespace {

// Dispatch ids: Item DISPID_VALUE, Count 1, _NewEnum DISPID_NEWENUM.
class ZeltWorkspaces final : public DispatchObject<ZeltWorkspaces, IZeltWorkspaces> {
 public:
  ZeltWorkspaces() {
    (void)list_.AddOrGet(MakeRef<ZeltWorkspace>(std::string(kZeltDefaultWorkspace)));
  }

  HRESULT get_Count(int32_t* out) override {
    if (out == nullptr) return E_POINTER;
    *out = list_.Count();
    return S_OK;
  }
  HRESULT Item(const Variant& index, Ref<IZeltWorkspace>* out) override {
    if (out == nullptr) return E_POINTER;
    Ref<ZeltWorkspace> found;
    RETURN_IF_FAILED(list_.Item(index, &found));
    *out = std::move(found);
    return S_OK;
  }
  HRESULT get__NewEnum(Variant* out) override {
    if (out == nullptr) return E_POINTER;
    *out = list_.NewEnum();
    return S_OK;
  }

  static const DispatchTable<ZeltWorkspaces>& DispatchMembers() {
    using D = DispatchTable<ZeltWorkspaces>;
    static const D table("Zelt.Workspaces",
                         {
                             D::Method("Item", DISPID_VALUE, &ZeltWorkspaces::DispItem),
                             D::Get("Count", 1, &ZeltWorkspaces::get_Count),
                             D::Get("_NewEnum", DISPID_NEWENUM, &ZeltWorkspaces::get__NewEnum),
                         });
    return table;
  }

 private:
  HRESULT DispItem(const Variant& index, Ref<IDispatch>* out) {
    Ref<IZeltWorkspace> found;
    RETURN_IF_FAILED(Item(index, &found));
    *out = ZeltAsDispatch(found);
    return S_OK;
  }

  NamedList<ZeltWorkspace> list_;  // the default workspace only, for now
};

// Dispatch ids: Workspaces 1.
class ZeltEngine final : public DispatchObject<ZeltEngine, IZeltEngine> {
 public:
  HRESULT get_Workspaces(Ref<IZeltWorkspaces>* out) override {
    if (out == nullptr) return E_POINTER;
    *out = workspaces_;
    return S_OK;
  }

  static const DispatchTable<ZeltEngine>& DispatchMembers() {
    using D = DispatchTable<ZeltEngine>;
    static const D table("Zelt.Engine", {D::Get("Workspaces", 1, &ZeltEngine::DispWorkspaces)});
    return table;
  }

 private:
  HRESULT DispWorkspaces(Ref<IDispatch>* out) {
    *out = ZeltAsDispatch(workspaces_);
    return S_OK;
  }

  const Ref<ZeltWorkspaces> workspaces_ = MakeRef<ZeltWorkspaces>();
};

}  // namespace

Ref<IZeltEngine> CreateZeltEngine() { return MakeRef<ZeltEngine>(); }

}  // namespace tavrix
