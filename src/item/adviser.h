// The observer side of an item: CTavrixAdviser, the subject every item is,
// and CTavrixObserver, the base of whatever watches an item's changes (the
// link observer, the change observer, the legacy trigger observer).
#pragma once

#include <cstddef>
#include <vector>

#include "platform/result.h"
#include "platform/small_lock.h"
#include "platform/variant.h"

namespace tavrix {

class CTavrixObserver {
 public:
  virtual ~CTavrixObserver() = default;
  // The subject's new value; the result is the observer's own (Notify ignores it).
  virtual HRESULT Update(const Variant& value) = 0;
  // The value the observer stands for (the value of a reference item, which a
  // link observer builds from its destinations); E_NOTIMPL for other observers.
  virtual HRESULT Value(Variant* out) {
    (void)out;
    return E_NOTIMPL;
  }
};

// An ordered list of observers. The list does not own them: whoever attaches
// an observer detaches it before destroying it.
class CTavrixAdviser {
 public:
  CTavrixAdviser() = default;
  CTavrixAdviser(const CTavrixAdviser&) = delete;
  CTavrixAdviser& operator=(const CTavrixAdviser&) = delete;

  // Appends the observer (the same one may be attached twice).
  void Attach(CTavrixObserver* observer);
  // Removes the first occurrence; nothing when it is not attached.
  void Detach(CTavrixObserver* observer);
  // Calls Update(value) of every observer in attachment order, holding the
  // list lock throughout, so an observer is never detached while it runs.
  // Observers run on the calling thread and may read and write other items.
  void Notify(const Variant& value);
  size_t ObserverCount() const;

 private:
  // Guards observers_. Recursive: an observer may, through links, reach a
  // write of this very item, which attaches nothing but may notify again
  // (Notify re-entered on the same thread, inside the first Notify's hold).
  mutable SmallRecursiveMutex lock_;
  std::vector<CTavrixObserver*> observers_ GUARDED_BY(lock_);
};

}  // namespace tavrix
