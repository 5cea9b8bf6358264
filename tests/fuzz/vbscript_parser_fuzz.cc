// Fuzzes the script lexer, parser and compiler with arbitrary text, as a
// script and as the expression of Eval: they must reject bad input with a
// compile error, never crash, hang or leak.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vbscript/compiler.h"
#include "vbscript/errors.h"
#include "vbscript/parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavrix::vbs;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto check = [](tavrix::HRESULT hr, const ParseError& error) {
    if (hr.failed() && (!IsScriptError(hr) || error.number == 0 || error.line < 1)) {
      __builtin_trap();
    }
  };
  {
    Script script;
    ParseError error;
    tavrix::HRESULT hr = ParseScript(text, &script, &error);
    if (hr.succeeded()) {
      ModuleScope scope;
      scope.AddVariable("WScript");
      hr = Compile(&script, &scope, &error);
    }
    check(hr, error);
  }
  {
    ExprPtr expr;
    ParseError error;
    tavrix::HRESULT hr = ParseExpression(text, &expr, &error);
    if (hr.succeeded()) {
      ModuleScope scope;
      hr = CompileExpression(expr.get(), &scope, nullptr, false, &error);
    }
    check(hr, error);
  }
  return 0;
}
