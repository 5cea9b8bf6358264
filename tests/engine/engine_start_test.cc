// The engine start: registration, the project checks, the services in their
// order, the failures that are only logged and the ones that end the start.
#include <cstdlib>

#include "config/replace_strings.h"
#include "engine/engine_fixture.h"

namespace tavrix::engine_test {
namespace {

using StartTest = EngineTest;

std::vector<SimController> Controllers(int count) {
  std::vector<SimController> out;
  for (int i = 0; i < count; ++i) out.push_back({.name = "C" + std::to_string(i)});
  return out;
}

TEST_F(StartTest, RegistersEnabledControllersAndFindsThemWithoutRegardToCase) {
  ASSERT_EQ(Start({.controllers = {{.name = "Alpha"},
                                   {.name = "Gamma", .enabled = false},
                                   {.name = "beta"}}}),
            S_OK);
  const auto controllers = engine_->Controllers();
  ASSERT_EQ(controllers.size(), 2u);
  EXPECT_EQ(controllers[0]->name(), "Alpha");
  EXPECT_EQ(controllers[0]->index(), 0);
  EXPECT_EQ(controllers[1]->name(), "beta");
  EXPECT_EQ(controllers[1]->index(), 1);  // the refused controller took no index
  ExpectInOrder({"Controller [Alpha] is Registed.\n", "Controller [beta] is Registed.\n"});
  EXPECT_EQ(LineOf("Controller [Alpha] is Registed.").level, 0u);

  EXPECT_EQ(engine_->FindController("ALPHA"), controllers[0]);
  EXPECT_EQ(engine_->FindController("Beta"), controllers[1]);
  EXPECT_EQ(engine_->FindController("Gamma"), nullptr);
  EXPECT_EQ(engine_->FindController("Alph"), nullptr);
}

TEST_F(StartTest, ServicesStartInOrderAndStopInTheReverseOrder) {
  answers_.queuedExecutions = 3;
  ASSERT_EQ(Start({.controllers = {{.name = "A"}, {.name = "B"}}},
                  {.ddeEnabled = true, .kivServerEnabled = true, .coapServerEnabled = true}),
            S_OK);
  EXPECT_EQ(calls_.Calls(), (std::vector<std::string>{
                                "dde.Start", "history.InitializeManager", "formatter.Start",
                                "wiring.SubItems A", "wiring.Links A", "wiring.SubItems B",
                                "wiring.Links B", "wiring.Cycles A", "wiring.Cycles B",
                                "engineObject.Create", "trigger.Init",
                                "trigger.StartAutoRewrite A B", "functions.Init",
                                "functions.Bind 2", "history.CreateObject",
                                "history.QueryHistory", "kiv.Start", "coap.Start"}));
  ASSERT_TRUE(WaitForLine("TavrixEngineMan : End activate controller group 0.\n"));
  MustReturn("Terminate", [this] { engine_->Terminate(); });
  MustReturn("Terminate", [this] { engine_->Terminate(); });  // the second does nothing
  ExpectInOrder({"TavrixEngineMan : Terminate start.\n", "fake : coap.Stop\n",
                 "fake : kiv.Stop\n", "TavrixEngineMan : Start Deactivate Controller group 0.\n",
                 "TavrixController[A] : _Deactivate : Start.",
                 "TavrixEngineMan : End Deactivate Controller group 0.\n",
                 "fake : functions.Stop\n",
                 "TavrixEngineMan : Start Terminate Trigger : Asynchronous execution queue "
                 "count : 3.\n",
                 "fake : trigger.Terminate\n", "TavrixEngineMan : End Terminate Trigger.\n",
                 "TavrixController[A] : _Terminate : Start.",
                 "TavrixController[B] : _Terminate : Start.", "fake : history.ReleaseObject\n",
                 "fake : history.StopManager\n", "fake : dde.Stop\n", "fake : decoder.Unload\n",
                 "TavrixEngineMan : Terminate complete.\n"});
  EXPECT_EQ(CountOf("TavrixEngineMan : Terminate start."), 1);
  EXPECT_EQ(CountOf("TavrixEngineMan : Terminate complete."), 1);
  EXPECT_TRUE(engine_->Controllers().empty());
  Ref<IZeltWorkspace> workspace;
  EXPECT_TRUE(FAILED(engine_->GetWorkspace(&workspace)));
}

// The project checks: 255 of each are accepted, 256 refuse the whole project
// and leave the process running without active controllers.
TEST_F(StartTest, ProjectLimitsAcceptTheMostAndRefuseOneMore) {
  struct Case {
    int controllers;
    int asyncPerController;
    const char* refusal;  // null: accepted
  } cases[] = {
      {255, 0, nullptr},
      {256, 0, "TavrixEngineMan : Controller is too many.\n"},
      {3, 85, nullptr},
      {2, 128, "TavrixEngineMan : AsyncTrigger is too many.\n"},
      {0, 0, "TavrixEngineMan : There is no controller entry.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.controllers) + " controllers, " +
                 std::to_string(c.asyncPerController) + " async triggers each");
    log_.Clear();
    answers_.asyncTriggersPerController = c.asyncPerController;
    ASSERT_EQ(Start({.controllers = Controllers(c.controllers)}), S_OK);
    EXPECT_EQ(engine_->Controllers().size(), static_cast<size_t>(c.controllers));
    if (c.refusal == nullptr) {
      EXPECT_FALSE(log_.Contains("Failed in initializing Tavrix."));
      EXPECT_TRUE(WaitForLine("TavrixEngineMan : Waiting Controller Activate.\n"));
    } else {
      const auto line = LineOf(c.refusal);
      EXPECT_EQ(line.level, 3u);
      EXPECT_EQ(line.result, E_FAIL);
      ExpectInOrder({c.refusal, "TavrixEngineMan : Failed in initializing Tavrix.\n",
                     "fake : history.CreateObject\n"});
      EXPECT_EQ(LineOf("Failed in initializing Tavrix.").level, 3u);
      // Nothing of steps 5 to 12 ran.
      EXPECT_FALSE(log_.Contains("fake : formatter.Start"));
      EXPECT_FALSE(log_.Contains("Waiting Controller Activate"));
    }
    MustReturn("Terminate", [this] { engine_->Terminate(); });
    engine_.reset();
  }
}

// Failures the start logs and goes on from.
TEST_F(StartTest, ServiceFailuresAreLoggedAndTheStartGoesOn) {
  struct Case {
    const char* name;
    void (*answer)(Answers&);
    EngineSettings settings;
    const char* line;
    const char* absent;  // a call that must not happen
    bool EngineSettings::*cleared;
  } cases[] = {
      {"dde", [](Answers& a) { a.ddeStart = E_NOTIMPL; }, {.ddeEnabled = true},
       "Failed in initializing DDE server.\n", "fake : dde.Stop", &EngineSettings::ddeEnabled},
      {"kiv", [](Answers& a) { a.kivStart = E_FAIL; }, {.kivServerEnabled = true},
       "Failed in initializing Kiv server.\n", "fake : kiv.Stop",
       &EngineSettings::kivServerEnabled},
      {"coap", [](Answers& a) { a.coapStart = E_FAIL; }, {.coapServerEnabled = true},
       "Failed in initializing CoAP server.\n", "fake : coap.Stop",
       &EngineSettings::coapServerEnabled},
      {"trigger", [](Answers& a) { a.triggerInit = E_NOTIMPL; }, {},
       "TavrixEngineMan : Init external trigger failed.\n", "fake : trigger.StartAutoRewrite",
       nullptr},
      {"function init", [](Answers& a) { a.functionInit = E_NOTIMPL; }, {},
       "TavrixEngineMan : Init external function failed.\n", "fake : functions.Bind", nullptr},
      {"function bind", [](Answers& a) { a.functionBind = E_FAIL; }, {},
       "TavrixEngineMan : Init external function failed.\n", nullptr, nullptr},
      {"sub-items", [](Answers& a) { a.subItems = E_FAIL; }, {},
       "TavrixEngineMan : Failed in Initialize Subitem.\n", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log_.Clear();
    answers_ = Answers{};
    c.answer(answers_);
    ASSERT_EQ(Start({.controllers = {{.name = "A"}}}, c.settings), S_OK);
    EXPECT_TRUE(log_.Contains(c.line));
    EXPECT_FALSE(log_.Contains("Failed in initializing Tavrix."));
    EXPECT_TRUE(WaitForLine("TavrixEngineMan : End activate controller group 0.\n"));
    if (c.cleared != nullptr) {
      EXPECT_FALSE(engine_->settings().*c.cleared);
    }
    MustReturn("Terminate", [this] { engine_->Terminate(); });
    if (c.absent != nullptr) {
      EXPECT_FALSE(log_.Contains(c.absent));
    }
    engine_.reset();
  }
}

// The history object decides whether the caller runs its message loop; a
// start that fails has already stopped everything it started.
TEST_F(StartTest, HistoryObjectFailures) {
  struct Case {
    const char* name;
    HRESULT create;
    HRESULT query;
    EngineSettings settings;
    bool succeeds;
    const char* line;
  } cases[] = {
      {"not made", E_FAIL, S_OK, {}, false,
       "TavrixEngineMan : Failed in creating ITavrixHistory interface.\n"},
      {"not made, a server runs", E_FAIL, S_OK, {.kivServerEnabled = true}, true,
       "TavrixEngineMan : Failed in creating ITavrixHistory interface.\n"},
      {"no interface", S_OK, E_NOINTERFACE, {.ddeEnabled = true, .kivServerEnabled = true},
       false, "TavrixEngineMan : Failed in retrieving ITavrixHistory interface.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log_.Clear();
    answers_ = Answers{.historyCreate = c.create, .historyQuery = c.query};
    const HRESULT hr = Start({.controllers = {{.name = "A"}}}, c.settings);
    EXPECT_EQ(SUCCEEDED(hr), c.succeeds);
    EXPECT_EQ(LineOf(c.line).level, 1u);
    EXPECT_EQ(engine_->terminated(), !c.succeeds);
    if (!c.succeeds) {
      // No thread is left: the activation was aborted and the controllers released.
      EXPECT_TRUE(engine_->Controllers().empty());
      EXPECT_TRUE(log_.Contains("TavrixEngineMan : Terminate complete.\n"));
    }
    if (c.query.failed()) {
      ExpectInOrder({c.line, "fake : history.ReleaseObject\n", "fake : history.StopManager\n",
                     "fake : dde.Stop\n", "TavrixEngineMan : Terminate start.\n"});
      EXPECT_FALSE(log_.Contains("fake : kiv.Start"));
    }
    MustReturn("Terminate", [this] { engine_->Terminate(); });
    engine_.reset();
  }
}

// A fault part-way through the file keeps what was registered before it.
TEST_F(StartTest, AProjectThatBreaksOffKeepsTheControllersBeforeTheFault) {
  ASSERT_EQ(StartOn(std::string(TAVRIX_ENGINE_FIXTURES) + "/broken_after_two.xml"), S_OK);
  ASSERT_EQ(engine_->Controllers().size(), 2u);
  EXPECT_NE(engine_->FindController("BeforeFault1"), nullptr);
  const auto line = LineOf("TavrixEngineMan : The project file could not be read to its end;");
  EXPECT_EQ(line.level, 3u);
  EXPECT_NE(line.text.find("2 controllers are registered."), std::string::npos) << line.text;
  EXPECT_FALSE(log_.Contains("Failed in initializing Tavrix."));
}

TEST_F(StartTest, AZeltEngineOnAnotherComputerCannotBeMade) {
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  struct Case {
    std::string zeltHost;
    bool made;
  } cases[] = {{"", true}, {"LocalHost", true}, {host, true}, {"plant-host-elsewhere", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.zeltHost);
    log_.Clear();
    ASSERT_EQ(Start({.zeltHost = c.zeltHost, .controllers = {{.name = "A"}}}), S_OK);
    Ref<IZeltWorkspace> workspace;
    EXPECT_EQ(SUCCEEDED(engine_->GetWorkspace(&workspace)), c.made);
    EXPECT_EQ(log_.Contains("TavrixEngineMan : Failed in creating ZeltEngine instance.\n"),
              !c.made);
    EXPECT_EQ(log_.Contains("TavrixEngineMan : Failed in initializing Tavrix.\n"), !c.made);
    MustReturn("Terminate", [this] { engine_->Terminate(); });
    engine_.reset();
  }
}

// The start waits for the first connection pass, and only when there is one.
TEST_F(StartTest, NetworkFoldersAreConnectedBeforeTheControllersStart) {
  ASSERT_EQ(Start({.credentials = {{"//conflict/share", "op", "enc:pw1"},
                                   {"//ok/share", "op", "enc:pw2"},
                                   {"//ok/other", "op", "not-decodable"}},
                   .controllers = {{.name = "A"}}}),
            S_OK);
  ExpectInOrder({"Try connect to network folders.\n",
                 "Network folder credential confrict. //conflict/share\n",
                 "Network folder connect succeeded. //conflict/share\n",
                 "Network folder connect succeeded. //ok/share\n",
                 "Network folder connect failed. //ok/other\n", "fake : formatter.Start\n"});
  EXPECT_TRUE(calls_.Called("net.Connect //ok/share op pw2"));
  MustReturn("Terminate", [this] { engine_->Terminate(); });
  // Cancelled when the thread starts and again when the terminate stops it.
  EXPECT_EQ(CountOf("fake : net.Cancel //ok/other\n"), 2);

  engine_.reset();
  log_.Clear();
  ASSERT_EQ(Start({.controllers = {{.name = "A"}}}), S_OK);
  EXPECT_FALSE(log_.Contains("Try connect to network folders."));
}

TEST_F(StartTest, TheSharedFolderEntryComesFromTheEnvironmentOrTheDocumentsFolder) {
  auto& table = TavrixUtility::ReplaceStringMap::Instance();
  struct Case {
    const char* share;  // QUORVELSHARE, null: unset
    std::string path;
    bool encrypted;
  } cases[] = {
      {"/srv/share", "/srv/share", true},
      {nullptr, "/home/op/docs/Quorvel/ShareTemp", false},
  };
  ASSERT_EQ(setenv("XDG_DOCUMENTS_DIR", "/home/op/docs", 1), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    if (c.share != nullptr) {
      ASSERT_EQ(setenv("QUORVELSHARE", c.share, 1), 0);
    } else {
      ASSERT_EQ(unsetenv("QUORVELSHARE"), 0);
    }
    table.ResetForTesting();
    ASSERT_EQ(Start({.controllers = {{.name = "A"}}}), S_OK);
    const auto entry = table.Find("#share_folder_path");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->value, c.path);
    EXPECT_EQ(entry->encrypted, c.encrypted);
    MustReturn("Terminate", [this] { engine_->Terminate(); });
    engine_.reset();
  }
  unsetenv("QUORVELSHARE");
  unsetenv("XDG_DOCUMENTS_DIR");
  table.ResetForTesting();
}

// What controllers ask of their host comes from the workspace record.
TEST_F(StartTest, TheHostAnswersFromTheWorkspace) {
  ASSERT_EQ(Start({.retryCount = 4, .retryInterval = 0, .controllers = {{.name = "A"}}},
                  {.lcid = 1031}),
            S_OK);
  EXPECT_EQ(engine_->RetryCount(), 4);
  EXPECT_EQ(engine_->RetryInterval(), CTavrixEngineMan::kDefaultRetryInterval);
  EXPECT_EQ(engine_->Lcid(), 1031u);
  EXPECT_EQ(&engine_->ProviderLock("zeltprov.sim"), &engine_->ProviderLock("ZeltProv.Sim"));
  EXPECT_NE(&engine_->ProviderLock("ZeltProv.Sim"), &engine_->ProviderLock("ZeltProv.Kiv"));
}

// The manager's own engine object takes a reference like every engine
// object; the start gives it back so that the object never keeps the
// manager alive, and releasing the object at terminate ends nothing twice.
TEST_F(StartTest, TheOwnEngineObjectDoesNotKeepTheManager) {
  answers_.makeEngineObject = true;
  ASSERT_EQ(Start({.controllers = {{.name = "A"}}}), S_OK);
  EXPECT_EQ(engine_->lockCount(), 0);
  EXPECT_FALSE(engine_->terminated());
  ExpectInOrder({"CTavrixEngineMan::AddRef lock count 1\n",
                 "CTavrixEngineMan::Enter Release lock count 1\n"});
  MustReturn("Terminate", [this] { engine_->Terminate(); });
  EXPECT_EQ(CountOf("TavrixEngineMan : Terminate start."), 1);
}

TEST_F(StartTest, InitializeRunsOnce) {
  ASSERT_EQ(Start({.controllers = {{.name = "A"}}}), S_OK);
  EXPECT_EQ(engine_->Initialize(), E_UNEXPECTED);
  EXPECT_EQ(engine_->Controllers().size(), 1u);
}

}  // namespace
}  // namespace tavrix::engine_test
