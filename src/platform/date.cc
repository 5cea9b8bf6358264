#include "platform/date.h"

#include <cmath>
#include <ctime>

namespace tavrix {
namespace {

constexpr int64_t kMicrosPerDay = 86'400'000'000;
constexpr int64_t kMicrosPerSecond = 1'000'000;
// Days from 1601-01-01 to 1899-12-30.
constexpr int64_t kFileTimeEpochDays = 109205;
constexpr uint64_t kTicksPerDay = 864'000'000'000;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
int64_t FloorMod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

// Calendar day of a day count since 1899-12-30 (era-based civil calendar).
void CivilFromDays(int64_t days, int* year, int* month, int* day) {
  const int64_t z = days - 25569 + 719468;  // days since 0000-03-01
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(yoe + era * 400 + (m <= 2));
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}

}  // namespace

int64_t DaysFromCivil(int year, int month, int day) noexcept {
  const int64_t y = int64_t{year} - (month <= 2);
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t mp = month > 2 ? month - 3 : month + 9;
  const int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 25569;
}

bool IsValidDate(double date) noexcept {
  return date > kMinDate - 1.0 && date < kMaxDateExclusive;
}

double DateToLinear(double date) noexcept {
  if (date >= 0) return date;
  const double day = std::trunc(date);
  return day + (day - date);
}

double DateFromLinear(double linear) noexcept {
  if (linear >= 0) return linear;
  const double day = std::floor(linear);
  return day - (linear - day);
}

void DateToDayMicros(double date, int64_t* day, int64_t* micros) noexcept {
  const double whole = std::trunc(date);
  const double frac = std::fabs(date - whole);
  int64_t d = static_cast<int64_t>(whole);
  int64_t us = std::llround(frac * static_cast<double>(kMicrosPerDay));
  if (us >= kMicrosPerDay) {
    // The rounding carried into the next moment of time: one day later.
    us -= kMicrosPerDay;
    d += 1;
  }
  *day = d;
  *micros = us;
}

double DateFromDayMicros(int64_t day, int64_t micros) noexcept {
  day += FloorDiv(micros, kMicrosPerDay);
  micros = FloorMod(micros, kMicrosPerDay);
  const double frac = static_cast<double>(micros) / static_cast<double>(kMicrosPerDay);
  const double d = static_cast<double>(day);
  return day >= 0 ? d + frac : d - frac;
}

HRESULT DateFromFields(int year, int month, int day, int hour, int minute, int second,
                       int microsecond, double* out) noexcept {
  if (year < -20000 || year > 20000) return E_INVALIDARG;
  const int64_t y = year + FloorDiv(int64_t{month} - 1, 12);
  const int m = static_cast<int>(FloorMod(int64_t{month} - 1, 12)) + 1;
  const int64_t days = DaysFromCivil(static_cast<int>(y), m, 1) + (int64_t{day} - 1);
  const int64_t us = ((int64_t{hour} * 60 + minute) * 60 + second) * kMicrosPerSecond +
                     microsecond;
  const double date = DateFromDayMicros(days, us);
  if (!IsValidDate(date)) return E_INVALIDARG;
  *out = date;
  return S_OK;
}

HRESULT DateToFields(double date, DateFields* out, DateRounding rounding) noexcept {
  if (!IsValidDate(date)) return E_INVALIDARG;
  int64_t day, us;
  DateToDayMicros(date, &day, &us);
  const int64_t unit = rounding == DateRounding::kSecond        ? kMicrosPerSecond
                       : rounding == DateRounding::kMillisecond ? 1000
                                                                : 1;
  us = (us + unit / 2) / unit * unit;
  if (us >= kMicrosPerDay) {
    us -= kMicrosPerDay;
    ++day;
  }
  DateFields f;
  CivilFromDays(day, &f.year, &f.month, &f.day);
  f.hour = static_cast<int>(us / 3'600'000'000);
  f.minute = static_cast<int>(us / 60'000'000 % 60);
  f.second = static_cast<int>(us / kMicrosPerSecond % 60);
  f.microsecond = static_cast<int>(us % kMicrosPerSecond);
  f.dayOfWeek = static_cast<int>(FloorMod(day + 6, 7));
  f.dayOfYear = static_cast<int>(day - DaysFromCivil(f.year, 1, 1) + 1);
  *out = f;
  return S_OK;
}

int DayOfWeek(double date) noexcept {
  if (!IsValidDate(date)) return -1;
  return static_cast<int>(FloorMod(static_cast<int64_t>(std::trunc(date)) + 6, 7));
}

void SplitDate(double date, double* wholeSeconds, uint32_t* micros) noexcept {
  int64_t day, us;
  DateToDayMicros(date, &day, &us);
  *micros = static_cast<uint32_t>(us % kMicrosPerSecond);
  *wholeSeconds = DateFromDayMicros(day, us - us % kMicrosPerSecond);
}

double JoinDate(double wholeSeconds, uint32_t micros) noexcept {
  int64_t day, us;
  DateToDayMicros(wholeSeconds, &day, &us);
  return DateFromDayMicros(day, us + micros);
}

HRESULT DateFromFileTime(uint64_t fileTime, double* out) noexcept {
  const int64_t day = static_cast<int64_t>(fileTime / kTicksPerDay) - kFileTimeEpochDays;
  const int64_t us = static_cast<int64_t>(fileTime % kTicksPerDay + 5) / 10;
  const double date = DateFromDayMicros(day, us);
  if (!IsValidDate(date)) return E_INVALIDARG;
  *out = date;
  return S_OK;
}

HRESULT DateToFileTime(double date, uint64_t* out) noexcept {
  if (!IsValidDate(date)) return E_INVALIDARG;
  int64_t day, us;
  DateToDayMicros(date, &day, &us);
  if (day + kFileTimeEpochDays < 0) return E_INVALIDARG;
  *out = static_cast<uint64_t>(day + kFileTimeEpochDays) * kTicksPerDay +
         static_cast<uint64_t>(us) * 10;
  return S_OK;
}

double DateFromUnixMicros(int64_t micros) noexcept {
  return DateFromDayMicros(FloorDiv(micros, kMicrosPerDay) + 25569,
                           FloorMod(micros, kMicrosPerDay));
}

HRESULT DateToUnixMicros(double date, int64_t* out) noexcept {
  if (!IsValidDate(date)) return E_INVALIDARG;
  int64_t day, us;
  DateToDayMicros(date, &day, &us);
  *out = (day - 25569) * kMicrosPerDay + us;
  return S_OK;
}

HRESULT UtcToLocal(double utc, double* local) noexcept {
  int64_t us;
  RETURN_IF_FAILED(DateToUnixMicros(utc, &us));
  const time_t secs = static_cast<time_t>(FloorDiv(us, kMicrosPerSecond));
  std::tm tm{};
  if (localtime_r(&secs, &tm) == nullptr) return E_INVALIDARG;
  return DateFromFields(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                        tm.tm_sec, static_cast<int>(FloorMod(us, kMicrosPerSecond)), local);
}

HRESULT LocalToUtc(double local, double* utc) noexcept {
  DateFields f;
  RETURN_IF_FAILED(DateToFields(local, &f));
  std::tm tm{};
  tm.tm_year = f.year - 1900;
  tm.tm_mon = f.month - 1;
  tm.tm_mday = f.day;
  tm.tm_hour = f.hour;
  tm.tm_min = f.minute;
  tm.tm_sec = f.second;
  tm.tm_isdst = -1;
  tm.tm_wday = -1;  // stays -1 only when mktime fails (-1 is also a valid time_t)
  const time_t secs = mktime(&tm);
  if (tm.tm_wday == -1) return E_INVALIDARG;
  const double date = DateFromUnixMicros(int64_t{secs} * kMicrosPerSecond + f.microsecond);
  if (!IsValidDate(date)) return E_INVALIDARG;
  *utc = date;
  return S_OK;
}

}  // namespace tavrix
