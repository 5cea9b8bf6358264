// Installs the trigger engine into the controllers' parts: every controller
// activated afterwards builds an executable tree from its definitions.
#pragma once

namespace tavrix {

void InstallTriggerEngine();

}  // namespace tavrix
