// Service status reports to systemd (the sd_notify protocol): one datagram to
// the unix socket named by $NOTIFY_SOCKET. Without that variable the process
// does not run as a notifying service and nothing is sent.
#pragma once

#include <string_view>

namespace tavrix {

// True when systemd started the process as a service ($NOTIFY_SOCKET or
// $INVOCATION_ID is set).
bool RunningUnderSystemd();

// Sends `state` ("READY=1", "STOPPING=1", "STATUS=...", lines joined by "\n").
// True when it was sent.
bool ServiceNotify(std::string_view state);

}  // namespace tavrix
