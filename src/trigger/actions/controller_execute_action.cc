// The controller-execute action (11): runs a command of the controller's Zelt
// connection with a parameter built from constants and item values, and keeps
// the command's answer in an item or temporary item.
#include <string>
#include <vector>

#include "config/trigger_info.h"
#include "controller/controller.h"
#include "platform/convert.h"
#include "platform/log.h"
#include "trigger/action_object.h"
#include "trigger/actions/action_makers.h"
#include "trigger/actions/put_value_action.h"
#include "trigger/operand.h"
#include "zelt/interfaces.h"

namespace tavrix {

namespace {

constexpr uint16_t kItemReference = 0x4000;  // the argument text names an item

HRESULT ReadType(const std::string& text, uint16_t* out) {
  Variant type;
  if (FAILED(ChangeType(Variant::Text(text), VT_UI2, &type))) return E_INVALIDARG;
  *out = type.ui2();
  return S_OK;
}

// Resolves a result target or an argument item: "*name" or controller "\" item
// (an item of the own controller when no controller is named).
HRESULT ResolveItemName(CTavrixController& controller, const std::string& name, Operand* out) {
  return ResolveOperand(controller, name, OperandForms::kReference, out);
}

}  // namespace

// One argument of the parameter: a constant converted once, or the value of
// an item read at each execution.
class CControllerExecuteValueObject {
 public:
  explicit CControllerExecuteValueObject(const ArgumentValueInfo& info) : info_(info) {}

  // `owner` names the action in the lines.
  HRESULT Initialize(CTavrixController& controller, const CActionObject& owner) {
    uint16_t type = 0;
    HRESULT hr = ReadType(info_.m_lArgumentValueType, &type);
    if (FAILED(hr)) {
      LogResult(hr, 1, "CControllerExecuteValueObject[%ls] : Invalid argument type [%ls].\n",
                owner.fullName(), info_.m_lArgumentValueType);
      return hr;
    }
    byReference_ = (type & kItemReference) != 0;
    type_ = type & ~kItemReference;
    if (byReference_) {
      hr = ResolveItemName(controller, info_.m_strArgumentValue, &item_);
      if (FAILED(hr)) {
        LogResult(hr, 1, "CControllerExecuteValueObject[%ls] : Invalid item name [%ls].\n",
                  owner.fullName(), info_.m_strArgumentValue);
      }
      return hr;
    }
    hr = Convert(Variant::Text(info_.m_strArgumentValue), &constant_);
    if (FAILED(hr)) {
      LogResult(hr, 1, "CControllerExecuteValueObject[%ls] : Invalid constants [%ls].\n",
                owner.fullName(), info_.m_strArgumentValue);
    }
    return hr;
  }

  HRESULT Read(Variant* out) const {
    if (!byReference_) {
      *out = constant_;
      return S_OK;
    }
    Variant value;
    HRESULT hr = ReadOperandNow(item_, &value);
    if (hr == S_FALSE) hr = E_FAIL;  // a write-only item has no value to give
    if (FAILED(hr)) return hr;
    return Convert(value, out);
  }

 private:
  // To the argument's type; VT_EMPTY and VT_VARIANT keep the value as it is.
  HRESULT Convert(const Variant& value, Variant* out) const {
    if (type_ == VT_EMPTY || type_ == VT_VARIANT) {
      *out = value;
      return S_OK;
    }
    return ChangeType(value, type_, out);
  }

  const ArgumentValueInfo info_;
  bool byReference_ = false;
  VARTYPE type_ = VT_EMPTY;
  Operand item_;
  Variant constant_;
};

class CControllerExecuteActionObject final : public CActionObject {
 public:
  explicit CControllerExecuteActionObject(const ActionExInfo& info)
      : param_(info.m_executeParam) {}

  HRESULT Initialize(CTavrixController& controller) override {
    ReleaseResources();
    HRESULT hr = ReadType(param_.m_lArgumentType, &argumentType_);
    if (FAILED(hr)) {
      LogNode(hr, 1, "Failed in Initialize().");
      return hr;
    }
    if (!param_.m_strResultItem.empty()) {
      hr = ResolveItemName(controller, param_.m_strResultItem, &result_);
      if (FAILED(hr)) {
        LogResult(hr, 1, "CControllerExecuteActionObject[%ls] : Invalid item name [%ls].\n",
                  fullName(), param_.m_strResultItem);
        return hr;
      }
    }
    for (const ArgumentValueInfo& info : param_.m_argumentValues) {
      values_.emplace_back(info);
      hr = values_.back().Initialize(controller, *this);
      if (FAILED(hr)) {
        ReleaseResources();
        return hr;
      }
    }
    ready_ = true;
    return S_OK;
  }

  HRESULT Execute(int32_t, IZeltMessage*) override {
    if (!ready_) return S_FALSE;
    Variant parameter;
    HRESULT hr = BuildParameter(&parameter);
    Variant answer;
    if (SUCCEEDED(hr)) {
      Ref<IZeltController> zelt = controller()->zeltController();
      hr = zelt ? zelt->Execute(Variant::Text(param_.m_strCommand), parameter, &answer) : E_FAIL;
    }
    if (SUCCEEDED(hr) && result_.resolved()) hr = WriteOperand(result_, answer);
    if (FAILED(hr)) return FailedExecution(hr);
    return S_OK;
  }

  void ReleaseResources() override {
    ready_ = false;
    argumentType_ = VT_EMPTY;
    result_.Reset();
    values_.clear();
  }
  const char* GetClassName() const override { return "CControllerExecuteActionObject"; }

 private:
  HRESULT BuildParameter(Variant* out) const {
    if (argumentType_ == VT_NULL) {
      *out = Variant::Null();
      return S_OK;
    }
    if (argumentType_ == VT_EMPTY) {
      *out = Variant();
      return S_OK;
    }
    std::vector<Variant> read(values_.size());
    for (size_t i = 0; i < values_.size(); ++i) RETURN_IF_FAILED(values_[i].Read(&read[i]));
    if ((argumentType_ & VT_ARRAY) != 0) {
      return MakeTypedArray(*controller(), read, argumentType_, out);
    }
    const Variant first = read.empty() ? Variant() : read.front();
    if (argumentType_ == VT_VARIANT) {
      *out = first;
      return S_OK;
    }
    return ChangeType(first, argumentType_, out);
  }

  const ExecuteParamInfo param_;
  bool ready_ = false;
  VARTYPE argumentType_ = VT_EMPTY;
  Operand result_;
  std::vector<CControllerExecuteValueObject> values_;
};

std::unique_ptr<CActionObject> MakeControllerExecuteAction(const ActionExInfo& info) {
  return std::make_unique<CControllerExecuteActionObject>(info);
}

}  // namespace tavrix
