#include "item/adviser.h"

#include <algorithm>

namespace tavrix {

void CTavrixAdviser::Attach(CTavrixObserver* observer) {
  SmallRecursiveMutexLock lock(&lock_);
  observers_.push_back(observer);
}

void CTavrixAdviser::Detach(CTavrixObserver* observer) {
  SmallRecursiveMutexLock lock(&lock_);
  const auto it = std::find(observers_.begin(), observers_.end(), observer);
  if (it != observers_.end()) observers_.erase(it);
}

void CTavrixAdviser::Notify(const Variant& value) {
  SmallRecursiveMutexLock lock(&lock_);
  // By position: an observer running on this thread may attach or detach.
  for (size_t i = 0; i < observers_.size(); ++i) (void)observers_[i]->Update(value);
}

size_t CTavrixAdviser::ObserverCount() const {
  SmallRecursiveMutexLock lock(&lock_);
  return observers_.size();
}

}  // namespace tavrix
