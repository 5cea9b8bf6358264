#include "sql/column.h"

#include <charconv>
#include <cstring>
#include <limits>

#include "platform/safearray.h"
#include "platform/text.h"
#include "sql/parameter.h"

namespace tavrix::sql {
namespace {

struct KnownType {
  std::string_view name;
  ColumnKind kind;
  int64_t size;
};

// Names compare after upper-casing and joining runs of spaces.
constexpr KnownType kKnownTypes[] = {
    {"TINYINT", ColumnKind::kInteger, 1},
    {"SMALLINT", ColumnKind::kInteger, 2},
    {"INT2", ColumnKind::kInteger, 2},
    {"INT", ColumnKind::kInteger, 4},
    {"INTEGER", ColumnKind::kInteger, 4},
    {"INT4", ColumnKind::kInteger, 4},
    {"MEDIUMINT", ColumnKind::kInteger, 4},
    {"SERIAL", ColumnKind::kInteger, 4},
    {"BIGINT", ColumnKind::kInteger, 8},
    {"INT8", ColumnKind::kInteger, 8},
    {"BIGSERIAL", ColumnKind::kInteger, 8},
    {"BOOLEAN", ColumnKind::kBoolean, 2},
    {"BOOL", ColumnKind::kBoolean, 2},
    {"BIT", ColumnKind::kBoolean, 2},
    {"REAL", ColumnKind::kReal, 4},
    {"FLOAT4", ColumnKind::kReal, 4},
    {"FLOAT", ColumnKind::kReal, 8},
    {"FLOAT8", ColumnKind::kReal, 8},
    {"DOUBLE", ColumnKind::kReal, 8},
    {"DOUBLE PRECISION", ColumnKind::kReal, 8},
    {"NUMERIC", ColumnKind::kNumeric, 0},
    {"DECIMAL", ColumnKind::kNumeric, 0},
    {"NUMBER", ColumnKind::kNumeric, 0},
    {"MONEY", ColumnKind::kNumeric, 0},
    {"SMALLMONEY", ColumnKind::kNumeric, 0},
    {"CHAR", ColumnKind::kText, 0},
    {"CHARACTER", ColumnKind::kText, 0},
    {"NCHAR", ColumnKind::kText, 0},
    {"BPCHAR", ColumnKind::kText, 0},
    {"VARCHAR", ColumnKind::kText, 0},
    {"VARCHAR2", ColumnKind::kText, 0},
    {"NVARCHAR", ColumnKind::kText, 0},
    {"NVARCHAR2", ColumnKind::kText, 0},
    {"CHARACTER VARYING", ColumnKind::kText, 0},
    {"NATIONAL CHARACTER VARYING", ColumnKind::kText, 0},
    {"NATIONAL CHARACTER", ColumnKind::kText, 0},
    {"VARYING CHARACTER", ColumnKind::kText, 0},
    {"NATIVE CHARACTER", ColumnKind::kText, 0},
    {"TEXT", ColumnKind::kText, 0},
    {"NTEXT", ColumnKind::kText, 0},
    {"CLOB", ColumnKind::kText, 0},
    {"STRING", ColumnKind::kText, 0},
    {"BLOB", ColumnKind::kBinary, 0},
    {"BYTEA", ColumnKind::kBinary, 0},
    {"BINARY", ColumnKind::kBinary, 0},
    {"VARBINARY", ColumnKind::kBinary, 0},
    {"IMAGE", ColumnKind::kBinary, 0},
    {"DATE", ColumnKind::kDate, 0},
    {"TIME", ColumnKind::kTime, 0},
    {"TIME WITHOUT TIME ZONE", ColumnKind::kTime, 0},
    {"DATETIME", ColumnKind::kDateTime, 0},
    {"DATETIME2", ColumnKind::kDateTime, 0},
    {"SMALLDATETIME", ColumnKind::kDateTime, 0},
    {"TIMESTAMP", ColumnKind::kDateTime, 0},
    {"TIMESTAMP WITHOUT TIME ZONE", ColumnKind::kDateTime, 0},
    {"TIMESTAMP WITH TIME ZONE", ColumnKind::kDateTime, 0},
    {"TIMESTAMPTZ", ColumnKind::kDateTime, 0},
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Upper-cases ASCII letters and collapses spaces; the result is the type's name.
std::string NormaliseName(std::string_view s) {
  std::string out;
  bool space = false;
  for (char c : s) {
    if (IsSpace(c)) {
      space = !out.empty();
      continue;
    }
    if (space) out += ' ';
    space = false;
    out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return out;
}

int32_t ReadNumber(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  int32_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || v < 0) return 0;
  return v;
}

}  // namespace

void ClassifyDeclaredType(std::string_view declared, ColumnInfo* column) {
  // Split "NAME(a, b) suffix" into the name and its arguments; the words after
  // the parentheses ("varchar(10) binary", "time(3) with time zone") join the name.
  std::string_view args;
  std::string nameText;
  const size_t open = declared.find('(');
  if (open != std::string_view::npos) {
    const size_t close = declared.find(')', open);
    args = declared.substr(
        open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1);
    nameText = std::string(declared.substr(0, open));
    if (close != std::string_view::npos) nameText += declared.substr(close + 1);
  } else {
    nameText = std::string(declared);
  }
  const std::string name = NormaliseName(nameText);
  int32_t a1 = 0;
  int32_t a2 = 0;
  if (!args.empty()) {
    const size_t comma = args.find(',');
    a1 = ReadNumber(args.substr(0, comma));
    if (comma != std::string_view::npos) a2 = ReadNumber(args.substr(comma + 1));
  }

  column->kind = ColumnKind::kAny;
  column->size = 0;
  column->precision = 0;
  column->scale = 0;
  if (name.empty()) return;
  for (const KnownType& t : kKnownTypes) {
    if (name != t.name) continue;
    column->kind = t.kind;
    column->size = t.size;
    switch (t.kind) {
      case ColumnKind::kText:
      case ColumnKind::kBinary: column->size = a1; break;
      case ColumnKind::kNumeric:
        column->precision = a1;
        column->scale = a2;
        break;
      case ColumnKind::kReal:
        // FLOAT(p): up to 24 binary digits fit a single.
        if (name == "FLOAT" && a1 > 0 && a1 <= 24) column->size = 4;
        break;
      default: break;
    }
    return;
  }
  auto has = [&name](std::string_view part) { return name.find(part) != std::string::npos; };
  if (has("INT")) {
    column->kind = ColumnKind::kInteger;
    column->size = 8;
  } else if (has("CHAR") || has("CLOB") || has("TEXT")) {
    column->kind = ColumnKind::kText;
  } else if (has("BLOB")) {
    column->kind = ColumnKind::kBinary;
  } else if (has("REAL") || has("FLOA") || has("DOUB")) {
    column->kind = ColumnKind::kReal;
    column->size = 8;
  } else {
    column->kind = ColumnKind::kNumeric;
    column->precision = a1;
    column->scale = a2;
  }
}

int64_t IntegerMin(const ColumnInfo& column) noexcept {
  switch (column.size) {
    case 1: return 0;
    case 2: return std::numeric_limits<int16_t>::min();
    case 4: return std::numeric_limits<int32_t>::min();
    default: return std::numeric_limits<int64_t>::min();
  }
}

int64_t IntegerMax(const ColumnInfo& column) noexcept {
  switch (column.size) {
    case 1: return 255;
    case 2: return std::numeric_limits<int16_t>::max();
    case 4: return std::numeric_limits<int32_t>::max();
    default: return std::numeric_limits<int64_t>::max();
  }
}

int32_t AdoTypeOf(const ColumnInfo& column) noexcept {
  switch (column.kind) {
    case ColumnKind::kAny: return 12;
    case ColumnKind::kBoolean: return 11;
    case ColumnKind::kInteger:
      switch (column.size) {
        case 1: return 17;
        case 2: return 2;
        case 4: return 3;
        default: return 20;
      }
    case ColumnKind::kReal: return column.size == 4 ? 4 : 5;
    case ColumnKind::kNumeric: return 131;
    case ColumnKind::kText: return column.size > 0 ? 202 : 203;
    case ColumnKind::kBinary: return column.size > 0 ? 204 : 205;
    case ColumnKind::kDate: return 133;
    case ColumnKind::kTime: return 134;
    case ColumnKind::kDateTime: return 135;
  }
  return 12;
}

Variant VariantFromInteger(const ColumnInfo& column, int64_t value) {
  switch (column.kind) {
    case ColumnKind::kBoolean: return Variant::Bool(value != 0);
    case ColumnKind::kReal:
    case ColumnKind::kNumeric: return VariantFromReal(column, static_cast<double>(value));
    case ColumnKind::kDate:
    case ColumnKind::kTime:
    case ColumnKind::kDateTime: return Variant::Date(static_cast<double>(value));
    case ColumnKind::kInteger:
      // A SQLite column holds what it was given; only a value in range takes the
      // column's own width.
      if (value >= IntegerMin(column) && value <= IntegerMax(column)) {
        if (column.size == 1) return Variant::UI1(static_cast<uint8_t>(value));
        if (column.size == 2) return Variant::I2(static_cast<int16_t>(value));
        if (column.size == 8) return Variant::I8(value);
      }
      break;
    default: break;
  }
  if (value >= std::numeric_limits<int32_t>::min() &&
      value <= std::numeric_limits<int32_t>::max()) {
    return Variant::I4(static_cast<int32_t>(value));
  }
  return Variant::I8(value);
}

Variant VariantFromReal(const ColumnInfo& column, double value) {
  switch (column.kind) {
    case ColumnKind::kBoolean: return Variant::Bool(value != 0);
    case ColumnKind::kDate:
    case ColumnKind::kTime:
    case ColumnKind::kDateTime: return Variant::Date(value);
    case ColumnKind::kReal:
      if (column.size == 4) return Variant::R4(static_cast<float>(value));
      return Variant::R8(value);
    default: return Variant::R8(value);
  }
}

Variant VariantFromText(const ColumnInfo& column, std::string_view text) {
  double date = 0;
  switch (column.kind) {
    case ColumnKind::kDate:
    case ColumnKind::kDateTime:
      if (ParseDateTimeText(text, &date)) return Variant::Date(date);
      break;
    case ColumnKind::kTime:
      if (ParseDateTimeText("1899-12-30 " + std::string(text), &date)) return Variant::Date(date);
      break;
    default: break;
  }
  return Variant::Text(text);
}

Variant VariantFromBytes(std::string_view bytes) {
  Ref<SafeArray> a = SafeArray::Create1D(VT_UI1, static_cast<uint32_t>(bytes.size()));
  if (!bytes.empty()) std::memcpy(a->data(), bytes.data(), bytes.size());
  return Variant::Array(std::move(a));
}

}  // namespace tavrix::sql
