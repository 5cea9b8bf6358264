// The syslog client of log type 5: one datagram per line to a syslog server,
// in the BSD form "<PRI>Mmm dd hh:mm:ss host tag text".
//
// Host name, tag and text are sent in the target code page (default 51932,
// EUC-JP). A character the page lacks becomes '?', so a line is never
// dropped for its content; an unknown code page sends the UTF-8 bytes.
//
// All members are thread-safe: one lock guards the state and is held for a
// whole Open, Close or Send, so a line never goes out through a socket that
// is being replaced.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/mutex.h"
#include "platform/result.h"

namespace tavrix {

inline constexpr uint32_t kDefaultSysLogCodePage = 51932;
inline constexpr uint16_t kDefaultSysLogPort = 514;

class CSysLogClient {
 public:
  CSysLogClient() = default;
  ~CSysLogClient();
  CSysLogClient(const CSysLogClient&) = delete;
  CSysLogClient& operator=(const CSysLogClient&) = delete;

  // Opens the client for `address` (IPv4, network byte order) and `port`
  // (host byte order): takes the host name (gethostname cut to 15
  // characters), creates a datagram socket bound to any local address and
  // port (up to 101 attempts) and sizes the datagrams. A client already open
  // is closed first. Results: S_OK; TVX_E_SOCKET_HOSTNAME, _CREATE, _BIND,
  // _MSGSMALL. Whatever the result, the severities of the levels from
  // `level` up to 4 are added to the mask of severities sent.
  HRESULT Open(std::string_view appName, uint32_t level, uint32_t address, uint16_t port,
               uint32_t codePage) EXCLUDES(mutex_);
  // Closes the socket; later sends give TVX_E_SYSLOG_NOT_OPEN. The mask stays.
  void Close() EXCLUDES(mutex_);

  // Sends the text up to its first line feed or carriage return with the
  // header of the level's severity. S_FALSE (nothing sent) when the mask
  // leaves the severity out; TVX_E_SYSLOG_NOT_OPEN when not open;
  // TVX_E_SYSLOG_SEND when the datagram cannot be sent. At most
  // min(1024, largest datagram) bytes go out.
  HRESULT Send(uint32_t level, std::string_view text) EXCLUDES(mutex_);

  // Syslog severity of a level: 1 -> 6, 2 -> 4, 3 -> 3, 4 -> 2, others 7.
  static uint32_t SeverityOf(uint32_t level);

  bool opened() const EXCLUDES(mutex_);
  uint32_t severityMask() const EXCLUDES(mutex_);
  // The host name as sent (in the target code page).
  std::string hostName() const EXCLUDES(mutex_);

 private:
  void CloseLocked() REQUIRES(mutex_);

  // Guards every member below; held for a whole Open, Close or Send (a leaf:
  // nothing else is locked, and nothing logs, while it is held).
  mutable Mutex mutex_;
  bool open_ GUARDED_BY(mutex_) = false;
  uint32_t severityMask_ GUARDED_BY(mutex_) = 0;   // bit n: severity n is sent
  uint32_t facility_ GUARDED_BY(mutex_) = 1 << 3;  // user-level messages, already times 8
  uint32_t address_ GUARDED_BY(mutex_) = 0;        // network byte order
  uint16_t port_ GUARDED_BY(mutex_) = 0;           // host byte order
  std::string hostName_ GUARDED_BY(mutex_);        // target code page
  std::string tag_ GUARDED_BY(mutex_);             // the application name, target code page
  size_t maxDatagram_ GUARDED_BY(mutex_) = 0;      // bytes
  uint32_t codePage_ GUARDED_BY(mutex_) = kDefaultSysLogCodePage;
  int socket_ GUARDED_BY(mutex_) = -1;
};

// `utf8` in code page `codePage`; characters the page lacks become '?', and
// an unknown page gives the UTF-8 text unchanged.
std::string ToCodePageLenient(std::string_view utf8, uint32_t codePage);

}  // namespace tavrix
