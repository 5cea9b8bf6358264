// Simple case mapping over a compact table of ranges, and the comparisons
// built on it. ASCII never reaches the tables: names are nearly always ASCII.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/text.h"

namespace tavrix {
namespace {

// Code points first..last map to cp + delta; with stride 2 only those at an
// even distance from `first` do (the alternating upper/lower pairs).
struct CaseRange {
  char32_t first;
  char32_t last;
  int32_t delta;
  uint8_t stride;
};

constexpr CaseRange To(char32_t first, char32_t last, char32_t firstTarget) {
  return {first, last, static_cast<int32_t>(firstTarget) - static_cast<int32_t>(first), 1};
}
constexpr CaseRange One(char32_t cp, char32_t target) { return To(cp, cp, target); }
// Alternating pairs: first -> first + 1, first + 2 -> first + 3, ...
constexpr CaseRange PairsDown(char32_t first, char32_t last) { return {first, last, 1, 2}; }
// Alternating pairs read from the lower side: first -> first - 1, ...
constexpr CaseRange PairsUp(char32_t first, char32_t last) { return {first, last, -1, 2}; }

// Upper (and title) case to lower case.
constexpr CaseRange kLower[] = {
    To(0x0041, 0x005A, 0x0061),  // A-Z
    To(0x00C0, 0x00D6, 0x00E0),
    To(0x00D8, 0x00DE, 0x00F8),
    PairsDown(0x0100, 0x012F),  // U+0130 dotted capital I stays
    PairsDown(0x0132, 0x0137),
    PairsDown(0x0139, 0x0148),
    PairsDown(0x014A, 0x0177),
    One(0x0178, 0x00FF),  // Y with diaeresis
    PairsDown(0x0179, 0x017E),
    PairsDown(0x0370, 0x0373),
    One(0x0376, 0x0377),
    One(0x037F, 0x03F3),
    One(0x0386, 0x03AC),
    To(0x0388, 0x038A, 0x03AD),
    One(0x038C, 0x03CC),
    To(0x038E, 0x038F, 0x03CD),
    To(0x0391, 0x03A1, 0x03B1),
    To(0x03A3, 0x03AB, 0x03C3),
    One(0x03CF, 0x03D7),
    PairsDown(0x03D8, 0x03EF),
    One(0x03F4, 0x03B8),
    One(0x03F7, 0x03F8),
    One(0x03F9, 0x03F2),
    One(0x03FA, 0x03FB),
    To(0x03FD, 0x03FF, 0x037B),
    To(0x0400, 0x040F, 0x0450),
    To(0x0410, 0x042F, 0x0430),
    PairsDown(0x0460, 0x0481),
    PairsDown(0x048A, 0x04BF),
    One(0x04C0, 0x04CF),
    PairsDown(0x04C1, 0x04CE),
    PairsDown(0x04D0, 0x052F),
    PairsDown(0x1E00, 0x1E95),
    One(0x1E9E, 0x00DF),  // capital sharp s
    PairsDown(0x1EA0, 0x1EFF),
    One(0x2126, 0x03C9),  // Ohm sign
    One(0x212A, 0x006B),  // Kelvin sign
    One(0x212B, 0x00E5),  // Angstrom sign
    To(0xFF21, 0xFF3A, 0xFF41),  // fullwidth A-Z
};

// Lower case to upper case.
constexpr CaseRange kUpper[] = {
    To(0x0061, 0x007A, 0x0041),
    One(0x00B5, 0x039C),  // micro sign
    To(0x00E0, 0x00F6, 0x00C0),
    To(0x00F8, 0x00FE, 0x00D8),
    One(0x00FF, 0x0178),
    PairsUp(0x0101, 0x012F),  // U+0131 dotless small i stays
    PairsUp(0x0133, 0x0137),
    PairsUp(0x013A, 0x0148),
    PairsUp(0x014B, 0x0177),
    PairsUp(0x017A, 0x017E),
    One(0x017F, 0x0053),  // long s
    PairsUp(0x0371, 0x0373),
    One(0x0377, 0x0376),
    To(0x037B, 0x037D, 0x03FD),
    One(0x03AC, 0x0386),
    To(0x03AD, 0x03AF, 0x0388),
    To(0x03B1, 0x03C1, 0x0391),
    One(0x03C2, 0x03A3),  // final sigma
    To(0x03C3, 0x03CB, 0x03A3),
    One(0x03CC, 0x038C),
    To(0x03CD, 0x03CE, 0x038E),
    One(0x03D0, 0x0392),
    One(0x03D1, 0x0398),
    One(0x03D5, 0x03A6),
    One(0x03D6, 0x03A0),
    One(0x03D7, 0x03CF),
    PairsUp(0x03D9, 0x03EF),
    One(0x03F0, 0x039A),
    One(0x03F1, 0x03A1),
    One(0x03F2, 0x03F9),
    One(0x03F3, 0x037F),
    One(0x03F5, 0x0395),
    One(0x03F8, 0x03F7),
    One(0x03FB, 0x03FA),
    To(0x0430, 0x044F, 0x0410),
    To(0x0450, 0x045F, 0x0400),
    PairsUp(0x0461, 0x0481),
    PairsUp(0x048B, 0x04BF),
    PairsUp(0x04C2, 0x04CE),
    One(0x04CF, 0x04C0),
    PairsUp(0x04D1, 0x052F),
    PairsUp(0x1E01, 0x1E95),
    One(0x1E9B, 0x1E60),  // long s with dot above
    PairsUp(0x1EA1, 0x1EFF),
    To(0xFF41, 0xFF5A, 0xFF21),
};

// Folding is lowering, except for these lower-case variants that lowering
// leaves alone but that must match their ordinary form.
constexpr CaseRange kFoldExtra[] = {
    One(0x00B5, 0x03BC),  // micro sign -> mu
    One(0x017F, 0x0073),  // long s -> s
    One(0x03C2, 0x03C3),  // final sigma -> sigma
    One(0x03D0, 0x03B2),
    One(0x03D1, 0x03B8),
    One(0x03D5, 0x03C6),
    One(0x03D6, 0x03C0),
    One(0x03F0, 0x03BA),
    One(0x03F1, 0x03C1),
    One(0x03F5, 0x03B5),
    One(0x1E9B, 0x1E61),
};

template <size_t N>
constexpr bool SortedAndDisjoint(const CaseRange (&table)[N]) {
  for (size_t i = 0; i < N; ++i) {
    if (table[i].first > table[i].last) return false;
    if (i > 0 && table[i - 1].last >= table[i].first) return false;
  }
  return true;
}
static_assert(SortedAndDisjoint(kLower));
static_assert(SortedAndDisjoint(kUpper));
static_assert(SortedAndDisjoint(kFoldExtra));

// Returns true and sets *mapped when cp has an entry in the table.
template <size_t N>
bool Lookup(const CaseRange (&table)[N], char32_t cp, char32_t* mapped) {
  const CaseRange* it = std::lower_bound(
      std::begin(table), std::end(table), cp,
      [](const CaseRange& r, char32_t value) { return r.last < value; });
  if (it == std::end(table) || cp < it->first) return false;
  if (it->stride == 2 && (cp - it->first) % 2 != 0) return false;
  *mapped = static_cast<char32_t>(static_cast<int32_t>(cp) + it->delta);
  return true;
}

constexpr char AsciiFold(unsigned char c) {
  return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
}
constexpr char AsciiUpper(unsigned char c) {
  return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
}

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

template <typename AsciiMap, typename CodePointMap>
std::string MapText(std::string_view utf8, AsciiMap ascii, CodePointMap map) {
  std::string out;
  out.reserve(utf8.size());
  if (IsAscii(utf8)) {
    for (char c : utf8) out.push_back(ascii(static_cast<unsigned char>(c)));
    return out;
  }
  for (size_t pos = 0; pos < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[pos]);
    if (c < 0x80) {
      out.push_back(ascii(c));
      ++pos;
      continue;
    }
    Utf8Char ch = DecodeUtf8(utf8, pos);
    if (ch.valid) {
      AppendUtf8(out, map(ch.cp));
    } else {
      out.append(utf8.substr(pos, ch.size));
    }
    pos += ch.size;
  }
  return out;
}

// Ill-formed bytes compare one by one, above every code point, so that two
// different stray bytes never compare equal.
constexpr uint32_t kStrayByteBase = 0x110000;

// The next folded unit of s at *pos (a folded code point or a stray byte).
inline uint32_t NextFolded(std::string_view s, size_t* pos) {
  const unsigned char c = static_cast<unsigned char>(s[*pos]);
  if (c < 0x80) {
    ++*pos;
    return static_cast<unsigned char>(AsciiFold(c));
  }
  Utf8Char ch = DecodeUtf8(s, *pos);
  if (!ch.valid) {
    ++*pos;
    return kStrayByteBase + c;
  }
  *pos += ch.size;
  return FoldCodePoint(ch.cp);
}

}  // namespace

char32_t FoldCodePoint(char32_t cp) {
  if (cp < 0x80) return static_cast<unsigned char>(AsciiFold(static_cast<unsigned char>(cp)));
  char32_t mapped;
  if (Lookup(kFoldExtra, cp, &mapped) || Lookup(kLower, cp, &mapped)) return mapped;
  return cp;
}

char32_t UpperCodePoint(char32_t cp) {
  if (cp < 0x80) return static_cast<unsigned char>(AsciiUpper(static_cast<unsigned char>(cp)));
  char32_t mapped;
  return Lookup(kUpper, cp, &mapped) ? mapped : cp;
}

char32_t LowerCodePoint(char32_t cp) {
  if (cp < 0x80) return static_cast<unsigned char>(AsciiFold(static_cast<unsigned char>(cp)));
  char32_t mapped;
  return Lookup(kLower, cp, &mapped) ? mapped : cp;
}

std::string FoldCase(std::string_view utf8) {
  return MapText(utf8, AsciiFold, FoldCodePoint);
}

std::string ToUpper(std::string_view utf8) {
  return MapText(utf8, AsciiUpper, UpperCodePoint);
}

std::string ToLower(std::string_view utf8) {
  return MapText(utf8, AsciiFold, LowerCodePoint);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size()) == 0) return true;
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const unsigned char ca = static_cast<unsigned char>(a[i]);
    const unsigned char cb = static_cast<unsigned char>(b[j]);
    if ((ca | cb) < 0x80) {
      if (AsciiFold(ca) != AsciiFold(cb)) return false;
      ++i;
      ++j;
      continue;
    }
    if (NextFolded(a, &i) != NextFolded(b, &j)) return false;
  }
  return i == a.size() && j == b.size();
}

int CompareNoCase(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const uint32_t ua = NextFolded(a, &i);
    const uint32_t ub = NextFolded(b, &j);
    if (ua != ub) return ua < ub ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

size_t NoCaseHash::operator()(std::string_view s) const {
  // FNV-1a over the folded units, so that the hash follows EqualsNoCase.
  uint64_t h = 0xcbf29ce484222325ULL;
  for (size_t pos = 0; pos < s.size();) {
    h ^= NextFolded(s, &pos);
    h *= 0x100000001b3ULL;
  }
  return static_cast<size_t>(h ^ (h >> 32));
}

}  // namespace tavrix
