#include "vbscript/lexer.h"

#include <charconv>
#include <cmath>

#include "platform/convert.h"
#include "platform/text.h"
#include "vbscript/errors.h"

namespace tavrix::vbs {
namespace {

struct KeywordName {
  std::string_view name;
  Kw kw;
};

constexpr KeywordName kKeywords[] = {
    {"and", Kw::kAnd},       {"byref", Kw::kByRef},   {"byval", Kw::kByVal},
    {"call", Kw::kCall},     {"case", Kw::kCase},     {"class", Kw::kClass},
    {"const", Kw::kConst},   {"dim", Kw::kDim},       {"do", Kw::kDo},
    {"each", Kw::kEach},     {"else", Kw::kElse},     {"elseif", Kw::kElseIf},
    {"empty", Kw::kEmpty},   {"end", Kw::kEnd},       {"eqv", Kw::kEqv},
    {"erase", Kw::kErase},   {"exit", Kw::kExit},     {"false", Kw::kFalse},
    {"for", Kw::kFor},       {"function", Kw::kFunction}, {"goto", Kw::kGoTo},
    {"if", Kw::kIf},         {"imp", Kw::kImp},       {"in", Kw::kIn},
    {"is", Kw::kIs},         {"let", Kw::kLet},       {"loop", Kw::kLoop},
    {"me", Kw::kMe},         {"mod", Kw::kMod},       {"new", Kw::kNew},
    {"next", Kw::kNext},
    {"not", Kw::kNot},       {"nothing", Kw::kNothing}, {"null", Kw::kNull},
    {"on", Kw::kOn},         {"option", Kw::kOption}, {"or", Kw::kOr},
    {"private", Kw::kPrivate}, {"public", Kw::kPublic}, {"redim", Kw::kReDim},
    {"select", Kw::kSelect}, {"set", Kw::kSet},       {"sub", Kw::kSub},
    {"then", Kw::kThen},     {"to", Kw::kTo},         {"true", Kw::kTrue},
    {"until", Kw::kUntil},   {"wend", Kw::kWend},     {"while", Kw::kWhile},
    {"with", Kw::kWith},     {"xor", Kw::kXor},
};

Kw KeywordOf(std::string_view word) {
  if (word.size() > 8) return Kw::kNone;
  char lower[8];
  for (size_t i = 0; i < word.size(); ++i) {
    const char c = word[i];
    lower[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  const std::string_view w(lower, word.size());
  for (const KeywordName& k : kKeywords) {
    if (k.name == w) return k.kw;
  }
  return Kw::kNone;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80;
}
bool IsNameChar(unsigned char c) { return IsNameStart(c) || IsDigit(static_cast<char>(c)) || c == '_'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }

// A whole number's literal type: Integer, Long, then Double.
Variant WholeLiteral(double v) {
  if (v <= 32767) return Variant::I2(static_cast<int16_t>(v));
  if (v <= 2147483647.0) return Variant::I4(static_cast<int32_t>(v));
  return Variant::R8(v);
}

// A &H / &O literal: the bit pattern as Integer or Long.
Variant PatternLiteral(uint64_t v) {
  if (v <= 0xFFFF) return Variant::I2(static_cast<int16_t>(static_cast<uint16_t>(v)));
  if (v <= 0xFFFFFFFFu) return Variant::I4(static_cast<int32_t>(static_cast<uint32_t>(v)));
  return Variant::R8(static_cast<double>(v));
}

class Lexer {
 public:
  Lexer(std::string_view src, std::vector<Token>* out, LexError* error)
      : s_(src), out_(out), error_(error) {}

  HRESULT Run() {
    bool space = false;
    while (pos_ < s_.size()) {
      const char c = s_[pos_];
      if (IsBlank(c)) {
        ++pos_;
        space = true;
        continue;
      }
      if (c == '_' && IsContinuation()) {
        space = true;
        continue;
      }
      const int column = static_cast<int>(pos_ - lineStart_) + 1;
      Token t;
      t.line = line_;
      t.column = column;
      t.spaceBefore = space;
      space = false;
      if (c == '\r' || c == '\n') {
        if (c == '\r' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '\n') ++pos_;
        ++pos_;
        t.type = Tok::kNewline;
        Push(std::move(t));
        NewLine();
        continue;
      }
      if (c == '\'') {
        SkipToLineEnd();
        continue;
      }
      if (c == ':') {
        ++pos_;
        t.type = Tok::kNewline;
        t.colon = true;
        Push(std::move(t));
        continue;
      }
      if (c == '"') {
        RETURN_IF_FAILED(String(&t));
      } else if (c == '#') {
        RETURN_IF_FAILED(DateLiteral(&t));
      } else if (c == '&' && pos_ + 1 < s_.size() &&
                 (s_[pos_ + 1] == 'h' || s_[pos_ + 1] == 'H' || s_[pos_ + 1] == 'o' ||
                  s_[pos_ + 1] == 'O')) {
        RETURN_IF_FAILED(RadixNumber(&t));
      } else if (IsDigit(c) || (c == '.' && pos_ + 1 < s_.size() && IsDigit(s_[pos_ + 1]) &&
                                !AfterOperand(t.spaceBefore))) {
        RETURN_IF_FAILED(Number(&t));
      } else if (IsNameStart(static_cast<unsigned char>(c)) || c == '[') {
        RETURN_IF_FAILED(Name(&t));
        if (t.type == Tok::kEof) continue;  // a Rem comment
      } else {
        RETURN_IF_FAILED(Operator(&t));
      }
      Push(std::move(t));
    }
    Token end;
    end.type = Tok::kEof;
    end.line = line_;
    end.column = static_cast<int>(pos_ - lineStart_) + 1;
    out_->push_back(std::move(end));
    return S_OK;
  }

 private:
  void Push(Token&& t) { out_->push_back(std::move(t)); }
  void NewLine() {
    ++line_;
    lineStart_ = pos_;
  }
  HRESULT Fail(int number) {
    error_->number = number;
    error_->line = line_;
    error_->column = static_cast<int>(pos_ - lineStart_) + 1;
    return ScriptError(number);
  }
  void SkipToLineEnd() {
    while (pos_ < s_.size() && s_[pos_] != '\n' && s_[pos_] != '\r') ++pos_;
  }
  // True when the previous token ends an operand, so a '.' there is a member dot.
  bool AfterOperand(bool space) const {
    if (space || out_->empty()) return false;
    const Token& p = out_->back();
    return p.type == Tok::kIdent || p.type == Tok::kRParen || p.type == Tok::kLiteral;
  }
  // "_" before the end of the line (blanks allowed) joins the next line.
  bool IsContinuation() {
    size_t p = pos_ + 1;
    if (p < s_.size() && IsNameChar(static_cast<unsigned char>(s_[p]))) return false;
    if (pos_ > lineStart_ && IsNameChar(static_cast<unsigned char>(s_[pos_ - 1]))) return false;
    while (p < s_.size() && IsBlank(s_[p])) ++p;
    if (p < s_.size() && s_[p] != '\r' && s_[p] != '\n') return false;
    if (p < s_.size() && s_[p] == '\r' && p + 1 < s_.size() && s_[p + 1] == '\n') ++p;
    pos_ = p < s_.size() ? p + 1 : p;
    NewLine();
    return true;
  }

  HRESULT String(Token* t) {
    ++pos_;
    std::string text;
    for (;;) {
      if (pos_ >= s_.size() || s_[pos_] == '\n' || s_[pos_] == '\r') {
        return Fail(kErrUnterminatedString);
      }
      if (s_[pos_] == '"') {
        if (pos_ + 1 < s_.size() && s_[pos_ + 1] == '"') {
          text += '"';
          pos_ += 2;
          continue;
        }
        ++pos_;
        break;
      }
      text += s_[pos_++];
    }
    t->type = Tok::kLiteral;
    t->value = Variant::Text(text);
    return S_OK;
  }

  HRESULT DateLiteral(Token* t) {
    const size_t start = ++pos_;
    while (pos_ < s_.size() && s_[pos_] != '#' && s_[pos_] != '\n' && s_[pos_] != '\r') ++pos_;
    if (pos_ >= s_.size() || s_[pos_] != '#') return Fail(kErrSyntax);
    const std::string_view text = s_.substr(start, pos_ - start);
    ++pos_;
    double date = 0;
    // Date literals are always read in the US order, whatever the locale.
    if (DateFromStr(text, 1033, 0, &date).failed()) return Fail(kErrSyntax);
    t->type = Tok::kLiteral;
    t->value = Variant::Date(date);
    return S_OK;
  }

  HRESULT RadixNumber(Token* t) {
    const bool hex = s_[pos_ + 1] == 'h' || s_[pos_ + 1] == 'H';
    pos_ += 2;
    uint64_t v = 0;
    size_t digits = 0;
    while (pos_ < s_.size()) {
      const char c = s_[pos_];
      int d = -1;
      if (IsDigit(c)) d = c - '0';
      else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
      if (d < 0 || (!hex && d > 7)) break;
      v = v * (hex ? 16 : 8) + static_cast<uint64_t>(d);
      if (v > 0xFFFFFFFFu) return Fail(kErrInvalidNumber);
      ++digits;
      ++pos_;
    }
    if (digits == 0) return Fail(kErrSyntax);
    if (pos_ < s_.size() && s_[pos_] == '&') ++pos_;  // the Long type suffix
    if (pos_ < s_.size() && IsNameChar(static_cast<unsigned char>(s_[pos_]))) {
      return Fail(kErrExpectedEndOfStatement);
    }
    t->type = Tok::kLiteral;
    t->value = PatternLiteral(v);
    return S_OK;
  }

  HRESULT Number(Token* t) {
    const size_t start = pos_;
    bool whole = true;
    while (pos_ < s_.size() && IsDigit(s_[pos_])) ++pos_;
    if (pos_ < s_.size() && s_[pos_] == '.') {
      whole = false;
      ++pos_;
      while (pos_ < s_.size() && IsDigit(s_[pos_])) ++pos_;
    }
    if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
      size_t p = pos_ + 1;
      if (p < s_.size() && (s_[p] == '+' || s_[p] == '-')) ++p;
      if (p < s_.size() && IsDigit(s_[p])) {
        whole = false;
        pos_ = p;
        while (pos_ < s_.size() && IsDigit(s_[pos_])) ++pos_;
      }
    }
    if (pos_ < s_.size() && IsNameStart(static_cast<unsigned char>(s_[pos_]))) {
      return Fail(kErrExpectedEndOfStatement);
    }
    std::string_view text = s_.substr(start, pos_ - start);
    double v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || !std::isfinite(v)) return Fail(kErrInvalidNumber);
    t->type = Tok::kLiteral;
    t->value = whole ? WholeLiteral(v) : Variant::R8(v);
    return S_OK;
  }

  HRESULT Name(Token* t) {
    if (s_[pos_] == '[') {
      const size_t start = ++pos_;
      while (pos_ < s_.size() && s_[pos_] != ']' && s_[pos_] != '\n' && s_[pos_] != '\r') ++pos_;
      if (pos_ >= s_.size() || s_[pos_] != ']') return Fail(kErrSyntax);
      t->text = std::string(s_.substr(start, pos_ - start));
      ++pos_;
      t->type = Tok::kIdent;
      return S_OK;
    }
    const size_t start = pos_;
    while (pos_ < s_.size() && IsNameChar(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    const std::string_view word = s_.substr(start, pos_ - start);
    if (word.size() == 3 && EqualsNoCase(word, "rem") &&
        (pos_ >= s_.size() || !IsNameChar(static_cast<unsigned char>(s_[pos_])))) {
      SkipToLineEnd();
      t->type = Tok::kEof;
      return S_OK;
    }
    t->type = Tok::kIdent;
    t->kw = KeywordOf(word);
    t->text = std::string(word);
    return S_OK;
  }

  HRESULT Operator(Token* t) {
    const char c = s_[pos_++];
    const char n = pos_ < s_.size() ? s_[pos_] : '\0';
    switch (c) {
      case '+': t->type = Tok::kPlus; break;
      case '-': t->type = Tok::kMinus; break;
      case '*': t->type = Tok::kStar; break;
      case '/': t->type = Tok::kSlash; break;
      case '\\': t->type = Tok::kBackslash; break;
      case '^': t->type = Tok::kCaret; break;
      case '&': t->type = Tok::kAmp; break;
      case '(': t->type = Tok::kLParen; break;
      case ')': t->type = Tok::kRParen; break;
      case ',': t->type = Tok::kComma; break;
      case '.': t->type = Tok::kDot; break;
      case '=': t->type = Tok::kEq; break;
      case '<':
        if (n == '>') { t->type = Tok::kNe; ++pos_; }
        else if (n == '=') { t->type = Tok::kLe; ++pos_; }
        else t->type = Tok::kLt;
        break;
      case '>':
        if (n == '=') { t->type = Tok::kGe; ++pos_; }
        else t->type = Tok::kGt;
        break;
      default:
        --pos_;
        return Fail(kErrInvalidCharacter);
    }
    return S_OK;
  }

  std::string_view s_;
  std::vector<Token>* out_;
  LexError* error_;
  size_t pos_ = 0;
  size_t lineStart_ = 0;
  int line_ = 1;
};

}  // namespace

HRESULT Lex(std::string_view source, std::vector<Token>* tokens, LexError* error) {
  tokens->clear();
  // A byte-order mark is not part of the script.
  if (source.substr(0, 3) == "\xEF\xBB\xBF") source.remove_prefix(3);
  return Lexer(source, tokens, error).Run();
}

}  // namespace tavrix::vbs
