#include "trigger/backup/backup_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/safearray.h"

namespace tavrix {
namespace {

Variant ArrayOf(VARTYPE et, const std::vector<Variant>& elements, int32_t lower = 0) {
  Ref<SafeArray> a = SafeArray::Create1D(et, static_cast<uint32_t>(elements.size()), lower);
  for (size_t i = 0; i < elements.size(); ++i) EXPECT_EQ(a->Put(i, elements[i]), S_OK);
  return Variant::Array(a);
}

// `levels` variant arrays one inside another, the innermost holding an I2.
Variant NestedVariantArrays(int levels) {
  Variant v = Variant::I2(7);
  for (int i = 0; i < levels; ++i) v = ArrayOf(VT_VARIANT, {v});
  return v;
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

std::string Describe(const TableRow& row) {
  std::string out;
  for (const Variant& v : row) out += DebugString(v) + "; ";
  return out;
}

void ExpectIdenticalRows(const TableRow& got, const TableRow& want) {
  ASSERT_EQ(got.size(), want.size()) << Describe(got);
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_TRUE(got[i].Identical(want[i]))
        << "value " << i << ": got " << DebugString(got[i]) << ", want " << DebugString(want[i]);
  }
}

TEST(BackupCodecTest, EveryWritableTypeReadsBackIdentical) {
  const struct Case {
    const char* name;
    TableRow row;
  } cases[] = {
      {"empty and null", {Variant::Empty(), Variant::Null()}},
      {"small integers",
       {Variant::I1(-128), Variant::UI1(255), Variant::I2(-32768), Variant::UI2(65535)}},
      {"32-bit",
       {Variant::I4(std::numeric_limits<int32_t>::min()), Variant::UI4(0xFFFFFFFFu),
        Variant::R4(-1.5f)}},
      {"64-bit",
       {Variant::I8(std::numeric_limits<int64_t>::min()),
        Variant::UI8(std::numeric_limits<uint64_t>::max()), Variant::R8(-0.0),
        Variant::R8(std::nan("")), Variant::Cy(Currency{-123456789}), Variant::Date(45123.75)}},
      {"booleans", {Variant::Bool(true), Variant::Bool(false)}},
      {"texts",
       {Variant::Text(""), Variant::Text("plain"), Variant::Text("Grüße 温度 \xF0\x9F\x98\x80")}},
      {"number arrays",
       {ArrayOf(VT_I1, {Variant::I1(-1), Variant::I1(2)}), ArrayOf(VT_UI2, {Variant::UI2(0xBEEF)}),
        ArrayOf(VT_R4, {Variant::R4(0.25f), Variant::R4(-3.0f)}),
        ArrayOf(VT_I8, {Variant::I8(-5), Variant::I8(1LL << 60)}),
        ArrayOf(VT_DATE, {Variant::Date(1.5)}), ArrayOf(VT_CY, {Variant::Cy(Currency{10000})}),
        ArrayOf(VT_BOOL, {Variant::Bool(true), Variant::Bool(false)}), ArrayOf(VT_UI1, {})}},
      {"text arrays",
       {ArrayOf(VT_BSTR, {Variant::Text("a"), Variant::Text(""), Variant::Text("ä€")}),
        ArrayOf(VT_BSTR, {})}},
      {"variant arrays",
       {ArrayOf(VT_VARIANT, {Variant::Null(), Variant::Empty(), Variant::Text("x"), Variant::UI8(9),
                             ArrayOf(VT_I2, {Variant::I2(1), Variant::I2(2)}),
                             ArrayOf(VT_VARIANT, {Variant::Text("inner"), Variant::Bool(true)})}),
        ArrayOf(VT_VARIANT, {})}},
      {"deepest nesting", {NestedVariantArrays(kMaxBackupArrayNesting)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes;
    ASSERT_EQ(EncodeBackupRow(c.row, &bytes), S_OK);
    TableRow back;
    ASSERT_EQ(DecodeBackupRow(bytes, &back), S_OK) << Hex(bytes);
    ExpectIdenticalRows(back, c.row);
  }
}

// The layout other tools read: pinned byte for byte.
TEST(BackupCodecTest, KnownBytes) {
  const struct Case {
    TableRow row;
    const char* hex;
  } cases[] = {
      {{Variant::I4(5), Variant::Text("ab")},
       "0A 00 00 00 03 00 01 00 00 00 05 00 00 00 "
       "0E 00 00 00 08 00 01 00 00 00 04 00 00 00 61 00 62 00"},
      // Outside the BMP: a surrogate pair, 4 bytes.
      {{Variant::Text("é\xF0\x9F\x98\x80")},
       "10 00 00 00 08 00 01 00 00 00 06 00 00 00 E9 00 3D D8 00 DE"},
      {{Variant::Null(), Variant::UI8(1)},
       "06 00 00 00 01 00 01 00 00 00 "
       "0E 00 00 00 15 00 01 00 00 00 01 00 00 00 00 00 00 00"},
      {{ArrayOf(VT_BOOL, {Variant::Bool(true), Variant::Bool(false)}, 3)},
       "0A 00 00 00 0B 20 02 00 00 00 FF FF 00 00"},
      {{ArrayOf(VT_BSTR, {Variant::Text("a"), Variant::Text("")})},
       "10 00 00 00 08 20 02 00 00 00 02 00 00 00 61 00 00 00 00 00"},
      {{ArrayOf(VT_VARIANT, {Variant::Null(), Variant::UI1(7)})},
       "13 00 00 00 0C 20 02 00 00 00 01 00 01 00 00 00 11 00 01 00 00 00 07"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hex);
    std::string bytes;
    ASSERT_EQ(EncodeBackupRow(c.row, &bytes), S_OK);
    EXPECT_EQ(Hex(bytes), c.hex);
  }
}

TEST(BackupCodecTest, WhatReadsBackDifferently) {
  // Any boolean pattern is written as -1; a reference as its target; an
  // array of any shape and lower bound as its elements, from 0.
  const SafeArrayBound bounds[] = {{1, 2}, {-1, 2}};
  Ref<SafeArray> grid = SafeArray::Create(VT_I4, bounds);
  for (size_t i = 0; i < 4; ++i)
    ASSERT_EQ(grid->Put(i, Variant::I4(static_cast<int32_t>(i))), S_OK);
  Ref<SafeArray> rawBools = SafeArray::Create1D(VT_BOOL, 1);
  ASSERT_EQ(rawBools->Put(0, Variant::BoolRaw(1)), S_OK);
  Variant target = Variant::Text("t");

  const TableRow row = {Variant::BoolRaw(5), Variant::ByRef(&target), Variant::Array(grid),
                        Variant::Array(rawBools),
                        ArrayOf(VT_I2, {Variant::I2(4), Variant::I2(5)}, -7)};
  const TableRow want = {
      Variant::Bool(true), Variant::Text("t"),
      ArrayOf(VT_I4, {Variant::I4(0), Variant::I4(1), Variant::I4(2), Variant::I4(3)}),
      ArrayOf(VT_BOOL, {Variant::Bool(true)}), ArrayOf(VT_I2, {Variant::I2(4), Variant::I2(5)})};
  std::string bytes;
  ASSERT_EQ(EncodeBackupRow(row, &bytes), S_OK);
  TableRow back;
  ASSERT_EQ(DecodeBackupRow(bytes, &back), S_OK);
  ExpectIdenticalRows(back, want);
  ASSERT_EQ(back.size(), want.size());
  EXPECT_EQ(back[3].array().At(0).boolVal(), VARIANT_TRUE);
}

TEST(BackupCodecTest, UnwritableRowsAreRefused) {
  const struct Case {
    const char* name;
    TableRow row;
  } cases[] = {
      {"no values", {}},
      {"VT_INT", {Variant::I4(1), Variant::Int(1)}},
      {"VT_ERROR", {Variant::Error(5)}},
      {"decimal", {Variant::Dec(Decimal{})}},
      {"object", {Variant::Unknown(Ref<IUnknown>())}},
      {"array of VT_INT", {Variant::Array(SafeArray::Create1D(VT_INT, 1))}},
      {"array of decimals", {Variant::Array(SafeArray::Create1D(VT_DECIMAL, 1))}},
      {"variant array holding an error", {ArrayOf(VT_VARIANT, {Variant::Error(1)})}},
      {"nested too deep", {NestedVariantArrays(kMaxBackupArrayNesting + 1)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = "kept";
    EXPECT_EQ(EncodeBackupRow(c.row, &bytes), E_INVALIDARG);
    EXPECT_EQ(bytes, "kept");
  }
}

TEST(BackupCodecTest, EveryCutOfARowFailsCleanly) {
  const TableRow row = {
      Variant::I4(5),
      Variant::Text("Grüße"),
      ArrayOf(VT_R8, {Variant::R8(1), Variant::R8(2)}),
      ArrayOf(VT_BSTR, {Variant::Text("a"), Variant::Text("bc")}),
      ArrayOf(VT_VARIANT,
              {Variant::Text("x"), ArrayOf(VT_VARIANT, {Variant::I8(1)}), Variant::Null()}),
  };
  std::string bytes;
  ASSERT_EQ(EncodeBackupRow(row, &bytes), S_OK);
  // A cut exactly after a value is a shorter valid row.
  std::vector<size_t> valueEnds;
  for (size_t n = 1; n <= row.size(); ++n) {
    std::string prefix;
    ASSERT_EQ(EncodeBackupRow(TableRow(row.begin(), row.begin() + n), &prefix), S_OK);
    valueEnds.push_back(prefix.size());
  }
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    SCOPED_TRACE(cut);
    TableRow back = {Variant::Text("untouched")};
    const HRESULT hr = DecodeBackupRow(std::string_view(bytes).substr(0, cut), &back);
    const auto end = std::find(valueEnds.begin(), valueEnds.end(), cut);
    if (end != valueEnds.end()) {
      EXPECT_EQ(hr, S_OK);
      EXPECT_EQ(back.size(), static_cast<size_t>(end - valueEnds.begin()) + 1);
    } else {
      EXPECT_EQ(hr, E_INVALIDARG);
      ASSERT_EQ(back.size(), 1u);
      EXPECT_EQ(back[0].text(), "untouched");
    }
  }
}

TEST(BackupCodecTest, EveryByteOverwrittenNeverCrashes) {
  // Whatever a damaged byte turns a length, count or type into, decoding
  // either succeeds or says E_INVALIDARG (the sanitizer builds watch the
  // reads).
  const TableRow row = {ArrayOf(VT_VARIANT, {Variant::Text("ab"), ArrayOf(VT_I4, {Variant::I4(1)}),
                                             ArrayOf(VT_BSTR, {Variant::Text("c")})})};
  std::string bytes;
  ASSERT_EQ(EncodeBackupRow(row, &bytes), S_OK);
  for (size_t i = 0; i < bytes.size(); ++i) {
    for (unsigned char value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
      std::string damaged = bytes;
      damaged[i] = static_cast<char>(value);
      TableRow back;
      const HRESULT hr = DecodeBackupRow(damaged, &back);
      EXPECT_TRUE(hr == S_OK || hr == E_INVALIDARG) << "byte " << i << " = " << int{value};
    }
  }
}

std::string Le32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}
std::string Le16(uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string Record(uint16_t vt, uint32_t count, const std::string& data) {
  return Le16(vt) + Le32(count) + data;
}
std::string Value(const std::string& record) {
  return Le32(static_cast<uint32_t>(record.size())) + record;
}

TEST(BackupCodecTest, DamagedInputIsRefused) {
  std::string tooDeep = Record(VT_EMPTY, 1, "");
  for (int i = 0; i < kMaxBackupArrayNesting + 1; ++i) tooDeep = Record(0x200C, 1, tooDeep);
  std::string deepest = Record(VT_EMPTY, 1, "");
  for (int i = 0; i < kMaxBackupArrayNesting; ++i) deepest = Record(0x200C, 1, deepest);

  const struct Case {
    const char* name;
    std::string bytes;
    HRESULT want;
  } cases[] = {
      {"empty input", "", E_INVALIDARG},
      {"well formed", Value(Record(VT_I2, 1, Le16(3))), S_OK},
      {"deepest nesting", Value(deepest), S_OK},
      {"length past the end", Le32(100) + Record(VT_I2, 1, Le16(3)), E_INVALIDARG},
      {"length 0", Le32(0), E_INVALIDARG},
      {"bytes left inside the length", Value(Record(VT_I2, 1, Le16(3) + "x")), E_INVALIDARG},
      {"length shorter than the record", Le32(7) + Record(VT_I2, 1, Le16(3)), E_INVALIDARG},
      {"stray bytes after the last value", Value(Record(VT_NULL, 1, "")) + "ab", E_INVALIDARG},
      {"decimal", Value(Record(VT_DECIMAL, 1, std::string(16, '\0'))), E_INVALIDARG},
      {"VT_INT", Value(Record(VT_INT, 1, Le32(1))), E_INVALIDARG},
      {"VT_ERROR", Value(Record(VT_ERROR, 1, Le32(1))), E_INVALIDARG},
      {"object", Value(Record(VT_DISPATCH, 1, std::string(8, '\0'))), E_INVALIDARG},
      {"plain VT_VARIANT", Value(Record(VT_VARIANT, 1, Record(VT_NULL, 1, ""))), E_INVALIDARG},
      {"byref", Value(Record(0x4003, 1, Le32(1))), E_INVALIDARG},
      {"array of empties", Value(Record(0x2000, 1, "")), E_INVALIDARG},
      {"array of VT_INT", Value(Record(0x2016, 1, Le32(1))), E_INVALIDARG},
      {"array and byref", Value(Record(0x6003, 1, Le32(1))), E_INVALIDARG},
      {"type 0xFFFF", Value(Record(0xFFFF, 1, "")), E_INVALIDARG},
      {"odd text length", Value(Record(VT_BSTR, 1, Le32(3) + "abc")), E_INVALIDARG},
      {"text length past the end", Value(Record(VT_BSTR, 1, Le32(0xFFFFFFFE) + "ab")),
       E_INVALIDARG},
      {"huge number count", Value(Record(0x2003, 0xFFFFFFFF, Le32(1))), E_INVALIDARG},
      {"largest array count", Value(Record(0x2011, 0x7FFFFFFF, "ab")), E_INVALIDARG},
      {"count one past the bytes", Value(Record(0x2003, 3, Le32(1) + Le32(2))), E_INVALIDARG},
      {"huge text count", Value(Record(0x2008, 0xFFFFFFFF, Le32(0))), E_INVALIDARG},
      {"huge variant count", Value(Record(0x200C, 0x40000000, Record(VT_NULL, 1, ""))),
       E_INVALIDARG},
      {"variant element cut", Value(Record(0x200C, 2, Record(VT_NULL, 1, "") + Le16(1))),
       E_INVALIDARG},
      {"nested too deep", Value(tooDeep), E_INVALIDARG},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TableRow back;
    EXPECT_EQ(DecodeBackupRow(c.bytes, &back), c.want);
  }
}

}  // namespace
}  // namespace tavrix
