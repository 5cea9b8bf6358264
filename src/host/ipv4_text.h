// Texts of IPv4 destinations: dotted addresses and decimal ports, as the
// UDP log and syslog settings write them.
#pragma once

#include <cstdint>
#include <string_view>

namespace tavrix {

// A dotted IPv4 address in the strict form inet_pton(AF_INET) accepts: four
// decimal parts 0..255 ("127.0.0.1"). On success stores the address in
// network byte order and returns true; otherwise returns false and leaves
// *address as it was. "255.255.255.255" is accepted here; callers that must
// refuse it check for 0xFFFFFFFF themselves.
bool ParseDottedIpv4(std::string_view text, uint32_t* address);

enum class PortParse { kOk, kNotDigits, kTooLarge };

// A port: a non-empty run of decimal digits whose value is at most 65535
// (leading zeros allowed). *port is set only on kOk.
PortParse ParsePortDigits(std::string_view text, uint16_t* port);

// "a.b.c.d" of an address in network byte order.
std::string_view FormatIpv4(uint32_t address, char (&buffer)[16]);

}  // namespace tavrix
