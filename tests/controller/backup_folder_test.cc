#include "controller/backup_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/log.h"

namespace tavrix {
namespace {

namespace fs = std::filesystem;

// Sets environment variables for one test and restores them.
class ScopedEnv {
 public:
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        unsetenv(it->first.c_str());
      }
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class BackupFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("tavrix_backup_" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_);
    ResetBackupFolderForTesting();
  }
  void TearDown() override {
    ResetBackupFolderForTesting();
    fs::remove_all(root_);
  }
  fs::path root_;
};

TEST_F(BackupFolderTest, FolderFromTheEnvironmentIsCreated) {
  struct Case {
    const char* iotAppTemp;
    const char* xdgDataHome;
    const char* home;
    std::string expected;  // below root_
  } cases[] = {
      {"a", "b", "c", "a/DB/"},
      {"a/", nullptr, nullptr, "a/DB/"},
      {"", "b", "c", "b/Quorvel/DB/"},
      {nullptr, nullptr, "c", "c/.local/share/Quorvel/DB/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    ResetBackupFolderForTesting();
    ScopedEnv env;
    auto under = [&](const char* v) -> std::optional<std::string> {
      if (v == nullptr) return std::nullopt;
      return *v ? (root_ / v).string() : std::string();
    };
    const auto a = under(c.iotAppTemp), b = under(c.xdgDataHome), h = under(c.home);
    env.Set("IOTAPPTEMP", a ? a->c_str() : nullptr);
    env.Set("XDG_DATA_HOME", b ? b->c_str() : nullptr);
    env.Set("HOME", h ? h->c_str() : nullptr);
    CapturingLogSink log;
    EXPECT_TRUE(GetBackupFolder());
    const std::string expected = (root_ / c.expected).string();
    EXPECT_EQ(BackupFolder(), expected);
    EXPECT_TRUE(fs::is_directory(expected));
    EXPECT_TRUE(log.Contains("GetBackupFolder : Backup directory is \"" + expected + "\".\n"));
  }
}

TEST_F(BackupFolderTest, AFileInThePathOrNoFolderDisablesBackups) {
  {
    ScopedEnv env;
    std::ofstream(root_ / "file") << "x";
    env.Set("IOTAPPTEMP", (root_ / "file").c_str());
    CapturingLogSink log;
    EXPECT_FALSE(GetBackupFolder());
    EXPECT_EQ(BackupFolder(), "");
    EXPECT_TRUE(log.Contains("GetBackupFolder : Backup path is file. Backup is disabled.\n"));
    EXPECT_FALSE(GetBackupFolder());  // stays disabled
  }
  ResetBackupFolderForTesting();
  ScopedEnv env;
  env.Set("IOTAPPTEMP", nullptr);
  env.Set("XDG_DATA_HOME", nullptr);
  env.Set("HOME", nullptr);
  CapturingLogSink log;
  EXPECT_FALSE(GetBackupFolder());
  EXPECT_TRUE(
      log.Contains("GetBackupFolder : Backup directory not defined. Backup is disabled.\n"));
}

}  // namespace
}  // namespace tavrix
