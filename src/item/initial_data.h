// The initial data of an item: the configured text turned into a value of
// the configured type, written to the variable when the item is activated.
#pragma once

#include <string_view>

#include "kivdata/kivdata.h"
#include "platform/result.h"
#include "platform/unknown.h"
#include "platform/variant.h"

namespace tavrix {

// The value of `text` as `type`:
//  - a scalar type: the platform's text conversion under `lcid` (VT_BSTR
//    gives the text itself);
//  - an array of VARIANT: the typed text "8204," + text parsed by `kivData`;
//  - another array type: the text split at every comma into an array of
//    texts, converted to `type` by `kivData`.
// S_OK with *out set; the conversion's failure otherwise (E_FAIL for an array
// type without a data-conversion component), *out unchanged.
HRESULT ConvertInitialData(std::string_view text, VARTYPE type, LCID lcid, IKivData* kivData,
                           Variant* out);

}  // namespace tavrix
