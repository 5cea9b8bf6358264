// Running script text: Eval, Execute and ExecuteGlobal. The interpreter
// compiles and runs the text (BuiltinContext::Evaluate / Execute); these
// only take the text argument.
#include <string>

#include "vbscript/builtins_internal.h"

namespace tavrix::vbs {

HRESULT BuiltinContext::Evaluate(std::string_view, Variant*) { return E_NOTIMPL; }
HRESULT BuiltinContext::Execute(std::string_view, bool) { return E_NOTIMPL; }

namespace builtins {
namespace {

HRESULT Eval(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  std::string text;
  RETURN_IF_FAILED(ArgText(context, args[0], &text));
  Variant value;
  RETURN_IF_FAILED(context.Evaluate(text, &value));
  *result = std::move(value);
  return S_OK;
}

template <bool kGlobal>
HRESULT Execute(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  std::string text;
  RETURN_IF_FAILED(ArgText(context, args[0], &text));
  RETURN_IF_FAILED(context.Execute(text, kGlobal));
  *result = Variant();
  return S_OK;
}

constexpr BuiltinInfo kBuiltins[] = {
    {"Eval", 1, 1, Eval},
    {"Execute", 1, 1, Execute<false>},
    {"ExecuteGlobal", 1, 1, Execute<true>},
};

}  // namespace

std::span<const BuiltinInfo> ScriptBuiltins() { return kBuiltins; }

}  // namespace builtins
}  // namespace tavrix::vbs
