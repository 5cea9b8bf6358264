#include "trigger/backup/backup_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace tavrix {
namespace {

namespace fs = std::filesystem;

// 2024-03-01 12:00:00 UTC.
constexpr int64_t kNowMicros = 1709294400LL * 1000000;

class BackupStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tavrix_backup_store_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  // The file names in `dir`, sorted.
  static std::vector<std::string> Files(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  void Touch(const fs::path& path, const std::string& content = "") {
    std::ofstream(path, std::ios::binary) << content;
  }

  fs::path root_;
  FakeClock clock_{0, kNowMicros};
  ScopedClockOverride useClock_{clock_};
};

TEST(BackupNamesTest, Base36) {
  const struct {
    uint64_t value;
    const char* text;
  } cases[] = {{0, "0"},     {35, "Z"},     {36, "10"},
               {1295, "ZZ"}, {1296, "100"}, {UINT64_MAX, "3W5E11264SGSF"}};
  for (const auto& c : cases) EXPECT_EQ(Base36(c.value), c.text) << c.value;
}

TEST(BackupNamesTest, UsableIds) {
  const struct {
    std::string id;
    bool usable;
  } cases[] = {
      {"Trigger1.Action2", true},
      {"Linie 3 Füllstand", true},
      {"a.b", true},
      {std::string(kMaxBackupIdBytes, 'x'), true},
      {std::string(kMaxBackupIdBytes + 1, 'x'), false},
      {"", false},
      {"..", false},
      {"a..b", false},
      {"a/b", false},
      {"/", false},
      {"a\\b", false},
      {"a*", false},
      {"a?", false},
      {"[a]", false},
      {"tab\there", false},
      {"line\n", false},
      {"del\x7F", false},
  };
  for (const auto& c : cases) EXPECT_EQ(BackupStore::IsUsableId(c.id), c.usable) << c.id;
}

TEST(BackupNamesTest, OnlyTheActionsOwnBackupNamesMatch) {
  BackupStore store("/unused", "A");
  const struct {
    const char* name;
    bool match;
  } cases[] = {
      {"A_1.bak", true},      {"A_0.bak", true},   {"A_19AZ.bak", true}, {"A_.bak", false},
      {"A_B_1.bak", false},  // action "A_B"
      {"AB_1.bak", false},    {"A1.bak", false},   {"a_1.bak", false},   {"A_1z.bak", false},
      {"A_-1.bak", false},    {"A_1 .bak", false}, {"A_1.BAK", false},   {"A_1.tmp", false},
      {"A_1.bak.bad", false}, {"A_1.bakx", false}, {"A_1.cnt", false},
  };
  for (const auto& c : cases) EXPECT_EQ(store.IsBackupFileName(c.name), c.match) << c.name;
  EXPECT_FALSE(BackupStore("/unused", "").IsBackupFileName("_1.bak"));
}

TEST_F(BackupStoreTest, RowsReadBackInTheOrderWritten) {
  // The clock stands still, then goes back an hour: names still rise.
  BackupStore store(root_.string(), "T.A");
  std::vector<std::string> written;
  for (int32_t i = 0; i < 5; ++i) {
    if (i == 3) clock_.SetUtcMicros(kNowMicros - 3600LL * 1000000);
    std::string name;
    ASSERT_EQ(store.Write({Variant::I4(i), Variant::Text("row")}, &name), S_OK);
    EXPECT_TRUE(store.IsBackupFileName(name)) << name;
    written.push_back(name);
  }
  EXPECT_EQ(store.List(), written);
  EXPECT_EQ(store.Count(), 5);
  for (int32_t i = 0; i < 5; ++i) {
    TableRow row;
    ASSERT_EQ(store.Read(written[i], &row), S_OK);
    ASSERT_EQ(row.size(), 2u);
    EXPECT_EQ(row[0].i4(), i);
  }
  // Only the .bak files remain: every temporary was renamed.
  std::vector<std::string> sorted = written;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(Files(root_), sorted);
}

TEST_F(BackupStoreTest, TakenNamesAreSkipped) {
  const uint64_t t = LocalFileTimeNow();
  BackupStore store(root_.string() + "/", "A");
  Touch(root_ / ("A_" + Base36(t) + ".bak"), "other");
  std::string first;
  ASSERT_EQ(store.Write({Variant::I4(1)}, &first), S_OK);
  EXPECT_EQ(first, "A_" + Base36(t + 1) + ".bak");
  // A temporary file left by a crash holds the next time.
  Touch(root_ / ("A_" + Base36(t + 2) + ".tmp"));
  std::string second;
  ASSERT_EQ(store.Write({Variant::I4(2)}, &second), S_OK);
  EXPECT_EQ(second, "A_" + Base36(t + 3) + ".bak");
  TableRow row;
  ASSERT_EQ(store.Read(first, &row), S_OK);
  EXPECT_EQ(row[0].i4(), 1);
}

TEST_F(BackupStoreTest, ListSortsByValueAndKeepsToItsAction) {
  for (const char* name : {"A_Z.bak", "A_10.bak", "A_9.bak", "A_00A.bak", "A_B_1.bak", "A_1.tmp",
                           "A_2.bak.bad", "B_1.bak"}) {
    Touch(root_ / name);
  }
  fs::create_directory(root_ / "A_5.bak");
  BackupStore a(root_.string(), "A");
  EXPECT_EQ(a.List(), (std::vector<std::string>{"A_9.bak", "A_00A.bak", "A_Z.bak", "A_10.bak"}));
  EXPECT_EQ(a.Count(), 4);
  BackupStore ab(root_.string(), "A_B");
  EXPECT_EQ(ab.List(), (std::vector<std::string>{"A_B_1.bak"}));
  EXPECT_EQ(BackupStore((root_ / "missing").string(), "A").Count(), 0);
}

TEST_F(BackupStoreTest, TheFolderIsMadeWhenMissing) {
  const fs::path folder = root_ / "x" / "DB";
  BackupStore store(folder.string(), "A");
  std::string name;
  ASSERT_EQ(store.Write({Variant::Null()}, &name), S_OK);
  EXPECT_TRUE(fs::is_regular_file(folder / name));
  EXPECT_EQ(store.EnsureFolder(), BackupStore::FolderState::kPresent);
  EXPECT_EQ(BackupStore((root_ / "y").string(), "A").EnsureFolder(),
            BackupStore::FolderState::kCreated);
}

TEST_F(BackupStoreTest, AFolderThatIsAFileFailsTheWrite) {
  Touch(root_ / "DB", "not a folder");
  BackupStore store((root_ / "DB").string(), "A");
  HRESULT error = S_OK;
  EXPECT_EQ(store.EnsureFolder(&error), BackupStore::FolderState::kIsFile);
  EXPECT_TRUE(error.failed());
  std::string name = "unchanged";
  EXPECT_TRUE(store.Write({Variant::I4(1)}, &name).failed());
  EXPECT_EQ(name, "unchanged");
  BackupStore below((root_ / "DB" / "sub").string(), "A");
  EXPECT_EQ(below.EnsureFolder(), BackupStore::FolderState::kCreateFailed);
  EXPECT_TRUE(below.Write({Variant::I4(1)}, nullptr).failed());
}

TEST_F(BackupStoreTest, WritesThatCannotBeMadeLeaveNothing) {
  BackupStore store(root_.string(), "A");
  EXPECT_EQ(store.Write({}, nullptr), E_INVALIDARG);
  EXPECT_EQ(store.Write({Variant::Error(1)}, nullptr), E_INVALIDARG);
  EXPECT_EQ(BackupStore(root_.string(), "a/b").Write({Variant::I4(1)}, nullptr), E_INVALIDARG);
  EXPECT_TRUE(Files(root_).empty());
}

TEST_F(BackupStoreTest, ReadFailures) {
  BackupStore store(root_.string(), "A");
  Touch(root_ / "A_1.bak", std::string("\x05\x00\x00\x00\x03\x00", 6));  // cut short
  TableRow row = {Variant::I4(42)};
  EXPECT_EQ(store.Read("A_2.bak", &row), ResultFromErrno(ENOENT));
  EXPECT_EQ(store.Read("A_1.bak", &row), E_INVALIDARG);
  EXPECT_EQ(store.Read("../A_1.bak", &row), E_INVALIDARG);
  EXPECT_EQ(store.Read("", &row), E_INVALIDARG);
  ASSERT_EQ(row.size(), 1u);
  EXPECT_EQ(row[0].i4(), 42);
}

TEST_F(BackupStoreTest, DamagedFileIsSetAsideAndOthersRemoved) {
  BackupStore store(root_.string(), "A");
  std::string good;
  ASSERT_EQ(store.Write({Variant::I4(1)}, &good), S_OK);
  Touch(root_ / "A_1.bak", "junk");
  ASSERT_EQ(store.SetAside("A_1.bak"), S_OK);
  EXPECT_TRUE(fs::exists(root_ / "A_1.bak.bad"));
  EXPECT_EQ(store.List(), std::vector<std::string>{good});

  EXPECT_EQ(store.Remove(good), S_OK);
  EXPECT_EQ(store.Count(), 0);
  EXPECT_EQ(store.Remove(good), ResultFromErrno(ENOENT));
  EXPECT_EQ(store.SetAside(good), ResultFromErrno(ENOENT));
}

TEST_F(BackupStoreTest, RecoveryNamesAFileBySuffix) {
  BackupStore store(root_.string(), "A");
  std::string name;
  ASSERT_EQ(store.Write({Variant::Text("again")}, &name), S_OK);
  TableRow row;
  ASSERT_EQ(store.Read(store.FileNameForSuffix(name.substr(2)), &row), S_OK);
  EXPECT_EQ(row.at(0).text(), "again");
}

TEST_F(BackupStoreTest, LeftoverTemporariesOfTheActionAreRemoved) {
  for (const char* name : {"A_1.tmp", "A_ZZ.tmp", "A_1.bak", "A_B_1.tmp", "B_1.tmp", "A_x.tmp"}) {
    Touch(root_ / name);
  }
  BackupStore(root_.string(), "A").RemoveTemporaries();
  EXPECT_EQ(Files(root_), (std::vector<std::string>{"A_1.bak", "A_B_1.tmp", "A_x.tmp", "B_1.tmp"}));
}

TEST_F(BackupStoreTest, CountMarkerFollowsTheCount) {
  BackupStore store(root_.string(), "A");
  const fs::path info = root_ / "DBInfo";
  store.UpdateCountMarker(1);
  EXPECT_FALSE(fs::exists(info)) << "markers are kept only while DBInfo exists";

  fs::create_directory(info);
  Touch(info / "A_B_7.cnt");  // another action's marker
  const struct {
    int32_t count;
    std::vector<std::string> markers;  // of action A, sorted
  } steps[] = {
      {1, {"A_1.cnt"}},           // none yet: made
      {2, {"A_2.cnt"}},           // renamed
      {2, {"A_2.cnt"}}, {0, {}},  // deleted
      {0, {}},                    // none, and none made for no files
      {3, {"A_3.cnt"}},           // made again
      {-1, {}},
  };
  for (const auto& step : steps) {
    store.UpdateCountMarker(step.count);
    std::vector<std::string> want = step.markers;
    want.push_back("A_B_7.cnt");
    std::sort(want.begin(), want.end());
    EXPECT_EQ(Files(info), want) << "count " << step.count;
  }
}

TEST_F(BackupStoreTest, ExtraCountMarkersAreTidiedUp) {
  const fs::path info = root_ / "DBInfo";
  fs::create_directory(info);
  for (const char* name : {"A_3.cnt", "A_5.cnt", "A_-2.cnt"}) Touch(info / name);
  BackupStore store(root_.string(), "A");
  store.UpdateCountMarker(5);
  EXPECT_EQ(Files(info), std::vector<std::string>{"A_5.cnt"});
  Touch(info / "A_9.cnt");
  store.UpdateCountMarker(0);
  EXPECT_TRUE(Files(info).empty());
}

TEST_F(BackupStoreTest, ConcurrentWritesGetDistinctFiles) {
  BackupStore store(root_.string(), "A");
  constexpr int kPerThread = 40;
  auto writer = [&](int32_t base) {
    for (int32_t i = 0; i < kPerThread; ++i) {
      EXPECT_EQ(store.Write({Variant::I4(base + i)}, nullptr), S_OK);
    }
  };
  std::thread other(writer, 1000);
  writer(0);
  // Recovery reads while the writer thread goes on.
  for (const std::string& name : store.List()) {
    TableRow row;
    EXPECT_EQ(store.Read(name, &row), S_OK) << name;
  }
  other.join();
  std::vector<int32_t> seen;
  for (const std::string& name : store.List()) {
    TableRow row;
    ASSERT_EQ(store.Read(name, &row), S_OK) << name;
    seen.push_back(row.at(0).i4());
  }
  ASSERT_EQ(seen.size(), 2u * kPerThread);
  // Each thread's rows are in its own order.
  std::vector<int32_t> mine, theirs;
  for (int32_t v : seen) (v < 1000 ? mine : theirs).push_back(v);
  EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end()));
  EXPECT_TRUE(std::is_sorted(theirs.begin(), theirs.end()));
}

}  // namespace
}  // namespace tavrix
