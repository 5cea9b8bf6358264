// The put-message action (8): writes a field of the controller message being
// processed to an item or temporary item. It does its work only in a message
// execution; every other execution leaves the target alone.
#include "config/trigger_info.h"
#include "platform/text.h"
#include "trigger/action_object.h"
#include "trigger/actions/action_makers.h"
#include "trigger/controller_values.h"
#include "trigger/operand.h"

namespace tavrix {

namespace {

// The field number of "NAME" or "$Message.NAME$", or -1.
int32_t FieldNumberOf(std::string_view text) {
  constexpr std::string_view kPrefix = "$Message.";
  if (text.size() > kPrefix.size() + 1 && text.back() == '$' &&
      EqualsNoCase(text.substr(0, kPrefix.size()), kPrefix)) {
    text = text.substr(kPrefix.size(), text.size() - kPrefix.size() - 1);
  }
  if (text.empty()) return -1;
  return MessageFieldNumber(text);
}

}  // namespace

class CPutMessageActionObject final : public CActionObject {
 public:
  explicit CPutMessageActionObject(const ActionExInfo& info)
      : controllerName_(info.m_strPutController),
        itemName_(info.m_strPutItem),
        fieldText_(info.m_strPutValue) {}

  HRESULT Initialize(CTavrixController& controller) override {
    ReleaseResources();
    const int32_t field = FieldNumberOf(fieldText_);
    HRESULT hr = field < 0 ? E_INVALIDARG
                           : ResolveTarget(controller, controllerName_, itemName_, &target_);
    if (FAILED(hr)) {
      target_.Reset();
      LogNode(hr, 1, "Failed in Initialize().");
      return hr;
    }
    field_ = field;
    return S_OK;
  }

  HRESULT Execute(int32_t kind, IZeltMessage* message) override {
    if (!target_.resolved() || kind != kKindMessage || message == nullptr) return S_FALSE;
    Variant value;
    HRESULT hr = ReadMessageField(*message, field_, &value);
    if (SUCCEEDED(hr)) hr = WriteOperand(target_, value);
    if (FAILED(hr)) return FailedExecution(hr);
    return S_OK;
  }

  void ReleaseResources() override {
    target_.Reset();
    field_ = -1;
  }
  const char* GetClassName() const override { return "CPutMessageActionObject"; }

 private:
  const std::string controllerName_;
  const std::string itemName_;
  const std::string fieldText_;
  Operand target_;
  int32_t field_ = -1;
};

std::unique_ptr<CActionObject> MakePutMessageAction(const ActionExInfo& info) {
  return std::make_unique<CPutMessageActionObject>(info);
}

}  // namespace tavrix
