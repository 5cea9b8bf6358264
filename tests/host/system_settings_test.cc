#include "host/system_settings.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>

namespace tavrix {
namespace {

// A settings file whose Tavrix key holds DataPath and the given value lines.
SettingsFile Settings(const std::string& lines, bool withDataPath = true) {
  std::string text = "[HKEY_CLASSES_ROOT\\SoftWare\\Tavrix]\n";
  if (withDataPath) text += "\"DataPath\"=\"/srv/tavrix/project.xml\"\n";
  text += lines;
  SettingsFile f;
  std::string error;
  EXPECT_EQ(SettingsFile::Parse(text, "t.reg", &f, &error), S_OK) << error;
  return f;
}

struct Read {
  HRESULT hr;
  SystemSettings s;
};

Read ReadFrom(const SettingsFile& f, CLogger* logger = nullptr) {
  Read r;
  r.hr = ReadSystemSettings(&f, "20261209233013", &r.s, logger);
  return r;
}

TEST(SystemSettingsTest, PriorityFromEitherValue) {
  struct Case {
    const char* lines;
    PriorityClass expected;
  } cases[] = {
      {"", PriorityClass::kHigh},
      {"\"ProcessPriorityEx\"=dword:00000003\n\"ProcessPriority\"=dword:00000000\n",
       PriorityClass::kAboveNormal},
      {"\"ProcessPriority\"=dword:00000000\n", PriorityClass::kIdle},
      {"\"ProcessPriority\"=dword:00000001\n", PriorityClass::kNormal},
      {"\"ProcessPriority\"=dword:00000003\n", PriorityClass::kRealtime},
      {"\"ProcessPriorityEx\"=dword:00000001\n", PriorityClass::kBelowNormal},
      // Out of range selects no class: the default stays.
      {"\"ProcessPriorityEx\"=dword:00000006\n", PriorityClass::kHigh},
      {"\"ProcessPriority\"=dword:00000004\n", PriorityClass::kHigh},
      // Ex of another type counts as absent, so the legacy value is read.
      {"\"ProcessPriorityEx\"=\"3\"\n\"ProcessPriority\"=dword:00000001\n", PriorityClass::kNormal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    EXPECT_EQ(ReadFrom(Settings(c.lines)).s.priority, c.expected);
  }
}

TEST(SystemSettingsTest, DefaultsAndTypes) {
  Read all = ReadFrom(Settings(
      "\"ProcessPriorityEx\"=dword:00000002\n\"LCID\"=dword:00000407\n\"LogType\"=dword:00000006\n"
      "\"LogLevel\"=dword:00000002\n\"UDPLogParam\"=\"10.1.2.3:700\"\n\"FileName\"=\"/tmp/x.log\"\n"
      "\"NotRepeatError\"=dword:00000001\n\"KivCapture\"=dword:00000000\n"
      "\"DDEEnabled\"=dword:00000001\n\"KivServerEnabled\"=dword:00000005\n"
      "\"CoAPServerEnabled\"=dword:00000001\n\"SamplingTimeOverLogType\"=dword:00000002\n"
      "\"SamplingTimeOverLogDir\"=\"/var/log/tavrix/\"\n\"SamplingTimeOverTime\"=dword:000000c8\n"));
  EXPECT_EQ(all.hr, S_OK);
  EXPECT_EQ(all.s.dataPath, "/srv/tavrix/project.xml");
  EXPECT_EQ(all.s.lcid, 1031u);
  EXPECT_EQ(all.s.logType, 6u);
  EXPECT_EQ(all.s.logLevel, 2u);
  EXPECT_EQ(all.s.udpLogParam, "10.1.2.3:700");
  EXPECT_TRUE(all.s.notRepeatError);
  EXPECT_FALSE(all.s.kivCapture);
  EXPECT_TRUE(all.s.ddeEnabled && all.s.kivServerEnabled && all.s.coapServerEnabled);
  EXPECT_EQ(all.s.samplingTimeOverLogDir, "/var/log/tavrix/");
  EXPECT_EQ(all.s.samplingTimeOverTime, 200u);

  // Absent values, and values of another type, take the defaults; the result says so.
  Read none = ReadFrom(Settings("\"LogType\"=\"4\"\n\"SamplingTimeOverLogDir\"=\"/var/log\"\n"));
  EXPECT_EQ(none.hr, S_FALSE);
  EXPECT_EQ(none.s.lcid, LOCALE_USER_DEFAULT);
  EXPECT_EQ(none.s.logType, kLogToEventLog);
  EXPECT_EQ(none.s.logLevel, 1u);
  EXPECT_EQ(none.s.udpLogParam, "127.0.0.1:5196");
  EXPECT_EQ(none.s.samplingTimeOverLogDir, "/var/log/");
  EXPECT_EQ(none.s.samplingTimeOverTime, 100u);
  EXPECT_FALSE(none.s.ddeEnabled);
}

TEST(SystemSettingsTest, FailuresStopTheReading) {
  SettingsFile noKey;
  SystemSettings s;
  EXPECT_EQ(ReadSystemSettings(nullptr, "", &s, nullptr), E_FAIL);
  EXPECT_EQ(ReadSystemSettings(&noKey, "", &s, nullptr), E_FAIL);

  for (const char* dataPath : {"", "\"DataPath\"=\"\"\n", "\"DataPath\"=dword:00000001\n"}) {
    CLogger logger;
    Read r = ReadFrom(Settings(std::string(dataPath) + "\"LogType\"=dword:00000000\n", false),
                      &logger);
    EXPECT_EQ(r.hr, E_INVALIDARG) << dataPath;
    EXPECT_EQ(r.s.logType, kLogToEventLog);  // nothing after DataPath was read
    EXPECT_EQ(logger.type(), kLogToDebugger);  // the logger keeps its defaults
  }

  CLogger logger;
  Read bad = ReadFrom(Settings("\"LogType\"=dword:00000005\n\"SysLogParam\"=\"Conn=TCP:1.2.3.4\"\n"
                               "\"FileName\"=\"/tmp/x.log\"\n"),
                      &logger);
  EXPECT_EQ(bad.hr, E_INVALIDARG);
  EXPECT_EQ(bad.s.fileName, "");
  EXPECT_EQ(logger.type(), kLogToDebugger);
  EXPECT_EQ(ReadFrom(Settings("\"LogType\"=dword:00000005\n\"SysLogParam\"=\"CodePage=932\"\n")).hr,
            TVX_E_SYSLOG_NO_ADDRESS);
}

TEST(SystemSettingsTest, ConfiguresTheLoggerAndTheUdpDestination) {
  struct Case {
    const char* line;
    const char* address;
    uint16_t port;
  } cases[] = {
      {"", "127.0.0.1", 5196},
      {"\"UDPLogParam\"=\"\"\n", "127.0.0.1", 5196},
      {"\"UDPLogParam\"=\"10.0.0.9\"\n", "127.0.0.1", 5196},
      {"\"UDPLogParam\"=\"10.0.0.9:70000\"\n", "127.0.0.1", 5196},
      {"\"UDPLogParam\"=\"10.0.0.9:5000\"\n", "10.0.0.9", 5000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    CLogger logger;
    Read r = ReadFrom(Settings(std::string(c.line) + "\"LogType\"=dword:00000006\n"
                                                     "\"LogLevel\"=dword:00000002\n"),
                      &logger);
    EXPECT_TRUE(r.hr.succeeded());
    EXPECT_EQ(logger.type(), kLogToMemory);
    EXPECT_EQ(logger.level(), 2u);
    in_addr expected{};
    ASSERT_EQ(inet_pton(AF_INET, c.address, &expected), 1);
    EXPECT_EQ(logger.moduleUdpClient().address(), expected.s_addr);
    EXPECT_EQ(logger.moduleUdpClient().port(), c.port);
  }
  SetLogLevel(1);
}

}  // namespace
}  // namespace tavrix
