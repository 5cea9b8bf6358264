// The put-value action (6) and the array building it shares with the
// controller-execute action.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/trigger_info.h"
#include "trigger/action_object.h"
#include "trigger/operand.h"

namespace tavrix {

// Source types of the put-value action beyond the variant types.
inline constexpr uint16_t kPutTypeReference = 29;  // the value text names a source

// A 1-D array (lower bound 0) of `arrayType` (VT_ARRAY | element type) holding
// `values` converted to the element type: by the controller's data-conversion
// component when it has one, else element by element with ChangeType. The
// first conversion failure is returned and *out is left alone.
HRESULT MakeTypedArray(CTavrixController& controller, const std::vector<Variant>& values,
                       VARTYPE arrayType, Variant* out);

// Writes a value to an item or temporary item: a constant prepared once, or
// the current value of another item or temporary item.
class CPutValueActionObject final : public CActionObject {
 public:
  CPutValueActionObject(const ActionExInfo& info, uint16_t putType)
      : controllerName_(info.m_strPutController),
        itemName_(info.m_strPutItem),
        valueText_(info.m_strPutValue),
        putType_(putType) {}

  HRESULT Initialize(CTavrixController& controller) override;
  HRESULT Execute(int32_t kind, IZeltMessage* message) override;
  void ReleaseResources() override;
  const char* GetClassName() const override { return "CPutValueActionObject"; }

 private:
  HRESULT PrepareValue(CTavrixController& controller);
  HRESULT ResolveSource(CTavrixController& controller);

  const std::string controllerName_;
  const std::string itemName_;
  const std::string valueText_;
  const uint16_t putType_;
  Operand target_;
  Operand source_;  // type 29 only
  Variant value_;   // the prepared constant
};

}  // namespace tavrix
