// Enumerators: IEnumVARIANT, what `For Each` walks over a collection.
//
// A collection's `_NewEnum` member (DISPID_NEWENUM) returns a VT_UNKNOWN variant
// holding an IEnumVARIANT; the caller pulls values with Next until it gives
// S_FALSE.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/object.h"
#include "platform/unknown.h"
#include "platform/variant.h"

namespace tavrix {

class IEnumVARIANT : public IUnknown {
 public:
  static constexpr const IID& kIid = IID_IEnumVARIANT;

  // Copies up to `count` next values into out[0..count) and moves past them;
  // the number copied goes to *fetched (fetched may be null). S_OK when all
  // `count` were copied, S_FALSE when fewer were left (the slots past them are
  // set to Empty). E_POINTER when out is null and count is not zero.
  virtual HRESULT Next(uint32_t count, Variant* out, uint32_t* fetched) = 0;
  // Moves past `count` values: S_OK, or S_FALSE when fewer were left (the
  // position is then at the end).
  virtual HRESULT Skip(uint32_t count) = 0;
  // Back to the first value. S_OK.
  virtual HRESULT Reset() = 0;
  // A new enumerator over the same values at the same position, moving on its
  // own. S_OK, or E_POINTER when out is null.
  virtual HRESULT Clone(Ref<IEnumVARIANT>* out) = 0;

 protected:
  ~IEnumVARIANT() = default;
};

// IEnumVARIANT over a snapshot: the values are copied when the enumerator is
// made, so later changes of the collection do not show in it. Clones share the
// snapshot (it never changes) but not the position. Safe to call from several
// threads at once.
class VariantEnumerator final : public Object<IEnumVARIANT> {
 public:
  static Ref<VariantEnumerator> Create(std::vector<Variant> values);

  HRESULT Next(uint32_t count, Variant* out, uint32_t* fetched) override;
  HRESULT Skip(uint32_t count) override;
  HRESULT Reset() override;
  HRESULT Clone(Ref<IEnumVARIANT>* out) override;

  // Use Create; public only for MakeRef.
  VariantEnumerator(std::shared_ptr<const std::vector<Variant>> values, size_t position);

 private:
  const std::shared_ptr<const std::vector<Variant>> values_;
  std::mutex mutex_;  // guards position_
  size_t position_ = 0;
};

// The VT_UNKNOWN variant a `_NewEnum` getter returns: an enumerator over a
// snapshot of `values`.
Variant NewEnumVariant(std::vector<Variant> values);

}  // namespace tavrix
