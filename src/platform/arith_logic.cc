// The logical operators VarAnd, VarOr, VarXor, VarEqv, VarImp and VarNot
// (contract in arith.h).
//
// Every operand is first made BOOL or an integer type; the operation then works
// on 64-bit two's complement bits and the store cuts them to the result type's
// width. "False" and "True" in the NULL tables generalise to all bits clear and
// all bits set, so 0 And Null is the other operand's 0 and -1 Or Null its -1.
#include <algorithm>
#include <cstdint>

#include "platform/arith.h"
#include "platform/arith_internal.h"
#include "platform/currency.h"
#include "platform/decimal.h"

namespace tavrix {

using arith_detail::FitsInteger;
using arith_detail::Int128;
using arith_detail::IntegerOf;
using arith_detail::IntegerVariant;

namespace {

enum class Logic { kAnd, kOr, kXor, kEqv, kImp };

// A resolved operand as BOOL or an integer type; NULL stays NULL.
HRESULT LogicalOperand(Variant v, Variant* out) {
  if (v.IsText()) {
    Variant number;
    const HRESULT hr = arith_detail::NumberFromText(v.text(), &number);
    bool b = false;
    if (hr.failed() && hr != DISP_E_OVERFLOW && arith_detail::BoolFromText(v.text(), &b)) {
      *out = Variant::Bool(b);
      return S_OK;
    }
    RETURN_IF_FAILED(hr);
    v = number;
  }
  int64_t n = 0;
  switch (v.vt()) {
    case VT_EMPTY:
      *out = Variant::I2(0);
      return S_OK;
    case VT_R4:
    case VT_R8:
    case VT_DATE:
      RETURN_IF_FAILED(arith_detail::RoundToInteger(arith_detail::RealOf(v), VT_I4, &n));
      break;
    case VT_CY: {
      int32_t i = 0;
      RETURN_IF_FAILED(CyToI4(v.cy(), &i));
      n = i;
      break;
    }
    case VT_DECIMAL:
      RETURN_IF_FAILED(DecToI8(v.dec(), &n));
      if (!FitsInteger(VT_I4, n)) return DISP_E_OVERFLOW;
      break;
    case VT_ERROR:
      return DISP_E_TYPEMISMATCH;
    default:
      *out = v;  // NULL, BOOL and the integer types
      return S_OK;
  }
  *out = Variant::I4(static_cast<int32_t>(n));
  return S_OK;
}

int LogicalClass(VARTYPE vt) noexcept {
  switch (vt) {
    case VT_BOOL:
    case VT_UI1:
    case VT_I1:
    case VT_I2:
      return 0;
    case VT_I8:
    case VT_UI8:
      return 2;
    default:
      return 1;
  }
}

VARTYPE LogicalResultType(VARTYPE a, VARTYPE b) noexcept {
  if (a == b) return a;
  static constexpr VARTYPE kByClass[] = {VT_I2, VT_I4, VT_I8};
  return kByClass[std::max(LogicalClass(a), LogicalClass(b))];
}

bool AllClear(const Variant& v) noexcept { return IntegerOf(v) == 0; }
bool AllSet(const Variant& v) noexcept {
  return IntegerOf(v) == IntegerOf(IntegerVariant(v.vt(), -1));
}

// The result when exactly one operand is NULL; `other` is the converted other
// operand, `nullOnLeft` says which side the NULL was on.
Variant WithNull(Logic op, const Variant& other, bool nullOnLeft) {
  switch (op) {
    case Logic::kAnd:
      return AllClear(other) ? other : Variant::Null();
    case Logic::kOr:
      return AllSet(other) ? other : Variant::Null();
    case Logic::kImp:
      if (nullOnLeft) return AllSet(other) ? other : Variant::Null();
      return AllClear(other) ? IntegerVariant(other.vt(), -1) : Variant::Null();
    default:
      return Variant::Null();
  }
}

HRESULT Logical(Logic op, const Variant& left, const Variant& right, Variant* out) {
  Variant l, r;
  RETURN_IF_FAILED(arith_detail::ResolveBoth(left, right, &l, &r));
  RETURN_IF_FAILED(LogicalOperand(l, &l));
  RETURN_IF_FAILED(LogicalOperand(r, &r));
  if (l.IsNull() || r.IsNull()) {
    const bool bothNull = l.IsNull() && r.IsNull();
    *out = bothNull ? Variant::Null() : WithNull(op, l.IsNull() ? r : l, l.IsNull());
    return S_OK;
  }
  const VARTYPE vt = LogicalResultType(l.vt(), r.vt());
  const Int128 a = IntegerOf(l);
  const Int128 b = IntegerOf(r);
  if (!FitsInteger(vt, a) || !FitsInteger(vt, b)) return DISP_E_OVERFLOW;
  // Bits of the two's complement form; the store cuts them to the type's width.
  const auto x = static_cast<uint64_t>(a);
  const auto y = static_cast<uint64_t>(b);
  uint64_t bits = 0;
  switch (op) {
    case Logic::kAnd:
      bits = x & y;
      break;
    case Logic::kOr:
      bits = x | y;
      break;
    case Logic::kXor:
      bits = x ^ y;
      break;
    case Logic::kEqv:
      bits = ~(x ^ y);
      break;
    case Logic::kImp:
      bits = ~x | y;
      break;
  }
  *out = IntegerVariant(vt, static_cast<int64_t>(bits));
  return S_OK;
}

}  // namespace

HRESULT VarAnd(const Variant& left, const Variant& right, Variant* out) {
  return Logical(Logic::kAnd, left, right, out);
}

HRESULT VarOr(const Variant& left, const Variant& right, Variant* out) {
  return Logical(Logic::kOr, left, right, out);
}

HRESULT VarXor(const Variant& left, const Variant& right, Variant* out) {
  return Logical(Logic::kXor, left, right, out);
}

HRESULT VarEqv(const Variant& left, const Variant& right, Variant* out) {
  return Logical(Logic::kEqv, left, right, out);
}

HRESULT VarImp(const Variant& left, const Variant& right, Variant* out) {
  return Logical(Logic::kImp, left, right, out);
}

HRESULT VarNot(const Variant& in, Variant* out) {
  Variant v;
  RETURN_IF_FAILED(arith_detail::Resolve(in, &v));
  RETURN_IF_FAILED(LogicalOperand(v, &v));
  if (v.IsNull()) {
    *out = v;
    return S_OK;
  }
  *out = IntegerVariant(v.vt(), static_cast<int64_t>(~static_cast<uint64_t>(IntegerOf(v))));
  return S_OK;
}

}  // namespace tavrix
