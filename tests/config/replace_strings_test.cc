#include "config/replace_strings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace tavrix::TavrixUtility {
namespace {

constexpr ExpandMode kConnect = ExpandMode::kConnect;
constexpr ExpandMode kDisplay = ExpandMode::kDisplay;

// A table with a plain entry, an encrypted one and one whose value looks like
// a reference, so that a re-scan of inserted values would show.
class ReplaceStringMapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    map_.Add("Host", "10.0.0.1", kDefaultMask, false);
    map_.Add("pwd", "s3cret", kDefaultMask, true);
    map_.Add("loop", "%HOST%", kDefaultMask, false);
    map_.Add("Straße", "de", kDefaultMask, false);
  }
  ReplaceStringMap map_;
};

TEST_F(ReplaceStringMapTest, ExpandsReferencesInBothModes) {
  struct Case {
    const char* text;
    const char* connect;
    const char* display;
  };
  const Case cases[] = {
      {"Addr=%HOST%;Port=5", "Addr=10.0.0.1;Port=5", "Addr=10.0.0.1;Port=5"},
      {"%host%%Host%", "10.0.0.110.0.0.1", "10.0.0.110.0.0.1"},
      {"User=u;Pwd=%PWD%", "User=u;Pwd=s3cret", "User=u;Pwd=*****"},
      // Unknown names keep their percent signs; the second one may open the
      // next reference.
      {"a%X%b", "a%X%b", "a%X%b"},
      {"a%X%HOST%", "a%X10.0.0.1", "a%X10.0.0.1"},
      {"%%HOST%", "%10.0.0.1", "%10.0.0.1"},
      {"%%", "%%", "%%"},
      {"50%", "50%", "50%"},
      {"%HOST", "%HOST", "%HOST"},
      {"", "", ""},
      {"no refs", "no refs", "no refs"},
      // No nesting: a value that itself holds a reference is inserted as is.
      {"[%LOOP%]", "[%HOST%]", "[%HOST%]"},
      {"%% HOST %%", "%% HOST %%", "%% HOST %%"},
      // Names match without regard to case beyond ASCII.
      {"%STRASSE%|%straße%|%STRAßE%", "%STRASSE%|de|de", "%STRASSE%|de|de"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(map_.Expand(std::string_view(c.text), kConnect), c.connect) << c.text;
    EXPECT_EQ(map_.Expand(std::string_view(c.text), kDisplay), c.display) << c.text;
  }
}

TEST_F(ReplaceStringMapTest, ExpandInPlaceAndMissingText) {
  std::string text = "x=%pwd%";
  EXPECT_EQ(map_.Expand(&text, kConnect), S_OK);
  EXPECT_EQ(text, "x=s3cret");
  // A missing text stays missing and is no error.
  EXPECT_EQ(map_.Expand(static_cast<std::string*>(nullptr), kDisplay), S_OK);
}

TEST_F(ReplaceStringMapTest, GetTextAndContains) {
  EXPECT_TRUE(map_.Contains("HOST"));
  EXPECT_TRUE(map_.Contains("host"));
  EXPECT_FALSE(map_.Contains("hostx"));
  EXPECT_FALSE(map_.Contains(""));
  EXPECT_EQ(map_.GetText("PWD", kConnect), "s3cret");
  EXPECT_EQ(map_.GetText("PWD", kDisplay), "*****");
  EXPECT_EQ(map_.GetText("host", kDisplay), "10.0.0.1");
  EXPECT_EQ(map_.GetText("missing", kConnect), "");
  EXPECT_EQ(map_.GetText("missing", kDisplay), "");
  EXPECT_EQ(ExpandModeFromFlag(true), kConnect);
  EXPECT_EQ(ExpandModeFromFlag(false), kDisplay);
}

TEST_F(ReplaceStringMapTest, AddReplacesSameKeyAndRefusesEmptyKey) {
  EXPECT_TRUE(map_.Add("history", "first", kDefaultMask, true));
  EXPECT_TRUE(map_.Add("HiStOrY", "second", "##", false));
  auto info = map_.Find("HISTORY");
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->value, "second");
  EXPECT_EQ(info->mask, "##");
  EXPECT_FALSE(info->encrypted);

  EXPECT_FALSE(map_.Add("", "value", kDefaultMask, false));
  EXPECT_FALSE(map_.Contains(""));
  EXPECT_EQ(map_.Expand(std::string_view("%%"), kConnect), "%%");
}

TEST(ReplaceStringShareFolderTest, MaskShowsVariableOnlyWhenTakenFromEnvironment) {
  ReplaceStringMap fromEnv;
  fromEnv.AddShareFolderPath("/srv/share", true);
  EXPECT_EQ(fromEnv.Expand(std::string_view("%#SHARE_FOLDER_PATH%/x"), kDisplay),
            "%QUORVELSHARE%/x");
  EXPECT_EQ(fromEnv.Expand(std::string_view("%#share_folder_path%/x"), kConnect), "/srv/share/x");

  ReplaceStringMap fromDocuments;
  fromDocuments.AddShareFolderPath("/home/u/Quorvel/ShareTemp", false);
  EXPECT_EQ(fromDocuments.Expand(std::string_view("%#SHARE_FOLDER_PATH%"), kDisplay),
            "/home/u/Quorvel/ShareTemp");
}

TEST(ReplaceStringSingletonTest, InstancesAreProcessWideAndResettable) {
  ReplaceStringMap::Instance().ResetForTesting();
  DBStringReplaceMap::Instance().ResetForTesting();
  ReplaceStringMap::Instance().Add("k", "v", kDefaultMask, false);
  DBStringReplaceMap::Instance().Add("k", "v", 1, false);
  EXPECT_EQ(&ReplaceStringMap::Instance(), &ReplaceStringMap::Instance());
  EXPECT_EQ(ReplaceStringMap::Instance().GetText("K", kConnect), "v");
  EXPECT_EQ(DBStringReplaceMap::Instance().GetConnectionString("K"), "Provider=MSDASQL;v");
  ReplaceStringMap::Instance().ResetForTesting();
  DBStringReplaceMap::Instance().ResetForTesting();
  EXPECT_FALSE(ReplaceStringMap::Instance().Contains("k"));
  EXPECT_FALSE(DBStringReplaceMap::Instance().Contains("k"));
}

TEST(DBStringReplaceMapTest, LookupRules) {
  DBStringReplaceMap map;
  map.Add("plant", "DSN=plant", 1, false);
  map.Add("Direct", "Provider=SQLOLEDB;Data Source=db", 0, true);
  map.Add("other", "DSN=x", 7, false);

  struct Case {
    const char* key;
    bool contains;
    const char* connection;
    const char* raw;
    int32_t type;
    bool encrypted;
  };
  const Case cases[] = {
      {"plant", true, "Provider=MSDASQL;DSN=plant", "DSN=plant", 1, false},
      {"PLANT", true, "Provider=MSDASQL;DSN=plant", "DSN=plant", 1, false},
      {"direct", true, "Provider=SQLOLEDB;Data Source=db", "Provider=SQLOLEDB;Data Source=db", 0,
       true},
      // Only type 1 is ODBC; every other number hands the value out as it is.
      {"Other", true, "DSN=x", "DSN=x", 7, false},
      {"missing", false, "", "", 0, false},
      {"", false, "", "", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(map.Contains(c.key), c.contains);
    EXPECT_EQ(map.GetConnectionString(c.key), c.connection);
    EXPECT_EQ(map.GetRawValue(c.key), c.raw);
    EXPECT_EQ(map.GetType(c.key), c.type);
    EXPECT_EQ(map.IsEncrypted(c.key), c.encrypted);
  }
}

TEST(DBStringReplaceMapTest, AddReplacesAndKeysAreUpperCasedInOrder) {
  DBStringReplaceMap map;
  map.Add("history", "DSN=a", 1, true);
  map.Add("HISTORY", "DSN=b", 0, false);
  map.Add("zeta", "z", 0, false);
  map.Add("Alpha", "a", 0, false);
  EXPECT_FALSE(map.Add("", "x", 1, false));
  EXPECT_EQ(map.GetConnectionString("history"), "DSN=b");
  EXPECT_FALSE(map.IsEncrypted("history"));
  EXPECT_EQ(map.Keys(), (std::vector<std::string>{"ALPHA", "HISTORY", "ZETA"}));
}

// Readers expand while the project reader adds: every expansion must see
// either no entry or a whole one.
TEST(ReplaceStringConcurrencyTest, ExpandWhileAdding) {
  ReplaceStringMap map;
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        const std::string s = map.Expand(std::string_view("<%K1%|%k2%>"), kDisplay);
        if (s != "<%K1%|%k2%>" && s.find("value") == std::string::npos &&
            s.find("*****") == std::string::npos) {
          bad.fetch_add(1);
        }
      }
    });
  }
  for (int i = 0; i < 2000; ++i) {
    map.Add(i % 2 ? "k1" : "k2", "value" + std::to_string(i), kDefaultMask, i % 3 == 0);
  }
  stop.store(true);
  for (auto& r : readers) r.join();
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace
}  // namespace tavrix::TavrixUtility
