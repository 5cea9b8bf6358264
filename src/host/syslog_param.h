// The SysLogParam setting: an option text naming the syslog destination.
//
//   "Server=192.168.0.10:514,CodePage=932"
//   "Conn=UDP:192.168.0.10:1514:0.0.0.0:0"
//
// Pairs of key=value separated by commas; keys compared without regard to
// case; spaces and tabs around keys and values ignored; a value holding
// commas is put in one of the bracket pairs (), <>, [] or {}, which are
// taken off. Keys:
//   CodePage  unsigned number: code page of host name, tag and text (51932)
//   Conn      FORM:address[:port[:local address[:local port]]]; FORM on its
//             first three letters: ETH or UDP accepted, COM or TCP refused
//   Server    address[:port[:local address[:local port]]], as Conn with ETH
//   Port      destination port; with no Conn, Server or UDP it selects the
//             COM form, which is refused
//   MyIP, MyPort  local address and port (accepted; the client binds to any)
//   UDP       boolean (true/false, yes/no, on/off, or a number): true makes
//             the form UDP, false TCP (refused)
// Other keys are ignored. Empty fields count as not given.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/result.h"

namespace tavrix {

struct SysLogParam {
  uint32_t codePage = 51932;
  uint32_t address = 0;        // destination, IPv4 in network byte order
  uint16_t port = 514;         // destination, host byte order
  uint32_t localAddress = 0;   // network byte order; 0 when not given
  uint16_t localPort = 0;
};

// Parses `text` into *out (only on success). Results:
//   S_OK
//   E_FAIL                      two "=" in one pair, a pair without "=",
//                               or unbalanced brackets
//   E_INVALIDARG                a COM or TCP form, an unknown form, a bad
//                               address, or too many fields
//   DISP_E_OVERFLOW             a port or number that is not decimal digits
//                               or is too large (port above 65535)
//   DISP_E_TYPEMISMATCH         a UDP value that is no boolean
//   TVX_E_SYSLOG_DUPLICATE_KEY  a key repeating what another key gave
//   TVX_E_SYSLOG_NO_ADDRESS     no destination address
// Addresses are strict dotted IPv4; "255.255.255.255" is accepted.
HRESULT ParseSysLogParam(std::string_view text, SysLogParam* out);

}  // namespace tavrix
