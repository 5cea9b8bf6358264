// The parser: the module level, classes, procedures and statements (the
// expressions are in parser_expr.cc).
#include "vbscript/parser.h"

#include <utility>

#include "platform/convert.h"
#include "vbscript/parser_internal.h"

namespace tavrix::vbs {

HRESULT Parser::Run() {
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

HRESULT Parser::WholeExpression(ExprPtr* out) {
  SkipNewlines();
  RETURN_IF_FAILED(Expression(out));
  SkipNewlines();
  return At(Tok::kEof) ? S_OK : Fail(kErrExpectedEndOfStatement);
}

HRESULT Parser::TopLevel() {
  size_t save = pos_;
  if (AtKw(Kw::kPublic) || AtKw(Kw::kPrivate)) Next();
  if (AtKw(Kw::kSub) || AtKw(Kw::kFunction)) return Procedure(nullptr, true, false);
  if (IsWord("property")) return Fail(kErrNotInClass);
  if (IsWord("default")) return Fail(kErrSyntax);
  if (AtKw(Kw::kClass)) {
    if (pos_ != save) return Fail(kErrSyntax);
    return ClassBlock();
  }
  pos_ = save;
  StmtPtr s;
  RETURN_IF_FAILED(Statement(&s, false));
  if (s) script_->module.body.push_back(std::move(s));
  return S_OK;
}

HRESULT Parser::ClassBlock() {
  auto cls = std::make_unique<ClassDef>();
  cls->line = Cur().line;
  Next();
  RETURN_IF_FAILED(Identifier(&cls->name));
  RETURN_IF_FAILED(EndOfStatement());
  for (;;) {
    SkipNewlines();
    if (AtKw(Kw::kEnd) || At(Tok::kEof)) break;
    bool isPublic = true;
    bool access = false;
    bool isDefault = false;
    if (AtKw(Kw::kPublic)) {
      Next();
      access = true;
      if (IsWord("default")) {
        Next();
        isDefault = true;
      }
    } else if (AtKw(Kw::kPrivate)) {
      Next();
      access = true;
      isPublic = false;
      if (IsWord("default")) return Fail(kErrDefaultNotPublic);
    } else if (IsWord("default")) {
      return Fail(kErrDefaultNotPublic);
    }
    if (AtKw(Kw::kSub) || AtKw(Kw::kFunction) || IsWord("property")) {
      RETURN_IF_FAILED(Procedure(cls.get(), isPublic, isDefault));
      continue;
    }
    if (isDefault) return Fail(kErrSyntax);
    if (AtKw(Kw::kDim)) {
      if (access) return Fail(kErrSyntax);
      Next();
    } else if (!access) {
      return Fail(kErrSyntax);
    }
    RETURN_IF_FAILED(Fields(cls.get(), isPublic));
  }
  RETURN_IF_FAILED(ExpectKw(Kw::kEnd, kErrExpectedEnd));
  RETURN_IF_FAILED(ExpectKw(Kw::kClass, kErrExpectedClass));
  RETURN_IF_FAILED(EndOfStatement());
  script_->classes.push_back(std::move(cls));
  return S_OK;
}

HRESULT Parser::Fields(ClassDef* cls, bool isPublic) {
  for (;;) {
    ClassField field;
    field.isPublic = isPublic;
    field.line = Cur().line;
    RETURN_IF_FAILED(Identifier(&field.name));
    if (Accept(Tok::kLParen)) {
      field.isArray = true;
      RETURN_IF_FAILED(Bounds(&field.upper));
    }
    cls->fields.push_back(std::move(field));
    if (!Accept(Tok::kComma)) break;
  }
  return EndOfStatement();
}

HRESULT Parser::Bounds(std::vector<int32_t>* upper) {
  while (!At(Tok::kRParen)) {
    if (!At(Tok::kLiteral)) return Fail(kErrExpectedInteger);
    Variant bound;
    if (ChangeType(Cur().value, VT_I4, &bound).failed()) return Fail(kErrExpectedInteger);
    upper->push_back(bound.i4());
    Next();
    if (!Accept(Tok::kComma)) break;
  }
  return Expect(Tok::kRParen, kErrExpectedRParen);
}

HRESULT Parser::Procedure(ClassDef* owner, bool isPublic, bool isDefault) {
  auto proc = std::make_unique<Proc>();
  proc->line = Cur().line;
  proc->owner = owner;
  proc->isPublic = isPublic;
  proc->isDefault = isDefault;
  if (AtKw(Kw::kSub)) {
    proc->kind = ProcKind::kSub;
  } else if (AtKw(Kw::kFunction)) {
    proc->kind = ProcKind::kFunction;
  } else {
    Next();  // Property
    if (IsWord("get")) {
      proc->kind = ProcKind::kGet;
    } else if (AtKw(Kw::kLet)) {
      proc->kind = ProcKind::kLet;
    } else if (AtKw(Kw::kSet)) {
      proc->kind = ProcKind::kSet;
    } else {
      return Fail(kErrExpectedLetSetGet);
    }
    if (isDefault && proc->kind != ProcKind::kGet) return Fail(kErrDefaultOnlyOnGet);
  }
  proc->isFunction = proc->kind == ProcKind::kFunction || proc->kind == ProcKind::kGet;
  const bool property = proc->kind != ProcKind::kSub && proc->kind != ProcKind::kFunction;
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
  if (owner != nullptr && !proc->params.empty() &&
      (EqualsNoCase(proc->name, "Class_Initialize") ||
       EqualsNoCase(proc->name, "Class_Terminate"))) {
    return Fail(kErrClassEventArguments);
  }
  if ((proc->kind == ProcKind::kLet || proc->kind == ProcKind::kSet) && proc->params.empty()) {
    return Fail(kErrPropertyNeedsArgument);
  }
  RETURN_IF_FAILED(EndOfStatement());
  inFunction_ = property ? 3 : (proc->isFunction ? 1 : 2);
  RETURN_IF_FAILED(ParseBlock(&proc->body));
  inFunction_ = 0;
  RETURN_IF_FAILED(ExpectKw(Kw::kEnd, kErrExpectedEnd));
  if (property) {
    if (!IsWord("property")) return Fail(kErrExpectedProperty);
    Next();
  } else {
    RETURN_IF_FAILED(ExpectKw(proc->isFunction ? Kw::kFunction : Kw::kSub,
                              proc->isFunction ? kErrExpectedFunction : kErrExpectedSub));
  }
  RETURN_IF_FAILED(EndOfStatement());
  (owner != nullptr ? owner->procs : script_->procs).push_back(std::move(proc));
  return S_OK;
}

bool Parser::AtBlockEnd() const {
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

HRESULT Parser::ParseBlock(Block* block) {
  DepthGuard guard(&depth_);
  if (depth_ > kMaxParseDepth) return Fail(kErrSyntax);
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

StmtPtr Parser::NewStmt(StmtKind kind, const Token& at) {
  auto s = std::make_unique<Stmt>();
  s->kind = kind;
  s->line = at.line;
  s->column = at.column;
  return s;
}

HRESULT Parser::Statement(StmtPtr* out, bool inLine) {
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
    case Kw::kMe:
      return CallOrAssign(out, false);
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

HRESULT Parser::Dim(StmtPtr* out, const Token& at) {
  auto s = NewStmt(StmtKind::kDim, at);
  for (;;) {
    auto e = NewExpr(ExprKind::kName);
    RETURN_IF_FAILED(Identifier(&e->name));
    if (Accept(Tok::kLParen)) {
      auto idx = NewExpr(ExprKind::kIndex);
      idx->left = std::move(e);
      std::vector<int32_t> upper;
      RETURN_IF_FAILED(Bounds(&upper));
      for (int32_t u : upper) {
        auto lit = NewExpr(ExprKind::kLiteral);
        lit->value = Variant::I4(u);
        idx->args.push_back(std::move(lit));
      }
      e = std::move(idx);
    }
    s->items.push_back(std::move(e));
    if (!Accept(Tok::kComma)) break;
  }
  *out = std::move(s);
  return EndOfStatement();
}

HRESULT Parser::Const(StmtPtr* out, const Token& at) {
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

HRESULT Parser::ReDim(StmtPtr* out) {
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

HRESULT Parser::Erase(StmtPtr* out) {
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

HRESULT Parser::If(StmtPtr* out, bool inLine) {
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

HRESULT Parser::LineStatements(Block* block) {
  DepthGuard guard(&depth_);
  if (depth_ > kMaxParseDepth) return Fail(kErrSyntax);
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

HRESULT Parser::Select(StmtPtr* out) {
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

HRESULT Parser::LoopVariable(ExprPtr* out) {
  auto e = NewExpr(ExprKind::kName);
  if (!At(Tok::kIdent) || Cur().kw != Kw::kNone) return Fail(kErrInvalidForVariable);
  e->name = Cur().text;
  Next();
  *out = std::move(e);
  return S_OK;
}

HRESULT Parser::For(StmtPtr* out) {
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

HRESULT Parser::LoopCondition(StmtPtr& s, bool before) {
  if (AtKw(Kw::kWhile) || AtKw(Kw::kUntil)) {
    const bool isWhile = AtKw(Kw::kWhile);
    Next();
    s->test = before ? (isWhile ? LoopTest::kWhileBefore : LoopTest::kUntilBefore)
                     : (isWhile ? LoopTest::kWhileAfter : LoopTest::kUntilAfter);
    return Expression(&s->value);
  }
  return S_OK;
}

HRESULT Parser::Do(StmtPtr* out) {
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

HRESULT Parser::While(StmtPtr* out) {
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

HRESULT Parser::With(StmtPtr* out) {
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

HRESULT Parser::Exit(StmtPtr* out) {
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
  } else if (IsWord("property")) {
    if (inFunction_ != 3) return Fail(kErrInvalidExit);
    s->exit = ExitKind::kProperty;
  } else {
    return Fail(kErrInvalidExit);
  }
  Next();
  *out = std::move(s);
  return EndOfStatement();
}

HRESULT Parser::OnError(StmtPtr* out) {
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

HRESULT Parser::CallOrAssign(StmtPtr* out, bool withCall) {
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

HRESULT ParseExpression(std::string_view source, ExprPtr* out, ParseError* error) {
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
  Script unused;
  return Parser(std::move(tokens), &unused, error).WholeExpression(out);
}

}  // namespace tavrix::vbs
