// VarCmp: the order of two variants (contract in arith.h).
//
// Numbers compare without converting both sides to one type where that would
// lose precision: integers exactly, integers against floats through long double
// (which holds every 64-bit integer and every double), CY against integers in
// units of 1/10,000. Only where the platform documents a conversion (R8 to R4,
// floats to CY or DECIMAL) is one made.
#include <cfloat>
#include <cmath>
#include <string>

#include "platform/arith.h"
#include "platform/arith_internal.h"
#include "platform/currency.h"
#include "platform/decimal.h"
#include "platform/text.h"

namespace tavrix {

using arith_detail::Int128;
using arith_detail::IntegerOf;
using arith_detail::IsIntegerType;
using arith_detail::RealOf;

namespace {

template <class T>
HRESULT Order(const T& a, const T& b) noexcept {
  if (a < b) return VARCMP_LT;
  if (b < a) return VARCMP_GT;
  return VARCMP_EQ;
}

HRESULT FromSign(int sign) noexcept {
  return sign < 0 ? VARCMP_LT : sign > 0 ? VARCMP_GT : VARCMP_EQ;
}

bool IsFloatType(VARTYPE vt) noexcept { return vt == VT_R4 || vt == VT_R8 || vt == VT_DATE; }

// A float against a CY or DECIMAL (`exact`, on the left when exactOnLeft): the
// float is converted to the exact type; one beyond that type's range is
// larger in magnitude than any value of it.
HRESULT FloatAgainstExact(const Variant& exact, const Variant& f, bool exactOnLeft) {
  HRESULT order = VARCMP_EQ;
  if (exact.vt() == VT_CY) {
    Currency c;
    if (arith_detail::CurrencyOf(f, &c).succeeded()) {
      order = FromSign(CyCmp(exact.cy(), c));
    } else {
      order = RealOf(f) > 0 ? VARCMP_LT : VARCMP_GT;
    }
  } else {
    Decimal d;
    if (arith_detail::DecimalOf(f, &d).succeeded()) {
      order = FromSign(DecCmp(exact.dec(), d));
    } else {
      order = RealOf(f) > 0 ? VARCMP_LT : VARCMP_GT;
    }
  }
  if (exactOnLeft || order == VARCMP_EQ) return order;
  return order == VARCMP_LT ? VARCMP_GT : VARCMP_LT;
}

HRESULT CompareNumbers(const Variant& l, const Variant& r) {
  const VARTYPE lt = l.vt();
  const VARTYPE rt = r.vt();
  if (IsIntegerType(lt) && IsIntegerType(rt)) return Order(IntegerOf(l), IntegerOf(r));

  if (IsFloatType(lt) && IsFloatType(rt)) {
    const double a = RealOf(l);
    const double b = RealOf(r);
    // A double beyond the float range stays as it is: rounding it would be
    // undefined, and it is larger in magnitude than any finite float anyway.
    if ((lt == VT_R4 || rt == VT_R4) && std::fabs(a) <= FLT_MAX && std::fabs(b) <= FLT_MAX) {
      return Order(static_cast<float>(a), static_cast<float>(b));
    }
    return Order(a, b);
  }
  if (IsFloatType(lt) && (rt == VT_CY || rt == VT_DECIMAL)) return FloatAgainstExact(r, l, false);
  if (IsFloatType(rt) && (lt == VT_CY || lt == VT_DECIMAL)) return FloatAgainstExact(l, r, true);
  if (IsFloatType(lt) || IsFloatType(rt)) {
    // A float against an integer: long double holds every 64-bit integer and
    // every double exactly, so the comparison is exact.
    const auto side = [](const Variant& v) {
      return IsFloatType(v.vt()) ? static_cast<long double>(RealOf(v))
                                 : static_cast<long double>(IntegerOf(v));
    };
    return Order(side(l), side(r));
  }
  if (lt == VT_DECIMAL || rt == VT_DECIMAL) {
    Decimal a, b;
    RETURN_IF_FAILED(arith_detail::DecimalOf(l, &a));
    RETURN_IF_FAILED(arith_detail::DecimalOf(r, &b));
    return FromSign(DecCmp(a, b));
  }
  // Currency against currency or an integer, in units of 1/10,000.
  const auto units = [](const Variant& v) {
    return v.vt() == VT_CY ? static_cast<Int128>(v.cy().int64)
                           : IntegerOf(v) * Currency::kScale;
  };
  return Order(units(l), units(r));
}

HRESULT CompareTexts(const std::string& a, const std::string& b, uint32_t flags) {
  if (flags & NORM_IGNORECASE) return FromSign(CompareNoCase(a, b));
  // Byte order of UTF-8 is code point order.
  return FromSign(a.compare(b));
}

}  // namespace

HRESULT VarCmp(const Variant& left, const Variant& right, LCID lcid, uint32_t flags) {
  (void)lcid;  // no collation beyond code points; see the file comment
  Variant l, r;
  RETURN_IF_FAILED(arith_detail::ResolveBoth(left, right, &l, &r));
  // VT_ERROR compares only with VT_ERROR, and that check comes before NULL as
  // the operand checks of the other operators do.
  const bool leftError = l.vt() == VT_ERROR;
  if (leftError != (r.vt() == VT_ERROR)) return DISP_E_TYPEMISMATCH;
  if (l.IsNull() || r.IsNull()) return VARCMP_NULL;
  if (leftError) return Order(l.scode(), r.scode());
  if (l.IsText() || r.IsText()) {
    if (l.IsText() && r.IsText()) return CompareTexts(l.text(), r.text(), flags);
    if (l.IsEmpty()) return CompareTexts(std::string(), r.text(), flags);
    if (r.IsEmpty()) return CompareTexts(l.text(), std::string(), flags);
    return l.IsText() ? VARCMP_GT : VARCMP_LT;
  }
  return CompareNumbers(l, r);
}

}  // namespace tavrix
