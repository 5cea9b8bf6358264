// Dates: the platform's date numbers and their calendar, file-time, Unix-time
// and time-zone forms.
//
// A date is a double: days since 1899-12-30 00:00, the time of day as the
// fraction. For dates before 1899-12-30 the integer part is the day and the
// fraction is still a positive time counted away from zero: -1.25 is
// 1899-12-29 06:00, and -0.25 is the same moment as 0.25. Valid dates run from
// 100-01-01 (-657434) to 9999-12-31 23:59:59.999... (just under 2958466).
//
// A double holds a present-day date to about half a microsecond, so the system
// keeps time stamps as a date of whole seconds plus a separate microsecond
// count (SplitDate / JoinDate). Calendar fields are proleptic Gregorian.
#pragma once

#include <cstdint>

#include "platform/result.h"

namespace tavrix {

inline constexpr double kMinDate = -657434.0;     // 100-01-01 00:00
inline constexpr double kMaxDateExclusive = 2958466.0;  // 10000-01-01 00:00
inline constexpr double kUnixEpochDate = 25569.0;  // 1970-01-01 00:00

// True when the date lies in 100-01-01 .. 9999-12-31 (any time of day).
bool IsValidDate(double date) noexcept;

struct DateFields {
  int year = 0;         // 100 .. 9999
  int month = 0;        // 1 .. 12
  int day = 0;          // 1 .. 31
  int hour = 0;         // 0 .. 23
  int minute = 0;
  int second = 0;
  int microsecond = 0;  // 0 .. 999999 (a multiple of 1000 when rounded to ms)
  int dayOfWeek = 0;    // 0 Sunday .. 6 Saturday
  int dayOfYear = 0;    // 1 .. 366
};

// Builds a date from calendar fields. Fields out of their range roll over as
// the platform's VarDateFromUdate does: month 13 is January of the next year,
// month 0 December of the one before, day 0 the last day of the month before,
// hour 24 the next day, negative values count back. The year is taken as
// written (no two-digit window). E_INVALIDARG when the result is not a valid
// date.
HRESULT DateFromFields(int year, int month, int day, int hour, int minute, int second,
                       int microsecond, double* out) noexcept;
inline HRESULT DateFromFields(int year, int month, int day, double* out) noexcept {
  return DateFromFields(year, month, day, 0, 0, 0, 0, out);
}

enum class DateRounding { kSecond, kMillisecond, kMicrosecond };

// Calendar fields of a date, the time rounded half up to the given unit (a
// time that rounds to 24:00 becomes 00:00 of the next day). E_INVALIDARG for
// an invalid date or NaN; *out is unchanged then.
HRESULT DateToFields(double date, DateFields* out,
                     DateRounding rounding = DateRounding::kMicrosecond) noexcept;

// 0 Sunday .. 6 Saturday; -1 for an invalid date.
int DayOfWeek(double date) noexcept;

// Days since 1899-12-30 of a calendar day (any year; no range check).
int64_t DaysFromCivil(int year, int month, int day) noexcept;

// The date as a continuous day count (-1.25 gives -0.75) and back. Arithmetic on
// moments (adding hours, differences) works on the continuous form.
double DateToLinear(double date) noexcept;
double DateFromLinear(double linear) noexcept;

// A date split into its day and the microseconds since midnight (rounded), and
// back; microseconds outside 0 .. 86399999999 roll into the day.
void DateToDayMicros(double date, int64_t* day, int64_t* micros) noexcept;
double DateFromDayMicros(int64_t day, int64_t micros) noexcept;

// A time stamp as whole seconds plus microseconds (0 .. 999999), and back.
void SplitDate(double date, double* wholeSeconds, uint32_t* micros) noexcept;
double JoinDate(double wholeSeconds, uint32_t micros) noexcept;

// FILETIME: 100 ns units since 1601-01-01. The date keeps microseconds.
// DateToFileTime: E_INVALIDARG for an invalid date or one before 1601.
// DateFromFileTime: E_INVALIDARG when the result is past 9999.
HRESULT DateFromFileTime(uint64_t fileTime, double* out) noexcept;
HRESULT DateToFileTime(double date, uint64_t* out) noexcept;

// Microseconds since 1970-01-01 00:00. DateToUnixMicros: E_INVALIDARG for an
// invalid date. DateFromUnixMicros does not check the range.
double DateFromUnixMicros(int64_t micros) noexcept;
HRESULT DateToUnixMicros(double date, int64_t* out) noexcept;

// UTC <-> local time through the C library's time zone (TZ). Microseconds are
// kept. For a local time that occurs twice (the hour after a change back to
// standard time) the C library's choice is taken; a local time in the gap of a
// change forward is read as if the change had not happened yet. E_INVALIDARG
// for an invalid date or when the C library cannot convert it.
HRESULT UtcToLocal(double utc, double* local) noexcept;
HRESULT LocalToUtc(double local, double* utc) noexcept;

}  // namespace tavrix
