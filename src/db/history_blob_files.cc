#include "db/history_blob_files.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>

#include "platform/date.h"
#include "platform/safearray.h"

namespace tavrix {
namespace {

constexpr size_t kMaxNamePartBytes = 96;
// Suffixes tried for a taken name before giving up with EEXIST.
constexpr int kMaxSuffix = 9999;
constexpr std::string_view kExtension = ".dat";

// Appends `value` with at least `width` digits, zero-padded (locale-free).
void AppendNumber(std::string* out, int64_t value, int width) {
  char digits[24];
  const auto r = std::to_chars(digits, digits + sizeof digits, value);
  const int n = static_cast<int>(r.ptr - digits);
  if (value >= 0 && n < width) out->append(static_cast<size_t>(width - n), '0');
  out->append(digits, r.ptr);
}

// Writes all of `bytes` to `fd`; 0 or the errno of the failure.
int WriteAll(int fd, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<size_t>(n);
  }
  return 0;
}

// Writes and closes `fd`; on failure removes `path`. 0 or the errno.
int FinishFile(int fd, const std::string& path, std::span<const uint8_t> bytes) {
  int err = WriteAll(fd, bytes);
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err != 0) ::unlink(path.c_str());
  return err;
}

std::string Join(const std::string& folder, std::string_view name) {
  std::string path = folder;
  path += '/';
  path += name;
  return path;
}

HRESULT Failed(int err, int* sysError) {
  *sysError = err;
  return ResultFromErrno(err);
}

}  // namespace

std::string SafeFileNamePart(std::string_view name) {
  std::string out;
  out.reserve(std::min(name.size(), kMaxNamePartBytes));
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    const bool dotRun =
        c == '.' && ((i + 1 < name.size() && name[i + 1] == '.') || (i > 0 && name[i - 1] == '.'));
    if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F || dotRun || (i == 0 && c == '.')) {
      out += '_';
    } else {
      out += static_cast<char>(c);
    }
  }
  if (out.size() > kMaxNamePartBytes) {
    size_t cut = kMaxNamePartBytes;
    // Back up over continuation bytes so no character is split.
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
  }
  return out;
}

std::string HistoryBlobFileName(std::string_view controller, std::string_view item, double date,
                                uint32_t microsecond) {
  DateFields f;
  if (DateToFields(date, &f, DateRounding::kMicrosecond).failed()) f = DateFields{};
  std::string name = SafeFileNamePart(controller);
  name += '_';
  name += SafeFileNamePart(item);
  name += '_';
  AppendNumber(&name, f.year, 4);
  AppendNumber(&name, f.month, 2);
  AppendNumber(&name, f.day, 2);
  AppendNumber(&name, f.hour, 2);
  AppendNumber(&name, f.minute, 2);
  AppendNumber(&name, f.second, 2);
  name += '_';
  AppendNumber(&name, microsecond, 6);
  name += kExtension;
  return name;
}

std::string CurrentBlobFileName(std::string_view controller, std::string_view item) {
  return SafeFileNamePart(controller) + "_" + SafeFileNamePart(item) + "_Current" +
         std::string(kExtension);
}

bool IsHistoryBlobFileName(std::string_view name) {
  if (name.size() <= kExtension.size() || !name.ends_with(kExtension) || name.front() == '.') {
    return false;
  }
  if (name.find("..") != std::string_view::npos) return false;
  for (char c : name) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

std::span<const uint8_t> BlobBytes(const Variant& value) {
  const SafeArray& array = value.array();
  if (array.dims() == 0 || array.data() == nullptr) return {};
  return {array.data(), array.bounds()[0].count};
}

HRESULT CreateBlobFile(const std::string& folder, std::string_view name,
                       std::span<const uint8_t> bytes, std::string* created, int* sysError) {
  if (folder.empty()) return Failed(ENOENT, sysError);
  const std::string_view stem = name.substr(0, name.size() - kExtension.size());
  std::string candidate(name);
  for (int suffix = 1;; ++suffix) {
    const std::string path = Join(folder, candidate);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      const int err = FinishFile(fd, path, bytes);
      if (err != 0) return Failed(err, sysError);
      *created = std::move(candidate);
      return S_OK;
    }
    if (errno != EEXIST || suffix > kMaxSuffix) return Failed(errno, sysError);
    candidate = std::string(stem);
    candidate += '_';
    AppendNumber(&candidate, suffix, 1);
    candidate += kExtension;
  }
}

HRESULT ReplaceBlobFile(const std::string& folder, std::string_view name,
                        std::span<const uint8_t> bytes, int* sysError) {
  if (folder.empty()) return Failed(ENOENT, sysError);
  std::string temp = Join(folder, ".") + std::string(name) + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return Failed(errno, sysError);
  // mkostemp makes the file 0600; give it the mode of the other value files.
  (void)::fchmod(fd, 0644);
  int err = FinishFile(fd, temp, bytes);
  if (err == 0 && ::rename(temp.c_str(), Join(folder, name).c_str()) != 0) {
    err = errno;
    ::unlink(temp.c_str());
  }
  if (err != 0) return Failed(err, sysError);
  return S_OK;
}

void RemoveBlobFile(const std::string& folder, std::string_view name) {
  ::unlink(Join(folder, name).c_str());
}

}  // namespace tavrix
