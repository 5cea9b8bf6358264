// Text pieces and characters: Len, Left, Right, Mid, LCase, UCase, the trims,
// String, Space, StrReverse, Asc, AscW, Chr, ChrW, Escape, Unescape.
//
// Lengths and positions count UTF-16 code units, as the language's wide
// strings do; a character outside the BMP counts two. Asc and Chr use the
// locale's ANSI code page (932 for Japanese, 1252 otherwise).
#include "platform/text.h"
#include "vbscript/builtins_internal.h"

namespace tavrix::vbs::builtins {
namespace {

uint32_t AnsiCodePage(LCID lcid) { return GetLocale(lcid).lcid == 1041 ? 932 : 1252; }

// The five bytes code page 1252 leaves unassigned map to the C1 controls of
// the same number, as the platform's conversion does.
bool IsCp1252Hole(uint32_t code) {
  return code == 0x81 || code == 0x8D || code == 0x8F || code == 0x90 || code == 0x9D;
}

// The character of an ANSI code; ScriptError(5) outside the code page's range.
HRESULT CharOfAnsi(LCID lcid, int32_t code, std::string* out) {
  const uint32_t page = AnsiCodePage(lcid);
  if (page == 932) {
    if (code < -32768 || code > 65535) return ScriptError(kErrInvalidCall);
    if (code < 0) code += 65536;
  } else if (code < 0 || code > 255) {
    return ScriptError(kErrInvalidCall);
  }
  out->clear();
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
    return S_OK;
  }
  std::string bytes;
  if (code > 0xFF) bytes.push_back(static_cast<char>(code >> 8));
  bytes.push_back(static_cast<char>(code & 0xFF));
  if (ConvertCodePage(bytes, page, 65001, out).succeeded() && !out->empty()) return S_OK;
  if (page == 1252 && IsCp1252Hole(static_cast<uint32_t>(code))) {
    out->clear();
    AppendUtf8(*out, static_cast<char32_t>(code));
    return S_OK;
  }
  return ScriptError(kErrInvalidCall);
}

HRESULT Len(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  std::string s;
  bool isNull = false;
  RETURN_IF_FAILED(ArgTextOrNull(context, args[0], &s, &isNull));
  *result = isNull ? Variant::Null() : Variant::I4(static_cast<int32_t>(Utf16Length(s)));
  return S_OK;
}

// A length or position argument: a whole number, `minimum` or more.
HRESULT CountArg(BuiltinContext& context, const Variant& arg, int32_t minimum, int32_t* out) {
  RETURN_IF_FAILED(ArgLong(context, arg, out));
  return *out < minimum ? ScriptError(kErrInvalidCall) : S_OK;
}

template <bool kLeft>
HRESULT Side(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  std::string s;
  bool isNull = false;
  RETURN_IF_FAILED(ArgTextOrNull(context, args[0], &s, &isNull));
  int32_t count = 0;
  RETURN_IF_FAILED(CountArg(context, args[1], 0, &count));
  if (isNull) {
    *result = Variant::Null();
    return S_OK;
  }
  const size_t n = static_cast<size_t>(count);
  *result = Variant::Text(kLeft ? Utf16Left(s, n) : Utf16Right(s, n));
  return S_OK;
}

HRESULT Mid(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  std::string s;
  bool isNull = false;
  RETURN_IF_FAILED(ArgTextOrNull(context, args[0], &s, &isNull));
  int32_t start = 0;
  RETURN_IF_FAILED(CountArg(context, args[1], 1, &start));
  size_t count = std::string_view::npos;
  if (Given(args, 2)) {
    int32_t length = 0;
    RETURN_IF_FAILED(CountArg(context, args[2], 0, &length));
    count = static_cast<size_t>(length);
  }
  *result = isNull ? Variant::Null()
                   : Variant::Text(Utf16Mid(s, static_cast<size_t>(start) - 1, count));
  return S_OK;
}

// LCase, UCase and the trims: Null gives Null.
template <std::string (*kMap)(std::string_view)>
HRESULT MapText(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  std::string s;
  bool isNull = false;
  RETURN_IF_FAILED(ArgTextOrNull(context, args[0], &s, &isNull));
  *result = isNull ? Variant::Null() : Variant::Text(kMap(s));
  return S_OK;
}

// The trims remove spaces (U+0020) only, as the language does; tabs stay.
std::string TrimLeft(std::string_view s) {
  const size_t first = s.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string() : std::string(s.substr(first));
}
std::string TrimRight(std::string_view s) {
  const size_t last = s.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string() : std::string(s.substr(0, last + 1));
}
std::string TrimBoth(std::string_view s) { return TrimLeft(TrimRight(s)); }

HRESULT Repeat(std::string_view piece, int32_t count, Variant* result) {
  RETURN_IF_FAILED(CheckTextSize(uint64_t{Utf16Length(piece)} * static_cast<uint64_t>(count)));
  std::string out;
  out.reserve(piece.size() * static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) out += piece;
  *result = Variant::Text(out);
  return S_OK;
}

// String(number, character): character is a text (its first character) or an
// ANSI code, taken modulo 256.
HRESULT String(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  Variant number, c;
  RETURN_IF_FAILED(ValueOf(context, args[0], &number));
  RETURN_IF_FAILED(ValueOf(context, args[1], &c));
  if (number.IsNull() || c.IsNull()) {
    *result = Variant::Null();
    return S_OK;
  }
  int32_t count = 0;
  RETURN_IF_FAILED(CountArg(context, number, 0, &count));
  std::string piece;
  if (c.IsText()) {
    if (c.text().empty()) return ScriptError(kErrInvalidCall);
    piece = c.text().substr(0, DecodeUtf8(c.text(), 0).size);
  } else {
    int32_t code = 0;
    RETURN_IF_FAILED(ArgLong(context, c, &code));
    code %= 256;
    if (code < 0) code += 256;
    RETURN_IF_FAILED(CharOfAnsi(context.Locale(), code, &piece));
  }
  return Repeat(piece, count, result);
}

HRESULT Space(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  int32_t count = 0;
  RETURN_IF_FAILED(CountArg(context, args[0], 0, &count));
  return Repeat(" ", count, result);
}

// Reverses by character: a surrogate pair stays a pair (UTF-8 cannot hold
// the lone halves a reversal by code unit would make).
HRESULT StrReverse(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  std::string s;
  RETURN_IF_FAILED(ArgText(context, args[0], &s));
  std::string out(s.size(), '\0');
  size_t pos = 0;
  while (pos < s.size()) {
    const size_t size = DecodeUtf8(s, pos).size;
    s.copy(out.data() + (s.size() - pos - size), size, pos);
    pos += size;
  }
  *result = Variant::Text(out);
  return S_OK;
}

HRESULT FirstChar(BuiltinContext& context, const Variant& arg, std::string* s) {
  RETURN_IF_FAILED(ArgText(context, arg, s));
  return s->empty() ? ScriptError(kErrInvalidCall) : S_OK;
}

// The ANSI code of the first character; "?" (63) for one the code page lacks.
// A double-byte character of code page 932 gives the negative Integer of its
// two bytes.
HRESULT Asc(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  std::string s;
  RETURN_IF_FAILED(FirstChar(context, args[0], &s));
  const Utf8Char c = DecodeUtf8(s, 0);
  int32_t code = '?';
  std::string bytes;
  const uint32_t page = AnsiCodePage(context.Locale());
  if (c.cp < 0x80) {
    code = static_cast<int32_t>(c.cp);
  } else if (c.valid && ConvertCodePage(s.substr(0, c.size), 65001, page, &bytes).succeeded() &&
             !bytes.empty()) {
    const auto b0 = static_cast<uint8_t>(bytes[0]);
    const auto pair = static_cast<int16_t>((b0 << 8) | static_cast<uint8_t>(bytes.back()));
    code = bytes.size() == 1 ? b0 : pair;
  } else if (page == 1252 && IsCp1252Hole(c.cp)) {
    code = static_cast<int32_t>(c.cp);
  }
  *result = Variant::I2(static_cast<int16_t>(code));
  return S_OK;
}

// The first UTF-16 code unit as an Integer (the high surrogate of a pair;
// units from U+8000 on are negative).
HRESULT AscW(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  std::string s;
  RETURN_IF_FAILED(FirstChar(context, args[0], &s));
  const std::u16string units = Utf8ToUtf16(Utf16Left(s, 2));
  *result = Variant::I2(static_cast<int16_t>(units[0]));
  return S_OK;
}

HRESULT Chr(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  int32_t code = 0;
  RETURN_IF_FAILED(ArgLong(context, args[0], &code));
  std::string out;
  RETURN_IF_FAILED(CharOfAnsi(context.Locale(), code, &out));
  *result = Variant::Text(out);
  return S_OK;
}

// A UTF-16 code unit -32768..65535; a lone surrogate cannot live in UTF-8 and
// becomes U+FFFD.
HRESULT ChrW(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  int32_t code = 0;
  RETURN_IF_FAILED(ArgLong(context, args[0], &code));
  if (code < -32768 || code > 65535) return ScriptError(kErrInvalidCall);
  if (code < 0) code += 65536;
  std::string out;
  AppendUtf8(out, static_cast<char32_t>(code));
  *result = Variant::Text(out);
  return S_OK;
}

// Escape: the characters A-Z a-z 0-9 @ * _ + - . / stay; other UTF-16 units
// become %XX below 256 and %uXXXX from there on.
HRESULT Escape(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  std::string s;
  bool isNull = false;
  RETURN_IF_FAILED(ArgTextOrNull(context, args[0], &s, &isNull));
  if (isNull) {
    *result = Variant::Null();
    return S_OK;
  }
  constexpr std::string_view kKept = "@*_+-./";
  const char* hex = "0123456789ABCDEF";
  std::string out;
  for (char16_t unit : Utf8ToUtf16(s)) {
    const bool alnum = (unit >= u'A' && unit <= u'Z') || (unit >= u'a' && unit <= u'z') ||
                       (unit >= u'0' && unit <= u'9');
    if (alnum || (unit < 0x80 && kKept.find(static_cast<char>(unit)) != kKept.npos)) {
      out += static_cast<char>(unit);
    } else if (unit < 0x100) {
      out += {'%', hex[unit >> 4], hex[unit & 0xF]};
    } else {
      out += {'%', 'u', hex[unit >> 12], hex[(unit >> 8) & 0xF], hex[(unit >> 4) & 0xF],
              hex[unit & 0xF]};
    }
  }
  RETURN_IF_FAILED(CheckTextSize(out.size()));
  *result = Variant::Text(out);
  return S_OK;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads `count` hex digits at s[pos]; -1 when they are not all there.
int32_t HexRun(const std::u16string& s, size_t pos, size_t count) {
  if (pos + count > s.size()) return -1;
  int32_t v = 0;
  for (size_t i = 0; i < count; ++i) {
    const int digit = s[pos + i] < 0x80 ? HexValue(static_cast<char>(s[pos + i])) : -1;
    if (digit < 0) return -1;
    v = v * 16 + digit;
  }
  return v;
}

// Unescape: %XX and %uXXXX back to their units; any other % stays.
HRESULT Unescape(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  std::string s;
  bool isNull = false;
  RETURN_IF_FAILED(ArgTextOrNull(context, args[0], &s, &isNull));
  if (isNull) {
    *result = Variant::Null();
    return S_OK;
  }
  const std::u16string in = Utf8ToUtf16(s);
  std::u16string out;
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == u'%') {
      const bool wide = i + 1 < in.size() && in[i + 1] == u'u';
      const int32_t v = wide ? HexRun(in, i + 2, 4) : HexRun(in, i + 1, 2);
      if (v >= 0) {
        out += static_cast<char16_t>(v);
        i += wide ? 5 : 2;
        continue;
      }
    }
    out += in[i];
  }
  *result = Variant::Text(Utf16ToUtf8(out));
  return S_OK;
}

constexpr BuiltinInfo kBuiltins[] = {
    {"Len", 1, 1, Len},
    {"Left", 2, 2, Side<true>},
    {"Right", 2, 2, Side<false>},
    {"Mid", 2, 3, Mid},
    {"LCase", 1, 1, MapText<ToLower>},
    {"UCase", 1, 1, MapText<ToUpper>},
    {"LTrim", 1, 1, MapText<TrimLeft>},
    {"RTrim", 1, 1, MapText<TrimRight>},
    {"Trim", 1, 1, MapText<TrimBoth>},
    {"String", 2, 2, String},
    {"Space", 1, 1, Space},
    {"StrReverse", 1, 1, StrReverse},
    {"Asc", 1, 1, Asc},
    {"AscW", 1, 1, AscW},
    {"Chr", 1, 1, Chr},
    {"ChrW", 1, 1, ChrW},
    {"Escape", 1, 1, Escape},
    {"Unescape", 1, 1, Unescape},
};

}  // namespace

std::span<const BuiltinInfo> StringBuiltins() { return kBuiltins; }

}  // namespace tavrix::vbs::builtins
