// Number and boolean texts: the text side of ChangeType, under the locale's
// separators. Never uses the process locale.
#include <charconv>
#include <cmath>
#include <limits>

#include "platform/convert.h"
#include "platform/currency.h"
#include "platform/decimal.h"
#include "platform/locale.h"

namespace tavrix {
namespace {

// A number text reduced to (-1)^negative * digits * 10^exponent, or for the
// "&H"/"&O" forms to a signed integer.
struct NumberText {
  bool negative = false;
  std::string digits;
  int exponent = 0;
  bool isBits = false;
  int64_t bits = 0;
};

bool IsSpaceAt(std::string_view s, size_t i, size_t* len) {
  const auto c = static_cast<unsigned char>(s[i]);
  if (c == ' ' || (c >= '\t' && c <= '\r')) {
    *len = 1;
    return true;
  }
  if (s.substr(i, 2) == "\xC2\xA0") {  // no-break space
    *len = 2;
    return true;
  }
  if (s.substr(i, 3) == "\xE2\x80\xAF") {  // narrow no-break space
    *len = 3;
    return true;
  }
  return false;
}

std::string_view Trim(std::string_view s) {
  size_t len = 0;
  while (!s.empty() && IsSpaceAt(s, 0, &len)) s.remove_prefix(len);
  for (;;) {
    bool trimmed = false;
    for (size_t n = 1; n <= 3 && n <= s.size(); ++n) {
      if (IsSpaceAt(s, s.size() - n, &len) && len == n) {
        s.remove_suffix(n);
        trimmed = true;
        break;
      }
    }
    if (!trimmed) return s;
  }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "&H1F", "&O17", "&17" after trimming.
HRESULT ParseBits(std::string_view s, NumberText* out) {
  s.remove_prefix(1);
  unsigned base = 8;
  if (!s.empty() && (s[0] == 'H' || s[0] == 'h')) {
    base = 16;
    s.remove_prefix(1);
  } else if (!s.empty() && (s[0] == 'O' || s[0] == 'o')) {
    s.remove_prefix(1);
  }
  if (s.empty()) return DISP_E_TYPEMISMATCH;
  uint64_t v = 0;
  for (char c : s) {
    unsigned d;
    if (IsDigit(c)) {
      d = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      d = static_cast<unsigned>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      d = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return DISP_E_TYPEMISMATCH;
    }
    if (d >= base) return DISP_E_TYPEMISMATCH;
    if (v > (std::numeric_limits<uint64_t>::max() >> (base == 16 ? 4 : 3))) return DISP_E_OVERFLOW;
    v = v * base + d;
  }
  out->isBits = true;
  if (v <= 0xFFFF) {
    out->bits = static_cast<int16_t>(v);
  } else if (v <= 0xFFFFFFFF) {
    out->bits = static_cast<int32_t>(v);
  } else {
    out->bits = static_cast<int64_t>(v);
  }
  return S_OK;
}

bool IsThousandsAt(std::string_view s, size_t i, const LocaleInfo& loc, size_t* len) {
  if (s.substr(i, loc.thousandSep.size()) == loc.thousandSep) {
    *len = loc.thousandSep.size();
    return true;
  }
  // Where the separator is a kind of space, any space between digits will do.
  const bool spaceSep = loc.thousandSep == "\xC2\xA0" || loc.thousandSep == " " ||
                        loc.thousandSep == "\xE2\x80\xAF";
  return spaceSep && IsSpaceAt(s, i, len);
}

HRESULT ParseNumber(std::string_view text, LCID lcid, NumberText* out) {
  const LocaleInfo& loc = GetLocale(lcid);
  std::string_view s = Trim(text);
  if (!s.empty() && s[0] == '&') return ParseBits(s, out);
  NumberText n;
  bool parens = false;
  if (!s.empty() && s.front() == '(' ) {
    if (s.back() != ')') return DISP_E_TYPEMISMATCH;
    parens = true;
    s = Trim(s.substr(1, s.size() - 2));
  }
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    n.negative = s.front() == '-';
    s = Trim(s.substr(1));
  } else if (!s.empty() && (s.back() == '-' || s.back() == '+')) {
    n.negative = s.back() == '-';
    s = Trim(s.substr(0, s.size() - 1));
  }
  if (parens) {
    if (n.negative) return DISP_E_TYPEMISMATCH;
    n.negative = true;
  }
  size_t i = 0;
  bool anyDigit = false;
  int fracDigits = 0;
  size_t len = 0;
  while (i < s.size()) {
    if (IsDigit(s[i])) {
      n.digits += s[i++];
      anyDigit = true;
    } else if (anyDigit && IsThousandsAt(s, i, loc, &len) && i + len < s.size() &&
               IsDigit(s[i + len])) {
      i += len;
    } else {
      break;
    }
  }
  if (s.substr(i, loc.decimalSep.size()) == loc.decimalSep) {
    i += loc.decimalSep.size();
    while (i < s.size() && IsDigit(s[i])) {
      n.digits += s[i++];
      ++fracDigits;
      anyDigit = true;
    }
  }
  if (!anyDigit) return DISP_E_TYPEMISMATCH;
  int64_t exp = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool expNeg = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) expNeg = s[i++] == '-';
    if (i >= s.size() || !IsDigit(s[i])) return DISP_E_TYPEMISMATCH;
    while (i < s.size() && IsDigit(s[i])) {
      if (exp < 1'000'000) exp = exp * 10 + (s[i] - '0');
      ++i;
    }
    if (expNeg) exp = -exp;
  }
  if (i != s.size()) return DISP_E_TYPEMISMATCH;
  // Leading zeros carry no value; dropping them keeps the digit count honest.
  const size_t nz = n.digits.find_first_not_of('0');
  n.digits.erase(0, nz == std::string::npos ? n.digits.size() : nz);
  n.exponent = static_cast<int>(exp - fracDigits);
  *out = std::move(n);
  return S_OK;
}

HRESULT ToDecimal(const NumberText& n, Decimal* out) {
  if (n.isBits) {
    *out = DecFromI8(n.bits);
    return S_OK;
  }
  return DecFromDigits(n.negative, n.digits, n.exponent, out);
}

// Mantissa digits and decimal exponent of |v| rounded to `precision`
// significant digits, trailing zeros dropped.
void SignificantDigits(double v, int precision, std::string* digits, int* exp10) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v),
                                 std::chars_format::scientific, precision - 1);
  const std::string_view text(buf, static_cast<size_t>(res.ptr - buf));
  const size_t e = text.find('e');
  digits->clear();
  for (char c : text.substr(0, e)) {
    if (c != '.') *digits += c;
  }
  while (digits->size() > 1 && digits->back() == '0') digits->pop_back();
  *exp10 = 0;
  std::from_chars(text.data() + e + 1 + (text[e + 1] == '+'), text.data() + text.size(), *exp10);
}

// printf's %G rules at `precision` digits, with the locale's separator.
std::string FormatReal(double v, int precision, LCID lcid) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  if (v == 0) return "0";
  const std::string_view sep = GetLocale(lcid).decimalSep;
  std::string digits;
  int exp10 = 0;
  SignificantDigits(v, precision, &digits, &exp10);
  std::string out = v < 0 ? "-" : "";
  const int n = static_cast<int>(digits.size());
  if (exp10 < -4 || exp10 >= precision) {
    out += digits[0];
    if (n > 1) {
      out += sep;
      out.append(digits, 1);
    }
    out += exp10 < 0 ? "E-" : "E+";
    const int a = exp10 < 0 ? -exp10 : exp10;
    if (a < 10) out += '0';
    out += std::to_string(a);
  } else if (exp10 < 0) {
    out += '0';
    out += sep;
    out.append(static_cast<size_t>(-exp10 - 1), '0');
    out += digits;
  } else if (n <= exp10 + 1) {
    out += digits;
    out.append(static_cast<size_t>(exp10 + 1 - n), '0');
  } else {
    out.append(digits, 0, static_cast<size_t>(exp10 + 1));
    out += sep;
    out.append(digits, static_cast<size_t>(exp10 + 1));
  }
  return out;
}

bool IsTrueWord(std::string_view s, const LocaleInfo& loc) {
  return LocaleWordEquals(s, "True") || LocaleWordEquals(s, loc.trueWord);
}

bool IsFalseWord(std::string_view s, const LocaleInfo& loc) {
  return LocaleWordEquals(s, "False") || LocaleWordEquals(s, loc.falseWord);
}

}  // namespace

HRESULT R8FromStr(std::string_view text, LCID lcid, uint32_t, double* out) {
  NumberText n;
  RETURN_IF_FAILED(ParseNumber(text, lcid, &n));
  if (n.isBits) {
    *out = static_cast<double>(n.bits);
    return S_OK;
  }
  if (n.digits.empty()) {
    *out = 0;
    return S_OK;
  }
  const std::string canon = n.digits + "e" + std::to_string(n.exponent);
  double v = 0;
  const auto res = std::from_chars(canon.data(), canon.data() + canon.size(), v);
  if (res.ec == std::errc::result_out_of_range) {
    // Past the double range on the big side; on the small side it reads as 0.
    if (static_cast<int64_t>(n.digits.size()) + n.exponent > 0) return DISP_E_OVERFLOW;
    v = 0;
  } else if (res.ec != std::errc()) {
    return DISP_E_TYPEMISMATCH;
  }
  *out = n.negative ? -v : v;
  return S_OK;
}

HRESULT I8FromStr(std::string_view text, LCID lcid, uint32_t, int64_t* out) {
  NumberText n;
  RETURN_IF_FAILED(ParseNumber(text, lcid, &n));
  if (n.isBits) {
    *out = n.bits;
    return S_OK;
  }
  Decimal d;
  RETURN_IF_FAILED(ToDecimal(n, &d));
  return DecToI8(d, out);
}

HRESULT UI8FromStr(std::string_view text, LCID lcid, uint32_t, uint64_t* out) {
  NumberText n;
  RETURN_IF_FAILED(ParseNumber(text, lcid, &n));
  Decimal d;
  RETURN_IF_FAILED(ToDecimal(n, &d));
  return DecToUI8(d, out);
}

HRESULT CyFromStr(std::string_view text, LCID lcid, uint32_t, Currency* out) {
  NumberText n;
  RETURN_IF_FAILED(ParseNumber(text, lcid, &n));
  Decimal d;
  RETURN_IF_FAILED(ToDecimal(n, &d));
  return DecToCy(d, out);
}

HRESULT DecFromStr(std::string_view text, LCID lcid, uint32_t, Decimal* out) {
  NumberText n;
  RETURN_IF_FAILED(ParseNumber(text, lcid, &n));
  return ToDecimal(n, out);
}

HRESULT BoolFromStr(std::string_view text, LCID lcid, uint32_t flags, VARIANT_BOOL* out) {
  const LocaleInfo& loc = GetLocale(lcid);
  const std::string_view s = Trim(text);
  if (IsTrueWord(s, loc)) {
    *out = VARIANT_TRUE;
    return S_OK;
  }
  if (IsFalseWord(s, loc)) {
    *out = VARIANT_FALSE;
    return S_OK;
  }
  double v = 0;
  RETURN_IF_FAILED(R8FromStr(s, lcid, flags, &v));
  *out = v != 0 ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

std::string TextFromR8(double v, LCID lcid) { return FormatReal(v, 15, lcid); }

std::string TextFromR4(float v, LCID lcid) { return FormatReal(v, 7, lcid); }

std::string TextFromCy(Currency v, LCID lcid) {
  const bool neg = v.int64 < 0;
  const uint64_t mag = neg ? 0 - static_cast<uint64_t>(v.int64) : static_cast<uint64_t>(v.int64);
  std::string out = neg ? "-" : "";
  out += std::to_string(mag / Currency::kScale);
  uint64_t frac = mag % Currency::kScale;
  if (frac != 0) {
    std::string f = std::to_string(frac);
    f.insert(0, 4 - f.size(), '0');
    while (f.back() == '0') f.pop_back();
    out += GetLocale(lcid).decimalSep;
    out += f;
  }
  return out;
}

std::string TextFromDec(const Decimal& v, LCID lcid) {
  return DecToText(v, GetLocale(lcid).decimalSep);
}

std::string TextFromBool(VARIANT_BOOL v, uint16_t flags, LCID lcid) {
  if (flags & VARIANT_LOCALBOOL) {
    const LocaleInfo& loc = GetLocale(lcid);
    return std::string(v ? loc.trueWord : loc.falseWord);
  }
  if (flags & VARIANT_ALPHABOOL) return v ? "True" : "False";
  return v ? "-1" : "0";
}

}  // namespace tavrix
