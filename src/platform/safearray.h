// SafeArray: a typed array of one to many dimensions.
//
// Each dimension has a lower bound and an element count. Dimensions are listed
// leftmost first (the first index of a(i, j) is dimension 0) and storage is
// column-major: the leftmost index varies fastest. Fixed-size element types are
// stored packed (one byte per VT_UI1 element), texts as strings, VT_VARIANT,
// VT_DISPATCH and VT_UNKNOWN as variants.
//
// Arrays are shared between variants; change one only through
// Variant::MutableArray(), which copies a shared array first.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/ref.h"
#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix {

struct SafeArrayBound {
  int32_t lower = 0;
  uint32_t count = 0;
  friend bool operator==(const SafeArrayBound&, const SafeArrayBound&) = default;
};

class SafeArray final : public RefCounted {
 public:
  // Element types allowed: the fixed-size scalars (VT_I1..VT_UI8, VT_INT, VT_UINT,
  // VT_R4, VT_R8, VT_CY, VT_DATE, VT_BOOL, VT_ERROR, VT_DECIMAL), VT_BSTR,
  // VT_VARIANT, VT_DISPATCH and VT_UNKNOWN. Returns null for another type, for no
  // dimensions, or for a total count over 2^31 elements.
  static Ref<SafeArray> Create(VARTYPE elementType, std::span<const SafeArrayBound> bounds);
  // One dimension, lower bound `lower`.
  static Ref<SafeArray> Create1D(VARTYPE elementType, uint32_t count, int32_t lower = 0);

  VARTYPE elementType() const noexcept { return vt_; }
  uint32_t dims() const noexcept { return static_cast<uint32_t>(bounds_.size()); }
  const std::vector<SafeArrayBound>& bounds() const noexcept { return bounds_; }
  // Lower and upper bound of dimension `dim` (0-based, leftmost first).
  int32_t lbound(uint32_t dim) const noexcept { return bounds_[dim].lower; }
  int64_t ubound(uint32_t dim) const noexcept {
    return int64_t{bounds_[dim].lower} + bounds_[dim].count - 1;
  }
  // Total number of elements.
  size_t size() const noexcept { return count_; }
  // Bytes of one element for packed types, 0 otherwise.
  size_t elementSize() const noexcept { return elemSize_; }

  // Flat position of an element from one index per dimension (leftmost first);
  // DISP_E_BADINDEX when the count of indexes or any index is out of range.
  HRESULT FlatIndex(std::span<const int32_t> indexes, size_t* flat) const;

  // Element at a flat position as a variant of the element type (VT_VARIANT
  // arrays give the stored variant itself). DISP_E_BADINDEX when out of range.
  HRESULT Get(size_t flat, Variant* out) const;
  HRESULT Get(std::span<const int32_t> indexes, Variant* out) const;
  // Faster unchecked access; flat < size().
  Variant At(size_t flat) const;

  // Stores a value whose type is the element type (any value for VT_VARIANT,
  // VT_DISPATCH or VT_UNKNOWN for object arrays); DISP_E_TYPEMISMATCH otherwise,
  // DISP_E_BADINDEX when out of range.
  HRESULT Put(size_t flat, const Variant& value);
  HRESULT Put(std::span<const int32_t> indexes, const Variant& value);

  // Raw packed storage for fixed-size types (null otherwise).
  uint8_t* data() noexcept { return raw_.empty() ? nullptr : raw_.data(); }
  const uint8_t* data() const noexcept { return raw_.empty() ? nullptr : raw_.data(); }
  // Text and variant storage.
  const std::vector<std::string>& texts() const noexcept { return texts_; }
  const std::vector<Variant>& variants() const noexcept { return variants_; }

  // Changes the count of the last (rightmost) dimension, keeping the elements
  // that remain; new elements are empty/zero. E_INVALIDARG past 2^31 elements.
  HRESULT RedimLast(SafeArrayBound last);

  // A deep copy (the elements of a variant array are copied as variants, which
  // shares their own payloads).
  Ref<SafeArray> Clone() const;

  // Same element type, bounds and elements (Variant::Identical per element).
  bool Identical(const SafeArray& o) const;

 private:
  SafeArray() = default;
  enum class Storage { kRaw, kText, kVariant };

  VARTYPE vt_ = VT_EMPTY;
  Storage storage_ = Storage::kRaw;
  size_t elemSize_ = 0;
  size_t count_ = 0;
  std::vector<SafeArrayBound> bounds_;
  std::vector<uint8_t> raw_;
  std::vector<std::string> texts_;
  std::vector<Variant> variants_;
};

}  // namespace tavrix
