#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <limits>
#include <vector>

#include "platform/arith.h"
#include "platform/safearray.h"

namespace tavrix {
namespace {

Variant Dec(bool negative, uint64_t magnitude, uint8_t scale) {
  Decimal d;
  d.negative = negative;
  d.lo64 = magnitude;
  d.scale = scale;
  return Variant::Dec(d);
}
Variant Cy(int64_t units) { return Variant::Cy(Currency{units}); }
Variant T(const char* s) { return Variant::Text(s); }

struct CmpCase {
  const char* name;
  Variant left;
  Variant right;
  uint32_t flags;
  HRESULT expected;
};

// Each case is also checked with the sides swapped: LT and GT trade places.
void RunCompare(const std::vector<CmpCase>& cases) {
  for (const CmpCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(VarCmp(c.left, c.right, LOCALE_USER_DEFAULT, c.flags), c.expected);
    const HRESULT swapped = c.expected == VARCMP_LT   ? VARCMP_GT
                            : c.expected == VARCMP_GT ? VARCMP_LT
                                                      : c.expected;
    EXPECT_EQ(VarCmp(c.right, c.left, LOCALE_USER_DEFAULT, c.flags), swapped);
  }
}

TEST(VarCmpTest, NumbersAcrossTypes) {
  const int64_t twoTo53 = int64_t{1} << 53;
  RunCompare({
      {"I4 1 equals R8 1.0", Variant::I4(1), Variant::R8(1.0), 0, VARCMP_EQ},
      {"I2 < I4", Variant::I2(1), Variant::I4(2), 0, VARCMP_LT},
      {"UI8 max > I8 -1", Variant::UI8(UINT64_MAX), Variant::I8(-1), 0, VARCMP_GT},
      {"UI1 vs I1", Variant::UI1(200), Variant::I1(-100), 0, VARCMP_GT},
      {"I8 vs R8 exactly", Variant::I8(twoTo53 + 1), Variant::R8(static_cast<double>(twoTo53)),
       0, VARCMP_GT},
      {"UI8 max vs R8 2^64", Variant::UI8(UINT64_MAX), Variant::R8(18446744073709551616.0), 0,
       VARCMP_LT},
      {"R4 meets R8 at float precision", Variant::R4(0.1f), Variant::R8(0.1), 0, VARCMP_EQ},
      {"R8 vs R8", Variant::R8(0.1), Variant::R8(0.1f), 0, VARCMP_LT},
      {"R8 beyond the float range", Variant::R4(FLT_MAX), Variant::R8(1e300), 0, VARCMP_LT},
      {"R8 is rounded to CY", Cy(10000), Variant::R8(1.00001), 0, VARCMP_EQ},
      {"R8 beyond CY", Cy(INT64_MAX), Variant::R8(1e300), 0, VARCMP_LT},
      {"negative R8 beyond CY", Cy(INT64_MIN), Variant::R8(-1e300), 0, VARCMP_GT},
      {"CY vs I4", Cy(15000), Variant::I4(1), 0, VARCMP_GT},
      {"CY vs large I8", Cy(INT64_MAX), Variant::I8(INT64_MAX), 0, VARCMP_LT},
      {"DEC vs I4", Dec(false, 15, 1), Variant::I4(1), 0, VARCMP_GT},
      {"DEC 1.50 equals 1.5", Dec(false, 150, 2), Dec(false, 15, 1), 0, VARCMP_EQ},
      {"DEC vs R8", Dec(false, 15, 1), Variant::R8(1.5), 0, VARCMP_EQ},
      {"DEC vs CY", Dec(true, 15, 1), Cy(-15000), 0, VARCMP_EQ},
      {"DATE equals its number", Variant::Date(45000), Variant::I4(45000), 0, VARCMP_EQ},
      {"DATE vs R8", Variant::Date(45000.5), Variant::R8(45000.25), 0, VARCMP_GT},
      {"True is -1", Variant::Bool(true), Variant::I2(-1), 0, VARCMP_EQ},
      {"True < False", Variant::Bool(true), Variant::Bool(false), 0, VARCMP_LT},
      {"Empty is 0", Variant::Empty(), Variant::I4(0), 0, VARCMP_EQ},
      {"Empty > -1", Variant::Empty(), Variant::R8(-1), 0, VARCMP_GT},
      {"Empty equals Empty", Variant::Empty(), Variant::Empty(), 0, VARCMP_EQ},
  });
}

TEST(VarCmpTest, TextsAndMixedKinds) {
  RunCompare({
      {"code point order", T("a"), T("b"), 0, VARCMP_LT},
      {"upper case sorts first", T("B"), T("a"), 0, VARCMP_LT},
      {"ignore case folds", T("B"), T("a"), NORM_IGNORECASE, VARCMP_GT},
      {"ignore case beyond ASCII", T("\xC3\x84"), T("\xC3\xA4"), NORM_IGNORECASE, VARCMP_EQ},
      {"ignore case equal ASCII", T("abc"), T("ABC"), NORM_IGNORECASE, VARCMP_EQ},
      {"non-ASCII after ASCII", T("\xC3\xA9"), T("z"), 0, VARCMP_GT},
      {"prefix is less", T("ab"), T("abc"), 0, VARCMP_LT},
      {"Empty is the empty text", Variant::Empty(), T(""), 0, VARCMP_EQ},
      {"Empty < text", Variant::Empty(), T("a"), 0, VARCMP_LT},
      {"a number is less than a text", Variant::I4(5), T("4"), 0, VARCMP_LT},
      {"even a large one", Variant::R8(1e300), T(""), 0, VARCMP_LT},
      {"Bool < text", Variant::Bool(false), T("x"), 0, VARCMP_LT},
  });
}

TEST(VarCmpTest, NullErrorsAndOperands) {
  const Variant null = Variant::Null();
  EXPECT_EQ(VarCmp(null, Variant::I4(1)), VARCMP_NULL);
  EXPECT_EQ(VarCmp(T("a"), null), VARCMP_NULL);
  EXPECT_EQ(VarCmp(null, null), VARCMP_NULL);
  EXPECT_EQ(VarCmp(null, Variant::Empty()), VARCMP_NULL);

  EXPECT_EQ(VarCmp(Variant::Error(5), Variant::Error(7)), VARCMP_LT);
  EXPECT_EQ(VarCmp(Variant::Error(5), Variant::I4(5)), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VarCmp(T("x"), Variant::Error(5)), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VarCmp(null, Variant::Error(5)), DISP_E_TYPEMISMATCH);

  const Variant array = Variant::Array(SafeArray::Create1D(VT_I4, 1));
  EXPECT_EQ(VarCmp(array, array), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VarCmp(null, array), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VarCmp(Variant::Dispatch(nullptr), Variant::I4(1)), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(VarCmp(Variant::I4(1), Variant::ByRef(nullptr)), DISP_E_BADVARTYPE);

  Variant target = T("b");
  EXPECT_EQ(VarCmp(Variant::ByRef(&target), T("a")), VARCMP_GT);
}

}  // namespace
}  // namespace tavrix
