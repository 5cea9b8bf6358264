#include "host/logger.h"

#include <fcntl.h>
#include <sys/file.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>

#include "host/log_time.h"

namespace tavrix {
namespace {

constexpr std::string_view kDefaultAppName = "Tavrix";

// Guards the ident that openlog() keeps for the whole process, so that
// loggers on several threads never send under each other's ident. A leaf.
Mutex g_eventLogMutex;

// One write(2) per call when the system takes it whole (it does for files,
// and for pipes up to PIPE_BUF); continues after a partial write.
void WriteFd(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
}

std::string_view OrDefaultName(const std::string& name) {
  return name.empty() ? kDefaultAppName : std::string_view(name);
}

}  // namespace

CLogger::CLogger() { moduleUdp_.SetName(kDefaultAppName); }

CLogger::~CLogger() {
  MutexLock lock(&fileMutex_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

HRESULT CLogger::Configure(const LoggerSettings& settings) {
  WriterMutexLock config(&configMutex_);
  level_.store(settings.level, std::memory_order_relaxed);
  type_.store(settings.type, std::memory_order_relaxed);
  appName_ = settings.applicationName;
  fileName_ = settings.fileName;
  {
    MutexLock lock(&fileMutex_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  if (settings.type == kLogToSysLog && settings.sysLog) {
    (void)sysLog_.Open(appName_, settings.level, settings.sysLog->address, settings.sysLog->port,
                       settings.sysLog->codePage);
  } else {
    sysLog_.Close();
  }
  udpClient_.reset();
  if (settings.type != kLogToUdp) return S_OK;
  if (settings.udpText.empty() && !settings.udpAddress) return E_INVALIDARG;
  udpClient_ = std::make_unique<CZeltUDPLogClient>();
  udpClient_->SetName(appName_);
  if (!settings.udpText.empty()) return udpClient_->SetAddress(settings.udpText);
  udpClient_->SetAddress(settings.udpAddress->address, settings.udpAddress->port);
  return S_OK;
}

void CLogger::ConfigureSamplingTimeOver(const SamplingTimeOverSettings& settings) {
  samplingTimeOver_.Configure(settings);
}

HRESULT CLogger::SetModuleUdpDestination(std::string_view udpLogParam) {
  const HRESULT hr =
      moduleUdp_.SetAddress(udpLogParam.empty() ? kDefaultUdpLogParam : udpLogParam);
  if (hr.failed()) (void)moduleUdp_.SetAddress(kDefaultUdpLogParam);
  return hr;
}

void CLogger::Write(uint32_t level, HRESULT result, std::string_view text) {
  const uint32_t type = type_.load(std::memory_order_relaxed);
  if (type == kLogToUdp) {
    // Open is a no-op once the socket exists; a failed one leaves Send to
    // fail with E_PENDING, which is ignored like every send error.
    (void)moduleUdp_.Open();
    (void)moduleUdp_.Send(text, level, result);
    return;
  }
  if (type == kLogToDebugger && result.failed()) {
    WriteLine(level, WithResultCode(text, result));
    return;
  }
  WriteLine(level, text);
}

void CLogger::WriteLine(uint32_t level, std::string_view text) {
  if (level < level_.load(std::memory_order_relaxed)) return;
  ReaderMutexLock config(&configMutex_);
  switch (type_.load(std::memory_order_relaxed)) {
    case kLogToStdout:
      WriteFd(STDOUT_FILENO, text);
      break;
    case kLogToMessageBox: {
      std::string box(OrDefaultName(appName_));
      box += ": ";
      box += text;
      WriteFd(STDERR_FILENO, box);
      break;
    }
    case kLogToEventLog:
      WriteEventLog(text);
      break;
    case kLogToDebugger:
      WriteFd(STDERR_FILENO, text);
      break;
    case kLogToFile:
      WriteFile(text);
      break;
    case kLogToSysLog:
      (void)sysLog_.Send(level, text);
      break;
    case kLogToMemory:
      WriteMemory(text);
      break;
    case kLogToUdp:
      if (udpClient_) {
        (void)udpClient_->Open();
        (void)udpClient_->Send(text, level, S_OK);
      }
      break;
    default: {
      std::string line(text);
      line.push_back('\n');
      WriteFd(STDOUT_FILENO, line);
      break;
    }
  }
}

void CLogger::WriteFile(std::string_view text) {
  const LocalTimeParts t = LocalTimeNow();
  std::string line;
  line.reserve(25 + text.size());
  AppendDateTime(line, t, '/', 4);
  line.push_back('\t');
  line += text;

  {
    MutexLock lock(&fileMutex_);
    if (fd_ < 0) {
      // O_APPEND: every write lands at the end, as the file may have grown.
      const int fd =
          fileName_.empty()
              ? -1
              : ::open(fileName_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
      // No sharing: a second open of the same file (here or in another
      // process) fails as if the file could not be opened.
      if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        fd_ = -1;
      } else {
        fd_ = fd;
      }
    }
    if (fd_ >= 0) {
      WriteFd(fd_, line);
      return;
    }
  }
  type_.store(kLogToDebugger, std::memory_order_relaxed);
  WriteFd(STDERR_FILENO, text);
}

void CLogger::WriteMemory(std::string_view text) {
  MutexLock lock(&memoryMutex_);
  if (text.size() >= kLogMemoryBytes) {
    text.remove_prefix(text.size() - kLogMemoryBytes);
    // Starts at a character, not inside one.
    while (!text.empty() && (static_cast<unsigned char>(text.front()) & 0xC0) == 0x80) {
      text.remove_prefix(1);
    }
    memory_.assign(text);
    return;
  }
  if (memory_.size() + text.size() >= kLogMemoryBytes) {
    size_t drop = memory_.size() + text.size() - kLogMemoryBytes;
    while (drop < memory_.size() && (static_cast<unsigned char>(memory_[drop]) & 0xC0) == 0x80) {
      ++drop;
    }
    memory_.erase(0, drop);
  }
  memory_ += text;
}

void CLogger::WriteEventLog(std::string_view text) {
  const std::string ident(OrDefaultName(appName_));
  MutexLock lock(&g_eventLogMutex);
  openlog(ident.c_str(), LOG_PID, LOG_USER);
  syslog(LOG_USER | LOG_INFO, "%.*s", static_cast<int>(text.size()), text.data());
  closelog();
}

void CLogger::LogSamplingTimeOver(std::string_view controller, uint32_t elapsedMs,
                                  uint32_t periodMs) {
  samplingTimeOver_.LogSamplingTimeOver(controller, elapsedMs, periodMs);
}

std::string CLogger::MemoryText() const {
  MutexLock lock(&memoryMutex_);
  return memory_;
}

}  // namespace tavrix
