// Forced reads requested by the scan actions of trigger trees.
#include <chrono>
#include <thread>

#include "controller/controller.h"
#include "controller/cycle_math.h"
#include "platform/clock.h"
#include "platform/log.h"

namespace tavrix {

namespace {

// How long a forced scan waits for a busy lock before it gives up. A cycle
// of a slow device holds the sampling lock for a whole round of reads; a
// scan that waits longer than this is more likely caught in a wait cycle
// between two trigger passes than behind a slow cycle.
constexpr uint32_t kScanLockLimitMs = 10'000;

}  // namespace

bool CTavrixController::LockForScan(RecursiveMutex& lock, Event& abandon, uint32_t limitMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  for (;;) {
    if (lock.TryLock()) return true;
    if (abandon.IsSet() || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

HRESULT CTavrixController::ForceReadItem(CTavrixItem& item, bool counted, bool direct) {
  bool deviceRead = false;
  const HRESULT hr = item.ReadValue(direct ? 2 : 0, &deviceRead);
  if (counted && !item.notRecJudge()) ReportRead(SUCCEEDED(hr), deviceRead);
  return FAILED(hr) ? hr : S_OK;
}

HRESULT CTavrixController::ForceScan(bool direct, CTavrixController& requester) {
  Event& abandon = requester.stopEvent();
  bool allGood = true;
  bool noneFromDevice = true;
  HRESULT result = S_OK;
  {
    if (!LockForScan(samplingLock_, abandon, kScanLockLimitMs)) return E_FAIL;
    // The reads need no items lock: the list is a copy and each item guards
    // itself.
    std::vector<Ref<CTavrixItem>> items;
    if (!LockForScan(itemsLock_, abandon, kScanLockLimitMs)) {
      samplingLock_.Unlock();
      return E_FAIL;
    }
    items.reserve(items_.size());
    items_.ForEach([&](const Ref<CTavrixItem>& item) { items.push_back(item); });
    itemsLock_.Unlock();
    for (const Ref<CTavrixItem>& item : items) {
      bool deviceRead = false;
      const HRESULT hr = item->ReadValue(direct ? 2 : 0, &deviceRead);
      if (FAILED(hr)) result = hr;
      if (item->notRecJudge()) continue;
      if (FAILED(hr)) {
        allGood = false;
      } else if (deviceRead) {
        noneFromDevice = false;
      }
    }
    samplingLock_.Unlock();
  }
  if (SUCCEEDED(result)) {
    if (!LockForScan(itemsLock_, abandon, kScanLockLimitMs)) return E_FAIL;
    HRESULT calculated = S_OK;
    if (calculations_) calculated = calculations_->Execute(true);
    itemsLock_.Unlock();
    if (FAILED(calculated)) {
      LogResult(calculated, 1, "TavrixController[%ls] : Failed ExecuteCalculate.\n",
                m_bstrTVXCtrlName);
    }
    result = calculated;
  }
  const bool good = CycleGood(settings()->m_lRecType, allGood, noneFromDevice);
  if (good) {
    failedCycles_.store(0);
  } else {
    ReportRead(false, false);
  }
  return result;
}

}  // namespace tavrix
