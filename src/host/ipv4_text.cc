#include "host/ipv4_text.h"

#include <arpa/inet.h>

#include <cstring>
#include <string>

namespace tavrix {

bool ParseDottedIpv4(std::string_view text, uint32_t* address) {
  if (text.empty() || text.size() > 15) return false;
  char buf[16];
  std::memcpy(buf, text.data(), text.size());
  buf[text.size()] = '\0';
  in_addr a{};
  if (inet_pton(AF_INET, buf, &a) != 1) return false;
  *address = a.s_addr;
  return true;
}

PortParse ParsePortDigits(std::string_view text, uint16_t* port) {
  if (text.empty()) return PortParse::kNotDigits;
  uint32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return PortParse::kNotDigits;
    value = value * 10 + static_cast<uint32_t>(c - '0');
    if (value > 65535) {
      // Keeps scanning: a later non-digit still makes the text "not digits".
      value = 65536;
    }
  }
  if (value > 65535) return PortParse::kTooLarge;
  *port = static_cast<uint16_t>(value);
  return PortParse::kOk;
}

std::string_view FormatIpv4(uint32_t address, char (&buffer)[16]) {
  in_addr a{};
  a.s_addr = address;
  if (inet_ntop(AF_INET, &a, buffer, sizeof buffer) == nullptr) buffer[0] = '\0';
  return std::string_view(buffer);
}

}  // namespace tavrix
