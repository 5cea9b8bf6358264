// Placeholder makers, replaced action by action as they are written.
#include "trigger/actions/action_makers.h"

namespace tavrix {

std::unique_ptr<CActionObject> MakePutValueAction(const ActionExInfo&, uint16_t) { return nullptr; }
std::unique_ptr<CActionObject> MakePutMessageAction(const ActionExInfo&) { return nullptr; }
std::unique_ptr<CActionObject> MakeControllerExecuteAction(const ActionExInfo&) { return nullptr; }
std::unique_ptr<CActionObject> MakeCalcAction(const ActionExInfo&) { return nullptr; }
std::unique_ptr<CActionObject> MakeSystemValueAction(const ActionExInfo&) { return nullptr; }

}  // namespace tavrix
