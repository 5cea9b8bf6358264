// Item calculations, calculation lines and the calculation action on a real
// engine with simulated controllers, in projects of the versions whose
// operand syntax differs.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "calc/calc_install.h"
#include "platform/clock.h"
#include "platform/date.h"
#include "trigger/trigger_fixture.h"

namespace tavrix::trigger_test {
namespace {

std::string LegacyCalc(int code, const std::string& operand) {
  return "<m_lCalcIndex>" + std::to_string(code) + "</m_lCalcIndex><m_str2ndItem>" + operand +
         "</m_str2ndItem>";
}

std::string ItemCalcList(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string xml = "<CalculationList>";
  for (const auto& [code, operand] : entries) {
    xml += "<Calculation><m_lCalcIndex>" + code + "</m_lCalcIndex><m_strItem>" + operand +
           "</m_strItem></Calculation>";
  }
  return xml + "</CalculationList>";
}

struct Line {
  std::string target, left, code, right;
};

std::string Lines(const std::vector<Line>& lines) {
  std::string xml = "<CalculationList>";
  for (const Line& l : lines) {
    xml += "<Calculation><m_lCalcIndex>" + l.code + "</m_lCalcIndex><m_strTarget>" + l.target +
           "</m_strTarget><m_strLeft>" + l.left + "</m_strLeft><m_strRight>" + l.right +
           "</m_strRight></Calculation>";
  }
  return xml + "</CalculationList>";
}

class CalcTest : public TriggerTest {
 protected:
  CalcTest() { InstallCalculations(); }
  ~CalcTest() override {
    // The items stop using the factory with the engine (its lines stay for
    // the failure report).
    if (engine_) engine_test::MustReturn("Terminate", [this] { engine_->Terminate(); });
    engine_.reset();
    ItemCalcFactory::Instance() = ItemCalcFactory{};
  }

  // Waits for the item's cache to hold a value (30 s at most).
  Variant SettledValue(const std::string& controller, const std::string& item) {
    WaitFor([&] { return !ValueOf(controller, item).IsEmpty(); });
    return ValueOf(controller, item);
  }
};

// An item X reading the constant 10 through one calculation, with another
// item Five reading 5 and an item named 10 reading 7.
TEST_F(CalcTest, ItemCalculationOperandsFollowTheProjectVersion) {
  struct Case {
    const char* version;
    std::string calc;
    Variant expected;
    bool invalid;  // the setup fails and is logged with position 0
  };
  const Case cases[] = {
      {"", LegacyCalc(1, "Five"), Variant::I4(15), false},
      {"", LegacyCalc(0, "Five"), Variant::I4(10), false},
      {"", LegacyCalc(1, "10"), Variant::I4(17), false},         // an item named 10
      {"", LegacyCalc(3, "#2"), Variant::R8(20), false},         // a number constant
      {"", LegacyCalc(1, "Nothing"), Variant::I4(10), true},
      {"1.2.0", LegacyCalc(1, "$Five"), Variant::I4(15), false},
      {"1.2.0", LegacyCalc(1, "Five"), Variant::I4(10), true},   // not a number
      {"1.2.0", LegacyCalc(3, "10"), Variant::R8(100), false},
      {"1.2.0", LegacyCalc(1, "$10"), Variant::I4(17), false},
      {"1.2.0", LegacyCalc(17, "$$abc"), Variant::Text("10$abc"), false},
      {"1.2.0", ItemCalcList({{"1", "$Five"}, {"3", "2"}}), Variant::R8(30), false},
      {"1.2.0", LegacyCalc(21, ""), Variant::I4(10), false},     // one operand: none needed
      {"1.4.0", LegacyCalc(1, "$*t"), Variant::I4(10), false},   // temporary item, empty
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.version) + " " + c.calc);
    TriggerProject p;
    p.version = c.version;
    p.controllers.push_back({"A",
                             {{"Five", "counter:5:0"},
                              {"10", "counter:7:0"},
                              {"X", "counter:10:0", c.calc}},
                             "",
                             "t"});
    ASSERT_EQ(Start(p), S_OK);
    EXPECT_TRUE(WaitFor([&] { return ValueOf("A", "X").vt() == c.expected.vt(); }));
    EXPECT_TRUE(ValueOf("A", "X").Identical(c.expected)) << ValueOf("A", "X").vt();
    EXPECT_EQ(CountOf("TavrixItem[A\\X] : Invalid calculation settings(0)."), c.invalid ? 1 : 0);
    StopEngine();
  }
}

TEST_F(CalcTest, LegacyHourConstantMovesADateOneHourOn) {
  TriggerProject p;
  p.version = "";
  p.controllers.push_back({"A", {{"T", "@CURRENT_TIME", LegacyCalc(1, "#1H")}}});
  ASSERT_EQ(Start(p), S_OK);
  const Variant v = SettledValue("A", "T");
  ASSERT_EQ(v.vt(), VT_DATE);
  const double hours = (v.r8() - DateFromUnixMicros(SystemClock().UtcMicros())) * 24;
  EXPECT_NEAR(hours, 1.0, 0.05);
}

// Scratch variables live in one run of the list (below 1.4); from 1.4 the
// same texts are number constants and the line cannot be built.
TEST_F(CalcTest, ControllerLinesPassScratchValuesBetweenLines) {
  const std::vector<Line> lines = {{"*t", "$A", "1", "1"}, {"$B", "*t", "3", "2"}};
  for (const char* version : {"1.3.0", "1.4.0"}) {
    SCOPED_TRACE(version);
    TriggerProject p;
    p.version = version;
    TriggerController c{"C", {{"A", "counter:4:0"}, {"B", "b_cell"}}};
    c.extra = Lines(lines);
    p.controllers.push_back(c);
    ASSERT_EQ(Start(p), S_OK);
    if (std::string(version) == "1.3.0") {
      EXPECT_TRUE(WaitFor([&] { return ValueOf("C", "B").vt() == VT_R8; }));
      EXPECT_TRUE(ValueOf("C", "B").Identical(Variant::R8(10)));
    } else {
      EXPECT_TRUE(WaitForLine("TavrixController[C] : Failed in initialize calculate."));
      std::this_thread::sleep_for(100ms);
      EXPECT_TRUE(ValueOf("C", "B").IsEmpty());
    }
    StopEngine();
  }
}

TEST_F(CalcTest, AFailingLineStopsTheLinesAfterIt) {
  TriggerProject p;
  p.version = "1.2.0";
  TriggerController c{"C", {{"A", "counter:4:0"}, {"B", "b_cell"}, {"D", "d_cell"}}};
  c.extra = Lines({{"$B", "$A", "0", ""}, {"$B", "$A", "4", "0"}, {"$D", "1", "0", ""}});
  p.controllers.push_back(c);
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_TRUE(WaitForLine("ExecuteCalculate[C] : Calculate failed on line 2."));
  EXPECT_TRUE(WaitFor([&] { return ValueOf("C", "B").vt() == VT_I4; }));
  EXPECT_TRUE(ValueOf("C", "D").IsEmpty());
  EXPECT_GE(CountOf("TavrixController[C] : Failed ExecuteCalculate."), 1);
}

TEST_F(CalcTest, LinesReachTemporaryItemsAndOtherControllers) {
  TriggerProject p;
  p.version = "1.4.0";
  TriggerController other{"Other", {{"Seven", "counter:7:0"}}};
  TriggerController c{"C", {{"A", "counter:4:0"}, {"B", "b_cell"}}, "", "t"};
  c.extra = Lines({{"$*t", "$Other\\Seven", "3", "$A"}, {"$B", "$*t", "17", "$$1"}});
  p.controllers.push_back(other);
  p.controllers.push_back(c);
  ASSERT_EQ(Start(p), S_OK);
  // C's first cycles may run before Other has read Seven (0 then).
  EXPECT_TRUE(WaitFor([&] {
    const Variant b = ValueOf("C", "B");
    return b.vt() == VT_BSTR && b.text() == "28$1";
  })) << ValueOf("C", "B").vt();
  EXPECT_TRUE(TemporaryValueOf("C", "t").Identical(Variant::I4(28)));
}

TEST_F(CalcTest, CalculationActionRunsItsOwnLines) {
  TriggerProject p;
  p.version = "1.2.0";
  TriggerController c{"C", {{"A", "counter:4:0"}, {"B", "b_cell"}}};
  c.trigger = Action(13, Lines({{"*x", "$A", "3", "$A"}, {"$B", "*x", "2", "1"}}), "calc");
  p.controllers.push_back(c);
  ASSERT_EQ(Start(p), S_OK);
  // 4 * 4 - 1, the constant a number (R8).
  EXPECT_TRUE(WaitFor([&] { return ValueOf("C", "B").Identical(Variant::R8(15)); }));

  // A failing line is the action's failure, without the controller's line message.
  StopEngine();
  c.trigger = Action(13, Lines({{"$B", "$A", "4", "0"}}), "calc");
  p.controllers = {c};
  ASSERT_EQ(Start(p), S_OK);
  EXPECT_TRUE(WaitForLine("CCalcActionObject[C\\calc(1)] : Failed in Execute()."));
  EXPECT_EQ(CountOf("Calculate failed on line"), 0);
}

// Item calculations of two controllers that read each other's items, both
// sampled as fast as they go: neither waits for the other's item while the
// other waits for its own.
TEST_F(CalcTest, ItemCalculationsReadingEachOtherAcrossControllersNeverHang) {
  TriggerProject p;
  p.version = "1.2.0";
  TriggerController a{"A", {{"X", "counter:1:0", LegacyCalc(1, "$B\\Y")}}};
  TriggerController b{"B", {{"Y", "counter:2:0", LegacyCalc(1, "$A\\X")}}};
  a.samplingRate = 1;
  b.samplingRate = 1;
  p.controllers = {a, b};
  ASSERT_EQ(Start(p), S_OK);
  ASSERT_TRUE(WaitFor([&] { return !ValueOf("A", "X").IsEmpty() && !ValueOf("B", "Y").IsEmpty(); }));
  // Both threads keep reading: the number of changes goes on growing.
  std::this_thread::sleep_for(2s);
  const Variant x1 = ValueOf("A", "X");
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(ValueOf("A", "X").Identical(x1)) << "A's sampling stands still";
  engine_test::MustReturn("Terminate", [this] { engine_->Terminate(); });
}

// Two controllers of one activation group whose calculation lines name each
// other's items: each builds its lines while the other activates and samples.
TEST_F(CalcTest, LinesNamingEachOthersItemsBuildWhileBothActivate) {
  TriggerProject p;
  p.version = "1.2.0";
  TriggerController a{"A", {{"X", "counter:1:0"}, {"Sum", "a_sum"}}};
  TriggerController b{"B", {{"Y", "counter:2:0"}, {"Sum", "b_sum"}}};
  a.extra = Lines({{"$Sum", "$B\\Y", "1", "$X"}});
  b.extra = Lines({{"$Sum", "$A\\X", "1", "$Y"}});
  a.samplingRate = b.samplingRate = 1;
  p.controllers = {a, b};
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(Start(p), S_OK);
    EXPECT_TRUE(WaitFor([&] {
      return ValueOf("A", "Sum").Identical(Variant::I4(3)) &&
             ValueOf("B", "Sum").Identical(Variant::I4(3));
    })) << ValueOf("A", "Sum").vt() << " " << ValueOf("B", "Sum").vt();
    StopEngine();
  }
}

}  // namespace
}  // namespace tavrix::trigger_test
