#include "host/syslog_client.h"

#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "host/log_time.h"
#include "platform/text.h"

namespace tavrix {
namespace {

constexpr int kBindAttempts = 101;
// The largest UDP payload over IPv4: Linux has no per-socket query for it.
constexpr size_t kLargestUdpPayload = 65507;
constexpr size_t kDatagramCap = 8192;
constexpr size_t kSendCap = 1024;
constexpr size_t kHostNameChars = 15;

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

std::string ToCodePageLenient(std::string_view utf8, uint32_t codePage) {
  std::string out;
  const HRESULT hr = ConvertCodePage(utf8, 65001, codePage, &out);
  if (hr.succeeded()) return out;
  if (hr == E_INVALIDARG) return std::string(utf8);  // an unknown page
  // Converts character by character, putting '?' for what does not convert.
  out.clear();
  for (size_t pos = 0; pos < utf8.size();) {
    const Utf8Char c = DecodeUtf8(utf8, pos);
    std::string piece;
    if (c.valid && ConvertCodePage(utf8.substr(pos, c.size), 65001, codePage, &piece).succeeded()) {
      out += piece;
    } else {
      out.push_back('?');
    }
    pos += c.size;
  }
  return out;
}

CSysLogClient::~CSysLogClient() { Close(); }

uint32_t CSysLogClient::SeverityOf(uint32_t level) {
  switch (level) {
    case 1: return 6;
    case 2: return 4;
    case 3: return 3;
    case 4: return 2;
    default: return 7;
  }
}

HRESULT CSysLogClient::Open(std::string_view appName, uint32_t level, uint32_t address,
                            uint16_t port, uint32_t codePage) {
  MutexLock lock(&mutex_);
  CloseLocked();
  HRESULT hr = S_OK;
  // The socket library needs no start on this system.
  address_ = address;
  port_ = port;
  codePage_ = codePage;
  tag_ = ToCodePageLenient(appName, codePage);
  char host[HOST_NAME_MAX + 1] = {};
  if (::gethostname(host, sizeof host - 1) != 0) {
    hr = TVX_E_SOCKET_HOSTNAME;
  } else {
    const std::string_view name(host);
    hostName_ = ToCodePageLenient(name.substr(0, std::min(name.size(), kHostNameChars)), codePage);
  }
  int s = -1;
  if (hr.succeeded()) {
    for (int attempt = 0; attempt < kBindAttempts; ++attempt) {
      if (attempt > 0) sched_yield();
      s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
      if (s < 0) {
        hr = TVX_E_SOCKET_CREATE;
        break;
      }
      sockaddr_in any{};
      any.sin_family = AF_INET;
      any.sin_addr.s_addr = htonl(INADDR_ANY);
      any.sin_port = 0;
      if (::bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0) break;
      ::close(s);
      s = -1;
    }
    if (hr.succeeded() && s < 0) hr = TVX_E_SOCKET_BIND;
  }
  if (hr.succeeded()) {
    const size_t overhead = hostName_.size() + tag_.size();
    if (kLargestUdpPayload < overhead || kLargestUdpPayload - overhead < 64) {
      ::close(s);
      hr = TVX_E_SOCKET_MSGSMALL;
    } else {
      maxDatagram_ = std::min(kLargestUdpPayload, kDatagramCap);
      socket_ = s;
      open_ = true;
    }
  }
  for (uint32_t l = level; l <= 4; ++l) severityMask_ |= 1u << SeverityOf(l);
  return hr;
}

void CSysLogClient::Close() {
  MutexLock lock(&mutex_);
  CloseLocked();
}

void CSysLogClient::CloseLocked() {
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
  open_ = false;
}

HRESULT CSysLogClient::Send(uint32_t level, std::string_view text) {
  const uint32_t severity = SeverityOf(level);
  MutexLock lock(&mutex_);
  if ((severityMask_ & (1u << severity)) == 0) return S_FALSE;
  if (!open_) return TVX_E_SYSLOG_NOT_OPEN;
  const size_t end = text.find_first_of("\r\n");
  if (end != std::string_view::npos) text = text.substr(0, end);

  const LocalTimeParts t = LocalTimeNow();
  std::string line;
  line.reserve(64 + hostName_.size() + tag_.size() + text.size());
  line.push_back('<');
  AppendPadded(line, static_cast<int>(facility_ | severity), 1);
  line.push_back('>');
  line += kMonths[std::clamp(t.month, 1, 12) - 1];
  line.push_back(' ');
  AppendPadded(line, t.day, 2, ' ');
  line.push_back(' ');
  AppendClockTime(line, t);
  line.push_back(' ');
  line += hostName_;
  line.push_back(' ');
  line += tag_;
  line.push_back(' ');
  line += ToCodePageLenient(text, codePage_);

  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port_);
  to.sin_addr.s_addr = address_;
  const size_t size = std::min({line.size(), kSendCap, maxDatagram_});
  const ssize_t n = ::sendto(socket_, line.data(), size, MSG_NOSIGNAL,
                             reinterpret_cast<const sockaddr*>(&to), sizeof to);
  return n < 0 ? TVX_E_SYSLOG_SEND : S_OK;
}

bool CSysLogClient::opened() const {
  MutexLock lock(&mutex_);
  return open_;
}

uint32_t CSysLogClient::severityMask() const {
  MutexLock lock(&mutex_);
  return severityMask_;
}

std::string CSysLogClient::hostName() const {
  MutexLock lock(&mutex_);
  return hostName_;
}

}  // namespace tavrix
