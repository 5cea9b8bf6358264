#include "sql/parameter.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/convert.h"
#include "platform/date.h"
#include "platform/safearray.h"

namespace tavrix::sql {
namespace {

// Texts bound to numeric and date columns are machine texts: read as en-US.
constexpr LCID kMachineLcid = 1033;

const char* KindName(ColumnKind kind) {
  switch (kind) {
    case ColumnKind::kAny: return "untyped";
    case ColumnKind::kBoolean: return "boolean";
    case ColumnKind::kInteger: return "integer";
    case ColumnKind::kReal: return "floating-point";
    case ColumnKind::kNumeric: return "numeric";
    case ColumnKind::kText: return "text";
    case ColumnKind::kBinary: return "binary";
    case ColumnKind::kDate: return "date";
    case ColumnKind::kTime: return "time";
    case ColumnKind::kDateTime: return "date-time";
  }
  return "?";
}

HRESULT Refuse(HRESULT code, const ColumnInfo& column, const Variant& value, std::string_view what,
               std::string* why) {
  if (why) {
    std::string type = column.declaredType.empty() ? KindName(column.kind) : column.declaredType;
    *why = "Column '" + column.name + "' (" + type + ") cannot take the " +
           VarTypeName(value.vt()) + " value: " + std::string(what) + ".";
  }
  return code;
}

// Maps a change-type failure to the refusal it stands for.
HRESULT RefuseConversion(HRESULT hr, const ColumnInfo& column, const Variant& value,
                         std::string* why) {
  if (hr == DISP_E_OVERFLOW) return Refuse(DB_E_DATAOVERFLOW, column, value, "out of range", why);
  return Refuse(DB_E_CANTCONVERTVALUE, column, value, "type mismatch", why);
}

size_t CodePoints(std::string_view utf8) {
  size_t n = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++n;
  }
  return n;
}

bool IsByteArray(const Variant& v) {
  return v.vt() == (VT_ARRAY | VT_UI1) && v.array().dims() == 1;
}

std::string BytesOf(const Variant& v) {
  const SafeArray& a = v.array();
  const uint8_t* p = a.data();
  return p ? std::string(reinterpret_cast<const char*>(p), a.size()) : std::string();
}

// A date from any value; text in the "YYYY-MM-DD" forms first, then en-US.
HRESULT ToDate(const Variant& v, double* out) {
  if (v.vt() == VT_BSTR && ParseDateTimeText(v.text(), out)) return S_OK;
  Variant d;
  RETURN_IF_FAILED(ChangeType(v, VT_DATE, &d, 0, kMachineLcid));
  *out = d.date();
  return S_OK;
}

HRESULT ConvertInteger(const Variant& v, const ColumnInfo& column, SqlValue* out,
                       std::string* why) {
  Variant n;
  const HRESULT hr = ChangeType(v, VT_I8, &n, 0, kMachineLcid);
  if (hr.failed()) return RefuseConversion(hr, column, v, why);
  if (n.i8() < IntegerMin(column) || n.i8() > IntegerMax(column)) {
    return Refuse(DB_E_DATAOVERFLOW, column, v, "out of range", why);
  }
  out->kind = SqlValue::Kind::kInteger;
  out->integer = n.i8();
  return S_OK;
}

HRESULT ConvertReal(const Variant& v, const ColumnInfo& column, SqlValue* out, std::string* why) {
  Variant r;
  const HRESULT hr = ChangeType(v, VT_R8, &r, 0, kMachineLcid);
  if (hr.failed()) return RefuseConversion(hr, column, v, why);
  const double d = r.r8();
  if (column.kind == ColumnKind::kReal && column.size == 4 && std::isfinite(d) &&
      std::fabs(d) > std::numeric_limits<float>::max()) {
    return Refuse(DB_E_DATAOVERFLOW, column, v, "out of range", why);
  }
  if (column.kind == ColumnKind::kNumeric) {
    if (!std::isfinite(d)) return Refuse(DB_E_DATAOVERFLOW, column, v, "not a number", why);
    const int whole = column.precision - column.scale;
    if (column.precision > 0 && whole >= 0 && whole <= 300 &&
        std::fabs(d) >= std::pow(10.0, whole)) {
      return Refuse(DB_E_DATAOVERFLOW, column, v, "too many digits", why);
    }
  }
  out->kind = SqlValue::Kind::kReal;
  out->real = d;
  return S_OK;
}

HRESULT ConvertText(const Variant& v, const ColumnInfo& column, SqlValue* out, std::string* why) {
  std::string text;
  if (v.vt() == VT_BSTR) {
    text = v.text();
  } else if (v.vt() == VT_DATE) {
    if (DateTimeText(v.date(), &text).failed()) {
      return Refuse(DB_E_DATAOVERFLOW, column, v, "date out of range", why);
    }
  } else {
    Variant t;
    const HRESULT hr = ChangeType(v, VT_BSTR, &t, VARIANT_ALPHABOOL, kMachineLcid);
    if (hr.failed()) return RefuseConversion(hr, column, v, why);
    text = t.text();
  }
  if (column.size > 0 && CodePoints(text) > static_cast<size_t>(column.size)) {
    return Refuse(DB_E_DATAOVERFLOW, column, v,
                  "longer than " + std::to_string(column.size) + " characters", why);
  }
  out->kind = SqlValue::Kind::kText;
  out->bytes = std::move(text);
  return S_OK;
}

HRESULT ConvertDate(const Variant& v, const ColumnInfo& column, SqlValue* out, std::string* why) {
  double date = 0;
  const HRESULT hr = ToDate(v, &date);
  if (hr.failed()) return RefuseConversion(hr, column, v, why);
  std::string text;
  if (DateTimeText(date, &text).failed()) {
    return Refuse(DB_E_DATAOVERFLOW, column, v, "date out of range", why);
  }
  if (column.kind == ColumnKind::kTime) text.erase(0, 11);
  out->kind = SqlValue::Kind::kText;
  out->bytes = std::move(text);
  return S_OK;
}

HRESULT ConvertNatural(const Variant& v, const ColumnInfo& column, SqlValue* out,
                       std::string* why) {
  switch (v.vt()) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_BOOL: {
      Variant n;
      const HRESULT hr = ChangeType(v, VT_I8, &n);
      if (hr.failed()) return RefuseConversion(hr, column, v, why);
      out->kind = SqlValue::Kind::kInteger;
      out->integer = n.i8();
      return S_OK;
    }
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL: return ConvertReal(v, column, out, why);
    case VT_DATE:
    case VT_BSTR: return ConvertText(v, column, out, why);
    default: return Refuse(DB_E_CANTCONVERTVALUE, column, v, "type mismatch", why);
  }
}

}  // namespace

HRESULT ConvertParameter(const Variant& value, const ColumnInfo& column, SqlValue* out,
                         std::string* why) {
  Variant v;
  if (value.Deref().IsObject()) {
    const HRESULT hr = DefaultValue(value, &v);
    if (hr.failed()) return Refuse(DB_E_CANTCONVERTVALUE, column, value, "no default value", why);
  } else {
    v = value.Deref();
  }
  if (v.IsEmpty() || v.IsNull()) {
    if (!column.nullable) {
      return Refuse(DB_E_INTEGRITYVIOLATION, column, v, "the column does not allow NULL", why);
    }
    *out = SqlValue{};
    return S_OK;
  }
  if (v.vt() == VT_ERROR || (v.IsArray() && !IsByteArray(v))) {
    return Refuse(DB_E_CANTCONVERTVALUE, column, v, "type mismatch", why);
  }
  if (IsByteArray(v)) {
    if (column.kind != ColumnKind::kBinary && column.kind != ColumnKind::kAny) {
      return Refuse(DB_E_CANTCONVERTVALUE, column, v, "type mismatch", why);
    }
    std::string bytes = BytesOf(v);
    if (column.size > 0 && bytes.size() > static_cast<size_t>(column.size)) {
      return Refuse(DB_E_DATAOVERFLOW, column, v,
                    "longer than " + std::to_string(column.size) + " bytes", why);
    }
    out->kind = SqlValue::Kind::kBlob;
    out->integer = 0;
    out->bytes = std::move(bytes);
    return S_OK;
  }

  SqlValue result;
  HRESULT hr = S_OK;
  switch (column.kind) {
    case ColumnKind::kInteger: hr = ConvertInteger(v, column, &result, why); break;
    case ColumnKind::kBoolean: {
      Variant b;
      hr = ChangeType(v, VT_BOOL, &b, 0, kMachineLcid);
      if (hr.failed()) return RefuseConversion(hr, column, v, why);
      result.kind = SqlValue::Kind::kInteger;
      result.integer = b.isTrue() ? 1 : 0;
      break;
    }
    case ColumnKind::kReal:
    case ColumnKind::kNumeric: hr = ConvertReal(v, column, &result, why); break;
    case ColumnKind::kText: hr = ConvertText(v, column, &result, why); break;
    case ColumnKind::kDate:
    case ColumnKind::kTime:
    case ColumnKind::kDateTime: hr = ConvertDate(v, column, &result, why); break;
    case ColumnKind::kBinary: return Refuse(DB_E_CANTCONVERTVALUE, column, v, "type mismatch", why);
    case ColumnKind::kAny: hr = ConvertNatural(v, column, &result, why); break;
  }
  if (hr.failed()) return hr;
  *out = std::move(result);
  return S_OK;
}

HRESULT DateTimeText(double date, std::string* out) {
  DateFields f;
  RETURN_IF_FAILED(DateToFields(date, &f, DateRounding::kMicrosecond));
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%06d", f.year, f.month, f.day,
                f.hour, f.minute, f.second, f.microsecond);
  *out = buf;
  return S_OK;
}

bool ParseDateTimeText(std::string_view text, double* out) {
  size_t pos = 0;
  auto digits = [&](size_t count, int* value) {
    if (pos + count > text.size()) return false;
    int v = 0;
    for (size_t i = 0; i < count; ++i) {
      const char c = text[pos + i];
      if (c < '0' || c > '9') return false;
      v = v * 10 + (c - '0');
    }
    pos += count;
    *value = v;
    return true;
  };
  auto expect = [&](char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
  };
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, micros = 0;
  if (!digits(4, &y) || !expect('-') || !digits(2, &mo) || !expect('-') || !digits(2, &d)) {
    return false;
  }
  if (pos < text.size()) {
    if (text[pos] != ' ' && text[pos] != 'T') return false;
    ++pos;
    if (!digits(2, &h) || !expect(':') || !digits(2, &mi) || !expect(':') || !digits(2, &s)) {
      return false;
    }
    if (pos < text.size()) {
      if (!expect('.')) return false;
      // Up to nine digits; the seventh decides the rounding to microseconds.
      int64_t frac = 0;
      int count = 0;
      while (pos < text.size() && count < 9 && text[pos] >= '0' && text[pos] <= '9') {
        frac = frac * 10 + (text[pos++] - '0');
        ++count;
      }
      if (count == 0 || pos != text.size()) return false;
      while (count < 9) {
        frac *= 10;
        ++count;
      }
      micros = static_cast<int>((frac + 500) / 1000);
    }
  }
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return false;
  // Fields roll over ("02-30" would be in March); a text naming no real day is no date.
  double day = 0;
  DateFields back;
  if (DateFromFields(y, mo, d, &day).failed() || DateToFields(day, &back).failed() ||
      back.day != d) {
    return false;
  }
  double date = 0;
  if (DateFromFields(y, mo, d, h, mi, s, micros, &date).failed()) return false;
  *out = date;
  return true;
}

}  // namespace tavrix::sql
