// The start-up switches of the tavrix executable: "RegServer", "UnregServer"
// and "Service", each after '-' or '/'.
//
// The command line is scanned for '-' and '/'; the text after each, up to the
// END of the command line, is compared without regard to case with the switch
// names. So a switch must be the last item ("tavrix -RegServer x" has none),
// any '-' or '/' may introduce it ("tavrix --service" and
// "tavrix /opt/Service" both name "Service"), and the first text that matches
// decides. "--help" and "--version" are the executable's own business.
#pragma once

#include <string>
#include <string_view>

#include "host/registration.h"

namespace tavrix {

enum class Switch { kNone, kRegServer, kUnregServer, kService };

// argv[1..argc-1] joined with single spaces (what the scan looks at).
std::string JoinCommandLine(int argc, const char* const* argv);

// The switch the command line names, or kNone.
Switch ScanSwitches(std::string_view commandLine);

// What the switches work on: the registration context of a process.
struct SwitchContext : RegistrationContext {
  // The context of this process: `settingsPath` (normally
  // SettingsFile::DefaultPath()), the executable's absolute path from
  // /proc/self/exe (empty when it cannot be read, which makes registration
  // fail with E_INVALIDARG), DefaultUnitDir(), and standard error for the
  // message boxes.
  static SwitchContext ForProcess(std::string settingsPath);
};

// Runs a switch and returns the process exit code:
//   kRegServer    Register(false); on failure "'/RegServer' failed."
//   kService      Register(true);  on failure "'/Service' failed."
//   kUnregServer  Unregister(); 0. The one failure that ends it is the settings
//                 file's (it cannot be read, parsed or written): it stands in
//                 for the component runtime, and shows "'/UnregServer' failed."
//   kNone         0, nothing done.
// The messages are message boxes (ShowMessageBox on context.messageBox). The
// exit code is the result code; a failure whose low byte is 0, which the
// process's exit status would turn into success, gives 1 instead.
int RunSwitch(Switch which, const SwitchContext& context);

}  // namespace tavrix
