#include "platform/log.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>

#include "platform/text.h"

namespace tavrix {
namespace log_detail {

std::atomic<uint32_t> g_level{1};

namespace {

// Widths and precisions above this are clamped: a line is cut at 1023 units
// anyway, and a format must not make us allocate without bound.
constexpr int kMaxFieldWidth = 4096;

struct Directive {
  bool left = false;
  bool plus = false;
  bool space = false;
  bool alt = false;
  bool zero = false;
  int width = 0;
  int precision = -1;  // -1: none given
  int narrow = 0;      // 1 for hh, 2 for h, 0 otherwise
  char conv = 0;
};

class Formatter {
 public:
  Formatter(std::string_view format, std::span<const Arg> args) : fmt_(format), args_(args) {}

  std::string Run() {
    out_.reserve(fmt_.size() + 32);
    size_t i = 0;
    while (i < fmt_.size()) {
      const size_t pct = fmt_.find('%', i);
      if (pct == std::string_view::npos) {
        out_.append(fmt_.substr(i));
        break;
      }
      out_.append(fmt_.substr(i, pct - i));
      i = Conversion(pct);
    }
    return std::move(out_);
  }

 private:
  static constexpr std::string_view kMissing = "(missing)";
  static constexpr std::string_view kMismatch = "(mismatch)";

  const Arg* NextArg() { return next_ < args_.size() ? &args_[next_++] : nullptr; }

  // A "*" width or precision: an integer argument, or 0 with the argument
  // marked missing or mismatched in the output.
  int StarValue() {
    const Arg* a = NextArg();
    if (a == nullptr) {
      out_.append(kMissing);
      return 0;
    }
    if (a->kind != Arg::Kind::kSigned && a->kind != Arg::Kind::kUnsigned) {
      out_.append(kMismatch);
      return 0;
    }
    const int64_t v = a->size == 4 ? static_cast<int32_t>(a->bits) : static_cast<int64_t>(a->bits);
    return static_cast<int>(std::clamp<int64_t>(v, -kMaxFieldWidth, kMaxFieldWidth));
  }

  int Digits(size_t& i) {
    int v = 0;
    while (i < fmt_.size() && fmt_[i] >= '0' && fmt_[i] <= '9') {
      v = std::min(v * 10 + (fmt_[i] - '0'), kMaxFieldWidth);
      ++i;
    }
    return v;
  }

  // Parses the conversion that starts at fmt_[pct] == '%', writes it and
  // returns the position after it.
  size_t Conversion(size_t pct) {
    size_t i = pct + 1;
    Directive s;
    for (; i < fmt_.size(); ++i) {
      const char c = fmt_[i];
      if (c == '-') s.left = true;
      else if (c == '+') s.plus = true;
      else if (c == ' ') s.space = true;
      else if (c == '#') s.alt = true;
      else if (c == '0') s.zero = true;
      else break;
    }
    if (i < fmt_.size() && fmt_[i] == '*') {
      ++i;
      s.width = StarValue();
      if (s.width < 0) {
        s.left = true;
        s.width = -s.width;
      }
    } else {
      s.width = Digits(i);
    }
    if (i < fmt_.size() && fmt_[i] == '.') {
      ++i;
      if (i < fmt_.size() && fmt_[i] == '*') {
        ++i;
        s.precision = StarValue();
        if (s.precision < 0) s.precision = -1;  // a negative precision counts as none
      } else {
        s.precision = Digits(i);
      }
    }
    // Length modifiers: only hh and h change what is printed.
    while (i < fmt_.size()) {
      const char c = fmt_[i];
      if (c == 'h') {
        s.narrow = s.narrow == 2 ? 1 : 2;
        ++i;
      } else if (c == 'l' || c == 'L' || c == 'q' || c == 'j' || c == 'z' || c == 't' ||
                 c == 'w') {
        ++i;
      } else if (c == 'I') {
        ++i;
        if (fmt_.substr(i, 2) == "64" || fmt_.substr(i, 2) == "32") i += 2;
      } else {
        break;
      }
    }
    if (i >= fmt_.size()) {  // a format ending inside a conversion
      out_.append(fmt_.substr(pct));
      return fmt_.size();
    }
    s.conv = fmt_[i++];
    switch (s.conv) {
      case '%':
        out_.push_back('%');
        break;
      case 'd': case 'i': case 'u': case 'o': case 'x': case 'X': case 'c':
        Integer(s);
        break;
      case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A':
        Floating(s);
        break;
      case 's': case 'S':
        Text(s);
        break;
      case 'p':
        Pointer(s);
        break;
      default:  // unknown, and %n, which is never honoured: copied as written
        out_.append(fmt_.substr(pct, i - pct));
        break;
    }
    return i;
  }

  // Appends prefix + body padded to the width; zeros go between the prefix
  // (sign, "0x") and the body when asked for.
  void Pad(const Directive& s, std::string_view prefix, std::string_view body, bool zeroPad,
           size_t bodyUnits) {
    const size_t units = prefix.size() + bodyUnits;
    const size_t fill = static_cast<size_t>(s.width) > units ? s.width - units : 0;
    if (s.left) {
      out_.append(prefix);
      out_.append(body);
      out_.append(fill, ' ');
    } else if (zeroPad) {
      out_.append(prefix);
      out_.append(fill, '0');
      out_.append(body);
    } else {
      out_.append(fill, ' ');
      out_.append(prefix);
      out_.append(body);
    }
  }

  void Integer(const Directive& s) {
    const Arg* a = NextArg();
    if (a == nullptr) {
      out_.append(kMissing);
      return;
    }
    if (a->kind != Arg::Kind::kSigned && a->kind != Arg::Kind::kUnsigned &&
        a->kind != Arg::Kind::kPointer) {
      out_.append(kMismatch);
      return;
    }
    // The value's bits as the argument's size gives them, narrowed by hh/h.
    int size = a->size;
    if (s.narrow == 1) size = 1;
    if (s.narrow == 2) size = 2;
    const uint64_t mask = size >= 8 ? ~uint64_t{0} : (uint64_t{1} << (size * 8)) - 1;
    const uint64_t raw = a->bits & mask;

    if (s.conv == 'c') {
      std::string ch;
      if (raw != 0) AppendUtf8(ch, static_cast<char32_t>(raw & 0x1FFFFF));
      Pad(s, {}, ch, false, Utf16Length(ch));
      return;
    }

    bool negative = false;
    uint64_t magnitude = raw;
    if (s.conv == 'd' || s.conv == 'i') {
      // Sign-extends from the effective size.
      int64_t v;
      if (size >= 8) {
        v = static_cast<int64_t>(raw);
      } else {
        const uint64_t signBit = uint64_t{1} << (size * 8 - 1);
        v = static_cast<int64_t>((raw ^ signBit) - signBit);
      }
      negative = v < 0;
      magnitude = negative ? ~static_cast<uint64_t>(v) + 1 : static_cast<uint64_t>(v);
    }
    const int base = s.conv == 'o' ? 8 : (s.conv == 'x' || s.conv == 'X') ? 16 : 10;
    char buf[32];
    char* end = std::to_chars(buf, buf + sizeof buf, magnitude, base).ptr;
    std::string digits(buf, end);
    if (s.conv == 'X') {
      std::transform(digits.begin(), digits.end(), digits.begin(),
                     [](char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 32) : c; });
    }
    if (s.precision == 0 && magnitude == 0) digits.clear();
    if (s.precision > 0 && digits.size() < static_cast<size_t>(s.precision)) {
      digits.insert(0, s.precision - digits.size(), '0');
    }
    std::string prefix;
    if (negative) prefix = "-";
    else if ((s.conv == 'd' || s.conv == 'i') && s.plus) prefix = "+";
    else if ((s.conv == 'd' || s.conv == 'i') && s.space) prefix = " ";
    if (s.alt && magnitude != 0 && s.conv == 'x') prefix += "0x";
    if (s.alt && magnitude != 0 && s.conv == 'X') prefix += "0X";
    if (s.alt && s.conv == 'o' && (digits.empty() || digits[0] != '0')) {
      digits.insert(digits.begin(), '0');
    }
    Pad(s, prefix, digits, s.zero && !s.left && s.precision < 0, digits.size());
  }

  void Floating(const Directive& s) {
    const Arg* a = NextArg();
    if (a == nullptr) {
      out_.append(kMissing);
      return;
    }
    double v;
    if (a->kind == Arg::Kind::kFloat) {
      v = a->real;
    } else if (a->kind == Arg::Kind::kSigned) {
      v = static_cast<double>(static_cast<int64_t>(a->bits));
    } else if (a->kind == Arg::Kind::kUnsigned) {
      v = static_cast<double>(a->bits);
    } else {
      out_.append(kMismatch);
      return;
    }
    const char lower = static_cast<char>(s.conv | 0x20);
    const bool upper = s.conv != lower;
    const bool negative = std::signbit(v);
    const double magnitude = std::fabs(v);
    std::string body;
    const bool finite = std::isfinite(magnitude);
    if (!finite) {
      body = std::isnan(magnitude) ? "nan" : "inf";
    } else {
      std::chars_format form = std::chars_format::fixed;
      if (lower == 'e') form = std::chars_format::scientific;
      if (lower == 'g') form = std::chars_format::general;
      if (lower == 'a') form = std::chars_format::hex;
      char buf[kMaxFieldWidth + 400];
      std::to_chars_result r;
      if (lower == 'a' && s.precision < 0) {
        r = std::to_chars(buf, buf + sizeof buf, magnitude, form);
      } else {
        r = std::to_chars(buf, buf + sizeof buf, magnitude, form,
                          s.precision < 0 ? 6 : s.precision);
      }
      if (r.ec != std::errc()) {
        out_.append(kMismatch);
        return;
      }
      body.assign(buf, r.ptr);
      if (lower == 'a') body.insert(0, "0x");
    }
    if (upper) {
      std::transform(body.begin(), body.end(), body.begin(),
                     [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    }
    std::string prefix;
    if (negative) prefix = "-";
    else if (s.plus) prefix = "+";
    else if (s.space) prefix = " ";
    if (lower == 'a' && finite) {  // keeps "0x" ahead of zero padding
      prefix += body.substr(0, 2);
      body.erase(0, 2);
    }
    Pad(s, prefix, body, s.zero && !s.left && finite, body.size());
  }

  void Text(const Directive& s) {
    const Arg* a = NextArg();
    if (a == nullptr) {
      out_.append(kMissing);
      return;
    }
    if (a->kind != Arg::Kind::kText) {
      out_.append(kMismatch);
      return;
    }
    std::string_view text = a->nullText ? std::string_view("(null)") : a->text;
    std::string cut;
    if (s.precision >= 0) {
      cut = Utf16Left(text, static_cast<size_t>(s.precision));
      text = cut;
    }
    const size_t units = s.width > 0 ? Utf16Length(text) : 0;
    Pad(s, {}, text, false, units);
  }

  void Pointer(const Directive& s) {
    const Arg* a = NextArg();
    if (a == nullptr) {
      out_.append(kMissing);
      return;
    }
    if (a->kind != Arg::Kind::kPointer && a->kind != Arg::Kind::kUnsigned &&
        a->kind != Arg::Kind::kSigned) {
      out_.append(kMismatch);
      return;
    }
    if (a->bits == 0) {
      Pad(s, {}, "(nil)", false, 5);
      return;
    }
    char buf[32];
    char* end = std::to_chars(buf, buf + sizeof buf, a->bits, 16).ptr;
    Pad(s, "0x", std::string_view(buf, end - buf), false, end - buf);
  }

  std::string_view fmt_;
  std::span<const Arg> args_;
  size_t next_ = 0;
  std::string out_;
};

// Guards g_sink. Writers hold it shared for the length of one Write;
// SetLogSink takes it exclusively, so a replaced sink is no longer in use
// when SetLogSink returns. It comes before every lock a sink takes, and a
// sink never installs a sink.
SharedMutex g_sinkMutex;
LogSink* g_sink GUARDED_BY(g_sinkMutex) = nullptr;

// True while this thread is inside a sink's Write: a line logged from there
// goes to standard error instead of re-entering the sink (and the lock).
thread_local bool t_inSink = false;

// One write(2) per line, so lines from several threads never mix.
void WriteStandardError(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(STDERR_FILENO, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
}

// The standard-error default is the debugger output the logger starts with.
void WriteDefault(HRESULT result, std::string_view text) {
  if (result.failed()) {
    WriteStandardError(WithResultCode(text, result));
  } else {
    WriteStandardError(text);
  }
}

void CutToLineLimit(std::string& text) {
  // A byte count within the limit is a unit count within it too.
  if (text.size() <= kMaxLogLineUnits) return;
  if (Utf16Length(text) <= kMaxLogLineUnits) return;
  text = Utf16Left(text, kMaxLogLineUnits);
}

}  // namespace

std::string FormatArgs(std::string_view format, std::span<const Arg> args) {
  return Formatter(format, args).Run();
}

void Emit(uint32_t level, HRESULT result, std::string_view format, std::span<const Arg> args) {
  try {
    std::string text = FormatArgs(format, args);
    CutToLineLimit(text);
    if (t_inSink) {
      WriteDefault(result, text);
      return;
    }
    {
      ReaderMutexLock lock(&g_sinkMutex);
      if (g_sink != nullptr) {
        t_inSink = true;
        try {
          g_sink->Write(level, result, text);
        } catch (...) {
        }
        t_inSink = false;
        return;
      }
    }
    WriteDefault(result, text);
  } catch (...) {
    // Logging never fails its caller, not even out of memory.
  }
}

}  // namespace log_detail

LogSink* SetLogSink(LogSink* sink) {
  WriterMutexLock lock(&log_detail::g_sinkMutex);
  LogSink* previous = log_detail::g_sink;
  log_detail::g_sink = sink;
  return previous;
}

void SetLogLevel(uint32_t level) { log_detail::g_level.store(level, std::memory_order_relaxed); }

uint32_t GetLogLevel() { return log_detail::g_level.load(std::memory_order_relaxed); }

std::string WithResultCode(std::string_view text, HRESULT result) {
  const std::string code = FormatLogText("(0x%8X)", result);
  const bool lineFeed = !text.empty() && text.back() == '\n';
  if (lineFeed) text.remove_suffix(1);
  const size_t room = kMaxLogLineUnits - code.size() - (lineFeed ? 1 : 0);
  std::string out =
      text.size() <= room ? std::string(text) : Utf16Left(text, room);  // bytes >= units
  out += code;
  if (lineFeed) out.push_back('\n');
  return out;
}

ScopedLogSink::ScopedLogSink(LogSink& sink)
    : previous_(SetLogSink(&sink)), previousLevel_(GetLogLevel()), setLevel_(false) {}

ScopedLogSink::ScopedLogSink(LogSink& sink, uint32_t level)
    : previous_(SetLogSink(&sink)), previousLevel_(GetLogLevel()), setLevel_(true) {
  SetLogLevel(level);
}

ScopedLogSink::~ScopedLogSink() {
  SetLogSink(previous_);
  if (setLevel_) SetLogLevel(previousLevel_);
}

CapturingLogSink::CapturingLogSink() : install_(std::make_unique<ScopedLogSink>(*this)) {}

CapturingLogSink::CapturingLogSink(uint32_t level)
    : install_(std::make_unique<ScopedLogSink>(*this, level)) {}

CapturingLogSink::~CapturingLogSink() { install_.reset(); }

void CapturingLogSink::Write(uint32_t level, HRESULT result, std::string_view text) {
  MutexLock lock(&mutex_);
  lines_.push_back(Line{level, result, std::string(text)});
}

std::vector<CapturingLogSink::Line> CapturingLogSink::Lines() const {
  MutexLock lock(&mutex_);
  return lines_;
}

std::vector<std::string> CapturingLogSink::Texts() const {
  MutexLock lock(&mutex_);
  std::vector<std::string> texts;
  texts.reserve(lines_.size());
  for (const Line& line : lines_) texts.push_back(line.text);
  return texts;
}

bool CapturingLogSink::Contains(std::string_view part) const {
  MutexLock lock(&mutex_);
  return std::any_of(lines_.begin(), lines_.end(), [part](const Line& line) {
    return line.text.find(part) != std::string::npos;
  });
}

size_t CapturingLogSink::size() const {
  MutexLock lock(&mutex_);
  return lines_.size();
}

void CapturingLogSink::Clear() {
  MutexLock lock(&mutex_);
  lines_.clear();
}

}  // namespace tavrix
