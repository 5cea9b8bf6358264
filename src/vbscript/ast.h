// The syntax tree of a parsed script, and the names the compiler resolves in
// it. The parser builds the tree; the compiler (compiler.h) fills the `ref`
// of every name and the slot counts; the interpreter runs the result. A tree
// belongs to one engine instance and is never changed while it runs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/text.h"
#include "platform/variant.h"
#include "vbscript/builtins.h"

namespace tavrix::vbs {

struct Proc;
struct ClassDef;

// A module variable. Cells never move once made, so compiled code reaches
// them by pointer.
struct GlobalCell {
  Variant value;
  // A procedure that ExecuteGlobal defined under this name after code that
  // names it was compiled (the code took the name for an implicit variable).
  const Proc* lateProc = nullptr;
};

// What a name stands for, once resolved.
enum class RefKind : uint8_t {
  kUnresolved,
  kLocal,      // a slot of the procedure's frame: `index`
  kGlobal,     // a module variable or named object: `cell`
  kField,      // a variable of the class instance running the code: `index`
  kMember,     // a property of that instance's class: member `index`
  kConst,      // a constant: `value`
  kProc,       // a Sub or Function (a method of the running instance's class)
  kBuiltin,    // a built-in function: `builtin`
  kClass,      // a class: `cls`
  kUndefined,  // an undeclared name under Option Explicit (error 500 when reached)
};

struct NameRef {
  RefKind kind = RefKind::kUnresolved;
  bool fixedArray = false;  // a variable declared with bounds (Dim a(3))
  bool implicit = false;    // kGlobal / kLocal made by first use rather than declared
  int32_t index = -1;
  GlobalCell* cell = nullptr;
  Variant value;
  const Proc* proc = nullptr;
  const BuiltinInfo* builtin = nullptr;
  const ClassDef* cls = nullptr;
};

enum class ExprKind : uint8_t {
  kLiteral,  // value
  kName,     // name / ref
  kMember,   // object.name; object null inside With: `withRef` holds the object
  kIndex,    // target(args): array element, call, or default member
  kParen,    // (operand): forces a value where a reference could pass
  kUnary,
  kBinary,
  kNew,      // New name: `ref` is the class when the compiler knew it
  kMe,       // the class instance running the code
};

enum class Op : uint8_t {
  kNeg, kNot,
  kPow, kMul, kDiv, kIdiv, kMod, kAdd, kSub, kCat,
  kEq, kNe, kLt, kGt, kLe, kGe, kIs,
  kAnd, kOr, kXor, kEqv, kImp,
};

struct Expr {
  ExprKind kind = ExprKind::kLiteral;
  Op op = Op::kAdd;
  // Set by the compiler: evaluating the expression runs no code of the
  // script or of an object, so it cannot change a variable.
  bool pure = false;
  // Set by the compiler: a pure expression of numbers, variables and
  // operators that the interpreter may compute in registers (numeric.h).
  bool numeric = false;
  int line = 0;
  int column = 0;
  Variant value;
  std::string name;
  NameRef ref;
  std::unique_ptr<Expr> left;    // kMember object, kIndex target, operands
  std::unique_ptr<Expr> right;
  std::vector<std::unique_ptr<Expr>> args;  // kIndex; a null entry is a left-out argument
  NameRef withRef;               // kMember inside With: where the With object is kept
};
using ExprPtr = std::unique_ptr<Expr>;

enum class StmtKind : uint8_t {
  kAssign,   // target = value (Let)
  kSet,      // Set target = value
  kCall,     // call: target (kName, kMember or kIndex with the arguments)
  kIf,
  kSelect,
  kFor,
  kForEach,
  kDo,
  kExit,
  kReDim,
  kErase,
  kOnError,
  kWith,
  kDim,      // items: kName, or kIndex with the bounds (literal) or none
  kConst,    // items: kName with `value` the constant
  kNop,      // Option Explicit and the like: nothing to do at run time
};

enum class LoopTest : uint8_t { kNone, kWhileBefore, kUntilBefore, kWhileAfter, kUntilAfter };
enum class ExitKind : uint8_t { kDo, kFor, kSub, kFunction, kProperty };

struct Stmt;
using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

struct Branch {
  std::vector<ExprPtr> tests;  // If/ElseIf: one condition; Case: the list
  Block body;
};

struct Stmt {
  StmtKind kind = StmtKind::kNop;
  int line = 0;
  int column = 0;
  ExprPtr target;  // assignment target, call, loop variable, With object
  ExprPtr value;   // assigned value, For start, Select / For Each subject, Do condition
  ExprPtr limit;   // For end
  ExprPtr step;    // For step (null: 1)
  std::vector<Branch> branches;  // If / ElseIf / Case
  Block body;                     // loop / With body, Else / Case Else
  bool hasElse = false;
  LoopTest test = LoopTest::kNone;
  ExitKind exit = ExitKind::kDo;
  bool flag = false;  // ReDim Preserve; On Error Resume Next; a call written with Call
  std::vector<ExprPtr> items;  // ReDim (kIndex each) and Erase (kName each)
  NameRef withRef;             // kWith: where the object is kept
};

struct Param {
  std::string name;
  bool byVal = false;
};

enum class ProcKind : uint8_t { kModule, kSub, kFunction, kGet, kLet, kSet };

using SymbolMap = std::unordered_map<std::string, NameRef, NoCaseHash, NoCaseEqual>;

// An array a procedure (or a class instance) makes when it starts: `Dim a(3)`
// with its upper bounds, or `Dim a()`, a dynamic array without elements yet.
struct ArrayInit {
  NameRef ref;
  std::vector<int32_t> upper;  // empty for a dynamic array
};

// A Sub, Function or property procedure, or the module's own code.
struct Proc {
  std::string name;
  ProcKind kind = ProcKind::kSub;
  bool isFunction = false;  // has a result: a Function or a Property Get
  bool isModule = false;
  bool isPublic = true;
  bool isDefault = false;
  int line = 0;
  std::vector<Param> params;
  Block body;
  const ClassDef* owner = nullptr;  // the class of a method
  // Filled by the compiler.
  int32_t slotCount = 0;   // params first, then the result, locals, hidden slots
  int32_t resultSlot = -1;
  std::vector<ArrayInit> arrays;
  // The procedure's own names (parameters, locals, constants), for texts
  // that Execute and Eval compile while it runs.
  SymbolMap scope;
};

// A variable of a class: `Public x`, `Private a(3)`, `Dim b()`.
struct ClassField {
  std::string name;
  bool isPublic = true;
  bool isArray = false;
  std::vector<int32_t> upper;  // bounds of a fixed array; empty for a dynamic one
  int line = 0;
};

// What one public or private name of a class stands for.
struct ClassMember {
  std::string name;
  bool isPublic = true;
  int32_t field = -1;            // a variable of the instance
  const Proc* method = nullptr;  // a Sub or Function
  const Proc* get = nullptr;     // property procedures
  const Proc* let = nullptr;
  const Proc* set = nullptr;
};

struct ClassDef {
  std::string name;
  int line = 0;
  std::vector<ClassField> fields;
  std::vector<std::unique_ptr<Proc>> procs;
  // Filled by the compiler.
  std::vector<ClassMember> members;
  std::unordered_map<std::string, int32_t, NoCaseHash, NoCaseEqual> memberIndex;
  int32_t defaultMember = -1;
  const Proc* initialize = nullptr;
  const Proc* terminate = nullptr;
  std::vector<ArrayInit> arrays;  // fields made as arrays by each New
};

// A parsed script (or a text given to Execute / ExecuteGlobal).
struct Script {
  bool optionExplicit = false;
  Proc module;  // the module-level statements
  std::vector<std::unique_ptr<Proc>> procs;
  std::vector<std::unique_ptr<ClassDef>> classes;
};

}  // namespace tavrix::vbs
