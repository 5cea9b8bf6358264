// Trigger trees: what a tree of 100 evaluations and 100 put-value actions
// costs, per node beside a plain virtual call chain doing the same compare
// and store, and per cycle in a running engine.
//
//   N  the tree executed directly (a real controller, real nodes): ns per
//      node, beside 200 virtual calls that compare a value and store one.
//   C  10 controllers of 100 items at 100 ms, with and without the tree on
//      each controller: process CPU per cycle, and what the tree adds to a
//      cycle of 1,000 items (target: under 10 %).
//
// Each figure is the median of several runs, beside its baseline from the
// same run. TAVRIX_BENCH_SECONDS (default 4) sets each window of C.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_util.h"
#include "config/trigger_info.h"
#include "controller/controller.h"
#include "engine/engine_man.h"
#include "platform/arith.h"
#include "platform/log.h"
#include "trigger/node_factory.h"
#include "trigger/trigger_install.h"
#include "trigger/trigger_root.h"

using namespace tavrix;

namespace {

constexpr int kControllers = 10;
constexpr int kItems = 1000;
constexpr int kNodes = 100;  // evaluations, each with one put-value action

int WindowSeconds() {
  const char* text = std::getenv("TAVRIX_BENCH_SECONDS");
  const int n = text != nullptr ? std::atoi(text) : 0;
  return n > 0 ? n : 4;
}

int64_t ProcessCpuMicros() {
  struct rusage u {};
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000LL + u.ru_utime.tv_usec +
         u.ru_stime.tv_usec;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// 100 evaluations "item i > -1" (i over the items), each writing its index
// to a temporary item.
std::string TreeXml() {
  std::string xml = "<TempVariableList>t</TempVariableList>";
  for (int i = 0; i < kNodes; ++i) {
    const std::string n = std::to_string(i);
    xml += "<Evaluation><Description>e</Description><m_lId>" + n + "</m_lId><m_strName>I" +
           std::to_string(i % kItems) +
           "</m_strName><m_lCondition>3</m_lCondition><m_strThreshold>-1</m_strThreshold>"
           "<Action><m_strId>p" + n + "</m_strId><Description>p</Description><m_lId>" + n +
           "</m_lId><m_lAction>6</m_lAction><m_strPutItem>*t</m_strPutItem><m_strPutValue>" + n +
           "</m_strPutValue><m_lPutType>3</m_lPutType></Action></Evaluation>";
  }
  return xml;
}

std::string ProjectXml(int controllers, bool withTree, int rateMs) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TavrixProject><Version>1.4.0</Version>\n"
      "<INode Type=\"clsTavrixWorkspace\"><clsTavrixWorkspace></clsTavrixWorkspace>\n";
  const std::string tree = withTree ? TreeXml() : std::string();
  for (int c = 0; c < controllers; ++c) {
    const std::string name = "B" + std::to_string(c);
    xml += "<INode Type=\"clsTavrixController\"><clsTavrixController><m_strCtrlName>bench_" +
           name + "_" + std::to_string(getpid()) + (withTree ? "t" : "p") +
           "</m_strCtrlName><RSQLCtrlName>" + name +
           "</RSQLCtrlName><m_bEnabled>True</m_bEnabled><m_strProvider>ZeltProv.Sim"
           "</m_strProvider><m_lSamplingRate>" + std::to_string(rateMs) +
           "</m_lSamplingRate><m_bStartup>True</m_bStartup><TriggerEx>" + tree +
           "</TriggerEx></clsTavrixController><Text>" + name + "</Text>\n";
    for (int i = 0; i < kItems; ++i) {
      xml += "<INode Type=\"clsTavrixItem\"><clsTavrixItem><m_strItemName>I" + std::to_string(i) +
             "</m_strItemName><m_bEnabled>True</m_bEnabled><m_bVariableEnabled>True"
             "</m_bVariableEnabled><m_strVarName>counter:" + std::to_string(i) +
             ":0</m_strVarName></clsTavrixItem></INode>\n";
    }
    xml += "</INode>\n";
  }
  return xml + "</INode></TavrixProject>\n";
}

class EngineRun {
 public:
  explicit EngineRun(const std::string& projectPath) {
    engine_ = CTavrixEngineMan::GetInstance();
    EngineSettings settings;
    settings.dataPath = projectPath;
    engine_->SetSettings(settings);
    engine_->AddRef();
    started_ = SUCCEEDED(engine_->Initialize());
  }
  ~EngineRun() {
    engine_->Release();
    if (CTavrixEngineMan* left = CTavrixEngineMan::CurrentInstance()) left->Terminate();
  }
  bool started() const { return started_; }
  CTavrixEngineMan& engine() { return *engine_; }

 private:
  CTavrixEngineMan* engine_ = nullptr;
  bool started_ = false;
};

std::string WriteProject(const std::string& xml, const std::string& name) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("tavrix_trigger_bench_" + std::to_string(getpid()) + name);
  std::ofstream(path) << xml;
  return path.string();
}

// A 200-node chain of virtual calls doing what the tree's nodes do at their
// core: compare a cached value with a threshold, then store a value.
struct PlainNode {
  virtual ~PlainNode() = default;
  virtual int Run(Variant* slot) = 0;
};
struct PlainCompare final : PlainNode {
  Variant value = Variant::I4(5);
  Variant threshold = Variant::I4(-1);
  std::unique_ptr<PlainNode> next;
  int Run(Variant* slot) override {
    if (VarCmp(value, threshold) == VARCMP_GT && next) return next->Run(slot);
    return 0;
  }
};
struct PlainStore final : PlainNode {
  Variant value;
  explicit PlainStore(int v) : value(Variant::I4(v)) {}
  int Run(Variant* slot) override {
    *slot = value;
    return 1;
  }
};

void FigureN() {
  const std::string path = WriteProject(ProjectXml(1, true, 100000), "n.xml");
  EngineRun run(path);
  if (!run.started()) {
    std::printf("N: the engine did not start\n");
    return;
  }
  Ref<CTavrixController> controller = run.engine().FindController("B0");
  std::unique_ptr<CTavrixTriggerObserverEx> root;
  // The definitions of TreeXml(), built into a tree of our own.
  TriggerExInfo info;
  for (int i = 0; i < kNodes; ++i) {
    auto evaluation = std::make_unique<EvaluationExInfo>();
    evaluation->m_strDescription = "e";
    evaluation->m_lId = std::to_string(i);
    evaluation->m_strName = "I" + std::to_string(i % kItems);
    evaluation->m_lCondition = "3";
    evaluation->m_strThreshold = "-1";
    auto put = std::make_unique<ActionExInfo>();
    put->m_strId = "p" + std::to_string(i);
    put->m_lAction = "6";
    put->m_strPutItem = "*t";
    put->m_strPutValue = std::to_string(i);
    put->m_lPutType = "3";
    evaluation->m_nodes.push_back(std::move(put));
    info.m_nodes.push_back(std::move(evaluation));
  }
  if (FAILED(BuildTriggerTree(*controller, info, &root))) {
    std::printf("N: the tree did not build\n");
    return;
  }
  TriggerTree tree(std::move(root));
  if (FAILED(tree.Initialize(*controller))) {
    std::printf("N: the tree did not initialise\n");
    return;
  }
  std::vector<double> treeNs;
  std::vector<double> plainNs;
  std::vector<std::unique_ptr<PlainNode>> chain;
  for (int i = 0; i < kNodes; ++i) {
    auto compare = std::make_unique<PlainCompare>();
    compare->next = std::make_unique<PlainStore>(i);
    chain.push_back(std::move(compare));
  }
  Variant slot;
  for (int r = 0; r < 5; ++r) {
    treeNs.push_back(bench::NsPerOp(2000, [&](size_t) {
                       (void)tree.UpdateCache(kKindCycle);
                       (void)tree.Execute(kKindCycle, nullptr);
                     }, 1) / (2 * kNodes));
    plainNs.push_back(bench::NsPerOp(2000, [&](size_t) {
                        for (auto& node : chain) bench::KeepAlive(node->Run(&slot));
                      }, 1) / (2 * kNodes));
  }
  bench::Report("N tree node (evaluation or put value)", Median(treeNs), "virtual compare/store",
                Median(plainNs));
  std::filesystem::remove(path);
}

// Process CPU per controller cycle over one window.
double CpuPerCycleMs(bool withTree, int rateMs, int seconds) {
  const std::string path = WriteProject(ProjectXml(kControllers, withTree, rateMs),
                                        withTree ? "t.xml" : "p.xml");
  EngineRun run(path);
  std::filesystem::remove(path);
  if (!run.started()) return -1;
  std::this_thread::sleep_for(std::chrono::seconds(1));  // settle
  const int64_t cpu0 = ProcessCpuMicros();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const int64_t cpu1 = ProcessCpuMicros();
  const double cycles = kControllers * (seconds * 1000.0 / rateMs);
  return (cpu1 - cpu0) / 1000.0 / cycles;
}

void FigureC() {
  const int seconds = WindowSeconds();
  std::vector<double> with;
  std::vector<double> without;
  for (int r = 0; r < 3; ++r) {
    without.push_back(CpuPerCycleMs(false, 100, seconds));
    with.push_back(CpuPerCycleMs(true, 100, seconds));
  }
  const double w = Median(with);
  const double wo = Median(without);
  std::printf("C cycle CPU, 100 items + tree of %d+%d nodes   %9.4f ms   baseline without tree "
              "%9.4f ms   extra %5.1f %% (target < 10 %%)\n",
              kNodes, kNodes, w, wo, wo > 0 ? (w - wo) / wo * 100 : 0.0);
  std::printf("C tree CPU per cycle for %d controllers at 100 ms   %9.4f ms   per second %9.2f ms\n",
              kControllers, (w - wo) * kControllers, (w - wo) * kControllers * 10);
}

}  // namespace

// Keeps the engine's lines off the figures.
class SilentLog final : public LogSink {
 public:
  void Write(uint32_t, HRESULT, std::string_view) override {}
};

int main(int argc, char** argv) {
  SilentLog silent;
  SetLogSink(&silent);
  InstallTriggerEngine();
  const std::string which = argc > 1 ? argv[1] : "";
  if (which.empty() || which == "N") FigureN();
  if (which.empty() || which == "C") FigureC();
  return 0;
}
