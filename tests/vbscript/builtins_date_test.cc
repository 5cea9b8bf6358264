// Dates and times: the clock functions under a fake clock and a fixed time
// zone, fields, serials, interval arithmetic, names and FormatDateTime.
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "vbscript/builtins_test_util.h"

namespace tavrix::vbs::testing {
namespace {

// 2026-12-10 is a Thursday.
const Variant kThursday = Date(2026, 12, 10, 14, 35, 59);

// Puts the process in a fixed time zone for one test and restores it.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) previous_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (previous_) setenv("TZ", previous_->c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> previous_;
};

int64_t UnixMicros(const Variant& date) {
  int64_t micros = 0;
  EXPECT_TRUE(DateToUnixMicros(date.date(), &micros).succeeded());
  return micros;
}

TEST(BuiltinDateTest, ClockFunctionsReadLocalTimeFromTheSystemClock) {
  // Two hours east of UTC, no daylight saving: 12:35:59.25 UTC is 14:35:59.25 here.
  ScopedTimeZone zone("XXX-2");
  FakeClock clock(0, UnixMicros(Date(2026, 12, 10, 12, 35, 59)) + 250'000);
  ScopedClockOverride useClock(clock);
  RunCases({
      {"Now", {}, kThursday},
      {"Date", {}, Date(2026, 12, 10)},
      {"Time", {}, Date(1899, 12, 30, 14, 35, 59)},
      {"Timer", {}, R4(14 * 3600 + 35 * 60 + 59.25f)},
  });
}

TEST(BuiltinDateTest, FieldsOfADate) {
  RunCases({
      {"Year", {kThursday}, I2(2026)},
      {"Month", {kThursday}, I2(12)},
      {"Day", {kThursday}, I2(10)},
      {"Hour", {kThursday}, I2(14)},
      {"Minute", {kThursday}, I2(35)},
      {"Second", {kThursday}, I2(59)},
      {"Year", {S("10.12.2026")}, I2(2026), 0, 1031},
      {"Month", {S("12/10/2026")}, I2(12)},
      {"Year", {Empty()}, I2(1899)},
      {"Hour", {Date(1899, 12, 29, 6, 0, 0)}, I2(6)},
      {"Year", {Null()}, Null()},
      Fails("Year", {S("abc")}, 13),
      {"Weekday", {kThursday}, I2(5)},
      {"Weekday", {kThursday, I2(2)}, I2(4)},
      {"Weekday", {kThursday, I2(0)}, I2(5)},
      {"Weekday", {kThursday, I2(0)}, I2(4), 0, 1031},
      {"Weekday", {Null()}, Null()},
      Fails("Weekday", {kThursday, I2(8)}, 5),
  });
}

TEST(BuiltinDateTest, SerialsAndParts) {
  RunCases({
      {"DateSerial", {I2(2026), I2(12), I2(10)}, Date(2026, 12, 10)},
      {"DateSerial", {I2(2026), I2(13), I2(1)}, Date(2027, 1, 1)},
      {"DateSerial", {I2(2026), I2(3), I2(0)}, Date(2026, 2, 28)},
      {"DateSerial", {I2(26), I2(1), I2(1)}, Date(2026, 1, 1)},
      {"DateSerial", {I2(99), I2(1), I2(1)}, Date(1999, 1, 1)},
      {"DateSerial", {I2(100), I2(1), I2(1)}, Date(100, 1, 1)},
      Fails("DateSerial", {I2(10000), I2(1), I2(1)}, 5),
      Fails("DateSerial", {Null(), I2(1), I2(1)}, 94),
      Fails("DateSerial", {I4(40000), I2(1), I2(1)}, 6),
      {"TimeSerial", {I2(6), I2(-15), I2(0)}, Date(1899, 12, 30, 5, 45, 0)},
      {"TimeSerial", {I2(25), I2(0), I2(0)}, Date(1899, 12, 31, 1, 0, 0)},
      Fails("TimeSerial", {I2(1), Null(), I2(0)}, 94),
      {"DateValue", {S("12/10/2026 3:00 PM")}, Date(2026, 12, 10)},
      {"DateValue", {kThursday}, Date(2026, 12, 10)},
      {"DateValue", {Date(1899, 12, 29, 6, 0, 0)}, Date(1899, 12, 29)},
      {"TimeValue", {S("12/10/2026 3:00 PM")}, Date(1899, 12, 30, 15, 0, 0)},
      {"TimeValue", {S("15:00")}, Date(1899, 12, 30, 15, 0, 0), 0, 1031},
      {"DateValue", {Null()}, Null()},
      Fails("DateValue", {S("abc")}, 13),
  });
}

TEST(BuiltinDateTest, MonthAndWeekdayNamesFollowTheLocale) {
  RunCases({
      {"MonthName", {I2(1)}, S("January")},
      {"MonthName", {I2(12), B(true)}, S("Dec")},
      {"MonthName", {I2(3)}, S("M\u00e4rz"), 0, 1031},
      {"MonthName", {I2(3), B(true)}, S("M\u00e4r"), 0, 1031},
      Fails("MonthName", {I2(13)}, 5),
      Fails("MonthName", {Null()}, 94),
      {"WeekdayName", {I2(1)}, S("Sunday")},
      {"WeekdayName", {I2(2), B(true)}, S("Mon")},
      {"WeekdayName", {I2(1), B(false), I2(2)}, S("Monday")},
      {"WeekdayName", {I2(7), B(false), I2(2)}, S("Sunday")},
      {"WeekdayName", {I2(1), B(false), I2(0)}, S("Montag"), 0, 1031},
      {"WeekdayName", {I2(5), B(true)}, S("Do"), 0, 1031},
      Fails("WeekdayName", {I2(0)}, 5),
      Fails("WeekdayName", {I2(1), B(false), I2(8)}, 5),
  });
}

TEST(BuiltinDateTest, DateAddKeepsTheTimeAndClampsTheDay) {
  RunCases({
      {"DateAdd", {S("m"), I2(1), Date(1995, 1, 31)}, Date(1995, 2, 28)},
      {"DateAdd", {S("yyyy"), I2(1), Date(2024, 2, 29)}, Date(2025, 2, 28)},
      {"DateAdd", {S("q"), I2(1), Date(2026, 11, 30, 8, 0, 0)}, Date(2027, 2, 28, 8, 0, 0)},
      {"DateAdd", {S("M"), I2(-13), Date(2026, 1, 15)}, Date(2024, 12, 15)},
      {"DateAdd", {S("d"), I2(-1), Date(2026, 3, 1)}, Date(2026, 2, 28)},
      {"DateAdd", {S("y"), I2(1), Date(2026, 12, 31)}, Date(2027, 1, 1)},
      {"DateAdd", {S("w"), I2(1), Date(2026, 12, 31)}, Date(2027, 1, 1)},
      {"DateAdd", {S("ww"), I2(2), Date(2026, 12, 31)}, Date(2027, 1, 14)},
      {"DateAdd", {S("h"), I2(25), kThursday}, Date(2026, 12, 11, 15, 35, 59)},
      {"DateAdd", {S("n"), I2(-1), Date(2026, 1, 1)}, Date(2025, 12, 31, 23, 59, 0)},
      {"DateAdd", {S("s"), I2(1), Date(2026, 12, 31, 23, 59, 59)}, Date(2027, 1, 1)},
      {"DateAdd", {S("h"), I2(-1), Date(1899, 12, 30, 0, 30, 0)}, Date(1899, 12, 29, 23, 30, 0)},
      {"DateAdd", {S("d"), I2(1), S("12/31/2026")}, Date(2027, 1, 1)},
      {"DateAdd", {S("d"), I2(1), Null()}, Null()},
      Fails("DateAdd", {S("x"), I2(1), kThursday}, 5),
      Fails("DateAdd", {S("yyyy"), I2(8000), kThursday}, 5),
      Fails("DateAdd", {S("d"), Null(), kThursday}, 94),
      Fails("DateAdd", {Null(), I2(1), kThursday}, 94),
  });
}

TEST(BuiltinDateTest, DateDiffCountsBoundaries) {
  const Variant from = Date(2009, 1, 31);  // a Saturday
  const Variant to = Date(2010, 1, 31, 23, 59, 0);
  RunCases({
      {"DateDiff", {S("yyyy"), from, to}, I4(1)},
      {"DateDiff", {S("q"), from, to}, I4(4)},
      {"DateDiff", {S("m"), from, to}, I4(12)},
      {"DateDiff", {S("y"), from, to}, I4(365)},
      {"DateDiff", {S("d"), from, to}, I4(365)},
      {"DateDiff", {S("w"), from, to}, I4(52)},
      {"DateDiff", {S("ww"), from, to}, I4(53)},
      {"DateDiff", {S("h"), from, to}, I4(8783)},
      {"DateDiff", {S("n"), from, to}, I4(527039)},
      {"DateDiff", {S("s"), from, to}, I4(31622340)},
      {"DateDiff", {S("d"), to, from}, I4(-365)},
      {"DateDiff", {S("yyyy"), Date(2025, 12, 31), Date(2026, 1, 1)}, I4(1)},
      {"DateDiff", {S("h"), Date(1899, 12, 30, 1, 59, 0), Date(1899, 12, 30, 2, 0, 0)}, I4(1)},
      {"DateDiff", {S("ww"), Date(2026, 12, 12), Date(2026, 12, 13)}, I4(1)},
      {"DateDiff", {S("ww"), Date(2026, 12, 12), Date(2026, 12, 13), I2(2)}, I4(0)},
      {"DateDiff", {S("d"), Date(1899, 12, 29, 23, 0, 0), Date(1899, 12, 30, 1, 0, 0)}, I4(1)},
      {"DateDiff", {S("d"), Null(), to}, Null()},
      Fails("DateDiff", {S("s"), Date(100, 1, 1), Date(9999, 12, 31)}, 6),
      Fails("DateDiff", {S("d"), from, to, I2(9)}, 5),
      Fails("DateDiff", {S("d"), from, to, I2(1), I2(4)}, 5),
  });
}

TEST(BuiltinDateTest, DatePartAndWeeksOfTheYear) {
  RunCases({
      {"DatePart", {S("yyyy"), kThursday}, I2(2026)},
      {"DatePart", {S("q"), kThursday}, I2(4)},
      {"DatePart", {S("m"), kThursday}, I2(12)},
      {"DatePart", {S("y"), kThursday}, I2(344)},
      {"DatePart", {S("d"), kThursday}, I2(10)},
      {"DatePart", {S("w"), kThursday}, I2(5)},
      {"DatePart", {S("w"), kThursday, I2(2)}, I2(4)},
      {"DatePart", {S("h"), kThursday}, I2(14)},
      {"DatePart", {S("n"), kThursday}, I2(35)},
      {"DatePart", {S("s"), kThursday}, I2(59)},
      // Week 1 holds January 1 (the default): 2026-12-31 is in week 53.
      {"DatePart", {S("ww"), Date(2026, 12, 31)}, I2(53)},
      {"DatePart", {S("ww"), Date(2026, 1, 3)}, I2(1)},
      {"DatePart", {S("ww"), Date(2026, 1, 4)}, I2(2)},
      // The first week with four days of the year, weeks from Monday.
      {"DatePart", {S("ww"), Date(2021, 1, 1), I2(2), I2(2)}, I2(53)},
      {"DatePart", {S("ww"), Date(2021, 1, 4), I2(2), I2(2)}, I2(1)},
      {"DatePart", {S("ww"), Date(2026, 1, 1), I2(2), I2(2)}, I2(1)},
      {"DatePart", {S("ww"), Date(2021, 1, 1), I2(0), I2(0)}, I2(53), 0, 1031},
      // The first full week, from Sunday: 2026-01-01 (a Thursday) is the last
      // week of 2025.
      {"DatePart", {S("ww"), Date(2026, 1, 1), I2(1), I2(3)}, I2(52)},
      {"DatePart", {S("ww"), Date(2026, 1, 4), I2(1), I2(3)}, I2(1)},
      {"DatePart", {S("d"), Null()}, Null()},
      Fails("DatePart", {S("z"), kThursday}, 5),
  });
}

TEST(BuiltinDateTest, FormatDateTimeUnderTheLocale) {
  const Variant midnight = Date(2026, 12, 10);
  RunCases({
      {"FormatDateTime", {kThursday}, S("12/10/2026 2:35:59 PM")},
      {"FormatDateTime", {midnight, I2(0)}, S("12/10/2026")},
      {"FormatDateTime", {kThursday, I2(1)}, S("Thursday, December 10, 2026")},
      {"FormatDateTime", {kThursday, I2(2)}, S("12/10/2026")},
      {"FormatDateTime", {kThursday, I2(3)}, S("2:35:59 PM")},
      {"FormatDateTime", {kThursday, I2(4)}, S("14:35")},
      {"FormatDateTime", {kThursday, I2(0)}, S("10.12.2026 14:35:59"), 0, 1031},
      {"FormatDateTime", {kThursday, I2(1)}, S("Donnerstag, 10. Dezember 2026"), 0, 1031},
      {"FormatDateTime", {kThursday, I2(2)}, S("10.12.2026"), 0, 1031},
      {"FormatDateTime", {kThursday, I2(3)}, S("14:35:59"), 0, 1031},
      {"FormatDateTime", {kThursday, I2(1)}, S("2026\u5e7412\u670810\u65e5"), 0, 1041},
      {"FormatDateTime", {S("10.12.2026"), I2(2)}, S("10.12.2026"), 0, 1031},
      Fails("FormatDateTime", {Null()}, 94),
      Fails("FormatDateTime", {kThursday, I2(5)}, 5),
      Fails("FormatDateTime", {S("abc")}, 13),
  });
}

}  // namespace
}  // namespace tavrix::vbs::testing
