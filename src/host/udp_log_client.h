// The UDP log client: one datagram per log line to a log receiver (log type 7).
//
// Datagram layout, little-endian:
//   offset 0   4 bytes      total length / 2 (unsigned)
//   offset 4   2 bytes      level (low 16 bits)
//   offset 6   4 bytes      result code (signed; 0 when none)
//   offset 10  2 x (n + 1)  application name, UTF-16, with its terminating zero
//   then       2 x (m + 1)  the line, UTF-16, with its terminating zero
// so the total is 14 + 2 x (n + m) bytes, n and m counted in UTF-16 code units.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/mutex.h"
#include "platform/result.h"

namespace tavrix {

// The destination of a UDP log client.
class CZeltUDPLogBase {
 public:
  virtual ~CZeltUDPLogBase();

 protected:
  // Guards the destination, and in the client its name and socket as well;
  // held across a whole send (a leaf: nothing else is locked, and nothing
  // logs, while it is held).
  mutable Mutex mutex_;
  uint32_t address_ GUARDED_BY(mutex_) = 0;  // IPv4, network byte order; 0 when unset
  uint16_t port_ GUARDED_BY(mutex_) = 0;     // host byte order
};

// All members are thread-safe; sends from many threads go out as whole
// datagrams. The socket is created once, by the first Open.
class CZeltUDPLogClient : public CZeltUDPLogBase {
 public:
  CZeltUDPLogClient() = default;
  ~CZeltUDPLogClient() override;
  CZeltUDPLogClient(const CZeltUDPLogClient&) = delete;
  CZeltUDPLogClient& operator=(const CZeltUDPLogClient&) = delete;

  // Parses "a.b.c.d:port": exactly one colon, a strict dotted IPv4 address
  // other than 255.255.255.255, and a port of decimal digits at most 65535.
  // S_OK stores both; E_INVALIDARG keeps the previous destination.
  HRESULT SetAddress(std::string_view text) EXCLUDES(mutex_);
  // Stores a destination as it is (address in network byte order).
  void SetAddress(uint32_t address, uint16_t port) EXCLUDES(mutex_);
  // The application name sent in every datagram (UTF-8).
  void SetName(std::string_view name) EXCLUDES(mutex_);

  // Creates the datagram socket when there is none. S_OK, or the system's
  // error (the socket stays unset and a later Open tries again).
  HRESULT Open() EXCLUDES(mutex_);
  // Sends one datagram. E_PENDING without a socket; a send error is
  // returned as the system's error (callers ignore it); S_OK otherwise.
  HRESULT Send(std::string_view text, uint32_t level, HRESULT result) EXCLUDES(mutex_);

  uint32_t address() const EXCLUDES(mutex_);
  uint16_t port() const EXCLUDES(mutex_);
  bool opened() const EXCLUDES(mutex_);

  // The datagram for a name and a text (UTF-8 in, UTF-16LE out).
  static std::string BuildDatagram(std::string_view name, std::string_view text, uint32_t level,
                                   HRESULT result);

 private:
  std::string name_ GUARDED_BY(mutex_);
  int socket_ GUARDED_BY(mutex_) = -1;
};

}  // namespace tavrix
