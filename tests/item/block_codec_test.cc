#include "item/block_codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "platform/safearray.h"

namespace tavrix {
namespace {

PieceLayout Piece(VARTYPE type, int64_t offset, int32_t order, int64_t count = 0,
                  int64_t unit = 0) {
  PieceLayout p;
  p.type = type;
  p.offset = offset;
  p.byteOrder = order;
  p.count = count;
  p.unitSize = unit;
  return p;
}

PieceLayout Bit(VARTYPE type, int64_t offset, int32_t order, int64_t position) {
  PieceLayout p = Piece(type, offset, order);
  p.bit = true;
  p.bitPosition = position;
  return p;
}

Variant Array(VARTYPE type, std::vector<Variant> values) {
  Ref<SafeArray> a = SafeArray::Create1D(type, static_cast<uint32_t>(values.size()));
  for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(a->Put(i, values[i]), S_OK);
  return Variant::Array(a);
}

TEST(BlockCodecTest, DecodesPiecesOfABlock) {
  const std::vector<uint8_t> block = {0x00, 0x01, 0x12, 0x34, 'B', 'A', 'D', 'C', 0x80, 0x00};
  struct Case {
    const char* name;
    PieceLayout piece;
    HRESULT hr;
    Variant value;
  } cases[] = {
      {"I2 reversed", Piece(VT_I2, 2, 0), S_OK, Variant::I2(0x1234)},
      {"I2 host order", Piece(VT_I2, 2, 1), S_OK, Variant::I2(0x3412)},
      {"UI4 reversed", Piece(VT_UI4, 0, 0), S_OK, Variant::UI4(0x00011234)},
      {"text in words of 2", Piece(VT_BSTR, 4, 0, 0, 4), S_OK, Variant::Text("ABCD")},
      {"text unreversed", Piece(VT_BSTR, 4, 1, 0, 4), S_OK, Variant::Text("BADC")},
      {"text up to a zero byte", Piece(VT_BSTR, 0, 1, 0, 4), S_OK, Variant::Text("")},
      {"I2 array", Piece(VT_ARRAY | VT_I2, 0, 0, 2), S_OK,
       Array(VT_I2, {Variant::I2(1), Variant::I2(0x1234)})},
      {"text array", Piece(VT_ARRAY | VT_BSTR, 4, 0, 2, 2), S_OK,
       Array(VT_BSTR, {Variant::Text("AB"), Variant::Text("CD")})},
      {"bit 9 of a reversed I2: bit 1 of the first byte", Bit(VT_I2, 0, 0, 9), S_OK,
       Variant::UI1(0)},
      {"bit 8 of a reversed I2", Bit(VT_I2, 0, 0, 8), S_OK, Variant::UI1(0)},
      {"bit 0 of a reversed I2 at 0: byte 1", Bit(VT_I2, 0, 0, 0), S_OK, Variant::UI1(1)},
      {"bit 15 of a host-order I2 at 8", Bit(VT_I2, 8, 1, 7), S_OK, Variant::UI1(1)},
      {"bit beyond the value", Bit(VT_I2, 0, 0, 16), E_ACCESSDENIED, Variant()},
      {"beyond the block", Piece(VT_R8, 4, 1), E_ACCESSDENIED, Variant()},
      {"huge offset", Piece(VT_I1, std::numeric_limits<int64_t>::max(), 1), E_ACCESSDENIED,
       Variant()},
      {"negative offset", Piece(VT_I1, -1, 1), E_ACCESSDENIED, Variant()},
      {"huge count", Piece(VT_ARRAY | VT_R8, 0, 1, std::numeric_limits<int64_t>::max() / 4),
       E_ACCESSDENIED, Variant()},
      {"text without a unit", Piece(VT_BSTR, 0, 0, 0, 0), E_INVALIDARG, Variant()},
      {"no piece form", Piece(VT_VARIANT, 0, 0), E_INVALIDARG, Variant()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Variant out = Variant::Text("unchanged");
    EXPECT_EQ(DecodePiece(block, c.piece, &out), c.hr);
    if (c.hr.succeeded()) {
      EXPECT_TRUE(out.Identical(c.value)) << DebugString(out);
    } else {
      EXPECT_EQ(out.text(), "unchanged");
    }
  }
}

TEST(BlockCodecTest, EncodesWrittenValuesIntoTheirPiece) {
  struct Case {
    const char* name;
    PieceLayout piece;
    Variant value;
    EncodeFault fault;
    std::vector<uint8_t> after;  // the block after the write (unchanged on a fault)
  } cases[] = {
      {"I2 5 at 2, reversed: only bytes 2 and 3", Piece(VT_I2, 2, 0), Variant::I4(5),
       EncodeFault::kNone, {9, 9, 0x00, 0x05}},
      {"I2 at 2, host order", Piece(VT_I2, 2, 1), Variant::I2(0x0102), EncodeFault::kNone,
       {9, 9, 0x02, 0x01}},
      {"text in words of 2", Piece(VT_BSTR, 0, 0, 0, 4), Variant::Text("ABC"),
       EncodeFault::kNone, {'B', 'A', 0, 'C'}},
      {"UI1 array", Piece(VT_ARRAY | VT_UI1, 1, 1, 2),
       Array(VT_UI1, {Variant::UI1(7), Variant::UI1(8)}), EncodeFault::kNone, {9, 7, 8, 9}},
      {"set bit 9 of a reversed I2", Bit(VT_I2, 0, 0, 9), Variant::Bool(true), EncodeFault::kNone,
       {9 | 2, 9, 9, 9}},
      {"clear bit 0 of a host-order I2", Bit(VT_I2, 2, 1, 0), Variant::I4(0), EncodeFault::kNone,
       {9, 9, 8, 9}},
      {"array of the wrong length", Piece(VT_ARRAY | VT_UI1, 0, 1, 4),
       Array(VT_UI1, {Variant::UI1(1), Variant::UI1(2), Variant::UI1(3)}),
       EncodeFault::kArrayLength, {9, 9, 9, 9}},
      {"beyond the block", Piece(VT_I4, 2, 1), Variant::I4(1), EncodeFault::kBufferOverflow,
       {9, 9, 9, 9}},
      {"huge offset", Piece(VT_I1, std::numeric_limits<int64_t>::max(), 1), Variant::I1(1),
       EncodeFault::kBufferOverflow, {9, 9, 9, 9}},
      {"a text that is no number", Piece(VT_I2, 0, 1), Variant::Text("abc"),
       EncodeFault::kTypeMismatch, {9, 9, 9, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> block = {9, 9, 9, 9};
    EncodeFault fault;
    const HRESULT hr = EncodePiece(c.value, c.piece, block, &fault);
    EXPECT_EQ(fault, c.fault);
    EXPECT_EQ(hr.succeeded(), c.fault == EncodeFault::kNone);
    EXPECT_EQ(block, c.after);
  }
}

TEST(BlockCodecTest, FillsTheBlockFromTheHolderValue) {
  struct Case {
    const char* name;
    Variant value;
    size_t copied;
    std::vector<uint8_t> after;
  } cases[] = {
      {"byte array, shorter", Array(VT_UI1, {Variant::UI1(1), Variant::UI1(2)}), 2, {1, 2, 0, 0}},
      {"I4 scalar", Variant::I4(0x04030201), 4, {1, 2, 3, 4}},
      {"text, cut", Variant::Text("abcdef"), 4, {'a', 'b', 'c', 'd'}},
      {"texts copy nothing", Array(VT_BSTR, {Variant::Text("ab")}), 0, {0, 0, 0, 0}},
      {"variants copy nothing", Array(VT_VARIANT, {Variant::I4(1)}), 0, {0, 0, 0, 0}},
      {"empty copies nothing", Variant(), 0, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> block = {9, 9, 9, 9};
    EXPECT_EQ(FillBlock(c.value, block), c.copied);
    EXPECT_EQ(block, c.after);
  }
}

TEST(BlockCodecTest, HolderValueAndDerivedSizes) {
  const std::vector<uint8_t> block = {1, 0, 2, 0};
  Variant v;
  ASSERT_EQ(BuildHolderValue(block, VT_EMPTY, 0, 0, &v), S_OK);
  EXPECT_TRUE(v.Identical(Array(
      VT_UI1, {Variant::UI1(1), Variant::UI1(0), Variant::UI1(2), Variant::UI1(0)})));
  ASSERT_EQ(BuildHolderValue(block, VT_ARRAY | VT_I2, 0, 2, &v), S_OK);
  EXPECT_TRUE(v.Identical(Array(VT_I2, {Variant::I2(1), Variant::I2(2)})));

  EXPECT_EQ(DerivedBlockSize(VT_BSTR, 10, 0), 10);
  EXPECT_EQ(DerivedBlockSize(VT_ARRAY | VT_BSTR, 10, 3), 30);
  EXPECT_EQ(DerivedBlockSize(VT_ARRAY | VT_R8, 0, 3), 24);
  EXPECT_EQ(DerivedBlockSize(VT_I4, 0, 1), 4);
  EXPECT_EQ(DerivedBlockSize(VT_VARIANT, 0, 3), 0);
  EXPECT_EQ(DerivedBlockSize(VT_ARRAY | VT_R8, 0, std::numeric_limits<int64_t>::max()), 0);
}

}  // namespace
}  // namespace tavrix
