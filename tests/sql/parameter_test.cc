#include "sql/parameter.h"

#include <gtest/gtest.h>

#include "platform/date.h"
#include "platform/safearray.h"
#include "sql/column.h"

namespace tavrix::sql {
namespace {

ColumnInfo Column(const char* declared, bool nullable = true) {
  ColumnInfo c;
  c.name = "c";
  c.declaredType = declared;
  c.nullable = nullable;
  ClassifyDeclaredType(declared, &c);
  return c;
}

double Date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int us = 0) {
  double v = 0;
  EXPECT_EQ(DateFromFields(y, mo, d, h, mi, s, us, &v), S_OK);
  return v;
}

Variant Bytes(std::initializer_list<uint8_t> bytes) {
  Ref<SafeArray> a = SafeArray::Create1D(VT_UI1, static_cast<uint32_t>(bytes.size()));
  size_t i = 0;
  for (uint8_t b : bytes) a->data()[i++] = b;
  return Variant::Array(a);
}

TEST(ColumnTest, DeclaredTypesGiveKindSizeAndScale) {
  struct Case {
    const char* declared;
    ColumnKind kind;
    int64_t size;
    int32_t precision;
    int32_t scale;
  };
  const Case cases[] = {
      {"", ColumnKind::kAny, 0, 0, 0},
      {"INTEGER", ColumnKind::kInteger, 4, 0, 0},
      {"int4", ColumnKind::kInteger, 4, 0, 0},
      {"SmallInt", ColumnKind::kInteger, 2, 0, 0},
      {"TINYINT", ColumnKind::kInteger, 1, 0, 0},
      {"bigint", ColumnKind::kInteger, 8, 0, 0},
      {"UNSIGNED BIG INT", ColumnKind::kInteger, 8, 0, 0},  // SQLite's affinity rule
      {"VARCHAR(64)", ColumnKind::kText, 64, 0, 0},
      {"character  varying ( 12 )", ColumnKind::kText, 12, 0, 0},
      {"NVARCHAR2(5)", ColumnKind::kText, 5, 0, 0},
      {"TEXT", ColumnKind::kText, 0, 0, 0},
      {"NUMERIC(10, 2)", ColumnKind::kNumeric, 0, 10, 2},
      {"decimal", ColumnKind::kNumeric, 0, 0, 0},
      {"REAL", ColumnKind::kReal, 4, 0, 0},
      {"float(53)", ColumnKind::kReal, 8, 0, 0},
      {"double precision", ColumnKind::kReal, 8, 0, 0},
      {"BOOLEAN", ColumnKind::kBoolean, 2, 0, 0},
      {"DATETIME", ColumnKind::kDateTime, 0, 0, 0},
      {"timestamp(3) without time zone", ColumnKind::kDateTime, 0, 0, 0},
      {"DATE", ColumnKind::kDate, 0, 0, 0},
      {"TIME", ColumnKind::kTime, 0, 0, 0},
      {"BLOB", ColumnKind::kBinary, 0, 0, 0},
      {"bytea", ColumnKind::kBinary, 0, 0, 0},
      {"VARBINARY(16)", ColumnKind::kBinary, 16, 0, 0},
      {"MYSTERY", ColumnKind::kNumeric, 0, 0, 0},
  };
  for (const Case& c : cases) {
    ColumnInfo col;
    ClassifyDeclaredType(c.declared, &col);
    EXPECT_EQ(col.kind, c.kind) << c.declared;
    EXPECT_EQ(col.size, c.size) << c.declared;
    EXPECT_EQ(col.precision, c.precision) << c.declared;
    EXPECT_EQ(col.scale, c.scale) << c.declared;
  }
}

TEST(ParameterTest, ValuesConvertToTheColumnKind) {
  struct Case {
    const char* declared;
    Variant value;
    SqlValue::Kind kind;
    int64_t integer;
    double real;
    const char* bytes;
  };
  using K = SqlValue::Kind;
  const Case cases[] = {
      {"INTEGER", Variant::Text("42"), K::kInteger, 42, 0, ""},
      {"INTEGER", Variant::R8(2.5), K::kInteger, 2, 0, ""},  // half to even
      {"INTEGER", Variant::R8(3.5), K::kInteger, 4, 0, ""},
      {"INTEGER", Variant::Bool(true), K::kInteger, -1, 0, ""},
      {"SMALLINT", Variant::I4(-32768), K::kInteger, -32768, 0, ""},
      {"TINYINT", Variant::I4(255), K::kInteger, 255, 0, ""},
      {"BIGINT", Variant::I8(INT64_MAX), K::kInteger, INT64_MAX, 0, ""},
      {"BOOLEAN", Variant::I4(7), K::kInteger, 1, 0, ""},
      {"BOOLEAN", Variant::Text("False"), K::kInteger, 0, 0, ""},
      {"DOUBLE", Variant::Text("1.5E3"), K::kReal, 0, 1500, ""},
      {"NUMERIC(6,2)", Variant::Cy(Currency{99999999}), K::kReal, 0, 9999.9999, ""},
      {"VARCHAR(3)", Variant::Text("äöü"), K::kText, 0, 0, "äöü"},  // characters, not bytes
      {"TEXT", Variant::R8(1.5), K::kText, 0, 0, "1.5"},
      {"TEXT", Variant::Bool(false), K::kText, 0, 0, "False"},
      {"BLOB", Bytes({1, 0, 255}), K::kBlob, 0, 0, "\x01\x00\xff"},
      {"", Variant::UI4(4000000000u), K::kInteger, 4000000000LL, 0, ""},
      {"", Variant::R4(0.5f), K::kReal, 0, 0.5, ""},
      {"", Variant::Text("x"), K::kText, 0, 0, "x"},
      {"", Bytes({7}), K::kBlob, 0, 0, "\x07"},
      {"INTEGER", Variant(), K::kNull, 0, 0, ""},
      {"TEXT", Variant::Null(), K::kNull, 0, 0, ""},
  };
  for (const Case& c : cases) {
    SqlValue out;
    ASSERT_EQ(ConvertParameter(c.value, Column(c.declared), &out), S_OK)
        << c.declared << " " << DebugString(c.value);
    EXPECT_EQ(out.kind, c.kind) << c.declared << " " << DebugString(c.value);
    if (c.kind == K::kInteger) {
      EXPECT_EQ(out.integer, c.integer) << c.declared;
    }
    if (c.kind == K::kReal) {
      EXPECT_DOUBLE_EQ(out.real, c.real) << c.declared;
    }
    if (c.kind == K::kText) {
      EXPECT_EQ(out.bytes, c.bytes) << c.declared;
    }
    if (c.kind == K::kBlob) {
      EXPECT_EQ(out.bytes, std::string(c.bytes, out.bytes.size()));
    }
  }
}

TEST(ParameterTest, DatesAreTextForDateAndTextColumnsAndNumbersElsewhere) {
  // 13:14:15.9995 must stay in its second: the microsecond is 999500.
  const double date = Date(2024, 2, 29, 13, 14, 15, 999500);
  struct Case {
    const char* declared;
    SqlValue::Kind kind;
    const char* text;
  };
  const Case cases[] = {
      {"DATETIME", SqlValue::Kind::kText, "2024-02-29 13:14:15.999500"},
      {"TIMESTAMP", SqlValue::Kind::kText, "2024-02-29 13:14:15.999500"},
      {"DATE", SqlValue::Kind::kText, "2024-02-29 13:14:15.999500"},
      {"VARCHAR(26)", SqlValue::Kind::kText, "2024-02-29 13:14:15.999500"},
      {"", SqlValue::Kind::kText, "2024-02-29 13:14:15.999500"},
      {"TIME", SqlValue::Kind::kText, "13:14:15.999500"},
      {"DOUBLE", SqlValue::Kind::kReal, ""},
      {"NUMERIC", SqlValue::Kind::kReal, ""},
  };
  for (const Case& c : cases) {
    SqlValue out;
    ASSERT_EQ(ConvertParameter(Variant::Date(date), Column(c.declared), &out), S_OK) << c.declared;
    EXPECT_EQ(out.kind, c.kind) << c.declared;
    if (c.kind == SqlValue::Kind::kText) {
      EXPECT_EQ(out.bytes, c.text) << c.declared;
    }
    if (c.kind == SqlValue::Kind::kReal) {
      EXPECT_DOUBLE_EQ(out.real, date) << c.declared;
    }
  }
  // An integer column takes the date number rounded like any number (13:14 is past
  // noon); texts and numbers reach date columns too.
  SqlValue out;
  ASSERT_EQ(ConvertParameter(Variant::Date(date), Column("INTEGER"), &out), S_OK);
  EXPECT_EQ(out.integer, 45352);
  ASSERT_EQ(ConvertParameter(Variant::Text("2024-02-29T01:02:03"), Column("TIMESTAMP"), &out),
            S_OK);
  EXPECT_EQ(out.bytes, "2024-02-29 01:02:03.000000");
  ASSERT_EQ(ConvertParameter(Variant::Text("2/29/2024 1:02 PM"), Column("DATETIME"), &out), S_OK);
  EXPECT_EQ(out.bytes, "2024-02-29 13:02:00.000000");
  ASSERT_EQ(ConvertParameter(Variant::R8(2.5), Column("DATETIME"), &out), S_OK);
  EXPECT_EQ(out.bytes, "1900-01-01 12:00:00.000000");
}

TEST(ParameterTest, ValuesTheColumnCannotTakeAreRefused) {
  struct Case {
    const char* declared;
    bool nullable;
    Variant value;
    HRESULT result;
  };
  const Case cases[] = {
      {"INTEGER", true, Variant::Text("abc"), DB_E_CANTCONVERTVALUE},
      {"INTEGER", true, Variant::Text(""), DB_E_CANTCONVERTVALUE},
      {"INTEGER", true, Variant::R8(2147483648.0), DB_E_DATAOVERFLOW},
      {"SMALLINT", true, Variant::I4(70000), DB_E_DATAOVERFLOW},
      {"SMALLINT", true, Variant::I4(-32769), DB_E_DATAOVERFLOW},
      {"TINYINT", true, Variant::I4(-1), DB_E_DATAOVERFLOW},
      {"TINYINT", true, Variant::I4(256), DB_E_DATAOVERFLOW},
      {"BIGINT", true, Variant::UI8(UINT64_MAX), DB_E_DATAOVERFLOW},
      {"REAL", true, Variant::R8(1e39), DB_E_DATAOVERFLOW},
      {"NUMERIC(6,2)", true, Variant::R8(10000.0), DB_E_DATAOVERFLOW},
      {"DOUBLE", true, Variant::Text("1,5x"), DB_E_CANTCONVERTVALUE},
      {"VARCHAR(3)", true, Variant::Text("abcd"), DB_E_DATAOVERFLOW},
      {"TIMESTAMP", true, Variant::Text("not a date"), DB_E_CANTCONVERTVALUE},
      {"DATE", true, Variant::Text("2023-02-29"), DB_E_CANTCONVERTVALUE},
      {"TIMESTAMP", true, Variant::R8(1e9), DB_E_DATAOVERFLOW},
      {"BLOB", true, Variant::Text("bytes"), DB_E_CANTCONVERTVALUE},
      {"VARBINARY(2)", true, Bytes({1, 2, 3}), DB_E_DATAOVERFLOW},
      {"TEXT", true, Bytes({1}), DB_E_CANTCONVERTVALUE},
      {"INTEGER", false, Variant::Null(), DB_E_INTEGRITYVIOLATION},
      {"TEXT", false, Variant(), DB_E_INTEGRITYVIOLATION},
      {"TEXT", true, Variant::Error(5), DB_E_CANTCONVERTVALUE},
      {"", true, Variant::Array(SafeArray::Create1D(VT_I4, 2)), DB_E_CANTCONVERTVALUE},
  };
  for (const Case& c : cases) {
    SqlValue out;
    out.kind = SqlValue::Kind::kText;
    out.bytes = "unchanged";
    std::string why;
    ColumnInfo col = Column(c.declared, c.nullable);
    col.name = "item_value";
    EXPECT_EQ(ConvertParameter(c.value, col, &out, &why), c.result)
        << c.declared << " " << DebugString(c.value);
    EXPECT_EQ(out.bytes, "unchanged");
    EXPECT_NE(why.find("item_value"), std::string::npos) << why;
  }
}

TEST(ParameterTest, DateTextsReadBackExactly) {
  double d = 0;
  ASSERT_TRUE(ParseDateTimeText("2024-02-29 13:14:15.999500", &d));
  EXPECT_EQ(d, Date(2024, 2, 29, 13, 14, 15, 999500));
  ASSERT_TRUE(ParseDateTimeText("2024-02-29", &d));
  EXPECT_EQ(d, Date(2024, 2, 29));
  ASSERT_TRUE(ParseDateTimeText("1999-12-31T23:59:59.9999996", &d));  // rounds into 2000
  EXPECT_EQ(d, Date(2000, 1, 1));
  ASSERT_TRUE(ParseDateTimeText("1850-06-01 06:00:00", &d));
  EXPECT_EQ(d, Date(1850, 6, 1, 6));
  for (const char* bad :
       {"", "2024-2-29", "2024-02-30", "2024-02-29 24:00:00", "2024-02-29 1:02:03",
        "2024-02-29 01:02:03.", "2024-02-29 01:02:03+00", "29.02.2024"}) {
    EXPECT_FALSE(ParseDateTimeText(bad, &d)) << bad;
  }
  std::string text;
  EXPECT_EQ(DateTimeText(Date(1850, 6, 1, 6), &text), S_OK);
  EXPECT_EQ(text, "1850-06-01 06:00:00.000000");
  EXPECT_EQ(DateTimeText(1e9, &text), E_INVALIDARG);
}

}  // namespace
}  // namespace tavrix::sql
