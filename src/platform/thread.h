// A named worker thread that never outlives its owner: the destructor joins.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/result.h"

namespace tavrix {

// Longest thread name the system keeps (bytes, without the terminator).
inline constexpr size_t kMaxThreadName = 15;

// The name cut to kMaxThreadName bytes, at a UTF-8 character boundary.
std::string ThreadNameFor(std::string_view name);

// Owns at most one running thread at a time. Start, Join and the destructor
// are called by the owner only (not concurrently with each other); Running()
// may be asked from any thread. The body must not throw: an escaping
// exception ends the process, as for any std::thread.
class Thread {
 public:
  Thread() = default;
  // Joins the thread if one was started: the owner waits for the body to
  // return, so the body must be told to stop first.
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts `body` on a new thread named `name` (cut as ThreadNameFor). S_OK
  // on success; E_UNEXPECTED when a thread was started and not yet joined;
  // E_HANDLE when the system cannot create a thread (nothing runs then).
  HRESULT Start(std::string_view name, std::function<void()> body);

  // Waits for the body to return; does nothing when no thread is joinable.
  // Must not be called from the thread itself.
  void Join();

  // True from a successful Start until the body returns.
  bool Running() const { return running_.load(std::memory_order_acquire); }
  // True from a successful Start until Join (or the destructor).
  bool Joinable() const { return thread_.joinable(); }

  const std::string& name() const { return name_; }

 private:
  std::thread thread_;
  std::string name_;
  std::atomic<bool> running_{false};
};

}  // namespace tavrix
