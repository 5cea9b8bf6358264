#include "engine/engine_services.h"

#include "controller/controller.h"
#include "engine/engine_history.h"

namespace tavrix {
namespace {

// A server that is not built yet: its start fails, so an enabled server is
// logged and switched off instead of pretending to serve.
class UnavailableServer final : public IMessageServer {
 public:
  HRESULT Start() override { return E_NOTIMPL; }
  void Stop() override {}
};

class NoExternalTrigger final : public IExternalTriggerBridge {
 public:
  HRESULT Init(std::string_view, const WorkspaceRecord&) override { return E_NOTIMPL; }
  HRESULT StartAutoRewrite(const AutoRewriteInfo&) override { return E_NOTIMPL; }
  int32_t QueuedExecutions() const override { return 0; }
  void Terminate() override {}
};

class NoExternalFunctions final : public IExternalFunctionBridge {
 public:
  HRESULT Init() override { return E_NOTIMPL; }
  HRESULT Bind(std::span<const Ref<CTavrixController>>) override { return E_NOTIMPL; }
  void Stop() override {}
};

class NoFormatter final : public IFormatterBridge {
 public:
  HRESULT Start() override { return S_OK; }
};

class NoPasswordDecoder final : public IPasswordDecoder {
 public:
  HRESULT Decode(std::string_view, std::string* plain) override {
    if (plain != nullptr) plain->clear();
    return E_NOTIMPL;
  }
  void Unload() override {}
};

class NoEngineObject final : public IEngineObjectFactory {
 public:
  HRESULT Create(CTavrixEngineMan&, Ref<IUnknown>* out) override {
    *out = nullptr;
    return S_FALSE;
  }
};

// Sub-items join their parents now; links and asynchronous triggers come
// with their subsystems.
class NoItemWiring final : public IItemWiring {
 public:
  HRESULT InitializeSubItems(CTavrixController& controller) override {
    return controller.InitSubitems();
  }
  HRESULT InitializeLinks(CTavrixController&) override { return S_OK; }
  HRESULT CheckLinkCycles(CTavrixController&) override { return S_OK; }
  int32_t AsyncTriggerCount(CTavrixController& controller) override {
    return controller.AsyncInsertCount();
  }
};

template <typename T, typename Default>
void Fill(std::unique_ptr<T>& slot) {
  if (!slot) slot = std::make_unique<Default>();
}

}  // namespace

void EngineServices::FillDefaults() {
  Fill<IMessageServer, UnavailableServer>(dde);
  Fill<IMessageServer, UnavailableServer>(kiv);
  Fill<IMessageServer, UnavailableServer>(coap);
  Fill<IHistoryService, DatabaseHistory>(history);
  Fill<IExternalTriggerBridge, NoExternalTrigger>(externalTrigger);
  Fill<IExternalFunctionBridge, NoExternalFunctions>(externalFunctions);
  Fill<IFormatterBridge, NoFormatter>(formatter);
  Fill<IPasswordDecoder, NoPasswordDecoder>(passwordDecoder);
  Fill<IEngineObjectFactory, NoEngineObject>(engineObject);
  Fill<IItemWiring, NoItemWiring>(itemWiring);
  Fill<INetworkFolders, LinuxNetworkFolders>(networkFolders);
}

}  // namespace tavrix
