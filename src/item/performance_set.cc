#include "item/performance_set.h"

namespace tavrix {

void PerformanceSet::Reset() {
  for (auto& record : records_) {
    for (auto& word : record) word.store(0, std::memory_order_relaxed);
  }
  index_.store(-1, std::memory_order_relaxed);
}

PerformanceSet::Snapshot PerformanceSet::Read() const {
  Snapshot out;
  out.index = index();
  out.records.resize(kRecords);
  for (int32_t r = 0; r < kRecords; ++r) {
    for (int w = 0; w < kWords; ++w) {
      out.records[r][w] = records_[r][w].load(std::memory_order_relaxed);
    }
  }
  return out;
}

}  // namespace tavrix
