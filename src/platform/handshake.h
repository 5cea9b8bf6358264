// The start-up hand-shake: lets an outside tool hold the server at the start
// of its main routine (for example to attach a debugger).
//
// When the named semaphore kHandshakeFirst exists, the server creates
// kHandshakeSecond (unsignalled), signals the first, and waits without limit
// until the second is signalled; then it closes both. When the first does not
// exist nothing happens. The tool creates the first, waits on it, and signals
// the second when the server may go on.
#pragma once

namespace tavrix {

inline constexpr const char* kHandshakeFirst = "/7D3A91C04E5B4F2A8C6E0B19D2F47A35";
inline constexpr const char* kHandshakeSecond = "/B84E2C6A1F0D4739A5C83E7B916D02F4";

// Returns true when a tool took part (the server waited for it).
bool RunStartupHandshake();

}  // namespace tavrix
