// LinkWriter: the engine-wide thread that writes link values into items of
// another controller than the item the values come from.
//
// A link observer runs inside its item's notification, on the thread that
// read the item, with the item's lock (versioned projects) and its observer
// list lock held. A write into an item of the same controller is done there
// and then. A write into an item of another controller is posted here instead
// and done on the writer's own thread, which holds no lock of the source. So
// no thread waits for an item lock of one controller while it holds an item
// lock of another through a link, and links that form a cycle across
// controllers (which the link check only warns about) cannot deadlock the two
// sampling threads.
//
// Queue. Each destination item has one LinkTarget, made by the item and shared
// with the queue. A target keeps at most one pending value per link kind: a
// newer value of a kind replaces the pending one and goes behind the target's
// other pending writes. So the memory the queue takes is bounded by the
// number of destinations, the last value of every kind always reaches the
// destination, and a destination gets its writes in the order their values
// came (less those that a later value of the same kind replaced).
// Destinations take turns in the order they first had something pending.
//
// Lifetime. The engine manager owns a writer through its item wiring and
// hands it to the link observers it builds; an observer shares it until its
// item terminates. The thread starts with the first Post and is stopped and
// joined by the destructor, that is when the manager (with its wiring) and
// every link observer have let the writer go; writes still pending then are
// dropped. A destination closes its target when it terminates: its pending
// writes are dropped and a write in progress is waited for, so the writer
// never touches an item after the item's Terminate.
//
// Locks: the writer's queue lock and each target's lock are leaves. Neither
// is held while an item is written, and no item lock is taken under them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/mutex.h"
#include "platform/result.h"
#include "platform/thread_annotations.h"
#include "platform/variant.h"

namespace tavrix {

class CTavrixItem;

// The queued link writes into one destination item.
class LinkTarget {
 public:
  // `item` must stay valid until Close has returned.
  explicit LinkTarget(CTavrixItem& item);
  LinkTarget(const LinkTarget&) = delete;
  LinkTarget& operator=(const LinkTarget&) = delete;

  // Drops the pending writes and accepts no more. Waits for a write into the
  // item that the writer is doing, unless it is called from inside that
  // write (the writer's thread).
  void Close() EXCLUDES(lock_);

  // Writes queued and not yet taken by the writer.
  size_t Pending() const EXCLUDES(lock_);

 private:
  friend class LinkWriter;
  struct Write {
    int32_t kind = 0;
    Variant value;
  };

  mutable Mutex lock_;
  CondVar idle_;  // signalled when a write ends
  CTavrixItem* item_ GUARDED_BY(lock_);  // null once closed
  std::vector<Write> pending_ GUARDED_BY(lock_);  // at most one per kind, in order
  bool queued_ GUARDED_BY(lock_) = false;  // waits for its turn in the writer
  bool writing_ GUARDED_BY(lock_) = false;
  // Whether the next failure is logged; cleared after a failure while the
  // NotRepeatError setting is on.
  bool report_ GUARDED_BY(lock_) = true;
  bool notRepeatError_ GUARDED_BY(lock_) = false;
};

class LinkWriter {
 public:
  LinkWriter();
  // Stops the thread and joins it (on the writer's own thread, when the last
  // owner lets go inside a write, the thread is left to end by itself).
  ~LinkWriter();
  LinkWriter(const LinkWriter&) = delete;
  LinkWriter& operator=(const LinkWriter&) = delete;

  // Queues `value` for the target's item as link kind `kind` (0 value, 1 ID,
  // 2 activation, 3 link activation; the value already converted for the
  // kind, see LinkValueFor in link_observer.h). `notRepeatError` is the
  // setting the writer's failure lines follow. S_OK when queued; S_FALSE
  // when the target is closed (the value is dropped); E_HANDLE when no
  // thread can be started.
  HRESULT Post(const std::shared_ptr<LinkTarget>& target, int32_t kind, Variant value,
               bool notRepeatError);

  // Waits up to `ms` until nothing is queued or being written; true then.
  // Values posted while it waits count too.
  bool WaitIdle(uint32_t ms);

 private:
  struct State;
  static void Run(const std::shared_ptr<State>& state);
  static void WriteTarget(LinkTarget& target);

  // Shared with the thread, which may outlive this object (see ~LinkWriter).
  std::shared_ptr<State> state_;
};

}  // namespace tavrix
