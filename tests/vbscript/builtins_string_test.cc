// Text functions: pieces, case, trims, characters, searching and splitting.
// "\U0001F600" (one character, two UTF-16 units) checks that lengths and
// positions count code units.
#include "platform/fake_value_object.h"
#include "platform/object.h"
#include "vbscript/builtins_test_util.h"

namespace tavrix::vbs::testing {
namespace {

constexpr std::string_view kSmiley = "\U0001F600";

TEST(BuiltinStringTest, LengthsAndPieces) {
  const Variant item = Variant::Dispatch(MakeRef<tavrix::testing::FakeValueObject>(S("abcd")));
  const Variant nullItem = Variant::Dispatch(MakeRef<tavrix::testing::FakeValueObject>(Null()));
  RunCases({
      {"Len", {S("abc")}, I4(3)},
      {"Len", {S("a\U0001F600b")}, I4(4)},
      {"Len", {S("\u00e4")}, I4(1)},
      {"Len", {Null()}, Null()},
      {"Len", {Empty()}, I4(0)},
      {"Len", {I2(123)}, I4(3)},
      {"Len", {B(true)}, I4(4)},
      {"Len", {item}, I4(4)},
      {"Len", {nullItem}, Null()},
      {"Left", {S("abc"), I2(2)}, S("ab")},
      {"Left", {S("abc"), I2(5)}, S("abc")},
      {"Left", {S("abc"), R8(1.5)}, S("ab")},
      {"Left", {S("a\U0001F600b"), I2(3)}, S("a\U0001F600")},
      {"Left", {Null(), I2(1)}, Null()},
      {"Left", {I4(12345), I2(2)}, S("12")},
      Fails("Left", {S("abc"), I2(-1)}, 5),
      Fails("Left", {S("abc"), Null()}, 94),
      Fails("Left", {S("abc"), S("x")}, 13),
      {"Right", {S("abc"), I2(2)}, S("bc")},
      {"Right", {S("a\U0001F600"), I2(2)}, S("\U0001F600")},
      {"Right", {Null(), I2(1)}, Null()},
      Fails("Right", {S("abc"), I2(-1)}, 5),
      {"Mid", {S("abcdef"), I2(2), I2(3)}, S("bcd")},
      {"Mid", {S("abcdef"), I2(4)}, S("def")},
      {"Mid", {S("abc"), I2(5)}, S("")},
      {"Mid", {S("\U0001F600x"), I2(3)}, S("x")},
      {"Mid", {S("a\U0001F600b"), I2(2), I2(2)}, S("\U0001F600")},
      {"Mid", {Null(), I2(1)}, Null()},
      Fails("Mid", {S("abc"), I2(0)}, 5),
      Fails("Mid", {S("abc"), I2(1), I2(-1)}, 5),
      Fails("Mid", {S("abc"), Null()}, 94),
  });
}

TEST(BuiltinStringTest, CaseTrimsAndRepeats) {
  RunCases({
      {"LCase", {S("\u00c4BC")}, S("\u00e4bc")},
      {"UCase", {S("stra\u00dfe \u00e9")}, S("STRA\u00dfE \u00c9")},
      {"UCase", {Null()}, Null()},
      {"LCase", {R8(1.5)}, S("1,5"), 0, 1031},
      {"LTrim", {S("  a  ")}, S("a  ")},
      {"RTrim", {S("  a  ")}, S("  a")},
      {"Trim", {S("  a b  ")}, S("a b")},
      {"Trim", {S("\ta ")}, S("\ta")},
      {"Trim", {S("   ")}, S("")},
      {"Trim", {Null()}, Null()},
      {"String", {I2(3), S("ab")}, S("aaa")},
      {"String", {I2(3), I2(65)}, S("AAA")},
      {"String", {I2(2), I2(321)}, S("AA")},
      {"String", {I2(2), S(kSmiley)}, S("\U0001F600\U0001F600")},
      {"String", {I2(0), S("a")}, S("")},
      {"String", {Null(), S("a")}, Null()},
      {"String", {I2(2), Null()}, Null()},
      Fails("String", {I2(-1), S("a")}, 5),
      Fails("String", {I2(2), S("")}, 5),
      Fails("String", {I4(1 << 30), S("a")}, 14),
      {"Space", {I2(3)}, S("   ")},
      {"Space", {I2(0)}, S("")},
      Fails("Space", {I2(-1)}, 5),
      Fails("Space", {Null()}, 94),
      Fails("Space", {I4(1 << 30)}, 14),
      {"StrReverse", {S("abc")}, S("cba")},
      {"StrReverse", {S("a\U0001F600\u00e4")}, S("\u00e4\U0001F600a")},
      {"StrReverse", {S("")}, S("")},
      Fails("StrReverse", {Null()}, 94),
  });
}

TEST(BuiltinStringTest, CharacterCodes) {
  RunCases({
      {"Asc", {S("A")}, I2(65)},
      {"Asc", {S("Abc")}, I2(65)},
      {"Asc", {S("\u20ac")}, I2(128)},
      {"Asc", {S("\u00e4")}, I2(228)},
      {"Asc", {S(kSmiley)}, I2(63)},
      {"Asc", {S("\u3042")}, I2(static_cast<int16_t>(0x82A0)), 0, 1041},
      {"Asc", {I2(7)}, I2(55)},
      Fails("Asc", {S("")}, 5),
      Fails("Asc", {Null()}, 94),
      {"AscW", {S("\u20ac")}, I2(8364)},
      {"AscW", {S("\uffff")}, I2(-1)},
      {"AscW", {S(kSmiley)}, I2(static_cast<int16_t>(0xD83D))},
      Fails("AscW", {S("")}, 5),
      {"Chr", {I2(65)}, S("A")},
      {"Chr", {I2(128)}, S("\u20ac")},
      {"Chr", {I2(0x81)}, S("\u0081")},
      {"Chr", {I2(0)}, S(std::string_view("\0", 1))},
      {"Chr", {I2(static_cast<int16_t>(0x82A0))}, S("\u3042"), 0, 1041},
      Fails("Chr", {I2(256)}, 5),
      Fails("Chr", {I2(-1)}, 5),
      Fails("Chr", {Null()}, 94),
      {"ChrW", {I2(8364)}, S("\u20ac")},
      {"ChrW", {I2(-1)}, S("\uffff")},
      {"ChrW", {I4(65)}, S("A")},
      Fails("ChrW", {I4(65536)}, 5),
      Fails("ChrW", {I4(-32769)}, 5),
  });
}

TEST(BuiltinStringTest, EscapeAndUnescape) {
  RunCases({
      {"Escape", {S("a b+c/@*_-.")}, S("a%20b+c/@*_-.")},
      {"Escape", {S("\u00e4=\u20ac")}, S("%E4%3D%u20AC")},
      {"Escape", {S(kSmiley)}, S("%uD83D%uDE00")},
      {"Escape", {Null()}, Null()},
      {"Unescape", {S("%E4%3D%u20ac")}, S("\u00e4=\u20ac")},
      {"Unescape", {S("%uD83D%uDE00!")}, S("\U0001F600!")},
      {"Unescape", {S("100% %zz %u12")}, S("100% %zz %u12")},
      {"Unescape", {Null()}, Null()},
  });
}

TEST(BuiltinStringTest, InStrAndInStrRev) {
  const Variant s = S("XXpXXpXXPXXP");
  RunCases({
      {"InStr", {S("abcabc"), S("c")}, I4(3)},
      {"InStr", {I2(4), S("abcabc"), S("c")}, I4(6)},
      {"InStr", {I2(1), S("ABC"), S("b"), I2(1)}, I4(2)},
      {"InStr", {I2(1), S("ABC"), S("b"), I2(0)}, I4(0)},
      {"InStr", {I2(1), S("\u00c4\u00d6"), S("\u00f6"), I2(1)}, I4(2)},
      {"InStr", {S("\U0001F600x"), S("x")}, I4(3)},
      {"InStr", {S(""), S("a")}, I4(0)},
      {"InStr", {I2(2), S("abc"), S("")}, I4(2)},
      {"InStr", {I2(5), S("abc"), S("b")}, I4(0)},
      {"InStr", {S("abc"), Null()}, Null()},
      {"InStr", {Null(), S("a")}, Null()},
      {"InStr", {I2(12), I4(1234512345), I2(5)}, I4(0)},
      Fails("InStr", {I2(0), S("abc"), S("a")}, 5),
      Fails("InStr", {Null(), S("abc"), S("a")}, 94),
      Fails("InStr", {I2(1), S("a"), S("a"), I2(2)}, 5),
      // With three arguments the first is the start.
      Fails("InStr", {S("abc"), S("b"), I2(1)}, 13),
      {"InStrRev", {s, S("P"), I2(10), I2(0)}, I4(9)},
      {"InStrRev", {s, S("P"), I2(-1), I2(1)}, I4(12)},
      {"InStrRev", {s, S("P"), I2(8)}, I4(0)},
      {"InStrRev", {S("abc"), S(""), I2(-1)}, I4(3)},
      {"InStrRev", {S("abc"), S("a"), I2(5)}, I4(0)},
      {"InStrRev", {S("abcab"), S("ab")}, I4(4)},
      {"InStrRev", {S("a\U0001F600b\U0001F600"), S(kSmiley)}, I4(5)},
      {"InStrRev", {Null(), S("a")}, Null()},
      Fails("InStrRev", {S("abc"), S("a"), I2(0)}, 5),
      Fails("InStrRev", {S("abc"), S("a"), I2(-2)}, 5),
      Fails("InStrRev", {S("abc"), S("a"), Null()}, 94),
  });
}

TEST(BuiltinStringTest, ReplaceSplitJoin) {
  RunCases({
      {"Replace", {S("abcabc"), S("b"), S("X")}, S("aXcaXc")},
      {"Replace", {S("abcABC"), S("B"), S("X"), I2(1), I2(-1), I2(1)}, S("aXcAXC")},
      {"Replace", {S("abcabc"), S("b"), S("X"), I2(3)}, S("caXc")},
      {"Replace", {S("abcabc"), S("b"), S("X"), I2(1), I2(1)}, S("aXcabc")},
      {"Replace", {S("abc"), S(""), S("X")}, S("abc")},
      {"Replace", {S("abc"), S("b"), S("")}, S("ac")},
      {"Replace", {S("aaa"), S("aa"), S("b")}, S("ba")},
      {"Replace", {S("abc"), S("a"), S("b"), I2(4)}, S("")},
      {"Replace", {S("x\U0001F600y\U0001F600"), S(kSmiley), S("-")}, S("x-y-")},
      {"Replace", {S("\U0001F600ab"), S("b"), S("c"), I2(3)}, S("ac")},
      Fails("Replace", {Null(), S("a"), S("b")}, 94),
      Fails("Replace", {S("abc"), Null(), S("b")}, 94),
      Fails("Replace", {S("abc"), S("a"), Null()}, 94),
      Fails("Replace", {S("abc"), S("a"), S("b"), I2(0)}, 5),
      Fails("Replace", {S("abc"), S("a"), S("b"), I2(1), I2(-2)}, 5),
      {"Split", {S("a,b,,c"), S(",")}, Texts({"a", "b", "", "c"})},
      {"Split", {S("a b")}, Texts({"a", "b"})},
      {"Split", {S("")}, Texts({})},
      {"Split", {S("abc"), S("")}, Texts({"abc"})},
      {"Split", {S("a,b,c"), S(","), I2(2)}, Texts({"a", "b,c"})},
      {"Split", {S("a,b,c"), S(","), I2(0)}, Texts({})},
      {"Split", {S("aXbxc"), S("x"), I2(-1), I2(1)}, Texts({"a", "b", "c"})},
      {"Split", {S("a\U0001F600b"), S(kSmiley)}, Texts({"a", "b"})},
      Fails("Split", {S("a"), S(","), I2(-2)}, 5),
      Fails("Split", {Null()}, 94),
      {"Join", {Texts({"a", "b"})}, S("a b")},
      {"Join", {Texts({"a", "b"}), S(", ")}, S("a, b")},
      {"Join", {Texts({})}, S("")},
      Fails("Join", {S("abc")}, 13),
      Fails("Join", {Texts({"a"}), Null()}, 94),
  });
}

TEST(BuiltinStringTest, JoinConvertsElementsAndRefusesTwoDimensions) {
  TestContext context;
  Variant list;
  ASSERT_EQ(Call(context, "Array", {I2(1), Null(), Empty(), B(true), R8(1.5)}, &list), S_OK);
  Variant joined;
  ASSERT_EQ(Call(context, "Join", {list, S("-")}, &joined), S_OK);
  EXPECT_EQ(joined.text(), "1---True-1.5");

  const SafeArrayBound bounds[] = {{0, 2}, {0, 2}};
  const Variant square = Variant::Array(SafeArray::Create(VT_VARIANT, bounds));
  EXPECT_EQ(ScriptErrorNumber(Call(context, "Join", {square}, &joined)), 5);
}

TEST(BuiltinStringTest, StrCompAndFilter) {
  const Variant fruit = Texts({"Apple", "Banana", "apricot"});
  RunCases({
      {"StrComp", {S("a"), S("B")}, I2(1)},
      {"StrComp", {S("a"), S("B"), I2(1)}, I2(-1)},
      {"StrComp", {S("A"), S("a"), I2(1)}, I2(0)},
      {"StrComp", {S("abc"), S("abc")}, I2(0)},
      {"StrComp", {S("ab"), S("abc")}, I2(-1)},
      {"StrComp", {Null(), S("a")}, Null()},
      Fails("StrComp", {S("a"), S("b"), I2(3)}, 5),
      {"Filter", {fruit, S("ap")}, Texts({"apricot"})},
      {"Filter", {fruit, S("ap"), B(true), I2(1)}, Texts({"Apple", "apricot"})},
      {"Filter", {fruit, S("ap"), B(false)}, Texts({"Apple", "Banana"})},
      {"Filter", {fruit, S("x")}, Texts({})},
      Fails("Filter", {S("x"), S("a")}, 13),
      Fails("Filter", {fruit, Null()}, 94),
      Fails("Filter", {Null(), S("a")}, 94),
  });
}

TEST(BuiltinStringTest, LongLoopsStopWhenInterrupted) {
  constexpr HRESULT kStop = ScriptError(1234);
  TestContext context;
  context.interrupt = kStop;
  const Variant text = S(std::string(20000, 'a'));
  Variant result = S("unchanged");
  EXPECT_EQ(Call(context, "Replace", {text, S("a"), S("b")}, &result), kStop);
  EXPECT_EQ(Call(context, "Split", {text, S("a")}, &result), kStop);
  EXPECT_EQ(result.text(), "unchanged");

  context.interrupt = S_OK;
  ASSERT_EQ(Call(context, "Replace", {text, S("a"), S("bc")}, &result), S_OK);
  std::string expected;
  for (int i = 0; i < 20000; ++i) expected += "bc";
  EXPECT_EQ(result.text(), expected);
}

}  // namespace
}  // namespace tavrix::vbs::testing
