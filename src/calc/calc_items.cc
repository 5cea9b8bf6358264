#include "calc/calc_items.h"

#include "controller/controller.h"
#include "item/item.h"
#include "platform/convert.h"
#include "platform/log.h"

namespace tavrix {
namespace {

CalcSettings SettingsOf(const IControllerHost& host) {
  return CalcSettings{.versioned = host.IsVersionedProject(), .lcid = host.Lcid()};
}

}  // namespace

int32_t CalcCodeFromText(std::string_view text, LCID lcid) {
  Variant code;
  if (FAILED(ChangeType(Variant::Text(std::string(text)), VT_I4, &code, 0, lcid))) return -1;
  return code.i4();
}

// --- CTavrixCalcItemBase ----------------------------------------------------------

bool CTavrixCalcItemBase::SetOperation(int32_t code, const CalcSettings& settings) {
  op_ = FindCalcOperation(code);
  settings_ = settings;
  return op_ != nullptr;
}

HRESULT CTavrixCalcItemBase::Apply(const Variant& left, const Variant& right,
                                   Variant* out) const {
  if (op_ == nullptr) return E_FAIL;
  return op_->operands == 2 ? op_->binary(left, right, settings_, out)
                            : op_->unary(left, settings_, out);
}

// --- CTavrixCalcItem ----------------------------------------------------------------

HRESULT CTavrixCalcItem::Setup(CTavrixItem* item, int32_t code, std::string_view operandText) {
  if (item == nullptr) return E_INVALIDARG;
  auto* controller = dynamic_cast<CTavrixController*>(item->owner());
  if (controller == nullptr) return E_INVALIDARG;
  if (code == 0 || !SetOperation(code, SettingsOf(controller->host()))) {
    op_ = nullptr;
    return S_FALSE;
  }
  if (!binary()) return S_OK;
  operand_ = BuildOperand(operandText, *op_, CalcPosition::kRight, CalcForm::kItem, *controller,
                          item);
  if (!operand_) {
    op_ = nullptr;
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT CTavrixCalcItem::Calculate(Variant* value) {
  if (op_ == nullptr) return E_FAIL;
  Variant operand;
  if (binary()) RETURN_IF_FAILED(operand_->GetOperand(&operand, nullptr));
  Variant result;
  const HRESULT hr = Apply(*value, operand, &result);
  if (SUCCEEDED(hr)) *value = std::move(result);
  return hr;
}

// --- CTavrixCalcItemEx ---------------------------------------------------------------

HRESULT CTavrixCalcItemEx::Setup(CTavrixController& controller, std::string_view target,
                                 std::string_view left, int32_t code, std::string_view right) {
  const IControllerHost& host = controller.host();
  if (!SetOperation(code, SettingsOf(host))) return S_FALSE;
  auto fail = [this] {
    target_.reset();
    left_.reset();
    right_.reset();
    op_ = nullptr;
    return E_FAIL;
  };
  target_ = BuildOperand(target, *op_, CalcPosition::kTarget, CalcForm::kLine, controller);
  if (!target_ || !target_->IsAssignable()) return fail();
  left_ = BuildOperand(left, *op_, CalcPosition::kLeft, CalcForm::kLine, controller);
  if (!left_) return fail();
  if (!binary()) return S_OK;
  // Old projects write the 64-bit operands of ChangeType and the bit mask as
  // plain numbers.
  if (op_->right == CalcOperandKind::kInt64 && !host.TriggerSettings().thresholdReferences) {
    Variant constant;
    if (SUCCEEDED(ChangeType(Variant::Text(std::string(right)), VT_I8, &constant, 0,
                             settings_.lcid))) {
      right_ = std::make_unique<ConstParameter>(std::move(constant));
      return S_OK;
    }
  }
  right_ = BuildOperand(right, *op_, CalcPosition::kRight, CalcForm::kLine, controller);
  if (!right_) return fail();
  return S_OK;
}

HRESULT CTavrixCalcItemEx::Run(ScratchTable* table) {
  if (op_ == nullptr || !target_) return E_FAIL;
  Variant left, right, result;
  RETURN_IF_FAILED(left_->GetOperand(&left, table));
  if (binary()) RETURN_IF_FAILED(right_->GetOperand(&right, table));
  RETURN_IF_FAILED(Apply(left, right, &result));
  return target_->PutOperand(result, table);
}

// --- Lists ------------------------------------------------------------------------------

HRESULT CalculationLines::Execute(bool reportFailedLine) {
  ScratchTable table;
  HRESULT hr = S_OK;
  int32_t number = 0;
  for (const auto& line : lines_) {
    ++number;
    hr = line->Run(&table);
    if (FAILED(hr)) {
      if (reportFailedLine) {
        LogResult(hr, 0, "ExecuteCalculate[%ls] : Calculate failed on line %d.\n", owner_,
                  number);
      }
      break;
    }
  }
  return hr;
}

HRESULT BuildCalculations(CTavrixController& controller,
                          const std::vector<ControllerCalcInfo>& definitions,
                          CalculationLines* lines) {
  lines->lines().clear();
  const LCID lcid = controller.host().Lcid();
  HRESULT hr = S_OK;
  for (const ControllerCalcInfo& definition : definitions) {
    auto line = std::make_unique<CTavrixCalcItemEx>();
    hr = line->Setup(controller, definition.m_strTarget, definition.m_strLeft,
                     CalcCodeFromText(definition.m_lCalcIndex, lcid), definition.m_strRight);
    if (FAILED(hr)) {
      LogResult(hr, 1, "TavrixController[%ls] : Failed in initialize calculate.\n",
                controller.name());
      return hr;
    }
    lines->lines().push_back(std::move(line));
  }
  return hr;
}

}  // namespace tavrix
