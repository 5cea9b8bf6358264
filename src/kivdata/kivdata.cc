#include "kivdata/kivdata.h"

#include <atomic>
#include <utility>

#include "kivdata/typed_text.h"
#include "platform/convert.h"
#include "platform/object.h"
#include "platform/safearray.h"

namespace tavrix {
namespace {

// The failure CreateKivData reports while a test has set one (S_OK: none).
std::atomic<int32_t> g_createFailure{0};

class KivData final : public Object<IKivData> {
 public:
  HRESULT Convert(const Variant& value, VARTYPE vt, Variant* out) override;

  HRESULT Parse(std::string_view typedText, Variant* out) override {
    return ParseTypedText(typedText, out);
  }
  HRESULT TextForm(const Variant& value, std::string* out) override {
    return FormatTypedText(value, out);
  }

  HRESULT SetLocale(LCID lcid) override {
    locale_.store(lcid, std::memory_order_relaxed);
    return S_OK;
  }
  LCID GetLocale() override { return locale_.load(std::memory_order_relaxed); }
  HRESULT SetFormatOption(int32_t option) override {
    formatOption_.store(option, std::memory_order_relaxed);
    return S_OK;
  }
  int32_t GetFormatOption() override { return formatOption_.load(std::memory_order_relaxed); }
  HRESULT SetDatOption(bool on) override {
    datOption_.store(on, std::memory_order_relaxed);
    return S_OK;
  }
  bool GetDatOption() override { return datOption_.load(std::memory_order_relaxed); }

 private:
  ~KivData() = default;

  // Each setting is read once per call and stands alone, so plain atomics
  // suffice; no lock.
  std::atomic<LCID> locale_{LOCALE_USER_DEFAULT};
  std::atomic<int32_t> formatOption_{0};
  std::atomic<bool> datOption_{false};
};

// One element of an array conversion: VARIANT targets keep the value.
HRESULT ConvertElement(const Variant& v, VARTYPE elem, LCID lcid, Variant* out) {
  if (elem == VT_VARIANT) {
    *out = v;
    return S_OK;
  }
  return ChangeType(v, elem, out, 0, lcid);
}

HRESULT KivData::Convert(const Variant& value, VARTYPE vt, Variant* out) {
  if (out == nullptr) return E_POINTER;
  const Variant& src = value.Deref();
  const LCID lcid = GetLocale();
  if (vt & VT_BYREF) return DISP_E_BADVARTYPE;
  if (vt == VT_VARIANT) {
    *out = src;
    return S_OK;
  }
  if (!(vt & VT_ARRAY)) return ChangeType(src, vt, out, 0, lcid);

  const auto elem = static_cast<VARTYPE>(vt & ~VT_ARRAY);
  if (src.vt() == vt) {
    *out = src;
    return S_OK;
  }
  if (src.IsArray() && !src.IsByRef()) {
    const SafeArray& from = src.array();
    Ref<SafeArray> to = SafeArray::Create(elem, from.bounds());
    if (!to) return DISP_E_BADVARTYPE;
    for (size_t i = 0; i < from.size(); ++i) {
      Variant e;
      RETURN_IF_FAILED(ConvertElement(from.At(i), elem, lcid, &e));
      RETURN_IF_FAILED(to->Put(i, e));
    }
    *out = Variant::Array(std::move(to));
    return S_OK;
  }
  Ref<SafeArray> to = SafeArray::Create1D(elem, 1);
  if (!to) return DISP_E_BADVARTYPE;
  Variant e;
  RETURN_IF_FAILED(ConvertElement(src, elem, lcid, &e));
  RETURN_IF_FAILED(to->Put(0, e));
  *out = Variant::Array(std::move(to));
  return S_OK;
}

}  // namespace

HRESULT CreateKivData(Ref<IKivData>* out) {
  if (out == nullptr) return E_POINTER;
  out->reset();
  const HRESULT failure{g_createFailure.load(std::memory_order_acquire)};
  if (failure.failed()) return failure;
  *out = MakeRef<KivData>();
  return S_OK;
}

void SetKivDataCreateFailure(HRESULT hr) {
  g_createFailure.store(hr.failed() ? hr.code() : 0, std::memory_order_release);
}

}  // namespace tavrix
