#include "db/history_blob_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "history_fixture.h"
#include "platform/date.h"

namespace tavrix::testing {
namespace {

std::string Content(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::span<const uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

TEST(HistoryBlobFilesTest, NamePartsCannotLeaveOrHideInTheFolder) {
  const std::pair<std::string, std::string> cases[] = {
      {"PLC1", "PLC1"},
      {"a/b\\c", "a_b_c"},
      {"../../etc/passwd", "______etc_passwd"},
      {"..", "__"},
      {".hidden", "_hidden"},
      {"v1.2", "v1.2"},
      {"a...b", "a___b"},
      {"tab\tnl\n\x7f", "tab_nl__"},
      {"", ""},
  };
  for (const auto& [name, safe] : cases) EXPECT_EQ(SafeFileNamePart(name), safe) << name;

  // Long names are cut on a character boundary.
  std::string longName;
  for (int i = 0; i < 100; ++i) longName += "\xC3\xA9";  // U+00E9, two bytes
  const std::string cut = SafeFileNamePart(longName);
  EXPECT_EQ(cut.size(), 96u);
  EXPECT_EQ(cut.substr(94), "\xC3\xA9");
  longName = "x" + longName;
  EXPECT_EQ(SafeFileNamePart(longName).size(), 95u);
}

TEST(HistoryBlobFilesTest, FileNamesKeepTheSecondOfATimeJustBelowTheNext) {
  double date = 0;
  ASSERT_EQ(DateFromFields(2024, 1, 2, 3, 4, 5, 999500, &date), S_OK);
  EXPECT_EQ(HistoryBlobFileName("PLC", "block", date, 999500),
            "PLC_block_20240102030405_999500.dat");
  ASSERT_EQ(DateFromFields(2024, 12, 31, 23, 59, 59, 999500, &date), S_OK);
  EXPECT_EQ(HistoryBlobFileName("a/b", "..", date, 7), "a_b____20241231235959_000007.dat");
  EXPECT_EQ(CurrentBlobFileName("PLC", "x/y"), "PLC_x_y_Current.dat");

  for (const char* good : {"PLC_block_20240102030405_999500.dat", "a.b_Current.dat"}) {
    EXPECT_TRUE(IsHistoryBlobFileName(good)) << good;
  }
  for (const char* bad : {"../x.dat", "a/b.dat", ".x.dat", "x.txt", ".dat", "a..b.dat"}) {
    EXPECT_FALSE(IsHistoryBlobFileName(bad)) << bad;
  }
}

TEST(HistoryBlobFilesTest, ATakenNameGetsASuffixAndTheOtherFileStays) {
  TempFolder folder;
  std::string first, second, third;
  int err = 0;
  ASSERT_EQ(CreateBlobFile(folder.path(), "c_i_x.dat", Bytes("one"), &first, &err), S_OK);
  ASSERT_EQ(CreateBlobFile(folder.path(), "c_i_x.dat", Bytes("two"), &second, &err), S_OK);
  ASSERT_EQ(CreateBlobFile(folder.path(), "c_i_x.dat", Bytes(""), &third, &err), S_OK);
  EXPECT_EQ(first, "c_i_x.dat");
  EXPECT_EQ(second, "c_i_x_1.dat");
  EXPECT_EQ(third, "c_i_x_2.dat");
  EXPECT_EQ(Content(folder.path() + "/c_i_x.dat"), "one");
  EXPECT_EQ(Content(folder.path() + "/c_i_x_1.dat"), "two");
  EXPECT_EQ(Content(folder.path() + "/c_i_x_2.dat"), "");
}

TEST(HistoryBlobFilesTest, ReplacingGoesThroughATemporaryFile) {
  TempFolder folder;
  int err = 0;
  ASSERT_EQ(ReplaceBlobFile(folder.path(), "c_Current.dat", Bytes("old"), &err), S_OK);
  ASSERT_EQ(ReplaceBlobFile(folder.path(), "c_Current.dat", Bytes("newer"), &err), S_OK);
  EXPECT_EQ(Content(folder.path() + "/c_Current.dat"), "newer");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(HistoryBlobFilesTest, AFolderThatCannotBeWrittenLeavesNothing) {
  TempFolder folder;
  const std::string missing = folder.path() + "/missing";
  std::string created;
  int err = 0;
  EXPECT_EQ(CreateBlobFile(missing, "x.dat", Bytes("1"), &created, &err), ResultFromErrno(ENOENT));
  EXPECT_EQ(err, ENOENT);
  EXPECT_EQ(ReplaceBlobFile(missing, "x.dat", Bytes("1"), &err), ResultFromErrno(ENOENT));
  EXPECT_EQ(CreateBlobFile("", "x.dat", Bytes("1"), &created, &err), ResultFromErrno(ENOENT));
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

}  // namespace
}  // namespace tavrix::testing
