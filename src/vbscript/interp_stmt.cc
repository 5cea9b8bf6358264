// Statements: blocks with On Error, assignments, calls, branches and loops.
#include "platform/arith.h"
#include "platform/convert.h"
#include "platform/enumerator.h"
#include "platform/safearray.h"
#include "vbscript/errors.h"
#include "vbscript/interp.h"
#include "vbscript/slots.h"

namespace tavrix::vbs {
namespace {

bool IsInt(VARTYPE vt) { return vt == VT_I2 || vt == VT_I4; }
int64_t IntOf(const Variant& v) { return v.vt() == VT_I2 ? v.i2() : v.i4(); }

bool IsNumeric(VARTYPE vt) {
  switch (vt) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BOOL:
    case VT_DECIMAL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8:
    case VT_INT: case VT_UINT: case VT_EMPTY:
      return true;
    default:
      return false;
  }
}

// Arrays past this many elements fail with "Out of memory" instead of
// taking the server's memory (a script's typo such as ReDim a(2000000000)).
constexpr uint64_t kMaxArrayElements = uint64_t{1} << 26;

bool TooLarge(const std::vector<SafeArrayBound>& bounds) {
  uint64_t total = 1;
  for (const SafeArrayBound& b : bounds) {
    total *= b.count;
    if (total > kMaxArrayElements) return true;
  }
  return false;
}

}  // namespace

// Let: the statement most scripts are made of, run inline by ExecBlock.
[[gnu::always_inline]] inline HRESULT Interpreter::ExecAssign(const Stmt& s, Frame& f) {
  const Expr* target = s.target.get();
  const Expr* value = s.value.get();
  if (target->kind == ExprKind::kName) {
    if (Variant* slot = Slot(target->ref, f)) {
      // Operators leave their result alone when they fail and never give
      // an object: they may write straight into the variable.
      if (value->kind == ExprKind::kBinary) {
        const Variant* a = Direct(value->left.get(), f);
        const Variant* b = Direct(value->right.get(), f);
        if (a != nullptr && b != nullptr) return Apply(value->op, *a, *b, slot);
        return EvalBinary(value, f, slot);
      }
      if (value->kind == ExprKind::kUnary) return EvalUnary(value, f, slot);
      if (const Variant* v = Direct(value, f); v != nullptr && !v->IsObject()) {
        StoreCopy(slot, *v);
        return S_OK;
      }
      Variant v;
      RETURN_IF_FAILED(EvalValue(value, f, &v));
      Store(slot, std::move(v));
      return S_OK;
    }
  }
  Variant v;
  RETURN_IF_FAILED(EvalValue(value, f, &v));
  return Assign(target, f, std::move(v), false);
}

// The statements of a block in order, with the frame's On Error handling;
// inlined into the loops that run a body many times.
[[gnu::always_inline]] inline HRESULT Interpreter::RunBlock(const Block& block, Frame& f,
                                                            Flow* flow) {
  for (const StmtPtr& s : block) {
    HRESULT hr = StopRequested();
    if (hr.succeeded()) {
      hr = s->kind == StmtKind::kAssign ? ExecAssign(*s, f) : Exec(*s, f, flow);
      if (hr.succeeded()) {
        if (*flow != Flow::kNormal) return S_OK;
        continue;
      }
      if (f.resumeNext && !fatal_) {
        Handle(hr);
        continue;
      }
    }
    if (!located_) {
      located_ = true;
      errLine_ = s->line;
      errColumn_ = s->column;
    }
    return hr;
  }
  return S_OK;
}

HRESULT Interpreter::ExecBlock(const Block& block, Frame& f, Flow* flow) {
  return RunBlock(block, f, flow);
}

HRESULT Interpreter::RunBody(const Proc* p, Variant** refs, ClassInstance* self, Variant* out) {
  Frame frame{refs, p, self, false};
  HRESULT hr = p->arrays.empty() ? S_OK : MakeArrays(p->arrays, frame);
  if (hr.succeeded()) {
    ++depth_;
    Flow flow = Flow::kNormal;
    hr = RunBlock(p->body, frame, &flow);
    --depth_;
  }
  if (hr.succeeded() && out != nullptr) {
    if (p->resultSlot >= 0) {
      Store(out, std::move(*refs[p->resultSlot]));
    } else {
      Reset(out);
    }
  }
  return hr;
}

HRESULT Interpreter::MakeArrays(const std::vector<ArrayInit>& arrays, Frame& f) {
  for (const ArrayInit& init : arrays) {
    std::vector<SafeArrayBound> bounds;
    if (init.upper.empty()) bounds.push_back({0, 0});  // Dim a(): no elements until ReDim
    for (int32_t upper : init.upper) {
      if (upper < -1) return Raise(ScriptError(kErrSubscript));
      bounds.push_back({0, static_cast<uint32_t>(int64_t{upper} + 1)});
    }
    if (TooLarge(bounds)) return Raise(ScriptError(kErrOutOfMemory));
    Ref<SafeArray> arr = SafeArray::Create(VT_VARIANT, bounds);
    if (!arr) return Raise(ScriptError(kErrOutOfMemory));
    Store(Slot(init.ref, f), Variant::Array(std::move(arr)));
  }
  return S_OK;
}

HRESULT Interpreter::Exec(const Stmt& s, Frame& f, Flow* flow) {
  switch (s.kind) {
    case StmtKind::kAssign:
      return ExecAssign(s, f);
    case StmtKind::kSet: {
      Variant v;
      RETURN_IF_FAILED(Eval(s.value.get(), f, &v));
      return Assign(s.target.get(), f, std::move(v), true);
    }
    case StmtKind::kCall:
      return ExecCall(s, f);
    case StmtKind::kIf:
      return ExecIf(s, f, flow);
    case StmtKind::kSelect:
      return ExecSelect(s, f, flow);
    case StmtKind::kFor:
      return ExecFor(s, f, flow);
    case StmtKind::kForEach:
      return ExecForEach(s, f, flow);
    case StmtKind::kDo:
      return ExecDo(s, f, flow);
    case StmtKind::kExit:
      switch (s.exit) {
        case ExitKind::kDo: *flow = Flow::kExitDo; break;
        case ExitKind::kFor: *flow = Flow::kExitFor; break;
        default: *flow = Flow::kExitProc; break;
      }
      return S_OK;
    case StmtKind::kReDim:
      return ExecReDim(s, f);
    case StmtKind::kErase:
      return ExecErase(s, f);
    case StmtKind::kOnError:
      f.resumeNext = s.flag;
      err_->Clear();
      return S_OK;
    case StmtKind::kWith: {
      RETURN_IF_FAILED(Eval(s.target.get(), f, Slot(s.withRef, f)));
      const HRESULT hr = ExecBlock(s.body, f, flow);
      Reset(Slot(s.withRef, f));
      return hr;
    }
    case StmtKind::kDim:
    case StmtKind::kConst:
    case StmtKind::kNop:
      return S_OK;
  }
  return S_OK;
}

HRESULT Interpreter::ExecCall(const Stmt& s, Frame& f) {
  const Expr* t = s.target.get();
  const Expr* callee = t->kind == ExprKind::kIndex ? t->left.get() : t;
  std::span<const ExprPtr> args;
  if (t->kind == ExprKind::kIndex) args = t->args;
  if (callee->kind == ExprKind::kName) {
    if (const Proc* p = CalledProc(callee, f)) {
      return CallProc(p, args, f, nullptr, p->owner != nullptr ? f.self : nullptr);
    }
    switch (callee->ref.kind) {
      case RefKind::kBuiltin: return CallBuiltin(callee->ref.builtin, args, f, nullptr);
      case RefKind::kMember: return GetProperty(callee->ref, args, f, nullptr);
      case RefKind::kUndefined: return Raise(ScriptError(kErrUndefinedVariable));
      default: break;
    }
    Variant* v = Slot(callee->ref, f);
    if (v != nullptr && (v->vt() == VT_DISPATCH || v->vt() == VT_UNKNOWN)) {
      Ref<IDispatch> obj = QueryAs<IDispatch>(v->unknown(), IID_IDispatch);
      if (!obj) return Raise(ScriptError(kErrObjectRequired));
      ArgValues values;
      RETURN_IF_FAILED(DispatchArgs(args, f, &values));
      return Invoke(obj.get(), "", DISPID_VALUE, DISPATCH_METHOD, values, nullptr);
    }
    return Raise(ScriptError(kErrTypeMismatch));
  }
  if (callee->kind == ExprKind::kMember) {
    Ref<IDispatch> obj;
    RETURN_IF_FAILED(MemberObject(callee, f, &obj));
    DISPID id;
    RETURN_IF_FAILED(IdOf(obj.get(), callee->name, &id));
    ArgValues values;
    RETURN_IF_FAILED(DispatchArgs(args, f, &values));
    return Invoke(obj.get(), callee->name, id, DISPATCH_METHOD, values, nullptr);
  }
  Variant ignored;
  return Eval(t, f, &ignored);
}

HRESULT Interpreter::ExecIf(const Stmt& s, Frame& f, Flow* flow) {
  for (const Branch& b : s.branches) {
    bool c = false;
    const HRESULT hr = Condition(b.tests[0].get(), f, &c);
    if (hr.failed()) {
      // Under On Error Resume Next a failing condition goes on with the
      // statement after it: the first statement of the branch.
      if (!f.resumeNext || fatal_) return hr;
      Handle(hr);
      c = true;
    }
    if (c) return RunBlock(b.body, f, flow);
  }
  if (s.hasElse) return RunBlock(s.body, f, flow);
  return S_OK;
}

HRESULT Interpreter::ExecSelect(const Stmt& s, Frame& f, Flow* flow) {
  Variant subject;
  RETURN_IF_FAILED(EvalValue(s.value.get(), f, &subject));
  for (const Branch& b : s.branches) {
    for (const ExprPtr& t : b.tests) {
      Variant v;
      RETURN_IF_FAILED(EvalValue(t.get(), f, &v));
      bool equal;
      if (IsInt(subject.vt()) && IsInt(v.vt())) {
        equal = IntOf(subject) == IntOf(v);
      } else if (subject.vt() == VT_BSTR && v.vt() == VT_BSTR) {
        equal = subject.text() == v.text();
      } else {
        const HRESULT hr = VarCmp(subject, v, lcid_, 0);
        if (hr.failed()) return Raise(hr);
        equal = hr == VARCMP_EQ;
      }
      if (equal) return ExecBlock(b.body, f, flow);
    }
  }
  if (s.hasElse) return ExecBlock(s.body, f, flow);
  return S_OK;
}

HRESULT Interpreter::ExecFor(const Stmt& s, Frame& f, Flow* flow) {
  Variant* var = Slot(s.target->ref, f);
  if (var == nullptr) {
    RETURN_IF_FAILED(CheckName(s.target->ref));
    return Raise(ScriptError(kErrIllegalAssignment));
  }
  Variant start, limit, step = Variant::I2(1);
  RETURN_IF_FAILED(EvalValue(s.value.get(), f, &start));
  RETURN_IF_FAILED(EvalValue(s.limit.get(), f, &limit));
  if (s.step) RETURN_IF_FAILED(EvalValue(s.step.get(), f, &step));
  for (Variant* v : {&start, &limit, &step}) {
    if (v->IsNull()) return Raise(ScriptError(kErrInvalidNull));
    if (!IsNumeric(v->vt())) {
      Variant n;
      RETURN_IF_FAILED(Raise(ChangeType(*v, VT_R8, &n, 0, lcid_)));
      *v = n;
    }
  }
  Store(var, std::move(start));
  const HRESULT sign = VarCmp(step, Variant::I2(0));
  const bool down = sign == VARCMP_LT;
  bool stepFirst = false;  // the general loop below starts by stepping the variable
  if (IsInt(limit.vt()) && IsInt(step.vt())) {
    // Integer bounds: the loop runs on machine integers for as long as the
    // variable stays an Integer or Long.
    const int64_t end = IntOf(limit);
    const int64_t by = IntOf(step);
    const bool stepWide = step.vt() == VT_I4;
    const bool empty = s.body.empty();  // else ExecBlock looks for an interrupt
    while (IsInt(var->vt())) {
      const int64_t i = IntOf(*var);
      if (down ? i < end : i > end) return S_OK;
      if (empty) RETURN_IF_FAILED(StopRequested());
      RETURN_IF_FAILED(RunBlock(s.body, f, flow));
      if (*flow == Flow::kExitFor) {
        *flow = Flow::kNormal;
        return S_OK;
      }
      if (*flow != Flow::kNormal) return S_OK;
      if (!IsInt(var->vt())) {
        stepFirst = true;  // the body stored another type in the variable
        break;
      }
      StoreInt(var, IntOf(*var) + by, stepWide || var->vt() == VT_I4);
    }
  }
  for (;;) {
    if (stepFirst) {
      Variant next;
      RETURN_IF_FAILED(Raise(VarAdd(*var, step, &next)));
      Store(var, std::move(next));
    }
    stepFirst = true;
    const HRESULT c = VarCmp(*var, limit, lcid_, 0);
    if (c.failed()) return Raise(c);
    if (c == VARCMP_NULL) return Raise(ScriptError(kErrInvalidNull));
    if (down ? c == VARCMP_LT : c == VARCMP_GT) return S_OK;
    RETURN_IF_FAILED(StopRequested());
    RETURN_IF_FAILED(ExecBlock(s.body, f, flow));
    if (*flow == Flow::kExitFor) {
      *flow = Flow::kNormal;
      return S_OK;
    }
    if (*flow != Flow::kNormal) return S_OK;
  }
}

HRESULT Interpreter::ExecForEach(const Stmt& s, Frame& f, Flow* flow) {
  Variant* var = Slot(s.target->ref, f);
  if (var == nullptr) {
    RETURN_IF_FAILED(CheckName(s.target->ref));
    return Raise(ScriptError(kErrIllegalAssignment));
  }
  Variant subject;
  RETURN_IF_FAILED(Eval(s.value.get(), f, &subject));
  auto body = [&](bool* done) -> HRESULT {
    *done = false;
    RETURN_IF_FAILED(StopRequested());
    RETURN_IF_FAILED(ExecBlock(s.body, f, flow));
    if (*flow == Flow::kExitFor) {
      *flow = Flow::kNormal;
      *done = true;
    } else if (*flow != Flow::kNormal) {
      *done = true;
    }
    return S_OK;
  };
  if (subject.IsArray()) {
    // The loop walks the array as it was when the loop began.
    const Ref<SafeArray> arr = subject.arrayRef();
    for (size_t i = 0; i < arr->size(); ++i) {
      Store(var, arr->At(i));
      bool done;
      RETURN_IF_FAILED(body(&done));
      if (done) return S_OK;
    }
    return S_OK;
  }
  if (subject.vt() != VT_DISPATCH && subject.vt() != VT_UNKNOWN) {
    return Raise(ScriptError(kErrNotACollection));
  }
  Ref<IDispatch> obj = QueryAs<IDispatch>(subject.unknown(), IID_IDispatch);
  if (!obj) return Raise(ScriptError(kErrNotACollection));
  Variant enumVar;
  ExcepInfo excep;
  HRESULT hr = obj->Invoke(DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &enumVar,
                           &excep, lcid_);
  if (hr.failed()) return Raise(ScriptError(kErrNotACollection));
  Ref<IEnumVARIANT> en = QueryAs<IEnumVARIANT>(enumVar.unknown(), IID_IEnumVARIANT);
  if (!en) return Raise(ScriptError(kErrNotACollection));
  for (;;) {
    Variant item;
    uint32_t fetched = 0;
    hr = en->Next(1, &item, &fetched);
    if (hr.failed()) return Raise(hr);
    if (fetched == 0) return S_OK;
    Store(var, std::move(item));
    bool done;
    RETURN_IF_FAILED(body(&done));
    if (done) return S_OK;
  }
}

HRESULT Interpreter::ExecDo(const Stmt& s, Frame& f, Flow* flow) {
  for (;;) {
    RETURN_IF_FAILED(StopRequested());
    if (s.test == LoopTest::kWhileBefore || s.test == LoopTest::kUntilBefore) {
      bool c;
      RETURN_IF_FAILED(Condition(s.value.get(), f, &c));
      if (c != (s.test == LoopTest::kWhileBefore)) return S_OK;
    }
    RETURN_IF_FAILED(ExecBlock(s.body, f, flow));
    if (*flow == Flow::kExitDo) {
      *flow = Flow::kNormal;
      return S_OK;
    }
    if (*flow != Flow::kNormal) return S_OK;
    if (s.test == LoopTest::kWhileAfter || s.test == LoopTest::kUntilAfter) {
      bool c;
      RETURN_IF_FAILED(Condition(s.value.get(), f, &c));
      if (c != (s.test == LoopTest::kWhileAfter)) return S_OK;
    }
  }
}

HRESULT Interpreter::ExecReDim(const Stmt& s, Frame& f) {
  for (const ExprPtr& item : s.items) {
    const NameRef& ref = item->left->ref;
    if (Slot(ref, f) == nullptr) {
      RETURN_IF_FAILED(CheckName(ref));
      return Raise(ScriptError(kErrIllegalAssignment));
    }
    if (ref.fixedArray) return Raise(ScriptError(kErrFixedArray));
    std::vector<int32_t> uppers;
    RETURN_IF_FAILED(ArrayIndexes(item->args, f, &uppers));
    std::vector<SafeArrayBound> bounds;
    for (int32_t upper : uppers) {
      if (upper < -1) return Raise(ScriptError(kErrSubscript));
      bounds.push_back({0, static_cast<uint32_t>(int64_t{upper} + 1)});
    }
    if (TooLarge(bounds)) return Raise(ScriptError(kErrOutOfMemory));
    Variant* slot = Slot(ref, f);
    if (s.flag && slot->IsArray()) {
      const SafeArray& old = slot->array();
      // Dim a() makes an array without elements: Preserve keeps none of them.
      const bool unsized = old.dims() == 1 && old.size() == 0;
      if (!unsized) {
        if (old.dims() != bounds.size()) return Raise(ScriptError(kErrSubscript));
        for (size_t d = 0; d + 1 < bounds.size(); ++d) {
          if (old.bounds()[d] != bounds[d]) return Raise(ScriptError(kErrSubscript));
        }
        const HRESULT hr = slot->MutableArray().RedimLast(bounds.back());
        if (hr.failed()) return Raise(ScriptError(kErrOutOfMemory));
        continue;
      }
    }
    Ref<SafeArray> arr = SafeArray::Create(VT_VARIANT, bounds);
    if (!arr) return Raise(ScriptError(kErrOutOfMemory));
    Store(slot, Variant::Array(std::move(arr)));
  }
  return S_OK;
}

HRESULT Interpreter::ExecErase(const Stmt& s, Frame& f) {
  for (const ExprPtr& item : s.items) {
    Variant* slot = Slot(item->ref, f);
    if (slot == nullptr) {
      RETURN_IF_FAILED(CheckName(item->ref));
      return Raise(ScriptError(kErrIllegalAssignment));
    }
    if (!slot->IsArray()) return Raise(ScriptError(kErrTypeMismatch));
    if (item->ref.fixedArray) {
      // A fixed array keeps its size; its elements go back to Empty.
      Ref<SafeArray> arr = SafeArray::Create(slot->array().elementType(), slot->array().bounds());
      if (!arr) return Raise(ScriptError(kErrOutOfMemory));
      Store(slot, Variant::Array(std::move(arr)));
    } else {
      Reset(slot);
    }
  }
  return S_OK;
}

}  // namespace tavrix::vbs
