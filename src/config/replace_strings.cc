#include "config/replace_strings.h"

#include "platform/text.h"

namespace tavrix::TavrixUtility {

template <typename T>
std::string ReplaceStringMapBase<T>::NormalizeKey(std::string_view key) {
  return ToUpper(key);
}

template class ReplaceStringMapBase<ReplaceStringInfo>;
template class ReplaceStringMapBase<ReplaceDBConnectionStringInfo>;

// ---------------------------------------------------------------------------
// ReplaceStringMap

ReplaceStringMap& ReplaceStringMap::Instance() {
  // Never destroyed: plug-in and client threads may still expand texts while
  // the process unwinds its statics.
  static ReplaceStringMap* const instance = new ReplaceStringMap();
  return *instance;
}

bool ReplaceStringMap::Add(std::string_view key, std::string_view value, std::string_view mask,
                           bool encrypted) {
  if (key.empty()) return false;
  std::string stored = NormalizeKey(key);
  ReplaceStringInfo info;
  info.encrypted = encrypted;
  info.value = std::string(value);
  info.mask = std::string(mask);
  std::lock_guard lock(mutex_);
  map_.insert_or_assign(std::move(stored), std::move(info));
  return true;
}

void ReplaceStringMap::AddShareFolderPath(std::string_view path, bool fromEnvironment) {
  Add(kShareFolderKey, path, kShareFolderMask, fromEnvironment);
}

bool ReplaceStringMap::Contains(std::string_view name) const {
  if (name.empty()) return false;
  const std::string key = NormalizeKey(name);
  std::lock_guard lock(mutex_);
  return FindLocked(key) != nullptr;
}

std::string ReplaceStringMap::GetText(std::string_view name, ExpandMode mode) const {
  if (name.empty()) return {};
  const std::string key = NormalizeKey(name);
  std::lock_guard lock(mutex_);
  const ReplaceStringInfo* info = FindLocked(key);
  if (info == nullptr) return {};
  if (mode == ExpandMode::kDisplay && info->encrypted) return info->mask;
  return info->value;
}

std::optional<ReplaceStringInfo> ReplaceStringMap::Find(std::string_view name) const {
  if (name.empty()) return std::nullopt;
  const std::string key = NormalizeKey(name);
  std::lock_guard lock(mutex_);
  const ReplaceStringInfo* info = FindLocked(key);
  if (info == nullptr) return std::nullopt;
  return *info;
}

HRESULT ReplaceStringMap::Expand(std::string* text, ExpandMode mode) const {
  if (text == nullptr) return S_OK;
  const std::string_view in = *text;
  std::string out;
  out.reserve(in.size());
  size_t pos = 0;
  while (pos < in.size()) {
    const size_t open = in.find('%', pos);
    if (open == std::string_view::npos) break;
    const size_t close = in.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out.append(in, pos, open - pos);
    const std::string_view name = in.substr(open + 1, close - open - 1);
    // One lookup under the lock per reference: the value is taken in the same
    // locked step that decides the name exists, so a concurrent Add cannot
    // slip between the test and the read.
    std::optional<ReplaceStringInfo> info = Find(name);
    if (info) {
      out += (mode == ExpandMode::kDisplay && info->encrypted) ? info->mask : info->value;
      pos = close + 1;
    } else {
      out += '%';
      pos = open + 1;
    }
  }
  out.append(in, pos, std::string_view::npos);
  *text = std::move(out);
  return S_OK;
}

std::string ReplaceStringMap::Expand(std::string_view text, ExpandMode mode) const {
  std::string result(text);
  (void)Expand(&result, mode);
  return result;
}

// ---------------------------------------------------------------------------
// DBStringReplaceMap

DBStringReplaceMap& DBStringReplaceMap::Instance() {
  static DBStringReplaceMap* const instance = new DBStringReplaceMap();
  return *instance;
}

bool DBStringReplaceMap::Add(std::string_view key, std::string_view value, int32_t type,
                             bool encrypted) {
  if (key.empty()) return false;
  std::string stored = NormalizeKey(key);
  ReplaceDBConnectionStringInfo info;
  info.encrypted = encrypted;
  info.value = std::string(value);
  info.mask = std::string(kDefaultMask);
  info.type = type;
  std::lock_guard lock(mutex_);
  map_.insert_or_assign(std::move(stored), std::move(info));
  return true;
}

bool DBStringReplaceMap::Contains(std::string_view key) const {
  const std::string k = NormalizeKey(key);
  std::lock_guard lock(mutex_);
  return FindLocked(k) != nullptr;
}

std::string DBStringReplaceMap::GetConnectionString(std::string_view key) const {
  const std::string k = NormalizeKey(key);
  std::lock_guard lock(mutex_);
  const ReplaceDBConnectionStringInfo* info = FindLocked(k);
  if (info == nullptr) return {};
  if (info->type == kOdbcConnectionType) {
    std::string s(kOdbcProviderPrefix);
    s += info->value;
    return s;
  }
  return info->value;
}

std::string DBStringReplaceMap::GetRawValue(std::string_view key) const {
  const std::string k = NormalizeKey(key);
  std::lock_guard lock(mutex_);
  const ReplaceDBConnectionStringInfo* info = FindLocked(k);
  return info == nullptr ? std::string() : info->value;
}

int32_t DBStringReplaceMap::GetType(std::string_view key) const {
  const std::string k = NormalizeKey(key);
  std::lock_guard lock(mutex_);
  const ReplaceDBConnectionStringInfo* info = FindLocked(k);
  return info == nullptr ? 0 : info->type;
}

bool DBStringReplaceMap::IsEncrypted(std::string_view key) const {
  const std::string k = NormalizeKey(key);
  std::lock_guard lock(mutex_);
  const ReplaceDBConnectionStringInfo* info = FindLocked(k);
  return info != nullptr && info->encrypted;
}

std::vector<std::string> DBStringReplaceMap::Keys() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> keys;
  keys.reserve(map_.size());
  for (const auto& [key, info] : map_) keys.push_back(key);
  return keys;
}

}  // namespace tavrix::TavrixUtility
