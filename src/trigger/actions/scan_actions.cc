// The scan actions: item scan (9) reads one item now, controller scan (10)
// reads every item of a controller now, outside their sampling cycles. With
// the direct flag the read ignores deactivation and the direct-reading
// suppression. A controller scan gives up when the requesting controller
// stops (ForceScan).
#include "config/trigger_info.h"
#include "controller/controller.h"
#include "controller/controller_lookup.h"
#include "trigger/action_object.h"
#include "trigger/actions/action_makers.h"
#include "trigger/operand.h"

namespace tavrix {

namespace {

// The controller named `name` (empty: `owner`). *held keeps another
// controller alive; the own controller owns the tree and is not held.
CTavrixController* FindScanController(CTavrixController& owner, const std::string& name,
                                      Ref<CTavrixController>* held) {
  held->reset();
  if (name.empty()) return &owner;
  return NamedController(owner, name, held);
}

}  // namespace

class CDoScanItemActionObject final : public CActionObject {
 public:
  CDoScanItemActionObject(const ActionExInfo& info, bool direct)
      : controllerName_(info.m_strPutController), itemName_(info.m_strPutItem), direct_(direct) {}

  HRESULT Initialize(CTavrixController& controller) override {
    ReleaseResources();
    Operand target;
    HRESULT hr = ResolveTarget(controller, controllerName_, itemName_, &target);
    CTavrixController* owner = nullptr;
    if (SUCCEEDED(hr) && target.kind == OperandKind::kItem) {
      owner = FindScanController(controller, controllerName_, &heldController_);
    }
    if (owner == nullptr) {
      heldController_.reset();
      LogNode(E_INVALIDARG, 1, "Failed in Initialize().");
      return E_INVALIDARG;
    }
    item_ = std::move(target.item);
    itemController_ = owner;
    return S_OK;
  }

  HRESULT Execute(int32_t, IZeltMessage*) override {
    if (!item_ || itemController_ == nullptr) return S_FALSE;
    const HRESULT hr = itemController_->ForceReadItem(*item_, true, direct_);
    if (FAILED(hr)) return FailedExecution(hr);
    return hr;
  }

  void ReleaseResources() override {
    item_.reset();
    itemController_ = nullptr;
    heldController_.reset();
  }
  const char* GetClassName() const override { return "CDoScanItemActionObject"; }

 private:
  const std::string controllerName_;
  const std::string itemName_;
  const bool direct_;
  Ref<CTavrixItem> item_;
  CTavrixController* itemController_ = nullptr;
  Ref<CTavrixController> heldController_;
};

class CDoScanControllerActionObject final : public CActionObject {
 public:
  CDoScanControllerActionObject(const ActionExInfo& info, bool direct)
      : controllerName_(info.m_strPutController), direct_(direct) {}

  HRESULT Initialize(CTavrixController& controller) override {
    ReleaseResources();
    target_ = FindScanController(controller, controllerName_, &heldController_);
    if (target_ == nullptr) {
      LogNode(E_INVALIDARG, 1, "Failed in Initialize().");
      return E_INVALIDARG;
    }
    return S_OK;
  }

  HRESULT Execute(int32_t, IZeltMessage*) override {
    if (target_ == nullptr || controller() == nullptr) return S_FALSE;
    const HRESULT hr = target_->ForceScan(direct_, *controller());
    if (FAILED(hr)) return FailedExecution(hr);
    return hr;
  }

  void ReleaseResources() override {
    target_ = nullptr;
    heldController_.reset();
  }
  const char* GetClassName() const override { return "CDoScanControllerActionObject"; }

 private:
  const std::string controllerName_;
  const bool direct_;
  CTavrixController* target_ = nullptr;
  Ref<CTavrixController> heldController_;
};

std::unique_ptr<CActionObject> MakeScanItemAction(const ActionExInfo& info, bool direct) {
  return std::make_unique<CDoScanItemActionObject>(info, direct);
}

std::unique_ptr<CActionObject> MakeScanControllerAction(const ActionExInfo& info, bool direct) {
  return std::make_unique<CDoScanControllerActionObject>(info, direct);
}

}  // namespace tavrix
