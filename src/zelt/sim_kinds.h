// The simulator's variable kinds: what a variable's name makes it, and what
// its reads and writes do.
//
//   @CURRENT_TIME              DATE    the device clock (host UTC + clock_offset_s)
//   counter[:<start>[:<step>]] I4      start (0), then + step (1) on every read,
//                                      wrapping at the ends of the I4 range
//   ramp:<min>:<max>:<step>    R8      min, then + step on every read; a value
//                                      above max wraps to min (min <= max, step > 0)
//   sine:<amplitude>:<period_ms> R8    amplitude * sin(2 pi t / period), t the host
//                                      UTC (period > 0)
//   random:<min>:<max>         R8      uniform in [min, max) from the controller's
//                                      generator (min <= max)
//   bytes:<n>                  UI1 array  n bytes (1 .. 1048576), zero at first,
//                                      written whole
//   any other name             the value last written; Empty before the first write
//
// The kind words compare without regard to case. A name that starts with a kind
// word and a ':' (or is "counter") is that kind, and its fields must fit it.
// The computed kinds (all but bytes and plain cells) refuse writes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix {

enum class SimKind { kCurrentTime, kCounter, kRamp, kSine, kRandom, kBytes, kCell };

struct SimVarShape {
  SimKind kind = SimKind::kCell;
  int32_t start = 0;  // counter
  int32_t step = 1;   // counter
  double min = 0;     // ramp, random
  double max = 0;     // ramp, random
  double rampStep = 0;
  double amplitude = 0;  // sine
  double periodMs = 0;   // sine
  uint32_t bytes = 0;    // bytes
};

// What `name` makes a variable. E_INVALIDARG for an empty name or fields that
// do not fit the kind; *error then says why and *out is unchanged.
HRESULT ParseSimVariableName(std::string_view name, SimVarShape* out, std::string* error);

// "ZeltProv.Sim counter from 0 step 1" and the like.
std::string DescribeSimVariable(const SimVarShape& shape);

// A small deterministic generator (splitmix64): the same seed gives the same
// sequence on every platform. Not thread-safe; its owner locks.
class SimRandom {
 public:
  explicit SimRandom(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  // Uniform in [0, 1).
  double NextUnit();

 private:
  uint64_t state_;
};

// The changing state of one simulated variable. Not thread-safe: SimState
// guards every cell with its lock.
struct SimCell {
  explicit SimCell(const SimVarShape& shape);

  const SimVarShape shape;
  int32_t counter = 0;  // the next counter value
  double ramp = 0;      // the next ramp value
  Variant value;        // bytes and plain cells
};

// The value a read gives now, advancing counters and ramps.
Variant ReadSimCell(SimCell& cell, int64_t hostUtcMicros, int64_t deviceUtcMicros,
                    SimRandom& random);

// Stores a written value. E_ACCESSDENIED for a computed kind,
// DISP_E_TYPEMISMATCH for an object (or array of objects) or, for bytes, a
// value that is not a UI1 array; E_INVALIDARG for a byte array of another
// length. *error says why.
HRESULT WriteSimCell(SimCell& cell, const Variant& value, std::string* error);

}  // namespace tavrix
