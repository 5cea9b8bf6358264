// The block of a holder item and its sub-items: registration, the block
// fill after a holder read, decoding a sub-item's piece, and the sub-item
// write (read-modify-write of the holder's block).
#include "item/block_codec.h"
#include "item/item.h"
#include "item/item_block.h"
#include "platform/convert.h"
#include "platform/safearray.h"

namespace tavrix {

void CTavrixItem::RegisterSubItem(const Ref<CTavrixItem>& sub) {
  SmallMutexLock lock(&smallLock_);
  subItems_.push_back(sub);
}

void CTavrixItem::ReadSubItems(int32_t flags) {
  for (const Ref<CTavrixItem>& sub : subItems()) (void)sub->ReadValue(flags, nullptr);
}

void CTavrixItem::FillBlockFrom(const Variant& value) {
  MutexLock lock(&block_->lock);
  block_->valid = FillBlock(value, block_->bytes) > 0;
  ++block_->fills;
}

std::vector<uint8_t> CTavrixItem::BlockCopy(bool* valid) const {
  *valid = false;
  if (!block_) return {};
  MutexLock lock(&block_->lock);
  *valid = block_->valid;
  return block_->bytes;
}

HRESULT CTavrixItem::DecodeFromHolder(CTavrixItem& holder, Variant* out) const {
  if (!holder.block_) return E_ACCESSDENIED;  // the holder keeps no block
  MutexLock lock(&holder.block_->lock);
  return DecodePiece(holder.block_->bytes, settings_.Piece(), out);
}

HRESULT CTavrixItem::PutValueForSubitem(const CTavrixItem& sub, const Variant& value) {
  const std::string& ctrl = settings_.m_bstrCtrlName;
  const std::string& item = settings_.m_bstrItemName;
  if (!block_) return E_ACCESSDENIED;
  OptionalLock<RecursiveMutex> itemLock(readGuard_.Busy() ? nullptr : ItemLockFor(nullptr));
  // Held until the holder's device write: two sub-item writes of one block
  // each start from the block the other left.
  RecursiveMutexLock serial(&block_->serial);
  {
    MutexLock lock(&block_->lock);
    if (!block_->valid) return E_ACCESSDENIED;
  }
  if (settings_.m_bVariableEnabled && !hasVariable()) return E_FAIL;
  if (settings_.m_lAttribute == tvItemReadOnly) return S_FALSE;

  const PieceLayout piece = sub.settings_.Piece();
  const VARTYPE target = piece.bit ? VARTYPE{VT_BOOL} : piece.type;
  Variant typed;
  if (value.vt() == target) {
    typed = value;
  } else if (const HRESULT hr = ChangeType(value, target, &typed); FAILED(hr)) {
    LogResult(hr, 1,
              "TavrixItem[%ls\\%ls] : ZeltVariable::_PutValueForSubitem() failed.(data type "
              "mismatch)\n",
              ctrl, item);
    return hr;
  }
  if (typed.IsArray() && static_cast<int64_t>(typed.array().size()) != piece.count) {
    LogResult(E_INVALIDARG, 1,
              "TavrixItem[%ls\\%ls] : ZeltVariable::_PutValueForSubitem() failed.(invalid array "
              "length)\n",
              ctrl, item);
    return E_INVALIDARG;
  }
  if (settings_.m_lSubItemBlockUpdate != 0) {
    uint64_t fillsBefore;
    {
      MutexLock lock(&block_->lock);
      fillsBefore = block_->fills;
    }
    RETURN_IF_FAILED(ReadValue(kReadDeferChange, nullptr));
    // A refresh that did not fill the block (dropped, suppressed, empty)
    // leaves old or zeroed bytes: writing them back would undo the device.
    MutexLock lock(&block_->lock);
    if (!block_->valid || block_->fills == fillsBefore) return E_ACCESSDENIED;
  }

  Variant holderValue;
  {
    MutexLock lock(&block_->lock);
    if (!block_->valid) return E_ACCESSDENIED;
    EncodeFault fault = EncodeFault::kNone;
    if (const HRESULT hr = EncodePiece(typed, piece, block_->bytes, &fault); FAILED(hr)) {
      const char* why = fault == EncodeFault::kBufferOverflow ? "buffer overflow"
                        : fault == EncodeFault::kArrayLength  ? "invalid array length"
                                                              : "data type mismatch";
      LogResult(hr, 1, "TavrixItem[%ls\\%ls] : ZeltVariable::_PutValueForSubitem() failed.(%s)\n",
                ctrl, item, why);
      return hr;
    }
    RETURN_IF_FAILED(BuildHolderValue(block_->bytes,
                                      static_cast<VARTYPE>(settings_.m_lParentItemDataType),
                                      settings_.m_lParentItemUnitSize,
                                      settings_.m_lParentItemElemCount, &holderValue));
  }
  return WriteInternal(holderValue);
}

}  // namespace tavrix
