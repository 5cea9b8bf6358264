// Fuzzes the Decode calculation operation: any byte array either fails with
// E_INVALIDARG or gives a value an item may hold, and Encode of that value
// decodes to the identical value again.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "calc/calc_operations.h"
#include "item/value_types.h"
#include "platform/safearray.h"
#include "platform/variant.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavrix;
  Ref<SafeArray> array = SafeArray::Create1D(VT_UI1, static_cast<uint32_t>(size));
  if (!array) return 0;
  if (size > 0) std::memcpy(array->data(), data, size);
  const Variant bytes = Variant::Array(array);
  const CalcSettings settings;
  Variant value;
  const HRESULT hr = FindCalcOperation(38)->unary(bytes, settings, &value);
  if (hr == E_INVALIDARG) return 0;
  if (hr != S_OK || !IsSupportedValue(value)) __builtin_trap();
  Variant again;
  if (FindCalcOperation(37)->unary(value, settings, &again) != S_OK) __builtin_trap();
  Variant back;
  if (FindCalcOperation(38)->unary(again, settings, &back) != S_OK || !back.Identical(value)) {
    __builtin_trap();
  }
  return 0;
}
