#include "host/udp_log_client.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "host/ipv4_text.h"
#include "platform/text.h"

namespace tavrix {
namespace {

void PutLe(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

CZeltUDPLogBase::~CZeltUDPLogBase() = default;

CZeltUDPLogClient::~CZeltUDPLogClient() {
  if (socket_ >= 0) ::close(socket_);
}

HRESULT CZeltUDPLogClient::SetAddress(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return E_INVALIDARG;
  const std::string_view host = text.substr(0, colon);
  const std::string_view digits = text.substr(colon + 1);
  if (digits.find(':') != std::string_view::npos) return E_INVALIDARG;
  uint32_t address = 0;
  if (!ParseDottedIpv4(host, &address) || address == 0xFFFFFFFFu) return E_INVALIDARG;
  uint16_t port = 0;
  if (ParsePortDigits(digits, &port) != PortParse::kOk) return E_INVALIDARG;
  SetAddress(address, port);
  return S_OK;
}

void CZeltUDPLogClient::SetAddress(uint32_t address, uint16_t port) {
  MutexLock lock(&mutex_);
  address_ = address;
  port_ = port;
}

void CZeltUDPLogClient::SetName(std::string_view name) {
  MutexLock lock(&mutex_);
  name_ = name;
}

HRESULT CZeltUDPLogClient::Open() {
  MutexLock lock(&mutex_);
  if (socket_ >= 0) return S_OK;
  const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (s < 0) return ResultFromErrno(errno);
  socket_ = s;
  return S_OK;
}

HRESULT CZeltUDPLogClient::Send(std::string_view text, uint32_t level, HRESULT result) {
  // The lock is held across sendto: it keeps the socket open while in use,
  // and a datagram send on a local socket does not block for long.
  MutexLock lock(&mutex_);
  if (socket_ < 0) return E_PENDING;
  const std::string datagram = BuildDatagram(name_, text, level, result);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port_);
  to.sin_addr.s_addr = address_;
  const ssize_t n = ::sendto(socket_, datagram.data(), datagram.size(), MSG_NOSIGNAL,
                             reinterpret_cast<const sockaddr*>(&to), sizeof to);
  return n < 0 ? ResultFromErrno(errno) : S_OK;
}

uint32_t CZeltUDPLogClient::address() const {
  MutexLock lock(&mutex_);
  return address_;
}

uint16_t CZeltUDPLogClient::port() const {
  MutexLock lock(&mutex_);
  return port_;
}

bool CZeltUDPLogClient::opened() const {
  MutexLock lock(&mutex_);
  return socket_ >= 0;
}

std::string CZeltUDPLogClient::BuildDatagram(std::string_view name, std::string_view text,
                                             uint32_t level, HRESULT result) {
  const std::string name16 = Utf16LeBytes(name);
  const std::string text16 = Utf16LeBytes(text);
  const size_t total = 10 + name16.size() + 2 + text16.size() + 2;
  std::string out;
  out.reserve(total);
  PutLe(out, total / 2, 4);
  PutLe(out, level & 0xFFFF, 2);
  PutLe(out, result.bits(), 4);
  out += name16;
  PutLe(out, 0, 2);
  out += text16;
  PutLe(out, 0, 2);
  return out;
}

}  // namespace tavrix
