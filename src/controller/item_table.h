// The items of one controller, by index and by name. The index is the
// item's place in the sampling order; a name is found without regard to case.
// Slots of removed items stay empty until a new item takes the lowest one.
//
// Not thread-safe: the controller's items lock guards the table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "item/item.h"
#include "platform/ref.h"
#include "platform/text.h"

namespace tavrix {

class ItemTable {
 public:
  // The index the next Add takes: the lowest empty slot, else one past the
  // last.
  int32_t NextIndex() const { return static_cast<int32_t>(firstFree_); }
  // Places `item` at `index` (from NextIndex). An item whose name is taken
  // is placed but not found by name: the first of a name wins.
  void Add(int32_t index, Ref<CTavrixItem> item);
  Ref<CTavrixItem> Find(std::string_view name) const;
  // Empties the table, handing every item to `released` in index order.
  void Clear(std::vector<Ref<CTavrixItem>>* released);

  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // Slots in index order, for walking the items without copying them: a
  // slot may be empty. The walk may not add or remove items.
  size_t slotCount() const { return slots_.size(); }
  CTavrixItem* slot(size_t i) const { return slots_[i].get(); }

  template <typename Fn>
  void ForEach(Fn&& fn) const {
    for (const Ref<CTavrixItem>& item : slots_) {
      if (item) fn(item);
    }
  }

 private:
  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view name) const { return NoCaseHash{}(name); }
    size_t operator()(const CTavrixItem* item) const { return NoCaseHash{}(item->name()); }
  };
  struct NameEqual {
    using is_transparent = void;
    static std::string_view Of(std::string_view name) { return name; }
    static std::string_view Of(const CTavrixItem* item) { return item->name(); }
    template <typename A, typename B>
    bool operator()(const A& a, const B& b) const {
      return EqualsNoCase(Of(a), Of(b));
    }
  };

  std::vector<Ref<CTavrixItem>> slots_;
  size_t count_ = 0;
  size_t firstFree_ = 0;
  // The slots' items by name; the slots own them.
  std::unordered_set<const CTavrixItem*, NameHash, NameEqual> byName_;
};

}  // namespace tavrix
