// The controller state clients see, and the history markers with the
// controller time stamp they carry.
#include "controller/controller.h"
#include "platform/clock.h"
#include "platform/date.h"
#include "platform/log.h"

namespace tavrix {

namespace {

constexpr const char* kMarkerTexts[] = {"$$START$$", "$$STOP$$", "$$BEGIN$$", "$$END$$"};

}  // namespace

int32_t CTavrixController::State() const {
  if (host_.IsVersionedProject() && disposing_.load()) {
    if (activationRunning_.load()) return tvCtrlThreadConnectTimeoutWaiting;
    if (workerExists_.load()) return tvCtrlThreadSamplingThreadWaiting;
    return tvCtrlThreadTerminated;
  }
  return m_lState.load();
}

void CTavrixController::SetState(int32_t state) {
  if (m_lState.exchange(state) == state) return;
  if (const auto& notify = ControllerParts::Instance().stateChanged) notify(*this, state);
}

// Takes the controller time stamp from the configured source. Only the
// sampling thread and the history markers call it, one at a time.
void CTavrixController::RefreshTimeStamp() { RefreshTimeStampFrom(settings()->m_lTimeStamp); }

void CTavrixController::RefreshTimeStampFrom(int32_t source) {
  MutexLock lock(&timeStampLock_);
  if (source == 0) return;
  if (source == 1) {
    Ref<IZeltVariable> clock;
    {
      MutexLock pointer(&zeltPointerLock_);
      clock = m_pDeviceClock;
    }
    Variant value;
    HRESULT hr = clock ? clock->get_Value(&value) : E_POINTER;
    double date = 0;
    if (SUCCEEDED(hr)) hr = value.vt() == VT_DATE ? S_OK : DISP_E_TYPEMISMATCH;
    if (SUCCEEDED(hr)) {
      date = value.date();
      deviceMicros_ = date == deviceTime_ ? deviceMicros_ + 1 : 0;
      deviceTime_ = date;
      return;
    }
    if (clock) {
      LogResult(hr, 1, "TavrixController[%ls] : Failed in getting device time.\n",
                m_bstrTVXCtrlName);
      MutexLock pointer(&zeltPointerLock_);
      m_pDeviceClock.reset();
    }
    source = 3;
  }
  const int64_t micros = SystemClock().UtcMicros();
  lastUtcDate_ = DateFromUnixMicros(micros);
  double date = lastUtcDate_;
  if (source == 2 && FAILED(UtcToLocal(lastUtcDate_, &date))) date = lastUtcDate_;
  // 100 ns units, as the platform's clock reading counts them.
  timeStamp_.Refresh(micros * 10, date);
  deviceTime_ = timeStamp_.date;
  deviceMicros_ = timeStamp_.microsecond;
}

HRESULT CTavrixController::AddHistoryMarker(int32_t type) {
  if (!historyEnabled_) return S_FALSE;
  if (type < kMarkerStart || type > kMarkerEnd) return E_INVALIDARG;
  Variant value;
  if (type == kMarkerBegin) {
    int32_t next = markerSequence_.load() == 2147483647 ? 0 : markerSequence_.load() + 1;
    markerSequence_.store(next);
    value = Variant::I4(next);
  } else if (type == kMarkerEnd) {
    value = Variant::I4(markerSequence_.load());
  }
  // A controller without a time-stamp source still dates its markers: by the
  // host's UTC clock, as a row dated at the date origin would be useless.
  const ControllerSettingsPtr s = settings();
  RefreshTimeStampFrom(s->m_lTimeStamp == 0 ? 3 : s->m_lTimeStamp);
  double date;
  uint32_t micros;
  {
    MutexLock lock(&timeStampLock_);
    date = host_.IsVersionedProject() && s->m_lTimeStamp != 1 ? lastUtcDate_ : deviceTime_;
    micros = deviceMicros_;
  }
  const auto& add = ControllerParts::Instance().addHistory;
  const HRESULT hr =
      add ? add(s->m_bstrCtrlName, kMarkerTexts[type], value, date, micros) : S_FALSE;
  if (FAILED(hr) && host_.IsVersionedProject()) {
    LogResult(hr, 1, "TavrixController[%ls] : Failed in recording to the history database.\n",
              m_bstrTVXCtrlName);
  }
  return hr;
}

}  // namespace tavrix
