// The write path of an item: Value put, ValueEx put and the internal write
// that initial data and links use.
#include "item/delayed_write.h"
#include "item/item.h"
#include "item/value_types.h"

namespace tavrix {

HRESULT CTavrixItem::put_Value(const Variant& value) {
  const Ref<CTavrixItem> holder = settings_.m_bSubItem ? parent() : Ref<CTavrixItem>();
  OptionalLock<RecursiveMutex> writeLock(ItemLockFor(holder.get()));
  // Scripts pass their variables by reference.
  const Variant& v = value.Deref();
  if (v.IsByRef()) {
    LogResult(DISP_E_TYPEMISMATCH, 1, "TavrixItem[%ls\\%ls] : Failed in convert refrection type.\n",
              settings_.m_bstrCtrlName, settings_.m_bstrItemName);
    return DISP_E_TYPEMISMATCH;
  }
  return WriteInternal(v);
}

HRESULT CTavrixItem::put_ValueEx(int32_t delayMs, const Variant& value) {
  if (delayMs < 1) return put_Value(value);
  std::shared_ptr<DelayedWrites> delayed;
  {
    SmallMutexLock lock(&smallLock_);
    if (terminated_) return E_FAIL;
    if (!delayed_) {
      delayed_ = std::make_shared<DelayedWrites>(
          settings_.m_bstrItemName, [this](const Variant& v) { return put_Value(v); });
    }
    delayed = delayed_;
  }
  // The referenced variable may be gone when the write runs: keep the value.
  const HRESULT hr = delayed->Schedule(static_cast<uint32_t>(delayMs), value.Deref());
  return hr == E_ABORT ? HRESULT(E_FAIL) : hr;  // Terminate came first
}

HRESULT CTavrixItem::WriteInternal(const Variant& value) {
  const std::string& ctrl = settings_.m_bstrCtrlName;
  const std::string& item = settings_.m_bstrItemName;
  if (!IsSupportedValue(value)) {
    LogResult(TVX_E_UNSUPPORTED_TYPE, 3,
              "TavrixItem[%ls\\%ls] : You have tried to put a value of an unsupported type in a "
              "Value.\n",
              ctrl, item);
    return TVX_E_UNSUPPORTED_TYPE;
  }
  const Ref<CTavrixItem> holder = settings_.m_bSubItem ? parent() : Ref<CTavrixItem>();
  if (settings_.m_bVariableEnabled && !settings_.m_bSubItem && !IsAlias() && !hasVariable()) {
    return E_FAIL;
  }
  if (settings_.m_lAttribute == tvItemReadOnly) return S_FALSE;
  const int32_t linkCheck = linkCheck_.load();
  if (linkCheck == kLinkCheckCritical || linkCheck == kLinkCheckCriticalForPut) {
    return E_ACCESSDENIED;
  }
  if (versioned_ && element_.present) {
    LogResult(E_ACCESSDENIED, 3,
              "TavrixItem[%ls\\%ls] : You cannot write to an item for which an array element is "
              "specified.\n",
              ctrl, item);
    return E_ACCESSDENIED;
  }
  OptionalLock<RecursiveMutex> itemLock(ItemLockFor(holder.get()));  // versioned projects

  if (settings_.IsReference()) {
    Variant v = value;
    if (settings_.m_bChangeTypeW) {
      IKivData* kiv = owner_->KivData();
      Variant converted;
      RETURN_IF_FAILED(kiv ? kiv->Convert(value, settings_.m_vtRequestW, &converted)
                           : HRESULT(E_FAIL));
      v = std::move(converted);
    }
    return linkObserver_ ? linkObserver_->Update(v) : HRESULT(E_FAIL);
  }

  Variant converted;
  RETURN_IF_FAILED(ConvertForWrite(value, &converted));
  HRESULT hr = S_OK;
  if (IsAlias()) {
    const Ref<CTavrixItem> target = aliasTarget();
    hr = target ? target->put_Value(converted) : HRESULT(E_FAIL);
  } else if (settings_.m_bSubItem) {
    hr = holder ? holder->PutValueForSubitem(*this, converted) : HRESULT(E_ACCESSDENIED);
  } else if (settings_.m_bVariableEnabled) {
    const std::unique_ptr<ILockHold> sync = owner_->EnterVariableSync();
    SmallMutexLock lock(&variableLock_);
    hr = variable_ ? variable_->put_Value(converted) : HRESULT(E_ACCESSDENIED);
  }
  if (FAILED(hr)) {
    if (!(owner_->NotRepeatError() && state() == tvItemFailed)) {
      LogResult(hr, 1, "TavrixItem[%ls\\%ls] : ZeltVariable::put_Value() failed. HRESULT: 0x%x\n",
                ctrl, item, hr);
    }
    return hr;
  }
  reRead_ = true;
  const bool noDevice = !settings_.m_bVariableEnabled && !settings_.m_bSubItem && !IsAlias();
  if (writeToCache_ || noDevice) StoreCacheWritten(converted);
  return hr;
}

HRESULT CTavrixItem::ConvertForWrite(const Variant& value, Variant* out) {
  const bool quiet = owner_->NotRepeatError() && state() == tvItemFailed;
  auto fail = [&](HRESULT hr, std::string_view format) {
    if (!quiet) LogResult(hr, 1, format, settings_.m_bstrCtrlName, settings_.m_bstrItemName);
    return hr;
  };
  *out = value;
  if (settings_.m_bChangeTypeW) {
    IKivData* kiv = owner_->KivData();
    Variant converted;
    const HRESULT hr =
        kiv ? kiv->Convert(value, settings_.m_vtRequestW, &converted) : HRESULT(E_FAIL);
    if (FAILED(hr)) return fail(hr, "TavrixItem[%ls\\%ls] : Failed in changing VARIANT type.\n");
    *out = std::move(converted);
  }
  if (settings_.m_bBCD) {
    if (const HRESULT hr = EncodeBcd(out, versioned_); FAILED(hr)) {
      return fail(hr, "TavrixItem[%ls\\%ls] : Failed in converting into BCD.\n");
    }
  }
  if (settings_.m_bMaskEnabled) {
    if (const HRESULT hr = ApplyMask(out, settings_.m_lMask); FAILED(hr)) {
      return fail(hr, "TavrixItem[%ls\\%ls] : Failed in masking.\n");
    }
  }
  return S_OK;
}

void CTavrixItem::StoreCacheWritten(const Variant& value) {
  // The stamp first: a read that takes the value takes the stamp with it.
  const Ref<CTavrixItem> holder = settings_.m_bSubItem ? parent() : Ref<CTavrixItem>();
  ItemStamp stamp;
  StampNow(holder.get(), &stamp);
  CommitStamp(stamp);
  SmallMutexLock lock(&smallLock_);
  cacheWritten_ = value;
  cacheWrittenPending_ = true;
  cachePending_ = true;
}

}  // namespace tavrix
