#include "controller/trigger_performance.h"

namespace tavrix {

void TriggerPerformance::Reset() {
  {
    MutexLock lock(&lock_);
    if (!records_) {
      records_ = std::make_unique<std::array<PassRecord, kRecords>>();
    } else {
      for (PassRecord& record : *records_) record = PassRecord{};
    }
    index_ = -1;
    collecting_.store(true, std::memory_order_relaxed);
  }
  MutexLock lock(&asyncLock_);
  async_.clear();
}

void TriggerPerformance::BeginPass(int32_t mode) {
  if (!Collecting()) return;  // every cycle asks; most find nothing to do
  MutexLock lock(&lock_);
  if (!records_) return;
  if (index_ < kRecords) ++index_;
  if (index_ >= 0 && index_ < kRecords) {
    (*records_)[index_].mode = mode;
  } else {
    collecting_.store(false, std::memory_order_relaxed);
  }
}

bool TriggerPerformance::Record(const TriggerMeasurement& measurement) {
  if (!Collecting()) return false;
  MutexLock lock(&lock_);
  if (!records_ || index_ < 0 || index_ >= kRecords) return false;
  (*records_)[index_].nodes.push_back(measurement);
  return true;
}

bool TriggerPerformance::Read(Snapshot* out) const {
  MutexLock lock(&lock_);
  if (!records_) return false;
  out->index = index_;
  out->records.assign(records_->begin(), records_->end());
  return true;
}

void TriggerPerformance::RecordAsync(const std::string& name, uint32_t rowId, uint32_t startTick,
                                     uint32_t endTick) {
  {
    // Kept only while a collection runs, so a server that nobody measures
    // does not gather records for months.
    if (!Collecting()) return;
    MutexLock lock(&lock_);
    if (!records_ || index_ < 0 || index_ >= kRecords) return;
  }
  MutexLock lock(&asyncLock_);
  if (async_.size() >= kMaxAsyncRecords) return;
  async_.push_back(AsyncPerformanceRecord{name, {rowId, startTick, endTick}});
}

std::vector<AsyncPerformanceRecord> TriggerPerformance::AsyncRecords() const {
  MutexLock lock(&asyncLock_);
  return async_;
}

}  // namespace tavrix
