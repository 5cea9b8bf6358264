// Shared pieces of the built-in functions: argument conversion with the
// language's errors, the families' tables, and the locale details the
// platform's locale table does not carry (weekday names, long dates,
// currency). Private to the builtins_*.cc files.
//
// Argument helpers share one contract: S_OK with *out set, or a failure the
// built-in returns as it is (*out unchanged): ScriptError(449) for a missing
// argument, ScriptError(94) for Null where a value is required, and the
// platform's conversion results (DISP_E_TYPEMISMATCH 13, DISP_E_OVERFLOW 6).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/locale.h"
#include "platform/result.h"
#include "platform/variant.h"
#include "vbscript/builtins.h"
#include "vbscript/errors.h"

namespace tavrix::vbs::builtins {

// "Out of string space": texts past kMaxTextUnits UTF-16 units fail with it
// instead of exhausting the server's memory.
inline constexpr int kErrOutOfStringSpace = 14;
inline constexpr size_t kMaxTextUnits = size_t{1} << 28;

// The families' tables, merged by FindBuiltin.
std::span<const BuiltinInfo> ConvertBuiltins();
std::span<const BuiltinInfo> StringBuiltins();
std::span<const BuiltinInfo> SearchBuiltins();
std::span<const BuiltinInfo> MathBuiltins();
std::span<const BuiltinInfo> DateBuiltins();
std::span<const BuiltinInfo> DateCalcBuiltins();
std::span<const BuiltinInfo> ArrayBuiltins();
std::span<const BuiltinInfo> TypeBuiltins();
std::span<const BuiltinInfo> FormatBuiltins();
std::span<const BuiltinInfo> ScriptBuiltins();

// --- Arguments.

// True when the script gave the optional argument.
inline bool Given(std::span<const Variant> args, size_t i) {
  return i < args.size() && !args[i].IsMissing();
}

// The plain value of an argument: a by-reference argument followed, an object
// replaced by its default member (its failure is returned).
HRESULT ValueOf(BuiltinContext& context, const Variant& arg, Variant* out);

// The argument as text, booleans as the locale's words (CStr).
HRESULT ArgText(BuiltinContext& context, const Variant& arg, std::string* out);
// A text argument that may be Null: *isNull says which; otherwise as ArgText.
HRESULT ArgTextOrNull(BuiltinContext& context, const Variant& arg, std::string* out,
                      bool* isNull);
// Whole numbers: banker's rounding, DISP_E_OVERFLOW out of range.
HRESULT ArgLong(BuiltinContext& context, const Variant& arg, int32_t* out);
HRESULT ArgInteger(BuiltinContext& context, const Variant& arg, int16_t* out);
HRESULT ArgDouble(BuiltinContext& context, const Variant& arg, double* out);
HRESULT ArgDate(BuiltinContext& context, const Variant& arg, double* out);
HRESULT ArgBool(BuiltinContext& context, const Variant& arg, bool* out);

// The compare argument of the text functions: absent or 0 is binary, 1 is
// text (without regard to case); any other number is ScriptError(5).
HRESULT ArgCompare(BuiltinContext& context, std::span<const Variant> args, size_t i,
                   bool* textCompare);

// ScriptError(14) when a text of `units` UTF-16 units is too long to build.
HRESULT CheckTextSize(uint64_t units);

// A zero-based variant array of the values (the type of Array and Split).
Variant MakeVariantArray(std::vector<Variant> values);

// --- Time.

// The local date and time now, from SystemClock() through the C library's
// time zone, with its microseconds. ScriptError(5) when the time zone cannot
// convert it.
HRESULT LocalNow(double* date);
// Timer: seconds since local midnight.
HRESULT TimerSeconds(float* out);
// A date argument that may be Null: *isNull says which; otherwise as ArgDate.
HRESULT ArgDateOrNull(BuiltinContext& context, const Variant& arg, double* out, bool* isNull);
// The firstdayofweek argument at args[i]: 1 Sunday .. 7 Saturday, 0 the
// locale's first day, absent Sunday; ScriptError(5) for other numbers.
HRESULT ArgFirstDay(BuiltinContext& context, std::span<const Variant> args, size_t i, int* out);

// --- Locale details beyond platform/locale.h.

struct LocaleExtras {
  std::array<std::string_view, 7> weekdays;       // Sunday first
  std::array<std::string_view, 7> weekdaysShort;
  std::string_view longDate;    // pattern letters as LocaleInfo::shortDate, plus
                                // ddd/dddd (weekday), MMM/MMMM (month) and 'quoted text'
  int firstDayOfWeek;           // 1 Sunday .. 7 Saturday
  int firstWeekOfYear;          // 1 Jan 1, 2 first four days, 3 first full week
  std::string_view currencySymbol;
  int currencyDigits;
  bool currencySymbolFirst;     // "$1.00" rather than "1,00 €"
  bool currencySpace;           // a space between number and symbol
  bool currencyNegativeParens;  // "($1.00)" rather than "-$1.00"
};
const LocaleExtras& GetLocaleExtras(LCID lcid) noexcept;

// A date under a pattern of LocaleInfo/LocaleExtras letters. The date must be
// valid.
std::string FormatDatePattern(double date, std::string_view pattern, LCID lcid);

// --- Decimal digits of numbers, for Round and the Format functions.

// A number as decimal digits: the value is 0.d1d2d3... * 10^exponent (no
// leading zeros in `digits`, empty for zero).
struct DecimalDigits {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};
// Doubles keep 15 significant digits (what their text shows); currency and
// decimals are exact.
HRESULT DigitsOf(const Variant& number, DecimalDigits* out);
// Rounds to `decimals` places after the point: half to even or half away
// from zero.
void RoundDigits(DecimalDigits* d, int decimals, bool halfEven);
// The whole part and `decimals` fraction digits as plain ASCII digit runs.
void SplitDigits(const DecimalDigits& d, int decimals, std::string* whole, std::string* fraction);
double DigitsToDouble(const DecimalDigits& d);

}  // namespace tavrix::vbs::builtins
