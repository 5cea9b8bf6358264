// The engine start: the project, the shared services and the activation
// thread, in the order the rest of the system relies on.
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "config/project_reader.h"
#include "config/replace_strings.h"
#include "engine/engine_man.h"
#include "platform/log.h"
#include "platform/text.h"
#include "zelt/engine.h"

namespace tavrix {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

// The user's documents folder: XDG_DOCUMENTS_DIR, else $HOME/Documents.
std::string DocumentsFolder() {
  std::string dir = Env("XDG_DOCUMENTS_DIR");
  if (!dir.empty()) return dir;
  return Env("HOME") + "/Documents";
}

std::string ComputerName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return std::string();
  return name;
}

// Whether the Zelt engine is to be made on another computer.
bool IsRemoteHost(const std::string& host) {
  return !host.empty() && !EqualsNoCase(host, "localhost") && !EqualsNoCase(host, ComputerName());
}

}  // namespace

HRESULT CTavrixEngineMan::Initialize() {
  if (initializeCalled_.exchange(true)) return E_UNEXPECTED;
  // Set before anything can take a reference: a Release during the start
  // (the engine's own object gives its reference back) must not end it.
  initializing_.store(true);
  MutexLock lock(&terminateLock_);
  EngineSettings settings = this->settings();

  if (settings.ddeEnabled) {
    const HRESULT hr = services_.dde->Start();
    if (FAILED(hr)) {
      LogResult(hr, 1, "Failed in initializing DDE server.\n");
      settings.ddeEnabled = false;
      MutexLock settingsLock(&settingsLock_);
      settings_.ddeEnabled = false;
    }
  }

  CTavrixReader reader({}, ReaderMode::kLoad, {.dataReaderPath = settings.dataReaderPath});
  const HRESULT read = reader.parse(settings.dataPath, consumer_.get());
  if (FAILED(read)) {
    // What was registered before the fault stays; the checks below decide.
    LogResult(read, 3,
              "TavrixEngineMan : The project file could not be read to its end; %d controllers "
              "are registered. %ls\n",
              static_cast<int32_t>(Controllers().size()), settings.dataPath);
  }

  if (FAILED(StartControllers(settings))) {
    LogResult(E_FAIL, 3, "TavrixEngineMan : Failed in initializing Tavrix.\n");
  }

  HRESULT hr = services_.history->CreateObject();
  if (FAILED(hr)) {
    Log(1, "TavrixEngineMan : Failed in creating ITavrixHistory interface.\n");
    hr = StartServers(hr);
  } else {
    hr = services_.history->QueryHistory();
    if (FAILED(hr)) {
      Log(1, "TavrixEngineMan : Failed in retrieving ITavrixHistory interface.\n");
      services_.history->ReleaseObject();
      services_.history->StopManager();
      if (this->settings().ddeEnabled) services_.dde->Stop();
    } else {
      hr = StartServers(hr);
    }
  }

  // The caller skips its message loop and never calls Terminate: nothing the
  // start made may be left running.
  if (FAILED(hr)) TerminateLocked();
  initializing_.store(false);
  return hr;
}

HRESULT CTavrixEngineMan::StartServers(HRESULT result) {
  struct Server {
    bool EngineSettings::*flag;
    IMessageServer* server;
    const char* failure;
  };
  const Server servers[] = {
      {&EngineSettings::kivServerEnabled, services_.kiv.get(),
       "Failed in initializing Kiv server.\n"},
      {&EngineSettings::coapServerEnabled, services_.coap.get(),
       "Failed in initializing CoAP server.\n"},
  };
  for (const Server& s : servers) {
    if (!(settings().*s.flag)) continue;
    const HRESULT hr = s.server->Start();
    if (FAILED(hr)) {
      LogResult(hr, 1, s.failure);
      MutexLock lock(&settingsLock_);
      settings_.*s.flag = false;
    }
    // Started, or switched off after its failure: the start goes on either way.
    result = S_OK;
  }
  return result;
}

HRESULT CTavrixEngineMan::StartControllers(const EngineSettings& settings) {
  RETURN_IF_FAILED(CheckCounts());
  PrepareShareFolder();
  StartNetworkFolders();
  const HRESULT formatter = services_.formatter->Start();
  if (FAILED(formatter)) LogResult(formatter, 1, "TavrixEngineMan : Init formatter failed.\n");
  WireItems();
  RETURN_IF_FAILED(CreateEngineObject());
  RETURN_IF_FAILED(StartZelt());
  StartPlugins(settings);
  return StartActivation();
}

HRESULT CTavrixEngineMan::CheckCounts() {
  const std::vector<Ref<CTavrixController>> controllers = Controllers();
  if (controllers.empty()) {
    LogResult(E_FAIL, 3, "TavrixEngineMan : There is no controller entry.\n");
    return E_FAIL;
  }
  if (controllers.size() > static_cast<size_t>(kMaxControllers)) {
    LogResult(E_FAIL, 3, "TavrixEngineMan : Controller is too many.\n");
    return E_FAIL;
  }
  int64_t asyncTriggers = 0;
  for (const auto& c : controllers) asyncTriggers += services_.itemWiring->AsyncTriggerCount(*c);
  if (asyncTriggers > kMaxAsyncTriggers) {
    LogResult(E_FAIL, 3, "TavrixEngineMan : AsyncTrigger is too many.\n");
    return E_FAIL;
  }
  return S_OK;
}

void CTavrixEngineMan::PrepareShareFolder() {
  std::string path = Env("QUORVELSHARE");
  const bool fromEnvironment = !path.empty();
  if (!fromEnvironment) path = DocumentsFolder() + "/Quorvel/ShareTemp";
  TavrixUtility::ReplaceStringMap::Instance().AddShareFolderPath(path, fromEnvironment);
}

void CTavrixEngineMan::StartNetworkFolders() {
  const WorkspaceRecord ws = workspace();
  // Without credentials there is no thread, and so no first pass to wait for.
  if (ws.m_credentials.empty()) return;
  std::vector<NetworkCredential> credentials;
  for (const CredentialRecord& c : ws.m_credentials) {
    credentials.push_back({c.m_strAddress, c.m_strUser, c.m_strPassword});
  }
  networkFolders_ = std::make_unique<NetworkFolderThread>(
      *services_.networkFolders,
      [this](const std::string& encoded, std::string* plain) {
        return DecodePassword(encoded, plain);
      });
  const HRESULT hr = networkFolders_->Start(std::move(credentials));
  if (FAILED(hr)) {
    LogResult(hr, 1, "TavrixEngineMan : Failed in starting the network folder thread.\n");
    networkFolders_.reset();
    return;
  }
  networkFolders_->WaitFirstPass();
}

void CTavrixEngineMan::WireItems() {
  const std::vector<Ref<CTavrixController>> controllers = Controllers();
  IItemWiring& wiring = *services_.itemWiring;
  for (const auto& c : controllers) {
    if (FAILED(wiring.InitializeSubItems(*c))) {
      Log(0, "TavrixEngineMan : Failed in Initialize Subitem.\n");
    }
    (void)wiring.InitializeLinks(*c);
  }
  // Every link must exist before a cycle through several controllers can be seen.
  for (const auto& c : controllers) (void)wiring.CheckLinkCycles(*c);
}

HRESULT CTavrixEngineMan::CreateEngineObject() {
  RecursiveMutexLock lock(&EngineLock());
  Ref<IUnknown> object;
  const HRESULT hr = services_.engineObject->Create(*this, &object);
  if (FAILED(hr)) {
    Log(0, "TavrixEngineMan : Failed in Initialize TavrixEngine.\n");
    return hr;
  }
  if (object) {
    engineObject_ = std::move(object);
    // The reference the object took: the manager's own object must not keep
    // the manager alive.
    Release();
  }
  return S_OK;
}

HRESULT CTavrixEngineMan::StartZelt() {
  const std::string host = workspace().m_strZeltHost;
  HRESULT hr = S_OK;
  Ref<IZeltEngine> engine;
  Ref<IZeltWorkspace> first;
  if (IsRemoteHost(host)) {
    // An engine on another computer needs a remote object transport, which
    // this host does not have.
    hr = E_NOTIMPL;
  } else {
    engine = CreateZeltEngine();
    Ref<IZeltWorkspaces> spaces;
    hr = engine ? engine->get_Workspaces(&spaces) : E_OUTOFMEMORY;
    if (SUCCEEDED(hr)) hr = spaces->Item(Variant::I4(0), &first);
    if (SUCCEEDED(hr) && !first) hr = E_FAIL;
  }
  if (FAILED(hr)) {
    Log(0, "TavrixEngineMan : Failed in creating ZeltEngine instance.\n");
    return hr;
  }
  MutexLock lock(&zeltLock_);
  zeltEngine_ = std::move(engine);
  zeltWorkspace_ = std::move(first);
  return S_OK;
}

void CTavrixEngineMan::StartPlugins(const EngineSettings& settings) {
  HRESULT hr = services_.externalTrigger->Init(settings.dataPath, workspace());
  if (FAILED(hr)) {
    LogResult(hr, 1, "TavrixEngineMan : Init external trigger failed.\n");
  } else {
    StartAutoRewrite();
  }
  hr = services_.externalFunctions->Init();
  if (SUCCEEDED(hr)) {
    const std::vector<Ref<CTavrixController>> controllers = Controllers();
    hr = services_.externalFunctions->Bind(controllers);
  }
  if (FAILED(hr)) LogResult(hr, 1, "TavrixEngineMan : Init external function failed.\n");
}

}  // namespace tavrix
