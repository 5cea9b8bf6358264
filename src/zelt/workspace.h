// A workspace: the controllers opened in it, each found by name or Index.
#pragma once

#include <atomic>
#include <string>

#include "platform/dispatch.h"
#include "zelt/controller.h"
#include "zelt/interfaces.h"
#include "zelt/named_list.h"

namespace tavrix {

// Dispatch ids: Item DISPID_VALUE, Count 1, _NewEnum DISPID_NEWENUM.
// A live view of its workspace's controllers.
class ZeltControllers final : public DispatchObject<ZeltControllers, IZeltControllers> {
 public:
  HRESULT get_Count(int32_t* out) override;
  HRESULT Item(const Variant& index, Ref<IZeltController>* out) override;
  HRESULT get__NewEnum(Variant* out) override;

  NamedList<ZeltController>& list() noexcept { return list_; }

  static const DispatchTable<ZeltControllers>& DispatchMembers();

 private:
  HRESULT DispItem(const Variant& index, Ref<IDispatch>* out);

  NamedList<ZeltController> list_;
};

// Dispatch ids: Name 1, AddController 2 (machine and option optional),
// Controllers 3, Remove 4.
class ZeltWorkspace final : public DispatchObject<ZeltWorkspace, IZeltWorkspace> {
 public:
  explicit ZeltWorkspace(std::string name);

  const std::string& name() const noexcept { return name_; }

  HRESULT get_Name(std::string* out) override;
  HRESULT AddController(std::string_view name, std::string_view provider, std::string_view machine,
                        std::string_view option, Ref<IZeltController>* out) override;
  HRESULT get_Controllers(Ref<IZeltControllers>* out) override;
  HRESULT Remove(int32_t index) override;

  static const DispatchTable<ZeltWorkspace>& DispatchMembers();

 private:
  HRESULT DispAddController(std::string_view name, std::string_view provider,
                            std::string_view machine, std::string_view option, Ref<IDispatch>* out);
  HRESULT DispControllers(Ref<IDispatch>* out);

  const std::string name_;
  const Ref<ZeltControllers> controllers_;
  std::atomic<int32_t> lastIndex_{0};  // Index numbers count up from 1, never reused
};

}  // namespace tavrix
