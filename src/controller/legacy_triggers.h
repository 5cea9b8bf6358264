// The legacy single-condition triggers of one controller: the item they
// watch and the observers attached to it, one per trigger info that does
// something.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "config/project_records.h"
#include "platform/ref.h"
#include "platform/result.h"

namespace tavrix {

class CTavrixController;
class CTavrixItem;
class CTavrixObserver;

class LegacyTriggers {
 public:
  LegacyTriggers() = default;
  LegacyTriggers(const LegacyTriggers&) = delete;
  LegacyTriggers& operator=(const LegacyTriggers&) = delete;
  ~LegacyTriggers();

  // Checks the record against `item` (null: no item of that name) and
  // attaches an observer for every info that acts. E_INVALIDARG for an
  // invalid record or info, E_FAIL when an observer cannot be set up; on any
  // failure nothing stays attached. An info the project does not have is no
  // condition.
  HRESULT Read(CTavrixController& controller, const LegacyTriggerRecord& record,
               Ref<CTavrixItem> item);
  // Detaches and destroys the observers.
  void Release();

  // The trigger item after a successful reading (read while the controller
  // waits for a trigger signal), else null.
  CTavrixItem* watchedItem() const { return item_.get(); }
  int32_t newEnum() const { return newEnum_; }
  int32_t count() const { return count_; }

  // Whether an info may be used: a known action and condition, a threshold,
  // and a program for action 4.
  static bool IsValid(const LegacyTriggerInfo& info);

 private:
  Ref<CTavrixItem> item_;
  std::vector<std::unique_ptr<CTavrixObserver>> observers_;
  int32_t newEnum_ = 0;
  int32_t count_ = 0;
};

}  // namespace tavrix
