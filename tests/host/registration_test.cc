#include "host/registration.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "host/log_test_support.h"
#include "host/service_unit.h"
#include "host/switches.h"
#include "platform/log.h"
#include "platform/text.h"
#include "tavrix/ids.h"

namespace tavrix {
namespace {

using testing_support::ReadFile;
using testing_support::ScratchDir;

constexpr const char* kExe = "/opt/tavrix/bin/tavrix";

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// The message boxes a call shows, as written.
class MessageBoxes {
 public:
  MessageBoxes() : file_(::open_memstream(&buf_, &size_)) {}
  ~MessageBoxes() {
    std::fclose(file_);
    std::free(buf_);
  }
  std::FILE* file() const { return file_; }
  std::string text() const {
    std::fflush(file_);
    return std::string(buf_, size_);
  }

 private:
  char* buf_ = nullptr;
  size_t size_ = 0;
  std::FILE* file_;
};

class RegistrationTest : public ::testing::Test {
 protected:
  RegistrationTest() {
    std::filesystem::create_directory(units_);
    context_.settingsPath = dir_ / "tavrix.reg";
    context_.executablePath = kExe;
    context_.unitDir = units_;
    context_.messageBox = boxes_.file();
  }

  SettingsFile Load() const {
    SettingsFile file;
    std::string error;
    EXPECT_EQ(SettingsFile::Load(context_.settingsPath, &file, &error), S_OK) << error;
    return file;
  }
  bool UnitExists() const { return std::filesystem::exists(units_ + "/tavrix.service"); }

  CapturingLogSink log_;  // keeps failure details off the test's output
  ScratchDir dir_;
  std::string units_ = dir_ / "units";
  MessageBoxes boxes_;
  SwitchContext context_;
};

std::string Root(const std::string& key) { return "HKEY_CLASSES_ROOT\\" + key; }

TEST_F(RegistrationTest, RegisterWritesTheEntriesOfEachMode) {
  struct Expected {
    std::string key, name;
    std::optional<std::string> text;  // nullopt: the value must be absent
  };
  const std::string appId(kAppIdText), libId(kLibIdText);
  const std::string engine(kTavrixEngineClsidText), message(kTavrixMessageClsidText);
  const std::string appKey = Root("AppID\\" + appId);
  const std::vector<Expected> common = {
      {appKey, "", "Tavrix"},
      {Root("AppID\\Tavrix.EXE"), "AppID", appId},
      {Root("Tavrix.TavrixEngine.1"), "", "TavrixEngine Class"},
      {Root("Tavrix.TavrixEngine.1\\CLSID"), "", engine},
      {Root("Tavrix.TavrixEngine"), "", "TavrixEngine Class"},
      {Root("Tavrix.TavrixEngine\\CLSID"), "", engine},
      {Root("Tavrix.TavrixEngine\\CurVer"), "", "Tavrix.TavrixEngine.1"},
      {Root("CLSID\\" + engine), "", "TavrixEngine Class"},
      {Root("CLSID\\" + engine), "AppID", appId},
      {Root("CLSID\\" + engine + "\\ProgID"), "", "Tavrix.TavrixEngine.1"},
      {Root("CLSID\\" + engine + "\\VersionIndependentProgID"), "", "Tavrix.TavrixEngine"},
      {Root("CLSID\\" + engine + "\\LocalServer32"), "", kExe},
      {Root("CLSID\\" + engine + "\\TypeLib"), "", libId},
      {Root("Tavrix.TavrixMessage.1"), "", "TavrixMessage Class"},
      {Root("Tavrix.TavrixMessage.1\\CLSID"), "", message},
      {Root("Tavrix.TavrixMessage"), "", "TavrixMessage Class"},
      {Root("Tavrix.TavrixMessage\\CLSID"), "", message},
      {Root("Tavrix.TavrixMessage\\CurVer"), "", "Tavrix.TavrixMessage.1"},
      {Root("CLSID\\" + message), "", "TavrixMessage Class"},
      {Root("CLSID\\" + message), "AppID", appId},
      {Root("CLSID\\" + message + "\\ProgID"), "", "Tavrix.TavrixMessage.1"},
      {Root("CLSID\\" + message + "\\VersionIndependentProgID"), "", "Tavrix.TavrixMessage"},
      {Root("CLSID\\" + message + "\\LocalServer32"), "", kExe},
      {Root("CLSID\\" + message + "\\TypeLib"), "", libId},
      {Root("TypeLib\\" + libId + "\\1.0"), "", "Tavrix 1.0 Type Library"},
      {Root("TypeLib\\" + libId + "\\1.0\\0\\linux"), "", kExe},
  };
  struct Case {
    bool service;
    std::vector<Expected> mode;
  };
  const Case cases[] = {
      {false,
       {{appKey, "RunAs", "Interactive User"},
        {appKey, "LocalService", std::nullopt},
        {appKey, "ServiceParameters", std::nullopt}}},
      {true,
       {{appKey, "LocalService", "Tavrix"},
        {appKey, "ServiceParameters", "-Service"},
        {appKey, "RunAs", std::nullopt}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.service ? "service" : "local server");
    std::filesystem::remove(context_.settingsPath);
    ASSERT_EQ(Register(c.service, context_), S_OK);
    const SettingsFile file = Load();
    for (const auto* list : {&common, &c.mode}) {
      for (const Expected& e : *list) {
        EXPECT_EQ(file.GetString(e.key, e.name), e.text) << e.key << " " << e.name;
      }
    }
    EXPECT_TRUE(file.HasKey(Root("CLSID\\" + engine + "\\Programmable")));
    EXPECT_TRUE(file.HasKey(Root("CLSID\\" + message + "\\Programmable")));
    EXPECT_EQ(UnitExists(), c.service);
    EXPECT_TRUE(
        ReadFile(context_.settingsPath).starts_with("Windows Registry Editor Version 5.00\n"));
    EXPECT_EQ(boxes_.text(), "");
  }
}

TEST_F(RegistrationTest, ReRegisteringSwitchesTheModeValuesAndTheUnit) {
  const std::string appKey = AppIdKey();
  ASSERT_EQ(Register(true, context_), S_OK);
  const std::string asService = ReadFile(context_.settingsPath);
  ASSERT_EQ(Register(true, context_), S_OK);
  EXPECT_EQ(ReadFile(context_.settingsPath), asService);  // nothing added twice

  ASSERT_EQ(Register(false, context_), S_OK);
  SettingsFile file = Load();
  EXPECT_EQ(file.GetString(appKey, "RunAs"), "Interactive User");
  EXPECT_FALSE(file.GetString(appKey, "LocalService"));
  // Only "LocalService" and "RunAs" are deleted before the mode is written.
  EXPECT_EQ(file.GetString(appKey, "ServiceParameters"), "-Service");
  EXPECT_FALSE(UnitExists());

  ASSERT_EQ(Register(true, context_), S_OK);
  file = Load();
  EXPECT_FALSE(file.GetString(appKey, "RunAs"));
  EXPECT_EQ(file.GetString(appKey, "LocalService"), "Tavrix");
  EXPECT_TRUE(UnitExists());
}

TEST_F(RegistrationTest, UnregisterGivesBackTheFileByteForByte) {
  const std::string settings =
      "; Tavrix settings\n"
      "[HKEY_CLASSES_ROOT\\SoftWare\\Tavrix]\n"
      "\"DataPath\"=\"/var/lib/tavrix/project.xml\"\n"
      "\"LogType\"=dword:00000004\n"
      "\n"
      "; another program's class\n"
      "[HKEY_CLASSES_ROOT\\CLSID\\{00000000-1111-2222-3333-444444444444}]\n"
      "@=\"Other\"\n";
  const std::string texts[] = {
      "Windows Registry Editor Version 5.00\n\n" + settings,
      settings + "; a closing comment\n",
      "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\SoftWare\\Tavrix]\r\n\"LogLevel\"=dword:00000000\r\n",
      "[HKEY_CLASSES_ROOT\\SoftWare\\Tavrix]\n\"DataPath\"=\"/p\"",  // no final line feed
      "",
  };
  for (const std::string& text : texts) {
    for (bool service : {false, true}) {
      SCOPED_TRACE(text + (service ? " (service)" : " (local server)"));
      WriteFile(context_.settingsPath, text);
      ASSERT_EQ(Register(service, context_), S_OK);
      ASSERT_NE(ReadFile(context_.settingsPath), text);
      ASSERT_EQ(Unregister(context_), S_OK);
      EXPECT_EQ(ReadFile(context_.settingsPath), text);
      EXPECT_FALSE(UnitExists());
    }
  }
}

TEST_F(RegistrationTest, UnregisterWithoutASettingsFileCreatesNone) {
  WriteFile(units_ + "/tavrix.service", "[Service]\n");
  EXPECT_EQ(Unregister(context_), S_OK);
  EXPECT_FALSE(std::filesystem::exists(context_.settingsPath));
  EXPECT_FALSE(UnitExists());
}

TEST_F(RegistrationTest, ReadServiceModeFollowsTheApplicationIdKey) {
  const std::string appKey = "[HKEY_CLASSES_ROOT\\AppID\\" + std::string(kAppIdText) + "]\n";
  struct Case {
    std::string text;
    HRESULT want;
    bool serviceMode;  // when want is S_OK
  };
  const Case cases[] = {
      {"", TVX_E_FILE_NOT_FOUND, false},
      {"[HKEY_CLASSES_ROOT\\AppID\\Tavrix.EXE]\n\"AppID\"=\"x\"\n", TVX_E_FILE_NOT_FOUND, false},
      {appKey + "\"LocalService\"=\"Tavrix\"\n", S_OK, true},
      {appKey + "\"localservice\"=\"\"\n", S_OK, true},
      {appKey + "\"RunAs\"=\"Interactive User\"\n", S_OK, false},
      {appKey, S_OK, false},
      {appKey + "\"LocalService\"=dword:00000001\n", S_OK, false},  // not a text
      {appKey + "\"LocalService\"=-\n", S_OK, false},
      {"[hkey_classes_root\\appid\\" + FoldCase(kAppIdText) + "]\n\"LocalService\"=\"T\"\n", S_OK,
       true},
  };
  for (const Case& c : cases) {
    SettingsFile file;
    std::string error;
    ASSERT_EQ(SettingsFile::Parse(c.text, "t.reg", &file, &error), S_OK) << error;
    for (bool before : {false, true}) {
      bool serviceMode = before;
      EXPECT_EQ(ReadServiceMode(file, &serviceMode), c.want) << c.text;
      EXPECT_EQ(serviceMode, c.want == S_OK ? c.serviceMode : before) << c.text;
    }
  }
}

TEST(ServiceUnitText, RunsTheServerWithoutASwitchUnderSystemd) {
  struct Case {
    std::string exe, settings;
    std::string execStart;
    std::optional<std::string> environment;  // nullopt: no Environment= line
  };
  const std::string cwd = std::filesystem::current_path().lexically_normal().string();
  const Case cases[] = {
      {kExe, "/etc/tavrix/tavrix.reg", "ExecStart=/opt/tavrix/bin/tavrix", std::nullopt},
      {kExe, "/etc/tavrix/../tavrix/tavrix.reg", "ExecStart=/opt/tavrix/bin/tavrix",
       std::nullopt},
      {kExe, "/srv/t.reg", "ExecStart=/opt/tavrix/bin/tavrix",
       "Environment=TAVRIX_REGISTRY=/srv/t.reg"},
      {kExe, "conf/t.reg", "ExecStart=/opt/tavrix/bin/tavrix",
       "Environment=TAVRIX_REGISTRY=" + cwd + "/conf/t.reg"},
      // systemd's specifiers, variables and word splitting must not touch the paths.
      {"/opt/my tavrix/bin/tavrix", "/srv/50% \"x\".reg", "ExecStart=\"/opt/my tavrix/bin/tavrix\"",
       "Environment=\"TAVRIX_REGISTRY=/srv/50%% \\\"x\\\".reg\""},
      {"/opt/$HOME/t%i", "/srv/$x.reg", "ExecStart=/opt/$$HOME/t%%i",
       "Environment=TAVRIX_REGISTRY=/srv/$x.reg"},
      {"/opt/a\\b;c", "/srv/t.reg", "ExecStart=\"/opt/a\\\\b;c\"",
       "Environment=TAVRIX_REGISTRY=/srv/t.reg"},
  };
  for (const Case& c : cases) {
    const std::string text = ServiceUnitText(c.exe, c.settings);
    SCOPED_TRACE(text);
    EXPECT_NE(text.find("\n[Unit]\nDescription=Tavrix\n"), std::string::npos);
    EXPECT_NE(text.find("\n[Service]\nType=notify\n"), std::string::npos);
    EXPECT_NE(text.find("\n" + c.execStart + "\n"), std::string::npos);
    if (c.environment) {
      EXPECT_NE(text.find("\n" + *c.environment + "\n"), std::string::npos);
    } else {
      EXPECT_EQ(text.find("Environment="), std::string::npos);
    }
  }
}

TEST_F(RegistrationTest, ServiceRegistrationWritesTheUnitIntoTheUnitFolder) {
  ASSERT_EQ(Register(true, context_), S_OK);
  EXPECT_EQ(ReadFile(units_ + "/tavrix.service"), ServiceUnitText(kExe, context_.settingsPath));
  EXPECT_NE(ReadFile(units_ + "/tavrix.service")
                .find("Environment=TAVRIX_REGISTRY=" + context_.settingsPath + "\n"),
            std::string::npos);
  EXPECT_EQ(std::filesystem::status(units_ + "/tavrix.service").permissions(),
            std::filesystem::perms(0644));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(units_),
                          std::filesystem::directory_iterator()),
            1);  // no temporaries
}

TEST_F(RegistrationTest, InstallLeavesAnExistingUnitAlone) {
  WriteFile(units_ + "/tavrix.service", "[Service]\nExecStart=/usr/local/bin/tavrix\n");
  bool created = true;
  std::string text = "unchanged";
  EXPECT_EQ(InstallServiceUnit(units_, kExe, context_.settingsPath, &created, &text), S_OK);
  EXPECT_FALSE(created);
  EXPECT_EQ(text, "unchanged");
  EXPECT_EQ(ReadFile(units_ + "/tavrix.service"), "[Service]\nExecStart=/usr/local/bin/tavrix\n");
}

TEST(DefaultUnitDir, IsTavrixUnitDirWhenSet) {
  const char* old = std::getenv("TAVRIX_UNIT_DIR");
  const std::optional<std::string> previous = old ? std::optional<std::string>(old) : std::nullopt;
  ::setenv("TAVRIX_UNIT_DIR", "/tmp/units", 1);
  EXPECT_EQ(DefaultUnitDir(), "/tmp/units");
  EXPECT_EQ(SwitchContext::ForProcess("t.reg").unitDir, "/tmp/units");
  ::setenv("TAVRIX_UNIT_DIR", "", 1);
  EXPECT_EQ(DefaultUnitDir(), "/etc/systemd/system");
  ::unsetenv("TAVRIX_UNIT_DIR");
  EXPECT_EQ(DefaultUnitDir(), "/etc/systemd/system");
  if (previous) ::setenv("TAVRIX_UNIT_DIR", previous->c_str(), 1);
}

TEST_F(RegistrationTest, SwitchesExitWithTheResultAndShowTheFailures) {
  const std::string unit = units_ + "/tavrix.service";
  const std::string badSettings = "[HKEY_CLASSES_ROOT\\SoftWare\\Tavrix]\nnot a value\n";
  struct Case {
    const char* what;
    Switch which;
    std::function<void(SwitchContext&)> arrange;
    bool fails;
    std::string boxes;
    bool unitAfter;
  };
  const Case cases[] = {
      {"register", Switch::kRegServer, [](SwitchContext&) {}, false, "", false},
      {"service", Switch::kService, [](SwitchContext&) {}, false, "", true},
      {"unregister", Switch::kUnregServer, [](SwitchContext&) {}, false, "", false},
      {"the unit folder is missing", Switch::kService,
       [&](SwitchContext& c) { c.unitDir = dir_ / "missing"; }, true,
       "Tavrix: Failed to create a service.\nTavrix: '/Service' failed.\n", false},
      {"the unit folder is a file", Switch::kService,
       [&](SwitchContext& c) {
         WriteFile(dir_ / "file", "");
         c.unitDir = dir_ / "file";
       },
       true, "Tavrix: Failed to create a service.\nTavrix: '/Service' failed.\n", false},
      // Removal failing shows its box; registration goes on.
      {"the unit cannot be removed (register)", Switch::kRegServer,
       [&](SwitchContext&) { std::filesystem::create_directories(unit + "/x"); }, false,
       "Tavrix: Failed to delete the service.\n", true},
      {"the unit cannot be removed (unregister)", Switch::kUnregServer,
       [&](SwitchContext&) { std::filesystem::create_directories(unit + "/x"); }, false,
       "Tavrix: Failed to delete the service.\n", true},
      {"the settings folder is missing (register)", Switch::kRegServer,
       [&](SwitchContext& c) { c.settingsPath = dir_ / "missing/tavrix.reg"; }, true,
       "Tavrix: '/RegServer' failed.\n", false},
      // The unit written for it is taken back.
      {"the settings folder is missing (service)", Switch::kService,
       [&](SwitchContext& c) { c.settingsPath = dir_ / "missing/tavrix.reg"; }, true,
       "Tavrix: '/Service' failed.\n", false},
      {"the settings file does not parse (register)", Switch::kRegServer,
       [&](SwitchContext& c) { WriteFile(c.settingsPath, badSettings); }, true,
       "Tavrix: '/RegServer' failed.\n", false},
      {"the settings file does not parse (unregister)", Switch::kUnregServer,
       [&](SwitchContext& c) { WriteFile(c.settingsPath, badSettings); }, true,
       "Tavrix: '/UnregServer' failed.\n", false},
      {"the executable path is relative", Switch::kRegServer,
       [](SwitchContext& c) { c.executablePath = "bin/tavrix"; }, true,
       "Tavrix: '/RegServer' failed.\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(units_);
    std::filesystem::create_directory(units_);
    std::filesystem::remove(context_.settingsPath);
    MessageBoxes boxes;
    SwitchContext context = context_;
    context.messageBox = boxes.file();
    c.arrange(context);
    const std::string before = ReadFile(context.settingsPath);

    const int code = RunSwitch(c.which, context);
    EXPECT_EQ(code != 0, c.fails) << code;
    EXPECT_EQ(boxes.text(), c.boxes);
    EXPECT_EQ(std::filesystem::exists(unit), c.unitAfter);
    if (c.fails) {
      EXPECT_EQ(ReadFile(context.settingsPath), before);  // nothing written
    }
  }
}

}  // namespace
}  // namespace tavrix
