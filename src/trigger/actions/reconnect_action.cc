// The reconnect action (12): asks the controller to reconnect on a thread of
// its own, waiting `mode` seconds before it activates again. One
// reconnection runs at a time per controller; a firing while one runs is
// reported and skipped.
#include "controller/controller.h"
#include "trigger/action_object.h"
#include "trigger/actions/action_makers.h"

namespace tavrix {

class CReconnectActionObject final : public CActionObject {
 public:
  explicit CReconnectActionObject(int32_t mode) : mode_(mode) {}

  HRESULT Execute(int32_t, IZeltMessage*) override {
    if (controller() == nullptr) return S_FALSE;
    const HRESULT hr = controller()->StartReconnectThread(mode_);
    if (hr == S_FALSE) {
      LogNode(S_FALSE, 1, "Reconnection is already running. Execute cancel.");
      ReportResult(S_FALSE, *this);
      return S_FALSE;
    }
    if (FAILED(hr)) LogNode(hr, 1, "Failed in Execute().");
    ReportResult(hr, *this);
    return hr;
  }

  const char* GetClassName() const override { return "CReconnectActionObject"; }

 private:
  const int32_t mode_;
};

std::unique_ptr<CActionObject> MakeReconnectAction(int32_t mode) {
  return std::make_unique<CReconnectActionObject>(mode);
}

}  // namespace tavrix
