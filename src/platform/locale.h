// Locales: the number, date and boolean conventions of the languages Tavrix
// speaks, from a small built-in table (the process locale is never used).
//
// An LCID names a locale. 0, LOCALE_USER_DEFAULT (1024) and
// LOCALE_SYSTEM_DEFAULT (2048) mean the process default, which starts as 1033
// (en-US) and is set once at start-up from the server's LCID setting. The
// sort bits above the low 16 bits of an LCID are ignored.
//
// An LCID the table does not know resolves to the process default: a server
// configured for a language the table lacks still reads and writes texts in a
// well-defined way instead of failing every conversion. IsKnownLocale() lets a
// caller that cares (configuration checks) reject such an LCID.
#pragma once

#include <array>
#include <string_view>

#include "platform/result.h"
#include "platform/unknown.h"

namespace tavrix {

inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 2048;
inline constexpr LCID LOCALE_INVARIANT = 127;

enum class DateOrder { kMDY, kDMY, kYMD };

// One locale's conventions. All texts are UTF-8 and live for the whole process.
struct LocaleInfo {
  LCID lcid;
  std::string_view tag;        // "en-US"
  std::string_view language;   // "English"
  std::string_view decimalSep;
  std::string_view thousandSep;
  DateOrder dateOrder;
  std::string_view dateSep;
  std::string_view timeSep;
  // Short date ("M/d/yyyy") and long time ("h:mm:ss tt") patterns. Letters:
  // d dd M MM yy yyyy for dates; h hh (12-hour) H HH (24-hour) mm ss tt (AM/PM).
  std::string_view shortDate;
  std::string_view longTime;
  std::string_view am;
  std::string_view pm;
  bool clock24;
  std::array<std::string_view, 12> months;       // "January" ...
  std::array<std::string_view, 12> monthsShort;  // "Jan" ...
  std::string_view trueWord;   // "True", "Wahr", ...
  std::string_view falseWord;
};

// The locale for lcid: the table entry, or the process default for 0, 1024,
// 2048 and every LCID the table lacks. Never fails.
const LocaleInfo& GetLocale(LCID lcid) noexcept;

// True when lcid is one of the defaults or in the table.
bool IsKnownLocale(LCID lcid) noexcept;

// Sets the process default. E_INVALIDARG (and no change) for an LCID the table
// lacks or for one of the default aliases. Safe to call from any thread.
HRESULT SetDefaultLocale(LCID lcid) noexcept;

// The LCID of the current process default (1033 until SetDefaultLocale).
LCID DefaultLocale() noexcept;

// Compares two words of the table (month names, boolean words) without regard
// to case: ASCII and the Latin-1 letters (so "MÄRZ" equals "März").
bool LocaleWordEquals(std::string_view a, std::string_view b) noexcept;

}  // namespace tavrix
