#include "vbscript/err_object.h"

#include "platform/convert.h"
#include "vbscript/errors.h"

namespace tavrix::vbs {

const DispatchTable<ErrObject>& ErrObject::DispatchMembers() {
  using D = DispatchTable<ErrObject>;
  static const D table("Err", {
      D::Property("Number", DISPID_VALUE, &ErrObject::get_Number, &ErrObject::put_Number),
      D::Property("Description", 1, &ErrObject::get_Description, &ErrObject::put_Description),
      D::Property("Source", 2, &ErrObject::get_Source, &ErrObject::put_Source),
      D::Property("HelpFile", 3, &ErrObject::get_HelpFile, &ErrObject::put_HelpFile),
      D::Property("HelpContext", 4, &ErrObject::get_HelpContext, &ErrObject::put_HelpContext),
      D::Method("Raise", 5, &ErrObject::Raise).Optional(4),
      D::Method("Clear", 6, &ErrObject::DoClear),
  });
  return table;
}

void ErrObject::Clear() {
  number = 0;
  description.clear();
  source.clear();
  helpFile.clear();
  helpContext = 0;
}

HRESULT ErrObject::get_Number(int32_t* out) {
  *out = number;
  return S_OK;
}
HRESULT ErrObject::put_Number(int32_t v) {
  number = v;
  return S_OK;
}
HRESULT ErrObject::get_Description(std::string* out) {
  *out = description;
  return S_OK;
}
HRESULT ErrObject::put_Description(const std::string& v) {
  description = v;
  return S_OK;
}
HRESULT ErrObject::get_Source(std::string* out) {
  *out = source;
  return S_OK;
}
HRESULT ErrObject::put_Source(const std::string& v) {
  source = v;
  return S_OK;
}
HRESULT ErrObject::get_HelpFile(std::string* out) {
  *out = helpFile;
  return S_OK;
}
HRESULT ErrObject::put_HelpFile(const std::string& v) {
  helpFile = v;
  return S_OK;
}
HRESULT ErrObject::get_HelpContext(int32_t* out) {
  *out = helpContext;
  return S_OK;
}
HRESULT ErrObject::put_HelpContext(int32_t v) {
  helpContext = v;
  return S_OK;
}

HRESULT ErrObject::CodeOf(int32_t number) {
  if (number > 0) return ScriptError(number);
  return HRESULT(number);
}

namespace {

// An optional text argument; false when left out.
bool TextArg(const Variant& v, std::string* out) {
  if (v.IsMissing()) return false;
  Variant text;
  if (ChangeType(v, VT_BSTR, &text, VARIANT_ALPHABOOL).failed()) return false;
  *out = text.text();
  return true;
}

}  // namespace

HRESULT ErrObject::Raise(const Variant& numberArg, const Variant& sourceArg,
                         const Variant& descriptionArg, const Variant& helpFileArg,
                         const Variant& helpContextArg) {
  Variant n;
  if (numberArg.IsMissing()) return ScriptError(kErrArgNotOptional);
  const HRESULT hr = ChangeType(numberArg, VT_I4, &n);
  if (hr.failed()) return hr;
  if (n.i4() == 0) return ScriptError(kErrInvalidCall);
  const int32_t num = n.i4();
  number = num;
  if (!TextArg(sourceArg, &source)) source = kRuntimeSource;
  if (!TextArg(descriptionArg, &description)) {
    description = (num > 0 && num <= 0xFFFF) ? std::string(ScriptErrorText(num))
                                              : std::string("Unknown runtime error");
  }
  if (!TextArg(helpFileArg, &helpFile)) helpFile.clear();
  Variant ctx;
  helpContext = (!helpContextArg.IsMissing() && ChangeType(helpContextArg, VT_I4, &ctx).succeeded())
                    ? ctx.i4()
                    : 0;
  raised = CodeOf(num);
  return raised;
}

HRESULT ErrObject::DoClear() {
  Clear();
  return S_OK;
}

}  // namespace tavrix::vbs
