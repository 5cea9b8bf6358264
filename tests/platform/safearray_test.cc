#include "platform/safearray.h"

#include <gtest/gtest.h>

#include <array>

namespace tavrix {
namespace {

TEST(SafeArrayTest, ColumnMajorWithLowerBounds) {
  // a(1 to 2, -1 to 1): the leftmost index varies fastest.
  const SafeArrayBound b[] = {{1, 2}, {-1, 3}};
  Ref<SafeArray> a = SafeArray::Create(VT_I4, b);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->size(), 6u);
  EXPECT_EQ(a->ubound(0), 2);
  EXPECT_EQ(a->ubound(1), 1);
  for (int32_t j = -1; j <= 1; ++j) {
    for (int32_t i = 1; i <= 2; ++i) {
      const std::array<int32_t, 2> idx{i, j};
      ASSERT_EQ(a->Put(idx, Variant::I4(i * 10 + j)), S_OK);
    }
  }
  EXPECT_EQ(a->At(0).i4(), 9);   // (1,-1)
  EXPECT_EQ(a->At(1).i4(), 19);  // (2,-1)
  EXPECT_EQ(a->At(2).i4(), 10);  // (1,0)
  Variant v;
  const std::array<int32_t, 2> bad{3, 0};
  EXPECT_EQ(a->Get(bad, &v), DISP_E_BADINDEX);
  const std::array<int32_t, 1> wrongDims{1};
  EXPECT_EQ(a->Get(wrongDims, &v), DISP_E_BADINDEX);
  EXPECT_EQ(a->Get(6, &v), DISP_E_BADINDEX);
}

TEST(SafeArrayTest, PutRequiresTheElementType) {
  Ref<SafeArray> bytes = SafeArray::Create1D(VT_UI1, 2);
  EXPECT_EQ(bytes->Put(0, Variant::I4(1)), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(bytes->Put(1, Variant::UI1(0xAB)), S_OK);
  EXPECT_EQ(bytes->data()[1], 0xAB);
  Ref<SafeArray> texts = SafeArray::Create1D(VT_BSTR, 1);
  EXPECT_EQ(texts->Put(0, Variant::I4(1)), DISP_E_TYPEMISMATCH);
  Ref<SafeArray> vars = SafeArray::Create1D(VT_VARIANT, 1);
  EXPECT_EQ(vars->Put(0, Variant("x")), S_OK);
  EXPECT_EQ(vars->At(0).text(), "x");
}

TEST(SafeArrayTest, RejectsUnusableShapes) {
  EXPECT_FALSE(SafeArray::Create(VT_I4, {}));
  EXPECT_FALSE(SafeArray::Create1D(VT_EMPTY, 1));
  const SafeArrayBound huge[] = {{0, 0x10000}, {0, 0x10000}};
  EXPECT_FALSE(SafeArray::Create(VT_UI1, huge));
  EXPECT_TRUE(SafeArray::Create1D(VT_R8, 0));
}

TEST(SafeArrayTest, RedimLastKeepsElements) {
  Ref<SafeArray> a = SafeArray::Create1D(VT_BSTR, 2);
  ASSERT_EQ(a->Put(1, Variant("b")), S_OK);
  ASSERT_EQ(a->RedimLast({0, 4}), S_OK);
  EXPECT_EQ(a->size(), 4u);
  EXPECT_EQ(a->At(1).text(), "b");
  EXPECT_EQ(a->At(3).text(), "");
  ASSERT_EQ(a->RedimLast({0, 1}), S_OK);
  EXPECT_EQ(a->size(), 1u);
}

}  // namespace
}  // namespace tavrix
