// The process-wide state of simulated controllers: one SimState per Zelt
// controller name (compared without regard to case), shared by every
// connection to that name in any workspace or engine, and kept for the life of
// the process (a device keeps its values while clients come and go).
//
// A state's settings come from the option text of the open that created it;
// later opens of the name check their option text but do not change them.
// Time is read only through SystemClock(), so a FakeClock controls it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/result.h"
#include "platform/text.h"
#include "platform/variant.h"
#include "zelt/sim_kinds.h"
#include "zelt/sim_options.h"

namespace tavrix {

class SimState {
 public:
  SimState(std::string name, const SimOptions& options);
  SimState(const SimState&) = delete;
  SimState& operator=(const SimState&) = delete;

  const std::string& name() const noexcept { return name_; }
  const SimOptions& options() const noexcept { return options_; }

  // Counts one open: E_FAIL (with *error) for each of the first
  // options().openFailures opens, S_OK after them.
  HRESULT CountOpen(std::string* error);

  // The cell of variable `name` in the scope with key `scopeKey`; made on first
  // use. Names that differ only in case share the cell.
  std::shared_ptr<SimCell> Cell(std::string_view scopeKey, std::string_view name,
                                const SimVarShape& shape);

  // Reads or writes a cell of this state: E_FAIL while offline; on success
  // *utcMicros is the device time of the access. Read waits
  // options().readLatencyMs through SystemClock().SleepMs first, holding no lock.
  HRESULT Read(SimCell& cell, Variant* value, int64_t* utcMicros);
  HRESULT Write(SimCell& cell, const Variant& value, int64_t* utcMicros, std::string* error);

  void SetOnline(bool online);
  bool online() const;

  // The next message serial number: 1, 2, ...
  int32_t NextSerial();

  // The device clock now: host UTC plus the clock offset, in microseconds.
  int64_t DeviceUtcMicros() const;

 private:
  int64_t ToDevice(int64_t hostUtcMicros) const;

  const std::string name_;
  const SimOptions options_;
  // Guards every member below and the fields of every SimCell in cells_. It is
  // a leaf: nothing else is locked and no outside code runs while it is held.
  mutable std::mutex mutex_;
  uint32_t opens_ = 0;
  bool online_ = true;
  int32_t serial_ = 0;
  SimRandom random_;
  std::unordered_map<std::string, std::shared_ptr<SimCell>> cells_;  // scope key + folded name
};

// The state of controller `name`, made with `options` when it does not exist.
// Thread-safe.
std::shared_ptr<SimState> SimStateFor(std::string_view name, const SimOptions& options);

// Forgets every simulated controller, so that the next open of each name
// starts afresh with its own options. For tests, between cases: connections
// still open keep their old state, detached from the name.
void ResetZeltSimulator();

}  // namespace tavrix
