// CTavrixEngineMan: the one process-wide owner of what the project file
// describes. It reads the project, registers one CTavrixController per
// controller record, prepares the shared services, activates the
// controllers group by group on a thread of its own, and at terminate
// deactivates them group by group and releases everything in a fixed order.
//
//   CTavrixEngineMan* engine = CTavrixEngineMan::GetInstance();
//   engine->SetSettings(settings);   // from the system settings
//   HRESULT hr = engine->Initialize();
//   ... message loop ...
//   engine->Terminate();             // service mode; a local server ends
//                                    // through its last Release instead
//
// Lifetime: GetInstance makes the process's instance on first use. AddRef and
// Release count the references of automation engine objects and of the
// message servers' holders; when a Release brings the count to 0 or below
// outside service mode and outside the start, the instance is detached (the
// next GetInstance makes a new one), terminated and destroyed. Tests make
// their own instances with the public constructor; Release never destroys
// one of those, it only terminates it.
//
// Files: engine_man.cc (instance, references, the controller host, lookup,
// registration), engine_start.cc (Initialize), engine_activation.cc (the
// activation thread and deactivation), engine_terminate.cc (Terminate),
// engine_consumer.cc (the project reader's consumer).
//
// Locks, outermost first (a thread never takes an earlier one while holding
// a later one; the members each guards are marked GUARDED_BY below):
//   terminateLock_        Initialize and Terminate, each for its whole run, so
//                         a stop waits for a start and Terminate runs once;
//                         also the network-folder thread they make and stop
//   memberLock_           deactivation, for its whole run
//   EngineLock()          process-wide: the instance pointer, every lock count
//                         and the creation of the manager's own engine object
//                         (recursive: that creation takes a reference, and
//                         gives it back, on the thread that holds it)
//   controllersLock_      controllers_, currentIndex_, started_
//   workspaceInfoLock_    workspace_, commonSettings_, projectVersion_
//   zeltLock_             zeltEngine_, zeltWorkspace_
//   providerLocksMutex_   providerLocks_
//   settingsLock_         settings_
// None of them is held while a controller or a service is called, except
// memberLock_ and terminateLock_, which exist to serialise exactly those calls,
// and EngineLock() around the engine object factory. So every controller
// lock comes after terminateLock_ and memberLock_ and is never held while a
// lock of the manager is taken, except the leaves controllersLock_ (through
// FindController and FindEngineItem), workspaceInfoLock_, zeltLock_
// (GetWorkspace), providerLocksMutex_ (ProviderLock) and settingsLock_ (Lcid).
// The provider locks themselves are taken by the controllers (open and
// close), after their option lock; they guard no member, so they stay
// standard recursive mutexes.
//
// Between two controllers A and B, as the code stands: a thread holding
// locks of A takes locks of B only through B's items, when an item of A (an
// alias, a reference item's read or a calculation operand) reads or writes
// an item of B. A link never writes an item of B on a thread that holds a
// lock of A: the link observer queues the value for the engine's link writer
// (item/link_writer.h, owned by the item wiring), whose one thread holds no
// controller lock and takes only the destination's item locks and the leaves
// they reach. So links that loop between two controllers cannot deadlock
// their sampling threads; new code that writes across controllers under its
// own locks must go through the writer too.
// A's sampling thread then holds A's cycleLock_ (versioned projects),
// samplingLock_ and itemsLock_ and takes B's item locks and the leaves those
// items' owner calls reach (B's optionLock_ for the settings snapshot, its
// zeltPointerLock_, the variable-sync registry lock). No thread holding a
// lock of A takes B's activationLock_, deactivationLock_, cycleLock_,
// performanceLock_, samplingLock_ or itemsLock_: FindEngineItem takes B's
// itemsLock_ only from item start-up (InitSubitems), which holds no lock of
// A, and the activation and deactivation here call one controller at a time
// with no controller lock held. There is no order by index; links and
// triggers that need B's outer locks while holding A's must first fix one
// (for instance ascending controller index) and write it down here.
// Trigger trees of A name B's items and temporary items: they are resolved
// when A's tree is initialised, which A does with none of its locks held;
// at run time the tree reaches B only through B's items, B's temporary
// items (a leaf lock) and values read without B's locks. A scan action of A
// that scans B takes B's samplingLock_ and itemsLock_ only by trying, for a
// bounded time (CTavrixController::ForceScan).
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>  // the provider locks (IControllerHost)
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "config/project_consumer.h"
#include "config/project_records.h"
#include "config/project_version.h"
#include "controller/controller.h"
#include "controller/controller_host.h"
#include "engine/engine_services.h"
#include "engine/network_folders.h"
#include "platform/mutex.h"
#include "platform/ref.h"
#include "platform/result.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "platform/unknown.h"
#include "zelt/interfaces.h"

namespace tavrix {

// What the engine takes from the system settings and the process mode.
struct EngineSettings {
  std::string dataPath{};        // DataPath: the project file
  std::string dataReaderPath{};  // DataReader\Path: the packaged-project library
  bool serviceMode = false;    // running as a service (Release never ends the engine)
  bool ddeEnabled = false;
  bool kivServerEnabled = false;
  bool coapServerEnabled = false;
  LCID lcid = LOCALE_USER_DEFAULT;
  bool notRepeatError = false;  // NotRepeatError: a failing item logs once
  int32_t asyncQueueLimit = 100000;  // AsyncQueueLimit: rows an insert thread keeps in memory
};

class CTavrixEngineMan final : public IControllerHost {
 public:
  // More controllers, or asynchronous triggers of all controllers together,
  // than these refuse the whole project.
  static constexpr int32_t kMaxControllers = 255;
  static constexpr int32_t kMaxAsyncTriggers = 255;
  // The open-retry wait when the workspace gives 0.
  static constexpr int32_t kDefaultRetryInterval = 3000;
  // The wait between two looks at a deactivation group's monitors.
  static constexpr uint32_t kDeactivatePollMs = 100;

  // The process's instance, made (with the default services) when absent.
  static CTavrixEngineMan* GetInstance();
  // The process's instance, or null; never makes one.
  static CTavrixEngineMan* CurrentInstance();

  // An instance of its own with the given services (empty slots get their
  // defaults); logs "TavrixEngineMan : Service Started".
  explicit CTavrixEngineMan(EngineServices services = {});
  // Terminates the engine when it was started and not terminated, then logs
  // "TavrixEngineMan : Service Terminated".
  ~CTavrixEngineMan() override;
  CTavrixEngineMan(const CTavrixEngineMan&) = delete;
  CTavrixEngineMan& operator=(const CTavrixEngineMan&) = delete;

  // --- References ------------------------------------------------------------

  // Counts a reference (any thread).
  void AddRef();
  // Gives one back; may terminate and destroy the process's instance (see
  // the top of this file), so a caller must not touch the manager afterwards.
  void Release();
  int32_t lockCount() const;

  // --- Start and stop --------------------------------------------------------

  // The settings the start uses; call before Initialize.
  void SetSettings(const EngineSettings& settings) EXCLUDES(settingsLock_);
  // The settings, with the server flags the start cleared after a failure.
  EngineSettings settings() const EXCLUDES(settingsLock_);

  // The engine start, once. Steps 4 to 12 failing are logged and the start
  // goes on without active controllers; the result is that of the history
  // step and the servers after it: a failure means the caller should not run
  // its message loop. A failing start has terminated what it started.
  // E_UNEXPECTED when called a second time.
  HRESULT Initialize() EXCLUDES(terminateLock_);
  // Stops the servers, deactivates the controllers group by group, ends the
  // plug-ins and releases every controller and service. Runs once; a later
  // call (from any thread) waits for the first to finish and returns.
  void Terminate() EXCLUDES(terminateLock_);

  // --- Controllers -----------------------------------------------------------

  // The first controller, in index order, whose name equals `name` without
  // regard to case; null when none does.
  Ref<CTavrixController> FindController(std::string_view name) const override
      EXCLUDES(controllersLock_);
  // Every registered controller, in index order.
  std::vector<Ref<CTavrixController>> Controllers() const EXCLUDES(controllersLock_);
  // The controllers whose activation thread was started, in start order.
  std::vector<Ref<CTavrixController>> StartedControllers() const EXCLUDES(controllersLock_);

  // --- The project reader's calls ---------------------------------------------

  // The consumer to hand to a CTavrixReader; lives as long as the manager.
  IProjectConsumer& consumer();
  // Keeps the workspace record (credentials and plug-in configuration
  // included) and signals the settings-received event. S_OK.
  HRESULT SetWorkspaceInfo(const WorkspaceRecord& workspace) EXCLUDES(workspaceInfoLock_);
  // Makes a controller with the smallest free index from the record and
  // makes it the current one; the controller's failure otherwise.
  HRESULT RegisterController(const ControllerRecord& record) EXCLUDES(controllersLock_);
  // Forwarded to the current controller; dropped when there is none.
  void AddItem(const ItemRecord& item) EXCLUDES(controllersLock_);
  void SetLegacyTrigger(const LegacyTriggerRecord& trigger) EXCLUDES(controllersLock_);

  // The history manager's share of the workspace record (the reader's first
  // call for it); the history service's result.
  HRESULT InitializeHistory(const WorkspaceRecord& workspace);
  // Keeps one `commonSettings` value, replacing an earlier one of the triple.
  void SetCommonSetting(std::string_view type, std::string_view setting, std::string_view key,
                        std::string_view value) EXCLUDES(workspaceInfoLock_);
  // The common setting of the triple; empty when absent.
  std::string CommonSetting(std::string_view type, std::string_view setting,
                            std::string_view key) const EXCLUDES(workspaceInfoLock_);
  void SetProjectVersion(const ProjectVersion& version) EXCLUDES(workspaceInfoLock_);
  ProjectVersion projectVersion() const EXCLUDES(workspaceInfoLock_);

  // A copy of the workspace record the reader delivered (cleared when none).
  WorkspaceRecord workspace() const EXCLUDES(workspaceInfoLock_);
  bool settingsReceived() const { return settingsReceived_.IsSet(); }

  // --- Services --------------------------------------------------------------

  // The plain text of an encoded password (network folders, encrypted
  // elements); E_NOTIMPL until a password-decoding plug-in is installed.
  HRESULT DecodePassword(std::string_view encoded, std::string* plain);
  // Hands the automatic database rewrite record to the external trigger
  // bridge; logs a failure.
  void StartAutoRewrite() EXCLUDES(workspaceInfoLock_, controllersLock_);
  EngineServices& services() { return services_; }
  bool deactivated() const { return deactivated_.load(); }
  bool terminated() const { return terminated_.load(); }

  // --- IControllerHost ---------------------------------------------------------

  HRESULT GetWorkspace(Ref<IZeltWorkspace>* out) override EXCLUDES(zeltLock_);
  int32_t RetryCount() const override { return retryCount_.load(); }
  int32_t RetryInterval() const override { return retryInterval_.load(); }
  std::recursive_mutex& ProviderLock(std::string_view provider) override
      EXCLUDES(providerLocksMutex_);
  bool IsVersionedProject() const override;
  uint32_t Lcid() const override;
  bool NotRepeatError() const override { return notRepeatError_.load(std::memory_order_relaxed); }
  Ref<CTavrixItem> FindEngineItem(std::string_view controller, std::string_view item) override;
  void OnControllerUpdated(CTavrixController& controller) override;
  TriggerWorkspaceSettings TriggerSettings() const override EXCLUDES(workspaceInfoLock_);
  DatabaseWorkspaceSettings DatabaseSettings() const override EXCLUDES(workspaceInfoLock_);
  bool WaitForEngineStop(uint32_t ms) override;

 private:
  // engine_start.cc
  // Steps 4 to 12 of the start.
  HRESULT StartControllers(const EngineSettings& settings) REQUIRES(terminateLock_);
  HRESULT CheckCounts();
  void PrepareShareFolder();
  void StartNetworkFolders() REQUIRES(terminateLock_);
  void WireItems();
  HRESULT CreateEngineObject();
  HRESULT StartZelt() EXCLUDES(zeltLock_);
  void StartPlugins(const EngineSettings& settings);
  HRESULT StartServers(HRESULT result) EXCLUDES(settingsLock_);

  // engine_activation.cc
  HRESULT StartActivation() REQUIRES(terminateLock_);
  void ActivationThreadBody();
  HRESULT ActivateGroups() EXCLUDES(controllersLock_);
  // Runs from Terminate only (so with terminateLock_ held); takes memberLock_.
  void Deactivate() REQUIRES(terminateLock_) EXCLUDES(memberLock_);

  // engine_terminate.cc: Terminate's steps.
  void TerminateLocked() REQUIRES(terminateLock_);

  // engine_man.cc
  // The process-wide engine lock (see the top of this file).
  static RecursiveMutex& EngineLock();
  bool ReleaseKeepsRunning() const EXCLUDES(settingsLock_);

  // The process's instance (GetInstance).
  static inline CTavrixEngineMan* instance_ GUARDED_BY(EngineLock()) = nullptr;
  // Made by GetInstance (not by a test): its last Release also destroys it.
  bool processInstance_ GUARDED_BY(EngineLock()) = false;

  EngineServices services_;
  std::unique_ptr<IProjectConsumer> consumer_;

  // Guards settings_: the start clears a server's flag after its failure
  // while other threads read the settings.
  mutable Mutex settingsLock_;
  EngineSettings settings_ GUARDED_BY(settingsLock_);
  // settings_.notRepeatError, read without a lock on every item failure.
  std::atomic<bool> notRepeatError_{false};
  std::atomic<int32_t> asyncQueueLimit_{100000};

  // Lock count.
  int32_t lockCount_ GUARDED_BY(EngineLock()) = 0;

  // Guards the registered controllers, the current one (the last
  // registered) and those whose activation started. A leaf: held only to copy
  // or change these, never while a controller is called.
  mutable Mutex controllersLock_;
  std::map<int32_t, Ref<CTavrixController>> controllers_ GUARDED_BY(controllersLock_);
  int32_t currentIndex_ GUARDED_BY(controllersLock_) = -1;
  std::vector<Ref<CTavrixController>> started_ GUARDED_BY(controllersLock_);

  // Guards the Zelt engine and its first workspace (a leaf).
  mutable Mutex zeltLock_;
  Ref<IZeltEngine> zeltEngine_ GUARDED_BY(zeltLock_);
  Ref<IZeltWorkspace> zeltWorkspace_ GUARDED_BY(zeltLock_);

  // The manager's own engine object.
  Ref<IUnknown> engineObject_ GUARDED_BY(EngineLock());

  // Guards the map of provider locks, keyed by the upper-cased provider
  // text; they are kept until terminate frees them. A leaf: the provider
  // locks themselves are taken by their controllers after it is released.
  Mutex providerLocksMutex_;
  std::map<std::string, std::unique_ptr<std::recursive_mutex>> providerLocks_
      GUARDED_BY(providerLocksMutex_);

  // Guards the project's engine-wide settings (a leaf).
  mutable Mutex workspaceInfoLock_;
  WorkspaceRecord workspace_ GUARDED_BY(workspaceInfoLock_);
  std::map<std::tuple<std::string, std::string, std::string>, std::string> commonSettings_
      GUARDED_BY(workspaceInfoLock_);
  ProjectVersion projectVersion_ GUARDED_BY(workspaceInfoLock_);
  std::atomic<int32_t> retryCount_{0};
  std::atomic<int32_t> retryInterval_{kDefaultRetryInterval};

  std::atomic<bool> initializing_{false};
  std::atomic<bool> initializeCalled_{false};
  std::atomic<bool> deactivated_{false};
  std::atomic<bool> terminating_{false};
  std::atomic<bool> terminated_{false};

  // Held by Initialize and Terminate for their whole run: a stop waits for a
  // start, and Terminate's steps run once.
  Mutex terminateLock_;
  // Held by Deactivate for its whole run.
  Mutex memberLock_;

  // Set once by deactivation; ends the activation thread and its waits.
  Event abort_{Event::Mode::kManualReset, false};
  // Set when the reader delivers the workspace record.
  Event settingsReceived_{Event::Mode::kManualReset, false};

  Thread activationThread_;
  std::atomic<int32_t> activationResult_{0};

  // The network-folder thread, when the project lists credentials. Made and
  // stopped by the thread running the start and the terminate.
  std::unique_ptr<NetworkFolderThread> networkFolders_ GUARDED_BY(terminateLock_);
};

}  // namespace tavrix
