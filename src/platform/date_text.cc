// Date texts: DateFromStr and TextFromDate under the locale's date order,
// separators, month names and AM/PM designators.
#include <ctime>
#include <vector>

#include "platform/convert.h"
#include "platform/date.h"
#include "platform/locale.h"

namespace tavrix {
namespace {

constexpr std::string_view kEnglishWeekdays[] = {
    "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday",
    "Sun",    "Mon",    "Tue",     "Wed",       "Thu",      "Fri",    "Sat"};
constexpr std::string_view kEnglishMonths[] = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

struct Token {
  enum Kind { kNumber, kWord, kSep } kind;
  std::string_view text;
  int value = 0;
};

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool IsWordByte(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u >= 0x80;
}

// Splits into numbers, words and single separator characters; spaces, commas
// and the no-break space only separate tokens.
bool Tokenize(std::string_view s, std::vector<Token>* out) {
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c == ' ' || c == ',' || c == '\t') {
      ++i;
    } else if (s.substr(i, 2) == "\xC2\xA0") {
      i += 2;
    } else if (IsAsciiDigit(c)) {
      const size_t start = i;
      int v = 0;
      while (i < s.size() && IsAsciiDigit(s[i])) {
        if (i - start >= 9) return false;
        v = v * 10 + (s[i++] - '0');
      }
      out->push_back({Token::kNumber, s.substr(start, i - start), v});
    } else if (IsWordByte(c)) {
      const size_t start = i;
      while (i < s.size() && IsWordByte(s[i]) && s.substr(i, 2) != "\xC2\xA0") ++i;
      // A dot closes an abbreviation ("janv.", "Dec.").
      std::string_view word = s.substr(start, i - start);
      if (i < s.size() && s[i] == '.') ++i;
      out->push_back({Token::kWord, word, 0});
    } else {
      out->push_back({Token::kSep, s.substr(i, 1), 0});
      ++i;
    }
  }
  return true;
}

// 1..12 for a month name or abbreviation (the locale's or English), else 0.
int MonthFromWord(std::string_view w, const LocaleInfo& loc) {
  for (int m = 0; m < 12; ++m) {
    std::string_view shortName = loc.monthsShort[m];
    if (!shortName.empty() && shortName.back() == '.') shortName.remove_suffix(1);
    if (LocaleWordEquals(w, loc.months[m]) || LocaleWordEquals(w, shortName)) return m + 1;
    const std::string_view en = kEnglishMonths[m];
    if (LocaleWordEquals(w, en) || (w.size() >= 3 && w.size() < en.size() &&
                                    LocaleWordEquals(w, en.substr(0, w.size())))) {
      return m + 1;
    }
  }
  return 0;
}

// 1 for AM, 2 for PM, 0 otherwise.
int AmPmFromWord(std::string_view w, const LocaleInfo& loc) {
  if (LocaleWordEquals(w, "AM") || LocaleWordEquals(w, "A") ||
      (!loc.am.empty() && LocaleWordEquals(w, loc.am))) {
    return 1;
  }
  if (LocaleWordEquals(w, "PM") || LocaleWordEquals(w, "P") ||
      (!loc.pm.empty() && LocaleWordEquals(w, loc.pm))) {
    return 2;
  }
  return 0;
}

bool IsWeekday(std::string_view w) {
  for (std::string_view d : kEnglishWeekdays) {
    if (LocaleWordEquals(w, d)) return true;
  }
  return false;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return kDays[month - 1];
}

int CurrentYear() {
  const time_t now = time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return tm.tm_year + 1900;
}

struct DateNumber {
  int value;
  size_t digits;
  bool YearLike() const { return digits >= 3 || value > 31; }
  int Year() const {
    if (digits > 2) return value;
    return value < 30 ? 2000 + value : 1900 + value;
  }
};

bool ValidDay(int y, int m, int d) {
  return y >= 100 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

// Day, month and year from the numbers (and a month name, when month != 0).
bool ResolveDate(const std::vector<DateNumber>& nums, int nameMonth, DateOrder order, int* y,
                 int* m, int* d) {
  const size_t n = nums.size();
  if (nameMonth != 0) {
    *m = nameMonth;
    if (n == 1) {
      if (nums[0].YearLike()) {
        *y = nums[0].Year();
        *d = 1;
      } else {
        *y = CurrentYear();
        *d = nums[0].value;
      }
    } else if (n == 2) {
      const bool firstYear = nums[0].YearLike();
      *y = firstYear ? nums[0].Year() : nums[1].Year();
      *d = firstYear ? nums[1].value : nums[0].value;
    } else {
      return false;
    }
    return ValidDay(*y, *m, *d);
  }
  if (n == 2) {
    if (nums[0].YearLike() || nums[1].YearLike()) {
      const bool firstYear = nums[0].YearLike();
      *y = firstYear ? nums[0].Year() : nums[1].Year();
      *m = firstYear ? nums[1].value : nums[0].value;
      *d = 1;
      return ValidDay(*y, *m, *d);
    }
    *y = CurrentYear();
    *m = order == DateOrder::kDMY ? nums[1].value : nums[0].value;
    *d = order == DateOrder::kDMY ? nums[0].value : nums[1].value;
  } else if (n == 3) {
    if (nums[0].YearLike() || order == DateOrder::kYMD) {
      *y = nums[0].Year();
      *m = nums[1].value;
      *d = nums[2].value;
    } else {
      *y = nums[2].Year();
      *m = order == DateOrder::kDMY ? nums[1].value : nums[0].value;
      *d = order == DateOrder::kDMY ? nums[0].value : nums[1].value;
    }
  } else {
    return false;
  }
  if (ValidDay(*y, *m, *d)) return true;
  std::swap(*m, *d);  // "13/12/2026" in a month-first locale
  return ValidDay(*y, *m, *d);
}

void AppendNumber(std::string* out, int v, int width) {
  std::string s = std::to_string(v);
  if (static_cast<int>(s.size()) < width) out->append(static_cast<size_t>(width) - s.size(), '0');
  *out += s;
}

// Expands a pattern of the locale table (d dd M MM yy yyyy h hh H HH mm ss tt);
// separators are replaced by the locale's.
std::string Expand(std::string_view pattern, const DateFields& f, const LocaleInfo& loc) {
  std::string out;
  for (size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    size_t run = 1;
    while (i + run < pattern.size() && pattern[i + run] == c) ++run;
    const int w = static_cast<int>(run);
    switch (c) {
      case 'd': AppendNumber(&out, f.day, w); break;
      case 'M': AppendNumber(&out, f.month, w); break;
      case 'y':
        if (run <= 2) {
          AppendNumber(&out, f.year % 100, 2);
        } else {
          AppendNumber(&out, f.year, 4);
        }
        break;
      case 'h': AppendNumber(&out, f.hour % 12 == 0 ? 12 : f.hour % 12, w); break;
      case 'H': AppendNumber(&out, f.hour, w); break;
      case 'm': AppendNumber(&out, f.minute, w); break;
      case 's': AppendNumber(&out, f.second, w); break;
      case 't': out += f.hour < 12 ? loc.am : loc.pm; break;
      case '/': out += loc.dateSep; break;
      case ':': out += loc.timeSep; break;
      default: out.append(run, c); break;
    }
    i += run;
  }
  return out;
}

}  // namespace

HRESULT DateFromStr(std::string_view text, LCID lcid, uint32_t, double* out) {
  const LocaleInfo& loc = GetLocale(lcid);
  std::vector<Token> toks;
  if (!Tokenize(text, &toks) || toks.empty()) return DISP_E_TYPEMISMATCH;
  std::vector<DateNumber> nums;
  int nameMonth = 0;
  int hour = -1, minute = 0, second = 0, micros = 0, ampm = 0;
  auto isTimeSep = [&](size_t k) {
    return k < toks.size() && toks[k].kind == Token::kSep &&
           (toks[k].text == ":" || toks[k].text == loc.timeSep);
  };
  auto isNumber = [&](size_t k) { return k < toks.size() && toks[k].kind == Token::kNumber; };
  for (size_t i = 0; i < toks.size(); ++i) {
    const Token& t = toks[i];
    if (t.kind == Token::kNumber && isTimeSep(i + 1)) {
      if (hour >= 0 || !isNumber(i + 2)) return DISP_E_TYPEMISMATCH;
      hour = t.value;
      minute = toks[i + 2].value;
      i += 2;
      if (isTimeSep(i + 1)) {
        if (!isNumber(i + 2)) return DISP_E_TYPEMISMATCH;
        second = toks[i + 2].value;
        i += 2;
        if (i + 2 < toks.size() && toks[i + 1].kind == Token::kSep &&
            (toks[i + 1].text == "." || toks[i + 1].text == loc.decimalSep) && isNumber(i + 2)) {
          std::string_view frac = toks[i + 2].text;
          int scale = 100000;
          for (size_t k = 0; k < frac.size() && k < 6; ++k, scale /= 10) {
            micros += (frac[k] - '0') * scale;
          }
          i += 2;
        }
      }
      if (minute > 59 || second > 59) return DISP_E_TYPEMISMATCH;
    } else if (t.kind == Token::kNumber && i + 1 < toks.size() &&
               toks[i + 1].kind == Token::kWord && AmPmFromWord(toks[i + 1].text, loc) != 0 &&
               hour < 0) {
      hour = t.value;  // "11 PM": the designator is read on the next round
    } else if (t.kind == Token::kNumber) {
      if (nums.size() == 3) return DISP_E_TYPEMISMATCH;
      nums.push_back({t.value, t.text.size()});
    } else if (t.kind == Token::kWord) {
      if (const int ap = AmPmFromWord(t.text, loc); ap != 0 && hour >= 0 && ampm == 0) {
        ampm = ap;
      } else if (const int m = MonthFromWord(t.text, loc); m != 0 && nameMonth == 0) {
        nameMonth = m;
      } else if (!IsWeekday(t.text) && !(t.text == "T" || t.text == "t")) {
        return DISP_E_TYPEMISMATCH;
      }
    } else {
      const std::string_view sep = t.text;
      if (sep != "/" && sep != "-" && sep != "." && sep != loc.dateSep) {
        return DISP_E_TYPEMISMATCH;
      }
    }
  }
  if (ampm != 0) {
    if (hour < 1 || hour > 12) return DISP_E_TYPEMISMATCH;
    hour = hour % 12 + (ampm == 2 ? 12 : 0);
  } else if (hour > 23) {
    return DISP_E_TYPEMISMATCH;
  }
  int y = 1899, m = 12, d = 30;
  if (!nums.empty() || nameMonth != 0) {
    if (!ResolveDate(nums, nameMonth, loc.dateOrder, &y, &m, &d)) return DISP_E_TYPEMISMATCH;
  } else if (hour < 0) {
    return DISP_E_TYPEMISMATCH;
  }
  double date = 0;
  if (DateFromFields(y, m, d, hour < 0 ? 0 : hour, minute, second, micros, &date).failed()) {
    return DISP_E_TYPEMISMATCH;
  }
  *out = date;
  return S_OK;
}

HRESULT TextFromDate(double date, LCID lcid, std::string* out) {
  DateFields f;
  if (DateToFields(date, &f, DateRounding::kSecond).failed()) return E_INVALIDARG;
  const LocaleInfo& loc = GetLocale(lcid);
  const bool dayZero = f.year == 1899 && f.month == 12 && f.day == 30;
  const bool timeZero = f.hour == 0 && f.minute == 0 && f.second == 0;
  std::string text;
  if (!dayZero || timeZero) {
    if (!(dayZero && timeZero)) text = Expand(loc.shortDate, f, loc);
  }
  if (!timeZero || dayZero) {
    if (!text.empty()) text += ' ';
    text += Expand(loc.longTime, f, loc);
  }
  *out = std::move(text);
  return S_OK;
}

std::string TextFromDate(double date, LCID lcid) {
  std::string text;
  (void)TextFromDate(date, lcid, &text);
  return text;
}

}  // namespace tavrix
