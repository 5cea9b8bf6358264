#include "engine/network_folders.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/log.h"

namespace tavrix {
namespace {

// Answers like a network: a fixed result per share; records every call.
class FakeNetworkFolders : public INetworkFolders {
 public:
  HRESULT Connect(const std::string& path, const std::string& user,
                  const std::string& password) override {
    std::lock_guard lock(mutex);
    calls.push_back("connect " + path + " " + user + " " + password);
    if (path == "//conflict/share") return kNetworkCredentialConflict;
    if (path == "//down/share") return HRESULT(0x80070035u);
    return S_OK;
  }
  HRESULT Cancel(const std::string& path) override {
    std::lock_guard lock(mutex);
    calls.push_back("cancel " + path);
    return S_OK;
  }
  std::mutex mutex;  // guards calls
  std::vector<std::string> calls;
};

TEST(NetworkFolderThreadTest, ConnectsEachFolderAndLogsTheOutcome) {
  CapturingLogSink log(0);
  FakeNetworkFolders net;
  NetworkFolderThread thread(net, [](const std::string& encoded, std::string* plain) {
    if (encoded == "bad") return E_FAIL;
    *plain = "plain-" + encoded;
    return S_OK;
  });
  ASSERT_EQ(thread.Start({{"//ok/share", "u1", "p1"},
                          {"//conflict/share", "u2", "p2"},
                          {"//down/share", "u3", "p3"},
                          {"//nokey/share", "u4", "bad"}}),
            S_OK);
  thread.WaitFirstPass();
  thread.Stop();
  EXPECT_EQ(net.calls,
            (std::vector<std::string>{
                "cancel //ok/share", "cancel //conflict/share", "cancel //down/share",
                "cancel //nokey/share", "connect //ok/share u1 plain-p1",
                "connect //conflict/share u2 plain-p2", "connect //down/share u3 plain-p3",
                "cancel //ok/share", "cancel //conflict/share", "cancel //down/share",
                "cancel //nokey/share"}));
  EXPECT_EQ(log.Texts(), (std::vector<std::string>{
                             "Try connect to network folders.\n",
                             "Network folder connect succeeded. //ok/share\n",
                             "Network folder credential confrict. //conflict/share\n",
                             "Network folder connect succeeded. //conflict/share\n",
                             "Network folder connect failed. //down/share\n",
                             "Network folder connect failed. //nokey/share\n"}));
}

TEST(NetworkFolderThreadTest, RepeatsEveryPeriodUntilStopped) {
  FakeNetworkFolders net;
  NetworkFolderThread thread(
      net, [](const std::string& e, std::string* p) { *p = e; return S_OK; }, 1);
  ASSERT_EQ(thread.Start({{"//ok/share", "u", "p"}}), S_OK);
  for (;;) {
    {
      std::lock_guard lock(net.mutex);
      if (net.calls.size() >= 4) break;  // the first cancel and three passes
    }
    std::this_thread::yield();
  }
  thread.Stop();
  EXPECT_FALSE(thread.running());
  EXPECT_EQ(net.calls.back(), "cancel //ok/share");
}

TEST(LinuxNetworkFoldersTest, AReachableFolderIsConnected) {
  LinuxNetworkFolders net;
  EXPECT_EQ(net.Connect("/tmp", "u", "p"), S_OK);
  EXPECT_EQ(net.Connect("/no/such/share", "u", "p").bits(), 0x80070035u);
}

}  // namespace
}  // namespace tavrix
