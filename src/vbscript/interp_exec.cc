// Eval, Execute and ExecuteGlobal: texts compiled while the script runs and
// run in the scope of the code that called them, or at module level.
#include "vbscript/errors.h"
#include "vbscript/interp.h"
#include "vbscript/parser.h"

namespace tavrix::vbs {

HRESULT Interpreter::Evaluate(std::string_view text, Variant* out) {
  Frame* f = frame_;
  if (f == nullptr || !parsed_) return E_UNEXPECTED;
  ExprPtr e;
  ParseError pe;
  HRESULT hr = ParseExpression(text, &e, &pe);
  if (hr.succeeded()) {
    hr = CompileExpression(e.get(), &scope_, f->proc, script_->optionExplicit, &pe);
  }
  if (hr.failed()) return Raise(ScriptError(pe.number));
  return Eval(e.get(), *f, out);
}

HRESULT Interpreter::Execute(std::string_view text, bool global) {
  Frame* f = frame_;
  if (f == nullptr || !parsed_) return E_UNEXPECTED;
  auto script = std::make_unique<Script>();
  const Proc* within = global ? nullptr : f->proc;
  ParseError pe;
  HRESULT hr = ParseScript(text, script.get(), &pe);
  if (hr.succeeded()) {
    hr = CompileText(script.get(), &scope_, within, script_->optionExplicit, &pe);
  }
  // The scope names the text's procedures and classes from now on (even
  // when a later part of the text failed to compile): the tree stays.
  const bool keep = !script->procs.empty() || !script->classes.empty();
  if (hr.failed()) {
    if (keep) texts_.push_back(std::move(script));
    return Raise(ScriptError(pe.number));
  }
  Frame frame{nullptr, &script->module, nullptr, false};
  if (!global) {
    frame.refs = f->refs;
    frame.proc = f->proc;
    frame.self = f->self;
  }
  hr = MakeArrays(script->module.arrays, frame);
  if (hr.succeeded()) {
    Flow flow = Flow::kNormal;
    hr = ExecBlock(script->module.body, frame, &flow);
  }
  if (keep) texts_.push_back(std::move(script));
  // A failure is reported at the statement that called Execute: the text's
  // own lines mean nothing in the script.
  if (hr.failed() && !fatal_) located_ = false;
  return hr;
}

}  // namespace tavrix::vbs
