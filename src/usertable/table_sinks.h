// What a user-defined table writer hands back to its owner: rows it could
// not insert (IDoBackup) and the timing of each insert attempt
// (IMeasurePerformance). The insert-table action implements both.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix {

// One row of a user-defined table: the values in column order.
using TableRow = std::vector<Variant>;

class IDoBackup {
 public:
  virtual ~IDoBackup() = default;
  // Keeps a row the database did not take. Called on the writer's inserting
  // thread (the trigger thread, or the writer's insert thread). S_OK when the
  // row is kept; anything else means it is lost and has been logged.
  virtual HRESULT DoBackup(const TableRow& row) = 0;
};

class IMeasurePerformance {
 public:
  virtual ~IMeasurePerformance() = default;
  // After each insert attempt: the row ID given to DoInsert and the
  // multimedia-timer ticks (ms) before and after. Returns 1.
  virtual int32_t OnInsertMeasured(int64_t rowId, uint32_t startTick, uint32_t endTick) = 0;
};

}  // namespace tavrix
