// The syntax tree of a parsed script, and the names the compiler resolves in
// it. The parser builds the tree; the compiler (compiler.h) fills the `ref`
// of every name and the slot counts; the interpreter runs the result. A tree
// belongs to one engine instance and is never changed while it runs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/variant.h"
#include "vbscript/builtins.h"

namespace tavrix::vbs {

struct Proc;

// What a name stands for, once resolved.
enum class RefKind : uint8_t {
  kUnresolved,
  kLocal,      // a slot of the procedure's frame
  kGlobal,     // a module variable or named object
  kConst,      // a constant: `value`
  kProc,       // a Sub or Function: `proc`
  kBuiltin,    // a built-in function: `builtin`
  kUndefined,  // an undeclared name under Option Explicit (error 500 when reached)
};

struct NameRef {
  RefKind kind = RefKind::kUnresolved;
  int32_t index = -1;  // kLocal / kGlobal slot
  bool fixedArray = false;  // a variable declared with bounds (Dim a(3))
  Variant value;            // kConst
  const Proc* proc = nullptr;
  const BuiltinInfo* builtin = nullptr;
};

enum class ExprKind : uint8_t {
  kLiteral,  // value
  kName,     // name / ref
  kMember,   // object.name; object null inside With: `withSlot` holds the object
  kIndex,    // target(args): array element, call, or default member
  kParen,    // (operand): forces a value where a reference could pass
  kUnary,
  kBinary,
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
enum class ExitKind : uint8_t { kDo, kFor, kSub, kFunction };

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

// A Sub or Function, or the module's own code (`isModule`).
struct Proc {
  std::string name;
  bool isFunction = false;
  bool isModule = false;
  int line = 0;
  std::vector<Param> params;
  Block body;
  // Filled by the compiler.
  int32_t slotCount = 0;   // params first, then the result, locals, hidden slots
  int32_t resultSlot = -1;
  // Variables declared with bounds: made when the procedure starts.
  struct FixedArray {
    NameRef ref;
    std::vector<int32_t> upper;
  };
  std::vector<FixedArray> fixedArrays;
};

// A parsed script.
struct Script {
  bool optionExplicit = false;
  Proc module;  // the module-level statements
  std::vector<std::unique_ptr<Proc>> procs;
};

}  // namespace tavrix::vbs
