#include "kivdata/scalar_text.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "kivdata/date_text.h"

namespace tavrix::kivdata {
namespace {

using u128 = unsigned __int128;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool StartsWithAsciiNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsAsciiNoCase(s.substr(0, prefix.size()), prefix);
}

template <class T>
void AppendInteger(T v, std::string* out) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out->append(buf, r.ptr);
}

// "+12", "-7", "42": the sign and magnitude of a decimal integer.
HRESULT ParseIntegerParts(std::string_view s, bool* negative, uint64_t* magnitude) {
  size_t i = 0;
  *negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    *negative = s[0] == '-';
    i = 1;
  }
  if (i == s.size()) return DISP_E_TYPEMISMATCH;
  uint64_t m = 0;
  bool overflow = false;
  for (; i < s.size(); ++i) {
    if (!IsDigit(s[i])) return DISP_E_TYPEMISMATCH;
    const unsigned d = static_cast<unsigned>(s[i] - '0');
    if (m > (std::numeric_limits<uint64_t>::max() - d) / 10) overflow = true;
    m = m * 10 + d;
  }
  if (overflow) return DISP_E_OVERFLOW;
  *magnitude = m;
  return S_OK;
}

HRESULT ParseSigned(std::string_view s, int64_t min, int64_t max, int64_t* out) {
  bool negative = false;
  uint64_t m = 0;
  RETURN_IF_FAILED(ParseIntegerParts(s, &negative, &m));
  if (negative) {
    const uint64_t limit = uint64_t{0} - static_cast<uint64_t>(min);
    if (m > limit) return DISP_E_OVERFLOW;
    *out = static_cast<int64_t>(uint64_t{0} - m);
  } else {
    if (m > static_cast<uint64_t>(max)) return DISP_E_OVERFLOW;
    *out = static_cast<int64_t>(m);
  }
  return S_OK;
}

HRESULT ParseUnsigned(std::string_view s, uint64_t max, uint64_t* out) {
  bool negative = false;
  uint64_t m = 0;
  RETURN_IF_FAILED(ParseIntegerParts(s, &negative, &m));
  if ((negative && m != 0) || m > max) return DISP_E_OVERFLOW;
  *out = m;
  return S_OK;
}

// Floats: shortest round-trip digits; NaN payloads and signs survive through
// "NaN(0x<bits>)" because Identical compares bits.
template <class F>
struct FloatBits;
template <>
struct FloatBits<float> {
  using Bits = uint32_t;
  static constexpr Bits kQuietNaN = 0x7FC00000u;
  static constexpr Bits kSign = 0x80000000u;
  static constexpr int kHexDigits = 8;
};
template <>
struct FloatBits<double> {
  using Bits = uint64_t;
  static constexpr Bits kQuietNaN = 0x7FF8000000000000u;
  static constexpr Bits kSign = 0x8000000000000000u;
  static constexpr int kHexDigits = 16;
};

template <class F>
void AppendFloat(F v, std::string* out) {
  using B = FloatBits<F>;
  if (std::isnan(v)) {
    const typename B::Bits bits = std::bit_cast<typename B::Bits>(v);
    if (bits == B::kQuietNaN) {
      out->append("NaN");
    } else if (bits == (B::kQuietNaN | B::kSign)) {
      out->append("-NaN");
    } else {
      char buf[B::kHexDigits];
      static constexpr char kHex[] = "0123456789abcdef";
      for (int i = 0; i < B::kHexDigits; ++i) {
        buf[i] = kHex[(bits >> (4 * (B::kHexDigits - 1 - i))) & 0xF];
      }
      out->append("NaN(0x").append(buf, sizeof buf).append(")");
    }
    return;
  }
  if (std::isinf(v)) {
    out->append(v < 0 ? "-Infinity" : "Infinity");
    return;
  }
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out->append(buf, r.ptr);
}

template <class F>
HRESULT ParseFloat(std::string_view s, F* out) {
  using B = FloatBits<F>;
  bool negative = false;
  bool signed_ = false;
  std::string_view body = s;
  if (!body.empty() && (body[0] == '+' || body[0] == '-')) {
    negative = body[0] == '-';
    signed_ = true;
    body.remove_prefix(1);
  }
  if (EqualsAsciiNoCase(body, "nan")) {
    *out = std::bit_cast<F>(negative ? (B::kQuietNaN | B::kSign) : B::kQuietNaN);
    return S_OK;
  }
  if (StartsWithAsciiNoCase(body, "nan(")) {
    // The payload form carries the whole bit pattern, sign included.
    if (signed_ || body.back() != ')') return DISP_E_TYPEMISMATCH;
    std::string_view hex = body.substr(4, body.size() - 5);
    if (StartsWithAsciiNoCase(hex, "0x")) hex.remove_prefix(2);
    typename B::Bits bits = 0;
    const auto r = std::from_chars(hex.data(), hex.data() + hex.size(), bits, 16);
    if (hex.empty() || r.ec != std::errc() || r.ptr != hex.data() + hex.size()) {
      return DISP_E_TYPEMISMATCH;
    }
    const F v = std::bit_cast<F>(bits);
    if (!std::isnan(v)) return DISP_E_TYPEMISMATCH;
    *out = v;
    return S_OK;
  }
  if (EqualsAsciiNoCase(body, "inf") || EqualsAsciiNoCase(body, "infinity")) {
    *out = negative ? -std::numeric_limits<F>::infinity() : std::numeric_limits<F>::infinity();
    return S_OK;
  }
  // from_chars would take its own "inf"/"nan" spellings; only digits reach it.
  if (body.empty() || !(IsDigit(body[0]) || body[0] == '.')) return DISP_E_TYPEMISMATCH;
  F v{};
  const auto r = std::from_chars(body.data(), body.data() + body.size(), v);
  if (r.ec == std::errc::invalid_argument || r.ptr != body.data() + body.size()) {
    return DISP_E_TYPEMISMATCH;
  }
  if (r.ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
  *out = negative ? -v : v;
  return S_OK;
}

// Currency: the scaled integer written as an exact decimal, no trailing zeros.
void AppendCurrency(Currency c, std::string* out) {
  const uint64_t m = c.int64 < 0 ? uint64_t{0} - static_cast<uint64_t>(c.int64)
                                 : static_cast<uint64_t>(c.int64);
  if (c.int64 < 0) out->push_back('-');
  AppendInteger(m / Currency::kScale, out);
  uint64_t frac = m % Currency::kScale;
  if (frac == 0) return;
  char digits[4];
  for (int i = 3; i >= 0; --i) {
    digits[i] = static_cast<char>('0' + frac % 10);
    frac /= 10;
  }
  size_t n = 4;
  while (digits[n - 1] == '0') --n;
  out->push_back('.');
  out->append(digits, n);
}

// Sign, digits and one optional decimal point: the shared shape of currency and
// decimal texts. Gives the digits as an integer (up to 2^127) and the count of
// digits after the point; trailing zeros after the point count too.
HRESULT ParseFixedPoint(std::string_view s, bool* negative, u128* mantissa, int* scale) {
  size_t i = 0;
  *negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    *negative = s[0] == '-';
    i = 1;
  }
  u128 m = 0;
  int digits = 0;
  int after = -1;
  bool overflow = false;
  for (; i < s.size(); ++i) {
    if (s[i] == '.') {
      if (after >= 0) return DISP_E_TYPEMISMATCH;
      after = 0;
      continue;
    }
    if (!IsDigit(s[i])) return DISP_E_TYPEMISMATCH;
    ++digits;
    if (after >= 0) ++after;
    if (m >= (u128{1} << 120)) overflow = true;
    m = m * 10 + static_cast<unsigned>(s[i] - '0');
  }
  if (digits == 0) return DISP_E_TYPEMISMATCH;
  if (overflow) return DISP_E_OVERFLOW;
  *mantissa = m;
  *scale = after < 0 ? 0 : after;
  return S_OK;
}

HRESULT ParseCurrency(std::string_view s, Currency* out) {
  bool negative = false;
  u128 m = 0;
  int scale = 0;
  RETURN_IF_FAILED(ParseFixedPoint(s, &negative, &m, &scale));
  // Digits past the fourth decimal are accepted only as zeros: the value stays exact.
  for (; scale > 4; --scale) {
    if (m % 10 != 0) return DISP_E_TYPEMISMATCH;
    m /= 10;
  }
  for (; scale < 4; ++scale) {
    if (m >= (u128{1} << 120)) return DISP_E_OVERFLOW;
    m *= 10;
  }
  const u128 limit = negative ? (u128{1} << 63) : (u128{1} << 63) - 1;
  if (m > limit) return DISP_E_OVERFLOW;
  const uint64_t bits = static_cast<uint64_t>(m);
  out->int64 = static_cast<int64_t>(negative ? uint64_t{0} - bits : bits);
  return S_OK;
}

// Decimal: every digit of the mantissa, the point placed by the scale, so
// "1.50" keeps scale 2 and "-0" keeps its sign.
constexpr int kMaxDecimalScale = 28;

HRESULT AppendDecimal(const Decimal& d, std::string* out) {
  if (d.scale > kMaxDecimalScale) return E_INVALIDARG;
  u128 m = (u128{d.hi32} << 64) | d.lo64;
  char buf[40];
  int n = 0;
  do {
    buf[n++] = static_cast<char>('0' + static_cast<unsigned>(m % 10));
    m /= 10;
  } while (m != 0);
  while (n < d.scale + 1) buf[n++] = '0';
  if (d.negative) out->push_back('-');
  for (int i = n - 1; i >= 0; --i) {
    out->push_back(buf[i]);
    if (i == d.scale && i != 0) out->push_back('.');
  }
  return S_OK;
}

HRESULT ParseDecimal(std::string_view s, Decimal* out) {
  bool negative = false;
  u128 m = 0;
  int scale = 0;
  RETURN_IF_FAILED(ParseFixedPoint(s, &negative, &m, &scale));
  if (m >= (u128{1} << 96) || scale > kMaxDecimalScale) return DISP_E_OVERFLOW;
  Decimal d;
  // Zero padding too: arrays keep decimals as raw bytes and compare them so.
  std::memset(static_cast<void*>(&d), 0, sizeof d);
  d.scale = static_cast<uint8_t>(scale);
  d.negative = negative;
  d.hi32 = static_cast<uint32_t>(m >> 64);
  d.lo64 = static_cast<uint64_t>(m);
  *out = d;
  return S_OK;
}

// Booleans: True/False for the two canonical values; any other 16-bit pattern
// is written as its number so that it survives unchanged.
void AppendBool(VARIANT_BOOL b, std::string* out) {
  if (b == VARIANT_TRUE) {
    out->append("True");
  } else if (b == VARIANT_FALSE) {
    out->append("False");
  } else {
    AppendInteger(int{b}, out);
  }
}

HRESULT ParseBool(std::string_view s, VARIANT_BOOL* out) {
  if (EqualsAsciiNoCase(s, "true")) {
    *out = VARIANT_TRUE;
    return S_OK;
  }
  if (EqualsAsciiNoCase(s, "false")) {
    *out = VARIANT_FALSE;
    return S_OK;
  }
  int64_t v = 0;
  RETURN_IF_FAILED(ParseSigned(s, INT16_MIN, INT16_MAX, &v));
  *out = static_cast<VARIANT_BOOL>(v);
  return S_OK;
}

HRESULT ParseSignedVariant(VARTYPE vt, std::string_view s, Variant* out) {
  int64_t v = 0;
  switch (vt) {
    case VT_I1:
      RETURN_IF_FAILED(ParseSigned(s, INT8_MIN, INT8_MAX, &v));
      *out = Variant::I1(static_cast<int8_t>(v));
      return S_OK;
    case VT_I2:
      RETURN_IF_FAILED(ParseSigned(s, INT16_MIN, INT16_MAX, &v));
      *out = Variant::I2(static_cast<int16_t>(v));
      return S_OK;
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
      RETURN_IF_FAILED(ParseSigned(s, INT32_MIN, INT32_MAX, &v));
      *out = vt == VT_I4    ? Variant::I4(static_cast<int32_t>(v))
             : vt == VT_INT ? Variant::Int(static_cast<int32_t>(v))
                            : Variant::Error(static_cast<int32_t>(v));
      return S_OK;
    default:
      RETURN_IF_FAILED(ParseSigned(s, INT64_MIN, INT64_MAX, &v));
      *out = Variant::I8(v);
      return S_OK;
  }
}

HRESULT ParseUnsignedVariant(VARTYPE vt, std::string_view s, Variant* out) {
  uint64_t v = 0;
  switch (vt) {
    case VT_UI1:
      RETURN_IF_FAILED(ParseUnsigned(s, UINT8_MAX, &v));
      *out = Variant::UI1(static_cast<uint8_t>(v));
      return S_OK;
    case VT_UI2:
      RETURN_IF_FAILED(ParseUnsigned(s, UINT16_MAX, &v));
      *out = Variant::UI2(static_cast<uint16_t>(v));
      return S_OK;
    case VT_UI4:
    case VT_UINT:
      RETURN_IF_FAILED(ParseUnsigned(s, UINT32_MAX, &v));
      *out = vt == VT_UI4 ? Variant::UI4(static_cast<uint32_t>(v))
                          : Variant::UInt(static_cast<uint32_t>(v));
      return S_OK;
    default:
      RETURN_IF_FAILED(ParseUnsigned(s, UINT64_MAX, &v));
      *out = Variant::UI8(v);
      return S_OK;
  }
}

}  // namespace

std::string_view TrimBlanks(std::string_view s) noexcept {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool HasScalarText(VARTYPE vt) noexcept {
  switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_I1: case VT_UI1: case VT_I2: case VT_UI2:
    case VT_I4: case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
    case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR: case VT_ERROR:
    case VT_BOOL: case VT_DECIMAL:
      return true;
    default:
      return false;
  }
}

void AppendR8Text(double v, std::string* out) { AppendFloat(v, out); }

HRESULT ParseR8Text(std::string_view text, double* out) { return ParseFloat(text, out); }

HRESULT AppendScalarText(const Variant& v, std::string* out) {
  switch (v.vt()) {
    case VT_EMPTY: case VT_NULL: return S_OK;
    case VT_I1: AppendInteger(int{v.i1()}, out); return S_OK;
    case VT_UI1: AppendInteger(unsigned{v.ui1()}, out); return S_OK;
    case VT_I2: AppendInteger(v.i2(), out); return S_OK;
    case VT_UI2: AppendInteger(v.ui2(), out); return S_OK;
    case VT_I4: case VT_INT: case VT_ERROR: AppendInteger(v.i4(), out); return S_OK;
    case VT_UI4: case VT_UINT: AppendInteger(v.ui4(), out); return S_OK;
    case VT_I8: AppendInteger(v.i8(), out); return S_OK;
    case VT_UI8: AppendInteger(v.ui8(), out); return S_OK;
    case VT_R4: AppendFloat(v.r4(), out); return S_OK;
    case VT_R8: AppendFloat(v.r8(), out); return S_OK;
    case VT_CY: AppendCurrency(v.cy(), out); return S_OK;
    case VT_DATE: AppendDateText(v.date(), out); return S_OK;
    case VT_BSTR: out->append(v.text()); return S_OK;
    case VT_BOOL: AppendBool(v.boolVal(), out); return S_OK;
    case VT_DECIMAL: return AppendDecimal(v.dec(), out);
    default: return TVX_E_UNSUPPORTED_TYPE;
  }
}

HRESULT ParseScalarText(VARTYPE vt, std::string_view text, Variant* out) {
  if (vt == VT_BSTR) {
    *out = Variant::Text(text);
    return S_OK;
  }
  const std::string_view s = TrimBlanks(text);
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
      if (!s.empty()) return DISP_E_TYPEMISMATCH;
      *out = vt == VT_EMPTY ? Variant::Empty() : Variant::Null();
      return S_OK;
    case VT_I1: case VT_I2: case VT_I4: case VT_INT: case VT_ERROR: case VT_I8:
      return ParseSignedVariant(vt, s, out);
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UINT: case VT_UI8:
      return ParseUnsignedVariant(vt, s, out);
    case VT_R4: {
      float f = 0;
      RETURN_IF_FAILED(ParseFloat(s, &f));
      *out = Variant::R4(f);
      return S_OK;
    }
    case VT_R8: {
      double d = 0;
      RETURN_IF_FAILED(ParseFloat(s, &d));
      *out = Variant::R8(d);
      return S_OK;
    }
    case VT_CY: {
      Currency c;
      RETURN_IF_FAILED(ParseCurrency(s, &c));
      *out = Variant::Cy(c);
      return S_OK;
    }
    case VT_DATE: {
      double d = 0;
      RETURN_IF_FAILED(ParseDateText(s, &d));
      *out = Variant::Date(d);
      return S_OK;
    }
    case VT_BOOL: {
      VARIANT_BOOL b = 0;
      RETURN_IF_FAILED(ParseBool(s, &b));
      *out = Variant::BoolRaw(b);
      return S_OK;
    }
    case VT_DECIMAL: {
      Decimal d;
      RETURN_IF_FAILED(ParseDecimal(s, &d));
      *out = Variant::Dec(d);
      return S_OK;
    }
    default:
      return TVX_E_UNSUPPORTED_TYPE;
  }
}

}  // namespace tavrix::kivdata
