// The history manager's settings: what the workspace record and the database
// connection-string list say about the history database, read once at start.
//
// Pure functions of their inputs, so the rules (list lookup, hide flags, write
// modes, the file folder) can be tested without a database.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/project_records.h"
#include "config/replace_strings.h"
#include "platform/result.h"

namespace tavrix {

// One history database: where it is, which table, how many rows it may hold.
struct HistoryTarget {
  std::string connectionString;
  std::string table;      // may be "schema.table"
  int32_t maxRecord = 0;  // 0: no limit
  bool hide = false;      // the connection string is never shown (it was stored enciphered)
  friend bool operator==(const HistoryTarget&, const HistoryTarget&) = default;
};

// Bits of HistorySettings::writeModes.
inline constexpr uint32_t kHistoryInsertRows = 1;     // a history row per value
inline constexpr uint32_t kHistoryUpdateCurrent = 2;  // one current-value row per item

struct HistorySettings {
  HistoryTarget primary;
  HistoryTarget secondary;
  // m_lTableType + 1: 0 history rows only, 1 current-value rows only, 2 both.
  // A table type outside 0..2 gives the bits of that sum (3: none), so such a
  // project records nothing rather than guessing.
  uint32_t writeModes = kHistoryInsertRows;
  bool enabled = false;
  bool autoSwitch = false;
  bool sysInfo = false;
  bool noConvToBstr = false;
  bool blobToFile = false;
};

// Reads the history settings of `workspace`. A connection string comes from the
// list entry named by m_strHistoryConSetting (m_strHistoryCon2ndSetting for the
// secondary) when that name is not empty: the entry's string ("Provider=MSDASQL;"
// in front for an ODBC entry) and its encrypted flag as the hide flag, or an
// empty string and no hiding when the list has no such entry. Otherwise the
// workspace's own string with its enciphered mark as the hide flag.
// Always S_OK; the result type leaves room for settings that can be refused.
HRESULT ReadHistorySettings(const WorkspaceRecord& workspace,
                            const TavrixUtility::DBStringReplaceMap& connectionStrings,
                            HistorySettings* out);

// The folder byte-array files go to: the project file's path without the
// extension of its last component ("/p/a.b/proj.xml" -> "/p/a.b/proj"). A
// last component without an extension ("/p/a.b/proj", "/p/.proj") gets
// "_files" appended instead, so the folder never has the project file's own
// name. Empty for an empty path (byte-array rows then fail).
std::string HistoryFileFolder(std::string_view projectPath);

}  // namespace tavrix
