#include "controller/temporary_items.h"

#include <utility>

namespace tavrix {

std::string_view TemporaryItems::WithoutStar(std::string_view name) {
  if (!name.empty() && name.front() == '*') name.remove_prefix(1);
  return name;
}

void TemporaryItems::Configure(std::string controllerName, bool enabled) {
  MutexLock lock(&lock_);
  controllerName_ = std::move(controllerName);
  enabled_ = enabled;
}

Ref<CTavrixTemporaryItem> TemporaryItems::AddLocked(std::string_view name) {
  const int32_t index = lastIndex_.fetch_sub(1, std::memory_order_relaxed) - 1;
  auto item = MakeRef<CTavrixTemporaryItem>(controllerName_, name, index);
  byName_.emplace(std::string(name), item);
  byIndex_.emplace(index, item);
  return item;
}

void TemporaryItems::Recreate(const std::vector<std::string>& names) {
  // The old maps are declared before the lock, so they go after it is let
  // go: a value's last reference may be an object's.
  NameMap oldByName;
  IndexMap oldByIndex;
  MutexLock lock(&lock_);
  oldByName.swap(byName_);
  oldByIndex.swap(byIndex_);
  for (const std::string& name : names) {
    if (name.empty() || byName_.contains(name)) continue;
    (void)AddLocked(name);
  }
}

void TemporaryItems::ReleaseAll() {
  NameMap oldByName;
  IndexMap oldByIndex;
  MutexLock lock(&lock_);
  oldByName.swap(byName_);
  oldByIndex.swap(byIndex_);
}

bool TemporaryItems::Exists(std::string_view name) const {
  MutexLock lock(&lock_);
  return byName_.contains(WithoutStar(name));
}

Ref<CTavrixTemporaryItem> TemporaryItems::FindForValue(std::string_view name) const {
  MutexLock lock(&lock_);
  // Only a name Exists() knows; then the name exactly as declared, so "*a"
  // never reaches the value of a.
  if (!byName_.contains(WithoutStar(name))) return {};
  auto it = byName_.find(name);
  return it == byName_.end() ? Ref<CTavrixTemporaryItem>() : it->second;
}

HRESULT TemporaryItems::GetValue(std::string_view name, Variant* out) const {
  if (out == nullptr) return E_POINTER;
  const Ref<CTavrixTemporaryItem> item = FindForValue(name);
  if (!item) return E_INVALIDARG;
  return item->get_Value(out);
}

HRESULT TemporaryItems::SetValue(std::string_view name, const Variant& value) {
  const Ref<CTavrixTemporaryItem> item = FindForValue(name);
  if (!item) return E_INVALIDARG;
  item->StoreValue(value.Deref());
  return S_OK;
}

int32_t TemporaryItems::IndexOf(std::string_view name) const {
  MutexLock lock(&lock_);
  auto it = byName_.find(WithoutStar(name));
  return it == byName_.end() ? 0 : it->second->index();
}

size_t TemporaryItems::size() const {
  MutexLock lock(&lock_);
  return byName_.size();
}

HRESULT TemporaryItems::GetTemporaryItem(std::string_view name, bool create,
                                         Ref<CTavrixTemporaryItem>* out) {
  if (out == nullptr) return E_POINTER;
  out->reset();
  MutexLock lock(&lock_);
  if (!enabled_) return E_NOTIMPL;
  if (auto it = byName_.find(name); it != byName_.end()) {
    *out = it->second;
    return S_OK;
  }
  if (!create || name.empty()) return E_INVALIDARG;
  *out = AddLocked(name);
  return S_OK;
}

HRESULT TemporaryItems::ItemByIndex(int32_t index, Ref<CTavrixTemporaryItem>* out) const {
  if (out == nullptr) return E_POINTER;
  out->reset();
  MutexLock lock(&lock_);
  auto it = byIndex_.find(index);
  if (it == byIndex_.end()) return E_INVALIDARG;
  *out = it->second;
  return S_OK;
}

}  // namespace tavrix
