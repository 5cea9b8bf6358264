// Fuzzes the settings file parser: any bytes either parse or give a clear
// error, and what parses serialises back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tavrix::SettingsFile file;
  std::string error;
  if (tavrix::SettingsFile::Parse(text, "fuzz.reg", &file, &error).succeeded()) {
    if (file.Serialize() != text) __builtin_trap();
  }
  return 0;
}
