// The read pipeline of an item (ReadValue) and the client read (get_Value).
#include "item/item.h"
#include "item/item_block.h"
#include "item/value_types.h"
#include "platform/clock.h"

namespace tavrix {

HRESULT CTavrixItem::ReadValue(int32_t flags, bool* providerRead) {
  bool unused = false;
  if (providerRead == nullptr) providerRead = &unused;
  *providerRead = false;
  const Ref<CTavrixItem> holder = settings_.m_bSubItem ? parent() : Ref<CTavrixItem>();
  ReentryScope read(GuardItem(holder.get()).readGuard_);
  // A link or calculation leading back to an item that is notifying.
  if (read.reentered() && notifyGuard_.BusyOnThisThread()) return S_FALSE;

  OptionalLock<RecursiveMutex> itemLock(ItemLockFor(holder.get()));
  const PassStamps stamps(performance_.load(std::memory_order_acquire));
  stamps.At(0);
  bool suppressed = false;
  const HRESULT hr = ReadPass(flags, holder.get(), stamps, providerRead, &suppressed);
  if (!suppressed) {
    lastReadResult_ = hr.code();
    if (FAILED(hr)) {
      failures_.fetch_add(1);
    } else {
      failures_ = 0;
    }
  }
  return hr;
}

HRESULT CTavrixItem::ReadPass(int32_t flags, CTavrixItem* holder, const PassStamps& stamps,
                              bool* providerRead, bool* suppressed) {
  if (linkCheck_.load() == kLinkCheckCritical) return E_ACCESSDENIED;

  // Direct-reading suppression: at most one source read per suppression time.
  if (settings_.m_lDirectReadingSuppressedTime > 0) {
    const uint32_t now = SystemClock().TickCount();
    const HRESULT last(lastReadResult_.load());
    const bool holdBack =
        SUCCEEDED(last) || (owner_->AutoReconnect() && failures_.load() > owner_->RecCount());
    if (holdBack &&
        ElapsedMs(lastDirectTick_.load(), now) <
            static_cast<uint32_t>(settings_.m_lDirectReadingSuppressedTime) &&
        !cachePending_.load() && !reRead_.load() && flags != kReadForced) {
      *suppressed = true;
      return last;
    }
    reRead_ = false;
    lastDirectTick_ = now;
  }

  if (settings_.m_bVariableEnabled && !settings_.m_bSubItem && !IsAlias() && !hasVariable()) {
    SetState(tvItemFailed);
    return E_FAIL;
  }
  if ((!activation_.load() && !(flags & kReadForced)) ||
      settings_.m_lAttribute == tvItemWriteOnly || settings_.IsReference()) {
    SetState(tvItemSucceeded);
    return S_FALSE;
  }

  // A holder keeps its block serial from the device read to the fill, so a
  // sub-item write cannot slip between them and be overwritten by older data.
  OptionalLock<RecursiveMutex> serial(block_ ? &block_->serial : nullptr);

  Variant value;
  ItemStamp stamp;
  bool force = false;
  bool holderOnly = false;
  stamps.At(1);
  HRESULT hr = ReadSource(holder, &value, &stamp, &force, providerRead, &holderOnly);
  stamps.At(2);
  if (holderOnly) {
    serial.Unlock();
    SetState(tvItemSucceeded);
    ReadSubItems(flags);
    return S_FALSE;
  }
  if (hr != S_OK) return hr;

  if (value.IsEmpty() && !settings_.m_bUseEmpty) {
    CommitStamp(stamp);
    SetState(tvItemSucceeded);
    return S_FALSE;
  }
  stamps.At(3);
  if (settings_.m_bChatEnabled) {
    SmallMutexLock lock(&smallLock_);
    if (chatter_ &&
        !chatter_->Pass(value, settings_.m_lChatMax, settings_.m_bCompArrays, lcid_)) {
      CommitStamp(stamp);
      SetState(tvItemSucceeded);
      return S_FALSE;
    }
  }
  RETURN_IF_FAILED(Transform(&value, stamps));

  // Store: the new value is complete before the cache changes, so a failure
  // above leaves value, previous value and stamp as they were.
  Variant base;
  {
    SmallRecursiveMutexLock lock(&valueLock_);
    if (!force) base = value_;
    prevValue_ = std::move(value_);
    value_ = value;
    stamp_ = stamp;
    readCompleted_ = true;
    if (block_) {
      FillBlockFrom(value);
      serial.Unlock();
    }
    SetState(tvItemSucceeded);
    if (block_) ReadSubItems(flags);
  }
  serial.Unlock();
  stamps.At(8, true);
  const HRESULT result = HandleChange(flags, value, base, force, S_OK);
  stamps.At(10, true);
  stamps.Complete();
  return result;
}

HRESULT CTavrixItem::ReadSource(CTavrixItem* holder, Variant* value, ItemStamp* stamp,
                                bool* force, bool* providerRead, bool* holderOnly) {
  if (cachePending_.load() && TakeCacheWritten(value)) {
    // The stamp was set when the value was written.
    SmallRecursiveMutexLock lock(&valueLock_);
    *stamp = stamp_;
    *force = (settings_.m_lForceChange & 2) != 0;
    return S_OK;
  }
  *force = (settings_.m_lForceChange & 1) != 0;
  if (IsAlias()) {
    const Ref<CTavrixItem> target = aliasTarget();
    const HRESULT hr = target ? target->get_Value(value) : E_FAIL;
    if (FAILED(hr)) {
      SetState(tvItemFailed);
      return hr;
    }
    StampNow(nullptr, stamp);
    return S_OK;
  }
  if (!settings_.m_bVariableEnabled && !settings_.m_bSubItem) {
    *holderOnly = true;
    return S_FALSE;
  }
  HRESULT hr;
  if (settings_.m_bSubItem) {
    if (holder == nullptr) return S_FALSE;
    hr = DecodeFromHolder(*holder, value);
  } else {
    const std::unique_ptr<ILockHold> sync = owner_->EnterVariableSync();
    SmallMutexLock lock(&variableLock_);
    if (!variable_) {
      hr = E_ACCESSDENIED;
    } else {
      *providerRead = true;
      hr = variable_->get_Value(value);
    }
  }
  if (SUCCEEDED(hr)) {
    if (value->vt() == VT_ERROR) *value = Variant::I4(value->scode());
    if (!IsSupportedValue(*value)) {
      if (!(owner_->NotRepeatError() && state() == tvItemFailed)) {
        LogResult(TVX_E_UNSUPPORTED_TYPE, 3,
                  "TavrixItem[%ls\\%ls] : The provider returned a value of an unsupported type.\n",
                  settings_.m_bstrCtrlName, settings_.m_bstrItemName);
      }
      SetState(tvItemFailed);
      value->Clear();
      return TVX_E_UNSUPPORTED_TYPE;
    }
    StampNow(holder, stamp);
    return S_OK;
  }
  Fail(hr, "TavrixItem[%ls\\%ls] : ZeltVariable::get_Value() failed.\n", settings_.m_bstrCtrlName,
       settings_.m_bstrItemName);
  return hr;
}

HRESULT CTavrixItem::Transform(Variant* value, const PassStamps& stamps) {
  const std::string& ctrl = settings_.m_bstrCtrlName;
  const std::string& item = settings_.m_bstrItemName;
  if (element_.present) {
    if (const HRESULT hr = ExtractElement(element_, value); FAILED(hr)) {
      Fail(hr, "TavrixItem[%ls\\%ls] : Failed in extracting the specified element of array.\n",
           ctrl, item);
      return hr;
    }
  }
  if (settings_.m_bMaskEnabled) {
    if (const HRESULT hr = ApplyMask(value, settings_.m_lMask); FAILED(hr)) {
      Fail(hr, "TavrixItem[%ls\\%ls] : Failed in masking.\n", ctrl, item);
      return hr;
    }
  }
  if (settings_.m_bBCD) {
    if (const HRESULT hr = DecodeBcd(value, versioned_); FAILED(hr)) {
      Fail(hr, "TavrixItem[%ls\\%ls] : Failed in convering into BCD.\n", ctrl, item);
      return hr;
    }
  }
  stamps.At(4, true);
  if (calcs_) {
    MutexLock lock(&calcs_->lock);
    for (const auto& calculation : calcs_->list) {
      if (const HRESULT hr = calculation->Calculate(value); FAILED(hr)) {
        Fail(hr, "TavrixItem[%ls\\%ls] : Failed in calculating(0x%8x).\n", ctrl, item, hr);
        return hr;
      }
    }
  }
  if (settings_.m_bChangeType) {
    IKivData* kiv = owner_->KivData();
    Variant converted;
    const HRESULT hr =
        kiv ? kiv->Convert(*value, settings_.m_vtRequest, &converted) : HRESULT(E_FAIL);
    if (FAILED(hr)) {
      Fail(hr, "TavrixItem[%ls\\%ls] : Failed in changing VARIANT type.\n", ctrl, item);
      return hr;
    }
    *value = std::move(converted);
  }
  stamps.At(6, true);
  return S_OK;
}

HRESULT CTavrixItem::HandleChange(int32_t flags, const Variant& value, const Variant& base,
                                  bool force, HRESULT result) {
  if (flags & kReadDeferChange) {
    deferredChange_ = true;
    return result;
  }
  const bool filtered =
      (settings_.m_bDeadBand &&
       InDeadBand(value, settings_.m_fDeadBandMin, settings_.m_fDeadBandMax)) ||
      (settings_.m_bMinMax && OutOfRange(value, settings_.m_fMin, settings_.m_fMax));
  // With the force bit the base is empty: every value counts as changed,
  // an empty one too.
  const bool changed = force || !ValuesEqual(value, base, settings_.m_bCompArrays, lcid_);
  const bool deferred = deferredChange_.exchange(false);
  if (!changed) {
    // A change a deferred read stored still has to reach the links.
    if (deferred && versioned_ && linkObserver_ && !filtered) (void)linkObserver_->Update(value);
    return result;
  }
  if (filtered) return result;  // cached, but neither recorded nor announced

  if (historyOn_) {
    ItemStamp stamp;
    {
      SmallRecursiveMutexLock lock(&valueLock_);
      stamp = stamp_;
    }
    if (versioned_) {
      const HRESULT hr = owner_->AddHistory(settings_.m_bstrCtrlName, settings_.m_bstrItemName,
                                            value, stamp.LastReadDate(), stamp.microsecond);
      if (FAILED(hr)) {
        LogResult(hr, 1, "TavrixItem[%ls\\%ls] : Failed in recording to the history database.\n",
                  settings_.m_bstrCtrlName, settings_.m_bstrItemName);
        result = S_FALSE;
      }
    } else {
      result = owner_->AddHistory(settings_.m_bstrCtrlName, settings_.m_bstrItemName, value,
                                  stamp.dateTime, stamp.microsecond);
    }
  }
  ReentryScope notifying(notifyGuard_);
  Notify(value);
  return result;
}

bool CTavrixItem::TakeCacheWritten(Variant* value) {
  SmallMutexLock lock(&smallLock_);
  if (!cacheWrittenPending_) return false;
  *value = std::move(cacheWritten_);
  cacheWritten_.Clear();
  cacheWrittenPending_ = false;
  cachePending_ = false;
  return true;
}

void CTavrixItem::StampNow(CTavrixItem* holder, ItemStamp* stamp) {
  {
    SmallRecursiveMutexLock lock(&valueLock_);
    *stamp = stamp_;
  }
  Clock& clock = SystemClock();
  UpdateHostStamp(timeStampMode_, clock.UtcMicros() / 1000, clock.TickCount(), stamp);
  if (timeStampMode_ != kStampDevice) return;
  if (holder != nullptr) {
    SmallRecursiveMutexLock lock(&holder->valueLock_);
    stamp->dateTime = holder->stamp_.dateTime;
    stamp->microsecond = holder->stamp_.microsecond;
    return;
  }
  if (IsAlias()) {
    if (const Ref<CTavrixItem> target = aliasTarget()) {
      stamp->dateTime = target->dateTime();
      stamp->microsecond = target->microsecond();
    }
    return;
  }
  SmallMutexLock lock(&variableLock_);
  if (!variable_) return;
  double date = 0;
  int32_t micros = 0;
  if (SUCCEEDED(variable_->get_DateTime(&date)) && SUCCEEDED(variable_->get_Microsecond(&micros))) {
    stamp->dateTime = date;
    stamp->microsecond = static_cast<uint32_t>(micros);
  }
}

void CTavrixItem::CommitStamp(const ItemStamp& stamp) {
  SmallRecursiveMutexLock lock(&valueLock_);
  stamp_ = stamp;
}

HRESULT CTavrixItem::get_Value(Variant* out) {
  if (linkCheck_.load() == kLinkCheckCritical) return E_ACCESSDENIED;
  if (settings_.m_lAttribute == tvItemWriteOnly) return S_FALSE;
  const bool sampled =
      activation_.load() && owner_->ControllerState() != kOwnerStateDeactive;
  if (!settings_.m_bSubItem && !settings_.IsReference() && !settings_.m_bDirectReading &&
      !cachePending_.load() && sampled) {
    // Only the cache to copy: no pass lock is needed, so a calculation or a
    // client never waits here for this item's read (nor, through it, for the
    // items that read takes in turn).
    SmallRecursiveMutexLock lock(&valueLock_);
    *out = value_;
    return S_OK;
  }
  const Ref<CTavrixItem> holder = settings_.m_bSubItem ? parent() : Ref<CTavrixItem>();
  CTavrixItem& guard = GuardItem(holder.get());
  // A read in progress may be the caller (an observer or calculation).
  OptionalLock<RecursiveMutex> itemLock(guard.readGuard_.Busy() ? nullptr
                                                                : ItemLockFor(holder.get()));

  if (settings_.IsReference()) {
    if (!linkObserver_) return E_FAIL;
    Variant v;
    RETURN_IF_FAILED(linkObserver_->Value(&v));
    if (settings_.m_bChangeType) {
      IKivData* kiv = owner_->KivData();
      if (kiv == nullptr) return E_FAIL;
      Variant converted;
      RETURN_IF_FAILED(kiv->Convert(v, settings_.m_vtRequest, &converted));
      v = std::move(converted);
    }
    *out = std::move(v);
    return S_OK;
  }
  // Refreshes the holder's block first.
  if (holder && !holder->readGuard_.Busy()) {
    Variant ignored;
    (void)holder->get_Value(&ignored);
  }

  HRESULT hr = S_OK;
  bool read = false;
  bool deviceRead = false;
  if (cachePending_.load() || settings_.m_bDirectReading) {
    hr = ReadValue(0, &deviceRead);
    read = true;
  } else if (owner_->ControllerState() == kOwnerStateDeactive || !activation_.load()) {
    // Not sampled: one read per sampling period at most.
    const uint32_t now = SystemClock().TickCount();
    uint32_t last;
    {
      SmallRecursiveMutexLock lock(&valueLock_);
      last = stamp_.lastReadTick;
    }
    const uint32_t elapsed = now - last - (now < last ? 1 : 0);
    if (elapsed >= static_cast<uint32_t>(samplingRate_)) {
      hr = ReadValue(kReadDeferChange, &deviceRead);
      read = true;
    }
  }
  if (read && !settings_.m_bNotRecJudgeItem) owner_->ReportRead(SUCCEEDED(hr), deviceRead);
  if (SUCCEEDED(hr)) {
    SmallRecursiveMutexLock lock(&valueLock_);
    *out = value_;
  }
  return hr;
}

}  // namespace tavrix
