// A stand-in for an object with a default member (an item, a script object):
// its DISPID_VALUE property get gives a fixed value or fails with a fixed code.
#pragma once

#include <atomic>

#include "platform/object.h"
#include "platform/variant.h"

namespace tavrix::testing {

class FakeValueObject final : public Object<IDispatch> {
 public:
  explicit FakeValueObject(Variant value, HRESULT hr = S_OK) : value_(std::move(value)), hr_(hr) {}

  HRESULT GetIDsOfNames(std::string_view, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID id, uint16_t flags, std::span<Variant> args, Variant* result, ExcepInfo*,
                 LCID) override {
    ++calls;
    if (id != DISPID_VALUE || flags != DISPATCH_PROPERTYGET || !args.empty()) {
      return DISP_E_MEMBERNOTFOUND;
    }
    if (hr_.failed()) return hr_;
    *result = value_;
    return S_OK;
  }

  std::atomic<int> calls{0};

 private:
  Variant value_;
  HRESULT hr_;
};

}  // namespace tavrix::testing
