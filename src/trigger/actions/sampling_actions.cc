// The sampling actions: start (1) puts the controller's sampling thread back
// to continuous sampling, stop (2) makes it wait for a trigger signal and
// one-time scan (3) lets it run one cycle only. The controller logs each
// change itself.
#include "controller/controller.h"
#include "trigger/action_object.h"
#include "trigger/actions/action_makers.h"

namespace tavrix {

namespace {

// The controller's sampling modes.
constexpr int32_t kSamplingContinuous = -1;
constexpr int32_t kSamplingWaiting = 0;
constexpr int32_t kSamplingOneCycle = 1;

}  // namespace

class CSamplingActionObject : public CActionObject {
 public:
  HRESULT Execute(int32_t, IZeltMessage*) override {
    if (controller() == nullptr) return S_FALSE;
    controller()->SetSamplingMode(Mode());
    return S_OK;
  }

 protected:
  virtual int32_t Mode() const = 0;
};

class CStartActionObject final : public CSamplingActionObject {
 public:
  const char* GetClassName() const override { return "CStartActionObject"; }

 private:
  int32_t Mode() const override { return kSamplingContinuous; }
};

class CStopActionObject final : public CSamplingActionObject {
 public:
  const char* GetClassName() const override { return "CStopActionObject"; }

 private:
  int32_t Mode() const override { return kSamplingWaiting; }
};

class COnetimeScanActionObject final : public CSamplingActionObject {
 public:
  const char* GetClassName() const override { return "COnetimeScanActionObject"; }

 private:
  int32_t Mode() const override { return kSamplingOneCycle; }
};

std::unique_ptr<CActionObject> MakeSamplingAction(int32_t number) {
  switch (number) {
    case 1: return std::make_unique<CStartActionObject>();
    case 2: return std::make_unique<CStopActionObject>();
    case 3: return std::make_unique<COnetimeScanActionObject>();
    default: return nullptr;
  }
}

}  // namespace tavrix
