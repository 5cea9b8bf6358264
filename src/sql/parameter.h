// Parameter values: a variant converted to what its column can take.
//
// Statements convert every bound value to the kind of the column the parameter
// stands for, before the database sees it, so a value the column cannot take is
// refused the same way on every database, SQLite included (whose columns would
// otherwise take anything). Machine texts only: numbers and dates in texts are
// read and written without regard to the process locale.
#pragma once

#include <cstdint>
#include <string>

#include "platform/result.h"
#include "platform/variant.h"
#include "sql/column.h"

namespace tavrix::sql {

// A value ready to bind.
struct SqlValue {
  enum class Kind : uint8_t { kNull, kInteger, kReal, kText, kBlob };
  Kind kind = Kind::kNull;
  int64_t integer = 0;  // kInteger
  double real = 0;      // kReal
  std::string bytes;    // kText (UTF-8) or kBlob
};

// Converts `value` for `column` and stores it in *out. Rules by column kind:
//   - Any kind: VT_EMPTY and VT_NULL become NULL, refused with
//     DB_E_INTEGRITYVIOLATION when the column is not nullable. An object gives
//     its default value. A VT_BYREF|VT_VARIANT is followed.
//   - kInteger: change-type to a 64-bit integer (floats round half to even,
//     booleans are -1/0, a date is its day number, a number text is read), then
//     the column's range: TINYINT 0..255, SMALLINT, INTEGER 32-bit, BIGINT.
//   - kBoolean: change-type to a boolean, bound as 1 or 0.
//   - kReal, kNumeric: change-type to a double (a date is its date number); a
//     single column refuses what a single cannot hold, a numeric column with a
//     precision what has more whole digits than precision - scale.
//   - kText: a date becomes "YYYY-MM-DD HH:MM:SS.ffffff"; other values their
//     change-type text (numbers as in en-US, booleans "True"/"False"); refused
//     when longer than the column's size in characters.
//   - kDate, kTime, kDateTime: change-type to a date (a text in the en-US or the
//     "YYYY-MM-DD" order is read, a number is a date number), written as
//     "YYYY-MM-DD HH:MM:SS.ffffff" (kTime: "HH:MM:SS.ffffff").
//   - kBinary: only a VT_ARRAY|VT_UI1 of one dimension (its bytes); refused when
//     longer than the column's size.
//   - kAny: the value in its natural form (integers as integers, floats, currency
//     and decimals as reals, booleans as -1/0, dates in the date-time text,
//     texts, byte arrays as blobs).
//   - Arrays other than byte arrays, and VT_ERROR, are refused for every kind.
// Refusals: DB_E_CANTCONVERTVALUE (a type the column cannot take, a text that is
// no number or date), DB_E_DATAOVERFLOW (out of range or too long),
// DB_E_INTEGRITYVIOLATION (NULL into NOT NULL). *why (when not null) then gets
// a description naming the column; *out is unchanged.
HRESULT ConvertParameter(const Variant& value, const ColumnInfo& column, SqlValue* out,
                         std::string* why = nullptr);

// "YYYY-MM-DD HH:MM:SS.ffffff" of a date, the time rounded to the microsecond
// (the form DATETIME, TIMESTAMP, DATE and text columns receive). E_INVALIDARG for
// a date out of range or NaN.
HRESULT DateTimeText(double date, std::string* out);

// Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS", with an optional fraction of up to
// nine digits (rounded to the microsecond) and an optional "T" instead of the
// space, back into a date. False for any other text.
bool ParseDateTimeText(std::string_view text, double* out);

}  // namespace tavrix::sql
