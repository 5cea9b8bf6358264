#include "engine/engine_services.h"

#include "controller/controller.h"
#include "engine/engine_history.h"
#include "item/link_writer.h"

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

// Sub-items join their parents, items build their link observers once every
// item of the engine exists, and check their links once every link exists.
// The wiring owns the engine's link writer (item/link_writer.h): the link
// observers it builds share it, and it lives as long as the manager does, so
// its thread (started by the first write into another controller) is joined
// when the manager is destroyed, after Terminate has closed every item to it.
class DefaultItemWiring final : public IItemWiring {
 public:
  HRESULT InitializeSubItems(CTavrixController& controller) override {
    return controller.InitSubitems();
  }
  HRESULT InitializeLinks(CTavrixController& controller) override {
    HRESULT first = S_OK;
    for (const Ref<CTavrixItem>& item : controller.Items()) {
      const HRESULT hr = item->InitLinks(linkWriter_);
      if (FAILED(hr) && SUCCEEDED(first)) first = hr;
    }
    return first;
  }
  HRESULT CheckLinkCycles(CTavrixController& controller) override {
    HRESULT first = S_OK;
    for (const Ref<CTavrixItem>& item : controller.Items()) {
      const HRESULT hr = item->CheckLinkCycles();
      if (FAILED(hr) && SUCCEEDED(first)) first = hr;
    }
    return first;
  }
  int32_t AsyncTriggerCount(CTavrixController& controller) override {
    return controller.AsyncInsertCount();
  }

 private:
  const std::shared_ptr<LinkWriter> linkWriter_ = std::make_shared<LinkWriter>();
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
  Fill<IItemWiring, DefaultItemWiring>(itemWiring);
  Fill<INetworkFolders, LinuxNetworkFolders>(networkFolders);
}

}  // namespace tavrix
