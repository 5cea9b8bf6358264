// Expressions: values, operators with their fast paths for the common
// numeric and text cases, member access, indexing, and assignment.
#include <cmath>
#include <cstring>

#include "platform/arith.h"
#include "platform/convert.h"
#include "platform/safearray.h"
#include "vbscript/errors.h"
#include "vbscript/interp.h"

namespace tavrix::vbs {
namespace {

bool IsInt(VARTYPE vt) { return vt == VT_I2 || vt == VT_I4; }

int64_t IntOf(const Variant& v) { return v.vt() == VT_I2 ? v.i2() : v.i4(); }

// The result of integer arithmetic: the operands' type, moving up to Long and
// then Double when the value does not fit (as VarAdd does).
Variant IntResult(int64_t r, bool wide) {
  if (!wide && r >= INT16_MIN && r <= INT16_MAX) return Variant::I2(static_cast<int16_t>(r));
  if (r >= INT32_MIN && r <= INT32_MAX) return Variant::I4(static_cast<int32_t>(r));
  return Variant::R8(static_cast<double>(r));
}

bool IsFastNumber(VARTYPE vt) { return vt == VT_I2 || vt == VT_I4 || vt == VT_R8; }
double DoubleOf(const Variant& v) {
  return v.vt() == VT_R8 ? v.r8() : static_cast<double>(IntOf(v));
}

Variant CompareResult(Op op, int c) {
  bool r = false;
  switch (op) {
    case Op::kEq: r = c == 0; break;
    case Op::kNe: r = c != 0; break;
    case Op::kLt: r = c < 0; break;
    case Op::kGt: r = c > 0; break;
    case Op::kLe: r = c <= 0; break;
    case Op::kGe: r = c >= 0; break;
    default: break;
  }
  return Variant::Bool(r);
}

bool IsCompare(Op op) { return op >= Op::kEq && op <= Op::kGe; }

// The identity of an object for `Is`: its IUnknown.
IUnknown* Identity(const Variant& v, Ref<IUnknown>* holder) {
  IUnknown* u = v.unknown();
  if (u == nullptr) return nullptr;
  *holder = QueryAs<IUnknown>(u, IID_IUnknown);
  return holder->get();
}

}  // namespace

Variant* Interpreter::Slot(const NameRef& r, Frame& f) {
  if (r.kind == RefKind::kLocal) return f.refs[r.index];
  if (r.kind == RefKind::kGlobal) return &globals_[static_cast<size_t>(r.index)];
  return nullptr;
}

HRESULT Interpreter::CheckName(const NameRef& r) {
  if (r.kind == RefKind::kUndefined) return Raise(ScriptError(kErrUndefinedVariable));
  return S_OK;
}

HRESULT Interpreter::Eval(const Expr* e, Frame& f, Variant* out) {
  switch (e->kind) {
    case ExprKind::kLiteral:
      *out = e->value;
      return S_OK;
    case ExprKind::kName:
      switch (e->ref.kind) {
        case RefKind::kLocal:
          *out = *f.refs[e->ref.index];
          return S_OK;
        case RefKind::kGlobal:
          *out = globals_[static_cast<size_t>(e->ref.index)];
          return S_OK;
        case RefKind::kConst:
          *out = e->ref.value;
          return S_OK;
        case RefKind::kProc:
          return CallProc(e->ref.proc, {}, f, out);
        case RefKind::kBuiltin:
          return CallBuiltin(e->ref.builtin, {}, f, out);
        default:
          return Raise(ScriptError(kErrUndefinedVariable));
      }
    case ExprKind::kParen:
      return Eval(e->left.get(), f, out);
    case ExprKind::kUnary: {
      Variant v;
      RETURN_IF_FAILED(Eval(e->left.get(), f, &v));
      if (e->op == Op::kNeg) {
        if (v.vt() == VT_I4 && v.i4() != INT32_MIN) {
          *out = Variant::I4(-v.i4());
          return S_OK;
        }
        if (v.vt() == VT_R8) {
          *out = Variant::R8(-v.r8());
          return S_OK;
        }
        return Raise(VarNeg(v, out));
      }
      if (v.vt() == VT_BOOL) {
        *out = Variant::Bool(!v.isTrue());
        return S_OK;
      }
      return Raise(VarNot(v, out));
    }
    case ExprKind::kBinary:
      return EvalBinary(e, f, out);
    case ExprKind::kMember:
      return EvalMember(e, f, out);
    case ExprKind::kIndex:
      return EvalIndex(e, f, out);
  }
  return Raise(E_UNEXPECTED);
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
    *out = std::move(v);
  }
  return S_OK;
}

HRESULT Interpreter::EvalBinary(const Expr* e, Frame& f, Variant* out) {
  // Plain variables are read in place rather than copied.
  Variant lt, rt;
  const Variant* a;
  const Variant* b;
  const Expr* l = e->left.get();
  const Expr* r = e->right.get();
  if (l->kind == ExprKind::kName && l->ref.kind == RefKind::kLocal) {
    a = f.refs[l->ref.index];
  } else if (l->kind == ExprKind::kName && l->ref.kind == RefKind::kGlobal) {
    a = &globals_[static_cast<size_t>(l->ref.index)];
  } else if (l->kind == ExprKind::kLiteral) {
    a = &l->value;
  } else {
    RETURN_IF_FAILED(Eval(l, f, &lt));
    a = &lt;
  }
  if (r->kind == ExprKind::kName && r->ref.kind == RefKind::kLocal) {
    b = f.refs[r->ref.index];
  } else if (r->kind == ExprKind::kName && r->ref.kind == RefKind::kGlobal) {
    b = &globals_[static_cast<size_t>(r->ref.index)];
  } else if (r->kind == ExprKind::kLiteral) {
    b = &r->value;
  } else {
    RETURN_IF_FAILED(Eval(r, f, &rt));
    b = &rt;
  }
  const Op op = e->op;
  const VARTYPE va = a->vt();
  const VARTYPE vb = b->vt();

  if (IsInt(va) && IsInt(vb)) {
    const int64_t x = IntOf(*a);
    const int64_t y = IntOf(*b);
    const bool wide = va == VT_I4 || vb == VT_I4;
    switch (op) {
      case Op::kAdd: *out = IntResult(x + y, wide); return S_OK;
      case Op::kSub: *out = IntResult(x - y, wide); return S_OK;
      case Op::kMul: *out = IntResult(x * y, wide); return S_OK;
      case Op::kDiv:
        if (y == 0) break;
        *out = Variant::R8(static_cast<double>(x) / static_cast<double>(y));
        return S_OK;
      case Op::kIdiv:
      case Op::kMod: {
        if (y == 0) return Raise(ScriptError(kErrDivisionByZero));
        const int64_t q = op == Op::kIdiv ? x / y : x % y;
        if (!wide && q >= INT16_MIN && q <= INT16_MAX) {
          *out = Variant::I2(static_cast<int16_t>(q));
          return S_OK;
        }
        if (wide && q >= INT32_MIN && q <= INT32_MAX) {
          *out = Variant::I4(static_cast<int32_t>(q));
          return S_OK;
        }
        break;
      }
      case Op::kAnd: *out = IntResult(x & y, wide); return S_OK;
      case Op::kOr: *out = IntResult(x | y, wide); return S_OK;
      case Op::kXor: *out = IntResult(x ^ y, wide); return S_OK;
      default:
        if (IsCompare(op)) {
          *out = CompareResult(op, x < y ? -1 : (x > y ? 1 : 0));
          return S_OK;
        }
        break;
    }
  } else if (IsFastNumber(va) && IsFastNumber(vb)) {
    const double x = DoubleOf(*a);
    const double y = DoubleOf(*b);
    switch (op) {
      case Op::kAdd: *out = Variant::R8(x + y); return S_OK;
      case Op::kSub: *out = Variant::R8(x - y); return S_OK;
      case Op::kMul: *out = Variant::R8(x * y); return S_OK;
      case Op::kDiv:
        if (y == 0) break;
        *out = Variant::R8(x / y);
        return S_OK;
      default:
        if (IsCompare(op) && !std::isnan(x) && !std::isnan(y)) {
          *out = CompareResult(op, x < y ? -1 : (x > y ? 1 : 0));
          return S_OK;
        }
        break;
    }
  } else if (va == VT_BSTR && vb == VT_BSTR) {
    if (op == Op::kCat) {
      const std::string& x = a->text();
      const std::string& y = b->text();
      std::string s;
      s.reserve(x.size() + y.size());
      s.append(x).append(y);
      *out = Variant::Text(s);
      return S_OK;
    }
    if (IsCompare(op)) {
      // UTF-8 byte order is code point order: the binary comparison.
      *out = CompareResult(op, a->text().compare(b->text()));
      return S_OK;
    }
  } else if (va == VT_BOOL && vb == VT_BOOL) {
    const bool x = a->isTrue();
    const bool y = b->isTrue();
    switch (op) {
      case Op::kAnd: *out = Variant::Bool(x && y); return S_OK;
      case Op::kOr: *out = Variant::Bool(x || y); return S_OK;
      case Op::kXor: *out = Variant::Bool(x != y); return S_OK;
      case Op::kEq: *out = Variant::Bool(x == y); return S_OK;
      case Op::kNe: *out = Variant::Bool(x != y); return S_OK;
      default: break;
    }
  }

  switch (op) {
    case Op::kPow: return Raise(VarPow(*a, *b, out));
    case Op::kMul: return Raise(VarMul(*a, *b, out));
    case Op::kDiv: return Raise(VarDiv(*a, *b, out));
    case Op::kIdiv: return Raise(VarIdiv(*a, *b, out));
    case Op::kMod: return Raise(VarMod(*a, *b, out));
    case Op::kAdd: return Raise(VarAdd(*a, *b, out));
    case Op::kSub: return Raise(VarSub(*a, *b, out));
    case Op::kCat: return Raise(VarCat(*a, *b, out));
    case Op::kAnd: return Raise(VarAnd(*a, *b, out));
    case Op::kOr: return Raise(VarOr(*a, *b, out));
    case Op::kXor: return Raise(VarXor(*a, *b, out));
    case Op::kEqv: return Raise(VarEqv(*a, *b, out));
    case Op::kImp: return Raise(VarImp(*a, *b, out));
    case Op::kIs: {
      const auto isObject = [](const Variant& v) {
        return v.vt() == VT_DISPATCH || v.vt() == VT_UNKNOWN;
      };
      if (!isObject(*a) || !isObject(*b)) return Raise(ScriptError(kErrObjectRequired));
      Ref<IUnknown> ha, hb;
      *out = Variant::Bool(Identity(*a, &ha) == Identity(*b, &hb));
      return S_OK;
    }
    default: {
      const HRESULT hr = VarCmp(*a, *b, lcid_, 0);
      if (hr.failed()) return Raise(hr);
      if (hr == VARCMP_NULL) {
        *out = Variant::Null();
        return S_OK;
      }
      *out = CompareResult(op, hr == VARCMP_LT ? -1 : (hr == VARCMP_GT ? 1 : 0));
      return S_OK;
    }
  }
}

HRESULT Interpreter::MemberObject(const Expr* e, Frame& f, Ref<IDispatch>* out) {
  Variant holder;
  const Variant* v;
  if (e->left) {
    RETURN_IF_FAILED(Eval(e->left.get(), f, &holder));
    v = &holder;
  } else {
    v = Slot(e->withRef, f);
    if (v == nullptr) return Raise(ScriptError(505));
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
    switch (target->ref.kind) {
      case RefKind::kProc:
        return CallProc(target->ref.proc, e->args, f, out);
      case RefKind::kBuiltin:
        return CallBuiltin(target->ref.builtin, e->args, f, out);
      case RefKind::kLocal:
      case RefKind::kGlobal:
        v = Slot(target->ref, f);
        break;
      case RefKind::kConst:
        v = &target->ref.value;
        break;
      default:
        return Raise(ScriptError(kErrUndefinedVariable));
    }
  } else if (target->kind == ExprKind::kMember) {
    Ref<IDispatch> obj;
    RETURN_IF_FAILED(MemberObject(target, f, &obj));
    DISPID id;
    RETURN_IF_FAILED(IdOf(obj.get(), target->name, &id));
    std::vector<Variant> args;
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
        *out = arr.At(static_cast<size_t>(flat));
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
    std::vector<Variant> args;
    RETURN_IF_FAILED(DispatchArgs(e->args, f, &args));
    return Invoke(obj.get(), "", DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, out);
  }
  if (e->args.empty()) {
    *out = *v;
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

HRESULT Interpreter::Assign(const Expr* target, Frame& f, Variant value, bool set) {
  if (set) {
    if (value.vt() != VT_DISPATCH && value.vt() != VT_UNKNOWN) {
      return Raise(ScriptError(kErrObjectRequired));
    }
  }
  const uint16_t putFlags = set ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
  switch (target->kind) {
    case ExprKind::kName: {
      Variant* slot = Slot(target->ref, f);
      if (slot == nullptr) {
        RETURN_IF_FAILED(CheckName(target->ref));
        return Raise(ScriptError(kErrIllegalAssignment));
      }
      *slot = std::move(value);
      return S_OK;
    }
    case ExprKind::kMember: {
      Ref<IDispatch> obj;
      RETURN_IF_FAILED(MemberObject(target, f, &obj));
      DISPID id;
      RETURN_IF_FAILED(IdOf(obj.get(), target->name, &id));
      Variant args[1] = {std::move(value)};
      return Invoke(obj.get(), target->name, id, putFlags, args, nullptr);
    }
    case ExprKind::kIndex: {
      const Expr* left = target->left.get();
      if (left->kind == ExprKind::kMember) {
        Ref<IDispatch> obj;
        RETURN_IF_FAILED(MemberObject(left, f, &obj));
        DISPID id;
        RETURN_IF_FAILED(IdOf(obj.get(), left->name, &id));
        std::vector<Variant> args;
        RETURN_IF_FAILED(DispatchArgs(target->args, f, &args));
        args.push_back(std::move(value));
        return Invoke(obj.get(), left->name, id, putFlags, args, nullptr);
      }
      if (left->kind != ExprKind::kName) return Raise(ScriptError(kErrIllegalAssignment));
      Variant* slot = Slot(left->ref, f);
      if (slot == nullptr) {
        RETURN_IF_FAILED(CheckName(left->ref));
        return Raise(ScriptError(kErrIllegalAssignment));
      }
      if (slot->IsArray()) {
        std::vector<int32_t> indexes;
        RETURN_IF_FAILED(ArrayIndexes(target->args, f, &indexes));
        // The indexes may have run code that changed the variable.
        if (!slot->IsArray()) return Raise(ScriptError(kErrTypeMismatch));
        SafeArray& arr = slot->MutableArray();
        const VARTYPE et = arr.elementType();
        if (et != VT_VARIANT && value.vt() != et) {
          Variant converted;
          RETURN_IF_FAILED(Raise(ChangeType(value, et, &converted, 0, lcid_)));
          value = std::move(converted);
        }
        const HRESULT hr = arr.Put(indexes, value);
        return Raise(hr == DISP_E_BADINDEX ? ScriptError(kErrSubscript) : hr);
      }
      if (slot->vt() == VT_DISPATCH || slot->vt() == VT_UNKNOWN) {
        Ref<IDispatch> obj = QueryAs<IDispatch>(slot->unknown(), IID_IDispatch);
        if (!obj) return Raise(ScriptError(kErrObjectRequired));
        std::vector<Variant> args;
        RETURN_IF_FAILED(DispatchArgs(target->args, f, &args));
        args.push_back(value);
        const HRESULT hr = Invoke(obj.get(), "", DISPID_VALUE, putFlags, args, nullptr);
        if (hr != ScriptError(kErrNoSuchMember) || target->args.empty()) return hr;
        // `MyCtrl("T") = v` where the collection's item has no put: the put
        // goes to the item's own default member.
        args.pop_back();
        Variant item;
        RETURN_IF_FAILED(Invoke(obj.get(), "", DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                args, &item));
        Ref<IDispatch> inner = QueryAs<IDispatch>(item.unknown(), IID_IDispatch);
        if (!inner) return Raise(ScriptError(kErrNoSuchMember));
        Variant put[1] = {std::move(value)};
        return Invoke(inner.get(), "", DISPID_VALUE, putFlags, put, nullptr);
      }
      return Raise(ScriptError(kErrTypeMismatch));
    }
    default:
      return Raise(ScriptError(kErrIllegalAssignment));
  }
}

}  // namespace tavrix::vbs
