#include "item/link_writer.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <system_error>
#include <thread>
#include <utility>

#include "item/item.h"
#include "item/link_observer.h"
#include "platform/log.h"

namespace tavrix {
namespace {

// The target whose write runs on this thread (the writer's), so that the
// target's Close from inside that write does not wait for itself.
constinit thread_local const LinkTarget* t_writing = nullptr;

}  // namespace

// --- LinkTarget ------------------------------------------------------------------

LinkTarget::LinkTarget(CTavrixItem& item) : item_(&item) {}

void LinkTarget::Close() {
  std::vector<Write> dropped;
  {
    MutexLock lock(&lock_);
    item_ = nullptr;
    dropped.swap(pending_);
    if (t_writing != this) {
      while (writing_) idle_.Wait(&lock_);
    }
  }
  // The values go outside the lock.
}

size_t LinkTarget::Pending() const {
  MutexLock lock(&lock_);
  return pending_.size();
}

// --- LinkWriter ------------------------------------------------------------------

struct LinkWriter::State {
  Mutex lock;
  CondVar wake;  // a target's turn, or the stop
  CondVar idle;  // nothing queued and nothing written
  std::deque<std::shared_ptr<LinkTarget>> turns GUARDED_BY(lock);
  bool busy GUARDED_BY(lock) = false;  // the thread writes a target
  bool stop GUARDED_BY(lock) = false;
  std::thread thread GUARDED_BY(lock);
};

LinkWriter::LinkWriter() : state_(std::make_shared<State>()) {}

LinkWriter::~LinkWriter() {
  std::thread thread;
  {
    MutexLock lock(&state_->lock);
    state_->stop = true;
    thread = std::move(state_->thread);
  }
  state_->wake.SignalAll();
  if (!thread.joinable()) return;
  if (thread.get_id() == std::this_thread::get_id()) {
    // The last owner let go inside a write: the thread ends after it, on the
    // state it shares.
    thread.detach();
  } else {
    thread.join();
  }
}

HRESULT LinkWriter::Post(const std::shared_ptr<LinkTarget>& target, int32_t kind, Variant value,
                         bool notRepeatError) {
  bool firstPending = false;
  {
    MutexLock lock(&target->lock_);
    if (target->item_ == nullptr) return S_FALSE;
    auto& pending = target->pending_;
    pending.erase(std::remove_if(pending.begin(), pending.end(),
                                 [kind](const LinkTarget::Write& w) { return w.kind == kind; }),
                  pending.end());
    pending.push_back(LinkTarget::Write{kind, std::move(value)});
    target->notRepeatError_ = notRepeatError;
    firstPending = !target->queued_;
    target->queued_ = true;
  }
  if (!firstPending) return S_OK;  // its turn is already queued

  State& s = *state_;
  {
    MutexLock lock(&s.lock);
    if (s.stop) return S_FALSE;
    s.turns.push_back(target);
    if (!s.thread.joinable()) {
      try {
        s.thread = std::thread([state = state_] { Run(state); });
      } catch (const std::system_error&) {
        s.turns.pop_back();
        lock.Unlock();
        MutexLock targetLock(&target->lock_);
        target->pending_.clear();
        target->queued_ = false;
        return E_HANDLE;
      }
    }
  }
  s.wake.Signal();
  return S_OK;
}

bool LinkWriter::WaitIdle(uint32_t ms) {
  State& s = *state_;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  MutexLock lock(&s.lock);
  while (!s.turns.empty() || s.busy) {
    if (!s.idle.WaitUntil(&s.lock, deadline)) return s.turns.empty() && !s.busy;
  }
  return true;
}

void LinkWriter::Run(const std::shared_ptr<State>& state) {
  State& s = *state;
  for (;;) {
    std::shared_ptr<LinkTarget> target;
    {
      MutexLock lock(&s.lock);
      s.busy = false;
      while (s.turns.empty() && !s.stop) {
        s.idle.SignalAll();
        s.wake.Wait(&s.lock);
      }
      if (s.stop) {
        s.idle.SignalAll();
        return;
      }
      target = std::move(s.turns.front());
      s.turns.pop_front();
      s.busy = true;
    }
    WriteTarget(*target);
  }
}

void LinkWriter::WriteTarget(LinkTarget& target) {
  std::vector<LinkTarget::Write> writes;
  CTavrixItem* item = nullptr;
  bool report = true;
  bool notRepeatError = false;
  {
    MutexLock lock(&target.lock_);
    target.queued_ = false;
    if (target.item_ == nullptr) return;
    writes.swap(target.pending_);
    item = target.item_;
    target.writing_ = true;
    report = target.report_;
    notRepeatError = target.notRepeatError_;
  }
  // Close waits while writing_ is set, so the item stays valid meanwhile.
  t_writing = &target;
  for (const LinkTarget::Write& write : writes) {
    const HRESULT hr = PutLinkValue(*item, write.kind, write.value);
    if (FAILED(hr) && report) {
      Log(1, "TavrixLinkObserver[%ls] : Failed in updating the linked destination.\n",
          item->name());
    }
    report = SUCCEEDED(hr) || !notRepeatError;
    MutexLock lock(&target.lock_);
    if (target.item_ == nullptr) break;  // closed meanwhile: the rest is dropped
  }
  t_writing = nullptr;
  writes.clear();
  {
    MutexLock lock(&target.lock_);
    target.report_ = report;
    target.writing_ = false;
  }
  target.idle_.SignalAll();
}

}  // namespace tavrix
