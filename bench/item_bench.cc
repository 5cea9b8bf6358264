// The cost of items: one pass of the read pipeline per item beside the bare
// simulated get_Value it wraps, measured in the same run, and the heap an
// item adds on top of its Zelt variable.
//
//   tavrix_item_bench [items]     (default 100000, spread over 10 controllers)
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_util.h"
#include "item/item.h"
#include "support/basic_owner.h"
#include "zelt/engine.h"
#include "zelt/interfaces.h"

using namespace tavrix;
using tavrix::bench::KeepAlive;
using tavrix::bench::NsPerOp;
using tavrix::bench::Report;

namespace {

constexpr int kControllers = 10;

size_t HeapInUse() { return mallinfo2().uordblks; }

struct Controller {
  Ref<IZeltController> device;
  std::unique_ptr<BasicItemOwner> owner;
  std::vector<Ref<IZeltVariable>> variables;  // the bare baseline
  std::vector<Ref<CTavrixItem>> items;
};

ItemRecord Record(const std::string& name) {
  ItemRecord r;
  r.m_strItemName = name;
  r.m_bEnabled = true;
  r.m_bVariableEnabled = true;
  r.m_strVarName = name;
  r.m_lRequestType = 12;
  r.m_lRequestTypeW = 12;
  r.m_lInitDataType = 3;
  r.m_bUseHistory = true;
  r.m_bOnChangeEvent = true;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  // The server always runs threads; glibc's locks take a cheaper path in a
  // process that never had a second one, which would flatter the figures.
  std::thread([] {}).join();
  const int total = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int perController = std::max(1, total / kControllers);

  Ref<IZeltEngine> engine = CreateZeltEngine();
  Ref<IZeltWorkspaces> spaces;
  Ref<IZeltWorkspace> workspace;
  if (engine->get_Workspaces(&spaces).failed() ||
      spaces->Item(Variant::I4(0), &workspace).failed()) {
    std::fprintf(stderr, "no Zelt workspace\n");
    return 1;
  }
  std::vector<Controller> controllers(kControllers);
  for (int c = 0; c < kControllers; ++c) {
    Controller& ctl = controllers[c];
    const std::string name = "Bench" + std::to_string(c);
    if (workspace->AddController(name, "ZeltProv.Sim", "", "", &ctl.device).failed()) {
      std::fprintf(stderr, "cannot open %s\n", name.c_str());
      return 1;
    }
    ctl.owner = std::make_unique<BasicItemOwner>(name);
    ctl.owner->SetConnection(ctl.device);
    ctl.owner->keepReports = false;
  }

  // The Zelt variables alone: plain cells holding a value that stays.
  const size_t heapStart = HeapInUse();
  for (Controller& ctl : controllers) {
    Ref<IZeltVariables> vars;
    (void)ctl.device->get_Variables(&vars);
    for (int i = 0; i < perController; ++i) {
      Ref<IZeltVariable> v;
      (void)vars->Add("v" + std::to_string(i), "", &v);
      (void)v->put_Value(Variant::I4(i));
      ctl.variables.push_back(std::move(v));
    }
  }
  const size_t heapVariables = HeapInUse();

  // The items over the same variables.
  for (Controller& ctl : controllers) {
    ctl.items.reserve(perController);
    for (int i = 0; i < perController; ++i) {
      auto item = MakeRef<CTavrixItem>();
      if (item->Initialize(i, Record("v" + std::to_string(i)), *ctl.owner) != S_OK ||
          item->Activate().failed()) {
        std::fprintf(stderr, "cannot make item %d\n", i);
        return 1;
      }
      ctl.items.push_back(std::move(item));
    }
  }
  const size_t heapItems = HeapInUse();
  const int made = perController * kControllers;

  // One pass over every item stores the first value; later passes see it
  // unchanged, as a settled plant does.
  for (Controller& ctl : controllers) {
    for (auto& item : ctl.items) (void)item->ReadValue(0, nullptr);
  }

  Controller& one = controllers[0];
  const size_t n = one.items.size();
  const double bare = NsPerOp(n, [&](size_t i) {
    Variant v;
    (void)one.variables[i]->get_Value(&v);
    KeepAlive(v);
  });
  const double pass = NsPerOp(n, [&](size_t i) { KeepAlive(one.items[i]->ReadValue(0, nullptr)); });
  // Every read sees a new value: the device write is measured alone and
  // taken off again.
  int32_t next = 1 << 20;
  const double changed = NsPerOp(n, [&](size_t i) {
    (void)one.variables[i]->put_Value(Variant::I4(++next));
    KeepAlive(one.items[i]->ReadValue(0, nullptr));
  });
  const double write =
      NsPerOp(n, [&](size_t i) { (void)one.variables[i]->put_Value(Variant::I4(++next)); });

  std::printf("items: %d on %d simulated controllers\n", made, kControllers);
  Report("item pass, value unchanged", pass, "bare get_Value", bare);
  Report("item pass, value changed (history, event)", changed - write,
         "bare get_Value", bare);
  const double cpu = pass * 100000.0 / 1e9;  // seconds of CPU per second of sampling
  std::printf("%-44s %9.2f %% of one core (100,000 items at 1 s, unchanged; target < 5 %%)\n",
              "sampling load", cpu * 100.0);
  std::printf("%-44s %9.0f bytes/item   (Zelt variable alone %.0f bytes; target < 1024)\n",
              "item memory on top of its variable",
              static_cast<double>(heapItems - heapVariables) / made,
              static_cast<double>(heapVariables - heapStart) / made);
  std::printf("%-44s %9zu bytes (settings %zu)\n", "item object", sizeof(CTavrixItem),
              sizeof(ItemSettings));

  for (Controller& ctl : controllers) {
    for (auto& item : ctl.items) {
      item->Deactivate();
      item->Terminate();
    }
  }
  return 0;
}
