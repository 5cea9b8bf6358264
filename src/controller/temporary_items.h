// The temporary items of one controller: named values that belong to the
// controller but are not read from a device, declared by the trigger
// definitions' temporary-variable list. Trigger nodes read and write them by
// their declared name (without the "*" that marks them in references).
//
// Indexes are negative (-1, -2, ...) so they never collide with the indexes
// of configured items. Names are matched without regard to letter case.
//
// Thread-safe: one lock guards the map and the values. Values are copied in
// and out under it, so a trigger pass and a client never see half a value.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mutex.h"
#include "platform/result.h"
#include "platform/text.h"
#include "platform/variant.h"

namespace tavrix {

class TemporaryItems {
 public:
  TemporaryItems() = default;
  TemporaryItems(const TemporaryItems&) = delete;
  TemporaryItems& operator=(const TemporaryItems&) = delete;

  // Releases every item, then creates one empty item per name, in order
  // (empty names are skipped; a repeated name keeps its first item).
  void Recreate(const std::vector<std::string>& names) EXCLUDES(lock_);
  void ReleaseAll() EXCLUDES(lock_);

  // Whether `name`, without one leading "*", is declared.
  bool Exists(std::string_view name) const EXCLUDES(lock_);
  // A copy of the value of the declared name (no "*"); E_INVALIDARG when
  // there is no such item.
  HRESULT GetValue(std::string_view name, Variant* out) const EXCLUDES(lock_);
  // Stores a copy of `value` (a by-reference value is followed first);
  // E_INVALIDARG when there is no such item.
  HRESULT SetValue(std::string_view name, const Variant& value) EXCLUDES(lock_);
  // The index of the declared name, or 0 when there is none.
  int32_t IndexOf(std::string_view name) const EXCLUDES(lock_);
  size_t size() const EXCLUDES(lock_);

 private:
  struct Entry {
    int32_t index = 0;
    Variant value;
  };
  static std::string_view WithoutStar(std::string_view name);

  mutable Mutex lock_;  // guards entries_ and lastIndex_
  std::map<std::string, Entry, NoCaseLess> entries_ GUARDED_BY(lock_);
  int32_t lastIndex_ GUARDED_BY(lock_) = 0;
};

}  // namespace tavrix
