// Encode and Decode (codes 37, 38): one value as the bytes of a one-value
// backup row (a 32-bit little-endian byte count, then the value's record; see
// backup_codec.cc), held in a one-dimensional VT_ARRAY|VT_UI1.
//
// The bytes to decode may come from anywhere (a device, a client, a text
// file), so Decode trusts nothing in them: it reads only the array's own
// bytes, hands the backup decoder exactly the counted bytes, which checks
// every record against them, and refuses what decodes to a value no item may
// hold (arrays inside arrays of variants).

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "calc/calc_functions.h"
#include "calc/calc_operations.h"
#include "item/value_types.h"
#include "platform/safearray.h"
#include "trigger/backup/backup_codec.h"

namespace tavrix::calc {
namespace {

constexpr size_t kByteCountBytes = 4;

}  // namespace

HRESULT Encode(const Variant& operand, const CalcSettings&, Variant* out) {
  std::string bytes;
  RETURN_IF_FAILED(EncodeBackupRow(TableRow{operand.Deref()}, &bytes));
  if (bytes.size() > std::numeric_limits<int32_t>::max()) return E_INVALIDARG;
  Ref<SafeArray> array = SafeArray::Create1D(VT_UI1, static_cast<uint32_t>(bytes.size()));
  if (!array) return E_OUTOFMEMORY;
  std::memcpy(array->data(), bytes.data(), bytes.size());
  *out = Variant::Array(std::move(array));
  return S_OK;
}

HRESULT Decode(const Variant& operand, const CalcSettings&, Variant* out) {
  const Variant& value = operand.Deref();
  if (value.IsEmpty() || value.IsNull()) {
    *out = value;
    return S_FALSE;
  }
  if (value.vt() != (VT_ARRAY | VT_UI1)) return E_INVALIDARG;
  const Ref<SafeArray> array = value.arrayRef();
  if (!array || array->dims() != 1 || array->elementType() != VT_UI1) return E_INVALIDARG;
  const size_t size = array->size();
  if (size < kByteCountBytes || array->data() == nullptr) return E_INVALIDARG;
  const std::string_view bytes(reinterpret_cast<const char*>(array->data()), size);
  uint32_t count = 0;
  for (size_t i = 0; i < kByteCountBytes; ++i) {
    count |= uint32_t{static_cast<uint8_t>(bytes[i])} << (8 * i);
  }
  if (count > size - kByteCountBytes) return E_INVALIDARG;
  // Bytes behind the first value are not part of it.
  TableRow row;
  RETURN_IF_FAILED(DecodeBackupRow(bytes.substr(0, kByteCountBytes + count), &row));
  if (row.size() != 1 || !IsSupportedValue(row.front())) return E_INVALIDARG;
  *out = std::move(row.front());
  return S_OK;
}

}  // namespace tavrix::calc
