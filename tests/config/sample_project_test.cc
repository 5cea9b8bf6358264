// The sample project of examples/: what it reads into, the same records
// whatever pieces expat is given, and the packaged-project path.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <string>

#include "config/project_reader.h"
#include "config/reader_test_util.h"
#include "platform/log.h"

namespace tavrix {
namespace {

using test::RecordingConsumer;
using test::ReaderTablesForTest;

// Reads the sample project with `chunkSize` bytes per parser call.
std::string Transcript(size_t chunkSize, ReaderTablesForTest* tables = nullptr) {
  ReaderTablesForTest own;
  ReaderTablesForTest& t = tables != nullptr ? *tables : own;
  RecordingConsumer consumer;
  CTavrixReader reader({}, ReaderMode::kLoad, t.Options(chunkSize));
  EXPECT_EQ(reader.parse(TAVRIX_SAMPLE_PROJECT, &consumer), S_OK);
  std::string out = consumer.transcript;
  for (const char* key : {"SIM_SEED", "LINE_CLOCK"}) {
    out += "replace " + std::string(key) + "=" + t.replaceStrings.GetText(key, {}) + "\n";
  }
  for (const std::string& key : t.connectionStrings.Keys()) {
    out += "connection " + key + "=" + t.connectionStrings.GetRawValue(key) + "\n";
  }
  if (auto block = t.functionBlocks.FindFunctionBlock("FB_ALARM")) out += test::DumpTree(*block);
  return out;
}

TEST(SampleProjectTest, ReadsIntoTheExpectedRecords) {
  ReaderTablesForTest tables;
  RecordingConsumer consumer;
  CTavrixReader reader({}, ReaderMode::kLoad, tables.Options());
  ASSERT_EQ(reader.parse(TAVRIX_SAMPLE_PROJECT, &consumer), S_OK);

  ASSERT_EQ(consumer.workspaces.size(), 1u);
  const WorkspaceRecord& w = consumer.workspaces[0];
  EXPECT_EQ(w.m_strHistoryConSetting, "HISTORY");
  EXPECT_EQ(w.m_lMaxBackupCount, 86400);
  EXPECT_TRUE(w.m_bAutoRecovery);
  EXPECT_EQ(test::DumpPluginConfig(w.m_pluginConfig),
            "{= {ExportFolder=/var/lib/tavrix/export} {Shift=A {Start=06:00}}}");
  EXPECT_EQ(tables.connectionStrings.GetConnectionString("history"),
            "Provider=SQLite;Data Source=/var/lib/tavrix/history.db");
  EXPECT_EQ(tables.replaceStrings.Expand(std::string_view("seed=%SIM_SEED%;%LINE_CLOCK%"),
                                         TavrixUtility::ExpandMode::kConnect),
            "seed=42;clock_offset_s=0");

  ASSERT_EQ(consumer.controllers.size(), 3u);
  EXPECT_EQ(consumer.controllers[0].m_strProvider, "ZeltProv.Sim");
  EXPECT_EQ(consumer.controllers[0].m_lSamplingRate, 250);
  EXPECT_EQ(consumer.controllers[2].m_strCtrlName, "Utility");
  EXPECT_FALSE(consumer.controllers[2].m_bEnabled);

  std::vector<std::string> items;
  for (const ItemRecord& item : consumer.items) items.push_back(item.m_strItemName);
  EXPECT_EQ(items, (std::vector<std::string>{"FillCount", "Level", "Vibration", "Noise", "Block",
                                             "Mode", "Running", "Setpoint", "AlarmCode",
                                             "AlarmCount", "Difference", "Volume", "Counter",
                                             "Clock", "Batches", "Line1Fills", "Mask"}));
  EXPECT_EQ(consumer.items[1].m_fDeadBandMin, -0.5f);
  EXPECT_EQ(consumer.items[5].m_strSubItemParentName, "Block");
  EXPECT_TRUE(consumer.items[6].m_bSubItemBit);
  EXPECT_EQ(consumer.items.back().m_lMask, 0xFF00);

  EXPECT_EQ(test::DumpTree(consumer.controllers[0].m_triggerEx),
            "type 0\n"
            "  type 2 id=E1 enabled=True desc=Fill count reached lid=1 conj=0 "
            "condition(FillCount,5,100,0,0) condition(Running,0,1,,)\n"
            "    type 1 id=A1 desc=Reset fill count lid=2 action=6 putCtrl=Line1 "
            "putItem=Setpoint putValue=0 putType=3\n"
            "    type 1 id=A2 desc=Record batch lid=3 action=65536 useBackup=True maxBackup=1000 "
            "table=Batches conSetting=PRODUCTION column(Stamp,Line1\\FillCount,DateTime) "
            "column(Count,Line1\\FillCount,Value)\n"
            "    type 3\n"
            "      type 1 id=A3 desc=Log level lid=4 action=7 script=Sub Main\n"
            "  DBG.Print \"level \" & Line1.Level\nEnd Sub\n\n"
            "  type 4 item=Line1\\Mode prev=0\n"
            "    type 5 value=1\n"
            "      type 1 id=S1 desc=Start batch lid=5 action=16 "
            "ext=FB_ALARM,CODE,101,TARGET,AlarmCode\n"
            "    type 5 default\n"
            "      type 1 id=S2 desc=Scan once lid=6 action=10 putCtrl=Line1 ext=1\n"
            "  type 9 enabled=True desc=Pulse lid=7 count=*Batch current=*LastAlarm\n"
            "    type 1 id=F1 desc=Message lid=8 action=8 putCtrl=Line1 putItem=Operator "
            "putValue=Batch done\n"
            "  type 6 list=LastAlarm,Batch\n");
  const LegacyTriggerRecord& legacy = consumer.legacyTriggers.at(0);
  EXPECT_EQ(legacy.m_strName, "HighLevel");
  EXPECT_EQ(legacy.m_info[0].m_strExeParams, "\"level high\"");

  auto block = tables.functionBlocks.FindFunctionBlock("FB_ALARM");
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->m_arguments.size(), 2u);
  EXPECT_EQ(block->m_nodes.size(), 2u);
  EXPECT_EQ(consumer.versions, (std::vector<ProjectVersion>{{1, 4, 0, 0}}));
}

TEST(SampleProjectTest, TinyParserBuffersGiveTheSameRecords) {
  const std::string whole = Transcript(1 << 20);
  ASSERT_NE(whole.find("RegisterController Line2"), std::string::npos);
  for (size_t chunk = 1; chunk <= 7; ++chunk) {
    EXPECT_EQ(Transcript(chunk), whole) << "chunk " << chunk;
  }
}

class PackagedProjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/tavrix_pjdb_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override {
    for (const std::string& f : files_) std::remove(f.c_str());
    rmdir(dir_.c_str());
  }
  // Writes `text`, gzip-compressed when `compress`, to a file named `name`.
  std::string Write(const std::string& name, const std::string& text, bool compress) {
    const std::string path = dir_ + "/" + name;
    files_.push_back(path);
    if (compress) {
      gzFile f = gzopen(path.c_str(), "wb");
      gzwrite(f, text.data(), static_cast<unsigned>(text.size()));
      gzclose(f);
    } else {
      FILE* f = std::fopen(path.c_str(), "wb");
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
    }
    return path;
  }

  std::string dir_;
  std::vector<std::string> files_;
};

TEST_F(PackagedProjectTest, PjdbGoesThroughTheDataReaderLibrary) {
  const std::string xml = test::ReadFileText(TAVRIX_SAMPLE_PROJECT);
  const std::string expected = Transcript(1 << 20);
  for (const char* name : {"plant.pjdb", "PLANT.PJDB"}) {
    SCOPED_TRACE(name);
    const std::string path = Write(name, xml, true);
    ReaderTablesForTest tables;
    RecordingConsumer consumer;
    ReaderOptions options = tables.Options();
    options.dataReaderPath = TAVRIX_DATA_READER_FIXTURE;
    CTavrixReader reader({}, ReaderMode::kLoad, options);
    ASSERT_EQ(reader.parse(path, &consumer), S_OK);
    EXPECT_EQ(consumer.controllers.size(), 3u);
    EXPECT_EQ(consumer.items.size(), 17u);
  }
}

TEST_F(PackagedProjectTest, WithoutDataReaderAPjdbIsPlainXml) {
  const std::string path = Write("plain.PJDB", test::ReadFileText(TAVRIX_SAMPLE_PROJECT), false);
  ReaderTablesForTest tables;
  RecordingConsumer consumer;
  CTavrixReader reader({}, ReaderMode::kLoad, tables.Options());
  ASSERT_EQ(reader.parse(path, &consumer), S_OK);
  EXPECT_EQ(consumer.controllers.size(), 3u);
}

TEST_F(PackagedProjectTest, UnusableLibrariesFail) {
  const std::string path = Write("plant.pjdb", "<P/>", true);
  const std::string missing = Write("missing.pjdb", "", false);
  std::remove(missing.c_str());
  struct Case {
    std::string library;
    std::string project;
    HRESULT result;
    const char* logPart;
  } cases[] = {
      {dir_ + "/libNoSuchReader.so", path, E_FAIL, "Cannot load the DataReader library"},
      {"libz.so.1", path, E_FAIL, "lacks OpenProject"},
      {TAVRIX_DATA_READER_FIXTURE, missing, TVX_E_FILE_NOT_FOUND, "cannot open"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.library);
    CapturingLogSink log(0);
    ReaderTablesForTest tables;
    ReaderOptions options = tables.Options();
    options.dataReaderPath = c.library;
    CTavrixReader reader({}, ReaderMode::kLoad, options);
    EXPECT_EQ(reader.parse(c.project, nullptr), c.result);
    EXPECT_TRUE(log.Contains(c.logPart));
    EXPECT_TRUE(log.Contains("Failed to load project."));
  }
}

}  // namespace
}  // namespace tavrix
