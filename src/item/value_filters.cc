#include "item/value_filters.h"

#include <array>

#include "platform/arith.h"
#include "platform/safearray.h"

namespace tavrix {
namespace {

// Digits a BCD value of the type holds; 0 when the type has no BCD form.
int BcdDigits(VARTYPE vt, bool versioned) {
  switch (vt) {
    case VT_I1: case VT_UI1: return 2;
    case VT_I2: case VT_UI2: return 4;
    case VT_I4: case VT_UI4: return 8;
    case VT_I8: case VT_UI8: return versioned ? 16 : 0;
    default: return 0;
  }
}

uint64_t WidthMask(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: return 0xFF;
    case VT_I2: case VT_UI2: return 0xFFFF;
    case VT_I4: case VT_UI4: return 0xFFFFFFFF;
    default: return ~uint64_t{0};
  }
}

// The value as the dead band and range filter compare it; false for other types.
enum class Width { kSingle, kDouble };
bool FilterNumber(const Variant& v, double* number, Width* width) {
  *width = Width::kSingle;
  switch (v.vt()) {
    case VT_I1: *number = v.i1(); return true;
    case VT_UI1: *number = v.ui1(); return true;
    case VT_I2: *number = v.i2(); return true;
    case VT_UI2: *number = v.ui2(); return true;
    case VT_I4: *number = static_cast<float>(v.i4()); return true;
    case VT_UI4: *number = static_cast<float>(v.ui4()); return true;
    case VT_R4: *number = v.r4(); return true;
    case VT_R8: *number = v.r8(); *width = Width::kDouble; return true;
    default: return false;
  }
}

bool Below(double value, float limit, Width w) {
  return w == Width::kDouble ? value < static_cast<double>(limit)
                             : static_cast<float>(value) < limit;
}
bool Above(double value, float limit, Width w) {
  return w == Width::kDouble ? value > static_cast<double>(limit)
                             : static_cast<float>(value) > limit;
}

bool ScalarsEqual(const Variant& a, const Variant& b, LCID lcid) {
  if (IsIntegerVarType(a.vt())) return IntegerBits(a) == IntegerBits(b);
  return VarCmp(a, b, lcid, 0) == VARCMP_EQ;
}

// Reads an optionally signed decimal number at s[*pos], skipping leading blanks.
bool ReadInt(std::string_view s, size_t* pos, int32_t* out) {
  size_t i = *pos;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  const size_t digits = i;
  int64_t v = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    v = v * 10 + (s[i++] - '0');
    if (v > int64_t{1} << 32) v = int64_t{1} << 32;  // saturate; wraps like the platform's scan
  }
  if (i == digits) return false;
  *out = static_cast<int32_t>(negative ? -v : v);
  *pos = i;
  return true;
}

}  // namespace

HRESULT ApplyMask(Variant* value, int64_t mask) {
  const VARTYPE vt = value->vt();
  if (!IsIntegerVarType(vt) || vt == VT_INT || vt == VT_UINT) return E_INVALIDARG;
  *value = IntegerFromBits(vt, IntegerBits(*value) & static_cast<uint64_t>(mask) & WidthMask(vt));
  return S_OK;
}

HRESULT DecodeBcd(Variant* value, bool versionedProject) {
  const int digits = BcdDigits(value->vt(), versionedProject);
  if (digits == 0) return E_INVALIDARG;
  const uint64_t bits = IntegerBits(*value);
  uint64_t result = 0;
  uint64_t scale = 1;
  for (int n = 0; n < digits; ++n, scale *= 10) result += ((bits >> (4 * n)) & 0xF) * scale;
  *value = IntegerFromBits(value->vt(), result);
  return S_OK;
}

HRESULT EncodeBcd(Variant* value, bool versionedProject) {
  const int digits = BcdDigits(value->vt(), versionedProject);
  if (digits == 0) return E_INVALIDARG;
  uint64_t rest = IntegerBits(*value);
  uint64_t result = 0;
  for (int n = 0; n < digits; ++n, rest /= 10) result |= (rest % 10) << (4 * n);
  *value = IntegerFromBits(value->vt(), result);
  return S_OK;
}

bool InDeadBand(const Variant& value, float min, float max) {
  double v;
  Width w;
  if (!FilterNumber(value, &v, &w)) return false;
  return !Below(v, min, w) && !Above(v, max, w);
}

bool OutOfRange(const Variant& value, float min, float max) {
  double v;
  Width w;
  if (!FilterNumber(value, &v, &w)) return false;
  return Below(v, min, w) || Above(v, max, w);
}

bool ValuesEqual(const Variant& a, const Variant& b, bool compareArrays, LCID lcid) {
  if (a.vt() != b.vt()) return false;
  if (a.IsNull()) return true;
  if (!a.IsArray()) return ScalarsEqual(a, b, lcid);
  if (!compareArrays || a.IsByRef()) return false;
  const SafeArray& x = a.array();
  const SafeArray& y = b.array();
  if (x.dims() != 1 || y.dims() != 1 || x.bounds() != y.bounds()) return false;
  for (size_t i = 0; i < x.size(); ++i) {
    const Variant ex = x.At(i);
    const Variant ey = y.At(i);
    if (ex.vt() != ey.vt() || ex.IsArray() || !(ex.IsNull() || ScalarsEqual(ex, ey, lcid))) {
      return false;
    }
  }
  return true;
}

HRESULT ParseElementSuffix(std::string_view itemName, bool subItem, ElementIndex* out) {
  *out = ElementIndex{};
  if (subItem) {
    const size_t bar = itemName.rfind('|');
    if (bar != std::string_view::npos) itemName.remove_prefix(bar + 1);
  }
  const size_t open = itemName.rfind('(');
  if (open == std::string_view::npos) return S_OK;
  size_t pos = open + 1;
  ElementIndex e;
  if (!ReadInt(itemName, &pos, &e.index[0])) return E_INVALIDARG;
  e.count = 1;
  while (e.count < 3 && pos < itemName.size() && itemName[pos] == ',') {
    ++pos;
    if (!ReadInt(itemName, &pos, &e.index[e.count])) break;
    ++e.count;
  }
  e.present = true;
  *out = e;
  return S_OK;
}

HRESULT ExtractElement(const ElementIndex& element, Variant* value) {
  if (!element.present || !value->IsArray() || value->IsByRef()) return S_OK;
  const SafeArray& a = value->array();
  switch (a.elementType()) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR:
    case VT_BOOL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8:
    case VT_VARIANT:
      break;
    default:
      return E_FAIL;
  }
  const uint32_t dims = a.dims();
  if (dims > 3) return DISP_E_BADINDEX;
  // The index vector's first entry is the right-most dimension's index.
  std::array<int32_t, 3> indexes{};
  for (uint32_t d = 0; d < dims; ++d) indexes[d] = element.index[dims - 1 - d];
  Variant out;
  RETURN_IF_FAILED(a.Get(std::span<const int32_t>(indexes.data(), dims), &out));
  *value = std::move(out);
  return S_OK;
}

bool ChatterFilter::Pass(const Variant& value, int32_t max, bool compareArrays, LCID lcid) {
  if (ValuesEqual(candidate_, value, compareArrays, lcid)) {
    if (++counter_ < max) return false;
    counter_ = 0;
    return true;
  }
  candidate_ = value;
  return false;
}

}  // namespace tavrix
