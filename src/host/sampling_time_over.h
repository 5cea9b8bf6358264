// The sampling-time-over log: one comma-separated file per controller with
// the sampling cycles that took too long.
//
// File: <dir>/<start stamp>_<controller>.csv, opened for appending (and
// created) for each line and closed again, so other programs may read or
// move it at any time. Line: "YYYY-MM-DD hh:mm:ss.mmm,<elapsed>\n" in local
// time. A file that cannot be opened is skipped silently.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/mutex.h"

namespace tavrix {

struct SamplingTimeOverSettings {
  // 1: a cycle is logged when elapsed >= thresholdMs; 2: when elapsed >=
  // its sampling period; any other value: never.
  uint32_t type = 0;
  // The folder; empty turns the log off. A trailing "/" is added when missing.
  std::string dir;
  uint32_t thresholdMs = 100;  // SamplingTimeOverTime
  // The process start time, "YYYYMMDDhhmmss" local time (LocalTimeStamp14()).
  std::string startStamp;
};

// Thread-safe: the sampling threads of all controllers log at once.
class SamplingTimeOverLog {
 public:
  void Configure(const SamplingTimeOverSettings& settings) EXCLUDES(mutex_);

  // Called after every sampling cycle of `controller`; writes a line when
  // the settings ask for one. Never fails its caller.
  void LogSamplingTimeOver(std::string_view controller, uint32_t elapsedMs, uint32_t periodMs)
      EXCLUDES(mutex_);

  // The file of a controller under the present settings.
  std::string FilePath(std::string_view controller) const EXCLUDES(mutex_);

 private:
  std::string FilePathLocked(std::string_view controller) const REQUIRES(mutex_);

  // Guards settings_; held only to copy or test them, never while the file
  // is written (a leaf).
  mutable Mutex mutex_;
  SamplingTimeOverSettings settings_ GUARDED_BY(mutex_);
};

}  // namespace tavrix
