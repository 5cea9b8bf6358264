// CTavrixOnChangeObserver: announces an item's changes to its controller,
// which fires OnChangeItem to the connected clients and passes the change on
// to what else follows the item's changes (IItemOwner::FireOnChangeItem).
// The item attaches one when m_bOnChangeEvent is set.
#pragma once

#include <cstdint>
#include <string>

#include "item/adviser.h"
#include "item/item_owner.h"

namespace tavrix {

class CTavrixOnChangeObserver final : public CTavrixObserver {
 public:
  // `owner` owns `item`, which owns the observer.
  CTavrixOnChangeObserver(IItemOwner& owner, CTavrixItem& item);

  // Runs inside the item's notification: once per change, after the change
  // was recorded in the history. S_OK.
  HRESULT Update(const Variant& value) override;

  const std::string& itemName() const { return itemName_; }
  int32_t itemIndex() const { return itemIndex_; }

 private:
  IItemOwner& owner_;
  CTavrixItem& item_;
  const std::string itemName_;
  const int32_t itemIndex_;
};

}  // namespace tavrix
