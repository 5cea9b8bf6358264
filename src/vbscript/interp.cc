// The interpreter's host side: parsing, running, errors and interruption.
#include "vbscript/interp.h"

#include "platform/safearray.h"
#include "vbscript/errors.h"
#include "vbscript/parser.h"

namespace tavrix::vbs {

// Slots of the value stack of one instance: parameters and locals of all
// active procedure calls.
extern const size_t kStackSlots = size_t{1} << 15;

Interpreter::Interpreter() : err_(MakeRef<ErrObject>()) {
  (void)AddNamedObject("Err", Ref<IDispatch>(err_));
}

Interpreter::~Interpreter() = default;

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
  const int32_t slot = table_.Add(name);
  if (globals_.size() < table_.size()) globals_.resize(table_.size());
  globals_[static_cast<size_t>(slot)] = Variant::Dispatch(std::move(object));
  return S_OK;
}

HRESULT Interpreter::Parse(std::string_view text) {
  if (parsed_) return E_UNEXPECTED;
  auto script = std::make_unique<Script>();
  ParseError pe;
  HRESULT hr = ParseScript(text, script.get(), &pe);
  if (hr.succeeded()) hr = Compile(script.get(), &table_, &pe);
  if (hr.failed()) {
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
  globals_.resize(table_.size());
  stack_ = std::make_unique<Variant[]>(kStackSlots);
  refStack_ = std::make_unique<Variant*[]>(kStackSlots);
  Frame module{nullptr, &script_->module, false};
  hr = MakeFixedArrays(script_->module, module);
  if (hr.failed()) return Finish(hr);
  parsed_ = true;
  return S_OK;
}

HRESULT Interpreter::RunModule() {
  if (!parsed_) return E_UNEXPECTED;
  const char marker = 0;
  stackBase_ = &marker;
  Frame f{nullptr, &script_->module, false};
  Flow flow = Flow::kNormal;
  const HRESULT hr = ExecBlock(script_->module.body, f, &flow);
  stackBase_ = nullptr;
  return Finish(hr);
}

HRESULT Interpreter::CallSub(std::string_view name, std::span<const Variant> args,
                             Variant* result) {
  if (!parsed_) return E_UNEXPECTED;
  const Proc* proc = nullptr;
  for (const auto& p : script_->procs) {
    if (EqualsNoCase(p->name, name)) proc = p.get();
  }
  if (proc == nullptr) return Finish(Raise(ScriptError(kErrSubNotDefined)));
  if (args.size() != proc->params.size()) return Finish(Raise(ScriptError(kErrWrongArgCount)));
  if (stackTop_ + static_cast<size_t>(proc->slotCount) > kStackSlots) {
    return Finish(Raise(ScriptError(kErrOutOfStack)));
  }
  for (size_t i = 0; i < args.size(); ++i) stack_[stackTop_ + i] = args[i].Deref();
  const char marker = 0;
  stackBase_ = &marker;
  const HRESULT hr = RunProc(proc, result);
  stackBase_ = nullptr;
  return Finish(hr);
}

HRESULT Interpreter::GetGlobal(std::string_view name, Variant* out) const {
  const int32_t slot = table_.Find(name);
  if (slot < 0 || static_cast<size_t>(slot) >= globals_.size()) return DISP_E_UNKNOWNNAME;
  *out = globals_[static_cast<size_t>(slot)];
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

void Interpreter::Handle(HRESULT hr) {
  ScriptErrorInfo info;
  Describe(hr, &info);
  err_->number = info.number;
  err_->description = std::move(info.description);
  err_->source = std::move(info.source);
  err_->raised = S_OK;
  pendingCode_ = S_OK;
  pendingDescription_.clear();
  pendingSource_.clear();
  located_ = false;
}

bool Interpreter::Fatal(HRESULT hr) const {
  return fatal_ && hr.code() == interrupt_.load(std::memory_order_relaxed);
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
  located_ = false;
  err_->raised = S_OK;
  pendingCode_ = S_OK;
  pendingDescription_.clear();
  pendingSource_.clear();
  return hr;
}

}  // namespace tavrix::vbs
