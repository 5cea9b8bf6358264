// The activation thread and the reconnection monitor it becomes, the
// re-activation of a failing controller, and reconnection on request.
#include <algorithm>

#include "controller/controller.h"
#include "platform/log.h"

namespace tavrix {

namespace {

// The platform's answer of a wait that timed out.
constexpr uint32_t kWaitTimeout = 258;

uint32_t SecondsToMs(int32_t seconds) {
  if (seconds <= 0) return 0;
  return static_cast<uint32_t>(std::min<int64_t>(int64_t{seconds} * 1000, kInfinite - 1));
}

}  // namespace

HRESULT CTavrixController::StartActivationThread(bool checkOptionChanged) {
  if (m_hReconnectThread && !m_hReconnectThread->ended()) return E_UNEXPECTED;
  m_hReconnectThread.reset();
  auto thread = std::make_unique<ControllerThread>();
  Ref<CTavrixController> self(this);
  activationRunning_ = true;
  activationEnded_.Reset();
  const HRESULT hr = thread->Start("tvx-activate", [self, checkOptionChanged] {
    self->ActivationThreadBody(checkOptionChanged);
    self->activationRunning_ = false;
    self->activationEnded_.Set();
  });
  if (FAILED(hr)) {
    activationRunning_ = false;
    activationEnded_.Set();
    return hr;
  }
  m_hReconnectThread = std::move(thread);
  return S_OK;
}

void CTavrixController::ActivationThreadBody(bool checkOptionChanged) {
  HRESULT hr;
  try {
    hr = _Activate();
  } catch (...) {
    hr = E_FAIL;  // _Activate has logged it
  }
  if (FAILED(hr)) {
    LogResult(hr, 1, "TavrixEngineMan : Failed in activating TavrixController(%ls).\n",
              m_bstrTVXCtrlName);
    return;
  }
  if (checkOptionChanged && optionChanged()) (void)ReconnectNow(0);
  try {
    (void)_Reconnect();
  } catch (...) {
    // _Reconnect has logged it; the thread ends.
  }
}

HRESULT CTavrixController::_Reconnect() {
  try {
    // Each check takes the settings anew: an update may change them.
    for (ControllerSettingsPtr s = settings(); s->m_bAutoReconn; s = settings()) {
      if (failedCycles_.load() > s->m_lRecCount) (void)ReconnectProc(s->m_lRecWaitTime);
      if (m_hDisposeEvent.Wait(SecondsToMs(s->m_lRecInterval)) == WaitStatus::kSignaled) break;
    }
    Log(0, "TavrixController[%ls] : _Reconnect finished.\n", m_bstrTVXCtrlName);
    return S_OK;
  } catch (...) {
    LogResult(E_FAIL, 3, "TavrixController[%ls] : _Reconnect : Exception occurred.\n",
              m_bstrTVXCtrlName);
    throw;
  }
}

void CTavrixController::_StopReconnect() {
  disposing_ = true;
  Log(0, "TavrixController[%ls] : _StopReconnect : Set dispose event.\n", m_bstrTVXCtrlName);
  m_hDisposeEvent.Set();
}

uint32_t CTavrixController::_WaitForStopReconnect(uint32_t ms) {
  bool requested;
  {
    MutexLock lock(&reconnectLock_);
    requested = !reconnectThreads_.empty();
  }
  if (!m_hReconnectThread && !requested) return 0;
  Log(0, "TavrixController[%ls] : _WaitForStopReconnect : Waiting reconnect thread.\n",
      m_bstrTVXCtrlName);
  if (m_hReconnectThread) {
    if (m_hReconnectThread->Wait(ms) != WaitStatus::kSignaled) return kWaitTimeout;
    m_hReconnectThread.reset();
    Log(0, "TavrixController[%ls] : _WaitForStopReconnect : Reconnect thread stoped.\n",
        m_bstrTVXCtrlName);
  }
  // Reconnections started on request count as part of the monitor: the
  // controller is not stopped while one of them still runs.
  JoinReconnectThreads(ms != kInfinite);
  MutexLock lock(&reconnectLock_);
  return reconnectThreads_.empty() ? 0 : kWaitTimeout;
}

void CTavrixController::JoinReconnectThreads(bool onlyEnded) {
  std::vector<std::unique_ptr<ControllerThread>> finished;
  {
    MutexLock lock(&reconnectLock_);
    auto keep = std::stable_partition(
        reconnectThreads_.begin(), reconnectThreads_.end(),
        [onlyEnded](const std::unique_ptr<ControllerThread>& t) { return onlyEnded && !t->ended(); });
    std::move(keep, reconnectThreads_.end(), std::back_inserter(finished));
    reconnectThreads_.erase(keep, reconnectThreads_.end());
  }
  for (auto& thread : finished) thread->Wait(kInfinite);
}

HRESULT CTavrixController::ReconnectProc(int32_t waitSeconds) {
  int32_t wait = waitSeconds;
  while (!m_hDisposeEvent.IsSet()) {
    if (!m_hActivateIdleEvent.IsSet()) {
      Log(0, "TavrixController[%ls] : ReconnectProc : _Activate() is running. Execute cancel.\n",
          m_bstrTVXCtrlName);
      return S_FALSE;
    }
    if (reconnectBusy_.fetch_add(1) != 0) {
      Log(0, "TavrixController[%ls] : ReconnectProc : Almost running. Execute cancel.\n",
          m_bstrTVXCtrlName);
      reconnectBusy_.fetch_sub(1);
      return S_FALSE;
    }
    reconnecting_ = true;
    _Deactivate();
    failedCycles_ = 0;
    m_hStopEvent.Reset();
    SetState(tvCtrlThreadUninit);
    for (;;) {
      if (m_hDisposeEvent.Wait(SecondsToMs(wait)) == WaitStatus::kSignaled) {
        reconnectBusy_.fetch_sub(1);
        reconnecting_ = false;
        return S_OK;
      }
      failedCycles_ = 0;
      HRESULT hr;
      try {
        hr = _Activate();
      } catch (...) {
        hr = E_FAIL;  // logged by _Activate
      }
      if (SUCCEEDED(hr) || m_hDisposeEvent.IsSet()) break;
    }
    reconnectBusy_.fetch_sub(1);
    wait = 0;
    if (!optionChanged()) {
      reconnecting_ = false;
      return S_FALSE;
    }
  }
  reconnecting_ = false;
  Log(0, "TavrixController[%ls] : ReconnectProc : Controllre is dispoing. Execute cancel.\n",
      m_bstrTVXCtrlName);
  return S_FALSE;
}

HRESULT CTavrixController::ReconnectNow(int32_t waitSeconds) {
  RecursiveMutexLock cycle(&cycleLock_);
  const HRESULT hr = StartReconnectThread(waitSeconds);
  return hr == S_FALSE ? S_OK : hr;
}

HRESULT CTavrixController::StartReconnectThread(int32_t waitSeconds) {
  JoinReconnectThreads(true);
  MutexLock lock(&reconnectLock_);
  if (!reconnectThreads_.empty()) {
    // One reconnection per controller: a second request while one runs
    // changes nothing.
    Log(0, "TavrixController[%ls] : ReconnectProc : Almost running. Execute cancel.\n",
        m_bstrTVXCtrlName);
    return S_FALSE;
  }
  auto thread = std::make_unique<ControllerThread>();
  Ref<CTavrixController> self(this);
  if (FAILED(thread->Start("tvx-reconnect",
                           [self, waitSeconds] { (void)self->ReconnectProc(waitSeconds); }))) {
    return E_FAIL;
  }
  reconnectThreads_.push_back(std::move(thread));
  return S_OK;
}

}  // namespace tavrix
