#include "platform/enumerator.h"

#include <algorithm>

namespace tavrix {

Ref<VariantEnumerator> VariantEnumerator::Create(std::vector<Variant> values) {
  return MakeRef<VariantEnumerator>(std::make_shared<const std::vector<Variant>>(std::move(values)),
                                    0);
}

VariantEnumerator::VariantEnumerator(std::shared_ptr<const std::vector<Variant>> values,
                                     size_t position)
    : values_(std::move(values)), position_(position) {}

HRESULT VariantEnumerator::Next(uint32_t count, Variant* out, uint32_t* fetched) {
  if (out == nullptr && count != 0) return E_POINTER;
  size_t first;
  size_t taken;
  {
    std::lock_guard lock(mutex_);
    first = position_;
    taken = std::min<size_t>(count, values_->size() - position_);
    position_ += taken;
  }
  // The snapshot never changes, so the copies need no lock.
  for (size_t i = 0; i < count; ++i) out[i] = i < taken ? (*values_)[first + i] : Variant();
  if (fetched != nullptr) *fetched = static_cast<uint32_t>(taken);
  return taken == count ? S_OK : S_FALSE;
}

HRESULT VariantEnumerator::Skip(uint32_t count) {
  std::lock_guard lock(mutex_);
  const size_t skipped = std::min<size_t>(count, values_->size() - position_);
  position_ += skipped;
  return skipped == count ? S_OK : S_FALSE;
}

HRESULT VariantEnumerator::Reset() {
  std::lock_guard lock(mutex_);
  position_ = 0;
  return S_OK;
}

HRESULT VariantEnumerator::Clone(Ref<IEnumVARIANT>* out) {
  if (out == nullptr) return E_POINTER;
  size_t position;
  {
    std::lock_guard lock(mutex_);
    position = position_;
  }
  *out = MakeRef<VariantEnumerator>(values_, position);
  return S_OK;
}

Variant NewEnumVariant(std::vector<Variant> values) {
  return Variant::Unknown(VariantEnumerator::Create(std::move(values)));
}

}  // namespace tavrix
