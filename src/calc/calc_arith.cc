// Arithmetic, comparison, minimum and maximum (codes 0-8, 11-16, 18-27, 35,
// 36) on top of the platform's variant operators.
//
// Versioned projects widen some types before the platform operator computes:
// VT_I1 to VT_I2, VT_UI2 to VT_I4, VT_UI4 to VT_I8, and VT_UI8 to VT_I8 (or
// VT_R8 above the largest VT_I8). Addition, subtraction and multiplication
// then give the result back in the operands' common type when it fits. Other projects hand the operands to the platform as they are.

#include <cstdint>
#include <limits>
#include <utility>

#include "calc/calc_functions.h"
#include "calc/calc_operations.h"
#include "platform/arith.h"
#include "platform/convert.h"

namespace tavrix::calc {
namespace {

using VarBinaryFn = HRESULT (*)(const Variant&, const Variant&, Variant*);
using VarUnaryFn = HRESULT (*)(const Variant&, Variant*);

constexpr double kDegreesPerRadian = 57.29577951308232;

Variant Widened(const Variant& v) {
  switch (v.vt()) {
    case VT_I1:
      return Variant::I2(v.i1());
    case VT_UI2:
      return Variant::I4(v.ui2());
    case VT_UI4:
      return Variant::I8(v.ui4());
    case VT_UI8:
      if (v.ui8() <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        return Variant::I8(static_cast<int64_t>(v.ui8()));
      }
      return Variant::R8(static_cast<double>(v.ui8()));
    default:
      return v;
  }
}

// The type an operand counts as for the type restore: its own, except that
// a VT_UI8 widened to VT_R8 counts as VT_R8.
VARTYPE CountedType(const Variant& original, const Variant& widened) {
  return widened.vt() == VT_R8 ? VARTYPE{VT_R8} : original.vt();
}

// Gives a result computed on widened operands back in the operands' common
// type when that is one the widening changed; keeps it as it is otherwise or
// when it does not fit.
void Restore(VARTYPE common, const CalcSettings& settings, Variant* result) {
  switch (common) {
    case VT_I1:
    case VT_UI2:
    case VT_UI4: {
      Variant back;
      if (ChangeType(*result, common, &back, 0, settings.lcid).succeeded()) *result = back;
      return;
    }
    case VT_UI8:
      if (result->vt() == VT_I8 && result->i8() >= 0) {
        *result = Variant::UI8(static_cast<uint64_t>(result->i8()));
      }
      return;
    default:
      return;
  }
}

HRESULT WidenedBinary(VarBinaryFn fn, bool restore, const Variant& left, const Variant& right,
                      const CalcSettings& settings, Variant* out) {
  if (!settings.versioned) return fn(left, right, out);
  const Variant wl = Widened(left);
  const Variant wr = Widened(right);
  RETURN_IF_FAILED(fn(wl, wr, out));
  const VARTYPE common = CountedType(left, wl);
  if (restore && common == CountedType(right, wr)) Restore(common, settings, out);
  return S_OK;
}

// Addition and subtraction with dates: a text added to or subtracted from a
// date is a number of days by the number text rule ("2H"); a date result
// stays a date, and the difference of two dates is a number of days.
HRESULT DateAware(VarBinaryFn fn, const Variant& leftIn, const Variant& rightIn,
                  const CalcSettings& settings, Variant* out) {
  const Variant& left = leftIn.Deref();
  const Variant& right = rightIn.Deref();
  const bool leftDate = left.vt() == VT_DATE;
  Variant days;
  if (leftDate && right.vt() == VT_BSTR) {
    double value = 0;
    RETURN_IF_FAILED(NumberTextToDays(right.text(), &value));
    days = Variant::R8(value);
  }
  const Variant& operand = days.IsEmpty() ? right : days;
  Variant result;
  RETURN_IF_FAILED(WidenedBinary(fn, true, left, operand, settings, &result));
  if (!leftDate) {
    *out = std::move(result);
    return S_OK;
  }
  return ChangeType(result, right.vt() == VT_DATE ? VT_R8 : VT_DATE, out, 0, settings.lcid);
}

// How two operands compare: VARCMP_LT, VARCMP_EQ or VARCMP_GT. A null
// operand has no order and gives E_INVALIDARG.
HRESULT Compare(const Variant& leftIn, const Variant& rightIn, const CalcSettings& settings,
                HRESULT* order) {
  const Variant& left = leftIn.Deref();
  const Variant& right = rightIn.Deref();
  HRESULT hr;
  if (!settings.versioned) {
    hr = VarCmp(left, right, settings.lcid, 0);
  } else if (left.vt() == VT_UI8 && right.vt() == VT_UI8) {
    hr = left.ui8() < right.ui8() ? VARCMP_LT : left.ui8() == right.ui8() ? VARCMP_EQ : VARCMP_GT;
  } else {
    hr = VarCmp(Widened(left), Widened(right), settings.lcid, 0);
  }
  if (hr.failed()) return hr;
  if (hr != VARCMP_LT && hr != VARCMP_EQ && hr != VARCMP_GT) return E_INVALIDARG;
  *order = hr;
  return S_OK;
}

template <bool (*Holds)(HRESULT order)>
HRESULT Comparison(const Variant& left, const Variant& right, const CalcSettings& settings,
                   Variant* out) {
  HRESULT order;
  RETURN_IF_FAILED(Compare(left, right, settings, &order));
  *out = Variant::Bool(Holds(order));
  return S_OK;
}

bool IsLess(HRESULT order) { return order == VARCMP_LT; }
bool IsEqual(HRESULT order) { return order == VARCMP_EQ; }
bool IsGreater(HRESULT order) { return order == VARCMP_GT; }
bool IsNotEqual(HRESULT order) { return !IsEqual(order); }
bool IsNotGreater(HRESULT order) { return !IsGreater(order); }
bool IsNotLess(HRESULT order) { return !IsLess(order); }

// Absolute value and the integer parts: unsigned values of a versioned
// project are their own result.
HRESULT UnsignedKept(VarUnaryFn fn, const Variant& operandIn, const CalcSettings& settings,
                     Variant* out) {
  const Variant& operand = operandIn.Deref();
  if (!settings.versioned) return fn(operand, out);
  switch (operand.vt()) {
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
      *out = operand;
      return S_OK;
    default:
      return fn(Widened(operand), out);
  }
}

HRESULT AsDouble(const Variant& operand, const CalcSettings& settings, double* out) {
  Variant r8;
  RETURN_IF_FAILED(ChangeType(operand, VT_R8, &r8, 0, settings.lcid));
  *out = r8.r8();
  return S_OK;
}

// Minimum and maximum compare the operands as VT_R8 but give one of them
// back as it is (a text as its number). `leftWins` says, from (left, right)
// as numbers, when the left operand is the result; on equality it is not.
HRESULT Choose(bool (*leftWins)(double left, double right), const Variant& leftIn,
               const Variant& rightIn, const CalcSettings& settings, Variant* out) {
  const Variant& left = leftIn.Deref();
  const Variant& right = rightIn.Deref();
  Variant l8;
  Variant r8;
  RETURN_IF_FAILED(ChangeType(left, VT_R8, &l8, 0, settings.lcid));
  RETURN_IF_FAILED(ChangeType(right, VT_R8, &r8, 0, settings.lcid));
  if (left.IsEmpty()) {
    *out = right;
  } else if (right.IsEmpty()) {
    *out = left;
  } else if (leftWins(l8.r8(), r8.r8())) {
    *out = left.IsText() ? l8 : left;
  } else {
    *out = right.IsText() ? r8 : right;
  }
  return S_OK;
}

}  // namespace

HRESULT Copy(const Variant& operand, const CalcSettings&, Variant* out) {
  *out = operand.Deref();
  return S_OK;
}

HRESULT Add(const Variant& left, const Variant& right, const CalcSettings& settings,
            Variant* out) {
  return DateAware(VarAdd, left, right, settings, out);
}

HRESULT Subtract(const Variant& left, const Variant& right, const CalcSettings& settings,
                 Variant* out) {
  return DateAware(VarSub, left, right, settings, out);
}

HRESULT Multiply(const Variant& left, const Variant& right, const CalcSettings& settings,
                 Variant* out) {
  return WidenedBinary(VarMul, true, left.Deref(), right.Deref(), settings, out);
}

HRESULT Divide(const Variant& left, const Variant& right, const CalcSettings& settings,
               Variant* out) {
  return WidenedBinary(VarDiv, false, left.Deref(), right.Deref(), settings, out);
}

HRESULT Modulo(const Variant& left, const Variant& right, const CalcSettings&, Variant* out) {
  return VarMod(left, right, out);
}

HRESULT And(const Variant& left, const Variant& right, const CalcSettings&, Variant* out) {
  return VarAnd(left, right, out);
}

HRESULT Or(const Variant& left, const Variant& right, const CalcSettings&, Variant* out) {
  return VarOr(left, right, out);
}

HRESULT Xor(const Variant& left, const Variant& right, const CalcSettings&, Variant* out) {
  return VarXor(left, right, out);
}

HRESULT Equal(const Variant& left, const Variant& right, const CalcSettings& settings,
              Variant* out) {
  return Comparison<IsEqual>(left, right, settings, out);
}

HRESULT NotEqual(const Variant& left, const Variant& right, const CalcSettings& settings,
                 Variant* out) {
  return Comparison<IsNotEqual>(left, right, settings, out);
}

HRESULT LessOrEqual(const Variant& left, const Variant& right, const CalcSettings& settings,
                    Variant* out) {
  return Comparison<IsNotGreater>(left, right, settings, out);
}

HRESULT Less(const Variant& left, const Variant& right, const CalcSettings& settings,
             Variant* out) {
  return Comparison<IsLess>(left, right, settings, out);
}

HRESULT GreaterOrEqual(const Variant& left, const Variant& right, const CalcSettings& settings,
                       Variant* out) {
  return Comparison<IsNotLess>(left, right, settings, out);
}

HRESULT Greater(const Variant& left, const Variant& right, const CalcSettings& settings,
                Variant* out) {
  return Comparison<IsGreater>(left, right, settings, out);
}

HRESULT IntegerDivide(const Variant& left, const Variant& right, const CalcSettings&,
                      Variant* out) {
  return VarIdiv(left, right, out);
}

HRESULT Implication(const Variant& left, const Variant& right, const CalcSettings&,
                    Variant* out) {
  return VarImp(left, right, out);
}

HRESULT Power(const Variant& left, const Variant& right, const CalcSettings&, Variant* out) {
  return VarPow(left, right, out);
}

HRESULT Absolute(const Variant& operand, const CalcSettings& settings, Variant* out) {
  return UnsignedKept(VarAbs, operand, settings, out);
}

HRESULT Fix(const Variant& operand, const CalcSettings& settings, Variant* out) {
  return UnsignedKept(VarFix, operand, settings, out);
}

HRESULT Int(const Variant& operand, const CalcSettings& settings, Variant* out) {
  return UnsignedKept(VarInt, operand, settings, out);
}

HRESULT Negate(const Variant& operand, const CalcSettings& settings, Variant* out) {
  const Variant& value = operand.Deref();
  return VarNeg(settings.versioned ? Widened(value) : value, out);
}

HRESULT Not(const Variant& operand, const CalcSettings&, Variant* out) {
  return VarNot(operand, out);
}

HRESULT RadiansToDegrees(const Variant& operand, const CalcSettings& settings, Variant* out) {
  double radians = 0;
  RETURN_IF_FAILED(AsDouble(operand, settings, &radians));
  *out = Variant::R8(radians * kDegreesPerRadian);
  return S_OK;
}

HRESULT DegreesToRadians(const Variant& operand, const CalcSettings& settings, Variant* out) {
  double degrees = 0;
  RETURN_IF_FAILED(AsDouble(operand, settings, &degrees));
  *out = Variant::R8(degrees / kDegreesPerRadian);
  return S_OK;
}

HRESULT Minimum(const Variant& left, const Variant& right, const CalcSettings& settings,
                Variant* out) {
  return Choose([](double l, double r) { return r > l; }, left, right, settings, out);
}

HRESULT Maximum(const Variant& left, const Variant& right, const CalcSettings& settings,
                Variant* out) {
  return Choose([](double l, double r) { return r < l; }, left, right, settings, out);
}

}  // namespace tavrix::calc
