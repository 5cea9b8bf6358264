#include "platform/safearray.h"

#include <cstring>
#include <limits>

namespace tavrix {
namespace {

constexpr size_t kMaxElements = size_t{1} << 31;

bool IsPackedType(VARTYPE vt) { return VarTypeSize(vt) != 0; }

// Reads one packed element of type vt from p into a variant.
Variant LoadPacked(VARTYPE vt, const uint8_t* p) {
  switch (vt) {
    case VT_I1: { int8_t v; std::memcpy(&v, p, 1); return Variant::I1(v); }
    case VT_UI1: return Variant::UI1(*p);
    case VT_I2: { int16_t v; std::memcpy(&v, p, 2); return Variant::I2(v); }
    case VT_UI2: { uint16_t v; std::memcpy(&v, p, 2); return Variant::UI2(v); }
    case VT_BOOL: { int16_t v; std::memcpy(&v, p, 2); return Variant::BoolRaw(v); }
    case VT_I4: { int32_t v; std::memcpy(&v, p, 4); return Variant::I4(v); }
    case VT_INT: { int32_t v; std::memcpy(&v, p, 4); return Variant::Int(v); }
    case VT_ERROR: { int32_t v; std::memcpy(&v, p, 4); return Variant::Error(v); }
    case VT_UI4: { uint32_t v; std::memcpy(&v, p, 4); return Variant::UI4(v); }
    case VT_UINT: { uint32_t v; std::memcpy(&v, p, 4); return Variant::UInt(v); }
    case VT_R4: { float v; std::memcpy(&v, p, 4); return Variant::R4(v); }
    case VT_I8: { int64_t v; std::memcpy(&v, p, 8); return Variant::I8(v); }
    case VT_UI8: { uint64_t v; std::memcpy(&v, p, 8); return Variant::UI8(v); }
    case VT_R8: { double v; std::memcpy(&v, p, 8); return Variant::R8(v); }
    case VT_DATE: { double v; std::memcpy(&v, p, 8); return Variant::Date(v); }
    case VT_CY: { int64_t v; std::memcpy(&v, p, 8); return Variant::Cy(Currency{v}); }
    case VT_DECIMAL: { Decimal d; std::memcpy(&d, p, sizeof d); return Variant::Dec(d); }
    default: return Variant();
  }
}

void StorePacked(const Variant& v, uint8_t* p) {
  switch (v.vt()) {
    case VT_I1: { int8_t x = v.i1(); std::memcpy(p, &x, 1); break; }
    case VT_UI1: *p = v.ui1(); break;
    case VT_I2: case VT_BOOL: { int16_t x = v.i2(); std::memcpy(p, &x, 2); break; }
    case VT_UI2: { uint16_t x = v.ui2(); std::memcpy(p, &x, 2); break; }
    case VT_I4: case VT_INT: case VT_ERROR: { int32_t x = v.i4(); std::memcpy(p, &x, 4); break; }
    case VT_UI4: case VT_UINT: { uint32_t x = v.ui4(); std::memcpy(p, &x, 4); break; }
    case VT_R4: { float x = v.r4(); std::memcpy(p, &x, 4); break; }
    case VT_I8: case VT_CY: { int64_t x = v.i8(); std::memcpy(p, &x, 8); break; }
    case VT_UI8: { uint64_t x = v.ui8(); std::memcpy(p, &x, 8); break; }
    case VT_R8: case VT_DATE: { double x = v.r8(); std::memcpy(p, &x, 8); break; }
    case VT_DECIMAL: { Decimal d = v.dec(); std::memcpy(p, &d, sizeof d); break; }
    default: break;
  }
}

}  // namespace

Ref<SafeArray> SafeArray::Create(VARTYPE elementType, std::span<const SafeArrayBound> bounds) {
  if (bounds.empty()) return {};
  Storage storage;
  if (IsPackedType(elementType)) {
    storage = Storage::kRaw;
  } else if (elementType == VT_BSTR) {
    storage = Storage::kText;
  } else if (elementType == VT_VARIANT || elementType == VT_DISPATCH ||
             elementType == VT_UNKNOWN) {
    storage = Storage::kVariant;
  } else {
    return {};
  }
  size_t count = 1;
  for (const SafeArrayBound& b : bounds) {
    if (b.count != 0 && count > kMaxElements / b.count) return {};
    count *= b.count;
    if (int64_t{b.lower} + b.count - 1 > std::numeric_limits<int32_t>::max() && b.count != 0) {
      return {};
    }
  }
  if (count > kMaxElements) return {};
  Ref<SafeArray> a(new SafeArray());
  a->vt_ = elementType;
  a->storage_ = storage;
  a->elemSize_ = VarTypeSize(elementType);
  a->count_ = count;
  a->bounds_.assign(bounds.begin(), bounds.end());
  switch (storage) {
    case Storage::kRaw: a->raw_.assign(count * a->elemSize_, 0); break;
    case Storage::kText: a->texts_.resize(count); break;
    case Storage::kVariant: a->variants_.resize(count); break;
  }
  return a;
}

Ref<SafeArray> SafeArray::Create1D(VARTYPE elementType, uint32_t count, int32_t lower) {
  const SafeArrayBound b{lower, count};
  return Create(elementType, std::span<const SafeArrayBound>(&b, 1));
}

HRESULT SafeArray::FlatIndex(std::span<const int32_t> indexes, size_t* flat) const {
  if (indexes.size() != bounds_.size()) return DISP_E_BADINDEX;
  size_t pos = 0;
  size_t stride = 1;
  for (size_t d = 0; d < bounds_.size(); ++d) {
    const int64_t off = int64_t{indexes[d]} - bounds_[d].lower;
    if (off < 0 || off >= int64_t{bounds_[d].count}) return DISP_E_BADINDEX;
    pos += static_cast<size_t>(off) * stride;
    stride *= bounds_[d].count;
  }
  *flat = pos;
  return S_OK;
}

Variant SafeArray::At(size_t flat) const {
  switch (storage_) {
    case Storage::kRaw: return LoadPacked(vt_, raw_.data() + flat * elemSize_);
    case Storage::kText: return Variant::Text(texts_[flat]);
    case Storage::kVariant: return variants_[flat];
  }
  return Variant();
}

HRESULT SafeArray::Get(size_t flat, Variant* out) const {
  if (out == nullptr) return E_POINTER;
  if (flat >= count_) return DISP_E_BADINDEX;
  *out = At(flat);
  return S_OK;
}

HRESULT SafeArray::Get(std::span<const int32_t> indexes, Variant* out) const {
  size_t flat = 0;
  RETURN_IF_FAILED(FlatIndex(indexes, &flat));
  return Get(flat, out);
}

HRESULT SafeArray::Put(size_t flat, const Variant& value) {
  if (flat >= count_) return DISP_E_BADINDEX;
  switch (storage_) {
    case Storage::kRaw:
      if (value.vt() != vt_) return DISP_E_TYPEMISMATCH;
      StorePacked(value, raw_.data() + flat * elemSize_);
      return S_OK;
    case Storage::kText:
      if (value.vt() != VT_BSTR) return DISP_E_TYPEMISMATCH;
      texts_[flat] = value.text();
      return S_OK;
    case Storage::kVariant:
      if (vt_ == VT_DISPATCH && value.vt() != VT_DISPATCH && !value.IsEmpty()) {
        return DISP_E_TYPEMISMATCH;
      }
      if (vt_ == VT_UNKNOWN && !value.IsObject() && !value.IsEmpty()) return DISP_E_TYPEMISMATCH;
      variants_[flat] = value;
      return S_OK;
  }
  return E_FAIL;
}

HRESULT SafeArray::Put(std::span<const int32_t> indexes, const Variant& value) {
  size_t flat = 0;
  RETURN_IF_FAILED(FlatIndex(indexes, &flat));
  return Put(flat, value);
}

HRESULT SafeArray::RedimLast(SafeArrayBound last) {
  size_t inner = 1;
  for (size_t d = 0; d + 1 < bounds_.size(); ++d) inner *= bounds_[d].count;
  if (last.count != 0 && inner > kMaxElements / last.count) return E_INVALIDARG;
  const size_t count = inner * last.count;
  // Column-major storage: the last dimension is the slowest, so keeping the
  // elements that remain is a resize of the flat storage.
  switch (storage_) {
    case Storage::kRaw: raw_.resize(count * elemSize_, 0); break;
    case Storage::kText: texts_.resize(count); break;
    case Storage::kVariant: variants_.resize(count); break;
  }
  bounds_.back() = last;
  count_ = count;
  return S_OK;
}

Ref<SafeArray> SafeArray::Clone() const {
  Ref<SafeArray> a(new SafeArray());
  a->vt_ = vt_;
  a->storage_ = storage_;
  a->elemSize_ = elemSize_;
  a->count_ = count_;
  a->bounds_ = bounds_;
  a->raw_ = raw_;
  a->texts_ = texts_;
  a->variants_ = variants_;
  return a;
}

bool SafeArray::Identical(const SafeArray& o) const {
  if (vt_ != o.vt_ || bounds_ != o.bounds_) return false;
  switch (storage_) {
    case Storage::kRaw: return raw_ == o.raw_;
    case Storage::kText: return texts_ == o.texts_;
    case Storage::kVariant:
      for (size_t i = 0; i < count_; ++i) {
        if (!variants_[i].Identical(o.variants_[i])) return false;
      }
      return true;
  }
  return false;
}

}  // namespace tavrix
