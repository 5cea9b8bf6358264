// An item's links to other items: building its link observer, the link
// check, the link initialisation at activation and the readiness it asks of
// the source, LinkActivation and ID.
#include <algorithm>
#include <utility>

#include "item/item.h"
#include "item/link_check.h"
#include "item/link_observer.h"
#include "item/link_writer.h"
#include "platform/log.h"

namespace tavrix {
namespace {

// The item's link observer when it is one (tests may attach another kind).
CTavrixLinkObserver* LinksOf(CTavrixObserver* observer) {
  return dynamic_cast<CTavrixLinkObserver*>(observer);
}

}  // namespace

// --- Building the links ------------------------------------------------------

HRESULT CTavrixItem::InitLinks(std::shared_ptr<LinkWriter> writer) {
  const std::vector<std::string>& names = settings_.m_vecLinkItems;
  if (names.empty()) return S_FALSE;
  const std::string& ctrl = settings_.m_bstrCtrlName;
  std::vector<CTavrixLinkObserver::Destination> destinations;
  destinations.reserve(names.size());
  bool queued = false;
  HRESULT hr = S_OK;
  for (const std::string& name : names) {
    // An empty entry stays empty in a versioned project and names the owning
    // controller alone otherwise: it finds nothing either way.
    const std::string text = name.empty() && !versioned_ ? ctrl + "\\" : name;
    const size_t slash = text.find('\\');
    Ref<CTavrixItem> found =
        slash == std::string::npos
            ? Ref<CTavrixItem>()
            : owner_->FindEngineItem(std::string_view(text).substr(0, slash),
                                     std::string_view(text).substr(slash + 1));
    if (found && found->IsAlias()) {
      hr = E_INVALIDARG;
      break;
    }
    if (!found) {
      if (!versioned_) {
        hr = E_INVALIDARG;
        break;
      }
      if (!(text.empty() && settings_.m_bExtrLink)) {
        LogResult(E_INVALIDARG, 1,
                  "TavrixLinkObserver[%ls] : The linked destination is not presence.\n", text);
      }
      destinations.emplace_back();
      continue;
    }
    CTavrixLinkObserver::Destination to;
    // An item of another controller is written by the link writer, never
    // under this item's locks (see the file comment of item.h).
    if (writer && found->owner_ != owner_) {
      to.queued = found->linkTarget();
      queued = true;
    }
    to.item = std::move(found);
    destinations.push_back(std::move(to));
  }
  if (FAILED(hr)) {
    Log(1, "TavrixItem[%ls\\%ls] : Invalid link settings.\n", ctrl, settings_.m_bstrItemName);
    return hr;
  }
  if (versioned_) {
    for (size_t j = 0; j < destinations.size(); ++j) {
      if (!destinations[j].item) continue;
      destinations[j].item->SetLinkSource(LinkSource{Ref<CTavrixItem>(this), settings_.m_bExtrLink,
                                                     static_cast<int32_t>(j),
                                                     settings_.m_lLinkProp});
    }
  }
  SetLinkObserver(std::make_unique<CTavrixLinkObserver>(
      *owner_, settings_.m_bExtrLink, settings_.m_lLinkProp, std::move(destinations),
      queued ? std::move(writer) : nullptr));
  return S_OK;
}

HRESULT CTavrixItem::CheckLinkCycles() {
  const int32_t result = LinkCheckResultOf(*this);
  SetLinkCheckResult(result);
  const std::string& ctrl = settings_.m_bstrCtrlName;
  const std::string& item = settings_.m_bstrItemName;
  switch (result) {
    case kLinkCheckCritical:
      LogResult(E_FAIL, 1, "TavrixItem[%ls\\%ls] : Critical cyclic link detected.\n", ctrl, item);
      SetState(tvItemFailed);
      return E_ACCESSDENIED;
    case kLinkCheckCycle:
      Log(1, "TavrixItem[%ls\\%ls] : Cyclic link detected.\n", ctrl, item);
      return S_OK;
    case kLinkCheckCriticalForPut:
      Log(1, "TavrixItem[%ls\\%ls] : Critical cyclic link for put_Value detected.\n", ctrl, item);
      return S_OK;
    default:
      return S_OK;
  }
}

void CTavrixItem::SetLinkSource(LinkSource source) {
  Ref<CTavrixItem> previous;  // released after the lock
  SmallMutexLock lock(&smallLock_);
  if (!linkInbox_) linkInbox_ = std::make_unique<LinkInbox>();
  previous = std::move(linkInbox_->source.item);
  linkInbox_->source = std::move(source);
}

CTavrixItem::LinkSource CTavrixItem::linkSource() const {
  SmallMutexLock lock(&smallLock_);
  return linkInbox_ ? linkInbox_->source : LinkSource{};
}

std::shared_ptr<LinkTarget> CTavrixItem::linkTarget() {
  std::shared_ptr<LinkTarget> target;
  bool closed = false;
  {
    SmallMutexLock lock(&smallLock_);
    if (!linkInbox_) linkInbox_ = std::make_unique<LinkInbox>();
    if (!linkInbox_->target) linkInbox_->target = std::make_shared<LinkTarget>(*this);
    target = linkInbox_->target;
    closed = terminated_;
  }
  if (closed) target->Close();  // a terminated item takes no more writes
  return target;
}

void CTavrixItem::ReleaseLinks() {
  std::unique_ptr<LinkInbox> inbox;
  {
    SmallMutexLock lock(&smallLock_);
    inbox = std::move(linkInbox_);
  }
  if (inbox && inbox->target) inbox->target->Close();
  if (CTavrixLinkObserver* links = LinksOf(linkObserver_.get())) links->Release();
}

// --- Link initialisation -----------------------------------------------------

bool CTavrixItem::IsValueReady() const {
  std::vector<const CTavrixItem*> chain;
  return IsValueReady(&chain);
}

bool CTavrixItem::IsValueReady(std::vector<const CTavrixItem*>* chain) const {
  if (linkCheck_.load() == kLinkCheckCritical) return false;
  // Aliases or references that lead back to themselves never get a value.
  if (std::find(chain->begin(), chain->end(), this) != chain->end()) return false;
  chain->push_back(this);
  bool ready = true;
  if (settings_.m_bSubItem) {
    const Ref<CTavrixItem> holder = parent();
    ready = holder && holder->readCompleted_.load();
  } else if (settings_.IsReference()) {
    if (const CTavrixLinkObserver* links = LinksOf(linkObserver_.get())) {
      for (const Ref<CTavrixItem>& destination : links->Destinations()) {
        if (destination && !destination->IsValueReady(chain)) {
          ready = false;
          break;
        }
      }
    }
  } else if (IsAlias()) {
    const Ref<CTavrixItem> target = aliasTarget();
    ready = target && target->IsValueReady(chain);
  } else if (settings_.m_bVariableEnabled && settings_.m_lAttribute == tvItemReadWrite) {
    ready = readCompleted_.load();
  }
  chain->pop_back();
  return ready;
}

HRESULT CTavrixItem::LinkInit() {
  if (!versioned_) return S_OK;
  const LinkSource source = linkSource();
  if (!source.item || !source.item->IsValueReady()) return S_OK;
  const HRESULT hr = [&]() -> HRESULT {
    Variant value;
    RETURN_IF_FAILED(source.item->get_Value(&value));
    if (value.IsEmpty()) return S_OK;
    if (source.elementMode && value.IsArray()) {
      Variant element;
      RETURN_IF_FAILED(LinkElement(value, source.position, &element));
      value = std::move(element);
    }
    Variant converted;
    RETURN_IF_FAILED(LinkValueFor(source.kind, value, lcid_, &converted));
    return source.kind == kLinkValue ? WriteInternal(converted)
                                     : PutLinkValue(*this, source.kind, converted);
  }();
  if (FAILED(hr)) {
    Log(0, "TavrixItem[%ls\\%ls] : Failed in LinkInit.\n", settings_.m_bstrCtrlName,
        settings_.m_bstrItemName);
  }
  return hr;
}

// --- LinkActivation and ID ---------------------------------------------------

bool CTavrixItem::linkActivation() const {
  const CTavrixLinkObserver* links = LinksOf(linkObserver_.get());
  return links == nullptr || links->linkActivation();
}

HRESULT CTavrixItem::SetLinkActivation(bool on) {
  CTavrixLinkObserver* links = LinksOf(linkObserver_.get());
  if (links == nullptr) return S_FALSE;
  links->SetLinkActivation(on);
  return S_OK;
}

HRESULT CTavrixItem::get_ID(int32_t* out) {
  if (settings_.m_bSubItem) {
    const Ref<CTavrixItem> holder = parent();
    return holder ? holder->get_ID(out) : HRESULT(E_FAIL);
  }
  SmallMutexLock lock(&variableLock_);
  return variable_ ? variable_->get_ID(out) : HRESULT(E_FAIL);
}

HRESULT CTavrixItem::put_ID(int32_t id) {
  if (settings_.m_bSubItem) {
    const Ref<CTavrixItem> holder = parent();
    return holder ? holder->put_ID(id) : HRESULT(E_FAIL);
  }
  SmallMutexLock lock(&variableLock_);
  return variable_ ? variable_->put_ID(id) : HRESULT(E_FAIL);
}

}  // namespace tavrix
