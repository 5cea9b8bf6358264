// The temporary items of one controller: named values that belong to the
// controller but are not read from a device, declared by the trigger
// definitions' temporary-variable list. Trigger nodes read and write them by
// their declared name (without the "*" that marks them in references);
// clients reach the items themselves (temporary_item.h) by name or index.
//
// Indexes are negative (-1, -2, ...) so they never collide with the indexes
// of configured items, and are never given twice. Names are matched without
// regard to letter case.
//
// The maps hold one reference to each item. An item handed out holds one of
// its own, so a client's item outlives ReleaseAll and Recreate, but it is no
// longer found by name or index and its value is no longer the controller's.
//
// Thread-safe. lock_ guards the maps only and is a leaf; each item's value
// has its own lock, taken after lock_ has been let go, so copying values
// never holds the maps and no two of these locks are ever held together.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "controller/temporary_item.h"
#include "platform/mutex.h"
#include "platform/ref.h"
#include "platform/result.h"
#include "platform/text.h"
#include "platform/variant.h"

namespace tavrix {

class TemporaryItems {
 public:
  TemporaryItems() = default;
  TemporaryItems(const TemporaryItems&) = delete;
  TemporaryItems& operator=(const TemporaryItems&) = delete;

  // The owning controller's name, which new items carry, and whether the
  // project has temporary items at all (version 1.4 or later). Until it is
  // called GetTemporaryItem answers E_NOTIMPL.
  void Configure(std::string controllerName, bool enabled) EXCLUDES(lock_);

  // Releases every item, then creates one empty item per name, in order
  // (empty names are skipped; a repeated name keeps its first item). The
  // controller calls it only in projects that have temporary items.
  void Recreate(const std::vector<std::string>& names) EXCLUDES(lock_);
  void ReleaseAll() EXCLUDES(lock_);

  // Whether `name`, without one leading "*", is declared.
  bool Exists(std::string_view name) const EXCLUDES(lock_);
  // A copy of the value of the declared name (no "*"); E_INVALIDARG unless
  // Exists(name) and the name is declared as given.
  HRESULT GetValue(std::string_view name, Variant* out) const EXCLUDES(lock_);
  // Stores a copy of `value`, a by-reference value followed first, without
  // a type check; E_INVALIDARG as for GetValue.
  HRESULT SetValue(std::string_view name, const Variant& value) EXCLUDES(lock_);
  // The index of `name`, without one leading "*", or 0 when there is none.
  int32_t IndexOf(std::string_view name) const EXCLUDES(lock_);
  size_t size() const EXCLUDES(lock_);

  // The item of the declared name (no "*"). When there is none: with
  // `create` a new empty item is entered and returned, otherwise
  // E_INVALIDARG. E_NOTIMPL, and nothing is made, in a project without
  // temporary items (see Configure).
  HRESULT GetTemporaryItem(std::string_view name, bool create, Ref<CTavrixTemporaryItem>* out)
      EXCLUDES(lock_);
  // The item with `index`; E_INVALIDARG when there is none.
  HRESULT ItemByIndex(int32_t index, Ref<CTavrixTemporaryItem>* out) const EXCLUDES(lock_);

 private:
  using NameMap = std::map<std::string, Ref<CTavrixTemporaryItem>, NoCaseLess>;
  using IndexMap = std::map<int32_t, Ref<CTavrixTemporaryItem>>;

  static std::string_view WithoutStar(std::string_view name);
  // The item GetValue and SetValue work on, or null.
  Ref<CTavrixTemporaryItem> FindForValue(std::string_view name) const EXCLUDES(lock_);
  // Enters a new item for `name` (not in the maps) and returns it.
  Ref<CTavrixTemporaryItem> AddLocked(std::string_view name) REQUIRES(lock_);

  mutable Mutex lock_;  // guards the maps and the configuration (a leaf)
  NameMap byName_ GUARDED_BY(lock_);
  IndexMap byIndex_ GUARDED_BY(lock_);
  std::string controllerName_ GUARDED_BY(lock_);
  bool enabled_ GUARDED_BY(lock_) = false;
  std::atomic<int32_t> lastIndex_{0};  // decremented before each creation
};

}  // namespace tavrix
