// The item's calculations as the read pipeline sees them: each one replaces
// the value by its result, in list order. The calculations themselves (the
// operation table, operands that read other items) are built by a factory
// that the calculation code installs; until one is installed an item builds
// no calculations and its values pass unchanged.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "item/item_settings.h"
#include "platform/mutex.h"
#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix {

class CTavrixItem;

class IItemCalculation {
 public:
  virtual ~IItemCalculation() = default;
  // Replaces *value by the result; on failure *value is unchanged.
  virtual HRESULT Calculate(Variant* value) = 0;
};

// The built calculations of an item, with the lock that guards them. Only
// items with calculation settings have one. A read holds the lock while the
// calculations run, and a calculation may read other items (see the lock
// order in item.h).
struct ItemCalcs {
  Mutex lock;  // guards list: replaced by activation, run by reads
  std::vector<std::unique_ptr<IItemCalculation>> list GUARDED_BY(lock);
};

struct ItemCalcFactory {
  // Builds the calculation of one setting for `item`: S_OK with *out set
  // keeps it; S_FALSE (code 0, or a code that is no operation) builds
  // nothing silently; a failure builds nothing and is logged by the item.
  std::function<HRESULT(CTavrixItem& item, const ItemCalcSetting& setting,
                        std::unique_ptr<IItemCalculation>* out)>
      setup;

  // The process-wide factory; install before items are activated.
  static ItemCalcFactory& Instance();
};

}  // namespace tavrix
