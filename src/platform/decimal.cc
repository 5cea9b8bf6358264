#include "platform/decimal.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace tavrix {
namespace {

using U128 = unsigned __int128;


U128 Mantissa(const Decimal& d) { return (U128{d.hi32} << 64) | d.lo64; }

Decimal Make(U128 m, int scale, bool negative) {
  Decimal d;
  d.hi32 = static_cast<uint32_t>(m >> 64);
  d.lo64 = static_cast<uint64_t>(m);
  d.scale = static_cast<uint8_t>(scale);
  d.negative = negative;
  return d;
}

U128 Pow10(int n) {
  U128 p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

// m / 10^n rounded half to even; n <= 38.
U128 DivPow10Round(U128 m, int n) {
  if (n == 0) return m;
  const U128 p = Pow10(n);
  U128 q = m / p;
  const U128 r = m % p;
  const U128 half = p / 2;
  if (r > half || (r == half && (q & 1) != 0)) ++q;
  return q;
}

// An unsigned integer of 224 bits, little-endian 32-bit limbs: room for a
// 96-bit magnitude times 10^28, or the product of two 96-bit magnitudes.
struct Wide {
  static constexpr int kLimbs = 7;
  uint32_t limb[kLimbs] = {};

  static Wide From(U128 v) {
    Wide w;
    for (int i = 0; i < 4; ++i) w.limb[i] = static_cast<uint32_t>(v >> (32 * i));
    return w;
  }
  bool Fits96() const {
    for (int i = 3; i < kLimbs; ++i) {
      if (limb[i] != 0) return false;
    }
    return true;
  }
  U128 Low128() const {
    U128 v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 32) | limb[i];
    return v;
  }
  void MulSmall(uint32_t m) {
    uint64_t carry = 0;
    for (uint32_t& l : limb) {
      const uint64_t t = uint64_t{l} * m + carry;
      l = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
  }
  uint32_t DivSmall(uint32_t d) {
    uint64_t rem = 0;
    for (int i = kLimbs - 1; i >= 0; --i) {
      const uint64_t cur = (rem << 32) | limb[i];
      limb[i] = static_cast<uint32_t>(cur / d);
      rem = cur % d;
    }
    return static_cast<uint32_t>(rem);
  }
  void Add(const Wide& o) {
    uint64_t carry = 0;
    for (int i = 0; i < kLimbs; ++i) {
      const uint64_t t = uint64_t{limb[i]} + o.limb[i] + carry;
      limb[i] = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
  }
  void Sub(const Wide& o) {  // requires *this >= o
    int64_t borrow = 0;
    for (int i = 0; i < kLimbs; ++i) {
      int64_t t = int64_t{limb[i]} - o.limb[i] - borrow;
      borrow = t < 0;
      if (t < 0) t += int64_t{1} << 32;
      limb[i] = static_cast<uint32_t>(t);
    }
  }
  int Cmp(const Wide& o) const {
    for (int i = kLimbs - 1; i >= 0; --i) {
      if (limb[i] != o.limb[i]) return limb[i] < o.limb[i] ? -1 : 1;
    }
    return 0;
  }
};

// Brings an exact result to a 96-bit magnitude and a scale of at most 28,
// dropping decimals with rounding half to even.
HRESULT Fit(Wide w, int scale, bool negative, Decimal* out) {
  uint32_t rem = 0;
  bool sticky = false;
  while (scale > kDecimalMaxScale || !w.Fits96()) {
    if (scale == 0) return DISP_E_OVERFLOW;
    sticky = sticky || rem != 0;
    rem = w.DivSmall(10);
    --scale;
    if (scale <= kDecimalMaxScale && w.Fits96()) {
      if (rem > 5 || (rem == 5 && (sticky || (w.limb[0] & 1) != 0))) w.Add(Wide::From(1));
      rem = 0;
      sticky = false;
    }
  }
  *out = Make(w.Low128(), scale, negative);
  return S_OK;
}

}  // namespace

Decimal DecFromI8(int64_t v) noexcept {
  const bool neg = v < 0;
  const uint64_t mag = neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  return Make(mag, 0, neg);
}

Decimal DecFromUI8(uint64_t v) noexcept { return Make(v, 0, false); }

Decimal DecFromCy(Currency cy) noexcept {
  const bool neg = cy.int64 < 0;
  const uint64_t mag = neg ? 0 - static_cast<uint64_t>(cy.int64) : static_cast<uint64_t>(cy.int64);
  return Make(mag, 4, neg);
}

HRESULT DecFromDigits(bool negative, std::string_view digits, int exponent,
                      Decimal* out) noexcept {
  for (char c : digits) {
    if (c < '0' || c > '9') return E_INVALIDARG;
  }
  while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
  while (!digits.empty() && digits.back() == '0') {
    digits.remove_suffix(1);
    ++exponent;
  }
  if (digits.empty()) {
    *out = Make(0, 0, negative);
    return S_OK;
  }
  const int n = static_cast<int>(digits.size());
  if (exponent >= 0) {
    if (n + exponent > 29) return DISP_E_OVERFLOW;
    Wide w;
    for (char c : digits) {
      w.MulSmall(10);
      w.Add(Wide::From(static_cast<unsigned>(c - '0')));
    }
    for (int i = 0; i < exponent; ++i) w.MulSmall(10);
    return Fit(w, 0, negative, out);
  }
  // A fraction: keep at most 30 significant digits exactly, the rest only
  // decides the rounding (as a sticky nonzero tail).
  int scale = -exponent;
  int keep = n;
  bool tailNonZero = false;
  if (keep > 30) {
    for (int i = 30; i < n; ++i) tailNonZero = tailNonZero || digits[i] != '0';
    scale -= keep - 30;
    keep = 30;
  }
  if (scale < 0) return DISP_E_OVERFLOW;  // more than 30 whole digits
  if (scale - keep > kDecimalMaxScale) {  // every digit lies past 28 decimals
    *out = Make(0, 0, negative);
    return S_OK;
  }
  Wide w;
  for (int i = 0; i < keep; ++i) {
    w.MulSmall(10);
    w.Add(Wide::From(static_cast<unsigned>(digits[i] - '0')));
  }
  if (tailNonZero) {
    // One extra digit 1 stands for "a little more" so a tail after a 5 rounds up.
    w.MulSmall(10);
    w.Add(Wide::From(1));
    ++scale;
  }
  return Fit(w, scale, negative, out);
}

namespace {

// |v| rounded to `precision` significant digits, as the platform reads floats.
HRESULT FromSignificantDigits(double v, int precision, Decimal* out) {
  if (!std::isfinite(v)) return DISP_E_OVERFLOW;
  if (v == 0) {
    *out = Decimal{};
    return S_OK;
  }
  char buf[40];
  const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v),
                                 std::chars_format::scientific, precision - 1);
  const std::string_view text(buf, static_cast<size_t>(res.ptr - buf));
  const size_t e = text.find('e');
  std::string digits;
  for (char c : text.substr(0, e)) {
    if (c != '.') digits += c;
  }
  int exp10 = 0;
  std::from_chars(text.data() + e + 1 + (text[e + 1] == '+'), text.data() + text.size(), exp10);
  return DecFromDigits(v < 0, digits, exp10 - (precision - 1), out);
}

}  // namespace

HRESULT DecFromR8(double v, Decimal* out) noexcept { return FromSignificantDigits(v, 15, out); }

HRESULT DecFromR4(float v, Decimal* out) noexcept { return FromSignificantDigits(v, 7, out); }

HRESULT DecToI8(const Decimal& d, int64_t* out) noexcept {
  const U128 q = DivPow10Round(Mantissa(d), d.scale);
  if (d.negative) {
    if (q > U128{1} << 63) return DISP_E_OVERFLOW;
    *out = static_cast<int64_t>(0 - static_cast<uint64_t>(q));
  } else {
    if (q > static_cast<U128>(std::numeric_limits<int64_t>::max())) return DISP_E_OVERFLOW;
    *out = static_cast<int64_t>(q);
  }
  return S_OK;
}

HRESULT DecToUI8(const Decimal& d, uint64_t* out) noexcept {
  const U128 q = DivPow10Round(Mantissa(d), d.scale);
  if (q > std::numeric_limits<uint64_t>::max() || (d.negative && q != 0)) return DISP_E_OVERFLOW;
  *out = static_cast<uint64_t>(q);
  return S_OK;
}

HRESULT DecToCy(const Decimal& d, Currency* out) noexcept {
  U128 m = Mantissa(d);
  if (d.scale <= 4) {
    m *= Pow10(4 - d.scale);
  } else {
    m = DivPow10Round(m, d.scale - 4);
  }
  if (d.negative) {
    if (m > U128{1} << 63) return DISP_E_OVERFLOW;
    out->int64 = static_cast<int64_t>(0 - static_cast<uint64_t>(m));
  } else {
    if (m > static_cast<U128>(std::numeric_limits<int64_t>::max())) return DISP_E_OVERFLOW;
    out->int64 = static_cast<int64_t>(m);
  }
  return S_OK;
}

double DecToR8(const Decimal& d) noexcept {
  const std::string text = DecToText(d);
  double v = 0;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

std::string DecToText(const Decimal& d, std::string_view decimalSep) {
  U128 m = Mantissa(d);
  std::string digits;
  while (m != 0) {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  }
  if (digits.empty()) return "0";
  if (digits.size() <= d.scale) digits.insert(0, d.scale + 1 - digits.size(), '0');
  std::string whole = digits.substr(0, digits.size() - d.scale);
  std::string frac = digits.substr(digits.size() - d.scale);
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  std::string out = d.negative ? "-" : "";
  out += whole;
  if (!frac.empty()) {
    out += decimalSep;
    out += frac;
  }
  return out;
}

bool DecIsZero(const Decimal& d) noexcept { return d.hi32 == 0 && d.lo64 == 0; }

int DecCmp(const Decimal& a, const Decimal& b) noexcept {
  const bool az = DecIsZero(a);
  const bool bz = DecIsZero(b);
  if (az && bz) return 0;
  const bool an = a.negative && !az;
  const bool bn = b.negative && !bz;
  if (an != bn) return an ? -1 : 1;
  // Same sign: compare magnitudes, whole parts first, then fractions at scale 28.
  const U128 ma = Mantissa(a), mb = Mantissa(b);
  const U128 pa = Pow10(a.scale), pb = Pow10(b.scale);
  int mag = 0;
  if (ma / pa != mb / pb) {
    mag = ma / pa < mb / pb ? -1 : 1;
  } else {
    const U128 fa = ma % pa * Pow10(kDecimalMaxScale - a.scale);
    const U128 fb = mb % pb * Pow10(kDecimalMaxScale - b.scale);
    mag = fa < fb ? -1 : (fa > fb ? 1 : 0);
  }
  return an ? -mag : mag;
}

HRESULT DecAdd(const Decimal& a, const Decimal& b, Decimal* out) noexcept {
  const int scale = a.scale > b.scale ? a.scale : b.scale;
  Wide wa = Wide::From(Mantissa(a));
  Wide wb = Wide::From(Mantissa(b));
  for (int i = a.scale; i < scale; ++i) wa.MulSmall(10);
  for (int i = b.scale; i < scale; ++i) wb.MulSmall(10);
  if (a.negative == b.negative) {
    wa.Add(wb);
    return Fit(wa, scale, a.negative, out);
  }
  if (wa.Cmp(wb) >= 0) {
    wa.Sub(wb);
    return Fit(wa, scale, a.negative, out);
  }
  wb.Sub(wa);
  return Fit(wb, scale, b.negative, out);
}

HRESULT DecSub(const Decimal& a, const Decimal& b, Decimal* out) noexcept {
  Decimal nb = b;
  nb.negative = !b.negative;
  return DecAdd(a, nb, out);
}

HRESULT DecMul(const Decimal& a, const Decimal& b, Decimal* out) noexcept {
  // Schoolbook product of the 32-bit limbs: at most 192 bits.
  const Wide wa = Wide::From(Mantissa(a));
  const Wide wb = Wide::From(Mantissa(b));
  Wide p;
  for (int i = 0; i < 3; ++i) {
    uint64_t carry = 0;
    for (int j = 0; j < 3; ++j) {
      const uint64_t t = uint64_t{wa.limb[i]} * wb.limb[j] + p.limb[i + j] + carry;
      p.limb[i + j] = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
    for (int k = i + 3; carry != 0 && k < Wide::kLimbs; ++k) {
      const uint64_t t = uint64_t{p.limb[k]} + carry;
      p.limb[k] = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
  }
  return Fit(p, a.scale + b.scale, a.negative != b.negative, out);
}

}  // namespace tavrix
