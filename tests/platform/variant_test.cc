#include "platform/variant.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/safearray.h"

namespace tavrix {
namespace {

TEST(VariantTest, CopiesShareTextAndArrayPayloads) {
  Variant a = Variant::Text(std::string(1000, 'x'));
  Variant b = a;
  EXPECT_EQ(&a.text(), &b.text());  // one shared payload
  b = Variant::I4(3);
  EXPECT_EQ(a.text().size(), 1000u);

  Variant arr = Variant::Array(SafeArray::Create1D(VT_I4, 3));
  Variant copy = arr;
  EXPECT_EQ(&arr.array(), &copy.array());
  ASSERT_EQ(copy.MutableArray().Put(0, Variant::I4(7)), S_OK);  // copy on write
  EXPECT_NE(&arr.array(), &copy.array());
  EXPECT_EQ(arr.array().At(0).i4(), 0);
  EXPECT_EQ(copy.array().At(0).i4(), 7);
}

TEST(VariantTest, TypesAndMoves) {
  EXPECT_EQ(Variant().vt(), VT_EMPTY);
  EXPECT_EQ(Variant::Null().vt(), VT_NULL);
  EXPECT_EQ(Variant(true).boolVal(), VARIANT_TRUE);
  EXPECT_EQ(Variant(false).boolVal(), VARIANT_FALSE);
  EXPECT_EQ(Variant::Array(SafeArray::Create1D(VT_UI1, 1)).vt(), VT_ARRAY | VT_UI1);
  Variant t("abc");
  Variant moved = std::move(t);
  EXPECT_TRUE(t.IsEmpty());  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_EQ(moved.text(), "abc");
  EXPECT_TRUE(Variant::Missing().IsMissing());
}

TEST(VariantTest, ByRefIsFollowedOnce) {
  Variant target = Variant::I2(5);
  Variant ref = Variant::ByRef(&target);
  EXPECT_EQ(ref.vt(), VT_BYREF | VT_VARIANT);
  EXPECT_EQ(ref.Deref().i2(), 5);
  Variant copy = ref;  // copying a reference copies the reference only
  EXPECT_EQ(copy.byref(), &target);
}

TEST(VariantTest, IdenticalComparesTypeAndValue) {
  EXPECT_TRUE(Variant::I4(1).Identical(Variant::I4(1)));
  EXPECT_FALSE(Variant::I4(1).Identical(Variant::I2(1)));
  EXPECT_TRUE(Variant::R8(std::nan("")).Identical(Variant::R8(std::nan(""))));
  EXPECT_FALSE(Variant::R8(0.0).Identical(Variant::R8(-0.0)));
  EXPECT_TRUE(Variant("a").Identical(Variant::Text("a")));
  Ref<SafeArray> x = SafeArray::Create1D(VT_VARIANT, 2, 1);
  Ref<SafeArray> y = SafeArray::Create1D(VT_VARIANT, 2, 0);
  EXPECT_FALSE(Variant::Array(x).Identical(Variant::Array(y)));  // bounds differ
}

}  // namespace
}  // namespace tavrix
