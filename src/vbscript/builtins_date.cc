// Dates and times: Now, Date, Time, Timer, Year ... Second, Weekday,
// DateSerial, TimeSerial, DateValue, TimeValue, MonthName, WeekdayName.
//
// The clock is SystemClock() (UTC) turned into local time through the C
// library's time zone, so the functions follow the server's zone and tests
// can put a FakeClock in place.
#include "platform/clock.h"
#include "platform/date.h"
#include "vbscript/builtins_internal.h"

namespace tavrix::vbs::builtins {

HRESULT LocalNow(double* date) {
  const double utc = DateFromUnixMicros(SystemClock().UtcMicros());
  return UtcToLocal(utc, date).failed() ? ScriptError(kErrInvalidCall) : S_OK;
}

HRESULT TimerSeconds(float* out) {
  double now = 0;
  RETURN_IF_FAILED(LocalNow(&now));
  int64_t day = 0, micros = 0;
  DateToDayMicros(now, &day, &micros);
  *out = static_cast<float>(static_cast<double>(micros) / 1e6);
  return S_OK;
}

HRESULT ArgDateOrNull(BuiltinContext& context, const Variant& arg, double* out, bool* isNull) {
  Variant value;
  RETURN_IF_FAILED(ValueOf(context, arg, &value));
  *isNull = value.IsNull();
  return *isNull ? S_OK : ArgDate(context, value, out);
}

HRESULT ArgFirstDay(BuiltinContext& context, std::span<const Variant> args, size_t i, int* out) {
  if (!Given(args, i)) {
    *out = 1;
    return S_OK;
  }
  int32_t day = 0;
  RETURN_IF_FAILED(ArgLong(context, args[i], &day));
  if (day < 0 || day > 7) return ScriptError(kErrInvalidCall);
  *out = day == 0 ? GetLocaleExtras(context.Locale()).firstDayOfWeek : day;
  return S_OK;
}

namespace {

constexpr int64_t kMicrosPerSecond = 1'000'000;

// The parts of the local time now: the day and the microseconds since
// midnight, cut to whole seconds.
HRESULT NowParts(int64_t* day, int64_t* micros) {
  double now = 0;
  RETURN_IF_FAILED(LocalNow(&now));
  DateToDayMicros(now, day, micros);
  *micros -= *micros % kMicrosPerSecond;
  return S_OK;
}

HRESULT Now(BuiltinContext&, std::span<const Variant>, Variant* result) {
  int64_t day = 0, micros = 0;
  RETURN_IF_FAILED(NowParts(&day, &micros));
  *result = Variant::Date(DateFromDayMicros(day, micros));
  return S_OK;
}

HRESULT Today(BuiltinContext&, std::span<const Variant>, Variant* result) {
  int64_t day = 0, micros = 0;
  RETURN_IF_FAILED(NowParts(&day, &micros));
  *result = Variant::Date(DateFromDayMicros(day, 0));
  return S_OK;
}

HRESULT TimeNow(BuiltinContext&, std::span<const Variant>, Variant* result) {
  int64_t day = 0, micros = 0;
  RETURN_IF_FAILED(NowParts(&day, &micros));
  *result = Variant::Date(DateFromDayMicros(0, micros));
  return S_OK;
}

HRESULT Timer(BuiltinContext&, std::span<const Variant>, Variant* result) {
  float seconds = 0;
  RETURN_IF_FAILED(TimerSeconds(&seconds));
  *result = Variant::R4(seconds);
  return S_OK;
}

// Year ... Second: an Integer field of the date, times rounded to the second;
// Null gives Null.
template <int DateFields::*kField>
HRESULT Field(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  double date = 0;
  bool isNull = false;
  RETURN_IF_FAILED(ArgDateOrNull(context, args[0], &date, &isNull));
  if (isNull) {
    *result = Variant::Null();
    return S_OK;
  }
  DateFields f;
  RETURN_IF_FAILED(DateToFields(date, &f, DateRounding::kSecond));
  *result = Variant::I2(static_cast<int16_t>(f.*kField));
  return S_OK;
}

// Weekday(date[, firstdayofweek]): 1 for the first day of the week.
HRESULT Weekday(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  double date = 0;
  bool isNull = false;
  RETURN_IF_FAILED(ArgDateOrNull(context, args[0], &date, &isNull));
  int firstDay = 1;
  RETURN_IF_FAILED(ArgFirstDay(context, args, 1, &firstDay));
  if (isNull) {
    *result = Variant::Null();
    return S_OK;
  }
  DateFields f;
  RETURN_IF_FAILED(DateToFields(date, &f, DateRounding::kSecond));
  *result = Variant::I2(static_cast<int16_t>((f.dayOfWeek - (firstDay - 1) + 7) % 7 + 1));
  return S_OK;
}

// DateSerial(year, month, day): years 0..29 are 2000..2029 and 30..99 are
// 1930..1999; months and days out of their range roll over.
HRESULT DateSerial(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  int16_t parts[3] = {};
  for (size_t i = 0; i < 3; ++i) RETURN_IF_FAILED(ArgInteger(context, args[i], &parts[i]));
  int year = parts[0];
  if (year >= 0 && year <= 29) year += 2000;
  else if (year >= 30 && year <= 99) year += 1900;
  double date = 0;
  if (DateFromFields(year, parts[1], parts[2], &date).failed()) {
    return ScriptError(kErrInvalidCall);
  }
  *result = Variant::Date(date);
  return S_OK;
}

// TimeSerial(hour, minute, second): parts out of their range roll over into
// the day before or after.
HRESULT TimeSerial(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  int16_t parts[3] = {};
  for (size_t i = 0; i < 3; ++i) RETURN_IF_FAILED(ArgInteger(context, args[i], &parts[i]));
  const int64_t seconds = int64_t{parts[0]} * 3600 + int64_t{parts[1]} * 60 + parts[2];
  *result = Variant::Date(DateFromDayMicros(0, seconds * kMicrosPerSecond));
  return S_OK;
}

// DateValue / TimeValue: the date or the time part; Null gives Null.
template <bool kDatePart>
HRESULT DatePartOf(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  double date = 0;
  bool isNull = false;
  RETURN_IF_FAILED(ArgDateOrNull(context, args[0], &date, &isNull));
  if (isNull) {
    *result = Variant::Null();
    return S_OK;
  }
  int64_t day = 0, micros = 0;
  DateToDayMicros(date, &day, &micros);
  *result = Variant::Date(kDatePart ? DateFromDayMicros(day, 0) : DateFromDayMicros(0, micros));
  return S_OK;
}

HRESULT OptionalBool(BuiltinContext& context, std::span<const Variant> args, size_t i,
                     bool* out) {
  *out = false;
  return Given(args, i) ? ArgBool(context, args[i], out) : S_OK;
}

// MonthName(month[, abbreviate]) in the locale's language.
HRESULT MonthName(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  int32_t month = 0;
  RETURN_IF_FAILED(ArgLong(context, args[0], &month));
  if (month < 1 || month > 12) return ScriptError(kErrInvalidCall);
  bool abbreviate = false;
  RETURN_IF_FAILED(OptionalBool(context, args, 1, &abbreviate));
  const LocaleInfo& loc = GetLocale(context.Locale());
  *result = Variant::Text(abbreviate ? loc.monthsShort[month - 1] : loc.months[month - 1]);
  return S_OK;
}

// WeekdayName(weekday[, abbreviate[, firstdayofweek]]): weekday 1 is the
// first day of the week.
HRESULT WeekdayName(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  int32_t weekday = 0;
  RETURN_IF_FAILED(ArgLong(context, args[0], &weekday));
  if (weekday < 1 || weekday > 7) return ScriptError(kErrInvalidCall);
  bool abbreviate = false;
  RETURN_IF_FAILED(OptionalBool(context, args, 1, &abbreviate));
  int firstDay = 1;
  RETURN_IF_FAILED(ArgFirstDay(context, args, 2, &firstDay));
  const LocaleExtras& extras = GetLocaleExtras(context.Locale());
  const size_t day = static_cast<size_t>((weekday - 1 + firstDay - 1) % 7);
  *result = Variant::Text(abbreviate ? extras.weekdaysShort[day] : extras.weekdays[day]);
  return S_OK;
}

constexpr BuiltinInfo kBuiltins[] = {
    {"Now", 0, 0, Now},
    {"Date", 0, 0, Today},
    {"Time", 0, 0, TimeNow},
    {"Timer", 0, 0, Timer},
    {"Year", 1, 1, Field<&DateFields::year>},
    {"Month", 1, 1, Field<&DateFields::month>},
    {"Day", 1, 1, Field<&DateFields::day>},
    {"Hour", 1, 1, Field<&DateFields::hour>},
    {"Minute", 1, 1, Field<&DateFields::minute>},
    {"Second", 1, 1, Field<&DateFields::second>},
    {"Weekday", 1, 2, Weekday},
    {"DateSerial", 3, 3, DateSerial},
    {"TimeSerial", 3, 3, TimeSerial},
    {"DateValue", 1, 1, DatePartOf<true>},
    {"TimeValue", 1, 1, DatePartOf<false>},
    {"MonthName", 1, 2, MonthName},
    {"WeekdayName", 1, 3, WeekdayName},
};

}  // namespace

std::span<const BuiltinInfo> DateBuiltins() { return kBuiltins; }

}  // namespace tavrix::vbs::builtins
