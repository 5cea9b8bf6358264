// Intrusive reference counting.
//
// Ref<T> holds one counted reference to any class with AddRef() and Release()
// (the automation interfaces of unknown.h and the RefCounted payloads below).
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

namespace tavrix {

template <class T>
class Ref {
 public:
  constexpr Ref() noexcept = default;
  constexpr Ref(std::nullptr_t) noexcept {}  // NOLINT
  // Takes a new reference to p.
  explicit Ref(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  Ref(const Ref& o) noexcept : Ref(o.p_) {}
  Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  Ref(const Ref<U>& o) noexcept : Ref(static_cast<T*>(o.get())) {}  // NOLINT
  template <class U>
  Ref(Ref<U>&& o) noexcept : p_(static_cast<T*>(o.Detach())) {}  // NOLINT
  ~Ref() { reset(); }

  Ref& operator=(const Ref& o) noexcept {
    Ref(o).swap(*this);
    return *this;
  }
  Ref& operator=(Ref&& o) noexcept {
    Ref(std::move(o)).swap(*this);
    return *this;
  }

  // Takes over a reference the caller already owns (no AddRef).
  static Ref Adopt(T* p) noexcept {
    Ref r;
    r.p_ = p;
    return r;
  }
  // Gives up the reference without releasing it.
  T* Detach() noexcept { return std::exchange(p_, nullptr); }

  void reset() noexcept {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  void swap(Ref& o) noexcept { std::swap(p_, o.p_); }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  friend bool operator==(const Ref& a, const Ref& b) noexcept { return a.p_ == b.p_; }
  friend bool operator==(const Ref& a, std::nullptr_t) noexcept { return a.p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

// Makes a new object with a reference count of one held by the returned Ref.
template <class T, class... Args>
Ref<T> MakeRef(Args&&... args) {
  return Ref<T>(new T(std::forward<Args>(args)...));
}

// Base for internal shared payloads (texts, arrays). Counting starts at zero;
// the first Ref takes it to one.
class RefCounted {
 public:
  RefCounted() = default;
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;

  void AddRef() const noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
  void Release() const noexcept {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  // True while at most one reference exists: the holder may change the object.
  bool IsShared() const noexcept { return refs_.load(std::memory_order_acquire) > 1; }

 protected:
  virtual ~RefCounted() = default;

 private:
  mutable std::atomic<uint32_t> refs_{0};
};

}  // namespace tavrix
