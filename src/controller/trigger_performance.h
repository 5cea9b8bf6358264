// A controller's trigger performance records: which nodes ran in each of
// the first 100 trigger passes after a reset, and when; and the completions
// of asynchronous inserts, which come later from insert threads.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/mutex.h"

namespace tavrix {

// One measured execution of a trigger node.
struct TriggerMeasurement {
  std::string idPath;
  uint32_t executionCount = 0;
  uint32_t startTick = 0;
  uint32_t endTick = 0;
  std::string fullName;
  int32_t number = 0;
  bool last = false;  // the 101st measured execution since the root's last run
};

// Where a tree's measured executions go.
class ITriggerRecorder {
 public:
  virtual ~ITriggerRecorder() = default;
  // Whether records are taken now; when not, trees skip measuring (no clock
  // reads, no record built). Lock-free: asked for every measured node.
  virtual bool Collecting() const = 0;
  // Whether the record was taken.
  virtual bool Record(const TriggerMeasurement& measurement) = 0;
};

// A completed asynchronous insert: the action's identifier path, and the
// row ID, start tick and end tick.
struct AsyncPerformanceRecord {
  std::string name;
  std::array<uint32_t, 3> values{};
};

class TriggerPerformance final : public ITriggerRecorder {
 public:
  static constexpr int32_t kRecords = 100;
  // Asynchronous records kept per collection at most.
  static constexpr size_t kMaxAsyncRecords = 100000;

  struct PassRecord {
    int32_t mode = 0;
    std::vector<TriggerMeasurement> nodes;
  };
  struct Snapshot {
    int32_t index = -1;
    std::vector<PassRecord> records;
  };

  // Creates the records when missing and starts collecting again; the
  // asynchronous records are cleared.
  void Reset() EXCLUDES(lock_, asyncLock_);
  // Before a recorded pass: moves to the next record while some are left
  // and gives it the pass mode.
  void BeginPass(int32_t mode) EXCLUDES(lock_);
  bool Collecting() const override { return collecting_.load(std::memory_order_relaxed); }
  bool Record(const TriggerMeasurement& measurement) override EXCLUDES(lock_);
  // False while no reset has created the records.
  bool Read(Snapshot* out) const EXCLUDES(lock_);

  void RecordAsync(const std::string& name, uint32_t rowId, uint32_t startTick,
                   uint32_t endTick) EXCLUDES(asyncLock_);
  std::vector<AsyncPerformanceRecord> AsyncRecords() const EXCLUDES(asyncLock_);

 private:
  // Guards the pass records (written by the passing thread, read by
  // commands).
  mutable Mutex lock_;
  std::unique_ptr<std::array<PassRecord, kRecords>> records_ GUARDED_BY(lock_);
  int32_t index_ GUARDED_BY(lock_) = -1;
  // Set while the records exist and some are left (index_ below kRecords):
  // written under lock_, read without it.
  std::atomic<bool> collecting_{false};
  // Guards the asynchronous records (written by insert threads).
  mutable Mutex asyncLock_;
  std::vector<AsyncPerformanceRecord> async_ GUARDED_BY(asyncLock_);
};

}  // namespace tavrix
