#include "controller/controller_lookup.h"

#include "controller/controller.h"
#include "platform/text.h"

namespace tavrix {

CTavrixController* NamedController(CTavrixController& self, std::string_view name,
                                   Ref<CTavrixController>* held) {
  held->reset();
  if (EqualsNoCase(name, self.name())) return &self;
  Ref<CTavrixController> found = self.host().FindController(name);
  if (found.get() == &self) return &self;
  *held = std::move(found);
  return held->get();
}

}  // namespace tavrix
