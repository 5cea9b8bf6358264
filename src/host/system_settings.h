// The system settings: read once at start from the settings file's key
// HKEY_CLASSES_ROOT\SoftWare\Tavrix and fixed for the life of the process.
//
// A value of another type than the one expected counts as absent: the 32-bit
// values must be dword:, the texts quoted texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/logger.h"
#include "host/syslog_param.h"
#include "platform/settings_file.h"
#include "platform/unknown.h"

namespace tavrix {

inline constexpr std::string_view kSettingsKey = "HKEY_CLASSES_ROOT\\SoftWare\\Tavrix";
inline constexpr std::string_view kDataReaderKey = "HKEY_CLASSES_ROOT\\SoftWare\\Tavrix\\DataReader";

// Process priority classes, lowest first.
enum class PriorityClass { kIdle, kBelowNormal, kNormal, kAboveNormal, kHigh, kRealtime };

struct SystemSettings {
  std::string dataPath;                          // DataPath: the project file
  PriorityClass priority = PriorityClass::kHigh;  // ProcessPriorityEx, else ProcessPriority
  LCID lcid = LOCALE_USER_DEFAULT;               // LCID
  uint32_t logType = kLogToEventLog;             // LogType
  uint32_t logLevel = 1;                         // LogLevel
  std::string udpLogParam{kDefaultUdpLogParam};  // UDPLogParam
  bool hasSysLog = false;                        // SysLogParam was read (LogType 5)
  SysLogParam sysLog;
  std::string fileName;                 // FileName: the log file of LogType 4
  bool notRepeatError = false;          // NotRepeatError
  bool kivCapture = false;              // KivCapture
  bool ddeEnabled = false;              // DDEEnabled
  bool kivServerEnabled = false;        // KivServerEnabled
  bool coapServerEnabled = false;       // CoAPServerEnabled
  uint32_t samplingTimeOverLogType = 0;  // SamplingTimeOverLogType
  std::string samplingTimeOverLogDir;    // SamplingTimeOverLogDir, ends with "/" when set
  uint32_t samplingTimeOverTime = 100;   // SamplingTimeOverTime, milliseconds
  std::string dataReaderPath;            // DataReader\Path
  // AsyncQueueLimit: rows an insert thread keeps in memory before further
  // rows go to backup files. Optional (its absence is no missing value).
  uint32_t asyncQueueLimit = 100000;
};

// Reads the settings into *out in this order: DataPath; ProcessPriorityEx,
// else ProcessPriority; LCID, LogType, LogLevel; UDPLogParam; SysLogParam (only
// for LogType 5); FileName, NotRepeatError, KivCapture, DDEEnabled, the three
// server flags, the sampling-time-over settings; then DataReader\Path.
//
// Returns S_OK when every value was read, S_FALSE when some were absent and
// took their defaults, E_FAIL when the settings key does not exist (file is
// null or lacks the key: nothing is read), E_INVALIDARG when DataPath is absent
// or empty, or the failure of the SysLogParam text. After E_INVALIDARG or a
// SysLogParam failure nothing behind it is read and the logger keeps its
// defaults; otherwise the logger is configured (level, type, "Tavrix", FileName,
// the UDP destination, the syslog destination, the sampling-time-over log, the
// process log level). `startStamp` names the sampling-time-over files.
HRESULT ReadSystemSettings(const SettingsFile* file, std::string_view startStamp,
                           SystemSettings* out, CLogger* logger);

}  // namespace tavrix
