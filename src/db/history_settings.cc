#include "db/history_settings.h"

namespace tavrix {
namespace {

// The connection string and hide flag of one database: from the list entry
// `listName` when it is given, else the workspace's own text.
void ResolveConnection(std::string_view ownText, bool ownEnciphered, std::string_view listName,
                       const TavrixUtility::DBStringReplaceMap& list, HistoryTarget* target) {
  if (listName.empty()) {
    target->connectionString = std::string(ownText);
    target->hide = ownEnciphered;
    return;
  }
  if (!list.Contains(listName)) {
    target->connectionString.clear();
    target->hide = false;
    return;
  }
  target->connectionString = list.GetConnectionString(listName);
  target->hide = list.IsEncrypted(listName);
}

}  // namespace

HRESULT ReadHistorySettings(const WorkspaceRecord& w,
                            const TavrixUtility::DBStringReplaceMap& connectionStrings,
                            HistorySettings* out) {
  HistorySettings s;
  ResolveConnection(w.m_strHistoryADOCon, w.m_bHistoryADOConEncrypted, w.m_strHistoryConSetting,
                    connectionStrings, &s.primary);
  s.primary.table = w.m_strTableName;
  s.primary.maxRecord = w.m_lMaxRecord;
  ResolveConnection(w.m_strHistoryADOCon2nd, w.m_bHistoryADOCon2ndEncrypted,
                    w.m_strHistoryCon2ndSetting, connectionStrings, &s.secondary);
  s.secondary.table = w.m_strTableName2nd;
  s.secondary.maxRecord = w.m_lMaxRecord2nd;
  s.writeModes =
      static_cast<uint32_t>(w.m_lTableType + 1) & (kHistoryInsertRows | kHistoryUpdateCurrent);
  s.enabled = w.m_bEnableHistory;
  s.autoSwitch = w.m_bAutoSwitch;
  s.sysInfo = w.m_bSysInfo;
  s.noConvToBstr = w.m_bNoConvToBstr;
  s.blobToFile = w.m_bBlobToFile;
  *out = std::move(s);
  return S_OK;
}

std::string HistoryFileFolder(std::string_view projectPath) {
  if (projectPath.empty()) return {};
  const size_t slash = projectPath.rfind('/');
  const size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  const size_t dot = projectPath.rfind('.');
  // A dot at the start of the name marks a hidden file, not an extension.
  if (dot != std::string_view::npos && dot > nameStart) {
    return std::string(projectPath.substr(0, dot));
  }
  return std::string(projectPath) + "_files";
}

}  // namespace tavrix
