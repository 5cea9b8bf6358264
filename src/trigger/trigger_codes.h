// Results and execution kinds shared by every node of a trigger tree.
#pragma once

#include <cstdint>

#include "platform/result.h"

namespace tavrix {

// Loop-control results: returned by Execute and passed up the lists until a
// loop (break, continue), a function block or the root (return) takes them.
inline constexpr HRESULT kTriggerBreak{0x00380FFD};
inline constexpr HRESULT kTriggerContinue{0x00380FFE};
inline constexpr HRESULT kTriggerReturn{0x00380FFF};

// Execution kinds (the `kind` of Execute, UpdateCache and the conditions).
enum TriggerKind : int32_t {
  kKindStartup = 0,     // right after the tree is installed
  kKindFirstCycle = 1,  // the first sampling cycle after the startup execution
  kKindCycle = 2,       // any later sampling cycle
  kKindMessage = 3,     // a controller message (the message is passed)
  kKindCleanup = 4,     // right before the tree is discarded
};

}  // namespace tavrix
