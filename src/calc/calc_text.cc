// Texts, the type change and the formatter (codes 17, 28-31, 39-41).
//
// Lengths and positions count UTF-16 code units, as the platform's texts do.
// Operands that are not texts become texts by the platform's conversion under
// the LCID setting.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "calc/calc_functions.h"
#include "calc/calc_operations.h"
#include "calc/value_formatter.h"
#include "item/value_types.h"
#include "kivdata/kivdata.h"
#include "platform/arith.h"
#include "platform/convert.h"
#include "platform/safearray.h"
#include "platform/text.h"

namespace tavrix::calc {
namespace {

// The operand as a VT_BSTR.
HRESULT AsText(const Variant& operand, const CalcSettings& settings, Variant* text) {
  const Variant& value = operand.Deref();
  if (value.IsText()) {
    *text = value;
    return S_OK;
  }
  return ChangeType(value, VT_BSTR, text, 0, settings.lcid);
}

// The targets of a type change: the types an item may hold, and VT_VARIANT
// (the value as it is). Every other target is refused before converting.
bool IsHoldableType(VARTYPE vt) { return vt == VT_VARIANT || IsSupportedValueType(vt); }

// A one-dimensional array of texts with lower bound 0.
HRESULT TextArray(const std::vector<std::string_view>& parts, Variant* out) {
  Ref<SafeArray> array = SafeArray::Create1D(VT_BSTR, static_cast<uint32_t>(parts.size()));
  if (!array) return E_OUTOFMEMORY;
  for (size_t i = 0; i < parts.size(); ++i) {
    RETURN_IF_FAILED(array->Put(i, Variant::Text(parts[i])));
  }
  *out = Variant::Array(std::move(array));
  return S_OK;
}

// The right operand of Left and Right: a count of code units.
HRESULT UnitCount(const Variant& operand, const CalcSettings& settings, size_t* count) {
  Variant ui4;
  RETURN_IF_FAILED(ChangeType(operand, VT_UI4, &ui4, 0, settings.lcid));
  *count = ui4.ui4();
  return S_OK;
}

}  // namespace

HRESULT Concatenate(const Variant& left, const Variant& right, const CalcSettings&,
                    Variant* out) {
  return VarCat(left, right, out);
}

HRESULT Length(const Variant& operand, const CalcSettings& settings, Variant* out) {
  Variant text;
  RETURN_IF_FAILED(AsText(operand, settings, &text));
  *out = Variant::UI4(static_cast<uint32_t>(Utf16Length(text.text())));
  return S_OK;
}

namespace {

// The first or last `right` code units of the left operand's text.
template <std::string (*Part)(std::string_view, size_t)>
HRESULT TextPart(const Variant& left, const Variant& right, const CalcSettings& settings,
                 Variant* out) {
  Variant text;
  size_t count = 0;
  RETURN_IF_FAILED(AsText(left, settings, &text));
  RETURN_IF_FAILED(UnitCount(right, settings, &count));
  *out = Variant::Text(Part(text.text(), count));
  return S_OK;
}

}  // namespace

HRESULT LeftPart(const Variant& left, const Variant& right, const CalcSettings& settings,
                 Variant* out) {
  return TextPart<Utf16Left>(left, right, settings, out);
}

HRESULT RightPart(const Variant& left, const Variant& right, const CalcSettings& settings,
                  Variant* out) {
  return TextPart<Utf16Right>(left, right, settings, out);
}

// The right operand is a VT_I8 whose low 16 bits name the target type. A
// target no item may hold (objects, error values, decimals, VT_INT, a
// reference, a type that does not exist) is refused before any conversion.
HRESULT ChangeTypeTo(const Variant& left, const Variant& right, const CalcSettings& settings,
                     Variant* out) {
  const Variant& type = right.Deref();
  if (type.vt() != VT_I8) return E_INVALIDARG;
  const auto target = static_cast<VARTYPE>(static_cast<uint64_t>(type.i8()) & 0xFFFF);
  if (!IsHoldableType(target)) return TVX_E_UNSUPPORTED_TYPE;
  return ChangeType(left, target, out, 0, settings.lcid);
}

HRESULT Format(const Variant& left, const Variant& right, const CalcSettings& settings,
               Variant* out) {
  const std::shared_ptr<IValueFormatter> formatter = CurrentValueFormatter();
  if (!formatter) return E_NOTIMPL;
  return formatter->Format(left.Deref(), right.Deref(), settings.lcid, out);
}

// The left text cut at every occurrence of the right text, searched from the
// left without overlaps. An empty separator cannot cut anything: the whole
// text is the one element, as is an empty text.
HRESULT Split(const Variant& left, const Variant& right, const CalcSettings& settings,
              Variant* out) {
  Variant textValue;
  Variant separatorValue;
  RETURN_IF_FAILED(AsText(left, settings, &textValue));
  RETURN_IF_FAILED(AsText(right, settings, &separatorValue));
  const std::string_view text = textValue.text();
  const std::string_view separator = separatorValue.text();
  std::vector<std::string_view> parts;
  if (separator.empty()) {
    parts.push_back(text);
  } else {
    size_t from = 0;
    for (size_t at = text.find(separator); at != std::string_view::npos;
         at = text.find(separator, from)) {
      parts.push_back(text.substr(from, at - from));
      from = at + separator.size();
    }
    parts.push_back(text.substr(from));
  }
  return TextArray(parts, out);
}

// The right operand must be a text. The left operand becomes text through a
// data-conversion component of its own: an array element by element, the
// elements joined with the right text between them; any other value is the
// text it converts to.
HRESULT Join(const Variant& left, const Variant& right, const CalcSettings& settings,
             Variant* out) {
  const Variant& separator = right.Deref();
  if (!separator.IsText()) return E_INVALIDARG;
  Ref<IKivData> kivData;
  RETURN_IF_FAILED(CreateKivData(&kivData));
  RETURN_IF_FAILED(kivData->SetLocale(settings.lcid));
  const Variant& value = left.Deref();
  if (!value.IsArray()) return kivData->Convert(value, VT_BSTR, out);
  Variant texts;
  RETURN_IF_FAILED(kivData->Convert(value, VT_ARRAY | VT_BSTR, &texts));
  if (texts.vt() != (VT_ARRAY | VT_BSTR)) return E_INVALIDARG;
  std::string joined;
  bool first = true;
  for (const std::string& element : texts.array().texts()) {
    if (!first) joined += separator.text();
    joined += element;
    first = false;
  }
  *out = Variant::Text(joined);
  return S_OK;
}

}  // namespace tavrix::calc
