// Operand references: the names through which conditions, switches, loops
// and actions name a value source or a write target.
//
//   "$Trigger.LastError$"        the root's last result (conditions only)
//   "$Controller.<name>$"        a value of the owning controller
//   "$Message.<name>$"           a field of the message being processed
//   controller "\" item          an item of another controller
//   item                         an item of the owning controller
//   "*" name, controller "\*" name   a temporary item
//
// A resolved operand holds what the name stands for; reads and writes go
// through it without looking names up again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "controller/controller.h"
#include "item/item.h"
#include "platform/ref.h"
#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix {

class CActionObject;
class IZeltMessage;

enum class OperandKind {
  kNone,
  kItem,            // item
  kTemporary,       // controller + temporaryName
  kControllerValue, // controller + number
  kMessageField,    // number
  kLastError,       // the root's last result
};

struct Operand {
  OperandKind kind = OperandKind::kNone;
  Ref<CTavrixItem> item;
  // The controller of a temporary item or a controller value. A reference
  // only for another controller: the own controller owns the tree.
  CTavrixController* controller = nullptr;
  Ref<CTavrixController> otherController;
  std::string temporaryName;  // declared name, without "*"
  int32_t number = -1;        // controller value or message field

  bool resolved() const { return kind != OperandKind::kNone; }
  // Whether the value is cached from the start (no refresh needed).
  bool alwaysCached() const {
    return kind == OperandKind::kControllerValue || kind == OperandKind::kMessageField;
  }
  void Reset() { *this = Operand(); }
};

// Which forms a name may take.
enum class OperandForms {
  kCondition,  // every form, "$Trigger.LastError$" included
  kValue,      // every form but "$Trigger.LastError$"
  kReference,  // item, controller "\" item, temporary item (no "$" forms)
};

// Resolves `name` against `owner` (the controller of the tree). E_INVALIDARG
// for a malformed "$" name, an unknown value or field name, an unknown
// controller, item or temporary item; *out is then reset.
HRESULT ResolveOperand(CTavrixController& owner, std::string_view name, OperandForms forms,
                       Operand* out);
// Resolves a target given as controller name (empty: the owner) and item
// name ("*" + name: a temporary item).
HRESULT ResolveTarget(CTavrixController& owner, std::string_view controllerName,
                      std::string_view itemName, Operand* out);

// The value a cycle caches: an item's cached value, a temporary item's
// value, a controller value. Messages and the last result have no cached
// value (E_INVALIDARG).
HRESULT ReadCachedOperand(const Operand& operand, Variant* out);
// Refreshes a value cycles cache: reads the cached value of `operand`; on
// success *current moves to *previous and the read value becomes *current.
// A failed read changes neither.
HRESULT RefreshCachedOperand(const Operand& operand, Variant* current, Variant* previous);
// A fresh read: an item's value read now (its read path), a temporary
// item's value, a controller value.
HRESULT ReadOperandNow(const Operand& operand, Variant* out);
// A message field (kMessageField only; E_INVALIDARG without a message).
HRESULT ReadMessageOperand(const Operand& operand, IZeltMessage* message, Variant* out);
// Writes through the item's write path or into the temporary item.
HRESULT WriteOperand(const Operand& operand, const Variant& value);

// "controller\item" split at the first "\": true with both parts set when
// there is one, false (item = text) otherwise.
bool SplitControllerItem(std::string_view text, std::string_view* controller,
                         std::string_view* item);

}  // namespace tavrix
