// NamedList: the items of a Zelt collection, in order of addition, found by
// name (without regard to case) or by 0-based position. Thread-safe; the
// collection objects and their owners share one list.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/convert.h"
#include "platform/enumerator.h"
#include "platform/ref.h"
#include "platform/text.h"
#include "platform/variant.h"

namespace tavrix {

// T is an object class with `const std::string& name() const` and a single
// path to IDispatch.
template <class T>
class NamedList {
 public:
  // The item named `name`, or null.
  Ref<T> Find(std::string_view name) const {
    std::lock_guard lock(mutex_);
    auto it = byName_.find(name);
    return it == byName_.end() ? Ref<T>() : it->second;
  }

  // Adds `item` unless an item of its name is there; returns that item then
  // (and `item` is not added), null when `item` was added.
  Ref<T> AddOrGet(const Ref<T>& item) {
    std::lock_guard lock(mutex_);
    auto [it, added] = byName_.try_emplace(item->name(), item);
    if (!added) return it->second;
    items_.push_back(item);
    return {};
  }

  // Removes the first item `pred` accepts and returns it (the caller drops it
  // outside the lock), or null.
  template <class Pred>
  Ref<T> RemoveIf(Pred pred) {
    std::lock_guard lock(mutex_);
    for (auto it = items_.begin(); it != items_.end(); ++it) {
      if (!pred(**it)) continue;
      Ref<T> removed = std::move(*it);
      items_.erase(it);
      byName_.erase(removed->name());
      return removed;
    }
    return {};
  }

  int32_t Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int32_t>(items_.size());
  }

  // By name when `index` is a text, else by position (converted to I4).
  // DISP_E_BADINDEX when there is no such item, DISP_E_TYPEMISMATCH for an
  // index that is neither, E_POINTER for a null out.
  HRESULT Item(const Variant& index, Ref<T>* out) const {
    if (out == nullptr) return E_POINTER;
    const Variant& key = index.Deref();
    if (key.IsText()) {
      Ref<T> found = Find(key.text());
      if (!found) return DISP_E_BADINDEX;
      *out = std::move(found);
      return S_OK;
    }
    Variant position;
    const HRESULT hr = ChangeType(key, VT_I4, &position);
    if (hr.failed()) return hr == DISP_E_OVERFLOW ? DISP_E_BADINDEX : DISP_E_TYPEMISMATCH;
    std::lock_guard lock(mutex_);
    if (position.i4() < 0 || static_cast<size_t>(position.i4()) >= items_.size()) {
      return DISP_E_BADINDEX;
    }
    *out = items_[static_cast<size_t>(position.i4())];
    return S_OK;
  }

  std::vector<Ref<T>> Snapshot() const {
    std::lock_guard lock(mutex_);
    return items_;
  }

  // The VT_UNKNOWN enumerator over the items as dispatch objects.
  Variant NewEnum() const {
    std::vector<Variant> values;
    for (const Ref<T>& item : Snapshot()) {
      values.push_back(Variant::Dispatch(Ref<IDispatch>(static_cast<IDispatch*>(item.get()))));
    }
    return NewEnumVariant(std::move(values));
  }

 private:
  mutable std::mutex mutex_;  // guards items_ and byName_; no other lock is taken under it
  std::vector<Ref<T>> items_;
  std::unordered_map<std::string, Ref<T>, NoCaseHash, NoCaseEqual> byName_;
};

}  // namespace tavrix
