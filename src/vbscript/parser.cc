#include "vbscript/parser.h"

#include <utility>

#include "platform/arith.h"
#include "platform/convert.h"
#include "platform/text.h"
#include "vbscript/errors.h"
#include "vbscript/lexer.h"

namespace tavrix::vbs {
namespace {

// Deeper nesting of blocks and expressions is refused, so hostile input
// cannot exhaust the stack of the parser or of the interpreter.
constexpr int kMaxDepth = 200;

class Parser {
 public:
  Parser(std::vector<Token> tokens, Script* script, ParseError* error)
      : t_(std::move(tokens)), script_(script), error_(error) {}

  HRESULT Run() {
    script_->module.isModule = true;
    SkipNewlines();
    bool first = true;
    while (!At(Tok::kEof)) {
      if (AtKw(Kw::kOption)) {
        if (!first) return Fail(kErrMustBeFirstStatement);
        Next();
        if (!IsWord("explicit")) return Fail(kErrSyntax);
        Next();
        script_->optionExplicit = true;
        RETURN_IF_FAILED(EndOfStatement());
        SkipNewlines();
        continue;
      }
      first = false;
      RETURN_IF_FAILED(TopLevel());
      SkipNewlines();
    }
    return S_OK;
  }

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

  // --- Module level.
  HRESULT TopLevel() {
    size_t save = pos_;
    if (AtKw(Kw::kPublic) || AtKw(Kw::kPrivate)) Next();
    if (AtKw(Kw::kSub) || AtKw(Kw::kFunction)) return Procedure();
    if (IsWord("default")) return Fail(kErrSyntax);
    if (AtKw(Kw::kClass)) return Fail(kErrSyntax);
    pos_ = save;
    StmtPtr s;
    RETURN_IF_FAILED(Statement(&s, false));
    if (s) script_->module.body.push_back(std::move(s));
    return S_OK;
  }

  HRESULT Procedure() {
    auto proc = std::make_unique<Proc>();
    proc->isFunction = AtKw(Kw::kFunction);
    proc->line = Cur().line;
    Next();
    RETURN_IF_FAILED(Identifier(&proc->name));
    if (Accept(Tok::kLParen)) {
      while (!At(Tok::kRParen)) {
        Param p;
        if (AcceptKw(Kw::kByVal)) p.byVal = true;
        else AcceptKw(Kw::kByRef);
        RETURN_IF_FAILED(Identifier(&p.name));
        if (Accept(Tok::kLParen)) RETURN_IF_FAILED(Expect(Tok::kRParen, kErrExpectedRParen));
        proc->params.push_back(std::move(p));
        if (!Accept(Tok::kComma)) break;
      }
      RETURN_IF_FAILED(Expect(Tok::kRParen, kErrExpectedRParen));
    }
    RETURN_IF_FAILED(EndOfStatement());
    inFunction_ = proc->isFunction ? 1 : 2;
    RETURN_IF_FAILED(ParseBlock(&proc->body));
    inFunction_ = 0;
    RETURN_IF_FAILED(ExpectKw(Kw::kEnd, kErrExpectedEnd));
    RETURN_IF_FAILED(ExpectKw(proc->isFunction ? Kw::kFunction : Kw::kSub,
                              proc->isFunction ? kErrExpectedFunction : kErrExpectedSub));
    RETURN_IF_FAILED(EndOfStatement());
    script_->procs.push_back(std::move(proc));
    return S_OK;
  }

  // --- Blocks and statements.

  // True at a word that ends the enclosing block.
  bool AtBlockEnd() const {
    if (At(Tok::kEof)) return true;
    if (!At(Tok::kIdent)) return false;
    switch (Cur().kw) {
      case Kw::kEnd: case Kw::kElse: case Kw::kElseIf: case Kw::kCase: case Kw::kLoop:
      case Kw::kNext: case Kw::kWend:
        return true;
      default:
        return false;
    }
  }

  HRESULT ParseBlock(Block* block) {
    DepthGuard guard(&depth_);
    if (depth_ > kMaxDepth) return Fail(kErrSyntax);
    for (;;) {
      SkipNewlines();
      if (AtBlockEnd()) return S_OK;
      if (AtKw(Kw::kSub) || AtKw(Kw::kFunction) || AtKw(Kw::kClass)) return Fail(kErrSyntax);
      if (AtKw(Kw::kOption)) return Fail(kErrMustBeFirstStatement);
      StmtPtr s;
      RETURN_IF_FAILED(Statement(&s, false));
      if (s) block->push_back(std::move(s));
    }
  }

  StmtPtr NewStmt(StmtKind kind, const Token& at) {
    auto s = std::make_unique<Stmt>();
    s->kind = kind;
    s->line = at.line;
    s->column = at.column;
    return s;
  }

  // One statement; in a single-line If (`inLine`) it ends at ':' or the line.
  HRESULT Statement(StmtPtr* out, bool inLine) {
    const Token& at = Cur();
    if (At(Tok::kDot)) return CallOrAssign(out, false);
    if (!At(Tok::kIdent)) return Fail(kErrExpectedStatement);
    switch (at.kw) {
      case Kw::kDim: case Kw::kPublic: case Kw::kPrivate:
        Next();
        if (AtKw(Kw::kConst)) return Const(out, at);
        return Dim(out, at);
      case Kw::kConst: return Const(out, at);
      case Kw::kReDim: return ReDim(out);
      case Kw::kErase: return Erase(out);
      case Kw::kIf: return If(out, inLine);
      case Kw::kSelect: return Select(out);
      case Kw::kFor: return For(out);
      case Kw::kDo: return Do(out);
      case Kw::kWhile: return While(out);
      case Kw::kWith: return With(out);
      case Kw::kExit: return Exit(out);
      case Kw::kOn: return OnError(out);
      case Kw::kSet: {
        Next();
        RETURN_IF_FAILED(CallOrAssign(out, false));
        if (!*out || (*out)->kind != StmtKind::kAssign) return Fail(kErrExpectedEquals);
        (*out)->kind = StmtKind::kSet;
        return S_OK;
      }
      case Kw::kLet:
        Next();
        return CallOrAssign(out, false);
      case Kw::kCall:
        Next();
        return CallOrAssign(out, true);
      case Kw::kNone:
        if (IsWord("stop")) {  // a debugger break: nothing without a debugger
          Next();
          *out = NewStmt(StmtKind::kNop, at);
          return EndOfStatement();
        }
        return CallOrAssign(out, false);
      default:
        return Fail(kErrExpectedStatement);
    }
  }

  HRESULT Dim(StmtPtr* out, const Token& at) {
    auto s = NewStmt(StmtKind::kDim, at);
    for (;;) {
      auto e = NewExpr(ExprKind::kName);
      RETURN_IF_FAILED(Identifier(&e->name));
      if (Accept(Tok::kLParen)) {
        auto idx = NewExpr(ExprKind::kIndex);
        idx->left = std::move(e);
        while (!At(Tok::kRParen)) {
          if (!At(Tok::kLiteral)) return Fail(kErrExpectedInteger);
          Variant bound;
          if (ChangeType(Cur().value, VT_I4, &bound).failed()) return Fail(kErrExpectedInteger);
          auto lit = NewExpr(ExprKind::kLiteral);
          lit->value = bound;
          idx->args.push_back(std::move(lit));
          Next();
          if (!Accept(Tok::kComma)) break;
        }
        RETURN_IF_FAILED(Expect(Tok::kRParen, kErrExpectedRParen));
        e = std::move(idx);
      }
      s->items.push_back(std::move(e));
      if (!Accept(Tok::kComma)) break;
    }
    *out = std::move(s);
    return EndOfStatement();
  }

  HRESULT Const(StmtPtr* out, const Token& at) {
    Next();  // Const
    auto s = NewStmt(StmtKind::kConst, at);
    for (;;) {
      auto e = NewExpr(ExprKind::kName);
      RETURN_IF_FAILED(Identifier(&e->name));
      RETURN_IF_FAILED(Expect(Tok::kEq, kErrExpectedEquals));
      ExprPtr value;
      RETURN_IF_FAILED(Expression(&value));
      e->right = std::move(value);  // folded to a literal by the compiler
      s->items.push_back(std::move(e));
      if (!Accept(Tok::kComma)) break;
    }
    *out = std::move(s);
    return EndOfStatement();
  }

  HRESULT ReDim(StmtPtr* out) {
    auto s = NewStmt(StmtKind::kReDim, Cur());
    Next();
    if (IsWord("preserve")) {
      Next();
      s->flag = true;
    }
    for (;;) {
      auto name = NewExpr(ExprKind::kName);
      RETURN_IF_FAILED(Identifier(&name->name));
      auto idx = NewExpr(ExprKind::kIndex);
      idx->left = std::move(name);
      RETURN_IF_FAILED(Expect(Tok::kLParen, kErrExpectedLParen));
      RETURN_IF_FAILED(ArgList(&idx->args, Tok::kRParen, false));
      RETURN_IF_FAILED(Expect(Tok::kRParen, kErrExpectedRParen));
      if (idx->args.empty()) return Fail(kErrExpectedExpression);
      s->items.push_back(std::move(idx));
      if (!Accept(Tok::kComma)) break;
    }
    *out = std::move(s);
    return EndOfStatement();
  }

  HRESULT Erase(StmtPtr* out) {
    auto s = NewStmt(StmtKind::kErase, Cur());
    Next();
    for (;;) {
      auto name = NewExpr(ExprKind::kName);
      RETURN_IF_FAILED(Identifier(&name->name));
      s->items.push_back(std::move(name));
      if (!Accept(Tok::kComma)) break;
    }
    *out = std::move(s);
    return EndOfStatement();
  }

  HRESULT If(StmtPtr* out, bool inLine) {
    auto s = NewStmt(StmtKind::kIf, Cur());
    Next();
    Branch first;
    first.tests.emplace_back();
    RETURN_IF_FAILED(Expression(&first.tests[0]));
    RETURN_IF_FAILED(ExpectKw(Kw::kThen, kErrExpectedThen));
    if (!At(Tok::kNewline) || Cur().colon || inLine) {
      // Single-line form: statements up to the end of the line.
      if (At(Tok::kEof) || (At(Tok::kNewline) && !Cur().colon)) return Fail(kErrExpectedStatement);
      RETURN_IF_FAILED(LineStatements(&first.body));
      s->branches.push_back(std::move(first));
      if (AcceptKw(Kw::kElse)) {
        s->hasElse = true;
        RETURN_IF_FAILED(LineStatements(&s->body));
      }
      *out = std::move(s);
      return AtEndOfStatement() ? S_OK : Fail(kErrExpectedEndOfStatement);
    }
    RETURN_IF_FAILED(ParseBlock(&first.body));
    s->branches.push_back(std::move(first));
    for (;;) {
      if (AtKw(Kw::kElseIf)) {
        Next();
        Branch b;
        b.tests.emplace_back();
        RETURN_IF_FAILED(Expression(&b.tests[0]));
        RETURN_IF_FAILED(ExpectKw(Kw::kThen, kErrExpectedThen));
        RETURN_IF_FAILED(ParseBlock(&b.body));
        s->branches.push_back(std::move(b));
        continue;
      }
      if (AtKw(Kw::kElse) && !s->hasElse) {
        Next();
        s->hasElse = true;
        RETURN_IF_FAILED(ParseBlock(&s->body));
        continue;
      }
      break;
    }
    RETURN_IF_FAILED(ExpectKw(Kw::kEnd, kErrExpectedEnd));
    RETURN_IF_FAILED(ExpectKw(Kw::kIf, kErrExpectedIf));
    *out = std::move(s);
    return EndOfStatement();
  }

  // The statements of a single-line If branch: separated by ':' up to the end
  // of the line or an Else.
  HRESULT LineStatements(Block* block) {
    DepthGuard guard(&depth_);
    if (depth_ > kMaxDepth) return Fail(kErrSyntax);
    for (;;) {
      while (At(Tok::kNewline) && Cur().colon) Next();
      if (AtEndOfStatement() || AtKw(Kw::kElse)) return S_OK;
      StmtPtr s;
      RETURN_IF_FAILED(Statement(&s, true));
      if (s) block->push_back(std::move(s));
      if (AtKw(Kw::kElse)) return S_OK;
      if (!At(Tok::kNewline) || !Cur().colon) return S_OK;
    }
  }

  HRESULT Select(StmtPtr* out) {
    auto s = NewStmt(StmtKind::kSelect, Cur());
    Next();
    RETURN_IF_FAILED(ExpectKw(Kw::kCase, kErrExpectedCase));
    RETURN_IF_FAILED(Expression(&s->value));
    RETURN_IF_FAILED(EndOfStatement());
    SkipNewlines();
    while (AtKw(Kw::kCase)) {
      Next();
      if (AcceptKw(Kw::kElse)) {
        if (s->hasElse) return Fail(kErrExpectedEnd);
        s->hasElse = true;
        RETURN_IF_FAILED(ParseBlock(&s->body));
        continue;
      }
      if (s->hasElse) return Fail(kErrExpectedEnd);
      Branch b;
      for (;;) {
        ExprPtr e;
        RETURN_IF_FAILED(Expression(&e));
        b.tests.push_back(std::move(e));
        if (!Accept(Tok::kComma)) break;
      }
      RETURN_IF_FAILED(ParseBlock(&b.body));
      s->branches.push_back(std::move(b));
    }
    RETURN_IF_FAILED(ExpectKw(Kw::kEnd, kErrExpectedEnd));
    RETURN_IF_FAILED(ExpectKw(Kw::kSelect, kErrExpectedSelect));
    *out = std::move(s);
    return EndOfStatement();
  }

  HRESULT LoopVariable(ExprPtr* out) {
    auto e = NewExpr(ExprKind::kName);
    if (!At(Tok::kIdent) || Cur().kw != Kw::kNone) return Fail(kErrInvalidForVariable);
    e->name = Cur().text;
    Next();
    *out = std::move(e);
    return S_OK;
  }

  HRESULT For(StmtPtr* out) {
    const Token& at = Cur();
    Next();
    const bool each = AcceptKw(Kw::kEach);
    auto s = NewStmt(each ? StmtKind::kForEach : StmtKind::kFor, at);
    RETURN_IF_FAILED(LoopVariable(&s->target));
    if (each) {
      RETURN_IF_FAILED(ExpectKw(Kw::kIn, kErrExpectedIn));
      RETURN_IF_FAILED(Expression(&s->value));
    } else {
      RETURN_IF_FAILED(Expect(Tok::kEq, kErrExpectedEquals));
      RETURN_IF_FAILED(Expression(&s->value));
      RETURN_IF_FAILED(ExpectKw(Kw::kTo, kErrExpectedTo));
      RETURN_IF_FAILED(Expression(&s->limit));
      if (IsWord("step")) {
        Next();
        RETURN_IF_FAILED(Expression(&s->step));
      }
    }
    RETURN_IF_FAILED(EndOfStatement());
    ++loops_[0];
    RETURN_IF_FAILED(ParseBlock(&s->body));
    --loops_[0];
    if (!AtKw(Kw::kNext)) return Fail(kErrExpectedNext);
    Next();
    if (At(Tok::kIdent) && Cur().kw == Kw::kNone) {
      if (!EqualsNoCase(Cur().text, s->target->name)) return Fail(kErrInvalidForVariable);
      Next();
    }
    *out = std::move(s);
    return EndOfStatement();
  }

  HRESULT LoopCondition(StmtPtr& s, bool before) {
    if (AtKw(Kw::kWhile) || AtKw(Kw::kUntil)) {
      const bool isWhile = AtKw(Kw::kWhile);
      Next();
      s->test = before ? (isWhile ? LoopTest::kWhileBefore : LoopTest::kUntilBefore)
                       : (isWhile ? LoopTest::kWhileAfter : LoopTest::kUntilAfter);
      return Expression(&s->value);
    }
    return S_OK;
  }

  HRESULT Do(StmtPtr* out) {
    auto s = NewStmt(StmtKind::kDo, Cur());
    Next();
    RETURN_IF_FAILED(LoopCondition(s, true));
    if (!AtEndOfStatement()) return Fail(kErrExpectedWhileUntilEnd);
    ++loops_[1];
    RETURN_IF_FAILED(ParseBlock(&s->body));
    --loops_[1];
    if (!AtKw(Kw::kLoop)) return Fail(kErrExpectedLoop);
    Next();
    if (s->test != LoopTest::kNone && (AtKw(Kw::kWhile) || AtKw(Kw::kUntil))) {
      return Fail(kErrExpectedEndOfStatement);
    }
    RETURN_IF_FAILED(LoopCondition(s, false));
    *out = std::move(s);
    return EndOfStatement();
  }

  HRESULT While(StmtPtr* out) {
    auto s = NewStmt(StmtKind::kDo, Cur());
    Next();
    s->test = LoopTest::kWhileBefore;
    RETURN_IF_FAILED(Expression(&s->value));
    RETURN_IF_FAILED(EndOfStatement());
    RETURN_IF_FAILED(ParseBlock(&s->body));
    RETURN_IF_FAILED(ExpectKw(Kw::kWend, kErrExpectedWend));
    *out = std::move(s);
    return EndOfStatement();
  }

  HRESULT With(StmtPtr* out) {
    auto s = NewStmt(StmtKind::kWith, Cur());
    Next();
    RETURN_IF_FAILED(Expression(&s->target));
    RETURN_IF_FAILED(EndOfStatement());
    RETURN_IF_FAILED(ParseBlock(&s->body));
    RETURN_IF_FAILED(ExpectKw(Kw::kEnd, kErrExpectedEnd));
    RETURN_IF_FAILED(ExpectKw(Kw::kWith, kErrExpectedWith));
    *out = std::move(s);
    return EndOfStatement();
  }

  HRESULT Exit(StmtPtr* out) {
    auto s = NewStmt(StmtKind::kExit, Cur());
    Next();
    if (AtKw(Kw::kDo)) {
      if (loops_[1] == 0) return Fail(kErrInvalidExit);
      s->exit = ExitKind::kDo;
    } else if (AtKw(Kw::kFor)) {
      if (loops_[0] == 0) return Fail(kErrInvalidExit);
      s->exit = ExitKind::kFor;
    } else if (AtKw(Kw::kSub)) {
      if (inFunction_ != 2) return Fail(kErrInvalidExit);
      s->exit = ExitKind::kSub;
    } else if (AtKw(Kw::kFunction)) {
      if (inFunction_ != 1) return Fail(kErrInvalidExit);
      s->exit = ExitKind::kFunction;
    } else {
      return Fail(kErrInvalidExit);
    }
    Next();
    *out = std::move(s);
    return EndOfStatement();
  }

  HRESULT OnError(StmtPtr* out) {
    auto s = NewStmt(StmtKind::kOnError, Cur());
    Next();
    if (!IsWord("error")) return Fail(kErrSyntax);
    Next();
    if (IsWord("resume")) {
      Next();
      if (!AcceptKw(Kw::kNext)) return Fail(kErrSyntax);
      s->flag = true;
    } else if (AcceptKw(Kw::kGoTo)) {
      if (!At(Tok::kLiteral) || Cur().value.vt() != VT_I2 || Cur().value.i2() != 0) {
        return Fail(kErrSyntax);
      }
      Next();
    } else {
      return Fail(kErrSyntax);
    }
    *out = std::move(s);
    return EndOfStatement();
  }

  // An assignment or a call: `target = value`, `name args`, `obj.Member args`,
  // `Call name(args)`.
  HRESULT CallOrAssign(StmtPtr* out, bool withCall) {
    const Token& at = Cur();
    ExprPtr target;
    size_t lastParen = 0;
    RETURN_IF_FAILED(Postfix(&target, &lastParen));
    if (target->kind != ExprKind::kName && target->kind != ExprKind::kMember &&
        target->kind != ExprKind::kIndex) {
      return Fail(kErrExpectedStatement);
    }
    if (!withCall && At(Tok::kEq)) {
      Next();
      auto s = NewStmt(StmtKind::kAssign, at);
      s->target = std::move(target);
      RETURN_IF_FAILED(Expression(&s->value));
      *out = std::move(s);
      return AtEndOfStatement() || AtKw(Kw::kElse) ? S_OK : Fail(kErrExpectedEndOfStatement);
    }
    auto s = NewStmt(StmtKind::kCall, at);
    s->flag = withCall;
    const bool ends = AtEndOfStatement() || AtKw(Kw::kElse);
    if (withCall || ends) {
      if (!withCall && target->kind == ExprKind::kIndex && lastParen != 0) {
        // `name(x)` as a statement: the parentheses belong to the argument.
        if (target->args.size() > 1) return Fail(kErrParensCallingSub);
        for (ExprPtr& a : target->args) {
          if (!a) continue;
          auto p = NewExpr(ExprKind::kParen);
          p->left = std::move(a);
          a = std::move(p);
        }
      }
      if (!ends) return Fail(kErrExpectedEndOfStatement);
      s->target = std::move(target);
      *out = std::move(s);
      return S_OK;
    }
    // `name (x) + 1, y`: the last parentheses start the first argument.
    auto call = NewExpr(ExprKind::kIndex);
    if (target->kind == ExprKind::kIndex && lastParen != 0) {
      pos_ = lastParen;
      call->left = std::move(target->left);
    } else {
      call->left = std::move(target);
    }
    RETURN_IF_FAILED(ArgList(&call->args, Tok::kNewline, true));
    s->target = std::move(call);
    *out = std::move(s);
    return AtEndOfStatement() || AtKw(Kw::kElse) ? S_OK : Fail(kErrExpectedEndOfStatement);
  }

  // --- Expressions.
  ExprPtr NewExpr(ExprKind kind) {
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->line = Cur().line;
    e->column = Cur().column;
    return e;
  }

  // Arguments separated by commas, up to `end` (not taken). An empty place is
  // a left-out argument (null). `statement`: up to the end of the statement.
  HRESULT ArgList(std::vector<ExprPtr>* args, Tok end, bool statement) {
    auto atEnd = [&] {
      return statement ? (AtEndOfStatement() || AtKw(Kw::kElse)) : At(end);
    };
    if (atEnd()) return S_OK;
    for (;;) {
      if (At(Tok::kComma) || atEnd()) {
        args->push_back(nullptr);
      } else {
        ExprPtr e;
        RETURN_IF_FAILED(Expression(&e));
        args->push_back(std::move(e));
      }
      if (!Accept(Tok::kComma)) break;
    }
    return S_OK;
  }

  HRESULT Expression(ExprPtr* out) {
    DepthGuard guard(&depth_);
    if (depth_ > kMaxDepth) return Fail(kErrSyntax);
    return Binary(out, 0);
  }

  // Binary levels, loosest first: Imp, Eqv, Xor, Or, And, (Not), comparisons,
  // &, + -, Mod, \, * /, (unary -), ^.
  static int LevelOf(const Token& t, Op* op) {
    if (t.type == Tok::kIdent) {
      switch (t.kw) {
        case Kw::kImp: *op = Op::kImp; return 0;
        case Kw::kEqv: *op = Op::kEqv; return 1;
        case Kw::kXor: *op = Op::kXor; return 2;
        case Kw::kOr: *op = Op::kOr; return 3;
        case Kw::kAnd: *op = Op::kAnd; return 4;
        case Kw::kIs: *op = Op::kIs; return 6;
        case Kw::kMod: *op = Op::kMod; return 9;
        default: return -1;
      }
    }
    switch (t.type) {
      case Tok::kEq: *op = Op::kEq; return 6;
      case Tok::kNe: *op = Op::kNe; return 6;
      case Tok::kLt: *op = Op::kLt; return 6;
      case Tok::kGt: *op = Op::kGt; return 6;
      case Tok::kLe: *op = Op::kLe; return 6;
      case Tok::kGe: *op = Op::kGe; return 6;
      case Tok::kAmp: *op = Op::kCat; return 7;
      case Tok::kPlus: *op = Op::kAdd; return 8;
      case Tok::kMinus: *op = Op::kSub; return 8;
      case Tok::kBackslash: *op = Op::kIdiv; return 10;
      case Tok::kStar: *op = Op::kMul; return 11;
      case Tok::kSlash: *op = Op::kDiv; return 11;
      default: return -1;
    }
  }
  static constexpr int kNotLevel = 5;
  static constexpr int kUnaryLevel = 12;

  HRESULT Binary(ExprPtr* out, int level) {
    if (level == kNotLevel) {
      if (AtKw(Kw::kNot)) {
        auto e = NewExpr(ExprKind::kUnary);
        e->op = Op::kNot;
        Next();
        DepthGuard guard(&depth_);
        if (depth_ > kMaxDepth) return Fail(kErrSyntax);
        RETURN_IF_FAILED(Binary(&e->left, kNotLevel));
        *out = std::move(e);
        return S_OK;
      }
      return Binary(out, level + 1);
    }
    if (level == kUnaryLevel) return Unary(out);
    ExprPtr left;
    RETURN_IF_FAILED(Binary(&left, level + 1));
    for (;;) {
      Op op = Op::kAdd;
      if (LevelOf(Cur(), &op) != level) break;
      auto e = NewExpr(ExprKind::kBinary);
      e->op = op;
      Next();
      e->left = std::move(left);
      RETURN_IF_FAILED(Binary(&e->right, level + 1));
      left = std::move(e);
    }
    *out = std::move(left);
    return S_OK;
  }

  HRESULT Unary(ExprPtr* out) {
    DepthGuard guard(&depth_);
    if (depth_ > kMaxDepth) return Fail(kErrSyntax);
    if (At(Tok::kMinus)) {
      auto e = NewExpr(ExprKind::kUnary);
      e->op = Op::kNeg;
      Next();
      RETURN_IF_FAILED(Unary(&e->left));
      *out = std::move(e);
      return S_OK;
    }
    if (Accept(Tok::kPlus)) return Unary(out);
    return Power(out);
  }

  // ^ binds tighter than unary minus on its left, and takes one on its right.
  HRESULT Power(ExprPtr* out) {
    ExprPtr left;
    RETURN_IF_FAILED(Postfix(&left, nullptr));
    while (At(Tok::kCaret)) {
      auto e = NewExpr(ExprKind::kBinary);
      e->op = Op::kPow;
      Next();
      e->left = std::move(left);
      RETURN_IF_FAILED(PowerOperand(&e->right));
      left = std::move(e);
    }
    *out = std::move(left);
    return S_OK;
  }

  HRESULT PowerOperand(ExprPtr* out) {
    DepthGuard guard(&depth_);
    if (depth_ > kMaxDepth) return Fail(kErrSyntax);
    if (At(Tok::kMinus) || At(Tok::kPlus)) {
      const bool neg = At(Tok::kMinus);
      auto e = NewExpr(ExprKind::kUnary);
      e->op = Op::kNeg;
      Next();
      RETURN_IF_FAILED(PowerOperand(&e->left));
      *out = neg ? std::move(e) : std::move(e->left);
      return S_OK;
    }
    return Postfix(out, nullptr);
  }

  // A primary followed by member accesses and argument lists. *lastParen
  // (when asked) is the position of the last '(' when the chain ends in an
  // argument list, else 0.
  HRESULT Postfix(ExprPtr* out, size_t* lastParen) {
    ExprPtr e;
    size_t paren = 0;
    if (At(Tok::kDot)) {
      // `.Member` inside With.
      e = NewExpr(ExprKind::kMember);
      Next();
      RETURN_IF_FAILED(MemberName(&e->name));
    } else {
      RETURN_IF_FAILED(Primary(&e));
    }
    const bool canChain = e->kind == ExprKind::kName || e->kind == ExprKind::kMember ||
                          e->kind == ExprKind::kParen;
    while (canChain) {
      if (At(Tok::kDot) && !Cur().spaceBefore) {
        auto m = NewExpr(ExprKind::kMember);
        Next();
        RETURN_IF_FAILED(MemberName(&m->name));
        m->left = std::move(e);
        e = std::move(m);
        paren = 0;
        continue;
      }
      if (At(Tok::kLParen) && e->kind != ExprKind::kParen) {
        paren = pos_;
        auto idx = NewExpr(ExprKind::kIndex);
        Next();
        RETURN_IF_FAILED(ArgList(&idx->args, Tok::kRParen, false));
        RETURN_IF_FAILED(Expect(Tok::kRParen, kErrExpectedRParen));
        idx->left = std::move(e);
        e = std::move(idx);
        continue;
      }
      break;
    }
    if (lastParen) *lastParen = paren;
    *out = std::move(e);
    return S_OK;
  }

  // After '.', any word is a member name, reserved or not.
  HRESULT MemberName(std::string* name) {
    if (!At(Tok::kIdent)) return Fail(kErrExpectedIdentifier);
    *name = Cur().text;
    Next();
    return S_OK;
  }

  HRESULT Primary(ExprPtr* out) {
    const Token& t = Cur();
    if (t.type == Tok::kLiteral) {
      auto e = NewExpr(ExprKind::kLiteral);
      e->value = t.value;
      Next();
      *out = std::move(e);
      return S_OK;
    }
    if (t.type == Tok::kLParen) {
      auto e = NewExpr(ExprKind::kParen);
      Next();
      RETURN_IF_FAILED(Expression(&e->left));
      RETURN_IF_FAILED(Expect(Tok::kRParen, kErrExpectedRParen));
      *out = std::move(e);
      return S_OK;
    }
    if (t.type == Tok::kIdent) {
      auto e = NewExpr(ExprKind::kLiteral);
      switch (t.kw) {
        case Kw::kTrue: e->value = Variant::Bool(true); break;
        case Kw::kFalse: e->value = Variant::Bool(false); break;
        case Kw::kEmpty: break;
        case Kw::kNull: e->value = Variant::Null(); break;
        case Kw::kNothing: e->value = Variant::Dispatch(nullptr); break;
        case Kw::kNone:
          e->kind = ExprKind::kName;
          e->name = t.text;
          break;
        default:
          return Fail(kErrExpectedExpression);
      }
      Next();
      *out = std::move(e);
      return S_OK;
    }
    return Fail(kErrExpectedExpression);
  }

  std::vector<Token> t_;
  size_t pos_ = 0;
  Script* script_;
  ParseError* error_;
  int depth_ = 0;
  int loops_[2] = {0, 0};  // open For and Do loops
  int inFunction_ = 0;     // 1 in a Function, 2 in a Sub
};

}  // namespace

HRESULT ParseScript(std::string_view source, Script* out, ParseError* error) {
  *error = ParseError{};
  std::vector<Token> tokens;
  LexError lexError;
  const HRESULT hr = Lex(source, &tokens, &lexError);
  if (hr.failed()) {
    error->number = lexError.number;
    error->line = lexError.line;
    error->column = lexError.column;
    return hr;
  }
  return Parser(std::move(tokens), out, error).Run();
}

}  // namespace tavrix::vbs
