#include "host/logger.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host/log_test_support.h"
#include "platform/clock.h"
#include "platform/log.h"

namespace tavrix {
namespace {

using testing_support::kDec9Utc;
using testing_support::ReadFile;
using testing_support::ScopedTimeZone;
using testing_support::ScratchDir;

LoggerSettings Settings(uint32_t type, uint32_t level = 1, std::string fileName = {}) {
  LoggerSettings s;
  s.type = type;
  s.level = level;
  s.applicationName = "Tavrix";
  s.fileName = std::move(fileName);
  return s;
}

TEST(CLogger, FileLinesCarryTheLocalTimeStamp) {
  ScratchDir dir;
  ScopedTimeZone tz("JST-9");
  FakeClock clock(0, kDec9Utc);
  ScopedClockOverride useClock(clock);
  CLogger logger;
  ASSERT_EQ(logger.Configure(Settings(kLogToFile, 1, dir / "tavrix.log")), S_OK);
  {
    ScopedLogSink install(logger, 1);
    Log(1, "Started %d\n", 1);
    clock.AdvanceMs(1000);
    LogResult(E_FAIL, 1, "Failed\n");  // no code in a file line
    Log(0, "trace\n");
  }
  EXPECT_EQ(ReadFile(dir / "tavrix.log"),
            "2023/12/09 23:30:13.0045\tStarted 1\n"
            "2023/12/09 23:30:14.0045\tFailed\n");
  EXPECT_EQ(logger.type(), kLogToFile);
}

TEST(CLogger, AFileThatCannotBeOpenedTurnsTheTypeIntoDebuggerOutput) {
  ScratchDir dir;
  const std::string shared = dir / "shared.log";
  CLogger holder;  // keeps `shared` open, and so unshareable
  ASSERT_EQ(holder.Configure(Settings(kLogToFile, 1, shared)), S_OK);
  holder.WriteLine(1, "held\n");

  struct Case {
    const char* what;
    std::string fileName;
  };
  const Case cases[] = {
      {"empty name", ""},
      {"missing folder", dir / "no/such/folder.log"},
      {"opened by another logger", shared},
  };
  for (const Case& c : cases) {
    CLogger logger;
    ASSERT_EQ(logger.Configure(Settings(kLogToFile, 1, c.fileName)), S_OK);
    ::testing::internal::CaptureStderr();
    logger.WriteLine(1, "first\n");
    logger.WriteLine(1, "second\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "first\nsecond\n") << c.what;
    EXPECT_EQ(logger.type(), kLogToDebugger) << c.what;
  }
  EXPECT_EQ(ReadFile(shared).find("first"), std::string::npos);

  // Configure closes the file, after which another logger may have it.
  ASSERT_EQ(holder.Configure(Settings(kLogToDebugger)), S_OK);
  CLogger next;
  ASSERT_EQ(next.Configure(Settings(kLogToFile, 1, shared)), S_OK);
  next.WriteLine(1, "next\n");
  EXPECT_EQ(next.type(), kLogToFile);
  EXPECT_NE(ReadFile(shared).find("\tnext\n"), std::string::npos);
}

TEST(CLogger, FailureCodeIsInsertedOnlyForTheDebuggerOutput) {
  struct Case {
    uint32_t type;
    HRESULT result;
    const char* stderrText;
    const char* memoryText;
  };
  const Case cases[] = {
      {kLogToDebugger, E_FAIL, "abc(0x80004005)\n", ""},
      {kLogToDebugger, S_FALSE, "abc\n", ""},
      {kLogToMemory, E_FAIL, "", "abc\n"},
      {kLogToMessageBox, E_FAIL, "Tavrix: abc\n", ""},
  };
  for (const Case& c : cases) {
    CLogger logger;
    ASSERT_EQ(logger.Configure(Settings(c.type)), S_OK);
    ScopedLogSink install(logger, 1);
    ::testing::internal::CaptureStderr();
    LogResult(c.result, 1, "abc\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.stderrText) << c.type;
    EXPECT_EQ(logger.MemoryText(), c.memoryText) << c.type;
  }
}

TEST(CLogger, LoggerLevelFiltersDirectLines) {
  CLogger logger;
  ASSERT_EQ(logger.Configure(Settings(kLogToMemory, 2)), S_OK);
  logger.WriteLine(1, "info\n");
  logger.WriteLine(2, "warning\n");
  EXPECT_EQ(logger.MemoryText(), "warning\n");
}

TEST(CLogger, MemoryBufferKeepsTheNewest10000Bytes) {
  std::string kana;
  for (int i = 0; i < 3333; ++i) kana += "あ";  // 9,999 bytes
  struct Case {
    const char* what;
    std::string old;
    std::string line;
    std::string want;
  };
  std::string old9990;
  for (int i = 0; i < 999; ++i) old9990 += static_cast<char>('a' + i % 26);
  old9990 = old9990 + old9990 + old9990 + old9990 + old9990;
  old9990 = old9990 + old9990;  // 9,990
  const std::string line20 = "0123456789abcdefghi\n";
  const Case cases[] = {
      {"9,990 + 20 keeps 9,980 old", old9990, line20, old9990.substr(10) + line20},
      {"exactly 10,000 drops nothing", old9990, "123456789\n", old9990 + "123456789\n"},
      {"a cut inside a character drops it whole", kana, "ab", kana.substr(3) + "ab"},
      {"a line longer than the buffer keeps its end", "old", std::string(10005, 'z'),
       std::string(10000, 'z')},
  };
  for (const Case& c : cases) {
    CLogger logger;
    ASSERT_EQ(logger.Configure(Settings(kLogToMemory)), S_OK);
    logger.WriteLine(1, c.old);
    ASSERT_EQ(logger.MemoryText(), c.old);
    logger.WriteLine(1, c.line);
    EXPECT_EQ(logger.MemoryText(), c.want) << c.what;
  }
}

TEST(CLogger, ConfigureChecksTheUdpDestinationOfType7) {
  struct Case {
    uint32_t type;
    std::string udpText;
    bool withAddress;
    HRESULT want;
  };
  const Case cases[] = {
      {kLogToUdp, "127.0.0.1:5196", false, S_OK},
      {kLogToUdp, "", true, S_OK},
      {kLogToUdp, "", false, E_INVALIDARG},
      {kLogToUdp, "127.0.0.1:70000", false, E_INVALIDARG},
      {kLogToDebugger, "", false, S_OK},  // only type 7 needs a destination
  };
  for (const Case& c : cases) {
    CLogger logger;
    LoggerSettings s = Settings(c.type);
    s.udpText = c.udpText;
    if (c.withAddress) s.udpAddress = UdpLogDestination{0x0100007F, 5196};
    EXPECT_EQ(logger.Configure(s), c.want) << c.udpText;
  }
}

// Many threads log their first line at once: the file is opened once, and
// every line lands whole.
TEST(CLogger, LinesFromManyThreadsNeverMix) {
  ScratchDir dir;
  CLogger logger;
  ASSERT_EQ(logger.Configure(Settings(kLogToFile, 1, dir / "threads.log")), S_OK);
  ScopedLogSink install(logger, 1);
  constexpr int kThreads = 8;
  constexpr int kLines = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) {
        Log(1, "thread %d line %04d %s\n", t, i, std::string(40 + (i % 50), '*'));
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(logger.type(), kLogToFile);

  const std::string content = ReadFile(dir / "threads.log");
  std::set<std::pair<int, int>> seen;
  size_t start = 0;
  while (start < content.size()) {
    const size_t end = content.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = content.substr(start, end - start);
    start = end + 1;
    // "YYYY/MM/DD hh:mm:ss.mmmm\tthread T line NNNN ***"
    ASSERT_EQ(line.size() > 25 ? line[24] : '?', '\t') << line;
    int t = -1;
    int i = -1;
    char stars[128] = {};
    ASSERT_EQ(std::sscanf(line.c_str() + 25, "thread %d line %d %127s", &t, &i, stars), 3)
        << line;
    EXPECT_EQ(std::string(stars), std::string(40 + (i % 50), '*')) << line;
    EXPECT_TRUE(seen.emplace(t, i).second) << line;
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
}

}  // namespace
}  // namespace tavrix
