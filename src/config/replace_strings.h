// The two process-wide tables that keep values out of the texts using them:
//
//   ReplaceStringMap     named texts substituted for "%name%" references in
//                        option texts and in texts plug-ins hand over; an
//                        entry may be encrypted, and display mode then shows
//                        its mask instead of its value.
//   DBStringReplaceMap   named database connection strings that database
//                        settings refer to instead of holding one themselves.
//
// Keys are stored upper-cased (platform ToUpper) and every key given to an
// operation is upper-cased the same way, so names match without regard to
// letter case. Entries are added or replaced, never removed while the process
// runs, and survive re-reads of the project. Every operation holds the
// table's lock for its whole run, so the reader may add while sampling, client
// and plug-in threads look up and expand.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace tavrix::TavrixUtility {

// How encrypted replacement entries expand.
enum class ExpandMode {
  kConnect,  // values as they are: texts handed to the Zelt engine
  kDisplay,  // encrypted entries replaced by their masks: texts shown to clients
};

// Plug-ins pass the mode as a flag: true for connect mode.
constexpr ExpandMode ExpandModeFromFlag(bool connect) {
  return connect ? ExpandMode::kConnect : ExpandMode::kDisplay;
}

// The mask of entries read from the project file.
inline constexpr std::string_view kDefaultMask = "*****";
// The built-in entry the engine start adds for the shared folder, and the
// mask it shows in display mode when the folder came from the environment.
inline constexpr std::string_view kShareFolderKey = "#SHARE_FOLDER_PATH";
inline constexpr std::string_view kShareFolderMask = "%QUORVELSHARE%";
// Put in front of the value of an ODBC connection-string entry (type 1).
inline constexpr std::string_view kOdbcProviderPrefix = "Provider=MSDASQL;";
inline constexpr int32_t kOdbcConnectionType = 1;

// One replacement-string entry.
struct ReplaceStringInfo {
  bool encrypted = false;
  std::string value;  // already deciphered
  std::string mask;   // shown instead of value in display mode when encrypted
  friend bool operator==(const ReplaceStringInfo&, const ReplaceStringInfo&) = default;
};

// One connection-string entry; the mask is always kDefaultMask.
struct ReplaceDBConnectionStringInfo : ReplaceStringInfo {
  int32_t type = 0;  // kOdbcConnectionType: handed out with kOdbcProviderPrefix
  friend bool operator==(const ReplaceDBConnectionStringInfo&,
                         const ReplaceDBConnectionStringInfo&) = default;
};

// An ordered map from upper-cased key to entry, with the lock that guards it.
template <typename T>
class ReplaceStringMapBase {
 public:
  virtual ~ReplaceStringMapBase() = default;
  ReplaceStringMapBase(const ReplaceStringMapBase&) = delete;
  ReplaceStringMapBase& operator=(const ReplaceStringMapBase&) = delete;

  // Removes every entry. For tests only: the running engine never removes one.
  void ResetForTesting() {
    std::lock_guard lock(mutex_);
    map_.clear();
  }

 protected:
  ReplaceStringMapBase() = default;
  // The stored form of a key: upper-cased.
  static std::string NormalizeKey(std::string_view key);
  // The entry under `key` (already normalised), or null; call with mutex_ held.
  const T* FindLocked(const std::string& key) const {
    auto it = map_.find(key);
    return it == map_.end() ? nullptr : &it->second;
  }

  mutable std::mutex mutex_;  // guards map_
  std::map<std::string, T> map_;
};

class ReplaceStringMap : public ReplaceStringMapBase<ReplaceStringInfo> {
 public:
  // The process-wide table, created on first use.
  static ReplaceStringMap& Instance();

  ReplaceStringMap() = default;

  // Stores the entry under the upper-cased key, replacing one of the same key.
  // An empty key is never stored (false); true otherwise.
  bool Add(std::string_view key, std::string_view value, std::string_view mask, bool encrypted);
  // Adds the built-in shared-folder entry: key kShareFolderKey, value `path`,
  // mask kShareFolderMask, encrypted when the path came from the environment
  // variable (so display mode shows "%QUORVELSHARE%" instead of the path).
  void AddShareFolderPath(std::string_view path, bool fromEnvironment);

  bool Contains(std::string_view name) const;
  // The value when the entry exists and the mode is connect mode or the entry
  // is not encrypted; the mask when it exists, is encrypted and the mode is
  // display mode; an empty text when it does not exist.
  std::string GetText(std::string_view name, ExpandMode mode) const;
  // A copy of the entry, or nothing.
  std::optional<ReplaceStringInfo> Find(std::string_view name) const;

  // Replaces every "%name%" reference to an existing entry in *text with the
  // entry's GetText, scanning left to right; a reference to a missing name
  // keeps its percent signs, and its second "%" may open the next reference.
  // Inserted values are not scanned again. A null text (a missing text) is
  // left missing. Always S_OK.
  HRESULT Expand(std::string* text, ExpandMode mode) const;
  // The expanded form of `text`.
  std::string Expand(std::string_view text, ExpandMode mode) const;
};

class DBStringReplaceMap : public ReplaceStringMapBase<ReplaceDBConnectionStringInfo> {
 public:
  // The process-wide table, created on first use.
  static DBStringReplaceMap& Instance();

  DBStringReplaceMap() = default;

  // Stores the entry (mask kDefaultMask) under the upper-cased key,
  // replacing one of the same key. An empty key is never stored (false).
  bool Add(std::string_view key, std::string_view value, int32_t type, bool encrypted);

  bool Contains(std::string_view key) const;
  // The value, with kOdbcProviderPrefix in front for type 1; empty when the
  // key does not exist.
  std::string GetConnectionString(std::string_view key) const;
  // The value without any prefix; empty when the key does not exist.
  std::string GetRawValue(std::string_view key) const;
  // The type; 0 when the key does not exist.
  int32_t GetType(std::string_view key) const;
  // The encrypted flag; false when the key does not exist.
  bool IsEncrypted(std::string_view key) const;
  // Every key (upper-cased), in the map's order.
  std::vector<std::string> Keys() const;
};

}  // namespace tavrix::TavrixUtility
