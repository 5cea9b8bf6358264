// Conversions: CBool ... CStr, Hex, Oct, Fix, Int, Abs, Sgn, Round.
#include "platform/currency.h"
#include "platform/object.h"
#include "platform/ref.h"
#include "platform/fake_value_object.h"
#include "vbscript/builtins_test_util.h"

namespace tavrix::vbs::testing {
namespace {

Variant Cy(int64_t scaled) { return Variant::Cy(Currency{scaled}); }

TEST(BuiltinConvertTest, ChangeTypeFunctions) {
  RunCases({
      {"CBool", {I2(0)}, B(false)},
      {"CBool", {S("True")}, B(true)},
      {"CBool", {S("Wahr")}, B(true), 0, 1031},
      {"CBool", {Empty()}, B(false)},
      Fails("CBool", {S("abc")}, 13),
      Fails("CBool", {Null()}, 94),
      {"CByte", {R8(254.5)}, Variant::UI1(254)},
      Fails("CByte", {I2(-1)}, 6),
      Fails("CByte", {I2(256)}, 6),
      {"CInt", {R8(2.5)}, I2(2)},
      {"CInt", {R8(3.5)}, I2(4)},
      {"CInt", {R8(-2.5)}, I2(-2)},
      {"CInt", {S("&H8000")}, I2(-32768)},
      {"CInt", {S("1,5")}, I2(2), 0, 1031},
      Fails("CInt", {R8(32767.5)}, 6),
      Fails("CInt", {S("abc")}, 13),
      Fails("CInt", {S("")}, 13),
      Fails("CInt", {Null()}, 94),
      {"CLng", {S(" 123 ")}, I4(123)},
      Fails("CLng", {R8(2147483647.5)}, 6),
      {"CDbl", {S("1.5")}, R8(1.5)},
      {"CDbl", {S("1.234,5")}, R8(1234.5), 0, 1031},
      {"CDbl", {Empty()}, R8(0)},
      {"CSng", {R8(0.5)}, R4(0.5f)},
      {"CCur", {S("1,5")}, Cy(15000), 0, 1031},
      {"CCur", {R8(1.23456)}, Cy(12346)},
      {"CDate", {S("12/10/2026")}, Date(2026, 12, 10)},
      {"CDate", {S("10.12.2026")}, Date(2026, 12, 10), 0, 1031},
      {"CDate", {R8(46366.5)}, Variant::Date(46366.5)},
      Fails("CDate", {S("abc")}, 13),
      Fails("CDate", {R8(1e10)}, 6),
      {"CStr", {Empty()}, S("")},
      {"CStr", {B(true)}, S("True")},
      {"CStr", {B(false)}, S("Falsch"), 0, 1031},
      {"CStr", {R8(1.5)}, S("1,5"), 0, 1031},
      {"CStr", {Date(2026, 12, 10, 14, 35, 59)}, S("12/10/2026 2:35:59 PM")},
      Fails("CStr", {Null()}, 94),
  });
}

TEST(BuiltinConvertTest, ObjectsGiveTheirDefaultValue) {
  const Variant item = Variant::Dispatch(MakeRef<tavrix::testing::FakeValueObject>(S("42")));
  const Variant nullItem = Variant::Dispatch(MakeRef<tavrix::testing::FakeValueObject>(Null()));
  const Variant failing =
      Variant::Dispatch(MakeRef<tavrix::testing::FakeValueObject>(Empty(), DISP_E_OVERFLOW));
  RunCases({
      {"CInt", {item}, I2(42)},
      {"CStr", {item}, S("42")},
      Fails("CLng", {nullItem}, 94),
      Fails("CLng", {failing}, 6),
      {"Hex", {item}, S("2A")},
      {"Abs", {item}, R8(42)},
  });
}

// A default member may have side effects (an item read over the network): a
// built-in reads it once per argument.
TEST(BuiltinConvertTest, DefaultMembersAreReadOnce) {
  struct Use {
    std::string_view name;
    Variant value;
    std::vector<Variant> more;  // the arguments after the object
  };
  const Use uses[] = {
      {"CInt", S("42"), {}},          {"CStr", Null(), {}},
      {"Hex", I2(10), {}},            {"Abs", S("-2"), {}},
      {"Round", R8(1.25), {I2(1)}},   {"Len", S("abc"), {}},
      {"Left", Null(), {I2(1)}},      {"Year", S("12/10/2026"), {}},
      {"Year", Null(), {}},           {"FormatNumber", R8(1.5), {}},
      {"IsNull", Null(), {}},         {"VarType", I4(1), {}},
      {"IsNumeric", S("1"), {}},      {"UCase", S("a"), {}},
  };
  for (const Use& use : uses) {
    SCOPED_TRACE(std::string(use.name) + " of " + DebugString(use.value));
    Ref<tavrix::testing::FakeValueObject> object =
        MakeRef<tavrix::testing::FakeValueObject>(use.value);
    std::vector<Variant> args = {Variant::Dispatch(object)};
    args.insert(args.end(), use.more.begin(), use.more.end());
    TestContext context;
    Variant result;
    (void)Call(context, use.name, args, &result);
    EXPECT_EQ(object->calls.load(), 1);
  }
  Ref<tavrix::testing::FakeValueObject> count = MakeRef<tavrix::testing::FakeValueObject>(I2(2));
  Ref<tavrix::testing::FakeValueObject> text = MakeRef<tavrix::testing::FakeValueObject>(S("x"));
  TestContext context;
  Variant result;
  ASSERT_EQ(Call(context, "String", {Variant::Dispatch(count), Variant::Dispatch(text)}, &result),
            S_OK);
  EXPECT_EQ(result.text(), "xx");
  EXPECT_EQ(count->calls.load(), 1);
  EXPECT_EQ(text->calls.load(), 1);
}

TEST(BuiltinConvertTest, HexAndOctShowTwosComplementByType) {
  RunCases({
      {"Hex", {I2(255)}, S("FF")},
      {"Hex", {I2(-1)}, S("FFFF")},
      {"Hex", {I4(-1)}, S("FFFFFFFF")},
      {"Hex", {I4(-32769)}, S("FFFF7FFF")},
      {"Hex", {Variant::UI1(255)}, S("FF")},
      {"Hex", {B(true)}, S("FFFF")},
      {"Hex", {R8(-1)}, S("FFFFFFFF")},
      {"Hex", {R8(2.5)}, S("2")},
      {"Hex", {S("&H1F")}, S("1F")},
      {"Hex", {Empty()}, S("0")},
      {"Hex", {Null()}, Null()},
      Fails("Hex", {R8(2147483648.0)}, 6),
      Fails("Hex", {S("abc")}, 13),
      {"Oct", {I2(8)}, S("10")},
      {"Oct", {I2(-1)}, S("177777")},
      {"Oct", {I4(-1)}, S("37777777777")},
      {"Oct", {Null()}, Null()},
  });
}

TEST(BuiltinConvertTest, FixIntAbsSgnKeepTypesAndPassNull) {
  RunCases({
      {"Fix", {R8(-2.5)}, R8(-2)},
      {"Int", {R8(-2.5)}, R8(-3)},
      {"Int", {R8(2.7)}, R8(2)},
      {"Fix", {S("3,7")}, R8(3), 0, 1031},
      {"Int", {I2(7)}, I2(7)},
      {"Int", {Cy(-15000)}, Cy(-20000)},
      {"Fix", {Null()}, Null()},
      {"Int", {Empty()}, I2(0)},
      Fails("Fix", {S("x")}, 13),
      {"Abs", {I2(-5)}, I2(5)},
      {"Abs", {I2(-32768)}, I4(32768)},
      {"Abs", {S("-1.5")}, R8(1.5)},
      {"Abs", {Null()}, Null()},
      {"Abs", {B(true)}, I2(1)},
      {"Sgn", {R8(-2.5)}, I2(-1)},
      {"Sgn", {S("0")}, I2(0)},
      {"Sgn", {Cy(1)}, I2(1)},
      {"Sgn", {Empty()}, I2(0)},
      Fails("Sgn", {Null()}, 94),
      Fails("Sgn", {S("x")}, 13),
  });
}

TEST(BuiltinConvertTest, RoundIsBankersOnTheDecimalDigits) {
  RunCases({
      {"Round", {R8(2.5)}, R8(2)},
      {"Round", {R8(3.5)}, R8(4)},
      {"Round", {R8(-2.5)}, R8(-2)},
      {"Round", {R8(0.125), I2(2)}, R8(0.12)},
      {"Round", {R8(0.135), I2(2)}, R8(0.14)},
      // Its text is 2.675, so it rounds as written, not as its binary neighbour.
      {"Round", {R8(2.675), I2(2)}, R8(2.68)},
      {"Round", {R8(1234.5678), I2(2)}, R8(1234.57)},
      {"Round", {R8(0.0004), I2(2)}, R8(0)},
      {"Round", {R8(99.96), I2(1)}, R8(100)},
      {"Round", {R8(1e300), I2(2)}, R8(1e300)},
      {"Round", {R4(2.5f)}, R4(2.0f)},
      {"Round", {S("2.5")}, R8(2)},
      {"Round", {I2(7)}, I2(7)},
      {"Round", {B(true)}, I2(-1)},
      {"Round", {Empty()}, I2(0)},
      {"Round", {Cy(25000)}, Cy(20000)},
      {"Round", {Cy(12355), I2(3)}, Cy(12360)},
      {"Round", {Date(2026, 12, 10, 18, 0, 0)}, Date(2026, 12, 11)},
      {"Round", {Null()}, Null()},
      {"Round", {Null(), I2(2)}, Null()},
      Fails("Round", {R8(1.5), I2(-1)}, 5),
      Fails("Round", {R8(1.5), Null()}, 94),
      Fails("Round", {S("x")}, 13),
  });
}

}  // namespace
}  // namespace tavrix::vbs::testing
