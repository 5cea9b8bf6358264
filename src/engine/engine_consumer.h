// The project reader's consumer of an engine manager: the load mode
// registers controllers and forwards their records; the partial modes
// (reload triggers, update or reconnect controllers) reach the running
// controllers by name.
#pragma once

#include <memory>

#include "config/project_consumer.h"

namespace tavrix {

class CTavrixEngineMan;

// A consumer that forwards to `manager`, which must outlive it.
std::unique_ptr<IProjectConsumer> MakeEngineConsumer(CTavrixEngineMan& manager);

}  // namespace tavrix
