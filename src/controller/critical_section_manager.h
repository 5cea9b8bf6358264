// CriticalSectionManager: a process-wide registry of reference-counted locks.
//
// Two registries exist: one keyed by Zelt controller name (upper-cased), which
// serialises everything done on one name (open, close, variable creation), and
// one keyed by Zelt controller, which serialises device access through one
// shared connection when variable synchronisation is on.
//
// An entry lives while it is registered or locked: Register and Lock count
// up, Unregister and Unlock count down, and the entry (with its lock) goes
// when the count reaches 0. Locking a key that is not registered gives no
// holder: the caller goes on without that lock.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/unknown.h"

namespace tavrix {

class CriticalSectionManager {
 public:
  // Keys are opaque: a registry keyed by name uses the upper-cased name, one
  // keyed by Zelt controller uses the controller's identity pointer. `kind`
  // names the registry in log lines ("string" or "Controller").
  using Key = std::string;

  explicit CriticalSectionManager(std::string kind) : kind_(std::move(kind)) {}
  CriticalSectionManager(const CriticalSectionManager&) = delete;
  CriticalSectionManager& operator=(const CriticalSectionManager&) = delete;

  // A held lock: leaves it (and counts the entry down) when destroyed, unless
  // Unlock was called. Empty when the key was not registered.
  class Holder {
   public:
    Holder() = default;
    Holder(Holder&& o) noexcept : manager_(o.manager_), key_(std::move(o.key_)) {
      o.manager_ = nullptr;
    }
    Holder& operator=(Holder&& o) noexcept;
    ~Holder() { Unlock(); }
    explicit operator bool() const { return manager_ != nullptr; }
    void Unlock();

   private:
    friend class CriticalSectionManager;
    Holder(CriticalSectionManager* manager, Key key) : manager_(manager), key_(std::move(key)) {}
    CriticalSectionManager* manager_ = nullptr;
    Key key_;
  };

  // `label` is the text the release line shows for the key (the name itself,
  // or the Zelt controller's name for the pointer registry).
  void Register(const Key& key, std::string_view label);
  // Counts the entry up and enters its lock (blocking); an empty holder when
  // the key is not registered. The entry's lock is recursive: one thread may
  // hold it more than once.
  Holder Lock(const Key& key);
  void Unregister(const Key& key);

  // The use count of a key (0 when absent), for tests and diagnostics.
  int32_t Count(const Key& key) const;

  // The two process-wide registries.
  static CriticalSectionManager& ByName();
  static CriticalSectionManager& ByController();
  // The key of a Zelt controller in ByController(): its identity pointer.
  static Key ControllerKey(const IUnknown* zeltController);
  // The key of a Zelt controller name in ByName(): the name upper-cased.
  static Key NameKey(std::string_view zeltControllerName);

 private:
  struct Entry {
    int32_t count = 0;
    std::string label;
    std::recursive_mutex lock;
  };

  void Release(const Key& key, std::string_view reason);
  void UnlockHolder(const Key& key);

  const std::string kind_;
  mutable std::mutex guard_;  // guards entries_ (never held while waiting on an entry's lock)
  std::map<Key, std::shared_ptr<Entry>> entries_;
};

}  // namespace tavrix
