// CTavrixOnChangeObserver: announces an item's changes to its controller,
// which fires OnChangeItem to the connected clients and passes the change on
// to what else follows the item's changes (IItemOwner::FireOnChangeItem).
// The item attaches one when m_bOnChangeEvent is set.
#pragma once

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

 private:
  IItemOwner& owner_;
  CTavrixItem& item_;  // its name and index are the item's own
};

}  // namespace tavrix
