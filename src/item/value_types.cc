#include "item/value_types.h"

#include "platform/safearray.h"

namespace tavrix {
namespace {

bool IsSupportedScalar(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_BOOL: case VT_I1: case VT_UI1: case VT_I2:
    case VT_UI2: case VT_I4: case VT_UI4: case VT_I8: case VT_UI8: case VT_R4: case VT_R8:
    case VT_BSTR: case VT_DATE: case VT_CY:
      return true;
    default:
      return false;
  }
}

constexpr VARTYPE kRequestTypes[] = {VT_BOOL, VT_I1,   VT_UI1, VT_I2,  VT_UI2,
                                     VT_I4,   VT_UI4,  VT_R4,  VT_R8,  VT_BSTR,
                                     VT_DATE, VT_CY,   VT_VARIANT, VT_I8, VT_UI8};

constexpr VARTYPE kInitDataTypes[] = {
    VT_BOOL, VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_R4, VT_R8, VT_BSTR, VT_DATE, VT_CY,
    VT_I8, VT_UI8,
    VT_ARRAY | VT_BOOL, VT_ARRAY | VT_I1, VT_ARRAY | VT_UI1, VT_ARRAY | VT_I2, VT_ARRAY | VT_UI2,
    VT_ARRAY | VT_I4, VT_ARRAY | VT_UI4, VT_ARRAY | VT_I8, VT_ARRAY | VT_UI8, VT_ARRAY | VT_R4,
    VT_ARRAY | VT_R8, VT_ARRAY | VT_BSTR, VT_ARRAY | VT_DATE, VT_ARRAY | VT_CY,
    VT_ARRAY | VT_VARIANT};

}  // namespace

bool IsSupportedValueType(VARTYPE vt) {
  if (vt & VT_BYREF) return false;
  if (!(vt & VT_ARRAY)) return IsSupportedScalar(vt);
  const VARTYPE element = vt & ~VT_ARRAY;
  if (element == VT_VARIANT) return true;
  return element != VT_EMPTY && element != VT_NULL && IsSupportedScalar(element);
}

bool IsSupportedValue(const Variant& value) {
  const VARTYPE vt = value.vt();
  if (!IsSupportedValueType(vt)) return false;
  if (vt == (VT_ARRAY | VT_VARIANT)) {
    for (const Variant& e : value.array().variants()) {
      if (e.IsArray() || !IsSupportedScalar(e.vt())) return false;
    }
  }
  return true;
}

std::optional<VARTYPE> RequestTypeFromIndex(int32_t index) {
  if (index < 0 || index >= static_cast<int32_t>(std::size(kRequestTypes))) return std::nullopt;
  return kRequestTypes[index];
}

std::optional<VARTYPE> InitDataTypeFromIndex(int32_t index) {
  if (index < 0 || index >= static_cast<int32_t>(std::size(kInitDataTypes))) return std::nullopt;
  return kInitDataTypes[index];
}

}  // namespace tavrix
