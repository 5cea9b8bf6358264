// Dispatch: IDispatch for a class from one declarative table of its members.
//
// Late-bound callers (the script engine, the RPC bridge, plug-in callbacks) see
// an object only through GetIDsOfNames and Invoke, so the table is the single
// place a class states its automation surface: name, dispatch id, kind, and the
// typed C++ member function behind it. Parameter kinds come from the function's
// signature:
//
//   int16_t, int32_t, uint32_t, double   VT_I2, VT_I4, VT_UI4, VT_R8
//   bool                                 VT_BOOL (VARIANT_BOOL)
//   std::string / const std::string&     VT_BSTR
//   Variant / const Variant&             any value, passed as it is
//   Ref<IDispatch>, Ref<IUnknown>        an object (or null)
//   Variant* (not last)                  in-out: the caller's variable when the
//                                        argument is VT_BYREF|VT_VARIANT
//   T* as the last parameter             the result (any of the types above)
//
// Example:
//
//   class Engine final : public DispatchObject<Engine, IEngine> {
//    public:
//     static const DispatchTable<IEngine>& DispatchMembers() {
//       using D = DispatchTable<IEngine>;
//       static const D table("Engine", {
//           D::Get("Count", 1, &IEngine::get_Count),
//           D::Method("Execute", 2, &IEngine::Execute).Optional(1),
//           D::Property("Tag", 3, &IEngine::get_Tag, &IEngine::put_Tag),
//       });
//       return table;
//     }
//   };
//
// Invoke rules:
//  - args are in call order; for a property put the value is the last argument.
//  - DISPATCH_METHOD reaches methods, DISPATCH_PROPERTYGET property gets, both
//    together reach either (how scripts evaluate `x = o.Foo`); DISPATCH_PROPERTYPUT
//    and DISPATCH_PROPERTYPUTREF reach property puts (an object value is put the
//    same way as any other). Any other pairing, or an unknown id, gives
//    DISP_E_MEMBERNOTFOUND.
//  - A VT_BYREF|VT_VARIANT argument is followed once for input.
//  - Each argument converts to its parameter's type with ChangeType under the
//    caller's locale. A conversion failure gives DISP_E_TYPEMISMATCH, except an
//    overflow, which stays DISP_E_OVERFLOW so the caller can say which it was.
//  - More arguments than parameters, or fewer than the required ones, give
//    DISP_E_BADPARAMCOUNT. A Variant::Missing() argument counts as absent: for a
//    required parameter it gives DISP_E_PARAMNOTOPTIONAL, for an optional one the
//    member gets the declared default (Variant::Missing() itself for Variant
//    parameters unless another default is declared).
//  - The member's HRESULT is returned as it is. On success *result (when not
//    null) receives the member's result, or Empty when it has none; on failure
//    *result is left unchanged.
//  - An exception thrown by a member never leaves Invoke: it becomes
//    DISP_E_EXCEPTION with *excep (when not null) holding scode E_FAIL, the
//    table's source name and the exception's text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/object.h"
#include "platform/text.h"
#include "platform/unknown.h"
#include "platform/variant.h"

namespace tavrix {

enum class DispatchParam : uint8_t {
  kI2,
  kI4,
  kUI4,
  kR8,
  kBool,
  kText,
  kVariant,
  kDispatch,
  kUnknown,
  kVariantRef,  // Variant*: in-out
};

enum class DispatchKind : uint8_t {
  kMethod,
  kGet,
  kPut,
  kGetPut,  // a property with both a get and a put
};

// The largest number of parameters a member function may have, result included.
inline constexpr size_t kMaxDispatchParams = 16;

// The converted arguments of one call, handed to the typed member function.
struct DispatchFrame {
  std::array<Variant, kMaxDispatchParams> values;   // converted inputs
  std::array<Variant*, kMaxDispatchParams> refs{};  // targets of in-out parameters
  Variant out;                                      // the member's result
};

// One C++ function behind a member: a method, a property get or a property put.
struct DispatchCall {
  std::vector<DispatchParam> params;  // inputs in call order; a put's value is last
  bool hasResult = false;
  DispatchParam result = DispatchParam::kVariant;
  // Calls the member on `self` (the table's class) with the frame's arguments.
  std::function<HRESULT(void* self, DispatchFrame& frame)> thunk;

  explicit operator bool() const noexcept { return static_cast<bool>(thunk); }
};

namespace dispatch_detail {

template <class P>
struct In;  // an input parameter type: its kind and how it is read from a frame
template <>
struct In<int16_t> {
  static constexpr DispatchParam kKind = DispatchParam::kI2;
  static int16_t Get(DispatchFrame& f, size_t i) { return f.values[i].i2(); }
};
template <>
struct In<int32_t> {
  static constexpr DispatchParam kKind = DispatchParam::kI4;
  static int32_t Get(DispatchFrame& f, size_t i) { return f.values[i].i4(); }
};
template <>
struct In<uint32_t> {
  static constexpr DispatchParam kKind = DispatchParam::kUI4;
  static uint32_t Get(DispatchFrame& f, size_t i) { return f.values[i].ui4(); }
};
template <>
struct In<double> {
  static constexpr DispatchParam kKind = DispatchParam::kR8;
  static double Get(DispatchFrame& f, size_t i) { return f.values[i].r8(); }
};
template <>
struct In<bool> {
  static constexpr DispatchParam kKind = DispatchParam::kBool;
  static bool Get(DispatchFrame& f, size_t i) { return f.values[i].isTrue(); }
};
template <>
struct In<std::string> {
  static constexpr DispatchParam kKind = DispatchParam::kText;
  static const std::string& Get(DispatchFrame& f, size_t i) { return f.values[i].text(); }
};
template <>
struct In<std::string_view> : In<std::string> {};
template <>
struct In<Variant> {
  static constexpr DispatchParam kKind = DispatchParam::kVariant;
  static const Variant& Get(DispatchFrame& f, size_t i) { return f.values[i]; }
};
template <>
struct In<Ref<IDispatch>> {
  static constexpr DispatchParam kKind = DispatchParam::kDispatch;
  static Ref<IDispatch> Get(DispatchFrame& f, size_t i) {
    return Ref<IDispatch>(f.values[i].dispatch());
  }
};
template <>
struct In<Ref<IUnknown>> {
  static constexpr DispatchParam kKind = DispatchParam::kUnknown;
  static Ref<IUnknown> Get(DispatchFrame& f, size_t i) {
    return Ref<IUnknown>(f.values[i].unknown());
  }
};
template <>
struct In<Variant*> {
  static constexpr DispatchParam kKind = DispatchParam::kVariantRef;
  static Variant* Get(DispatchFrame& f, size_t i) { return f.refs[i]; }
};

// Plain values are read by value or const reference; only Variant* is a pointer input.
template <class P>
using InOf = In<std::conditional_t<std::is_pointer_v<P>, P, std::remove_cvref_t<P>>>;

template <class R>
struct Out;  // a result type: its kind and how it becomes a variant
template <>
struct Out<int16_t> {
  static constexpr DispatchParam kKind = DispatchParam::kI2;
  static Variant Wrap(int16_t v) { return Variant::I2(v); }
};
template <>
struct Out<int32_t> {
  static constexpr DispatchParam kKind = DispatchParam::kI4;
  static Variant Wrap(int32_t v) { return Variant::I4(v); }
};
template <>
struct Out<uint32_t> {
  static constexpr DispatchParam kKind = DispatchParam::kUI4;
  static Variant Wrap(uint32_t v) { return Variant::UI4(v); }
};
template <>
struct Out<double> {
  static constexpr DispatchParam kKind = DispatchParam::kR8;
  static Variant Wrap(double v) { return Variant::R8(v); }
};
template <>
struct Out<bool> {
  static constexpr DispatchParam kKind = DispatchParam::kBool;
  static Variant Wrap(bool v) { return Variant::Bool(v); }
};
template <>
struct Out<std::string> {
  static constexpr DispatchParam kKind = DispatchParam::kText;
  static Variant Wrap(std::string&& v) { return Variant::Text(v); }
};
template <>
struct Out<Variant> {
  static constexpr DispatchParam kKind = DispatchParam::kVariant;
  static Variant Wrap(Variant&& v) { return std::move(v); }
};
template <>
struct Out<Ref<IDispatch>> {
  static constexpr DispatchParam kKind = DispatchParam::kDispatch;
  static Variant Wrap(Ref<IDispatch>&& v) { return Variant::Dispatch(std::move(v)); }
};
template <>
struct Out<Ref<IUnknown>> {
  static constexpr DispatchParam kKind = DispatchParam::kUnknown;
  static Variant Wrap(Ref<IUnknown>&& v) { return Variant::Unknown(std::move(v)); }
};

// The class and parameter list of a member function pointer.
template <class F>
struct MemberFn;
template <class B, class... P>
struct MemberFn<HRESULT (B::*)(P...)> {
  using Class = B;
  using Params = std::tuple<P...>;
};
template <class B, class... P>
struct MemberFn<HRESULT (B::*)(P...) const> : MemberFn<HRESULT (B::*)(P...)> {};
template <class B, class... P>
struct MemberFn<HRESULT (B::*)(P...) noexcept> : MemberFn<HRESULT (B::*)(P...)> {};
template <class B, class... P>
struct MemberFn<HRESULT (B::*)(P...) const noexcept> : MemberFn<HRESULT (B::*)(P...)> {};

// True when the last parameter is a pointer (the member's result). A separate
// function so that a member without parameters never names element n - 1.
template <class Params>
constexpr bool LastParamIsPointer() {
  constexpr size_t n = std::tuple_size_v<Params>;
  if constexpr (n == 0) {
    return false;
  } else {
    return std::is_pointer_v<std::tuple_element_t<n - 1, Params>>;
  }
}

template <class T, class F, class Params, size_t... I>
DispatchCall MakeCall(F fn, std::index_sequence<I...>) {
  static_assert(std::is_base_of_v<typename MemberFn<F>::Class, T>,
                "the member belongs to the table's class or one of its bases");
  constexpr size_t n = std::tuple_size_v<Params>;
  static_assert(n <= kMaxDispatchParams, "too many parameters");
  DispatchCall call;
  if constexpr (LastParamIsPointer<Params>()) {
    // The last pointer is the result; I... runs over the inputs before it.
    using R = std::remove_pointer_t<std::tuple_element_t<n - 1, Params>>;
    call.params = {InOf<std::tuple_element_t<I, Params>>::kKind...};
    call.hasResult = true;
    call.result = Out<R>::kKind;
    call.thunk = [fn](void* self, DispatchFrame& f) -> HRESULT {
      R out{};
      const HRESULT hr =
          (static_cast<T*>(self)->*fn)(InOf<std::tuple_element_t<I, Params>>::Get(f, I)..., &out);
      if (hr.succeeded()) f.out = Out<R>::Wrap(std::move(out));
      return hr;
    };
  } else {
    call.params = {InOf<std::tuple_element_t<I, Params>>::kKind...};
    call.thunk = [fn](void* self, DispatchFrame& f) -> HRESULT {
      (void)f;  // unused for a member without parameters
      return (static_cast<T*>(self)->*fn)(InOf<std::tuple_element_t<I, Params>>::Get(f, I)...);
    };
  }
  return call;
}

template <class F>
constexpr size_t kParamCount = std::tuple_size_v<typename MemberFn<F>::Params>;

template <class F>
constexpr bool HasResult() {
  return LastParamIsPointer<typename MemberFn<F>::Params>();
}

template <class T, class F>
DispatchCall MakeCall(F fn) {
  constexpr size_t inputs = HasResult<F>() ? kParamCount<F> - 1 : kParamCount<F>;
  return MakeCall<T, F, typename MemberFn<F>::Params>(fn, std::make_index_sequence<inputs>());
}

}  // namespace dispatch_detail

// One entry of a table. Made by DispatchTable<T>::Method/Get/Put/Property.
struct DispatchMember {
  std::string name;
  DISPID id = DISPID_UNKNOWN;
  DispatchKind kind = DispatchKind::kMethod;
  DispatchCall call;  // the method or the property get
  DispatchCall put;   // the property put
  // Defaults of the last defaults.size() index parameters (the parameters of the
  // method or get; of a put, all but the value). Each converts like an argument.
  std::vector<Variant> defaults;

  // Makes the last `count` index parameters optional with the natural default:
  // Variant::Missing() for Variant and Variant* parameters, Empty for the others
  // (so 0, "", False or a null object).
  DispatchMember Optional(size_t count) &&;
  // Makes the last values.size() index parameters optional with these defaults.
  DispatchMember Defaults(std::initializer_list<Variant> values) &&;

  // The index parameters: those of the method or get, else the put's but its value.
  std::span<const DispatchParam> IndexParams() const;
};

// The table machinery without the class type; DispatchTable<T> adds the typing.
class DispatchTableBase {
 public:
  // `source` names the class in exception details. Throws std::invalid_argument
  // for two entries sharing a name or an id (except one get and one put of a
  // property); a table is a fixed declaration, so this is a programming error.
  DispatchTableBase(std::string_view source, std::initializer_list<DispatchMember> members);

  // The dispatch id of `name`, compared without regard to case;
  // DISP_E_UNKNOWNNAME when no member has it, E_POINTER when id is null.
  HRESULT IdOfName(std::string_view name, DISPID* id) const;

  // The entry with `id`, or null.
  const DispatchMember* Find(DISPID id) const;
  const std::vector<DispatchMember>& members() const noexcept { return members_; }
  const std::string& source() const noexcept { return source_; }

 protected:
  HRESULT InvokeOn(void* self, DISPID id, uint16_t flags, std::span<Variant> args, Variant* result,
                   ExcepInfo* excep, LCID lcid) const;

 private:
  std::string source_;
  std::vector<DispatchMember> members_;
  std::unordered_map<std::string, DISPID, NoCaseHash, NoCaseEqual> ids_;
};

template <class T>
class DispatchTable : public DispatchTableBase {
 public:
  using DispatchTableBase::DispatchTableBase;

  template <class F>
  static DispatchMember Method(std::string_view name, DISPID id, F fn) {
    return Entry(name, id, DispatchKind::kMethod, dispatch_detail::MakeCall<T>(fn), {});
  }
  template <class F>
  static DispatchMember Get(std::string_view name, DISPID id, F fn) {
    return Entry(name, id, DispatchKind::kGet, dispatch_detail::MakeCall<T>(fn), {});
  }
  template <class F>
  static DispatchMember Put(std::string_view name, DISPID id, F fn) {
    return Entry(name, id, DispatchKind::kPut, {}, PutCall(fn));
  }
  // A property with a get and a put; the put takes the get's index parameters
  // followed by the value.
  template <class G, class P>
  static DispatchMember Property(std::string_view name, DISPID id, G get, P put) {
    return Entry(name, id, DispatchKind::kGetPut, dispatch_detail::MakeCall<T>(get), PutCall(put));
  }

  // Calls member `id` on `self` following the rules at the top of this file.
  HRESULT Invoke(T* self, DISPID id, uint16_t flags, std::span<Variant> args, Variant* result,
                 ExcepInfo* excep = nullptr, LCID lcid = LOCALE_USER_DEFAULT) const {
    return InvokeOn(static_cast<void*>(self), id, flags, args, result, excep, lcid);
  }

 private:
  template <class F>
  static DispatchCall PutCall(F fn) {
    static_assert(dispatch_detail::kParamCount<F> > 0 && !dispatch_detail::HasResult<F>(),
                  "a property put takes the value last and gives nothing back");
    return dispatch_detail::MakeCall<T>(fn);
  }
  static DispatchMember Entry(std::string_view name, DISPID id, DispatchKind kind,
                              DispatchCall call, DispatchCall put) {
    DispatchMember m;
    m.name = std::string(name);
    m.id = id;
    m.kind = kind;
    m.call = std::move(call);
    m.put = std::move(put);
    return m;
  }
};

// IDispatch for Derived from its table: Derived has
//   static const DispatchTable<X>& DispatchMembers();
// where X is Derived or one of its bases (typically the interface the table
// mirrors). Entries are the interfaces for Object; one of them derives from
// IDispatch (list IDispatch itself for a plain dispatch object).
template <class Derived, class... Entries>
class DispatchObject : public Object<Entries...> {
 public:
  HRESULT GetIDsOfNames(std::string_view name, DISPID* id) override {
    return Derived::DispatchMembers().IdOfName(name, id);
  }

  HRESULT Invoke(DISPID id, uint16_t flags, std::span<Variant> args, Variant* result,
                 ExcepInfo* excep = nullptr, LCID lcid = LOCALE_USER_DEFAULT) override {
    return InvokeWith(Derived::DispatchMembers(), id, flags, args, result, excep, lcid);
  }

 private:
  template <class X>
  HRESULT InvokeWith(const DispatchTable<X>& table, DISPID id, uint16_t flags,
                     std::span<Variant> args, Variant* result, ExcepInfo* excep, LCID lcid) {
    X* self = static_cast<Derived*>(this);
    return table.Invoke(self, id, flags, args, result, excep, lcid);
  }
};

}  // namespace tavrix
