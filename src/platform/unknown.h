// The automation object model: interface identifiers, IUnknown and IDispatch.
//
// Objects are reference counted (AddRef/Release) and answer QueryInterface for
// the interfaces they implement. Late-bound callers (the VBScript engine, the RPC
// bridge, plug-in callbacks) reach every member through IDispatch::Invoke.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/ref.h"
#include "platform/result.h"

namespace tavrix {

class Variant;

struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};
  friend bool operator==(const Guid&, const Guid&) = default;
};
using IID = Guid;

// "{00020400-0000-0000-C000-000000000046}"
std::string GuidToString(const Guid& g);

inline constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IEnumVARIANT{0x00020404, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IConnectionPoint{0xB196B286, 0xBAB4, 0x101A,
                                          {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

using LCID = uint32_t;
inline constexpr LCID LOCALE_USER_DEFAULT = 1024;

class IUnknown {
 public:
  // On success stores a new reference in *out and returns S_OK; otherwise
  // stores nullptr and returns E_NOINTERFACE (E_POINTER when out is null).
  virtual HRESULT QueryInterface(const IID& iid, void** out) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

using DISPID = int32_t;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr DISPID DISPID_NEWENUM = -4;

inline constexpr uint16_t DISPATCH_METHOD = 0x1;
inline constexpr uint16_t DISPATCH_PROPERTYGET = 0x2;
inline constexpr uint16_t DISPATCH_PROPERTYPUT = 0x4;
inline constexpr uint16_t DISPATCH_PROPERTYPUTREF = 0x8;

// Error details a member may fill when it fails (DISP_E_EXCEPTION).
struct ExcepInfo {
  HRESULT scode;
  std::string source;
  std::string description;
};

class IDispatch : public IUnknown {
 public:
  // Dispatch id of a member, names compared without regard to case;
  // DISP_E_UNKNOWNNAME when there is none.
  virtual HRESULT GetIDsOfNames(std::string_view name, DISPID* id) = 0;

  // Calls member `id`. `args` are in call order (first argument first); for a
  // property put the new value is the last one. An argument may be a
  // VT_BYREF|VT_VARIANT reference to the caller's variable, which the member
  // may write through. `result` may be null when the caller wants none.
  virtual HRESULT Invoke(DISPID id, uint16_t flags, std::span<Variant> args, Variant* result,
                         ExcepInfo* excep = nullptr, LCID lcid = LOCALE_USER_DEFAULT) = 0;

 protected:
  ~IDispatch() = default;
};

// Typed QueryInterface: a Ref to the interface, or null.
template <class To>
Ref<To> QueryAs(IUnknown* from, const IID& iid) {
  void* out = nullptr;
  if (from == nullptr || from->QueryInterface(iid, &out).failed() || out == nullptr) return {};
  return Ref<To>::Adopt(static_cast<To*>(out));
}

}  // namespace tavrix
