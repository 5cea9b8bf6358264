#include "engine/engine_consumer.h"

#include "engine/engine_man.h"

namespace tavrix {
namespace {

class EngineConsumer final : public IProjectConsumer {
 public:
  explicit EngineConsumer(CTavrixEngineMan& manager) : manager_(manager) {}

  HRESULT InitializeHistory(const WorkspaceRecord& workspace) override {
    return manager_.InitializeHistory(workspace);
  }
  HRESULT SetWorkspaceInfo(const WorkspaceRecord& workspace) override {
    return manager_.SetWorkspaceInfo(workspace);
  }
  HRESULT RegisterController(const ControllerRecord& controller) override {
    return manager_.RegisterController(controller);
  }
  void AddItem(const ItemRecord& item) override { manager_.AddItem(item); }
  void SetLegacyTrigger(const LegacyTriggerRecord& trigger) override {
    manager_.SetLegacyTrigger(trigger);
  }

  bool FindController(std::string_view name) override {
    return static_cast<bool>(manager_.FindController(name));
  }
  HRESULT ReloadTrigger(std::string_view name, const ControllerRecord& controller) override {
    const Ref<CTavrixController> c = manager_.FindController(name);
    return c ? c->_Reload(controller) : E_INVALIDARG;
  }
  // The new settings wait in the controller until the end of its node, when
  // its items have been queued too.
  HRESULT UpdateController(std::string_view name, const ControllerRecord& controller) override {
    const Ref<CTavrixController> c = manager_.FindController(name);
    if (!c) return E_INVALIDARG;
    c->SetPendingUpdate(controller);
    return S_OK;
  }
  void UpdateItem(std::string_view name, const ItemRecord& item) override {
    if (const Ref<CTavrixController> c = manager_.FindController(name)) (void)c->UpdateItem(item);
  }
  void FinishControllerUpdate(std::string_view name, const ControllerRecord&,
                              ReaderMode mode) override {
    const Ref<CTavrixController> c = manager_.FindController(name);
    if (!c) return;
    if (mode == ReaderMode::kReconnectControllers) {
      (void)c->_DoReload();
    } else if (mode == ReaderMode::kUpdateControllers) {
      (void)c->_DoUpdate();
    }
  }

  void SetCommonSetting(std::string_view type, std::string_view setting, std::string_view key,
                        std::string_view value) override {
    manager_.SetCommonSetting(type, setting, key, value);
  }
  void SetProjectVersion(const ProjectVersion& version) override {
    manager_.SetProjectVersion(version);
  }

 private:
  CTavrixEngineMan& manager_;
};

}  // namespace

std::unique_ptr<IProjectConsumer> MakeEngineConsumer(CTavrixEngineMan& manager) {
  return std::make_unique<EngineConsumer>(manager);
}

}  // namespace tavrix
