// The interpreter behind ScriptEngine: runs a compiled script tree.
//
// Values live in slots: module variables in the cells of the module scope,
// a procedure's parameters and locals in a window of the value stack, a
// class instance's variables in the instance. Each frame reaches its slots
// through `refs`, so a ByRef parameter is simply a slot pointer to the
// caller's variable. Statements report failures as results; the frame's On
// Error state decides whether the block goes on.
//
// An interpreter is used by one thread at a time (Interrupt excepted), and
// so are the class instances it makes (class_object.h).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ref.h"
#include "platform/unknown.h"
#include "platform/variant.h"
#include "vbscript/arg_values.h"
#include "vbscript/ast.h"
#include "vbscript/builtins.h"
#include "vbscript/class_object.h"
#include "vbscript/compiler.h"
#include "vbscript/err_object.h"
#include "vbscript/numeric.h"
#include "vbscript/errors.h"
#include "vbscript/script.h"

namespace tavrix::vbs {

enum class Flow : uint8_t { kNormal, kExitDo, kExitFor, kExitProc };

// Script recursion stops with "Out of stack space" past either limit, well
// before the thread's own stack runs out.
inline constexpr int kMaxDepth = 2000;
inline constexpr ptrdiff_t kMaxStackBytes = 2 << 20;

struct Frame {
  Variant** refs = nullptr;       // slot pointers (null for module-level code)
  const Proc* proc = nullptr;
  ClassInstance* self = nullptr;  // the instance a method runs for
  bool resumeNext = false;
};

class Interpreter final : public BuiltinContext {
 public:
  Interpreter();
  ~Interpreter() override;

  // BuiltinContext.
  LCID Locale() override { return lcid_; }
  HRESULT Interrupted() override;
  RandomState& Random() override { return random_; }
  HRESULT Evaluate(std::string_view text, Variant* out) override;
  HRESULT Execute(std::string_view text, bool global) override;

  // The host interface (script.h).
  void SetLocale(LCID lcid) { lcid_ = lcid; }
  HRESULT AddNamedObject(std::string_view name, Ref<IDispatch> object);
  HRESULT Parse(std::string_view text);
  HRESULT RunModule();
  HRESULT CallSub(std::string_view name, std::span<const Variant> args, Variant* result);
  void Interrupt(HRESULT code);
  HRESULT GetGlobal(std::string_view name, Variant* out) const;
  const ScriptErrorInfo& lastError() const { return last_; }

  // --- For ClassInstance (class_object.h).
  // Runs member `member` of `self` for a caller holding only the IDispatch.
  HRESULT InvokeFromOutside(ClassInstance* self, int32_t member, uint16_t flags,
                            std::span<Variant> args, Variant* result, ExcepInfo* excep);
  // Runs Class_Terminate of an instance whose last reference went.
  void Terminate(ClassInstance* self);
  // Forgets an instance being deleted.
  void Unlink(ClassInstance* self);

 private:
  // Marks a call from the host (or from an object the host holds): the
  // outermost one sets the base address of the recursion limit.
  struct RunScope {
    explicit RunScope(Interpreter* in);
    ~RunScope();
    Interpreter* interpreter;
    bool outermost;
    char marker = 0;
  };

  // --- Errors.
  // Keeps details for a failure about to be returned.
  HRESULT Raise(HRESULT hr, std::string description = {}, std::string source = {});
  // Fills Err (and clears the pending details) for a failure handled here.
  void Handle(HRESULT hr);
  // The details of a failure: number, description, source.
  void Describe(HRESULT hr, ScriptErrorInfo* info);
  HRESULT Finish(HRESULT hr);  // ends a host call: fills last_ on failure
  void ClearPending();
  // Error 28 when one more call would nest too deep.
  // Takes the procedure's slots on the value stack above the current frame
  // (calls made while its arguments are evaluated go above it); each slot's
  // reference starts at the slot itself.
  HRESULT PushFrame(const Proc* p, size_t* base, Variant** slots, Variant*** refs);
  HRESULT CheckDepth() {
    const char here = 0;
    if (depth_ >= kMaxDepth || (stackBase_ != nullptr && stackBase_ - &here > kMaxStackBytes)) {
      return Raise(ScriptError(kErrOutOfStack));
    }
    return S_OK;
  }

  // --- Statements (interp_stmt.cc).
  // The statements of a block with the frame's On Error handling. RunBlock
  // is the same, inlined into the loops and calls that run bodies often.
  HRESULT ExecBlock(const Block& block, Frame& f, Flow* flow);
  HRESULT RunBlock(const Block& block, Frame& f, Flow* flow);
  HRESULT Exec(const Stmt& s, Frame& f, Flow* flow);
  HRESULT ExecAssign(const Stmt& s, Frame& f);  // inlined into RunBlock
  HRESULT ExecCall(const Stmt& s, Frame& f);
  HRESULT ExecIf(const Stmt& s, Frame& f, Flow* flow);
  HRESULT ExecSelect(const Stmt& s, Frame& f, Flow* flow);
  HRESULT ExecFor(const Stmt& s, Frame& f, Flow* flow);
  HRESULT ExecForEach(const Stmt& s, Frame& f, Flow* flow);
  HRESULT ExecDo(const Stmt& s, Frame& f, Flow* flow);
  HRESULT ExecReDim(const Stmt& s, Frame& f);
  HRESULT ExecErase(const Stmt& s, Frame& f);
  HRESULT Condition(const Expr* e, Frame& f, bool* out);
  HRESULT ConditionValue(const Expr* e, Frame& f, bool* out);
  HRESULT MakeArrays(const std::vector<ArrayInit>& arrays, Frame& f);
  // The code a host interrupts with (marking the failure fatal), or S_OK.
  HRESULT StopRequested() {
    const int32_t stop = interrupt_.load(std::memory_order_relaxed);
    if (stop == 0) return S_OK;
    fatal_ = true;
    return HRESULT(stop);
  }

  // --- Expressions (interp_expr.cc).
  HRESULT Eval(const Expr* e, Frame& f, Variant* out);
  // A value for a Let: objects replaced by their default value.
  HRESULT EvalValue(const Expr* e, Frame& f, Variant* out);
  HRESULT EvalName(const Expr* e, Frame& f, Variant* out);
  HRESULT EvalUnary(const Expr* e, Frame& f, Variant* out);
  HRESULT EvalBinary(const Expr* e, Frame& f, Variant* out);
  // EvalBinary for operands that are not all variables and literals.
  HRESULT EvalOperands(const Expr* e, Frame& f, const Variant* a, const Variant* b, Variant* out);
  // The variable or literal an operand reads in place, or null when the
  // operand must be evaluated.
  static const Variant* Direct(const Expr* e, const Frame& f) {
    if (e->kind == ExprKind::kLiteral) return &e->value;
    if (e->kind != ExprKind::kName) return nullptr;
    const NameRef& r = e->ref;
    switch (r.kind) {
      case RefKind::kLocal:
        // An implicit local still Empty may name a procedure defined later.
        return r.implicit && f.refs[r.index]->IsEmpty() ? nullptr : f.refs[r.index];
      case RefKind::kGlobal:
        return r.implicit && r.cell->lateProc != nullptr ? nullptr : &r.cell->value;
      case RefKind::kField: return &f.self->fields[static_cast<size_t>(r.index)];
      case RefKind::kConst: return &r.value;
      default: return nullptr;
    }
  }
  // The operands of a binary expression that Direct could not read in place
  // (*a or *b null), evaluated into *lt and *rt; the left one is copied when
  // the right one may change it.
  HRESULT Operands(const Expr* e, Frame& f, std::optional<Variant>* lt,
                   std::optional<Variant>* rt, const Variant** a, const Variant** b);
  // A numeric expression (Expr::numeric) computed in registers; false when
  // a value at run time needs the general rules.
  bool NumEval(const Expr* e, const Frame& f, Num* out);
  // `a op b` for values in hand; *out may be a or b. Apply takes the
  // Integer, Long and Double cases, ApplyGeneral the rest.
  HRESULT Apply(Op op, const Variant& a, const Variant& b, Variant* out);
  HRESULT ApplyGeneral(Op op, const Variant& a, const Variant& b, Variant* out);
  HRESULT EvalMember(const Expr* e, Frame& f, Variant* out);
  HRESULT EvalIndex(const Expr* e, Frame& f, Variant* out);
  // value(args) for a value already in hand: an array element or a default member.
  HRESULT IndexValue(const Variant& value, std::span<Variant> args, Variant* out);
  // The variable a name stands for, or null when it is not a variable.
  Variant* Slot(const NameRef& r, Frame& f) {
    switch (r.kind) {
      case RefKind::kLocal: return f.refs[r.index];
      case RefKind::kGlobal: return &r.cell->value;
      case RefKind::kField: return &f.self->fields[static_cast<size_t>(r.index)];
      default: return nullptr;
    }
  }
  HRESULT CheckName(const NameRef& r);
  // The object of a member access (`obj.` or the With object).
  HRESULT MemberObject(const Expr* e, Frame& f, Ref<IDispatch>* out);
  HRESULT ArrayIndexes(std::span<const ExprPtr> args, Frame& f, std::vector<int32_t>* out);

  // --- Assignment (interp_assign.cc).
  HRESULT Assign(const Expr* target, Frame& f, Variant value, bool set);
  // array(indexes) = value, converting to the array's element type.
  HRESULT PutElement(Variant* array, std::span<const int32_t> indexes, Variant value);

  // --- Calls (interp_call.cc).
  // A procedure called from code, `self` the instance a method runs for.
  HRESULT CallProc(const Proc* p, std::span<const ExprPtr> args, Frame& f, Variant* out,
                   ClassInstance* self);
  // CallProc where an array element goes to a ByRef parameter: it is copied
  // in and written back after the call.
  HRESULT CallProcWriteBack(const Proc* p, std::span<const ExprPtr> args, Frame& f,
                            Variant* out, ClassInstance* self);
  // A procedure called with values in hand; a VT_BYREF|VT_VARIANT argument
  // reaches a ByRef parameter as the variable it refers to.
  HRESULT CallWithValues(const Proc* p, ClassInstance* self, std::span<Variant> args,
                         Variant* out);
  // Runs the body of a procedure whose frame is ready at `refs`
  // (interp_stmt.cc, beside RunBlock).
  HRESULT RunBody(const Proc* p, Variant** refs, ClassInstance* self, Variant* out);
  HRESULT CallBuiltin(const BuiltinInfo* b, std::span<const ExprPtr> args, Frame& f,
                      Variant* out);
  // Evaluates arguments for IDispatch::Invoke: plain variables by reference.
  HRESULT DispatchArgs(std::span<const ExprPtr> args, Frame& f, ArgValues* out);
  HRESULT Invoke(IDispatch* obj, const std::string& name, DISPID id, uint16_t flags,
                 std::span<Variant> args, Variant* out);
  HRESULT IdOf(IDispatch* obj, const std::string& name, DISPID* id);
  // The procedure a name stands for when called: a Sub or Function, or a
  // procedure ExecuteGlobal defined after the code naming it was compiled
  // (the code took the name for an implicit variable, still Empty).
  const Proc* CalledProc(const Expr* name, const Frame& f) {
    const NameRef& r = name->ref;
    if (r.kind == RefKind::kProc) return r.proc;
    if (!r.implicit) return nullptr;
    if (r.kind == RefKind::kGlobal) return r.cell->lateProc;
    return r.kind == RefKind::kLocal && f.refs[r.index]->IsEmpty() ? LateProc(name->name)
                                                                   : nullptr;
  }
  // The module's procedure `name`, or null.
  const Proc* LateProc(std::string_view name) const;

  // --- Classes (interp_class.cc).
  HRESULT EvalNew(const Expr* e, Variant* out);
  // Runs a member of an instance as IDispatch::Invoke would; dispatch-level
  // failures (no such member, wrong count) come back as DISP_E_ codes.
  HRESULT InvokeMember(ClassInstance* self, int32_t member, uint16_t flags,
                       std::span<Variant> args, Variant* out);
  // A property of the running instance named without an object.
  HRESULT GetProperty(const NameRef& r, std::span<const ExprPtr> args, Frame& f, Variant* out);
  HRESULT PutProperty(const NameRef& r, std::span<const ExprPtr> args, Frame& f, Variant value,
                      bool set);
  void Link(ClassInstance* self);
  // Cuts every live instance off the engine before the engine goes.
  void DetachInstances();

  // --- Host side (interp.cc).
  void ResetScope();

  friend class ScriptEngine;

  LCID lcid_ = LOCALE_USER_DEFAULT;
  RandomState random_;
  std::atomic<int32_t> interrupt_{0};  // 0, or the code a host asked to stop with
  bool fatal_ = false;                 // the failure being returned is the interrupt

  ModuleScope scope_;
  std::vector<std::pair<std::string, Ref<IDispatch>>> namedObjects_;
  std::unique_ptr<Script> script_;
  // Texts run by Execute / ExecuteGlobal whose procedures or classes are in use.
  std::vector<std::unique_ptr<Script>> texts_;
  bool parsed_ = false;
  Ref<ErrObject> err_;
  ClassInstance* instances_ = nullptr;  // live instances made by this engine

  // The value stack of procedure frames; never reallocated while running.
  std::unique_ptr<Variant[]> stack_;
  std::unique_ptr<Variant*[]> refStack_;
  size_t stackTop_ = 0;
  int depth_ = 0;
  int running_ = 0;  // host calls under way (nested when an object calls back)
  const char* stackBase_ = nullptr;
  Frame* frame_ = nullptr;  // the frame of the code calling a built-in

  // The details of the failure being returned (Raise).
  HRESULT pendingCode_;
  std::string pendingDescription_;
  std::string pendingSource_;
  bool located_ = false;  // the failure's line is known
  int errLine_ = 0;
  int errColumn_ = 0;

  ScriptErrorInfo last_;
};

}  // namespace tavrix::vbs
