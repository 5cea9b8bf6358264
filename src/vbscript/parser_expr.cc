// The parser: expressions, with the language's operator precedence.
#include <utility>

#include "vbscript/parser_internal.h"

namespace tavrix::vbs {

ExprPtr Parser::NewExpr(ExprKind kind) {
  auto e = std::make_unique<Expr>();
  e->kind = kind;
  e->line = Cur().line;
  e->column = Cur().column;
  return e;
}

HRESULT Parser::ArgList(std::vector<ExprPtr>* args, Tok end, bool statement) {
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

HRESULT Parser::Expression(ExprPtr* out) {
  DepthGuard guard(&depth_);
  if (depth_ > kMaxParseDepth) return Fail(kErrSyntax);
  return Binary(out, 0);
}

int Parser::LevelOf(const Token& t, Op* op) {
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

HRESULT Parser::Binary(ExprPtr* out, int level) {
  if (level == kNotLevel) {
    if (AtKw(Kw::kNot)) {
      auto e = NewExpr(ExprKind::kUnary);
      e->op = Op::kNot;
      Next();
      DepthGuard guard(&depth_);
      if (depth_ > kMaxParseDepth) return Fail(kErrSyntax);
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

HRESULT Parser::Unary(ExprPtr* out) {
  DepthGuard guard(&depth_);
  if (depth_ > kMaxParseDepth) return Fail(kErrSyntax);
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

HRESULT Parser::Power(ExprPtr* out) {
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

HRESULT Parser::PowerOperand(ExprPtr* out) {
  DepthGuard guard(&depth_);
  if (depth_ > kMaxParseDepth) return Fail(kErrSyntax);
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

HRESULT Parser::Postfix(ExprPtr* out, size_t* lastParen) {
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
                        e->kind == ExprKind::kParen || e->kind == ExprKind::kMe;
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

HRESULT Parser::MemberName(std::string* name) {
  if (!At(Tok::kIdent)) return Fail(kErrExpectedIdentifier);
  *name = Cur().text;
  Next();
  return S_OK;
}

HRESULT Parser::Primary(ExprPtr* out) {
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
      case Kw::kMe: e->kind = ExprKind::kMe; break;
      case Kw::kNew:
        e->kind = ExprKind::kNew;
        Next();
        RETURN_IF_FAILED(Identifier(&e->name));
        *out = std::move(e);
        return S_OK;
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

}  // namespace tavrix::vbs
