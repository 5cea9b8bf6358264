// The whole sampling cycle as a user runs it: a generated project file with
// simulated controllers, started through CTavrixEngineMan the way the tavrix
// executable starts it, sampled by the real controllers and items.
//
//   A  100,000 constant items on 10 controllers at 1 s, history off: the CPU
//      one second of sampling costs, and the memory per item beside the Zelt
//      simulator's own share (the same variables opened without Tavrix).
//   B  1,000 constant items on one controller at 100 ms: how far the cycle
//      starts stray from their schedule (p50, p99).
//   C  counters that change every cycle, history into SQLite: rows recorded
//      per second and the CPU each row costs.
//
//   tavrix_cycle_bench          every figure, each in a process of its own
//   tavrix_cycle_bench A|A0|B|C one of them (A0: A's controllers with one item
//                               each, the baseline of A's CPU figure)
//
// TAVRIX_BENCH_SECONDS (default 10) sets each measuring window.
// TAVRIX_BENCH_KEEP=1 keeps the generated files (project, history database).
#include <malloc.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "controller/controller.h"
#include "controller/controller_parts.h"
#include "engine/engine_man.h"
#include "item/item.h"
#include "platform/log.h"
#include "zelt/engine.h"
#include "zelt/interfaces.h"

extern char** environ;

using namespace tavrix;
using SteadyClock = std::chrono::steady_clock;

namespace {

// --- Measuring helpers ---------------------------------------------------------

int WindowSeconds() {
  const char* text = std::getenv("TAVRIX_BENCH_SECONDS");
  const int seconds = text != nullptr ? std::atoi(text) : 0;
  return seconds > 0 ? seconds : 10;
}

bool KeepFiles() {
  const char* text = std::getenv("TAVRIX_BENCH_KEEP");
  return text != nullptr && *text != '\0' && std::strcmp(text, "0") != 0;
}

// Resident set size of this process, in bytes.
int64_t RssBytes() {
  std::ifstream statm("/proc/self/statm");
  int64_t size = 0;
  int64_t resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

// Heap bytes handed out by malloc (small blocks and mapped blocks).
int64_t HeapInUse() {
  const struct mallinfo2 m = mallinfo2();
  return static_cast<int64_t>(m.uordblks + m.hblkhd);
}

// User plus system CPU of the whole process, in microseconds.
int64_t ProcessCpuMicros() {
  struct rusage u {};
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000LL + u.ru_utime.tv_usec +
         u.ru_stime.tv_usec;
}

double SecondsBetween(SteadyClock::time_point a, SteadyClock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// "name   value unit   (target ...)": one line per figure.
void Figure(const char* name, double value, const char* unit, const std::string& target) {
  std::printf("%-46s %12.3f %-14s %s\n", name, value, unit, target.c_str());
  std::fflush(stdout);
}

void Note(const std::string& text) {
  std::printf("  %s\n", text.c_str());
  std::fflush(stdout);
}

std::string Format(const char* format, auto... args) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

// --- The log: kept quiet, warnings remembered for the end -------------------------

class QuietLog final : public LogSink {
 public:
  void Write(uint32_t level, HRESULT result, std::string_view text) override {
    if (level < 2 && !FAILED(result)) return;
    // Without plug-ins installed every start reports their bridges as absent.
    if (text.find("Init external") != std::string_view::npos) return;
    std::lock_guard lock(mutex_);
    ++problems_;
    if (first_.size() < 5) first_.emplace_back(text);
  }
  void Print() {
    std::lock_guard lock(mutex_);
    if (problems_ == 0) return;
    std::printf("  log: %zu warnings or failures; the first:\n", problems_);
    for (const auto& line : first_) std::printf("    %s", line.c_str());
    std::fflush(stdout);
  }

 private:
  std::mutex mutex_;
  size_t problems_ = 0;
  std::vector<std::string> first_;
};

// --- Cycle starts, from the controllers' own hook ------------------------------

class CycleLog {
 public:
  // Must run before the engine makes its controllers.
  void Install() {
    ControllerParts::Instance().cycleStarted = [this](CTavrixController& controller) {
      const SteadyClock::time_point now = SteadyClock::now();
      std::lock_guard lock(mutex_);
      std::vector<SteadyClock::time_point>& starts = starts_[&controller];
      if (starts.empty()) starts.reserve(4096);
      starts.push_back(now);
    };
    ControllerParts::Instance().cycleCompleted = [this](const std::string&, uint32_t elapsedMs,
                                                        uint32_t) {
      uint32_t seen = longestScanMs_.load();
      while (elapsedMs > seen && !longestScanMs_.compare_exchange_weak(seen, elapsedMs)) {
      }
    };
  }

  // The longest scan (cycle start to the end of its work, before the sleep).
  uint32_t LongestScanMs() const { return longestScanMs_.load(); }

  // Whether `controllers` controllers have each started `cycles` cycles.
  bool AllStarted(size_t controllers, size_t cycles) {
    std::lock_guard lock(mutex_);
    if (starts_.size() < controllers) return false;
    for (const auto& [c, starts] : starts_) {
      if (starts.size() < cycles) return false;
    }
    return true;
  }

  // Cycle starts of every controller in [from, to).
  size_t CyclesIn(SteadyClock::time_point from, SteadyClock::time_point to) {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (const auto& [c, starts] : starts_) {
      n += std::count_if(starts.begin(), starts.end(),
                         [&](SteadyClock::time_point t) { return t >= from && t < to; });
    }
    return n;
  }

  // The time between each two successive starts of one controller that
  // both lie in [from, to), in ms.
  std::vector<double> GapsMs(SteadyClock::time_point from, SteadyClock::time_point to) {
    std::lock_guard lock(mutex_);
    std::vector<double> gaps;
    for (const auto& [c, starts] : starts_) {
      for (size_t i = 1; i < starts.size(); ++i) {
        if (starts[i - 1] < from || starts[i] >= to) continue;
        gaps.push_back(std::chrono::duration<double, std::milli>(starts[i] - starts[i - 1]).count());
      }
    }
    return gaps;
  }

 private:
  std::mutex mutex_;
  std::map<const void*, std::vector<SteadyClock::time_point>> starts_;
  std::atomic<uint32_t> longestScanMs_{0};
};

bool WaitUntil(const std::function<bool()>& condition, int timeoutSeconds) {
  const auto deadline = SteadyClock::now() + std::chrono::seconds(timeoutSeconds);
  while (!condition()) {
    if (SteadyClock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// --- The project file -----------------------------------------------------------

struct ProjectShape {
  std::string prefix;  // controller names: prefix + index
  int controllers = 1;
  int itemsPerController = 1;
  int samplingMs = 1000;
  std::string historyDatabase;  // empty: history off
  // The simulated variable behind item i.
  std::function<std::string(int item)> variable;
};

std::string ControllerName(const ProjectShape& shape, int c) {
  return shape.prefix + std::to_string(c);
}

// Writes the project the way the configuration tool lays it out: the
// workspace, then each controller node with its item nodes.
bool WriteProject(const std::string& path, const ProjectShape& shape) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return false;
  const bool history = !shape.historyDatabase.empty();
  const char* useHistory = history ? "True" : "False";
  std::fprintf(f,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<TavrixProject>\n"
               "  <Version>1.4.0</Version>\n"
               "  <INode Type=\"clsTavrixWorkspace\">\n"
               "    <clsTavrixWorkspace>\n"
               "      <m_strZeltHost>localhost</m_strZeltHost>\n"
               "      <m_lRetryCnt>3</m_lRetryCnt>\n"
               "      <m_lRetryInterval>3000</m_lRetryInterval>\n"
               "      <m_strTableName>TavrixHistory</m_strTableName>\n"
               "      <m_lMaxRecord>0</m_lMaxRecord>\n"
               "      <m_lTableType>0</m_lTableType>\n"
               "      <m_bEnableHistory>%s</m_bEnableHistory>\n"
               "      <m_bSysInfo>True</m_bSysInfo>\n"
               "      <m_bBackupDisabled>True</m_bBackupDisabled>\n"
               "      <m_strHistoryConSetting>HISTORY</m_strHistoryConSetting>\n"
               "      <DBConnectionStringList>\n"
               "        <DBConnectionString>\n"
               "          <key>HISTORY</key>\n"
               "          <value>Provider=SQLite;Data Source=%s</value>\n"
               "          <type>0</type>\n"
               "        </DBConnectionString>\n"
               "      </DBConnectionStringList>\n"
               "    </clsTavrixWorkspace>\n",
               useHistory, history ? shape.historyDatabase.c_str() : "/nonexistent/history.db");
  for (int c = 0; c < shape.controllers; ++c) {
    const std::string name = ControllerName(shape, c);
    std::fprintf(f,
                 "    <INode Type=\"clsTavrixController\">\n"
                 "      <clsTavrixController>\n"
                 "        <m_strCtrlName>%s</m_strCtrlName>\n"
                 "        <m_bEnabled>True</m_bEnabled>\n"
                 "        <RSQLCtrlName>%s</RSQLCtrlName>\n"
                 "        <m_strProvider>ZeltProv.Sim</m_strProvider>\n"
                 "        <m_strMachine>%s</m_strMachine>\n"
                 "        <m_lSamplingRate>%d</m_lSamplingRate>\n"
                 "        <m_lTimeStamp>3</m_lTimeStamp>\n"
                 "        <m_bStartup>True</m_bStartup>\n"
                 "        <m_bUseHistory>%s</m_bUseHistory>\n"
                 "        <m_lActivatePriority>1</m_lActivatePriority>\n"
                 "      </clsTavrixController>\n"
                 "      <Text>%s</Text>\n",
                 name.c_str(), name.c_str(), name.c_str(), shape.samplingMs, useHistory,
                 name.c_str());
    for (int i = 0; i < shape.itemsPerController; ++i) {
      std::fprintf(f,
                   "      <INode Type=\"clsTavrixItem\"><clsTavrixItem>"
                   "<m_strItemName>I%d</m_strItemName>"
                   "<m_bEnabled>True</m_bEnabled>"
                   "<m_bVariableEnabled>True</m_bVariableEnabled>"
                   "<m_strVarName>%s</m_strVarName>"
                   "<m_bUseHistory>%s</m_bUseHistory>"
                   "</clsTavrixItem></INode>\n",
                   i, shape.variable(i).c_str(), useHistory);
    }
    std::fprintf(f, "    </INode>\n");
  }
  std::fprintf(f, "  </INode>\n</TavrixProject>\n");
  return std::fclose(f) == 0;
}

// A constant: a counter that steps by 0 stays at its start.
std::string Constant(int item) { return "counter:" + std::to_string(item) + ":0"; }
// A counter that moves on every read.
std::string Counting(int item) { return "counter:" + std::to_string(item * 1000) + ":1"; }

// --- The engine, started as the local server starts it -----------------------------

class EngineRun {
 public:
  HRESULT Start(const std::string& projectPath) {
    engine_ = CTavrixEngineMan::GetInstance();
    EngineSettings settings;
    settings.dataPath = projectPath;
    engine_->SetSettings(settings);
    // The server's own reference, held until the stop.
    engine_->AddRef();
    return engine_->Initialize();
  }

  CTavrixEngineMan& engine() { return *engine_; }

  void Stop() {
    if (engine_ == nullptr) return;
    // Giving back the last reference terminates and destroys the engine.
    engine_->Release();
    engine_ = nullptr;
    if (CTavrixEngineMan* left = CTavrixEngineMan::CurrentInstance()) left->Terminate();
  }

 private:
  CTavrixEngineMan* engine_ = nullptr;
};

// Starts the engine on `project` and waits until `sampling` holds. On a
// failure it says so for `figure`, shows the log and stops the engine.
bool StartSampling(const char* figure, EngineRun& run, const std::string& project,
                   const std::function<bool()>& sampling, int timeoutSeconds, QuietLog& log) {
  const HRESULT started = run.Start(project);
  if (SUCCEEDED(started) && WaitUntil(sampling, timeoutSeconds)) return true;
  std::fprintf(stderr, "%s: the controllers did not start sampling (0x%08X)\n", figure,
               static_cast<unsigned>(started.code()));
  log.Print();
  run.Stop();
  return false;
}

// A scratch folder for one figure's files.
class ScratchDir {
 public:
  ScratchDir() {
    char pattern[] = "/tmp/tavrix-cycle-bench-XXXXXX";
    if (mkdtemp(pattern) != nullptr) path_ = pattern;
  }
  ~ScratchDir() {
    if (path_.empty()) return;
    if (KeepFiles()) {
      std::fprintf(stderr, "  files kept in %s\n", path_.c_str());
      return;
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Whether item `i` of every controller holds `expected(i)`: proof that the
// cycles read the simulator through the items.
bool ItemsHold(CTavrixEngineMan& engine, const ProjectShape& shape, int item,
               const std::function<bool(const Variant&)>& expected) {
  for (int c = 0; c < shape.controllers; ++c) {
    const Ref<CTavrixController> controller = engine.FindController(ControllerName(shape, c));
    if (!controller) return false;
    const std::vector<Ref<CTavrixItem>> items = controller->Items();
    if (static_cast<int>(items.size()) != shape.itemsPerController) return false;
    Variant value;
    if (FAILED(items[item]->get_Value(&value)) || !expected(value)) return false;
  }
  return true;
}

// --- A: CPU and memory of 100,000 unchanged items ----------------------------------

constexpr int kMemoryControllers = 10;
constexpr int kMemoryItemsPerController = 10000;

struct SimAlone {
  int64_t rss = 0;
  int64_t heap = 0;
};

// The simulator with the same controllers and variables, opened and read once
// without Tavrix, in a child process of its own so that nothing else counts.
SimAlone MeasureSimulatorAlone(const ProjectShape& shape) {
  int fds[2];
  SimAlone result{-1, -1};
  if (pipe(fds) != 0) return result;
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    const int64_t rss0 = RssBytes();
    const int64_t heap0 = HeapInUse();
    Ref<IZeltEngine> zelt = CreateZeltEngine();
    Ref<IZeltWorkspaces> spaces;
    Ref<IZeltWorkspace> workspace;
    std::vector<Ref<IZeltController>> controllers;
    std::vector<Ref<IZeltVariable>> variables;
    variables.reserve(static_cast<size_t>(shape.controllers) * shape.itemsPerController);
    bool ok = SUCCEEDED(zelt->get_Workspaces(&spaces)) &&
              SUCCEEDED(spaces->Item(Variant::I4(0), &workspace));
    for (int c = 0; ok && c < shape.controllers; ++c) {
      const std::string name = ControllerName(shape, c);
      Ref<IZeltController> controller;
      Ref<IZeltVariables> list;
      ok = SUCCEEDED(workspace->AddController(name, "ZeltProv.Sim", name, "", &controller)) &&
           SUCCEEDED(controller->get_Variables(&list));
      for (int i = 0; ok && i < shape.itemsPerController; ++i) {
        Ref<IZeltVariable> v;
        Variant value;
        ok = SUCCEEDED(list->Add(shape.variable(i), "", &v)) && SUCCEEDED(v->get_Value(&value));
        variables.push_back(std::move(v));
      }
      controllers.push_back(std::move(controller));
    }
    SimAlone measured{ok ? RssBytes() - rss0 : -1, ok ? HeapInUse() - heap0 : -1};
    const ssize_t written = write(fds[1], &measured, sizeof measured);
    _exit(written == sizeof measured ? 0 : 1);
  }
  close(fds[1]);
  if (child > 0) {
    if (read(fds[0], &result, sizeof result) != sizeof result) result = {-1, -1};
    waitpid(child, nullptr, 0);
  }
  close(fds[0]);
  return result;
}

// `baseline`: the same controllers with one item each, for the cost of the
// controllers alone (their sampling threads and sleeps).
int RunA(int seconds, bool baseline) {
  ScratchDir dir;
  ProjectShape shape;
  shape.prefix = baseline ? "CpuBase" : "CpuMem";
  shape.controllers = kMemoryControllers;
  shape.itemsPerController = baseline ? 1 : kMemoryItemsPerController;
  shape.samplingMs = 1000;
  shape.variable = Constant;
  const int items = shape.controllers * shape.itemsPerController;
  const std::string project = dir.path() + "/project.xml";
  if (dir.path().empty() || !WriteProject(project, shape)) {
    std::fprintf(stderr, "A: cannot write the project\n");
    return 1;
  }
  // Before any thread exists: the child is a plain copy of this process.
  const SimAlone sim = baseline ? SimAlone{} : MeasureSimulatorAlone(shape);

  QuietLog log;
  SetLogSink(&log);
  CycleLog cycles;
  cycles.Install();
  malloc_trim(0);
  const int64_t rss0 = RssBytes();
  const int64_t heap0 = HeapInUse();

  EngineRun run;
  const auto startAt = SteadyClock::now();
  if (!StartSampling("A", run, project, [&] { return cycles.AllStarted(shape.controllers, 2); },
                     120, log)) {
    return 1;
  }
  const double startSeconds = SecondsBetween(startAt, SteadyClock::now());
  // The first cycles are behind; one more second lets the start settle.
  std::this_thread::sleep_for(std::chrono::seconds(1));

  const auto t0 = SteadyClock::now();
  const int64_t cpu0 = ProcessCpuMicros();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const int64_t cpu1 = ProcessCpuMicros();
  const auto t1 = SteadyClock::now();
  const int64_t rss1 = RssBytes();
  const int64_t heap1 = HeapInUse();
  const double wall = SecondsBetween(t0, t1);
  const size_t ran = cycles.CyclesIn(t0, t1);
  const int last = shape.itemsPerController - 1;
  const bool sampled = ItemsHold(run.engine(), shape, last, [&](const Variant& v) {
    return v.vt() == VT_I4 && v.i4() == last;
  });
  const double cpuPercent = 100.0 * static_cast<double>(cpu1 - cpu0) / 1e6 / wall;
  const std::vector<double> gaps = cycles.GapsMs(t0, t1);
  const double longestGap = gaps.empty() ? 0 : *std::max_element(gaps.begin(), gaps.end());
  const std::string check =
      Format("cycles in the %.2f s window: %zu (%d controllers at 1/s: %.0f expected), "
             "longest gap %.1f ms; last item of each controller holds its value: %s",
             wall, ran, shape.controllers, wall * shape.controllers,
             longestGap, sampled ? "yes" : "NO");

  if (baseline) {
    Figure("A. baseline: same controllers, 1 item each", cpuPercent, "% of a core",
           "(the controllers' own cost)");
    Note(check);
  } else {
    std::printf("A. %d unchanged items on %d simulated controllers at %d ms, history off\n",
                items, shape.controllers, shape.samplingMs);
    Note(Format("engine start to every controller's second cycle: %.2f s", startSeconds));
    Note(check);
    Figure("A. CPU per second of sampling", cpuPercent, "% of a core", "(target < 5 %)");
    Figure("A. memory per item (RSS growth / items)", static_cast<double>(rss1 - rss0) / items,
           "bytes/item", "(target < 1024)");
    Figure("A.   of which the Zelt simulator alone", static_cast<double>(sim.rss) / items,
           "bytes/item", "(same variables, opened and read without Tavrix)");
    Figure("A.   Tavrix share (difference)",
           static_cast<double>(rss1 - rss0 - sim.rss) / items, "bytes/item", "(target < 1024)");
    Figure("A. heap in use per item (malloc)", static_cast<double>(heap1 - heap0) / items,
           "bytes/item", Format("(simulator alone %.1f)", static_cast<double>(sim.heap) / items));
  }

  run.Stop();
  SetLogSink(nullptr);
  log.Print();
  return sampled && ran > 0 ? 0 : 1;
}

// --- B: cycle-start jitter -------------------------------------------------------

int RunB(int seconds) {
  ScratchDir dir;
  ProjectShape shape;
  shape.prefix = "Jitter";
  shape.controllers = 1;
  shape.itemsPerController = 1000;
  shape.samplingMs = 100;
  shape.variable = Constant;
  const std::string project = dir.path() + "/project.xml";
  if (dir.path().empty() || !WriteProject(project, shape)) {
    std::fprintf(stderr, "B: cannot write the project\n");
    return 1;
  }
  QuietLog log;
  SetLogSink(&log);
  CycleLog cycles;
  cycles.Install();
  EngineRun run;
  if (!StartSampling("B", run, project, [&] { return cycles.AllStarted(1, 3); }, 60, log)) {
    return 1;
  }
  const auto from = SteadyClock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const auto to = SteadyClock::now();
  run.Stop();
  SetLogSink(nullptr);

  std::vector<double> deviations;  // ms
  double signedSum = 0;
  for (const double gapMs : cycles.GapsMs(from, to)) {
    signedSum += gapMs - shape.samplingMs;
    deviations.push_back(std::fabs(gapMs - shape.samplingMs));
  }
  if (deviations.size() < 2) {
    std::fprintf(stderr, "B: too few cycles in the window (%zu)\n", deviations.size());
    return 1;
  }
  std::sort(deviations.begin(), deviations.end());
  auto percentile = [&](double p) {
    const size_t at = static_cast<size_t>(std::ceil(p / 100.0 * deviations.size())) - 1;
    return deviations[std::min(at, deviations.size() - 1)];
  };
  std::printf("B. %d unchanged items on one simulated controller at %d ms\n",
              shape.itemsPerController, shape.samplingMs);
  Note(Format("%zu cycle gaps in %.2f s; deviation = |gap - %d ms|; max %.3f ms; "
              "mean gap - interval %+.3f ms; longest scan %u ms",
              deviations.size(), SecondsBetween(from, to), shape.samplingMs, deviations.back(),
              signedSum / deviations.size(), cycles.LongestScanMs()));
  Figure("B. cycle start deviation p50", percentile(50), "ms", "");
  Figure("B. cycle start deviation p99", percentile(99), "ms", "(target < 2 ms)");
  log.Print();
  return 0;
}

// --- C: collection with history into SQLite ----------------------------------------

constexpr int kHistoryControllers = 10;
constexpr int kHistoryItemsPerController = 1000;
constexpr int kHistorySamplingMs = 100;

int64_t QueryInt(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  int64_t value = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    value = sqlite3_column_int64(statement, 0);
  }
  sqlite3_finalize(statement);
  return value;
}

bool CreateHistoryTable(const std::string& path) {
  std::ifstream schemaFile(TAVRIX_HISTORY_SCHEMA_DIR "/history_sqlite.sql");
  std::stringstream schema;
  schema << schemaFile.rdbuf();
  sqlite3* db = nullptr;
  bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
            sqlite3_exec(db, schema.str().c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok && !schema.str().empty();
}

int RunC(int seconds) {
  ScratchDir dir;
  ProjectShape shape;
  shape.prefix = "Hist";
  shape.controllers = kHistoryControllers;
  shape.itemsPerController = kHistoryItemsPerController;
  shape.samplingMs = kHistorySamplingMs;
  shape.historyDatabase = dir.path() + "/history.db";
  shape.variable = Counting;
  const std::string project = dir.path() + "/project.xml";
  if (dir.path().empty() || !WriteProject(project, shape) ||
      !CreateHistoryTable(shape.historyDatabase)) {
    std::fprintf(stderr, "C: cannot write the project or the history table\n");
    return 1;
  }
  sqlite3* reader = nullptr;
  if (sqlite3_open_v2(shape.historyDatabase.c_str(), &reader, SQLITE_OPEN_READONLY, nullptr) !=
      SQLITE_OK) {
    std::fprintf(stderr, "C: cannot open the history database\n");
    return 1;
  }
  auto lastRow = [&] { return QueryInt(reader, "SELECT IFNULL(MAX(rowid), 0) FROM TavrixHistory"); };

  QuietLog log;
  SetLogSink(&log);
  CycleLog cycles;
  cycles.Install();
  EngineRun run;
  if (!StartSampling("C", run, project, [&] { return cycles.AllStarted(shape.controllers, 2); },
                     60, log)) {
    sqlite3_close(reader);
    return 1;
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));

  const auto t0 = SteadyClock::now();
  const int64_t cpu0 = ProcessCpuMicros();
  const int64_t row0 = lastRow();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const int64_t row1 = lastRow();
  const int64_t cpu1 = ProcessCpuMicros();
  const auto t1 = SteadyClock::now();
  const size_t ran = cycles.CyclesIn(t0, t1);
  run.Stop();
  SetLogSink(nullptr);

  // Rows are numbered in insertion order, so the window's rows are those
  // between the two marks.
  const std::string window =
      " FROM TavrixHistory WHERE rowid > " + std::to_string(row0) + " AND rowid <= " +
      std::to_string(row1);
  const int64_t itemRows = QueryInt(reader, "SELECT COUNT(*)" + window +
                                                " AND item_name NOT LIKE '$$%'");
  const int64_t markerRows = QueryInt(reader, "SELECT COUNT(*)" + window +
                                                  " AND item_name LIKE '$$%'");
  const int64_t total = QueryInt(reader, "SELECT COUNT(*) FROM TavrixHistory");
  const int64_t totalItems =
      QueryInt(reader, "SELECT COUNT(*) FROM TavrixHistory WHERE item_name NOT LIKE '$$%'");
  // A counter that moved on every cycle records each step once: a row holds
  // value n and the row before it of the same item value n - 1.
  const int64_t distinctRows = QueryInt(
      reader, "SELECT COUNT(DISTINCT controller_name || '/' || item_name || '/' || item_value)" +
                  window + " AND item_name NOT LIKE '$$%'");
  sqlite3_close(reader);

  const double wall = SecondsBetween(t0, t1);
  const double nominalCycles = wall * shape.controllers * 1000.0 / shape.samplingMs;
  const int64_t changes = static_cast<int64_t>(ran) * shape.itemsPerController;
  std::printf("C. %d counters on each of %d simulated controllers at %d ms, history to SQLite\n",
              shape.itemsPerController, shape.controllers, shape.samplingMs);
  Note(Format("window %.2f s: %zu cycles of %.0f scheduled (%.1f %%); %lld values sampled, "
              "%lld item rows and %lld marker rows recorded, %lld distinct",
              wall, ran, nominalCycles, 100.0 * ran / nominalCycles,
              static_cast<long long>(changes), static_cast<long long>(itemRows),
              static_cast<long long>(markerRows), static_cast<long long>(distinctRows)));
  Note(Format("table after the run: %lld rows (%lld item rows)", static_cast<long long>(total),
              static_cast<long long>(totalItems)));
  Figure("C. history rows recorded per second", itemRows / wall, "rows/s",
         Format("(%d rows/s offered at the schedule)",
                shape.controllers * shape.itemsPerController * 1000 / shape.samplingMs));
  Figure("C. CPU per recorded row", itemRows > 0 ? static_cast<double>(cpu1 - cpu0) / itemRows : 0,
         "us/row", Format("(process CPU %.1f %% of a core)",
                          100.0 * static_cast<double>(cpu1 - cpu0) / 1e6 / wall));
  log.Print();
  return itemRows > 0 ? 0 : 1;
}

// --- Driver ------------------------------------------------------------------------

int RunPhase(const std::string& phase, int seconds) {
  if (phase == "A") return RunA(seconds, false);
  if (phase == "A0") return RunA(seconds, true);
  if (phase == "B") return RunB(seconds);
  if (phase == "C") return RunC(seconds);
  std::fprintf(stderr, "usage: tavrix_cycle_bench [A|A0|B|C]\n");
  return 2;
}

// Each figure in a fresh process: the simulator's state, the history manager
// and the heap all start clean.
int RunChild(const char* self, const char* phase) {
  std::fflush(stdout);
  char* argv[] = {const_cast<char*>(self), const_cast<char*>(phase), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, environ) != 0) return 1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return 1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = WindowSeconds();
  if (argc > 1) return RunPhase(argv[1], seconds);
  std::printf("whole sampling cycle through the engine; windows of %d s (TAVRIX_BENCH_SECONDS)\n",
              seconds);
  int failed = 0;
  for (const char* phase : {"A", "A0", "B", "C"}) {
    if (RunChild(argv[0], phase) != 0) {
      std::fprintf(stderr, "figure %s failed\n", phase);
      ++failed;
    }
  }
  return failed == 0 ? 0 : 1;
}
