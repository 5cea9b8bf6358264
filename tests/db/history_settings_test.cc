#include "db/history_settings.h"

#include <gtest/gtest.h>

namespace tavrix {
namespace {

TEST(HistorySettingsTest, ConnectionStringsComeFromTheListOrTheWorkspace) {
  TavrixUtility::DBStringReplaceMap list;
  list.Add("History", "Provider=SQLite;Data Source=/h.db", 0, false);
  list.Add("Odbc", "DSN=hist", TavrixUtility::kOdbcConnectionType, true);
  struct Case {
    const char* listName;
    bool ownEnciphered;
    std::string connectionString;
    bool hide;
  } cases[] = {
      // No list name: the workspace's own string and mark.
      {"", true, "Provider=SQLite;Data Source=/own.db", true},
      {"", false, "Provider=SQLite;Data Source=/own.db", false},
      // A list name, found without regard to case: the entry and its mark.
      {"HISTORY", true, "Provider=SQLite;Data Source=/h.db", false},
      {"odbc", false, "Provider=MSDASQL;DSN=hist", true},
      // A name the list lacks: nothing, and nothing to hide.
      {"Missing", true, "", false},
  };
  for (const Case& c : cases) {
    WorkspaceRecord w;
    w.m_strHistoryADOCon = "Provider=SQLite;Data Source=/own.db";
    w.m_bHistoryADOConEncrypted = c.ownEnciphered;
    w.m_strHistoryConSetting = c.listName;
    // The secondary follows the same rules through its own fields.
    w.m_strHistoryADOCon2nd = w.m_strHistoryADOCon;
    w.m_bHistoryADOCon2ndEncrypted = c.ownEnciphered;
    w.m_strHistoryCon2ndSetting = c.listName;
    HistorySettings s;
    ASSERT_EQ(ReadHistorySettings(w, list, &s), S_OK);
    SCOPED_TRACE(c.listName);
    EXPECT_EQ(s.primary.connectionString, c.connectionString);
    EXPECT_EQ(s.primary.hide, c.hide);
    EXPECT_EQ(s.secondary, s.primary);
  }
}

TEST(HistorySettingsTest, TableTypeGivesTheWriteModes) {
  const std::pair<int32_t, uint32_t> cases[] = {
      {0, kHistoryInsertRows},
      {1, kHistoryUpdateCurrent},
      {2, kHistoryInsertRows | kHistoryUpdateCurrent},
      {3, 0},   // unknown: nothing is written
      {-1, 0},
  };
  TavrixUtility::DBStringReplaceMap list;
  for (const auto& [tableType, modes] : cases) {
    WorkspaceRecord w;
    w.m_lTableType = tableType;
    HistorySettings s;
    ASSERT_EQ(ReadHistorySettings(w, list, &s), S_OK);
    EXPECT_EQ(s.writeModes, modes) << tableType;
  }
}

TEST(HistorySettingsTest, TheFileFolderDropsOnlyTheLastComponentsExtension) {
  const std::pair<const char*, const char*> cases[] = {
      {"/p/proj.xml", "/p/proj"},
      {"/p/proj.tar.xml", "/p/proj.tar"},
      {"/p/a.b/proj.xml", "/p/a.b/proj"},
      // No extension of its own: a dot in a folder name is not one.
      {"/p/a.b/proj", "/p/a.b/proj_files"},
      {"/p/.proj", "/p/.proj_files"},
      {"proj.xml", "proj"},
      {"", ""},
  };
  for (const auto& [path, folder] : cases) EXPECT_EQ(HistoryFileFolder(path), folder) << path;
}

}  // namespace
}  // namespace tavrix
