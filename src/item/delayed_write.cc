#include "item/delayed_write.h"

#include <chrono>
#include <system_error>
#include <vector>

#include "platform/log.h"

namespace tavrix {

DelayedWrites::DelayedWrites(std::string itemName, std::function<HRESULT(const Variant&)> write)
    : itemName_(std::move(itemName)), write_(std::move(write)) {}

DelayedWrites::~DelayedWrites() { Cancel(); }

HRESULT DelayedWrites::Schedule(uint32_t delayMs, const Variant& value) {
  ReapEnded();
  {
    MutexLock lock(&lock_);
    if (cancelled_) return E_ABORT;
    // The record goes in before its thread starts, so the thread always finds
    // one to take.
    const uint64_t id = nextId_++;
    records_.push_back(Record{id, delayMs, value});
    Worker& worker = workers_.emplace_back();
    try {
      worker.thread = std::thread([this, w = &worker] { Body(w); });
      return S_OK;
    } catch (const std::system_error&) {
      workers_.pop_back();
      for (auto it = records_.begin(); it != records_.end(); ++it) {
        if (it->id == id) {
          records_.erase(it);
          break;
        }
      }
    }
  }
  LogResult(E_FAIL, 1, "TavrixItem[%ls] :Failed put_ValueEx.\n", itemName_);
  return E_HANDLE;
}

void DelayedWrites::Body(Worker* self) {
  MutexLock lock(&lock_);
  if (records_.empty()) {
    // Cancel took the record first.
    self->done = true;
    if (!cancelled_) Log(1, "TavrixItem[%ls] : Failed put_ValueEx.\n", itemName_);
    return;
  }
  Record record = std::move(records_.front());
  records_.pop_front();
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(record.delayMs);
  while (!cancelled_ && wake_.WaitUntil(&lock_, deadline)) {
  }
  if (!cancelled_) {
    lock.Unlock();
    const HRESULT hr = write_(record.value);
    if (FAILED(hr)) LogResult(hr, 1, "TavrixItem[%ls] : Failed put_ValueEx.\n", itemName_);
    record.value.Clear();
    lock.Lock();
  }
  self->done = true;
}

void DelayedWrites::ReapEnded() {
  std::list<Worker> ended;
  {
    MutexLock lock(&lock_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      auto next = std::next(it);
      if (it->done) ended.splice(ended.end(), workers_, it);
      it = next;
    }
  }
  for (Worker& w : ended) w.thread.join();
}

void DelayedWrites::Cancel() {
  std::list<Worker> all;
  {
    MutexLock lock(&lock_);
    cancelled_ = true;
    records_.clear();
    all.splice(all.end(), workers_);
  }
  wake_.SignalAll();
  for (Worker& w : all) {
    if (w.thread.joinable()) w.thread.join();
  }
}

size_t DelayedWrites::Queued() const {
  MutexLock lock(&lock_);
  return records_.size();
}

}  // namespace tavrix
