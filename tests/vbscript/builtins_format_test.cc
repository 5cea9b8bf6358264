// FormatNumber, FormatPercent and FormatCurrency under the locales.
#include "platform/currency.h"
#include "vbscript/builtins_test_util.h"

namespace tavrix::vbs::testing {
namespace {

const Variant kDefault = I2(-2);

TEST(BuiltinFormatTest, FormatNumber) {
  RunCases({
      {"FormatNumber", {R8(1234.5)}, S("1,234.50")},
      {"FormatNumber", {R8(1234.5)}, S("1.234,50"), 0, 1031},
      {"FormatNumber", {S("1234,5")}, S("1.234,50"), 0, 1031},
      {"FormatNumber", {R8(1234.5)}, S("1\u00a0234,50"), 0, 1036},
      {"FormatNumber", {I4(20000), I2(5)}, S("20,000.00000")},
      {"FormatNumber", {R8(0.2), Missing(), I2(0)}, S(".20")},
      {"FormatNumber", {R8(0.2), Missing(), I2(-1)}, S("0.20")},
      {"FormatNumber", {I2(-50), Missing(), Missing(), I2(0)}, S("-50.00")},
      {"FormatNumber", {I2(-50), Missing(), Missing(), I2(-1)}, S("(50.00)")},
      {"FormatNumber", {I4(1000000), Missing(), Missing(), Missing(), I2(0)}, S("1000000.00")},
      {"FormatNumber", {I4(1000000), I2(-1), kDefault, kDefault, kDefault}, S("1,000,000.00")},
      // Half away from zero on the digits the number shows.
      {"FormatNumber", {R8(2.5), I2(0)}, S("3")},
      {"FormatNumber", {R8(-2.5), I2(0)}, S("-3")},
      {"FormatNumber", {R8(1.005), I2(2)}, S("1.01")},
      {"FormatNumber", {R8(999.995), I2(2)}, S("1,000.00")},
      {"FormatNumber", {R8(-0.001), I2(2)}, S("0.00")},
      {"FormatNumber", {R8(1e20), I2(0)}, S("100,000,000,000,000,000,000")},
      {"FormatNumber", {Variant::Cy(Currency{12345678}), I2(3)}, S("1,234.568")},
      {"FormatNumber", {Empty()}, S("0.00")},
      {"FormatNumber", {B(true), I2(0)}, S("-1")},
      Fails("FormatNumber", {Null()}, 94),
      Fails("FormatNumber", {S("abc")}, 13),
      Fails("FormatNumber", {S("")}, 13),
      Fails("FormatNumber", {I2(1), I2(-2)}, 5),
      Fails("FormatNumber", {I2(1), Missing(), Null()}, 94),
  });
}

TEST(BuiltinFormatTest, FormatPercentAndCurrency) {
  RunCases({
      {"FormatPercent", {R8(0.5)}, S("50.00%")},
      {"FormatPercent", {R8(-0.125), I2(1)}, S("-12.5%")},
      {"FormatPercent", {R8(0.12345), I2(1)}, S("12,3%"), 0, 1031},
      {"FormatPercent", {R8(-0.5), I2(0), kDefault, I2(-1)}, S("(50%)")},
      {"FormatPercent", {R8(12.5), I2(0)}, S("1,250%")},
      {"FormatCurrency", {R8(1234.5)}, S("$1,234.50")},
      {"FormatCurrency", {R8(-1234.5)}, S("($1,234.50)")},
      {"FormatCurrency", {R8(-1234.5), Missing(), Missing(), I2(0)}, S("-$1,234.50")},
      {"FormatCurrency", {R8(0.5), Missing(), I2(0)}, S("$.50")},
      {"FormatCurrency", {R8(1234.5)}, S("1.234,50 \u20ac"), 0, 1031},
      {"FormatCurrency", {R8(-1234.5)}, S("-1.234,50 \u20ac"), 0, 1031},
      {"FormatCurrency", {R8(-1234.5), I2(0), kDefault, I2(-1)}, S("(1.235 \u20ac)"), 0, 1031},
      {"FormatCurrency", {R8(1234.5)}, S("\u00a31,234.50"), 0, 2057},
      {"FormatCurrency", {R8(1234.5)}, S("\u00a51,235"), 0, 1041},
      Fails("FormatCurrency", {Null()}, 94),
  });
}

}  // namespace
}  // namespace tavrix::vbs::testing
