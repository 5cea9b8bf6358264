#include "platform/text.h"

namespace tavrix {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char c, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
  return c >= lo && c <= hi;
}

// UTF-16 units one decoded character takes.
size_t UnitsOf(const Utf8Char& ch) { return ch.cp >= 0x10000 ? 2 : 1; }

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

struct Boundary {
  size_t byte;  // offset in the UTF-8 text
  size_t unit;  // UTF-16 units before it
};

// The first character boundary at or after UTF-16 unit position `units`: the
// position itself, or the end of the pair that the position cuts through.
Boundary BoundaryAtUnit(std::string_view utf8, size_t units) {
  Boundary b{0, 0};
  while (b.byte < utf8.size() && b.unit < units) {
    Utf8Char ch = DecodeUtf8(utf8, b.byte);
    b.unit += UnitsOf(ch);
    b.byte += ch.size;
  }
  return b;
}

// Byte offset of the end of the longest prefix, from byte `from` on, whose
// characters fit into `units` UTF-16 units.
size_t EndWithin(std::string_view utf8, size_t from, size_t units) {
  size_t pos = from;
  size_t used = 0;
  while (pos < utf8.size()) {
    Utf8Char ch = DecodeUtf8(utf8, pos);
    if (units - used < UnitsOf(ch)) break;
    used += UnitsOf(ch);
    pos += ch.size;
  }
  return pos;
}

}  // namespace

Utf8Char DecodeUtf8(std::string_view s, size_t pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) return {lead, 1, true};
  // The allowed range of the second byte narrows for E0, ED, F0 and F4 so
  // that overlong forms, surrogates and values past U+10FFFF are rejected.
  size_t need;
  char32_t cp;
  unsigned char lo = 0x80;
  unsigned char hi = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    cp = lead & 0x0F;
    if (lead == 0xE0) lo = 0xA0;
    if (lead == 0xED) hi = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    cp = lead & 0x07;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;
  } else {
    return {kReplacement, 1, false};
  }
  size_t taken = 1;
  for (size_t k = 0; k < need; ++k) {
    const size_t i = pos + taken;
    if (i >= s.size() || !IsContinuation(byte(i), lo, hi)) {
      return {kReplacement, static_cast<uint8_t>(taken), false};
    }
    cp = (cp << 6) | (byte(i) & 0x3F);
    ++taken;
    lo = 0x80;
    hi = 0xBF;
  }
  return {cp, static_cast<uint8_t>(taken), true};
}

void AppendUtf8(std::string& out, char32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacement;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[pos]);
    if (c < 0x80) {
      out.push_back(c);
      ++pos;
      continue;
    }
    Utf8Char ch = DecodeUtf8(utf8, pos);
    AppendUtf16(out, ch.cp);
    pos += ch.size;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t u = utf16[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      u = 0x10000 + ((u - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(out, u);  // a lone surrogate becomes U+FFFD there
  }
  return out;
}

size_t Utf16Length(std::string_view utf8) {
  size_t units = 0;
  for (size_t pos = 0; pos < utf8.size();) {
    if (static_cast<unsigned char>(utf8[pos]) < 0x80) {
      ++units;
      ++pos;
      continue;
    }
    Utf8Char ch = DecodeUtf8(utf8, pos);
    units += UnitsOf(ch);
    pos += ch.size;
  }
  return units;
}

std::string Utf16Left(std::string_view utf8, size_t count) {
  return std::string(utf8.substr(0, EndWithin(utf8, 0, count)));
}

std::string Utf16Right(std::string_view utf8, size_t count) {
  const size_t total = Utf16Length(utf8);
  if (count >= total) return std::string(utf8);
  // The suffix starts at unit total - count; a pair cut there is left out.
  return std::string(utf8.substr(BoundaryAtUnit(utf8, total - count).byte));
}

std::string Utf16Mid(std::string_view utf8, size_t start, size_t count) {
  const Boundary begin = BoundaryAtUnit(utf8, start);
  if (begin.unit < start) return {};  // start is past the end
  // When `start` cuts a pair, the pair's second unit lies inside the range
  // [start, start + count) although the character is left out.
  const size_t skipped = begin.unit - start;
  if (count <= skipped) return {};
  const size_t end = EndWithin(utf8, begin.byte, count - skipped);
  return std::string(utf8.substr(begin.byte, end - begin.byte));
}

std::string Utf16LeBytes(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  std::string out;
  out.reserve(units.size() * 2);
  for (char16_t u : units) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

}  // namespace tavrix
