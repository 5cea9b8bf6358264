// The main thread's event queue: the stand-in for the thread message queue a
// Windows main thread runs. Any thread posts; the main thread runs the loop
// until the quit message. SIGTERM and SIGINT post the quit message through a
// self-pipe, so a stop that arrives before the loop runs waits in the queue.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/result.h"

namespace tavrix {

struct MainMessage {
  uint32_t id = 0;
  uintptr_t wparam = 0;
  uintptr_t lparam = 0;
};

// The first application message (the DDE advise notification).
inline constexpr uint32_t kMainMessageDdeAdvise = 0x8001;

class MainQueue {
 public:
  // The process's queue. Its pipe is made on first use.
  static MainQueue& Instance();

  MainQueue();
  ~MainQueue();
  MainQueue(const MainQueue&) = delete;
  MainQueue& operator=(const MainQueue&) = delete;

  // Makes SIGTERM and SIGINT post the quit message (instead of ending the
  // process). E_FAIL when the handlers cannot be installed.
  HRESULT CatchStopSignals();

  // Queues a message; safe from any thread. False when the queue is broken
  // (its pipe could not be made).
  bool Post(const MainMessage& message);
  // Queues the quit message; safe from any thread and from a signal handler.
  void PostQuit();

  // Runs on the main thread: hands every message to `handler` in the order
  // posted until the quit message, which ends the loop (messages posted
  // after it stay queued). Returns S_OK, or E_FAIL when the queue is broken.
  HRESULT Run(const std::function<void(const MainMessage&)>& handler);

 private:
  void Wake();

  int readFd_ = -1;  // the self-pipe: one byte per wake-up ('m' message, 'q' quit)
  int writeFd_ = -1;
  std::mutex mutex_;                // guards messages_
  std::deque<MainMessage> messages_;
};

}  // namespace tavrix
