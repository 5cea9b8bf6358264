#include "host/registration.h"

#include <filesystem>

#include "host/service_unit.h"
#include "platform/log.h"
#include "tavrix/ids.h"

namespace tavrix {
namespace {

constexpr std::string_view kRoot = "HKEY_CLASSES_ROOT\\";
// A file that registration creates starts like a .reg export.
constexpr std::string_view kNewFileText = "Windows Registry Editor Version 5.00\n";

struct CreatableClass {
  std::string_view name;       // "TavrixEngine"
  std::string_view clsidText;  // "{...}"
};

constexpr CreatableClass kClasses[] = {
    {"TavrixEngine", kTavrixEngineClsidText},
    {"TavrixMessage", kTavrixMessageClsidText},
};

std::string Key(std::string_view a, std::string_view b = {}, std::string_view c = {}) {
  std::string key(kRoot);
  key += a;
  for (std::string_view part : {b, c}) {
    if (part.empty()) continue;
    key += '\\';
    key += part;
  }
  return key;
}

std::string ProgId(const CreatableClass& c) { return "Tavrix." + std::string(c.name); }
std::string VersionedProgId(const CreatableClass& c) { return ProgId(c) + ".1"; }
std::string Description(const CreatableClass& c) { return std::string(c.name) + " Class"; }
std::string ExeKey() { return Key("AppID", "Tavrix.EXE"); }
std::string TypeLibKey() { return Key("TypeLib", kLibIdText); }

// Loads the file to change; a missing file starts empty.
HRESULT LoadForUpdate(const std::string& path, SettingsFile* file, bool* existed) {
  std::string error;
  HRESULT hr = SettingsFile::Load(path, file, &error);
  *existed = hr != TVX_E_FILE_NOT_FOUND;
  if (!*existed) return SettingsFile::Parse(kNewFileText, path, file, &error);
  if (hr.failed()) LogResult(hr, 3, "Registration : cannot read the settings file. %s\n", error);
  return hr;
}

HRESULT Save(const SettingsFile& file, const std::string& path) {
  std::string error;
  const HRESULT hr = file.SaveAtomically(path, &error);
  if (hr.failed()) LogResult(hr, 3, "Registration : cannot write the settings file. %s\n", error);
  return hr;
}

void WriteAppIdEntries(SettingsFile* file) {
  file->SetString(AppIdKey(), "", kServiceName);
  file->SetString(ExeKey(), "AppID", kAppIdText);
}

void WriteClassEntries(SettingsFile* file, const std::string& exe) {
  for (const CreatableClass& c : kClasses) {
    const std::string progId = ProgId(c);
    const std::string versioned = VersionedProgId(c);
    const std::string description = Description(c);
    file->SetString(Key(versioned), "", description);
    file->SetString(Key(versioned, "CLSID"), "", c.clsidText);
    file->SetString(Key(progId), "", description);
    file->SetString(Key(progId, "CLSID"), "", c.clsidText);
    file->SetString(Key(progId, "CurVer"), "", versioned);
    const std::string clsid = Key("CLSID", c.clsidText);
    file->SetString(clsid, "", description);
    file->SetString(clsid, "AppID", kAppIdText);
    file->SetString(Key("CLSID", c.clsidText, "ProgID"), "", versioned);
    file->SetString(Key("CLSID", c.clsidText, "VersionIndependentProgID"), "", progId);
    file->CreateKey(Key("CLSID", c.clsidText, "Programmable"));
    file->SetString(Key("CLSID", c.clsidText, "LocalServer32"), "", exe);
    file->SetString(Key("CLSID", c.clsidText, "TypeLib"), "", kLibIdText);
  }
}

void WriteTypeLibEntries(SettingsFile* file, const std::string& exe) {
  const std::string version = TypeLibKey() + "\\1.0";
  file->SetString(version, "", "Tavrix 1.0 Type Library");
  file->SetString(version + "\\FLAGS", "", "0");
  file->SetString(version + "\\0\\linux", "", exe);
  file->SetString(version + "\\HELPDIR", "", std::filesystem::path(exe).parent_path().string());
}

bool RemoveAppIdEntries(SettingsFile* file) {
  const bool a = file->DeleteTree(AppIdKey());
  const bool b = file->DeleteTree(ExeKey());
  return a || b;
}

bool RemoveClassAndTypeLibEntries(SettingsFile* file) {
  bool removed = false;
  for (const CreatableClass& c : kClasses) {
    removed |= file->DeleteTree(Key(VersionedProgId(c)));
    removed |= file->DeleteTree(Key(ProgId(c)));
    removed |= file->DeleteTree(Key("CLSID", c.clsidText));
  }
  removed |= file->DeleteTree(TypeLibKey());
  return removed;
}

// Removes the unit when it exists; a failure is shown, never returned, since
// neither registration nor unregistration stops for it.
void RemoveServiceUnit(const RegistrationContext& context) {
  std::string text;
  if (UninstallServiceUnit(context.unitDir, &text).failed()) {
    ShowMessageBox(context.messageBox, text);
  }
}

}  // namespace

std::string AppIdKey() { return Key("AppID", kAppIdText); }

void ShowMessageBox(std::FILE* out, std::string_view text) {
  if (out == nullptr) return;
  std::string line = std::string(kServiceName) + ": ";
  line += text;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), out);
  std::fflush(out);
}

HRESULT Register(bool service, const RegistrationContext& context) {
  // The class entries must name the server wherever it is started from.
  if (context.executablePath.empty() || context.executablePath.front() != '/') {
    return E_INVALIDARG;
  }
  // The component runtime needs no start on this platform.
  RemoveServiceUnit(context);

  SettingsFile file;
  bool existed = false;
  RETURN_IF_FAILED(LoadForUpdate(context.settingsPath, &file, &existed));
  WriteAppIdEntries(&file);
  const std::string appKey = AppIdKey();
  // "LocalService" and "RunAs" are deleted before the mode is written; the one
  // written again keeps its line, so registering twice leaves the file as it was.
  file.DeleteValue(appKey, service ? "RunAs" : "LocalService");
  bool unitCreated = false;
  if (service) {
    file.SetString(appKey, "LocalService", kServiceName);
    file.SetString(appKey, "ServiceParameters", "-Service");
    std::string text;
    const HRESULT hr = InstallServiceUnit(context.unitDir, context.executablePath,
                                          context.settingsPath, &unitCreated, &text);
    if (hr.failed()) {
      ShowMessageBox(context.messageBox, text);
      return hr;
    }
  } else {
    file.SetString(appKey, "RunAs", "Interactive User");
  }
  WriteClassEntries(&file, context.executablePath);
  WriteTypeLibEntries(&file, context.executablePath);

  const HRESULT hr = Save(file, context.settingsPath);
  if (hr.failed() && unitCreated) {
    // A unit whose settings say nothing of a service would start a server
    // that does not know it is one.
    (void)UninstallServiceUnit(context.unitDir, nullptr);
  }
  return hr;
}

HRESULT Unregister(const RegistrationContext& context) {
  SettingsFile file;
  bool existed = false;
  RETURN_IF_FAILED(LoadForUpdate(context.settingsPath, &file, &existed));
  bool removed = RemoveAppIdEntries(&file);
  RemoveServiceUnit(context);
  removed |= RemoveClassAndTypeLibEntries(&file);
  if (!existed || !removed) return S_OK;
  return Save(file, context.settingsPath);
}

HRESULT ReadServiceMode(const SettingsFile& settings, bool* serviceMode) {
  if (serviceMode == nullptr) return E_POINTER;
  const std::string key = AppIdKey();
  if (!settings.HasKey(key)) return TVX_E_FILE_NOT_FOUND;
  *serviceMode = settings.GetString(key, "LocalService").has_value();
  return S_OK;
}

}  // namespace tavrix
