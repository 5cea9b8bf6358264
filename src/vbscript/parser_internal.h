// The parser of scripts and expressions, shared by parser.cc (the module
// level, classes and statements) and parser_expr.cc (expressions). Private
// to the parser: hosts use parser.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/result.h"
#include "platform/text.h"
#include "vbscript/ast.h"
#include "vbscript/errors.h"
#include "vbscript/lexer.h"
#include "vbscript/parser.h"

namespace tavrix::vbs {

// Deeper nesting of blocks and expressions is refused, so hostile input
// cannot exhaust the stack of the parser or of the interpreter.
inline constexpr int kMaxParseDepth = 200;

class Parser {
 public:
  Parser(std::vector<Token> tokens, Script* script, ParseError* error)
      : t_(std::move(tokens)), script_(script), error_(error) {}

  // The whole token list as a script, into the Script given at construction.
  HRESULT Run();
  // The whole token list as one expression (the text of Eval).
  HRESULT WholeExpression(ExprPtr* out);

 private:
  // --- Tokens.
  const Token& Cur() const { return t_[pos_]; }
  const Token& Peek(size_t n = 1) const { return t_[std::min(pos_ + n, t_.size() - 1)]; }
  bool At(Tok type) const { return Cur().type == type; }
  bool AtKw(Kw kw) const { return Cur().type == Tok::kIdent && Cur().kw == kw; }
  bool IsWord(std::string_view w) const {
    return Cur().type == Tok::kIdent && Cur().kw == Kw::kNone && EqualsNoCase(Cur().text, w);
  }
  void Next() {
    if (pos_ + 1 < t_.size()) ++pos_;
  }
  bool Accept(Tok type) {
    if (!At(type)) return false;
    Next();
    return true;
  }
  bool AcceptKw(Kw kw) {
    if (!AtKw(kw)) return false;
    Next();
    return true;
  }
  bool AtEndOfStatement() const { return At(Tok::kNewline) || At(Tok::kEof); }
  void SkipNewlines() {
    while (At(Tok::kNewline)) Next();
  }
  HRESULT Fail(int number) {
    if (error_->number == 0) {
      error_->number = number;
      error_->line = Cur().line;
      error_->column = Cur().column;
    }
    return ScriptError(number);
  }
  HRESULT Expect(Tok type, int number) {
    if (!Accept(type)) return Fail(number);
    return S_OK;
  }
  HRESULT ExpectKw(Kw kw, int number) {
    if (!AcceptKw(kw)) return Fail(number);
    return S_OK;
  }
  HRESULT EndOfStatement() {
    if (!AtEndOfStatement()) return Fail(kErrExpectedEndOfStatement);
    return S_OK;
  }
  // A name: an identifier that is not a reserved word.
  HRESULT Identifier(std::string* name) {
    if (!At(Tok::kIdent) || Cur().kw != Kw::kNone) return Fail(kErrExpectedIdentifier);
    *name = Cur().text;
    Next();
    return S_OK;
  }

  struct DepthGuard {
    explicit DepthGuard(int* d) : depth(d) { ++*depth; }
    ~DepthGuard() { --*depth; }
    int* depth;
  };

  // --- Module level and classes (parser.cc).
  HRESULT TopLevel();
  // Class name ... End Class: variables and procedures, each Public or Private.
  HRESULT ClassBlock();
  // The variables of one declaration line of a class: `x, a(3), b()`.
  HRESULT Fields(ClassDef* cls, bool isPublic);
  // The literal upper bounds of a declared array, after '(' and up to and
  // including ')'.
  HRESULT Bounds(std::vector<int32_t>* upper);
  // Sub, Function, or (in a class) Property Get / Let / Set.
  HRESULT Procedure(ClassDef* owner, bool isPublic, bool isDefault);

  // --- Blocks and statements (parser.cc).
  // True at a word that ends the enclosing block.
  bool AtBlockEnd() const;
  HRESULT ParseBlock(Block* block);
  StmtPtr NewStmt(StmtKind kind, const Token& at);
  // One statement; in a single-line If (`inLine`) it ends at ':' or the line.
  HRESULT Statement(StmtPtr* out, bool inLine);
  HRESULT Dim(StmtPtr* out, const Token& at);
  HRESULT Const(StmtPtr* out, const Token& at);
  HRESULT ReDim(StmtPtr* out);
  HRESULT Erase(StmtPtr* out);
  HRESULT If(StmtPtr* out, bool inLine);
  // The statements of a single-line If branch: separated by ':' up to the end
  // of the line or an Else.
  HRESULT LineStatements(Block* block);
  HRESULT Select(StmtPtr* out);
  HRESULT LoopVariable(ExprPtr* out);
  HRESULT For(StmtPtr* out);
  HRESULT LoopCondition(StmtPtr& s, bool before);
  HRESULT Do(StmtPtr* out);
  HRESULT While(StmtPtr* out);
  HRESULT With(StmtPtr* out);
  HRESULT Exit(StmtPtr* out);
  HRESULT OnError(StmtPtr* out);
  // An assignment or a call: `target = value`, `name args`, `obj.Member args`,
  // `Call name(args)`.
  HRESULT CallOrAssign(StmtPtr* out, bool withCall);

  // --- Expressions (parser_expr.cc).
  ExprPtr NewExpr(ExprKind kind);
  // Arguments separated by commas, up to `end` (not taken). An empty place is
  // a left-out argument (null). `statement`: up to the end of the statement.
  HRESULT ArgList(std::vector<ExprPtr>* args, Tok end, bool statement);
  HRESULT Expression(ExprPtr* out);
  // Binary levels, loosest first: Imp, Eqv, Xor, Or, And, (Not), comparisons,
  // &, + -, Mod, \, * /, (unary -), ^.
  static int LevelOf(const Token& t, Op* op);
  HRESULT Binary(ExprPtr* out, int level);
  HRESULT Unary(ExprPtr* out);
  // ^ binds tighter than unary minus on its left, and takes one on its right.
  HRESULT Power(ExprPtr* out);
  HRESULT PowerOperand(ExprPtr* out);
  // A primary followed by member accesses and argument lists. *lastParen
  // (when asked) is the position of the last '(' when the chain ends in an
  // argument list, else 0.
  HRESULT Postfix(ExprPtr* out, size_t* lastParen);
  // After '.', any word is a member name, reserved or not.
  HRESULT MemberName(std::string* name);
  HRESULT Primary(ExprPtr* out);

  static constexpr int kNotLevel = 5;
  static constexpr int kUnaryLevel = 12;

  std::vector<Token> t_;
  size_t pos_ = 0;
  Script* script_;
  ParseError* error_;
  int depth_ = 0;
  int loops_[2] = {0, 0};  // open For and Do loops
  int inFunction_ = 0;     // 1 in a Function, 2 in a Sub, 3 in a property
};

}  // namespace tavrix::vbs
