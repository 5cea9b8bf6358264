#include "host/sampling_time_over.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "host/log_time.h"

namespace tavrix {

void SamplingTimeOverLog::Configure(const SamplingTimeOverSettings& settings) {
  MutexLock lock(&mutex_);
  settings_ = settings;
  if (!settings_.dir.empty() && settings_.dir.back() != '/') settings_.dir.push_back('/');
}

std::string SamplingTimeOverLog::FilePath(std::string_view controller) const {
  MutexLock lock(&mutex_);
  return FilePathLocked(controller);
}

std::string SamplingTimeOverLog::FilePathLocked(std::string_view controller) const {
  std::string path = settings_.dir;
  path += settings_.startStamp;
  path.push_back('_');
  path += controller;
  path += ".csv";
  return path;
}

void SamplingTimeOverLog::LogSamplingTimeOver(std::string_view controller, uint32_t elapsedMs,
                                              uint32_t periodMs) {
  std::string path;
  {
    // The test and the path under one hold: a Configure in between would
    // write a line the new settings do not ask for, or to the old folder.
    MutexLock lock(&mutex_);
    if (settings_.dir.empty()) return;
    const bool over = (settings_.type == 1 && elapsedMs >= settings_.thresholdMs) ||
                      (settings_.type == 2 && elapsedMs >= periodMs);
    if (!over) return;
    path = FilePathLocked(controller);
  }

  const LocalTimeParts t = LocalTimeNow();
  std::string line;
  AppendDateTime(line, t, '-', 3);
  line.push_back(',');
  char digits[16];
  const char* end = std::to_chars(digits, digits + sizeof digits, elapsedMs).ptr;
  line.append(digits, static_cast<size_t>(end - digits));
  line.push_back('\n');

  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // One append per line: lines of threads logging for the same controller
  // never mix.
  std::string_view rest = line;
  while (!rest.empty()) {
    const ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    rest.remove_prefix(static_cast<size_t>(n));
  }
  ::close(fd);
}

}  // namespace tavrix
