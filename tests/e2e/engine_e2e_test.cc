// The real tavrix executable on the sample project: the engine registers and
// activates the simulated controllers, and SIGTERM stops it once, in both
// process modes.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/spawn.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class EngineProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tavrix_e2e_engine_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "units");
    log_ = dir_ / "tavrix.log";
    std::ofstream(dir_ / "tavrix.reg", std::ios::binary)
        << "Windows Registry Editor Version 5.00\n\n"
           "[HKEY_CLASSES_ROOT\\SoftWare\\Tavrix]\n"
           "\"DataPath\"=\"" TAVRIX_SAMPLE_PROJECT "\"\n"
           "\"LogType\"=dword:00000004\n"
           "\"LogLevel\"=dword:00000000\n"
           "\"ProcessPriorityEx\"=dword:00000002\n"
           "\"FileName\"=\"" + log_.string() + "\"\n";
  }
  void TearDown() override {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    fs::remove_all(dir_);
  }

  // Starts tavrix with `args`; its files stay inside the test folder.
  void Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string v = *e;
      if (v.rfind("TAVRIX_", 0) != 0 && v.rfind("NOTIFY_SOCKET=", 0) != 0 &&
          v.rfind("INVOCATION_ID=", 0) != 0) {
        env.push_back(v);
      }
    }
    env.push_back("TAVRIX_REGISTRY=" + (dir_ / "tavrix.reg").string());
    env.push_back("TAVRIX_UNIT_DIR=" + (dir_ / "units").string());
    env.push_back("IOTAPPTEMP=" + dir_.string());
    env.push_back("QUORVELSHARE=" + dir_.string());
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    pid_ = tavrix::e2e::SpawnTavrix(dir_, std::move(env), args);
    ASSERT_GT(pid_, 0);
  }

  // The exit code, or -1 when the process had to be killed after 30 s.
  int Wait() {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) != pid_) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return -1;
      }
      std::this_thread::sleep_for(5ms);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  bool WaitForLog(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (ReadFile(log_).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  std::string Stderr() { return ReadFile(dir_ / "stderr"); }

  fs::path dir_;
  fs::path log_;
  pid_t pid_ = -1;
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
    fs::remove(log_);
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
