#include "platform/thread.h"

#include <pthread.h>

#include <system_error>
#include <utility>

namespace tavrix {

std::string ThreadNameFor(std::string_view name) {
  if (name.size() <= kMaxThreadName) return std::string(name);
  size_t cut = kMaxThreadName;
  // Back off continuation bytes so that no character is cut in half.
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return std::string(name.substr(0, cut));
}

Thread::~Thread() { Join(); }

HRESULT Thread::Start(std::string_view name, std::function<void()> body) {
  if (thread_.joinable()) return E_UNEXPECTED;
  name_ = ThreadNameFor(name);
  running_.store(true, std::memory_order_release);
  try {
    thread_ = std::thread([this, body = std::move(body), threadName = name_] {
      // A naming failure is harmless: the thread only shows unnamed in tools.
      pthread_setname_np(pthread_self(), threadName.c_str());
      body();
      running_.store(false, std::memory_order_release);
    });
  } catch (const std::system_error&) {
    running_.store(false, std::memory_order_release);
    return E_HANDLE;
  }
  return S_OK;
}

void Thread::Join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace tavrix
