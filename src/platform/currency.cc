#include "platform/currency.h"

#include <cmath>
#include <limits>

namespace tavrix {
namespace {

using Int128 = __int128;

constexpr int64_t kScale = Currency::kScale;
constexpr Int128 kMin = std::numeric_limits<int64_t>::min();
constexpr Int128 kMax = std::numeric_limits<int64_t>::max();

HRESULT Store(Int128 v, Currency* out) {
  if (v < kMin || v > kMax) return DISP_E_OVERFLOW;
  out->int64 = static_cast<int64_t>(v);
  return S_OK;
}

// num / den rounded half to even; den > 0.
Int128 DivRound(Int128 num, Int128 den) {
  Int128 q = num / den;
  Int128 r = num % den;
  if (r < 0) {  // floor division keeps the remainder test one-sided
    q -= 1;
    r += den;
  }
  const Int128 twice = 2 * r;
  if (twice > den || (twice == den && (q & 1) != 0)) q += 1;
  return q;
}

}  // namespace

double RoundHalfEven(double v) noexcept {
  if (!std::isfinite(v)) return v;
  const double f = std::floor(v);
  const double diff = v - f;
  if (diff > 0.5) return f + 1;
  if (diff < 0.5) return f;
  return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

HRESULT CyFromR8(double v, Currency* out) noexcept {
  const double scaled = RoundHalfEven(v * kScale);
  // 2^63 is exact as a double; NaN fails both tests.
  if (!(scaled >= -9223372036854775808.0 && scaled < 9223372036854775808.0)) {
    return DISP_E_OVERFLOW;
  }
  out->int64 = static_cast<int64_t>(scaled);
  return S_OK;
}

double CyToR8(Currency cy) noexcept { return static_cast<double>(cy.int64) / kScale; }

HRESULT CyFromI8(int64_t v, Currency* out) noexcept { return Store(Int128{v} * kScale, out); }

HRESULT CyFromUI8(uint64_t v, Currency* out) noexcept { return Store(Int128{v} * kScale, out); }

HRESULT CyToI8(Currency cy, int64_t* out) noexcept {
  *out = static_cast<int64_t>(DivRound(cy.int64, kScale));
  return S_OK;
}

HRESULT CyToUI8(Currency cy, uint64_t* out) noexcept {
  const Int128 v = DivRound(cy.int64, kScale);
  if (v < 0) return DISP_E_OVERFLOW;
  *out = static_cast<uint64_t>(v);
  return S_OK;
}

HRESULT CyToI4(Currency cy, int32_t* out) noexcept {
  const Int128 v = DivRound(cy.int64, kScale);
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
    return DISP_E_OVERFLOW;
  }
  *out = static_cast<int32_t>(v);
  return S_OK;
}

HRESULT CyAdd(Currency a, Currency b, Currency* out) noexcept {
  return Store(Int128{a.int64} + b.int64, out);
}

HRESULT CySub(Currency a, Currency b, Currency* out) noexcept {
  return Store(Int128{a.int64} - b.int64, out);
}

HRESULT CyMul(Currency a, Currency b, Currency* out) noexcept {
  // |a*b| < 2^126: fits before the scale comes off.
  return Store(DivRound(Int128{a.int64} * b.int64, kScale), out);
}

HRESULT CyMulI4(Currency a, int32_t b, Currency* out) noexcept {
  return Store(Int128{a.int64} * b, out);
}

HRESULT CyMulI8(Currency a, int64_t b, Currency* out) noexcept {
  return Store(Int128{a.int64} * b, out);
}

HRESULT CyDiv(Currency a, Currency b, Currency* out) noexcept {
  if (b.int64 == 0) return DISP_E_DIVBYZERO;
  Int128 num = Int128{a.int64} * kScale;
  Int128 den = b.int64;
  if (den < 0) {
    num = -num;
    den = -den;
  }
  return Store(DivRound(num, den), out);
}

HRESULT CyNeg(Currency a, Currency* out) noexcept { return Store(-Int128{a.int64}, out); }

HRESULT CyAbs(Currency a, Currency* out) noexcept {
  return Store(a.int64 < 0 ? -Int128{a.int64} : Int128{a.int64}, out);
}

HRESULT CyFix(Currency a, Currency* out) noexcept {
  out->int64 = a.int64 / kScale * kScale;
  return S_OK;
}

HRESULT CyInt(Currency a, Currency* out) noexcept {
  Int128 q = a.int64 / kScale;
  if (a.int64 % kScale < 0) q -= 1;
  return Store(q * kScale, out);
}

HRESULT CyRound(Currency a, int decimals, Currency* out) noexcept {
  if (decimals < 0) return E_INVALIDARG;
  if (decimals >= 4) {
    *out = a;
    return S_OK;
  }
  int64_t unit = 1;
  for (int i = decimals; i < 4; ++i) unit *= 10;
  return Store(DivRound(a.int64, unit) * unit, out);
}

int CyCmp(Currency a, Currency b) noexcept {
  return a.int64 < b.int64 ? -1 : (a.int64 > b.int64 ? 1 : 0);
}

}  // namespace tavrix
