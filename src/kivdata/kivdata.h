// IKivData: the data-conversion component. Controllers, the history manager,
// calculations, the DAT script object and the Kiv message server reach it only
// through this interface; CreateKivData makes one.
//
// What it does:
//   Convert   a value to another variant type (the platform's ChangeType rules,
//             under the component's locale), arrays element by element;
//   TextForm  a value to its typed text ("3,42", "8,hello", "8204,1,{3,2}"), the
//             exact, locale-free text stored in history rows and sent in Kiv
//             replies;
//   Parse     a typed text back to a value, the exact inverse of TextForm; it also
//             reads hand-written typed texts from project files. The grammar is
//             described at the top of typed_text.cc.
//
// The settings (locale, format option, DAT option) are plain values that every
// call reads; all members may be called from several threads at once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ref.h"
#include "platform/result.h"
#include "platform/unknown.h"
#include "platform/variant.h"
#include "platform/vartype.h"

namespace tavrix {

// {6B1D2E40-5C3A-4F7B-9E21-0A4D8C7F3B15}
inline constexpr IID IID_IKivData{0x6B1D2E40, 0x5C3A, 0x4F7B,
                                  {0x9E, 0x21, 0x0A, 0x4D, 0x8C, 0x7F, 0x3B, 0x15}};

class IKivData : public IUnknown {
 public:
  static constexpr const IID& kIid = IID_IKivData;

  // Converts value (a VT_BYREF|VT_VARIANT is followed once) to type vt and
  // stores the result in *out; on failure *out is unchanged.
  //  - a scalar vt: ChangeType under the component's locale; its failure codes
  //    (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW, ...) pass through. An array source
  //    goes to ChangeType as well (VT_ARRAY|VT_UI1 -> VT_BSTR is the one it takes).
  //  - VT_VARIANT: the value as it is.
  //  - VT_ARRAY|T from an array: a new array with the same dimensions and lower
  //    bounds, each element converted to T with ChangeType (for T = VT_VARIANT
  //    each element is kept as it is, wrapped in a variant). The first element
  //    that fails fails the call with its code. An array of type vt already is
  //    returned shared, not copied.
  //  - VT_ARRAY|T from a scalar (EMPTY and NULL included): a one-element array
  //    with bounds 0..0 holding the scalar converted to T (or kept, for VARIANT).
  //    A text does not become the bytes of a VT_ARRAY|VT_UI1 here; call
  //    ChangeType for that.
  // DISP_E_BADVARTYPE for a vt no variant can hold (VT_BYREF, unknown types,
  // arrays of EMPTY or NULL); E_POINTER when out is null.
  virtual HRESULT Convert(const Variant& value, VARTYPE vt, Variant* out) = 0;

  // Reads a typed text (see ParseTypedText in typed_text.h): the value on
  // success; E_INVALIDARG for a malformed typed text or an unknown type number,
  // DISP_E_TYPEMISMATCH for a value text that does not fit its type,
  // DISP_E_OVERFLOW for one out of range. *out is unchanged on failure.
  virtual HRESULT Parse(std::string_view typedText, Variant* out) = 0;

  // The typed text of value (see FormatTypedText in typed_text.h); Parse of it
  // gives a value Variant::Identical to value. Independent of every setting.
  // TVX_E_UNSUPPORTED_TYPE for objects and other values without a text form;
  // *out is unchanged on failure.
  virtual HRESULT TextForm(const Variant& value, std::string* out) = 0;

  // The locale Convert passes to ChangeType: it decides how texts are read and
  // written there (decimal comma, date order, boolean words). It never changes
  // TextForm or Parse. Default LOCALE_USER_DEFAULT.
  virtual HRESULT SetLocale(LCID lcid) = 0;
  virtual LCID GetLocale() = 0;

  // The format option (controllers and the history manager set -1 in versioned
  // projects). Kept and reported; it selects nothing here because the text
  // form is already readable and exact in every project. Default 0.
  virtual HRESULT SetFormatOption(int32_t option) = 0;
  virtual int32_t GetFormatOption() = 0;

  // The DAT option (the DAT script object sets it true). Kept and reported; it
  // changes nothing for the same reason. Default false.
  virtual HRESULT SetDatOption(bool on) = 0;
  virtual bool GetDatOption() = 0;

 protected:
  ~IKivData() = default;
};

// Makes a new component with the default settings and stores it in *out.
// S_OK on success; on failure *out is null and the result is the failure code
// (E_POINTER when out is null, or the code a test set with
// SetKivDataCreateFailure). Callers log a failure and go on without the
// component.
HRESULT CreateKivData(Ref<IKivData>* out);

// Test hook: while a failure code is set, every CreateKivData in the process
// fails with it; S_OK (or any success code) restores normal creation. Safe to
// call from any thread.
void SetKivDataCreateFailure(HRESULT hr);

// Sets a creation failure for the lifetime of the object, then restores S_OK.
class ScopedKivDataCreateFailure {
 public:
  explicit ScopedKivDataCreateFailure(HRESULT hr) { SetKivDataCreateFailure(hr); }
  ~ScopedKivDataCreateFailure() { SetKivDataCreateFailure(S_OK); }
  ScopedKivDataCreateFailure(const ScopedKivDataCreateFailure&) = delete;
  ScopedKivDataCreateFailure& operator=(const ScopedKivDataCreateFailure&) = delete;
};

}  // namespace tavrix
