#include "controller/controller_parts.h"

namespace tavrix {

namespace {

class EmptyTriggerRoot final : public ITriggerRoot {
 public:
  HRESULT Initialize(CTavrixController&) override { return S_OK; }
  HRESULT UpdateCache() override { return S_OK; }
  HRESULT Execute(int32_t) override { return S_OK; }
  void ReleaseContents() override {}
  std::vector<std::string> TraceList() const override { return {}; }
};

}  // namespace

ControllerParts& ControllerParts::Instance() {
  static ControllerParts parts;
  return parts;
}

std::unique_ptr<ITriggerRoot> MakeEmptyTriggerRoot() { return std::make_unique<EmptyTriggerRoot>(); }

}  // namespace tavrix
