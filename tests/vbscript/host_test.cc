// The host interface: parse once, run the module, call Subs with module
// variables kept, errors reported to the host, interruption from another
// thread, and instances running in parallel.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "vbscript/script_fixture.h"

namespace tavrix::vbs::testing {
namespace {

TEST(VbsHost, ModuleVariablesLiveBetweenCalls) {
  ScriptEngine engine;
  ASSERT_EQ(engine.Parse("Dim count\ncount = 10\n"
                         "Sub Main(step)\ncount = count + step\nEnd Sub\n"
                         "Function Twice(v)\nTwice = v * 2\nEnd Function\n"),
            S_OK);
  ASSERT_EQ(engine.RunModule(), S_OK);
  const Variant step[] = {Variant::I4(5)};
  ASSERT_EQ(engine.CallSub("main", step), S_OK);
  ASSERT_EQ(engine.CallSub("MAIN", step), S_OK);
  Variant count;
  ASSERT_EQ(engine.GetGlobal("Count", &count), S_OK);
  EXPECT_EQ(count.vt(), VT_I4);
  EXPECT_EQ(count.i4(), 20);
  Variant result;
  const Variant arg[] = {Variant::Text("ab")};
  ASSERT_EQ(engine.CallSub("Twice", std::span<const Variant>{}, &result),
            ScriptError(kErrWrongArgCount));
  const Variant num[] = {Variant::I2(21)};
  ASSERT_EQ(engine.CallSub("Twice", num, &result), S_OK);
  EXPECT_EQ(result.i2(), 42);
  EXPECT_EQ(engine.CallSub("Twice", arg, &result), ScriptError(kErrTypeMismatch));
  EXPECT_EQ(engine.lastError().line, 7);
  EXPECT_FALSE(engine.lastError().fromParse);
  EXPECT_EQ(engine.CallSub("Missing"), ScriptError(kErrSubNotDefined));
  EXPECT_EQ(engine.Parse("x = 1"), E_UNEXPECTED);
}

TEST(VbsHost, ErrorsCarryPlaceAndTexts) {
  ScriptEngine engine;
  EXPECT_EQ(engine.RunModule(), E_UNEXPECTED);
  ASSERT_EQ(engine.Parse("x = 1\n  y = x / 0\n"), S_OK);
  EXPECT_EQ(engine.RunModule(), ScriptError(kErrDivisionByZero));
  const ScriptErrorInfo& e = engine.lastError();
  EXPECT_EQ(e.number, 11);
  EXPECT_EQ(e.line, 2);
  EXPECT_EQ(e.column, 3);
  EXPECT_EQ(e.description, "Division by zero");
  EXPECT_EQ(e.source, "Microsoft VBScript runtime error");

  ScriptEngine bad;
  EXPECT_EQ(bad.Parse("x = 1\nIf x Then\n  y = (1 +\nEnd If"), ScriptError(kErrExpectedExpression));
  EXPECT_TRUE(bad.lastError().fromParse);
  EXPECT_EQ(bad.lastError().line, 3);
  EXPECT_EQ(bad.lastError().column, 11);
  EXPECT_EQ(bad.lastError().description, "Expected expression");

  ScriptEngine raised;
  ASSERT_EQ(raised.Parse("Err.Raise 1234, \"Pump\", \"Pressure too high\""), S_OK);
  EXPECT_EQ(raised.RunModule(), ScriptError(1234));
  EXPECT_EQ(raised.lastError().number, 1234);
  EXPECT_EQ(raised.lastError().source, "Pump");
  EXPECT_EQ(raised.lastError().description, "Pressure too high");
}

TEST(VbsHost, InterruptFromAnotherThreadStopsLoopsAndIsNotCaught) {
  const char* scripts[] = {
      "On Error Resume Next\nDo\nx = x + 1\nLoop",
      "For i = 1 To 2000000000\nNext",
      "Sub Spin\nWhile True : Wend\nEnd Sub\nOn Error Resume Next\nSpin\nWScript.Echo \"after\"",
  };
  for (const char* script : scripts) {
    SCOPED_TRACE(script);
    ScriptEngine engine;
    std::ostringstream out, err;
    WScriptOptions options;
    options.out = &out;
    options.err = &err;
    (void)engine.AddNamedObject("WScript", MakeWScript(std::move(options)));
    ASSERT_EQ(engine.Parse(script), S_OK);
    const HRESULT stop = ScriptError(kErrException);
    std::thread stopper([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      engine.Interrupt(stop);
    });
    const HRESULT hr = engine.RunModule();
    stopper.join();
    EXPECT_EQ(hr, stop);
    EXPECT_EQ(out.str(), "");
    // The interrupt is used up: the engine runs again.
    EXPECT_EQ(engine.CallSub("Nothing"), ScriptError(kErrSubNotDefined));
  }
}

TEST(VbsHost, InstancesRunInParallel) {
  constexpr int kThreads = 4;
  std::vector<std::thread> threads;
  std::vector<Outcome> outcomes(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &outcomes] {
      const std::string script = "Dim s, i\nFor i = 1 To 20000\ns = s + i * " +
                                 std::to_string(t + 1) +
                                 "\nNext\nWScript.Echo s, Len(CStr(s) & \"x\")";
      outcomes[static_cast<size_t>(t)] = RunScript(script);
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    const long long sum = 200010000LL * (t + 1);
    const std::string expected =
        std::to_string(sum) + " " + std::to_string(std::to_string(sum).size() + 1) + "\n";
    EXPECT_EQ(outcomes[static_cast<size_t>(t)].output, expected);
  }
}

}  // namespace
}  // namespace tavrix::vbs::testing
