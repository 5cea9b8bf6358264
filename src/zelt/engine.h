// The Zelt engine stand-in: the in-process object through which every
// controller connection, variable access and controller command passes.
//
//   Ref<IZeltEngine> engine = CreateZeltEngine();
//   Ref<IZeltWorkspaces> spaces;  engine->get_Workspaces(&spaces);
//   Ref<IZeltWorkspace> ws;       spaces->Item(Variant::I4(0), &ws);
//   Ref<IZeltController> c;       ws->AddController("R1", "ZeltProv.Sim", "", "seed=7", &c);
//
// The objects are described in zelt/interfaces.h, the providers in
// zelt/provider.h and the simulator in zelt/sim_provider.h.
#pragma once

#include "platform/ref.h"
#include "zelt/interfaces.h"

namespace tavrix {

// Name of the default workspace, Workspaces.Item(0).
inline constexpr std::string_view kZeltDefaultWorkspace = "Default";

// A new engine with its default workspace. Engines are independent of each
// other except through the state their providers share (the simulator's is
// per controller name across the process).
Ref<IZeltEngine> CreateZeltEngine();

}  // namespace tavrix
