// Formatting: FormatNumber, FormatPercent, FormatCurrency, FormatDateTime,
// under the script's locale.
//
// Numbers round half away from zero on their decimal digits (doubles keep the
// 15 significant digits their text shows). The optional tristate arguments
// take vbTrue (-1), vbFalse (0) or vbUseDefault (-2, also when left out).
#include "platform/convert.h"
#include "platform/date.h"
#include "vbscript/builtins_internal.h"

namespace tavrix::vbs::builtins {
namespace {

enum class NumberKind { kNumber, kPercent, kCurrency };

// Digits after the decimal separator are capped where the platform's own
// formatter stops.
constexpr int32_t kMaxDecimals = 99;

HRESULT TristateArg(BuiltinContext& context, std::span<const Variant> args, size_t i,
                    bool fallback, bool* out) {
  *out = fallback;
  if (!Given(args, i)) return S_OK;
  int32_t v = 0;
  RETURN_IF_FAILED(ArgLong(context, args[i], &v));
  if (v != -2) *out = v != 0;
  return S_OK;
}

std::string Grouped(const std::string& whole, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) out += separator;
    out += whole[i];
  }
  return out;
}

template <NumberKind kKind>
HRESULT FormatNumeric(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  Variant v;
  RETURN_IF_FAILED(ValueOf(context, args[0], &v));
  if (v.IsMissing()) return ScriptError(kErrArgNotOptional);
  if (v.IsNull()) return ScriptError(kErrInvalidNull);
  const LCID lcid = context.Locale();
  if (v.vt() != VT_CY && v.vt() != VT_DECIMAL) {
    Variant r8;
    RETURN_IF_FAILED(ChangeType(v, VT_R8, &r8, 0, lcid));
    v = std::move(r8);
  }
  const LocaleInfo& loc = GetLocale(lcid);
  const LocaleExtras& extras = GetLocaleExtras(lcid);
  int32_t decimals = -1;
  if (Given(args, 1)) {
    RETURN_IF_FAILED(ArgLong(context, args[1], &decimals));
    if (decimals < -1 || decimals > kMaxDecimals) return ScriptError(kErrInvalidCall);
  }
  if (decimals == -1) decimals = kKind == NumberKind::kCurrency ? extras.currencyDigits : 2;
  bool leadingDigit = true, parens = false, group = true;
  RETURN_IF_FAILED(TristateArg(context, args, 2, true, &leadingDigit));
  RETURN_IF_FAILED(TristateArg(context, args, 3,
                               kKind == NumberKind::kCurrency && extras.currencyNegativeParens,
                               &parens));
  RETURN_IF_FAILED(TristateArg(context, args, 4, true, &group));

  DecimalDigits d;
  RETURN_IF_FAILED(DigitsOf(v, &d));
  if (kKind == NumberKind::kPercent && !d.digits.empty()) d.exponent += 2;
  RoundDigits(&d, decimals, /*halfEven=*/false);
  std::string whole, fraction;
  SplitDigits(d, decimals, &whole, &fraction);
  if (whole.empty() && leadingDigit) whole = "0";
  std::string body = group ? Grouped(whole, loc.thousandSep) : whole;
  if (decimals > 0) {
    body += loc.decimalSep;
    body += fraction;
  }
  if (kKind == NumberKind::kPercent) body += "%";
  if (kKind == NumberKind::kCurrency) {
    const std::string space = extras.currencySpace ? " " : "";
    body = extras.currencySymbolFirst
               ? std::string(extras.currencySymbol) + space + body
               : body + space + std::string(extras.currencySymbol);
  }
  // RoundDigits leaves no sign on a value that rounds to zero.
  if (d.negative) body = parens ? "(" + body + ")" : "-" + body;
  *result = Variant::Text(body);
  return S_OK;
}

// FormatDateTime(date[, namedformat]): vbGeneralDate 0 (the date and the
// time, each only when present), vbLongDate 1, vbShortDate 2, vbLongTime 3,
// vbShortTime 4 (hh:mm, 24-hour).
HRESULT FormatDateTime(BuiltinContext& context, std::span<const Variant> args,
                       Variant* result) {
  double date = 0;
  RETURN_IF_FAILED(ArgDate(context, args[0], &date));
  int32_t format = 0;
  if (Given(args, 1)) RETURN_IF_FAILED(ArgLong(context, args[1], &format));
  const LCID lcid = context.Locale();
  const LocaleInfo& loc = GetLocale(lcid);
  std::string text;
  switch (format) {
    case 0:
      if (TextFromDate(date, lcid, &text).failed()) return ScriptError(kErrInvalidCall);
      break;
    case 1: text = FormatDatePattern(date, GetLocaleExtras(lcid).longDate, lcid); break;
    case 2: text = FormatDatePattern(date, loc.shortDate, lcid); break;
    case 3: text = FormatDatePattern(date, loc.longTime, lcid); break;
    case 4: text = FormatDatePattern(date, "HH:mm", lcid); break;
    default: return ScriptError(kErrInvalidCall);
  }
  *result = Variant::Text(text);
  return S_OK;
}

constexpr BuiltinInfo kBuiltins[] = {
    {"FormatNumber", 1, 5, FormatNumeric<NumberKind::kNumber>},
    {"FormatPercent", 1, 5, FormatNumeric<NumberKind::kPercent>},
    {"FormatCurrency", 1, 5, FormatNumeric<NumberKind::kCurrency>},
    {"FormatDateTime", 1, 2, FormatDateTime},
};

}  // namespace

std::span<const BuiltinInfo> FormatBuiltins() { return kBuiltins; }

}  // namespace tavrix::vbs::builtins
