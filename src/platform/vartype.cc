#include "platform/vartype.h"

#include <cstdio>

namespace tavrix {

size_t VarTypeSize(VARTYPE vt) noexcept {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
      return 8;
    case VT_DECIMAL:
      return 16;
    default:
      return 0;
  }
}

bool IsKnownScalarType(VARTYPE vt) noexcept {
  return vt <= VT_DECIMAL || (vt >= VT_I1 && vt <= VT_UINT);
}

std::string VarTypeName(VARTYPE vt) {
  static const char* const kNames[] = {
      "VT_EMPTY", "VT_NULL",    "VT_I2",    "VT_I4",      "VT_R4",  "VT_R8",  "VT_CY",
      "VT_DATE",  "VT_BSTR",    "VT_DISPATCH", "VT_ERROR", "VT_BOOL", "VT_VARIANT",
      "VT_UNKNOWN", "VT_DECIMAL", nullptr, "VT_I1", "VT_UI1", "VT_UI2", "VT_UI4", "VT_I8",
      "VT_UI8",   "VT_INT",     "VT_UINT"};
  std::string out;
  if (vt & VT_BYREF) out += "VT_BYREF|";
  if (vt & VT_ARRAY) out += "VT_ARRAY|";
  const VARTYPE base = vt & VT_TYPEMASK;
  if (base < sizeof kNames / sizeof kNames[0] && kNames[base] != nullptr) {
    out += kNames[base];
  } else {
    char buf[16];
    std::snprintf(buf, sizeof buf, "VT_%u", base);
    out += buf;
  }
  return out;
}

}  // namespace tavrix
