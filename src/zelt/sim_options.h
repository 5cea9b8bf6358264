// The option text of a simulated controller: `;`-separated `key=value` pairs,
// keys compared without regard to case, spaces around keys and values ignored,
// empty pairs skipped, a later pair overriding an earlier one of the same key.
//
//   seed=<u64>             the generator's seed for random variables (default 1)
//   clock_offset_s=<real>  the device clock's lead over host UTC in seconds (default 0)
//   open_failures=<n>      the first n opens of the controller name fail (default 0)
//   read_latency_ms=<n>    every read of a variable waits n ms first (default 0)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace tavrix {

struct SimOptions {
  uint64_t seed = 1;
  double clockOffsetS = 0;
  uint32_t openFailures = 0;
  uint32_t readLatencyMs = 0;
};

// Parses `text` into *out. E_INVALIDARG for an unknown key, a pair without
// '=', or a value that is not a number of the key's kind; *error then says
// which, and *out is unchanged.
HRESULT ParseSimOptions(std::string_view text, SimOptions* out, std::string* error);

}  // namespace tavrix
