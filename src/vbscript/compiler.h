// The compiler: resolves every name of a parsed script to what it stands for
// (a frame slot, a module variable, a field or property of the running class
// instance, a constant, a procedure, a class or a built-in), numbers the
// slots, builds the classes' member tables and folds constants. The
// interpreter then runs the tree without looking a name up again.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "platform/result.h"
#include "vbscript/ast.h"
#include "vbscript/parser.h"

namespace tavrix::vbs {

// The module level of an engine instance: module variables (the host's named
// objects first, then the script's), procedures, classes and constants by
// name. It outlives each compile: the script is compiled into it, then any
// texts that Execute, ExecuteGlobal and Eval run. Variable cells never move.
class ModuleScope {
 public:
  // The module variable `name`, made when the name is new; `implicit` marks
  // one made by first use. Null when the name stands for something else.
  GlobalCell* AddVariable(std::string_view name, bool implicit = false);
  // What `name` stands for at module level, or null.
  const NameRef* Find(std::string_view name) const;
  // Binds `name` to a procedure, class or constant, replacing what it stood for.
  void Define(std::string_view name, const NameRef& ref);
  // A module variable that no name reaches (the object of a With).
  GlobalCell* Hidden();
  // Every variable, in the order made (named objects first).
  std::deque<GlobalCell>& cells() { return cells_; }

 private:
  std::deque<GlobalCell> cells_;
  SymbolMap names_;
};

// Resolves the script in place against `scope`: its procedures, classes,
// constants and module variables join the scope. S_OK, or
// ScriptError(number) with *error set (1041 "Name redefined", 1045 "Expected
// literal constant", 1052 "Cannot have multiple default property/method in a
// Class", ...).
HRESULT Compile(Script* script, ModuleScope* scope, ParseError* error);

// Resolves a text that Execute or ExecuteGlobal runs while `within` runs
// (null: at module level). The text sees the procedure's names and its
// class's members; variables it declares or first uses become module
// variables. Its procedures and classes join the scope and may replace
// earlier ones (a procedure also takes over an implicit variable of its
// name). Undeclared names are error 500 when `optionExplicit`.
HRESULT CompileText(Script* script, ModuleScope* scope, const Proc* within, bool optionExplicit,
                    ParseError* error);

// Resolves the expression of Eval as CompileText does a text.
HRESULT CompileExpression(Expr* expr, ModuleScope* scope, const Proc* within,
                          bool optionExplicit, ParseError* error);

}  // namespace tavrix::vbs
