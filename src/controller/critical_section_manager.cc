#include "controller/critical_section_manager.h"

#include <cstdio>

#include "platform/log.h"
#include "platform/text.h"

namespace tavrix {

CriticalSectionManager::Holder& CriticalSectionManager::Holder::operator=(Holder&& o) noexcept {
  if (this != &o) {
    Unlock();
    manager_ = o.manager_;
    key_ = std::move(o.key_);
    o.manager_ = nullptr;
  }
  return *this;
}

void CriticalSectionManager::Holder::Unlock() {
  if (manager_ == nullptr) return;
  CriticalSectionManager* manager = manager_;
  manager_ = nullptr;
  manager->UnlockHolder(key_);
}

void CriticalSectionManager::Register(const Key& key, std::string_view label) {
  std::lock_guard guard(guard_);
  std::shared_ptr<Entry>& entry = entries_[key];
  if (!entry) {
    entry = std::make_shared<Entry>();
    entry->label = std::string(label);
  }
  ++entry->count;
}

CriticalSectionManager::Holder CriticalSectionManager::Lock(const Key& key) {
  std::shared_ptr<Entry> entry;
  {
    std::lock_guard guard(guard_);
    auto it = entries_.find(key);
    if (it == entries_.end()) return Holder();
    entry = it->second;
    ++entry->count;
  }
  // The count taken above keeps the entry registered while this thread waits.
  entry->lock.lock();
  return Holder(this, key);
}

void CriticalSectionManager::UnlockHolder(const Key& key) {
  std::shared_ptr<Entry> entry;
  {
    std::lock_guard guard(guard_);
    auto it = entries_.find(key);
    if (it == entries_.end()) return;
    entry = it->second;
  }
  entry->lock.unlock();
  Release(key, "Unlock CriticalSection");
}

void CriticalSectionManager::Unregister(const Key& key) { Release(key, "Unregister"); }

void CriticalSectionManager::Release(const Key& key, std::string_view reason) {
  std::shared_ptr<Entry> gone;
  {
    std::lock_guard guard(guard_);
    auto it = entries_.find(key);
    if (it == entries_.end()) return;
    if (--it->second->count > 0) return;
    gone = std::move(it->second);
    entries_.erase(it);
  }
  Log(0, "CriticalSectionManager : CriticalSection is final release by %s\n", reason);
  const std::string label = gone->label;
  gone.reset();  // deletes the lock
  Log(0, "CriticalSectionManager(%s) :[%ls] CriticalSection is Released.\n", kind_, label);
}

int32_t CriticalSectionManager::Count(const Key& key) const {
  std::lock_guard guard(guard_);
  auto it = entries_.find(key);
  return it == entries_.end() ? 0 : it->second->count;
}

CriticalSectionManager& CriticalSectionManager::ByName() {
  static CriticalSectionManager manager("string");
  return manager;
}

CriticalSectionManager& CriticalSectionManager::ByController() {
  static CriticalSectionManager manager("Controller");
  return manager;
}

CriticalSectionManager::Key CriticalSectionManager::ControllerKey(const IUnknown* zeltController) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%p", static_cast<const void*>(zeltController));
  return buf;
}

CriticalSectionManager::Key CriticalSectionManager::NameKey(std::string_view zeltControllerName) {
  return ToUpper(zeltControllerName);
}

}  // namespace tavrix
