// Installs the calculations: items build their calculation lists, and
// controllers and calculation actions build their calculation lines, with
// the builders of this library. Call once at start, before controllers are
// made.
#pragma once

namespace tavrix {

void InstallCalculations();

}  // namespace tavrix
