// The settings template installed as etc/tavrix/tavrix.reg
// (packaging/tavrix.reg.in): it loads with the server's own reader, every
// system setting is in it with the type the server reads, and the values it
// shows commented out as defaults are the values the server takes when a
// setting is absent.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "host/syslog_param.h"
#include "host/system_settings.h"

namespace tavrix {
namespace {

std::string TemplateText() {
  std::ifstream in(TAVRIX_SETTINGS_TEMPLATE, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

SettingsFile Parse(const std::string& text) {
  SettingsFile file;
  std::string error;
  EXPECT_EQ(SettingsFile::Parse(text, "tavrix.reg", &file, &error), S_OK) << error;
  return file;
}

SystemSettings Read(const SettingsFile& file) {
  SystemSettings settings;
  EXPECT_TRUE(ReadSystemSettings(&file, "20260101000000", &settings, nullptr).succeeded());
  return settings;
}

// The template with its commented-out values (lines ";"Name"=...") made values.
std::string Uncommented(const std::string& text) {
  std::istringstream in(text);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(";\"", 0) == 0) line.erase(0, 1);
    out += line;
    out += '\n';
  }
  return out;
}

TEST(SettingsTemplateTest, SetsTheProjectPathAndTheLog) {
  const std::string text = TemplateText();
  ASSERT_NE(text.find("[HKEY_CLASSES_ROOT\\SoftWare\\Tavrix]"), std::string::npos);
  const SystemSettings s = Read(Parse(text));
  EXPECT_EQ(s.dataPath, "/var/lib/tavrix/project.xml");
  EXPECT_EQ(s.logType, kLogToEventLog);
  EXPECT_EQ(s.logLevel, 1u);
}

TEST(SettingsTemplateTest, ShowsEverySettingWithItsTypeAndDefault) {
  const SettingsFile all = Parse(Uncommented(TemplateText()));
  struct Setting {
    const char* name;
    bool dword;
  } settings[] = {
      {"DataPath", false},          {"LogType", true},
      {"LogLevel", true},           {"FileName", false},
      {"UDPLogParam", false},       {"SysLogParam", false},
      {"LCID", true},               {"ProcessPriorityEx", true},
      {"ProcessPriority", true},    {"NotRepeatError", true},
      {"DDEEnabled", true},         {"KivServerEnabled", true},
      {"CoAPServerEnabled", true},  {"SamplingTimeOverLogType", true},
      {"SamplingTimeOverLogDir", false}, {"SamplingTimeOverTime", true},
  };
  for (const Setting& setting : settings) {
    SCOPED_TRACE(setting.name);
    if (setting.dword) {
      EXPECT_TRUE(all.GetDword(kSettingsKey, setting.name).has_value());
    } else {
      EXPECT_TRUE(all.GetString(kSettingsKey, setting.name).has_value());
    }
  }

  // The server's values for absent settings, next to the template's.
  const SystemSettings absent = Read(Parse(
      "[HKEY_CLASSES_ROOT\\SoftWare\\Tavrix]\n\"DataPath\"=\"/var/lib/tavrix/project.xml\"\n"));
  const SystemSettings shown = Read(all);
  EXPECT_EQ(shown.priority, absent.priority);
  EXPECT_EQ(shown.lcid, absent.lcid);
  EXPECT_EQ(shown.logType, absent.logType);
  EXPECT_EQ(shown.logLevel, absent.logLevel);
  EXPECT_EQ(shown.udpLogParam, absent.udpLogParam);
  EXPECT_EQ(shown.notRepeatError, absent.notRepeatError);
  EXPECT_EQ(shown.ddeEnabled, absent.ddeEnabled);
  EXPECT_EQ(shown.kivServerEnabled, absent.kivServerEnabled);
  EXPECT_EQ(shown.coapServerEnabled, absent.coapServerEnabled);
  EXPECT_EQ(shown.samplingTimeOverLogType, absent.samplingTimeOverLogType);
  EXPECT_EQ(shown.samplingTimeOverTime, absent.samplingTimeOverTime);

  // The syslog example is read only with LogType 5: it must parse as it stands.
  SysLogParam sysLog;
  EXPECT_EQ(ParseSysLogParam(all.GetString(kSettingsKey, "SysLogParam").value_or(""), &sysLog),
            S_OK);
}

}  // namespace
}  // namespace tavrix
