#include "kivdata/typed_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "kivdata/value_gen.h"
#include "platform/safearray.h"

namespace tavrix {
namespace {

using testing::MakeArray;
using testing::MakeArray1D;
using testing::ValueGen;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// 2026-12-09 is day 46365 of the platform's calendar.
const double kDec9At233013_5 = 46365.0 + (23 * 3600 + 30 * 60 + 13.5) / 86400.0;

Decimal MakeDecimal(uint64_t mantissa, uint8_t scale, bool negative) {
  Decimal d;
  std::memset(static_cast<void*>(&d), 0, sizeof d);
  d.lo64 = mantissa;
  d.scale = scale;
  d.negative = negative;
  return d;
}

struct ParseCase {
  const char* text;
  Variant expected;
};

// Typed texts as people write them in project files and put-value actions.
TEST(TypedTextTest, ParsesHandWrittenTexts) {
  const ParseCase cases[] = {
      {"3,42", Variant::I4(42)},
      {" 3 , -42 ", Variant::I4(-42)},
      {"3,+7", Variant::I4(7)},
      {"8,hello, world", Variant::Text("hello, world")},
      {"8,", Variant::Text("")},
      {"8, padded \t", Variant::Text(" padded \t")},
      {"8,\"quoted\"", Variant::Text("\"quoted\"")},
      {"0,", Variant::Empty()},
      {"1, ", Variant::Null()},
      {"11,True", Variant::Bool(true)},
      {"11,FALSE", Variant::Bool(false)},
      {"11,-1", Variant::Bool(true)},
      {"11,1", Variant::BoolRaw(1)},
      {"16,-128", Variant::I1(-128)},
      {"17,255", Variant::UI1(255)},
      {"18,65535", Variant::UI2(65535)},
      {"19,4294967295", Variant::UI4(4294967295u)},
      {"20,-9223372036854775808", Variant::I8(std::numeric_limits<int64_t>::min())},
      {"21,18446744073709551615", Variant::UI8(std::numeric_limits<uint64_t>::max())},
      {"22,-5", Variant::Int(-5)},
      {"23,5", Variant::UInt(5)},
      {"10,-2147352572", Variant::Error(DISP_E_PARAMNOTFOUND.code())},
      {"5,2.5", Variant::R8(2.5)},
      {"5,-1.5e-3", Variant::R8(-1.5e-3)},
      {"5,.5", Variant::R8(0.5)},
      {"5,-0", Variant::R8(-0.0)},
      {"5,5e-324", Variant::R8(std::numeric_limits<double>::denorm_min())},
      {"5,inf", Variant::R8(kInf)},
      {"5,-Infinity", Variant::R8(-kInf)},
      {"5,nan", Variant::R8(kNaN)},
      {"5,NaN(0x7ff0000000000001)", Variant::R8(std::bit_cast<double>(0x7ff0000000000001ull))},
      {"4,0.1", Variant::R4(0.1f)},
      {"6,1.5", Variant::Cy(Currency{15000})},
      {"6,1.50000", Variant::Cy(Currency{15000})},
      {"6,-922337203685477.5808", Variant::Cy(Currency{std::numeric_limits<int64_t>::min()})},
      {"14,1.50", Variant::Dec(MakeDecimal(150, 2, false))},
      {"14,-0", Variant::Dec(MakeDecimal(0, 0, true))},
      {"7,2026-12-09 23:30:13.5", Variant::Date(kDec9At233013_5)},
      {"7,2026-12-09T23:30:13.500", Variant::Date(kDec9At233013_5)},
      {"7,2026-12-09", Variant::Date(46365)},
      {"7,1899-12-29 06:00", Variant::Date(-1.25)},
      {"7,46365.5", Variant::Date(46365.5)},
      {"7,2026-12-09 08:00:00.000;46365.25", Variant::Date(46365.25)},
      // Arrays: bare elements of a VARIANT array are texts; braces give a type.
      {"8204,1,2,abc", MakeArray1D(VT_VARIANT, {Variant("1"), Variant("2"), Variant("abc")})},
      {"8204, {3,1} ,{5,2.5}, a b ,{0,},\"a, b\",{8,}",
       MakeArray1D(VT_VARIANT, {Variant::I4(1), Variant::R8(2.5), Variant("a b"),
                                Variant::Empty(), Variant("a, b"), Variant("")})},
      {"8204,a,,b", MakeArray1D(VT_VARIANT, {Variant("a"), Variant(""), Variant("b")})},
      {"8204,{8195,[1..2],7,8},x",
       MakeArray1D(VT_VARIANT, {MakeArray(VT_I4, {{1, 2}}, {Variant::I4(7), Variant::I4(8)}),
                                Variant("x")})},
      {"8195, 1, 2 ,3", MakeArray1D(VT_I4, {Variant::I4(1), Variant::I4(2), Variant::I4(3)})},
      {"8195,[1..2,0..1],11,21,12,22",
       MakeArray(VT_I4, {{1, 2}, {0, 2}},
                 {Variant::I4(11), Variant::I4(21), Variant::I4(12), Variant::I4(22)})},
      {"8195,", MakeArray1D(VT_I4, {})},
      {"8195,[1..0]", MakeArray(VT_I4, {{1, 0}}, {})},
      {"8200,\"say \"\"hi\"\"\",\"\"", MakeArray1D(VT_BSTR, {Variant("say \"hi\""), Variant("")})},
      {"8203,True,false,-1",
       MakeArray1D(VT_BOOL, {Variant::Bool(true), Variant::Bool(false), Variant::Bool(true)})},
      {"8199,2026-12-09 23:30:13.5,46365",
       MakeArray1D(VT_DATE, {Variant::Date(kDec9At233013_5), Variant::Date(46365)})},
  };
  for (const ParseCase& c : cases) {
    Variant v = Variant::I4(-999);
    EXPECT_EQ(ParseTypedText(c.text, &v), S_OK) << c.text;
    EXPECT_TRUE(v.Identical(c.expected))
        << c.text << ": got " << DebugString(v) << ", expected " << DebugString(c.expected);
  }
}

struct BadCase {
  const char* text;
  HRESULT expected;
};

TEST(TypedTextTest, RejectsBadTextsWithClearCodes) {
  std::string deep = "8204,";
  for (int i = 0; i < 17; ++i) deep += "{8204,";
  deep += std::string(17, '}');
  const BadCase cases[] = {
      // Malformed typed texts and type numbers.
      {"", E_INVALIDARG},
      {"42", E_INVALIDARG},
      {"x,1", E_INVALIDARG},
      {",1", E_INVALIDARG},
      {"-3,1", E_INVALIDARG},
      {"9,obj", E_INVALIDARG},     // objects have no typed text
      {"12,x", E_INVALIDARG},      // a bare VARIANT is no value
      {"99,1", E_INVALIDARG},
      {"70000,1", E_INVALIDARG},
      {"8192,", E_INVALIDARG},     // array of EMPTY
      {"16387,1", E_INVALIDARG},   // VT_BYREF|VT_I4
      // Values that do not fit their type.
      {"3,abc", DISP_E_TYPEMISMATCH},
      {"3,", DISP_E_TYPEMISMATCH},
      {"3,4.5", DISP_E_TYPEMISMATCH},
      {"3,1 2", DISP_E_TYPEMISMATCH},
      {"3,+-1", DISP_E_TYPEMISMATCH},
      {"0,x", DISP_E_TYPEMISMATCH},
      {"11,yes", DISP_E_TYPEMISMATCH},
      {"5,abc", DISP_E_TYPEMISMATCH},
      {"5,0x10", DISP_E_TYPEMISMATCH},
      {"5,--1", DISP_E_TYPEMISMATCH},
      {"5,1,5", DISP_E_TYPEMISMATCH},  // no decimal comma, whatever the locale
      {"5,NaN(0x3ff0000000000000)", DISP_E_TYPEMISMATCH},  // those bits are 1.0
      {"6,1.23456", DISP_E_TYPEMISMATCH},
      {"14,1e5", DISP_E_TYPEMISMATCH},
      {"7,2026-13-01", DISP_E_TYPEMISMATCH},
      {"7,2026-02-29", DISP_E_TYPEMISMATCH},
      {"7,2026-12-09 24:00", DISP_E_TYPEMISMATCH},
      {"7,2026-12-09 10:00:00.1234567891", DISP_E_TYPEMISMATCH},
      {"7,12/09/2026", DISP_E_TYPEMISMATCH},
      {"7,2026-12-09;x", DISP_E_TYPEMISMATCH},
      // Values out of range.
      {"3,2147483648", DISP_E_OVERFLOW},
      {"3,-2147483649", DISP_E_OVERFLOW},
      {"17,256", DISP_E_OVERFLOW},
      {"17,-1", DISP_E_OVERFLOW},
      {"21,18446744073709551616", DISP_E_OVERFLOW},
      {"11,40000", DISP_E_OVERFLOW},
      {"5,1e999", DISP_E_OVERFLOW},
      {"4,1e39", DISP_E_OVERFLOW},
      {"6,922337203685477.5808", DISP_E_OVERFLOW},
      {"14,79228162514264337593543950336", DISP_E_OVERFLOW},  // 2^96
      {"7,0099-12-31", DISP_E_OVERFLOW},
      // Malformed arrays.
      {"8195,[0..1],1", E_INVALIDARG},      // count does not match the shape
      {"8195,[0..1", E_INVALIDARG},
      {"8195,[a..b]", E_INVALIDARG},
      {"8195,[2..0]", E_INVALIDARG},
      {"8204,[abc]", E_INVALIDARG},         // a leading "[" is a shape; quote the text
      {"8204,\"abc", E_INVALIDARG},
      {"8204,\"a\"b", E_INVALIDARG},
      {"8204,a\"b\"", E_INVALIDARG},
      {"8204,{3,1", E_INVALIDARG},
      {"8204,{3,1,2}", E_INVALIDARG},
      {"8204,{99,1}", E_INVALIDARG},
      {"8204,}", E_INVALIDARG},
      {"8195,{3,1}", E_INVALIDARG},         // braces only in VARIANT arrays
      {deep.c_str(), E_INVALIDARG},         // nesting deeper than 16
      {"8195,1,x", DISP_E_TYPEMISMATCH},
      {"8204,{3,x}", DISP_E_TYPEMISMATCH},
      {"8209,1,256", DISP_E_OVERFLOW},
  };
  for (const BadCase& c : cases) {
    Variant v = Variant::I4(-999);
    EXPECT_EQ(ParseTypedText(c.text, &v), c.expected) << c.text;
    EXPECT_TRUE(v.Identical(Variant::I4(-999))) << c.text << " changed the output";
  }
  EXPECT_EQ(ParseTypedText("3,1", nullptr), E_POINTER);
}

struct FormCase {
  Variant value;
  const char* text;
};

// The text form is read by people and other programs: these pin its exact shape.
TEST(TypedTextTest, TextFormIsReadableAndExact) {
  const FormCase cases[] = {
      {Variant::I4(-42), "3,-42"},
      {Variant::Text("a,b"), "8,a,b"},
      {Variant::Empty(), "0,"},
      {Variant::Bool(true), "11,True"},
      {Variant::BoolRaw(1), "11,1"},
      {Variant::R8(0.1), "5,0.1"},
      {Variant::R8(1e300), "5,1e+300"},
      {Variant::R8(-0.0), "5,-0"},
      {Variant::R8(-kInf), "5,-Infinity"},
      {Variant::R8(kNaN), "5,NaN"},
      {Variant::R8(std::bit_cast<double>(0xfff0000000000001ull)), "5,NaN(0xfff0000000000001)"},
      {Variant::R4(0.1f), "4,0.1"},
      {Variant::Cy(Currency{std::numeric_limits<int64_t>::min()}), "6,-922337203685477.5808"},
      {Variant::Cy(Currency{15000}), "6,1.5"},
      {Variant::Dec(MakeDecimal(150, 2, false)), "14,1.50"},
      {Variant::Dec(MakeDecimal(5, 3, true)), "14,-0.005"},
      {Variant::Date(kDec9At233013_5), "7,2026-12-09 23:30:13.5"},
      {Variant::Date(46365), "7,2026-12-09"},
      {Variant::Date(-1.25), "7,1899-12-29 06:00:00"},
      {Variant::Date(-0.5), "7,1899-12-30 12:00:00.000;-0.5"},
      {Variant::Date(1e7), "7,1e+07"},
      {MakeArray1D(VT_VARIANT, {Variant("1"), Variant::I4(2), Variant("a, b"), Variant(""),
                                Variant::Empty(), Variant(" x"), Variant("[y]")}),
       "8204,1,{3,2},\"a, b\",\"\",{0,},\" x\",\"[y]\""},
      {MakeArray(VT_I4, {{1, 2}, {0, 2}},
                 {Variant::I4(11), Variant::I4(21), Variant::I4(12), Variant::I4(22)}),
       "8195,[1..2,0..1],11,21,12,22"},
      {MakeArray1D(VT_BSTR, {Variant("say \"hi\"")}), "8200,\"say \"\"hi\"\"\""},
      {MakeArray1D(VT_R8, {}), "8197,"},
      {MakeArray(VT_R8, {{-3, 0}}, {}), "8197,[-3..-4]"},
  };
  for (const FormCase& c : cases) {
    std::string text = "unchanged";
    EXPECT_EQ(FormatTypedText(c.value, &text), S_OK) << DebugString(c.value);
    EXPECT_EQ(text, c.text) << DebugString(c.value);
  }
}

TEST(TypedTextTest, ValuesWithoutTextFormAreRefused) {
  const Variant cases[] = {
      Variant::Unknown(nullptr),
      Variant::Dispatch(nullptr),
      MakeArray1D(VT_VARIANT, {Variant::I4(1), Variant::Unknown(nullptr)}),
      MakeArray1D(VT_UNKNOWN, {Variant::Unknown(nullptr)}),
  };
  for (const Variant& v : cases) {
    std::string text = "unchanged";
    EXPECT_EQ(FormatTypedText(v, &text), TVX_E_UNSUPPORTED_TYPE) << DebugString(v);
    EXPECT_EQ(text, "unchanged");
  }
  Variant target = Variant::I4(5);
  std::string text;
  ASSERT_EQ(FormatTypedText(Variant::ByRef(&target), &text), S_OK);
  EXPECT_EQ(text, "3,5");
}

// The central promise: Parse(TextForm(v)) is v, bit for bit, for every value a
// typed text can carry.
TEST(TypedTextTest, RoundTripIsExactForGeneratedValues) {
  ValueGen gen(20261209);
  for (int i = 0; i < 20000; ++i) {
    const Variant v = gen.Any();
    std::string text;
    ASSERT_EQ(FormatTypedText(v, &text), S_OK) << DebugString(v);
    Variant back;
    ASSERT_EQ(ParseTypedText(text, &back), S_OK) << DebugString(v) << "\n  text: " << text;
    ASSERT_TRUE(back.Identical(v)) << DebugString(v) << "\n  text: " << text
                                   << "\n  back: " << DebugString(back);
  }
}

// Every typed scalar also as an element of each array type that holds it, so the
// quoting and tokenising of elements sees all value texts.
TEST(TypedTextTest, RoundTripIsExactForEveryElementType) {
  ValueGen gen(7);
  for (VARTYPE elem : ValueGen::kElementTypes) {
    for (int i = 0; i < 300; ++i) {
      std::vector<Variant> elements;
      for (int k = 0; k < 5; ++k) {
        elements.push_back(
            gen.Scalar(elem == VT_VARIANT ? ValueGen::kScalarTypes[(i + k) % 20] : elem));
      }
      const Variant v = MakeArray(elem, {{-1, 5}}, elements);
      std::string text;
      ASSERT_EQ(FormatTypedText(v, &text), S_OK) << DebugString(v);
      Variant back;
      ASSERT_EQ(ParseTypedText(text, &back), S_OK) << text;
      ASSERT_TRUE(back.Identical(v)) << text << "\n  back: " << DebugString(back);
    }
  }
}

}  // namespace
}  // namespace tavrix
