#include "trigger/trigger_install.h"

#include "controller/controller_parts.h"
#include "trigger/node_factory.h"
#include "trigger/legacy/legacy_trigger.h"
#include "trigger/trigger_root.h"

namespace tavrix {

void InstallTriggerEngine() {
  ControllerParts::Instance().createTriggerRoot =
      [](CTavrixController& controller, const TriggerExInfo& definitions,
         std::unique_ptr<ITriggerRoot>* out) {
        std::unique_ptr<CTavrixTriggerObserverEx> root;
        const HRESULT hr = BuildTriggerTree(controller, definitions, &root);
        *out = std::make_unique<TriggerTree>(std::move(root), definitions);
        return hr;
      };
  ControllerParts::Instance().createLegacyTrigger =
      [](CTavrixController& controller, const LegacyTriggerInfo& info,
         std::unique_ptr<CTavrixObserver>* out) {
        auto observer = std::make_unique<CTavrixTriggerObserver>(controller);
        const HRESULT hr = observer->Setup(info.m_lAction, info.m_lCondition, info.m_strThreshold,
                                           info.m_strExeFile, info.m_strExeParams,
                                           info.m_tableInfo);
        if (FAILED(hr)) return hr;
        *out = std::move(observer);
        return S_OK;
      };
}

}  // namespace tavrix
