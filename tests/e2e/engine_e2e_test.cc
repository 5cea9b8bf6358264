// The real tavrix executable on the sample project: the engine registers and
// activates the simulated controllers, and SIGTERM stops it once, in both
// process modes.
#include <signal.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e/tavrix_process.h"

namespace {

using tavrix::e2e::ReadFile;

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class EngineProcessTest : public tavrix::e2e::TavrixProcessTest {
 protected:
  void SetUp() override {
    TavrixProcessTest::SetUp();
    tavrix::e2e::WriteFile(settings_, SettingsText(TAVRIX_SAMPLE_PROJECT,
                                                   "\"LogLevel\"=dword:00000000\n"));
  }
  // The project's folders (temporary files, shared data) inside the test's.
  void Spawn(const std::vector<std::string>& args, std::vector<std::string> env) {
    env.push_back("IOTAPPTEMP=" + dir_.string());
    env.push_back("QUORVELSHARE=" + dir_.string());
    TavrixProcessTest::Spawn(args, env);
  }
};

TEST_F(EngineProcessTest, TheSampleProjectRunsUntilSigterm) {
  struct Mode {
    const char* registration;
    std::vector<std::string> env;
  } modes[] = {
      {"-RegServer", {}},
      // Registered as a service and started as systemd would start it.
      {"-Service", {"INVOCATION_ID=engine-e2e"}},
  };
  for (const Mode& mode : modes) {
    SCOPED_TRACE(mode.registration);
    std::filesystem::remove(log_);
    Spawn({mode.registration}, {});
    ASSERT_EQ(Wait(), 0) << Stderr();
    Spawn({}, mode.env);
    ASSERT_TRUE(WaitForLog("TavrixEngineMan : End activate controller group 1.\n"))
        << Stderr() << ReadFile(log_);
    const std::string started = ReadFile(log_);
    for (const char* line : {"TavrixEngineMan : Service Started\n",
                             "Controller [Line1] is Registed.\n",
                             "Controller [Line2] is Registed.\n",
                             "TavrixEngineMan : Start Controller Activate.\n",
                             "TavrixEngineMan : Start activate controller group 1.\n",
                             "TavrixEngineMan : Controller [Line1] is initialized.\n",
                             "TavrixEngineMan : Controller [Line2] is initialized.\n"}) {
      EXPECT_NE(started.find(line), std::string::npos) << line;
    }
    // The disabled controller is not registered.
    EXPECT_EQ(started.find("Controller [Utility] is Registed."), std::string::npos);

    ASSERT_EQ(::kill(pid_, SIGTERM), 0);
    EXPECT_EQ(Wait(), 0) << Stderr();
    const std::string log = ReadFile(log_);
    EXPECT_EQ(Count(log, "TavrixEngineMan : Terminate start.\n"), 1u) << log;
    EXPECT_EQ(Count(log, "TavrixEngineMan : Terminate complete.\n"), 1u) << log;
    EXPECT_LT(log.find("TavrixEngineMan : Start Deactivate Controller group 0.\n"),
              log.find("TavrixEngineMan : Terminate complete.\n"));
  }
}

}  // namespace
