#include "platform/date.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace tavrix {
namespace {

constexpr double kDec9 = 46365;  // 2026-12-09, a Wednesday

TEST(DateTest, FieldsToDateRollOverLikeThePlatform) {
  struct Row {
    int y, mo, d, h, mi, s, us;
    HRESULT hr;
    double want;
  };
  const Row rows[] = {
      {1899, 12, 30, 0, 0, 0, 0, S_OK, 0},
      {1899, 12, 29, 6, 0, 0, 0, S_OK, -1.25},
      {1899, 12, 29, 18, 0, 0, 0, S_OK, -1.75},
      {1899, 12, 30, 6, 0, 0, 0, S_OK, 0.25},
      {1900, 1, 1, 0, 0, 0, 0, S_OK, 2},
      {2026, 12, 9, 12, 0, 0, 0, S_OK, kDec9 + 0.5},
      {100, 1, 1, 0, 0, 0, 0, S_OK, -657434},
      {9999, 12, 31, 0, 0, 0, 0, S_OK, 2958465},
      {2026, 24, 9, 0, 0, 0, 0, S_OK, kDec9 + 365},   // month 24: December next year
      {2027, 0, 9, 0, 0, 0, 0, S_OK, kDec9},          // month 0: December before
      {2027, -11, 9, 0, 0, 0, 0, S_OK, kDec9 - 334},  // January 2026
      {2026, 12, 0, 0, 0, 0, 0, S_OK, kDec9 - 9},     // day 0: last of November
      {2026, 11, 39, 0, 0, 0, 0, S_OK, kDec9},
      {2026, 12, 8, 36, 0, 0, 0, S_OK, kDec9 + 0.5},
      {2026, 12, 10, -12, 0, 0, 0, S_OK, kDec9 + 0.5},
      {2026, 12, 9, 0, 0, 0, 1500, S_OK, kDec9 + 0.0015 / 86400},
      {1899, 12, 30, 0, 0, -1, 0, S_OK, -1 - 86399.0 / 86400},  // one second before 0
      {99, 12, 31, 23, 59, 59, 0, E_INVALIDARG, 0},
      {10000, 1, 1, 0, 0, 0, 0, E_INVALIDARG, 0},
      {9999, 12, 31, 24, 0, 0, 0, E_INVALIDARG, 0},
  };
  for (const Row& r : rows) {
    double out = -1e9;
    const HRESULT hr = DateFromFields(r.y, r.mo, r.d, r.h, r.mi, r.s, r.us, &out);
    EXPECT_EQ(ResultText(hr), ResultText(r.hr)) << r.y << "-" << r.mo << "-" << r.d << " " << r.h;
    if (r.hr.succeeded()) {
      EXPECT_NEAR(out, r.want, 1e-12) << r.y << "-" << r.mo << "-" << r.d << " " << r.h;
    }
  }
}

TEST(DateTest, DateToFieldsKeepsTheNegativeRuleAndSubSeconds) {
  struct Row {
    double date;
    DateRounding rounding;
    int y, mo, d, h, mi, s, us, dow;
  };
  const double sec = 1.0 / 86400;
  const Row rows[] = {
      {-1.25, DateRounding::kMicrosecond, 1899, 12, 29, 6, 0, 0, 0, 5},
      {-0.25, DateRounding::kMicrosecond, 1899, 12, 30, 6, 0, 0, 0, 6},
      {0.25, DateRounding::kMicrosecond, 1899, 12, 30, 6, 0, 0, 0, 6},
      {-657434.5, DateRounding::kSecond, 100, 1, 1, 12, 0, 0, 0, 5},
      {kDec9 + 0.5 + 0.123456 * sec, DateRounding::kMicrosecond, 2026, 12, 9, 12, 0, 0, 123456, 3},
      {kDec9 + 0.5 + 0.123456 * sec, DateRounding::kMillisecond, 2026, 12, 9, 12, 0, 0, 123000, 3},
      {kDec9 + 0.5 + 0.5 * sec, DateRounding::kSecond, 2026, 12, 9, 12, 0, 1, 0, 3},
      {kDec9 + 0.5 + 0.4999 * sec, DateRounding::kSecond, 2026, 12, 9, 12, 0, 0, 0, 3},
      {kDec9 + 1 - 0.4 * sec, DateRounding::kSecond, 2026, 12, 10, 0, 0, 0, 0, 4},
      {kDec9 + 1 - 0.4 * sec, DateRounding::kMillisecond, 2026, 12, 9, 23, 59, 59, 600000, 3},
      {-2 - 0.4 * sec, DateRounding::kSecond, 1899, 12, 28, 0, 0, 0, 0, 4},
      // Near 9999 a double resolves about 40 us, so milliseconds are the finest unit.
      {DateFromDayMicros(2958465, 86399999000), DateRounding::kMillisecond, 9999, 12, 31, 23, 59,
       59, 999000, 5},
  };
  for (const Row& r : rows) {
    DateFields f;
    ASSERT_EQ(DateToFields(r.date, &f, r.rounding), S_OK) << r.date;
    EXPECT_EQ(f.year, r.y) << r.date;
    EXPECT_EQ(f.month, r.mo) << r.date;
    EXPECT_EQ(f.day, r.d) << r.date;
    EXPECT_EQ(f.hour, r.h) << r.date;
    EXPECT_EQ(f.minute, r.mi) << r.date;
    EXPECT_EQ(f.second, r.s) << r.date;
    EXPECT_EQ(f.microsecond, r.us) << r.date;
    EXPECT_EQ(f.dayOfWeek, r.dow) << r.date;
  }
  // DayOfWeek takes the day as it is, without rounding the time.
  EXPECT_EQ(DayOfWeek(kDec9 + 0.99999999), 3);
  EXPECT_EQ(DayOfWeek(-1.75), 5);
  EXPECT_EQ(DayOfWeek(-0.5), 6);
  EXPECT_EQ(DayOfWeek(3e6), -1);
  DateFields f;
  ASSERT_EQ(DateToFields(kDec9, &f), S_OK);
  EXPECT_EQ(f.dayOfYear, 343);
  EXPECT_EQ(DateToFields(2958466.0, &f), E_INVALIDARG);
  EXPECT_EQ(DateToFields(-657435.0, &f), E_INVALIDARG);
  EXPECT_EQ(DateToFields(std::nan(""), &f), E_INVALIDARG);
}

TEST(DateTest, LinearFormAndSecondsPlusMicroseconds) {
  EXPECT_EQ(DateToLinear(-1.25), -0.75);
  EXPECT_EQ(DateFromLinear(-0.75), -1.25);
  EXPECT_EQ(DateToLinear(-0.25), 0.25);
  EXPECT_EQ(DateFromLinear(DateToLinear(-3.5) + 1.0), -2.5);

  for (double date : {kDec9 + 0.75, -1.25, -2.75}) {
    const double stamp = JoinDate(date, 654321);
    double whole = 0;
    uint32_t us = 0;
    SplitDate(stamp, &whole, &us);
    EXPECT_EQ(us, 654321u) << date;
    EXPECT_NEAR(whole, date, 1e-11) << date;
    int64_t day = 0, micros = 0;
    DateToDayMicros(stamp, &day, &micros);
    EXPECT_EQ(micros % 1000000, 654321) << date;
  }
  // Microseconds past a whole second roll into the next one.
  EXPECT_NEAR(JoinDate(kDec9, 999999), kDec9 + 0.999999 / 86400, 1e-12);
  EXPECT_EQ(DateFromDayMicros(-1, -1), DateFromDayMicros(-2, 86399999999));
}

TEST(DateTest, FileTimeAndUnixTime) {
  double date = 0;
  ASSERT_EQ(DateFromFileTime(0, &date), S_OK);
  EXPECT_EQ(date, -109205);  // 1601-01-01
  ASSERT_EQ(DateFromFileTime(116444736000000000u + 15, &date), S_OK);  // 1970 + 1.5 us
  int64_t us = 0;
  ASSERT_EQ(DateToUnixMicros(date, &us), S_OK);
  EXPECT_EQ(us, 2);
  uint64_t ft = 0;
  ASSERT_EQ(DateToFileTime(kUnixEpochDate - 1.25, &ft), S_OK);  // 1969-12-30 18:00
  EXPECT_EQ(ft, 116444736000000000u - 864000000000u * 2 + 648000000000u);
  ASSERT_EQ(DateToFileTime(-1.25, &ft), S_OK);  // 1899-12-29 06:00
  EXPECT_EQ(ft, 864000000000u * (109205 - 1) + 216000000000u);
  ASSERT_EQ(DateFromFileTime(ft, &date), S_OK);
  EXPECT_EQ(date, -1.25);
  EXPECT_EQ(DateToFileTime(-109206, &ft), E_INVALIDARG);
  EXPECT_EQ(DateFromFileTime(UINT64_MAX, &date), E_INVALIDARG);

  EXPECT_EQ(DateFromUnixMicros(0), kUnixEpochDate);
  const double before = DateFromUnixMicros(-1);
  DateFields f;
  ASSERT_EQ(DateToFields(before, &f), S_OK);
  EXPECT_EQ(f.year, 1969);
  EXPECT_EQ(f.second, 59);
  EXPECT_EQ(f.microsecond, 999999);
  const int64_t stamp = 1796859013123456;  // 2026-12-09 23:30:13.123456 UTC
  ASSERT_EQ(DateToUnixMicros(DateFromUnixMicros(stamp), &us), S_OK);
  EXPECT_EQ(us, stamp);
  ASSERT_EQ(DateToUnixMicros(DateFromUnixMicros(-2208988800000000 - 21600000000), &us), S_OK);
  EXPECT_EQ(us, -2208988800000000 - 21600000000);  // 1899-12-31 18:00, a negative date
}

// Sets TZ for one test and puts the old value back.
class TimeZoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) saved_ = tz;
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
  }
  void TearDown() override {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  static double At(int y, int mo, int d, int h, int mi, int us = 0) {
    double date = 0;
    EXPECT_EQ(DateFromFields(y, mo, d, h, mi, 0, us, &date), S_OK);
    return date;
  }

 private:
  std::optional<std::string> saved_;
};

TEST_F(TimeZoneTest, UtcAndLocalFollowTheZoneRules) {
  struct Row {
    double utc;
    double local;
  };
  const Row rows[] = {
      {At(2026, 1, 15, 12, 0, 250), At(2026, 1, 15, 13, 0, 250)},        // winter: +1
      {At(2026, 7, 15, 12, 0, 999999), At(2026, 7, 15, 14, 0, 999999)},  // summer: +2
      {At(2026, 3, 29, 0, 59), At(2026, 3, 29, 1, 59)},   // just before the change forward
      {At(2026, 3, 29, 1, 0), At(2026, 3, 29, 3, 0)},     // the change forward
      {At(2026, 10, 25, 0, 30), At(2026, 10, 25, 2, 30)},  // first 02:30 (summer time)
      {At(2026, 12, 31, 23, 30), At(2027, 1, 1, 0, 30)},
      {At(1899, 12, 29, 6, 0), At(1899, 12, 29, 7, 0)},  // a negative date
  };
  for (const Row& r : rows) {
    double local = 0, utc = 0;
    ASSERT_EQ(UtcToLocal(r.utc, &local), S_OK);
    EXPECT_NEAR(local, r.local, 1e-11) << r.utc;
    if (r.utc == rows[4].utc) continue;  // 02:30 local is ambiguous; see below
    ASSERT_EQ(LocalToUtc(r.local, &utc), S_OK);
    EXPECT_NEAR(utc, r.utc, 1e-11) << r.utc;
  }
  double utc = 0;
  ASSERT_EQ(LocalToUtc(At(2026, 10, 25, 2, 30), &utc), S_OK);
  EXPECT_TRUE(std::abs(utc - At(2026, 10, 25, 0, 30)) < 1e-9 ||
              std::abs(utc - At(2026, 10, 25, 1, 30)) < 1e-9);
  EXPECT_EQ(UtcToLocal(3e6, &utc), E_INVALIDARG);
}

}  // namespace
}  // namespace tavrix
