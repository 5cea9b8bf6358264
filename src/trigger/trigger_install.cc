#include "trigger/trigger_install.h"

#include "controller/controller_parts.h"
#include "trigger/node_factory.h"
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
}

}  // namespace tavrix
