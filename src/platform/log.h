// The process's diagnostic lines: Log and LogResult format one line with a
// level and hand it to the installed LogSink (the process host's logger), or
// to standard error before one is installed.
//
//   Log(1, "TavrixController[%ls] : Sampling Started. Sampling interval %dms\n", name, ms);
//   LogResult(hr, 1, "TavrixController[%ls] : Connect failed.\n", name);
//
// Levels: 0 trace, 1 information, 2 warning, 3 error; 4 and above are passed
// through from scripts and plug-ins. A line is written when its level is at
// least the process level (SetLogLevel, default 1). LogResult raises a line
// with a failure code (negative) at level 3 or below to level 3.
//
// Formats are printf formats as the log texts are written, but type-safe:
// the arguments are checked at run time against the conversions, never read
// blindly. %s, %ls, %S, %hs and %ws all take a UTF-8 text (const char*,
// std::string, std::string_view, a character array; a null pointer prints
// "(null)"); %d %i %u %o %x %X %c take any integer, enum or HRESULT; %f %e %g
// %a (and upper case) take a floating value or an integer; %p a pointer.
// Flags "-+ #0", width, precision and "*" work as in printf. Length
// modifiers are accepted and ignored, except hh and h, which narrow the value:
// the argument's own type gives its size, so %ld and %d print a 32-bit value
// alike. An argument that does not fit its conversion prints "(mismatch)", a
// missing one "(missing)"; extra arguments are ignored; an unknown
// conversion is copied as written. Widths and precisions count UTF-16 code
// units, and numbers never depend on the process locale.
//
// A formatted line is cut to kMaxLogLineUnits UTF-16 code units (never
// through a character); a cut line loses its final line feed. Each format
// ends with the line feed of its line: nothing is added.
//
// A line below the level costs one relaxed atomic load: the arguments are
// neither converted nor formatted. Logging never fails and never throws.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/mutex.h"
#include "platform/result.h"

namespace tavrix {

// Longest line, in UTF-16 code units (a buffer of 1024 with its terminator).
inline constexpr size_t kMaxLogLineUnits = 1023;

// Where formatted lines go. Write is called from any thread, at the same
// time from several; the text is the whole line, UTF-8, with its final line
// feed as formatted; `result` is the code given to LogResult (S_OK for Log).
// Write must not throw. A line a sink logs from inside its own Write goes to
// standard error instead (no recursion).
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void Write(uint32_t level, HRESULT result, std::string_view text) = 0;
};

// Makes `sink` (null: standard error) the destination of every later line
// and returns the previous one. Returns only when no thread is still inside
// the previous sink's Write, so the caller may destroy it then. The sink is
// not owned and must stay alive while installed.
LogSink* SetLogSink(LogSink* sink);

// The lowest level written (LogLevel). Any thread; takes effect at once.
void SetLogLevel(uint32_t level);
uint32_t GetLogLevel();

// Inserts "(0x%8X)" with the code before the text's final line feed (at the
// end when it has none), the form of the debugger output for failures; the
// text before it is shortened so that the line stays within
// kMaxLogLineUnits. Used by the standard-error default and the host logger.
std::string WithResultCode(std::string_view text, HRESULT result);

namespace log_detail {

// The process level; in the header so that the filter inlines.
extern std::atomic<uint32_t> g_level;

// One argument, captured without copying: text views the caller's string,
// which outlives the call.
struct Arg {
  enum class Kind : uint8_t { kNone, kSigned, kUnsigned, kFloat, kText, kPointer };
  Kind kind = Kind::kNone;
  uint8_t size = 0;     // bytes of an integer after promotion (4 or 8)
  uint64_t bits = 0;    // integer value, sign-extended for kSigned; pointer address
  double real = 0;      // kFloat
  std::string_view text;
  bool nullText = false;  // a null char pointer
};

template <typename T>
Arg MakeArg(const T& value) {
  using D = std::remove_cvref_t<T>;
  Arg a;
  if constexpr (std::is_same_v<D, HRESULT>) {
    a.kind = Arg::Kind::kSigned;
    a.size = 4;
    a.bits = static_cast<uint64_t>(static_cast<int64_t>(value.code()));
  } else if constexpr (std::is_enum_v<D>) {
    return MakeArg(static_cast<std::underlying_type_t<D>>(value));
  } else if constexpr (std::is_same_v<D, bool>) {
    a.kind = Arg::Kind::kSigned;
    a.size = 4;
    a.bits = value ? 1 : 0;
  } else if constexpr (std::is_integral_v<D>) {
    // Types narrower than int are promoted to int, as a variadic call does.
    if constexpr (sizeof(D) < sizeof(int)) {
      a.kind = Arg::Kind::kSigned;
      a.size = sizeof(int);
      a.bits = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int>(value)));
    } else if constexpr (std::is_signed_v<D>) {
      a.kind = Arg::Kind::kSigned;
      a.size = sizeof(D);
      a.bits = static_cast<uint64_t>(static_cast<int64_t>(value));
    } else {
      a.kind = Arg::Kind::kUnsigned;
      a.size = sizeof(D);
      a.bits = static_cast<uint64_t>(value);
    }
  } else if constexpr (std::is_floating_point_v<D>) {
    a.kind = Arg::Kind::kFloat;
    a.real = static_cast<double>(value);
  } else if constexpr (std::is_null_pointer_v<D>) {
    a.kind = Arg::Kind::kPointer;
    a.size = sizeof(void*);
  } else if constexpr (std::is_same_v<std::decay_t<D>, const char*> ||
                       std::is_same_v<std::decay_t<D>, char*>) {
    a.kind = Arg::Kind::kText;
    const char* p = value;
    if (p == nullptr) {
      a.nullText = true;
    } else {
      a.text = std::string_view(p);
    }
  } else if constexpr (std::is_convertible_v<const D&, std::string_view>) {
    a.kind = Arg::Kind::kText;
    a.text = std::string_view(value);
  } else if constexpr (std::is_pointer_v<D>) {
    a.kind = Arg::Kind::kPointer;
    a.size = sizeof(void*);
    a.bits = reinterpret_cast<uintptr_t>(static_cast<const volatile void*>(value));
  } else {
    static_assert(sizeof(D) == 0,
                  "Log argument: pass a number, an HRESULT, a UTF-8 text or a pointer");
  }
  return a;
}

// Formats, cuts to kMaxLogLineUnits and delivers one line (never throws).
void Emit(uint32_t level, HRESULT result, std::string_view format, std::span<const Arg> args);

std::string FormatArgs(std::string_view format, std::span<const Arg> args);

}  // namespace log_detail

// Whether a line at `level` would be written.
inline bool LogEnabled(uint32_t level) {
  return level >= log_detail::g_level.load(std::memory_order_relaxed);
}

// The text a format and its arguments give (the same rules as Log, without
// the cut to kMaxLogLineUnits).
template <typename... Args>
std::string FormatLogText(std::string_view format, const Args&... args) {
  const log_detail::Arg packed[sizeof...(Args) + 1] = {log_detail::MakeArg(args)..., {}};
  return log_detail::FormatArgs(format, std::span(packed, sizeof...(Args)));
}

// Writes one line at `level`.
template <typename... Args>
void Log(uint32_t level, std::string_view format, const Args&... args) {
  if (!LogEnabled(level)) return;
  const log_detail::Arg packed[sizeof...(Args) + 1] = {log_detail::MakeArg(args)..., {}};
  log_detail::Emit(level, S_OK, format, std::span(packed, sizeof...(Args)));
}

// Writes one line at `level` with a result code; a failure code at level 3
// or below writes at level 3.
template <typename... Args>
void LogResult(HRESULT result, uint32_t level, std::string_view format, const Args&... args) {
  if (result.failed() && level <= 3) level = 3;
  if (!LogEnabled(level)) return;
  const log_detail::Arg packed[sizeof...(Args) + 1] = {log_detail::MakeArg(args)..., {}};
  log_detail::Emit(level, result, format, std::span(packed, sizeof...(Args)));
}

// Installs a sink for the lifetime of this object (and, when given, a
// process level), then restores the previous sink and level. For tests and
// short scopes on one thread; nest them in stack order.
class ScopedLogSink {
 public:
  explicit ScopedLogSink(LogSink& sink);
  ScopedLogSink(LogSink& sink, uint32_t level);
  ~ScopedLogSink();
  ScopedLogSink(const ScopedLogSink&) = delete;
  ScopedLogSink& operator=(const ScopedLogSink&) = delete;

 private:
  LogSink* previous_;
  uint32_t previousLevel_;
  bool setLevel_;
};

// A sink that keeps every line, for tests: while it lives it is installed
// (constructed with a level, that level is in force too).
//
//   CapturingLogSink log(0);   // capture everything, trace included
//   ... code under test ...
//   EXPECT_TRUE(log.Contains("Sampling Started"));
class CapturingLogSink : public LogSink {
 public:
  struct Line {
    uint32_t level;
    HRESULT result;
    std::string text;
  };

  CapturingLogSink();
  explicit CapturingLogSink(uint32_t level);
  ~CapturingLogSink() override;

  void Write(uint32_t level, HRESULT result, std::string_view text) override;

  std::vector<Line> Lines() const;
  // The texts only, in order.
  std::vector<std::string> Texts() const;
  // Whether some line contains `part`.
  bool Contains(std::string_view part) const;
  size_t size() const;
  void Clear();

 private:
  mutable Mutex mutex_;  // guards lines_ (Write runs on any thread; a leaf)
  std::vector<Line> lines_ GUARDED_BY(mutex_);
  std::unique_ptr<ScopedLogSink> install_;  // last member: installed once the rest exists
};

}  // namespace tavrix
