// The arithmetic operators VarAdd .. VarPow, VarCat and the unary VarNeg,
// VarAbs, VarFix, VarInt (contract in arith.h).
//
// Integer results are computed in 128 bits and then stored in the first type
// of the promotion ladder, from the result type up, that holds them, so the
// arithmetic itself needs no overflow checks. R8 results are computed in double from R8 operands,
// as the platform converts before it operates; CY and DECIMAL go through the
// exact helpers of currency.h and decimal.h.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string>

#include "platform/arith.h"
#include "platform/arith_internal.h"
#include "platform/convert.h"
#include "platform/currency.h"
#include "platform/decimal.h"

namespace tavrix {

using arith_detail::CurrencyOf;
using arith_detail::DateOrReal;
using arith_detail::DecimalOf;
using arith_detail::Int128;
using arith_detail::IntegerOf;
using arith_detail::IntegerVariant;
using arith_detail::FitsInteger;
using arith_detail::RealOf;

namespace {

enum class Op { kAdd, kSub, kMul };

// Result classes; the enumerator order is the addition ranking.
enum class Rank { kNone, kUI1, kI2, kI4, kI8, kR4, kR8, kCy, kDec, kDate };

Rank RankOf(VARTYPE vt) noexcept {
  switch (vt) {
    case VT_UI1:
      return Rank::kUI1;
    case VT_I2:
    case VT_BOOL:
      return Rank::kI2;
    case VT_I1:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
      return Rank::kI4;
    case VT_I8:
    case VT_UI8:
      return Rank::kI8;
    case VT_R4:
      return Rank::kR4;
    case VT_R8:
      return Rank::kR8;
    case VT_CY:
      return Rank::kCy;
    case VT_DECIMAL:
      return Rank::kDec;
    case VT_DATE:
      return Rank::kDate;
    default:
      return Rank::kNone;
  }
}

bool IsIntegerRank(Rank r) noexcept { return r >= Rank::kUI1 && r <= Rank::kI8; }

// Position in the multiplication ranking, where CY sits below R8.
int MulOrder(Rank r) noexcept {
  if (r == Rank::kCy) return static_cast<int>(Rank::kR8);
  if (r == Rank::kR8) return static_cast<int>(Rank::kCy);
  return static_cast<int>(r);
}

Rank ResultRank(Op op, Rank a, Rank b) noexcept {
  if (op == Op::kMul) {
    if (a == Rank::kDate) a = Rank::kR8;
    if (b == Rank::kDate) b = Rank::kR8;
  }
  if (a == Rank::kNone && b == Rank::kNone) return Rank::kI2;
  if (a == Rank::kNone) return b;
  if (b == Rank::kNone) return a;
  if (a == Rank::kDate || b == Rank::kDate) {
    return (op == Op::kSub && a == b) ? Rank::kR8 : Rank::kDate;
  }
  const auto wideInt = [](Rank r) { return r == Rank::kI4 || r == Rank::kI8; };
  if ((a == Rank::kR4 && wideInt(b)) || (b == Rank::kR4 && wideInt(a))) return Rank::kR8;
  if (op == Op::kMul) return MulOrder(a) >= MulOrder(b) ? a : b;
  return a >= b ? a : b;
}

VARTYPE IntegerRankType(Rank r) noexcept {
  switch (r) {
    case Rank::kUI1:
      return VT_UI1;
    case Rank::kI2:
      return VT_I2;
    case Rank::kI4:
      return VT_I4;
    default:
      return VT_I8;
  }
}

// The next wider type for an integer result that does not fit; VT_R8 after
// the 32-bit types, VT_EMPTY (none: overflow) after I8.
VARTYPE WiderType(VARTYPE vt) noexcept {
  switch (vt) {
    case VT_UI1:
    case VT_I1:
    case VT_BOOL:
      return VT_I2;
    case VT_I2:
      return VT_I4;
    case VT_I4:
    case VT_INT:
      return VT_R8;
    default:
      return VT_EMPTY;
  }
}

// Stores an integer result as `vt` or the first wider type that holds it.
HRESULT StoreWithPromotion(VARTYPE vt, Int128 v, Variant* out) {
  while (vt != VT_EMPTY) {
    if (vt == VT_R8) {
      *out = Variant::R8(static_cast<double>(v));
      return S_OK;
    }
    if (FitsInteger(vt, v)) {
      *out = IntegerVariant(vt, static_cast<int64_t>(v));
      return S_OK;
    }
    vt = WiderType(vt);
  }
  return DISP_E_OVERFLOW;
}

HRESULT StoreReal(double v, Variant* out) {
  if (!std::isfinite(v)) return DISP_E_OVERFLOW;
  *out = Variant::R8(v);
  return S_OK;
}

// An R4 result that leaves the float range is kept as R8.
HRESULT StoreSingle(double v, Variant* out) {
  if (!std::isfinite(v)) return DISP_E_OVERFLOW;
  *out = std::fabs(v) <= FLT_MAX ? Variant::R4(static_cast<float>(v)) : Variant::R8(v);
  return S_OK;
}

double Apply(Op op, double a, double b) noexcept {
  switch (op) {
    case Op::kAdd:
      return a + b;
    case Op::kSub:
      return a - b;
    default:
      return a * b;
  }
}

// Follows references and default values, rejects VT_ERROR, and reports NULL.
HRESULT PrepareBinary(const Variant& left, const Variant& right, Variant* l, Variant* r,
                      bool* isNull) {
  RETURN_IF_FAILED(arith_detail::ResolveBoth(left, right, l, r));
  if (l->vt() == VT_ERROR || r->vt() == VT_ERROR) return DISP_E_TYPEMISMATCH;
  *isNull = l->IsNull() || r->IsNull();
  return S_OK;
}

// Texts become R8 for the numeric operators.
HRESULT TextsToNumbers(Variant* l, Variant* r) {
  if (l->IsText()) RETURN_IF_FAILED(arith_detail::NumberFromText(l->text(), l));
  if (r->IsText()) RETURN_IF_FAILED(arith_detail::NumberFromText(r->text(), r));
  return S_OK;
}

HRESULT Arithmetic(Op op, const Variant& left, const Variant& right, Variant* out) {
  Variant l, r;
  bool isNull = false;
  RETURN_IF_FAILED(PrepareBinary(left, right, &l, &r, &isNull));
  if (isNull) {
    *out = Variant::Null();
    return S_OK;
  }
  if (op == Op::kAdd && (l.IsText() || l.IsEmpty()) && (r.IsText() || r.IsEmpty()) &&
      !(l.IsEmpty() && r.IsEmpty())) {
    // Text + text (or EMPTY, which is "") joins rather than adds.
    const std::string& a = l.IsText() ? l.text() : std::string();
    *out = Variant::Text(a + (r.IsText() ? r.text() : std::string()));
    return S_OK;
  }
  RETURN_IF_FAILED(TextsToNumbers(&l, &r));
  const Rank rank = ResultRank(op, RankOf(l.vt()), RankOf(r.vt()));

  if (IsIntegerRank(rank)) {
    const Int128 a = IntegerOf(l);
    const Int128 b = IntegerOf(r);
    const Int128 v = op == Op::kAdd ? a + b : op == Op::kSub ? a - b : a * b;
    return StoreWithPromotion(IntegerRankType(rank), v, out);
  }
  switch (rank) {
    case Rank::kR4:
      return StoreSingle(Apply(op, RealOf(l), RealOf(r)), out);
    case Rank::kDate: {
      const double v = Apply(op, RealOf(l), RealOf(r));
      if (!std::isfinite(v)) return DISP_E_OVERFLOW;
      *out = DateOrReal(v);
      return S_OK;
    }
    case Rank::kCy: {
      Currency a, b, v;
      RETURN_IF_FAILED(CurrencyOf(l, &a));
      RETURN_IF_FAILED(CurrencyOf(r, &b));
      RETURN_IF_FAILED(op == Op::kAdd   ? CyAdd(a, b, &v)
                       : op == Op::kSub ? CySub(a, b, &v)
                                        : CyMul(a, b, &v));
      *out = Variant::Cy(v);
      return S_OK;
    }
    case Rank::kDec: {
      Decimal a, b, v;
      RETURN_IF_FAILED(DecimalOf(l, &a));
      RETURN_IF_FAILED(DecimalOf(r, &b));
      RETURN_IF_FAILED(op == Op::kAdd   ? DecAdd(a, b, &v)
                       : op == Op::kSub ? DecSub(a, b, &v)
                                        : DecMul(a, b, &v));
      *out = Variant::Dec(v);
      return S_OK;
    }
    default:
      return StoreReal(Apply(op, RealOf(l), RealOf(r)), out);
  }
}

// VarDiv's result type: R4 when an R4 meets only R4, UI1, I2, BOOL or EMPTY;
// DECIMAL when either side is one; R8 otherwise.
Rank DivisionRank(Rank a, Rank b) noexcept {
  if (a == Rank::kDec || b == Rank::kDec) return Rank::kDec;
  const auto small = [](Rank x) { return x <= Rank::kI2 || x == Rank::kR4; };
  if ((a == Rank::kR4 || b == Rank::kR4) && small(a) && small(b)) return Rank::kR4;
  return Rank::kR8;
}

// VarIdiv and VarMod work on whole numbers of the operands' integer class:
// UI1, I2 (BOOL), I8 (I8, UI8) or I4 for everything else, floats, currency,
// dates, decimals and texts included.
VARTYPE WholeType(Rank a, Rank b) noexcept {
  const auto cls = [](Rank r) {
    if (r == Rank::kNone || IsIntegerRank(r)) return r;
    return Rank::kI4;
  };
  const Rank c = std::max(cls(a), cls(b));
  return c == Rank::kNone ? VARTYPE{VT_I2} : IntegerRankType(c);
}

// An operand as a whole number of type vt, rounded half to even.
HRESULT WholeOf(const Variant& v, VARTYPE vt, int64_t* out) {
  int64_t n = 0;
  switch (v.vt()) {
    case VT_R4:
    case VT_R8:
    case VT_DATE:
      return arith_detail::RoundToInteger(RealOf(v), vt, out);
    case VT_CY:
      RETURN_IF_FAILED(CyToI8(v.cy(), &n));
      break;
    case VT_DECIMAL:
      RETURN_IF_FAILED(DecToI8(v.dec(), &n));
      break;
    default: {
      const Int128 i = IntegerOf(v);
      if (!FitsInteger(vt, i)) return DISP_E_OVERFLOW;
      *out = static_cast<int64_t>(i);
      return S_OK;
    }
  }
  if (!FitsInteger(vt, n)) return DISP_E_OVERFLOW;
  *out = n;
  return S_OK;
}

HRESULT WholeDivision(bool remainder, const Variant& left, const Variant& right, Variant* out) {
  Variant l, r;
  bool isNull = false;
  RETURN_IF_FAILED(PrepareBinary(left, right, &l, &r, &isNull));
  if (isNull) {
    *out = Variant::Null();
    return S_OK;
  }
  RETURN_IF_FAILED(TextsToNumbers(&l, &r));
  const VARTYPE vt = WholeType(RankOf(l.vt()), RankOf(r.vt()));
  int64_t a = 0, b = 0;
  RETURN_IF_FAILED(WholeOf(l, vt, &a));
  RETURN_IF_FAILED(WholeOf(r, vt, &b));
  if (b == 0) return DISP_E_DIVBYZERO;
  if (remainder) {
    // The sign follows the dividend (C++ % truncates); x % -1 is 0 and would
    // trap for the smallest I8.
    *out = IntegerVariant(vt, b == -1 ? 0 : a % b);
    return S_OK;
  }
  // Only the smallest value divided by -1 leaves the range: I2 -32768 \ -1 is
  // I4 32768, the I4 one becomes R8, the I8 one overflows.
  return StoreWithPromotion(vt, static_cast<Int128>(a) / b, out);
}

// The text VarCat uses for one operand.
HRESULT CatText(const Variant& v, std::string* out) {
  switch (v.vt()) {
    case VT_BSTR:
      *out = v.text();
      return S_OK;
    case VT_EMPTY:
    case VT_NULL:
      out->clear();
      return S_OK;
    case VT_BOOL:
      *out = v.isTrue() ? "True" : "False";
      return S_OK;
    case VT_ERROR:
      return DISP_E_TYPEMISMATCH;
    default: {
      Variant text;
      RETURN_IF_FAILED(ChangeType(v, VT_BSTR, &text, 0, LOCALE_USER_DEFAULT));
      *out = text.text();
      return S_OK;
    }
  }
}

// Follows references and default values of a unary operand and makes a text a
// number. NULL comes back as NULL.
HRESULT PrepareUnary(const Variant& in, Variant* v) {
  RETURN_IF_FAILED(arith_detail::Resolve(in, v));
  if (v->vt() == VT_ERROR) return DISP_E_TYPEMISMATCH;
  if (v->IsText()) RETURN_IF_FAILED(arith_detail::NumberFromText(v->text(), v));
  return S_OK;
}

// The type a negated integer starts from: signed types keep theirs, BOOL is
// I2, unsigned types take the next signed type that holds their negation.
VARTYPE NegatedType(VARTYPE vt) noexcept {
  switch (vt) {
    case VT_BOOL:
    case VT_EMPTY:
    case VT_UI1:
      return VT_I2;
    case VT_UI2:
      return VT_I4;
    case VT_UI4:
    case VT_UINT:
    case VT_UI8:
      return VT_I8;
    default:
      return vt;
  }
}

// 96-bit magnitude of a decimal.
unsigned __int128 DecMagnitude(const Decimal& d) noexcept {
  return (static_cast<unsigned __int128>(d.hi32) << 64) | d.lo64;
}

// Whole part of a decimal, toward zero (floor = false) or minus infinity.
Decimal DecWhole(const Decimal& d, bool floor) noexcept {
  unsigned __int128 pow10 = 1;
  for (int i = 0; i < d.scale; ++i) pow10 *= 10;
  const unsigned __int128 m = DecMagnitude(d);
  unsigned __int128 q = m / pow10;
  // A remainder needs scale > 0, so q < 2^96 / 10 and q + 1 still fits.
  if (floor && d.negative && m % pow10 != 0) ++q;
  Decimal out;
  out.negative = d.negative && q != 0;
  out.hi32 = static_cast<uint32_t>(q >> 64);
  out.lo64 = static_cast<uint64_t>(q);
  return out;
}

enum class Unary { kNeg, kAbs, kFix, kInt };

HRESULT ApplyUnary(Unary fn, const Variant& in, Variant* out) {
  Variant v;
  RETURN_IF_FAILED(PrepareUnary(in, &v));
  const VARTYPE vt = v.vt();
  if (vt == VT_NULL) {
    *out = v;
    return S_OK;
  }
  if (arith_detail::IsIntegerType(vt)) {
    const Int128 n = IntegerOf(v);
    const bool negate = fn == Unary::kNeg || (fn == Unary::kAbs && n < 0);
    if (!negate) {
      // Abs of a non-negative value, Fix and Int of a whole number: the value
      // itself, except that BOOL and EMPTY become I2.
      if (vt == VT_BOOL || vt == VT_EMPTY) return StoreWithPromotion(VT_I2, n, out);
      *out = v;
      return S_OK;
    }
    return StoreWithPromotion(NegatedType(vt), -n, out);
  }
  switch (vt) {
    case VT_R4: {
      const float f = v.r4();
      *out = Variant::R4(fn == Unary::kNeg   ? -f
                         : fn == Unary::kAbs ? std::fabs(f)
                         : fn == Unary::kFix ? std::trunc(f)
                                             : std::floor(f));
      return S_OK;
    }
    case VT_R8:
    case VT_DATE: {
      const double d = RealOf(v);
      const double r = fn == Unary::kNeg   ? -d
                       : fn == Unary::kAbs ? std::fabs(d)
                       : fn == Unary::kFix ? std::trunc(d)
                                           : std::floor(d);
      *out = vt == VT_R8 ? Variant::R8(r) : DateOrReal(r);
      return S_OK;
    }
    case VT_CY: {
      Currency c;
      RETURN_IF_FAILED(fn == Unary::kNeg   ? CyNeg(v.cy(), &c)
                       : fn == Unary::kAbs ? CyAbs(v.cy(), &c)
                       : fn == Unary::kFix ? CyFix(v.cy(), &c)
                                           : CyInt(v.cy(), &c));
      *out = Variant::Cy(c);
      return S_OK;
    }
    case VT_DECIMAL: {
      Decimal d = v.dec();
      if (fn == Unary::kNeg) {
        d.negative = !d.negative && !DecIsZero(d);
      } else if (fn == Unary::kAbs) {
        d.negative = false;
      } else {
        d = DecWhole(d, fn == Unary::kInt);
      }
      *out = Variant::Dec(d);
      return S_OK;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

}  // namespace

HRESULT VarAdd(const Variant& left, const Variant& right, Variant* out) {
  return Arithmetic(Op::kAdd, left, right, out);
}

HRESULT VarSub(const Variant& left, const Variant& right, Variant* out) {
  return Arithmetic(Op::kSub, left, right, out);
}

HRESULT VarMul(const Variant& left, const Variant& right, Variant* out) {
  return Arithmetic(Op::kMul, left, right, out);
}

HRESULT VarDiv(const Variant& left, const Variant& right, Variant* out) {
  Variant l, r;
  bool isNull = false;
  RETURN_IF_FAILED(PrepareBinary(left, right, &l, &r, &isNull));
  if (isNull) {
    *out = Variant::Null();
    return S_OK;
  }
  RETURN_IF_FAILED(TextsToNumbers(&l, &r));
  const double a = RealOf(l);
  const double b = RealOf(r);
  // 0 / 0 has no value at all: the platform calls it an overflow, not a
  // division by zero.
  if (b == 0) return a == 0 || std::isnan(a) ? DISP_E_OVERFLOW : DISP_E_DIVBYZERO;
  const double q = a / b;
  switch (DivisionRank(RankOf(l.vt()), RankOf(r.vt()))) {
    case Rank::kR4:
      return StoreSingle(q, out);
    case Rank::kDec: {
      Decimal d;
      RETURN_IF_FAILED(DecFromR8(q, &d));
      *out = Variant::Dec(d);
      return S_OK;
    }
    default:
      return StoreReal(q, out);
  }
}

HRESULT VarIdiv(const Variant& left, const Variant& right, Variant* out) {
  return WholeDivision(false, left, right, out);
}

HRESULT VarMod(const Variant& left, const Variant& right, Variant* out) {
  return WholeDivision(true, left, right, out);
}

HRESULT VarPow(const Variant& left, const Variant& right, Variant* out) {
  Variant l, r;
  bool isNull = false;
  RETURN_IF_FAILED(PrepareBinary(left, right, &l, &r, &isNull));
  if (isNull) {
    *out = Variant::Null();
    return S_OK;
  }
  RETURN_IF_FAILED(TextsToNumbers(&l, &r));
  const double a = RealOf(l);
  const double b = RealOf(r);
  if (a == 0 && b < 0) return DISP_E_DIVBYZERO;
  const double v = std::pow(a, b);
  // A negative base with a fractional exponent has no real power: the
  // script's "invalid procedure call".
  if (std::isnan(v) && !std::isnan(a) && !std::isnan(b)) return E_INVALIDARG;
  return StoreReal(v, out);
}

HRESULT VarCat(const Variant& left, const Variant& right, Variant* out) {
  Variant l, r;
  RETURN_IF_FAILED(arith_detail::ResolveBoth(left, right, &l, &r));
  if (l.IsNull() && r.IsNull()) {
    *out = Variant::Null();
    return S_OK;
  }
  std::string a, b;
  RETURN_IF_FAILED(CatText(l, &a));
  RETURN_IF_FAILED(CatText(r, &b));
  *out = Variant::Text(a + b);
  return S_OK;
}

HRESULT VarNeg(const Variant& in, Variant* out) { return ApplyUnary(Unary::kNeg, in, out); }
HRESULT VarAbs(const Variant& in, Variant* out) { return ApplyUnary(Unary::kAbs, in, out); }
HRESULT VarFix(const Variant& in, Variant* out) { return ApplyUnary(Unary::kFix, in, out); }
HRESULT VarInt(const Variant& in, Variant* out) { return ApplyUnary(Unary::kInt, in, out); }

}  // namespace tavrix
