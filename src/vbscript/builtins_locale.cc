// The locale details of the date and currency built-ins, for the locales of
// platform/locale.h, and the date pattern writer of FormatDateTime.
#include <string>

#include "platform/date.h"
#include "vbscript/builtins_internal.h"

namespace tavrix::vbs::builtins {
namespace {

constexpr std::array<std::string_view, 7> kEnglishDays = {
    "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr std::array<std::string_view, 7> kEnglishDaysShort = {"Sun", "Mon", "Tue", "Wed",
                                                               "Thu", "Fri", "Sat"};

struct ExtrasEntry {
  LCID lcid;
  LocaleExtras extras;
};

const ExtrasEntry kExtras[] = {
    {1033, {kEnglishDays, kEnglishDaysShort, "dddd, MMMM d, yyyy", 1, 1, "$", 2, true, false,
            true}},
    {2057, {kEnglishDays, kEnglishDaysShort, "dd MMMM yyyy", 2, 2, "\u00a3", 2, true, false,
            false}},
    {1031,
     {{"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"},
      {"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"},
      "dddd, d. MMMM yyyy", 2, 2, "\u20ac", 2, false, true, false}},
    {1036,
     {{"dimanche", "lundi", "mardi", "mercredi", "jeudi", "vendredi", "samedi"},
      {"dim.", "lun.", "mar.", "mer.", "jeu.", "ven.", "sam."},
      "dddd d MMMM yyyy", 2, 2, "\u20ac", 2, false, true, false}},
    {1041,
     {{"\u65e5\u66dc\u65e5", "\u6708\u66dc\u65e5", "\u706b\u66dc\u65e5", "\u6c34\u66dc\u65e5",
       "\u6728\u66dc\u65e5", "\u91d1\u66dc\u65e5", "\u571f\u66dc\u65e5"},
      {"\u65e5", "\u6708", "\u706b", "\u6c34", "\u6728", "\u91d1", "\u571f"},
      "yyyy'\u5e74'M'\u6708'd'\u65e5'", 1, 1, "\u00a5", 0, true, false, false}},
    {LOCALE_INVARIANT, {kEnglishDays, kEnglishDaysShort, "dddd, dd MMMM yyyy", 1, 1,
                        "\u00a4", 2, true, false, true}},
};

void AppendNumber(std::string& out, int value, size_t width) {
  std::string digits = std::to_string(value);
  if (digits.size() < width) out.append(width - digits.size(), '0');
  out += digits;
}

}  // namespace

const LocaleExtras& GetLocaleExtras(LCID lcid) noexcept {
  const LCID resolved = GetLocale(lcid).lcid;
  for (const ExtrasEntry& e : kExtras) {
    if (e.lcid == resolved) return e.extras;
  }
  return kExtras[0].extras;
}

std::string FormatDatePattern(double date, std::string_view pattern, LCID lcid) {
  DateFields f;
  if (DateToFields(date, &f, DateRounding::kSecond).failed()) return {};
  const LocaleInfo& loc = GetLocale(lcid);
  const LocaleExtras& extras = GetLocaleExtras(lcid);
  std::string out;
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '\'') {
      const size_t end = pattern.find('\'', i + 1);
      const size_t stop = end == std::string_view::npos ? pattern.size() : end;
      out += pattern.substr(i + 1, stop - i - 1);
      i = stop + 1;
      continue;
    }
    size_t run = 1;
    while (i + run < pattern.size() && pattern[i + run] == c) ++run;
    switch (c) {
      case 'd':
        if (run >= 4) out += extras.weekdays[f.dayOfWeek];
        else if (run == 3) out += extras.weekdaysShort[f.dayOfWeek];
        else AppendNumber(out, f.day, run);
        break;
      case 'M':
        if (run >= 4) out += loc.months[f.month - 1];
        else if (run == 3) out += loc.monthsShort[f.month - 1];
        else AppendNumber(out, f.month, run);
        break;
      case 'y':
        if (run <= 2) AppendNumber(out, f.year % 100, run);
        else AppendNumber(out, f.year, 4);
        break;
      case 'h': AppendNumber(out, f.hour % 12 == 0 ? 12 : f.hour % 12, run); break;
      case 'H': AppendNumber(out, f.hour, run); break;
      case 'm': AppendNumber(out, f.minute, run); break;
      case 's': AppendNumber(out, f.second, run); break;
      case 't': {
        const std::string_view designator = f.hour < 12 ? loc.am : loc.pm;
        // "t" is the designator's first letter; a designator that is not
        // ASCII is kept whole rather than cut inside a character.
        const bool ascii = !designator.empty() && static_cast<unsigned char>(designator[0]) < 0x80;
        out += run == 1 && ascii ? designator.substr(0, 1) : designator;
        break;
      }
      default: out.append(run, c); break;
    }
    i += run;
  }
  return out;
}

}  // namespace tavrix::vbs::builtins
