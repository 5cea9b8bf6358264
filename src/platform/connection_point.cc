#include "platform/connection_point.h"

#include <utility>

namespace tavrix {

HRESULT ConnectionPoint::GetConnectionInterface(IID* out) {
  if (out == nullptr) return E_POINTER;
  *out = eventIid_;
  return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, uint32_t* cookie) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (sink == nullptr) return E_POINTER;
  // Outside the lock: QueryInterface runs the sink's code.
  Ref<IDispatch> disp = QueryAs<IDispatch>(sink, eventIid_);
  if (!disp) disp = QueryAs<IDispatch>(sink, IID_IDispatch);
  if (!disp) return CONNECT_E_CANNOTCONNECT;
  {
    std::lock_guard lock(mutex_);
    if (lastCookie_ == UINT32_MAX) return CONNECT_E_ADVISELIMIT;
    connections_.push_back({++lastCookie_, std::move(disp)});
    *cookie = lastCookie_;
  }
  return S_OK;
}

HRESULT ConnectionPoint::Unadvise(uint32_t cookie) {
  Ref<IDispatch> dropped;  // released after the lock is left
  {
    std::lock_guard lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
      if (it->cookie != cookie) continue;
      dropped = std::move(it->sink);
      connections_.erase(it);
      return S_OK;
    }
  }
  return CONNECT_E_NOCONNECTION;
}

size_t ConnectionPoint::SinkCount() const {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

HRESULT ConnectionPoint::Fire(DISPID id, std::span<Variant> args, const BeforeSink& before) {
  const size_t count = SinkCount();
  HRESULT last = S_OK;
  for (size_t position = 0; position < count; ++position) {
    Ref<IDispatch> sink;  // dropped at the end of the step, outside the lock
    {
      std::lock_guard lock(mutex_);
      if (connections_.size() != count) break;
      sink = connections_[position].sink;
    }
    if (before) before(position);
    last = sink->Invoke(id, DISPATCH_METHOD, args, nullptr, nullptr, LOCALE_USER_DEFAULT);
  }
  return last;
}

}  // namespace tavrix
