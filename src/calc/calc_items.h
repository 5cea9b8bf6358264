// Calculations built from the project: item calculations, which replace an
// item's value during its read, and calculation lines, which put the result
// of an operation on two operands into a target.
//
//   Item calculation (code 3, operand "$Scale"):  value := value * Scale
//   Calculation line (target "$Total", left "$A", code 1, right "$B"):
//                                                 Total := A + B
//
// A controller's lines run once a sampling cycle (and after a forced scan);
// a calculation action of a trigger tree runs its own lines. Lines share one
// scratch table per run, so "*t" set by one line is read by a later one.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "calc/calc_operands.h"
#include "calc/calc_operations.h"
#include "config/config_records.h"
#include "controller/controller_parts.h"
#include "item/item_calc.h"
#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix {

class CTavrixController;
class CTavrixItem;

// What both kinds share: the operation, and how it computes.
class CTavrixCalcItemBase {
 public:
  virtual ~CTavrixCalcItemBase() = default;

 protected:
  // Chooses the operation of `code`; false for a code that is no operation.
  bool SetOperation(int32_t code, const CalcSettings& settings);
  HRESULT Apply(const Variant& left, const Variant& right, Variant* out) const;
  bool binary() const { return op_ != nullptr && op_->operands == 2; }

  const CalcOperation* op_ = nullptr;
  CalcSettings settings_;
};

// One calculation of an item's list.
class CTavrixCalcItem final : public CTavrixCalcItemBase, public IItemCalculation {
 public:
  // S_OK: built. S_FALSE: code 0 or a code that is no operation, nothing
  // built. E_INVALIDARG: no item, or the operand text names nothing.
  HRESULT Setup(CTavrixItem* item, int32_t code, std::string_view operandText);
  // Replaces *value by the operation on it (and the operand); E_FAIL when
  // nothing was set up; on failure *value is unchanged.
  HRESULT Calculate(Variant* value) override;

 private:
  std::unique_ptr<ParameterBase> operand_;
};

// One calculation line.
class CTavrixCalcItemEx final : public CTavrixCalcItemBase {
 public:
  // S_OK: built. S_FALSE: a code that is no operation (the line fails when it
  // runs). E_FAIL: a missing or unassignable target, or an operand that names
  // nothing.
  HRESULT Setup(CTavrixController& controller, std::string_view target, std::string_view left,
                int32_t code, std::string_view right);
  HRESULT Run(ScratchTable* table);

 private:
  std::unique_ptr<ParameterBase> target_;
  std::unique_ptr<ParameterBase> left_;
  std::unique_ptr<ParameterBase> right_;
};

// The lines of a controller or of a calculation action, in order.
class CalculationLines final : public ICalculationList {
 public:
  // `owner` (the controller's name) names the list in the failed-line message.
  explicit CalculationLines(std::string owner) : owner_(std::move(owner)) {}
  HRESULT Execute(bool reportFailedLine) override;
  std::vector<std::unique_ptr<CTavrixCalcItemEx>>& lines() { return lines_; }

 private:
  const std::string owner_;
  std::vector<std::unique_ptr<CTavrixCalcItemEx>> lines_;
};

// Builds `definitions` into `lines` (emptied first). A line that fails its
// setup logs "TavrixController[%ls] : Failed in initialize calculate." and
// ends the build with its result; the lines before it stay. Otherwise the
// result of the last definition (S_FALSE when its code is no operation).
HRESULT BuildCalculations(CTavrixController& controller,
                          const std::vector<ControllerCalcInfo>& definitions,
                          CalculationLines* lines);

// The operation code of a calculation entry's code text; -1 (no operation)
// when the text is no number.
int32_t CalcCodeFromText(std::string_view text, LCID lcid);

}  // namespace tavrix
