// Types, arrays, constants and the lookup table.
#include "platform/fake_value_object.h"
#include "platform/object.h"
#include "vbscript/builtins_test_util.h"
#include "vbscript/builtins_typename.h"

namespace tavrix::vbs::testing {
namespace {

// An object that names its class and has no default member.
class NamedObject final : public Object<IDispatch, IScriptTypeName> {
 public:
  HRESULT GetIDsOfNames(std::string_view, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID, uint16_t, std::span<Variant>, Variant*, ExcepInfo*, LCID) override {
    return DISP_E_MEMBERNOTFOUND;
  }
  std::string TypeName() override { return "Dictionary"; }
};

Variant Value(Variant v, HRESULT hr = S_OK) {
  return Variant::Dispatch(MakeRef<tavrix::testing::FakeValueObject>(std::move(v), hr));
}
Variant Nothing() { return Variant::Dispatch(nullptr); }
Variant Bytes() { return Variant::Array(SafeArray::Create1D(VT_UI1, 2)); }

TEST(BuiltinTypeTest, VarTypeAndTypeName) {
  const Variant named = Variant::Dispatch(MakeRef<NamedObject>());
  RunCases({
      {"VarType", {Empty()}, I2(0)},
      {"VarType", {Null()}, I2(1)},
      {"VarType", {I2(0)}, I2(2)},
      {"VarType", {I4(0)}, I2(3)},
      {"VarType", {S("")}, I2(8)},
      {"VarType", {B(true)}, I2(11)},
      {"VarType", {Date(2026, 1, 1)}, I2(7)},
      {"VarType", {Texts({"a"})}, I2(8204)},
      {"VarType", {Bytes()}, I2(8209)},
      // An object with a default member shows the type of its value.
      {"VarType", {Value(I4(5))}, I2(3)},
      {"VarType", {Value(Empty(), E_FAIL)}, I2(9)},
      {"VarType", {named}, I2(9)},
      {"VarType", {Nothing()}, I2(9)},
      {"TypeName", {Empty()}, S("Empty")},
      {"TypeName", {Null()}, S("Null")},
      {"TypeName", {I2(0)}, S("Integer")},
      {"TypeName", {I4(0)}, S("Long")},
      {"TypeName", {R4(0)}, S("Single")},
      {"TypeName", {R8(0)}, S("Double")},
      {"TypeName", {Variant::Cy(Currency{})}, S("Currency")},
      {"TypeName", {Variant::Dec(Decimal{})}, S("Decimal")},
      {"TypeName", {Date(2026, 1, 1)}, S("Date")},
      {"TypeName", {S("")}, S("String")},
      {"TypeName", {B(false)}, S("Boolean")},
      {"TypeName", {Variant::UI1(1)}, S("Byte")},
      {"TypeName", {Variant::Error(5)}, S("Error")},
      {"TypeName", {Texts({})}, S("Variant()")},
      {"TypeName", {Bytes()}, S("Byte()")},
      {"TypeName", {Nothing()}, S("Nothing")},
      {"TypeName", {Value(I4(5))}, S("Object")},
      {"TypeName", {named}, S("Dictionary")},
  });
}

TEST(BuiltinTypeTest, IsFunctions) {
  const Variant named = Variant::Dispatch(MakeRef<NamedObject>());
  RunCases({
      {"IsEmpty", {Empty()}, B(true)},
      {"IsEmpty", {S("")}, B(false)},
      {"IsEmpty", {Value(Empty())}, B(true)},
      {"IsNull", {Null()}, B(true)},
      {"IsNull", {Empty()}, B(false)},
      {"IsNull", {Value(Null())}, B(true)},
      {"IsNull", {named}, B(false)},
      {"IsNumeric", {S("12")}, B(true)},
      {"IsNumeric", {S(" 1.5e3 ")}, B(true)},
      {"IsNumeric", {S("1,5")}, B(true), 0, 1031},
      {"IsNumeric", {S("&H10")}, B(true)},
      {"IsNumeric", {S("abc")}, B(false)},
      {"IsNumeric", {S("")}, B(false)},
      {"IsNumeric", {Empty()}, B(true)},
      {"IsNumeric", {Null()}, B(false)},
      {"IsNumeric", {B(true)}, B(true)},
      {"IsNumeric", {Date(2026, 1, 1)}, B(false)},
      {"IsNumeric", {Value(S("7"))}, B(true)},
      {"IsDate", {S("12/10/2026")}, B(true)},
      {"IsDate", {S("10.12.2026")}, B(true), 0, 1031},
      {"IsDate", {S("abc")}, B(false)},
      {"IsDate", {Date(2026, 1, 1)}, B(true)},
      {"IsDate", {I2(1)}, B(false)},
      {"IsDate", {Null()}, B(false)},
      {"IsObject", {named}, B(true)},
      {"IsObject", {Nothing()}, B(true)},
      {"IsObject", {I2(1)}, B(false)},
      {"IsArray", {Texts({})}, B(true)},
      {"IsArray", {S("a")}, B(false)},
  });
}

TEST(BuiltinTypeTest, EngineFunctions) {
  RunCases({
      {"GetLocale", {}, I4(1033)},
      {"GetLocale", {}, I4(1031), 0, 1031},
      {"GetLocale", {}, I4(1033), 0, LOCALE_USER_DEFAULT},
      {"ScriptEngine", {}, S("VBScript")},
      {"ScriptEngineMajorVersion", {}, I4(5)},
  });
}

TEST(BuiltinArrayTest, ArrayAndBounds) {
  const SafeArrayBound bounds[] = {{1, 3}, {-2, 4}};
  const Variant grid = Variant::Array(SafeArray::Create(VT_VARIANT, bounds));
  TestContext context;
  Variant list;
  ASSERT_EQ(Call(context, "Array", {I2(1), S("a"), Null()}, &list), S_OK);
  EXPECT_EQ(list.vt(), VT_ARRAY | VT_VARIANT);
  ASSERT_EQ(list.array().size(), 3u);
  EXPECT_TRUE(list.array().At(1).Identical(S("a")));
  EXPECT_TRUE(list.array().At(2).IsNull());
  RunCases({
      {"UBound", {list}, I4(2)},
      {"LBound", {list}, I4(0)},
      {"UBound", {Texts({})}, I4(-1)},
      {"UBound", {grid}, I4(3)},
      {"LBound", {grid, I2(1)}, I4(1)},
      {"UBound", {grid, I2(2)}, I4(1)},
      {"LBound", {grid, I2(2)}, I4(-2)},
      Fails("UBound", {grid, I2(3)}, 9),
      Fails("UBound", {grid, I2(0)}, 9),
      Fails("UBound", {S("a")}, 13),
      Fails("LBound", {Null()}, 13),
      Fails("UBound", {list, Null()}, 94),
  });
  Variant none;
  ASSERT_EQ(Call(context, "Array", {}, &none), S_OK);
  EXPECT_TRUE(none.Identical(Texts({})));
}

TEST(BuiltinConstantTest, ValuesAndTypes) {
  struct Expect {
    std::string_view name;
    Variant value;
  };
  const Expect expected[] = {
      {"vbCrLf", S("\r\n")},
      {"VBCRLF", S("\r\n")},
      {"vbNewLine", S("\r\n")},
      {"vbNullChar", S(std::string_view("\0", 1))},
      {"vbNullString", S("")},
      {"vbTab", S("\t")},
      {"vbObjectError", I4(-2147221504)},
      {"vbTextCompare", I2(1)},
      {"vbTrue", I2(-1)},
      {"vbUseDefault", I2(-2)},
      {"vbString", I2(8)},
      {"vbArray", I2(8192)},
      {"vbSaturday", I2(7)},
      {"vbFirstFourDays", I2(2)},
      {"vbShortTime", I2(4)},
      {"vbYesNo", I2(4)},
      {"vbGreen", I4(65280)},
  };
  for (const Expect& e : expected) {
    Variant v;
    ASSERT_TRUE(FindBuiltinConstant(e.name, &v)) << e.name;
    EXPECT_TRUE(v.Identical(e.value)) << e.name << ": " << DebugString(v);
  }
  Variant v = S("unchanged");
  EXPECT_FALSE(FindBuiltinConstant("vbNoSuchThing", &v));
  EXPECT_FALSE(FindBuiltinConstant("Len", &v));
  EXPECT_EQ(v.text(), "unchanged");
}

TEST(BuiltinTableTest, NamesResolveWithoutRegardToCase) {
  const BuiltinInfo* info = FindBuiltin("instrrev");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->name, "InStrRev");
  EXPECT_EQ(info->minArgs, 2);
  EXPECT_EQ(info->maxArgs, 4);
  EXPECT_EQ(FindBuiltin("CreateObject"), nullptr);
  EXPECT_EQ(FindBuiltin("vbCrLf"), nullptr);
  // Every function the language's users rely on is there.
  for (std::string_view name :
       {"CBool", "CByte", "CCur", "CDate", "CDbl", "CInt", "CLng", "CSng", "CStr", "Hex", "Oct",
        "Fix", "Int", "Abs", "Sgn", "Round", "Len", "Left", "Right", "Mid", "InStr", "InStrRev",
        "LCase", "UCase", "LTrim", "RTrim", "Trim", "Replace", "Split", "Join", "String",
        "Space", "StrComp", "StrReverse", "Asc", "AscW", "Chr", "ChrW", "Sqr", "Sin", "Cos",
        "Tan", "Atn", "Exp", "Log", "Rnd", "Randomize", "Now", "Date", "Time", "Timer", "Year",
        "Month", "Day", "Hour", "Minute", "Second", "Weekday", "DateSerial", "TimeSerial",
        "DateAdd", "DateDiff", "DatePart", "DateValue", "TimeValue", "FormatDateTime",
        "MonthName", "WeekdayName", "Array", "UBound", "LBound", "IsArray", "Filter", "IsEmpty",
        "IsNull", "IsNumeric", "IsDate", "IsObject", "VarType", "TypeName", "FormatNumber",
        "FormatPercent", "FormatCurrency"}) {
    EXPECT_NE(FindBuiltin(name), nullptr) << name;
  }
}

}  // namespace
}  // namespace tavrix::vbs::testing
