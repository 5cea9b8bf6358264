#include "platform/log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace tavrix {
namespace {

enum class Color { kRed = 2 };

TEST(FormatLogText, FollowsPrintfForEveryConversion) {
  struct Case {
    std::string got;
    const char* want;
  };
  const std::string name = "PLC1";
  const char* nullText = nullptr;
  const Case cases[] = {
      {FormatLogText("TavrixController[%ls] : Sampling interval %dms\n", name, 100),
       "TavrixController[PLC1] : Sampling interval 100ms\n"},
      {FormatLogText("%d|%5d|%-5d|%05d|%+d|% d", -5, 42, 42, -42, 5, 5),
       "-5|   42|42   |-0042|+5| 5"},
      {FormatLogText("%u %x", -1, -1), "4294967295 ffffffff"},  // the int's own 32 bits
      {FormatLogText("%08x %8X %X", 0x1f, E_FAIL, 0xabcu), "0000001f 80004005 ABC"},
      {FormatLogText("(0x%8X)", HRESULT(1)), "(0x       1)"},
      {FormatLogText("%d", E_FAIL), "-2147467259"},
      {FormatLogText("%#x %#o %o", 255, 8, 8), "0xff 010 10"},
      {FormatLogText("%lld %I64d %ld", std::numeric_limits<int64_t>::min(), int64_t{7}, -1),
       "-9223372036854775808 7 -1"},
      {FormatLogText("%lu %zu", 4294967295u, size_t{3}), "4294967295 3"},
      {FormatLogText("%hd %hhu", 70000, 257), "4464 1"},
      {FormatLogText("%.3d|%.0d|%5.3d", 7, 0, -7), "007|| -007"},
      {FormatLogText("%c%c%3c", 'A', 0x3042, 'z'), "Aあ  z"},
      {FormatLogText("%d %d", Color::kRed, true), "2 1"},
      {FormatLogText("%s|%ls|%S|%hs", std::string("a"), "b", std::string_view("c"), "d"),
       "a|b|c|d"},
      {FormatLogText("%.2s|%5s|%-4s|%s", "abcdef", "ab", "ab", nullText), "ab|   ab|ab  |(null)"},
      // Widths and precisions count UTF-16 units.
      {FormatLogText("%5.1s|%4s", "あい", "😀"), "    あ|  😀"},
      {FormatLogText("%f|%.2f|%8.3f|%08.3f", 1.5, 3.14159, -1.5, -1.5),
       "1.500000|3.14|  -1.500|-001.500"},
      {FormatLogText("%e|%g|%G|%.3g", 12345.678, 0.0001, 1e-10, 1234567.0),
       "1.234568e+04|0.0001|1E-10|1.23e+06"},
      {FormatLogText("%f|%F|%5.1f", std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(), 2),
       "inf|-INF|  2.0"},
      {FormatLogText("%a", 1.0), "0x1p+0"},
      {FormatLogText("%*d|%-*d|%.*s", 5, 42, 4, 1, 2, "abc"), "   42|1   |ab"},
      {FormatLogText("%p %p", nullptr, reinterpret_cast<void*>(0x1234)), "(nil) 0x1234"},
      {FormatLogText("100%% %y %n end %"), "100% %y %n end %"},
      // Arguments that do not fit: visible, never undefined.
      {FormatLogText("%d and %s", 1), "1 and (missing)"},
      {FormatLogText("%d|%s|%f|%c", "text", 5, "x", 1.5),
       "(mismatch)|(mismatch)|(mismatch)|(mismatch)"},
      {FormatLogText("%*d", "w", 3), "(mismatch)3"},
      {FormatLogText("%d", 1, 2, "extra"), "1"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(Log, LevelFilterAndTheFailureRule) {
  struct Case {
    uint32_t processLevel;
    bool withResult;
    HRESULT result;
    uint32_t level;
    bool written;
    uint32_t writtenLevel;
  };
  const Case cases[] = {
      {2, false, S_OK, 1, false, 0},    // below the level
      {2, false, S_OK, 2, true, 2},
      {2, true, E_FAIL, 1, true, 3},    // a failure at level 1 is written at level 3
      {2, true, E_FAIL, 0, true, 3},
      {2, true, S_FALSE, 1, false, 0},  // success codes keep the level
      {1, true, E_FAIL, 4, true, 4},    // levels above 3 stay
      {4, true, E_FAIL, 2, false, 0},   // raised to 3, still below 4
      {0, false, S_OK, 0, true, 0},
      {1, false, S_OK, 0, false, 0},    // the default level leaves trace out
  };
  for (const Case& c : cases) {
    CapturingLogSink sink(c.processLevel);
    if (c.withResult) {
      LogResult(c.result, c.level, "line %d\n", 7);
    } else {
      Log(c.level, "line %d\n", 7);
    }
    const auto lines = sink.Lines();
    ASSERT_EQ(lines.size(), c.written ? 1u : 0u) << c.processLevel << " " << c.level;
    if (c.written) {
      EXPECT_EQ(lines[0].level, c.writtenLevel);
      EXPECT_EQ(lines[0].result, c.withResult ? c.result : S_OK);
      EXPECT_EQ(lines[0].text, "line 7\n");
    }
  }
}

TEST(Log, CutsLongLinesAt1023Utf16Units) {
  struct Case {
    std::string text;
    std::string want;
  };
  const std::string a1100(1100, 'a');
  std::string kana1100;
  for (int i = 0; i < 1100; ++i) kana1100 += "あ";
  const std::string invalid(1500, '\xff');
  const Case cases[] = {
      {a1100 + "\n", std::string(1023, 'a')},              // the line feed goes with the cut
      {std::string(1022, 'a') + "\n", std::string(1022, 'a') + "\n"},  // fits whole
      {kana1100 + "\n", kana1100.substr(0, 1023 * 3)},     // three bytes a unit, none lost
      {std::string(1022, 'a') + "😀b", std::string(1022, 'a')},  // a pair is not split
      {invalid, invalid.substr(0, 1023)},                  // stray bytes count one unit each
  };
  for (const Case& c : cases) {
    CapturingLogSink sink(0);
    Log(1, "%s", c.text);
    ASSERT_EQ(sink.size(), 1u);
    EXPECT_EQ(sink.Texts()[0], c.want) << c.text.size();
  }
}

TEST(WithResultCode, InsertsTheCodeBeforeTheFinalLineFeed) {
  struct Case {
    std::string text;
    std::string want;
  };
  const std::string full(1022, 'x');  // 1022 units and a line feed: a full line
  const Case cases[] = {
      {"abc\n", "abc(0x80004005)\n"},
      {"abc", "abc(0x80004005)"},
      {"a\nb\n", "a\nb(0x80004005)\n"},
      {"", "(0x80004005)"},
      {full + "\n", std::string(1010, 'x') + "(0x80004005)\n"},  // the line stays 1023 units
  };
  for (const Case& c : cases) EXPECT_EQ(WithResultCode(c.text, E_FAIL), c.want);
}

TEST(Log, WritesToStandardErrorWithoutASink) {
  ::testing::internal::CaptureStderr();
  Log(1, "hello %d\n", 5);
  LogResult(E_FAIL, 1, "bad %s\n", "thing");
  Log(0, "trace\n");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "hello 5\nbad thing(0x80004005)\n");
}

// A sink that logs from inside its own Write: the inner line must not come
// back into the sink (nor deadlock on the sink lock).
class EchoingSink : public LogSink {
 public:
  void Write(uint32_t, HRESULT, std::string_view text) override {
    ++writes;
    Log(1, "echo %s", std::string(text));
  }
  int writes = 0;
};

TEST(Log, ALineLoggedFromInsideASinkGoesToStandardError) {
  EchoingSink sink;
  ScopedLogSink install(sink, 1);
  ::testing::internal::CaptureStderr();
  Log(1, "x\n");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "echo x\n");
  EXPECT_EQ(sink.writes, 1);
}

TEST(ScopedLogSink, RestoresThePreviousSinkAndLevel) {
  SetLogLevel(1);
  CapturingLogSink outer;
  {
    CapturingLogSink inner(3);
    EXPECT_EQ(GetLogLevel(), 3u);
    Log(3, "inner\n");
  }
  EXPECT_EQ(GetLogLevel(), 1u);
  Log(1, "outer\n");
  EXPECT_EQ(outer.Texts(), std::vector<std::string>{"outer\n"});
}

// Sinks come and go while other threads log: a sink is out of use once its
// install scope ends, so destroying it then is safe (the sanitizers check).
TEST(SetLogSink, ReplacedSinkIsNoLongerInUse) {
  CapturingLogSink outer(1);
  std::atomic<bool> stop{false};
  std::vector<std::thread> loggers;
  for (int t = 0; t < 4; ++t) {
    // Bounded, so a slow main thread cannot let the capture grow without end.
    loggers.emplace_back([&stop, t] {
      for (int n = 0; n < 50000 && !stop.load(); ++n) Log(1, "thread %d\n", t);
    });
  }
  size_t captured = 0;
  for (int round = 0; round < 200; ++round) {
    CapturingLogSink inner;
    std::this_thread::yield();
    captured += inner.size();
  }
  // The threads may not have run yet on a busy machine: give them time to log.
  for (int i = 0; i < 10000 && captured + outer.size() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  stop = true;
  for (std::thread& th : loggers) th.join();
  EXPECT_GT(captured + outer.size(), 0u);
  for (const std::string& text : outer.Texts()) EXPECT_EQ(text.rfind("thread ", 0), 0u);
}

}  // namespace
}  // namespace tavrix
