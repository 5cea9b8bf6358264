// Performance records of sampling cycles: 100 records of 13 words, filled
// one per cycle after a reset until all are used. Words 0..11 are
// millisecond tick stamps of the cycle's steps, word 12 the completion mark.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tavrix {

class PerformanceSet {
 public:
  static constexpr int32_t kRecords = 100;
  static constexpr int kWords = 13;
  static constexpr int kCompleteWord = 12;
  using Record = std::array<uint32_t, kWords>;

  PerformanceSet() : records_(kRecords) {}

  // Zeroes every record; collection starts again with the next Advance.
  void Reset();
  // The start of a cycle: moves to the next record while some are left.
  void Advance() {
    if (index_ < kRecords) ++index_;
  }
  // Writes `tick` into `word` of the current record, when collection runs.
  void Stamp(int word, uint32_t tick) {
    if (index_ >= 0 && index_ < kRecords) records_[index_][word] = tick;
  }
  void Complete() { Stamp(kCompleteWord, 1); }

  int32_t index() const { return index_; }
  bool completed() const { return index_ >= kRecords; }
  const std::vector<Record>& records() const { return records_; }

 private:
  std::vector<Record> records_;
  int32_t index_ = -1;
};

}  // namespace tavrix
