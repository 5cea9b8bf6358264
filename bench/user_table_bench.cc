// Insert-table rows per second, each figure beside a baseline of the same
// run:
//
//   I  rows through the insert-table action of a real controller (the row
//      built from the controller's name and an item's value, the writer's
//      lock, the lock of the connection string, a transaction per row),
//      inserted at once and on the writer's insert thread, beside plain
//      prepared inserts of the same rows into the same table, one
//      transaction per row as well (the writer commits every row). SQLite
//      always; PostgreSQL through ODBC when TAVRIX_TEST_PG holds a
//      connection string.
//   B  rows written to backup files by the action (encode, temporary file,
//      flush, rename), beside plain writes of the same bytes to new files
//      with the same flush.
//   R  the recovery of a 100,000-row outage: an action that starts with
//      100,000 backup files inserts them all (read, insert, delete, count);
//      beside plain prepared inserts of the same rows.
//
// Each figure is the median of several runs.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_engine.h"
#include "bench/bench_util.h"
#include "config/trigger_info.h"
#include "controller/controller.h"
#include "engine/engine_man.h"
#include "item/item.h"
#include "platform/convert.h"
#include "platform/log.h"
#include "sql/connection.h"
#include "trigger/actions/insert_table_action.h"
#include "trigger/backup/backup_codec.h"
#include "trigger/backup/backup_store.h"
#include "trigger/node_factory.h"
#include "trigger/trigger_install.h"
#include "trigger/trigger_root.h"

using namespace tavrix;
namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "user_table_bench: %s\n", what.c_str());
  std::exit(1);
}

double Seconds(Steady::time_point since) {
  return std::chrono::duration<double>(Steady::now() - since).count();
}

std::unique_ptr<sql::SqlConnection> Open(const std::string& cs) {
  std::unique_ptr<sql::SqlConnection> db;
  sql::ProviderError e;
  if (FAILED(sql::OpenConnection(cs, &db, &e))) Fail("cannot open " + cs + ": " + e.description);
  return db;
}

int64_t CountRows(sql::SqlConnection& db, const std::string& table) {
  sql::RowSet set;
  if (FAILED(db.Execute("SELECT COUNT(*) FROM " + table, &set)) || set.rowCount() != 1) {
    Fail("cannot count " + table);
  }
  Variant n;
  (void)ChangeType(set.at(0, 0), VT_I8, &n);
  return n.i8();
}

// Plain prepared inserts of (ctrl, seq), one transaction per row.
class PlainInserts {
 public:
  PlainInserts(const std::string& cs, const std::string& table) : db_(Open(cs)) {
    if (FAILED(db_->Prepare("INSERT INTO " + table + "(ctrl, seq) VALUES(?, ?)", &insert_))) {
      Fail("prepare: " + db_->lastError().description);
    }
  }
  void Insert(int64_t seq) {
    if (FAILED(db_->BeginTransaction()) || FAILED(insert_->Bind(0, Variant::Text("B"))) ||
        FAILED(insert_->Bind(1, Variant::I4(static_cast<int32_t>(seq)))) ||
        FAILED(insert_->Execute(nullptr)) || FAILED(db_->Commit())) {
      Fail("plain insert: " + db_->lastError().description);
    }
  }

 private:
  std::unique_ptr<sql::SqlConnection> db_;
  std::unique_ptr<sql::SqlStatement> insert_;
};

std::string ProjectXml(const std::string& tree) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TavrixProject><Version>1.4.0</Version>\n"
         "<INode Type=\"clsTavrixWorkspace\"><clsTavrixWorkspace><m_lAutoRecoveryInterval>10"
         "</m_lAutoRecoveryInterval></clsTavrixWorkspace>\n"
         "<INode Type=\"clsTavrixController\"><clsTavrixController><m_strCtrlName>bench_" +
         std::to_string(getpid()) +
         "</m_strCtrlName><RSQLCtrlName>B</RSQLCtrlName><m_bEnabled>True</m_bEnabled>"
         "<m_strProvider>ZeltProv.Sim</m_strProvider><m_lSamplingRate>1000</m_lSamplingRate>"
         "<m_bStartup>True</m_bStartup><TriggerEx>" + tree +
         "</TriggerEx></clsTavrixController><Text>B</Text>\n"
         "<INode Type=\"clsTavrixItem\"><clsTavrixItem><m_strItemName>Seq</m_strItemName>"
         "<m_bEnabled>True</m_bEnabled><m_bVariableEnabled>True</m_bVariableEnabled>"
         "<m_strVarName>counter</m_strVarName></clsTavrixItem></INode>\n"
         "</INode></INode></TavrixProject>\n";
}

UserDefineDBInfo Table(const std::string& cs, const std::string& table, bool async) {
  UserDefineDBInfo info;
  info.m_strADOCon = cs;
  info.m_strTableName = table;
  info.m_bAsync = async ? "True" : "False";
  info.m_columns.push_back({"ctrl", "", "Name"});
  info.m_columns.push_back({"seq", "\\Seq", "Value"});
  return info;
}

std::string InsertActionXml(const UserDefineDBInfo& t, const std::string& id) {
  std::string xml = "<Action><m_strId>" + id +
                    "</m_strId><Description>ins</Description><m_lId>1</m_lId><m_lAction>65536"
                    "</m_lAction><clsTavrixUserDefineDBInfo><m_strADOCon>" + t.m_strADOCon +
                    "</m_strADOCon><m_strTableName>" + t.m_strTableName +
                    "</m_strTableName><m_bAsync>" + t.m_bAsync + "</m_bAsync>";
  for (const TableColumnInfo& c : t.m_columns) {
    xml += "<clsTavrixTableColumn><m_strColumnName>" + c.m_strColumnName +
           "</m_strColumnName><m_strItemName>" + c.m_strItemName +
           "</m_strItemName><m_strProperty>" + c.m_strProperty +
           "</m_strProperty></clsTavrixTableColumn>";
  }
  return xml + "</clsTavrixUserDefineDBInfo></Action>";
}

// A tree of one insert action on `controller`, executed directly.
std::unique_ptr<TriggerTree> InsertTree(CTavrixController& controller, const UserDefineDBInfo& t,
                                        const std::string& id) {
  TriggerExInfo info;
  auto action = std::make_unique<ActionExInfo>();
  action->m_strId = id;
  action->m_strDescription = "ins";
  action->m_lId = "1";
  action->m_lAction = "65536";
  action->m_tableInfo = t;
  info.m_nodes.push_back(std::move(action));
  std::unique_ptr<CTavrixTriggerObserverEx> root;
  if (FAILED(BuildTriggerTree(controller, info, &root))) Fail("build tree");
  auto tree = std::make_unique<TriggerTree>(std::move(root), info);
  if (FAILED(tree->Initialize(controller))) Fail("initialise tree");
  return tree;
}

// Figure I for one database: rows/s of the action (synchronous and
// asynchronous) beside the plain inserts.
void FigureI(CTavrixController& controller, const std::string& name, const std::string& cs,
             const std::string& table, size_t rows, int runs) {
  auto db = Open(cs);
  PlainInserts plain(cs, table);
  for (const bool async : {false, true}) {
    std::unique_ptr<TriggerTree> tree = InsertTree(controller, Table(cs, table, async), "");
    std::vector<double> action;
    std::vector<double> baseline;
    int64_t seq = 0;
    for (int r = 0; r < runs; ++r) {
      const int64_t before = CountRows(*db, table);
      const auto start = Steady::now();
      for (size_t i = 0; i < rows; ++i) (void)tree->Execute(kKindCycle, nullptr);
      while (CountRows(*db, table) < before + static_cast<int64_t>(rows)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      action.push_back(Seconds(start) / rows * 1e9);
      const auto plainStart = Steady::now();
      for (size_t i = 0; i < rows; ++i) plain.Insert(seq++);
      baseline.push_back(Seconds(plainStart) / rows * 1e9);
    }
    tree.reset();
    const double ns = bench::Median(action);
    const double base = bench::Median(baseline);
    char figure[128];
    std::snprintf(figure, sizeof figure, "I %s %s (%.0f rows/s)", name.c_str(),
                  async ? "insert thread" : "at once", 1e9 / ns);
    char what[128];
    std::snprintf(what, sizeof what, "prepared insert (%.0f rows/s)", 1e9 / base);
    bench::Report(figure, ns, what, base);
    std::printf("%-44s %9.2f   (rows/s of the action over rows/s of the plain insert)\n",
                ("I " + name + (async ? " insert thread" : " at once") + ": ratio").c_str(),
                base / ns);
  }
}

// Figure B: backup files through the action's sink beside plain flushed files.
void FigureB(CTavrixController& controller, const fs::path& folder) {
  constexpr size_t kRows = 2000;
  const TableRow row = {Variant::Text("B"), Variant::I4(12345)};
  std::vector<double> action;
  std::vector<double> baseline;
  for (int r = 0; r < 5; ++r) {
    fs::remove_all(folder / "DB");
    // A writer whose database never opens: every row goes to the sink.
    std::unique_ptr<TriggerTree> tree =
        InsertTree(controller, Table("Provider=SQLite;Data Source=" + (folder / "none" / "x.db").string(),
                                     "rows", false),
                   "bk");
    std::vector<CActionObject*> actions;
    tree->root().CollectBackupTargets(&actions);
    auto* insert = static_cast<CInsertTableActionObject*>(actions.at(0));
    const auto start = Steady::now();
    for (size_t i = 0; i < kRows; ++i) {
      if (insert->DoBackup(row) != S_OK) Fail("backup");
    }
    action.push_back(Seconds(start) / kRows * 1e9);
    tree.reset();

    std::string bytes;
    (void)EncodeBackupRow(row, &bytes);
    const fs::path plainDir = folder / "plain";
    fs::remove_all(plainDir);
    fs::create_directories(plainDir);
    const auto plainStart = Steady::now();
    for (size_t i = 0; i < kRows; ++i) {
      const std::string path = (plainDir / (std::to_string(i) + ".bak")).string();
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) ||
          ::fsync(fd) != 0) {
        Fail("plain file");
      }
      ::close(fd);
    }
    baseline.push_back(Seconds(plainStart) / kRows * 1e9);
  }
  const double ns = bench::Median(action);
  const double base = bench::Median(baseline);
  char figure[128];
  std::snprintf(figure, sizeof figure, "B backup file (%.0f rows/s)", 1e9 / ns);
  char what[128];
  std::snprintf(what, sizeof what, "plain file, flushed (%.0f rows/s)", 1e9 / base);
  bench::Report(figure, ns, what, base);
}

// Figure R: 100,000 backup files recovered by a starting action.
void FigureR(const fs::path& folder) {
  constexpr int kRows = 100000;
  const std::string database = (folder / "recover.db").string();
  const std::string cs = "Provider=SQLite;Data Source=" + database;
  {
    auto db = Open(cs + ";Create=True");
    (void)db->Execute("CREATE TABLE rows (ctrl TEXT NOT NULL, seq INTEGER NOT NULL)", nullptr);
  }
  // The files as an outage leaves them (written without the flush, which
  // figure B measures).
  fs::remove_all(folder / "DB");
  fs::create_directories(folder / "DB");
  for (int i = 0; i < kRows; ++i) {
    std::string bytes;
    (void)EncodeBackupRow({Variant::Text("B"), Variant::I4(i)}, &bytes);
    std::ofstream(folder / "DB" / ("rec_" + Base36(1000000000ULL + i) + ".bak"), std::ios::binary)
        << bytes;
  }
  const std::string project = (folder / "recover.xml").string();
  std::ofstream(project) << ProjectXml(InsertActionXml(Table(cs, "rows", false), "rec"));

  const auto start = Steady::now();
  double seconds = 0;
  {
    bench::EngineRun run(project);
    if (!run.started()) Fail("engine start");
    BackupStore store((folder / "DB").string(), "rec");
    while (store.Count() > 0) {
      if (Seconds(start) > 600) Fail("recovery takes more than 10 minutes");
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    seconds = Seconds(start);
  }
  auto db = Open(cs);
  // The action also runs in the controller's cycles (a row a second).
  if (const int64_t n = CountRows(*db, "rows"); n < kRows) {
    Fail("recovered " + std::to_string(n) + " rows of " + std::to_string(kRows));
  }
  PlainInserts plain(cs, "rows");
  const auto plainStart = Steady::now();
  for (int i = 0; i < kRows; ++i) plain.Insert(i);
  const double plainSeconds = Seconds(plainStart);
  char figure[128];
  std::snprintf(figure, sizeof figure, "R recover 100,000 rows: %.1f s (%.0f rows/s)", seconds,
                kRows / seconds);
  char what[128];
  std::snprintf(what, sizeof what, "prepared insert: %.1f s", plainSeconds);
  bench::Report(figure, seconds * 1e9 / kRows, what, plainSeconds * 1e9 / kRows);
}

}  // namespace

int main(int argc, char** argv) {
  SetLogLevel(2);  // the per-row trace lines are not measured
  // "R": only the recovery figure.
  const bool onlyRecovery = argc > 1 && std::string(argv[1]) == "R";
  InstallTriggerEngine();
  const fs::path folder =
      fs::temp_directory_path() / ("tavrix-user-table-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  setenv("IOTAPPTEMP", folder.c_str(), 1);

  const std::string database = (folder / "rows.db").string();
  const std::string cs = "Provider=SQLite;Data Source=" + database;
  {
    auto db = Open(cs + ";Create=True");
    (void)db->Execute("CREATE TABLE rows (ctrl TEXT NOT NULL, seq INTEGER NOT NULL)", nullptr);
  }
  const std::string project = (folder / "project.xml").string();
  std::ofstream(project) << ProjectXml("");
  if (!onlyRecovery) {
    bench::EngineRun run(project);
    if (!run.started()) Fail("engine start");
    Ref<CTavrixController> controller = run.engine().FindController("B");
    if (!controller) Fail("no controller");
    // The rows take the counter's value: wait for its first read.
    Ref<CTavrixItem> seq = controller->FindItem("Seq");
    while (!seq || seq->value().vt() == VT_EMPTY) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    FigureI(*controller, "SQLite", cs, "rows", 2000, 5);
    const char* pg = getenv("TAVRIX_TEST_PG");
    if (pg != nullptr && *pg != '\0') {
      const std::string table = "user_table_bench_" + std::to_string(getpid());
      auto db = Open(pg);
      (void)db->Execute("CREATE TABLE " + table + " (ctrl TEXT NOT NULL, seq INTEGER NOT NULL)",
                        nullptr);
      FigureI(*controller, "PostgreSQL/ODBC", pg, table, 500, 3);
      (void)db->Execute("DROP TABLE " + table, nullptr);
    } else {
      std::printf("I PostgreSQL: skipped (TAVRIX_TEST_PG is not set)\n");
    }
    FigureB(*controller, folder);
  }
  FigureR(folder);
  fs::remove_all(folder);
  return 0;
}
