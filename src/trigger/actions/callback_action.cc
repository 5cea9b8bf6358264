// The callback action (5): hands each execution to the external trigger
// plug-in with the action's plug-in configuration, whose values may name the
// arguments of the enclosing function block. Without a loaded plug-in the
// action fails with E_ACCESSDENIED, which ends the enclosing lists.
#include "config/trigger_info.h"
#include "controller/controller.h"
#include "trigger/action_object.h"
#include "trigger/actions/action_makers.h"
#include "trigger/trigger_services.h"

namespace tavrix {

namespace {

// The values of `node` and its descendants, node before children, in child
// order. A value whose replacement fails keeps its text.
void ReplaceConfigArguments(PluginConfigNode* node, const ArgumentContext& context,
                            const ArgumentMap& args) {
  std::string value = node->m_strValue;
  if (SUCCEEDED(ReplaceArgumentMarkers(&value, context, args))) node->m_strValue = std::move(value);
  for (PluginConfigNode& child : node->m_children) ReplaceConfigArguments(&child, context, args);
}

}  // namespace

class CCallbackActionObject final : public CActionObject {
 public:
  explicit CCallbackActionObject(const ActionExInfo& info)
      : pluginFileName_(info.m_strPluginFileName),
        pluginFullName_(info.m_strPluginFullName),
        definedConfig_(info.m_pluginConfig),
        config_(info.m_pluginConfig) {}

  HRESULT Initialize(CTavrixController& controller) override {
    ReleaseResources();
    initialized_ = true;
    config_ = definedConfig_;
    if (const ArgumentMap* args = GetArgumentMap()) {
      ReplaceConfigArguments(&config_, ArgumentContext{controller.name()}, *args);
    }
    return S_OK;
  }

  HRESULT Execute(int32_t, IZeltMessage*) override {
    IExternalTriggerPlugin* plugin = TriggerServices::Instance().plugin();
    if (plugin == nullptr) {
      ReportResult(E_ACCESSDENIED, *this);
      return E_ACCESSDENIED;
    }
    HRESULT hr = S_OK;
    try {
      TriggerCallRecord call;
      call.pluginFileName = pluginFileName_;
      call.pluginFullName = pluginFullName_;
      call.idPath = idPath();
      call.controllerName = controller() != nullptr ? controller()->name() : controllerName();
      call.fullName = fullName();
      call.executionCount = executionCount();
      hr = plugin->ExecuteTrigger(call, config_);
    } catch (...) {
      LogNode(E_FAIL, 1, "Failed in Execute external trigger.");
      ReportResult(E_FAIL, *this);
      return S_FALSE;
    }
    ReportResult(hr, *this);
    if (FAILED(hr)) return FailedExecution(hr);
    return hr;
  }

  void ReleaseResources() override {
    if (!initialized_) return;
    if (IExternalTriggerPlugin* plugin = TriggerServices::Instance().plugin()) {
      plugin->ResetTrigger(idPath());
    }
    initialized_ = false;
  }

  void CollectExternalAsyncPerformance(std::vector<TriggerAsyncPerformance>* list) override {
    if (IExternalTriggerPlugin* plugin = TriggerServices::Instance().plugin()) {
      plugin->AsyncPerformance(idPath(), list);
    }
    CActionObject::CollectExternalAsyncPerformance(list);
  }

  const char* GetClassName() const override { return "CCallbackActionObject"; }

 private:
  const std::string pluginFileName_;
  const std::string pluginFullName_;
  const PluginConfigNode definedConfig_;
  // The configuration the plug-in gets: the defined one with the block's
  // arguments put in.
  PluginConfigNode config_;
  bool initialized_ = false;
};

std::unique_ptr<CActionObject> MakeCallbackAction(const ActionExInfo& info) {
  return std::make_unique<CCallbackActionObject>(info);
}

}  // namespace tavrix
