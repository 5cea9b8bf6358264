// Texts compiled while a script runs: Eval, Execute and ExecuteGlobal, in
// the scope of the calling code or at module level.
#include <gtest/gtest.h>

#include "vbscript/script_fixture.h"

namespace tavrix::vbs::testing {
namespace {

TEST(VbsDynamicCode, EvalExecuteAndExecuteGlobal) {
  static const Case kCases[] = {
      {"Eval is an expression", "x = 4\nWScript.Echo Eval(\"x * 2 + 1\"), Eval(\"x = 4\"), "
                                "Eval(\"\"\"a\"\" & x\")",
       "9 True a4\n"},
      {"Execute runs statements where it is called",
       "Function F(a)\n  Dim loc : loc = 3\n  Execute \"loc = loc + a\"\n"
       "  F = Eval(\"loc * 2\")\nEnd Function\nWScript.Echo F(4)",
       "14\n"},
      {"inside a method it sees the instance",
       "Class K\n  Private v\n  Sub SetV(x) : Execute \"v = x * 10\" : End Sub\n"
       "  Function GetV() : GetV = Eval(\"v + 1\") : End Function\n"
       "End Class\nSet k1 = New K : k1.SetV 2 : WScript.Echo k1.GetV()",
       "21\n"},
      {"ExecuteGlobal defines procedures and classes",
       "ExecuteGlobal \"Function Sq(v) : Sq = v * v : End Function\"\n"
       "ExecuteGlobal \"Class Dyn : Public Name : End Class\"\n"
       "Set d = New Dyn : d.Name = \"dyn\" : WScript.Echo Sq(7), d.Name",
       "49 dyn\n"},
      {"a procedure defined after code that names it",
       "Sub Use : WScript.Echo Later(1) : End Sub\n"
       "ExecuteGlobal \"Function Later(x) : Later = x + 100 : End Function\"\nUse",
       "101\n"},
      {"variables of an executed text", "Execute \"Dim q(2) : q(1) = 5 : made = True\"\n"
                                        "WScript.Echo UBound(q), q(1), made",
       "2 5 True\n"},
      {"a compile error is a run-time error of the caller",
       "On Error Resume Next\nExecute \"x = (1 +\"\nWScript.Echo Err.Number\n"
       "Err.Clear : v = Eval(\"1 2\")\nWScript.Echo Err.Number",
       "1023\n1025\n"},
      {"a run-time error stops at the Execute line",
       "x = 1\nExecute \"WScript.Echo 1 : y = 1 / 0\"", "1\n", kErrDivisionByZero, 2},
  };
  RunTable(kCases);
}

}  // namespace
}  // namespace tavrix::vbs::testing
