// The step stamps of one read pass: millisecond ticks into the item's current
// performance record, or nothing at all when the item does not measure.
#pragma once

#include "item/performance_set.h"
#include "platform/clock.h"

namespace tavrix {

class PassStamps {
 public:
  explicit PassStamps(PerformanceSet* set) : set_(set) {}

  // Stamps `word`, and `word + 1` with the same tick when `pair`.
  void At(int word, bool pair = false) const {
    if (!set_) return;
    const uint32_t tick = SystemClock().TickCount();
    set_->Stamp(word, tick);
    if (pair) set_->Stamp(word + 1, tick);
  }
  void Complete() const {
    if (set_) set_->Complete();
  }

 private:
  PerformanceSet* set_;
};

}  // namespace tavrix
