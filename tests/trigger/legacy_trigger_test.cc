// The older single-condition trigger: one watched item, up to two trigger
// infos that switch the sampling or start a program when the item's value
// meets a threshold.
#include <filesystem>
#include <fstream>

#include "trigger/trigger_fixture.h"

namespace tavrix::trigger_test {
namespace {

struct Info {
  int index;
  int32_t action;
  int32_t condition;
  std::string threshold;
  std::string file = "";
  std::string params = "";
};

// The controller elements of a legacy trigger on `item`.
std::string LegacyTrigger(const std::string& item, const std::vector<Info>& infos) {
  std::string xml = "<m_bUseTrigger>True</m_bUseTrigger><Collection Property=\"m_mapTrigger\">"
                    "<clsTavrixTriggerItem><m_strName>" + item +
                    "</m_strName><NewEnum>1</NewEnum><Count>" + std::to_string(infos.size()) +
                    "</Count>";
  for (const Info& i : infos) {
    xml += "<clsTavrixTriggerInfo Index=\"" + std::to_string(i.index) + "\"><m_lAction>" +
           std::to_string(i.action) + "</m_lAction><m_strExeFile>" + i.file +
           "</m_strExeFile><m_strExeParams>" + i.params + "</m_strExeParams><m_lCondition>" +
           std::to_string(i.condition) + "</m_lCondition><m_strThreshold>" + i.threshold +
           "</m_strThreshold></clsTavrixTriggerInfo>";
  }
  return xml + "</clsTavrixTriggerItem></Collection>";
}

class LegacyTriggerTest : public TriggerTest {
 protected:
  HRESULT StartWith(const std::string& legacy) {
    TriggerProject p;
    TriggerController a{"A", {{"Count", "counter"}, {"Other", "counter"}}};
    a.extra = legacy;
    p.controllers = {a};
    return Start(p);
  }
};

TEST_F(LegacyTriggerTest, ThresholdSwitchesTheSamplingWhenTheConditionHolds) {
  // The trigger leaves only the watched item sampled until it passes the
  // threshold; then sampling runs continuously again.
  struct Case {
    std::string name;
    std::vector<Info> infos;
  } cases[] = {
      {"only the first info", {{1, 1, 3, "5"}}},
      {"second info acts", {{1, 0, 0, "1"}, {2, 1, 5, "6"}}},
      {"condition in either order", {{2, 1, 3, "5"}, {1, 0, 2, "0"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(StartWith(LegacyTrigger("count", c.infos)), S_OK);
    ASSERT_TRUE(WaitForLine("Sampling thread is activated."));
    ExpectInOrder({"TavrixController[A] : Sampling thread is waiting for a trigger signal.",
                   "TavrixController[A] : Sampling thread is activated."});
    // The other item was not read while the controller waited.
    EXPECT_EQ(CountOf("Invalid Trigger Settings."), 0);
    StopEngine();
  }
}

TEST_F(LegacyTriggerTest, AnInvalidInfoRefusesTheWholeTrigger) {
  // Each case's first info would stop the sampling at once if it stayed
  // attached.
  const Info stopNow{1, 2, 5, "0"};
  struct Case {
    std::string name;
    std::string item;
    std::vector<Info> infos;
  } cases[] = {
      {"condition 6", "Count", {stopNow, {2, 1, 6, "1"}}},
      {"action 5", "Count", {stopNow, {2, 5, 0, "1"}}},
      {"negative action", "Count", {stopNow, {2, -1, 0, "1"}}},
      {"empty threshold", "Count", {stopNow, {2, 1, 0, ""}}},
      {"program without file", "Count", {stopNow, {2, 4, 0, "1"}}},
      {"unknown item", "Nope", {stopNow}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(StartWith(LegacyTrigger(c.item, c.infos)), S_OK);
    ASSERT_TRUE(WaitForLine("Sampling Started"));
    EXPECT_EQ(LineOf("TavrixController[A] : Invalid Trigger Settings.").level, 3u);
    EXPECT_EQ(CountOf("TavrixController[A] : Failed in reading Trigger Settings."), 1);
    // Sampling stays continuous: nothing switched it, and no observer fires.
    EXPECT_TRUE(WaitFor([&] {
      const Variant v = ValueOf("A", "Other");
      return v.vt() == VT_I4 && v.i4() > 3;
    }));
    EXPECT_EQ(CountOf("waiting for a trigger signal"), 0);
    StopEngine();
  }
}

TEST_F(LegacyTriggerTest, ProgramActionStartsTheFileWithItsParameters) {
  const std::string marker = (dir_ / "fired").string();
  ASSERT_EQ(StartWith(LegacyTrigger("Count", {{1, 4, 3, "2", "/usr/bin/touch", marker}})), S_OK);
  EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(marker); }));
  StopEngine();
}

TEST_F(LegacyTriggerTest, AMissingProgramIsLoggedOnEveryFiring) {
  ASSERT_EQ(StartWith(LegacyTrigger("Count", {{1, 4, 3, "2", "/nonexistent/program", ""}})), S_OK);
  EXPECT_TRUE(WaitFor([&] {
    return CountOf("CTavrixTriggerObserver[A] : Failed in ShellExecute().") >= 2;
  }));
  EXPECT_EQ(LineOf("CTavrixTriggerObserver[A] : Failed in ShellExecute().").result, E_FAIL);
  StopEngine();
}

}  // namespace
}  // namespace tavrix::trigger_test
