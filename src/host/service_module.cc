#include "host/service_module.h"

#include <sys/resource.h>

#include <cerrno>
#include <cstdio>

#include "host/log_time.h"
#include "host/registration.h"
#include "host/switches.h"
#include "platform/handshake.h"
#include "platform/locale.h"
#include "platform/log.h"
#include "platform/service_notify.h"

namespace tavrix {
namespace {

// Nice values standing in for the priority classes.
int NiceOf(PriorityClass priority) {
  switch (priority) {
    case PriorityClass::kIdle: return 19;
    case PriorityClass::kBelowNormal: return 10;
    case PriorityClass::kNormal: return 0;
    case PriorityClass::kAboveNormal: return -5;
    case PriorityClass::kHigh: return -10;
    case PriorityClass::kRealtime: return -20;
  }
  return 0;
}

}  // namespace

CServiceModule& CServiceModule::Instance() {
  static CServiceModule module;
  return module;
}

CServiceModule::CServiceModule()
    : settingsPath_(SettingsFile::DefaultPath()), startStamp_(LocalTimeStamp14()) {}

CServiceModule::~CServiceModule() { SetLogSink(nullptr); }

int CServiceModule::Start(int argc, char** argv) {
  const Switch sw = ScanSwitches(JoinCommandLine(argc, argv));
  if (sw != Switch::kNone) return RunSwitch(sw, SwitchContext::ForProcess(settingsPath_));

  // Without a switch the application id decides the mode; a process that
  // cannot read it ends with that error before any log line.
  SettingsFile file;
  std::string error;
  HRESULT hr = SettingsFile::Load(settingsPath_, &file, &error);
  bool service = false;
  if (hr.succeeded()) {
    hr = ReadServiceMode(file, &service);
    if (hr.failed()) error = settingsPath_ + ": the server is not registered (run tavrix -RegServer)";
  }
  if (hr.failed()) {
    std::fprintf(stderr, "tavrix: %s\n", error.c_str());
    return static_cast<int>(hr.bits() & 0xFF) != 0 ? static_cast<int>(hr.bits() & 0xFF) : 1;
  }
  // Service mode needs systemd behind the process; started by hand, the same
  // registration runs as a local server.
  serviceMode_ = service && RunningUnderSystemd();
  if (serviceMode_) {
    ServiceNotify("STATUS=Starting");
    RunMain();
    ServiceNotify("STOPPING=1");
    Log(1, "Service stopped\n");
  } else {
    RunMain();
  }
  return 0;
}

void CServiceModule::ReadSettings() {
  SettingsFile file;
  std::string error;
  const HRESULT loaded = SettingsFile::Load(settingsPath_, &file, &error);
  if (loaded.failed()) Log(1, "ServiceModule : %s\n", error);
  const HRESULT hr = ReadSystemSettings(loaded.succeeded() ? &file : nullptr, startStamp_,
                                        &settings_, &logger_);
  if (hr.failed()) Log(1, "This system has not be configured yet.\n");
}

bool CServiceModule::ApplyPriority(PriorityClass priority) {
  return ::setpriority(PRIO_PROCESS, 0, NiceOf(priority)) == 0;
}

void CServiceModule::ApplyLocale() {
  if (settings_.lcid == 0) {
    settings_.lcid = LOCALE_USER_DEFAULT;
    return;
  }
  // The locale changes only conversions between numbers, dates and texts;
  // the process locale (setlocale) stays "C" so machine texts never change.
  if (!IsKnownLocale(settings_.lcid)) {
    settings_.lcid = LOCALE_USER_DEFAULT;
    Log(1, "Failed in setting set locale.\n");
    return;
  }
  // The default aliases (1024, 2048) keep the process default as it is.
  (void)SetDefaultLocale(settings_.lcid);
}

void CServiceModule::RunMessageLoop() {
  (void)MainQueue::Instance().Run([this](const MainMessage& message) {
    if (message.id != kMainMessageDdeAdvise) return;
    if (hooks_.ddeAdvise && !hooks_.ddeAdvise(message.wparam, message.lparam)) {
      Log(1, "DdePostAdvise() Failed\n");
    }
  });
}

void CServiceModule::RunMain() {
  // A stop signal from here on waits in the queue until the loop runs.
  if (MainQueue::Instance().CatchStopSignals().failed()) {
    Log(3, "ServiceModule : Failed in catching the stop signals.\n");
  }
  SetLogSink(&logger_);
  RunStartupHandshake();
  ReadSettings();
  Log(1, "ServiceModule : Service started\n");
  if (!ApplyPriority(settings_.priority)) Log(1, "Failed in setting process priority.\n");
  ApplyLocale();

  Lock();
  HRESULT hr = S_OK;
  if (hooks_.initialize) {
    hr = hooks_.initialize(*this);
  } else {
    // No engine to start: the module stands in for the engine's own object,
    // whose lock keeps a local server running until it is stopped.
    Lock();
  }
  Unlock();
  if (hr.failed()) return;
  if (serviceMode_) ServiceNotify("READY=1\nSTATUS=Running");
  RunMessageLoop();
  if (hooks_.terminate) {
    hooks_.terminate();
  } else {
    lockCount_.fetch_sub(1, std::memory_order_acq_rel);
  }
}

void CServiceModule::Lock() { lockCount_.fetch_add(1, std::memory_order_acq_rel); }

void CServiceModule::Unlock() {
  if (lockCount_.fetch_sub(1, std::memory_order_acq_rel) == 1 && !serviceMode_) {
    // The last reference is gone: a local server ends.
    PostQuit();
  }
}

bool CServiceModule::PostDdeAdvise(uintptr_t topic, uintptr_t item) {
  return MainQueue::Instance().Post(MainMessage{kMainMessageDdeAdvise, topic, item});
}

}  // namespace tavrix
