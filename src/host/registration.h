// Registration of the Tavrix server in the settings file (the stand-in for
// the registry's classes root) and, for service mode, of its systemd unit.
//
// Entries written by Register, all under HKEY_CLASSES_ROOT (<exe> is the
// executable's absolute path):
//
//   AppID\{app id}                 @="Tavrix", and either "RunAs"="Interactive User"
//                                  or "LocalService"="Tavrix" + "ServiceParameters"="-Service"
//   AppID\Tavrix.EXE               "AppID"="{app id}"
//   Tavrix.TavrixEngine.1          @="TavrixEngine Class"; sub-key CLSID @="{clsid}"
//   Tavrix.TavrixEngine            @="TavrixEngine Class"; sub-keys CLSID @="{clsid}",
//                                  CurVer @="Tavrix.TavrixEngine.1"
//   CLSID\{clsid}                  @="TavrixEngine Class", "AppID"="{app id}"; sub-keys
//                                  ProgID, VersionIndependentProgID, Programmable (empty),
//                                  LocalServer32 @=<exe>, TypeLib @="{libid}"
//   (the same four keys for TavrixMessage)
//   TypeLib\{libid}\1.0            @="Tavrix 1.0 Type Library"; sub-keys FLAGS @="0",
//                                  0\linux @=<exe> (the type library lives in the
//                                  executable), HELPDIR @=<the executable's folder>
//
// Unregister removes exactly these keys (each with everything below it), so
// registering and then unregistering gives back the file byte for byte.
// Every other key, value and comment of the file is kept as written.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/result.h"
#include "platform/settings_file.h"

namespace tavrix {

// The service's name and display name, and the caption of its message boxes.
inline constexpr std::string_view kServiceName = "Tavrix";

// The key of the application id, "HKEY_CLASSES_ROOT\AppID\{...}".
std::string AppIdKey();

// What registration works on.
struct RegistrationContext {
  std::string settingsPath;    // the settings file in use (need not exist yet)
  std::string executablePath;  // absolute path of the executable
  std::string unitDir;         // folder of the systemd unit
  std::FILE* messageBox = stderr;  // where message boxes go (not owned)
};

// Shows a message box: writes "Tavrix: <text>\n" to `out` and flushes it.
void ShowMessageBox(std::FILE* out, std::string_view text);

// Registers the server, in this order: removes the systemd unit when it
// exists; writes the application id entries; deletes "LocalService" and
// "RunAs" from the application id key; then, when `service`, writes
// "LocalService" and "ServiceParameters" and installs the unit (see
// service_unit.h), otherwise writes "RunAs"; writes the class and type
// library entries. The settings file (created when missing) is written once,
// atomically, at the end; when that fails, a unit installed by this call is
// removed again.
//
// Returns S_OK; E_INVALIDARG when the executable path is not absolute; the
// load error of a settings file that exists but cannot be read or parsed;
// the save error; or the unit's install error. A unit that cannot be removed
// or installed shows its message box ("Failed to delete the service.",
// "Failed to create a service."); removal failing does not stop registration.
// Details of a settings-file failure go to the log.
HRESULT Register(bool service, const RegistrationContext& context);

// Unregisters: removes the application id entries, removes the systemd unit
// when it exists (a failure shows "Failed to delete the service." and does
// not change the result), removes the class and type library entries. A
// missing settings file is left missing; the file is rewritten (atomically)
// only when something was removed. Returns S_OK, or the settings file's load
// or save error.
HRESULT Unregister(const RegistrationContext& context);

// Decides the mode of a start without a switch: sets *serviceMode to whether
// the application id key holds "LocalService" as a text. Returns S_OK, or
// 0x80070002 (not found, the registry's open error) when the key does not
// exist, leaving *serviceMode unchanged. The caller runs as a service only
// when, in addition, systemd started the process.
HRESULT ReadServiceMode(const SettingsFile& settings, bool* serviceMode);

}  // namespace tavrix
