// Searching and splitting texts: InStr, InStrRev, Replace, Split, Join,
// StrComp, Filter.
//
// The search works on UTF-16 code units so positions are the language's. A
// text compare (vbTextCompare) searches the case-folded texts: folding maps
// each character to one of the same UTF-16 length, so a position in the
// folded text is the same position in the original.
#include "platform/safearray.h"
#include "platform/text.h"
#include "vbscript/builtins_internal.h"

namespace tavrix::vbs::builtins {
namespace {

std::u16string Units(std::string_view s, bool fold) {
  return Utf8ToUtf16(fold ? FoldCase(s) : s);
}

// Checks for an interrupt every few thousand steps of a long loop.
HRESULT Poll(BuiltinContext& context, size_t step) {
  return (step & 0xFFF) == 0xFFF ? context.Interrupted() : S_OK;
}

HRESULT PositionArg(BuiltinContext& context, const Variant& arg, int32_t* out) {
  RETURN_IF_FAILED(ArgLong(context, arg, out));
  return *out < 1 ? ScriptError(kErrInvalidCall) : S_OK;
}

// InStr([start, ]string1, string2[, compare]): with three or four arguments
// the first is the start.
HRESULT InStr(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  size_t first = 0;
  int32_t start = 1;
  if (args.size() >= 3) {
    RETURN_IF_FAILED(PositionArg(context, args[0], &start));
    first = 1;
  }
  std::string s1, s2;
  bool null1 = false, null2 = false;
  RETURN_IF_FAILED(ArgTextOrNull(context, args[first], &s1, &null1));
  RETURN_IF_FAILED(ArgTextOrNull(context, args[first + 1], &s2, &null2));
  bool text = false;
  RETURN_IF_FAILED(ArgCompare(context, args, 3, &text));
  if (null1 || null2) {
    *result = Variant::Null();
    return S_OK;
  }
  const std::u16string u1 = Units(s1, text);
  const std::u16string u2 = Units(s2, text);
  const size_t from = static_cast<size_t>(start) - 1;
  int32_t found = 0;
  if (u1.empty()) {
    found = 0;
  } else if (u2.empty()) {
    found = from <= u1.size() ? start : 0;
  } else if (from < u1.size()) {
    const size_t pos = u1.find(u2, from);
    found = pos == std::u16string::npos ? 0 : static_cast<int32_t>(pos + 1);
  }
  *result = Variant::I4(found);
  return S_OK;
}

// InStrRev(string1, string2[, start[, compare]]): the last match that ends at
// or before start (-1: the end).
HRESULT InStrRev(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  std::string s1, s2;
  bool null1 = false, null2 = false;
  RETURN_IF_FAILED(ArgTextOrNull(context, args[0], &s1, &null1));
  RETURN_IF_FAILED(ArgTextOrNull(context, args[1], &s2, &null2));
  int32_t start = -1;
  if (Given(args, 2)) {
    RETURN_IF_FAILED(ArgLong(context, args[2], &start));
    if (start == 0 || start < -1) return ScriptError(kErrInvalidCall);
  }
  bool text = false;
  RETURN_IF_FAILED(ArgCompare(context, args, 3, &text));
  if (null1 || null2) {
    *result = Variant::Null();
    return S_OK;
  }
  const std::u16string u1 = Units(s1, text);
  const std::u16string u2 = Units(s2, text);
  const size_t len1 = u1.size();
  if (start == -1) start = static_cast<int32_t>(len1);
  int32_t found = 0;
  if (len1 == 0 || static_cast<size_t>(start) > len1) {
    found = 0;
  } else if (u2.empty()) {
    found = start;
  } else if (static_cast<size_t>(start) >= u2.size()) {
    const size_t pos = u1.rfind(u2, static_cast<size_t>(start) - u2.size());
    found = pos == std::u16string::npos ? 0 : static_cast<int32_t>(pos + 1);
  }
  *result = Variant::I4(found);
  return S_OK;
}

// Replace(expression, find, replacewith[, start[, count[, compare]]]): the
// result begins at start; count -1 replaces every match.
HRESULT Replace(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  std::string expression, find, with;
  RETURN_IF_FAILED(ArgText(context, args[0], &expression));
  RETURN_IF_FAILED(ArgText(context, args[1], &find));
  RETURN_IF_FAILED(ArgText(context, args[2], &with));
  int32_t start = 1;
  if (Given(args, 3)) RETURN_IF_FAILED(PositionArg(context, args[3], &start));
  int32_t count = -1;
  if (Given(args, 4)) {
    RETURN_IF_FAILED(ArgLong(context, args[4], &count));
    if (count < -1) return ScriptError(kErrInvalidCall);
  }
  bool text = false;
  RETURN_IF_FAILED(ArgCompare(context, args, 5, &text));
  const std::u16string units = Utf8ToUtf16(expression);
  const size_t from = static_cast<size_t>(start) - 1;
  if (from >= units.size()) {
    *result = Variant::Text("");
    return S_OK;
  }
  if (find.empty() || count == 0) {
    *result = Variant::Text(from == 0 ? expression : Utf16Mid(expression, from));
    return S_OK;
  }
  const std::u16string haystack = text ? Units(expression, true) : units;
  const std::u16string needle = Units(find, text);
  const std::u16string replacement = Utf8ToUtf16(with);
  std::u16string out;
  size_t pos = from;
  for (size_t done = 0; count < 0 || done < static_cast<size_t>(count); ++done) {
    RETURN_IF_FAILED(Poll(context, done));
    const size_t hit = haystack.find(needle, pos);
    if (hit == std::u16string::npos) break;
    out.append(units, pos, hit - pos);
    out += replacement;
    RETURN_IF_FAILED(CheckTextSize(out.size()));
    pos = hit + needle.size();
  }
  out.append(units, pos, std::u16string::npos);
  RETURN_IF_FAILED(CheckTextSize(out.size()));
  *result = Variant::Text(Utf16ToUtf8(out));
  return S_OK;
}

// Split(expression[, delimiter[, count[, compare]]]): a zero-based array of
// texts; "" gives an empty array, count -1 every piece, count n at most n
// pieces (the last holds the rest).
HRESULT Split(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  std::string expression, delimiter = " ";
  RETURN_IF_FAILED(ArgText(context, args[0], &expression));
  if (Given(args, 1)) RETURN_IF_FAILED(ArgText(context, args[1], &delimiter));
  int32_t count = -1;
  if (Given(args, 2)) {
    RETURN_IF_FAILED(ArgLong(context, args[2], &count));
    if (count < -1) return ScriptError(kErrInvalidCall);
  }
  bool text = false;
  RETURN_IF_FAILED(ArgCompare(context, args, 3, &text));
  std::vector<Variant> pieces;
  if (expression.empty() || count == 0) {
    *result = MakeVariantArray(std::move(pieces));
    return S_OK;
  }
  if (delimiter.empty()) {
    pieces.push_back(Variant::Text(expression));
    *result = MakeVariantArray(std::move(pieces));
    return S_OK;
  }
  const std::u16string units = Utf8ToUtf16(expression);
  const std::u16string haystack = text ? Units(expression, true) : units;
  const std::u16string needle = Units(delimiter, text);
  const std::u16string_view view(units);
  size_t pos = 0;
  while (count < 0 || pieces.size() + 1 < static_cast<size_t>(count)) {
    RETURN_IF_FAILED(Poll(context, pieces.size()));
    const size_t hit = haystack.find(needle, pos);
    if (hit == std::u16string::npos) break;
    pieces.push_back(Variant::Text(Utf16ToUtf8(view.substr(pos, hit - pos))));
    pos = hit + needle.size();
  }
  pieces.push_back(Variant::Text(Utf16ToUtf8(view.substr(pos))));
  *result = MakeVariantArray(std::move(pieces));
  return S_OK;
}

// The one-dimensional array of an argument: DISP_E_TYPEMISMATCH for a value
// that is none, ScriptError(5) for more dimensions.
HRESULT ListArg(BuiltinContext& context, const Variant& arg, Ref<SafeArray>* out) {
  Variant v;
  RETURN_IF_FAILED(ValueOf(context, arg, &v));
  if (v.IsNull()) return ScriptError(kErrInvalidNull);
  if (!v.IsArray() || !v.arrayRef()) return DISP_E_TYPEMISMATCH;
  if (v.array().dims() != 1) return ScriptError(kErrInvalidCall);
  *out = v.arrayRef();
  return S_OK;
}

// Join(list[, delimiter]): Null and Empty elements join as "".
HRESULT Join(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  Ref<SafeArray> list;
  RETURN_IF_FAILED(ListArg(context, args[0], &list));
  std::string delimiter = " ";
  if (Given(args, 1)) RETURN_IF_FAILED(ArgText(context, args[1], &delimiter));
  std::string out;
  uint64_t units = 0;
  const uint64_t delimiterUnits = Utf16Length(delimiter);
  for (size_t i = 0; i < list->size(); ++i) {
    RETURN_IF_FAILED(Poll(context, i));
    if (i > 0) out += delimiter;
    const Variant element = list->At(i);
    std::string piece;
    bool isNull = false;
    if (!element.IsEmpty()) RETURN_IF_FAILED(ArgTextOrNull(context, element, &piece, &isNull));
    units += Utf16Length(piece) + (i > 0 ? delimiterUnits : 0);
    RETURN_IF_FAILED(CheckTextSize(units));
    out += piece;
  }
  *result = Variant::Text(out);
  return S_OK;
}

// StrComp(string1, string2[, compare]): -1, 0 or 1 as an Integer, by UTF-16
// code unit (of the case-folded texts for a text compare); Null when either
// text is Null.
HRESULT StrComp(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  std::string s1, s2;
  bool null1 = false, null2 = false;
  RETURN_IF_FAILED(ArgTextOrNull(context, args[0], &s1, &null1));
  RETURN_IF_FAILED(ArgTextOrNull(context, args[1], &s2, &null2));
  bool text = false;
  RETURN_IF_FAILED(ArgCompare(context, args, 2, &text));
  if (null1 || null2) {
    *result = Variant::Null();
    return S_OK;
  }
  const int c = Units(s1, text).compare(Units(s2, text));
  *result = Variant::I2(static_cast<int16_t>(c < 0 ? -1 : c > 0 ? 1 : 0));
  return S_OK;
}

// Filter(InputStrings, Value[, Include[, Compare]]): the elements that hold
// Value (or, with Include False, do not), as a zero-based array.
HRESULT Filter(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  Ref<SafeArray> list;
  RETURN_IF_FAILED(ListArg(context, args[0], &list));
  std::string value;
  RETURN_IF_FAILED(ArgText(context, args[1], &value));
  bool include = true;
  if (Given(args, 2)) RETURN_IF_FAILED(ArgBool(context, args[2], &include));
  bool text = false;
  RETURN_IF_FAILED(ArgCompare(context, args, 3, &text));
  const std::u16string needle = Units(value, text);
  std::vector<Variant> kept;
  for (size_t i = 0; i < list->size(); ++i) {
    RETURN_IF_FAILED(Poll(context, i));
    std::string element;
    RETURN_IF_FAILED(ArgText(context, list->At(i), &element));
    const bool holds = Units(element, text).find(needle) != std::u16string::npos;
    if (holds == include) kept.push_back(Variant::Text(element));
  }
  *result = MakeVariantArray(std::move(kept));
  return S_OK;
}

constexpr BuiltinInfo kBuiltins[] = {
    {"InStr", 2, 4, InStr},
    {"InStrRev", 2, 4, InStrRev},
    {"Replace", 3, 6, Replace},
    {"Split", 1, 4, Split},
    {"Join", 1, 2, Join},
    {"StrComp", 2, 3, StrComp},
    {"Filter", 2, 4, Filter},
};

}  // namespace

std::span<const BuiltinInfo> SearchBuiltins() { return kBuiltins; }

}  // namespace tavrix::vbs::builtins
