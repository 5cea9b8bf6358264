// The operands of calculations: items, constants, and named values (the
// scratch variables of one run of calculation lines, or temporary items).
//
// Operands are made once, when a calculation is set up, from the operand
// texts of the project. How a text is read depends on the project version:
//
//   below 1.2   "Line2\Speed" or "Speed" an item, "#1H" a number constant,
//               "*t" a scratch variable (calculation lines only)
//   from 1.2    "$Line2\Speed" or "$Speed" an item, "$*t" a temporary item
//               (from 1.4), "*t" a scratch variable (below 1.4), and any
//               other text a constant read by the operation's operand kind
//               ("$$" stands for a literal "$")
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "calc/calc_operations.h"
#include "platform/ref.h"
#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix {

class CTavrixController;
class CTavrixItem;

// The scratch variables of one run of calculation lines: names (with their
// leading "*", letter case significant) to values.
using ScratchTable = std::map<std::string, Variant, std::less<>>;

class ParameterBase {
 public:
  virtual ~ParameterBase() = default;
  // The operand's value. `table` may be null (item calculations).
  virtual HRESULT GetOperand(Variant* out, ScratchTable* table) = 0;
  // Stores `value` in the operand (targets of calculation lines).
  virtual HRESULT PutOperand(const Variant& value, ScratchTable* table) = 0;
  virtual bool IsAssignable() const = 0;
};

// An item of any controller, read and written through its own read and write
// paths (a write reaches the device or the cache like a client's).
class ItemParameter final : public ParameterBase {
 public:
  // `self` is the item whose own calculation this operand belongs to (null
  // for calculation lines): an operand naming that very item reads its cache,
  // as the item's read is already running.
  ItemParameter(Ref<CTavrixItem> item, const CTavrixItem* self);
  ~ItemParameter() override;
  HRESULT GetOperand(Variant* out, ScratchTable* table) override;
  HRESULT PutOperand(const Variant& value, ScratchTable* table) override;
  bool IsAssignable() const override { return true; }

 private:
  Ref<CTavrixItem> item_;
  bool self_ = false;
};

class ConstParameter final : public ParameterBase {
 public:
  explicit ConstParameter(Variant value) : value_(std::move(value)) {}
  HRESULT GetOperand(Variant* out, ScratchTable* table) override;
  HRESULT PutOperand(const Variant& value, ScratchTable* table) override;
  bool IsAssignable() const override { return false; }

 private:
  const Variant value_;
};

// A named value: below project version 1.4 a scratch variable of the running
// list, from 1.4 a temporary item of a controller (bound by Bind).
class MapParameter final : public ParameterBase {
 public:
  MapParameter(std::string name, CTavrixController& controller, bool temporary);
  ~MapParameter() override;
  // Binds a temporary-item operand to its controller and declared name: the
  // text is "*name" or "controller\*name". E_INVALIDARG when the text has more
  // than one "\", the controller does not exist or has no such temporary item.
  HRESULT Bind();
  HRESULT GetOperand(Variant* out, ScratchTable* table) override;
  HRESULT PutOperand(const Variant& value, ScratchTable* table) override;
  bool IsAssignable() const override { return true; }

 private:
  const std::string name_;
  CTavrixController& controller_;  // the controller the operand was made for
  const bool temporary_;
  // The binding: the temporary item's controller and declared name (no "*").
  CTavrixController* bound_ = nullptr;
  Ref<CTavrixController> boundRef_;  // held when it is another controller
  std::string boundName_;
};

// Where an operand stands: the operand kind of its position decides how a
// constant text is read.
enum class CalcPosition { kTarget, kLeft, kRight };
// Which calculations the operand is for: scratch variables exist only in
// calculation lines.
enum class CalcForm { kItem, kLine };

// Makes the operand `text` names, or null when it names nothing that exists
// or is a constant that does not convert. `controller` is the controller
// whose items a name without a controller part means; `self` as for
// ItemParameter.
std::unique_ptr<ParameterBase> BuildOperand(std::string_view text, const CalcOperation& op,
                                            CalcPosition position, CalcForm form,
                                            CTavrixController& controller,
                                            const CTavrixItem* self = nullptr);

}  // namespace tavrix
