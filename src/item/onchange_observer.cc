#include "item/onchange_observer.h"

#include "item/item.h"

namespace tavrix {

CTavrixOnChangeObserver::CTavrixOnChangeObserver(IItemOwner& owner, CTavrixItem& item)
    : owner_(owner), item_(item) {}

HRESULT CTavrixOnChangeObserver::Update(const Variant&) {
  owner_.FireOnChangeItem(item_);
  return S_OK;
}

}  // namespace tavrix
