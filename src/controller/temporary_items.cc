#include "controller/temporary_items.h"

namespace tavrix {

std::string_view TemporaryItems::WithoutStar(std::string_view name) {
  if (!name.empty() && name.front() == '*') name.remove_prefix(1);
  return name;
}

void TemporaryItems::Recreate(const std::vector<std::string>& names) {
  MutexLock lock(&lock_);
  entries_.clear();
  for (const std::string& name : names) {
    if (name.empty() || entries_.contains(name)) continue;
    entries_.emplace(name, Entry{--lastIndex_, Variant()});
  }
}

void TemporaryItems::ReleaseAll() {
  MutexLock lock(&lock_);
  entries_.clear();
}

bool TemporaryItems::Exists(std::string_view name) const {
  MutexLock lock(&lock_);
  return entries_.find(WithoutStar(name)) != entries_.end();
}

HRESULT TemporaryItems::GetValue(std::string_view name, Variant* out) const {
  if (out == nullptr) return E_POINTER;
  MutexLock lock(&lock_);
  auto it = entries_.find(name);
  if (it == entries_.end()) return E_INVALIDARG;
  *out = it->second.value;
  return S_OK;
}

HRESULT TemporaryItems::SetValue(std::string_view name, const Variant& value) {
  Variant plain = value.IsByRef() ? value.Deref() : value;
  MutexLock lock(&lock_);
  auto it = entries_.find(name);
  if (it == entries_.end()) return E_INVALIDARG;
  it->second.value = std::move(plain);
  return S_OK;
}

int32_t TemporaryItems::IndexOf(std::string_view name) const {
  MutexLock lock(&lock_);
  auto it = entries_.find(WithoutStar(name));
  return it == entries_.end() ? 0 : it->second.index;
}

size_t TemporaryItems::size() const {
  MutexLock lock(&lock_);
  return entries_.size();
}

}  // namespace tavrix
