// Starts the real tavrix executable as a user would and checks what it does:
// switches, registration, start, logging and stop.
#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/handshake.h"

#include "e2e/tavrix_process.h"

namespace tavrix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using e2e::ReadFile;
using e2e::WriteFile;

class ProcessTest : public e2e::TavrixProcessTest {
 protected:
  int Run(const std::vector<std::string>& args) {
    Spawn(args);
    return Wait();
  }
};

TEST_F(ProcessTest, HelpAndVersionPrintAndExit) {
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(Stdout().rfind("tavrix ", 0), 0u);
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(Stdout().find("-RegServer"), std::string::npos);
}

TEST_F(ProcessTest, RegisteredServerStartsLogsAndStopsOnSigterm) {
  WriteFile(settings_, SettingsText());
  ASSERT_EQ(Run({"-RegServer"}), 0) << Stderr();
  Spawn({});
  ASSERT_TRUE(WaitForText(log_, "ServiceModule : Service started\n")) << Stderr();
  // Each file line starts with its local time stamp and a tab.
  const std::string log = ReadFile(log_);
  const size_t tab = log.find('\t');
  ASSERT_NE(tab, std::string::npos);
  EXPECT_EQ(tab, std::string("2026/12/09 23:30:13.0123").size()) << log;
  ASSERT_EQ(::kill(pid_, SIGTERM), 0);
  EXPECT_EQ(Wait(), 0);
}

TEST_F(ProcessTest, SigintStopsTooAndAnUnconfiguredSystemSaysSo) {
  WriteFile(settings_, SettingsText(""));
  ASSERT_EQ(Run({"/regserver"}), 0) << Stderr();
  Spawn({});
  // Without DataPath the logger keeps its default: standard error.
  ASSERT_TRUE(WaitForText(dir_ / "stderr", "ServiceModule : Service started\n"));
  EXPECT_NE(Stderr().find("This system has not be configured yet.\n"), std::string::npos);
  ASSERT_EQ(::kill(pid_, SIGINT), 0);
  EXPECT_EQ(Wait(), 0);
}

TEST_F(ProcessTest, UnregisteredOrBrokenSettingsEndTheStart) {
  WriteFile(settings_, SettingsText());
  EXPECT_NE(Run({}), 0);
  EXPECT_NE(Stderr().find(settings_.string()), std::string::npos) << Stderr();
  EXPECT_FALSE(fs::exists(log_));  // ended before any log line

  WriteFile(settings_, SettingsText() + "\"Broken\"=dword:12\n");
  EXPECT_NE(Run({}), 0);
  EXPECT_NE(Stderr().find(settings_.string() + ":8:"), std::string::npos) << Stderr();

  fs::remove(settings_);
  EXPECT_NE(Run({}), 0);
  EXPECT_NE(Stderr().find(settings_.string()), std::string::npos) << Stderr();
}

TEST_F(ProcessTest, RegisterThenUnregisterLeavesTheFileAsItWas) {
  const std::string original =
      SettingsText() + "\n; kept by everyone\n[HKEY_CLASSES_ROOT\\Other]\n\"x\"=\"y\"\n";
  for (const char* reg : {"-RegServer", "-Service"}) {
    SCOPED_TRACE(reg);
    WriteFile(settings_, original);
    ASSERT_EQ(Run({reg}), 0) << Stderr();
    EXPECT_NE(ReadFile(settings_), original);
    ASSERT_EQ(Run({"-UnregServer"}), 0) << Stderr();
    EXPECT_EQ(ReadFile(settings_), original);
    EXPECT_FALSE(fs::exists(dir_ / "units" / "tavrix.service"));
  }
}

TEST_F(ProcessTest, ServiceRegistrationWritesAUnitThatStartsWithoutASwitch) {
  WriteFile(settings_, SettingsText());
  ASSERT_EQ(Run({"-Service"}), 0) << Stderr();
  const std::string unit = ReadFile(dir_ / "units" / "tavrix.service");
  EXPECT_NE(unit.find(std::string("ExecStart=") + TAVRIX_BIN + "\n"), std::string::npos) << unit;
  // Started by hand (not by systemd) the service registration runs as a local server.
  Spawn({});
  ASSERT_TRUE(WaitForText(log_, "ServiceModule : Service started\n")) << Stderr();
  ASSERT_EQ(::kill(pid_, SIGTERM), 0);
  EXPECT_EQ(Wait(), 0);
}

TEST_F(ProcessTest, HandshakeHoldsTheStartUntilTheToolLetsGo) {
  WriteFile(settings_, SettingsText());
  ASSERT_EQ(Run({"-RegServer"}), 0) << Stderr();
  sem_unlink(kHandshakeFirst);
  sem_unlink(kHandshakeSecond);
  sem_t* first = sem_open(kHandshakeFirst, O_CREAT | O_EXCL, 0600, 0);
  ASSERT_NE(first, SEM_FAILED);
  Spawn({});
  timespec until{};
  clock_gettime(CLOCK_REALTIME, &until);
  until.tv_sec += 20;
  ASSERT_EQ(sem_timedwait(first, &until), 0);  // the server reached the hand-shake
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(fs::exists(log_));  // and waits there, before reading its settings
  sem_t* second = sem_open(kHandshakeSecond, 0);
  ASSERT_NE(second, SEM_FAILED);
  sem_post(second);
  EXPECT_TRUE(WaitForText(log_, "ServiceModule : Service started\n"));
  sem_close(second);
  sem_close(first);
  sem_unlink(kHandshakeFirst);
  sem_unlink(kHandshakeSecond);
  ASSERT_EQ(::kill(pid_, SIGTERM), 0);
  EXPECT_EQ(Wait(), 0);
}

TEST_F(ProcessTest, LocaleSettingIsCheckedAtStart) {
  struct Case {
    const char* lcid;
    bool refused;
  } cases[] = {{"00000000", false}, {"00000407", false}, {"00000400", false}, {"00012345", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lcid);
    WriteFile(settings_, SettingsText("/srv/tavrix/project.xml",
                                      std::string("\"LCID\"=dword:") + c.lcid + "\n"));
    fs::remove(log_);
    ASSERT_EQ(Run({"-RegServer"}), 0) << Stderr();
    Spawn({});
    ASSERT_TRUE(WaitForText(log_, "ServiceModule : Service started\n")) << Stderr();
    ASSERT_EQ(::kill(pid_, SIGTERM), 0);
    EXPECT_EQ(Wait(), 0);
    EXPECT_EQ(ReadFile(log_).find("Failed in setting set locale.\n") != std::string::npos,
              c.refused);
  }
}

// Started by systemd (NOTIFY_SOCKET set) with a service registration, the
// server reports readiness and stopping, and logs "Service stopped".
TEST_F(ProcessTest, ServiceModeReportsToSystemd) {
  WriteFile(settings_, SettingsText());
  ASSERT_EQ(Run({"-Service"}), 0) << Stderr();
  const std::string socketPath = (dir_ / "notify").string();
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(socketPath.size(), sizeof addr.sun_path);
  socketPath.copy(addr.sun_path, socketPath.size());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  timeval timeout{20, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  auto receive = [fd] {
    char buf[256];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
  };

  Spawn({}, {"NOTIFY_SOCKET=" + socketPath});
  EXPECT_EQ(receive(), "STATUS=Starting");
  EXPECT_EQ(receive(), "READY=1\nSTATUS=Running");
  ASSERT_EQ(::kill(pid_, SIGTERM), 0);
  EXPECT_EQ(receive(), "STOPPING=1");
  EXPECT_EQ(Wait(), 0);
  ::close(fd);
  const std::string log = ReadFile(log_);
  EXPECT_NE(log.find("ServiceModule : Service started\n"), std::string::npos);
  EXPECT_NE(log.find("Service stopped\n"), std::string::npos) << log;
}

}  // namespace
}  // namespace tavrix
