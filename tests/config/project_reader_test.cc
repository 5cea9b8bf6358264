// The project reader: levels and sections of the object tree, the reader
// modes, the mended faults and the failure cases, on small fixture files.
#include "config/project_reader.h"

#include <gtest/gtest.h>

#include "config/project_version.h"
#include "config/reader_core.h"
#include "config/reader_test_util.h"
#include "platform/log.h"

namespace tavrix {
namespace {

using test::FixturePath;
using test::RecordingConsumer;
using test::ReaderTablesForTest;
using test::ScopedFakeDecoder;
using Calls = std::vector<std::string>;

bool HasLine(const CapturingLogSink& log, uint32_t level, std::string_view part) {
  for (const auto& line : log.Lines()) {
    if (line.level == level && line.text.find(part) != std::string::npos) return true;
  }
  return false;
}

class LevelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CTavrixReader reader({}, ReaderMode::kLoad, tables_.Options());
    ASSERT_EQ(reader.parse(FixturePath("levels.xml"), &consumer_), S_OK);
  }
  const ControllerRecord& Controller(std::string_view name) {
    for (const ControllerRecord& c : consumer_.controllers) {
      if (c.m_strCtrlName == name) return c;
    }
    ADD_FAILURE() << "no controller " << name;
    return consumer_.controllers.front();
  }

  CapturingLogSink log_{0};
  ScopedFakeDecoder decoder_;
  ReaderTablesForTest tables_;
  RecordingConsumer consumer_;
};

TEST_F(LevelsTest, CallsFollowTheObjectTree) {
  // Nested groups, unknown node types and an item node without its object do
  // not end the controller; a "GROUP" node is skipped with all it holds; the
  // controller without Text is skipped.
  const Calls expected = {
      "SetCommonSetting View/Colors/Alarm=red",  // read inside the workspace object
      "InitializeHistory",
      "SetWorkspaceInfo",
      "RegisterController CtrlA",
      "AddItem a1",
      "AddItem g1",
      "AddItem g2",
      "AddItem a3",
      "SetLegacyTrigger second",
      "RegisterController CtrlC",
      "AddItem c1",
      "SetLegacyTrigger ",
  };
  EXPECT_EQ(consumer_.calls, expected);
  EXPECT_TRUE(HasLine(log_, 2, "Controller node \"CtrlB\" has no Text. It is skipped."));
}

TEST_F(LevelsTest, SkippedControllerLeavesNothingToTheNext) {
  const ControllerRecord& c = Controller("CtrlC");
  EXPECT_EQ(c.m_strDescription, "");
  EXPECT_EQ(c.m_lSamplingRate, 300);
  EXPECT_TRUE(c.m_triggerEx.m_nodes.empty());
  EXPECT_EQ(consumer_.legacyTriggers.back(), LegacyTriggerRecord{});
}

TEST_F(LevelsTest, WorkspaceSections) {
  const WorkspaceRecord& w = consumer_.workspaces.at(0);
  EXPECT_EQ(w.m_strZeltHost, "plant-host");
  EXPECT_EQ(w.m_strHistoryADOCon, "Data Source=h.db");
  EXPECT_TRUE(w.m_bHistoryADOConEncrypted);
  EXPECT_FALSE(w.m_bHistoryADOCon2ndEncrypted);
  ASSERT_EQ(w.m_credentials.size(), 1u);
  EXPECT_EQ(w.m_credentials[0], (CredentialRecord{"//nas/share", "op", "pw"}));
  // Blank text is kept inside PluginConfig.
  EXPECT_EQ(test::DumpPluginConfig(w.m_pluginConfig), "{= {Mode=   {Inner=v}}}");

  auto& strings = tables_.replaceStrings;
  using TavrixUtility::ExpandMode;
  EXPECT_EQ(strings.Find("HOST"), (TavrixUtility::ReplaceStringInfo{false, "10.0.0.1", "*****"}));
  EXPECT_EQ(strings.Find("secret"), (TavrixUtility::ReplaceStringInfo{true, "pw", "*****"}));
  // Deciphered once, while read: the entry end does not decipher it again.
  EXPECT_EQ(strings.Find("Marked"), (TavrixUtility::ReplaceStringInfo{true, "m", "*****"}));
  EXPECT_FALSE(strings.Contains("Broken"));
  EXPECT_TRUE(HasLine(log_, 3, "Macro decrypt failed. key:Broken"));

  auto& connections = tables_.connectionStrings;
  EXPECT_EQ(connections.GetConnectionString("PLANT"), "Provider=MSDASQL;DSN=plant");
  EXPECT_EQ(connections.GetType("hist"), 0);
  EXPECT_TRUE(connections.IsEncrypted("hist"));
  EXPECT_EQ(connections.Keys(), (std::vector<std::string>{"HIST", "PLANT"}));

  std::unique_ptr<FunctionBlockInfo> block = tables_.functionBlocks.FindFunctionBlock("fb1");
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(test::DumpTree(*block), "type 7 fbid=FB1 arg(A,first,)\n  type 1 id=X action=15\n");
}

TEST_F(LevelsTest, ControllerSections) {
  const ControllerRecord& a = Controller("CtrlA");
  EXPECT_EQ(a.m_strDescription, "first");
  // TRIGGEREX and tempvariablelist match regardless of letter case; an
  // unknown element hides what it holds; a second Else replaces the first.
  EXPECT_EQ(test::DumpTree(a.m_triggerEx),
            "type 0\n"
            "  type 2 desc=eval\n"
            "    type 3\n"
            "      type 1 id=e1\n"
            "  type 1 id=act script=\n  x = 1\n cmd=cmd argval(8,a) argval(,b) plugin{= {k=v}}\n"
            "  type 6 list=t1,t2\n");
  ASSERT_EQ(a.m_calculationList.size(), 1u);
  EXPECT_EQ(a.m_calculationList[0], (ControllerCalcInfo{"3", "T", "", ""}));
  EXPECT_EQ(a.m_externalFunctions,
            (std::map<std::string, std::string>{{"Report", "hourly"}}));
  ASSERT_EQ(consumer_.items.size(), 5u);
  EXPECT_EQ(consumer_.items[0].m_calculationList, (std::vector<ItemCalcInfo>{{"7", "a2"}}));
}

TEST_F(LevelsTest, LegacyTriggerKeepsTheLastItemOverEarlierFields) {
  ASSERT_EQ(consumer_.legacyTriggers.size(), 2u);
  const LegacyTriggerRecord& l = consumer_.legacyTriggers[0];
  EXPECT_EQ(l.m_strName, "second");
  EXPECT_EQ(l.m_lNewEnum, 5);
  EXPECT_EQ(l.m_info[0].m_lAction, 4);
  EXPECT_EQ(l.m_info[0].m_strExeFile, "a.sh");
  EXPECT_EQ(l.m_info[1].m_lCondition, 3);
  EXPECT_EQ(l.m_info[1].m_lAction, 0);  // Index 3 is ignored
  EXPECT_EQ(l.m_info[1].m_tableInfo.m_strTableName, "T2");
  ASSERT_EQ(l.m_info[1].m_tableInfo.m_columns.size(), 1u);
  EXPECT_EQ(l.m_info[1].m_tableInfo.m_columns[0].m_strColumnName, "c");
}

struct ModeCase {
  const char* label;
  ReaderMode mode;
  std::vector<std::string> names;
  std::set<std::string> existing;
  std::set<std::string> refused;
  Calls calls;
  int32_t matched;
};

TEST(ReaderModesTest, PartialModesTouchOnlyListedControllers) {
  const ModeCase cases[] = {
      {"reload one", ReaderMode::kReloadTrigger, {"CtrlB"}, {"CtrlA", "CtrlB", "CtrlC"}, {},
       {"SetProjectVersion 1.2.0.0", "ReloadTrigger CtrlB"}, 1},
      {"reload none", ReaderMode::kReloadTrigger, {"Nope"}, {"CtrlA", "CtrlB"}, {},
       {"SetProjectVersion 1.2.0.0"}, 0},
      {"update, names in other case", ReaderMode::kUpdateControllers, {"ctrla"}, {"CtrlA"}, {},
       {"SetProjectVersion 1.2.0.0", "UpdateController CtrlA", "UpdateItem CtrlA a1",
        "UpdateItem CtrlA a2", "FinishControllerUpdate CtrlA 2"},
       1},
      {"reconnect, one listed is missing", ReaderMode::kReconnectControllers,
       {"CtrlA", "CtrlC"}, {"CtrlA"}, {},
       {"SetProjectVersion 1.2.0.0", "UpdateController CtrlA", "UpdateItem CtrlA a1",
        "UpdateItem CtrlA a2", "FinishControllerUpdate CtrlA 3"},
       1},
      {"failed update skips the controller", ReaderMode::kUpdateControllers,
       {"CtrlA", "CtrlB"}, {"CtrlA", "CtrlB"}, {"CtrlA"},
       {"SetProjectVersion 1.2.0.0", "UpdateController CtrlA", "UpdateController CtrlB",
        "UpdateItem CtrlB b1", "FinishControllerUpdate CtrlB 2"},
       2},
      {"load registers all", ReaderMode::kLoad, {}, {}, {"B"},
       {"SetProjectVersion 1.2.0.0", "SetCommonSetting t/n/k=v", "InitializeHistory",
        "SetWorkspaceInfo", "RegisterController A", "AddItem a1", "AddItem a2",
        "SetLegacyTrigger ", "RegisterController B", "RegisterController C", "AddItem c1",
        "SetLegacyTrigger "},
       0},
  };
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.label);
    ReaderTablesForTest tables;
    RecordingConsumer consumer;
    consumer.existing = c.existing;
    consumer.refused = c.refused;
    CTavrixReader reader(c.names, c.mode, tables.Options());
    EXPECT_EQ(reader.parse(FixturePath("modes.xml"), &consumer), S_OK);
    EXPECT_EQ(consumer.calls, c.calls);
    EXPECT_EQ(reader.MatchedCount(), c.matched);
    // Replacement strings are read in every mode.
    EXPECT_TRUE(tables.replaceStrings.Contains("m"));
  }
}

TEST(ReaderModesTest, VersionMarksTheProjectVersioned) {
  ResetVersionedProjectForTesting();
  ReaderTablesForTest tables;
  RecordingConsumer consumer;
  CTavrixReader reader({"x"}, ReaderMode::kReloadTrigger, tables.Options());
  ASSERT_EQ(reader.parse(FixturePath("modes.xml"), &consumer), S_OK);
  EXPECT_TRUE(IsVersionedProject());
  EXPECT_EQ(consumer.versions, (std::vector<ProjectVersion>{{1, 2, 0, 0}}));
  ResetVersionedProjectForTesting();
}

TEST(ReaderWorkspaceTest, RejectedWorkspaceRegistersNothing) {
  for (const bool historyFails : {true, false}) {
    SCOPED_TRACE(historyFails ? "history manager" : "engine");
    CapturingLogSink log(0);
    ReaderTablesForTest tables;
    RecordingConsumer consumer;
    (historyFails ? consumer.historyResult : consumer.workspaceResult) = E_FAIL;
    CTavrixReader reader({}, ReaderMode::kLoad, tables.Options());
    EXPECT_EQ(reader.parse(FixturePath("modes.xml"), &consumer), S_OK);
    const Calls expected = historyFails
                               ? Calls{"SetProjectVersion 1.2.0.0", "SetCommonSetting t/n/k=v",
                                       "InitializeHistory"}
                               : Calls{"SetProjectVersion 1.2.0.0", "SetCommonSetting t/n/k=v",
                                       "InitializeHistory", "SetWorkspaceInfo"};
    EXPECT_EQ(consumer.calls, expected);
    EXPECT_TRUE(HasLine(log, 3, historyFails ? "The history manager rejected the workspace"
                                             : "The engine rejected the workspace"));
  }
}

struct FailureCase {
  const char* fixture;
  HRESULT result;
  const char* logPart;  // a level-3 line holding this text
};

TEST(ReaderFailureTest, FailuresStopTheParseWithTheirResult) {
  const FailureCase cases[] = {
      {"syntax_error.xml", TVX_E_XML_SYNTAX,
       "syntax_error.xml at line 5, column 28 : mismatched tag"},
      {"external_entity.xml", TVX_E_XML_EXTERNAL_ENTITY,
       "needs the external entity file:///etc/hostname, which is never read."},
      {"external_dtd.xml", TVX_E_XML_EXTERNAL_ENTITY, "needs the external entity hostFromDtd"},
      {"calculation_field_first.xml", E_INVALIDARG, "m_strTarget before the first Calculation."},
      {"encrypted_element.xml", E_NOTIMPL, "Cannot decrypt the text of m_strZeltHost."},
      {"no_such_file.xml", TVX_E_FILE_NOT_FOUND,
       "Failed to load project. The system cannot find the file specified."},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.fixture);
    CapturingLogSink log(0);
    ReaderTablesForTest tables;
    RecordingConsumer consumer;
    CTavrixReader reader({}, ReaderMode::kLoad, tables.Options());
    const std::string path = FixturePath(c.fixture);
    EXPECT_EQ(reader.parse(path, &consumer), c.result);
    EXPECT_TRUE(HasLine(log, 3, c.logPart)) << testing::PrintToString(log.Texts());
    EXPECT_TRUE(HasLine(log, 3, "Parsing document error: " + path));
    EXPECT_TRUE(HasLine(log, 0, "CTavrixReader::parse end. time : "));
    char code[64];
    std::snprintf(code, sizeof code, "Parse result code: %08x", c.result.bits());
    EXPECT_TRUE(HasLine(log, 0, code));
    EXPECT_TRUE(consumer.calls.empty() || c.result == E_INVALIDARG);
  }
}

TEST(ReaderFailureTest, DecodingGetsTheWholeTextOfAnElement) {
  ScopedFakeDecoder decoder;
  ReaderTablesForTest tables;
  RecordingConsumer consumer;
  const std::string document =
      "<P><INode Type='clsTavrixWorkspace'><clsTavrixWorkspace>"
      "<m_strZeltHost Encrypt='true'>enc:h&#111;st&amp;x</m_strZeltHost>"
      "<m_strTableName Encrypt='true'>  </m_strTableName>"
      "</clsTavrixWorkspace></INode></P>";
  CTavrixReader reader({}, ReaderMode::kLoad, tables.Options(1));
  ASSERT_EQ(reader.ParseDocument(document, "pieces", &consumer), S_OK);
  // Blank text is not deciphered at all.
  EXPECT_EQ(decoder.Requests(), (std::vector<std::string>{"enc:host&x"}));
  EXPECT_EQ(consumer.workspaces.at(0).m_strZeltHost, "host&x");
}

TEST(ReaderFailureTest, NestingIsBounded) {
  CapturingLogSink log(0);
  for (const size_t depth : {ReaderCore::kMaxElementDepth, ReaderCore::kMaxElementDepth + 1}) {
    std::string document;
    for (size_t i = 0; i < depth; ++i) document += "<While>";
    for (size_t i = 0; i < depth; ++i) document += "</While>";
    CTavrixReader reader({}, ReaderMode::kLoad, {});
    EXPECT_EQ(reader.ParseDocument(document, "deep", nullptr),
              depth > ReaderCore::kMaxElementDepth ? E_INVALIDARG : S_OK);
  }
  EXPECT_TRUE(log.Contains("Elements nest deeper than 1000 levels. The document is refused."));
}

}  // namespace
}  // namespace tavrix
