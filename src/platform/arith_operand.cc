#include <cmath>
#include <span>
#include <string_view>

#include "platform/arith_internal.h"
#include "platform/convert.h"
#include "platform/currency.h"
#include "platform/date.h"
#include "platform/decimal.h"
#include "platform/locale.h"
#include "platform/text.h"
#include "platform/unknown.h"

namespace tavrix::arith_detail {

namespace {

// Types an operand may have once references are followed: the known scalars
// except VT_VARIANT, which only exists behind a reference or in an array.
bool IsOperandType(VARTYPE vt) noexcept {
  if (vt & VT_ARRAY) return IsKnownScalarType(vt & ~VT_ARRAY) || (vt & ~VT_ARRAY) == VT_VARIANT;
  return IsKnownScalarType(vt) && vt != VT_VARIANT;
}

// Follows one reference. A reference to a reference is no operand the
// platform produces; it is a bad type rather than a loop to follow.
HRESULT Dereference(const Variant& in, const Variant** out) noexcept {
  const Variant* v = &in;
  if (v->IsByRef()) {
    if (v->vt() != (VT_BYREF | VT_VARIANT) || v->byref() == nullptr) return DISP_E_BADVARTYPE;
    v = v->byref();
    if (v->IsByRef()) return DISP_E_BADVARTYPE;
  }
  if (!IsOperandType(v->vt())) return DISP_E_BADVARTYPE;
  *out = v;
  return S_OK;
}

HRESULT ResolveValue(const Variant& v, Variant* out) {
  if (v.IsArray() || v.vt() == VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
  if (v.vt() != VT_DISPATCH) {
    *out = v;
    return S_OK;
  }
  Variant value;
  RETURN_IF_FAILED(DefaultValue(v, &value));
  const Variant* inner = nullptr;
  RETURN_IF_FAILED(Dereference(value, &inner));
  if (inner->IsArray()) return DISP_E_TYPEMISMATCH;
  *out = *inner;
  return S_OK;
}

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

HRESULT Resolve(const Variant& in, Variant* out) {
  const Variant* v = nullptr;
  RETURN_IF_FAILED(Dereference(in, &v));
  return ResolveValue(*v, out);
}

HRESULT ResolveBoth(const Variant& left, const Variant& right, Variant* l, Variant* r) {
  const Variant* lv = nullptr;
  const Variant* rv = nullptr;
  RETURN_IF_FAILED(Dereference(left, &lv));
  RETURN_IF_FAILED(Dereference(right, &rv));
  RETURN_IF_FAILED(ResolveValue(*lv, l));
  return ResolveValue(*rv, r);
}

bool IsIntegerType(VARTYPE vt) noexcept {
  switch (vt) {
    case VT_EMPTY:
    case VT_BOOL:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
      return true;
    default:
      return false;
  }
}

bool IsNumericType(VARTYPE vt) noexcept {
  return IsIntegerType(vt) || vt == VT_R4 || vt == VT_R8 || vt == VT_CY || vt == VT_DATE ||
         vt == VT_DECIMAL;
}

Int128 IntegerOf(const Variant& v) noexcept {
  switch (v.vt()) {
    case VT_BOOL:
      return v.boolVal();
    case VT_I1:
      return v.i1();
    case VT_UI1:
      return v.ui1();
    case VT_I2:
      return v.i2();
    case VT_UI2:
      return v.ui2();
    case VT_I4:
    case VT_INT:
      return v.i4();
    case VT_UI4:
    case VT_UINT:
      return v.ui4();
    case VT_I8:
      return v.i8();
    case VT_UI8:
      return v.ui8();
    default:
      return 0;
  }
}

double RealOf(const Variant& v) noexcept {
  switch (v.vt()) {
    case VT_R4:
      return v.r4();
    case VT_R8:
      return v.r8();
    case VT_DATE:
      return v.date();
    case VT_CY:
      return CyToR8(v.cy());
    case VT_DECIMAL:
      return DecToR8(v.dec());
    default:
      return static_cast<double>(IntegerOf(v));
  }
}

bool FitsInteger(VARTYPE vt, Int128 value) noexcept {
  const auto in = [value](Int128 lo, Int128 hi) { return value >= lo && value <= hi; };
  switch (vt) {
    case VT_I1:
      return in(INT8_MIN, INT8_MAX);
    case VT_UI1:
      return in(0, UINT8_MAX);
    case VT_I2:
    case VT_BOOL:
      return in(INT16_MIN, INT16_MAX);
    case VT_UI2:
      return in(0, UINT16_MAX);
    case VT_I4:
    case VT_INT:
      return in(INT32_MIN, INT32_MAX);
    case VT_UI4:
    case VT_UINT:
      return in(0, UINT32_MAX);
    case VT_I8:
      return in(INT64_MIN, INT64_MAX);
    case VT_UI8:
      return in(0, UINT64_MAX);
    default:
      return false;
  }
}

Variant IntegerVariant(VARTYPE vt, int64_t value) noexcept {
  switch (vt) {
    case VT_BOOL:
      return Variant::BoolRaw(static_cast<VARIANT_BOOL>(value));
    case VT_I1:
      return Variant::I1(static_cast<int8_t>(value));
    case VT_UI1:
      return Variant::UI1(static_cast<uint8_t>(value));
    case VT_I2:
      return Variant::I2(static_cast<int16_t>(value));
    case VT_UI2:
      return Variant::UI2(static_cast<uint16_t>(value));
    case VT_I4:
      return Variant::I4(static_cast<int32_t>(value));
    case VT_INT:
      return Variant::Int(static_cast<int32_t>(value));
    case VT_UI4:
      return Variant::UI4(static_cast<uint32_t>(value));
    case VT_UINT:
      return Variant::UInt(static_cast<uint32_t>(value));
    case VT_UI8:
      return Variant::UI8(static_cast<uint64_t>(value));
    default:
      return Variant::I8(value);
  }
}

HRESULT RoundToInteger(double v, VARTYPE vt, int64_t* out) noexcept {
  if (!std::isfinite(v)) return DISP_E_OVERFLOW;
  const double whole = RoundHalfEven(v);
  // 2^63 is the first double past the int64 range; checking before the cast
  // keeps the cast defined.
  if (whole < -9223372036854775808.0 || whole >= 9223372036854775808.0) return DISP_E_OVERFLOW;
  const auto n = static_cast<int64_t>(whole);
  if (vt != VT_I8 && !FitsInteger(vt, n)) return DISP_E_OVERFLOW;
  *out = n;
  return S_OK;
}

HRESULT CurrencyOf(const Variant& v, Currency* out) noexcept {
  switch (v.vt()) {
    case VT_CY:
      *out = v.cy();
      return S_OK;
    case VT_DECIMAL:
      return DecToCy(v.dec(), out);
    case VT_R4:
    case VT_R8:
    case VT_DATE:
      return CyFromR8(RealOf(v), out);
    case VT_UI8:
      return CyFromUI8(v.ui8(), out);
    default:
      return CyFromI8(static_cast<int64_t>(IntegerOf(v)), out);
  }
}

HRESULT DecimalOf(const Variant& v, Decimal* out) noexcept {
  switch (v.vt()) {
    case VT_DECIMAL:
      *out = v.dec();
      return S_OK;
    case VT_CY:
      *out = DecFromCy(v.cy());
      return S_OK;
    case VT_R4:
      return DecFromR4(v.r4(), out);
    case VT_R8:
    case VT_DATE:
      return DecFromR8(RealOf(v), out);
    case VT_UI8:
      *out = DecFromUI8(v.ui8());
      return S_OK;
    default:
      *out = DecFromI8(static_cast<int64_t>(IntegerOf(v)));
      return S_OK;
  }
}

HRESULT NumberFromText(const std::string& text, Variant* out) {
  double d = 0;
  const HRESULT hr = R8FromStr(text, LOCALE_USER_DEFAULT, 0, &d);
  if (hr == DISP_E_OVERFLOW) return hr;
  if (hr.failed()) return DISP_E_TYPEMISMATCH;
  *out = Variant::R8(d);
  return S_OK;
}

bool BoolFromText(const std::string& text, bool* out) {
  const std::string_view t = Trim(text);
  const LocaleInfo& loc = GetLocale(LOCALE_USER_DEFAULT);
  if (EqualsNoCase(t, "True") || EqualsNoCase(t, loc.trueWord)) {
    *out = true;
    return true;
  }
  if (EqualsNoCase(t, "False") || EqualsNoCase(t, loc.falseWord)) {
    *out = false;
    return true;
  }
  return false;
}

Variant DateOrReal(double v) noexcept {
  return IsValidDate(v) ? Variant::Date(v) : Variant::R8(v);
}

}  // namespace tavrix::arith_detail
