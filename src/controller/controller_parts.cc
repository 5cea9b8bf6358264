#include "controller/controller_parts.h"

namespace tavrix {

namespace {

class EmptyTriggerRoot final : public ITriggerRoot {
 public:
  HRESULT Initialize(CTavrixController&) override { return S_OK; }
  HRESULT UpdateCache(int32_t) override { return S_OK; }
  HRESULT Execute(int32_t, IZeltMessage*) override { return S_OK; }
  void ReleaseContents() override {}
  std::vector<std::string> TraceList() const override { return {}; }
  void CollectWatchedItems(CTavrixController&, std::vector<Ref<CTavrixItem>>*) override {}
};

}  // namespace

ControllerParts& ControllerParts::Instance() {
  static ControllerParts parts;
  return parts;
}

std::unique_ptr<ITriggerRoot> MakeEmptyTriggerRoot() { return std::make_unique<EmptyTriggerRoot>(); }

}  // namespace tavrix
