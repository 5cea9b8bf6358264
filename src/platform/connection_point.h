// Connection points: how an object calls its clients back with events.
//
// A connection point serves one outgoing (event) interface. A client hands it
// a sink with Advise and gets a cookie; the owner fires events to every sink
// through IDispatch::Invoke, the same path scripts and the RPC bridge use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

#include "platform/object.h"
#include "platform/unknown.h"
#include "platform/variant.h"

namespace tavrix {

class IConnectionPoint : public IUnknown {
 public:
  static constexpr const IID& kIid = IID_IConnectionPoint;

  // The id of the event interface this point serves. E_POINTER when out is null.
  virtual HRESULT GetConnectionInterface(IID* out) = 0;
  // Connects `sink`, which must answer QueryInterface for the event interface
  // or for IID_IDispatch (CONNECT_E_CANNOTCONNECT otherwise). Stores the new
  // connection's cookie in *cookie: cookies count up from 1 and are never
  // reused (CONNECT_E_ADVISELIMIT once they run out). The point holds a
  // reference to the sink until Unadvise. E_POINTER for a null sink or cookie.
  virtual HRESULT Advise(IUnknown* sink, uint32_t* cookie) = 0;
  // Disconnects the sink of `cookie` and drops the point's reference to it.
  // S_OK, or CONNECT_E_NOCONNECTION for a cookie that is not connected.
  virtual HRESULT Unadvise(uint32_t cookie) = 0;

 protected:
  ~IConnectionPoint() = default;
};

// The connection point of one event interface. The event interface is a
// dispatch interface: the pointer a sink answers for its id is called as an
// IDispatch. Made with MakeRef<ConnectionPoint>(eventIid).
class ConnectionPoint final : public Object<IConnectionPoint> {
 public:
  explicit ConnectionPoint(const IID& eventIid) : eventIid_(eventIid) {}

  HRESULT GetConnectionInterface(IID* out) override;
  HRESULT Advise(IUnknown* sink, uint32_t* cookie) override;
  HRESULT Unadvise(uint32_t cookie) override;

  // The number of connected sinks.
  size_t SinkCount() const;

  // Called before the sink at `position` (0-based, in order of connection) is
  // invoked; the owner logs the event there.
  using BeforeSink = std::function<void(size_t position)>;

  // Fires event `id` with `args` (call order) to the sinks: the number of sinks
  // is taken at the start; for each position from 0 upward, under the lock,
  // firing stops if the number of sinks has changed since the start, otherwise
  // the sink at that position is taken (a counted reference) and the lock is
  // left; then `before` is called and the sink is invoked as a method call
  // (DISPATCH_METHOD, locale 1024, no result). Every sink shares `args`, so one
  // writing through a by-reference argument is seen by the next.
  // Returns the result of the last invocation (S_OK when there was none); a
  // failing sink does not stop the others.
  // No lock is held while a sink or `before` runs: a sink may Advise or
  // Unadvise itself or others from inside the call, which ends the firing
  // after it because the count changed.
  HRESULT Fire(DISPID id, std::span<Variant> args, const BeforeSink& before = {});

 private:
  struct Connection {
    uint32_t cookie;
    Ref<IDispatch> sink;
  };

  const IID eventIid_;
  // Guards connections_ and lastCookie_. Held only for short bookkeeping: never
  // while calling into a sink (QueryInterface, Invoke) nor while dropping the
  // last reference to one, whose destructor may call back into this point.
  mutable std::mutex mutex_;
  std::vector<Connection> connections_;  // in order of connection
  uint32_t lastCookie_ = 0;
};

}  // namespace tavrix
