// Conformance tables: small scripts with the output or error the language
// documents for them, grouped by feature.
#include <gtest/gtest.h>

#include <span>

#include "vbscript/script_fixture.h"

namespace tavrix::vbs::testing {
namespace {

TEST(VbsLexing, LiteralsCommentsContinuationsAndCase) {
  static const Case kCases[] = {
      {"integer literal types", "WScript.Echo TypeName(1), TypeName(32767), TypeName(32768), "
                                "TypeName(2147483648), TypeName(1.5)",
       "Integer Integer Long Double Double\n"},
      {"hex and octal", "WScript.Echo &HFFFF, &H8000, &H10000, &HFFFFFFFF, &O17, &hff",
       "-1 -32768 65536 -1 15 255\n"},
      {"exponents and leading dot", "WScript.Echo 1.5E3, 2e-2, .5 + 1", "1500 0.02 1.5\n"},
      {"doubled quotes", "WScript.Echo \"say \"\"hi\"\"\", Len(\"\"\"\")", "say \"hi\" 1\n"},
      {"date literal", "WScript.Echo Year(#12/25/2023#), Month(#12/25/2023#), VarType(#1/2/2000#)",
       "2023 12 7\n"},
      {"comments", "' first\nWScript.Echo 1 ' trailing\nREM whole line\nWScript.Echo 2 : Rem x",
       "1\n2\n"},
      {"continuation", "WScript.Echo 1 + _\n   2, _\n  \"x\"", "3 x\n"},
      {"colons", "a = 1 : b = 2 : WScript.Echo a + b", "3\n"},
      {"keywords without case", "DIM x : x = TRUE\nIF x THEN wscript.ECHO \"yes\" ELSE "
                                "WScript.Echo \"no\"",
       "yes\n"},
      {"unterminated string", "WScript.Echo 1\nx = \"abc", "", kErrUnterminatedString, 2},
      {"invalid character", "x = 1\nx = 2 $ 3", "", kErrInvalidCharacter, 2},
  };
  RunTable(kCases);
}

TEST(VbsExpressions, PrecedenceAndOperators) {
  static const Case kCases[] = {
      {"power before negation", "WScript.Echo -2 ^ 2, 2 ^ 3 ^ 2, 2 ^ -1", "-4 64 0.5\n"},
      {"multiplicative ladder", "WScript.Echo 7 + 3 * 2, 10 \\ 3 * 2, 17 Mod 5 * 2, 2 * 7 Mod 4",
       "13 1 7 2\n"},
      {"idiv and mod", "WScript.Echo 7 \\ 2, -7 \\ 2, 7 Mod -3, -7 Mod 3, 7.6 \\ 2",
       "3 -3 1 -1 4\n"},
      {"concatenation below addition", "WScript.Echo 1 + 2 & 3 + 4", "37\n"},
      {"comparison below concatenation", "WScript.Echo \"a\" & \"b\" = \"ab\"", "True\n"},
      {"not below comparison", "WScript.Echo Not 1 = 2, Not 0", "True -1\n"},
      {"logic ladder", "WScript.Echo True Or False And False, True Xor True Or True, "
                       "False Imp False, True Eqv False",
       "True False True False\n"},
      {"bitwise on numbers", "WScript.Echo 12 And 10, 12 Or 3, 5 Xor 1, Not 5", "8 15 4 -6\n"},
      {"no short circuit", "Function F(v) : WScript.Echo \"F\" & v : F = v : End Function\n"
                           "x = F(False) And F(True)",
       "FFalse\nFTrue\n"},
      {"comparisons", "WScript.Echo 1 < 2, 2 <= 2, 3 > 4, \"b\" >= \"a\", 1 <> 1", "True True False True False\n"},
      {"Is on objects", "Set a = WScript : Set b = WScript\nWScript.Echo a Is b, a Is Nothing, "
                        "Nothing Is Nothing",
       "True False True\n"},
      {"Is needs objects", "x = 1\nWScript.Echo x Is Nothing", "", kErrObjectRequired, 2},
      {"division by zero", "x = 1\nx = 1 / 0", "", kErrDivisionByZero, 2},
      {"integer division by zero", "x = 5 \\ 0", "", kErrDivisionByZero, 1},
      {"overflow of integer types", "x = 32767 + 1 : WScript.Echo x, TypeName(x)\n"
                                    "y = 2147483647 + 1 : WScript.Echo TypeName(y)",
       "32768 Long\nDouble\n"},
  };
  RunTable(kCases);
}

// The interpreter computes Integer, Long and Double expressions in registers
// and writes results straight into variables; the language's rules must not
// notice.
TEST(VbsExpressions, FastPathsKeepTheLanguageRules) {
  static const Case kCases[] = {
      {"nested Integer overflow moves up", "x = (32767 + 1) * 2 : WScript.Echo x, TypeName(x)\n"
                                           "x = (2147483647 + 1) * 1 : WScript.Echo TypeName(x)\n"
                                           "x = (7 \\ 2) * 1 : WScript.Echo x, TypeName(x)",
       "65536 Long\nDouble\n3 Integer\n"},
      {"other types inside numbers", "a = \"3\" : x = (a + 1) * 2 : WScript.Echo x, TypeName(x)\n"
                                     "x = (e + 1) * 2 : WScript.Echo x, TypeName(x)\n"
                                     "x = (True + 1) * 2 : WScript.Echo x, TypeName(x)\n"
                                     "n = Null : WScript.Echo IsNull((n + 1) * 2)",
       "8 Double\n2 Integer\n0 Integer\nTrue\n"},
      {"negation at the edges", "x = -(-32768) : WScript.Echo x, TypeName(x)\n"
                                "m = -2147483647 - 1 : WScript.Echo TypeName(m), TypeName(-m)",
       "32768 Long\nLong Double\n"},
      {"left operand before the right one's calls",
       "Function F() : x = 10 : F = 1 : End Function\nx = 1 : y = x + F() : WScript.Echo y, x",
       "2 10\n"},
      {"a failed assignment keeps the old value",
       "On Error Resume Next\nx = 5 : x = x + \"a\" : WScript.Echo Err.Number, x\n"
       "Err.Clear : x = (x * 2) / 0 : WScript.Echo Err.Number, x",
       "13 5\n11 5\n"},
      {"For variable changed by the body", "For i = 1 To 3 : i = i + 0.5 : WScript.Echo i : Next\n"
                                           "For i = 32766 To 32768 : WScript.Echo TypeName(i) : Next",
       "1.5\n3\nInteger\nInteger\nLong\n"},
      {"conditions on mixed values", "x = \"10\" : If x > 9 Then WScript.Echo \"num\"\n"
                                     "If (x & \"\") < \"9\" Then WScript.Echo \"text\"\n"
                                     "If (1 / 3) * 3 = 1 Then WScript.Echo \"double\"",
       "num\ntext\ndouble\n"},
      {"division by zero deep in an expression", "a = 4\nb = 0\nx = (a * 2 + 1) \\ (b * 3)", "",
       kErrDivisionByZero, 3},
  };
  RunTable(kCases);
}

TEST(VbsVariants, ConversionRulesOfTheOperators) {
  static const Case kCases[] = {
      {"text plus number adds", "WScript.Echo \"1\" + 2, TypeName(\"1\" + 2)", "3 Double\n"},
      {"ampersand joins", "WScript.Echo \"1\" & 2, 1 & 2", "12 12\n"},
      {"text plus text joins", "WScript.Echo \"1\" + \"2\"", "12\n"},
      {"VarType of literals", "WScript.Echo VarType(0), VarType(\"\"), VarType(Empty), "
                              "VarType(Null), VarType(True), VarType(1.5)",
       "2 8 0 1 11 5\n"},
      {"binary text compare", "WScript.Echo \"a\" = \"A\", \"a\" < \"B\"", "False False\n"},
      {"Null propagates", "WScript.Echo IsNull(Null + 1), IsNull(Null = Null), IsNull(1 < Null)",
       "True True True\n"},
      {"Null concatenates as empty", "WScript.Echo \"x\" & Null & \"y\"", "xy\n"},
      {"If on Null is false", "If Null Then WScript.Echo \"then\" Else WScript.Echo \"else\"",
       "else\n"},
      {"Empty in arithmetic", "WScript.Echo x + 1, TypeName(x), \"[\" & x & \"]\"", "1 Empty []\n"},
      {"non-numeric text", "x = \"abc\" + 1", "", kErrTypeMismatch, 1},
      {"If on text", "If \"True\" Then WScript.Echo \"t\"\nIf \"x\" Then WScript.Echo \"no\"", "t\n",
       kErrTypeMismatch, 2},
      {"Boolean arithmetic", "WScript.Echo True + 1, CInt(True)", "0 -1\n"},
      {"number less than text", "WScript.Echo 5 < \"1\"", "True\n"},
  };
  RunTable(kCases);
}

TEST(VbsStatements, BranchesAndLoops) {
  static const Case kCases[] = {
      {"block If with ElseIf", "For i = 1 To 3\nIf i = 1 Then\nWScript.Echo \"one\"\n"
                               "ElseIf i = 2 Then\nWScript.Echo \"two\"\nElse\n"
                               "WScript.Echo \"many\"\nEnd If\nNext",
       "one\ntwo\nmany\n"},
      {"single-line If with several statements",
       "If 1 = 1 Then a = 1 : b = 2 Else a = 3\nWScript.Echo a, b", "1 2\n"},
      {"Select Case with lists", "For Each v In Array(1, 4, \"x\", 9)\nSelect Case v\n"
                                 "Case 1, 2, 3\nWScript.Echo \"low\"\nCase 4: WScript.Echo \"four\"\n"
                                 "Case \"x\"\nWScript.Echo \"text\"\nCase Else\n"
                                 "WScript.Echo \"else\"\nEnd Select\nNext",
       "low\nfour\ntext\nelse\n"},
      {"For evaluates the bounds once", "n = 3\nFor i = 1 To n\nn = 10\nWScript.Echo i\nNext\n"
                                        "WScript.Echo i",
       "1\n2\n3\n4\n"},
      {"negative and fractional Step", "For i = 3 To 1 Step -1 : WScript.Echo i : Next\n"
                                       "For x = 0 To 1 Step 0.5 : WScript.Echo x : Next",
       "3\n2\n1\n0\n0.5\n1\n"},
      {"For that never runs", "For i = 5 To 1 : WScript.Echo i : Next : WScript.Echo i", "5\n"},
      {"Exit For and Exit Do", "For i = 1 To 10\nIf i = 3 Then Exit For\nNext\n"
                               "Do\nj = j + 1\nIf j = 4 Then Exit Do\nLoop\nWScript.Echo i, j",
       "3 4\n"},
      {"Exit Do inside For leaves only the Do", "For i = 1 To 2\nDo\nExit Do\nLoop\n"
                                                "WScript.Echo i\nNext",
       "1\n2\n"},
      {"Do forms", "i = 0 : Do While i < 3 : i = i + 1 : Loop : WScript.Echo i\n"
                   "i = 0 : Do Until i = 2 : i = i + 1 : Loop : WScript.Echo i\n"
                   "i = 9 : Do : i = i + 1 : Loop While i < 3 : WScript.Echo i\n"
                   "i = 0 : Do : i = i + 1 : Loop Until i >= 5 : WScript.Echo i",
       "3\n2\n10\n5\n"},
      {"While Wend", "i = 0\nWhile i < 4\ni = i + 2\nWend\nWScript.Echo i", "4\n"},
      {"For Each over an array", "a = Array(\"x\", 2, True)\nFor Each v In a : WScript.Echo v : "
                                 "Next",
       "x\n2\nTrue\n"},
      {"With", "With WScript.StdOut\n.Write \"a\"\n.WriteLine \"b\"\nEnd With", "ab\n"},
      {"Const", "Const Big = 100, Name = \"n\", Neg = -5\nWScript.Echo Big + Neg, Name", "95 n\n"},
      {"assigning a Const", "Const K = 1\nK = 2", "", kErrIllegalAssignment, 2},
  };
  RunTable(kCases);
}

TEST(VbsArrays, DimReDimEraseAndBounds) {
  static const Case kCases[] = {
      {"Dim a(3) has four elements", "Dim a(3)\na(0) = 1 : a(3) = 4\nWScript.Echo LBound(a), "
                                     "UBound(a), a(3), IsEmpty(a(1))",
       "0 3 4 True\n"},
      {"two dimensions", "Dim m(1, 2)\nm(1, 2) = \"x\"\nWScript.Echo UBound(m, 1), UBound(m, 2), "
                         "m(1, 2)",
       "1 2 x\n"},
      {"out of range", "Dim a(2)\na(3) = 1", "", kErrSubscript, 2},
      {"ReDim and Preserve", "Dim a()\nReDim a(2)\na(2) = \"k\"\nReDim Preserve a(4)\n"
                             "WScript.Echo UBound(a), a(2)\nReDim a(1)\nWScript.Echo IsEmpty(a(0))",
       "4 k\nTrue\n"},
      {"ReDim of a fixed array", "Dim a(2)\nReDim a(5)", "", kErrFixedArray, 2},
      {"arrays copy on assignment", "Dim a(1)\na(0) = 1\nb = a\nb(0) = 2\nWScript.Echo a(0), b(0)",
       "1 2\n"},
      {"Erase", "Dim a(1) : a(0) = 5 : Erase a : WScript.Echo UBound(a), IsEmpty(a(0))\n"
                "ReDim d(3) : Erase d : WScript.Echo IsArray(d)",
       "1 True\nFalse\n"},
      {"index rounds", "Dim a(3) : a(2) = \"two\" : WScript.Echo a(1.6)", "two\n"},
      {"indexing a number", "x = 5\nWScript.Echo x(1)", "", kErrTypeMismatch, 2},
      {"Dim a() is an array for ReDim", "Dim a()\nWScript.Echo IsArray(a), UBound(a)\n"
                                        "ReDim Preserve a(2)\na(2) = 7\nWScript.Echo UBound(a), a(2)",
       "True -1\n2 7\n"},
      {"Dim a() in a procedure", "Sub S\nDim a()\nReDim a(1)\na(1) = \"s\"\nWScript.Echo a(1)\n"
                                 "End Sub\nS\nS",
       "s\ns\n"},
      {"element of Dim a() before ReDim", "Dim a()\nx = a(0)", "", kErrSubscript, 2},
  };
  RunTable(kCases);
  // Array takes any number of arguments (a table literal in a script).
  std::string script = "a = Array(0";
  for (int i = 1; i < 300; ++i) script += ", " + std::to_string(i);
  script += ")\nWScript.Echo UBound(a), a(299)";
  EXPECT_EQ(RunScript(script).output, "299 299\n");
}

TEST(VbsProcedures, CallsAndArguments) {
  static const Case kCases[] = {
      {"ByRef by default, ByVal on request",
       "Sub Bump(a, ByVal b) : a = a + 1 : b = b + 1 : End Sub\nx = 1 : y = 1\nBump x, y\n"
       "WScript.Echo x, y",
       "2 1\n"},
      {"parentheses pass by value", "Sub Bump(a) : a = a + 1 : End Sub\nx = 1\nBump (x)\n"
                                    "WScript.Echo x\nCall Bump(x)\nWScript.Echo x",
       "1\n2\n"},
      {"function arguments are by reference",
       "Function Twice(n) : n = n * 2 : Twice = n : End Function\nx = 3\ny = Twice(x)\n"
       "z = Twice((x))\nWScript.Echo x, y, z",
       "6 6 12\n"},
      {"array elements by reference", "Sub Bump(a) : a = a + 1 : End Sub\nDim v(2)\nv(1) = 5\n"
                                      "Bump v(1)\nWScript.Echo v(1)",
       "6\n"},
      {"recursion and the function's own name", "Function Fact(n)\nIf n <= 1 Then\nFact = 1\n"
                                                "Else\nFact = n * Fact(n - 1)\nEnd If\nEnd Function\n"
                                                "WScript.Echo Fact(10)",
       "3628800\n"},
      {"result accumulates in the name", "Function Acc()\nAcc = 1\nAcc = Acc + 1\nEnd Function\n"
                                         "WScript.Echo Acc()",
       "2\n"},
      {"Exit Sub and Exit Function", "Function F(x)\nF = 1\nIf x Then Exit Function\nF = 2\n"
                                     "End Function\nSub S\nWScript.Echo \"in\"\nExit Sub\n"
                                     "WScript.Echo \"no\"\nEnd Sub\nS\nWScript.Echo F(True), F(False)",
       "in\n1 2\n"},
      {"locals are separate", "x = \"global\"\nSub S\nDim x\nx = \"local\"\nEnd Sub\nS\n"
                              "WScript.Echo x",
       "global\n"},
      {"implicit globals seen in procedures", "Sub Show : WScript.Echo g : End Sub\ng = 7\nShow",
       "7\n"},
      {"called before it is declared", "WScript.Echo Later(2)\nFunction Later(v)\nLater = v * 5\n"
                                       "End Function",
       "10\n"},
      {"wrong argument count", "Sub S(a) : End Sub\nS 1, 2", "", kErrWrongArgCount, 2},
      {"parentheses around several Sub arguments", "Sub S(a, b) : End Sub\nS(1, 2)", "",
       kErrParensCallingSub, 2},
      {"Set in a function", "Function Me2() : Set Me2 = WScript : End Function\n"
                            "Set o = Me2()\no.Echo \"via\"",
       "via\n"},
      {"runaway recursion", "Sub R : R : End Sub\nR", "", kErrOutOfStack, 1},
  };
  RunTable(kCases);
}

TEST(VbsErrors, OnErrorAndTheErrObject) {
  static const Case kCases[] = {
      {"Resume Next records and goes on",
       "On Error Resume Next\nx = 1 / 0\nWScript.Echo Err.Number, Err.Description\nErr.Clear\n"
       "WScript.Echo Err.Number",
       "11 Division by zero\n0\n"},
      {"GoTo 0 stops handling", "On Error Resume Next\nx = 1 / 0\nOn Error GoTo 0\n"
                                "WScript.Echo Err.Number\ny = 1 / 0",
       "0\n", kErrDivisionByZero, 5},
      {"Raise with texts", "On Error Resume Next\nErr.Raise 1000, \"Src\", \"Custom\"\n"
                           "WScript.Echo Err.Number, Err.Source, Err.Description",
       "1000 Src Custom\n"},
      {"Raise of a language number", "On Error Resume Next\nErr.Raise 9\nWScript.Echo "
                                     "Err.Description",
       "Subscript out of range\n"},
      {"Raise uncaught", "x = 1\nErr.Raise 13", "", kErrTypeMismatch, 2},
      {"object error numbers", "On Error Resume Next\nErr.Raise vbObjectError + 513\n"
                               "WScript.Echo Err.Number = vbObjectError + 513",
       "True\n"},
      {"error in a procedure goes to the caller's handler",
       "Sub Bad\nx = 1 / 0\nWScript.Echo \"not here\"\nEnd Sub\nOn Error Resume Next\nBad\n"
       "WScript.Echo \"after\", Err.Number",
       "after 11\n"},
      {"uncaught error in a procedure reports its line", "Sub Bad\n\nx = Nothing + 1\nEnd Sub\nBad",
       "", kErrTypeMismatch, 3},
      {"handler is per procedure", "Sub Quiet\nOn Error Resume Next\nx = 1 / 0\n"
                                   "WScript.Echo \"quiet\", Err.Number\nEnd Sub\nQuiet\ny = 1 / 0",
       "quiet 11\n", kErrDivisionByZero, 7},
      {"failing If condition enters the branch", "On Error Resume Next\nIf 1 / 0 Then\n"
                                                 "WScript.Echo \"in\"\nEnd If",
       "in\n"},
      {"Err default member is Number", "On Error Resume Next\nErr.Raise 6\nWScript.Echo Err",
       "6\n"},
      {"Option Explicit", "Option Explicit\nDim a\na = 1\nb = 2", "", kErrUndefinedVariable, 4},
      {"Option Explicit reads", "Option Explicit\nWScript.Echo 1\nWScript.Echo nope", "1\n",
       kErrUndefinedVariable, 3},
      {"Set needs an object", "Set x = 5", "", kErrObjectRequired, 1},
      {"member on a non-object", "x = 5\nx.Foo", "", kErrObjectRequired, 2},
      {"unknown member", "WScript.NoSuchThing", "", kErrNoSuchMember, 1},
      {"unknown procedure through Option Explicit", "Option Explicit\nFoo 1", "",
       kErrUndefinedVariable, 2},
  };
  RunTable(kCases);
}

TEST(VbsCompileErrors, NumberAndLine) {
  static const Case kCases[] = {
      {"missing Then", "x = 1\nIf x WScript.Echo 1", "", kErrExpectedThen, 2},
      {"missing End If", "If x Then\nx = 1\n", "", kErrExpectedEnd, 3},
      {"missing Next", "For i = 1 To 2\nx = 1\n", "", kErrExpectedNext, 3},
      {"missing Loop", "Do\nx = 1\n", "", kErrExpectedLoop, 3},
      {"missing Wend", "While x\n", "", kErrExpectedWend, 2},
      {"missing expression", "x = \n", "", kErrExpectedExpression, 1},
      {"Exit For outside For", "Exit For", "", kErrInvalidExit, 1},
      {"Name redefined", "Dim a\nDim a", "", kErrNameRedefined, 2},
      {"Option Explicit not first", "x = 1\nOption Explicit", "", kErrMustBeFirstStatement, 2},
      {"Const needs a literal", "Const c = x", "", kErrExpectedLiteral, 1},
      {"end of statement", "x = 1 2", "", kErrExpectedEndOfStatement, 1},
      {"missing parenthesis", "x = (1 + 2", "", kErrExpectedRParen, 1},
      {"For variable", "For 1 = 1 To 2\nNext", "", kErrInvalidForVariable, 1},
  };
  RunTable(kCases);
  const Outcome o = RunScript("WScript.Echo 1\nx = (");
  EXPECT_TRUE(o.fromParse);
  EXPECT_EQ(o.output, "");  // nothing runs when the text does not compile
}

}  // namespace
}  // namespace tavrix::vbs::testing
