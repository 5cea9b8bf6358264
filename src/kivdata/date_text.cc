#include "kivdata/date_text.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "kivdata/scalar_text.h"

namespace tavrix::kivdata {
namespace {

constexpr int kMinYear = 100;
constexpr int kMaxYear = 9999;
constexpr int64_t kNanosPerDay = int64_t{86400} * 1000000000;
constexpr int kMaxFractionDigits = 9;

// Proleptic Gregorian calendar in 400-year eras of 146097 days; day 0 is
// 1899-12-30, the platform's date zero.
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;                           // 0..399
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;  // 0..365, from March
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;   // 0..146096
  return era * 146097 + doe - 693899;  // 693899: days from 0000-03-01 to 1899-12-30
}

constexpr void CivilFromDays(int64_t z, int64_t* y, int64_t* m, int64_t* d) {
  z += 693899;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = yoe + era * 400 + (*m <= 2 ? 1 : 0);
}

static_assert(DaysFromCivil(1899, 12, 30) == 0);
static_assert(DaysFromCivil(1970, 1, 1) == 25569);
static_assert(DaysFromCivil(100, 1, 1) == -657434);
static_assert(DaysFromCivil(9999, 12, 31) == 2958465);

constexpr int64_t kMinDay = DaysFromCivil(kMinYear, 1, 1);
constexpr int64_t kMaxDay = DaysFromCivil(kMaxYear, 12, 31);

int DaysInMonth(int64_t y, int64_t m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// Day number and time of day (in nanoseconds) to the platform's double: the
// fraction is added for days from zero on and subtracted before.
double ComposeDate(int64_t day, int64_t nanos) {
  const double frac = static_cast<double>(nanos) / static_cast<double>(kNanosPerDay);
  const double d = static_cast<double>(day);
  return day >= 0 ? d + frac : d - frac;
}

// Reads 1..maxDigits digits at s[*pos].
bool ReadNumber(std::string_view s, size_t* pos, int maxDigits, int64_t* out, int* count) {
  int n = 0;
  int64_t v = 0;
  while (*pos < s.size() && n < maxDigits && s[*pos] >= '0' && s[*pos] <= '9') {
    v = v * 10 + (s[*pos] - '0');
    ++*pos;
    ++n;
  }
  if (n == 0 || (*pos < s.size() && s[*pos] >= '0' && s[*pos] <= '9')) return false;
  *out = v;
  if (count != nullptr) *count = n;
  return true;
}

bool Expect(std::string_view s, size_t* pos, char c) {
  if (*pos >= s.size() || s[*pos] != c) return false;
  ++*pos;
  return true;
}

// "YYYY-M[M]-D[D][( |T)h[h]:mm[:ss[.f{1,9}]]]"
HRESULT ParseReadable(std::string_view s, double* out) {
  size_t pos = 0;
  int64_t y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, frac = 0;
  int yearDigits = 0;
  if (!ReadNumber(s, &pos, 4, &y, &yearDigits) || yearDigits != 4 || !Expect(s, &pos, '-') ||
      !ReadNumber(s, &pos, 2, &mo, nullptr) || !Expect(s, &pos, '-') ||
      !ReadNumber(s, &pos, 2, &d, nullptr)) {
    return DISP_E_TYPEMISMATCH;
  }
  if (pos < s.size()) {
    if (s[pos] == 'T') {
      ++pos;
    } else if (s[pos] == ' ') {
      while (pos < s.size() && s[pos] == ' ') ++pos;
    } else {
      return DISP_E_TYPEMISMATCH;
    }
    if (!ReadNumber(s, &pos, 2, &h, nullptr) || !Expect(s, &pos, ':') ||
        !ReadNumber(s, &pos, 2, &mi, nullptr)) {
      return DISP_E_TYPEMISMATCH;
    }
    if (pos < s.size()) {
      if (!Expect(s, &pos, ':') || !ReadNumber(s, &pos, 2, &sec, nullptr)) {
        return DISP_E_TYPEMISMATCH;
      }
      if (pos < s.size()) {
        int digits = 0;
        if (!Expect(s, &pos, '.') || !ReadNumber(s, &pos, kMaxFractionDigits, &frac, &digits)) {
          return DISP_E_TYPEMISMATCH;
        }
        for (; digits < kMaxFractionDigits; ++digits) frac *= 10;
      }
    }
    if (pos != s.size()) return DISP_E_TYPEMISMATCH;
  }
  if (mo < 1 || mo > 12 || d < 1 || h > 23 || mi > 59 || sec > 59) return DISP_E_TYPEMISMATCH;
  if (y < kMinYear) return DISP_E_OVERFLOW;
  if (d > DaysInMonth(y, mo)) return DISP_E_TYPEMISMATCH;
  const int64_t nanos = ((h * 60 + mi) * 60 + sec) * 1000000000 + frac;
  *out = ComposeDate(DaysFromCivil(y, mo, d), nanos);
  return S_OK;
}

void AppendDigits(int64_t v, int width, std::string* out) {
  char buf[20];
  for (int i = width - 1; i >= 0; --i) {
    buf[i] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  out->append(buf, static_cast<size_t>(width));
}

// The readable text of a day and a time of day in units of 10^-digits seconds.
void AppendReadable(int64_t day, int64_t units, int digits, bool withTime, std::string* out) {
  int64_t y = 0, m = 0, d = 0;
  CivilFromDays(day, &y, &m, &d);
  AppendDigits(y, 4, out);
  out->push_back('-');
  AppendDigits(m, 2, out);
  out->push_back('-');
  AppendDigits(d, 2, out);
  if (!withTime) return;
  int64_t scale = 1;
  for (int i = 0; i < digits; ++i) scale *= 10;
  const int64_t seconds = units / scale;
  out->push_back(' ');
  AppendDigits(seconds / 3600, 2, out);
  out->push_back(':');
  AppendDigits(seconds / 60 % 60, 2, out);
  out->push_back(':');
  AppendDigits(seconds % 60, 2, out);
  if (digits > 0) {
    out->push_back('.');
    AppendDigits(units % scale, digits, out);
  }
}

bool LooksReadable(std::string_view s) {
  return s.size() >= 5 && s[4] == '-' && s[0] >= '0' && s[0] <= '9';
}

}  // namespace

void AppendDateText(double date, std::string* out) {
  double whole = 0;
  const double frac = std::isfinite(date) ? std::fabs(std::modf(date, &whole)) : 0;
  if (!std::isfinite(date) || whole < static_cast<double>(kMinDay) ||
      whole > static_cast<double>(kMaxDay)) {
    AppendR8Text(date, out);
    return;
  }
  const int64_t day = static_cast<int64_t>(whole);
  const uint64_t bits = std::bit_cast<uint64_t>(date);
  // The fewest second decimals that read back to the same bits; a date the
  // readable form cannot hold exactly (a time finer than a nanosecond, -0.5,
  // -0.0) keeps the exact number after the readable part.
  std::string candidate;
  int64_t scale = 1;
  for (int digits = 0; digits <= kMaxFractionDigits; ++digits, scale *= 10) {
    const int64_t units = std::llround(frac * 86400.0 * static_cast<double>(scale));
    if (units >= 86400 * scale) break;
    candidate.clear();
    AppendReadable(day, units, digits, units != 0, &candidate);
    double back = 0;
    if (ParseReadable(candidate, &back).succeeded() && std::bit_cast<uint64_t>(back) == bits) {
      out->append(candidate);
      return;
    }
  }
  int64_t millis = std::llround(frac * 86400e3);
  if (millis >= 86400000) millis = 86400000 - 1;
  AppendReadable(day, millis, 3, true, out);
  out->push_back(';');
  AppendR8Text(date, out);
}

HRESULT ParseDateText(std::string_view text, double* out) {
  if (!LooksReadable(text)) return ParseR8Text(text, out);
  const size_t semi = text.find(';');
  double readable = 0;
  RETURN_IF_FAILED(ParseReadable(TrimBlanks(text.substr(0, semi)), &readable));
  if (semi == std::string_view::npos) {
    *out = readable;
    return S_OK;
  }
  // The number is the value; the readable part before it is for the reader.
  return ParseR8Text(TrimBlanks(text.substr(semi + 1)), out);
}

}  // namespace tavrix::kivdata
