// The item property names through which configurations name a property of
// an item as text (user-defined table columns, the system-value action), and
// reading a property by its number as the item's automation property of that
// name gives it.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix {

class CTavrixItem;

// The numbers of the two value properties, which a row reads once per item.
inline constexpr int32_t kItemPropertyValue = 8;
inline constexpr int32_t kItemPropertyPrevValue = 9;

// The number of a property name (without regard to case): "Index" 0 ...
// "ID" 13, "SettingData0".."SettingData34" 14..48; -1 for no such name.
int32_t ItemPropertyNumber(std::string_view name);

// Reads property `property` of `item`. E_NOTIMPL for the properties items do
// not keep here (Tag, the setting data); E_INVALIDARG for a number out of
// range; the item's failure for ID (E_FAIL without a variable).
HRESULT ReadItemProperty(CTavrixItem& item, int32_t property, Variant* out);

}  // namespace tavrix
