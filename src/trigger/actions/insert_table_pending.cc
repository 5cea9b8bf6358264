// The insert-table action comes with the user-table writer; until then a
// definition that uses it cannot be built.
#include "trigger/actions/action_makers.h"

namespace tavrix {

std::unique_ptr<CActionObject> MakeInsertTableAction(const ActionExInfo&) { return nullptr; }

}  // namespace tavrix
