// The tavrix executable: the server, and its registration switches.
#include <cstdio>
#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include "calc/calc_install.h"
#include "controller/controller_parts.h"
#include "engine/engine_man.h"
#include "host/service_module.h"
#include "trigger/trigger_install.h"

namespace {

using tavrix::CServiceModule;
using tavrix::CTavrixEngineMan;

// A local server holds one engine reference of its own from the start until
// the stop signal, as a client's engine object would: without it the engine
// would end as soon as the start gave back its own object's reference.
// Main thread only.
bool g_holdsEngine = false;

tavrix::EngineSettings EngineSettingsOf(const CServiceModule& module) {
  const tavrix::SystemSettings& s = module.settings();
  tavrix::EngineSettings e;
  e.dataPath = s.dataPath;
  e.dataReaderPath = s.dataReaderPath;
  e.serviceMode = module.serviceMode();
  e.ddeEnabled = s.ddeEnabled;
  e.kivServerEnabled = s.kivServerEnabled;
  e.coapServerEnabled = s.coapServerEnabled;
  e.lcid = s.lcid;
  e.notRepeatError = s.notRepeatError;
  e.asyncQueueLimit = static_cast<int32_t>(std::min<uint32_t>(s.asyncQueueLimit, INT32_MAX));
  return e;
}

void DropEngineHold(CServiceModule& module) {
  if (!g_holdsEngine) return;
  g_holdsEngine = false;
  // The last reference terminates and destroys the engine.
  if (CTavrixEngineMan* engine = CTavrixEngineMan::CurrentInstance()) engine->Release();
  module.Unlock();
}

tavrix::HRESULT StartEngine(CServiceModule& module) {
  CTavrixEngineMan* engine = CTavrixEngineMan::GetInstance();
  engine->SetSettings(EngineSettingsOf(module));
  if (!module.serviceMode()) {
    engine->AddRef();
    module.Lock();
    g_holdsEngine = true;
  }
  const tavrix::HRESULT hr = engine->Initialize();
  // A server that failed to start stays off for the rest of the process.
  const tavrix::EngineSettings after = engine->settings();
  tavrix::SystemSettings& settings = module.mutableSettings();
  settings.ddeEnabled = after.ddeEnabled;
  settings.kivServerEnabled = after.kivServerEnabled;
  settings.coapServerEnabled = after.coapServerEnabled;
  // A failed start has terminated the engine already; no message loop follows.
  if (hr.failed()) DropEngineHold(module);
  return hr;
}

// After the message loop: once, on the main thread, in both modes.
void StopEngine(CServiceModule& module) {
  DropEngineHold(module);
  // Service mode, or clients still holding references to a local server that
  // was told to stop: the engine is stopped here (Terminate runs only once).
  if (CTavrixEngineMan* engine = CTavrixEngineMan::CurrentInstance()) engine->Terminate();
}

void PrintUsage() {
  std::printf(
      "Usage: tavrix [--help | --version | -RegServer | -UnregServer | -Service]\n"
      "Tavrix collects data from industrial controllers into a history database.\n"
      "\n"
      "Without a switch the server starts: as a service when it is registered as one\n"
      "and systemd started it, otherwise as a local server that runs until SIGTERM or\n"
      "SIGINT. Its settings file is $TAVRIX_REGISTRY, else /etc/tavrix/tavrix.reg.\n"
      "\n"
      "  -RegServer    register as a local server in the settings file\n"
      "  -Service      register as a service (also writes the systemd unit\n"
      "                tavrix.service to /etc/systemd/system or $TAVRIX_UNIT_DIR)\n"
      "  -UnregServer  remove the registration and the unit\n"
      "  --help        print this text and exit\n"
      "  --version     print the version and exit\n");
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      PrintUsage();
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tavrix %s\n", TAVRIX_VERSION);
      return 0;
    }
  }
  CServiceModule& module = CServiceModule::Instance();
  // Controllers build their trigger trees with the trigger engine, and their
  // items' calculations and calculation lines with the calculation library.
  tavrix::InstallTriggerEngine();
  tavrix::InstallCalculations();
  // Every completed sampling cycle goes to the sampling-time-over log, which
  // writes the ones its settings call too long.
  tavrix::ControllerParts::Instance().cycleCompleted =
      [&module](const std::string& controller, uint32_t elapsedMs, uint32_t periodMs) {
        module.logger().LogSamplingTimeOver(controller, elapsedMs, periodMs);
      };
  tavrix::EngineHooks hooks;
  hooks.initialize = StartEngine;
  hooks.terminate = [&module] { StopEngine(module); };
  module.SetEngineHooks(std::move(hooks));
  return module.Start(argc, argv);
}
