#include "item/item_properties.h"

#include <string>

#include "item/item.h"
#include "platform/text.h"

namespace tavrix {

namespace {

enum ItemProperty : int32_t {
  kIndex = 0,
  kName = 1,
  kDescription = 2,
  kAttribute = 3,
  kLinkItem = 4,
  kActivation = 5,
  kLinkActivation = 6,
  kState = 7,
  kValue = 8,
  kPrevValue = 9,
  kDateTime = 10,
  kMicrosecond = 11,
  kTag = 12,
  kId = 13,
  kSettingData0 = 14,
  kSettingDataLast = 48,
};

constexpr std::string_view kItemPropertyNames[] = {
    "Index",      "Name",  "Description", "Attribute",   "LinkItem", "Activation", "LinkActivation",
    "State",      "Value", "PrevValue",   "DateTime",    "Microsecond", "Tag",     "ID"};

}  // namespace

int32_t ItemPropertyNumber(std::string_view name) {
  for (size_t i = 0; i < std::size(kItemPropertyNames); ++i) {
    if (EqualsNoCase(kItemPropertyNames[i], name)) return static_cast<int32_t>(i);
  }
  constexpr std::string_view kSettingData = "SettingData";
  if (name.size() <= kSettingData.size() || name.size() > kSettingData.size() + 2 ||
      !EqualsNoCase(name.substr(0, kSettingData.size()), kSettingData)) {
    return -1;
  }
  int32_t n = 0;
  for (const char c : name.substr(kSettingData.size())) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  if (name.size() == kSettingData.size() + 2 && name[kSettingData.size()] == '0') return -1;
  return n <= kSettingDataLast - kSettingData0 ? kSettingData0 + n : -1;
}

HRESULT ReadItemProperty(CTavrixItem& item, int32_t property, Variant* out) {
  switch (property) {
    case kIndex: *out = Variant::I4(item.index()); return S_OK;
    case kName: *out = Variant::Text(item.name()); return S_OK;
    case kDescription: *out = Variant::Text(item.settings().m_bstrDescription.str()); return S_OK;
    case kAttribute: *out = Variant::I4(item.settings().m_lAttribute); return S_OK;
    case kLinkItem: {
      // The link item list as the project writes it: entries joined by ",".
      std::string text;
      for (const std::string& link : item.settings().m_vecLinkItems) {
        if (!text.empty()) text += ',';
        text += link;
      }
      *out = Variant::Text(text);
      return S_OK;
    }
    case kActivation: *out = Variant::Bool(item.activation()); return S_OK;
    case kLinkActivation: *out = Variant::Bool(item.linkActivation()); return S_OK;
    case kState: *out = Variant::I4(item.state()); return S_OK;
    case kValue: *out = item.value(); return S_OK;
    case kPrevValue: *out = item.prevValue(); return S_OK;
    case kDateTime: *out = Variant::Date(item.dateTime()); return S_OK;
    case kMicrosecond: *out = Variant::I4(static_cast<int32_t>(item.microsecond())); return S_OK;
    case kId: {
      int32_t id = 0;
      RETURN_IF_FAILED(item.get_ID(&id));
      *out = Variant::I4(id);
      return S_OK;
    }
    default:
      if (property < 0 || property > kSettingDataLast) return E_INVALIDARG;
      // The tag and the setting data are not kept by items.
      return E_NOTIMPL;
  }
}

}  // namespace tavrix
