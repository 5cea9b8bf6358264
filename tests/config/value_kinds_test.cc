// The value kinds of project properties, the property tables and the
// defaults, and the `Version` text.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "config/project_reader.h"
#include "config/project_version.h"
#include "config/reader_test_util.h"
#include "config/value_kinds.h"

namespace tavrix {
namespace {

using test::FixturePath;
using test::RecordingConsumer;
using test::ReaderTablesForTest;

struct KindCase {
  std::string_view text;
  int32_t number;
  int32_t strict;
  bool flagTrueOnly;
  bool flag;
};

TEST(ValueKindsTest, NumbersAndFlagsFollowTheirKind) {
  const KindCase cases[] = {
      {"12abc", 12, 0, false, false},
      {"", 0, 0, false, false},
      {"  42", 42, 42, false, true},
      {"42 ", 42, 0, false, false},
      {"-7", -7, -7, false, true},
      {"+5", 5, 5, false, true},
      {"- 5", 0, 0, false, false},
      {"2147483647", 2147483647, 2147483647, false, true},
      {"2147483648", 2147483647, 0, false, false},
      {"-99999999999", -2147483647 - 1, 0, false, false},
      {"1", 1, 1, false, true},
      {"0", 0, 0, false, false},
      {"true", 0, 0, true, true},
      {"TRUE", 0, 0, true, true},
      {"False", 0, 0, false, false},
      {"fAlSe", 0, 0, false, false},
      {" True", 0, 0, false, false},
      {"yes", 0, 0, false, false},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    EXPECT_EQ(ReadNumber(c.text), c.number);
    EXPECT_EQ(ReadStrictNumber(c.text), c.strict);
    EXPECT_EQ(ReadFlagTrueOnly(c.text), c.flagTrueOnly);
    EXPECT_EQ(ReadFlag(c.text), c.flag);
  }
}

TEST(ValueKindsTest, RealsAnd64BitNumbers) {
  const float inf = std::numeric_limits<float>::infinity();
  const std::pair<std::string_view, float> reals[] = {
      {"1.5", 1.5f}, {" -2.5e1", -25.0f}, {"1.5xyz", 1.5f}, {".25", 0.25f}, {"abc", 0.0f},
      {"", 0.0f},    {"1e39", inf},       {"-1e400", -inf}, {"1e-400", 0.0f}, {"--1", 0.0f},
  };
  for (const auto& [text, expected] : reals) {
    SCOPED_TRACE(std::string(text));
    EXPECT_EQ(ReadReal(text), expected);
  }
  const std::pair<std::string_view, int64_t> wide[] = {
      {"9223372036854775807", INT64_MAX},
      {"&HFF00", -256},  // a hexadecimal text is a bit pattern of the smallest type holding it
      {"&H1FF00", 0x1FF00},
      {" -3 ", -3},
      {"12abc", 0},
      {"", 0},
  };
  for (const auto& [text, expected] : wide) {
    SCOPED_TRACE(std::string(text));
    EXPECT_EQ(ReadInt64(text), expected);
  }
}

TEST(ValueKindsTest, TablesHaveTheirRowsAndEveryKindFitsItsField) {
  EXPECT_EQ(WorkspacePropertyTable().size(), 30u);
  EXPECT_EQ(ControllerPropertyTable().size(), 40u);
  EXPECT_EQ(ItemPropertyTable().size(), 66u);
  WorkspaceProperties w;
  for (const auto& def : WorkspacePropertyTable()) {
    EXPECT_TRUE(KindFitsField(def.kind, FieldOf(w, def))) << def.name;
  }
  ControllerProperties c;
  for (const auto& def : ControllerPropertyTable()) {
    EXPECT_TRUE(KindFitsField(def.kind, FieldOf(c, def))) << def.name;
  }
  ItemProperties i;
  for (const auto& def : ItemPropertyTable()) {
    EXPECT_TRUE(KindFitsField(def.kind, FieldOf(i, def))) << def.name;
  }
  // Lookups ignore letter case.
  const auto* def = FindProperty(ItemPropertyTable(), "M_LMASK");
  ASSERT_NE(def, nullptr);
  EXPECT_EQ(def->kind, ValueKind::kInt64);
}

// Each property of the fixture's item, by element, as its record holds it.
TEST(ValueKindsTest, FixtureItemConvertsEachElementByItsKind) {
  ReaderTablesForTest tables;
  RecordingConsumer consumer;
  CTavrixReader reader({}, ReaderMode::kLoad, tables.Options());
  ASSERT_EQ(reader.parse(FixturePath("value_kinds.xml"), &consumer), S_OK);
  ASSERT_EQ(consumer.items.size(), 1u);
  ItemRecord& item = consumer.items[0];

  const std::pair<std::string_view, std::string> expected[] = {
      {"m_strItemName", "  spaced name "},  // texts are kept as written
      {"m_strOption", "a & b"},             // one text from three pieces
      {"m_lType", "12"},                    // number: the leading digits
      {"m_lSubItemOffset", "0"},            // strict number: nothing may follow
      {"m_lSystemType", "-42"},
      {"m_lSubItemDataType", "-42"},
      {"m_lAttribute", "2147483647"},
      {"m_lSubItemElemCount", "0"},
      {"m_lCalcIndex", "120"},              // "1" "2" "0" in pieces: converted whole
      {"m_lSubItemUnitSize", "0"},
      {"m_lInitDataType", "0"},
      {"m_lSubItemByteOrder", "0"},
      {"m_bEnabled", "true"},
      {"m_bAliasItem", "false"},            // "1" is no True for a True-only flag
      {"m_bVariableEnabled", "true"},       // "Tr" "u" "e" in pieces
      {"m_bSubItem", "true"},
      {"m_bDirectReading", "true"},
      {"m_bSubItemBit", "false"},
      {"m_bNotRecJudgeItem", "true"},
      {"m_bUseFileObjDelimiter", "false"},
      {"m_fDeadBandMin", "-25"},
      {"m_fDeadBandMax", "1.5"},
      {"m_fMin", "0"},
      {"m_fMax", "inf"},
      {"m_lMask", "-256"},                  // the platform conversion: 16-bit pattern
      {"m_lChatMax", "7"},                  // a later blank text keeps the value
  };
  const std::string dump = test::DumpProperties(item);
  for (const auto& [element, value] : expected) {
    const std::string line = std::string(element) + "=" + value + "\n";
    EXPECT_NE(dump.find(line), std::string::npos) << line << dump;
  }
}

TEST(ValueKindsTest, EmptyObjectsKeepTheDefaults) {
  ReaderTablesForTest tables;
  RecordingConsumer consumer;
  CTavrixReader reader({}, ReaderMode::kLoad, tables.Options());
  ASSERT_EQ(reader.parse(FixturePath("defaults.xml"), &consumer), S_OK);
  ASSERT_EQ(consumer.workspaces.size(), 1u);
  ASSERT_EQ(consumer.controllers.size(), 1u);
  ASSERT_EQ(consumer.items.size(), 1u);

  WorkspaceRecord w;
  w.m_lMaxBackupCount = 604800;
  w.m_lSecurityProtocol = 240;
  w.m_lMaxLoopCount = 100;
  EXPECT_EQ(consumer.workspaces[0], w);
  const ControllerRecord& c = consumer.controllers[0];
  EXPECT_EQ(c.m_lSamplingRate, 300);
  EXPECT_EQ(c.m_lRecWaitTime, -1);
  EXPECT_EQ(c.m_AccessibleApplication, 7);
  EXPECT_FALSE(c.m_bEnabled);
  EXPECT_EQ(consumer.items[0].m_AccessibleApplication, 7);
  EXPECT_EQ(consumer.items[0].m_lMask, 0);
}

TEST(ValueKindsTest, VersionTexts) {
  const std::pair<std::string_view, ProjectVersion> cases[] = {
      {"1.2", {1, 2, 0, 0}},  {"1.4.0", {1, 4, 0, 0}}, {"7", {7, 0, 0, 0}},
      {"1.2.3", {1, 2, 3, 0}}, {"1.2.3.4", {}},        {"1.", {}},
      {"1..2", {}},           {"v1", {}},               {"", {}},
      {"65536", {}},          {" 1.2", {}},
  };
  for (const auto& [text, version] : cases) {
    EXPECT_EQ(ParseProjectVersion(text), version) << text;
  }
}

}  // namespace
}  // namespace tavrix
