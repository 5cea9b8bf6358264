// Item calculations: what a list of 10 operations per item costs on 10,000
// items sampled once a second.
//
//   P  one operation of an item's list (CTavrixCalcItem::Calculate, through
//      the operation table, operands read from constants), beside the same
//      arithmetic on Variant with the platform functions directly.
//   C  one sampling pass over 10,000 items with 10 calculations each, beside
//      the same pass over 10,000 items without calculations, in one engine:
//      the difference is the CPU the calculations add per second at 1 s.
//
// Each figure is the median of several runs, beside its baseline from the
// same run.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_engine.h"
#include "bench/bench_util.h"
#include "calc/calc_install.h"
#include "controller/controller.h"
#include "engine/engine_man.h"
#include "item/item.h"
#include "platform/arith.h"
#include "platform/log.h"

using namespace tavrix;

namespace {

constexpr int kItems = 10000;

// The 10 calculations of every item: code and constant operand.
struct Step {
  int code;
  const char* operand;
};
constexpr Step kSteps[] = {{1, "1"},    {3, "2"},     {2, "3"},  {4, "4"}, {1, "5"},
                           {35, "1000"}, {36, "-1000"}, {21, ""}, {3, "1.5"}, {2, "0.5"}};

std::string CalcList() {
  std::string xml = "<CalculationList>";
  for (const Step& s : kSteps) {
    xml += "<Calculation><m_lCalcIndex>" + std::to_string(s.code) + "</m_lCalcIndex><m_strItem>" +
           s.operand + "</m_strItem></Calculation>";
  }
  return xml + "</CalculationList>";
}

std::string ControllerXml(const std::string& name, bool withCalcs) {
  std::string xml = "<INode Type=\"clsTavrixController\"><clsTavrixController><m_strCtrlName>bench_" +
                    name + "_" + std::to_string(getpid()) + "</m_strCtrlName><RSQLCtrlName>" +
                    name +
                    "</RSQLCtrlName><m_bEnabled>True</m_bEnabled><m_strProvider>ZeltProv.Sim"
                    "</m_strProvider><m_lSamplingRate>100000</m_lSamplingRate><m_bStartup>True"
                    "</m_bStartup></clsTavrixController><Text>" + name + "</Text>\n";
  const std::string calcs = withCalcs ? CalcList() : std::string();
  for (int i = 0; i < kItems; ++i) {
    // The counter advances on every read, so every pass computes and stores.
    xml += "<INode Type=\"clsTavrixItem\"><clsTavrixItem><m_strItemName>I" + std::to_string(i) +
           "</m_strItemName><m_bEnabled>True</m_bEnabled><m_bVariableEnabled>True"
           "</m_bVariableEnabled><m_strVarName>counter:" + std::to_string(i) +
           ":1</m_strVarName>" + calcs + "</clsTavrixItem></INode>\n";
  }
  return xml + "</INode>\n";
}

std::string WriteProject() {
  const std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TavrixProject><Version>1.2.0</Version>\n"
      "<INode Type=\"clsTavrixWorkspace\"><clsTavrixWorkspace></clsTavrixWorkspace>\n" +
      ControllerXml("Calc", true) + ControllerXml("Plain", false) + "</INode></TavrixProject>\n";
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("tavrix_calc_bench_" + std::to_string(getpid()) + ".xml");
  std::ofstream(path) << xml;
  return path.string();
}

// The same arithmetic as kSteps, on Variant with the platform functions.
HRESULT Direct(Variant* v) {
  static const Variant c1 = Variant::R8(1), c2 = Variant::R8(2), c3 = Variant::R8(3),
                       c4 = Variant::R8(4), c5 = Variant::R8(5), hi = Variant::R8(1000),
                       lo = Variant::R8(-1000), c15 = Variant::R8(1.5), c05 = Variant::R8(0.5);
  Variant r;
  RETURN_IF_FAILED(VarAdd(*v, c1, &r));
  RETURN_IF_FAILED(VarMul(r, c2, &r));
  RETURN_IF_FAILED(VarSub(r, c3, &r));
  RETURN_IF_FAILED(VarDiv(r, c4, &r));
  RETURN_IF_FAILED(VarAdd(r, c5, &r));
  if (VarCmp(hi, r) == VARCMP_LT) r = hi;  // minimum
  if (VarCmp(lo, r) == VARCMP_GT) r = lo;  // maximum
  RETURN_IF_FAILED(VarAbs(r, &r));
  RETURN_IF_FAILED(VarMul(r, c15, &r));
  RETURN_IF_FAILED(VarSub(r, c05, &r));
  *v = std::move(r);
  return S_OK;
}

void WaitActive(CTavrixController& c) {
  for (int i = 0; i < 3000 && c.State() != tvCtrlThreadActive; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

// Keeps the engine's lines off the figures.
class SilentLog final : public LogSink {
 public:
  void Write(uint32_t, HRESULT, std::string_view) override {}
};

int main() {
  SilentLog silent;
  SetLogSink(&silent);
  InstallCalculations();
  const std::string path = WriteProject();
  bench::EngineRun run(path);
  std::filesystem::remove(path);
  if (!run.started()) {
    std::printf("the engine did not start\n");
    return 1;
  }
  Ref<CTavrixController> calc = run.engine().FindController("Calc");
  Ref<CTavrixController> plain = run.engine().FindController("Plain");
  WaitActive(*calc);
  WaitActive(*plain);
  const std::vector<Ref<CTavrixItem>> calcItems = calc->Items();
  const std::vector<Ref<CTavrixItem>> plainItems = plain->Items();

  // P: a list of the 10 calculations, built the way an item builds its own,
  // applied to a value.
  std::vector<std::unique_ptr<IItemCalculation>> list;
  for (const Step& s : kSteps) {
    std::unique_ptr<IItemCalculation> c;
    if (ItemCalcFactory::Instance().setup(*calcItems[0], {s.code, s.operand}, &c) == S_OK) {
      list.push_back(std::move(c));
    }
  }
  if (list.size() != std::size(kSteps)) {
    std::printf("the calculations did not build\n");
    return 1;
  }
  std::vector<double> opNs, directNs;
  for (int r = 0; r < 7; ++r) {
    opNs.push_back(bench::NsPerOp(100000, [&](size_t i) {
                     Variant v = Variant::I4(static_cast<int32_t>(i));
                     for (auto& c : list) (void)c->Calculate(&v);
                     bench::KeepAlive(v.r8());
                   }, 1) / std::size(kSteps));
    directNs.push_back(bench::NsPerOp(100000, [&](size_t i) {
                         Variant v = Variant::I4(static_cast<int32_t>(i));
                         (void)Direct(&v);
                         bench::KeepAlive(v.r8());
                       }, 1) / std::size(kSteps));
  }
  bench::Report("P calculation operation", bench::Median(opNs), "Var* on Variant directly",
                bench::Median(directNs));

  // C: sampling passes of both controllers' items, alternated.
  auto pass = [](const std::vector<Ref<CTavrixItem>>& items) {
    return bench::NsPerOp(1, [&](size_t) {
             for (const Ref<CTavrixItem>& item : items) {
               bool deviceRead = false;
               bench::KeepAlive(item->ReadValue(0, &deviceRead));
             }
           }, 1) / 1e6;
  };
  std::vector<double> calcMs, plainMs;
  for (int r = 0; r < 9; ++r) {
    calcMs.push_back(pass(calcItems));
    plainMs.push_back(pass(plainItems));
  }
  const double withCalcs = bench::Median(calcMs);
  const double without = bench::Median(plainMs);
  std::printf("C pass of %d items with 10 calculations %9.2f ms   baseline without %9.2f ms   "
              "calculations add %.2f ms CPU per second at 1 s (%.2f %% of a core)\n",
              kItems, withCalcs, without, withCalcs - without, (withCalcs - without) / 10.0);
  return 0;
}
