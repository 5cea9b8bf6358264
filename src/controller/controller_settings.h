// The settings of a controller that an update may change while it runs.
//
// The controller publishes them as one immutable snapshot: a running sampling
// thread or reconnection monitor takes the snapshot once per cycle or check
// and so always sees one configuration whole, the old or the new one, never
// a mixture of both. An update builds a new snapshot and swaps the pointer.
//
// What never changes after initialisation (the enabled flag, the type, the
// Tavrix name, the script and the trigger and calculation switches) stays in
// the controller itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "config/project_records.h"

namespace tavrix {

struct ControllerSettings {
  std::string m_bstrCtrlName;  // the Zelt controller name
  std::string m_bstrProvider;
  std::string m_bstrMachine;
  std::string m_bstrParam;
  std::string m_bstrDescription;
  bool m_bDescription = false;
  int32_t m_lSamplingRate = 300;
  bool m_bDistribute = false;  // as configured; the controller keeps the running flag
  int32_t m_iThreadPriority = 0;
  int32_t m_lTimeStamp = 0;
  bool m_bStartup = false;
  bool m_bUseHistory = false;
  bool m_bWriteToCache = false;
  bool m_bWDT = false;
  int32_t m_lWDTCount = 0;
  int32_t m_lWDTAction = 0;
  bool m_bUseTrigger = false;
  bool m_bAutoReconn = false;
  int32_t m_lRecCount = 0;
  int32_t m_lRecInterval = 0;
  int32_t m_lRecWaitTime = 0;
  int32_t m_lRecType = 0;
  bool m_bEventBinding = false;
  bool m_bOutputActionLog = false;
  bool m_bVariableSync = false;
  bool m_bWDTDS = false;
  int32_t m_lWDTTime = 0;
  bool m_bSlowSamplingEnable = false;
  int32_t m_lSlowSamplingRate = 0;
  int32_t m_AccessibleApplication = 7;
  int32_t m_lActivatePriority = 0;
  int32_t m_lDeactivatePriority = 0;
};

using ControllerSettingsPtr = std::shared_ptr<const ControllerSettings>;

// The platform priorities of the configured thread-priority indexes 0..6.
inline constexpr int kThreadPriorities[7] = {-15, -2, -1, 0, 1, 2, 15};

// The settings of `record` after the initialisation rules: a sampling rate,
// reconnection interval, thread priority or slow sampling rate that cannot
// work is replaced by a working one, with a warning that names the
// controller `logName`.
ControllerSettingsPtr MakeControllerSettings(const ControllerRecord& record,
                                             std::string_view logName);

}  // namespace tavrix
