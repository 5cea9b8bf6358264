#include "engine/network_folders.h"

#include <filesystem>
#include <system_error>

#include "platform/log.h"

namespace tavrix {

HRESULT LinuxNetworkFolders::Connect(const std::string& remotePath, const std::string&,
                                     const std::string&) {
  std::error_code ec;
  return std::filesystem::is_directory(remotePath, ec) ? S_OK : HRESULT(0x80070035u);
}

HRESULT LinuxNetworkFolders::Cancel(const std::string&) { return S_OK; }

HRESULT NetworkFolderThread::Start(std::vector<NetworkCredential> credentials) {
  credentials_ = std::move(credentials);
  stop_.Reset();
  firstPass_.Reset();
  return thread_.Start("NetworkFolders", [this] { Run(); });
}

void NetworkFolderThread::WaitFirstPass() {
  Event* events[] = {&firstPass_, &stop_};
  (void)WaitAny(events);
}

void NetworkFolderThread::Stop() {
  stop_.Set();
  thread_.Join();
}

void NetworkFolderThread::ConnectOne(const NetworkCredential& credential) {
  std::string password;
  HRESULT hr = decode_ ? decode_(credential.encodedPassword, &password) : E_NOTIMPL;
  if (hr.failed()) {
    LogResult(hr, 1, "Network folder connect failed. %ls\n", credential.remotePath);
    return;
  }
  hr = folders_.Connect(credential.remotePath, credential.user, password);
  if (hr == kNetworkCredentialConflict) {
    Log(0, "Network folder credential confrict. %ls\n", credential.remotePath);
    hr = S_OK;
  }
  if (hr.succeeded()) {
    Log(0, "Network folder connect succeeded. %ls\n", credential.remotePath);
  } else {
    LogResult(hr, 1, "Network folder connect failed. %ls\n", credential.remotePath);
  }
}

void NetworkFolderThread::Run() {
  for (const NetworkCredential& c : credentials_) (void)folders_.Cancel(c.remotePath);
  do {
    Log(0, "Try connect to network folders.\n");
    for (const NetworkCredential& c : credentials_) ConnectOne(c);
    firstPass_.Set();
  } while (stop_.Wait(periodMs_) == WaitStatus::kTimedOut);
  for (const NetworkCredential& c : credentials_) (void)folders_.Cancel(c.remotePath);
}

}  // namespace tavrix
