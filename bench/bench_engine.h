// The engine as the local server starts it, for the benchmarks that run a
// project: started on construction, terminated on destruction.
#pragma once

#include <string>

#include "engine/engine_man.h"

namespace tavrix::bench {

class EngineRun {
 public:
  explicit EngineRun(const std::string& projectPath) {
    engine_ = CTavrixEngineMan::GetInstance();
    EngineSettings settings;
    settings.dataPath = projectPath;
    engine_->SetSettings(settings);
    // The server's own reference, held until the end.
    engine_->AddRef();
    started_ = SUCCEEDED(engine_->Initialize());
  }
  ~EngineRun() {
    engine_->Release();
    if (CTavrixEngineMan* left = CTavrixEngineMan::CurrentInstance()) left->Terminate();
  }
  EngineRun(const EngineRun&) = delete;
  EngineRun& operator=(const EngineRun&) = delete;

  bool started() const { return started_; }
  CTavrixEngineMan& engine() { return *engine_; }

 private:
  CTavrixEngineMan* engine_ = nullptr;
  bool started_ = false;
};

}  // namespace tavrix::bench
