#include "zelt/sim_options.h"

#include "platform/text.h"
#include "zelt/parse_text.h"

namespace tavrix {

HRESULT ParseSimOptions(std::string_view text, SimOptions* out, std::string* error) {
  using namespace zelt_text;
  SimOptions options;
  for (std::string_view pair : Split(text, ';')) {
    pair = Trim(pair);
    if (pair.empty()) continue;
    const size_t eq = pair.find('=');
    if (eq == std::string_view::npos) {
      *error = "option '" + std::string(pair) + "' has no '=value'";
      return E_INVALIDARG;
    }
    const std::string_view key = Trim(pair.substr(0, eq));
    const std::string_view value = Trim(pair.substr(eq + 1));
    bool ok = false;
    if (EqualsNoCase(key, "seed")) {
      ok = ParseUint64(value, &options.seed);
    } else if (EqualsNoCase(key, "clock_offset_s")) {
      // About 3000 years either way keeps the device clock a valid date.
      ok = ParseDouble(value, &options.clockOffsetS) && options.clockOffsetS <= 1e11 &&
           options.clockOffsetS >= -1e11;
    } else if (EqualsNoCase(key, "open_failures")) {
      ok = ParseUint32(value, &options.openFailures);
    } else if (EqualsNoCase(key, "read_latency_ms")) {
      ok = ParseUint32(value, &options.readLatencyMs);
    } else {
      *error = "unknown option key '" + std::string(key) +
               "' (known: seed, clock_offset_s, open_failures, read_latency_ms)";
      return E_INVALIDARG;
    }
    if (!ok) {
      *error = "option " + std::string(key) + " has a malformed value '" + std::string(value) + "'";
      return E_INVALIDARG;
    }
  }
  *out = options;
  return S_OK;
}

}  // namespace tavrix
