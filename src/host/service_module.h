// CServiceModule: the one process-wide module object. It decides the mode at
// start (service under systemd or local server), runs the main routine
// (settings, engine start, the main thread's queue, engine stop), holds the
// system settings and owns the logger every line goes through.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "host/logger.h"
#include "host/system_settings.h"
#include "platform/main_queue.h"
#include "platform/result.h"
#include "platform/settings_file.h"

namespace tavrix {

class CServiceModule;

// What the main routine starts and stops: the engine manager. Until a caller
// sets them, the engine start succeeds with nothing to start.
struct EngineHooks {
  // Called once on the main thread after the settings are read; a failure
  // skips the message loop.
  std::function<HRESULT(CServiceModule&)> initialize;
  // Called on the main thread after the message loop ends.
  std::function<void()> terminate;
  // Called on the main thread for the DDE advise message (wparam topic,
  // lparam item); returns false when the post-advise failed.
  std::function<bool(uintptr_t topic, uintptr_t item)> ddeAdvise;
};

class CServiceModule {
 public:
  // The process's module. Created on first use; lives until process exit.
  static CServiceModule& Instance();

  CServiceModule();
  ~CServiceModule();
  CServiceModule(const CServiceModule&) = delete;
  CServiceModule& operator=(const CServiceModule&) = delete;

  void SetEngineHooks(EngineHooks hooks) { hooks_ = std::move(hooks); }

  // The entry: handles the switches, decides the mode and runs the main
  // routine. Returns the process exit code.
  int Start(int argc, char** argv);

  // The main routine (both modes): hand-shake, settings, "Service started",
  // priority, locale, engine start, message loop, engine stop.
  void RunMain();

  // The module lock count of a local server: objects held by clients take a
  // lock; when an unlock brings the count to zero outside service mode the
  // quit message is posted and the process ends.
  void Lock();
  void Unlock();

  // Asks the main thread to stop (the service's stop control).
  void PostQuit() { MainQueue::Instance().PostQuit(); }
  // Posts the DDE advise message to the main thread.
  bool PostDdeAdvise(uintptr_t topic, uintptr_t item);

  const SystemSettings& settings() const { return settings_; }
  // Clears a server flag when that server failed to start (main thread only).
  SystemSettings& mutableSettings() { return settings_; }
  CLogger& logger() { return logger_; }
  bool serviceMode() const { return serviceMode_; }
  const std::string& settingsPath() const { return settingsPath_; }
  // "YYYYMMDDhhmmss", local time when the module was made.
  const std::string& startStamp() const { return startStamp_; }

  // Applies the priority class; false (and the reason in errno) when the
  // system refused it.
  static bool ApplyPriority(PriorityClass priority);

 private:
  void ReadSettings();
  void ApplyLocale();
  void RunMessageLoop();

  EngineHooks hooks_;
  CLogger logger_;
  SystemSettings settings_;
  std::string settingsPath_;
  std::string startStamp_;
  bool serviceMode_ = true;
  std::atomic<int32_t> lockCount_{0};
};

}  // namespace tavrix
