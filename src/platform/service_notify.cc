#include "platform/service_notify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace tavrix {

bool RunningUnderSystemd() {
  const char* notify = std::getenv("NOTIFY_SOCKET");
  const char* invocation = std::getenv("INVOCATION_ID");
  return (notify != nullptr && *notify != '\0') || (invocation != nullptr && *invocation != '\0');
}

bool ServiceNotify(std::string_view state) {
  const char* path = std::getenv("NOTIFY_SOCKET");
  if (path == nullptr || *path == '\0') return false;
  const size_t len = std::strlen(path);
  sockaddr_un addr{};
  if (len >= sizeof addr.sun_path) return false;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path, len);
  if (addr.sun_path[0] == '@') addr.sun_path[0] = '\0';  // an abstract socket
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const socklen_t addrLen = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + len);
  const bool sent = ::sendto(fd, state.data(), state.size(), MSG_NOSIGNAL,
                             reinterpret_cast<const sockaddr*>(&addr), addrLen) ==
                    static_cast<ssize_t>(state.size());
  ::close(fd);
  return sent;
}

}  // namespace tavrix
