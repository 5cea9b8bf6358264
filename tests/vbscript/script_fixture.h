// Runs small scripts for the language tests: a fresh engine with a WScript
// object whose Echo output is captured, and the outcome as one value to
// compare against a table row.
#pragma once

#include <gtest/gtest.h>

#include <span>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/ref.h"
#include "platform/unknown.h"
#include "vbscript/errors.h"
#include "vbscript/runner/wscript_object.h"
#include "vbscript/script.h"

namespace tavrix::vbs::testing {

struct Outcome {
  std::string output;  // Echo lines, each ended by "\n"
  int error = 0;       // the error number, 0 when the script ran to its end
  int line = 0;
  bool fromParse = false;
  std::string description;
};

// Parses and runs `script` in a new engine with en-US conversions. `extra`,
// when given, is added as the named object `extraName` before parsing.
inline Outcome RunScript(std::string_view script, std::string_view extraName = {},
                         Ref<IDispatch> extra = nullptr) {
  std::ostringstream out;
  std::ostringstream err;
  ScriptEngine engine;
  engine.SetLocale(1033);
  WScriptOptions options;
  options.out = &out;
  options.err = &err;
  options.lcid = 1033;
  options.arguments = {"first", "second"};
  (void)engine.AddNamedObject("WScript", MakeWScript(std::move(options)));
  if (extra) (void)engine.AddNamedObject(extraName, extra);
  HRESULT hr = engine.Parse(script);
  if (hr.succeeded()) hr = engine.RunModule();
  Outcome o;
  o.output = out.str();
  if (hr.failed()) {
    o.error = engine.lastError().number;
    o.line = engine.lastError().line;
    o.fromParse = engine.lastError().fromParse;
    o.description = engine.lastError().description;
  }
  return o;
}

// One row of a conformance table: the script, and either its output or the
// error it stops with (number and 1-based line).
struct Case {
  const char* name;
  const char* script;
  const char* output;
  int error = 0;
  int line = 0;
};

inline std::string Describe(const Outcome& o) {
  std::string s = "output:\n" + o.output;
  if (o.error != 0) {
    s += "error " + std::to_string(o.error) + " line " + std::to_string(o.line) + " (" +
         o.description + ")";
  }
  return s;
}

// Runs each row and compares its output, error number and (for an error)
// line; `extra` as in RunScript.
inline void RunTable(std::span<const Case> cases, std::string_view extraName = {},
                     const Ref<IDispatch>& extra = nullptr) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome o = RunScript(c.script, extraName, extra);
    EXPECT_EQ(o.output, c.output) << Describe(o);
    EXPECT_EQ(o.error, c.error) << Describe(o);
    if (c.error != 0) {
      EXPECT_EQ(o.line, c.line) << Describe(o);
    }
  }
}

}  // namespace tavrix::vbs::testing
