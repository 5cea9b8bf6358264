// Activation in priority groups behind a barrier, deactivation in groups, and
// stopping at any moment of the activation.
#include "engine/engine_fixture.h"

namespace tavrix::engine_test {
namespace {

using ActivationTest = EngineTest;

// A group starts only when every controller of the group before has
// signalled; the controllers of one group open side by side.
TEST_F(ActivationTest, GroupsActivateInAscendingPriorityBehindABarrier) {
  ASSERT_EQ(Start({.retryCount = 5,
                   .retryInterval = 200,
                   .controllers = {{.name = "Late", .activatePriority = 2},
                                   {.name = "Slow", .activatePriority = 1,
                                    .param = "open_failures=2"},
                                   {.name = "Quick", .activatePriority = 1}}}),
            S_OK);
  ASSERT_TRUE(WaitForLine("TavrixEngineMan : End activate controller group 2.\n"));
  ExpectInOrder({"TavrixEngineMan : Waiting Controller Activate.\n",
                 "TavrixEngineMan : Start Controller Activate.\n",
                 "TavrixEngineMan : Start activate controller group 1.\n",
                 "TavrixController[Quick] : OpenController : AddController end.",
                 "TavrixController[Slow] : Re-open the controller... #2",
                 "TavrixEngineMan : Controller [Slow] is initialized.\n",
                 "TavrixEngineMan : Controller [Quick] is initialized.\n",
                 "TavrixEngineMan : End activate controller group 1.\n",
                 "TavrixEngineMan : Start activate controller group 2.\n",
                 "TavrixController[Late] : OpenController : AddController start.",
                 "TavrixEngineMan : Controller [Late] is initialized.\n",
                 "TavrixEngineMan : End activate controller group 2.\n"});
  EXPECT_EQ(LineOf("Start activate controller group 1.").level, 1u);
  EXPECT_EQ(LineOf("Controller [Late] is initialized.").level, 0u);
  const auto started = engine_->StartedControllers();
  ASSERT_EQ(started.size(), 3u);
  EXPECT_EQ(started[0]->name(), "Slow");  // the group in index order
  EXPECT_EQ(started[1]->name(), "Quick");
  EXPECT_EQ(started[2]->name(), "Late");
}

// Equal deactivation priorities stop together as one group.
TEST_F(ActivationTest, DeactivationGoesByDeactivatePriority) {
  ASSERT_EQ(Start({.controllers = {{.name = "A", .deactivatePriority = 5},
                                   {.name = "B", .deactivatePriority = 1},
                                   {.name = "C", .deactivatePriority = 5}}}),
            S_OK);
  ASSERT_TRUE(WaitForLine("TavrixEngineMan : End activate controller group 0.\n"));
  MustReturn("Terminate", [this] { engine_->Terminate(); });
  ExpectInOrder({"TavrixEngineMan : Start Deactivate Controller group 1.\n",
                 "TavrixController[B] : _Deactivate : Start.",
                 "TavrixEngineMan : End Deactivate Controller group 1.\n",
                 "TavrixEngineMan : Start Deactivate Controller group 5.\n",
                 "TavrixEngineMan : End Deactivate Controller group 5.\n"});
  const int groupStart = IndexOf("Start Deactivate Controller group 5.");
  const int groupEnd = IndexOf("End Deactivate Controller group 5.");
  for (const char* name : {"TavrixController[A] : _Deactivate : End.",
                           "TavrixController[C] : _Deactivate : End."}) {
    EXPECT_GT(IndexOf(name), groupStart) << name;
    EXPECT_LT(IndexOf(name), groupEnd) << name;
  }
  EXPECT_EQ(CountOf("Start Deactivate Controller group"), 2);
  EXPECT_EQ(LineOf("End Deactivate Controller group 5.").level, 1u);
}

// A controller whose activation failed (its open gave up) does not hold up
// the groups after it.
TEST_F(ActivationTest, FailedActivationLetsTheNextGroupStart) {
  ASSERT_EQ(Start({.retryCount = 0,
                   .controllers = {{.name = "Down", .activatePriority = 1,
                                    .param = "open_failures=1000000"},
                                   {.name = "Next", .activatePriority = 2}}}),
            S_OK);
  ASSERT_TRUE(WaitForLine("TavrixEngineMan : End activate controller group 2.\n"));
  ExpectInOrder({"TavrixEngineMan : Failed in activating TavrixController(Down).",
                 "TavrixEngineMan : Controller [Down] is not activated.\n",
                 "TavrixEngineMan : Start activate controller group 2.\n",
                 "TavrixEngineMan : Controller [Next] is initialized.\n"});
}

// A controller that never opens holds up the groups after it until the
// stop; only the controllers that were started are deactivated.
TEST_F(ActivationTest, TerminateWhileTheFirstGroupActivatesAborts) {
  ASSERT_EQ(Start({.retryCount = -1,
                   .retryInterval = 20,
                   .controllers = {{.name = "Stuck", .activatePriority = 1,
                                    .param = "open_failures=1000000"},
                                   {.name = "Next", .activatePriority = 2}}}),
            S_OK);
  ASSERT_TRUE(WaitForLine("TavrixController[Stuck] : Re-open the controller... #2"));
  MustReturn("Terminate", [this] { engine_->Terminate(); });
  const auto abort = LineOf("TavrixEngineMan : Abort activate controller.\n");
  EXPECT_EQ(abort.level, 1u);
  ExpectInOrder({"TavrixEngineMan : Terminate start.\n",
                 "TavrixEngineMan : Abort activate controller.\n",
                 "TavrixEngineMan : Start Deactivate Controller group 0.\n",
                 "TavrixController[Stuck] : _Deactivate : Start.",
                 "TavrixEngineMan : Terminate complete.\n"});
  EXPECT_FALSE(log_.Contains("Start activate controller group 2."));
  EXPECT_FALSE(log_.Contains("End activate controller group 1."));
  EXPECT_FALSE(log_.Contains("TavrixController[Next] : OpenController"));
  EXPECT_FALSE(log_.Contains("TavrixController[Next] : _Deactivate"));
}

// Whenever the stop comes (before the settings are handled, while a group
// opens, between groups, while the monitors run), it returns.
TEST_F(ActivationTest, StoppingAtAnyMomentOfTheActivationReturns) {
  const Project project{.retryCount = -1,
                        .retryInterval = 5,
                        .controllers = {{.name = "First", .activatePriority = 0},
                                        {.name = "Opener", .activatePriority = 1,
                                         .param = "open_failures=3"},
                                        {.name = "Second", .activatePriority = 1},
                                        {.name = "Third", .activatePriority = 2},
                                        {.name = "Never", .activatePriority = 3,
                                         .param = "open_failures=1000000"}}};
  for (const int delayMs : {0, 1, 2, 5, 10, 20, 40, 80, 160}) {
    SCOPED_TRACE(delayMs);
    log_.Clear();
    ASSERT_EQ(Start(project), S_OK);  // fresh Zelt names: the open failures count again
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    MustReturn("Terminate", [this] { engine_->Terminate(); });
    EXPECT_TRUE(log_.Contains("TavrixEngineMan : Terminate complete.\n"));
    EXPECT_TRUE(engine_->deactivated());
    // Every activated controller was deactivated, none twice.
    for (const char* name : {"First", "Opener", "Second", "Third", "Never"}) {
      const int deactivations =
          CountOf(std::string("TavrixController[") + name + "] : _Deactivate : Start.");
      EXPECT_LE(deactivations, 1) << name;
      if (log_.Contains(std::string("Controller [") + name + "] is initialized.")) {
        EXPECT_EQ(deactivations, 1) << name;
      }
    }
    engine_.reset();
  }
}

}  // namespace
}  // namespace tavrix::engine_test
