// Typed texts: the grammar.
//
//   typed-text   = type-number "," value
//   type-number  = decimal digits, blanks (spaces, tabs) around them allowed
//
// Scalars. Blanks around a value text are ignored, except for texts.
//   0 EMPTY, 1 NULL  nothing:                    "0,"  "1,"
//   2 I2, 3 I4, 16 I1, 17 UI1, 18 UI2, 19 UI4, 20 I8, 21 UI8, 22 INT, 23 UINT, 10 ERROR
//                    decimal integer, optional sign:  "3,-42"  "21,+7"
//   11 BOOL          "True" / "False" (any case). A number gives that 16-bit pattern:
//                    "11,-1" is True, "11,0" False, "11,1" keeps the pattern 1.
//   4 R4, 5 R8       shortest decimal that reads back to the same bits:
//                    "5,0.1"  "5,1e+300"  "5,-0"  "5,5e-324";
//                    "Infinity", "-Infinity" (also "inf", any case);
//                    "NaN" is the quiet NaN, "-NaN" the same with the sign bit, and
//                    "NaN(0x<hex bits>)" any other NaN, sign included in the bits.
//   6 CY             exact decimal, at most four decimals (more only as zeros):
//                    "6,-922337203685477.5808"
//   14 DECIMAL       every digit of the mantissa; the number of decimals is the scale
//                    (0..28), so "14,1.50" and "14,1.5" differ; "14,-0" keeps the sign.
//   7 DATE           readable:  YYYY-MM-DD[ hh:mm[:ss[.f]]]  (year 0100..9999, f 1..9
//                               digits; "T" may stand for the space): "7,2026-12-09
//                               23:30:13.5"
//                    exact:     readable ";" number, e.g. "7,1899-12-30 12:00:00.000;-0.5"
//                    number:    "7,46365.5"
//                    A number is an R8 value text: days since 1899-12-30 with the time of
//                    day as the fraction, counted by magnitude before that day (-1.25 is
//                    1899-12-29 06:00). In the exact form the number is the value and the
//                    readable part is only for the reader. The text form writes the
//                    readable form with the fewest second decimals that read back to the
//                    same bits; the exact form when none does (times finer than 1 ns,
//                    -0.5, -0.0); the number alone outside the years 100..9999, for
//                    infinities and NaNs.
//   8 BSTR           the whole rest of the typed text, as it is: "8,hello, world" is
//                    "hello, world"; "8," is the empty text. Bytes pass unchanged (UTF-8).
//
// Arrays. type-number = 8192 + element type (VT_ARRAY | type). Element types: the scalar
// types above but EMPTY and NULL, and 12 VARIANT (8204).
//   value     = [ shape ] | shape "," elements | elements
//   shape     = "[" dim { "," dim } "]"          dim = lower ".." upper (integers; upper is
//               lower - 1 for an empty dimension), leftmost dimension first
//   elements  = element { "," element }         in storage order: the leftmost index
//               varies fastest
//   element   = [blanks] ( quoted | bare | braced ) [blanks]
//   quoted    = '"' { any byte but '"' | '""' } '"'     ('""' stands for one '"')
//   bare      = bytes up to the next , " { or } , without the blanks at either end; the
//               first element starts with "[" only as a shape
//   braced    = "{" type-number "," ( token | value ) "}"  only in VARIANT arrays: an
//               element with its own type. token is a quoted or bare value text of that
//               type, or nothing ("{0,}" EMPTY, "{1,}" NULL, "{8,}" the empty text);
//               an array type takes a value as above (nesting up to 16 levels).
// Without a shape the array has one dimension from 0; a value with no elements (only
// blanks, or a shape alone) is an array with no elements (one empty text is 8200,"").
// In BSTR and VARIANT arrays a quoted or bare element is a text; in other arrays it is a
// value text of the element type. Element counts must match the shape.
//
// Examples: "8204,1,2,abc" three texts; "8204,{3,1},{5,2.5},abc, {0,}" an I4, an R8, a
// text and EMPTY; "8195,[1..2,0..1],11,21,12,22" a 2x2 I4 array, a(1,0)=11, a(2,0)=21,
// a(1,1)=12; 8200,"a, b","say ""hi""" two texts (a, b and say "hi"); "8195,[1..0]" no
// elements, lower bound 1.
//
// The text form quotes a text element when it is empty, has blanks at either end,
// contains a comma, quote, brace or control byte, or starts with "[".
#include "kivdata/typed_text.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <utility>
#include <vector>

#include "kivdata/scalar_text.h"
#include "platform/safearray.h"

namespace tavrix {
namespace {

using kivdata::AppendScalarText;
using kivdata::HasScalarText;
using kivdata::ParseScalarText;
using kivdata::TrimBlanks;

constexpr int kMaxDepth = 16;

bool IsArrayElementType(VARTYPE t) {
  return t == VT_VARIANT || (t != VT_EMPTY && t != VT_NULL && HasScalarText(t));
}

HRESULT ParseTypeNumber(std::string_view field, VARTYPE* vt) {
  field = TrimBlanks(field);
  unsigned v = 0;
  const auto r = std::from_chars(field.data(), field.data() + field.size(), v);
  if (field.empty() || r.ec != std::errc() || r.ptr != field.data() + field.size() ||
      v > 0xFFFF) {
    return E_INVALIDARG;
  }
  const auto t = static_cast<VARTYPE>(v);
  const bool ok = (t & VT_ARRAY) ? IsArrayElementType(static_cast<VARTYPE>(t & ~VT_ARRAY))
                                 : HasScalarText(t);
  if (!ok) return E_INVALIDARG;
  *vt = t;
  return S_OK;
}

// A cursor over the value of an array typed text.
class ArrayReader {
 public:
  explicit ArrayReader(std::string_view s) : s_(s) {}

  bool AtEnd() const { return pos_ >= s_.size(); }

  // Reads an array value up to the end of the text (braced false) or up to the
  // closing brace of an element (braced true; the brace is left for the caller).
  HRESULT ArrayValue(VARTYPE elem, int depth, bool braced, Variant* out) {
    SkipBlanks();
    std::vector<SafeArrayBound> bounds;
    std::vector<Variant> elements;
    bool shaped = false;
    bool list = !AtTerminator(braced);
    if (At('[')) {
      RETURN_IF_FAILED(Shape(&bounds));
      shaped = true;
      SkipBlanks();
      list = At(',');
      if (list) ++pos_;
    }
    while (list) {
      Variant e;
      RETURN_IF_FAILED(Element(elem, depth, &e));
      elements.push_back(std::move(e));
      SkipBlanks();
      list = At(',');
      if (list) ++pos_;
    }
    if (!AtTerminator(braced)) return E_INVALIDARG;
    if (!shaped) bounds.push_back({0, static_cast<uint32_t>(elements.size())});
    uint64_t total = 1;  // capped at 2^32 so that it cannot wrap; counts are below 2^32
    for (const SafeArrayBound& b : bounds) total = std::min(total * b.count, uint64_t{1} << 32);
    if (total != elements.size()) return E_INVALIDARG;
    Ref<SafeArray> a = SafeArray::Create(elem, bounds);
    if (!a) return E_INVALIDARG;
    for (size_t i = 0; i < elements.size(); ++i) RETURN_IF_FAILED(a->Put(i, elements[i]));
    *out = Variant::Array(std::move(a));
    return S_OK;
  }

 private:
  bool At(char c) const { return !AtEnd() && s_[pos_] == c; }
  bool AtTerminator(bool braced) const { return braced ? At('}') : AtEnd(); }

  void SkipBlanks() {
    while (!AtEnd() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
  }

  HRESULT Integer(int64_t* out) {
    SkipBlanks();
    if (At('+')) ++pos_;
    const char* begin = s_.data() + pos_;
    const auto r = std::from_chars(begin, s_.data() + s_.size(), *out);
    if (r.ec != std::errc()) return E_INVALIDARG;
    pos_ += static_cast<size_t>(r.ptr - begin);
    SkipBlanks();
    return S_OK;
  }

  HRESULT Shape(std::vector<SafeArrayBound>* bounds) {
    ++pos_;  // '['
    for (;;) {
      int64_t lower = 0, upper = 0;
      RETURN_IF_FAILED(Integer(&lower));
      if (!At('.') || pos_ + 1 >= s_.size() || s_[pos_ + 1] != '.') return E_INVALIDARG;
      pos_ += 2;
      RETURN_IF_FAILED(Integer(&upper));
      if (lower < INT32_MIN || lower > INT32_MAX || upper < lower - 1 || upper > INT32_MAX) {
        return E_INVALIDARG;
      }
      bounds->push_back({static_cast<int32_t>(lower), static_cast<uint32_t>(upper - lower + 1)});
      if (At(']')) break;
      if (!At(',')) return E_INVALIDARG;
      ++pos_;
    }
    ++pos_;  // ']'
    return S_OK;
  }

  // A quoted or bare token; leading blanks are already skipped.
  HRESULT Token(std::string* token) {
    if (!At('"')) {
      const size_t start = pos_;
      while (!AtEnd() && s_[pos_] != ',' && s_[pos_] != '"' && s_[pos_] != '{' &&
             s_[pos_] != '}') {
        ++pos_;
      }
      token->assign(TrimBlanks(s_.substr(start, pos_ - start)));
      return S_OK;
    }
    ++pos_;
    for (;;) {
      const size_t quote = s_.find('"', pos_);
      if (quote == std::string_view::npos) return E_INVALIDARG;
      token->append(s_.substr(pos_, quote - pos_));
      pos_ = quote + 1;
      if (!At('"')) return S_OK;
      token->push_back('"');
      ++pos_;
    }
  }

  HRESULT Element(VARTYPE elem, int depth, Variant* out) {
    SkipBlanks();
    if (At('{')) return elem == VT_VARIANT ? Braced(depth, out) : E_INVALIDARG;
    std::string token;
    RETURN_IF_FAILED(Token(&token));
    if (elem == VT_VARIANT || elem == VT_BSTR) {
      *out = Variant::Text(token);
      return S_OK;
    }
    return ParseScalarText(elem, token, out);
  }

  HRESULT Braced(int depth, Variant* out) {
    if (depth + 1 > kMaxDepth) return E_INVALIDARG;
    ++pos_;  // '{'
    const size_t comma = s_.find(',', pos_);
    if (comma == std::string_view::npos) return E_INVALIDARG;
    VARTYPE vt = VT_EMPTY;
    RETURN_IF_FAILED(ParseTypeNumber(s_.substr(pos_, comma - pos_), &vt));
    pos_ = comma + 1;
    if (vt & VT_ARRAY) {
      RETURN_IF_FAILED(ArrayValue(static_cast<VARTYPE>(vt & ~VT_ARRAY), depth + 1, true, out));
    } else {
      SkipBlanks();
      std::string token;
      if (At('{')) return E_INVALIDARG;
      if (!At('}')) RETURN_IF_FAILED(Token(&token));
      RETURN_IF_FAILED(ParseScalarText(vt, token, out));
      SkipBlanks();
    }
    if (!At('}')) return E_INVALIDARG;
    ++pos_;
    return S_OK;
  }

  std::string_view s_;
  size_t pos_ = 0;
};

// The text form.

bool NeedsQuotes(std::string_view t) {
  if (t.empty() || t.front() == '[' || t.front() == ' ' || t.front() == '\t' ||
      t.back() == ' ' || t.back() == '\t') {
    return true;
  }
  for (const char c : t) {
    const auto u = static_cast<unsigned char>(c);
    if (c == ',' || c == '"' || c == '{' || c == '}' || u < 0x20 || u == 0x7F) return true;
  }
  return false;
}

void AppendTextToken(std::string_view t, std::string* out) {
  if (!NeedsQuotes(t)) {
    out->append(t);
    return;
  }
  out->push_back('"');
  for (const char c : t) {
    if (c == '"') out->push_back('"');
    out->push_back(c);
  }
  out->push_back('"');
}

void AppendTypeNumber(VARTYPE vt, std::string* out) {
  char buf[8];
  const auto r = std::to_chars(buf, buf + sizeof buf, unsigned{vt});
  out->append(buf, r.ptr);
  out->push_back(',');
}

HRESULT AppendArrayValue(const SafeArray& a, int depth, std::string* out);

HRESULT AppendVariantElement(const Variant& e, int depth, std::string* out) {
  if (e.vt() == VT_BSTR) {
    AppendTextToken(e.text(), out);
    return S_OK;
  }
  if (e.IsByRef() || depth + 1 > kMaxDepth) return TVX_E_UNSUPPORTED_TYPE;
  out->push_back('{');
  AppendTypeNumber(e.vt(), out);
  if (e.IsArray()) {
    RETURN_IF_FAILED(AppendArrayValue(e.array(), depth + 1, out));
  } else {
    RETURN_IF_FAILED(AppendScalarText(e, out));
  }
  out->push_back('}');
  return S_OK;
}

HRESULT AppendArrayValue(const SafeArray& a, int depth, std::string* out) {
  const VARTYPE elem = a.elementType();
  if (!IsArrayElementType(elem)) return TVX_E_UNSUPPORTED_TYPE;
  if (a.dims() != 1 || a.lbound(0) != 0) {
    out->push_back('[');
    for (uint32_t d = 0; d < a.dims(); ++d) {
      char buf[24];
      if (d != 0) out->push_back(',');
      out->append(buf, std::to_chars(buf, buf + sizeof buf, a.lbound(d)).ptr);
      out->append("..");
      out->append(buf, std::to_chars(buf, buf + sizeof buf, a.ubound(d)).ptr);
    }
    out->push_back(']');
    if (a.size() != 0) out->push_back(',');
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (i != 0) out->push_back(',');
    if (elem == VT_BSTR) {
      AppendTextToken(a.texts()[i], out);
    } else if (elem == VT_VARIANT) {
      RETURN_IF_FAILED(AppendVariantElement(a.variants()[i], depth, out));
    } else {
      RETURN_IF_FAILED(AppendScalarText(a.At(i), out));
    }
  }
  return S_OK;
}

}  // namespace

HRESULT ParseTypedText(std::string_view text, Variant* out) {
  if (out == nullptr) return E_POINTER;
  const size_t comma = text.find(',');
  if (comma == std::string_view::npos) return E_INVALIDARG;
  VARTYPE vt = VT_EMPTY;
  RETURN_IF_FAILED(ParseTypeNumber(text.substr(0, comma), &vt));
  const std::string_view rest = text.substr(comma + 1);
  Variant v;
  if (vt & VT_ARRAY) {
    ArrayReader reader(rest);
    RETURN_IF_FAILED(reader.ArrayValue(static_cast<VARTYPE>(vt & ~VT_ARRAY), 0, false, &v));
  } else {
    RETURN_IF_FAILED(ParseScalarText(vt, rest, &v));
  }
  *out = std::move(v);
  return S_OK;
}

HRESULT FormatTypedText(const Variant& value, std::string* out) {
  if (out == nullptr) return E_POINTER;
  const Variant& v = value.Deref();
  if (v.IsByRef()) return TVX_E_UNSUPPORTED_TYPE;
  std::string text;
  AppendTypeNumber(v.vt(), &text);
  if (v.IsArray()) {
    RETURN_IF_FAILED(AppendArrayValue(v.array(), 0, &text));
  } else if (HasScalarText(v.vt())) {
    RETURN_IF_FAILED(AppendScalarText(v, &text));
  } else {
    return TVX_E_UNSUPPORTED_TYPE;
  }
  *out = std::move(text);
  return S_OK;
}

}  // namespace tavrix
