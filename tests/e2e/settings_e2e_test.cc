// The system settings that change what the running server does, each shown
// on the real tavrix executable sampling a simulated controller: where the
// log lines go (LogType), which ones are written (LogLevel), whether a
// failing item repeats its line (NotRepeatError), which cycles land in the
// sampling-time-over files, and the locale of number texts (LCID).
#include <signal.h>
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "e2e/sim_project.h"
#include "e2e/tavrix_process.h"
#include "host/log_test_support.h"

namespace {

using tavrix::e2e::ReadFile;
using tavrix::e2e::SimProject;
using tavrix::e2e::WriteFile;
using tavrix::testing_support::LoopbackReceiver;

// Whether `text` has the shape `pattern`: "#" stands for a digit, "?" for
// any character, every other character for itself.
bool Shaped(std::string_view text, std::string_view pattern) {
  if (text.size() != pattern.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char p = pattern[i];
    if (p == '#' ? !std::isdigit(static_cast<unsigned char>(text[i])) : p != '?' && p != text[i]) {
      return false;
    }
  }
  return true;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Every datagram until one contains `text` (or 30 s pass), as raw bytes.
std::vector<std::string> ReceiveUntil(LoopbackReceiver& receiver, const std::string& text) {
  std::vector<std::string> got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    std::optional<std::string> datagram = receiver.Receive(100);
    if (!datagram) continue;
    got.push_back(std::move(*datagram));
    if (got.back().find(text) != std::string::npos) break;
  }
  return got;
}

// The UTF-16LE form of an ASCII text, as the UDP log datagram carries it.
std::string Utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

class SettingsProcessTest : public tavrix::e2e::TavrixProcessTest {
 protected:
  // The settings key with the project and the given value lines (no log
  // destination unless the lines name one).
  void WriteSettings(const std::string& lines) {
    WriteFile(settings_, "Windows Registry Editor Version 5.00\n\n"
                         "[HKEY_CLASSES_ROOT\\SoftWare\\Tavrix]\n"
                         "\"DataPath\"=\"" + (dir_ / "project.xml").string() + "\"\n"
                         "\"ProcessPriorityEx\"=dword:00000002\n" + lines);
  }
  std::string FileLog() {
    return "\"LogType\"=dword:00000004\n\"FileName\"=\"" + log_.string() + "\"\n";
  }

  // Registers the server and starts it; the caller stops it with Stop.
  void Start() {
    Spawn({"-RegServer"});
    ASSERT_EQ(Wait(), 0) << Stderr();
    Spawn({}, {"IOTAPPTEMP=" + dir_.string(), "QUORVELSHARE=" + dir_.string()});
  }
  void Stop() {
    ASSERT_EQ(::kill(pid_, SIGTERM), 0);
    ASSERT_EQ(Wait(), 0) << Stderr();
  }
  // Runs the server until `line` is in its log file, lets it sample for
  // `ms` more and stops it.
  void RunUntil(const std::string& line, int ms) {
    Start();
    ASSERT_TRUE(WaitForLog(line)) << Stderr() << ReadFile(log_);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    Stop();
  }
};

TEST_F(SettingsProcessTest, LogTypeChoosesWhereTheServersLinesGo) {
  WriteFile(dir_ / "project.xml", SimProject("Line", 50, "", {{"Count", "counter", ""}}));
  const std::string line = "TavrixController[Line] : Sampling Started. Sampling interval 50ms\n";
  struct Case {
    const char* type;
    const char* stream;  // the file the line must reach
    const char* other;   // the one it must not reach
    std::string expected;
  } cases[] = {
      {"00000000", "stdout", "stderr", line},                // standard output, as it is
      {"00000001", "stderr", "stdout", "Tavrix: " + line},   // the message box stand-in
      {"00000003", "stderr", "stdout", line},                // the debugger output
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    WriteSettings(std::string("\"LogType\"=dword:") + c.type + "\n");
    Start();
    ASSERT_TRUE(WaitForText(dir_ / c.stream, c.expected)) << Stdout() << Stderr();
    Stop();
    EXPECT_EQ(ReadFile(dir_ / c.other).find("Sampling Started"), std::string::npos);
  }

  // A file, each line after its local time stamp.
  WriteSettings(FileLog());
  RunUntil(line, 0);
  {
    const std::string log = ReadFile(log_);
    const size_t at = log.find(line);
    ASSERT_NE(at, std::string::npos) << log;
    const size_t begin = log.rfind('\n', at) == std::string::npos ? 0 : log.rfind('\n', at) + 1;
    EXPECT_TRUE(Shaped(std::string_view(log).substr(begin, at - begin),
                       "####/##/## ##:##:##.####\t"))
        << log;
  }
  EXPECT_EQ(Stdout().find("Sampling Started"), std::string::npos);
  EXPECT_EQ(Stderr().find("Sampling Started"), std::string::npos);

  // A UDP log receiver: one datagram per line, the text in UTF-16.
  {
    LoopbackReceiver receiver;
    WriteSettings("\"LogType\"=dword:00000007\n\"UDPLogParam\"=\"127.0.0.1:" +
                  std::to_string(receiver.port()) + "\"\n");
    Start();
    const std::vector<std::string> got = ReceiveUntil(receiver, Utf16("Sampling Started"));
    Stop();
    ASSERT_FALSE(got.empty());
    const std::string& datagram = got.back();
    ASSERT_NE(datagram.find(Utf16("Tavrix") + std::string(2, '\0') + Utf16(line)),
              std::string::npos);
    EXPECT_EQ(datagram.size(), 14 + 2 * (6 + line.size()));
  }

  // A syslog server: "<14>" for an information line, then the header.
  {
    LoopbackReceiver receiver;
    WriteSettings("\"LogType\"=dword:00000005\n\"SysLogParam\"=\"Server=127.0.0.1:" +
                  std::to_string(receiver.port()) + "\"\n");
    Start();
    const std::vector<std::string> got = ReceiveUntil(receiver, "Sampling Started");
    Stop();
    ASSERT_FALSE(got.empty());
    // "<14>Mmm dd hh:mm:ss host Tavrix text", the text without its line feed.
    const std::string& d = got.back();
    const std::string tail = " Tavrix " + line.substr(0, line.size() - 1);
    ASSERT_GT(d.size(), 20 + tail.size()) << d;
    EXPECT_TRUE(Shaped(d.substr(0, 20), "<14>??? ?# ##:##:## ")) << d;
    EXPECT_EQ(d.substr(d.size() - tail.size()), tail) << d;
    EXPECT_EQ(d.substr(20, d.size() - 20 - tail.size()).find(' '), std::string::npos) << d;
  }
}

TEST_F(SettingsProcessTest, LogLevelIsTheLowestLevelWritten) {
  WriteFile(dir_ / "project.xml", SimProject("Line", 50, "", {{"Block(10)", "bytes:4", ""}}));
  // Level 0: "_Deactivate : Start." when the server stops; level 1: the
  // sampling line; the failing item logs with a failure code, which raises
  // its line to level 3.
  const std::string trace = "TavrixController[Line] : _Deactivate : Start.\n";
  const std::string info = "TavrixController[Line] : Sampling Started.";
  const std::string error =
      "TavrixItem[Line\\Block(10)] : Failed in extracting the specified element of array.\n";
  struct Case {
    int level;
    bool trace, info;
  } cases[] = {{0, true, true}, {1, false, true}, {2, false, false}, {3, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    std::filesystem::remove(log_);
    WriteSettings(FileLog() + "\"LogLevel\"=dword:0000000" + std::to_string(c.level) + "\n");
    RunUntil(error, 0);
    const std::string log = ReadFile(log_);
    EXPECT_EQ(log.find(trace) != std::string::npos, c.trace) << log;
    EXPECT_EQ(log.find(info) != std::string::npos, c.info) << log;
  }
}

TEST_F(SettingsProcessTest, NotRepeatErrorLogsAFailingItemOnceWhileItStaysFailed) {
  // Element 10 of a block of four bytes: every read fails the same way.
  WriteFile(dir_ / "project.xml", SimProject("Line", 20, "", {{"Block(10)", "bytes:4", ""}}));
  const std::string failure =
      "TavrixItem[Line\\Block(10)] : Failed in extracting the specified element of array.\n";
  struct Case {
    const char* setting;
    bool once;
  } cases[] = {{"", false}, {"\"NotRepeatError\"=dword:00000000\n", false},
               {"\"NotRepeatError\"=dword:00000001\n", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    std::filesystem::remove(log_);
    WriteSettings(FileLog() + c.setting);
    RunUntil(failure, 400);
    const size_t lines = Count(ReadFile(log_), failure);
    if (c.once) {
      EXPECT_EQ(lines, 1u) << ReadFile(log_);
    } else {
      EXPECT_GE(lines, 5u) << ReadFile(log_);
    }
  }
}

TEST_F(SettingsProcessTest, SamplingTimeOverFilesHoldTheCyclesThatTookTooLong) {
  // Each read takes 30 ms, so every cycle takes at least that long against
  // a sampling interval of 20 ms.
  WriteFile(dir_ / "project.xml",
            SimProject("Line", 20, "read_latency_ms=30", {{"Count", "counter", ""}}));
  const std::filesystem::path folder = dir_ / "over";
  struct Case {
    std::string settings;
    bool written;
  } cases[] = {
      {"\"SamplingTimeOverLogType\"=dword:00000002\n", true},  // elapsed >= the period
      {"\"SamplingTimeOverLogType\"=dword:00000001\n\"SamplingTimeOverTime\"=dword:00000019\n",
       true},  // elapsed >= 25 ms
      {"\"SamplingTimeOverLogType\"=dword:00000001\n\"SamplingTimeOverTime\"=dword:00002710\n",
       false},
      {"\"SamplingTimeOverLogType\"=dword:00000000\n", false},  // off
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    // Without the trailing separator: the server adds it.
    WriteSettings(FileLog() + c.settings + "\"SamplingTimeOverLogDir\"=\"" + folder.string() +
                  "\"\n");
    RunUntil("TavrixController[Line] : Sampling Started.", 300);
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      files.push_back(entry.path());
    }
    if (!c.written) {
      EXPECT_TRUE(files.empty());
      continue;
    }
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(Shaped(files[0].filename().string(), "##############_Line.csv")) << files[0];
    // "YYYY-MM-DD hh:mm:ss.mmm,<elapsed>" a line.
    const std::string text = ReadFile(files[0]);
    size_t lines = 0;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
      const std::string one = text.substr(at, end - at);
      ASSERT_GT(one.size(), 24u) << text;
      EXPECT_TRUE(Shaped(one.substr(0, 24), "####-##-## ##:##:##.###,")) << text;
      EXPECT_TRUE(Shaped(one.substr(24), std::string(one.size() - 24, '#'))) << text;
      EXPECT_GE(std::stoi(one.substr(24)), 25) << text;
      ++lines;
    }
    ASSERT_GE(lines, 3u) << text;
    EXPECT_EQ(text.back(), '\n') << text;
  }
}

TEST_F(SettingsProcessTest, LcidSetsTheLocaleOfNumberTexts) {
  const std::string database = (dir_ / "history.db").string();
  // A ramp 0.5, 1.5, 2.5, ... read as text.
  WriteFile(dir_ / "project.xml",
            SimProject("Line", 20, "", {{"Level", "ramp:0.5:100:1",
                              "          <m_bChangeType>True</m_bChangeType>\n"
                              "          <m_lRequestType>9</m_lRequestType>\n"}},
                    database));
  struct Case {
    const char* lcid;
    const char* text;
  } cases[] = {{"00000409", "8,1.5"}, {"00000407", "8,1,5"}, {"0000040c", "8,1,5"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lcid);
    std::filesystem::remove(database);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, ReadFile(TAVRIX_HISTORY_SCHEMA).c_str(), nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    WriteSettings(FileLog() + "\"LCID\"=dword:" + c.lcid + "\n");
    RunUntil("TavrixController[Line] : Sampling Started.", 300);

    std::vector<std::string> values;
    ASSERT_EQ(sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT item_value FROM TavrixHistory WHERE item_name = 'Level' "
                       "ORDER BY rowid",
                       -1, &statement, nullptr);
    while (statement && sqlite3_step(statement) == SQLITE_ROW) {
      values.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    ASSERT_GE(values.size(), 2u) << ReadFile(log_);
    EXPECT_EQ(values[1], c.text);
  }
}

}  // namespace
