// Calls: the script's own procedures (with ByRef parameters), built-ins, and
// members of objects through IDispatch.
#include <array>

#include "platform/convert.h"
#include "platform/safearray.h"
#include "vbscript/errors.h"
#include "vbscript/interp.h"
#include "vbscript/slots.h"

namespace tavrix::vbs {

extern const size_t kStackSlots;

HRESULT Interpreter::PushFrame(const Proc* p, size_t* base, Variant** slots, Variant*** refs) {
  *base = stackTop_;
  const auto need = static_cast<size_t>(p->slotCount);
  if (*base + need > kStackSlots) return Raise(ScriptError(kErrOutOfStack));
  *slots = &stack_[*base];
  *refs = &refStack_[*base];
  for (size_t j = 0; j < need; ++j) (*refs)[j] = &(*slots)[j];
  stackTop_ = *base + need;
  return S_OK;
}

HRESULT Interpreter::CallProc(const Proc* p, std::span<const ExprPtr> args, Frame& f,
                              Variant* out, ClassInstance* self) {
  if (args.size() != p->params.size()) return Raise(ScriptError(kErrWrongArgCount));
  for (size_t i = 0; i < args.size(); ++i) {
    const Expr* a = args[i].get();
    if (a != nullptr && a->kind == ExprKind::kIndex && !p->params[i].byVal &&
        a->left->kind == ExprKind::kName) {
      return CallProcWriteBack(p, args, f, out, self);
    }
  }
  RETURN_IF_FAILED(CheckDepth());
  size_t base;
  Variant* slots;
  Variant** refs;
  RETURN_IF_FAILED(PushFrame(p, &base, &slots, &refs));
  const auto need = static_cast<size_t>(p->slotCount);  // calls made by the arguments go above this frame
  HRESULT hr = S_OK;
  for (size_t i = 0; i < args.size(); ++i) {
    const Expr* a = args[i].get();
    if (a == nullptr) {
      Store(&slots[i], Variant::Missing());
      continue;
    }
    if (a->kind == ExprKind::kName && !p->params[i].byVal) {
      if (Variant* v = Slot(a->ref, f)) {
        refs[i] = v;  // ByRef: the parameter is the caller's variable
        continue;
      }
    }
    hr = Eval(a, f, &slots[i]);
    if (hr.failed()) break;
  }
  if (hr.succeeded()) hr = RunBody(p, refs, self, out);
  for (size_t j = 0; j < need; ++j) Reset(&slots[j]);
  stackTop_ = base;
  return hr;
}

HRESULT Interpreter::CallProcWriteBack(const Proc* p, std::span<const ExprPtr> args, Frame& f,
                                       Variant* out, ClassInstance* self) {
  RETURN_IF_FAILED(CheckDepth());
  size_t base;
  Variant* slots;
  Variant** refs;
  RETURN_IF_FAILED(PushFrame(p, &base, &slots, &refs));
  const auto need = static_cast<size_t>(p->slotCount);

  // ByRef array elements are copied in and written back after the call.
  struct WriteBack {
    Variant* array;
    std::vector<int32_t> indexes;
    size_t slot;
  };
  std::vector<WriteBack> writeBacks;

  HRESULT hr = S_OK;
  for (size_t i = 0; i < args.size() && hr.succeeded(); ++i) {
    const Expr* a = args[i].get();
    if (a == nullptr) {
      Store(&slots[i], Variant::Missing());
      continue;
    }
    if (!p->params[i].byVal) {
      if (a->kind == ExprKind::kName) {
        if (Variant* v = Slot(a->ref, f)) {
          refs[i] = v;
          continue;
        }
      } else if (a->kind == ExprKind::kIndex && a->left->kind == ExprKind::kName) {
        Variant* v = Slot(a->left->ref, f);
        if (v != nullptr && v->IsArray()) {
          WriteBack wb{v, {}, i};
          hr = ArrayIndexes(a->args, f, &wb.indexes);
          if (hr.succeeded()) {
            if (!v->IsArray()) {
              hr = Raise(ScriptError(kErrTypeMismatch));
            } else {
              const HRESULT got = v->array().Get(wb.indexes, &slots[i]);
              hr = Raise(got == DISP_E_BADINDEX ? ScriptError(kErrSubscript) : got);
            }
          }
          if (hr.succeeded()) writeBacks.push_back(std::move(wb));
          continue;
        }
      }
    }
    hr = Eval(a, f, &slots[i]);
  }

  if (hr.succeeded()) hr = RunBody(p, refs, self, out);
  for (WriteBack& wb : writeBacks) {
    if (!wb.array->IsArray()) continue;
    (void)PutElement(wb.array, wb.indexes, std::move(slots[wb.slot]));
  }
  for (size_t j = 0; j < need; ++j) Reset(&slots[j]);
  stackTop_ = base;
  return hr;
}

HRESULT Interpreter::CallWithValues(const Proc* p, ClassInstance* self, std::span<Variant> args,
                                    Variant* out) {
  if (args.size() != p->params.size()) return DISP_E_BADPARAMCOUNT;
  RETURN_IF_FAILED(CheckDepth());
  size_t base;
  Variant* slots;
  Variant** refs;
  RETURN_IF_FAILED(PushFrame(p, &base, &slots, &refs));
  const auto need = static_cast<size_t>(p->slotCount);
  for (size_t i = 0; i < args.size(); ++i) {
    const Variant& a = args[i];
    if (!p->params[i].byVal && a.vt() == (VT_BYREF | VT_VARIANT) && a.byref() != nullptr) {
      refs[i] = a.byref();
    } else {
      StoreCopy(&slots[i], a.Deref());
    }
  }
  const HRESULT hr = RunBody(p, refs, self, out);
  for (size_t j = 0; j < need; ++j) Reset(&slots[j]);
  stackTop_ = base;
  return hr;
}

HRESULT Interpreter::CallBuiltin(const BuiltinInfo* b, std::span<const ExprPtr> args, Frame& f,
                                 Variant* out) {
  if (args.size() < b->minArgs || (b->maxArgs != kManyArgs && args.size() > b->maxArgs)) {
    return Raise(ScriptError(kErrWrongArgCount));
  }
  std::array<Variant, 8> small;
  std::vector<Variant> big;
  Variant* values = small.data();
  if (args.size() > small.size()) {
    big.resize(args.size());
    values = big.data();
  }
  for (size_t i = 0; i < args.size(); ++i) {
    if (!args[i]) {
      values[i] = Variant::Missing();
    } else {
      RETURN_IF_FAILED(Eval(args[i].get(), f, &values[i]));
    }
  }
  Variant result;
  frame_ = &f;  // for Eval and Execute, which run code in the caller's scope
  const HRESULT hr = b->function(*this, std::span<const Variant>(values, args.size()), &result);
  if (hr.failed()) {
    if (interrupt_.load(std::memory_order_relaxed) == hr.code()) fatal_ = true;
    return Raise(hr);
  }
  if (out != nullptr) Store(out, std::move(result));
  return S_OK;
}

HRESULT Interpreter::DispatchArgs(std::span<const ExprPtr> args, Frame& f, ArgValues* out) {
  out->Reset(args.size());
  for (size_t i = 0; i < args.size(); ++i) {
    const Expr* a = args[i].get();
    if (a == nullptr) {
      (*out)[i] = Variant::Missing();
      continue;
    }
    if (a->kind == ExprKind::kName) {
      if (Variant* v = Slot(a->ref, f)) {
        (*out)[i] = Variant::ByRef(v);
        continue;
      }
    }
    RETURN_IF_FAILED(Eval(a, f, &(*out)[i]));
  }
  return S_OK;
}

HRESULT Interpreter::IdOf(IDispatch* obj, const std::string& name, DISPID* id) {
  const HRESULT hr = obj->GetIDsOfNames(name, id);
  if (hr.failed()) {
    return Raise(ScriptError(kErrNoSuchMember),
                 std::string(ScriptErrorText(kErrNoSuchMember)) + ": '" + name + "'");
  }
  return S_OK;
}

HRESULT Interpreter::Invoke(IDispatch* obj, const std::string& name, DISPID id, uint16_t flags,
                            std::span<Variant> args, Variant* out) {
  ExcepInfo excep;
  Variant result;
  HRESULT hr = obj->Invoke(id, flags, args, &result, &excep, lcid_);
  if (hr == DISP_E_MEMBERNOTFOUND && flags == DISPATCH_PROPERTYPUTREF) {
    hr = obj->Invoke(id, DISPATCH_PROPERTYPUT, args, &result, &excep, lcid_);
  }
  if (hr.succeeded()) {
    if (out != nullptr) Store(out, std::move(result));
    return S_OK;
  }
  if (interrupt_.load(std::memory_order_relaxed) == hr.code()) {
    fatal_ = true;
    return hr;
  }
  if (hr == DISP_E_EXCEPTION) {
    const HRESULT code = excep.scode.failed() ? excep.scode : hr;
    return Raise(code, excep.description, excep.source);
  }
  if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_UNKNOWNNAME) {
    std::string text(ScriptErrorText(kErrNoSuchMember));
    if (!name.empty()) text += ": '" + name + "'";
    return Raise(ScriptError(kErrNoSuchMember), text);
  }
  return Raise(hr);
}

}  // namespace tavrix::vbs
