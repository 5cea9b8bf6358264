// What the engine manager's tests share: project files of simulated
// controllers and a fixture that starts an engine manager of its own on the
// recording services and always stops it.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_fakes.h"
#include "engine/engine_man.h"
#include "platform/log.h"

namespace tavrix::engine_test {

using namespace std::chrono_literals;

// One simulated controller of a project file.
struct SimController {
  std::string name{};
  int32_t activatePriority = 0;
  int32_t deactivatePriority = 0;
  std::string param{};  // the simulator's option text
  bool enabled = true;
};

struct Project {
  std::string zeltHost = "localhost";
  int32_t retryCount = 0;
  int32_t retryInterval = 50;
  std::vector<CredentialRecord> credentials{};
  std::vector<SimController> controllers{};
};

// Zelt controller names are unique per process run: the simulator keeps its
// state (open failures included) per name for the whole process.
inline std::string UniqueZeltName(const std::string& name) {
  static std::atomic<int> next{0};
  return "engine_test_" + name + "_" + std::to_string(getpid()) + "_" +
         std::to_string(next.fetch_add(1));
}

inline std::string ProjectXml(const Project& p) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TavrixProject>\n"
      "<INode Type=\"clsTavrixWorkspace\">\n<clsTavrixWorkspace>\n"
      "<m_strZeltHost>" + p.zeltHost + "</m_strZeltHost>\n"
      "<m_lRetryCnt>" + std::to_string(p.retryCount) + "</m_lRetryCnt>\n"
      "<m_lRetryInterval>" + std::to_string(p.retryInterval) + "</m_lRetryInterval>\n";
  if (!p.credentials.empty()) {
    xml += "<Credentials>\n";
    for (const CredentialRecord& c : p.credentials) {
      xml += "<Credential><Address>" + c.m_strAddress + "</Address><User>" + c.m_strUser +
             "</User><Password>" + c.m_strPassword + "</Password></Credential>\n";
    }
    xml += "</Credentials>\n";
  }
  xml += "</clsTavrixWorkspace>\n";
  for (const SimController& c : p.controllers) {
    xml += "<INode Type=\"clsTavrixController\">\n<clsTavrixController>\n"
           "<m_strCtrlName>" + UniqueZeltName(c.name) + "</m_strCtrlName>\n"
           "<m_bEnabled>" + (c.enabled ? "True" : "False") + "</m_bEnabled>\n"
           "<RSQLCtrlName>" + c.name + "</RSQLCtrlName>\n"
           "<m_strProvider>ZeltProv.Sim</m_strProvider>\n"
           "<m_strParam>" + c.param + "</m_strParam>\n"
           "<m_lSamplingRate>1000</m_lSamplingRate>\n"
           "<m_lActivatePriority>" + std::to_string(c.activatePriority) +
           "</m_lActivatePriority>\n"
           "<m_lDeactivatePriority>" + std::to_string(c.deactivatePriority) +
           "</m_lDeactivatePriority>\n"
           "</clsTavrixController>\n<Text>" + c.name + "</Text>\n</INode>\n";
  }
  xml += "</INode>\n</TavrixProject>\n";
  return xml;
}

// Runs `body` and aborts the test program when it has not returned within a
// minute: a stop that hangs must fail loudly, not stall the suite.
template <typename F>
void MustReturn(const char* what, F body) {
  auto done = std::async(std::launch::async, std::move(body));
  if (done.wait_for(60s) != std::future_status::ready) {
    std::fprintf(stderr, "%s did not return: hung\n", what);
    std::abort();
  }
  done.get();
}

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() : log_(0) {
    dir_ = std::filesystem::temp_directory_path() /
           ("tavrix_engine_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  ~EngineTest() override {
    if (engine_) MustReturn("Terminate", [this] { engine_->Terminate(); });
    engine_.reset();
    if (HasFailure()) {
      // The engine's own account of what happened, for the failure report.
      const std::vector<std::string> texts = log_.Texts();
      const size_t from = texts.size() > 300 ? texts.size() - 300 : 0;
      for (size_t i = from; i < texts.size(); ++i) {
        std::fprintf(stderr, "  log: %s", texts[i].c_str());
      }
    }
    std::filesystem::remove_all(dir_);
  }

  std::string WriteProject(const std::string& xml, const std::string& name = "project.xml") {
    const std::filesystem::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << xml;
    return path.string();
  }

  // Makes the engine on the recording services (with the answers set so
  // far) and starts it on `dataPath`.
  HRESULT StartOn(const std::string& dataPath, EngineSettings settings = {}) {
    engine_ = std::make_unique<CTavrixEngineMan>(RecordingServices(calls_, answers_));
    settings.dataPath = dataPath;
    engine_->SetSettings(settings);
    return engine_->Initialize();
  }
  HRESULT Start(const Project& project, EngineSettings settings = {}) {
    return StartOn(WriteProject(ProjectXml(project)), settings);
  }

  // Index of the first captured line containing `part`, or -1.
  int IndexOf(const std::string& part) const {
    const std::vector<std::string> texts = log_.Texts();
    for (size_t i = 0; i < texts.size(); ++i) {
      if (texts[i].find(part) != std::string::npos) return static_cast<int>(i);
    }
    return -1;
  }
  int CountOf(const std::string& part) const {
    int n = 0;
    for (const std::string& t : log_.Texts()) n += t.find(part) != std::string::npos ? 1 : 0;
    return n;
  }
  // Waits until a line contains `part`; false after 30 s.
  bool WaitForLine(const std::string& part) const {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (log_.Contains(part)) return true;
      std::this_thread::sleep_for(2ms);
    }
    return false;
  }
  // Fails unless the lines containing `parts` appear in this order.
  void ExpectInOrder(const std::vector<std::string>& parts) const {
    int previous = -1;
    for (const std::string& part : parts) {
      const int at = IndexOf(part);
      EXPECT_GT(at, previous) << "\"" << part << "\" is missing or out of order";
      if (at >= 0) previous = at;
    }
  }
  // The level and result of the first line containing `part`.
  CapturingLogSink::Line LineOf(const std::string& part) const {
    for (const auto& line : log_.Lines()) {
      if (line.text.find(part) != std::string::npos) return line;
    }
    ADD_FAILURE() << "no line \"" << part << "\"";
    return {};
  }

  CapturingLogSink log_;
  std::filesystem::path dir_;
  Recorder calls_;
  Answers answers_;
  std::unique_ptr<CTavrixEngineMan> engine_;
};

}  // namespace tavrix::engine_test
