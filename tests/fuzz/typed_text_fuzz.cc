// Fuzzes the typed-text parser: any text either fails cleanly or gives a
// value whose text form parses back to the identical value.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "kivdata/typed_text.h"
#include "platform/variant.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tavrix::Variant value;
  if (tavrix::ParseTypedText(text, &value).failed()) return 0;
  std::string form;
  if (tavrix::FormatTypedText(value, &form).failed()) return 0;
  tavrix::Variant back;
  if (tavrix::ParseTypedText(form, &back).failed() || !back.Identical(value)) __builtin_trap();
  return 0;
}
