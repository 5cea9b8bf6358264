// Backup row layout. Little-endian, no file header; the row's values follow
// one another in column order, each as
//
//   u32 length            bytes of the value record that follows
//   record:
//     u16 vartype
//     u32 count           1 for a single value, the element count of an array
//     data                by type:
//       0 EMPTY, 1 NULL                 nothing
//       16 I1, 17 UI1                   1 byte
//       2 I2, 18 UI2, 11 BOOL (-1/0)    2 bytes
//       3 I4, 19 UI4, 4 R4              4 bytes
//       5 R8, 6 CY, 7 DATE, 20 I8, 21 UI8   8 bytes
//       8 BSTR                          u32 byte length, UTF-16LE units, no terminator
//       0x2000 | a number type above    count elements of that size, packed
//       0x2008 texts                    per element: u32 byte length, UTF-16LE units
//       0x200C variants                 per element: a whole record (no u32 length)
//
// The count of a single value is not needed to read it and is not checked.

#include "trigger/backup/backup_codec.h"

#include <bit>
#include <cstdint>
#include <limits>
#include <utility>

#include "platform/safearray.h"
#include "platform/text.h"

namespace tavrix {
namespace {

constexpr size_t kRecordHeaderBytes = 6;
constexpr size_t kTextLengthBytes = 4;

// The types whose data are a fixed number of bytes (0 for any other type).
size_t FixedSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
    case VT_I4:
    case VT_UI4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_I8:
    case VT_UI8:
      return VarTypeSize(vt);
    default:
      return 0;
  }
}

// The value's bits as they are written (booleans as 0xFFFF or 0).
// REQUIRES: FixedSize(v.vt()) > 0.
uint64_t FixedBits(const Variant& v) {
  switch (v.vt()) {
    case VT_BOOL:
      return v.isTrue() ? 0xFFFF : 0;
    case VT_R4:
      return std::bit_cast<uint32_t>(v.r4());
    case VT_R8:
    case VT_DATE:
      return std::bit_cast<uint64_t>(v.r8());
    case VT_CY:
      return static_cast<uint64_t>(v.cy().int64);
    default:
      return IntegerBits(v);
  }
}

// REQUIRES: FixedSize(vt) > 0; bits hold no more than that many bytes.
Variant FixedFromBits(VARTYPE vt, uint64_t bits) {
  switch (vt) {
    case VT_BOOL:
      return Variant::Bool(bits != 0);
    case VT_R4:
      return Variant::R4(std::bit_cast<float>(static_cast<uint32_t>(bits)));
    case VT_R8:
      return Variant::R8(std::bit_cast<double>(bits));
    case VT_DATE:
      return Variant::Date(std::bit_cast<double>(bits));
    case VT_CY:
      return Variant::Cy(Currency{static_cast<int64_t>(bits)});
    default:
      return IntegerFromBits(vt, bits);
  }
}

void PutLe(std::string* out, uint64_t bits, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) out->push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

void PutHeader(std::string* out, VARTYPE vt, uint32_t count) {
  PutLe(out, vt, 2);
  PutLe(out, count, 4);
}

HRESULT PutText(std::string* out, std::string_view utf8) {
  const std::string units = Utf16LeBytes(utf8);
  if (units.size() > std::numeric_limits<uint32_t>::max()) return E_INVALIDARG;
  PutLe(out, units.size(), 4);
  out->append(units);
  return S_OK;
}

// Appends the record of `value` (header and data). `depth` is the number of
// variant arrays the value sits in.
HRESULT PutRecord(std::string* out, const Variant& value, int depth) {
  const Variant& v = value.Deref();
  const VARTYPE vt = v.vt();
  if (vt == VT_EMPTY || vt == VT_NULL) {
    PutHeader(out, vt, 1);
    return S_OK;
  }
  if (const size_t size = FixedSize(vt); size > 0) {
    PutHeader(out, vt, 1);
    PutLe(out, FixedBits(v), size);
    return S_OK;
  }
  if (vt == VT_BSTR) {
    PutHeader(out, vt, 1);
    return PutText(out, v.text());
  }
  if (vt != (VT_ARRAY | (vt & VT_TYPEMASK))) return E_INVALIDARG;
  const Ref<SafeArray> array = v.arrayRef();
  if (!array) return E_INVALIDARG;
  const VARTYPE et = array->elementType();
  const size_t count = array->size();
  if (count > std::numeric_limits<uint32_t>::max()) return E_INVALIDARG;
  if (const size_t size = FixedSize(et); size > 0) {
    PutHeader(out, vt, static_cast<uint32_t>(count));
    for (size_t i = 0; i < count; ++i) PutLe(out, FixedBits(array->At(i)), size);
    return S_OK;
  }
  if (et == VT_BSTR) {
    PutHeader(out, vt, static_cast<uint32_t>(count));
    for (const std::string& text : array->texts()) RETURN_IF_FAILED(PutText(out, text));
    return S_OK;
  }
  if (et == VT_VARIANT) {
    if (depth >= kMaxBackupArrayNesting) return E_INVALIDARG;
    PutHeader(out, vt, static_cast<uint32_t>(count));
    for (const Variant& element : array->variants()) {
      RETURN_IF_FAILED(PutRecord(out, element, depth + 1));
    }
    return S_OK;
  }
  return E_INVALIDARG;
}

// Reads from a byte range; every read checks the bytes left first.
class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}

  size_t left() const { return in_.size() - pos_; }
  bool AtEnd() const { return pos_ == in_.size(); }

  bool Le(size_t bytes, uint64_t* bits) {
    if (left() < bytes) return false;
    uint64_t v = 0;
    for (size_t i = 0; i < bytes; ++i) {
      v |= uint64_t{static_cast<uint8_t>(in_[pos_ + i])} << (8 * i);
    }
    pos_ += bytes;
    *bits = v;
    return true;
  }
  bool U32(uint32_t* v) {
    uint64_t bits = 0;
    if (!Le(4, &bits)) return false;
    *v = static_cast<uint32_t>(bits);
    return true;
  }
  bool Take(size_t bytes, std::string_view* part) {
    if (left() < bytes) return false;
    *part = in_.substr(pos_, bytes);
    pos_ += bytes;
    return true;
  }

 private:
  std::string_view in_;
  size_t pos_ = 0;
};

bool TakeText(Reader& in, std::string* utf8) {
  uint32_t bytes = 0;
  std::string_view raw;
  if (!in.U32(&bytes) || bytes % 2 != 0 || !in.Take(bytes, &raw)) return false;
  std::u16string units(bytes / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<uint8_t>(raw[2 * i]) |
                                     (static_cast<uint8_t>(raw[2 * i + 1]) << 8));
  }
  *utf8 = Utf16ToUtf8(units);
  return true;
}

// Reads one record into *out; false for anything malformed.
bool TakeRecord(Reader& in, int depth, Variant* out) {
  uint64_t vtBits = 0;
  uint32_t count = 0;
  if (!in.Le(2, &vtBits) || !in.U32(&count)) return false;
  const auto vt = static_cast<VARTYPE>(vtBits);
  if (vt == VT_EMPTY) {
    *out = Variant::Empty();
    return true;
  }
  if (vt == VT_NULL) {
    *out = Variant::Null();
    return true;
  }
  if (const size_t size = FixedSize(vt); size > 0) {
    uint64_t bits = 0;
    if (!in.Le(size, &bits)) return false;
    *out = FixedFromBits(vt, bits);
    return true;
  }
  if (vt == VT_BSTR) {
    std::string text;
    if (!TakeText(in, &text)) return false;
    *out = Variant::Text(text);
    return true;
  }
  if (vt != (VT_ARRAY | (vt & VT_TYPEMASK))) return false;
  const VARTYPE et = vt & VT_TYPEMASK;
  // The smallest encoding of one element: a count beyond left() / that
  // cannot be real, and is refused before anything is allocated for it.
  size_t elementMin = FixedSize(et);
  if (et == VT_BSTR) elementMin = kTextLengthBytes;
  if (et == VT_VARIANT) {
    if (depth >= kMaxBackupArrayNesting) return false;
    elementMin = kRecordHeaderBytes;
  }
  if (elementMin == 0 || count > in.left() / elementMin) return false;
  Ref<SafeArray> array = SafeArray::Create1D(et, count);
  if (!array) return false;
  for (uint32_t i = 0; i < count; ++i) {
    Variant element;
    if (et == VT_BSTR) {
      std::string text;
      if (!TakeText(in, &text)) return false;
      element = Variant::Text(text);
    } else if (et == VT_VARIANT) {
      if (!TakeRecord(in, depth + 1, &element)) return false;
    } else {
      uint64_t bits = 0;
      if (!in.Le(elementMin, &bits)) return false;
      element = FixedFromBits(et, bits);
    }
    if (array->Put(i, element).failed()) return false;
  }
  *out = Variant::Array(std::move(array));
  return true;
}

}  // namespace

HRESULT EncodeBackupRow(const TableRow& row, std::string* bytes) {
  if (row.empty()) return E_INVALIDARG;
  std::string out;
  std::string record;
  for (const Variant& value : row) {
    record.clear();
    RETURN_IF_FAILED(PutRecord(&record, value, 0));
    if (record.size() > std::numeric_limits<uint32_t>::max()) return E_INVALIDARG;
    PutLe(&out, record.size(), 4);
    out.append(record);
  }
  *bytes = std::move(out);
  return S_OK;
}

HRESULT DecodeBackupRow(std::string_view bytes, TableRow* row) {
  if (bytes.empty()) return E_INVALIDARG;
  Reader in(bytes);
  TableRow values;
  while (!in.AtEnd()) {
    uint32_t length = 0;
    std::string_view part;
    if (!in.U32(&length) || !in.Take(length, &part)) return E_INVALIDARG;
    Reader record(part);
    Variant value;
    if (!TakeRecord(record, 0, &value) || !record.AtEnd()) return E_INVALIDARG;
    values.push_back(std::move(value));
  }
  *row = std::move(values);
  return S_OK;
}

}  // namespace tavrix
