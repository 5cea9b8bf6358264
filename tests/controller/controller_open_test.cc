// Opening and closing a controller's connection: sharing, retries,
// cancellation, the lock registries and the settings rules.
#include <optional>
#include <thread>

#include "controller/controller_fixture.h"
#include "controller/critical_section_manager.h"

namespace tavrix::controller_test {
namespace {

using OpenTest = ControllerTest;

TEST_F(OpenTest, ControllersOfOneZeltNameShareTheConnection) {
  const std::string zelt = UniqueName("Shared");
  ControllerRecord a = SimRecord(zelt);
  a.RSQLCtrlName = "LineA";
  ControllerRecord b = SimRecord(zelt);
  b.RSQLCtrlName = "LineB";
  auto first = Make(a, 0);
  auto second = Make(b, 1);

  ASSERT_EQ(first->OpenController(), S_OK);
  ASSERT_EQ(second->OpenController(), S_OK);
  EXPECT_EQ(first->zeltController(), second->zeltController());
  EXPECT_EQ(Count("TavrixController[LineB] : OpenController : Use shared controller."), 1u);
  EXPECT_EQ(host_.WorkspaceControllerCount(), 1);
  EXPECT_EQ(first->OpenController(), S_FALSE);  // already open

  first->CloseController();
  EXPECT_EQ(Count("TavrixController[LineA] : CloseController : Controller is not removed. "
                  "Refernce count is 1"),
            1u);
  EXPECT_EQ(host_.WorkspaceControllerCount(), 1);
  EXPECT_FALSE(first->zeltController());
  second->CloseController();
  EXPECT_EQ(Count("TavrixController[LineB] : CloseController : Controller removed."), 1u);
  EXPECT_EQ(host_.WorkspaceControllerCount(), 0);
}

struct RetryCase {
  int32_t retryCount;
  int32_t openFailures;
  HRESULT expected;
  size_t reopenLines;
};

class OpenRetryTest : public OpenTest, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(OpenRetryTest, AttemptsFollowTheRetryCount) {
  const RetryCase& c = GetParam();
  host_.retryCount = c.retryCount;
  auto controller =
      Make(SimRecord(UniqueName("Retry"), "open_failures=" + std::to_string(c.openFailures)));
  EXPECT_EQ(controller->OpenController(), c.expected);
  EXPECT_EQ(Count("Re-open the controller... #"), c.reopenLines);
  EXPECT_EQ(Count("OpenController : AddController start."), c.reopenLines + 1);
  EXPECT_EQ(Count("Connect waiting loop exited."), 1u);
  EXPECT_EQ(static_cast<bool>(controller->zeltController()), c.expected == S_OK);
}

INSTANTIATE_TEST_SUITE_P(Counts, OpenRetryTest,
                         ::testing::Values(RetryCase{0, 1, E_FAIL, 0},  // one attempt only
                                           RetryCase{2, 5, E_FAIL, 2},
                                           RetryCase{2, 2, S_OK, 2},
                                           RetryCase{-1, 4, S_OK, 4}));  // for ever

TEST_F(OpenTest, StopDuringTheRetryWaitEndsAtOnce) {
  host_.retryCount = -1;
  host_.retryInterval = 60000;
  auto controller = Make(SimRecord(UniqueName("Stop"), "open_failures=1000"));
  std::thread stopper([&] {
    ASSERT_TRUE(WaitFor([&] { return Count("AddController failed.") == 1; }));
    controller->stopEvent().Set();
  });
  EXPECT_TRUE(FAILED(controller->OpenController()));
  stopper.join();
  EXPECT_EQ(Count("Re-open the controller"), 0u);
  EXPECT_EQ(Count("Connect waiting loop exited."), 1u);

  // Set before the attempt: cancelled without trying.
  log_.Clear();
  EXPECT_EQ(controller->OpenController(), E_FAIL);
  EXPECT_EQ(Count("OpenController : AddController Canceled."), 1u);
  EXPECT_EQ(Count("AddController failed."), 0u);
}

TEST_F(OpenTest, VersionedProjectWithoutProviderOpensNothing) {
  host_.versioned = true;
  ControllerRecord r = SimRecord(UniqueName("NoProvider"));
  r.m_strProvider.clear();
  auto controller = Make(r);
  EXPECT_EQ(controller->OpenController(), S_FALSE);
  EXPECT_EQ(Count("OpenController : Provider is not used."), 1u);
  EXPECT_FALSE(controller->zeltController());
}

TEST_F(OpenTest, CloseUnregistersWhatTheOpenRegistered) {
  ControllerRecord r = SimRecord(UniqueName("Sync"));
  r.m_bVariableSync = true;
  auto controller = Make(r);
  ASSERT_EQ(controller->OpenController(), S_OK);
  const auto key = CriticalSectionManager::ControllerKey(controller->zeltController().get());
  EXPECT_EQ(CriticalSectionManager::ByController().Count(key), 1);

  // The setting changes while the connection is open; the close still gives
  // back the registration the open made.
  r.m_bVariableSync = false;
  controller->SetPendingUpdate(r);
  ASSERT_EQ(controller->_DoUpdate(), S_OK);
  controller->CloseController();
  EXPECT_EQ(CriticalSectionManager::ByController().Count(key), 0);
}

TEST_F(OpenTest, CloseWithoutWorkspaceStillLetsTheConnectionGo) {
  auto controller = Make(SimRecord(UniqueName("NoWs")));
  ASSERT_EQ(controller->OpenController(), S_OK);
  host_.DropWorkspace();
  controller->CloseController();
  EXPECT_EQ(Count("CloseController : Workspace not exists."), 1u);
  EXPECT_EQ(Count("CloseController : Controller released."), 1u);
  EXPECT_FALSE(controller->zeltController());
}

TEST_F(OpenTest, AnOptionChangedBeforeTheOpenIsTakenByIt) {
  auto controller = Make(SimRecord(UniqueName("Option")));
  controller->SetOption("seed=5");
  EXPECT_TRUE(controller->optionChanged());
  ASSERT_EQ(controller->OpenController(), S_OK);
  EXPECT_FALSE(controller->optionChanged());
  EXPECT_EQ(Count("Option string is updated."), 0u);
  EXPECT_EQ(controller->settings()->m_bstrParam, "seed=5");
}

TEST_F(OpenTest, OptionChangedDuringTheOpenOpensAgainWithTheNewOption) {
  const std::string name = UniqueName("Reopen");
  auto controller = Make(SimRecord(name, "seed=1"));
  // The open has taken its option and waits for the name's lock, which the
  // test holds; the option changes meanwhile.
  std::optional<CriticalSectionManager::Holder> nameLock;
  nameLock.emplace(CriticalSectionManager::ByName().Lock(CriticalSectionManager::NameKey(name)));
  HRESULT opened = E_PENDING;
  std::thread open([&] { opened = controller->OpenController(); });
  ASSERT_TRUE(WaitFor([&] { return Count("OpenController : AddController start.") == 1; }));
  // The simulator refuses this option, so the second open shows which
  // option it was given.
  controller->SetOption("no_such_option=1");
  nameLock.reset();
  open.join();
  EXPECT_EQ(Count("ReconnectProc : Option string is updated. Process again."), 1u);
  EXPECT_EQ(Count("OpenController : AddController start."), 2u);
  EXPECT_EQ(Count("CloseController : Controller released."), 1u);
  EXPECT_TRUE(FAILED(opened));
  EXPECT_EQ(Count("OpenController : AddController failed."), 1u);
  EXPECT_FALSE(controller->zeltController());
  EXPECT_FALSE(controller->optionChanged());
}

TEST_F(OpenTest, DisabledAndInvalidSettings) {
  ControllerRecord off = SimRecord(UniqueName("Off"));
  off.m_bEnabled = false;
  auto disabled = MakeRef<CTavrixController>(host_);
  EXPECT_EQ(disabled->Initialize(0, off), E_FAIL);
  EXPECT_EQ(Count("] : NOT Enabled."), 1u);

  ControllerRecord odd = SimRecord(UniqueName("Odd"));
  odd.m_lPriority = 9;
  odd.m_lSamplingRate = 0;
  odd.m_bAutoReconn = true;
  odd.m_lRecInterval = 0;
  auto controller = Make(odd);
  EXPECT_EQ(controller->threadPriority(), kThreadPriorities[0]);
  EXPECT_EQ(controller->samplingRate(), 300);
  EXPECT_EQ(controller->recInterval(), 1);
  EXPECT_EQ(controller->recWaitTime(), 1);  // negative wait: the interval
  size_t warnings = 0;
  for (const auto& line : log_.Lines()) warnings += line.level == 2;
  EXPECT_EQ(warnings, 3u);
}

TEST_F(OpenTest, ItemsTakeConsecutiveIndexesAndAreFoundInAnyCase) {
  auto c = Make(SimRecord(UniqueName("Names")));
  for (const char* name : {"Pressure", "PRESSURE", "Température"}) {
    ASSERT_EQ(c->AddItemRecord(SimItem(name, "counter")), S_OK) << name;
  }
  const std::vector<Ref<CTavrixItem>> items = c->Items();
  ASSERT_EQ(items.size(), 3u);
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(items[i]->index(), i);
  // Two items of one name: the first is the one found.
  EXPECT_EQ(c->FindItem("pressure"), items[0]);
  EXPECT_EQ(c->FindItem("TEMPÉRATURE"), items[2]);
  EXPECT_FALSE(c->FindItem("Pressur"));
}

TEST_F(OpenTest, SubItemsOfADisabledItemAreNotCreated) {
  auto c = Make(SimRecord(UniqueName("Parents")));
  ItemRecord off = SimItem("Block", "counter");
  off.m_bEnabled = false;
  ItemRecord on = SimItem("Other", "counter");
  auto subOf = [](std::string_view name, std::string_view parent) {
    ItemRecord r = SimItem(name, "");
    r.m_bVariableEnabled = false;
    r.m_bSubItem = true;
    r.m_strSubItemParentName = std::string(parent);
    return r;
  };
  EXPECT_EQ(c->AddItemRecord(off), S_FALSE);
  EXPECT_EQ(c->AddItemRecord(on), S_OK);
  EXPECT_EQ(c->AddItemRecord(subOf("Lost", "block")), S_FALSE);  // names match in any case
  EXPECT_EQ(c->AddItemRecord(subOf("Kept", "Other")), S_OK);
  EXPECT_EQ(Count("TavrixItem[Block] : NOT Enabled."), 1u);
  EXPECT_EQ(Count("TavrixItem[Lost] : Parent item not enabled."), 1u);
  EXPECT_FALSE(c->FindItem("Lost"));
  EXPECT_TRUE(c->FindItem("Kept"));
  EXPECT_EQ(c->itemCount(), 2u);
}

}  // namespace
}  // namespace tavrix::controller_test
