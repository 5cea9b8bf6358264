// Placeholder makers, replaced action by action as they are written.
#include "trigger/actions/action_makers.h"

namespace tavrix {

std::unique_ptr<CActionObject> MakeSamplingAction(int32_t) { return nullptr; }
std::unique_ptr<CActionObject> MakeShellAction(const ActionExInfo&) { return nullptr; }
std::unique_ptr<CActionObject> MakeCallbackAction(const ActionExInfo&) { return nullptr; }
std::unique_ptr<CActionObject> MakeScriptAction(const ActionExInfo&) { return nullptr; }
std::unique_ptr<CActionObject> MakeScanItemAction(const ActionExInfo&, bool) { return nullptr; }
std::unique_ptr<CActionObject> MakeScanControllerAction(const ActionExInfo&, bool) { return nullptr; }
std::unique_ptr<CActionObject> MakeReconnectAction(int32_t) { return nullptr; }

}  // namespace tavrix
