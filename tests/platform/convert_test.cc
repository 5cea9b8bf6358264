#include "platform/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <vector>

#include "platform/fake_value_object.h"
#include "platform/currency.h"
#include "platform/decimal.h"
#include "platform/safearray.h"

namespace tavrix {
namespace {

constexpr LCID kEnUs = 1033;
constexpr LCID kDeDe = 1031;
constexpr LCID kFrFr = 1036;

Variant Cy(int64_t scaled) { return Variant::Cy(Currency{scaled}); }

Variant DecText(std::string_view text) {
  Decimal d;
  EXPECT_EQ(DecFromStr(text, kEnUs, 0, &d), S_OK) << text;
  return Variant::Dec(d);
}

struct Case {
  Variant src;
  VARTYPE vt;
  HRESULT hr;
  Variant want;  // checked only on success
};

void CheckCases(const std::vector<Case>& cases, LCID lcid = kEnUs, uint16_t flags = 0) {
  for (const Case& c : cases) {
    const Variant sentinel = Variant::Text("unchanged");
    Variant out = sentinel;
    const HRESULT hr = ChangeType(c.src, c.vt, &out, flags, lcid);
    const std::string what = DebugString(c.src) + " -> " + VarTypeName(c.vt);
    EXPECT_EQ(ResultText(hr), ResultText(c.hr)) << what;
    if (hr.succeeded()) {
      EXPECT_TRUE(out.Identical(c.want)) << what << " gave " << DebugString(out);
    } else {
      EXPECT_TRUE(out.Identical(sentinel)) << what << ": output changed on failure";
    }
  }
}

TEST(ChangeTypeTest, FloatsToIntegersRoundHalfToEvenThenCheckRange) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  CheckCases({
      {Variant::R8(2.5), VT_I4, S_OK, Variant::I4(2)},
      {Variant::R8(3.5), VT_I4, S_OK, Variant::I4(4)},
      {Variant::R8(-2.5), VT_I4, S_OK, Variant::I4(-2)},
      {Variant::R8(-3.5), VT_I2, S_OK, Variant::I2(-4)},
      {Variant::R8(0.5), VT_I8, S_OK, Variant::I8(0)},
      {Variant::R8(2.5000001), VT_I4, S_OK, Variant::I4(3)},
      {Variant::R4(1.5f), VT_INT, S_OK, Variant::Int(2)},
      {Variant::R8(127.4), VT_I1, S_OK, Variant::I1(127)},
      {Variant::R8(127.5), VT_I1, DISP_E_OVERFLOW, {}},
      {Variant::R8(-128.5), VT_I1, S_OK, Variant::I1(-128)},
      {Variant::R8(254.5), VT_UI1, S_OK, Variant::UI1(254)},
      {Variant::R8(255.5), VT_UI1, DISP_E_OVERFLOW, {}},
      {Variant::R8(-0.5), VT_UI4, S_OK, Variant::UI4(0)},
      {Variant::R8(-0.6), VT_UI4, DISP_E_OVERFLOW, {}},
      {Variant::R8(2147483646.5), VT_I4, S_OK, Variant::I4(2147483646)},
      {Variant::R8(2147483647.5), VT_I4, DISP_E_OVERFLOW, {}},
      {Variant::R8(4294967295.0), VT_UINT, S_OK, Variant::UInt(4294967295u)},
      {Variant::R8(9223372036854775808.0), VT_I8, DISP_E_OVERFLOW, {}},
      {Variant::R8(-9223372036854775808.0), VT_I8, S_OK, Variant::I8(INT64_MIN)},
      {Variant::R8(18446744073709549568.0), VT_UI8, S_OK, Variant::UI8(18446744073709549568u)},
      {Variant::R8(18446744073709551616.0), VT_UI8, DISP_E_OVERFLOW, {}},
      {Variant::R8(nan), VT_I4, DISP_E_OVERFLOW, {}},
      {Variant::R8(inf), VT_UI1, DISP_E_OVERFLOW, {}},
      {Variant::Date(45000.5), VT_I4, S_OK, Variant::I4(45000)},
      {Cy(25000), VT_I4, S_OK, Variant::I4(2)},
      {Cy(35000), VT_I4, S_OK, Variant::I4(4)},
      {Cy(-25000), VT_I2, S_OK, Variant::I2(-2)},
      {Cy(-5000), VT_UI1, S_OK, Variant::UI1(0)},
      {DecText("2.5"), VT_I4, S_OK, Variant::I4(2)},
      {DecText("-3.5"), VT_I4, S_OK, Variant::I4(-4)},
      {DecText("18446744073709551615"), VT_UI8, S_OK, Variant::UI8(UINT64_MAX)},
      {DecText("-1"), VT_UI8, DISP_E_OVERFLOW, {}},
  });
}

TEST(ChangeTypeTest, IntegersToNarrowerOrUnsignedTypesCheckRange) {
  CheckCases({
      {Variant::I4(-1), VT_UI4, DISP_E_OVERFLOW, {}},
      {Variant::I4(-1), VT_UI1, DISP_E_OVERFLOW, {}},
      {Variant::I4(255), VT_UI1, S_OK, Variant::UI1(255)},
      {Variant::I4(256), VT_UI1, DISP_E_OVERFLOW, {}},
      {Variant::I4(-129), VT_I1, DISP_E_OVERFLOW, {}},
      {Variant::I4(32768), VT_I2, DISP_E_OVERFLOW, {}},
      {Variant::I4(-32768), VT_I2, S_OK, Variant::I2(-32768)},
      {Variant::UI4(4294967295u), VT_I4, DISP_E_OVERFLOW, {}},
      {Variant::UI4(4294967295u), VT_I8, S_OK, Variant::I8(4294967295)},
      {Variant::I8(INT64_MIN), VT_I4, DISP_E_OVERFLOW, {}},
      {Variant::I8(-1), VT_UI8, DISP_E_OVERFLOW, {}},
      {Variant::UI8(UINT64_MAX), VT_I8, DISP_E_OVERFLOW, {}},
      {Variant::UI8(UINT64_MAX), VT_R8, S_OK, Variant::R8(18446744073709551616.0)},
      {Variant::UI2(65535), VT_I2, DISP_E_OVERFLOW, {}},
      {Variant::I1(-5), VT_INT, S_OK, Variant::Int(-5)},
      {Variant::Int(7), VT_I4, S_OK, Variant::I4(7)},
      {Variant::UInt(7), VT_UI4, S_OK, Variant::UI4(7)},
      {Variant::I8(INT64_MAX), VT_CY, DISP_E_OVERFLOW, {}},
      {Variant::I8(922337203685477), VT_CY, S_OK, Cy(9223372036854770000)},
      {Variant::I8(INT64_MAX), VT_DECIMAL, S_OK, DecText("9223372036854775807")},
  });
}

TEST(ChangeTypeTest, BooleansEmptyAndZero) {
  const Variant t = Variant::Bool(true);
  const Variant f = Variant::Bool(false);
  CheckCases({
      {t, VT_UI1, S_OK, Variant::UI1(255)},
      {t, VT_UI2, S_OK, Variant::UI2(65535)},
      {t, VT_UI4, S_OK, Variant::UI4(4294967295u)},
      {t, VT_UI8, S_OK, Variant::UI8(UINT64_MAX)},
      {t, VT_I1, S_OK, Variant::I1(-1)},
      {t, VT_I4, S_OK, Variant::I4(-1)},
      {t, VT_R8, S_OK, Variant::R8(-1)},
      {t, VT_CY, S_OK, Cy(-10000)},
      {t, VT_DATE, S_OK, Variant::Date(-1)},
      {t, VT_DECIMAL, S_OK, DecText("-1")},
      {f, VT_UI1, S_OK, Variant::UI1(0)},
      {Variant::I4(5), VT_BOOL, S_OK, t},
      {Variant::I4(0), VT_BOOL, S_OK, f},
      {Variant::R8(0.1), VT_BOOL, S_OK, t},
      {Variant::R8(-0.0), VT_BOOL, S_OK, f},
      {Variant::R8(std::nan("")), VT_BOOL, S_OK, t},
      {Cy(1), VT_BOOL, S_OK, t},
      {DecText("0.0"), VT_BOOL, S_OK, f},
      {Variant::Date(0.5), VT_BOOL, S_OK, t},
      {Variant(), VT_I4, S_OK, Variant::I4(0)},
      {Variant(), VT_R8, S_OK, Variant::R8(0)},
      {Variant(), VT_BSTR, S_OK, Variant::Text("")},
      {Variant(), VT_BOOL, S_OK, f},
      {Variant(), VT_DATE, S_OK, Variant::Date(0)},
      {Variant(), VT_CY, S_OK, Cy(0)},
      {Variant(), VT_DECIMAL, S_OK, DecText("0")},
      {Variant(), VT_DISPATCH, S_OK, Variant::Dispatch(nullptr)},
      {Variant::I4(3), VT_EMPTY, S_OK, Variant()},
  });
}

TEST(ChangeTypeTest, NullErrorArraysAndBadTypes) {
  auto array = [] {
    Ref<SafeArray> a = SafeArray::Create1D(VT_I4, 2);
    EXPECT_EQ(a->Put(1, Variant::I4(9)), S_OK);
    return Variant::Array(a);
  }();
  CheckCases({
      {Variant::Null(), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {Variant::Null(), VT_BSTR, DISP_E_TYPEMISMATCH, {}},
      {Variant::Null(), VT_EMPTY, DISP_E_TYPEMISMATCH, {}},
      {Variant::Null(), VT_NULL, S_OK, Variant::Null()},
      {Variant::Null(), VT_VARIANT, S_OK, Variant::Null()},
      {Variant::I4(1), VT_NULL, DISP_E_TYPEMISMATCH, {}},
      {Variant::Error(5), VT_I4, DISP_E_TYPEMISMATCH, {}},
      {Variant::Error(5), VT_BSTR, DISP_E_TYPEMISMATCH, {}},
      {Variant::Error(5), VT_ERROR, S_OK, Variant::Error(5)},
      {Variant::Error(5), VT_VARIANT, S_OK, Variant::Error(5)},
      {Variant::I4(5), VT_ERROR, DISP_E_TYPEMISMATCH, {}},
      {Variant::I4(5), VT_DISPATCH, DISP_E_TYPEMISMATCH, {}},
      {array, VT_ARRAY | VT_I4, S_OK, array},
      {array, VT_VARIANT, S_OK, array},
      {array, VT_I4, DISP_E_TYPEMISMATCH, {}},
      {array, VT_ARRAY | VT_R8, DISP_E_TYPEMISMATCH, {}},
      {Variant::I4(1), VT_ARRAY | VT_I4, DISP_E_TYPEMISMATCH, {}},
      {Variant::I4(1), 15, DISP_E_BADVARTYPE, {}},
      {Variant::I4(1), 0x48, DISP_E_BADVARTYPE, {}},
      {Variant::I4(1), VT_BYREF | VT_I4, DISP_E_BADVARTYPE, {}},
      {Variant::I4(1), VT_ARRAY | VT_EMPTY, DISP_E_BADVARTYPE, {}},
  });
}

TEST(ChangeTypeTest, ByteArraysAndTextsShareTheUtf16Image) {
  Variant bytes;
  ASSERT_EQ(ChangeType(Variant::Text("A\u00e9\u20ac"), VT_ARRAY | VT_UI1, &bytes), S_OK);
  ASSERT_EQ(bytes.vt(), VT_ARRAY | VT_UI1);
  const std::vector<uint8_t> want = {0x41, 0, 0xE9, 0, 0xAC, 0x20};
  ASSERT_EQ(bytes.array().size(), want.size());
  EXPECT_TRUE(std::equal(want.begin(), want.end(), bytes.array().data()));
  Variant text;
  ASSERT_EQ(ChangeType(bytes, VT_BSTR, &text), S_OK);
  EXPECT_EQ(text.text(), "A\u00e9\u20ac");

  Ref<SafeArray> odd = SafeArray::Create1D(VT_UI1, 3);
  odd->data()[0] = 0x41;
  odd->data()[2] = 0x42;
  ASSERT_EQ(ChangeType(Variant::Array(odd), VT_BSTR, &text), S_OK);
  EXPECT_EQ(text.text(), "AB");
  ASSERT_EQ(ChangeType(Variant::Text(""), VT_ARRAY | VT_UI1, &bytes), S_OK);
  EXPECT_EQ(bytes.array().size(), 0u);
  EXPECT_EQ(ChangeType(Variant::Text("1"), VT_ARRAY | VT_I4, &bytes), DISP_E_TYPEMISMATCH);
}

TEST(ChangeTypeTest, DatesAndFloatRanges) {
  CheckCases({
      {Variant::R8(2958465.99), VT_DATE, S_OK, Variant::Date(2958465.99)},
      {Variant::R8(2958466.0), VT_DATE, DISP_E_OVERFLOW, {}},
      {Variant::R8(-657434.99), VT_DATE, S_OK, Variant::Date(-657434.99)},
      {Variant::R8(-657435.0), VT_DATE, DISP_E_OVERFLOW, {}},
      {Variant::R8(std::nan("")), VT_DATE, DISP_E_OVERFLOW, {}},
      {Variant::I8(3000000), VT_DATE, DISP_E_OVERFLOW, {}},
      {Variant::I4(46365), VT_DATE, S_OK, Variant::Date(46365)},
      {Cy(15000), VT_DATE, S_OK, Variant::Date(1.5)},
      {Variant::Date(-1.25), VT_R8, S_OK, Variant::R8(-1.25)},
      {Variant::Date(1.5), VT_CY, S_OK, Cy(15000)},
      {Variant::R8(1e39), VT_R4, DISP_E_OVERFLOW, {}},
      {Variant::R8(-1e39), VT_R4, DISP_E_OVERFLOW, {}},
      {Variant::R8(3.4e38), VT_R4, S_OK, Variant::R4(3.4e38f)},
      {Variant::R8(INFINITY), VT_R4, S_OK, Variant::R4(INFINITY)},
      {Variant::R8(1e15), VT_CY, DISP_E_OVERFLOW, {}},
      {Variant::R8(-123456789.5), VT_CY, S_OK, Cy(-1234567895000)},
      {Variant::R8(1e29), VT_DECIMAL, DISP_E_OVERFLOW, {}},
      {Variant::R8(0.1), VT_DECIMAL, S_OK, DecText("0.1")},
      {Variant::R8(1.0 / 3), VT_DECIMAL, S_OK, DecText("0.333333333333333")},
      {Variant::R4(0.1f), VT_DECIMAL, S_OK, DecText("0.1")},
      {DecText("1.23455"), VT_CY, S_OK, Cy(12346)},
      {DecText("1.23445"), VT_CY, S_OK, Cy(12344)},
      {Cy(12345), VT_DECIMAL, S_OK, DecText("1.2345")},
  });
}

struct TextCase {
  LCID lcid;
  const char* text;
  VARTYPE vt;
  HRESULT hr;
  Variant want;
};

TEST(ChangeTypeTest, TextsToNumbersUnderTheLocale) {
  const std::vector<TextCase> cases = {
      {kEnUs, " 12 ", VT_I4, S_OK, Variant::I4(12)},
      {kEnUs, "-12", VT_I4, S_OK, Variant::I4(-12)},
      {kEnUs, "+12", VT_I2, S_OK, Variant::I2(12)},
      {kEnUs, "12-", VT_I4, S_OK, Variant::I4(-12)},
      {kEnUs, "(12)", VT_I4, S_OK, Variant::I4(-12)},
      {kEnUs, "1,234", VT_I4, S_OK, Variant::I4(1234)},
      {kEnUs, "1,234.5", VT_R8, S_OK, Variant::R8(1234.5)},
      {kEnUs, ".5", VT_R8, S_OK, Variant::R8(0.5)},
      {kEnUs, "1.5E3", VT_R8, S_OK, Variant::R8(1500)},
      {kEnUs, "1.5e-3", VT_R8, S_OK, Variant::R8(0.0015)},
      {kEnUs, "0.1", VT_R8, S_OK, Variant::R8(0.1)},
      {kEnUs, "2.5", VT_I4, S_OK, Variant::I4(2)},
      {kEnUs, "3.5", VT_I4, S_OK, Variant::I4(4)},
      {kEnUs, "&H1F", VT_I4, S_OK, Variant::I4(31)},
      {kEnUs, "&hff", VT_UI1, S_OK, Variant::UI1(255)},
      {kEnUs, "&HFFFF", VT_I4, S_OK, Variant::I4(-1)},
      {kEnUs, "&H10000", VT_I4, S_OK, Variant::I4(65536)},
      {kEnUs, "&HFFFFFFFF", VT_R8, S_OK, Variant::R8(-1)},
      {kEnUs, "&O17", VT_I4, S_OK, Variant::I4(15)},
      {kEnUs, "&17", VT_I4, S_OK, Variant::I4(15)},
      {kEnUs, "&H1G", VT_I4, DISP_E_TYPEMISMATCH, {}},
      {kEnUs, "&O8", VT_I4, DISP_E_TYPEMISMATCH, {}},
      {kEnUs, "9223372036854775807", VT_I8, S_OK, Variant::I8(INT64_MAX)},
      {kEnUs, "9223372036854775808", VT_I8, DISP_E_OVERFLOW, {}},
      {kEnUs, "18446744073709551615", VT_UI8, S_OK, Variant::UI8(UINT64_MAX)},
      {kEnUs, "300", VT_UI1, DISP_E_OVERFLOW, {}},
      {kEnUs, "-1", VT_UI4, DISP_E_OVERFLOW, {}},
      {kEnUs, "1e30", VT_I4, DISP_E_OVERFLOW, {}},
      {kEnUs, "1e400", VT_R8, DISP_E_OVERFLOW, {}},
      {kEnUs, "1e-400", VT_R8, S_OK, Variant::R8(0)},
      {kEnUs, "1e39", VT_R4, DISP_E_OVERFLOW, {}},
      {kEnUs, "1.23455", VT_CY, S_OK, Cy(12346)},
      {kEnUs, "922337203685477.5807", VT_CY, S_OK, Cy(INT64_MAX)},
      {kEnUs, "922337203685477.5808", VT_CY, DISP_E_OVERFLOW, {}},
      {kEnUs, "0.1000000000000000000000000001", VT_DECIMAL, S_OK,
       DecText("0.1000000000000000000000000001")},
      {kEnUs, "", VT_I4, DISP_E_TYPEMISMATCH, {}},
      {kEnUs, "  ", VT_R8, DISP_E_TYPEMISMATCH, {}},
      {kEnUs, "abc", VT_R8, DISP_E_TYPEMISMATCH, {}},
      {kEnUs, "12abc", VT_I4, DISP_E_TYPEMISMATCH, {}},
      {kEnUs, "1.2.3", VT_R8, DISP_E_TYPEMISMATCH, {}},
      {kEnUs, "1e", VT_R8, DISP_E_TYPEMISMATCH, {}},
      {kEnUs, "--1", VT_R8, DISP_E_TYPEMISMATCH, {}},
      {kEnUs, "1,5", VT_R8, S_OK, Variant::R8(15)},
      {kDeDe, "1,5", VT_R8, S_OK, Variant::R8(1.5)},
      {kDeDe, "1.234,5", VT_R8, S_OK, Variant::R8(1234.5)},
      {kDeDe, "1.5", VT_R8, S_OK, Variant::R8(15)},
      {kDeDe, "-0,25", VT_CY, S_OK, Cy(-2500)},
      {kFrFr, "1\u00a0234,5", VT_R8, S_OK, Variant::R8(1234.5)},
      {kFrFr, "1 234,5", VT_R8, S_OK, Variant::R8(1234.5)},
      {kEnUs, "True", VT_BOOL, S_OK, Variant::Bool(true)},
      {kEnUs, "fALSE", VT_BOOL, S_OK, Variant::Bool(false)},
      {kEnUs, " 0 ", VT_BOOL, S_OK, Variant::Bool(false)},
      {kEnUs, "2.5", VT_BOOL, S_OK, Variant::Bool(true)},
      {kEnUs, "yes", VT_BOOL, DISP_E_TYPEMISMATCH, {}},
      {kDeDe, "wahr", VT_BOOL, S_OK, Variant::Bool(true)},
      {kDeDe, "Falsch", VT_BOOL, S_OK, Variant::Bool(false)},
      {kDeDe, "True", VT_BOOL, S_OK, Variant::Bool(true)},
      {kFrFr, "VRAI", VT_BOOL, S_OK, Variant::Bool(true)},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.lcid) + " \"" + c.text + "\"");
    CheckCases({{Variant::Text(c.text), c.vt, c.hr, c.want}}, c.lcid);
  }
}

TEST(ChangeTypeTest, NumbersToTextsUnderTheLocale) {
  const Variant t = Variant::Bool(true);
  const Variant f = Variant::Bool(false);
  struct Row {
    LCID lcid;
    uint16_t flags;
    Variant src;
    const char* want;
  };
  const std::vector<Row> rows = {
      {kEnUs, 0, Variant::R8(1e16), "1E+16"},
      {kEnUs, 0, Variant::R8(1e15), "1E+15"},
      {kEnUs, 0, Variant::R8(123456789012345.0), "123456789012345"},
      {kEnUs, 0, Variant::R8(1234567890123456.0), "1.23456789012346E+15"},
      {kEnUs, 0, Variant::R8(0.1 + 0.2), "0.3"},
      {kEnUs, 0, Variant::R8(1.0 / 3), "0.333333333333333"},
      {kEnUs, 0, Variant::R8(2.0 / 3), "0.666666666666667"},
      {kEnUs, 0, Variant::R8(0.0001), "0.0001"},
      {kEnUs, 0, Variant::R8(0.000015), "1.5E-05"},
      {kEnUs, 0, Variant::R8(-1.5e-100), "-1.5E-100"},
      {kEnUs, 0, Variant::R8(1e100), "1E+100"},
      {kEnUs, 0, Variant::R8(100), "100"},
      {kEnUs, 0, Variant::R8(1234567.891), "1234567.891"},
      {kEnUs, 0, Variant::R8(-0.0), "0"},
      {kDeDe, 0, Variant::R8(-1234.5), "-1234,5"},
      {kDeDe, 0, Variant::R8(1.5e-7), "1,5E-07"},
      {kEnUs, 0, Variant::R4(0.1f), "0.1"},
      {kEnUs, 0, Variant::R4(3.14159265f), "3.141593"},
      {kEnUs, 0, Variant::R4(1234567.0f), "1234567"},
      {kEnUs, 0, Variant::R4(12345678.0f), "1.234568E+07"},
      {kEnUs, 0, Cy(12345), "1.2345"},
      {kEnUs, 0, Cy(15000), "1.5"},
      {kEnUs, 0, Cy(10000), "1"},
      {kEnUs, 0, Cy(-5), "-0.0005"},
      {kEnUs, 0, Cy(INT64_MIN), "-922337203685477.5808"},
      {kDeDe, 0, Cy(15000), "1,5"},
      {kEnUs, 0, DecText("-12.50"), "-12.5"},
      {kDeDe, 0, DecText("0.001"), "0,001"},
      {kEnUs, 0, Variant::I8(INT64_MIN), "-9223372036854775808"},
      {kEnUs, 0, Variant::UI8(UINT64_MAX), "18446744073709551615"},
      {kEnUs, 0, Variant::I1(-128), "-128"},
      {kEnUs, 0, Variant::UI1(200), "200"},
      {kEnUs, 0, t, "-1"},
      {kEnUs, 0, f, "0"},
      {kEnUs, VARIANT_ALPHABOOL, t, "True"},
      {kDeDe, VARIANT_ALPHABOOL, f, "False"},
      {kDeDe, VARIANT_LOCALBOOL, t, "Wahr"},
      {kDeDe, VARIANT_LOCALBOOL | VARIANT_ALPHABOOL, f, "Falsch"},
      {kFrFr, VARIANT_LOCALBOOL, t, "Vrai"},
      {kEnUs, 0, Variant::Date(46365.979317129626), "12/9/2026 11:30:13 PM"},
      {kDeDe, 0, Variant::Date(46365.979317129626), "09.12.2026 23:30:13"},
      {2057, 0, Variant::Date(46365.979317129626), "09/12/2026 23:30:13"},
      {1041, 0, Variant::Date(46365.979317129626), "2026/12/09 23:30:13"},
      {kEnUs, 0, Variant::Date(46365), "12/9/2026"},
      {kEnUs, 0, Variant::Date(0.5), "12:00:00 PM"},
      {kEnUs, 0, Variant::Date(0), "12:00:00 AM"},
      {kDeDe, 0, Variant::Date(0), "00:00:00"},
      {kEnUs, 0, Variant::Date(-1.25), "12/29/1899 6:00:00 AM"},
      {kEnUs, 0, Variant::Date(2.0 - 0.4 / 86400), "1/1/1900"},  // rounds to the second
      {kEnUs, 0, Variant::Date(-657434), "1/1/0100"},
  };
  for (const Row& r : rows) {
    Variant out;
    ASSERT_EQ(ChangeType(r.src, VT_BSTR, &out, r.flags, r.lcid), S_OK) << DebugString(r.src);
    EXPECT_EQ(out.text(), r.want) << DebugString(r.src) << " in " << r.lcid;
  }
  Variant out;
  EXPECT_EQ(ChangeType(Variant::Date(3e6), VT_BSTR, &out), E_INVALIDARG);
}

struct DateTextCase {
  LCID lcid;
  const char* text;
  HRESULT hr;
  double want;
};

TEST(ChangeTypeTest, TextsToDatesUnderTheLocale) {
  const double d = 46365;  // 2026-12-09
  const double t = (23 * 3600 + 30 * 60 + 13) / 86400.0;
  const std::vector<DateTextCase> cases = {
      {kEnUs, "12/9/2026", S_OK, d},
      {kEnUs, " 12/9/2026 11:30:13 PM ", S_OK, d + t},
      {kEnUs, "12-9-2026 23:30:13", S_OK, d + t},
      {kEnUs, "12.9.2026", S_OK, d},
      {kEnUs, "2026-12-09", S_OK, d},
      {kEnUs, "2026-12-09T23:30:13", S_OK, d + t},
      {kEnUs, "2026/12/9 11:30:13 pm", S_OK, d + t},
      {kEnUs, "9 December 2026", S_OK, d},
      {kEnUs, "Dec 9, 2026", S_OK, d},
      {kEnUs, "Wednesday, December 9, 2026 11:30:13 PM", S_OK, d + t},
      {kEnUs, "12/9/26", S_OK, d},
      {kEnUs, "12/9/29", S_OK, 47461},
      {kEnUs, "12/9/30", S_OK, 11301},
      {kEnUs, "13/12/2026", S_OK, d + 4},
      {kEnUs, "11:30:13 PM", S_OK, t},
      {kEnUs, "23:30:13", S_OK, t},
      {kEnUs, "12:00 AM", S_OK, 0},
      {kEnUs, "11 PM", S_OK, 23 / 24.0},
      {kEnUs, "12/29/1899 6:00 AM", S_OK, -1.25},
      {kEnUs, "1/1/100", S_OK, -657434},
      {kEnUs, "2/30/2026", DISP_E_TYPEMISMATCH, 0},
      {kEnUs, "12/9/10000", DISP_E_TYPEMISMATCH, 0},
      {kEnUs, "25:00", DISP_E_TYPEMISMATCH, 0},
      {kEnUs, "13:00 PM", DISP_E_TYPEMISMATCH, 0},
      {kEnUs, "10:61", DISP_E_TYPEMISMATCH, 0},
      {kEnUs, "12", DISP_E_TYPEMISMATCH, 0},
      {kEnUs, "45000.5", DISP_E_TYPEMISMATCH, 0},
      {kEnUs, "abc", DISP_E_TYPEMISMATCH, 0},
      {kEnUs, "", DISP_E_TYPEMISMATCH, 0},
      {kEnUs, "12/9/2026 1/2", DISP_E_TYPEMISMATCH, 0},
      {kDeDe, "09.12.2026", S_OK, d},
      {kDeDe, "9.12.2026 23:30:13", S_OK, d + t},
      {kDeDe, "9. Dezember 2026", S_OK, d},
      {kDeDe, "31. M\u00c4RZ 2026", S_OK, 46112},
      {kDeDe, "12/9/2026", S_OK, 46277},  // day first: 12 September
      {2057, "09/12/2026", S_OK, d},
      {kFrFr, "9 d\u00e9cembre 2026", S_OK, d},
      {kFrFr, "9 d\u00e9c. 2026 23:30:13", S_OK, d + t},
      {1041, "2026/12/09 23:30:13", S_OK, d + t},
  };
  for (const DateTextCase& c : cases) {
    double out = -99;
    EXPECT_EQ(ResultText(DateFromStr(c.text, c.lcid, 0, &out)), ResultText(c.hr))
        << c.lcid << " \"" << c.text << "\"";
    if (c.hr.succeeded()) {
      EXPECT_NEAR(out, c.want, 1e-9) << c.lcid << " \"" << c.text << "\"";
    }
  }
  // Through ChangeType the same, and the locale's own texts read back.
  for (LCID lcid : {kEnUs, kDeDe, kFrFr, LCID{2057}, LCID{1041}}) {
    for (double date : {d + t, d, t, -1.25, -657434.5, 2958465.5}) {
      Variant text, back;
      ASSERT_EQ(ChangeType(Variant::Date(date), VT_BSTR, &text, 0, lcid), S_OK);
      ASSERT_EQ(ChangeType(text, VT_DATE, &back, 0, lcid), S_OK) << text.text();
      EXPECT_NEAR(back.date(), date, 1e-9) << lcid << " " << text.text();
    }
  }
}

TEST(ChangeTypeTest, ByRefSourceIsFollowedOnce) {
  Variant target = Variant::I4(5);
  Variant ref = Variant::ByRef(&target);
  Variant out;
  ASSERT_EQ(ChangeType(ref, VT_BSTR, &out), S_OK);
  EXPECT_EQ(out.text(), "5");
  ASSERT_EQ(ChangeType(ref, VT_VARIANT, &out), S_OK);
  EXPECT_TRUE(out.Identical(Variant::I4(5)));
  Variant refToRef = Variant::ByRef(&ref);
  EXPECT_EQ(ChangeType(refToRef, VT_I4, &out), DISP_E_TYPEMISMATCH);
}

using testing::FakeValueObject;

TEST(ChangeTypeTest, ObjectsConvertThroughTheirDefaultMember) {
  Ref<FakeValueObject> obj = MakeRef<FakeValueObject>(Variant::Text("42"));
  const Variant v = Variant::Dispatch(Ref<IDispatch>(obj.get()));
  Variant out;
  ASSERT_EQ(ChangeType(v, VT_I4, &out), S_OK);
  EXPECT_TRUE(out.Identical(Variant::I4(42)));
  EXPECT_EQ(obj->calls, 1);
  EXPECT_EQ(ChangeType(v, VT_I4, &out, VARIANT_NOVALUEPROP), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(obj->calls, 1);
  ASSERT_EQ(ChangeType(v, VT_UNKNOWN, &out), S_OK);
  EXPECT_EQ(out.vt(), VT_UNKNOWN);
  EXPECT_EQ(out.unknown(), static_cast<IUnknown*>(obj.get()));
  Variant back;
  ASSERT_EQ(ChangeType(out, VT_DISPATCH, &back), S_OK);
  EXPECT_EQ(back.dispatch(), static_cast<IDispatch*>(obj.get()));
  ASSERT_EQ(ChangeType(out, VT_BSTR, &back), S_OK);  // an unknown answering IDispatch
  EXPECT_EQ(back.text(), "42");

  Ref<FakeValueObject> failing = MakeRef<FakeValueObject>(Variant(), DISP_E_EXCEPTION);
  EXPECT_EQ(ChangeType(Variant::Dispatch(Ref<IDispatch>(failing.get())), VT_I4, &out),
            DISP_E_EXCEPTION);
  Ref<FakeValueObject> text = MakeRef<FakeValueObject>(Variant::Text("x"));
  EXPECT_EQ(ChangeType(Variant::Dispatch(Ref<IDispatch>(text.get())), VT_I4, &out),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(ChangeType(Variant::Dispatch(nullptr), VT_I4, &out), DISP_E_TYPEMISMATCH);
}

TEST(CurrencyTest, ArithmeticRoundsHalfToEvenAndChecksOverflow) {
  Currency r;
  ASSERT_EQ(CyMul(Currency{15000}, Currency{3}, &r), S_OK);  // 1.5 * 0.0003 = 0.00045
  EXPECT_EQ(r.int64, 4);
  ASSERT_EQ(CyMul(Currency{15000}, Currency{5}, &r), S_OK);  // 0.00075 -> 0.0008
  EXPECT_EQ(r.int64, 8);
  ASSERT_EQ(CyMul(Currency{-15000}, Currency{3}, &r), S_OK);
  EXPECT_EQ(r.int64, -4);
  ASSERT_EQ(CyDiv(Currency{10000}, Currency{30000}, &r), S_OK);
  EXPECT_EQ(r.int64, 3333);
  ASSERT_EQ(CyDiv(Currency{-20000}, Currency{30000}, &r), S_OK);
  EXPECT_EQ(r.int64, -6667);
  EXPECT_EQ(CyDiv(Currency{1}, Currency{0}, &r), DISP_E_DIVBYZERO);
  EXPECT_EQ(CyAdd(Currency{INT64_MAX}, Currency{1}, &r), DISP_E_OVERFLOW);
  EXPECT_EQ(CySub(Currency{INT64_MIN}, Currency{1}, &r), DISP_E_OVERFLOW);
  EXPECT_EQ(CyNeg(Currency{INT64_MIN}, &r), DISP_E_OVERFLOW);
  EXPECT_EQ(CyMulI4(Currency{INT64_MAX / 2}, 3, &r), DISP_E_OVERFLOW);
  ASSERT_EQ(CyMulI8(Currency{25000}, -4, &r), S_OK);
  EXPECT_EQ(r.int64, -100000);
  ASSERT_EQ(CyInt(Currency{-15000}, &r), S_OK);
  EXPECT_EQ(r.int64, -20000);
  ASSERT_EQ(CyFix(Currency{-15000}, &r), S_OK);
  EXPECT_EQ(r.int64, -10000);
  ASSERT_EQ(CyRound(Currency{12250}, 2, &r), S_OK);  // 1.225 -> 1.22
  EXPECT_EQ(r.int64, 12200);
  ASSERT_EQ(CyRound(Currency{12350}, 2, &r), S_OK);  // 1.235 -> 1.24
  EXPECT_EQ(r.int64, 12400);
  int32_t i4 = 0;
  EXPECT_EQ(CyToI4(Currency{int64_t{3000000000} * 10000}, &i4), DISP_E_OVERFLOW);
  EXPECT_EQ(CyFromR8(std::nan(""), &r), DISP_E_OVERFLOW);
  EXPECT_EQ(CyFromR8(922337203685477.6, &r), DISP_E_OVERFLOW);
  ASSERT_EQ(CyFromR8(-1.5, &r), S_OK);
  EXPECT_EQ(r.int64, -15000);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
  EXPECT_EQ(RoundHalfEven(5.5), 6);
}

Decimal Dec(std::string_view text) {
  Decimal d;
  EXPECT_EQ(DecFromStr(text, kEnUs, 0, &d), S_OK) << text;
  return d;
}

TEST(DecimalTest, DigitsRoundToTheDecimalRange) {
  struct Row {
    const char* text;
    HRESULT hr;
    const char* want;
  };
  const Row rows[] = {
      {"79228162514264337593543950335", S_OK, "79228162514264337593543950335"},
      {"79228162514264337593543950336", DISP_E_OVERFLOW, ""},
      {"-79228162514264337593543950335", S_OK, "-79228162514264337593543950335"},
      {"1e28", S_OK, "10000000000000000000000000000"},
      {"1e29", DISP_E_OVERFLOW, ""},
      {"0.00000000000000000000000000015", S_OK, "0.0000000000000000000000000002"},
      {"0.00000000000000000000000000025", S_OK, "0.0000000000000000000000000002"},
      {"0.000000000000000000000000000250001", S_OK, "0.0000000000000000000000000003"},
      {"1e-40", S_OK, "0"},
      {"7.9228162514264337593543950335", S_OK, "7.9228162514264337593543950335"},
      // 29 digits would need more than 96 bits: one more decimal goes.
      {"7.92281625142643375935439503355", S_OK, "7.922816251426433759354395034"},
      {"1.5", S_OK, "1.5"},
      {"&HFFFF", S_OK, "-1"},
  };
  for (const Row& r : rows) {
    Decimal d;
    EXPECT_EQ(ResultText(DecFromStr(r.text, kEnUs, 0, &d)), ResultText(r.hr)) << r.text;
    if (r.hr.succeeded()) {
      EXPECT_EQ(DecToText(d), r.want) << r.text;
    }
  }
}

TEST(DecimalTest, ConversionsAndComparison) {
  int64_t i8 = 0;
  EXPECT_EQ(DecToI8(Dec("9223372036854775807.4"), &i8), S_OK);
  EXPECT_EQ(i8, INT64_MAX);
  EXPECT_EQ(DecToI8(Dec("9223372036854775807.5"), &i8), DISP_E_OVERFLOW);
  EXPECT_EQ(DecToI8(Dec("-9223372036854775808"), &i8), S_OK);
  EXPECT_EQ(i8, INT64_MIN);
  EXPECT_DOUBLE_EQ(DecToR8(Dec("-1234.5678")), -1234.5678);
  Decimal d;
  EXPECT_EQ(DecFromR8(1e300, &d), DISP_E_OVERFLOW);
  ASSERT_EQ(DecFromR8(1.0 / 3e10, &d), S_OK);
  EXPECT_EQ(DecToText(d), "0.0000000000333333333333333");
  EXPECT_EQ(DecCmp(Dec("1.50"), Dec("1.5")), 0);
  EXPECT_EQ(DecCmp(Dec("-0"), Dec("0")), 0);
  EXPECT_EQ(DecCmp(Dec("-2"), Dec("1")), -1);
  EXPECT_EQ(DecCmp(Dec("-2"), Dec("-1.9999999999999999999999999999")), -1);
  EXPECT_EQ(DecCmp(Dec("79228162514264337593543950335"), Dec("7.9228162514264337593543950335")),
            1);
  EXPECT_EQ(DecCmp(Dec("0.0000000000000000000000000002"), Dec("0.0000000000000000000000000001")),
            1);
}

TEST(DecimalTest, ArithmeticIsExactThenRounded) {
  struct Row {
    char op;
    const char* a;
    const char* b;
    HRESULT hr;
    const char* want;
  };
  const Row rows[] = {
      {'+', "0.1", "0.2", S_OK, "0.3"},
      {'+', "1", "-1.5", S_OK, "-0.5"},
      {'-', "-1", "-1", S_OK, "0"},
      {'+', "79228162514264337593543950335", "1", DISP_E_OVERFLOW, ""},
      {'+', "79228162514264337593543950334", "0.5", S_OK, "79228162514264337593543950334"},
      {'+', "79228162514264337593543950333", "0.5", S_OK, "79228162514264337593543950334"},
      {'-', "1", "0.0000000000000000000000000001", S_OK, "0.9999999999999999999999999999"},
      {'*', "1.5", "-2.5", S_OK, "-3.75"},
      {'*', "0.0000000000000001", "0.0000000000000001", S_OK, "0"},
      {'*', "0.00000000000001", "0.00000000000005", S_OK, "0.0000000000000000000000000005"},
      {'*', "79228162514264337593543950335", "79228162514264337593543950335", DISP_E_OVERFLOW, ""},
      {'*', "7.9228162514264337593543950335", "10", S_OK, "79.228162514264337593543950335"},
      {'*', "3.3333333333333333333333333333", "3", S_OK, "10"},  // 29 nines do not fit
      {'*', "1.3333333333333333333333333333", "3", S_OK, "3.9999999999999999999999999999"},
  };
  for (const Row& r : rows) {
    Decimal out;
    const HRESULT hr = r.op == '+'   ? DecAdd(Dec(r.a), Dec(r.b), &out)
                       : r.op == '-' ? DecSub(Dec(r.a), Dec(r.b), &out)
                                     : DecMul(Dec(r.a), Dec(r.b), &out);
    const std::string what = std::string(r.a) + " " + r.op + " " + r.b;
    EXPECT_EQ(ResultText(hr), ResultText(r.hr)) << what;
    if (r.hr.succeeded()) {
      EXPECT_EQ(DecToText(out), r.want) << what;
    }
  }
}

}  // namespace
}  // namespace tavrix
