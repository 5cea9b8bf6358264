#include "controller/item_table.h"

#include <utility>

namespace tavrix {

void ItemTable::Add(int32_t index, Ref<CTavrixItem> item) {
  const auto at = static_cast<size_t>(index);
  if (at >= slots_.size()) slots_.resize(at + 1);
  byName_.insert(item.get());
  slots_[at] = std::move(item);
  ++count_;
  while (firstFree_ < slots_.size() && slots_[firstFree_]) ++firstFree_;
}

Ref<CTavrixItem> ItemTable::Find(std::string_view name) const {
  const auto it = byName_.find(name);
  return it == byName_.end() ? Ref<CTavrixItem>() : Ref<CTavrixItem>(const_cast<CTavrixItem*>(*it));
}

void ItemTable::Clear(std::vector<Ref<CTavrixItem>>* released) {
  byName_.clear();
  for (Ref<CTavrixItem>& item : slots_) {
    if (item) released->push_back(std::move(item));
  }
  slots_.clear();
  count_ = 0;
  firstFree_ = 0;
}

}  // namespace tavrix
