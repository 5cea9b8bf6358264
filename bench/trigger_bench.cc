// Trigger trees: what a tree of 100 evaluations and 100 put-value actions
// costs, per node beside a plain virtual call chain doing the same compare
// and store, and beside a sampling pass over 1,000 items.
//
//   N  the tree executed directly (a real controller, real nodes): ns per
//      node, beside 200 virtual calls that compare a value and store one.
//   C  one pass of the tree beside one sampling pass over the controller's
//      1,000 items (each item's ReadValue, as the cycle reads them), on the
//      same controller: what the tree adds to a cycle of 1,000 items
//      (target: under 10 %), and the CPU the trees of 10 controllers at
//      100 ms take per second.
//
// Each figure is the median of several runs, beside its baseline from the
// same run. The process CPU of whole engine runs, with and without trees,
// varies between runs on these machines by more than the trees cost, so
// both figures time the work itself.
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

#include "bench/bench_engine.h"
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


// The definitions of TreeXml(), as the reader makes them.
TriggerExInfo TreeDefinitions() {
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
  return info;
}

void FigureN(TriggerTree& tree) {
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
  bench::Report("N tree node (evaluation or put value)", bench::Median(treeNs), "virtual compare/store",
                bench::Median(plainNs));
}

void FigureC(CTavrixController& controller, TriggerTree& tree) {
  const std::vector<Ref<CTavrixItem>> items = controller.Items();
  std::vector<double> treeUs;
  std::vector<double> cycleUs;
  for (int r = 0; r < 7; ++r) {
    cycleUs.push_back(bench::NsPerOp(50, [&](size_t) {
                        for (const Ref<CTavrixItem>& item : items) {
                          bool deviceRead = false;
                          bench::KeepAlive(item->ReadValue(0, &deviceRead));
                        }
                      }, 1) / 1000.0);
    treeUs.push_back(bench::NsPerOp(50, [&](size_t) {
                       (void)tree.UpdateCache(kKindCycle);
                       (void)tree.Execute(kKindCycle, nullptr);
                     }, 1) / 1000.0);
  }
  const double t = bench::Median(treeUs);
  const double c = bench::Median(cycleUs);
  std::printf("C tree pass (%d+%d nodes) %17.1f us   baseline pass of %zu item reads %9.1f us   "
              "extra %5.1f %% (target < 10 %%)\n",
              kNodes, kNodes, t, items.size(), c, c > 0 ? t / c * 100 : 0.0);
  std::printf("C trees of %d controllers at 100 ms %11.2f ms CPU per second\n", kControllers,
              t * kControllers * 10 / 1000.0);
}

void Figures(bool n, bool c) {
  // One controller whose own sampling stays out of the way (one cycle in
  // 100 s): the figures drive its items and a tree of their own.
  const std::string path = WriteProject(ProjectXml(1, true, 100000), "n.xml");
  bench::EngineRun run(path);
  std::filesystem::remove(path);
  if (!run.started()) {
    std::printf("the engine did not start\n");
    return;
  }
  Ref<CTavrixController> controller = run.engine().FindController("B0");
  // The controller activates on a thread of its own; its temporary items
  // and items are ready once its own tree is initialised.
  for (int i = 0; i < 1000 && controller->triggerInitResult() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const TriggerExInfo definitions = TreeDefinitions();
  std::unique_ptr<CTavrixTriggerObserverEx> root;
  if (FAILED(BuildTriggerTree(*controller, definitions, &root))) {
    std::printf("the tree did not build\n");
    return;
  }
  TriggerTree tree(std::move(root), definitions);
  if (const HRESULT hr = tree.Initialize(*controller); FAILED(hr)) {
    std::printf("the tree did not initialise (0x%08x)\n", hr.bits());
    return;
  }
  if (n) FigureN(tree);
  if (c) FigureC(*controller, tree);
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
  Figures(which.empty() || which == "N", which.empty() || which == "C");
  return 0;
}
