// The link check of an item: whether its links and alias targets lead back
// into a chain they came from. An item whose chain starts at a reference item
// and comes back to an item on it cannot be read or written at all (a read of
// a reference item reads its links, which would read it again); a chain of
// alias items that comes back to itself cannot be written (a write would go
// round for ever) but reads still end at the device; any other loop only
// repeats a value through links and earns a warning.
#pragma once

#include <cstdint>

namespace tavrix {

class CTavrixItem;

// Link check results.
inline constexpr int32_t kLinkCheckNone = 0;
inline constexpr int32_t kLinkCheckCycle = 1;  // a warning only

// The link check result of `item` (kLinkCheckNone, kLinkCheckCycle,
// kLinkCheckCritical or kLinkCheckCriticalForPut of item.h). The walk follows
// an alias item to its target and any item to the destinations of its links,
// keeping the chain it came along as the path, and a flag that is set when
// the walk starts at a reference item and stays set until it passes through
// an alias item (the target of an alias is checked with the flag only when
// the alias is itself a reference item):
//   - an item already on the path: 2 with the flag; without it 3 when every
//     item on the path is an alias item, else 1;
//   - an alias item's target: its 2 ends the walk, another result becomes
//     the item's;
//   - then each destination of the item's links: a 2 ends the walk, a 1 makes
//     the result 1 (a 3 there is not passed on).
// Items from which no chain comes back are walked once per check.
int32_t LinkCheckResultOf(CTavrixItem& item);

}  // namespace tavrix
