// Script classes: New, members run through IDispatch or by name inside the
// class, Class_Terminate, and the engine's list of live instances.
#include "platform/convert.h"
#include "platform/safearray.h"
#include "vbscript/errors.h"
#include "vbscript/interp.h"
#include "vbscript/slots.h"

namespace tavrix::vbs {

void Interpreter::Link(ClassInstance* self) {
  self->next_ = instances_;
  if (instances_ != nullptr) instances_->prev_ = self;
  instances_ = self;
}

void Interpreter::Unlink(ClassInstance* self) {
  if (self->prev_ != nullptr) self->prev_->next_ = self->next_;
  if (self->next_ != nullptr) self->next_->prev_ = self->prev_;
  if (instances_ == self) instances_ = self->next_;
  self->prev_ = self->next_ = nullptr;
}

void Interpreter::DetachInstances() {
  // Held here, none goes while the others are cut off; emptying their
  // variables breaks the cycles that would otherwise keep them forever.
  std::vector<Ref<ClassInstance>> live;
  for (ClassInstance* p = instances_; p != nullptr; p = p->next_) live.emplace_back(p);
  for (const Ref<ClassInstance>& r : live) {
    r->owner_ = nullptr;
    r->prev_ = r->next_ = nullptr;
  }
  instances_ = nullptr;
  for (const Ref<ClassInstance>& r : live) {
    std::vector<Variant> dead;
    dead.swap(r->fields);
  }
}

HRESULT Interpreter::EvalNew(const Expr* e, Variant* out) {
  const ClassDef* cls = e->ref.cls;
  if (cls == nullptr) {
    const NameRef* r = scope_.Find(e->name);
    if (r != nullptr && r->kind == RefKind::kClass) cls = r->cls;
  }
  if (cls == nullptr) return Raise(ScriptError(kErrClassNotDefined));
  Ref<ClassInstance> inst(new ClassInstance(cls, this));
  Link(inst.get());
  Frame frame{nullptr, nullptr, inst.get(), false};
  RETURN_IF_FAILED(MakeArrays(cls->arrays, frame));
  if (cls->initialize != nullptr) {
    RETURN_IF_FAILED(CallWithValues(cls->initialize, inst.get(), {}, nullptr));
  }
  inst->initialized = true;
  Store(out, Variant::Dispatch(Ref<IDispatch>(inst)));
  return S_OK;
}

HRESULT Interpreter::InvokeMember(ClassInstance* self, int32_t member, uint16_t flags,
                                  std::span<Variant> args, Variant* out) {
  const ClassDef* def = self->def();
  if (member < 0 || static_cast<size_t>(member) >= def->members.size()) {
    return DISP_E_MEMBERNOTFOUND;
  }
  const ClassMember& m = def->members[static_cast<size_t>(member)];
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (m.field >= 0) {
    Variant* field = &self->fields[static_cast<size_t>(m.field)];
    if (put) {
      if (args.empty()) return DISP_E_BADPARAMCOUNT;
      Variant value = args.back().Deref();
      if ((flags & DISPATCH_PROPERTYPUTREF) != 0 && !value.IsObject()) {
        return Raise(ScriptError(kErrObjectRequired));
      }
      if (args.size() == 1) {
        Store(field, std::move(value));
        return S_OK;
      }
      std::vector<int32_t> indexes;
      for (const Variant& a : args.first(args.size() - 1)) {
        Variant i;
        RETURN_IF_FAILED(Raise(ChangeType(a.Deref(), VT_I4, &i, 0, lcid_)));
        indexes.push_back(i.i4());
      }
      return PutElement(field, indexes, std::move(value));
    }
    if (args.empty()) {
      if (out != nullptr) StoreCopy(out, *field);
      return S_OK;
    }
    const Variant value = *field;  // the indexing may run code that changes the field
    Variant element;
    RETURN_IF_FAILED(IndexValue(value, args, &element));
    if (out != nullptr) Store(out, std::move(element));
    return S_OK;
  }
  const Proc* p;
  if (put) {
    p = (flags & DISPATCH_PROPERTYPUTREF) != 0 ? m.set : m.let;
  } else {
    p = m.get != nullptr ? m.get : m.method;
  }
  if (p == nullptr) return DISP_E_MEMBERNOTFOUND;
  if (args.size() != p->params.size()) return DISP_E_BADPARAMCOUNT;
  const HRESULT hr = CallWithValues(p, self, args, out);
  // The dispatch codes above mean "nothing ran"; the same codes from the
  // member's own code are its errors.
  if (hr == DISP_E_BADPARAMCOUNT) return Raise(ScriptError(kErrWrongArgCount));
  if (hr == DISP_E_MEMBERNOTFOUND) return Raise(ScriptError(kErrNoSuchMember));
  return hr;
}

HRESULT Interpreter::InvokeFromOutside(ClassInstance* self, int32_t member, uint16_t flags,
                                       std::span<Variant> args, Variant* result,
                                       ExcepInfo* excep) {
  const Ref<IDispatch> keep(self);  // the member may drop its caller's reference
  RunScope run(this);
  HRESULT hr = InvokeMember(self, member, flags, args, result);
  if (hr.succeeded() || hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_BADPARAMCOUNT) return hr;
  if (!fatal_ && excep != nullptr) {
    ScriptErrorInfo info;
    Describe(hr, &info);
    excep->scode = hr;
    excep->description = std::move(info.description);
    excep->source = std::move(info.source);
    hr = DISP_E_EXCEPTION;
  }
  if (run.outermost) {
    // Nothing of this engine was running: the failure ends here.
    if (fatal_) interrupt_.store(0, std::memory_order_relaxed);
    fatal_ = false;
    ClearPending();
  }
  return hr;
}

void Interpreter::Terminate(ClassInstance* self) {
  const Proc* p = self->def()->terminate;
  if (p == nullptr || !self->initialized) return;
  // Class_Terminate runs in the middle of whatever dropped the object: that
  // code's error state (pending details, Err) is kept as it was, and the
  // errors of Class_Terminate itself go nowhere.
  const HRESULT pendingCode = pendingCode_;
  std::string pendingDescription = std::move(pendingDescription_);
  std::string pendingSource = std::move(pendingSource_);
  const bool located = located_;
  const bool fatal = fatal_;
  const int errLine = errLine_;
  const int errColumn = errColumn_;
  const int32_t errNumber = err_->number;
  std::string errDescription = err_->description;
  std::string errSource = err_->source;
  std::string errHelpFile = err_->helpFile;
  const int32_t errHelpContext = err_->helpContext;
  const HRESULT errRaised = err_->raised;
  ClearPending();
  {
    RunScope run(this);
    (void)CallWithValues(p, self, {}, nullptr);
  }
  pendingCode_ = pendingCode;
  pendingDescription_ = std::move(pendingDescription);
  pendingSource_ = std::move(pendingSource);
  located_ = located;
  fatal_ = fatal;
  errLine_ = errLine;
  errColumn_ = errColumn;
  err_->number = errNumber;
  err_->description = std::move(errDescription);
  err_->source = std::move(errSource);
  err_->helpFile = std::move(errHelpFile);
  err_->helpContext = errHelpContext;
  err_->raised = errRaised;
}

HRESULT Interpreter::GetProperty(const NameRef& r, std::span<const ExprPtr> args, Frame& f,
                                 Variant* out) {
  const ClassMember& m = f.self->def()->members[static_cast<size_t>(r.index)];
  if (m.get == nullptr) return Raise(ScriptError(kErrNoSuchMember));
  if (m.get->params.empty() && !args.empty()) {
    // `Items(2)` where Items takes no arguments: they index its value.
    Variant value;
    RETURN_IF_FAILED(CallProc(m.get, {}, f, &value, f.self));
    ArgValues values;
    RETURN_IF_FAILED(DispatchArgs(args, f, &values));
    Variant element;
    RETURN_IF_FAILED(IndexValue(value, values, &element));
    if (out != nullptr) Store(out, std::move(element));
    return S_OK;
  }
  return CallProc(m.get, args, f, out, f.self);
}

HRESULT Interpreter::PutProperty(const NameRef& r, std::span<const ExprPtr> args, Frame& f,
                                 Variant value, bool set) {
  const ClassMember& m = f.self->def()->members[static_cast<size_t>(r.index)];
  const Proc* p = set && m.set != nullptr ? m.set : m.let;
  if (p == nullptr) return Raise(ScriptError(kErrNoSuchMember));
  ArgValues values;
  RETURN_IF_FAILED(DispatchArgs(args, f, &values));
  values.push_back(std::move(value));
  const HRESULT hr = CallWithValues(p, f.self, values, nullptr);
  return hr == DISP_E_BADPARAMCOUNT ? Raise(ScriptError(kErrWrongArgCount)) : hr;
}

}  // namespace tavrix::vbs
