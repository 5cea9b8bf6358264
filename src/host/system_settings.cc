#include "host/system_settings.h"

#include <optional>

#include "platform/log.h"

namespace tavrix {
namespace {

// Reads values of the settings key, noting whether any was absent.
class SettingsReader {
 public:
  SettingsReader(const SettingsFile& file, std::string_view key) : file_(file), key_(key) {}

  std::optional<uint32_t> Dword(std::string_view name) {
    std::optional<uint32_t> v = file_.GetDword(key_, name);
    if (!v) missing_ = true;
    return v;
  }
  std::optional<std::string> Text(std::string_view name) {
    std::optional<std::string> v = file_.GetString(key_, name);
    if (!v) missing_ = true;
    return v;
  }
  void ReadDword(std::string_view name, uint32_t* out) {
    if (auto v = Dword(name)) *out = *v;
  }
  void ReadFlag(std::string_view name, bool* out) {
    if (auto v = Dword(name)) *out = *v != 0;
  }
  bool missing() const { return missing_; }

 private:
  const SettingsFile& file_;
  std::string_view key_;
  bool missing_ = false;
};

// ProcessPriorityEx 0..5 and ProcessPriority 0..3; other values select nothing.
std::optional<PriorityClass> PriorityFromEx(uint32_t v) {
  if (v > 5) return std::nullopt;
  return static_cast<PriorityClass>(v);
}
std::optional<PriorityClass> PriorityFromLegacy(uint32_t v) {
  static constexpr PriorityClass kLegacy[] = {PriorityClass::kIdle, PriorityClass::kNormal,
                                              PriorityClass::kHigh, PriorityClass::kRealtime};
  if (v > 3) return std::nullopt;
  return kLegacy[v];
}

void ReadPriority(SettingsReader& reader, SystemSettings* out) {
  std::optional<uint32_t> ex = reader.Dword("ProcessPriorityEx");
  std::optional<PriorityClass> chosen;
  if (ex) {
    chosen = PriorityFromEx(*ex);
    if (!chosen) Log(2, "ServiceModule : ProcessPriorityEx %u is out of range; ignored.\n", *ex);
  } else if (std::optional<uint32_t> legacy = reader.Dword("ProcessPriority")) {
    chosen = PriorityFromLegacy(*legacy);
    if (!chosen) Log(2, "ServiceModule : ProcessPriority %u is out of range; ignored.\n", *legacy);
  }
  if (chosen) out->priority = *chosen;
}

void ConfigureLogger(const SystemSettings& s, std::string_view startStamp, CLogger* logger) {
  LoggerSettings ls;
  ls.level = s.logLevel;
  ls.type = s.logType;
  ls.applicationName = "Tavrix";
  ls.fileName = s.fileName;
  ls.udpText = s.udpLogParam;
  if (s.hasSysLog) ls.sysLog = SysLogDestination{s.sysLog.address, s.sysLog.port, s.sysLog.codePage};
  // A UDP text that does not parse was already replaced for the module's
  // client; the logger's own client reports it through Configure's result.
  (void)logger->Configure(ls);
  SamplingTimeOverSettings so;
  so.type = s.samplingTimeOverLogType;
  so.dir = s.samplingTimeOverLogDir;
  so.thresholdMs = s.samplingTimeOverTime;
  so.startStamp = std::string(startStamp);
  logger->ConfigureSamplingTimeOver(so);
  SetLogLevel(s.logLevel);
}

}  // namespace

HRESULT ReadSystemSettings(const SettingsFile* file, std::string_view startStamp,
                           SystemSettings* out, CLogger* logger) {
  if (file == nullptr || !file->HasKey(kSettingsKey)) return E_FAIL;
  SettingsReader reader(*file, kSettingsKey);

  std::optional<std::string> dataPath = reader.Text("DataPath");
  if (!dataPath || dataPath->empty()) return E_INVALIDARG;
  out->dataPath = *dataPath;

  ReadPriority(reader, out);
  if (auto lcid = reader.Dword("LCID")) out->lcid = *lcid;
  reader.ReadDword("LogType", &out->logType);
  reader.ReadDword("LogLevel", &out->logLevel);

  std::optional<std::string> udp = reader.Text("UDPLogParam");
  out->udpLogParam = (udp && !udp->empty()) ? *udp : std::string(kDefaultUdpLogParam);
  if (logger != nullptr) (void)logger->SetModuleUdpDestination(out->udpLogParam);

  if (out->logType == kLogToSysLog) {
    // An absent SysLogParam leaves type 5 without a destination.
    if (std::optional<std::string> text = reader.Text("SysLogParam")) {
      RETURN_IF_FAILED(ParseSysLogParam(*text, &out->sysLog));
      out->hasSysLog = true;
    }
  }

  if (auto name = reader.Text("FileName")) out->fileName = *name;
  reader.ReadFlag("NotRepeatError", &out->notRepeatError);
  reader.ReadFlag("KivCapture", &out->kivCapture);
  reader.ReadFlag("DDEEnabled", &out->ddeEnabled);
  reader.ReadFlag("KivServerEnabled", &out->kivServerEnabled);
  reader.ReadFlag("CoAPServerEnabled", &out->coapServerEnabled);
  reader.ReadDword("SamplingTimeOverLogType", &out->samplingTimeOverLogType);
  if (auto dir = reader.Text("SamplingTimeOverLogDir")) {
    out->samplingTimeOverLogDir = *dir;
    // Paths are built with "/" here, where the folder of a Windows host ends in "\".
    if (!dir->empty() && dir->back() != '/') out->samplingTimeOverLogDir += '/';
  }
  reader.ReadDword("SamplingTimeOverTime", &out->samplingTimeOverTime);

  if (logger != nullptr) ConfigureLogger(*out, startStamp, logger);

  if (auto limit = file->GetDword(kSettingsKey, "AsyncQueueLimit"); limit && *limit > 0) {
    out->asyncQueueLimit = *limit;
  }
  // The reader library's path; any failure leaves it empty and is no absence.
  out->dataReaderPath = file->GetString(kDataReaderKey, "Path").value_or("");
  return reader.missing() ? S_FALSE : S_OK;
}

}  // namespace tavrix
