#include "platform/arith.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/fake_value_object.h"
#include "platform/decimal.h"
#include "platform/safearray.h"

namespace tavrix {
namespace {

using BinaryFn = HRESULT (*)(const Variant&, const Variant&, Variant*);
using UnaryFn = HRESULT (*)(const Variant&, Variant*);

const Variant kE = Variant::Empty();
const Variant kNull = Variant::Null();
const Variant kTrue = Variant::Bool(true);
const Variant kFalse = Variant::Bool(false);

Variant Dec(bool negative, uint64_t magnitude, uint8_t scale) {
  Decimal d;
  d.negative = negative;
  d.lo64 = magnitude;
  d.scale = scale;
  return Variant::Dec(d);
}
Variant Cy(int64_t units) { return Variant::Cy(Currency{units}); }
Variant T(const char* s) { return Variant::Text(s); }

// Same type and value; decimals by value (1.50 equals 1.5).
bool SameValue(const Variant& a, const Variant& b) {
  if (a.vt() == VT_DECIMAL && b.vt() == VT_DECIMAL) return DecCmp(a.dec(), b.dec()) == 0;
  return a.Identical(b);
}

struct BinaryCase {
  const char* name;
  BinaryFn fn;
  Variant left;
  Variant right;
  HRESULT hr;
  Variant expected;  // ignored on failure
};

struct UnaryCase {
  const char* name;
  UnaryFn fn;
  Variant in;
  HRESULT hr;
  Variant expected;
};

// Runs a table; on failure the output must keep its earlier value.
void RunBinary(const std::vector<BinaryCase>& cases) {
  for (const BinaryCase& c : cases) {
    SCOPED_TRACE(c.name);
    Variant out = T("unchanged");
    const HRESULT hr = c.fn(c.left, c.right, &out);
    EXPECT_EQ(hr, c.hr) << ResultText(hr);
    if (c.hr.succeeded()) {
      EXPECT_TRUE(SameValue(out, c.expected))
          << DebugString(out) << " expected " << DebugString(c.expected);
    } else {
      EXPECT_TRUE(out.Identical(T("unchanged"))) << DebugString(out);
    }
  }
}

void RunUnary(const std::vector<UnaryCase>& cases) {
  for (const UnaryCase& c : cases) {
    SCOPED_TRACE(c.name);
    Variant out = T("unchanged");
    const HRESULT hr = c.fn(c.in, &out);
    EXPECT_EQ(hr, c.hr) << ResultText(hr);
    if (c.hr.succeeded()) {
      EXPECT_TRUE(SameValue(out, c.expected))
          << DebugString(out) << " expected " << DebugString(c.expected);
    } else {
      EXPECT_TRUE(out.Identical(T("unchanged"))) << DebugString(out);
    }
  }
}

Variant Object(Variant value, HRESULT hr = S_OK) {
  return Variant::Dispatch(MakeRef<testing::FakeValueObject>(std::move(value), hr));
}

TEST(VarArithTest, AddSubMulResultTypesAndPromotion) {
  const double fltMax = FLT_MAX;
  RunBinary({
      {"Empty+Empty is I2 0", VarAdd, kE, kE, S_OK, Variant::I2(0)},
      {"Empty takes the other type", VarAdd, kE, Variant::UI1(7), S_OK, Variant::UI1(7)},
      {"Empty-Date", VarSub, kE, Variant::Date(2), S_OK, Variant::Date(-2)},
      {"Bool+Bool is I2", VarAdd, kTrue, kTrue, S_OK, Variant::I2(-2)},
      {"Bool*I2", VarMul, kTrue, Variant::I2(3), S_OK, Variant::I2(-3)},
      {"Empty+Bool is I2", VarAdd, kE, kTrue, S_OK, Variant::I2(-1)},
      {"UI1+UI1 fits", VarAdd, Variant::UI1(100), Variant::UI1(100), S_OK, Variant::UI1(200)},
      {"UI1 overflow to I2", VarAdd, Variant::UI1(200), Variant::UI1(100), S_OK,
       Variant::I2(300)},
      {"UI1 below zero to I2", VarSub, Variant::UI1(1), Variant::UI1(2), S_OK, Variant::I2(-1)},
      {"UI1*UI1 skips to I4", VarMul, Variant::UI1(255), Variant::UI1(255), S_OK,
       Variant::I4(65025)},
      {"UI1+I2 is I2", VarAdd, Variant::UI1(1), Variant::I2(2), S_OK, Variant::I2(3)},
      {"I2 overflow to I4", VarAdd, Variant::I2(32767), Variant::I2(1), S_OK,
       Variant::I4(32768)},
      {"I2+I4 is I4", VarAdd, Variant::I2(1), Variant::I4(2), S_OK, Variant::I4(3)},
      {"I4 overflow to R8", VarAdd, Variant::I4(INT32_MAX), Variant::I4(1), S_OK,
       Variant::R8(2147483648.0)},
      {"I4 product to R8", VarMul, Variant::I4(65536), Variant::I4(65536), S_OK,
       Variant::R8(4294967296.0)},
      {"I8 overflow fails", VarAdd, Variant::I8(INT64_MAX), Variant::I8(1), DISP_E_OVERFLOW, {}},
      {"I8 product overflow", VarMul, Variant::I8(INT64_MAX), Variant::I2(2), DISP_E_OVERFLOW,
       {}},
      {"I1+I1 is I4", VarAdd, Variant::I1(100), Variant::I1(100), S_OK, Variant::I4(200)},
      {"UI2+UI1 is I4", VarAdd, Variant::UI2(65535), Variant::UI1(1), S_OK, Variant::I4(65536)},
      {"INT+I2 is I4", VarAdd, Variant::Int(5), Variant::I2(1), S_OK, Variant::I4(6)},
      {"UI4 beyond I4 to R8", VarAdd, Variant::UI4(3000000000u), Variant::UI4(0), S_OK,
       Variant::R8(3e9)},
      {"UI8+I2 is I8", VarAdd, Variant::UI8(5), Variant::I2(1), S_OK, Variant::I8(6)},
      {"R4+I2 is R4", VarAdd, Variant::R4(1.5f), Variant::I2(2), S_OK, Variant::R4(3.5f)},
      {"R4+I4 is R8", VarAdd, Variant::R4(1.5f), Variant::I4(2), S_OK, Variant::R8(3.5)},
      {"R4*I8 is R8", VarMul, Variant::R4(1.5f), Variant::I8(2), S_OK, Variant::R8(3.0)},
      {"R4 overflow to R8", VarAdd, Variant::R4(FLT_MAX), Variant::R4(FLT_MAX), S_OK,
       Variant::R8(fltMax * 2)},
      {"R8 overflow fails", VarMul, Variant::R8(DBL_MAX), Variant::R8(2), DISP_E_OVERFLOW, {}},
      {"R8 exact double sum", VarAdd, Variant::R8(0.1), Variant::R8(0.2), S_OK,
       Variant::R8(0.1 + 0.2)},
      {"CY+R8 is CY", VarAdd, Cy(15000), Variant::R8(0.25), S_OK, Cy(17500)},
      {"CY*R8 is R8", VarMul, Cy(15000), Variant::R8(2), S_OK, Variant::R8(3.0)},
      {"CY*R4 is CY", VarMul, Cy(15000), Variant::R4(2), S_OK, Cy(30000)},
      {"CY*CY rounds", VarMul, Cy(15), Cy(5000), S_OK, Cy(8)},  // 0.0015*0.5 -> 0.0008
      {"CY-I4 is CY", VarSub, Cy(15000), Variant::I4(2), S_OK, Cy(-5000)},
      {"CY overflow fails", VarAdd, Cy(INT64_MAX), Cy(1), DISP_E_OVERFLOW, {}},
      {"DEC+I4 exact", VarAdd, Dec(false, 15, 1), Variant::I4(2), S_OK, Dec(false, 35, 1)},
      {"DEC beats CY", VarAdd, Dec(false, 1, 4), Cy(1), S_OK, Dec(false, 2, 4)},
      {"DEC*DEC exact", VarMul, Dec(false, 11, 1), Dec(true, 11, 1), S_OK, Dec(true, 121, 2)},
      {"DATE+I2 is DATE", VarAdd, Variant::Date(45000.5), Variant::I2(1), S_OK,
       Variant::Date(45001.5)},
      {"I2+DATE is DATE", VarAdd, Variant::I2(1), Variant::Date(45000.5), S_OK,
       Variant::Date(45001.5)},
      {"DATE-R8 is DATE", VarSub, Variant::Date(45000.5), Variant::R8(0.25), S_OK,
       Variant::Date(45000.25)},
      {"DATE-DATE is R8", VarSub, Variant::Date(45001.75), Variant::Date(45000.5), S_OK,
       Variant::R8(1.25)},
      {"DATE past 9999 is R8", VarAdd, Variant::Date(2958465), Variant::I4(10), S_OK,
       Variant::R8(2958475)},
      {"DATE*I2 is R8", VarMul, Variant::Date(2), Variant::I2(3), S_OK, Variant::R8(6)},
  });
}

TEST(VarArithTest, TextsNullsAndErrorsInAddSubMul) {
  RunBinary({
      {"text+text joins", VarAdd, T("12"), T("3"), S_OK, T("123")},
      {"text+Empty is the text", VarAdd, T("ab"), kE, S_OK, T("ab")},
      {"Empty+text is the text", VarAdd, kE, T("ab"), S_OK, T("ab")},
      {"text+number adds as R8", VarAdd, T("34"), Variant::I2(6), S_OK, Variant::R8(40)},
      {"text-text subtracts", VarSub, T("5"), T("3"), S_OK, Variant::R8(2)},
      {"text*text multiplies", VarMul, T("1.5"), T("2"), S_OK, Variant::R8(3)},
      {"text+CY is CY", VarAdd, T("1.5"), Cy(10000), S_OK, Cy(25000)},
      {"text+DATE is DATE", VarAdd, T("1"), Variant::Date(2), S_OK, Variant::Date(3)},
      {"text that is no number", VarAdd, T("abc"), Variant::I2(1), DISP_E_TYPEMISMATCH, {}},
      {"no number in Sub", VarSub, Variant::I2(1), T("1x"), DISP_E_TYPEMISMATCH, {}},
      {"Null+I4", VarAdd, kNull, Variant::I4(1), S_OK, kNull},
      {"I4-Null", VarSub, Variant::I4(1), kNull, S_OK, kNull},
      {"Null*Empty", VarMul, kNull, kE, S_OK, kNull},
      {"Null+text", VarAdd, kNull, T("abc"), S_OK, kNull},
      {"Error+I4", VarAdd, Variant::Error(5), Variant::I4(1), DISP_E_TYPEMISMATCH, {}},
      {"Null+Error", VarAdd, kNull, Variant::Error(5), DISP_E_TYPEMISMATCH, {}},
  });
}

TEST(VarArithTest, Division) {
  RunBinary({
      {"I4/I4 is R8", VarDiv, Variant::I4(1), Variant::I4(2), S_OK, Variant::R8(0.5)},
      {"I2/I2 is R8", VarDiv, Variant::I2(7), Variant::I2(2), S_OK, Variant::R8(3.5)},
      {"R4/R4 is R4", VarDiv, Variant::R4(1), Variant::R4(4), S_OK, Variant::R4(0.25f)},
      {"R4/I2 is R4", VarDiv, Variant::R4(1), Variant::I2(3), S_OK, Variant::R4(1.0f / 3)},
      {"R4/I4 is R8", VarDiv, Variant::R4(1), Variant::I4(4), S_OK, Variant::R8(0.25)},
      {"R4 beyond float is R8", VarDiv, Variant::R4(FLT_MAX), Variant::R4(0.5f), S_OK,
       Variant::R8(static_cast<double>(FLT_MAX) * 2)},
      {"CY/CY is R8", VarDiv, Cy(10000), Cy(30000), S_OK, Variant::R8(1.0 / 3)},
      {"DATE/I2 is R8", VarDiv, Variant::Date(3), Variant::I2(2), S_OK, Variant::R8(1.5)},
      {"DEC/I4 is DEC", VarDiv, Dec(false, 3, 0), Variant::I4(4), S_OK, Dec(false, 75, 2)},
      {"texts divide", VarDiv, T("6"), T("3"), S_OK, Variant::R8(2)},
      {"Empty/number is 0", VarDiv, kE, Variant::I4(2), S_OK, Variant::R8(0)},
      {"by zero", VarDiv, Variant::I4(1), Variant::I4(0), DISP_E_DIVBYZERO, {}},
      {"by Empty", VarDiv, Variant::I4(1), kE, DISP_E_DIVBYZERO, {}},
      {"zero by zero", VarDiv, Variant::R8(0), Variant::I4(0), DISP_E_OVERFLOW, {}},
      {"Empty by Empty", VarDiv, kE, kE, DISP_E_OVERFLOW, {}},
      {"too large", VarDiv, Variant::R8(1e308), Variant::R8(1e-308), DISP_E_OVERFLOW, {}},
      {"Null by zero", VarDiv, kNull, Variant::I4(0), S_OK, kNull},
  });
}

TEST(VarArithTest, IntegerDivisionAndModulo) {
  RunBinary({
      {"I4\\I4", VarIdiv, Variant::I4(11), Variant::I4(4), S_OK, Variant::I4(2)},
      {"UI1\\UI1 keeps UI1", VarIdiv, Variant::UI1(11), Variant::UI1(4), S_OK, Variant::UI1(2)},
      {"I2 truncates toward zero", VarIdiv, Variant::I2(-11), Variant::I2(4), S_OK,
       Variant::I2(-2)},
      {"Bool\\I2 is I2", VarIdiv, kTrue, Variant::I2(1), S_OK, Variant::I2(-1)},
      {"I8\\I4 is I8", VarIdiv, Variant::I8(10), Variant::I4(3), S_OK, Variant::I8(3)},
      {"R8 rounds half to even, 10.5 -> 10", VarIdiv, Variant::R8(10.5), Variant::I2(4), S_OK,
       Variant::I4(2)},
      {"R8 rounds, 11.5 -> 12", VarIdiv, Variant::R8(11.5), Variant::I2(4), S_OK,
       Variant::I4(3)},
      {"CY rounds, 2.5 -> 2", VarIdiv, Cy(25000), Variant::I2(1), S_OK, Variant::I4(2)},
      {"texts are rounded too", VarIdiv, T("7"), T("2"), S_OK, Variant::I4(3)},
      {"divisor rounding to 0", VarIdiv, Variant::I4(5), Variant::R8(0.4), DISP_E_DIVBYZERO, {}},
      {"I2 min \\ -1 is I4", VarIdiv, Variant::I2(INT16_MIN), Variant::I2(-1), S_OK,
       Variant::I4(32768)},
      {"I4 min \\ -1 is R8", VarIdiv, Variant::I4(INT32_MIN), Variant::I4(-1), S_OK,
       Variant::R8(2147483648.0)},
      {"I8 min \\ -1 overflows", VarIdiv, Variant::I8(INT64_MIN), Variant::I8(-1),
       DISP_E_OVERFLOW, {}},
      {"R8 beyond I4", VarIdiv, Variant::R8(3e9), Variant::I4(1), DISP_E_OVERFLOW, {}},
      {"Empty\\Empty", VarIdiv, kE, kE, DISP_E_DIVBYZERO, {}},
      {"by zero", VarIdiv, Variant::I4(5), kE, DISP_E_DIVBYZERO, {}},
      {"Null\\0", VarIdiv, kNull, Variant::I4(0), S_OK, kNull},
      {"10 Mod 3", VarMod, Variant::I4(10), Variant::I4(3), S_OK, Variant::I4(1)},
      {"sign follows the dividend", VarMod, Variant::I4(-10), Variant::I4(3), S_OK,
       Variant::I4(-1)},
      {"negative divisor", VarMod, Variant::I4(10), Variant::I4(-3), S_OK, Variant::I4(1)},
      {"12 Mod 4.3 is 0", VarMod, Variant::I2(12), Variant::R8(4.3), S_OK, Variant::I4(0)},
      {"12.6 Mod 5 is 3", VarMod, Variant::R8(12.6), Variant::I2(5), S_OK, Variant::I4(3)},
      {"UI1 Mod keeps UI1", VarMod, Variant::UI1(200), Variant::UI1(7), S_OK, Variant::UI1(4)},
      {"I2 min Mod -1", VarMod, Variant::I2(INT16_MIN), Variant::I2(-1), S_OK, Variant::I2(0)},
      {"I8 min Mod -1", VarMod, Variant::I8(INT64_MIN), Variant::I8(-1), S_OK, Variant::I8(0)},
      {"Mod by zero", VarMod, Variant::I4(1), Variant::I4(0), DISP_E_DIVBYZERO, {}},
      {"Empty Mod Empty", VarMod, kE, kE, DISP_E_DIVBYZERO, {}},
      {"Mod no number", VarMod, T("x"), Variant::I4(2), DISP_E_TYPEMISMATCH, {}},
  });
}

TEST(VarArithTest, Power) {
  RunBinary({
      {"2^10", VarPow, Variant::I2(2), Variant::I2(10), S_OK, Variant::R8(1024)},
      {"0^0 is 1", VarPow, kE, kE, S_OK, Variant::R8(1)},
      {"texts", VarPow, T("2"), T("-1"), S_OK, Variant::R8(0.5)},
      {"R4 gives R8", VarPow, Variant::R4(2), Variant::R4(2), S_OK, Variant::R8(4)},
      {"negative base, fractional power", VarPow, Variant::R8(-8), Variant::R8(1.0 / 3),
       E_INVALIDARG, {}},
      {"0 to a negative power", VarPow, Variant::I4(0), Variant::I4(-1), DISP_E_DIVBYZERO, {}},
      {"too large", VarPow, Variant::I4(10), Variant::I4(400), DISP_E_OVERFLOW, {}},
      {"Null^0", VarPow, kNull, Variant::I4(0), S_OK, kNull},
  });
}

TEST(VarArithTest, Concatenation) {
  RunBinary({
      {"texts", VarCat, T("ab"), T("cd"), S_OK, T("abcd")},
      {"Null&Null is Null", VarCat, kNull, kNull, S_OK, kNull},
      {"Null is empty text", VarCat, kNull, T("x"), S_OK, T("x")},
      {"text&Null", VarCat, T("x"), kNull, S_OK, T("x")},
      {"Empty&Empty", VarCat, kE, kE, S_OK, T("")},
      {"Bool as word", VarCat, kTrue, kFalse, S_OK, T("TrueFalse")},
      {"integer", VarCat, Variant::I4(-12), T("x"), S_OK, T("-12x")},
      {"double", VarCat, Variant::R8(1.5), kE, S_OK, T("1.5")},
      {"currency", VarCat, Cy(25000), T(""), S_OK, T("2.5")},
      {"date under the default locale", VarCat, Variant::Date(45000.5), T(""), S_OK,
       T("3/15/2023 12:00:00 PM")},
      {"decimal", VarCat, Dec(true, 12345, 2), T(""), S_OK, T("-123.45")},
      {"Error fails", VarCat, Variant::Error(5), T("x"), DISP_E_TYPEMISMATCH, {}},
  });
}

TEST(VarLogicTest, BitwiseResultTypes) {
  RunBinary({
      {"Bool And Bool", VarAnd, kTrue, kFalse, S_OK, kFalse},
      {"Bool Or Bool", VarOr, kTrue, kFalse, S_OK, kTrue},
      {"10 And 8", VarAnd, Variant::I2(10), Variant::I2(8), S_OK, Variant::I2(8)},
      {"10 Or 8", VarOr, Variant::I2(10), Variant::I2(8), S_OK, Variant::I2(10)},
      {"8 Imp 10", VarImp, Variant::I2(8), Variant::I2(10), S_OK, Variant::I2(-1)},
      {"12 Xor 10", VarXor, Variant::I2(12), Variant::I2(10), S_OK, Variant::I2(6)},
      {"12 Eqv 10", VarEqv, Variant::I2(12), Variant::I2(10), S_OK, Variant::I2(-7)},
      {"Bool And I2 is I2", VarAnd, kTrue, Variant::I2(12), S_OK, Variant::I2(12)},
      {"UI1 And UI1 keeps UI1", VarAnd, Variant::UI1(0xF0), Variant::UI1(0x3C), S_OK,
       Variant::UI1(0x30)},
      {"UI1 Eqv keeps 8 bits", VarEqv, Variant::UI1(0x0F), Variant::UI1(0x0F), S_OK,
       Variant::UI1(0xFF)},
      {"UI1 Or Bool is I2", VarOr, Variant::UI1(1), kFalse, S_OK, Variant::I2(1)},
      {"I4 And I2 is I4", VarAnd, Variant::I4(0x10001), Variant::I2(-1), S_OK,
       Variant::I4(0x10001)},
      {"I8 Or I4 is I8", VarOr, Variant::I8(int64_t{1} << 40), Variant::I4(1), S_OK,
       Variant::I8((int64_t{1} << 40) | 1)},
      {"UI4 Xor UI4 keeps UI4", VarXor, Variant::UI4(0xFFFFFFFFu), Variant::UI4(1), S_OK,
       Variant::UI4(0xFFFFFFFEu)},
      {"R8 rounds half to even to I4", VarAnd, Variant::R8(10.5), Variant::I4(15), S_OK,
       Variant::I4(10)},
      {"R8 beyond I4", VarOr, Variant::R8(3e9), Variant::I4(1), DISP_E_OVERFLOW, {}},
      {"CY rounds to I4", VarOr, Cy(15000), Variant::I2(0), S_OK, Variant::I4(2)},
      {"number text", VarAnd, T("12"), Variant::I2(10), S_OK, Variant::I4(8)},
      {"boolean text", VarAnd, T(" true "), kTrue, S_OK, kTrue},
      {"other text", VarOr, T("abc"), kTrue, DISP_E_TYPEMISMATCH, {}},
      {"Empty And Empty", VarAnd, kE, kE, S_OK, Variant::I2(0)},
      {"Empty Or I2", VarOr, kE, Variant::I2(5), S_OK, Variant::I2(5)},
      {"Error", VarXor, Variant::Error(1), Variant::I2(5), DISP_E_TYPEMISMATCH, {}},
  });
}

// The three-valued tables: each row is "<left><right><result>" with T, F, N.
TEST(VarLogicTest, NullTruthTables) {
  const auto value = [](char c) { return c == 'T' ? kTrue : c == 'F' ? kFalse : kNull; };
  const struct {
    const char* name;
    BinaryFn fn;
    const char* rows;
  } kTables[] = {
      {"And", VarAnd, "TTT TFF TNN FTF FFF FNF NTN NFF NNN"},
      {"Or", VarOr, "TTT TFT TNT FTT FFF FNN NTT NFN NNN"},
      {"Xor", VarXor, "TTF TFT TNN FTT FFF FNN NTN NFN NNN"},
      {"Eqv", VarEqv, "TTT TFF TNN FTF FFT FNN NTN NFN NNN"},
      {"Imp", VarImp, "TTT TFF TNN FTT FFT FNT NTT NFN NNN"},
  };
  for (const auto& table : kTables) {
    const std::string rows = table.rows;
    for (size_t i = 0; i + 2 < rows.size(); i += 4) {
      SCOPED_TRACE(std::string(table.name) + " " + rows.substr(i, 3));
      Variant out;
      ASSERT_EQ(table.fn(value(rows[i]), value(rows[i + 1]), &out), S_OK);
      EXPECT_TRUE(out.Identical(value(rows[i + 2]))) << DebugString(out);
    }
  }
}

TEST(VarLogicTest, NullWithNumbers) {
  RunBinary({
      {"Null And 0 is that 0", VarAnd, kNull, Variant::I4(0), S_OK, Variant::I4(0)},
      {"Null And 5 is Null", VarAnd, Variant::I4(5), kNull, S_OK, kNull},
      {"Null Or -1 is that -1", VarOr, kNull, Variant::I4(-1), S_OK, Variant::I4(-1)},
      {"Null Or 255 (UI1 all set)", VarOr, Variant::UI1(255), kNull, S_OK, Variant::UI1(255)},
      {"Null Or 5 is Null", VarOr, kNull, Variant::I2(5), S_OK, kNull},
      {"0 Imp Null is -1", VarImp, Variant::I4(0), kNull, S_OK, Variant::I4(-1)},
      {"Null Imp -1", VarImp, kNull, Variant::I2(-1), S_OK, Variant::I2(-1)},
      {"Null And Empty", VarAnd, kNull, kE, S_OK, Variant::I2(0)},
      {"Null And bad text", VarAnd, kNull, T("x"), DISP_E_TYPEMISMATCH, {}},
  });
}

TEST(VarLogicTest, Not) {
  RunUnary({
      {"Not True", VarNot, kTrue, S_OK, kFalse},
      {"Not False", VarNot, kFalse, S_OK, kTrue},
      {"Not Null", VarNot, kNull, S_OK, kNull},
      {"Not 10", VarNot, Variant::I2(10), S_OK, Variant::I2(-11)},
      {"Not UI1", VarNot, Variant::UI1(0x0F), S_OK, Variant::UI1(0xF0)},
      {"Not UI4", VarNot, Variant::UI4(0), S_OK, Variant::UI4(0xFFFFFFFFu)},
      {"Not I8", VarNot, Variant::I8(0), S_OK, Variant::I8(-1)},
      {"Not Empty", VarNot, kE, S_OK, Variant::I2(-1)},
      {"Not R8 rounds first", VarNot, Variant::R8(1.5), S_OK, Variant::I4(-3)},
      {"Not R8 beyond I4", VarNot, Variant::R8(1e10), DISP_E_OVERFLOW, {}},
      {"Not number text", VarNot, T("5"), S_OK, Variant::I4(-6)},
      {"Not boolean text", VarNot, T("True"), S_OK, kFalse},
      {"Not other text", VarNot, T("maybe"), DISP_E_TYPEMISMATCH, {}},
  });
}

TEST(VarArithTest, NegAndAbs) {
  RunUnary({
      {"Neg I2", VarNeg, Variant::I2(5), S_OK, Variant::I2(-5)},
      {"Neg I2 min is I4", VarNeg, Variant::I2(INT16_MIN), S_OK, Variant::I4(32768)},
      {"Neg I1 min is I2", VarNeg, Variant::I1(INT8_MIN), S_OK, Variant::I2(128)},
      {"Neg I4 min is R8", VarNeg, Variant::I4(INT32_MIN), S_OK, Variant::R8(2147483648.0)},
      {"Neg I8 min overflows", VarNeg, Variant::I8(INT64_MIN), DISP_E_OVERFLOW, {}},
      {"Neg UI1 is I2", VarNeg, Variant::UI1(5), S_OK, Variant::I2(-5)},
      {"Neg UI4 is I8", VarNeg, Variant::UI4(4000000000u), S_OK, Variant::I8(-4000000000)},
      {"Neg UI8 beyond I8", VarNeg, Variant::UI8(UINT64_MAX), DISP_E_OVERFLOW, {}},
      {"Neg Bool is I2", VarNeg, kTrue, S_OK, Variant::I2(1)},
      {"Neg Empty is I2 0", VarNeg, kE, S_OK, Variant::I2(0)},
      {"Neg Null", VarNeg, kNull, S_OK, kNull},
      {"Neg R4", VarNeg, Variant::R4(1.5f), S_OK, Variant::R4(-1.5f)},
      {"Neg text is R8", VarNeg, T("3"), S_OK, Variant::R8(-3)},
      {"Neg CY", VarNeg, Cy(10000), S_OK, Cy(-10000)},
      {"Neg CY min overflows", VarNeg, Cy(INT64_MIN), DISP_E_OVERFLOW, {}},
      {"Neg DEC", VarNeg, Dec(false, 15, 1), S_OK, Dec(true, 15, 1)},
      {"Neg DATE", VarNeg, Variant::Date(45000.25), S_OK, Variant::Date(-45000.25)},
      {"Neg DATE leaving the calendar", VarNeg, Variant::Date(2000000), S_OK,
       Variant::R8(-2000000)},
      {"Neg Error", VarNeg, Variant::Error(3), DISP_E_TYPEMISMATCH, {}},
      {"Neg bad text", VarNeg, T("x"), DISP_E_TYPEMISMATCH, {}},
      {"Abs I2 min is I4", VarAbs, Variant::I2(INT16_MIN), S_OK, Variant::I4(32768)},
      {"Abs I4 min is R8", VarAbs, Variant::I4(INT32_MIN), S_OK, Variant::R8(2147483648.0)},
      {"Abs I2", VarAbs, Variant::I2(-5), S_OK, Variant::I2(5)},
      {"Abs keeps positive", VarAbs, Variant::I8(5), S_OK, Variant::I8(5)},
      {"Abs UI1", VarAbs, Variant::UI1(200), S_OK, Variant::UI1(200)},
      {"Abs True is I2 1", VarAbs, kTrue, S_OK, Variant::I2(1)},
      {"Abs False is I2 0", VarAbs, kFalse, S_OK, Variant::I2(0)},
      {"Abs Empty", VarAbs, kE, S_OK, Variant::I2(0)},
      {"Abs R4", VarAbs, Variant::R4(-1.5f), S_OK, Variant::R4(1.5f)},
      {"Abs text", VarAbs, T("-2.5"), S_OK, Variant::R8(2.5)},
      {"Abs CY", VarAbs, Cy(-15000), S_OK, Cy(15000)},
      {"Abs DEC", VarAbs, Dec(true, 15, 1), S_OK, Dec(false, 15, 1)},
  });
}

TEST(VarArithTest, FixAndInt) {
  RunUnary({
      {"Fix -8.4", VarFix, Variant::R8(-8.4), S_OK, Variant::R8(-8)},
      {"Int -8.4", VarInt, Variant::R8(-8.4), S_OK, Variant::R8(-9)},
      {"Fix 99.8", VarFix, Variant::R8(99.8), S_OK, Variant::R8(99)},
      {"Int 99.8", VarInt, Variant::R8(99.8), S_OK, Variant::R8(99)},
      {"Int R4", VarInt, Variant::R4(-0.5f), S_OK, Variant::R4(-1)},
      {"Fix CY", VarFix, Cy(-15000), S_OK, Cy(-10000)},
      {"Int CY", VarInt, Cy(-15000), S_OK, Cy(-20000)},
      {"Fix DEC", VarFix, Dec(true, 15, 1), S_OK, Dec(true, 1, 0)},
      {"Int DEC", VarInt, Dec(true, 15, 1), S_OK, Dec(true, 2, 0)},
      {"Int DEC whole", VarInt, Dec(true, 200, 2), S_OK, Dec(true, 2, 0)},
      {"Int small negative DEC", VarInt, Dec(true, 1, 28), S_OK, Dec(true, 1, 0)},
      {"Fix small DEC is 0", VarFix, Dec(true, 1, 28), S_OK, Dec(false, 0, 0)},
      {"Int DATE keeps DATE", VarInt, Variant::Date(45000.75), S_OK, Variant::Date(45000)},
      {"Fix I4 unchanged", VarFix, Variant::I4(7), S_OK, Variant::I4(7)},
      {"Fix True is I2", VarFix, kTrue, S_OK, Variant::I2(-1)},
      {"Int text is R8", VarInt, T("2.5"), S_OK, Variant::R8(2)},
      {"Int Null", VarInt, kNull, S_OK, kNull},
  });
}

TEST(VarOperandTest, ReferencesObjectsAndBadOperands) {
  Variant target = Variant::I4(5);
  Variant ref = Variant::ByRef(&target);
  Variant out;
  ASSERT_EQ(VarAdd(ref, Variant::I4(1), &out), S_OK);
  EXPECT_TRUE(out.Identical(Variant::I4(6)));
  ASSERT_EQ(VarNeg(ref, &out), S_OK);
  EXPECT_TRUE(out.Identical(Variant::I4(-5)));

  Variant obj = Object(Variant::I4(40));
  ASSERT_EQ(VarAdd(obj, Variant::I2(2), &out), S_OK);
  EXPECT_TRUE(out.Identical(Variant::I4(42)));
  ASSERT_EQ(VarCat(Object(T("abc")), T("x"), &out), S_OK);
  EXPECT_TRUE(out.Identical(T("abcx")));
  ASSERT_EQ(VarNot(Object(kTrue), &out), S_OK);
  EXPECT_TRUE(out.Identical(kFalse));
  ASSERT_EQ(VarAnd(Object(kNull), kFalse, &out), S_OK);
  EXPECT_TRUE(out.Identical(kFalse));
  // An object whose value is an object is followed, as conversions do.
  ASSERT_EQ(VarAdd(Object(Object(Variant::I4(1))), Variant::I4(1), &out), S_OK);
  EXPECT_TRUE(out.Identical(Variant::I4(2)));

  Variant array = Variant::Array(SafeArray::Create1D(VT_I4, 2));
  Variant nullRef = Variant::ByRef(nullptr);
  Variant refToRef = Variant::ByRef(&ref);
  const struct {
    const char* name;
    Variant operand;
    HRESULT hr;
  } kBad[] = {
      {"failing default member", Object(kE, DISP_E_MEMBERNOTFOUND), DISP_E_MEMBERNOTFOUND},
      {"object whose value is an array", Object(Variant::Array(SafeArray::Create1D(VT_I4, 1))),
       DISP_E_TYPEMISMATCH},
      {"null object", Variant::Dispatch(nullptr), DISP_E_TYPEMISMATCH},
      {"array", array, DISP_E_TYPEMISMATCH},
      {"null reference", nullRef, DISP_E_BADVARTYPE},
      {"reference to a reference", refToRef, DISP_E_BADVARTYPE},
  };
  const BinaryFn kBinary[] = {VarAdd, VarSub, VarMul, VarDiv, VarIdiv, VarMod, VarPow,
                              VarCat, VarAnd, VarOr,  VarXor, VarEqv,  VarImp};
  const UnaryFn kUnary[] = {VarNeg, VarNot, VarAbs, VarFix, VarInt};
  for (const auto& bad : kBad) {
    SCOPED_TRACE(bad.name);
    for (BinaryFn fn : kBinary) {
      out = T("unchanged");
      EXPECT_EQ(fn(bad.operand, Variant::I4(1), &out), bad.hr);
      EXPECT_EQ(fn(kNull, bad.operand, &out), bad.hr);
      EXPECT_TRUE(out.Identical(T("unchanged")));
    }
    for (UnaryFn fn : kUnary) {
      EXPECT_EQ(fn(bad.operand, &out), bad.hr);
      EXPECT_TRUE(out.Identical(T("unchanged")));
    }
  }
}

TEST(VarOperandTest, BadTypeOnTheRightIsFoundBeforeCallingTheLeftObject) {
  auto object = MakeRef<testing::FakeValueObject>(Variant::I4(1), S_OK);
  Variant out;
  EXPECT_EQ(VarAdd(Variant::Dispatch(object), Variant::ByRef(nullptr), &out), DISP_E_BADVARTYPE);
  EXPECT_EQ(object->calls, 0);
}

TEST(VarOperandTest, OutputMayAliasAnOperand) {
  Variant v = Variant::I2(32767);
  ASSERT_EQ(VarAdd(v, v, &v), S_OK);
  EXPECT_TRUE(v.Identical(Variant::I4(65534)));
  Variant t = T("ab");
  ASSERT_EQ(VarCat(t, t, &t), S_OK);
  EXPECT_TRUE(t.Identical(T("abab")));
}

}  // namespace
}  // namespace tavrix
