#include "trigger/backup/backup_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>
#include <tuple>
#include <utility>

#include "platform/clock.h"
#include "platform/date.h"
#include "trigger/backup/backup_codec.h"

namespace tavrix {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kBackupExt = ".bak";
constexpr std::string_view kTemporaryExt = ".tmp";
constexpr std::string_view kMarkerExt = ".cnt";
constexpr std::string_view kSetAsideExt = ".bad";
constexpr std::string_view kMarkerFolder = "DBInfo/";
// 1601-01-01 to 1970-01-01 in microseconds.
constexpr int64_t kFileTimeEpochMicros = 11644473600000000;
// Taken names skipped before a write gives up: far more than one action
// ever leaves in a folder.
constexpr int kMaxNameTries = 100000;

bool IsBase36Digit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); }
bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

std::string WithSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

// A name of a file directly in the folder, nothing that leads elsewhere.
bool IsPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

HRESULT LastError() { return ResultFromErrno(errno != 0 ? errno : EIO); }

// True unless the path is certainly free.
bool Taken(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

HRESULT WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    done += static_cast<size_t>(n);
  }
  return S_OK;
}

// Makes a rename inside `dir` last across a power loss. Some file systems
// cannot flush a folder; the file itself is flushed already, so that is
// not a failure of the write.
void SyncFolder(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

// The suffix's value order: fewer digits is older, then digit by digit
// (0-9 before A-Z, as the digits' values go). Leading zeros do not count.
std::string_view SignificantDigits(std::string_view digits) {
  const size_t first = digits.find_first_not_of('0');
  return first == std::string_view::npos ? std::string_view() : digits.substr(first);
}

}  // namespace

std::string Base36(uint64_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string out;
  do {
    out.push_back(kDigits[value % 36]);
    value /= 36;
  } while (value != 0);
  std::reverse(out.begin(), out.end());
  return out;
}

uint64_t LocalFileTimeNow() {
  const int64_t utcMicros = SystemClock().UtcMicros();
  double local = 0;
  uint64_t fileTime = 0;
  if (UtcToLocal(DateFromUnixMicros(utcMicros), &local).succeeded() &&
      DateToFileTime(local, &fileTime).succeeded()) {
    return fileTime;
  }
  if (utcMicros < -kFileTimeEpochMicros) return 0;
  return static_cast<uint64_t>(utcMicros + kFileTimeEpochMicros) * 10;
}

BackupStore::BackupStore(std::string folder, std::string id)
    : folder_(WithSlash(std::move(folder))),
      id_(std::move(id)),
      usable_(!folder_.empty() && IsUsableId(id_)) {}

bool BackupStore::IsUsableId(std::string_view id) {
  if (id.empty() || id.size() > kMaxBackupIdBytes) return false;
  if (id.find("..") != std::string_view::npos) return false;
  return std::none_of(id.begin(), id.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == '*' || c == '?' || c == '[' ||
           c == ']';
  });
}

bool BackupStore::MatchesPattern(std::string_view name, std::string_view ext,
                                 bool (*digit)(char)) const {
  if (!usable_ || name.size() <= id_.size() + 1 + ext.size()) return false;
  if (!name.starts_with(id_) || name[id_.size()] != '_' || !name.ends_with(ext)) return false;
  const std::string_view digits =
      name.substr(id_.size() + 1, name.size() - id_.size() - 1 - ext.size());
  return std::all_of(digits.begin(), digits.end(), digit);
}

bool BackupStore::IsBackupFileName(std::string_view name) const {
  return MatchesPattern(name, kBackupExt, IsBase36Digit);
}

bool BackupStore::IsTemporaryName(std::string_view name) const {
  return MatchesPattern(name, kTemporaryExt, IsBase36Digit);
}

bool BackupStore::IsMarkerName(std::string_view name) const {
  // A count is never written below 0, but a marker with a minus sign is
  // still this action's and is tidied up like any other.
  const size_t digitsAt = id_.size() + 1;
  if (name.size() > digitsAt && name[digitsAt] == '-') {
    std::string shifted(name.substr(0, digitsAt));
    shifted += name.substr(digitsAt + 1);
    return MatchesPattern(shifted, kMarkerExt, IsDecimalDigit);
  }
  return MatchesPattern(name, kMarkerExt, IsDecimalDigit);
}

std::string BackupStore::FileNameForSuffix(std::string_view suffix) const {
  std::string name = id_;
  name += '_';
  name += suffix;
  return name;
}

BackupStore::FolderState BackupStore::EnsureFolder(HRESULT* error) const {
  if (folder_.empty()) {
    if (error != nullptr) *error = E_INVALIDARG;
    return FolderState::kCreateFailed;
  }
  // Without its final "/": a file named like the folder must show as a file.
  const fs::path folder = folder_.size() > 1 ? folder_.substr(0, folder_.size() - 1) : folder_;
  std::error_code ec;
  const fs::file_status st = fs::status(folder, ec);
  if (fs::is_directory(st)) return FolderState::kPresent;
  if (fs::exists(st)) {
    if (error != nullptr) *error = ResultFromErrno(ENOTDIR);
    return FolderState::kIsFile;
  }
  if (fs::create_directories(folder, ec)) return FolderState::kCreated;
  const int err = ec.value() != 0 ? ec.value() : EIO;
  // Another thread or process may have made it meanwhile.
  if (fs::is_directory(folder, ec)) return FolderState::kPresent;
  if (error != nullptr) *error = ResultFromErrno(err);
  return FolderState::kCreateFailed;
}

uint64_t BackupStore::NextTime() {
  uint64_t t = std::max(LocalFileTimeNow(), lastTime_ + 1);
  for (int i = 0;
       i < kMaxNameTries && Taken(folder_ + id_ + "_" + Base36(t) + std::string(kBackupExt)); ++i) {
    ++t;
  }
  lastTime_ = t;
  return t;
}

HRESULT BackupStore::WriteFile(const std::string& bytes, const std::string& tmpName,
                               const std::string& finalName) {
  const std::string tmp = folder_ + tmpName;
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return LastError();
  HRESULT hr = WriteAll(fd, bytes);
  if (hr.succeeded() && ::fsync(fd) != 0) hr = LastError();
  if (::close(fd) != 0 && hr.succeeded()) hr = LastError();
  if (hr.succeeded() && ::rename(tmp.c_str(), (folder_ + finalName).c_str()) != 0) {
    hr = LastError();
  }
  if (hr.failed()) {
    ::unlink(tmp.c_str());
    return hr;
  }
  SyncFolder(folder_);
  return S_OK;
}

HRESULT BackupStore::Write(const TableRow& row, std::string* fileName) {
  if (!usable_) return E_INVALIDARG;
  std::string bytes;
  RETURN_IF_FAILED(EncodeBackupRow(row, &bytes));
  if (bytes.size() > kMaxBackupFileBytes) return E_INVALIDARG;
  HRESULT folderError = S_OK;
  const FolderState folder = EnsureFolder(&folderError);
  if (folder == FolderState::kIsFile || folder == FolderState::kCreateFailed) return folderError;
  MutexLock hold(&lock_);
  for (int attempt = 0;; ++attempt) {
    const std::string stem = id_ + "_" + Base36(NextTime());
    const std::string finalName = stem + std::string(kBackupExt);
    const HRESULT hr = WriteFile(bytes, stem + std::string(kTemporaryExt), finalName);
    // A .tmp of that T left by a crash: take the next T.
    if (hr == ResultFromErrno(EEXIST) && attempt < kMaxNameTries) continue;
    RETURN_IF_FAILED(hr);
    if (fileName != nullptr) *fileName = finalName;
    return S_OK;
  }
}

std::vector<std::string> BackupStore::Names(const std::string& dir,
                                            bool (BackupStore::*match)(std::string_view)
                                                const) const {
  std::vector<std::string> names;
  if (!usable_) return names;
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::error_code typeEc;
    if (it->is_directory(typeEc)) continue;
    std::string name = it->path().filename().string();
    if ((this->*match)(name)) names.push_back(std::move(name));
  }
  return names;
}

std::vector<std::string> BackupStore::List() const {
  std::vector<std::string> names = Names(folder_, &BackupStore::IsBackupFileName);
  const size_t digitsAt = id_.size() + 1;
  auto key = [&](const std::string& name) {
    const std::string_view digits = SignificantDigits(
        std::string_view(name).substr(digitsAt, name.size() - digitsAt - kBackupExt.size()));
    return std::make_tuple(digits.size(), digits, std::string_view(name));
  };
  std::sort(names.begin(), names.end(),
            [&](const std::string& a, const std::string& b) { return key(a) < key(b); });
  return names;
}

int32_t BackupStore::Count() const {
  return static_cast<int32_t>(Names(folder_, &BackupStore::IsBackupFileName).size());
}

HRESULT BackupStore::Read(std::string_view fileName, TableRow* row) const {
  if (!usable_ || !IsPlainName(fileName)) return E_INVALIDARG;
  const std::string path = folder_ + std::string(fileName);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return LastError();
  std::string bytes;
  HRESULT hr = S_OK;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    hr = LastError();
  } else if (!S_ISREG(st.st_mode)) {
    hr = E_INVALIDARG;
  } else if (static_cast<uint64_t>(st.st_size) > kMaxBackupFileBytes) {
    hr = E_INVALIDARG;
  } else {
    // Read to the end, whatever the size said, but never past the limit.
    char buffer[64 * 1024];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0) {
        if (errno == EINTR) continue;
        hr = LastError();
        break;
      }
      if (n == 0) break;
      if (bytes.size() + static_cast<size_t>(n) > kMaxBackupFileBytes) {
        hr = E_INVALIDARG;
        break;
      }
      bytes.append(buffer, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  RETURN_IF_FAILED(hr);
  return DecodeBackupRow(bytes, row);
}

HRESULT BackupStore::Remove(std::string_view fileName) const {
  if (!usable_ || !IsPlainName(fileName)) return E_INVALIDARG;
  if (::unlink((folder_ + std::string(fileName)).c_str()) != 0) return LastError();
  return S_OK;
}

HRESULT BackupStore::SetAside(std::string_view fileName) const {
  if (!usable_ || !IsPlainName(fileName)) return E_INVALIDARG;
  const std::string path = folder_ + std::string(fileName);
  if (::rename(path.c_str(), (path + std::string(kSetAsideExt)).c_str()) != 0) return LastError();
  return S_OK;
}

void BackupStore::UpdateCountMarker(int32_t count) const {
  const std::string dir = folder_ + std::string(kMarkerFolder);
  if (!usable_ || !IsDirectory(dir)) return;
  std::vector<std::string> markers = Names(dir, &BackupStore::IsMarkerName);
  const std::string target = id_ + "_" + std::to_string(count) + std::string(kMarkerExt);
  if (markers.empty()) {
    // No files, no marker: a count of 0 would only be deleted again.
    if (count <= 0) return;
    const int fd = ::open((dir + target).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) ::close(fd);
    return;
  }
  std::sort(markers.begin(), markers.end());
  if (count > 0) {
    if (markers.front() != target) {
      (void)::rename((dir + markers.front()).c_str(), (dir + target).c_str());
    }
  } else {
    (void)::unlink((dir + markers.front()).c_str());
  }
  for (size_t i = 1; i < markers.size(); ++i) {
    if (count <= 0 || markers[i] != target) (void)::unlink((dir + markers[i]).c_str());
  }
}

void BackupStore::RemoveTemporaries() {
  MutexLock hold(&lock_);
  for (const std::string& name : Names(folder_, &BackupStore::IsTemporaryName)) {
    (void)::unlink((folder_ + name).c_str());
  }
}

}  // namespace tavrix
