#include "host/service_unit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace tavrix {
namespace {

// SettingsFile::DefaultPath() without $TAVRIX_REGISTRY: a service started
// without the variable reads this file.
constexpr std::string_view kSystemSettingsPath = "/etc/tavrix/tavrix.reg";

// One word of a unit-file line. systemd expands "%" specifiers everywhere and
// "$" variables on Exec lines, so both are doubled; a word with blanks,
// quotes, backslashes, semicolons or control characters is double-quoted with
// C escapes, which systemd undoes.
std::string UnitWord(std::string_view text, bool execLine) {
  bool quote = false;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == ' ' || c == '"' || c == '\'' || c == '\\' || c == ';') {
      quote = true;
    }
  }
  std::string out;
  if (quote) out += '"';
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '%') {
      out += "%%";
    } else if (c == '$' && execLine) {
      out += "$$";
    } else if (quote && (c == '"' || c == '\\')) {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u == 0x7F) {
      static constexpr char kHex[] = "0123456789abcdef";
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 0xF];
    } else {
      out += c;
    }
  }
  if (quote) out += '"';
  return out;
}

std::string AbsolutePath(std::string_view path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(path), ec);
  if (ec) return std::string(path);
  return p.lexically_normal().string();
}

HRESULT Fail(int err, std::string_view text, std::string* failureText) {
  if (failureText != nullptr) *failureText = std::string(text);
  return ResultFromErrno(err == 0 ? EIO : err);
}

}  // namespace

std::string DefaultUnitDir() {
  const char* env = std::getenv("TAVRIX_UNIT_DIR");
  if (env != nullptr && *env != '\0') return env;
  return "/etc/systemd/system";
}

std::string ServiceUnitPath(std::string_view unitDir) {
  std::string path(unitDir);
  if (!path.empty() && path.back() != '/') path += '/';
  path += kServiceUnitName;
  return path;
}

bool ServiceUnitExists(std::string_view unitDir) {
  struct stat st;
  return ::lstat(ServiceUnitPath(unitDir).c_str(), &st) == 0;
}

std::string ServiceUnitText(std::string_view executablePath, std::string_view settingsPath) {
  std::string text =
      "# The Tavrix service: written by \"tavrix -Service\", removed by \"tavrix -RegServer\"\n"
      "# and \"tavrix -UnregServer\". Run \"systemctl daemon-reload\" after each of them.\n"
      "[Unit]\n"
      "Description=Tavrix\n"
      "After=network.target\n"
      "\n"
      "[Service]\n"
      "Type=notify\n";
  text += "ExecStart=" + UnitWord(executablePath, true) + "\n";
  const std::string settings = AbsolutePath(settingsPath);
  if (settings != kSystemSettingsPath) {
    text += "Environment=" + UnitWord("TAVRIX_REGISTRY=" + settings, false) + "\n";
  }
  // Started on demand, like the service it stands for; `systemctl enable` starts it at boot.
  text +=
      "\n"
      "[Install]\n"
      "WantedBy=multi-user.target\n";
  return text;
}

HRESULT InstallServiceUnit(std::string_view unitDir, std::string_view executablePath,
                           std::string_view settingsPath, bool* created,
                           std::string* failureText) {
  if (created != nullptr) *created = false;
  if (ServiceUnitExists(unitDir)) return S_OK;

  const std::string path = ServiceUnitPath(unitDir);
  const std::string data = ServiceUnitText(executablePath, settingsPath);
  // Written beside the unit and renamed over it, so systemd never reads half a unit.
  std::string tmp = std::string(unitDir) + "/.tavrix.service.XXXXXX";
  const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
  if (fd < 0) return Fail(errno, kCreateServiceFailedText, failureText);
  size_t done = 0;
  int err = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (err == 0 && ::fchmod(fd, 0644) != 0) err = errno;
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(tmp.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(tmp.c_str());
    return Fail(err, kCreateServiceFailedText, failureText);
  }
  if (created != nullptr) *created = true;
  return S_OK;
}

HRESULT UninstallServiceUnit(std::string_view unitDir, std::string* failureText) {
  if (!ServiceUnitExists(unitDir)) return S_OK;
  // A running service keeps running until the administrator stops it; systemd
  // forgets the unit at the next daemon-reload.
  if (::unlink(ServiceUnitPath(unitDir).c_str()) != 0) {
    return Fail(errno, kDeleteServiceFailedText, failureText);
  }
  return S_OK;
}

}  // namespace tavrix
