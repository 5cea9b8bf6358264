// Local time for the log destinations: the file time stamp, the syslog
// header and the sampling-time-over files. Read through SystemClock(), so a
// FakeClock moves it, and converted with localtime_r (the TZ rules of the
// process; call tzset() after changing TZ). No locale is involved.
#pragma once

#include <string>

namespace tavrix {

struct LocalTimeParts {
  int year = 1970;
  int month = 1;        // 1..12
  int day = 1;          // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;  // 0..999
};

// The present local time from SystemClock().UtcMicros().
LocalTimeParts LocalTimeNow();

// Appends `value` in decimal, at least `width` digits, padded with `pad`
// ('0' or ' '). value must not be negative.
void AppendPadded(std::string& out, int value, int width, char pad = '0');

// "hh:mm:ss", each field two digits.
void AppendClockTime(std::string& out, const LocalTimeParts& t);

// "YYYY<sep>MM<sep>DD hh:mm:ss.fff": the milliseconds in `fractionDigits`
// digits (zero-filled on the left: four digits give "0123" for 123 ms).
void AppendDateTime(std::string& out, const LocalTimeParts& t, char dateSeparator,
                    int fractionDigits);

// "YYYYMMDDhhmmss" of the present local time: the process start stamp of
// the sampling-time-over file names.
std::string LocalTimeStamp14();

}  // namespace tavrix
