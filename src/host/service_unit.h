// The Tavrix service as systemd sees it: the unit file tavrix.service.
//
// The unit folder stands in for the service control manager: the service
// "exists" while the unit file exists, installing writes the file and
// uninstalling removes it. Nothing here calls systemctl; after a change the
// administrator runs `systemctl daemon-reload` (and `systemctl stop tavrix`
// before an uninstall when the service is running), exactly as a package's
// maintainer scripts would.
//
// The unit starts the executable without a switch; the process then finds
// "LocalService" in its application id key and reports readiness and
// stopping to systemd (Type=notify).
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"

namespace tavrix {

inline constexpr std::string_view kServiceUnitName = "tavrix.service";

// The failure texts shown in the "message box" (a line on standard error).
inline constexpr std::string_view kCreateServiceFailedText = "Failed to create a service.";
inline constexpr std::string_view kDeleteServiceFailedText = "Failed to delete the service.";

// The unit folder: $TAVRIX_UNIT_DIR when set and not empty, else /etc/systemd/system.
std::string DefaultUnitDir();

// "<unitDir>/tavrix.service".
std::string ServiceUnitPath(std::string_view unitDir);

// Whether the unit file (or anything under its name, a link included) exists.
bool ServiceUnitExists(std::string_view unitDir);

// The unit file's text for the executable at `executablePath` (absolute).
// It names the settings file in Environment=TAVRIX_REGISTRY=... only when
// `settingsPath` differs from /etc/tavrix/tavrix.reg, the path the process
// takes without that variable; a relative `settingsPath` is made absolute
// against the current folder, since the service starts in another one.
std::string ServiceUnitText(std::string_view executablePath, std::string_view settingsPath);

// Writes the unit file (ServiceUnitText) through a temporary file and a
// rename, mode 0644. When the unit exists already nothing is done and S_OK
// is returned with *created false. On failure (the folder is missing or
// cannot be written) returns the system error in the 0x8007xxxx form, sets
// *failureText to kCreateServiceFailedText and leaves no file behind.
// `created` and `failureText` may be null.
HRESULT InstallServiceUnit(std::string_view unitDir, std::string_view executablePath,
                           std::string_view settingsPath, bool* created,
                           std::string* failureText);

// Removes the unit file when it exists (S_OK also when it does not). On
// failure returns the system error and sets *failureText to
// kDeleteServiceFailedText (when not null).
HRESULT UninstallServiceUnit(std::string_view unitDir, std::string* failureText);

}  // namespace tavrix
