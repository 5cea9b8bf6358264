// CTavrixTriggerObserver: the older single-condition trigger. It watches one
// item of its controller (attached to the item's observers), compares every
// new value with a threshold and, when the condition holds, changes the
// controller's sampling mode or starts a program, and may insert a row into
// a user-defined table.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "config/config_records.h"
#include "item/adviser.h"
#include "platform/mutex.h"
#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix {

class CTavrixController;
class CTavrixUserDefineTableMan;

class CTavrixTriggerObserver final : public CTavrixObserver {
 public:
  // Bit of the action code: a row is also inserted.
  static constexpr int32_t kInsertRow = 0x10000;

  explicit CTavrixTriggerObserver(CTavrixController& controller);
  ~CTavrixTriggerObserver() override;

  // Keeps the action code, condition and threshold text; for action 4 the
  // program and its parameters; with kInsertRow makes the table writer (its
  // failure is returned).
  HRESULT Setup(int32_t actionCode, int32_t condition, const std::string& threshold,
                const std::string& file, const std::string& parameters,
                const UserDefineDBInfo& table);

  // The watched item's new value: compares and fires.
  HRESULT Update(const Variant& value) override EXCLUDES(lock_);

 private:
  // Whether the condition holds for `value`; a failed conversion or compare
  // is returned.
  HRESULT Holds(const Variant& value, bool* holds) const;
  HRESULT Fire();
  HRESULT InsertRow() REQUIRES(lock_);

  CTavrixController& controller_;
  int32_t actionCode_ = 0;
  int32_t condition_ = 0;
  Variant threshold_;  // the threshold text
  std::string file_;
  std::string parameters_;
  // Guards the writer and the time of the next open attempt: the item
  // notifies from the sampling thread and from scans of other threads.
  Mutex lock_;
  std::unique_ptr<CTavrixUserDefineTableMan> writer_ GUARDED_BY(lock_);
  // After a failed open no further open is tried before this tick.
  uint32_t nextOpenTick_ GUARDED_BY(lock_) = 0;
  bool openFailed_ GUARDED_BY(lock_) = false;
};

}  // namespace tavrix
