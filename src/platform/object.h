// Object: the IUnknown half of every Tavrix automation object.
//
// A class lists the interfaces it implements once, as template arguments:
//
//   class Engine final : public Object<IEngine, IConnectionPointContainer> { ... };
//
// and gets AddRef/Release/QueryInterface for them. QueryInterface answers
// IID_IUnknown (always through the first interface, so every caller sees the
// same identity pointer), each listed interface under InterfaceId<I>::value,
// each AlsoAs<I, iid> entry, and IID_IDispatch when a listed interface derives
// from IDispatch. Any other id gives E_NOINTERFACE; a null out pointer gives
// E_POINTER.
//
// Counting is atomic: the objects are free-threaded and any thread may take or
// drop a reference. The count starts at zero and the object deletes itself when
// the last reference goes, so objects are made with MakeRef (ref.h), whose Ref
// takes the first reference. Never delete one directly or put one on the stack.
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>

#include "platform/unknown.h"

namespace tavrix {

// The interface id of I: the static member I::kIid; specialised for the
// interfaces of unknown.h, which have none.
template <class I>
struct InterfaceId {
  static constexpr const IID& value = I::kIid;
};
template <>
struct InterfaceId<IUnknown> {
  static constexpr const IID& value = IID_IUnknown;
};
template <>
struct InterfaceId<IDispatch> {
  static constexpr const IID& value = IID_IDispatch;
};

// An entry of an Object's list that answers `kIid` with interface I, where I is
// one of the listed interfaces or a base of one. A sink for an event interface
// implemented through IDispatch lists AlsoAs<IDispatch, kEventsIid>.
template <class I, const IID& kIid>
struct AlsoAs {};

namespace object_detail {

template <class E>
struct Entry {
  using Interface = E;
  using Base = E;
  static constexpr bool kAlias = false;
  static constexpr const IID& iid() { return InterfaceId<E>::value; }
};
template <class I, const IID& kIid>
struct Entry<AlsoAs<I, kIid>> {
  using Interface = I;
  struct Base {};  // an alias adds no interface; one distinct empty base per alias
  static constexpr bool kAlias = true;
  static constexpr const IID& iid() { return kIid; }
};

template <class... E>
struct FirstInterface;
template <class E, class... Rest>
struct FirstInterface<E, Rest...> {
  using type = std::conditional_t<Entry<E>::kAlias, typename FirstInterface<Rest...>::type, E>;
};
template <>
struct FirstInterface<> {
  using type = void;
};

template <class... E>
struct FirstDispatch;
template <class E, class... Rest>
struct FirstDispatch<E, Rest...> {
  using type = std::conditional_t<!Entry<E>::kAlias && std::is_base_of_v<IDispatch, E>, E,
                                  typename FirstDispatch<Rest...>::type>;
};
template <>
struct FirstDispatch<> {
  using type = void;
};

}  // namespace object_detail

template <class... Entries>
class Object : public object_detail::Entry<Entries>::Base... {
  using First = typename object_detail::FirstInterface<Entries...>::type;
  using FirstDispatch = typename object_detail::FirstDispatch<Entries...>::type;
  static_assert(!std::is_void_v<First>, "an object implements at least one interface");

 public:
  Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  HRESULT QueryInterface(const IID& iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    void* found = nullptr;
    if (iid == IID_IUnknown) {
      found = Pointer<IUnknown>();
    } else {
      (TryEntry<Entries>(iid, &found) || ...);
      if constexpr (!std::is_void_v<FirstDispatch>) {
        if (found == nullptr && iid == IID_IDispatch) found = Pointer<IDispatch>();
      }
    }
    *out = found;
    if (found == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }

  uint32_t AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

  uint32_t Release() override {
    const uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~Object() = default;

 private:
  // IUnknown and IDispatch are bases of several interfaces at once; they are
  // always reached through the first interface that has them.
  template <class I>
  void* Pointer() {
    if constexpr (std::is_same_v<I, IUnknown>) {
      return static_cast<IUnknown*>(static_cast<First*>(this));
    } else if constexpr (std::is_same_v<I, IDispatch>) {
      static_assert(!std::is_void_v<FirstDispatch>, "no listed interface derives from IDispatch");
      return static_cast<IDispatch*>(static_cast<FirstDispatch*>(this));
    } else {
      return static_cast<I*>(this);
    }
  }

  template <class E>
  bool TryEntry(const IID& iid, void** found) {
    if (!(iid == object_detail::Entry<E>::iid())) return false;
    *found = Pointer<typename object_detail::Entry<E>::Interface>();
    return true;
  }

  std::atomic<uint32_t> refs_{0};
};

}  // namespace tavrix
