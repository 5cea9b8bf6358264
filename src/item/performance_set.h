// Performance records: 100 records of 13 words, filled one per sampling cycle
// after a reset until all are used. Words 0..11 are millisecond tick stamps of
// the steps of a cycle (the controller's set) or of an item's read pass (each
// item's set), word 12 the completion mark.
//
// The owner advances and resets a set under its performance lock; stamps come
// from the threads that run the steps without a lock. Words and index are
// therefore relaxed atomics: a stamp racing with a reset lands in a record that
// the reset zeroes or keeps, never in freed or torn memory.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace tavrix {

class PerformanceSet {
 public:
  static constexpr int32_t kRecords = 100;
  static constexpr int kWords = 13;
  static constexpr int kCompleteWord = 12;
  using Record = std::array<uint32_t, kWords>;

  // A copy of the set for a reader. Collection has ended when the index has
  // reached the record count.
  struct Snapshot {
    int32_t index = -1;
    std::vector<Record> records;
  };

  PerformanceSet() { Reset(); }
  PerformanceSet(const PerformanceSet&) = delete;
  PerformanceSet& operator=(const PerformanceSet&) = delete;

  // Zeroes every record; collection starts again with the next Advance.
  void Reset();
  // The start of a cycle: moves to the next record while some are left.
  void Advance() {
    const int32_t index = index_.load(std::memory_order_relaxed);
    if (index < kRecords) index_.store(index + 1, std::memory_order_relaxed);
  }
  // Writes `tick` into `word` of the current record, when collection runs.
  void Stamp(int word, uint32_t tick) {
    const int32_t index = index_.load(std::memory_order_relaxed);
    if (index >= 0 && index < kRecords) {
      records_[index][word].store(tick, std::memory_order_relaxed);
    }
  }
  void Complete() { Stamp(kCompleteWord, 1); }

  int32_t index() const { return index_.load(std::memory_order_relaxed); }
  Snapshot Read() const;

 private:
  std::array<std::array<std::atomic<uint32_t>, kWords>, kRecords> records_;
  std::atomic<int32_t> index_{-1};
};

}  // namespace tavrix
