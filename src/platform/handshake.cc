#include "platform/handshake.h"

#include <fcntl.h>
#include <semaphore.h>

#include <cerrno>

namespace tavrix {

bool RunStartupHandshake() {
  sem_t* first = ::sem_open(kHandshakeFirst, 0);
  if (first == SEM_FAILED) return false;
  sem_t* second = ::sem_open(kHandshakeSecond, O_CREAT, 0600, 0);
  if (second == SEM_FAILED) {
    ::sem_close(first);
    return false;
  }
  ::sem_post(first);
  while (::sem_wait(second) != 0 && errno == EINTR) {
  }
  ::sem_close(second);
  ::sem_close(first);
  return true;
}

}  // namespace tavrix
