#include "platform/settings_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace tavrix {
namespace {

constexpr std::string_view kKey = "HKEY_CLASSES_ROOT\\SoftWare\\Tavrix";

constexpr std::string_view kSample =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "; Tavrix system settings\n"
    "[HKEY_CLASSES_ROOT\\SoftWare\\Tavrix]\n"
    "\"DataPath\"=\"/srv/tavrix/pro\\\"ject\\\\1.xml\"\n"
    "\"LogType\"=dword:0000000A\n"
    "\"LogLevel\"=\"1\"\n"
    "\"Blob\"=hex:01,02,\\\n"
    "  03,04\n"
    "\"Gone\"=-\n"
    "@=\"default\"\n"
    "\n"
    "[HKEY_CLASSES_ROOT\\SoftWare\\Tavrix\\DataReader]\n"
    "\"Path\"=\"/opt/reader.so\"\n";

SettingsFile ParseOk(std::string_view text) {
  SettingsFile f;
  std::string error;
  EXPECT_EQ(SettingsFile::Parse(text, "t.reg", &f, &error), S_OK) << error;
  return f;
}

TEST(SettingsFileTest, ReadsTypedValuesWithoutRegardToCase) {
  SettingsFile f = ParseOk(kSample);
  EXPECT_EQ(f.GetString("hkey_classes_root\\software\\TAVRIX", "datapath"),
            "/srv/tavrix/pro\"ject\\1.xml");
  EXPECT_EQ(f.GetDword(kKey, "LogType"), 10u);
  EXPECT_EQ(f.GetString(kKey, ""), "default");
  // A value of another type counts as absent.
  EXPECT_EQ(f.GetDword(kKey, "LogLevel"), std::nullopt);
  EXPECT_EQ(f.GetString(kKey, "LogType"), std::nullopt);
  EXPECT_EQ(f.GetDword(kKey, "Blob"), std::nullopt);
  EXPECT_EQ(f.Find(kKey, "Gone"), nullptr);
  EXPECT_EQ(f.Find(kKey, "Missing"), nullptr);
  EXPECT_EQ(f.GetString(std::string(kKey) + "\\DataReader", "Path"), "/opt/reader.so");
  EXPECT_FALSE(f.HasKey("HKEY_CLASSES_ROOT\\AppID"));
}

TEST(SettingsFileTest, SyntaxErrorsNameFileAndLine) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"[K]\n\"A\"=dword:123\n", "t.reg:2: dword: must be followed by exactly 8 hexadecimal digits"},
      {"[K]\n\"A\"=\"open\n", "t.reg:2: the quoted text is not closed"},
      {"[K]\n\"A\" \"B\"\n", "t.reg:2: expected = after the value name"},
      {"\"A\"=\"x\"\n", "t.reg:1: a value before the first [key] line"},
      {"[K\n", "t.reg:1: a key line must be [name]"},
      {"[K]\n\n\nA=1\n", "t.reg:4: expected \"name\"=value or @=value"},
      {"[K]\n\"A\"=12\n", "t.reg:2: the value must be a quoted text, dword:, hex: or -"},
      {"[K]\n\"A\"=\"x\" y\n", "t.reg:2: text after the closing quote"},
  };
  for (const Case& c : cases) {
    SettingsFile f;
    std::string error;
    EXPECT_EQ(SettingsFile::Parse(c.text, "t.reg", &f, &error), E_INVALIDARG) << c.text;
    EXPECT_EQ(error, c.error);
  }
}

TEST(SettingsFileTest, AddingAndRemovingKeysRestoresTheFileByteForByte) {
  // Mixed line ends stay as they were: each line keeps its own.
  for (std::string text : {std::string(kSample), std::string(""), std::string("[K]\r\n\"a\"=\"b\""),
                           std::string("; x\n[K]\r\n\"a\"=\"b\"\n\r")}) {
    SettingsFile f = ParseOk(text);
    EXPECT_EQ(f.Serialize(), text);
    f.SetString("HKEY_CLASSES_ROOT\\AppID\\{X}", "", "Tavrix");
    f.SetString("HKEY_CLASSES_ROOT\\AppID\\{X}", "RunAs", "Interactive User");
    f.SetDword("HKEY_CLASSES_ROOT\\AppID\\{X}\\Sub", "N", 3);
    EXPECT_NE(f.Serialize(), text);
    SettingsFile again = ParseOk(f.Serialize());
    EXPECT_EQ(again.GetString("HKEY_CLASSES_ROOT\\AppID\\{X}", "RunAs"), "Interactive User");
    EXPECT_EQ(again.GetDword("HKEY_CLASSES_ROOT\\AppID\\{X}\\Sub", "N"), 3u);
    EXPECT_TRUE(f.DeleteTree("hkey_classes_root\\appid\\{x}"));
    EXPECT_EQ(f.Serialize(), text);
  }
}

TEST(SettingsFileTest, SetReplacesAndDeleteRemovesValues) {
  SettingsFile f = ParseOk(kSample);
  f.SetDword(kKey, "logtype", 4);
  f.SetString(kKey, "New", "a\\b\"c");
  EXPECT_TRUE(f.DeleteValue(kKey, "LOGLEVEL"));
  EXPECT_FALSE(f.DeleteValue(kKey, "LogLevel"));
  SettingsFile again = ParseOk(f.Serialize());
  EXPECT_EQ(again.GetDword(kKey, "LogType"), 4u);
  EXPECT_EQ(again.GetString(kKey, "New"), "a\\b\"c");
  EXPECT_EQ(again.Find(kKey, "LogLevel"), nullptr);
  EXPECT_NE(f.Serialize().find("\"LogType\"=dword:00000004\n"), std::string::npos);
}

TEST(SettingsFileTest, SaveAndLoadThroughTheFileSystem) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tavrix_settings_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "tavrix.reg").string();
  SettingsFile f;
  std::string error;
  EXPECT_EQ(SettingsFile::Load(path, &f, &error).bits(), 0x80070002u);  // not found
  EXPECT_NE(error.find("tavrix.reg"), std::string::npos);
  f = ParseOk(kSample);
  ASSERT_EQ(f.SaveAtomically(path, &error), S_OK) << error;
  SettingsFile loaded;
  ASSERT_EQ(SettingsFile::Load(path, &loaded, &error), S_OK) << error;
  EXPECT_EQ(loaded.Serialize(), kSample);
  // Only the file itself is left: the temporary file was renamed over it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tavrix
