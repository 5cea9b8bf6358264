// The interpreter's host side: parsing, running, errors and interruption.
#include "vbscript/interp.h"

#include "platform/safearray.h"
#include "vbscript/errors.h"
#include "vbscript/parser.h"
#include "vbscript/slots.h"

namespace tavrix::vbs {

// Slots of the value stack of one instance: parameters and locals of all
// active procedure calls.
extern const size_t kStackSlots = size_t{1} << 15;

Interpreter::Interpreter() : err_(MakeRef<ErrObject>()) {
  (void)AddNamedObject("Err", Ref<IDispatch>(err_));
}

Interpreter::~Interpreter() {
  // Module variables go first, newest first, so the script's objects run
  // Class_Terminate while the engine and the host's named objects are whole.
  // A Terminate may store objects again; a second pass takes those.
  for (int pass = 0; pass < 2; ++pass) {
    auto& cells = scope_.cells();
    for (auto it = cells.rbegin(); it != cells.rend(); ++it) Reset(&it->value);
  }
  DetachInstances();
}

Interpreter::RunScope::RunScope(Interpreter* in) : interpreter(in), outermost(in->running_ == 0) {
  if (outermost) in->stackBase_ = &marker;
  ++in->running_;
}

Interpreter::RunScope::~RunScope() {
  --interpreter->running_;
  if (outermost) interpreter->stackBase_ = nullptr;
}

HRESULT Interpreter::Interrupted() {
  const int32_t code = interrupt_.load(std::memory_order_relaxed);
  return code == 0 ? S_OK : HRESULT(code);
}

void Interpreter::Interrupt(HRESULT code) {
  interrupt_.store(code.failed() ? code.code() : E_ABORT.code(), std::memory_order_relaxed);
}

HRESULT Interpreter::AddNamedObject(std::string_view name, Ref<IDispatch> object) {
  if (name.empty() || !object) return E_INVALIDARG;
  if (parsed_) return E_UNEXPECTED;
  GlobalCell* cell = scope_.AddVariable(name);
  if (cell == nullptr) return E_INVALIDARG;
  cell->value = Variant::Dispatch(object);
  namedObjects_.emplace_back(std::string(name), std::move(object));
  return S_OK;
}

void Interpreter::ResetScope() {
  scope_ = ModuleScope();
  for (const auto& [name, object] : namedObjects_) {
    scope_.AddVariable(name)->value = Variant::Dispatch(object);
  }
}

HRESULT Interpreter::Parse(std::string_view text) {
  if (parsed_) return E_UNEXPECTED;
  auto script = std::make_unique<Script>();
  ParseError pe;
  HRESULT hr = ParseScript(text, script.get(), &pe);
  if (hr.succeeded()) hr = Compile(script.get(), &scope_, &pe);
  if (hr.failed()) {
    // The scope may name parts of the failed tree: back to the named objects.
    ResetScope();
    last_ = ScriptErrorInfo{};
    last_.code = hr;
    last_.number = pe.number;
    last_.line = pe.line;
    last_.column = pe.column;
    last_.description = std::string(ScriptErrorText(pe.number));
    last_.source = kCompileSource;
    last_.fromParse = true;
    return hr;
  }
  script_ = std::move(script);
  stack_ = std::make_unique<Variant[]>(kStackSlots);
  refStack_ = std::make_unique<Variant*[]>(kStackSlots);
  Frame module{nullptr, &script_->module, nullptr, false};
  hr = MakeArrays(script_->module.arrays, module);
  if (hr.failed()) return Finish(hr);
  parsed_ = true;
  return S_OK;
}

HRESULT Interpreter::RunModule() {
  if (!parsed_) return E_UNEXPECTED;
  RunScope run(this);
  Frame f{nullptr, &script_->module, nullptr, false};
  Flow flow = Flow::kNormal;
  return Finish(ExecBlock(script_->module.body, f, &flow));
}

HRESULT Interpreter::CallSub(std::string_view name, std::span<const Variant> args,
                             Variant* result) {
  if (!parsed_) return E_UNEXPECTED;
  const Proc* proc = LateProc(name);
  if (proc == nullptr) return Finish(Raise(ScriptError(kErrSubNotDefined)));
  if (args.size() != proc->params.size()) return Finish(Raise(ScriptError(kErrWrongArgCount)));
  std::vector<Variant> values(args.begin(), args.end());
  for (Variant& v : values) v = Variant(v.Deref());
  RunScope run(this);
  return Finish(CallWithValues(proc, nullptr, values, result));
}

const Proc* Interpreter::LateProc(std::string_view name) const {
  const NameRef* r = scope_.Find(name);
  if (r == nullptr) return nullptr;
  if (r->kind == RefKind::kProc) return r->proc;
  return r->kind == RefKind::kGlobal && r->implicit ? r->cell->lateProc : nullptr;
}

HRESULT Interpreter::GetGlobal(std::string_view name, Variant* out) const {
  const NameRef* r = scope_.Find(name);
  if (r == nullptr || r->kind != RefKind::kGlobal) return DISP_E_UNKNOWNNAME;
  *out = r->cell->value;
  return S_OK;
}

// --- Errors.

HRESULT Interpreter::Raise(HRESULT hr, std::string description, std::string source) {
  if (hr.succeeded()) return hr;
  if (pendingCode_ != hr || !description.empty()) {
    pendingCode_ = hr;
    pendingDescription_ = std::move(description);
    pendingSource_ = std::move(source);
  }
  return hr;
}

void Interpreter::Describe(HRESULT hr, ScriptErrorInfo* info) {
  info->code = hr;
  if (err_->raised == hr && hr.failed()) {
    info->number = err_->number;
    info->description = err_->description;
    info->source = err_->source;
    return;
  }
  info->number = ScriptErrorNumber(hr);
  if (pendingCode_ == hr && !pendingDescription_.empty()) {
    info->description = pendingDescription_;
  } else {
    info->description = std::string(ScriptErrorText(info->number));
    if (!IsScriptError(hr) && info->description == "Unknown runtime error") {
      info->description = ResultDescription(hr);
    }
  }
  info->source = (pendingCode_ == hr && !pendingSource_.empty()) ? pendingSource_
                                                                 : std::string(kRuntimeSource);
}

void Interpreter::ClearPending() {
  err_->raised = S_OK;
  pendingCode_ = S_OK;
  pendingDescription_.clear();
  pendingSource_.clear();
  located_ = false;
}

void Interpreter::Handle(HRESULT hr) {
  ScriptErrorInfo info;
  Describe(hr, &info);
  err_->number = info.number;
  err_->description = std::move(info.description);
  err_->source = std::move(info.source);
  ClearPending();
}

HRESULT Interpreter::Finish(HRESULT hr) {
  if (hr.failed()) {
    last_ = ScriptErrorInfo{};
    Describe(hr, &last_);
    if (located_) {
      last_.line = errLine_;
      last_.column = errColumn_;
    }
    if (fatal_) {
      // The interrupt is used up by the run it stopped.
      interrupt_.store(0, std::memory_order_relaxed);
    } else if (!IsScriptError(hr) && last_.number > 0 &&
               ScriptErrorText(last_.number) != "Unknown runtime error") {
      // Platform results the language knows travel as its own error codes.
      hr = ScriptError(last_.number);
      last_.code = hr;
    }
  }
  fatal_ = false;
  ClearPending();
  return hr;
}

}  // namespace tavrix::vbs
