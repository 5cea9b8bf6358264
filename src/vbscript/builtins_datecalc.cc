// Date arithmetic by interval: DateAdd, DateDiff, DatePart.
//
// Intervals: yyyy year, q quarter, m month, y day of year, d day, w weekday,
// ww week, h hour, n minute, s second (without regard to case).
#include <algorithm>
#include <limits>

#include "platform/date.h"
#include "platform/text.h"
#include "vbscript/builtins_internal.h"

namespace tavrix::vbs::builtins {
namespace {

enum class Interval { kYear, kQuarter, kMonth, kDayOfYear, kDay, kWeekday, kWeek, kHour,
                      kMinute, kSecond };

HRESULT IntervalArg(BuiltinContext& context, const Variant& arg, Interval* out) {
  std::string text;
  RETURN_IF_FAILED(ArgText(context, arg, &text));
  struct Name {
    std::string_view name;
    Interval interval;
  };
  static constexpr Name kNames[] = {
      {"yyyy", Interval::kYear}, {"q", Interval::kQuarter},  {"m", Interval::kMonth},
      {"y", Interval::kDayOfYear}, {"d", Interval::kDay},    {"w", Interval::kWeekday},
      {"ww", Interval::kWeek},   {"h", Interval::kHour},     {"n", Interval::kMinute},
      {"s", Interval::kSecond},
  };
  for (const Name& n : kNames) {
    if (EqualsNoCase(text, n.name)) {
      *out = n.interval;
      return S_OK;
    }
  }
  return ScriptError(kErrInvalidCall);
}

// The firstweekofyear argument: 1 the week of January 1, 2 the first week
// with four days of the new year, 3 the first full week; 0 the locale's.
HRESULT FirstWeekArg(BuiltinContext& context, std::span<const Variant> args, size_t i,
                     int* out) {
  *out = 1;
  if (!Given(args, i)) return S_OK;
  int32_t week = 0;
  RETURN_IF_FAILED(ArgLong(context, args[i], &week));
  if (week < 0 || week > 3) return ScriptError(kErrInvalidCall);
  *out = week == 0 ? GetLocaleExtras(context.Locale()).firstWeekOfYear : week;
  return S_OK;
}

constexpr int64_t kMicrosPerSecond = 1'000'000;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

int DaysInMonth(int year, int month) {
  return static_cast<int>(DaysFromCivil(month == 12 ? year + 1 : year, month % 12 + 1, 1) -
                          DaysFromCivil(year, month, 1));
}

// The day the week of `day` starts on, weeks starting on firstDay (1 Sunday).
int64_t WeekStart(int64_t day, int firstDay) {
  const int64_t dayOfWeek = (day % 7 + 7 + 6) % 7;  // day 0 (1899-12-30) is a Saturday
  return day - (dayOfWeek - (firstDay - 1) + 7) % 7;
}

// The first day of week 1 of `year`.
int64_t FirstWeekStart(int year, int firstDay, int firstWeek) {
  const int64_t jan1 = DaysFromCivil(year, 1, 1);
  const int64_t start = WeekStart(jan1, firstDay);
  switch (firstWeek) {
    case 2: return jan1 - start <= 3 ? start : start + 7;
    case 3: return start == jan1 ? start : start + 7;
    default: return start;
  }
}

// DateAdd(interval, number, date): months keep the day when the month has
// it and take the month's last day otherwise; number is rounded to a whole
// number. Null as the date gives Null; ScriptError(5) past the date range.
HRESULT DateAdd(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  Interval interval;
  RETURN_IF_FAILED(IntervalArg(context, args[0], &interval));
  int32_t number = 0;
  RETURN_IF_FAILED(ArgLong(context, args[1], &number));
  double date = 0;
  bool isNull = false;
  RETURN_IF_FAILED(ArgDateOrNull(context, args[2], &date, &isNull));
  if (isNull) {
    *result = Variant::Null();
    return S_OK;
  }
  int64_t day = 0, micros = 0;
  DateToDayMicros(date, &day, &micros);
  int64_t months = 0;
  switch (interval) {
    case Interval::kYear: months = int64_t{number} * 12; break;
    case Interval::kQuarter: months = int64_t{number} * 3; break;
    case Interval::kMonth: months = number; break;
    case Interval::kDayOfYear: case Interval::kDay: case Interval::kWeekday: day += number; break;
    case Interval::kWeek: day += int64_t{number} * 7; break;
    case Interval::kHour: micros += int64_t{number} * 3600 * kMicrosPerSecond; break;
    case Interval::kMinute: micros += int64_t{number} * 60 * kMicrosPerSecond; break;
    case Interval::kSecond: micros += int64_t{number} * kMicrosPerSecond; break;
  }
  double out = 0;
  if (months != 0) {
    DateFields f;
    RETURN_IF_FAILED(DateToFields(date, &f));
    const int64_t total = int64_t{f.year} * 12 + (f.month - 1) + months;
    if (total < 100 * 12 || total >= 10000 * 12) return ScriptError(kErrInvalidCall);
    const int year = static_cast<int>(total / 12);
    const int month = static_cast<int>(total % 12) + 1;
    const int dayOfMonth = std::min(f.day, DaysInMonth(year, month));
    if (DateFromFields(year, month, dayOfMonth, &out).failed()) {
      return ScriptError(kErrInvalidCall);
    }
    int64_t newDay = 0, ignored = 0;
    DateToDayMicros(out, &newDay, &ignored);
    day = newDay;
  }
  out = DateFromDayMicros(day, micros);
  if (!IsValidDate(out)) return ScriptError(kErrInvalidCall);
  *result = Variant::Date(out);
  return S_OK;
}

// A date as its day number and whole seconds since midnight (rounded).
struct DayTime {
  int64_t day = 0;
  int64_t second = 0;
  DateFields fields;
};

HRESULT SplitDate(double date, DayTime* out) {
  RETURN_IF_FAILED(DateToFields(date, &out->fields, DateRounding::kSecond));
  const DateFields& f = out->fields;
  out->day = DaysFromCivil(f.year, f.month, f.day);
  out->second = (int64_t{f.hour} * 60 + f.minute) * 60 + f.second;
  return S_OK;
}

// DateDiff(interval, date1, date2[, firstdayofweek[, firstweekofyear]]): the
// number of interval boundaries from date1 to date2 ("w" counts whole
// weeks, "ww" the first days of weeks passed). A Long; DISP_E_OVERFLOW past
// its range; Null when either date is Null.
HRESULT DateDiff(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  Interval interval;
  RETURN_IF_FAILED(IntervalArg(context, args[0], &interval));
  double d1 = 0, d2 = 0;
  bool null1 = false, null2 = false;
  RETURN_IF_FAILED(ArgDateOrNull(context, args[1], &d1, &null1));
  RETURN_IF_FAILED(ArgDateOrNull(context, args[2], &d2, &null2));
  int firstDay = 1, firstWeek = 1;
  RETURN_IF_FAILED(ArgFirstDay(context, args, 3, &firstDay));
  RETURN_IF_FAILED(FirstWeekArg(context, args, 4, &firstWeek));
  if (null1 || null2) {
    *result = Variant::Null();
    return S_OK;
  }
  DayTime a, b;
  RETURN_IF_FAILED(SplitDate(d1, &a));
  RETURN_IF_FAILED(SplitDate(d2, &b));
  const int64_t secondsA = a.day * 86400 + a.second;
  const int64_t secondsB = b.day * 86400 + b.second;
  int64_t diff = 0;
  switch (interval) {
    case Interval::kYear: diff = b.fields.year - a.fields.year; break;
    case Interval::kQuarter:
      diff = (int64_t{b.fields.year} * 4 + (b.fields.month - 1) / 3) -
             (int64_t{a.fields.year} * 4 + (a.fields.month - 1) / 3);
      break;
    case Interval::kMonth:
      diff = (int64_t{b.fields.year} * 12 + b.fields.month) -
             (int64_t{a.fields.year} * 12 + a.fields.month);
      break;
    case Interval::kDayOfYear: case Interval::kDay: diff = b.day - a.day; break;
    case Interval::kWeekday: diff = (b.day - a.day) / 7; break;
    case Interval::kWeek:
      diff = (WeekStart(b.day, firstDay) - WeekStart(a.day, firstDay)) / 7;
      break;
    case Interval::kHour: diff = FloorDiv(secondsB, 3600) - FloorDiv(secondsA, 3600); break;
    case Interval::kMinute: diff = FloorDiv(secondsB, 60) - FloorDiv(secondsA, 60); break;
    case Interval::kSecond: diff = secondsB - secondsA; break;
  }
  if (diff < std::numeric_limits<int32_t>::min() || diff > std::numeric_limits<int32_t>::max()) {
    return DISP_E_OVERFLOW;
  }
  *result = Variant::I4(static_cast<int32_t>(diff));
  return S_OK;
}

// DatePart(interval, date[, firstdayofweek[, firstweekofyear]]): an Integer;
// Null for a Null date. A day before week 1 of its year belongs to the last
// week of the year before.
HRESULT DatePart(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  Interval interval;
  RETURN_IF_FAILED(IntervalArg(context, args[0], &interval));
  double date = 0;
  bool isNull = false;
  RETURN_IF_FAILED(ArgDateOrNull(context, args[1], &date, &isNull));
  int firstDay = 1, firstWeek = 1;
  RETURN_IF_FAILED(ArgFirstDay(context, args, 2, &firstDay));
  RETURN_IF_FAILED(FirstWeekArg(context, args, 3, &firstWeek));
  if (isNull) {
    *result = Variant::Null();
    return S_OK;
  }
  DayTime t;
  RETURN_IF_FAILED(SplitDate(date, &t));
  const DateFields& f = t.fields;
  int64_t part = 0;
  switch (interval) {
    case Interval::kYear: part = f.year; break;
    case Interval::kQuarter: part = (f.month - 1) / 3 + 1; break;
    case Interval::kMonth: part = f.month; break;
    case Interval::kDayOfYear: part = f.dayOfYear; break;
    case Interval::kDay: part = f.day; break;
    case Interval::kWeekday: part = (f.dayOfWeek - (firstDay - 1) + 7) % 7 + 1; break;
    case Interval::kWeek: {
      int64_t start = FirstWeekStart(f.year, firstDay, firstWeek);
      if (t.day < start) start = FirstWeekStart(f.year - 1, firstDay, firstWeek);
      part = (t.day - start) / 7 + 1;
      break;
    }
    case Interval::kHour: part = f.hour; break;
    case Interval::kMinute: part = f.minute; break;
    case Interval::kSecond: part = f.second; break;
  }
  *result = Variant::I2(static_cast<int16_t>(part));
  return S_OK;
}

constexpr BuiltinInfo kBuiltins[] = {
    {"DateAdd", 3, 3, DateAdd},
    {"DateDiff", 3, 5, DateDiff},
    {"DatePart", 2, 4, DatePart},
};

}  // namespace

std::span<const BuiltinInfo> DateCalcBuiltins() { return kBuiltins; }

}  // namespace tavrix::vbs::builtins
