// The controller record's settings after the initialisation rules.
#include "controller/controller_settings.h"

#include "platform/log.h"

namespace tavrix {

namespace {

// Used when a setting cannot work as configured.
constexpr int32_t kDefaultSamplingRate = 300;
constexpr int32_t kDefaultRecInterval = 1;

}  // namespace

ControllerSettingsPtr MakeControllerSettings(const ControllerRecord& record,
                                             std::string_view logName) {
  auto s = std::make_shared<ControllerSettings>();
  s->m_bstrCtrlName = record.m_strCtrlName;
  s->m_bstrProvider = record.m_strProvider;
  s->m_bstrMachine = record.m_strMachine;
  s->m_bstrParam = record.m_strParam;
  s->m_bstrDescription = record.m_strDescription;
  s->m_bDescription = record.m_bDescription;
  s->m_lSamplingRate = record.m_lSamplingRate;
  if (s->m_lSamplingRate <= 0) {
    Log(2, "TavrixController[%ls] : Sampling rate %d is not valid; %dms is used.\n", logName,
        record.m_lSamplingRate, kDefaultSamplingRate);
    s->m_lSamplingRate = kDefaultSamplingRate;
  }
  s->m_bDistribute = record.m_bDistribute;
  int32_t priorityIndex = record.m_lPriority;
  if (priorityIndex < 0 || priorityIndex > 6) {
    Log(2, "TavrixController[%ls] : Thread priority index %d is not valid; 0 is used.\n", logName,
        priorityIndex);
    priorityIndex = 0;
  }
  s->m_iThreadPriority = kThreadPriorities[priorityIndex];
  s->m_lTimeStamp = record.m_lTimeStamp;
  s->m_bStartup = record.m_bStartup;
  s->m_bUseHistory = record.m_bUseHistory;
  s->m_bWriteToCache = record.m_bWriteToCache;
  s->m_bWDT = record.m_bWDT;
  s->m_lWDTCount = record.m_lWDTCount;
  s->m_lWDTAction = record.m_lWDTAction;
  s->m_bUseTrigger = record.m_bUseTrigger;
  s->m_bAutoReconn = record.m_bAutoReconn;
  s->m_lRecCount = record.m_lRecCount;
  s->m_lRecInterval = record.m_lRecInterval;
  if (s->m_lRecInterval <= 0 && s->m_bAutoReconn) {
    Log(2, "TavrixController[%ls] : Reconnection interval %d is not valid; %ds is used.\n",
        logName, record.m_lRecInterval, kDefaultRecInterval);
    s->m_lRecInterval = kDefaultRecInterval;
  }
  s->m_bEventBinding = record.m_bEventBinding;
  s->m_bOutputActionLog = record.m_bOutputActionLog;
  s->m_lRecWaitTime = record.m_lRecWaitTime < 0 ? s->m_lRecInterval : record.m_lRecWaitTime;
  s->m_lRecType = record.m_lRecType;
  s->m_bVariableSync = record.m_bVariableSync;
  s->m_bWDTDS = record.m_bWDTDS;
  s->m_lWDTTime = record.m_lWDTTime;
  s->m_bSlowSamplingEnable = record.m_bSlowSamplingEnable;
  s->m_lSlowSamplingRate = record.m_lSlowSamplingRate;
  if (s->m_bSlowSamplingEnable && s->m_lSlowSamplingRate <= 0) {
    Log(2, "TavrixController[%ls] : Slow sampling rate %d is not valid; %dms is used.\n", logName,
        record.m_lSlowSamplingRate, s->m_lSamplingRate);
    s->m_lSlowSamplingRate = s->m_lSamplingRate;
  }
  s->m_AccessibleApplication = record.m_AccessibleApplication;
  s->m_lActivatePriority = record.m_lActivatePriority;
  s->m_lDeactivatePriority = record.m_lDeactivatePriority;
  return s;
}

}  // namespace tavrix
