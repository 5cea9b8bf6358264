// The action nodes of trigger trees, by action number. Each maker returns
// the node a definition builds, or null when the kind cannot be built here.
#pragma once

#include <cstdint>
#include <memory>

#include "config/trigger_info.h"
#include "trigger/action_object.h"

namespace tavrix {

// 1 start, 2 stop, 3 one-time scan.
std::unique_ptr<CActionObject> MakeSamplingAction(int32_t number);
// 4: m_strExeFile, m_strExeParams.
std::unique_ptr<CActionObject> MakeShellAction(const ActionExInfo& info);
// 5: PluginFileName, PluginFullName, PluginConfig.
std::unique_ptr<CActionObject> MakeCallbackAction(const ActionExInfo& info);
// 6: the put texts and the value type already read as a 16-bit number.
std::unique_ptr<CActionObject> MakePutValueAction(const ActionExInfo& info, uint16_t putType);
// 7: m_strScript, m_bNotSafeMode.
std::unique_ptr<CActionObject> MakeScriptAction(const ActionExInfo& info);
// 8: the put texts.
std::unique_ptr<CActionObject> MakePutMessageAction(const ActionExInfo& info);
// 9 and 10: the put texts and the direct-read flag (m_strExtension is "1").
std::unique_ptr<CActionObject> MakeScanItemAction(const ActionExInfo& info, bool direct);
std::unique_ptr<CActionObject> MakeScanControllerAction(const ActionExInfo& info, bool direct);
// 11: ExecuteParam.
std::unique_ptr<CActionObject> MakeControllerExecuteAction(const ActionExInfo& info);
// 12: the reconnection mode (m_strExtension as a strict number).
std::unique_ptr<CActionObject> MakeReconnectAction(int32_t mode);
// 13: CalculationList.
std::unique_ptr<CActionObject> MakeCalcAction(const ActionExInfo& info);
// 14: the put texts.
std::unique_ptr<CActionObject> MakeSystemValueAction(const ActionExInfo& info);
// 65536: the insert-table action.
std::unique_ptr<CActionObject> MakeInsertTableAction(const ActionExInfo& info);

}  // namespace tavrix
