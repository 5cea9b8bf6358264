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
#include "config/project_records.h"
#include "item/adviser.h"
#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix {

class CTavrixController;
class CTavrixUserDefineTableMan;

class CTavrixTriggerObserver final : public CTavrixObserver {
 public:
  static constexpr int32_t kInsertRow = kLegacyTriggerInsertRow;

  explicit CTavrixTriggerObserver(CTavrixController& controller);
  ~CTavrixTriggerObserver() override;

  // Keeps the action code, condition and threshold text; for action 4 the
  // program and its parameters; with kInsertRow makes the table writer (its
  // failure is returned).
  HRESULT Setup(int32_t actionCode, int32_t condition, const std::string& threshold,
                const std::string& file, const std::string& parameters,
                const UserDefineDBInfo& table);

  // The watched item's new value: compares and fires.
  HRESULT Update(const Variant& value) override;

 private:
  // Whether the condition holds for `value`; a failed conversion or compare
  // is returned.
  HRESULT Holds(const Variant& value, bool* holds) const;
  HRESULT Fire();
  HRESULT InsertRow();

  CTavrixController& controller_;
  int32_t actionCode_ = 0;
  int32_t condition_ = 0;
  Variant threshold_;  // the threshold text
  std::string file_;
  std::string parameters_;
  // Made by Setup before the observer is attached, destroyed (closed) after
  // it is detached; the writer serialises its own inserts, whichever thread
  // notifies.
  std::unique_ptr<CTavrixUserDefineTableMan> writer_;
};

}  // namespace tavrix
