// Time stamps of item values in every mode, and the times history rows carry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "item/item_timestamp.h"
#include "item_fixture.h"
#include "platform/clock.h"
#include "platform/date.h"

namespace tavrix::item_test {
namespace {

// 2024-01-02 03:04:05.678 UTC.
int64_t FakeNowMicros() {
  double d = 0;
  EXPECT_EQ(DateFromFields(2024, 1, 2, 3, 4, 5, 0, &d), S_OK);
  int64_t us = 0;
  EXPECT_EQ(DateToUnixMicros(d, &us), S_OK);
  return us + 678000;
}

double Date(int hour, int minute, int second) {
  double d = 0;
  EXPECT_EQ(DateFromFields(2024, 1, 2, hour, minute, second, 0, &d), S_OK);
  return d;
}

// The process time zone for one test (POSIX TZ), restored afterwards.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) old_ = old, hadOld_ = true;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (hadOld_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::string old_;
  bool hadOld_ = false;
};

class TimeStampTest : public ItemTest {
 protected:
  FakeClock clock{5000, FakeNowMicros()};
  ScopedClockOverride useClock{clock};
};

TEST(ItemStampTest, HostModesStampTheMillisecondAndCountUpWithinIt) {
  struct Case {
    int32_t mode;
    int64_t nowMs, previousMs;
    double date;
    uint32_t micro;
  } cases[] = {
      {kStampUtc, 1000123, 0, DateFromUnixMicros(1000000000), 123000},
      {kStampUtc, 1000123, 1000123, 7, 43},  // the same millisecond: one microsecond more
      {kStampNone, 1000123, 0, 7, 42},
      {kStampDevice, 1000123, 0, 7, 42},     // the item copies the device's stamp itself
      {kStampUtc, -1, 0, DateFromUnixMicros(-1000000), 999000},
  };
  for (const Case& c : cases) {
    ItemStamp s;
    s.dateTime = 7;
    s.microsecond = 42;
    s.lastReadMs = c.previousMs;
    UpdateHostStamp(c.mode, c.nowMs, 77, &s);
    EXPECT_EQ(s.dateTime, c.date) << c.mode << " " << c.nowMs;
    EXPECT_EQ(s.microsecond, c.micro) << c.mode << " " << c.nowMs;
    EXPECT_EQ(s.lastReadMs, c.nowMs);
    EXPECT_EQ(s.lastReadTick, 77u);
  }
}

TEST_F(TimeStampTest, EveryModeOnAReadItem) {
  ScopedTimeZone zone("XYZ-2");  // two hours east of UTC
  struct Case {
    int32_t mode;
    double date;
    uint32_t micro;
  } cases[] = {
      {kStampNone, 0, 0},
      {kStampDevice, Date(3, 4, 5), 678000},  // the simulator stamps with the host clock
      {kStampLocal, Date(5, 4, 5), 678000},
      {kStampUtc, Date(3, 4, 5), 678000},
  };
  for (const Case& c : cases) {
    owner.timeStampMode = c.mode;
    Ref<CTavrixItem> item = Make(VarItem("S", UniqueName("counter:")));
    ASSERT_EQ(Read(*item), S_OK);
    EXPECT_DOUBLE_EQ(item->dateTime(), c.date) << c.mode;
    EXPECT_EQ(item->microsecond(), c.micro) << c.mode;
  }
}

TEST_F(TimeStampTest, TwoReadsInOneMillisecondCountTheMicrosecondUp) {
  owner.timeStampMode = kStampUtc;
  Ref<CTavrixItem> item = Make(VarItem("S", "counter"));
  ASSERT_EQ(Read(*item), S_OK);
  ASSERT_EQ(Read(*item), S_OK);
  EXPECT_DOUBLE_EQ(item->dateTime(), Date(3, 4, 5));
  EXPECT_EQ(item->microsecond(), 678001u);
  clock.AdvanceMs(1);
  ASSERT_EQ(Read(*item), S_OK);
  EXPECT_EQ(item->microsecond(), 679000u);
}

TEST_F(TimeStampTest, ASubItemTakesItsHoldersDeviceStamp) {
  owner.timeStampMode = kStampDevice;
  ItemRecord h = VarItem("H", "bytes:2");
  h.m_lSubItemBlockSize = 2;
  Ref<CTavrixItem> holder = Make(h);
  Ref<CTavrixItem> sub = Make(SubItem("S", "H", VT_UI1, 1));
  Link();
  ASSERT_EQ(Read(*holder), S_OK);  // reads the sub-item too
  clock.AdvanceMs(2500);
  ASSERT_EQ(Read(*sub, kReadForced), S_OK);
  EXPECT_DOUBLE_EQ(sub->dateTime(), Date(3, 4, 5));
  EXPECT_EQ(sub->microsecond(), 678000u);
}

TEST_F(TimeStampTest, AValueWrittenToTheCacheKeepsTheStampOfTheWrite) {
  owner.timeStampMode = kStampUtc;
  owner.writeToCache = true;
  Ref<CTavrixItem> item = Make(VarItem("S", "cell"));
  ASSERT_EQ(item->put_Value(Variant::I4(4)), S_OK);
  clock.AdvanceMs(3000);
  bool providerRead = true;
  ASSERT_EQ(Read(*item, 0, &providerRead), S_OK);
  EXPECT_FALSE(providerRead);
  EXPECT_DOUBLE_EQ(item->dateTime(), Date(3, 4, 5));
  EXPECT_EQ(item->microsecond(), 678000u);
}

TEST_F(TimeStampTest, HistoryRowsCarryTheCachedStampOrInVersionedProjectsTheReadTime) {
  for (bool versioned : {false, true}) {
    owner.versioned = versioned;
    owner.timeStampMode = kStampNone;
    owner.ClearReports();
    Ref<CTavrixItem> item = Make(VarItem("S", UniqueName("counter:")));
    ASSERT_EQ(Read(*item), S_OK);
    const auto rows = owner.History();
    ASSERT_EQ(rows.size(), 1u);
    if (versioned) {
      EXPECT_DOUBLE_EQ(rows[0].date, DateFromUnixMicros(FakeNowMicros()));
    } else {
      EXPECT_EQ(rows[0].date, 0);  // mode 0 never stamps
    }
  }
}

TEST_F(TimeStampTest, AFailedHistoryRecordIsThePassResult) {
  owner.historyResult = E_FAIL;
  for (bool versioned : {false, true}) {
    owner.versioned = versioned;
    log.Clear();
    Ref<CTavrixItem> item = Make(VarItem("S", UniqueName("counter:")));
    EXPECT_EQ(Read(*item), versioned ? S_FALSE : E_FAIL);
    EXPECT_EQ(log.Contains("Failed in recording to the history database."), versioned);
    EXPECT_EQ(owner.ChangeEvents().size(), versioned ? 2u : 1u);  // notified either way
  }
}

}  // namespace
}  // namespace tavrix::item_test
