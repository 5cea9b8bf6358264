// The WScript object of the command-line runner (tavrix-vbs): what a script
// run from a shell expects of its host.
//
//   WScript.Echo a, b, ...     one line: the values as texts, separated by spaces
//   WScript.Arguments          .Count, .Length, (i) / .Item(i), For Each
//   WScript.Quit [code]        stops the script; the runner exits with code
//   WScript.StdOut / StdErr    .Write text, .WriteLine [text], .WriteBlankLines n
//   WScript.Sleep ms           waits, stopping early when the script is interrupted
//   WScript.ScriptName / ScriptFullName / Name / Version
//
// Values print as scripts show them: True / False, "" for Empty, "Null" for
// Null, numbers and dates under the object's locale; an object prints as its
// default value. Tests use the same object with string streams.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/ref.h"
#include "platform/result.h"
#include "platform/unknown.h"
#include "platform/variant.h"

namespace tavrix::vbs {

struct WScriptOptions {
  std::string scriptName;      // "test.vbs"
  std::string scriptFullName;  // "/home/user/test.vbs"
  std::vector<std::string> arguments;
  std::ostream* out = nullptr;  // Echo and StdOut; required
  std::ostream* err = nullptr;  // StdErr; required
  LCID lcid = LOCALE_USER_DEFAULT;
  // Called by Quit with the exit code; the host stops the script (typically
  // ScriptEngine::Interrupt with a code of its own). May be empty.
  std::function<void(int32_t code)> quit;
  // True when the script should stop: ends a Sleep early. May be empty.
  std::function<bool()> interrupted;
};

// A new WScript object writing to the options' streams.
Ref<IDispatch> MakeWScript(WScriptOptions options);

// The text a value prints as (see above). Fails as the conversion does.
HRESULT EchoText(const Variant& value, LCID lcid, std::string* out);

}  // namespace tavrix::vbs
