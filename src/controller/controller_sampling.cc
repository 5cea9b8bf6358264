// The sampling thread: the controller's main loop. Every cycle reads the
// items, runs the script, the calculations and the trigger tree, writes the
// history markers, judges the cycle and sleeps until the next one.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <exception>
#include <new>
#include <thread>

#include "controller/controller.h"
#include "platform/clock.h"
#include "platform/log.h"

namespace tavrix {

namespace {

constexpr uint32_t kWorkerStartTimeoutMs = 60000;
constexpr uint32_t kWorkerStartPollMs = 3;

// The nice value standing for a platform thread priority.
int NiceOf(int priority) {
  switch (priority) {
    case -15: return 19;
    case -2: return 10;
    case -1: return 5;
    case 0: return 0;
    case 1: return -5;
    case 2: return -10;
    default: return priority > 0 ? -20 : 19;
  }
}

// The state a running sampling thread reports, unless sampling has been
// stopped: a Stop between the thread's test of the run event and its state
// change is put back, so a stopped controller never stays reported active.
void SetSamplingState(CTavrixController& controller, int32_t state) {
  if (!controller.runEvent().IsSet()) return;
  controller.SetState(state);
  if (!controller.runEvent().IsSet()) controller.SetState(tvCtrlThreadDeactive);
}

}  // namespace

HRESULT CTavrixController::StartWorker() {
  if (m_hWorkerThread) {
    Log(0, "TavrixController[%ls] : The worker thread has already spawned.\n", m_bstrTVXCtrlName);
    return E_FAIL;
  }
  m_hAbortActionEvent.Reset();
  auto thread = std::make_unique<ControllerThread>();
  if (FAILED(thread->Start("tvx-sample", [this] { WorkerBody(); }))) return E_HANDLE;
  ControllerThread* started = thread.get();
  m_hWorkerThread = std::move(thread);
  workerExists_ = true;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kWorkerStartTimeoutMs);
  // The thread sets the state once it runs; one that ended at once (told to
  // stop before it began) has nothing more to wait for.
  while (m_lState.load() == tvCtrlThreadUninit && !started->ended()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      LogResult(E_FAIL, 1,
                "TavrixController[%ls] : Timeout occurred during initializing a worker thread.\n",
                m_bstrTVXCtrlName);
      return S_FALSE;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kWorkerStartPollMs));
  }
  return S_OK;
}

HRESULT CTavrixController::ApplyWorkerPriority() {
  const int tid = workerTid_.load();
  if (tid == 0) return E_UNEXPECTED;
  const int nice = NiceOf(settings()->m_iThreadPriority);
  if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) != 0) {
    return E_ACCESSDENIED;
  }
  return S_OK;
}

void CTavrixController::SetCheckpoint(std::string_view text, std::string_view detail) {
  MutexLock lock(&checkpointLock_);
  // Assigned in place: once the text has grown to its longest, no allocation.
  checkpoint_.assign(text);
  checkpoint_.append(detail);
}

std::string CTavrixController::checkpoint() const {
  MutexLock lock(&checkpointLock_);
  return checkpoint_;
}

ScanTimes CTavrixController::scanTimes() const {
  MutexLock lock(&checkpointLock_);
  return scanTimes_;
}

void CTavrixController::SetSamplingMode(int32_t mode) {
  const char* line = nullptr;
  switch (mode) {
    case -1: line = "TavrixController[%ls] : Sampling thread is activated.\n"; break;
    case 0: line = "TavrixController[%ls] : Sampling thread is waiting for a trigger signal.\n"; break;
    case 1: line = "TavrixController[%ls] : Sampling thread is executed only one cycle.\n"; break;
    default: return;
  }
  if (samplingMode_.exchange(mode) != mode) Log(1, line, m_bstrTVXCtrlName);
}

void CTavrixController::ReportRead(bool good, bool deviceRead) {
  if (!good) {
    if (!reconnecting_.load()) failedCycles_.fetch_add(1);
  } else if (deviceRead) {
    failedCycles_.store(0);
  }
}

std::vector<Ref<CTavrixItem>> CTavrixController::BuildTriggerWaitList() {
  std::vector<Ref<CTavrixItem>> items;
  RecursiveMutexLock lock(&itemsLock_);
  if (CTavrixItem* watched = legacyTriggers_.watchedItem()) items.emplace_back(watched);
  if (triggerRoot_ && triggerInitResult_.load() == 1) triggerRoot_->CollectWatchedItems(*this, &items);
  return items;
}

CTavrixController::ReadStep CTavrixController::ReadCycleItem(CTavrixItem& item,
                                                              int64_t distributionSleep,
                                                              bool* allGood,
                                                              bool* noneFromDevice) {
  SetCheckpoint("CacheValue:", item.name());
  bool deviceRead = false;
  const HRESULT hr = item.ReadValue(0, &deviceRead);
  if (!item.notRecJudge()) {
    if (FAILED(hr)) {
      *allGood = false;
    } else if (deviceRead) {
      *noneFromDevice = false;
    }
  }
  if (m_hStopEvent.IsSet()) return ReadStep::kStopped;
  if (SamplingWatchdogExpired()) {
    (void)Stop();
    return ReadStep::kAbandoned;
  }
  if (distributionSleep > 0 &&
      AlertableWait(static_cast<uint32_t>(std::min<int64_t>(distributionSleep, kInfinite - 1)))) {
    return ReadStep::kStopped;
  }
  return ReadStep::kGoOn;
}

bool CTavrixController::ReadItems(const std::vector<Ref<CTavrixItem>>* waitList,
                                  int64_t distributionSleep, bool* allGood,
                                  bool* noneFromDevice, bool* abandoned) {
  // The items lock keeps every item alive; the bound and the slot are read
  // again for each item, so even a read that adds items walks safely.
  for (size_t i = 0; i < (waitList ? waitList->size() : items_.slotCount()); ++i) {
    CTavrixItem* item = waitList ? (*waitList)[i].get() : items_.slot(i);
    if (item == nullptr) continue;
    switch (ReadCycleItem(*item, distributionSleep, allGood, noneFromDevice)) {
      case ReadStep::kGoOn: break;
      case ReadStep::kStopped: return false;
      case ReadStep::kAbandoned: *abandoned = true; return true;
    }
  }
  return true;
}

bool CTavrixController::SamplingWatchdogExpired() const {
  const ControllerSettings& s = *cycleSettings_;
  return s.m_bWDTDS && s.m_lWDTAction == 1 && host_.IsVersionedProject() &&
         CycleElapsed(samplingWatchdogStart_, SystemClock().TickCount()) >
             static_cast<uint32_t>(std::max(s.m_lWDTTime, 0));
}

bool CTavrixController::AlertableWait(uint32_t ms) {
  const bool stopped = m_hStopEvent.Wait(ms) == WaitStatus::kSignaled;
  if (watchdogTimerOn_) {
    // The timer is due every period; a late wait catches up on every
    // expiry it missed.
    const uint32_t now = SystemClock().TickCount();
    while (watchdogTimerOn_ && static_cast<int32_t>(now - watchdogDue_) >= 0) {
      watchdogDue_ += watchdogPeriod_;
      RunWatchdogTimer();
    }
  }
  return stopped;
}

void CTavrixController::RunWatchdogTimer() {
  if (--watchdogCountdown_ >= 0) return;
  SetState(tvCtrlThreadError);
  watchdogCountdown_ = cycleSettings_->m_lWDTCount;
  if (cycleSettings_->m_lWDTAction == 1) (void)Stop();
}

void CTavrixController::StampPerformance(int word) {
  MutexLock lock(&performanceLock_);
  if (performance_) performance_->Stamp(word, SystemClock().TickCount());
}

HRESULT CTavrixController::ResetPerformanceData() {
  MutexLock lock(&performanceLock_);
  if (!performance_) {
    performance_.reset(new (std::nothrow) PerformanceSet());
    if (!performance_) return E_OUTOFMEMORY;
  }
  ++performanceSetCounter_;
  performance_->Reset();
  triggerPerformance_.Reset();
  RecursiveMutexLock items(&itemsLock_);
  if (triggerRoot_) triggerRoot_->ResetMeasurement();
  HRESULT result = S_OK;
  items_.ForEach([&](const Ref<CTavrixItem>& item) {
    if (SUCCEEDED(result)) result = item->ResetPerformance();
  });
  return result;
}

bool CTavrixController::PerformanceData(PerformanceSet::Snapshot* out) const {
  MutexLock lock(&performanceLock_);
  if (!performance_) return false;
  *out = performance_->Read();
  return true;
}

uint32_t CTavrixController::PerformanceSetCounter() const {
  MutexLock lock(&performanceLock_);
  return performanceSetCounter_;
}

HRESULT CTavrixController::Start() {
  if (!workerExists_.load() || m_hRunEvent.IsSet()) return S_FALSE;
  m_hRunEvent.Set();
  SetState(tvCtrlThreadActive);
  Log(1, "TavrixController[%ls] : Sampling Started.\n", m_bstrTVXCtrlName);
  return S_OK;
}

HRESULT CTavrixController::Stop() {
  if (!workerExists_.load() || !m_hRunEvent.IsSet()) return S_FALSE;
  m_hRunEvent.Reset();
  SetState(tvCtrlThreadDeactive);
  Log(1, "TavrixController[%ls] : Sampling Stopped.\n", m_bstrTVXCtrlName);
  return S_OK;
}

void CTavrixController::WorkerBody() {
  try {
    RunCycles();
  } catch (const std::exception& e) {
    LogResult(E_FAIL, 1, "TavrixController[%ls] : std::exception occurred.:%s\n",
              m_bstrTVXCtrlName, e.what());
    SetState(tvCtrlThreadAborted);
  } catch (const char* text) {
    LogResult(E_FAIL, 1, "TavrixController[%ls] : Exception occurred. %s\n", m_bstrTVXCtrlName,
              text);
    SetState(tvCtrlThreadAborted);
  } catch (...) {
    LogResult(E_FAIL, 1, "TavrixController[%ls] : Exception occurred.\n", m_bstrTVXCtrlName);
    SetState(tvCtrlThreadAborted);
  }
}

void CTavrixController::RunCycles() {
  SetCheckpoint("Initializing");
  {
    RecursiveMutexLock items(&itemsLock_);
    firstCycle_ = true;
  }
  workerTid_ = static_cast<int32_t>(gettid());
  if (FAILED(ApplyWorkerPriority())) {
    Log(0, "TavrixController[%ls] : Failed in setting thread priority.\n", m_bstrTVXCtrlName);
  }
  { RecursiveMutexLock sampling(&samplingLock_); }

  cycleSettings_ = settings();
  int32_t interval = cycleSettings_->m_lSamplingRate;
  std::vector<Ref<CTavrixItem>> waitList = BuildTriggerWaitList();
  triggerWaitListChanged_ = false;
  const int32_t n = static_cast<int32_t>(itemCount());
  int64_t distributionSleep = 0;
  if (m_bDistribute.load() && n >= 2) {
    distributionSleep = InitialDistributionSleep(interval, n);
  } else if (m_bDistribute.load()) {
    m_bDistribute = false;
  }
  const bool versioned = host_.IsVersionedProject();
  Clock& clock = SystemClock();
  watchdogTimerOn_ = cycleSettings_->m_bWDT && !versioned && interval > 0;
  if (watchdogTimerOn_) {
    watchdogPeriod_ = static_cast<uint32_t>(interval);
    watchdogDue_ = clock.TickCount() + watchdogPeriod_;
    watchdogCountdown_ = cycleSettings_->m_lWDTCount;
  }
  Log(1, "TavrixController[%ls] : Sampling Started. Sampling interval %dms\n", m_bstrTVXCtrlName,
      interval);
  (void)AddHistoryMarker(kMarkerStart);
  std::this_thread::sleep_for(std::chrono::milliseconds(3));
  // The run event says whether sampling runs: set from m_bStartup by the
  // activation, and reset by a Stop that may already have come.
  if (m_hRunEvent.IsSet()) {
    SetSamplingState(*this, tvCtrlThreadActive);
  } else {
    SetState(tvCtrlThreadDeactive);
  }

  bool slow = false;
  HRESULT scriptResult = S_OK;
  for (;;) {
    SetCheckpoint("BeginSampling");
    bool allGood = true;
    bool noneFromDevice = true;
    if (WaitAny({&m_hStopEvent, &m_hDisposeEvent, &m_hRunEvent}) != 2) break;
    // One configuration for the whole cycle; an update lands between cycles.
    cycleSettings_ = settings();
    const ControllerSettings& s = *cycleSettings_;
    if (s.m_bWDTDS) samplingWatchdogStart_ = clock.TickCount();
    watchdogCountdown_ = s.m_lWDTCount;
    const uint32_t cycleStart = clock.TickCount();
    if (const auto& started = ControllerParts::Instance().cycleStarted) started(*this);
    cycleBusy_.fetch_add(1);
    OptionalLock<RecursiveMutex> cycle(versioned ? &cycleLock_ : nullptr);
    {
      MutexLock lock(&performanceLock_);
      if (performance_) {
        performance_->Advance();
        performance_->Stamp(0, clock.TickCount());
        // Items measure from the first reset on, each into its own set.
        RecursiveMutexLock items(&itemsLock_);
        items_.ForEach([](const Ref<CTavrixItem>& item) { item->AdvancePerformance(); });
      }
    }
    if (s.m_bUseHistory) (void)AddHistoryMarker(kMarkerBegin);
    if (triggerWaitListChanged_.exchange(false)) waitList = BuildTriggerWaitList();

    const int32_t mode = samplingMode_.load();
    bool stopped = false;
    bool abandoned = false;
    StampPerformance(1);
    if (mode != 0) {
      RecursiveMutexLock sampling(&samplingLock_);
      {
        RecursiveMutexLock items(&itemsLock_);
        stopped = !ReadItems(nullptr, distributionSleep, &allGood, &noneFromDevice, &abandoned);
      }
      StampPerformance(2);
      if (!stopped && !abandoned) {
        StampPerformance(3);
        if (m_bScript.load() && script_) {
          SetCheckpoint("Execute controller script");
          scriptResult = script_->Run();
          if (FAILED(scriptResult)) m_bScript = false;
        }
        StampPerformance(4);
        if (mode > 0) {
          int32_t expected = mode;
          samplingMode_.compare_exchange_strong(expected, mode - 1);
        }
      }
    } else {
      {
        RecursiveMutexLock items(&itemsLock_);
        stopped = !ReadItems(&waitList, distributionSleep, &allGood, &noneFromDevice, &abandoned);
      }
      StampPerformance(2);
    }
    if (stopped) {
      cycleBusy_.fetch_sub(1);
      break;
    }
    if (abandoned) {
      cycle.Unlock();
      cycleBusy_.fetch_sub(1);
      continue;
    }

    StampPerformance(5);
    SetCheckpoint("Execute controller calculate");
    HRESULT calculated = S_OK;
    {
      RecursiveMutexLock items(&itemsLock_);
      if (calculations_) calculated = calculations_->Execute(true);
    }
    StampPerformance(6);
    if (FAILED(calculated)) {
      LogResult(calculated, 1, "TavrixController[%ls] : Failed ExecuteCalculate.\n",
                m_bstrTVXCtrlName);
    }
    StampPerformance(7);
    SetCheckpoint("Trigger:Message trigger waiting");
    {
      RecursiveMutexLock items(&itemsLock_);
      if (triggerRoot_) {
        TriggerPassScope pass(this);
        SetCheckpoint("Trigger:UpdateLocalCache");
        const int32_t kind = firstCycle_ ? kTriggerPassFirstCycle : kTriggerPassCycle;
        HRESULT hr = triggerRoot_->UpdateCache(kind);
        if (FAILED(hr)) {
          LogResult(hr, 1, "TavrixController[%ls] : Failed TriggerEx UpdateCache.\n",
                    m_bstrTVXCtrlName);
        } else {
          triggerPerformance_.BeginPass(kind);
          hr = triggerRoot_->Execute(kind, nullptr);
          SetTraceList(triggerRoot_->TraceList());
          firstCycle_ = false;
          if (FAILED(hr)) {
            LogResult(hr, 1, "TavrixController[%ls] : Failed TriggerEx Execute.\n",
                      m_bstrTVXCtrlName);
          }
        }
      }
    }
    StampPerformance(8);
    StampPerformance(9);
    if (s.m_bUseHistory) {
      SetCheckpoint("AddHistory");
      (void)AddHistoryMarker(kMarkerEnd);
    }
    StampPerformance(10);

    uint32_t elapsed = CycleElapsed(cycleStart, clock.TickCount());
    {
      MutexLock lock(&checkpointLock_);
      scanTimes_.Record(elapsed);
    }
    if (const auto& report = ControllerParts::Instance().cycleCompleted) {
      report(m_bstrTVXCtrlName, elapsed, static_cast<uint32_t>(s.m_lSamplingRate));
    }
    const bool good = CycleGood(s.m_lRecType, allGood, noneFromDevice);
    distributionSleep = m_bDistribute.load() && n >= 2
                            ? AdjustDistributionSleep(distributionSleep, good,
                                                      samplingMode_.load(), interval, n, elapsed)
                            : 0;
    const bool wasSlow = slow;
    slow = !((good && SUCCEEDED(scriptResult)) || !s.m_bSlowSamplingEnable);
    if (wasSlow && !slow) {
      Log(1,
          "TavrixController[%ls] : Changed Sampling interval to the normal sampling interval. "
          "(%dms)\n",
          m_bstrTVXCtrlName, s.m_lSamplingRate);
    } else if (!wasSlow && slow) {
      Log(1,
          "TavrixController[%ls] : Changed Sampling interval to the Slow sampling interval. "
          "(%dms)\n",
          m_bstrTVXCtrlName, s.m_lSlowSamplingRate);
    }
    interval = slow ? s.m_lSlowSamplingRate : s.m_lSamplingRate;
    if (!m_hRunEvent.IsSet()) {
      // Sampling was stopped during the cycle: its state stays as it was.
      cycle.Unlock();
      cycleBusy_.fetch_sub(1);
      continue;
    }
    SetSamplingState(*this, good && SUCCEEDED(scriptResult) ? tvCtrlThreadActive
                                                             : tvCtrlThreadError);
    if (good) {
      failedCycles_.store(0);
    } else {
      failedCycles_.fetch_add(1);
    }
    StampPerformance(11);
    {
      MutexLock lock(&performanceLock_);
      if (performance_) performance_->Complete();
    }
    cycle.Unlock();
    cycleBusy_.fetch_sub(1);

    SetCheckpoint("Wait reloading");
    if (WaitAny({&m_hReloadGate, &m_hStopEvent, &m_hDisposeEvent}) != 0) continue;
    // An update applied while this thread waited at the gate: the sleep
    // already runs at its interval.
    if (const ControllerSettingsPtr now = settings(); now != cycleSettings_) {
      interval = slow ? now->m_lSlowSamplingRate : now->m_lSamplingRate;
    }

    SetCheckpoint("Sleeping");
    if (elapsed == 0) elapsed = 1;
    // One wait for the rest of the interval: the stop event ends it at once,
    // and it wakes early only when the watchdog timer falls due.
    for (int64_t rest = RemainingSleep(interval, elapsed); rest > 0;
         rest = RemainingSleep(interval, CycleElapsed(cycleStart, clock.TickCount()))) {
      int64_t wait = rest;
      if (watchdogTimerOn_) {
        const int32_t due = static_cast<int32_t>(watchdogDue_ - clock.TickCount());
        wait = std::min<int64_t>(wait, std::max(due, 0));
      }
      if (AlertableWait(static_cast<uint32_t>(wait))) break;
    }
  }
  SetCheckpoint("Loop exited");
  watchdogTimerOn_ = false;
  (void)AddHistoryMarker(kMarkerStop);
  Log(1, "TavrixController[%ls] : Sampling Stopped.\n", m_bstrTVXCtrlName);
}

}  // namespace tavrix
