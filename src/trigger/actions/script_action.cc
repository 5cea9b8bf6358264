// The script action (7): runs its script text in a script host made by the
// installed factory (trigger_services.h). Without a host the action cannot
// initialise; a host whose script failed may be dropped, per the workspace's
// dispose-error-scripts setting, so that a broken script stops running.
#include "config/trigger_info.h"
#include "trigger/action_object.h"
#include "trigger/actions/action_makers.h"
#include "trigger/node_factory.h"
#include "trigger/trigger_services.h"

namespace tavrix {

class CExecuteScriptActionObject final : public CActionObject {
 public:
  explicit CExecuteScriptActionObject(const ActionExInfo& info)
      : script_(info.m_strScript), notSafeMode_(ReadTriggerFlag(info.m_bNotSafeMode, false)) {}

  HRESULT Initialize(CTavrixController& controller) override {
    ReleaseResources();
    std::unique_ptr<ITriggerScriptHost> host = TriggerServices::Instance().CreateScriptHost();
    HRESULT hr = E_NOTIMPL;
    if (host) {
      try {
        hr = host->Initialize(controller, script_, fullName(), GetScriptObject(), notSafeMode_);
      } catch (...) {
        hr = E_FAIL;
      }
    }
    if (FAILED(hr)) {
      LogNode(hr, 1, "Failed in Initialize().");
      return hr;
    }
    host_ = std::move(host);
    return S_OK;
  }

  HRESULT Execute(int32_t, IZeltMessage*) override {
    if (!host_) {
      ReportResult(S_OK, *this);
      return S_FALSE;
    }
    HRESULT hr = E_FAIL;
    try {
      hr = host_->Run();
    } catch (...) {
      LogNode(E_FAIL, 1, "Exception occurred.");
      hr = E_FAIL;
    }
    if (SUCCEEDED(hr)) return hr;
    if (context().disposeErrorScripts) host_.reset();
    return FailedExecution(hr);
  }

  void ReleaseResources() override { host_.reset(); }
  const char* GetClassName() const override { return "CExecuteScriptActionObject"; }

 private:
  const std::string script_;
  const bool notSafeMode_;
  std::unique_ptr<ITriggerScriptHost> host_;
};

std::unique_ptr<CActionObject> MakeScriptAction(const ActionExInfo& info) {
  return std::make_unique<CExecuteScriptActionObject>(info);
}

}  // namespace tavrix
