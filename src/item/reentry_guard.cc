#include "item/reentry_guard.h"

#include <algorithm>
#include <vector>

namespace tavrix {
namespace {

// The counters the calling thread has entered, innermost last. Another
// thread's read of the same item is no re-entry: it only waits or runs
// beside this one.
std::vector<const ReentryCounter*>& Entered() {
  thread_local std::vector<const ReentryCounter*> entered;
  return entered;
}

}  // namespace

bool ReentryCounter::Enter() {
  std::vector<const ReentryCounter*>& entered = Entered();
  const bool reentered = std::find(entered.begin(), entered.end(), this) != entered.end();
  entered.push_back(this);
  count_.fetch_add(1, std::memory_order_acq_rel);
  return reentered;
}

void ReentryCounter::Leave() {
  count_.fetch_sub(1, std::memory_order_acq_rel);
  std::vector<const ReentryCounter*>& entered = Entered();
  const auto it = std::find(entered.rbegin(), entered.rend(), this);
  if (it != entered.rend()) entered.erase(std::next(it).base());
}

bool ReentryCounter::BusyOnThisThread() const {
  const std::vector<const ReentryCounter*>& entered = Entered();
  return std::find(entered.begin(), entered.end(), this) != entered.end();
}

}  // namespace tavrix
