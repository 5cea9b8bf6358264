#include "platform/locale.h"

#include <atomic>
#include <cstdint>

namespace tavrix {
namespace {

constexpr std::array<std::string_view, 12> kEnglishMonths = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<std::string_view, 12> kEnglishMonthsShort = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The table. The first entry is the starting default.
constexpr LocaleInfo kLocales[] = {
    {1033, "en-US", "English", ".", ",", DateOrder::kMDY, "/", ":", "M/d/yyyy", "h:mm:ss tt",
     "AM", "PM", false, kEnglishMonths, kEnglishMonthsShort, "True", "False"},
    {2057, "en-GB", "English", ".", ",", DateOrder::kDMY, "/", ":", "dd/MM/yyyy", "HH:mm:ss",
     "AM", "PM", true, kEnglishMonths, kEnglishMonthsShort, "True", "False"},
    {1031, "de-DE", "German", ",", ".", DateOrder::kDMY, ".", ":", "dd.MM.yyyy", "HH:mm:ss",
     "", "", true,
     {"Januar", "Februar", "M\u00e4rz", "April", "Mai", "Juni", "Juli", "August", "September",
      "Oktober", "November", "Dezember"},
     {"Jan", "Feb", "M\u00e4r", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"},
     "Wahr", "Falsch"},
    {1036, "fr-FR", "French", ",", "\u00a0", DateOrder::kDMY, "/", ":", "dd/MM/yyyy", "HH:mm:ss",
     "", "", true,
     {"janvier", "f\u00e9vrier", "mars", "avril", "mai", "juin", "juillet", "ao\u00fbt",
      "septembre", "octobre", "novembre", "d\u00e9cembre"},
     {"janv.", "f\u00e9vr.", "mars", "avr.", "mai", "juin", "juil.", "ao\u00fbt", "sept.", "oct.",
      "nov.", "d\u00e9c."},
     "Vrai", "Faux"},
    {1041, "ja-JP", "Japanese", ".", ",", DateOrder::kYMD, "/", ":", "yyyy/MM/dd", "H:mm:ss",
     "\u5348\u524d", "\u5348\u5f8c", true,
     {"1\u6708", "2\u6708", "3\u6708", "4\u6708", "5\u6708", "6\u6708", "7\u6708", "8\u6708",
      "9\u6708", "10\u6708", "11\u6708", "12\u6708"},
     {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}, "True", "False"},
    {LOCALE_INVARIANT, "", "Invariant Language", ".", ",", DateOrder::kMDY, "/", ":",
     "MM/dd/yyyy", "HH:mm:ss", "AM", "PM", true, kEnglishMonths, kEnglishMonthsShort, "True",
     "False"},
};

// The process default, as an index into kLocales. Atomic because any thread
// converts texts while the start-up thread may still set it.
std::atomic<size_t> g_default{0};

bool IsDefaultAlias(LCID id) {
  return id == 0 || id == LOCALE_USER_DEFAULT || id == LOCALE_SYSTEM_DEFAULT;
}

const LocaleInfo* Find(LCID lcid) {
  const LCID id = lcid & 0xFFFF;
  for (const LocaleInfo& l : kLocales) {
    if (l.lcid == id) return &l;
  }
  return nullptr;
}

}  // namespace

const LocaleInfo& GetLocale(LCID lcid) noexcept {
  const LocaleInfo* l = IsDefaultAlias(lcid & 0xFFFF) ? nullptr : Find(lcid);
  return l ? *l : kLocales[g_default.load(std::memory_order_acquire)];
}

bool IsKnownLocale(LCID lcid) noexcept {
  return IsDefaultAlias(lcid & 0xFFFF) || Find(lcid) != nullptr;
}

HRESULT SetDefaultLocale(LCID lcid) noexcept {
  if (IsDefaultAlias(lcid & 0xFFFF)) return E_INVALIDARG;
  const LocaleInfo* l = Find(lcid);
  if (!l) return E_INVALIDARG;
  g_default.store(static_cast<size_t>(l - kLocales), std::memory_order_release);
  return S_OK;
}

namespace {

// Reads one character: ASCII folded to lower case, a two-byte Latin-1 letter
// (U+00C0..U+00DE) folded to its lower-case form; other bytes as they are.
uint32_t NextFolded(std::string_view s, size_t* i) {
  const auto c = static_cast<unsigned char>(s[*i]);
  if (c < 0x80) {
    ++*i;
    return (c >= 'A' && c <= 'Z') ? c + 32u : c;
  }
  if (c == 0xC3 && *i + 1 < s.size()) {
    const auto c2 = static_cast<unsigned char>(s[*i + 1]);
    *i += 2;
    const uint32_t cp = 0xC0 + (c2 & 0x3F);
    return (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) ? cp + 0x20 : cp;
  }
  ++*i;
  return c | 0x100u;  // keep other bytes apart from the folded code points
}

}  // namespace

bool LocaleWordEquals(std::string_view a, std::string_view b) noexcept {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (NextFolded(a, &i) != NextFolded(b, &j)) return false;
  }
  return i == a.size() && j == b.size();
}

LCID DefaultLocale() noexcept { return kLocales[g_default.load(std::memory_order_acquire)].lcid; }

}  // namespace tavrix
