// CTavrixController: the runtime object of one configured controller.
//
// The engine manager makes one per controller record, initialises it from the
// record, lets it create its temporary items, activates it on a thread of its
// own (which then stays as the controller's reconnection monitor) and at
// shutdown stops the monitor, deactivates and terminates it:
//
//   auto c = MakeRef<CTavrixController>(host);
//   c->Initialize(index, record);          // settings, events, locks
//   c->AddItemRecord(item);                // while the project is read
//   c->StartActivationThread(true);        // _Activate, then _Reconnect
//   ...
//   c->_StopReconnect(); c->_WaitForStopReconnect(kInfinite);
//   c->_Deactivate(); c->_Terminate();
//
// Files: controller_init.cc (construction, settings, items), controller_open.cc
// (opening and closing the Zelt controller), controller_activate.cc
// (activation, deactivation, termination), controller_reconnect.cc (the
// activation thread, the monitor and reconnection), controller_reload.cc
// (reload and update of a running controller), controller_sampling.cc (the
// sampling thread) and controller_state.cc (states and history markers).
//
// Locks, outermost first (a thread never takes an earlier one while holding a
// later one; the members each guards are marked GUARDED_BY below):
//   activationLock_      only _Activate, for its whole run
//   deactivationLock_    only _Deactivate, for its whole run
//   cycleLock_           a sampling cycle (versioned projects), reload,
//                        update, ReconnectNow. Recursive: _Update holds it
//                        around _Reload, which takes it again. Guards no
//                        member (a cycle takes it only in versioned projects)
//   performanceLock_     the performance records (a cycle's start, reset);
//                        taken before itemsLock_ to reach the items' records
//   samplingLock_        a cycle's reads and script (guards no member)
//   the event sink's lock, held while a Zelt message runs the triggers
//   itemsLock_           the item maps, the trigger root, the calculations.
//                        Recursive: _Reload runs trigger passes under it,
//                        which take it again, and a cycle's triggers and
//                        calculations may look items up under it
//   the items' own locks (item.h): a cycle reads its items with itemsLock_
//                        held, and an item calls back here (settings,
//                        variable sync, history) with its locks held
//   optionLock_          the settings snapshot, the option-changed flag and
//                        the name registration (never held across another
//                        lock but the host's provider-lock table)
//   the host's provider lock, then the name registry's lock (open and close)
//   timeStampLock_       the controller time stamp (history markers, device
//                        clock); takes zeltPointerLock_ inside
//   zeltPointerLock_     m_pZeltController, m_pEventSink, m_pDeviceClock;
//                        taken before the variable-sync registry's lock
//   checkpointLock_      the checkpoint text and the scan times (a leaf)
//   traceLock_           the trace list (a leaf)
//   the temporary items' map lock and each temporary item's value lock
//                        (temporary_items.h; leaves, never held together):
//                        any controller's trigger tree reads and writes them
//   reconnectLock_       reconnectThreads_ (innermost)
// Trigger passes run under itemsLock_. A forced scan requested by a pass
// (ForceScan) needs samplingLock_ and itemsLock_ of the scanned controller,
// an order a pass on another thread may hold the other way round: it
// therefore only tries those locks, for a bounded time, and fails rather
// than wait for ever. The reconnect action starts its thread without the
// cycle lock for the same reason (StartReconnectThread).
// The history manager's lock comes after all of these (markers and item rows
// are written with them held). Between two controllers, see engine_man.h: a
// thread holding this controller's locks takes another controller's only
// through that controller's items and the leaves they call back into.
//
// Settings: what an update may change lives in one immutable snapshot
// (ControllerSettings) that _Update and _Reload replace whole under
// optionLock_. The sampling thread takes it once per cycle, the monitor once
// per check, so neither ever sees half an update.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <set>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "config/project_records.h"
#include "controller/controller_host.h"
#include "controller/controller_parts.h"
#include "controller/controller_settings.h"
#include "controller/cycle_math.h"
#include "controller/item_table.h"
#include "controller/legacy_triggers.h"
#include "controller/trigger_performance.h"
#include "controller/temporary_items.h"
#include "item/performance_set.h"
#include "item/item.h"
#include "item/item_owner.h"
#include "kivdata/kivdata.h"
#include "platform/mutex.h"
#include "platform/ref.h"
#include "platform/result.h"
#include "platform/sync.h"
#include "platform/variant.h"
#include "zelt/interfaces.h"

namespace tavrix {

enum TavrixControllerState : int32_t {
  tvCtrlThreadUninit = 0,
  tvCtrlThreadActive = 1,
  tvCtrlThreadDeactive = 2,
  tvCtrlThreadError = 3,
  tvCtrlThreadTerminated = 4,
  tvCtrlThreadConnectTimeoutWaiting = 5,
  tvCtrlThreadSamplingThreadWaiting = 6,
  tvCtrlThreadAborted = 7,
};

// Trigger passes.
enum TriggerPass : int32_t {
  kTriggerPassInitial = 0,
  kTriggerPassFirstCycle = 1,
  kTriggerPassCycle = 2,
  kTriggerPassMessage = 3,
  kTriggerPassCleanup = 4,
};

// History marker types.
enum HistoryMarker : int32_t {
  kMarkerStart = 0,  // "$$START$$"
  kMarkerStop = 1,   // "$$STOP$$"
  kMarkerBegin = 2,  // "$$BEGIN$$"
  kMarkerEnd = 3,    // "$$END$$"
};

// A thread the controller starts and must be able to wait for with a time
// limit: the activation thread and the reconnection threads.
class ControllerThread {
 public:
  ControllerThread() = default;
  ~ControllerThread();
  ControllerThread(const ControllerThread&) = delete;
  ControllerThread& operator=(const ControllerThread&) = delete;

  // Starts `body`; E_HANDLE when the system cannot make a thread.
  HRESULT Start(std::string_view name, std::function<void()> body);
  // Waits up to `ms` for the body to end; kSignaled when it has (the thread
  // is then joined).
  WaitStatus Wait(uint32_t ms);
  bool ended() const { return ended_.IsSet(); }
  // Whether the calling thread is this one.
  bool IsCurrent() const { return thread_.get_id() == std::this_thread::get_id(); }

 private:
  std::thread thread_;
  Event ended_{Event::Mode::kManualReset, false};
};

class CTavrixController final : public RefCounted, public IItemOwner {
 public:
  explicit CTavrixController(IControllerHost& host);
  ~CTavrixController() override;
  CTavrixController(const CTavrixController&) = delete;
  CTavrixController& operator=(const CTavrixController&) = delete;

  // --- Settings and items -------------------------------------------------

  // Takes the index and the settings of `record`; 0, 1 (partial) or a
  // failure, logged as the engine manager's registration expects.
  HRESULT Initialize(int32_t index, const ControllerRecord& record);
  // Adds an item from the project (read time); the item's result.
  HRESULT AddItemRecord(const ItemRecord& record);
  // Legacy trigger settings of the controller; 0 when not used.
  HRESULT ReadTriggerSettings(const LegacyTriggerRecord& record);
  // Makes the temporary items of the trigger tree's variable list.
  HRESULT CreateTemporaryItems();
  // Joins every sub-item to its parent block and resolves alias targets, in
  // index order, once all items exist; the first failure is returned.
  HRESULT InitSubitems();

  // --- Connection -----------------------------------------------------------

  // 0 connected, 1 nothing to do, or a failure.
  HRESULT OpenController();
  void CloseController();

  // --- Activation, deactivation, reconnection ---------------------------

  HRESULT _Activate();
  void _Deactivate();
  void _Terminate();
  // Starts the activation thread into m_hReconnectThread: _Activate, then
  // (when `checkOptionChanged` and the option changed) a reconnection, then
  // the monitor. E_HANDLE when it cannot start.
  HRESULT StartActivationThread(bool checkOptionChanged);
  HRESULT _Reconnect();
  void _StopReconnect();
  // 0 when no activation or reconnection thread runs any more (they are
  // joined); otherwise the timeout's result (WAIT_TIMEOUT, 258).
  uint32_t _WaitForStopReconnect(uint32_t ms);
  HRESULT ReconnectProc(int32_t waitSeconds);
  HRESULT ReconnectNow(int32_t waitSeconds);
  // Starts ReconnectProc(waitSeconds) on a thread of its own that holds
  // the controller and is joined by _Terminate. S_FALSE, starting nothing,
  // while an earlier one still runs; E_FAIL when no thread can be started.
  HRESULT StartReconnectThread(int32_t waitSeconds) EXCLUDES(reconnectLock_);

  // --- Reload and update ----------------------------------------------------

  HRESULT _Reload(const ControllerRecord& record);
  HRESULT _Update(const ControllerRecord& record);
  // Keeps `record` as the pending configuration for _DoUpdate.
  void SetPendingUpdate(const ControllerRecord& record);
  HRESULT UpdateItem(const ItemRecord& record);
  HRESULT _DoUpdate();
  HRESULT _DoReload();

  // --- Sampling thread ------------------------------------------------------

  HRESULT StartWorker();
  // Sampling on and off (the automation Start and Stop): 0, or 1 when there
  // is no sampling thread or sampling is already so.
  HRESULT Start();
  HRESULT Stop();
  void SetSamplingMode(int32_t mode);
  int32_t samplingMode() const { return samplingMode_.load(); }
  // A read outside the cycle reports its outcome to the failed-cycle counter.
  void ReportRead(bool good, bool deviceRead) override;
  int32_t failedCycles() const { return failedCycles_.load(); }
  void ResetFailedCycles() { failedCycles_.store(0); }
  ScanTimes scanTimes() const EXCLUDES(checkpointLock_);
  std::string checkpoint() const EXCLUDES(checkpointLock_);
  // The checkpoint is `text` followed by `detail`.
  void SetCheckpoint(std::string_view text, std::string_view detail = {})
      EXCLUDES(checkpointLock_);

  // Forced reads outside the cycle (the scan actions of trigger trees).
  // One read of `item` (direct: even a deactivated item, ignoring the
  // direct-reading suppression): 0 on success, else the read's failure;
  // when `counted`, reported to the failed-cycle counter.
  HRESULT ForceReadItem(CTavrixItem& item, bool counted, bool direct);
  // One read of every item under the sampling lock, then the calculations,
  // then the cycle verdict; no trigger pass, marker or scan time. A lock
  // that stays busy past a time limit, or a stop or abort of `requester`
  // while waiting for one, gives E_FAIL: the requesting trigger pass may
  // hold locks the lock's holder waits for.
  HRESULT ForceScan(bool direct, CTavrixController& requester);
  // Starts a new collection of cycle performance records: creates the set on
  // first use, counts the collection, and resets every item's read-pass
  // records (creating them), stopping at the first failure, which it returns.
  HRESULT ResetPerformanceData() EXCLUDES(performanceLock_);
  // A copy of the cycle performance records; false before the first reset.
  bool PerformanceData(PerformanceSet::Snapshot* out) const EXCLUDES(performanceLock_);
  // How many collections were started.
  uint32_t PerformanceSetCounter() const EXCLUDES(performanceLock_);

  // --- States -----------------------------------------------------------------

  int32_t State() const;
  void SetState(int32_t state);
  HRESULT AddHistoryMarker(int32_t type);

  // --- Option ---------------------------------------------------------------

  // Replaces m_bstrParam and sets the option-changed flag.
  void SetOption(std::string_view param) EXCLUDES(optionLock_);
  bool optionChanged() const EXCLUDES(optionLock_);

  // --- Accessors ------------------------------------------------------------

  IControllerHost& host() const { return host_; }
  int32_t index() const { return m_lIndex; }
  const std::string& name() const { return m_bstrTVXCtrlName; }
  // The settings an update may change, as one snapshot (never null after
  // Initialize).
  ControllerSettingsPtr settings() const EXCLUDES(optionLock_);
  std::string zeltName() const { return settings()->m_bstrCtrlName; }
  bool enabled() const { return m_bEnabled; }
  bool scriptEnabled() const { return m_bScript.load(); }
  const std::string& scriptText() const { return m_bstrScript; }
  bool notSafeMode() const { return m_bNotSafeMode; }
  int32_t activatePriority() const { return settings()->m_lActivatePriority; }
  int32_t deactivatePriority() const { return settings()->m_lDeactivatePriority; }
  int32_t samplingRate() const { return settings()->m_lSamplingRate; }
  bool distribute() const { return m_bDistribute.load(); }
  int32_t threadPriority() const { return settings()->m_iThreadPriority; }
  int32_t recInterval() const { return settings()->m_lRecInterval; }
  int32_t recWaitTime() const { return settings()->m_lRecWaitTime; }
  bool autoReconnect() const { return settings()->m_bAutoReconn; }
  bool reconnecting() const { return reconnecting_.load(); }
  bool disposing() const { return disposing_.load(); }
  int32_t triggerInitResult() const { return triggerInitResult_.load(); }
  std::vector<std::string> traceList() const EXCLUDES(traceLock_);
  // The trigger performance records; trees record their measured nodes and
  // asynchronous inserts here.
  TriggerPerformance& triggerPerformance() { return triggerPerformance_; }
  // The insert-table actions of the tree that insert on a thread of their own.
  int32_t AsyncInsertCount() const;
  // The connection, or null.
  Ref<IZeltController> zeltController() const EXCLUDES(zeltPointerLock_);
  IKivData* kivData() const { return kivData_.get(); }
  size_t itemCount() const;
  Ref<CTavrixItem> FindItem(std::string_view name) const;
  // The number of items without taking the items lock (other controllers'
  // trigger trees read it while holding their own).
  size_t itemCountRelaxed() const { return itemCount_.load(std::memory_order_relaxed); }
  TemporaryItems& temporaryItems() { return temporaryItems_; }
  std::vector<Ref<CTavrixItem>> Items() const;

  // The controller's events, for the engine manager and tests.
  Event& runEvent() { return m_hRunEvent; }
  Event& stopEvent() { return m_hStopEvent; }
  Event& disposeEvent() { return m_hDisposeEvent; }
  Event& activateIdleEvent() { return m_hActivateIdleEvent; }
  Event& abortActionEvent() { return m_hAbortActionEvent; }
  Event& reloadGate() { return m_hReloadGate; }
  Event& activatedEvent() { return m_hActivatedEvent; }
  // Set when the activation thread has ended (a failed activation ends it
  // without the activated event).
  Event& activationEndedEvent() { return activationEnded_; }

  // --- IItemOwner (controller_item_owner.cc) ----------------------------------

  std::string ControllerName() const override { return m_bstrTVXCtrlName; }
  int32_t SamplingRate() const override { return settings()->m_lSamplingRate; }
  bool WriteToCache() const override { return settings()->m_bWriteToCache; }
  int32_t TimeStampMode() const override { return settings()->m_lTimeStamp; }
  bool UseHistory() const override { return settings()->m_bUseHistory; }
  int32_t ControllerType() const override { return m_lType; }
  bool AutoReconnect() const override { return settings()->m_bAutoReconn; }
  int32_t RecCount() const override { return settings()->m_lRecCount; }
  int32_t ControllerState() const override { return State(); }
  bool IsVersionedProject() const override { return host_.IsVersionedProject(); }
  LCID Lcid() const override { return host_.Lcid(); }
  bool NotRepeatError() const override { return host_.NotRepeatError(); }
  std::unique_ptr<ILockHold> EnterVariableSync() override;
  HRESULT CreateVariable(const VariableDefinition& definition, Ref<IZeltVariable>* out) override;
  IKivData* KivData() override { return kivData_.get(); }
  void FireOnChangeItem(CTavrixItem& item) override;
  Ref<CTavrixItem> FindItem(std::string_view name) override {
    return static_cast<const CTavrixController*>(this)->FindItem(name);
  }
  Ref<CTavrixItem> FindEngineItem(std::string_view controller, std::string_view item) override {
    return host_.FindEngineItem(controller, item);
  }
  HRESULT HistoryEnabled(bool* enabled) override;
  HRESULT AddHistory(const std::string& controllerName, const std::string& itemName,
                     const Variant& value, double date, uint32_t microsecond) override;

  RecursiveMutex& itemsLock() RETURN_CAPABILITY(itemsLock_) { return itemsLock_; }
  RecursiveMutex& samplingLock() RETURN_CAPABILITY(samplingLock_) { return samplingLock_; }
  RecursiveMutex& cycleLock() RETURN_CAPABILITY(cycleLock_) { return cycleLock_; }

 private:
  class EventSink;
  // Marks the calling thread as running a trigger pass of this controller
  // while it lives: a message the pass itself makes the controller raise
  // (a controller command of the tree) must not run the tree again, nor
  // take the event sink's lock under the items lock.
  class TriggerPassScope {
   public:
    explicit TriggerPassScope(const CTavrixController* controller)
        : previous_(current_) { current_ = controller; }
    ~TriggerPassScope() { current_ = previous_; }
    TriggerPassScope(const TriggerPassScope&) = delete;
    TriggerPassScope& operator=(const TriggerPassScope&) = delete;
    static bool Runs(const CTavrixController* controller) { return current_ == controller; }

   private:
    // Constant-initialised, so no thread needs an initialisation call.
    static constinit inline thread_local const CTavrixController* current_ = nullptr;
    const CTavrixController* previous_;
  };

  // controller_init.cc
  // Takes the settings of `record`: all of them at initialisation, those an
  // update may change otherwise.
  HRESULT CopySettings(const ControllerRecord& record, bool update);
  // Publishes `settings` whole.
  void PublishSettings(ControllerSettingsPtr settings) EXCLUDES(optionLock_);
  HRESULT BuildTriggerRoot(const ControllerRecord& record, std::unique_ptr<ITriggerRoot>* out);
  // Registers the Zelt name in the name registry and takes the provider's
  // lock; UnregisterName gives the name back.
  void RegisterNames() EXCLUDES(optionLock_);
  void UnregisterName() EXCLUDES(optionLock_);
  // The key the name registry knows this controller by (empty: none).
  std::string RegisteredName() const EXCLUDES(optionLock_);

  // controller_open.cc
  HRESULT ConnectEventSink();
  void DisconnectEventSink();
  void OnZeltMessage(IUnknown* message);
  std::recursive_mutex& ProviderLockRef() EXCLUDES(optionLock_);

  // controller_activate.cc
  void CreateDeviceClock();
  void StopWorker();
  // Runs a startup or cleanup pass under the items lock; `recorded` passes
  // (those of a reload) open a trigger performance record first.
  void ExecuteTriggerPass(int32_t mode, bool recorded = false);

  // controller_reconnect.cc
  void ActivationThreadBody(bool checkOptionChanged);
  void JoinReconnectThreads(bool onlyEnded) EXCLUDES(reconnectLock_);

  // controller_sampling.cc
  void WorkerBody();
  HRESULT ApplyWorkerPriority();
  std::vector<Ref<CTavrixItem>> BuildTriggerWaitList();
  // How a cycle's reads go on after one item.
  enum class ReadStep { kGoOn, kStopped, kAbandoned };
  // Reads one item of the cycle and counts its outcome; kStopped when the
  // stop event ended the reads, kAbandoned when the sampling watchdog did.
  ReadStep ReadCycleItem(CTavrixItem& item, int64_t distributionSleep, bool* allGood,
                         bool* noneFromDevice);
  // Reads every item in index order (or `waitList`, when given); false when
  // the stop event ended the reads. Sets *abandoned when the sampling
  // watchdog ended them. REQUIRES: itemsLock_ held.
  bool ReadItems(const std::vector<Ref<CTavrixItem>>* waitList, int64_t distributionSleep,
                 bool* allGood, bool* noneFromDevice, bool* abandoned) REQUIRES(itemsLock_);
  void RunCycles();
  // The alertable waits of the sampling thread: waits up to `ms` on the stop
  // event and runs the watchdog timer when it fell due. True when stopped.
  bool AlertableWait(uint32_t ms);
  void RunWatchdogTimer();
  bool SamplingWatchdogExpired() const;
  void StampPerformance(int word) EXCLUDES(performanceLock_);
  void RefreshTimeStamp() EXCLUDES(timeStampLock_);
  void SetTraceList(std::vector<std::string> names) EXCLUDES(traceLock_);
  void RefreshTimeStampFrom(int32_t source) EXCLUDES(timeStampLock_);
  // Takes `lock` unless `abandon` is set first or `limitMs` pass; polls, so a
  // forced scan from a trigger pass can never wait for ever on a lock that
  // a thread waiting for the caller's own locks holds.
  static bool LockForScan(RecursiveMutex& lock, Event& abandon, uint32_t limitMs)
      TRY_ACQUIRE(true, lock);

  IControllerHost& host_;

  // Fixed at initialisation, before any thread of the controller runs.
  bool m_bEnabled = false;
  int32_t m_lType = 0;
  std::string m_bstrTVXCtrlName;
  std::string m_bstrScript;
  bool m_bNotSafeMode = false;
  bool m_bTriggerDisable = false;
  bool m_bCalcDisable = false;
  // Switched off by a failing script (until re-enabled) and by a sampling
  // thread with fewer than two items.
  std::atomic<bool> m_bScript{false};
  std::atomic<bool> m_bDistribute{false};

  int32_t m_lIndex = -1;
  bool initialized_ = false;

  // Events (all manual-reset).
  Event m_hRunEvent{Event::Mode::kManualReset, true};
  Event m_hStopEvent{Event::Mode::kManualReset, false};
  Event m_hDisposeEvent{Event::Mode::kManualReset, false};
  Event m_hActivateIdleEvent{Event::Mode::kManualReset, true};
  Event m_hAbortActionEvent{Event::Mode::kManualReset, false};
  Event m_hReloadGate{Event::Mode::kManualReset, true};
  Event m_hActivatedEvent{Event::Mode::kManualReset, false};

  // Threads. m_hWorkerThread is started and joined under activationLock_ /
  // deactivationLock_; m_hReconnectThread by the engine manager's thread
  // and _DoReload.
  std::unique_ptr<ControllerThread> m_hWorkerThread;
  std::atomic<bool> workerExists_{false};
  std::unique_ptr<ControllerThread> m_hReconnectThread;
  std::atomic<bool> activationRunning_{false};  // m_hReconnectThread's body runs
  Event activationEnded_{Event::Mode::kManualReset, false};
  // Guards reconnectThreads_ (the innermost lock).
  Mutex reconnectLock_;
  std::vector<std::unique_ptr<ControllerThread>> reconnectThreads_ GUARDED_BY(reconnectLock_);

  // Guards the connection and what hangs on it: held only to copy or swap
  // these (and to register the pointer key), never while Zelt is called.
  mutable Mutex zeltPointerLock_;
  Ref<IZeltController> m_pZeltController GUARDED_BY(zeltPointerLock_);
  Ref<IZeltControllerEventSink> m_pEventSink GUARDED_BY(zeltPointerLock_);
  Ref<IConnectionPoint> eventSource_ GUARDED_BY(zeltPointerLock_);
  uint32_t eventCookie_ GUARDED_BY(zeltPointerLock_) = 0;
  Ref<IZeltVariable> m_pDeviceClock GUARDED_BY(zeltPointerLock_);
  // The pointer-registry key registered by the last open (empty: none), so
  // the close gives back exactly what was registered.
  std::string pointerKey_ GUARDED_BY(zeltPointerLock_);
  // The host's provider lock (set once, at the first registration or open).
  std::recursive_mutex* providerLock_ GUARDED_BY(optionLock_) = nullptr;
  // The name registered in the name registry (empty: none).
  std::string registeredName_ GUARDED_BY(optionLock_);

  // Guards settings_ (replaced whole by an update, a reload or a new option
  // text), optionChanged_ and the two registration members above. Never held
  // while another lock is taken, but the host's provider-lock table.
  mutable Mutex optionLock_;
  ControllerSettingsPtr settings_ GUARDED_BY(optionLock_);
  bool optionChanged_ GUARDED_BY(optionLock_) = false;

  // Held by _Activate and _Deactivate for their whole run.
  Mutex activationLock_;
  Mutex deactivationLock_;
  // See the lock list at the top of this file.
  RecursiveMutex cycleLock_;
  RecursiveMutex samplingLock_;
  // Guards the items, the trigger tree and the calculations below.
  mutable RecursiveMutex itemsLock_;

  ItemTable items_ GUARDED_BY(itemsLock_);
  // Names of the project's disabled items seen so far: their sub-items are
  // not created.
  std::set<std::string, NoCaseLess> disabledItemNames_ GUARDED_BY(itemsLock_);
  std::vector<std::string> tempVariableNames_ GUARDED_BY(itemsLock_);
  std::atomic<size_t> itemCount_{0};  // items_.size(), for lock-free readers
  // Its own lock, a leaf: trigger trees of any controller read and write them.
  TemporaryItems temporaryItems_;

  std::unique_ptr<ITriggerRoot> triggerRoot_ GUARDED_BY(itemsLock_);
  LegacyTriggers legacyTriggers_ GUARDED_BY(itemsLock_);
  // Its own locks.
  TriggerPerformance triggerPerformance_;
  std::vector<ControllerCalcInfo> calcDefinitions_ GUARDED_BY(itemsLock_);
  std::unique_ptr<ICalculationList> calculations_ GUARDED_BY(itemsLock_);
  // Made by _Activate, run by the sampling thread under samplingLock_ and
  // released by _Deactivate once that thread has ended (the thread's start
  // and join order these, not a lock).
  std::unique_ptr<IControllerScript> script_;
  // Guards traceList_ (a leaf: other controllers' trees read it).
  mutable Mutex traceLock_;
  std::vector<std::string> traceList_ GUARDED_BY(traceLock_);
  bool triggerInitialized_ GUARDED_BY(itemsLock_) = false;
  std::atomic<int32_t> triggerInitResult_{0};
  bool calculationsInitialized_ GUARDED_BY(itemsLock_) = false;
  // The trigger tree changed: the sampling thread rebuilds its trigger-wait
  // read list before its next cycle.
  std::atomic<bool> triggerWaitListChanged_{false};

  // Reload and update: the queued configuration and items.
  std::optional<ControllerRecord> pendingUpdate_ GUARDED_BY(itemsLock_);
  std::vector<ItemRecord> pendingItems_ GUARDED_BY(itemsLock_);

  // State.
  std::atomic<int32_t> m_lState{tvCtrlThreadUninit};
  std::atomic<bool> disposing_{false};
  std::atomic<bool> reconnecting_{false};
  std::atomic<int32_t> reconnectBusy_{0};
  std::atomic<int32_t> samplingMode_{-1};
  std::atomic<int32_t> failedCycles_{0};
  std::atomic<int32_t> cycleBusy_{0};   // a cycle is running
  std::atomic<int32_t> workerTid_{0};   // the sampling thread's system id
  bool historyEnabled_ = false;
  std::atomic<int32_t> markerSequence_{0};

  Ref<IKivData> kivData_;

  // Sampling thread's own state, shared for reading.
  // Guards checkpoint_ and scanTimes_, which the sampling thread writes and
  // clients read (a leaf).
  mutable Mutex checkpointLock_;
  std::string checkpoint_ GUARDED_BY(checkpointLock_);
  ScanTimes scanTimes_ GUARDED_BY(checkpointLock_);
  // The next trigger pass is a first cycle's: set when the sampling thread
  // starts and by a reload (on another thread), cleared by the cycle's pass.
  bool firstCycle_ GUARDED_BY(itemsLock_) = true;
  // The settings of the running cycle, the sampling thread's own: taken at
  // the start of every cycle, so a cycle runs with one configuration.
  ControllerSettingsPtr cycleSettings_;
  // The watchdogs, the sampling thread's own.
  bool watchdogTimerOn_ = false;
  uint32_t watchdogDue_ = 0;      // tick when the watchdog timer falls due next
  uint32_t watchdogPeriod_ = 0;
  int32_t watchdogCountdown_ = 0;
  uint32_t samplingWatchdogStart_ = 0;

  // Guards the cycle performance records and their collection count.
  mutable Mutex performanceLock_;
  std::unique_ptr<PerformanceSet> performance_ GUARDED_BY(performanceLock_);
  uint32_t performanceSetCounter_ GUARDED_BY(performanceLock_) = 0;

  // Guards the time stamp members below: the sampling thread and the history
  // markers refresh them, held across the device clock's read.
  Mutex timeStampLock_;
  ClockTimeStamp timeStamp_ GUARDED_BY(timeStampLock_);
  double deviceTime_ GUARDED_BY(timeStampLock_) = 0;  // the controller time stamp
  uint32_t deviceMicros_ GUARDED_BY(timeStampLock_) = 0;
  // The last host clock reading, as a date.
  double lastUtcDate_ GUARDED_BY(timeStampLock_) = 0;
};

// Upper-cases an item name as the name map stores it.

}  // namespace tavrix
