#include "item/value_types.h"

#include <gtest/gtest.h>

#include "platform/safearray.h"

namespace tavrix {
namespace {

Variant VariantArray(std::initializer_list<Variant> elements) {
  Ref<SafeArray> a = SafeArray::Create1D(VT_VARIANT, static_cast<uint32_t>(elements.size()));
  size_t i = 0;
  for (const Variant& e : elements) (void)a->Put(i++, e);
  return Variant::Array(a);
}

TEST(ValueTypesTest, SupportedValues) {
  Variant target = Variant::I4(1);
  struct Case {
    const char* name;
    Variant value;
    bool supported;
  } cases[] = {
      {"empty", Variant(), true},
      {"null", Variant::Null(), true},
      {"UI8", Variant::UI8(1), true},
      {"text", Variant::Text("x"), true},
      {"currency", Variant::Cy(Currency{1}), true},
      {"error", Variant::Error(5), false},
      {"decimal", Variant::Dec(Decimal{}), false},
      {"INT", Variant::Int(1), false},
      {"object", Variant::Dispatch(nullptr), false},
      {"by reference", Variant::ByRef(&target), false},
      {"R8 array", Variant::Array(SafeArray::Create1D(VT_R8, 2)), true},
      {"text array", Variant::Array(SafeArray::Create1D(VT_BSTR, 2)), true},
      {"error array", Variant::Array(SafeArray::Create1D(VT_ERROR, 2)), false},
      {"variants of scalars", VariantArray({Variant::I4(1), Variant::Text("a"), Variant()}), true},
      {"variants holding an error", VariantArray({Variant::I4(1), Variant::Error(1)}), false},
      {"variants holding an array",
       VariantArray({Variant::Array(SafeArray::Create1D(VT_I4, 1))}), false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSupportedValue(c.value), c.supported) << c.name;
}

TEST(ValueTypesTest, TypeIndexTables) {
  EXPECT_EQ(RequestTypeFromIndex(0), VT_BOOL);
  EXPECT_EQ(RequestTypeFromIndex(9), VT_BSTR);
  EXPECT_EQ(RequestTypeFromIndex(12), VT_VARIANT);
  EXPECT_EQ(RequestTypeFromIndex(14), VT_UI8);
  EXPECT_EQ(RequestTypeFromIndex(15), std::nullopt);
  EXPECT_EQ(RequestTypeFromIndex(-1), std::nullopt);
  EXPECT_EQ(InitDataTypeFromIndex(11), VT_CY);
  EXPECT_EQ(InitDataTypeFromIndex(12), VT_I8);
  EXPECT_EQ(InitDataTypeFromIndex(14), VT_ARRAY | VT_BOOL);
  EXPECT_EQ(InitDataTypeFromIndex(21), VT_ARRAY | VT_I8);  // 64-bit arrays before R4
  EXPECT_EQ(InitDataTypeFromIndex(23), VT_ARRAY | VT_R4);
  EXPECT_EQ(InitDataTypeFromIndex(28), VT_ARRAY | VT_VARIANT);
  EXPECT_EQ(InitDataTypeFromIndex(29), std::nullopt);
}

}  // namespace
}  // namespace tavrix
