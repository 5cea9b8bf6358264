// The script engine against Lua 5.4 on the same four programs (loops,
// arithmetic, strings, calls): each figure is the best of a few runs of a
// parsed script, beside `lua5.4` running the same program as a child process
// in the same run (its start-up measured with an empty program and taken
// off).
//
// Both sides are timed in CPU time (the script's thread; the child's user
// and system time), so other work on the machine does not tilt the ratio.
// The programs run long enough (tens of milliseconds in Lua) for the
// child's start-up to be a small correction.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "vbscript/script.h"

extern char** environ;

namespace {

using namespace tavrix;

struct Program {
  const char* name;
  const char* vbs;
  const char* lua;
};

const Program kPrograms[] = {
    {"loops (10M iterations, nested)",
     "Dim i, j, n\nn = 0\nFor i = 1 To 10000\nFor j = 1 To 1000\nn = n + 1\nNext\nNext\n",
     "local n = 0\nfor i = 1, 10000 do\nfor j = 1, 1000 do\nn = n + 1\nend\nend\n"},
    {"arithmetic (3M x 8 mixed ops)",
     "Dim i, x, y\nx = 0 : y = 1.5\nFor i = 1 To 3000000\n"
     "x = x + (i * 3 - i \\ 7) Mod 1000 + y / 2\nIf x > 100000 Then x = x - 100000\nNext\n",
     "local x, y = 0, 1.5\nfor i = 1, 3000000 do\n"
     "x = x + (i * 3 - i // 7) % 1000 + y / 2\nif x > 100000 then x = x - 100000 end\nend\n"},
    {"strings (600k concat, compare, length)",
     "Dim i, s, t, n\nn = 0\nFor i = 1 To 600000\ns = \"item\" & i\nt = s & \"-\" & s\n"
     "If t <> s Then n = n + Len(t)\nNext\n",
     "local n = 0\nfor i = 1, 600000 do\nlocal s = \"item\" .. i\nlocal t = s .. \"-\" .. s\n"
     "if t ~= s then n = n + #t end\nend\n"},
    {"calls (fib(27), 630k calls)",
     "Function Fib(n)\nIf n < 2 Then\nFib = n\nElse\nFib = Fib(n - 1) + Fib(n - 2)\nEnd If\n"
     "End Function\nDim r\nr = Fib(27)\n",
     "local function fib(n)\nif n < 2 then return n end\nreturn fib(n - 1) + fib(n - 2)\nend\n"
     "local r = fib(27)\n"},
};

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; }

double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// Best CPU time of `runs` runs of lua5.4 on `source`; negative when lua5.4
// cannot be run.
double LuaSeconds(const std::string& source, int runs) {
  char path[] = "/tmp/tavrix_bench_XXXXXX.lua";
  const int fd = mkstemps(path, 4);
  if (fd < 0) return -1;
  close(fd);
  std::ofstream(path) << source;
  char lua[] = "lua5.4";
  char* argv[] = {lua, path, nullptr};
  double best = 1e300;
  for (int r = 0; r < runs; ++r) {
    pid_t pid = 0;
    if (posix_spawnp(&pid, lua, nullptr, nullptr, argv, environ) != 0) {
      best = -1;
      break;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
      best = -1;
      break;
    }
    best = std::min(best, Seconds(usage.ru_utime) + Seconds(usage.ru_stime));
  }
  std::remove(path);
  return best;
}

double ScriptSeconds(const char* source, int runs) {
  double best = 1e300;
  for (int r = 0; r < runs; ++r) {
    vbs::ScriptEngine engine;
    if (engine.Parse(source).failed()) {
      std::fprintf(stderr, "parse failed: %s\n", engine.lastError().description.c_str());
      return -1;
    }
    const double start = ThreadSeconds();
    if (engine.RunModule().failed()) {
      std::fprintf(stderr, "run failed: %s line %d\n", engine.lastError().description.c_str(),
                   engine.lastError().line);
      return -1;
    }
    best = std::min(best, ThreadSeconds() - start);
  }
  return best;
}

}  // namespace

int main() {
  constexpr int kRuns = 5;
  const double startup = LuaSeconds("", kRuns);
  if (startup < 0) {
    std::printf("lua5.4 not found: install it (apt-get install lua5.4)\n");
    return 1;
  }
  for (const Program& p : kPrograms) {
    const double script = ScriptSeconds(p.vbs, kRuns);
    const double lua = std::max(LuaSeconds(p.lua, kRuns) - startup, 1e-6);
    std::printf("vbscript %-40s %8.1f ms   lua5.4 %8.1f ms   ratio %5.2f (target <= 3)\n", p.name,
                script * 1e3, lua * 1e3, script / lua);
  }
  return 0;
}
