// The script parser: source text to a syntax tree (ast.h).
#pragma once

#include <string_view>

#include "platform/result.h"
#include "vbscript/ast.h"

namespace tavrix::vbs {

struct ParseError {
  int number = 0;  // the language's compile error number (1002 "Syntax error", ...)
  int line = 0;    // 1-based
  int column = 0;  // 1-based
};

// Parses a whole script into *out (names are left unresolved). S_OK, or
// ScriptError(number) with *error set at the first error; *out is then
// incomplete and must not be run. Nesting deeper than the parser allows is a
// syntax error rather than a stack overflow.
HRESULT ParseScript(std::string_view source, Script* out, ParseError* error);

// Parses a text that is one expression (the argument of Eval), as ParseScript
// does a script; anything after the expression is error 1025.
HRESULT ParseExpression(std::string_view source, ExprPtr* out, ParseError* error);

}  // namespace tavrix::vbs
