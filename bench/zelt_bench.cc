// The Zelt stand-in's costs: get_Value calls on simulated variables, the floor
// under every sampling figure, each beside a plain mutex-protected read.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_util.h"
#include "platform/clock.h"
#include "platform/variant.h"
#include "zelt/engine.h"
#include "zelt/interfaces.h"

using namespace tavrix;
using tavrix::bench::KeepAlive;
using tavrix::bench::NsPerOp;
using tavrix::bench::Report;

namespace {

constexpr size_t kN = 1'000'000;

// The baseline: what a variable read would cost if it were only a locked load.
struct LockedCounter {
  std::mutex mutex;  // guards value
  int64_t value = 0;
  int64_t Read() {
    std::lock_guard lock(mutex);
    return ++value;
  }
};

std::string PerSecond(const std::string& name, double ns) {
  char buf[64];
  std::snprintf(buf, sizeof buf, " (%.2f M/s)", 1e3 / ns);
  return name + buf;
}

Ref<IZeltVariable> AddVariable(IZeltController* c, const char* name) {
  Ref<IZeltVariables> vars;
  Ref<IZeltVariable> v;
  if (c->get_Variables(&vars).failed() || vars->Add(name, "", &v).failed()) {
    std::fprintf(stderr, "cannot add %s\n", name);
    std::exit(1);
  }
  return v;
}

// Nanoseconds per call over all threads: `threads` threads each make
// `perThread` calls of fn at once; wall time divided by the total calls.
template <class Fn>
double NsPerOpThreads(int threads, size_t perThread, Fn fn) {
  std::atomic<int> ready{0};
  std::atomic<bool> go{false};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&] {
      ++ready;
      while (!go.load()) {
      }
      for (size_t i = 0; i < perThread; ++i) fn();
    });
  }
  while (ready.load() < threads) {
  }
  const auto start = std::chrono::steady_clock::now();
  go = true;
  for (std::thread& th : pool) th.join();
  const double ns =
      std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  return ns / static_cast<double>(threads * perThread);
}

}  // namespace

int main() {
  Ref<IZeltEngine> engine = CreateZeltEngine();
  Ref<IZeltWorkspaces> spaces;
  Ref<IZeltWorkspace> ws;
  Ref<IZeltController> c;
  if (engine->get_Workspaces(&spaces).failed() || spaces->Item(Variant::I4(0), &ws).failed() ||
      ws->AddController("Bench", "ZeltProv.Sim", "", "seed=1", &c).failed()) {
    std::fprintf(stderr, "cannot open the simulated controller\n");
    return 1;
  }
  LockedCounter locked;
  const double baseline = NsPerOp(kN, [&](size_t) { KeepAlive(locked.Read()); });

  struct Figure {
    const char* name;
    const char* variable;
  };
  for (const Figure& f :
       {Figure{"get_Value, cell (I4)", "cell"}, Figure{"get_Value, counter", "counter"},
        Figure{"get_Value, ramp", "ramp:0:100:0.5"}, Figure{"get_Value, random", "random:0:1"},
        Figure{"get_Value, sine", "sine:1:1000"},
        Figure{"get_Value, @CURRENT_TIME", "@CURRENT_TIME"},
        Figure{"get_Value, bytes:1024", "bytes:1024"}}) {
    Ref<IZeltVariable> v = AddVariable(c.get(), f.variable);
    if (std::string(f.variable) == "cell") (void)v->put_Value(Variant::I4(7));
    const double ns = NsPerOp(kN, [&](size_t) {
      Variant out;
      (void)v->get_Value(&out);
      KeepAlive(out);
    });
    Report(PerSecond(f.name, ns), ns, "mutex-protected counter read", baseline);
  }

  Ref<IZeltVariable> cell = AddVariable(c.get(), "late cell");
  (void)cell->put_Value(Variant::I4(7));
  DISPID id = DISPID_UNKNOWN;
  (void)cell->GetIDsOfNames("Value", &id);
  const double direct = NsPerOp(kN, [&](size_t) {
    Variant out;
    (void)cell->get_Value(&out);
    KeepAlive(out);
  });
  const double late = NsPerOp(kN, [&](size_t) {
    Variant out;
    (void)cell->Invoke(id, DISPATCH_PROPERTYGET, {}, &out);
    KeepAlive(out);
  });
  Report(PerSecond("Value through IDispatch::Invoke", late), late, "typed get_Value", direct);

  const double put =
      NsPerOp(kN, [&](size_t i) { (void)cell->put_Value(Variant::I4(static_cast<int32_t>(i))); });
  Report(PerSecond("put_Value, cell (I4)", put), put, "mutex-protected counter read", baseline);

  // Contention: the simulated device has one lock, as a real connection has one line.
  constexpr int kThreads = 4;
  Ref<IZeltVariable> counter = AddVariable(c.get(), "counter:0:2");
  const double shared = NsPerOpThreads(kThreads, kN / 4, [&] {
    Variant out;
    (void)counter->get_Value(&out);
    KeepAlive(out);
  });
  const double sharedBaseline = NsPerOpThreads(kThreads, kN / 4, [&] { KeepAlive(locked.Read()); });
  Report(PerSecond("get_Value, counter, 4 threads", shared), shared,
         "locked counter, 4 threads (wall)", sharedBaseline);
  return 0;
}
