// The calculation action (13): runs the action's own calculation lines with
// the controller's calculation builder.
#include <vector>

#include "config/config_records.h"
#include "config/trigger_info.h"
#include "controller/controller_parts.h"
#include "trigger/action_object.h"
#include "trigger/actions/action_makers.h"

namespace tavrix {

class CCalcActionObject final : public CActionObject {
 public:
  explicit CCalcActionObject(const ActionExInfo& info) : definitions_(info.m_calculationList) {}

  HRESULT Initialize(CTavrixController& controller) override {
    ReleaseResources();
    const auto& create = ControllerParts::Instance().createCalculations;
    HRESULT hr = S_OK;
    if (create) {
      hr = create(controller, definitions_, &list_);
    } else if (!definitions_.empty()) {
      // Without a builder the lines cannot run; an empty list has nothing to do.
      hr = E_NOTIMPL;
    }
    if (FAILED(hr)) {
      list_.reset();
      LogNode(hr, 1, "Failed in Initialize().");
      return hr;
    }
    return S_OK;
  }

  HRESULT Execute(int32_t, IZeltMessage*) override {
    if (!list_) return S_FALSE;
    const HRESULT hr = list_->Execute(false);
    if (FAILED(hr)) return FailedExecution(hr);
    return S_OK;
  }

  void ReleaseResources() override { list_.reset(); }
  const char* GetClassName() const override { return "CCalcActionObject"; }

 private:
  const std::vector<ControllerCalcInfo> definitions_;
  std::unique_ptr<ICalculationList> list_;
};

std::unique_ptr<CActionObject> MakeCalcAction(const ActionExInfo& info) {
  return std::make_unique<CCalcActionObject>(info);
}

}  // namespace tavrix
