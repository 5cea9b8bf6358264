// Column descriptions and materialised result rows.
//
// A column's kind decides how parameters are converted for it (parameter.h) and
// how its values come back as variants. The kind is taken from what the database
// reports: the ODBC SQL type, or for SQLite the declared type text, read with the
// standard SQL meanings so that one schema behaves alike on every database
// (INTEGER is 32 bits, SMALLINT 16, TINYINT 0..255, BIGINT 64).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/variant.h"

namespace tavrix::sql {

enum class ColumnKind : uint8_t {
  kAny,  // no declared type (a SQLite column without one, an expression)
  kBoolean,
  kInteger,  // size: 1 (unsigned 0..255), 2, 4 or 8 bytes, signed
  kReal,     // size: 4 (single) or 8 (double)
  kNumeric,  // exact decimal: precision and scale when known
  kText,     // size: the most characters, 0 unbounded
  kBinary,   // size: the most bytes, 0 unbounded
  kDate,
  kTime,
  kDateTime,
};

struct ColumnInfo {
  std::string name;
  std::string declaredType;  // as the database names it: "SMALLINT", "varchar(32)", "int4"
  ColumnKind kind = ColumnKind::kAny;
  int64_t size = 0;  // see ColumnKind; 0 when unknown or unbounded
  int32_t precision = 0;
  int32_t scale = 0;
  bool nullable = true;
  int16_t sqlType = 0;  // the ODBC SQL type code when the column came through ODBC, else 0
};

// Fills kind, size, precision and scale of *column from a declared type text such
// as "VARCHAR(64)", "NUMERIC(10, 2)", "double precision", "INT8", "timestamp
// without time zone" (no case). A name not in the standard list falls back to
// SQLite's affinity rules: containing INT an 8-byte integer; CHAR, CLOB or TEXT
// unbounded text; BLOB binary; REAL, FLOA or DOUB a double; else numeric. An
// empty text gives kAny.
void ClassifyDeclaredType(std::string_view declared, ColumnInfo* column);

// The smallest and largest value of an integer column (by its size).
int64_t IntegerMin(const ColumnInfo& column) noexcept;
int64_t IntegerMax(const ColumnInfo& column) noexcept;

// The ADO data type number a record set field reports for the column: adSmallInt
// 2, adInteger 3, adSingle 4, adDouble 5, adBoolean 11, adVariant 12,
// adUnsignedTinyInt 17, adBigInt 20, adNumeric 131, adDBDate 133, adDBTime 134,
// adDBTimeStamp 135, adVarWChar 202, adLongVarWChar 203 (unbounded text),
// adVarBinary 204, adLongVarBinary 205 (unbounded binary).
int32_t AdoTypeOf(const ColumnInfo& column) noexcept;

// The variant a fetched value becomes in a column of this kind (the rules of
// RowSet below); for the backends.
Variant VariantFromInteger(const ColumnInfo& column, int64_t value);
Variant VariantFromReal(const ColumnInfo& column, double value);
Variant VariantFromText(const ColumnInfo& column, std::string_view text);
Variant VariantFromBytes(std::string_view bytes);

// The rows of a query, held in memory. Values are row-major: row r, column c is
// values[r * columns.size() + c]. NULL is VT_NULL; integers are VT_I2/VT_I4/VT_I8
// by column size (VT_UI1 for TINYINT, VT_I4 or VT_I8 by value for kAny), reals
// VT_R4/VT_R8, numerics VT_R8, booleans VT_BOOL, texts VT_BSTR, binaries
// VT_ARRAY|VT_UI1, dates, times and date-times VT_DATE (a stored text that is
// no date stays VT_BSTR).
struct RowSet {
  std::vector<ColumnInfo> columns;
  std::vector<Variant> values;
  // Rows inserted, updated or deleted by the statement; -1 when it changes none
  // by its nature (a query).
  int64_t rowsChanged = -1;

  size_t rowCount() const noexcept { return columns.empty() ? 0 : values.size() / columns.size(); }
  const Variant& at(size_t row, size_t column) const noexcept {
    return values[row * columns.size() + column];
  }
};

}  // namespace tavrix::sql
