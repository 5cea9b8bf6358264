#include "calc/calc_operations.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "calc/value_formatter.h"
#include "item/value_types.h"
#include "platform/locale.h"
#include "platform/safearray.h"

namespace tavrix {
namespace {

using V = Variant;

constexpr bool kVersioned = true;
constexpr bool kPlain = false;
constexpr int64_t kI8Min = std::numeric_limits<int64_t>::min();
constexpr uint64_t kUI8Max = std::numeric_limits<uint64_t>::max();
constexpr int32_t kI4Min = std::numeric_limits<int32_t>::min();

// What a failing operation must leave in *out.
const Variant kUntouched = Variant::Text("untouched");

Variant Texts(std::initializer_list<std::string_view> items) {
  Ref<SafeArray> a = SafeArray::Create1D(VT_BSTR, static_cast<uint32_t>(items.size()));
  size_t i = 0;
  for (std::string_view s : items) EXPECT_EQ(a->Put(i++, Variant::Text(s)), S_OK);
  return Variant::Array(a);
}

Variant Array(VARTYPE type, std::initializer_list<Variant> items) {
  Ref<SafeArray> a = SafeArray::Create1D(type, static_cast<uint32_t>(items.size()));
  size_t i = 0;
  for (const Variant& v : items) EXPECT_EQ(a->Put(i++, v), S_OK);
  return Variant::Array(a);
}

Variant Bytes(std::string_view bytes) {
  Ref<SafeArray> a = SafeArray::Create1D(VT_UI1, static_cast<uint32_t>(bytes.size()));
  for (size_t i = 0; i < bytes.size(); ++i) {
    a->data()[i] = static_cast<uint8_t>(bytes[i]);
  }
  return Variant::Array(a);
}

std::string BytesOf(const Variant& v) {
  const SafeArray& a = v.array();
  return std::string(reinterpret_cast<const char*>(a.data()), a.size());
}

// Runs operation `code` the way item calculations and lines call it.
HRESULT Apply(int32_t code, const Variant& left, const Variant& right,
              const CalcSettings& settings, Variant* out) {
  const CalcOperation* op = FindCalcOperation(code);
  if (op == nullptr) return E_UNEXPECTED;
  return op->operands == 1 ? op->unary(left, settings, out)
                           : op->binary(left, right, settings, out);
}

struct Case {
  int32_t code;
  Variant left;
  Variant right;  // ignored by one-operand operations
  bool versioned;
  Variant expected;  // the result on success
  HRESULT hr = S_OK;
};

void Check(const Case& c, LCID lcid = LOCALE_USER_DEFAULT) {
  SCOPED_TRACE(testing::Message() << "code " << c.code << " (" << DebugString(c.left) << ", "
                                  << DebugString(c.right) << ")"
                                  << (c.versioned ? " versioned" : ""));
  Variant out = kUntouched;
  const HRESULT hr = Apply(c.code, c.left, c.right, CalcSettings{c.versioned, lcid}, &out);
  EXPECT_EQ(hr, c.hr) << ResultText(hr);
  if (FAILED(c.hr)) {
    EXPECT_TRUE(out.Identical(kUntouched)) << DebugString(out);
  } else {
    EXPECT_TRUE(out.Identical(c.expected)) << DebugString(out);
  }
}

// The target of the by-reference operands below.
Variant* ReferencedText() {
  static Variant text = Variant::Text("ref");
  return &text;
}

TEST(CalcOperationsTest, OperationTable) {
  const Variant date = V::Date(45000.0);
  const Case cases[] = {
      // Copy; a by-reference operand is followed once.
      {0, V::I4(5), {}, kPlain, V::I4(5)},
      {0, V::ByRef(ReferencedText()), {}, kPlain, V::Text("ref")},

      // Addition and subtraction: the platform's promotion outside versioned
      // projects; widening and type restore in them.
      {1, V::I4(2), V::R8(0.5), kPlain, V::R8(2.5)},
      {1, V::UI2(1), V::UI2(2), kPlain, V::I4(3)},
      {1, V::UI2(1), V::UI2(2), kVersioned, V::UI2(3)},
      {1, V::UI4(4000000000), V::UI4(1000000000), kVersioned, V::I8(5000000000)},
      {1, V::UI4(1), V::I4(2), kVersioned, V::I8(3)},  // different types: no restore
      {1, V::I1(1), V::I1(2), kVersioned, V::I1(3)},
      {1, V::I1(100), V::I1(100), kVersioned, V::I2(200)},
      {1, V::UI8(1), V::UI8(2), kVersioned, V::UI8(3)},
      {1, V::UI8(kUI8Max), V::UI8(0), kVersioned, V::R8(18446744073709551615.0)},
      {2, V::UI4(1), V::UI4(2), kVersioned, V::I8(-1)},
      {2, V::UI8(1), V::UI8(2), kVersioned, V::I8(-1)},
      {1, V::Null(), V::I4(1), kVersioned, V::Null()},
      // The date rule.
      {1, date, V::Text("2H"), kPlain, V::Date(45000.0 + 2.0 / 24)},
      {1, date, V::Text("2h"), kVersioned, V::Date(45000.0 + 2.0 / 24)},
      {2, date, V::Text("1D12H"), kPlain, V::Date(45000.0 - 1.5)},
      {1, date, V::R8(1), kPlain, V::Date(45001.0)},
      {2, V::Date(45001.5), date, kPlain, V::R8(1.5)},
      {1, date, V::Text("1H30"), kPlain, {}, E_INVALIDARG},
      {1, date, V::Text("soon"), kPlain, {}, DISP_E_TYPEMISMATCH},
      {1, V::R8(1), V::Text("2"), kPlain, V::R8(3)},  // no date: a text is a number

      // Multiplication restores the type, division does not.
      {3, V::UI2(2), V::UI2(3), kVersioned, V::UI2(6)},
      {3, V::UI2(300), V::UI2(300), kVersioned, V::I4(90000)},
      {3, V::I4(4), V::R8(0.5), kPlain, V::R8(2)},
      {4, V::UI2(6), V::UI2(3), kVersioned, V::R8(2)},
      {4, V::I4(1), V::I4(0), kPlain, {}, DISP_E_DIVBYZERO},

      // Modulo, bit operators, integer division, implication, power.
      {5, V::I4(7), V::I4(3), kPlain, V::I4(1)},
      {6, V::I4(12), V::I4(10), kPlain, V::I4(8)},
      {7, V::I4(12), V::I4(10), kPlain, V::I4(14)},
      {8, V::I4(12), V::I4(10), kPlain, V::I4(6)},
      {18, V::I4(7), V::I4(2), kPlain, V::I4(3)},
      {18, V::I4(7), V::I4(0), kPlain, {}, DISP_E_DIVBYZERO},
      {19, V::Bool(false), V::Null(), kPlain, V::Bool(true)},
      {20, V::I4(2), V::I4(10), kPlain, V::R8(1024)},

      // Comparisons give VT_BOOL; a null operand has no order.
      {11, V::I4(1), V::R8(1), kPlain, V::Bool(true)},
      {12, V::I4(1), V::R8(1), kPlain, V::Bool(false)},
      {13, V::I4(1), V::R8(1), kPlain, V::Bool(true)},
      {14, V::I4(1), V::R8(1), kPlain, V::Bool(false)},
      {15, V::I4(1), V::R8(1), kPlain, V::Bool(true)},
      {16, V::I4(1), V::R8(1), kPlain, V::Bool(false)},
      {11, V::I4(1), V::I4(2), kPlain, V::Bool(false)},
      {12, V::I4(1), V::I4(2), kPlain, V::Bool(true)},
      {13, V::I4(1), V::I4(2), kPlain, V::Bool(true)},
      {14, V::I4(1), V::I4(2), kPlain, V::Bool(true)},
      {15, V::I4(1), V::I4(2), kPlain, V::Bool(false)},
      {16, V::I4(1), V::I4(2), kPlain, V::Bool(false)},
      {13, V::I4(3), V::I4(2), kPlain, V::Bool(false)},
      {16, V::I4(3), V::I4(2), kPlain, V::Bool(true)},
      {11, V::Text("abc"), V::Text("abc"), kPlain, V::Bool(true)},
      {16, V::UI8(kUI8Max), V::UI8(1), kVersioned, V::Bool(true)},
      {14, V::UI8(kUI8Max - 1), V::UI8(kUI8Max), kVersioned, V::Bool(true)},
      {16, V::UI8(kUI8Max), V::I8(-1), kVersioned, V::Bool(true)},
      {11, V::Null(), V::I4(1), kPlain, {}, E_INVALIDARG},
      {12, V::I4(1), V::Null(), kPlain, {}, E_INVALIDARG},
      {13, V::Null(), V::Null(), kVersioned, {}, E_INVALIDARG},
      {14, V::Null(), V::I4(1), kVersioned, {}, E_INVALIDARG},
      {15, V::Null(), V::I4(1), kPlain, {}, E_INVALIDARG},
      {16, V::I4(1), V::Null(), kPlain, {}, E_INVALIDARG},

      // One-operand arithmetic; unsigned values of versioned projects stay.
      {21, V::I4(-5), {}, kPlain, V::I4(5)},
      {21, V::I1(-5), {}, kPlain, V::I1(5)},
      {21, V::I1(-5), {}, kVersioned, V::I2(5)},
      {21, V::UI1(200), {}, kVersioned, V::UI1(200)},
      {22, V::R8(-2.5), {}, kPlain, V::R8(-2)},
      {22, V::UI4(7), {}, kVersioned, V::UI4(7)},
      {23, V::R8(-2.5), {}, kPlain, V::R8(-3)},
      {23, V::UI8(kUI8Max), {}, kVersioned, V::UI8(kUI8Max)},
      {24, V::I4(5), {}, kPlain, V::I4(-5)},
      {24, V::I1(-128), {}, kVersioned, V::I2(128)},
      {24, V::UI8(kUI8Max), {}, kVersioned, V::R8(-18446744073709551615.0)},
      {25, V::I4(0), {}, kPlain, V::I4(-1)},
      {26, V::Text("1"), {}, kPlain, V::R8(57.29577951308232)},
      {27, V::R8(57.29577951308232), {}, kPlain, V::R8(1)},
      {27, V::I4(180), {}, kPlain, V::R8(180 / 57.29577951308232)},
      {26, V::Text("x"), {}, kPlain, {}, DISP_E_TYPEMISMATCH},

      // Texts: lengths and parts count UTF-16 code units.
      {17, V::Text("ab"), V::I4(1), kPlain, V::Text("ab1")},
      {28, V::Text("abc"), {}, kPlain, V::UI4(3)},
      {28, V::I4(-12), {}, kPlain, V::UI4(3)},
      {28, V::Text("a\xF0\x9F\x98\x80"), {}, kPlain, V::UI4(3)},
      {29, V::Text("abc"), V::R8(5), kPlain, V::Text("abc")},
      {29, V::Text("abc"), V::R8(2), kPlain, V::Text("ab")},
      {29, V::Text("abc"), V::I4(-1), kPlain, {}, DISP_E_OVERFLOW},
      {30, V::Text("abc"), V::R8(2), kPlain, V::Text("bc")},
      {30, V::I4(12345), V::R8(9), kPlain, V::Text("12345")},

      // Type change: a VT_I8 whose low 16 bits are the type, never to a type
      // an item cannot hold.
      {31, V::Text("42"), V::I8(VT_I4), kPlain, V::I4(42)},
      {31, V::Text("42"), V::I8(0x70000 | VT_UI1), kPlain, V::UI1(42)},
      {31, V::R8(2.5), V::I8(VT_BSTR), kPlain, V::Text("2.5")},
      {31, V::Text("AB"), V::I8(VT_ARRAY | VT_UI1), kPlain, Bytes(std::string("A\0B\0", 4))},
      {31, V::I4(1), V::I8(VT_EMPTY), kPlain, V::Empty()},
      {31, V::Text("x"), V::I8(VT_I4), kPlain, {}, DISP_E_TYPEMISMATCH},
      {31, V::Text("42"), V::I4(VT_I4), kPlain, {}, E_INVALIDARG},
      {31, V::Text("42"), V::R8(VT_I4), kPlain, {}, E_INVALIDARG},
      {31, V::I4(1), V::I8(VT_ERROR), kPlain, {}, TVX_E_UNSUPPORTED_TYPE},
      {31, V::I4(1), V::I8(VT_DECIMAL), kPlain, {}, TVX_E_UNSUPPORTED_TYPE},
      {31, V::I4(1), V::I8(VT_DISPATCH), kPlain, {}, TVX_E_UNSUPPORTED_TYPE},
      {31, V::I4(1), V::I8(VT_UNKNOWN), kPlain, {}, TVX_E_UNSUPPORTED_TYPE},
      {31, V::I4(1), V::I8(VT_INT), kPlain, {}, TVX_E_UNSUPPORTED_TYPE},
      {31, V::I4(1), V::I8(VT_BYREF | VT_I4), kPlain, {}, TVX_E_UNSUPPORTED_TYPE},
      {31, V::I4(1), V::I8(VT_ARRAY | VT_DECIMAL), kPlain, {}, TVX_E_UNSUPPORTED_TYPE},
      {31, V::I4(1), V::I8(99), kPlain, {}, TVX_E_UNSUPPORTED_TYPE},

      // Bit mask at the left operand's width.
      {32, V::I4(-1), V::I8(0xFF), kPlain, V::I4(255)},
      {32, V::UI1(0xFF), V::R8(15), kPlain, V::UI1(15)},
      {32, V::I8(-1), V::Text("4294967296"), kPlain, V::I8(4294967296)},
      {32, V::R8(3), V::I8(1), kPlain, {}, E_INVALIDARG},
      {32, V::I4(3), V::Text("x"), kPlain, {}, DISP_E_TYPEMISMATCH},

      // BCD; 64-bit values only in versioned projects.
      {33, V::I4(1234), {}, kPlain, V::I4(0x1234)},
      {34, V::I2(0x1234), {}, kPlain, V::I2(1234)},
      {34, V::I8(0x99), {}, kPlain, {}, E_INVALIDARG},
      {34, V::I8(0x99), {}, kVersioned, V::I8(99)},
      {33, V::R8(12), {}, kPlain, {}, E_INVALIDARG},

      // Minimum and maximum keep the chosen operand's type; a text becomes
      // its number; an empty operand gives the other one.
      {35, V::I4(3), V::Text("2"), kPlain, V::R8(2)},
      {35, V::I4(3), V::Empty(), kPlain, V::I4(3)},
      {35, V::Empty(), V::I4(3), kPlain, V::I4(3)},
      {35, V::I4(2), V::R8(5), kPlain, V::I4(2)},
      {35, V::I4(3), V::I2(3), kPlain, V::I2(3)},  // equal: the right one
      {36, V::I4(3), V::Text("2"), kPlain, V::I4(3)},
      {36, V::Text("7"), V::I4(3), kPlain, V::R8(7)},
      {36, V::I4(3), V::I2(3), kPlain, V::I2(3)},
      {35, V::Null(), V::I4(3), kPlain, {}, DISP_E_TYPEMISMATCH},
      {36, V::I4(3), V::Text("x"), kPlain, {}, DISP_E_TYPEMISMATCH},

      // Decode of nothing gives the nothing back with S_FALSE.
      {38, V::Empty(), {}, kPlain, V::Empty(), S_FALSE},
      {38, V::Null(), {}, kPlain, V::Null(), S_FALSE},
      {38, V::I4(1), {}, kPlain, {}, E_INVALIDARG},
      {38, V::Text("abcd"), {}, kPlain, {}, E_INVALIDARG},
      {37, V::Error(5), {}, kPlain, {}, E_INVALIDARG},

      // Split: every occurrence, left to right, without overlaps.
      {40, V::Text("a,,b"), V::Text(","), kPlain, Texts({"a", "", "b"})},
      {40, V::Text(""), V::Text(","), kPlain, Texts({""})},
      {40, V::Text("abc"), V::Text(""), kPlain, Texts({"abc"})},
      {40, V::Text("a::b::"), V::Text("::"), kPlain, Texts({"a", "b", ""})},
      {40, V::Text("aaa"), V::Text("aa"), kPlain, Texts({"", "a"})},
      {40, V::I4(123), V::I4(2), kPlain, Texts({"1", "3"})},
      {40, V::Null(), V::Text(","), kPlain, {}, DISP_E_TYPEMISMATCH},

      // Join: the right operand must be a text.
      {41, Texts({"a", "", "b"}), V::Text("-"), kPlain, V::Text("a--b")},
      {41, Array(VT_I4, {V::I4(1), V::I4(2)}), V::Text(", "), kPlain, V::Text("1, 2")},
      {41, Array(VT_VARIANT, {V::Text("x"), V::R8(1.5)}), V::Text(""), kPlain, V::Text("x1.5")},
      {41, Texts({}), V::Text(","), kPlain, V::Text("")},
      {41, V::I4(5), V::Text(","), kPlain, V::Text("5")},
      {41, Texts({"a"}), V::I4(1), kPlain, {}, E_INVALIDARG},
      {41, Texts({"a"}), V::Empty(), kPlain, {}, E_INVALIDARG},
  };
  for (const Case& c : cases) Check(c);
}

// Conversions between numbers and texts follow the LCID setting.
TEST(CalcOperationsTest, TextConversionsUseTheLcidSetting) {
  constexpr LCID kGerman = 1031;
  const Case cases[] = {
      {31, V::R8(2.5), V::I8(VT_BSTR), kPlain, V::Text("2,5")},
      {31, V::Text("2,5"), V::I8(VT_R8), kPlain, V::R8(2.5)},
      {28, V::R8(2.5), {}, kPlain, V::UI4(3)},
      {29, V::R8(2.5), V::Text("2"), kPlain, V::Text("2,")},
      {35, V::Text("2,5"), V::I4(3), kPlain, V::R8(2.5)},
      {41, Array(VT_R8, {V::R8(2.5), V::R8(1)}), V::Text(";"), kPlain, V::Text("2,5;1")},
      {40, V::R8(1.5), V::Text(","), kPlain, Texts({"1", "5"})},
  };
  for (const Case& c : cases) Check(c, kGerman);
}

TEST(CalcOperationsTest, Shifts) {
  const int64_t i8Max = std::numeric_limits<int64_t>::max();
  const Case cases[] = {
      // Types up to 32 bits, other projects: the count modulo 32, the value
      // shifted as 32 bits and cut back to its width.
      {9, V::I2(1), V::R8(15), kPlain, V::I2(-32768)},
      {9, V::I4(1), V::I4(0), kPlain, V::I4(1)},
      {9, V::I4(1), V::I4(31), kPlain, V::I4(kI4Min)},
      {9, V::I4(1), V::I4(32), kPlain, V::I4(1)},
      {9, V::I4(1), V::I4(33), kPlain, V::I4(2)},
      {9, V::I4(1), V::I4(-1), kPlain, V::I4(kI4Min)},
      {9, V::I4(1), V::I4(255), kPlain, V::I4(kI4Min)},
      {9, V::I4(1), V::I4(256), kPlain, V::I4(1)},
      {9, V::I4(1), V::UI4(4294967295), kPlain, V::I4(kI4Min)},
      {9, V::I1(1), V::I4(7), kPlain, V::I1(-128)},
      {9, V::UI1(0x81), V::I4(1), kPlain, V::UI1(2)},
      {9, V::UI2(1), V::I4(16), kPlain, V::UI2(0)},
      {9, V::UI4(3), V::I4(31), kPlain, V::UI4(0x80000000)},
      {10, V::I4(-8), V::I4(1), kPlain, V::I4(-4)},
      {10, V::I4(kI4Min), V::I4(31), kPlain, V::I4(-1)},
      {10, V::I4(kI4Min), V::I4(32), kPlain, V::I4(kI4Min)},
      {10, V::I4(kI4Min), V::I4(-1), kPlain, V::I4(-1)},
      {10, V::UI4(0x80000000), V::I4(31), kPlain, V::UI4(1)},
      {10, V::UI4(0x80000000), V::I4(33), kPlain, V::UI4(0x40000000)},
      {10, V::I1(-128), V::I4(7), kPlain, V::I1(-1)},
      {10, V::I1(-128), V::I4(33), kPlain, V::I1(-64)},
      {10, V::UI1(0x80), V::I4(7), kPlain, V::UI1(1)},
      {10, V::I2(-1), V::I4(20), kPlain, V::I2(-1)},
      {10, V::UI2(0x8000), V::I4(15), kPlain, V::UI2(1)},
      // 64-bit types, other projects: the count's low 8 bits; 64 and more
      // shift every bit out.
      {9, V::I8(1), V::I4(63), kPlain, V::I8(kI8Min)},
      {9, V::I8(1), V::I4(64), kPlain, V::I8(0)},
      {9, V::I8(1), V::I4(-1), kPlain, V::I8(0)},
      {9, V::I8(1), V::I4(256), kPlain, V::I8(1)},
      {9, V::UI8(1), V::I4(32), kPlain, V::UI8(0x100000000)},
      {10, V::I8(-8), V::I4(64), kPlain, V::I8(-1)},
      {10, V::I8(-8), V::I4(255), kPlain, V::I8(-1)},
      {10, V::I8(-8), V::I4(256), kPlain, V::I8(-8)},
      {10, V::I8(8), V::I4(64), kPlain, V::I8(0)},
      {10, V::I8(i8Max), V::I4(62), kPlain, V::I8(1)},
      {10, V::I8(kI8Min), V::I4(63), kPlain, V::I8(-1)},
      {10, V::UI8(kUI8Max), V::I4(63), kPlain, V::UI8(1)},
      {10, V::UI8(kUI8Max), V::I4(64), kPlain, V::UI8(0)},
      {10, V::UI8(kUI8Max), V::I4(-1), kPlain, V::UI8(0)},
      // Counts: floats truncated towards zero; 64-bit counts only in
      // versioned projects, by their low 32 bits.
      {9, V::I4(1), V::R8(2.9), kPlain, V::I4(4)},
      {9, V::I4(1), V::R8(-0.5), kPlain, V::I4(1)},
      {9, V::I4(1), V::R4(3.7f), kPlain, V::I4(8)},
      {9, V::I4(1), V::UI1(3), kPlain, V::I4(8)},
      {9, V::I4(1), V::I8(3), kPlain, {}, E_INVALIDARG},
      {9, V::I4(1), V::I8(3), kVersioned, V::I4(8)},
      {9, V::I4(1), V::UI8(0x100000003), kVersioned, V::I4(8)},
      {9, V::I4(1), V::Text("3"), kPlain, {}, E_INVALIDARG},
      {9, V::I4(1), V::Bool(true), kPlain, {}, E_INVALIDARG},
      {9, V::I4(1), V::Empty(), kPlain, {}, E_INVALIDARG},
      {9, V::I4(1), V::R8(std::nan("")), kPlain, {}, E_INVALIDARG},
      {9, V::I4(1), V::R8(1e10), kPlain, {}, E_INVALIDARG},
      // Left types: the eight integers only.
      {9, V::R8(1), V::I4(1), kPlain, {}, E_INVALIDARG},
      {9, V::Bool(true), V::I4(1), kPlain, {}, E_INVALIDARG},
      {10, V::Text("8"), V::I4(1), kVersioned, {}, E_INVALIDARG},
      // Versioned projects check the count.
      {9, V::I4(1), V::I4(31), kVersioned, V::I4(kI4Min)},
      {9, V::I4(1), V::I4(32), kVersioned, {}, E_INVALIDARG},
      {9, V::I4(1), V::I4(-1), kVersioned, {}, E_INVALIDARG},
      {10, V::I2(-4), V::I4(1), kVersioned, V::I2(-2)},
      {9, V::I2(1), V::I4(20), kVersioned, V::I2(0)},
      {9, V::UI1(1), V::I4(8), kVersioned, V::UI1(0)},
      {9, V::I8(1), V::I4(63), kVersioned, V::I8(kI8Min)},
      {10, V::I8(-1), V::I4(63), kVersioned, V::I8(-1)},
      {10, V::UI8(kUI8Max), V::I4(63), kVersioned, V::UI8(1)},
      {9, V::I8(1), V::I4(64), kVersioned, {}, E_INVALIDARG},
      {10, V::UI8(1), V::I4(255), kVersioned, {}, E_INVALIDARG},
  };
  for (const Case& c : cases) Check(c);
}

TEST(CalcOperationsTest, NumberTextRule) {
  struct TextCase {
    std::string_view text;
    double days;
    HRESULT hr = S_OK;
  } cases[] = {
      {"1D12H", 1.5},
      {"30M", 30.0 / 1440},
      {"2.5", 2.5},
      {"1h30m", 1.0 / 24 + 30.0 / 1440},
      {"90s", 90.0 / 86400},
      {"-1.5D", -1.5},
      {"1D2H3M4S", 1 + 2.0 / 24 + 3.0 / 1440 + 4.0 / 86400},
      {"1H30", 0, E_INVALIDARG},
      {"1D2D", 0, E_INVALIDARG},
      {"H", 0, DISP_E_TYPEMISMATCH},
      {"xH", 0, DISP_E_TYPEMISMATCH},
      {"", 0, DISP_E_TYPEMISMATCH},
      {"abc", 0, DISP_E_TYPEMISMATCH},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.text);
    double days = -99;
    EXPECT_EQ(NumberTextToDays(c.text, &days), c.hr);
    EXPECT_DOUBLE_EQ(days, c.hr == S_OK ? c.days : -99);
  }
}

// Constants in a project file read the same whatever the server's locale.
TEST(CalcOperationsTest, NumberTextsIgnoreTheServerLocale) {
  const LCID saved = DefaultLocale();
  ASSERT_EQ(SetDefaultLocale(1031), S_OK);
  double days = 0;
  EXPECT_EQ(NumberTextToDays("2.5", &days), S_OK);
  EXPECT_DOUBLE_EQ(days, 2.5);
  EXPECT_EQ(NumberTextToDays("1.5H", &days), S_OK);
  EXPECT_DOUBLE_EQ(days, 1.5 / 24);
  EXPECT_EQ(SetDefaultLocale(saved), S_OK);
}

TEST(CalcOperationsTest, Constants) {
  struct ConstantCase {
    CalcOperandKind kind;
    std::string_view text;
    Variant expected;
    HRESULT hr = S_OK;
  } cases[] = {
      {CalcOperandKind::kNumber, "1D12H", V::R8(1.5)},
      {CalcOperandKind::kNumber, "10", V::R8(10)},
      {CalcOperandKind::kNumber, "*t", {}, DISP_E_TYPEMISMATCH},
      {CalcOperandKind::kText, "$abc", V::Text("$abc")},
      {CalcOperandKind::kText, "", V::Text("")},
      {CalcOperandKind::kInt64, "5000000000", V::I8(5000000000)},
      {CalcOperandKind::kInt64, "&HFF", V::I8(255)},
      {CalcOperandKind::kInt32, "42", V::I4(42)},
      {CalcOperandKind::kInt32, "3000000000", {}, DISP_E_OVERFLOW},
      {CalcOperandKind::kInt32, "x", {}, DISP_E_TYPEMISMATCH},
      {CalcOperandKind::kNone, "1", {}, E_INVALIDARG},
  };
  for (const ConstantCase& c : cases) {
    SCOPED_TRACE(c.text);
    Variant out = kUntouched;
    EXPECT_EQ(MakeCalcConstant(c.kind, c.text, &out), c.hr);
    EXPECT_TRUE(out.Identical(FAILED(c.hr) ? kUntouched : c.expected)) << DebugString(out);
  }
}

// The operand kinds by position, and which codes take one operand.
TEST(CalcOperationsTest, OperandKindsByPosition) {
  using K = CalcOperandKind;
  auto leftKind = [](int32_t code) {
    switch (code) {
      case 9: case 10: case 32: return K::kInt64;
      case 17: case 28: case 29: case 30: case 31: case 40: case 41: return K::kText;
      case 33: case 34: return K::kInt32;
      default: return K::kNumber;
    }
  };
  auto operands = [](int32_t code) {
    return code == 0 || (code >= 21 && code <= 28) || code == 33 || code == 34 || code == 37 ||
                   code == 38
               ? 1
               : 2;
  };
  auto rightKind = [&](int32_t code) {
    if (operands(code) == 1) return K::kNone;
    switch (code) {
      case 17: case 39: case 40: case 41: return K::kText;
      case 31: case 32: return K::kInt64;
      default: return K::kNumber;
    }
  };
  for (int32_t code = 0; code < kCalcOperationCount; ++code) {
    SCOPED_TRACE(code);
    const CalcOperation* op = FindCalcOperation(code);
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(op->code, code);
    EXPECT_EQ(op->operands, operands(code));
    EXPECT_EQ(op->left, leftKind(code));
    EXPECT_EQ(op->right, rightKind(code));
    EXPECT_EQ(op->unary != nullptr, op->operands == 1);
    EXPECT_EQ(op->binary != nullptr, op->operands == 2);
  }
  EXPECT_EQ(FindCalcOperation(-1), nullptr);
  EXPECT_EQ(FindCalcOperation(42), nullptr);
}

// Values an item may hold, as Encode writes them and Decode gives them back.
std::vector<Variant> CodecSamples() {
  return {
      V::Empty(),
      V::Null(),
      V::Bool(true),
      V::I1(-5),
      V::UI1(250),
      V::I2(-300),
      V::UI2(65535),
      V::I4(kI4Min),
      V::UI4(4000000000),
      V::I8(kI8Min),
      V::UI8(kUI8Max),
      V::R4(1.25f),
      V::R8(-0.1),
      V::Cy(Currency{123456}),
      V::Date(45000.25),
      V::Text(""),
      V::Text("h\xC3\xA9llo \xF0\x9F\x98\x80"),
      Array(VT_I4, {V::I4(1), V::I4(-2)}),
      Array(VT_BOOL, {V::Bool(true), V::Bool(false)}),
      Texts({"a", "", "b"}),
      Array(VT_VARIANT, {V::I2(1), V::Text("x"), V::Null(), V::Date(2)}),
      Array(VT_UI1, {}),
  };
}

TEST(CalcOperationsTest, EncodeThenDecodeGivesTheValueBack) {
  const CalcSettings settings;
  for (const Variant& value : CodecSamples()) {
    SCOPED_TRACE(DebugString(value));
    Variant bytes;
    ASSERT_EQ(Apply(37, value, {}, settings, &bytes), S_OK);
    ASSERT_EQ(bytes.vt(), VT_ARRAY | VT_UI1);
    ASSERT_EQ(bytes.array().dims(), 1u);
    EXPECT_EQ(bytes.array().lbound(0), 0);
    Variant back;
    ASSERT_EQ(Apply(38, bytes, {}, settings, &back), S_OK);
    EXPECT_TRUE(back.Identical(value)) << DebugString(back);
    // Bytes behind the first value are not read.
    Variant longer = Bytes(BytesOf(bytes) + "\x07\x00garbage");
    back.Clear();
    ASSERT_EQ(Apply(38, longer, {}, settings, &back), S_OK);
    EXPECT_TRUE(back.Identical(value)) << DebugString(back);
  }
}

TEST(CalcOperationsTest, EncodingIsAOneValueBackupRow) {
  Variant bytes;
  ASSERT_EQ(Apply(37, V::I4(5), {}, CalcSettings{}, &bytes), S_OK);
  // u32 byte count 10, then the record: u16 type 3, u32 count 1, the value.
  EXPECT_EQ(BytesOf(bytes), std::string("\x0A\0\0\0" "\x03\0" "\x01\0\0\0" "\x05\0\0\0", 14));
}

TEST(CalcOperationsTest, DecodeRefusesMalformedBytes) {
  Ref<SafeArray> square = SafeArray::Create(VT_UI1, std::vector<SafeArrayBound>{{0, 2}, {0, 2}});
  const Variant cases[] = {
      Bytes(""),
      Bytes(std::string("\x01\0\0", 3)),                         // fewer than 4 bytes
      Bytes(std::string("\x0A\0\0\0\x03\0\x01\0\0\0\x05\0\0", 13)),  // count beyond the bytes
      Bytes(std::string("\xFF\xFF\xFF\xFF\x03\0", 6)),          // a huge count
      Bytes(std::string("\0\0\0\0", 4)),                         // an empty record
      Bytes(std::string("\x0A\0\0\0\x00\0\x01\0\0\0\x05\0\0\0", 14)),  // record shorter than count
      Bytes(std::string("\x06\0\0\0\x09\0\x01\0\0\0", 10)),      // VT_DISPATCH
      Bytes(std::string("\x06\0\0\0\x0E\0\x01\0\0\0", 10)),      // VT_DECIMAL
      // An array of variants holding an array of variants: no item holds it.
      Bytes(std::string("\x12\0\0\0\x0C\x20\x01\0\0\0\x0C\x20\x01\0\0\0\0\0\x01\0\0\0", 22)),
      Variant::Array(square),
      Array(VT_I1, {V::I1(4), V::I1(0), V::I1(0), V::I1(0)}),
  };
  for (const Variant& bytes : cases) {
    SCOPED_TRACE(DebugString(bytes));
    Variant out = kUntouched;
    EXPECT_EQ(Apply(38, bytes, {}, CalcSettings{}, &out), E_INVALIDARG);
    EXPECT_TRUE(out.Identical(kUntouched));
  }
}

// Random and mutated byte arrays: Decode gives a value an item may hold or
// E_INVALIDARG, and never reads outside the array (the sanitizer build
// checks that).
TEST(CalcOperationsTest, DecodeSurvivesHostileBytes) {
  std::mt19937 rng(20240611);
  std::vector<std::string> seeds;
  for (const Variant& value : CodecSamples()) {
    Variant bytes;
    ASSERT_EQ(Apply(37, value, {}, CalcSettings{}, &bytes), S_OK);
    seeds.push_back(BytesOf(bytes));
  }
  auto byte = [&] { return static_cast<char>(rng() & 0xFF); };
  int decoded = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string bytes;
    if (round % 2 == 0) {
      bytes.resize(rng() % 48);
      for (char& b : bytes) b = byte();
      // Mostly a byte count that fits, so the record itself gets read.
      if (bytes.size() >= 4 && rng() % 4 != 0) {
        const auto count = static_cast<uint32_t>(bytes.size() - 4 - rng() % (bytes.size() - 3));
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((count >> (8 * i)) & 0xFF);
      }
    } else {
      bytes = seeds[rng() % seeds.size()];
      for (int edits = 1 + static_cast<int>(rng() % 4); edits > 0; --edits) {
        const size_t at = bytes.empty() ? 0 : rng() % bytes.size();
        switch (rng() % 4) {
          case 0:
            if (!bytes.empty()) bytes[at] = byte();
            break;
          case 1:
            bytes.resize(at);
            break;
          case 2:
            bytes.insert(at, 1, byte());
            break;
          default:
            if (at + 1 < bytes.size()) bytes[at + 1] = static_cast<char>(0xFF);
            break;
        }
      }
    }
    Variant out = kUntouched;
    const HRESULT hr = Apply(38, Bytes(bytes), {}, CalcSettings{}, &out);
    if (hr == S_OK) {
      ++decoded;
      EXPECT_TRUE(IsSupportedValue(out)) << DebugString(out);
    } else {
      ASSERT_EQ(hr, E_INVALIDARG) << ResultText(hr);
      ASSERT_TRUE(out.Identical(kUntouched));
    }
  }
  // The mutations must reach the record decoding, not only the length check.
  EXPECT_GT(decoded, 0);
}

class FakeFormatter : public IValueFormatter {
 public:
  HRESULT Format(const Variant& value, const Variant& format, LCID lcid, Variant* out) override {
    if (format.IsText() && format.text() == "error") {
      *out = Variant::Error(1);
      return S_OK;
    }
    *out = Variant::Text(DebugString(value) + "|" + DebugString(format) + "|" +
                         std::to_string(lcid));
    return S_OK;
  }
};

// Installs a formatter for one test and removes it again.
class FormatTest : public testing::Test {
 protected:
  void SetUp() override { SetValueFormatter(std::make_shared<FakeFormatter>()); }
  void TearDown() override { SetValueFormatter(nullptr); }
};

TEST_F(FormatTest, UsesTheInstalledFormatter) {
  const CalcSettings settings{false, 1031};
  Variant out;
  ASSERT_EQ(Apply(39, V::R8(1.5), V::Text("0.00"), settings, &out), S_OK);
  EXPECT_TRUE(out.Identical(
      V::Text(DebugString(V::R8(1.5)) + "|" + DebugString(V::Text("0.00")) + "|1031")))
      << DebugString(out);
  // A formatter's result no item may hold is refused.
  out = kUntouched;
  EXPECT_EQ(Apply(39, V::R8(1.5), V::Text("error"), settings, &out), TVX_E_UNSUPPORTED_TYPE);
  EXPECT_TRUE(out.Identical(kUntouched));

  SetValueFormatter(nullptr);
  EXPECT_EQ(Apply(39, V::R8(1.5), V::Text("0.00"), settings, &out), E_NOTIMPL);
  EXPECT_TRUE(out.Identical(kUntouched));
}

}  // namespace
}  // namespace tavrix
