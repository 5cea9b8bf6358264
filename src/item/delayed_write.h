// The delayed writes of one item (ValueEx put): each write waits on a thread
// of its own for its delay and then writes its value. Records are taken
// oldest first; writes with different delays may complete in another order.
//
// Cancel ends them all: pending values are dropped, sleeping threads wake
// and end without writing, a write already running is waited for, and no
// later write is accepted. After Cancel returns, no thread of this object
// touches the item again.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <string>
#include <thread>

#include "platform/mutex.h"
#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix {

class DelayedWrites {
 public:
  // `write` performs one write (the item's Value put); `itemName` names the
  // item in log lines.
  DelayedWrites(std::string itemName, std::function<HRESULT(const Variant&)> write);
  // Cancels and joins, as Cancel does.
  ~DelayedWrites();
  DelayedWrites(const DelayedWrites&) = delete;
  DelayedWrites& operator=(const DelayedWrites&) = delete;

  // Queues `value` to be written after `delayMs` on a new thread. S_OK;
  // E_HANDLE (0x80070006, logged) when no thread can be started; E_ABORT
  // after Cancel.
  HRESULT Schedule(uint32_t delayMs, const Variant& value) EXCLUDES(lock_);

  // Drops every queued value (oldest first), wakes and joins every thread.
  // Must not be called from inside a delayed write of this object.
  void Cancel() EXCLUDES(lock_);

  // Values queued and not yet taken by their thread (for tests).
  size_t Queued() const EXCLUDES(lock_);

 private:
  struct Record {
    uint64_t id;
    uint32_t delayMs;
    Variant value;
  };
  struct Worker {
    std::thread thread;
    bool done = false;  // written and read under the object's lock_
  };

  void Body(Worker* self) EXCLUDES(lock_);
  // Joins the workers that have ended.
  void ReapEnded() EXCLUDES(lock_);

  const std::string itemName_;
  const std::function<HRESULT(const Variant&)> write_;

  // Guards the queue, the workers and the flags below. Never held while a
  // write runs (a write takes the item's locks) or while a thread is joined.
  mutable Mutex lock_;
  CondVar wake_;                                  // signalled by Cancel
  std::deque<Record> records_ GUARDED_BY(lock_);  // queued, oldest first
  std::list<Worker> workers_ GUARDED_BY(lock_);   // started and not yet joined
  uint64_t nextId_ GUARDED_BY(lock_) = 0;
  bool cancelled_ GUARDED_BY(lock_) = false;
};

}  // namespace tavrix
