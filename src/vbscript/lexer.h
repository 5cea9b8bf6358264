// The script lexer: source text to a list of tokens.
//
// Keywords and names are matched without regard to case. A newline and a ':'
// both end a statement and come out as kNewline (':' keeps its own flag for
// the single-line If). Comments ('...' and Rem ...) and line continuations
// (" _" at the end of a line) produce no tokens. Number literals come out as
// their values: decimal whole numbers as Integer (VT_I2) when they fit 16
// bits, else Long, else Double; &H and &O numbers as the bit pattern of the
// smallest of Integer and Long that holds them (&HFFFF is -1); others Double.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix::vbs {

enum class Tok : uint8_t {
  kEof,
  kNewline,
  kIdent,    // a name or a keyword (see `kw`)
  kLiteral,  // a number, text or date: `value`
  kPlus, kMinus, kStar, kSlash, kBackslash, kCaret, kAmp,
  kEq, kNe, kLt, kGt, kLe, kGe,
  kLParen, kRParen, kComma, kDot,
};

// Reserved words. Words that are keywords only in one place (Explicit, Step,
// Preserve, Error, Resume, Property, Get, Default) stay names and are compared
// by text.
enum class Kw : uint8_t {
  kNone, kAnd, kByRef, kByVal, kCall, kCase, kClass, kConst, kDim, kDo, kEach, kElse,
  kElseIf, kEmpty, kEnd, kEqv, kErase, kExit, kFalse, kFor, kFunction, kGoTo, kIf, kImp,
  kIn, kIs, kLet, kLoop, kMe, kMod, kNew, kNext, kNot, kNothing, kNull, kOn, kOption, kOr,
  kPrivate, kPublic, kReDim, kSelect, kSet, kSub, kThen, kTo, kTrue, kUntil, kWend,
  kWhile, kWith, kXor,
};

struct Token {
  Tok type = Tok::kEof;
  Kw kw = Kw::kNone;
  bool colon = false;        // a kNewline that was ':'
  bool spaceBefore = false;  // white space right before the token
  int line = 1;              // 1-based
  int column = 1;            // 1-based, in bytes
  std::string text;          // the name as written (kIdent)
  Variant value;             // kLiteral
};

struct LexError {
  int number = 0;  // the language's compile error number
  int line = 0;
  int column = 0;
};

// Splits `source` into tokens ending with one kEof. On success returns S_OK;
// on a lexing error returns ScriptError(number) and fills *error.
HRESULT Lex(std::string_view source, std::vector<Token>* tokens, LexError* error);

}  // namespace tavrix::vbs
