// The process's logger: the destination of every line Log and LogResult
// write (platform/log.h) once it is installed with SetLogSink. The process's
// module object owns one and configures it from the settings.
//
// Log types (LogType):
//   0  standard output, the text as it is
//   1  the "message box": standard error, "<application>: <text>"; it never
//      waits for anyone, so it never turns into type 3
//   2  the system log through syslog(3): ident the application name
//      ("Tavrix" before configuration), facility LOG_USER, priority info
//   3  the debugger output: standard error; a line with a failure code gets
//      "(0x%8X)" before its final line feed. The type before configuration.
//   4  the file FileName, each line after "YYYY/MM/DD hh:mm:ss.mmmm\t" (local
//      time, milliseconds in four digits). Opened at the first line, created
//      if missing, locked against other opens (flock) and kept open until the
//      next Configure. A file that cannot be opened turns the type into 3 for
//      this and every later line.
//   5  a syslog server (CSysLogClient, destination from SysLogParam)
//   6  a memory buffer of the last kLogMemoryBytes bytes of text
//   7  a UDP log receiver (CZeltUDPLogClient), one datagram per line
//   other  standard output, the text and a line feed
//
// Every destination takes a line with one system call (a single write(2),
// syslog(3) or sendto(2)), so lines written by several threads never mix.
// No destination error reaches the caller.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "host/sampling_time_over.h"
#include "host/syslog_client.h"
#include "host/udp_log_client.h"
#include "platform/log.h"
#include "platform/mutex.h"
#include "platform/result.h"

namespace tavrix {

inline constexpr uint32_t kLogToStdout = 0;
inline constexpr uint32_t kLogToMessageBox = 1;
inline constexpr uint32_t kLogToEventLog = 2;
inline constexpr uint32_t kLogToDebugger = 3;
inline constexpr uint32_t kLogToFile = 4;
inline constexpr uint32_t kLogToSysLog = 5;
inline constexpr uint32_t kLogToMemory = 6;
inline constexpr uint32_t kLogToUdp = 7;

// The memory buffer of type 6 holds at most this many bytes of UTF-8 text
// (the oldest whole characters are dropped first).
inline constexpr size_t kLogMemoryBytes = 10000;

// The UDPLogParam used when the setting is absent, empty or does not parse.
inline constexpr std::string_view kDefaultUdpLogParam = "127.0.0.1:5196";

struct SysLogDestination {
  uint32_t address = 0;  // IPv4, network byte order
  uint16_t port = kDefaultSysLogPort;
  uint32_t codePage = kDefaultSysLogCodePage;
};

struct UdpLogDestination {
  uint32_t address = 0;  // IPv4, network byte order
  uint16_t port = 0;
};

struct LoggerSettings {
  uint32_t level = 1;
  uint32_t type = kLogToDebugger;
  std::string applicationName;  // "Tavrix"
  std::string fileName;         // FileName, for type 4
  // The destination of type 7: the UDPLogParam text, or when it is empty
  // the address as it is.
  std::string udpText;
  std::optional<UdpLogDestination> udpAddress;
  // The destination of type 5 (from ParseSysLogParam), when there is one.
  std::optional<SysLogDestination> sysLog;
};

// All members may be called from any thread.
//
// Locks, always taken in this order (a thread never takes an earlier one
// while holding a later one):
//   configMutex_   shared by every line, exclusive in Configure; guards
//                  appName_, fileName_ and udpClient_
//   fileMutex_     guards fd_: the file is opened once and written one line
//                  at a time
//   memoryMutex_   guards memory_
//   the clients' own locks (CSysLogClient, CZeltUDPLogClient)
// and, process-wide, one lock around openlog/syslog/closelog (type 2).
// fileMutex_, memoryMutex_ and the event-log lock are never held together;
// each of them and the clients' locks is a leaf. The process's sink lock
// (platform/log.cc) is held shared around every Write, so it comes before
// all of these. Nothing may log while holding one of them: a line logged from
// inside Write goes to standard error, but one logged by Configure while it
// holds configMutex_ exclusively would come back to Write and wait for it.
class CLogger : public LogSink {
 public:
  CLogger();
  ~CLogger() override;
  CLogger(const CLogger&) = delete;
  CLogger& operator=(const CLogger&) = delete;

  // Stores the level and the type, copies the names and closes the log
  // file. Type 5 with a syslog destination opens the syslog client (its
  // result is not checked); otherwise the syslog client is closed. The
  // logger's own UDP client is released, and for type 7 made anew from
  // udpText (or udpAddress). Returns S_OK, or for type 7 E_INVALIDARG when
  // neither udpText nor udpAddress is given, else the result of parsing
  // udpText (CZeltUDPLogClient::SetAddress). Does not change the process
  // level of platform/log.h: the settings reading calls SetLogLevel too.
  HRESULT Configure(const LoggerSettings& settings) EXCLUDES(configMutex_);

  // The sampling-time-over settings (see sampling_time_over.h).
  void ConfigureSamplingTimeOver(const SamplingTimeOverSettings& settings);

  // Gives the module's UDP log client (named "Tavrix") its destination from
  // UDPLogParam: an empty text means kDefaultUdpLogParam, and a text that
  // does not parse is replaced by it. Returns the parse result of the text.
  HRESULT SetModuleUdpDestination(std::string_view udpLogParam);

  // LogSink: one line from Log/LogResult (already filtered by the process
  // level). Type 3 with a failure code inserts the code; type 7 sends the
  // line with its result through the module's UDP client (its socket made
  // at the first line); every other type goes to WriteLine.
  void Write(uint32_t level, HRESULT result, std::string_view text) override;

  // Writes a UTF-8 line at `level` to the destination of the type; nothing
  // when the level is below the logger's level. Type 7 sends through the
  // logger's own UDP client with result 0.
  void WriteLine(uint32_t level, std::string_view text) EXCLUDES(configMutex_);

  // See SamplingTimeOverLog::LogSamplingTimeOver.
  void LogSamplingTimeOver(std::string_view controller, uint32_t elapsedMs, uint32_t periodMs);

  uint32_t type() const { return type_.load(std::memory_order_relaxed); }
  uint32_t level() const { return level_.load(std::memory_order_relaxed); }
  // A copy of the memory buffer of type 6.
  std::string MemoryText() const EXCLUDES(memoryMutex_);

  CZeltUDPLogClient& moduleUdpClient() { return moduleUdp_; }
  CSysLogClient& sysLogClient() { return sysLog_; }

 private:
  void WriteFile(std::string_view text) REQUIRES_SHARED(configMutex_) EXCLUDES(fileMutex_);
  void WriteMemory(std::string_view text) EXCLUDES(memoryMutex_);
  void WriteEventLog(std::string_view text) REQUIRES_SHARED(configMutex_);

  std::atomic<uint32_t> type_{kLogToDebugger};
  std::atomic<uint32_t> level_{1};

  // Guards the configuration below: held shared by every line for the length
  // of its write, exclusively by Configure, so a line never goes out under
  // half a configuration or through a client being replaced.
  mutable SharedMutex configMutex_;
  std::string appName_ GUARDED_BY(configMutex_);
  std::string fileName_ GUARDED_BY(configMutex_);
  std::unique_ptr<CZeltUDPLogClient> udpClient_ GUARDED_BY(configMutex_);

  // Guards the log file's descriptor: the file is opened by the first line
  // after Configure and each line is written whole under it.
  Mutex fileMutex_;
  int fd_ GUARDED_BY(fileMutex_) = -1;

  // Guards the memory buffer of type 6, which lines append to and
  // MemoryText copies.
  mutable Mutex memoryMutex_;
  std::string memory_ GUARDED_BY(memoryMutex_);

  CSysLogClient sysLog_;
  CZeltUDPLogClient moduleUdp_;
  SamplingTimeOverLog samplingTimeOver_;
};

}  // namespace tavrix
