// A tree with nothing but actions that need no operands runs at every cycle.
#include "trigger/trigger_fixture.h"

namespace tavrix::trigger_test {
namespace {

TEST_F(TriggerTest, EmptyTreeRunsAndEveryControllerSamples) {
  TriggerProject p;
  p.controllers.push_back({"A", {{"Count", "counter"}}});
  ASSERT_EQ(Start(p), S_OK);
  EXPECT_TRUE(WaitFor([&] { return ValueOf("A", "Count").vt() == VT_I4; }));
  EXPECT_EQ(Controller("A")->triggerInitResult(), 1);
}

}  // namespace
}  // namespace tavrix::trigger_test
