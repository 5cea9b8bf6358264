// ScriptEngine: one instance of the script language, as a host uses it.
//
// A host adds its named objects, parses one script text, runs the module-level
// code, and may then call the script's Subs and Functions by name; module
// variables keep their values between calls. Instances share nothing, so
// separate instances run in parallel on different threads; one instance is
// used by one thread at a time, except Interrupt, which any thread may call.
//
// Every call returns S_OK or the failing result: a script error
// (0x800A0000 + number, errors.h) or the code given to Interrupt. The details
// of the last failure are in lastError().
//
// Objects of the script's classes (Class ... End Class) are IDispatch objects
// a host may receive (GetGlobal, a Function's result, an argument to a named
// object's member) and call. Their Class_Terminate runs when the last
// reference goes: a host that keeps one drops it on the thread that uses the
// engine, while no other call into the engine runs. Objects still alive when
// the engine goes fail every call with E_UNEXPECTED from then on; the
// engine's destructor first empties the module variables, so the script's
// own objects run Class_Terminate then.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/ref.h"
#include "platform/result.h"
#include "platform/unknown.h"
#include "platform/variant.h"

namespace tavrix::vbs {

class Interpreter;

struct ScriptErrorInfo {
  HRESULT code;             // the failing result
  int number = 0;           // the language's error number (Err.Number)
  int line = 0;             // 1-based; 0 when the error has no place in the text
  int column = 0;           // 1-based: the token (compile errors) or the statement
  std::string description;  // "Type mismatch"
  std::string source;       // "Microsoft VBScript runtime error", or the object's source
  bool fromParse = false;   // true for a compile error from Parse
};

class ScriptEngine {
 public:
  ScriptEngine();
  ~ScriptEngine();
  ScriptEngine(const ScriptEngine&) = delete;
  ScriptEngine& operator=(const ScriptEngine&) = delete;

  // The locale of the script's conversions between numbers, dates and texts
  // (LOCALE_USER_DEFAULT until set).
  void SetLocale(LCID lcid);

  // Makes `object` a global of the script under `name` (case-insensitive).
  // Call before Parse: the parsed script resolves names once. E_INVALIDARG for
  // an empty name or a null object, E_UNEXPECTED after Parse.
  HRESULT AddNamedObject(std::string_view name, Ref<IDispatch> object);

  // Parses and compiles `text`; may be called once per instance. A compile
  // error returns ScriptError(number) with lastError().fromParse set;
  // E_UNEXPECTED on a second call.
  HRESULT Parse(std::string_view text);

  // Runs the module-level code of the parsed script. E_UNEXPECTED before a
  // successful Parse.
  HRESULT RunModule();

  // Calls the script's Sub or Function `name` (case-insensitive) with `args`
  // by value; a Function's value goes to *result when result is not null.
  // ScriptError(35) when there is no such procedure, ScriptError(450) for a
  // wrong count of arguments.
  HRESULT CallSub(std::string_view name, std::span<const Variant> args = {},
                  Variant* result = nullptr);

  // Asks a running script to stop with `code` (a failure); thread-safe. The
  // script stops at its next statement, loop iteration or blocking built-in,
  // and RunModule / CallSub returns `code`, which On Error does not catch.
  // A request made while nothing runs stops the next run at its start.
  void Interrupt(HRESULT code);

  // The value of module variable `name`: S_OK, or DISP_E_UNKNOWNNAME.
  HRESULT GetGlobal(std::string_view name, Variant* out) const;

  const ScriptErrorInfo& lastError() const;

 private:
  std::unique_ptr<Interpreter> impl_;
};

}  // namespace tavrix::vbs
