// Network folders: the shares the project's credentials name, connected by a
// thread of the engine manager before the controllers start and every minute
// after, so backup and data files on them stay reachable.
//
// The administrator mounts the shares on Linux; Tavrix checks that each is
// reachable. INetworkFolders is the seam: LinuxNetworkFolders checks the mount,
// tests give a fake that answers as a network would.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/result.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace tavrix {

// The platform's answer when a share is already connected with other
// credentials (system error 1219); it counts as connected.
inline constexpr HRESULT kNetworkCredentialConflict{0x800704C3u};

struct NetworkCredential {
  std::string remotePath;
  std::string user;
  std::string encodedPassword;
};

class INetworkFolders {
 public:
  virtual ~INetworkFolders() = default;
  // Connects a share: S_OK, kNetworkCredentialConflict, or another failure.
  virtual HRESULT Connect(const std::string& remotePath, const std::string& user,
                          const std::string& password) = 0;
  // Closes a connection, forcing it; failures are ignored by the caller.
  virtual HRESULT Cancel(const std::string& remotePath) = 0;
};

// Connect succeeds when the path is a reachable folder (0x80070035, "network
// path not found", otherwise); Cancel does nothing: mounts are the
// administrator's.
class LinuxNetworkFolders final : public INetworkFolders {
 public:
  HRESULT Connect(const std::string& remotePath, const std::string& user,
                  const std::string& password) override;
  HRESULT Cancel(const std::string& remotePath) override;
};

// The network-folder thread. Start cancels every listed connection, then
// connects every folder, signals the first pass, and repeats the connection
// pass every `periodMs` until Stop, which cancels the connections again.
class NetworkFolderThread {
 public:
  using DecodePassword = std::function<HRESULT(const std::string& encoded, std::string* plain)>;

  NetworkFolderThread(INetworkFolders& folders, DecodePassword decode, uint32_t periodMs = 60000)
      : folders_(folders), decode_(std::move(decode)), periodMs_(periodMs) {}
  ~NetworkFolderThread() { Stop(); }
  NetworkFolderThread(const NetworkFolderThread&) = delete;
  NetworkFolderThread& operator=(const NetworkFolderThread&) = delete;

  // Starts the thread for `credentials`; E_HANDLE when it cannot start.
  HRESULT Start(std::vector<NetworkCredential> credentials);
  // Waits until the first connection pass has finished (or the thread ended).
  void WaitFirstPass();
  // Signals the stop event and joins the thread; safe to call more than once.
  void Stop();
  bool running() const { return thread_.Joinable(); }

 private:
  void Run();
  void ConnectOne(const NetworkCredential& credential);

  INetworkFolders& folders_;
  DecodePassword decode_;
  const uint32_t periodMs_;
  std::vector<NetworkCredential> credentials_;  // set before the thread starts, then read-only
  Event stop_{Event::Mode::kManualReset};
  Event firstPass_{Event::Mode::kManualReset};
  Thread thread_;
};

}  // namespace tavrix
