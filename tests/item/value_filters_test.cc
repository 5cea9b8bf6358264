#include "item/value_filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/safearray.h"

namespace tavrix {
namespace {

TEST(ValueFiltersTest, MaskKeepsTheValueWidthAndType) {
  struct Case {
    Variant in;
    int64_t mask;
    Variant out;  // Empty: refused with E_INVALIDARG
  } cases[] = {
      {Variant::UI1(0xFF), 0x10F, Variant::UI1(0x0F)},
      {Variant::I1(-1), 0x7F, Variant::I1(0x7F)},
      {Variant::I2(-1), 0xF0F0F, Variant::I2(static_cast<int16_t>(0xF0F))},
      {Variant::UI2(0x1234), 0xFF00, Variant::UI2(0x1200)},
      {Variant::I4(-1), 0x1FFFFFFFF, Variant::I4(-1)},
      {Variant::UI4(0xABCDEF01), 0xFFFF, Variant::UI4(0xEF01)},
      {Variant::I8(-1), 0x100000000, Variant::I8(0x100000000)},
      {Variant::UI8(0xFFFFFFFFFFFFFFFF), -2, Variant::UI8(0xFFFFFFFFFFFFFFFE)},
      {Variant::R8(3.0), 1, Variant()},
      {Variant::Text("3"), 1, Variant()},
      {Variant::Bool(true), 1, Variant()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(DebugString(c.in));
    Variant v = c.in;
    if (c.out.IsEmpty()) {
      EXPECT_EQ(ApplyMask(&v, c.mask), E_INVALIDARG);
      EXPECT_TRUE(v.Identical(c.in));
    } else {
      EXPECT_EQ(ApplyMask(&v, c.mask), S_OK);
      EXPECT_TRUE(v.Identical(c.out)) << DebugString(v);
    }
  }
}

TEST(ValueFiltersTest, BcdDecodeAndEncode) {
  struct Case {
    Variant bcd;
    Variant number;
    bool versioned;
  } cases[] = {
      {Variant::I2(0x1234), Variant::I2(1234), false},
      {Variant::UI1(0x99), Variant::UI1(99), false},
      {Variant::UI4(0x12345678), Variant::UI4(12345678), false},
      {Variant::I4(0x99999999), Variant::I4(99999999), false},
      {Variant::UI8(0x1234567890123456), Variant::UI8(1234567890123456), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(DebugString(c.bcd));
    Variant v = c.bcd;
    ASSERT_EQ(DecodeBcd(&v, c.versioned), S_OK);
    EXPECT_TRUE(v.Identical(c.number)) << DebugString(v);
    ASSERT_EQ(EncodeBcd(&v, c.versioned), S_OK);
    EXPECT_TRUE(v.Identical(c.bcd)) << DebugString(v);
  }
  // Nibbles above 9 are not refused; digits beyond the type are dropped.
  Variant v = Variant::UI1(0x1A);
  ASSERT_EQ(DecodeBcd(&v, false), S_OK);
  EXPECT_TRUE(v.Identical(Variant::UI1(20)));
  v = Variant::UI2(12345);
  ASSERT_EQ(EncodeBcd(&v, false), S_OK);
  EXPECT_TRUE(v.Identical(Variant::UI2(0x2345)));
  // 64-bit types only in a versioned project; other types never.
  for (Variant bad : {Variant::I8(1), Variant::R4(1), Variant::Text("12")}) {
    Variant w = bad;
    EXPECT_EQ(DecodeBcd(&w, false), E_INVALIDARG);
    EXPECT_EQ(EncodeBcd(&w, false), E_INVALIDARG);
    EXPECT_TRUE(w.Identical(bad));
  }
}

TEST(ValueFiltersTest, DeadBandAndRangeByType) {
  struct Case {
    Variant v;
    bool inBand;     // within [0, 10]
    bool outOfRange;  // outside [0, 10]
  } cases[] = {
      {Variant::I2(5), true, false},
      {Variant::UI1(10), true, false},
      {Variant::I4(-1), false, true},
      {Variant::R8(10.0), true, false},
      {Variant::R8(10.000000001), false, true},  // double precision against the limit
      {Variant::R4(10.0000001f), true, false},    // single precision: that is 10
      {Variant::I4(16777217), false, true},
      {Variant::Text("5"), false, false},
      {Variant::I8(5), false, false},
      {Variant::Bool(true), false, false},
      {Variant(), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(DebugString(c.v));
    EXPECT_EQ(InDeadBand(c.v, 0.0f, 10.0f), c.inBand);
    EXPECT_EQ(OutOfRange(c.v, 0.0f, 10.0f), c.outOfRange);
  }
}

Variant Array1D(std::vector<int32_t> values, int32_t lower = 0) {
  Ref<SafeArray> a = SafeArray::Create1D(VT_I4, static_cast<uint32_t>(values.size()), lower);
  for (size_t i = 0; i < values.size(); ++i) (void)a->Put(i, Variant::I4(values[i]));
  return Variant::Array(a);
}

TEST(ValueFiltersTest, ChangeComparison) {
  struct Case {
    Variant a, b;
    bool compareArrays;
    bool equal;
  } cases[] = {
      {Variant::I4(1), Variant::I4(1), false, true},
      {Variant::I4(1), Variant::I2(1), false, false},  // another type is a change
      {Variant::Null(), Variant::Null(), false, true},
      {Variant::R8(1.5), Variant::R8(1.5), false, true},
      {Variant::Text("a"), Variant::Text("A"), false, false},
      {Variant::UI8(~0ull), Variant::UI8(~0ull), false, true},
      {Array1D({1, 2}), Array1D({1, 2}), false, false},  // arrays differ unless compared
      {Array1D({1, 2}), Array1D({1, 2}), true, true},
      {Array1D({1, 2}), Array1D({1, 3}), true, false},
      {Array1D({1, 2}), Array1D({1, 2}, 1), true, false},
      {Array1D({1, 2}), Array1D({1, 2, 3}), true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(DebugString(c.a) + " vs " + DebugString(c.b));
    EXPECT_EQ(ValuesEqual(c.a, c.b, c.compareArrays, 1033), c.equal);
  }
}

TEST(ValueFiltersTest, ElementSuffixAndExtraction) {
  ElementIndex e;
  EXPECT_EQ(ParseElementSuffix("Temp", false, &e), S_OK);
  EXPECT_FALSE(e.present);
  EXPECT_EQ(ParseElementSuffix("Arr(2,1,0)", false, &e), S_OK);
  EXPECT_TRUE(e.present);
  EXPECT_EQ(e.count, 3);
  EXPECT_EQ(ParseElementSuffix("Arr(x)", false, &e), E_INVALIDARG);
  EXPECT_EQ(ParseElementSuffix("Blk(1)|Sub(3)", true, &e), S_OK);
  EXPECT_EQ(e.index[0], 3);
  EXPECT_EQ(ParseElementSuffix("Blk(1)|Sub", true, &e), S_OK);
  EXPECT_FALSE(e.present);

  // a(0 to 2, 0 to 1): "(2,1,0)" selects a(1, 2), the index vector naming the
  // right-most dimension first.
  const SafeArrayBound bounds[] = {{0, 3}, {0, 2}};
  Ref<SafeArray> a = SafeArray::Create(VT_I4, bounds);
  for (int32_t x = 0; x < 3; ++x) {
    for (int32_t y = 0; y < 2; ++y) {
      const int32_t idx[] = {x, y};
      (void)a->Put(idx, Variant::I4(x * 10 + y));
    }
  }
  Variant v = Variant::Array(a);
  ASSERT_EQ(ParseElementSuffix("Arr(1,2,0)", false, &e), S_OK);
  ASSERT_EQ(ExtractElement(e, &v), S_OK);
  EXPECT_TRUE(v.Identical(Variant::I4(21)));
  Variant scalar = Variant::I4(7);  // no array: unchanged
  EXPECT_EQ(ExtractElement(e, &scalar), S_OK);
  EXPECT_TRUE(scalar.Identical(Variant::I4(7)));
  Variant oneD = Array1D({5, 6});
  ASSERT_EQ(ParseElementSuffix("Arr(9)", false, &e), S_OK);
  EXPECT_EQ(ExtractElement(e, &oneD), DISP_E_BADINDEX);
}

TEST(ValueFiltersTest, ChatterFilterSequences) {
  const Variant A = Variant::I4(1), B = Variant::I4(2);
  struct Case {
    std::vector<Variant> reads;
    std::vector<bool> passes;
  } cases[] = {
      {{A, A, A, A}, {false, false, false, true}},
      {{A, A, B, B, B}, {false, false, false, false, true}},  // the counter kept its 1
      {{A, B, A, B}, {false, false, false, false}},
  };
  for (const Case& c : cases) {
    ChatterFilter filter;
    for (size_t i = 0; i < c.reads.size(); ++i) {
      EXPECT_EQ(filter.Pass(c.reads[i], 3, false, 1033), c.passes[i]) << "read " << i;
    }
  }
}

}  // namespace
}  // namespace tavrix
