// Math functions and the language's random number generator.
#include <cmath>
#include <vector>

#include "platform/clock.h"
#include "vbscript/builtins_test_util.h"

namespace tavrix::vbs::testing {
namespace {

TEST(BuiltinMathTest, DoubleFunctionsAndTheirDomains) {
  RunCases({
      {"Sqr", {I2(4)}, R8(2)},
      {"Sqr", {S("2,25")}, R8(1.5), 0, 1031},
      {"Sqr", {I2(0)}, R8(0)},
      Fails("Sqr", {I2(-1)}, 5),
      Fails("Sqr", {Null()}, 94),
      Fails("Sqr", {S("x")}, 13),
      {"Log", {I2(1)}, R8(0)},
      {"Exp", {I2(0)}, R8(1)},
      {"Exp", {Empty()}, R8(1)},
      Fails("Log", {I2(0)}, 5),
      Fails("Log", {I2(-1)}, 5),
      Fails("Exp", {I2(1000)}, 6),
      {"Sin", {I2(0)}, R8(0)},
      {"Cos", {I2(0)}, R8(1)},
      {"Tan", {I2(0)}, R8(0)},
      {"Atn", {I2(1)}, R8(std::atan(1.0))},
      {"RGB", {I2(255), I2(0), I2(0)}, I4(255)},
      {"RGB", {I2(1), I2(2), I2(300)}, I4(1 + 2 * 256 + 255 * 65536)},
      Fails("RGB", {I2(-1), I2(0), I2(0)}, 5),
  });
}

float Next(TestContext& context, std::vector<Variant> args = {}) {
  Variant v;
  EXPECT_EQ(Call(context, "Rnd", args, &v), S_OK);
  EXPECT_EQ(v.vt(), VT_R4);
  return v.r4();
}

void Randomize(TestContext& context, std::vector<Variant> args = {}) {
  Variant v;
  EXPECT_EQ(Call(context, "Randomize", args, &v), S_OK);
}

TEST(BuiltinMathTest, RndFollowsTheDocumentedSequence) {
  TestContext context;
  // The sequence from the starting seed, as the language documents it.
  EXPECT_FLOAT_EQ(Next(context, {I2(0)}), 327680.0f / 16777216.0f);
  const float expected[] = {0.7055475f, 0.533424f, 0.5795186f, 0.2895625f, 0.301948f};
  for (float e : expected) EXPECT_NEAR(Next(context), e, 1e-6);
  const float last = Next(context, {I2(1)});
  EXPECT_EQ(Next(context, {I2(0)}), last);
  EXPECT_EQ(Next(context, {I2(0)}), last);

  // A negative argument gives the same number every time.
  EXPECT_NEAR(Next(context, {I2(-1)}), 0.224007f, 1e-6);
  EXPECT_NEAR(Next(context, {I2(-1)}), 0.224007f, 1e-6);
  EXPECT_NE(Next(context, {R8(-2.5)}), Next(context, {I2(-1)}));

  Variant v;
  EXPECT_EQ(ScriptErrorNumber(Call(context, "Rnd", {Null()}, &v)), 94);
}

TEST(BuiltinMathTest, RandomizeRepeatsOnlyAfterANegativeRnd) {
  auto sequence = [](TestContext& context) {
    std::vector<float> values;
    for (int i = 0; i < 4; ++i) values.push_back(Next(context));
    return values;
  };
  TestContext context;
  Next(context, {I2(-1)});
  Randomize(context, {I2(10)});
  const std::vector<float> first = sequence(context);
  Next(context, {I2(-1)});
  Randomize(context, {I2(10)});
  EXPECT_EQ(sequence(context), first);
  // The same number again without resetting does not repeat the sequence.
  Randomize(context, {I2(10)});
  EXPECT_NE(sequence(context), first);

  // Each script instance has its own generator.
  TestContext other;
  Next(other, {I2(-1)});
  Randomize(other, {I2(10)});
  EXPECT_EQ(sequence(other), first);
}

TEST(BuiltinMathTest, RandomizeWithoutANumberSeedsFromTheTimer) {
  FakeClock clock(0, int64_t{1'796'000'000} * 1'000'000);
  ScopedClockOverride useClock(clock);
  TestContext a, b, c;
  Randomize(a);
  Randomize(b);
  const float first = Next(a);
  EXPECT_EQ(Next(b), first);
  clock.AdvanceMs(1500);
  Randomize(c);
  EXPECT_NE(Next(c), first);
}

}  // namespace
}  // namespace tavrix::vbs::testing
