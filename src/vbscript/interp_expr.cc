// Expressions: values, operators with their fast paths for the common
// numeric and text cases, conditions, member access and indexing.
#include <cmath>
#include <cstring>
#include <optional>

#include "platform/arith.h"
#include "platform/convert.h"
#include "platform/safearray.h"
#include "vbscript/errors.h"
#include "vbscript/interp.h"
#include "vbscript/slots.h"

namespace tavrix::vbs {
namespace {

bool IsInt(VARTYPE vt) { return vt == VT_I2 || vt == VT_I4; }
int64_t IntOf(const Variant& v) { return v.vt() == VT_I2 ? v.i2() : v.i4(); }

bool IsFastNumber(VARTYPE vt) { return vt == VT_I2 || vt == VT_I4 || vt == VT_R8; }
double DoubleOf(const Variant& v) {
  return v.vt() == VT_R8 ? v.r8() : static_cast<double>(IntOf(v));
}

bool IsCompare(Op op) { return op >= Op::kEq && op <= Op::kGe; }

bool Compared(Op op, int c) {
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

// The comparison of two numbers or two texts without the platform's VarCmp;
// false when the pair takes the general rules (NaN, other types).
bool FastCompare(Op op, const Variant& a, const Variant& b, bool* out) {
  const VARTYPE va = a.vt();
  const VARTYPE vb = b.vt();
  if (IsInt(va) && IsInt(vb)) {
    const int64_t x = IntOf(a);
    const int64_t y = IntOf(b);
    *out = Compared(op, x < y ? -1 : (x > y ? 1 : 0));
    return true;
  }
  if (IsFastNumber(va) && IsFastNumber(vb)) {
    const double x = DoubleOf(a);
    const double y = DoubleOf(b);
    if (std::isnan(x) || std::isnan(y)) return false;
    *out = Compared(op, x < y ? -1 : (x > y ? 1 : 0));
    return true;
  }
  if (va == VT_BSTR && vb == VT_BSTR) {
    // UTF-8 byte order is code point order: the binary comparison.
    *out = Compared(op, a.text().compare(b.text()));
    return true;
  }
  return false;
}

// The identity of an object for `Is`: its IUnknown.
IUnknown* Identity(const Variant& v, Ref<IUnknown>* holder) {
  IUnknown* u = v.unknown();
  if (u == nullptr) return nullptr;
  *holder = QueryAs<IUnknown>(u, IID_IUnknown);
  return holder->get();
}

}  // namespace

HRESULT Interpreter::CheckName(const NameRef& r) {
  if (r.kind == RefKind::kUndefined) return Raise(ScriptError(kErrUndefinedVariable));
  return S_OK;
}

HRESULT Interpreter::Eval(const Expr* e, Frame& f, Variant* out) {
  switch (e->kind) {
    case ExprKind::kLiteral:
      StoreCopy(out, e->value);
      return S_OK;
    case ExprKind::kName:
      return EvalName(e, f, out);
    case ExprKind::kParen:
      return Eval(e->left.get(), f, out);
    case ExprKind::kUnary:
      return EvalUnary(e, f, out);
    case ExprKind::kBinary:
      return EvalBinary(e, f, out);
    case ExprKind::kMember:
      return EvalMember(e, f, out);
    case ExprKind::kIndex:
      return EvalIndex(e, f, out);
    case ExprKind::kNew:
      return EvalNew(e, out);
    case ExprKind::kMe:
      if (f.self == nullptr) return Raise(ScriptError(kErrInvalidMe));
      Store(out, Variant::Dispatch(Ref<IDispatch>(f.self)));
      return S_OK;
  }
  return Raise(E_UNEXPECTED);
}

HRESULT Interpreter::EvalName(const Expr* e, Frame& f, Variant* out) {
  const NameRef& r = e->ref;
  if (r.implicit) {
    if (const Proc* p = CalledProc(e, f)) return CallProc(p, {}, f, out, nullptr);
  }
  switch (r.kind) {
    case RefKind::kLocal:
      StoreCopy(out, *f.refs[r.index]);
      return S_OK;
    case RefKind::kGlobal:
      StoreCopy(out, r.cell->value);
      return S_OK;
    case RefKind::kField:
      StoreCopy(out, f.self->fields[static_cast<size_t>(r.index)]);
      return S_OK;
    case RefKind::kConst:
      StoreCopy(out, r.value);
      return S_OK;
    case RefKind::kProc:
      return CallProc(r.proc, {}, f, out, r.proc->owner != nullptr ? f.self : nullptr);
    case RefKind::kBuiltin:
      return CallBuiltin(r.builtin, {}, f, out);
    case RefKind::kMember:
      return GetProperty(r, {}, f, out);
    case RefKind::kClass:
      return Raise(ScriptError(kErrTypeMismatch));
    default:
      return Raise(ScriptError(kErrUndefinedVariable));
  }
}

HRESULT Interpreter::EvalValue(const Expr* e, Frame& f, Variant* out) {
  RETURN_IF_FAILED(Eval(e, f, out));
  if (out->vt() == VT_DISPATCH || out->vt() == VT_UNKNOWN) {
    if (out->unknown() == nullptr) return Raise(ScriptError(kErrObjectNotSet));
    Variant v;
    const HRESULT hr = DefaultValue(*out, &v, lcid_);
    if (hr.failed()) {
      return Raise(hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_TYPEMISMATCH
                       ? ScriptError(kErrNoSuchMember)
                       : hr);
    }
    Store(out, std::move(v));
  }
  return S_OK;
}

HRESULT Interpreter::EvalUnary(const Expr* e, Frame& f, Variant* out) {
  Num n;
  if (e->numeric && NumEval(e, f, &n)) {
    StoreNum(out, n);
    return S_OK;
  }
  std::optional<Variant> temp;
  const Variant* v = Direct(e->left.get(), f);
  if (v == nullptr) {
    RETURN_IF_FAILED(Eval(e->left.get(), f, &temp.emplace()));
    v = &*temp;
  }
  if (e->op == Op::kNeg) {
    switch (v->vt()) {
      case VT_I2:
        if (v->i2() == INT16_MIN) break;
        StoreI2(out, static_cast<int16_t>(-v->i2()));
        return S_OK;
      case VT_I4:
        if (v->i4() == INT32_MIN) break;
        StoreI4(out, -v->i4());
        return S_OK;
      case VT_R8:
        StoreR8(out, -v->r8());
        return S_OK;
      default:
        break;
    }
    return Raise(VarNeg(*v, out));
  }
  switch (v->vt()) {
    case VT_BOOL:
      StoreBool(out, !v->isTrue());
      return S_OK;
    case VT_I2:
      StoreI2(out, static_cast<int16_t>(~v->i2()));
      return S_OK;
    case VT_I4:
      StoreI4(out, ~v->i4());
      return S_OK;
    default:
      return Raise(VarNot(*v, out));
  }
}

HRESULT Interpreter::EvalBinary(const Expr* e, Frame& f, Variant* out) {
  // Variables and literals are read in place rather than copied; deeper
  // numeric expressions are computed in registers.
  const Variant* a = Direct(e->left.get(), f);
  const Variant* b = Direct(e->right.get(), f);
  if (a != nullptr && b != nullptr) return Apply(e->op, *a, *b, out);
  Num n;
  if (e->numeric && NumEval(e, f, &n)) {
    StoreNum(out, n);
    return S_OK;
  }
  return EvalOperands(e, f, a, b, out);
}

HRESULT Interpreter::EvalOperands(const Expr* e, Frame& f, const Variant* a, const Variant* b,
                                  Variant* out) {
  std::optional<Variant> lt, rt;
  RETURN_IF_FAILED(Operands(e, f, &lt, &rt, &a, &b));
  return Apply(e->op, *a, *b, out);
}

HRESULT Interpreter::Operands(const Expr* e, Frame& f, std::optional<Variant>* lt,
                              std::optional<Variant>* rt, const Variant** a, const Variant** b) {
  if (*a == nullptr) {
    RETURN_IF_FAILED(Eval(e->left.get(), f, &lt->emplace()));
    *a = &**lt;
  } else if (!e->right->pure) {
    // The right operand runs code that could change the left variable.
    *a = &lt->emplace(**a);
  }
  if (*b == nullptr) {
    RETURN_IF_FAILED(Eval(e->right.get(), f, &rt->emplace()));
    *b = &**rt;
  }
  return S_OK;
}

HRESULT Interpreter::Apply(Op op, const Variant& a, const Variant& b, Variant* out) {
  Num x, y, r;
  if (ToNum(a, &x) && ToNum(b, &y) && NumApply(op, x, y, &r)) {
    StoreNum(out, r);
    return S_OK;
  }
  return ApplyGeneral(op, a, b, out);
}

bool Interpreter::NumEval(const Expr* e, const Frame& f, Num* out) {
  // Literals and variables are read here rather than by a call of their own.
  auto operand = [&](const Expr* x, Num* n) {
    if (x->kind == ExprKind::kLiteral || x->kind == ExprKind::kName) {
      const Variant* v = Direct(x, f);
      return v != nullptr && ToNum(*v, n);
    }
    return NumEval(x, f, n);
  };
  switch (e->kind) {
    case ExprKind::kBinary: {
      Num a, b;
      return operand(e->left.get(), &a) && operand(e->right.get(), &b) &&
             NumApply(e->op, a, b, out);
    }
    case ExprKind::kUnary: {
      Num a;
      return operand(e->left.get(), &a) && NumUnary(e->op, a, out);
    }
    case ExprKind::kParen:
      return operand(e->left.get(), out);
    case ExprKind::kLiteral:
    case ExprKind::kName: {
      const Variant* v = Direct(e, f);
      return v != nullptr && ToNum(*v, out);
    }
    default:
      return false;
  }
}

HRESULT Interpreter::ApplyGeneral(Op op, const Variant& a, const Variant& b, Variant* out) {
  const VARTYPE va = a.vt();
  const VARTYPE vb = b.vt();
  if (va == VT_BSTR && vb == VT_BSTR) {
    if (op == Op::kCat) {
      const std::string& x = a.text();
      const std::string& y = b.text();
      std::string s;
      s.reserve(x.size() + y.size());
      s.append(x).append(y);
      Store(out, Variant::Text(s));
      return S_OK;
    }
    if (IsCompare(op)) {
      // UTF-8 byte order is code point order: the binary comparison.
      StoreBool(out, Compared(op, a.text().compare(b.text())));
      return S_OK;
    }
  } else if (va == VT_BOOL && vb == VT_BOOL) {
    const bool x = a.isTrue();
    const bool y = b.isTrue();
    switch (op) {
      case Op::kAnd: StoreBool(out, x && y); return S_OK;
      case Op::kOr: StoreBool(out, x || y); return S_OK;
      case Op::kXor: StoreBool(out, x != y); return S_OK;
      case Op::kEq: StoreBool(out, x == y); return S_OK;
      case Op::kNe: StoreBool(out, x != y); return S_OK;
      default: break;
    }
  }

  switch (op) {
    case Op::kPow: return Raise(VarPow(a, b, out));
    case Op::kMul: return Raise(VarMul(a, b, out));
    case Op::kDiv: return Raise(VarDiv(a, b, out));
    case Op::kIdiv: return Raise(VarIdiv(a, b, out));
    case Op::kMod: return Raise(VarMod(a, b, out));
    case Op::kAdd: return Raise(VarAdd(a, b, out));
    case Op::kSub: return Raise(VarSub(a, b, out));
    case Op::kCat: return Raise(VarCat(a, b, out));
    case Op::kAnd: return Raise(VarAnd(a, b, out));
    case Op::kOr: return Raise(VarOr(a, b, out));
    case Op::kXor: return Raise(VarXor(a, b, out));
    case Op::kEqv: return Raise(VarEqv(a, b, out));
    case Op::kImp: return Raise(VarImp(a, b, out));
    case Op::kIs: {
      if (!a.IsObject() || !b.IsObject()) return Raise(ScriptError(kErrObjectRequired));
      Ref<IUnknown> ha, hb;
      StoreBool(out, Identity(a, &ha) == Identity(b, &hb));
      return S_OK;
    }
    default: {
      const HRESULT hr = VarCmp(a, b, lcid_, 0);
      if (hr.failed()) return Raise(hr);
      if (hr == VARCMP_NULL) {
        Store(out, Variant::Null());
        return S_OK;
      }
      StoreBool(out, Compared(op, hr == VARCMP_LT ? -1 : (hr == VARCMP_GT ? 1 : 0)));
      return S_OK;
    }
  }
}

HRESULT Interpreter::Condition(const Expr* e, Frame& f, bool* out) {
  if (e->kind == ExprKind::kBinary && IsCompare(e->op)) {
    // The common `If a < b`: compared without making a Boolean variant.
    const Variant* a = Direct(e->left.get(), f);
    const Variant* b = Direct(e->right.get(), f);
    if (a != nullptr && b != nullptr) {
      if (FastCompare(e->op, *a, *b, out)) return S_OK;
    } else if (Num n; e->numeric && NumEval(e, f, &n)) {
      *out = n.i != 0;
      return S_OK;
    }
  }
  return ConditionValue(e, f, out);
}

HRESULT Interpreter::ConditionValue(const Expr* e, Frame& f, bool* out) {
  Variant v;
  RETURN_IF_FAILED(Eval(e, f, &v));
  switch (v.vt()) {
    case VT_BOOL: *out = v.isTrue(); return S_OK;
    case VT_I2: *out = v.i2() != 0; return S_OK;
    case VT_I4: *out = v.i4() != 0; return S_OK;
    case VT_R8: *out = v.r8() != 0; return S_OK;
    case VT_NULL: case VT_EMPTY: *out = false; return S_OK;
    default: break;
  }
  Variant b;
  RETURN_IF_FAILED(Raise(ChangeType(v, VT_BOOL, &b, 0, lcid_)));
  *out = b.isTrue();
  return S_OK;
}

HRESULT Interpreter::MemberObject(const Expr* e, Frame& f, Ref<IDispatch>* out) {
  Variant holder;
  const Variant* v;
  if (e->left) {
    RETURN_IF_FAILED(Eval(e->left.get(), f, &holder));
    v = &holder;
  } else {
    v = Slot(e->withRef, f);
    if (v == nullptr) return Raise(ScriptError(kErrInvalidReference));
  }
  if (v->vt() == VT_DISPATCH && v->dispatch() != nullptr) {
    *out = Ref<IDispatch>(v->dispatch());
    return S_OK;
  }
  if (v->vt() == VT_UNKNOWN && v->unknown() != nullptr) {
    *out = QueryAs<IDispatch>(v->unknown(), IID_IDispatch);
    if (*out) return S_OK;
  }
  return Raise(ScriptError(kErrObjectRequired));
}

HRESULT Interpreter::EvalMember(const Expr* e, Frame& f, Variant* out) {
  Ref<IDispatch> obj;
  RETURN_IF_FAILED(MemberObject(e, f, &obj));
  DISPID id;
  RETURN_IF_FAILED(IdOf(obj.get(), e->name, &id));
  return Invoke(obj.get(), e->name, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, out);
}

HRESULT Interpreter::ArrayIndexes(std::span<const ExprPtr> args, Frame& f,
                                  std::vector<int32_t>* out) {
  out->clear();
  for (const ExprPtr& a : args) {
    if (!a) return Raise(ScriptError(kErrSubscript));
    Variant v;
    RETURN_IF_FAILED(EvalValue(a.get(), f, &v));
    if (v.vt() == VT_I2) {
      out->push_back(v.i2());
    } else if (v.vt() == VT_I4) {
      out->push_back(v.i4());
    } else {
      Variant i;
      const HRESULT hr = ChangeType(v, VT_I4, &i, 0, lcid_);
      if (hr.failed()) return Raise(v.IsNull() ? ScriptError(kErrInvalidNull) : hr);
      out->push_back(i.i4());
    }
  }
  return S_OK;
}

HRESULT Interpreter::EvalIndex(const Expr* e, Frame& f, Variant* out) {
  const Expr* target = e->left.get();
  Variant holder;
  const Variant* v = nullptr;
  if (target->kind == ExprKind::kName) {
    if (const Proc* p = CalledProc(target, f)) {
      return CallProc(p, e->args, f, out, p->owner != nullptr ? f.self : nullptr);
    }
    switch (target->ref.kind) {
      case RefKind::kBuiltin:
        return CallBuiltin(target->ref.builtin, e->args, f, out);
      case RefKind::kMember:
        return GetProperty(target->ref, e->args, f, out);
      case RefKind::kLocal:
      case RefKind::kGlobal:
      case RefKind::kField:
        v = Slot(target->ref, f);
        break;
      case RefKind::kConst:
        v = &target->ref.value;
        break;
      case RefKind::kClass:
        return Raise(ScriptError(kErrTypeMismatch));
      default:
        return Raise(ScriptError(kErrUndefinedVariable));
    }
  } else if (target->kind == ExprKind::kMember) {
    Ref<IDispatch> obj;
    RETURN_IF_FAILED(MemberObject(target, f, &obj));
    DISPID id;
    RETURN_IF_FAILED(IdOf(obj.get(), target->name, &id));
    ArgValues args;
    RETURN_IF_FAILED(DispatchArgs(e->args, f, &args));
    const HRESULT hr =
        Invoke(obj.get(), target->name, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, out);
    if (hr != DISP_E_BADPARAMCOUNT || args.empty()) return hr;
    // `obj.Items(0)` where Items takes no arguments: the arguments index the
    // member's value (its default member, or an array).
    RETURN_IF_FAILED(Invoke(obj.get(), target->name, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                            {}, &holder));
    return IndexValue(holder, args, out);
  } else {
    RETURN_IF_FAILED(Eval(target, f, &holder));
    v = &holder;
  }
  if (v->IsArray()) {
    // The indexes are computed first: they may run code that changes the
    // variable, so the array is looked at only afterwards.
    std::vector<int32_t> indexes;
    if (e->args.size() == 1 && e->args[0]) {
      Variant iv;
      RETURN_IF_FAILED(EvalValue(e->args[0].get(), f, &iv));
      int32_t index;
      if (iv.vt() == VT_I2 || iv.vt() == VT_I4) {
        index = iv.vt() == VT_I2 ? iv.i2() : iv.i4();
      } else {
        Variant i;
        const HRESULT hr = ChangeType(iv, VT_I4, &i, 0, lcid_);
        if (hr.failed()) return Raise(iv.IsNull() ? ScriptError(kErrInvalidNull) : hr);
        index = i.i4();
      }
      if (!v->IsArray()) return Raise(ScriptError(kErrTypeMismatch));
      const SafeArray& arr = v->array();
      if (arr.dims() == 1) {
        const int64_t flat = int64_t{index} - arr.lbound(0);
        if (flat < 0 || static_cast<uint64_t>(flat) >= arr.size()) {
          return Raise(ScriptError(kErrSubscript));
        }
        Store(out, arr.At(static_cast<size_t>(flat)));
        return S_OK;
      }
      indexes.push_back(index);
    } else {
      RETURN_IF_FAILED(ArrayIndexes(e->args, f, &indexes));
    }
    if (!v->IsArray()) return Raise(ScriptError(kErrTypeMismatch));
    const HRESULT hr = v->array().Get(indexes, out);
    return Raise(hr == DISP_E_BADINDEX ? ScriptError(kErrSubscript) : hr);
  }
  if (v->vt() == VT_DISPATCH || v->vt() == VT_UNKNOWN) {
    Ref<IDispatch> obj = QueryAs<IDispatch>(v->unknown(), IID_IDispatch);
    if (!obj) return Raise(ScriptError(kErrObjectRequired));
    ArgValues args;
    RETURN_IF_FAILED(DispatchArgs(e->args, f, &args));
    return Invoke(obj.get(), "", DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, out);
  }
  if (e->args.empty()) {
    StoreCopy(out, *v);
    return S_OK;
  }
  return Raise(ScriptError(kErrTypeMismatch));
}

HRESULT Interpreter::IndexValue(const Variant& value, std::span<Variant> args, Variant* out) {
  if (value.IsArray()) {
    std::vector<int32_t> indexes;
    for (const Variant& a : args) {
      Variant i;
      RETURN_IF_FAILED(Raise(ChangeType(a.Deref(), VT_I4, &i, 0, lcid_)));
      indexes.push_back(i.i4());
    }
    const HRESULT hr = value.array().Get(indexes, out);
    return Raise(hr == DISP_E_BADINDEX ? ScriptError(kErrSubscript) : hr);
  }
  Ref<IDispatch> obj = QueryAs<IDispatch>(value.unknown(), IID_IDispatch);
  if (!obj) return Raise(ScriptError(kErrTypeMismatch));
  return Invoke(obj.get(), "", DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, out);
}

}  // namespace tavrix::vbs
