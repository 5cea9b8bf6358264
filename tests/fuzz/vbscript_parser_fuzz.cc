// Fuzzes the script lexer, parser and compiler with arbitrary text: they must
// reject bad input with a compile error, never crash, hang or leak.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vbscript/compiler.h"
#include "vbscript/errors.h"
#include "vbscript/parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavrix::vbs;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Script script;
  ParseError error;
  tavrix::HRESULT hr = ParseScript(text, &script, &error);
  if (hr.succeeded()) {
    GlobalTable globals;
    globals.Add("WScript");
    hr = Compile(&script, &globals, &error);
  }
  if (hr.failed() && (!IsScriptError(hr) || error.number == 0 || error.line < 1)) __builtin_trap();
  return 0;
}
