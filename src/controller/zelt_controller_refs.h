// The shared-controller table: how many configured controllers use each Zelt
// controller. Configured controllers that name the same Zelt controller share
// one connection; the last one to close removes it from the workspace.
#pragma once

#include <cstdint>

#include "platform/unknown.h"

namespace tavrix {

// Counts a use of `zeltController` (a new entry starts at 1).
void AddZeltControllerRef(const IUnknown* zeltController);

// Gives back one use: the count left, 0 when the last use went (the entry is
// removed), or -1 when the controller is not in the table.
int32_t ReleaseZeltControllerRef(const IUnknown* zeltController);

}  // namespace tavrix
