// The interpreter behind ScriptEngine: runs a compiled script tree.
//
// Values live in slots: module variables in `globals_`, a procedure's
// parameters and locals in a window of the value stack. Each frame reaches
// its slots through `refs`, so a ByRef parameter is simply a slot pointer to
// the caller's variable. Statements report failures as results; the frame's
// On Error state decides whether the block goes on.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ref.h"
#include "platform/unknown.h"
#include "platform/variant.h"
#include "vbscript/ast.h"
#include "vbscript/builtins.h"
#include "vbscript/compiler.h"
#include "vbscript/err_object.h"
#include "vbscript/script.h"

namespace tavrix::vbs {

enum class Flow : uint8_t { kNormal, kExitDo, kExitFor, kExitProc };

struct Frame {
  Variant** refs = nullptr;  // slot pointers (null for the module's code)
  const Proc* proc = nullptr;
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

  // The host interface (script.h).
  void SetLocale(LCID lcid) { lcid_ = lcid; }
  HRESULT AddNamedObject(std::string_view name, Ref<IDispatch> object);
  HRESULT Parse(std::string_view text);
  HRESULT RunModule();
  HRESULT CallSub(std::string_view name, std::span<const Variant> args, Variant* result);
  void Interrupt(HRESULT code);
  HRESULT GetGlobal(std::string_view name, Variant* out) const;
  const ScriptErrorInfo& lastError() const { return last_; }

 private:
  // --- Errors.
  // Keeps details for a failure about to be returned.
  HRESULT Raise(HRESULT hr, std::string description = {}, std::string source = {});
  // Fills Err (and clears the pending details) for a failure handled here.
  void Handle(HRESULT hr);
  // The details of a failure: number, description, source.
  void Describe(HRESULT hr, ScriptErrorInfo* info);
  HRESULT Finish(HRESULT hr);  // ends a host call: fills last_ on failure
  bool Fatal(HRESULT hr) const;

  // --- Statements (interp_stmt.cc).
  HRESULT ExecBlock(const Block& block, Frame& f, Flow* flow);
  HRESULT Exec(const Stmt& s, Frame& f, Flow* flow);
  HRESULT ExecIf(const Stmt& s, Frame& f, Flow* flow);
  HRESULT ExecSelect(const Stmt& s, Frame& f, Flow* flow);
  HRESULT ExecFor(const Stmt& s, Frame& f, Flow* flow);
  HRESULT ExecForEach(const Stmt& s, Frame& f, Flow* flow);
  HRESULT ExecDo(const Stmt& s, Frame& f, Flow* flow);
  HRESULT ExecReDim(const Stmt& s, Frame& f);
  HRESULT ExecErase(const Stmt& s, Frame& f);
  HRESULT Condition(const Expr* e, Frame& f, bool* out);
  HRESULT MakeFixedArrays(const Proc& p, Frame& f);

  // --- Expressions (interp_expr.cc).
  HRESULT Eval(const Expr* e, Frame& f, Variant* out);
  // A value for a Let: objects replaced by their default value.
  HRESULT EvalValue(const Expr* e, Frame& f, Variant* out);
  HRESULT EvalBinary(const Expr* e, Frame& f, Variant* out);
  HRESULT EvalMember(const Expr* e, Frame& f, Variant* out);
  HRESULT EvalIndex(const Expr* e, Frame& f, Variant* out);
  // value(args) for a value already in hand: an array element or a default member.
  HRESULT IndexValue(const Variant& value, std::span<Variant> args, Variant* out);
  // The variable a name stands for, or null when it is not a variable.
  Variant* Slot(const NameRef& r, Frame& f);
  HRESULT CheckName(const NameRef& r);
  // The object of a member access (`obj.` or the With object).
  HRESULT MemberObject(const Expr* e, Frame& f, Ref<IDispatch>* out);
  HRESULT Assign(const Expr* target, Frame& f, Variant value, bool set);

  // --- Calls (interp_call.cc).
  HRESULT CallProc(const Proc* p, std::span<const ExprPtr> args, Frame& f, Variant* out);
  HRESULT RunProc(const Proc* p, Variant* out);
  HRESULT CallBuiltin(const BuiltinInfo* b, std::span<const ExprPtr> args, Frame& f,
                      Variant* out);
  // Evaluates arguments for IDispatch::Invoke: plain variables by reference.
  HRESULT DispatchArgs(std::span<const ExprPtr> args, Frame& f, std::vector<Variant>* out);
  HRESULT Invoke(IDispatch* obj, const std::string& name, DISPID id, uint16_t flags,
                 std::span<Variant> args, Variant* out);
  HRESULT IdOf(IDispatch* obj, const std::string& name, DISPID* id);
  HRESULT ArrayIndexes(std::span<const ExprPtr> args, Frame& f, std::vector<int32_t>* out);

  friend class ScriptEngine;

  LCID lcid_ = LOCALE_USER_DEFAULT;
  RandomState random_;
  std::atomic<int32_t> interrupt_{0};  // 0, or the code a host asked to stop with
  bool fatal_ = false;                 // the failure being returned is the interrupt

  GlobalTable table_;
  std::vector<Variant> globals_;
  std::unique_ptr<Script> script_;
  bool parsed_ = false;
  Ref<ErrObject> err_;

  // The value stack of procedure frames; never reallocated while running.
  std::unique_ptr<Variant[]> stack_;
  std::unique_ptr<Variant*[]> refStack_;
  size_t stackTop_ = 0;
  int depth_ = 0;
  const char* stackBase_ = nullptr;

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
