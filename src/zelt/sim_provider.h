// ZeltProv.Sim: the simulated controller provider, registered by default.
//
// Controller state is shared per Zelt controller name across the process
// (zelt/sim_state.h); variable kinds are listed in zelt/sim_kinds.h and the
// option keys in zelt/sim_options.h. The machine is ignored. Class-object
// options are ignored, and so are variable options.
//
// Commands (controller or class object Execute; the text compared without
// regard to case, spaces around it ignored; the param is not used):
//   OFFLINE                  every read and write of the controller name fails
//                            with E_FAIL until ONLINE
//   ONLINE
//   MESSAGE,<number>,<text>  raises a message on the calling thread: number,
//                            description and value (a text) from the command,
//                            date-time from the device clock, a serial number
//                            counting from 1 per controller name, the
//                            controller name as source, no destination
//   an Empty, Null, missing or empty command does nothing
// Each gives S_OK and an Empty result. Another command gives E_INVALIDARG; a
// command that is not a text and does not convert to one DISP_E_TYPEMISMATCH.
#pragma once

#include <memory>
#include <string_view>

#include "zelt/provider.h"

namespace tavrix {

inline constexpr std::string_view kZeltSimProviderName = "ZeltProv.Sim";

std::unique_ptr<IZeltProvider> CreateSimProvider();

}  // namespace tavrix
