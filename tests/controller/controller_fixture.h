// A controller's surroundings for tests: a host around a real Zelt engine
// with the simulator provider, unique controller names, records with the
// settings a test needs, and waiting for a condition without fixed sleeps.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "config/project_records.h"
#include "controller/controller.h"
#include "controller/controller_host.h"
#include "platform/log.h"
#include "platform/text.h"
#include "zelt/engine.h"

namespace tavrix::controller_test {

class TestHost final : public IControllerHost {
 public:
  TestHost() {
    engine_ = CreateZeltEngine();
    Ref<IZeltWorkspaces> spaces;
    if (SUCCEEDED(engine_->get_Workspaces(&spaces))) (void)spaces->Item(Variant::I4(0), &workspace_);
  }

  HRESULT GetWorkspace(Ref<IZeltWorkspace>* out) override {
    std::lock_guard lock(mutex_);
    if (!workspace_) return E_FAIL;
    *out = workspace_;
    return S_OK;
  }
  int32_t RetryCount() const override { return retryCount; }
  int32_t RetryInterval() const override { return retryInterval; }
  std::recursive_mutex& ProviderLock(std::string_view provider) override {
    std::lock_guard lock(mutex_);
    auto& slot = providerLocks_[ToUpper(provider)];
    if (!slot) slot = std::make_unique<std::recursive_mutex>();
    return *slot;
  }
  bool IsVersionedProject() const override { return versioned; }
  uint32_t Lcid() const override { return 1033; }
  bool NotRepeatError() const override { return false; }
  Ref<CTavrixItem> FindEngineItem(std::string_view, std::string_view) override { return {}; }
  Ref<CTavrixController> FindController(std::string_view) const override { return {}; }
  TriggerWorkspaceSettings TriggerSettings() const override { return triggerSettings; }
  DatabaseWorkspaceSettings DatabaseSettings() const override { return {}; }
  bool WaitForEngineStop(uint32_t ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return false;
  }
  void OnControllerUpdated(CTavrixController&) override { ++updates; }

  // The workspace goes, as when the engine releases it at shutdown.
  void DropWorkspace() {
    std::lock_guard lock(mutex_);
    workspace_.reset();
  }
  int32_t WorkspaceControllerCount() {
    Ref<IZeltControllers> controllers;
    int32_t count = -1;
    if (workspace_ && SUCCEEDED(workspace_->get_Controllers(&controllers))) {
      (void)controllers->get_Count(&count);
    }
    return count;
  }

  int32_t retryCount = 0;
  int32_t retryInterval = 1;
  bool versioned = false;
  TriggerWorkspaceSettings triggerSettings{};
  std::atomic<int> updates{0};

 private:
  std::mutex mutex_;  // guards workspace_ and providerLocks_
  Ref<IZeltEngine> engine_;
  Ref<IZeltWorkspace> workspace_;
  std::map<std::string, std::unique_ptr<std::recursive_mutex>> providerLocks_;
};

// A name no other test uses: the simulator keeps its state per name.
inline std::string UniqueName(std::string_view base) {
  static std::atomic<int> next{0};
  return std::string(base) + "_" + std::to_string(next.fetch_add(1));
}

// An enabled simulator controller sampling every 20 ms.
inline ControllerRecord SimRecord(const std::string& name, std::string_view option = "") {
  ControllerRecord r;
  r.m_strCtrlName = name;
  r.RSQLCtrlName = name;
  r.m_bEnabled = true;
  r.m_strProvider = "ZeltProv.Sim";
  r.m_strParam = std::string(option);
  r.m_lSamplingRate = 20;
  r.m_lPriority = 3;
  r.m_bStartup = true;
  return r;
}

inline ItemRecord SimItem(std::string_view name, std::string_view variable) {
  ItemRecord r;
  r.m_strItemName = std::string(name);
  r.m_bEnabled = true;
  r.m_bVariableEnabled = true;
  r.m_strVarName = std::string(variable);
  return r;
}

// Polls `condition` until it holds or `timeoutMs` passes.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Sends a command to the simulated device of `zeltName` (OFFLINE, ONLINE).
inline void DeviceCommand(CTavrixController& controller, std::string_view command) {
  Ref<IZeltController> device = controller.zeltController();
  ASSERT_TRUE(device);
  Variant result;
  ASSERT_TRUE(SUCCEEDED(device->Execute(Variant::Text(command), Variant(), &result)));
}

class ControllerTest : public ::testing::Test {
 protected:
  ControllerTest() : log_(0) {}
  ~ControllerTest() override { StopControllers(); }

  // Shuts down every controller the test made, as the engine manager does.
  // A fixture whose hooks the controllers call does it before the hooks go.
  void StopControllers() {
    for (auto& c : made_) {
      c->_StopReconnect();
      (void)c->_WaitForStopReconnect(kInfinite);
      c->_Deactivate();
      c->_Terminate();
    }
    made_.clear();
  }

  // A controller initialised from `record`, shut down when the test ends.
  Ref<CTavrixController> Make(const ControllerRecord& record, int32_t index = 0) {
    auto c = MakeRef<CTavrixController>(host_);
    EXPECT_EQ(c->Initialize(index, record), S_OK);
    made_.push_back(c);
    return c;
  }

  size_t Count(std::string_view part) const {
    size_t n = 0;
    for (const auto& text : log_.Texts()) n += text.find(part) != std::string::npos;
    return n;
  }

  TestHost host_;
  CapturingLogSink log_;
  std::vector<Ref<CTavrixController>> made_;
};

}  // namespace tavrix::controller_test
