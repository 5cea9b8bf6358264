#include "host/switches.h"

#include <unistd.h>

#include <climits>
#include <utility>

#include "host/service_unit.h"
#include "platform/text.h"

namespace tavrix {
namespace {

struct SwitchName {
  std::string_view name;
  Switch which;
};

constexpr SwitchName kSwitches[] = {
    {"UnregServer", Switch::kUnregServer},
    {"RegServer", Switch::kRegServer},
    {"Service", Switch::kService},
};

std::string ExecutablePath() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) return {};
  return std::string(buf, static_cast<size_t>(n));
}

int ExitCode(HRESULT hr) {
  if (hr.failed() && (hr.bits() & 0xFF) == 0) return 1;
  return hr.code();
}

int Report(HRESULT hr, std::string_view failedText, const SwitchContext& context) {
  if (hr.code() != 0) ShowMessageBox(context.messageBox, failedText);
  return ExitCode(hr);
}

}  // namespace

std::string JoinCommandLine(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

Switch ScanSwitches(std::string_view commandLine) {
  for (size_t i = 0; i < commandLine.size(); ++i) {
    if (commandLine[i] != '-' && commandLine[i] != '/') continue;
    const std::string_view rest = commandLine.substr(i + 1);
    for (const SwitchName& s : kSwitches) {
      if (EqualsNoCase(rest, s.name)) return s.which;
    }
  }
  return Switch::kNone;
}

SwitchContext SwitchContext::ForProcess(std::string settingsPath) {
  SwitchContext context;
  context.settingsPath = std::move(settingsPath);
  context.executablePath = ExecutablePath();
  context.unitDir = DefaultUnitDir();
  context.messageBox = stderr;
  return context;
}

int RunSwitch(Switch which, const SwitchContext& context) {
  switch (which) {
    case Switch::kRegServer:
      return Report(Register(false, context), "'/RegServer' failed.", context);
    case Switch::kService:
      return Report(Register(true, context), "'/Service' failed.", context);
    case Switch::kUnregServer: {
      const HRESULT hr = Unregister(context);
      return hr.failed() ? Report(hr, "'/UnregServer' failed.", context) : 0;
    }
    case Switch::kNone:
      break;
  }
  return 0;
}

}  // namespace tavrix
