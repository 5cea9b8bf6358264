#include "platform/main_queue.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace tavrix {
namespace {

// The write end of the process queue's pipe, for the signal handler.
std::atomic<int> g_signalFd{-1};

void OnStopSignal(int) {
  const int saved = errno;
  const int fd = g_signalFd.load(std::memory_order_relaxed);
  if (fd >= 0) {
    const char q = 'q';
    (void)!::write(fd, &q, 1);
  }
  errno = saved;
}

}  // namespace

MainQueue& MainQueue::Instance() {
  static MainQueue queue;
  return queue;
}

MainQueue::MainQueue() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    readFd_ = fds[0];
    writeFd_ = fds[1];
  }
}

MainQueue::~MainQueue() {
  if (g_signalFd.load() == writeFd_) g_signalFd.store(-1);
  if (readFd_ >= 0) ::close(readFd_);
  if (writeFd_ >= 0) ::close(writeFd_);
}

HRESULT MainQueue::CatchStopSignals() {
  if (writeFd_ < 0) return E_FAIL;
  g_signalFd.store(writeFd_);
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  if (::sigaction(SIGTERM, &sa, nullptr) != 0 || ::sigaction(SIGINT, &sa, nullptr) != 0) {
    return E_FAIL;
  }
  return S_OK;
}

void MainQueue::Wake() {
  const char m = 'm';
  // A full pipe already holds a wake-up; the loop drains every queued message.
  (void)!::write(writeFd_, &m, 1);
}

bool MainQueue::Post(const MainMessage& message) {
  if (writeFd_ < 0) return false;
  {
    std::lock_guard lock(mutex_);
    messages_.push_back(message);
  }
  Wake();
  return true;
}

void MainQueue::PostQuit() {
  if (writeFd_ < 0) return;
  const char q = 'q';
  (void)!::write(writeFd_, &q, 1);
}

HRESULT MainQueue::Run(const std::function<void(const MainMessage&)>& handler) {
  if (readFd_ < 0) return E_FAIL;
  for (;;) {
    pollfd pfd{readFd_, POLLIN, 0};
    if (::poll(&pfd, 1, -1) < 0) {
      if (errno == EINTR) continue;
      return E_FAIL;
    }
    char buf[64];
    const ssize_t n = ::read(readFd_, buf, sizeof buf);
    if (n <= 0) continue;
    bool quit = false;
    for (ssize_t i = 0; i < n; ++i) quit = quit || buf[i] == 'q';
    // Messages posted before the quit are handled first.
    for (;;) {
      MainMessage message;
      {
        std::lock_guard lock(mutex_);
        if (messages_.empty()) break;
        message = messages_.front();
        messages_.pop_front();
      }
      handler(message);
    }
    if (quit) return S_OK;
  }
}

}  // namespace tavrix
