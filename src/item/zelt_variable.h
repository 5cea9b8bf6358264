// Creating an item's Zelt variable: on the controller itself (class 0) or on
// one of its task, robot, extension or file objects (classes 1 to 4), taking
// the object or variable that already exists when Zelt answers 0x80000205.
#pragma once

#include "item/item_owner.h"
#include "platform/ref.h"
#include "platform/result.h"
#include "zelt/interfaces.h"

namespace tavrix {

// The variable `definition` names on `controller`. S_OK with *out set;
// E_ACCESSDENIED without a controller, E_INVALIDARG for a class outside 0..4,
// or the Zelt failure; *out is null on failure. With a file delimiter the
// object name is a path of nested files: each part is added to (or found in)
// the files of the one before, starting with the controller's.
HRESULT CreateZeltVariable(IZeltController* controller, const VariableDefinition& definition,
                           Ref<IZeltVariable>* out);

}  // namespace tavrix
