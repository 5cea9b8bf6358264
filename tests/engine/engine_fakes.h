// Recording stand-ins for every service of the engine manager and for the
// network: each call is recorded and logged, each answer is set by the test.
#pragma once

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_man.h"
#include "engine/engine_services.h"
#include "platform/log.h"

namespace tavrix::engine_test {

// The calls the fakes received, in order; each is also logged ("fake : <call>")
// so that tests can see it among the engine's own lines.
class Recorder {
 public:
  void Add(const std::string& call) {
    Log(1, "fake : %s\n", call);
    std::lock_guard lock(mutex_);
    calls_.push_back(call);
  }
  std::vector<std::string> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  bool Called(const std::string& call) const {
    std::lock_guard lock(mutex_);
    return std::find(calls_.begin(), calls_.end(), call) != calls_.end();
  }

 private:
  mutable std::mutex mutex_;  // guards calls_
  std::vector<std::string> calls_;
};

// What the fakes answer.
struct Answers {
  HRESULT ddeStart = S_OK;
  HRESULT kivStart = S_OK;
  HRESULT coapStart = S_OK;
  HRESULT historyCreate = S_OK;
  HRESULT historyQuery = S_OK;
  HRESULT triggerInit = S_OK;
  HRESULT functionInit = S_OK;
  HRESULT functionBind = S_OK;
  HRESULT subItems = S_OK;
  int32_t asyncTriggersPerController = 0;
  int32_t queuedExecutions = 0;
  bool makeEngineObject = false;
};

class FakeServer final : public IMessageServer {
 public:
  FakeServer(Recorder& r, std::string name, HRESULT start) : r_(r), name_(name), start_(start) {}
  HRESULT Start() override {
    r_.Add(name_ + ".Start");
    return start_;
  }
  void Stop() override { r_.Add(name_ + ".Stop"); }

 private:
  Recorder& r_;
  std::string name_;
  HRESULT start_;
};

class FakeHistory final : public IHistoryService {
 public:
  FakeHistory(Recorder& r, const Answers& a) : r_(r), a_(a) {}
  HRESULT InitializeManager(const WorkspaceRecord&, std::string_view) override {
    r_.Add("history.InitializeManager");
    return S_OK;
  }
  HRESULT CreateObject() override {
    r_.Add("history.CreateObject");
    return a_.historyCreate;
  }
  HRESULT QueryHistory() override {
    r_.Add("history.QueryHistory");
    return a_.historyQuery;
  }
  void ReleaseObject() override { r_.Add("history.ReleaseObject"); }
  void StopManager() override { r_.Add("history.StopManager"); }

 private:
  Recorder& r_;
  Answers a_;
};

class FakeTrigger final : public IExternalTriggerBridge {
 public:
  FakeTrigger(Recorder& r, const Answers& a) : r_(r), a_(a) {}
  HRESULT Init(std::string_view, const WorkspaceRecord&) override {
    r_.Add("trigger.Init");
    return a_.triggerInit;
  }
  HRESULT StartAutoRewrite(const AutoRewriteInfo& info) override {
    std::string names;
    for (const std::string& n : info.controllers) names += " " + n;
    r_.Add("trigger.StartAutoRewrite" + names);
    return S_OK;
  }
  int32_t QueuedExecutions() const override { return a_.queuedExecutions; }
  void Terminate() override { r_.Add("trigger.Terminate"); }

 private:
  Recorder& r_;
  Answers a_;
};

class FakeFunctions final : public IExternalFunctionBridge {
 public:
  FakeFunctions(Recorder& r, const Answers& a) : r_(r), a_(a) {}
  HRESULT Init() override {
    r_.Add("functions.Init");
    return a_.functionInit;
  }
  HRESULT Bind(std::span<const Ref<CTavrixController>> controllers) override {
    r_.Add("functions.Bind " + std::to_string(controllers.size()));
    return a_.functionBind;
  }
  void Stop() override { r_.Add("functions.Stop"); }

 private:
  Recorder& r_;
  Answers a_;
};

class FakeFormatter final : public IFormatterBridge {
 public:
  explicit FakeFormatter(Recorder& r) : r_(r) {}
  HRESULT Start() override {
    r_.Add("formatter.Start");
    return S_OK;
  }

 private:
  Recorder& r_;
};

// "enc:<text>" decodes to <text>; anything else cannot be decoded.
class FakeDecoder final : public IPasswordDecoder {
 public:
  explicit FakeDecoder(Recorder& r) : r_(r) {}
  HRESULT Decode(std::string_view encoded, std::string* plain) override {
    if (encoded.substr(0, 4) != "enc:") return E_FAIL;
    *plain = std::string(encoded.substr(4));
    return S_OK;
  }
  void Unload() override { r_.Add("decoder.Unload"); }

 private:
  Recorder& r_;
};

// An engine object as the automation layer makes them: it holds a
// manager reference for its lifetime.
class FakeEngineObjectFactory final : public IEngineObjectFactory {
 public:
  FakeEngineObjectFactory(Recorder& r, const Answers& a) : r_(r), a_(a) {}
  HRESULT Create(CTavrixEngineMan& manager, Ref<IUnknown>* out) override {
    r_.Add("engineObject.Create");
    if (!a_.makeEngineObject) return S_FALSE;
    *out = Ref<IUnknown>(new HoldsManager(manager));
    return S_OK;
  }

 private:
  class HoldsManager final : public IUnknown {
   public:
    explicit HoldsManager(CTavrixEngineMan& m) : m_(m) { m_.AddRef(); }
    HRESULT QueryInterface(const IID&, void** out) override {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return ++refs_; }
    uint32_t Release() override {
      const uint32_t left = --refs_;
      if (left == 0) {
        m_.Release();
        delete this;
      }
      return left;
    }

   private:
    ~HoldsManager() = default;
    CTavrixEngineMan& m_;
    std::atomic<uint32_t> refs_{0};
  };

  Recorder& r_;
  Answers a_;
};

class FakeWiring final : public IItemWiring {
 public:
  FakeWiring(Recorder& r, const Answers& a) : r_(r), a_(a) {}
  HRESULT InitializeSubItems(CTavrixController& c) override {
    r_.Add("wiring.SubItems " + c.name());
    return a_.subItems;
  }
  HRESULT InitializeLinks(CTavrixController& c) override {
    r_.Add("wiring.Links " + c.name());
    return S_OK;
  }
  HRESULT CheckLinkCycles(CTavrixController& c) override {
    r_.Add("wiring.Cycles " + c.name());
    return S_OK;
  }
  int32_t AsyncTriggerCount(CTavrixController& c) override {
    // The answer given, on top of what the controller's tree holds.
    return a_.asyncTriggersPerController + c.AsyncInsertCount();
  }

 private:
  Recorder& r_;
  Answers a_;
};

// Answers as a network would: "//conflict/..." is already connected with
// other credentials, "//down/..." cannot be reached, the rest connects.
class FakeNetworkFolders final : public INetworkFolders {
 public:
  explicit FakeNetworkFolders(Recorder& r) : r_(r) {}
  HRESULT Connect(const std::string& path, const std::string& user,
                  const std::string& password) override {
    r_.Add("net.Connect " + path + " " + user + " " + password);
    if (path.rfind("//conflict/", 0) == 0) return kNetworkCredentialConflict;
    if (path.rfind("//down/", 0) == 0) return HRESULT(0x80070035u);
    return S_OK;
  }
  HRESULT Cancel(const std::string& path) override {
    r_.Add("net.Cancel " + path);
    return S_OK;
  }

 private:
  Recorder& r_;
};

inline EngineServices RecordingServices(Recorder& r, const Answers& a) {
  EngineServices s;
  s.dde = std::make_unique<FakeServer>(r, "dde", a.ddeStart);
  s.kiv = std::make_unique<FakeServer>(r, "kiv", a.kivStart);
  s.coap = std::make_unique<FakeServer>(r, "coap", a.coapStart);
  s.history = std::make_unique<FakeHistory>(r, a);
  s.externalTrigger = std::make_unique<FakeTrigger>(r, a);
  s.externalFunctions = std::make_unique<FakeFunctions>(r, a);
  s.formatter = std::make_unique<FakeFormatter>(r);
  s.passwordDecoder = std::make_unique<FakeDecoder>(r);
  s.engineObject = std::make_unique<FakeEngineObjectFactory>(r, a);
  s.itemWiring = std::make_unique<FakeWiring>(r, a);
  s.networkFolders = std::make_unique<FakeNetworkFolders>(r);
  return s;
}

}  // namespace tavrix::engine_test
