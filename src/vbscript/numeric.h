// The operators' fast cases on numbers held in registers.
//
// Integer, Long and Double operands (and the Boolean result of comparing
// them) are the bulk of script arithmetic. NumApply gives the language's
// result for the cases it knows: the same type and value VarAdd and the
// other platform operators give, including the promotion of an Integer or
// Long result that does not fit (Integer -> Long -> Double). It answers
// false for everything else (other types, division by zero, Integer division
// of Doubles, ...), which the caller hands to the general rules.
#pragma once

#include <cmath>
#include <cstdint>

#include "platform/variant.h"
#include "vbscript/ast.h"
#include "vbscript/slots.h"

namespace tavrix::vbs {

// Left uninitialised until a value is stored: these live in hot loops.
struct Num {
  VARTYPE vt;  // VT_I2, VT_I4, VT_R8 or VT_BOOL
  union {
    int32_t i;  // VT_I2, VT_I4; VT_BOOL: 0 or 1
    double d;   // VT_R8
  };

  static Num Int(VARTYPE vt, int32_t v) {
    Num n;
    n.vt = vt;
    n.i = v;
    return n;
  }
  static Num Real(double v) {
    Num n;
    n.vt = VT_R8;
    n.d = v;
    return n;
  }
};

[[gnu::always_inline]] inline bool ToNum(const Variant& v, Num* out) {
  switch (v.vt()) {
    case VT_I2: out->vt = VT_I2; out->i = v.i2(); return true;
    case VT_I4: out->vt = VT_I4; out->i = v.i4(); return true;
    case VT_R8: out->vt = VT_R8; out->d = v.r8(); return true;
    default: return false;
  }
}

[[gnu::always_inline]] inline void StoreNum(Variant* dst, const Num& n) {
  switch (n.vt) {
    case VT_I2: StoreI2(dst, static_cast<int16_t>(n.i)); break;
    case VT_I4: StoreI4(dst, n.i); break;
    case VT_R8: StoreR8(dst, n.d); break;
    default: StoreBool(dst, n.i != 0); break;
  }
}

// An Integer / Long result: Integer while no operand was Long and it fits,
// else Long, else Double.
[[gnu::always_inline]] inline void IntNum(int64_t r, bool wide, Num* out) {
  if (!wide && r >= INT16_MIN && r <= INT16_MAX) {
    out->vt = VT_I2;
    out->i = static_cast<int32_t>(r);
  } else if (r >= INT32_MIN && r <= INT32_MAX) {
    out->vt = VT_I4;
    out->i = static_cast<int32_t>(r);
  } else {
    out->vt = VT_R8;
    out->d = static_cast<double>(r);
  }
}

inline bool IsCompareOp(Op op) { return op >= Op::kEq && op <= Op::kGe; }

inline bool CompareOutcome(Op op, int c) {
  switch (op) {
    case Op::kEq: return c == 0;
    case Op::kNe: return c != 0;
    case Op::kLt: return c < 0;
    case Op::kGt: return c > 0;
    case Op::kLe: return c <= 0;
    case Op::kGe: return c >= 0;
    default: return false;
  }
}

// True for the operators NumApply may compute.
inline bool IsNumericOp(Op op) {
  switch (op) {
    case Op::kMul: case Op::kDiv: case Op::kIdiv: case Op::kMod: case Op::kAdd: case Op::kSub:
    case Op::kAnd: case Op::kOr: case Op::kXor:
      return true;
    default:
      return IsCompareOp(op);
  }
}

[[gnu::always_inline]] inline bool NumApply(Op op, const Num& a, const Num& b, Num* out) {
  const bool aInt = a.vt == VT_I2 || a.vt == VT_I4;
  const bool bInt = b.vt == VT_I2 || b.vt == VT_I4;
  if (aInt && bInt) {
    const int64_t x = a.i;
    const int64_t y = b.i;
    const bool wide = a.vt == VT_I4 || b.vt == VT_I4;
    switch (op) {
      case Op::kAdd: IntNum(x + y, wide, out); return true;
      case Op::kSub: IntNum(x - y, wide, out); return true;
      case Op::kMul: IntNum(x * y, wide, out); return true;
      case Op::kAnd: IntNum(x & y, wide, out); return true;
      case Op::kOr: IntNum(x | y, wide, out); return true;
      case Op::kXor: IntNum(x ^ y, wide, out); return true;
      case Op::kDiv:
        if (y == 0) return false;
        out->vt = VT_R8;
        out->d = static_cast<double>(x) / static_cast<double>(y);
        return true;
      case Op::kIdiv:
      case Op::kMod: {
        if (y == 0) return false;
        const int64_t q = op == Op::kIdiv ? x / y : x % y;
        // The quotient keeps the operands' type; one that does not fit is
        // an overflow for the general rules to report.
        if (wide ? (q < INT32_MIN || q > INT32_MAX) : (q < INT16_MIN || q > INT16_MAX)) {
          return false;
        }
        out->vt = wide ? VT_I4 : VT_I2;
        out->i = static_cast<int32_t>(q);
        return true;
      }
      default:
        if (!IsCompareOp(op)) return false;
        out->vt = VT_BOOL;
        out->i = CompareOutcome(op, x < y ? -1 : (x > y ? 1 : 0)) ? 1 : 0;
        return true;
    }
  }
  if ((!aInt && a.vt != VT_R8) || (!bInt && b.vt != VT_R8)) return false;
  const double x = aInt ? a.i : a.d;
  const double y = bInt ? b.i : b.d;
  switch (op) {
    case Op::kAdd: out->vt = VT_R8; out->d = x + y; return true;
    case Op::kSub: out->vt = VT_R8; out->d = x - y; return true;
    case Op::kMul: out->vt = VT_R8; out->d = x * y; return true;
    case Op::kDiv:
      if (y == 0) return false;
      out->vt = VT_R8;
      out->d = x / y;
      return true;
    default:
      if (!IsCompareOp(op) || std::isnan(x) || std::isnan(y)) return false;
      out->vt = VT_BOOL;
      out->i = CompareOutcome(op, x < y ? -1 : (x > y ? 1 : 0)) ? 1 : 0;
      return true;
  }
}

// Unary minus and Not: Integer, Long and Double keep their type (the
// smallest Integer and Long are left to the general rules); Not of a
// Boolean is its opposite.
inline bool NumUnary(Op op, const Num& a, Num* out) {
  if (op == Op::kNeg) {
    switch (a.vt) {
      case VT_I2:
        if (a.i == INT16_MIN) return false;
        *out = Num::Int(VT_I2, -a.i);
        return true;
      case VT_I4:
        if (a.i == INT32_MIN) return false;
        *out = Num::Int(VT_I4, -a.i);
        return true;
      case VT_R8:
        *out = Num::Real(-a.d);
        return true;
      default:
        return false;
    }
  }
  switch (a.vt) {
    case VT_I2: case VT_I4: *out = Num::Int(a.vt, ~a.i); return true;
    case VT_BOOL: *out = Num::Int(VT_BOOL, a.i != 0 ? 0 : 1); return true;
    default: return false;
  }
}

}  // namespace tavrix::vbs
