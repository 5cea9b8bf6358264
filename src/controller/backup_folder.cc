#include "controller/backup_folder.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "platform/log.h"

namespace tavrix {
namespace {

std::mutex g_mutex;     // guards g_folder and g_enabled
std::string g_folder;   // empty until determined
bool g_enabled = true;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? std::string(v) : std::string();
}

std::string WithSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

// The folder the environment names; empty when it names none.
std::string FolderFromEnvironment() {
  if (std::string temp = Env("IOTAPPTEMP"); !temp.empty()) return WithSlash(temp) + "DB/";
  std::string data = Env("XDG_DATA_HOME");
  if (data.empty()) {
    const std::string home = Env("HOME");
    if (!home.empty()) data = WithSlash(home) + ".local/share";
  }
  if (data.empty()) return {};
  return WithSlash(data) + "Quorvel/DB/";
}

// Creates every folder of `path` that is missing. REQUIRES: g_mutex held.
void CreateFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(part, ec);
    if (std::filesystem::is_directory(st)) continue;
    if (std::filesystem::exists(st)) {
      LogResult(E_FAIL, 1, "GetBackupFolder : Backup path is file. Backup is disabled.\n");
      g_enabled = false;
      continue;
    }
    if (std::filesystem::create_directory(part, ec)) {
      Log(1, "GetBackupFolder : Direcotry \"%ls\" created.\n", part);
    } else if (!std::filesystem::is_directory(part, ec)) {
      LogResult(E_FAIL, 1, "GetBackupFolder : Direcotry \"%ls\" create failed. Backup is disabled.\n",
                part);
      g_enabled = false;
    }
  }
}

}  // namespace

bool GetBackupFolder() {
  std::lock_guard lock(g_mutex);
  if (!g_folder.empty() || !g_enabled) return g_enabled;
  const std::string folder = FolderFromEnvironment();
  if (folder.empty()) {
    LogResult(E_INVALIDARG, 1, "GetBackupFolder : Backup directory not defined. Backup is disabled.\n");
    g_enabled = false;
    return false;
  }
  std::error_code ec;
  g_folder = WithSlash(std::filesystem::absolute(folder, ec).lexically_normal().string());
  Log(1, "GetBackupFolder : Backup directory is \"%ls\".\n", g_folder);
  CreateFolders(g_folder);
  return g_enabled;
}

std::string BackupFolder() {
  std::lock_guard lock(g_mutex);
  return g_enabled ? g_folder : std::string();
}

void ResetBackupFolderForTesting() {
  std::lock_guard lock(g_mutex);
  g_folder.clear();
  g_enabled = true;
}

}  // namespace tavrix
