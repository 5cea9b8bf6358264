// Finding the controller a name in a configuration text means, as seen from
// the controller whose configuration it is.
#pragma once

#include <string_view>

#include "platform/ref.h"

namespace tavrix {

class CTavrixController;

// `self` when `name` is its own name (compared without regard to case),
// otherwise the engine's controller of that name, whose reference goes to
// *held (so a controller never holds a counted reference to itself). Null,
// with *held empty, when the engine has no such controller.
CTavrixController* NamedController(CTavrixController& self, std::string_view name,
                                   Ref<CTavrixController>* held);

}  // namespace tavrix
