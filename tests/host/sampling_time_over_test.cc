#include "host/sampling_time_over.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/log_test_support.h"
#include "host/log_time.h"
#include "platform/clock.h"

namespace tavrix {
namespace {

using testing_support::kDec9Utc;
using testing_support::ReadFile;
using testing_support::ScopedTimeZone;
using testing_support::ScratchDir;

class SamplingTimeOverTest : public ::testing::Test {
 protected:
  SamplingTimeOverTest() : tz_("JST-9"), clock_(0, kDec9Utc), useClock_(clock_) {}

  SamplingTimeOverSettings Settings(uint32_t type, uint32_t threshold = 100) const {
    SamplingTimeOverSettings s;
    s.type = type;
    s.dir = dir_.path();  // without the trailing "/"
    s.thresholdMs = threshold;
    s.startStamp = LocalTimeStamp14();
    return s;
  }

  ScratchDir dir_;
  ScopedTimeZone tz_;
  FakeClock clock_;
  ScopedClockOverride useClock_;
};

TEST_F(SamplingTimeOverTest, WritesOneLinePerSlowCycle) {
  SamplingTimeOverLog log;
  log.Configure(Settings(1));
  const std::string path = dir_ / "20231209233013_PLC1.csv";
  EXPECT_EQ(log.FilePath("PLC1"), path);
  log.LogSamplingTimeOver("PLC1", 120, 1000);
  clock_.AdvanceMs(1001);
  log.LogSamplingTimeOver("PLC1", 4294967295u, 1000);
  EXPECT_EQ(ReadFile(path),
            "2023-12-09 23:30:13.045,120\n"
            "2023-12-09 23:30:14.046,4294967295\n");
}

TEST_F(SamplingTimeOverTest, TypeSelectsTheThreshold) {
  struct Case {
    uint32_t type;
    uint32_t elapsed;
    uint32_t period;
    bool written;
  };
  const Case cases[] = {
      {1, 100, 1000, true},  // SamplingTimeOverTime 100 reached
      {1, 99, 50, false},    // type 1 ignores the period
      {2, 50, 50, true},     // the sampling period reached
      {2, 49, 50, false},
      {2, 500, 1000, false},  // type 2 ignores SamplingTimeOverTime
      {0, 5000, 10, false},
      {3, 5000, 10, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SamplingTimeOverLog log;
    log.Configure(Settings(c.type));
    const std::string controller = "C" + std::to_string(n++);
    log.LogSamplingTimeOver(controller, c.elapsed, c.period);
    EXPECT_EQ(std::filesystem::exists(log.FilePath(controller)), c.written)
        << c.type << " " << c.elapsed << " " << c.period;
  }
}

TEST_F(SamplingTimeOverTest, EmptyFolderOrUnopenableFileWritesNothing) {
  SamplingTimeOverLog log;
  SamplingTimeOverSettings s = Settings(1);
  s.dir.clear();
  log.Configure(s);
  log.LogSamplingTimeOver("PLC1", 1000, 10);
  EXPECT_FALSE(std::filesystem::exists(log.FilePath("PLC1")));

  s = Settings(1);
  s.dir = dir_ / "missing";
  log.Configure(s);
  log.LogSamplingTimeOver("PLC1", 1000, 10);  // skipped silently
  EXPECT_FALSE(std::filesystem::exists(dir_ / "missing"));
}

}  // namespace
}  // namespace tavrix
