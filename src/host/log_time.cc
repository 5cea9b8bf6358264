#include "host/log_time.h"

#include <time.h>

#include <charconv>
#include <cstdint>

#include "platform/clock.h"

namespace tavrix {

LocalTimeParts LocalTimeNow() {
  const int64_t micros = SystemClock().UtcMicros();
  // Floor division, so that times before 1970 keep a positive millisecond.
  int64_t seconds = micros / 1000000;
  int64_t rest = micros % 1000000;
  if (rest < 0) {
    rest += 1000000;
    --seconds;
  }
  const time_t t = static_cast<time_t>(seconds);
  tm local{};
  LocalTimeParts parts;
  if (localtime_r(&t, &local) == nullptr) return parts;
  parts.year = local.tm_year + 1900;
  parts.month = local.tm_mon + 1;
  parts.day = local.tm_mday;
  parts.hour = local.tm_hour;
  parts.minute = local.tm_min;
  parts.second = local.tm_sec;
  parts.millisecond = static_cast<int>(rest / 1000);
  return parts;
}

void AppendPadded(std::string& out, int value, int width, char pad) {
  char buf[16];
  const char* end = std::to_chars(buf, buf + sizeof buf, value).ptr;
  const int digits = static_cast<int>(end - buf);
  if (digits < width) out.append(static_cast<size_t>(width - digits), pad);
  out.append(buf, static_cast<size_t>(end - buf));
}

void AppendClockTime(std::string& out, const LocalTimeParts& t) {
  AppendPadded(out, t.hour, 2);
  out.push_back(':');
  AppendPadded(out, t.minute, 2);
  out.push_back(':');
  AppendPadded(out, t.second, 2);
}

void AppendDateTime(std::string& out, const LocalTimeParts& t, char dateSeparator,
                    int fractionDigits) {
  AppendPadded(out, t.year, 4);
  out.push_back(dateSeparator);
  AppendPadded(out, t.month, 2);
  out.push_back(dateSeparator);
  AppendPadded(out, t.day, 2);
  out.push_back(' ');
  AppendClockTime(out, t);
  out.push_back('.');
  AppendPadded(out, t.millisecond, fractionDigits);
}

std::string LocalTimeStamp14() {
  const LocalTimeParts t = LocalTimeNow();
  std::string s;
  AppendPadded(s, t.year, 4);
  AppendPadded(s, t.month, 2);
  AppendPadded(s, t.day, 2);
  AppendPadded(s, t.hour, 2);
  AppendPadded(s, t.minute, 2);
  AppendPadded(s, t.second, 2);
  return s;
}

}  // namespace tavrix
