// CTavrixItem: one configured item of a controller. This is the item's
// lifecycle as the controller drives it (initialise from the record, activate
// on a connection, read once a cycle, deactivate, terminate); its value
// pipeline, sub-items, links and write path are built on these members.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "config/project_records.h"
#include "platform/ref.h"
#include "platform/result.h"
#include "platform/variant.h"
#include "zelt/interfaces.h"

namespace tavrix {

enum TavrixItemState : int32_t {
  tvItemSucceeded = 0,
  tvItemFailed = 1,
  tvItemUndefined = 2,
};

class CTavrixItem final : public RefCounted {
 public:
  CTavrixItem() = default;

  // Copies the record; 0, or E_INVALIDARG for an item without a name. A
  // disabled item is kept (it is never read).
  HRESULT Initialize(int32_t index, const ItemRecord& record);

  // Declares the item's Zelt variable on `controller` (null: an item of a
  // controller without connection, which has nothing to read). A variable
  // the controller already has is taken as it is.
  HRESULT Activate(IZeltController* controller);
  // One read for the cycle: *deviceRead tells whether the device was asked.
  HRESULT Read(bool* deviceRead);
  void Deactivate();
  void Terminate();

  int32_t index() const { return m_lIndex; }
  const std::string& name() const { return record_.m_strItemName; }
  const ItemRecord& record() const { return record_; }
  bool notRecJudge() const { return record_.m_bNotRecJudgeItem; }
  // The last value read and the item state.
  Variant value() const;
  int32_t state() const;

 private:
  int32_t m_lIndex = -1;
  ItemRecord record_;

  mutable std::mutex mutex_;  // guards variable_, value_ and state_
  Ref<IZeltVariable> variable_;
  Variant value_;
  int32_t state_ = tvItemUndefined;
};

}  // namespace tavrix
