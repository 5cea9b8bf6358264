#include <pthread.h>

#include <system_error>

#include "controller/controller.h"
#include "platform/thread.h"

namespace tavrix {

ControllerThread::~ControllerThread() {
  if (!thread_.joinable()) return;
  // A thread that ends by releasing its controller destroys its own holder:
  // it cannot wait for itself, so it goes on alone (it is about to return).
  if (IsCurrent()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

HRESULT ControllerThread::Start(std::string_view name, std::function<void()> body) {
  if (thread_.joinable()) return E_UNEXPECTED;
  ended_.Reset();
  try {
    thread_ = std::thread([this, name = ThreadNameFor(name), body = std::move(body)] {
      pthread_setname_np(pthread_self(), name.c_str());
      body();
      ended_.Set();
    });
  } catch (const std::system_error&) {
    ended_.Set();
    return E_HANDLE;
  }
  return S_OK;
}

WaitStatus ControllerThread::Wait(uint32_t ms) {
  if (!thread_.joinable()) return WaitStatus::kSignaled;
  if (ended_.Wait(ms) != WaitStatus::kSignaled) return WaitStatus::kTimedOut;
  if (IsCurrent()) return WaitStatus::kSignaled;
  thread_.join();
  return WaitStatus::kSignaled;
}

}  // namespace tavrix
