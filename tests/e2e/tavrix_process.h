// The fixture of the whole-process tests: a folder of its own for every test,
// and build/bin/tavrix started in it as a user would start it, with the
// settings file named through TAVRIX_REGISTRY and standard output and error
// going to files in the folder.
#pragma once

#include <signal.h>
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

namespace tavrix::e2e {

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class TavrixProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tavrix_e2e_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ / "units");
    settings_ = dir_ / "tavrix.reg";
    log_ = dir_ / "tavrix.log";
  }
  void TearDown() override {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove_all(dir_);
  }

  // The settings key with the log in the test folder (LogType 4), the
  // project at `dataPath` and the given extra lines.
  std::string SettingsText(const std::string& dataPath = "/srv/tavrix/project.xml",
                           const std::string& extra = "") {
    return "Windows Registry Editor Version 5.00\n\n"
           "[HKEY_CLASSES_ROOT\\SoftWare\\Tavrix]\n"
           "\"DataPath\"=\"" + dataPath + "\"\n"
           "\"LogType\"=dword:00000004\n"
           "\"ProcessPriorityEx\"=dword:00000002\n"
           "\"FileName\"=\"" + log_.string() + "\"\n" + extra;
  }

  // Starts tavrix with the arguments, in an environment without the
  // caller's Tavrix and service variables.
  void Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {}) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string v = *e;
      if (v.rfind("TAVRIX_", 0) != 0 && v.rfind("NOTIFY_SOCKET=", 0) != 0 &&
          v.rfind("INVOCATION_ID=", 0) != 0) {
        env.push_back(v);
      }
    }
    env.push_back("TAVRIX_REGISTRY=" + settings_.string());
    env.push_back("TAVRIX_UNIT_DIR=" + (dir_ / "units").string());
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    pid_ = SpawnTavrix(dir_, std::move(env), args);
    ASSERT_GT(pid_, 0);
  }

  // Waits for the process to end (killing it after `limit`); its exit code,
  // or -1 when it did not end by itself.
  int Wait(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) != pid_) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // Waits until `path` contains `text`; false after 30 s.
  bool WaitForText(const std::filesystem::path& path, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      if (ReadFile(path).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  bool WaitForLog(const std::string& text) { return WaitForText(log_, text); }

  std::string Stdout() { return ReadFile(dir_ / "stdout"); }
  std::string Stderr() { return ReadFile(dir_ / "stderr"); }

  std::filesystem::path dir_;
  std::filesystem::path settings_;
  std::filesystem::path log_;
  pid_t pid_ = -1;
};

}  // namespace tavrix::e2e
