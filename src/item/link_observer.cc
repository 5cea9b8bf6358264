#include "item/link_observer.h"

#include <utility>

#include "item/item.h"
#include "platform/convert.h"
#include "platform/log.h"
#include "platform/safearray.h"

namespace tavrix {

HRESULT LinkValueFor(int32_t kind, const Variant& value, LCID lcid, Variant* out) {
  switch (kind) {
    case kLinkValue: *out = value; return S_OK;
    case kLinkId: return ChangeType(value, VT_I4, out, 0, lcid);
    case kLinkActivation:
    case kLinkLinkActivation: return ChangeType(value, VT_BOOL, out, 0, lcid);
    default: return E_FAIL;
  }
}

HRESULT PutLinkValue(CTavrixItem& destination, int32_t kind, const Variant& value) {
  switch (kind) {
    case kLinkValue: return destination.put_Value(value);
    case kLinkId: return destination.put_ID(value.i4());
    case kLinkActivation: destination.SetActivation(value.isTrue()); return S_OK;
    case kLinkLinkActivation: return destination.SetLinkActivation(value.isTrue());
    default: return E_FAIL;
  }
}

HRESULT LinkElement(const Variant& array, int32_t position, Variant* out) {
  // Element lower bound + position of a one-dimensional array is its flat
  // position; other arrays go by flat position too.
  if (position < 0) return DISP_E_BADINDEX;
  return array.array().Get(static_cast<size_t>(position), out);
}

CTavrixLinkObserver::CTavrixLinkObserver(IItemOwner& owner, bool elementMode, int32_t kind,
                                         std::vector<Destination> destinations,
                                         std::shared_ptr<LinkWriter> writer)
    : owner_(owner),
      elementMode_(elementMode),
      kind_(kind),
      links_(std::make_shared<const Links>(Links{std::move(destinations), std::move(writer)})) {}

std::shared_ptr<const CTavrixLinkObserver::Links> CTavrixLinkObserver::links() const {
  SmallMutexLock lock(&lock_);
  return links_;
}

std::vector<Ref<CTavrixItem>> CTavrixLinkObserver::Destinations() const {
  const std::shared_ptr<const Links> links = this->links();
  std::vector<Ref<CTavrixItem>> out;
  out.reserve(links->destinations.size());
  for (const Destination& d : links->destinations) out.push_back(d.item);
  return out;
}

void CTavrixLinkObserver::Release() {
  auto empty = std::make_shared<const Links>();
  std::shared_ptr<const Links> old;
  {
    SmallMutexLock lock(&lock_);
    old = std::exchange(links_, std::move(empty));
  }
  // The references go outside the lock: the last one may destroy an item.
}

HRESULT CTavrixLinkObserver::Update(const Variant& value) {
  if (!linkActivation_.load()) return S_FALSE;
  const std::shared_ptr<const Links> links = this->links();
  const bool perElement = elementMode_ && value.IsArray();
  const bool report = report_.load();
  HRESULT result = S_OK;
  for (size_t k = 0; k < links->destinations.size(); ++k) {
    const Destination& to = links->destinations[k];
    if (!to.item) {
      if (!owner_.IsVersionedProject()) {
        LogResult(E_FAIL, 1, "TavrixLinkObserver[???] : The linked destination is null.\n");
      }
      continue;
    }
    Variant element;
    HRESULT hr = S_OK;
    if (perElement) hr = LinkElement(value, static_cast<int32_t>(k), &element);
    if (SUCCEEDED(hr)) hr = Put(*links, to, perElement ? element : value);
    if (FAILED(hr)) {
      result = hr;
      if (report) {
        Log(1, "TavrixLinkObserver[%ls] : Failed in updating the linked destination.\n",
            to.item->name());
      }
    }
  }
  // A failure that repeats is logged once while NotRepeatError is on.
  report_.store(SUCCEEDED(result) || !owner_.NotRepeatError());
  return result;
}

HRESULT CTavrixLinkObserver::Put(const Links& links, const Destination& to, const Variant& value) {
  Variant converted;
  RETURN_IF_FAILED(LinkValueFor(kind_, value, owner_.Lcid(), &converted));
  if (to.queued && links.writer) {
    const HRESULT hr =
        links.writer->Post(to.queued, kind_, std::move(converted), owner_.NotRepeatError());
    return hr == S_FALSE ? HRESULT(S_OK) : hr;  // a closed destination takes nothing
  }
  return PutLinkValue(*to.item, kind_, converted);
}

HRESULT CTavrixLinkObserver::Value(Variant* out) {
  const std::shared_ptr<const Links> links = this->links();
  const auto read = [](const Destination& from, Variant* v) -> HRESULT {
    if (!from.item) return S_OK;  // stays empty
    return from.item->get_Value(v);
  };
  const auto& destinations = links->destinations;
  if (destinations.size() <= 1) {
    Variant v;
    if (!destinations.empty()) RETURN_IF_FAILED(read(destinations[0], &v));
    *out = std::move(v);
    return S_OK;
  }
  Ref<SafeArray> array =
      SafeArray::Create1D(VT_VARIANT, static_cast<uint32_t>(destinations.size()));
  if (!array) return E_OUTOFMEMORY;
  for (size_t i = 0; i < destinations.size(); ++i) {
    Variant v;
    RETURN_IF_FAILED(read(destinations[i], &v));
    RETURN_IF_FAILED(array->Put(i, v));
  }
  *out = Variant::Array(std::move(array));
  return S_OK;
}

}  // namespace tavrix
