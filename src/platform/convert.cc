// ChangeType: the platform's VariantChangeTypeEx rules between the scalar
// types, objects (through their default member) and arrays.
#include "platform/convert.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/currency.h"
#include "platform/date.h"
#include "platform/decimal.h"
#include "platform/safearray.h"
#include "platform/text.h"

namespace tavrix {
namespace {

using Int128 = __int128;

// A default member may itself return an object; this bounds that chain.
constexpr int kMaxDefaultMemberDepth = 8;

bool IsArrayElementType(VARTYPE e) {
  return VarTypeSize(e) != 0 || e == VT_BSTR || e == VT_VARIANT || e == VT_DISPATCH ||
         e == VT_UNKNOWN;
}

bool IsValidType(VARTYPE vt) {
  if (vt & VT_BYREF) return false;
  if (vt & VT_ARRAY) {
    return (vt & ~(VT_ARRAY | VT_TYPEMASK)) == 0 && IsArrayElementType(vt & VT_TYPEMASK);
  }
  return vt <= VT_DECIMAL ? vt != 15 : (vt >= VT_I1 && vt <= VT_UINT);
}

bool IsIntegerType(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4:
    case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
      return true;
    default:
      return false;
  }
}

struct IntRange {
  Int128 min;
  Int128 max;
  int bits;
  bool isUnsigned;
};

IntRange RangeOf(VARTYPE vt) {
  switch (vt) {
    case VT_I1: return {-128, 127, 8, false};
    case VT_UI1: return {0, 255, 8, true};
    case VT_I2: return {-32768, 32767, 16, false};
    case VT_UI2: return {0, 65535, 16, true};
    case VT_I4: case VT_INT: return {INT32_MIN, INT32_MAX, 32, false};
    case VT_UI4: case VT_UINT: return {0, UINT32_MAX, 32, true};
    case VT_I8: return {INT64_MIN, INT64_MAX, 64, false};
    default: return {0, UINT64_MAX, 64, true};
  }
}

Variant MakeInt(VARTYPE vt, Int128 v) { return IntegerFromBits(vt, static_cast<uint64_t>(v)); }

// The value of a numeric source in the form that keeps it exactly.
struct Number {
  enum Kind { kInt, kReal, kCy, kDec } kind = kInt;
  Int128 i = 0;        // kInt: every integer type, BOOL and EMPTY
  double r = 0;        // kReal: R4, R8 and DATE
  bool isFloat = false;  // kReal from an R4: 7 digits count
  bool isBool = false;   // kInt from a BOOL: -1 is a bit pattern for unsigned targets
  Currency cy;
  Decimal dec;
};

bool NumberOf(const Variant& v, Number* n) {
  switch (v.vt()) {
    case VT_EMPTY: n->i = 0; return true;
    case VT_I1: n->i = v.i1(); return true;
    case VT_UI1: n->i = v.ui1(); return true;
    case VT_I2: n->i = v.i2(); return true;
    case VT_UI2: n->i = v.ui2(); return true;
    case VT_I4: case VT_INT: n->i = v.i4(); return true;
    case VT_UI4: case VT_UINT: n->i = v.ui4(); return true;
    case VT_I8: n->i = v.i8(); return true;
    case VT_UI8: n->i = v.ui8(); return true;
    case VT_BOOL:
      n->i = v.boolVal();
      n->isBool = true;
      return true;
    case VT_R4:
      n->kind = Number::kReal;
      n->r = v.r4();
      n->isFloat = true;
      return true;
    case VT_R8: case VT_DATE:
      n->kind = Number::kReal;
      n->r = v.r8();
      return true;
    case VT_CY:
      n->kind = Number::kCy;
      n->cy = v.cy();
      return true;
    case VT_DECIMAL:
      n->kind = Number::kDec;
      n->dec = v.dec();
      return true;
    default:
      return false;
  }
}

double RealOf(const Number& n) {
  switch (n.kind) {
    case Number::kInt: return static_cast<double>(n.i);
    case Number::kReal: return n.r;
    case Number::kCy: return CyToR8(n.cy);
    default: return DecToR8(n.dec);
  }
}

HRESULT ToInteger(const Number& n, VARTYPE vt, Variant* out) {
  const IntRange range = RangeOf(vt);
  Int128 v = 0;
  switch (n.kind) {
    case Number::kInt:
      v = n.i;
      if (n.isBool && range.isUnsigned && v < 0) v += Int128{1} << range.bits;
      break;
    case Number::kReal: {
      const double r = RoundHalfEven(n.r);  // range is checked after rounding
      // 2^64 is exact; NaN fails the test.
      if (!(r > -18446744073709551616.0 && r < 18446744073709551616.0)) return DISP_E_OVERFLOW;
      v = r < 0 ? -static_cast<Int128>(static_cast<uint64_t>(-r))
                : static_cast<Int128>(static_cast<uint64_t>(r));
      break;
    }
    case Number::kCy: {
      int64_t w = 0;
      RETURN_IF_FAILED(CyToI8(n.cy, &w));
      v = w;
      break;
    }
    case Number::kDec: {
      if (n.dec.negative) {
        int64_t w = 0;
        RETURN_IF_FAILED(DecToI8(n.dec, &w));
        v = w;
      } else {
        uint64_t w = 0;
        RETURN_IF_FAILED(DecToUI8(n.dec, &w));
        v = w;
      }
      break;
    }
  }
  if (v < range.min || v > range.max) return DISP_E_OVERFLOW;
  *out = MakeInt(vt, v);
  return S_OK;
}

HRESULT ToCurrency(const Number& n, Currency* out) {
  switch (n.kind) {
    case Number::kInt:
      if (n.i < std::numeric_limits<int64_t>::min()) return DISP_E_OVERFLOW;
      if (n.i > std::numeric_limits<int64_t>::max()) {
        return CyFromUI8(static_cast<uint64_t>(n.i), out);
      }
      return CyFromI8(static_cast<int64_t>(n.i), out);
    case Number::kReal: return CyFromR8(n.r, out);
    case Number::kCy: *out = n.cy; return S_OK;
    default: return DecToCy(n.dec, out);
  }
}

HRESULT ToDecimal(const Number& n, Decimal* out) {
  switch (n.kind) {
    case Number::kInt:
      *out = n.i < 0 ? DecFromI8(static_cast<int64_t>(n.i))
                     : DecFromUI8(static_cast<uint64_t>(n.i));
      return S_OK;
    case Number::kReal:
      return n.isFloat ? DecFromR4(static_cast<float>(n.r), out) : DecFromR8(n.r, out);
    case Number::kCy: *out = DecFromCy(n.cy); return S_OK;
    default: *out = n.dec; return S_OK;
  }
}

bool IsNonZero(const Number& n) {
  switch (n.kind) {
    case Number::kInt: return n.i != 0;
    case Number::kReal: return n.r != 0;  // NaN counts as nonzero
    case Number::kCy: return n.cy.int64 != 0;
    default: return !DecIsZero(n.dec);
  }
}

HRESULT FromNumber(const Number& n, VARTYPE vt, Variant* out) {
  if (IsIntegerType(vt)) return ToInteger(n, vt, out);
  switch (vt) {
    case VT_R4: {
      const double r = RealOf(n);
      const float f = static_cast<float>(r);
      if (std::isfinite(r) && !std::isfinite(f)) return DISP_E_OVERFLOW;
      *out = Variant::R4(f);
      return S_OK;
    }
    case VT_R8:
      *out = Variant::R8(RealOf(n));
      return S_OK;
    case VT_DATE: {
      const double r = RealOf(n);
      if (!IsValidDate(r)) return DISP_E_OVERFLOW;
      *out = Variant::Date(r);
      return S_OK;
    }
    case VT_CY: {
      Currency cy;
      RETURN_IF_FAILED(ToCurrency(n, &cy));
      *out = Variant::Cy(cy);
      return S_OK;
    }
    case VT_DECIMAL: {
      Decimal d;
      RETURN_IF_FAILED(ToDecimal(n, &d));
      *out = Variant::Dec(d);
      return S_OK;
    }
    case VT_BOOL:
      *out = Variant::Bool(IsNonZero(n));
      return S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

HRESULT FromText(const std::string& text, VARTYPE vt, Variant* out, uint16_t flags, LCID lcid) {
  if (IsIntegerType(vt)) {
    Number n;
    if (vt == VT_UI8) {
      uint64_t u = 0;
      RETURN_IF_FAILED(UI8FromStr(text, lcid, flags, &u));
      n.i = u;
    } else {
      int64_t i = 0;
      RETURN_IF_FAILED(I8FromStr(text, lcid, flags, &i));
      n.i = i;
    }
    return ToInteger(n, vt, out);
  }
  switch (vt) {
    case VT_R4:
    case VT_R8: {
      Number n;
      n.kind = Number::kReal;
      RETURN_IF_FAILED(R8FromStr(text, lcid, flags, &n.r));
      return FromNumber(n, vt, out);
    }
    case VT_DATE: {
      double d = 0;
      RETURN_IF_FAILED(DateFromStr(text, lcid, flags, &d));
      *out = Variant::Date(d);
      return S_OK;
    }
    case VT_CY: {
      Currency cy;
      RETURN_IF_FAILED(CyFromStr(text, lcid, flags, &cy));
      *out = Variant::Cy(cy);
      return S_OK;
    }
    case VT_DECIMAL: {
      Decimal d;
      RETURN_IF_FAILED(DecFromStr(text, lcid, flags, &d));
      *out = Variant::Dec(d);
      return S_OK;
    }
    case VT_BOOL: {
      VARIANT_BOOL b = VARIANT_FALSE;
      RETURN_IF_FAILED(BoolFromStr(text, lcid, flags, &b));
      *out = Variant::BoolRaw(b);
      return S_OK;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

HRESULT ToText(const Variant& v, uint16_t flags, LCID lcid, Variant* out) {
  std::string text;
  switch (v.vt()) {
    case VT_EMPTY: break;
    case VT_I1: text = std::to_string(v.i1()); break;
    case VT_UI1: text = std::to_string(v.ui1()); break;
    case VT_I2: text = std::to_string(v.i2()); break;
    case VT_UI2: text = std::to_string(v.ui2()); break;
    case VT_I4: case VT_INT: text = std::to_string(v.i4()); break;
    case VT_UI4: case VT_UINT: text = std::to_string(v.ui4()); break;
    case VT_I8: text = std::to_string(v.i8()); break;
    case VT_UI8: text = std::to_string(v.ui8()); break;
    case VT_R4: text = TextFromR4(v.r4(), lcid); break;
    case VT_R8: text = TextFromR8(v.r8(), lcid); break;
    case VT_CY: text = TextFromCy(v.cy(), lcid); break;
    case VT_DECIMAL: text = TextFromDec(v.dec(), lcid); break;
    case VT_BOOL: text = TextFromBool(v.boolVal(), flags, lcid); break;
    case VT_DATE: RETURN_IF_FAILED(TextFromDate(v.date(), lcid, &text)); break;
    default: return DISP_E_TYPEMISMATCH;
  }
  *out = Variant::Text(text);
  return S_OK;
}

HRESULT Convert(const Variant& src, VARTYPE vt, Variant* out, uint16_t flags, LCID lcid);

// A byte array and a text share their memory image on the platform: the text's
// UTF-16LE code units. An odd last byte becomes a unit of its own (high byte 0).
HRESULT BytesToText(const SafeArray& bytes, Variant* out) {
  const uint8_t* p = bytes.data();
  std::u16string units((bytes.size() + 1) / 2, u'\0');
  for (size_t i = 0; i < bytes.size(); ++i) {
    units[i / 2] = static_cast<char16_t>(units[i / 2] | (p[i] << (i % 2 ? 8 : 0)));
  }
  *out = Variant::Text(Utf16ToUtf8(units));
  return S_OK;
}

HRESULT TextToBytes(const std::string& text, Variant* out) {
  const std::string bytes = Utf16LeBytes(text);
  Ref<SafeArray> a = SafeArray::Create1D(VT_UI1, static_cast<uint32_t>(bytes.size()));
  if (!a) return E_OUTOFMEMORY;
  if (!bytes.empty()) std::copy(bytes.begin(), bytes.end(), a->data());
  *out = Variant::Array(std::move(a));
  return S_OK;
}

// The default member of an object, converted on.
HRESULT FromObject(const Variant& src, VARTYPE vt, Variant* out, uint16_t flags, LCID lcid) {
  if (vt == VT_UNKNOWN) {
    *out = Variant::Unknown(Ref<IUnknown>(src.unknown()));
    return S_OK;
  }
  Ref<IDispatch> disp;
  if (src.vt() == VT_DISPATCH) {
    disp = Ref<IDispatch>(src.dispatch());
  } else if (src.unknown() != nullptr) {
    disp = QueryAs<IDispatch>(src.unknown(), IID_IDispatch);
    if (!disp && vt == VT_DISPATCH) return E_NOINTERFACE;
  }
  if (vt == VT_DISPATCH) {
    *out = Variant::Dispatch(std::move(disp));
    return S_OK;
  }
  if (!disp || (flags & VARIANT_NOVALUEPROP)) return DISP_E_TYPEMISMATCH;
  Variant value;
  RETURN_IF_FAILED(DefaultValue(src, &value, lcid));
  return Convert(value, vt, out, flags, lcid);
}

HRESULT Convert(const Variant& src, VARTYPE vt, Variant* out, uint16_t flags, LCID lcid) {
  if (!IsValidType(vt) && vt != VT_VARIANT) return DISP_E_BADVARTYPE;
  if (src.IsByRef()) return DISP_E_TYPEMISMATCH;  // a reference to a reference
  const VARTYPE from = src.vt();
  if (!IsValidType(from) || from == VT_VARIANT) return DISP_E_BADVARTYPE;
  if (vt == VT_VARIANT || vt == from) {
    *out = src;
    return S_OK;
  }
  if (vt == (VT_ARRAY | VT_UI1) && from == VT_BSTR) return TextToBytes(src.text(), out);
  if (vt == VT_BSTR && from == (VT_ARRAY | VT_UI1)) return BytesToText(src.array(), out);
  if ((vt & VT_ARRAY) || src.IsArray()) return DISP_E_TYPEMISMATCH;
  if (from == VT_DISPATCH || from == VT_UNKNOWN) {
    return FromObject(src, vt, out, flags, lcid);
  }
  if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
    // EMPTY gives a null object ("Nothing"); no other value is an object.
    if (from != VT_EMPTY) return DISP_E_TYPEMISMATCH;
    *out = vt == VT_DISPATCH ? Variant::Dispatch(nullptr) : Variant::Unknown(nullptr);
    return S_OK;
  }
  if (from == VT_NULL || from == VT_ERROR || vt == VT_NULL || vt == VT_ERROR) {
    return DISP_E_TYPEMISMATCH;
  }
  if (vt == VT_EMPTY) {
    *out = Variant();
    return S_OK;
  }
  if (vt == VT_BSTR) return ToText(src, flags, lcid, out);
  if (from == VT_BSTR) return FromText(src.text(), vt, out, flags, lcid);
  Number n;
  if (!NumberOf(src, &n)) return DISP_E_TYPEMISMATCH;
  return FromNumber(n, vt, out);
}

}  // namespace

HRESULT DefaultValue(const Variant& value, Variant* out, LCID lcid) {
  Variant current = value.Deref();
  for (int depth = 0; depth <= kMaxDefaultMemberDepth; ++depth) {
    if (!current.IsObject()) {
      *out = std::move(current);
      return S_OK;
    }
    if (depth == kMaxDefaultMemberDepth) break;
    Ref<IDispatch> disp = current.vt() == VT_DISPATCH
                              ? Ref<IDispatch>(current.dispatch())
                              : QueryAs<IDispatch>(current.unknown(), IID_IDispatch);
    if (!disp) return DISP_E_TYPEMISMATCH;
    Variant next;
    RETURN_IF_FAILED(disp->Invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, {}, &next, nullptr, lcid));
    current = next.Deref();
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT ChangeType(const Variant& src, VARTYPE vt, Variant* out, uint16_t flags, LCID lcid) {
  Variant result;
  RETURN_IF_FAILED(Convert(src.Deref(), vt, &result, flags, lcid));
  *out = std::move(result);
  return S_OK;
}

}  // namespace tavrix
