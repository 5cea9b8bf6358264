#include "item/block_codec.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/convert.h"
#include "platform/safearray.h"
#include "platform/text.h"

namespace tavrix {
namespace {

bool Fits(std::span<const uint8_t> block, int64_t offset, int64_t size) {
  return offset >= 0 && size >= 0 && offset <= static_cast<int64_t>(block.size()) &&
         size <= static_cast<int64_t>(block.size()) - offset;
}

// A scalar of `type` from `size` bytes in stored order.
Variant LoadScalar(VARTYPE type, const uint8_t* p, size_t size, bool hostOrder) {
  uint8_t bytes[8];
  std::memcpy(bytes, p, size);
  if (!hostOrder) std::reverse(bytes, bytes + size);
  Ref<SafeArray> one = SafeArray::Create1D(type, 1);
  std::memcpy(one->data(), bytes, size);
  return one->At(0);
}

void StoreScalar(const Variant& v, uint8_t* p, size_t size, bool hostOrder) {
  Ref<SafeArray> one = SafeArray::Create1D(v.vt(), 1);
  (void)one->Put(0, v);
  std::memcpy(p, one->data(), size);
  if (!hostOrder) std::reverse(p, p + size);
}

// The word size of a text piece's byte order code.
size_t WordSize(int32_t code) { return code == 0 ? 2 : code < 1 ? 1 : static_cast<size_t>(code); }

void ReverseGroups(uint8_t* p, size_t size, size_t word) {
  if (word <= 1) return;
  for (size_t g = 0; g + word <= size; g += word) std::reverse(p + g, p + g + word);
}

std::string LoadText(const uint8_t* p, size_t unit, int32_t code) {
  std::vector<uint8_t> bytes(p, p + unit);
  ReverseGroups(bytes.data(), unit, WordSize(code));
  const auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
  // Invalid 8-bit sequences become U+FFFD: texts inside Tavrix are UTF-8.
  return Utf16ToUtf8(Utf8ToUtf16(std::string(bytes.begin(), end)));
}

void StoreText(const std::string& text, uint8_t* p, size_t unit, int32_t code) {
  // Cut on a character boundary, so a unit never ends in half a character.
  size_t n = std::min(text.size(), unit);
  if (n < text.size()) {
    while (n > 0 && (static_cast<uint8_t>(text[n]) & 0xC0) == 0x80) --n;
  }
  std::memset(p, 0, unit);
  std::memcpy(p, text.data(), n);
  ReverseGroups(p, unit, WordSize(code));
}

}  // namespace

size_t PieceElementSize(VARTYPE type) {
  switch (type) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_R4: return 4;
    case VT_R8: case VT_CY: case VT_DATE: case VT_I8: case VT_UI8: return 8;
    default: return 0;
  }
}

int64_t DerivedBlockSize(VARTYPE type, int64_t unitSize, int64_t count) {
  if (type == VT_BSTR) return std::max<int64_t>(unitSize, 0);
  if (type == (VT_ARRAY | VT_BSTR)) {
    return unitSize > 0 && count > 0 && unitSize <= (int64_t{1} << 31) / count ? unitSize * count
                                                                               : 0;
  }
  const int64_t size = static_cast<int64_t>(PieceElementSize(type & ~VT_ARRAY));
  return size > 0 && count > 0 && count <= (int64_t{1} << 31) / size ? size * count : 0;
}

HRESULT DecodePiece(std::span<const uint8_t> block, const PieceLayout& piece, Variant* out) {
  const bool hostOrder = piece.byteOrder == 1;
  const VARTYPE type = piece.type;
  if (piece.bit) {
    const size_t size = PieceElementSize(type);
    if (size == 0) return E_INVALIDARG;
    if (!Fits(block, piece.offset, static_cast<int64_t>(size))) return E_ACCESSDENIED;
    if (piece.bitPosition < 0 || piece.bitPosition >= static_cast<int64_t>(8 * size)) {
      return E_ACCESSDENIED;
    }
    uint8_t bytes[8];
    std::memcpy(bytes, block.data() + piece.offset, size);
    if (!hostOrder) std::reverse(bytes, bytes + size);
    const uint8_t byte = bytes[piece.bitPosition / 8];
    *out = Variant::UI1((byte >> (piece.bitPosition % 8)) & 1);
    return S_OK;
  }
  if (type == VT_BSTR) {
    if (piece.unitSize <= 0) return E_INVALIDARG;
    if (!Fits(block, piece.offset, piece.unitSize)) return E_ACCESSDENIED;
    *out = Variant::Text(LoadText(block.data() + piece.offset, static_cast<size_t>(piece.unitSize),
                                  piece.byteOrder));
    return S_OK;
  }
  if (type == (VT_ARRAY | VT_BSTR)) {
    if (piece.unitSize <= 0) return E_INVALIDARG;
    if (piece.count < 0 || piece.count > (int64_t{1} << 31) / piece.unitSize ||
        !Fits(block, piece.offset, piece.count * piece.unitSize)) {
      return E_ACCESSDENIED;
    }
    Ref<SafeArray> a = SafeArray::Create1D(VT_BSTR, static_cast<uint32_t>(piece.count));
    for (int64_t i = 0; i < piece.count; ++i) {
      const uint8_t* p = block.data() + piece.offset + i * piece.unitSize;
      (void)a->Put(static_cast<size_t>(i),
                   Variant::Text(LoadText(p, static_cast<size_t>(piece.unitSize), piece.byteOrder)));
    }
    *out = Variant::Array(std::move(a));
    return S_OK;
  }
  if (type & VT_ARRAY) {
    const VARTYPE element = type & ~VT_ARRAY;
    const size_t size = PieceElementSize(element);
    if (size == 0) return E_INVALIDARG;
    if (piece.count < 0 || piece.count > (int64_t{1} << 31) / static_cast<int64_t>(size) ||
        !Fits(block, piece.offset, piece.count * static_cast<int64_t>(size))) {
      return E_ACCESSDENIED;
    }
    Ref<SafeArray> a = SafeArray::Create1D(element, static_cast<uint32_t>(piece.count));
    uint8_t* dst = a->data();
    for (int64_t i = 0; i < piece.count; ++i) {
      std::memcpy(dst + i * size, block.data() + piece.offset + i * size, size);
      if (!hostOrder) std::reverse(dst + i * size, dst + (i + 1) * size);
    }
    *out = Variant::Array(std::move(a));
    return S_OK;
  }
  const size_t size = PieceElementSize(type);
  if (size == 0) return E_INVALIDARG;
  if (!Fits(block, piece.offset, static_cast<int64_t>(size))) return E_ACCESSDENIED;
  *out = LoadScalar(type, block.data() + piece.offset, size, hostOrder);
  return S_OK;
}

HRESULT EncodePiece(const Variant& value, const PieceLayout& piece, std::span<uint8_t> block,
                    EncodeFault* fault) {
  *fault = EncodeFault::kNone;
  const VARTYPE target = piece.bit ? VARTYPE{VT_BOOL} : piece.type;
  Variant v;
  if (value.Deref().vt() == target) {
    v = value.Deref();
  } else if (HRESULT hr = ChangeType(value, target, &v); hr.failed()) {
    *fault = EncodeFault::kTypeMismatch;
    return hr;
  }
  const bool hostOrder = piece.byteOrder == 1;
  const std::span<const uint8_t> view(block.data(), block.size());
  if (v.IsArray() && static_cast<int64_t>(v.array().size()) != piece.count) {
    *fault = EncodeFault::kArrayLength;
    return E_INVALIDARG;
  }
  auto overflow = [&] {
    *fault = EncodeFault::kBufferOverflow;
    return E_ACCESSDENIED;
  };

  if (piece.bit) {
    const size_t size = PieceElementSize(piece.type);
    if (size == 0 || !Fits(view, piece.offset, static_cast<int64_t>(size)) ||
        piece.bitPosition < 0 || piece.bitPosition >= static_cast<int64_t>(8 * size)) {
      return overflow();
    }
    const int64_t byteIndex = hostOrder ? piece.offset + piece.bitPosition / 8
                                        : piece.offset + static_cast<int64_t>(size) - 1 -
                                              piece.bitPosition / 8;
    const uint8_t mask = static_cast<uint8_t>(1u << (piece.bitPosition % 8));
    if (v.isTrue()) {
      block[byteIndex] |= mask;
    } else {
      block[byteIndex] &= static_cast<uint8_t>(~mask);
    }
    return S_OK;
  }

  // Encode into a scratch vector first, so a refusal leaves the block as it was.
  std::vector<uint8_t> bytes;
  if (target == VT_BSTR || target == (VT_ARRAY | VT_BSTR)) {
    if (piece.unitSize <= 0) return overflow();
    const size_t unit = static_cast<size_t>(piece.unitSize);
    if (target == VT_BSTR) {
      bytes.resize(unit);
      StoreText(v.text(), bytes.data(), unit, piece.byteOrder);
    } else {
      const SafeArray& a = v.array();
      bytes.resize(unit * a.size());
      for (size_t i = 0; i < a.size(); ++i) {
        StoreText(a.texts()[i], bytes.data() + i * unit, unit, piece.byteOrder);
      }
    }
  } else {
    const VARTYPE element = target & ~VT_ARRAY;
    const size_t size = PieceElementSize(element);
    if (size == 0) return overflow();
    if (v.IsArray()) {
      const SafeArray& a = v.array();
      bytes.assign(a.data(), a.data() + a.size() * size);
      if (!hostOrder) {
        for (size_t i = 0; i < a.size(); ++i) {
          std::reverse(bytes.begin() + i * size, bytes.begin() + (i + 1) * size);
        }
      }
    } else {
      // A scalar is one element.
      bytes.resize(size);
      StoreScalar(v, bytes.data(), size, hostOrder);
    }
  }
  if (!Fits(view, piece.offset, static_cast<int64_t>(bytes.size()))) return overflow();
  std::copy(bytes.begin(), bytes.end(), block.begin() + piece.offset);
  return S_OK;
}

size_t FillBlock(const Variant& value, std::span<uint8_t> block) {
  const Variant& v = value.Deref();
  std::span<const uint8_t> source;
  std::vector<uint8_t> scalar;
  if (v.IsText()) {
    source = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(v.text().data()),
                                      v.text().size());
  } else if (v.IsArray()) {
    const SafeArray& a = v.array();
    // Texts and variants hold no device bytes: copying their storage would
    // send pointers to a device.
    if (a.data() != nullptr && a.elementType() != VT_DECIMAL) {
      source = std::span<const uint8_t>(a.data(), a.size() * a.elementSize());
    }
  } else if (const size_t size = PieceElementSize(v.vt()); size > 0) {
    scalar.resize(size);
    StoreScalar(v, scalar.data(), size, true);
    source = scalar;
  }
  const size_t n = std::min(source.size(), block.size());
  std::copy(source.begin(), source.begin() + n, block.begin());
  std::fill(block.begin() + n, block.end(), uint8_t{0});
  return n;
}

HRESULT BuildHolderValue(std::span<const uint8_t> block, VARTYPE type, int64_t unitSize,
                         int64_t count, Variant* out) {
  if (type == VT_EMPTY) {
    Ref<SafeArray> a = SafeArray::Create1D(VT_UI1, static_cast<uint32_t>(block.size()));
    if (!block.empty()) std::memcpy(a->data(), block.data(), block.size());
    *out = Variant::Array(std::move(a));
    return S_OK;
  }
  PieceLayout whole;
  whole.type = type;
  whole.count = count;
  whole.unitSize = unitSize;
  whole.byteOrder = 1;
  return DecodePiece(block, whole, out);
}

}  // namespace tavrix
