#include "vbscript/script.h"

#include "vbscript/interp.h"

namespace tavrix::vbs {

ScriptEngine::ScriptEngine() : impl_(std::make_unique<Interpreter>()) {}
ScriptEngine::~ScriptEngine() = default;

void ScriptEngine::SetLocale(LCID lcid) { impl_->SetLocale(lcid); }
HRESULT ScriptEngine::AddNamedObject(std::string_view name, Ref<IDispatch> object) {
  return impl_->AddNamedObject(name, std::move(object));
}
HRESULT ScriptEngine::Parse(std::string_view text) { return impl_->Parse(text); }
HRESULT ScriptEngine::RunModule() { return impl_->RunModule(); }
HRESULT ScriptEngine::CallSub(std::string_view name, std::span<const Variant> args,
                              Variant* result) {
  return impl_->CallSub(name, args, result);
}
void ScriptEngine::Interrupt(HRESULT code) { impl_->Interrupt(code); }
HRESULT ScriptEngine::GetGlobal(std::string_view name, Variant* out) const {
  return impl_->GetGlobal(name, out);
}
const ScriptErrorInfo& ScriptEngine::lastError() const { return impl_->lastError(); }

}  // namespace tavrix::vbs
