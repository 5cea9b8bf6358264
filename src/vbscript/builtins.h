// The language's built-in functions and constants, as the interpreter calls
// them.
//
// A built-in gets the call's arguments in order with by-reference arguments
// already followed; an optional argument the script left out is
// Variant::Missing(). It returns S_OK with *result set, or a failure: a script
// error (ScriptError(n), errors.h) or a platform result that ScriptErrorNumber
// maps (DISP_E_TYPEMISMATCH for a value that does not convert, ...). On
// failure *result is left unchanged.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/result.h"
#include "platform/unknown.h"
#include "platform/variant.h"

namespace tavrix::vbs {

// The state of Rnd and Randomize for one script instance.
struct RandomState {
  uint32_t seed = 0x50000;  // the language's documented starting seed
};

// What a built-in may use of the script instance that calls it. Each
// instance has its own; nothing is shared between instances.
class BuiltinContext {
 public:
  virtual ~BuiltinContext() = default;
  // The locale of conversions between numbers, dates and texts.
  virtual LCID Locale() = 0;
  // S_OK, or the code the host asked to interrupt the script with: a built-in
  // that may block or loop long checks it and returns that code.
  virtual HRESULT Interrupted() = 0;
  virtual RandomState& Random() = 0;
  // Eval: the value of `text`, one expression, in the scope of the code that
  // called the built-in. A compile error of the text is ScriptError(number).
  // A context that runs no script answers E_NOTIMPL.
  virtual HRESULT Evaluate(std::string_view text, Variant* out);
  // Execute and ExecuteGlobal: runs `text`, statements, in the scope of the
  // calling code, or (global) at module level. Errors as Evaluate.
  virtual HRESULT Execute(std::string_view text, bool global);
};

using BuiltinFunction = HRESULT (*)(BuiltinContext& context, std::span<const Variant> args,
                                    Variant* result);

struct BuiltinInfo {
  std::string_view name;  // as documented ("InStrRev")
  uint16_t minArgs;
  uint16_t maxArgs;       // kManyArgs for any count (Array)
  BuiltinFunction function;
};

inline constexpr uint16_t kManyArgs = UINT16_MAX;

// The built-in of that name, compared without regard to case; null when there
// is none. The interpreter checks the argument count against minArgs/maxArgs
// (wrong count: ScriptError(kErrWrongArgCount)) before calling.
const BuiltinInfo* FindBuiltin(std::string_view name);

// The value of a built-in constant (vbCrLf, vbTextCompare, vbString,
// vbSunday, vbGeneralDate, ...), compared without regard to case. False when
// there is none.
bool FindBuiltinConstant(std::string_view name, Variant* out);

}  // namespace tavrix::vbs
