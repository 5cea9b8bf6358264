// Building executable trees from trigger definitions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "config/trigger_info.h"
#include "platform/result.h"
#include "trigger/action_object.h"

namespace tavrix {

class CTavrixController;
class CTavrixTriggerObserverEx;

// Creates the node for `info` and, recursively, for its descendants, and
// appends it to `parent`. S_OK, S_FALSE for a disabled definition (nothing
// created), or a failure (logged; nothing appended for the failing object).
// `parentPath` prefixes the full names, `idPrefix` the identifier paths.
HRESULT CreateTriggerObserverExItem(CTavrixController& controller, CActionObject& parent,
                                    const TriggerExBaseInfo& info, std::string_view parentPath,
                                    std::string_view idPrefix, bool insideFunctionBlock);

// The tree of a controller's definitions: a fresh root with one node per
// top-level definition. On a failure the tree is discarded, an empty root
// is given instead and the failure returned (the controller logs it).
HRESULT BuildTriggerTree(CTavrixController& controller, const TriggerExInfo& definitions,
                         std::unique_ptr<CTavrixTriggerObserverEx>* out);

// Definition texts as creation reads them (strict numbers are the
// reader's ReadStrictNumber).
// A flag as the automation conversion reads it: empty gives `fallback`,
// "true"/"false" in any case, else a 32-bit integer (not 0: true), else
// `fallback`.
bool ReadTriggerFlag(std::string_view text, bool fallback);
// A 32-bit integer as the variant conversion reads a text; its failure
// (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW ...) when it cannot.
HRESULT ReadTriggerInt32(std::string_view text, int32_t* out);

}  // namespace tavrix
