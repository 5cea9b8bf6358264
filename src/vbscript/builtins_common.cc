// Argument conversion and decimal digits shared by the built-in families.
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "platform/convert.h"
#include "platform/decimal.h"
#include "platform/safearray.h"
#include "vbscript/builtins_internal.h"

namespace tavrix::vbs::builtins {

HRESULT ValueOf(BuiltinContext& context, const Variant& arg, Variant* out) {
  const Variant& v = arg.Deref();
  if (v.vt() == VT_DISPATCH) return DefaultValue(v, out, context.Locale());
  *out = v;
  return S_OK;
}

namespace {

// The argument converted to `vt` under the script's locale, Null refused.
HRESULT ArgAs(BuiltinContext& context, const Variant& arg, VARTYPE vt, Variant* out) {
  const Variant& v = arg.Deref();
  if (v.IsMissing()) return ScriptError(kErrArgNotOptional);
  if (v.vt() == vt) {
    *out = v;
    return S_OK;
  }
  Variant value;
  RETURN_IF_FAILED(ValueOf(context, v, &value));
  if (value.IsNull()) return ScriptError(kErrInvalidNull);
  const uint16_t flags = vt == VT_BSTR ? VARIANT_ALPHABOOL | VARIANT_LOCALBOOL : 0;
  return ChangeType(value, vt, out, flags, context.Locale());
}

}  // namespace

HRESULT ArgText(BuiltinContext& context, const Variant& arg, std::string* out) {
  Variant v;
  RETURN_IF_FAILED(ArgAs(context, arg, VT_BSTR, &v));
  *out = v.text();
  return S_OK;
}

HRESULT ArgTextOrNull(BuiltinContext& context, const Variant& arg, std::string* out,
                      bool* isNull) {
  const Variant& v = arg.Deref();
  if (v.IsMissing()) return ScriptError(kErrArgNotOptional);
  if (v.IsText()) {
    *isNull = false;
    *out = v.text();
    return S_OK;
  }
  Variant value;
  RETURN_IF_FAILED(ValueOf(context, v, &value));
  if (value.IsNull()) {
    *isNull = true;
    return S_OK;
  }
  Variant text;
  RETURN_IF_FAILED(ChangeType(value, VT_BSTR, &text, VARIANT_ALPHABOOL | VARIANT_LOCALBOOL,
                              context.Locale()));
  *isNull = false;
  *out = text.text();
  return S_OK;
}

HRESULT ArgLong(BuiltinContext& context, const Variant& arg, int32_t* out) {
  Variant v;
  RETURN_IF_FAILED(ArgAs(context, arg, VT_I4, &v));
  *out = v.i4();
  return S_OK;
}

HRESULT ArgInteger(BuiltinContext& context, const Variant& arg, int16_t* out) {
  Variant v;
  RETURN_IF_FAILED(ArgAs(context, arg, VT_I2, &v));
  *out = v.i2();
  return S_OK;
}

HRESULT ArgDouble(BuiltinContext& context, const Variant& arg, double* out) {
  Variant v;
  RETURN_IF_FAILED(ArgAs(context, arg, VT_R8, &v));
  *out = v.r8();
  return S_OK;
}

HRESULT ArgDate(BuiltinContext& context, const Variant& arg, double* out) {
  Variant v;
  RETURN_IF_FAILED(ArgAs(context, arg, VT_DATE, &v));
  *out = v.date();
  return S_OK;
}

HRESULT ArgBool(BuiltinContext& context, const Variant& arg, bool* out) {
  Variant v;
  RETURN_IF_FAILED(ArgAs(context, arg, VT_BOOL, &v));
  *out = v.isTrue();
  return S_OK;
}

HRESULT ArgCompare(BuiltinContext& context, std::span<const Variant> args, size_t i,
                   bool* textCompare) {
  if (!Given(args, i)) {
    *textCompare = false;
    return S_OK;
  }
  int32_t mode = 0;
  RETURN_IF_FAILED(ArgLong(context, args[i], &mode));
  if (mode != 0 && mode != 1) return ScriptError(kErrInvalidCall);
  *textCompare = mode == 1;
  return S_OK;
}

HRESULT CheckTextSize(uint64_t units) {
  return units > kMaxTextUnits ? ScriptError(kErrOutOfStringSpace) : S_OK;
}

Variant MakeVariantArray(std::vector<Variant> values) {
  Ref<SafeArray> array = SafeArray::Create1D(VT_VARIANT, static_cast<uint32_t>(values.size()));
  for (size_t i = 0; i < values.size(); ++i) {
    // A variant array takes any value; Put cannot fail for an index in range.
    (void)array->Put(i, values[i]);
  }
  return Variant::Array(std::move(array));
}

// --- Decimal digits.

namespace {

// Reads a plain number text ("-12.3400", "0.5") into digits.
DecimalDigits DigitsFromPlainText(std::string_view text) {
  DecimalDigits d;
  size_t i = 0;
  if (i < text.size() && text[i] == '-') {
    d.negative = true;
    ++i;
  }
  int wholeDigits = 0;
  bool inFraction = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.') {
      inFraction = true;
      continue;
    }
    if (d.digits.empty() && c == '0') {
      if (inFraction) --wholeDigits;  // a leading zero after the point moves the exponent
      continue;
    }
    d.digits += c;
    if (!inFraction) ++wholeDigits;
  }
  d.exponent = wholeDigits;
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) d = DecimalDigits{};
  return d;
}

}  // namespace

HRESULT DigitsOf(const Variant& number, DecimalDigits* out) {
  if (number.vt() == VT_CY) {
    *out = DigitsFromPlainText(TextFromCy(number.cy(), LOCALE_INVARIANT));
    return S_OK;
  }
  if (number.vt() == VT_DECIMAL) {
    *out = DigitsFromPlainText(DecToText(number.dec(), "."));
    return S_OK;
  }
  double v = 0;
  if (number.vt() == VT_R8 || number.vt() == VT_DATE) {
    v = number.r8();
  } else {
    Variant r8;
    RETURN_IF_FAILED(ChangeType(number, VT_R8, &r8, 0, LOCALE_INVARIANT));
    v = r8.r8();
  }
  if (!std::isfinite(v)) return DISP_E_OVERFLOW;
  DecimalDigits d;
  if (v != 0) {
    // 15 significant digits: what the number's text shows, so 2.675 rounds
    // the way its reader expects rather than by its binary neighbour.
    char buf[48];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v),
                                 std::chars_format::scientific, 14);
    const std::string_view s(buf, static_cast<size_t>(r.ptr - buf));
    const size_t e = s.find('e');
    d.negative = v < 0;
    for (size_t i = 0; i < e; ++i) {
      if (s[i] != '.') d.digits += s[i];
    }
    int exp10 = 0;
    std::from_chars(s.data() + e + (s[e + 1] == '+' ? 2 : 1), s.data() + s.size(), exp10);
    d.exponent = exp10 + 1;
    while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  }
  *out = std::move(d);
  return S_OK;
}

void RoundDigits(DecimalDigits* d, int decimals, bool halfEven) {
  const int64_t keep = int64_t{d->exponent} + decimals;
  if (keep >= static_cast<int64_t>(d->digits.size())) return;
  if (keep < 0) {
    *d = DecimalDigits{};
    return;
  }
  const size_t k = static_cast<size_t>(keep);
  const char first = d->digits[k];
  const bool restNonZero = d->digits.find_first_not_of('0', k + 1) != std::string::npos;
  const bool previousOdd = k > 0 && ((d->digits[k - 1] - '0') % 2) == 1;
  const bool up =
      first > '5' || (first == '5' && (restNonZero || !halfEven || previousOdd));
  d->digits.resize(k);
  if (up) {
    size_t i = k;
    while (i > 0 && d->digits[i - 1] == '9') {
      d->digits[i - 1] = '0';
      --i;
    }
    if (i == 0) {
      d->digits.insert(d->digits.begin(), '1');
      ++d->exponent;
    } else {
      ++d->digits[i - 1];
    }
  }
  while (!d->digits.empty() && d->digits.back() == '0') d->digits.pop_back();
  if (d->digits.empty()) *d = DecimalDigits{};
}

void SplitDigits(const DecimalDigits& d, int decimals, std::string* whole,
                 std::string* fraction) {
  whole->clear();
  fraction->clear();
  const int64_t n = static_cast<int64_t>(d.digits.size());
  for (int64_t i = 0; i < d.exponent; ++i) *whole += i < n ? d.digits[i] : '0';
  for (int64_t i = d.exponent; i < int64_t{d.exponent} + decimals; ++i) {
    *fraction += i >= 0 && i < n ? d.digits[i] : '0';
  }
}

double DigitsToDouble(const DecimalDigits& d) {
  if (d.digits.empty()) return 0.0;
  std::string text = "0." + d.digits + "e" + std::to_string(d.exponent);
  double v = 0;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return d.negative ? -v : v;
}

}  // namespace tavrix::vbs::builtins
