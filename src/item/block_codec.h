// The block buffer of a holder item and the pieces its sub-items cut out of
// it: decoding a piece, encoding a written value into the buffer, filling the
// buffer from the holder's value and building the holder's value from it.
//
// Layout of a piece:
//   scalars   VarTypeSize(type) bytes at the offset; byte order code 1 stores
//             each element least significant byte first (the host's order),
//             any other code the reverse
//   arrays    `count` elements of the scalar type, one after another
//   texts     `unitSize` bytes of 8-bit text (UTF-8 here), ending at the first
//             zero byte; the byte order code is a word size: the bytes of each
//             complete group of that many bytes are stored reversed (0 counts
//             as 2, 1 means no reversal)
//   bits      one bit of a value of the scalar type, counted from its bit 0
// All offsets and sizes are checked with 64-bit arithmetic: a piece beyond
// the buffer gives E_ACCESSDENIED, never an access outside it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix {

struct PieceLayout {
  VARTYPE type = VT_EMPTY;  // a scalar type, VT_BSTR, or VT_ARRAY | element type
  int64_t offset = 0;
  int64_t count = 0;     // elements of an array piece
  int64_t unitSize = 0;  // bytes of one text
  int32_t byteOrder = 0;
  bool bit = false;
  int64_t bitPosition = 0;
};

// Size in bytes of one element of a piece's scalar type (VT_I1..VT_UI8, R4,
// R8, CY, DATE, BOOL); 0 for types that have none.
size_t PieceElementSize(VARTYPE type);

// The block size a holder's own value type implies: VT_BSTR the unit size,
// VT_ARRAY|VT_BSTR unit size x count, another type its element size x count
// (0 when that type has no size or a factor is not positive).
int64_t DerivedBlockSize(VARTYPE type, int64_t unitSize, int64_t count);

// The piece's value from the block. E_ACCESSDENIED when it lies beyond the
// block (or a bit position lies beyond its value), E_INVALIDARG for a type
// that has no piece form or a text unit size of 0.
HRESULT DecodePiece(std::span<const uint8_t> block, const PieceLayout& piece, Variant* out);

// Why EncodePiece refused a value, so the caller can say it.
enum class EncodeFault { kNone, kTypeMismatch, kArrayLength, kBufferOverflow };

// Writes `value` into the piece of `block`: converted to the piece's type
// first (VT_BOOL for a bit), an array must have `count` elements. On failure
// the block is unchanged and *fault says why: kTypeMismatch (the
// conversion's code), kArrayLength (E_INVALIDARG), kBufferOverflow
// (E_ACCESSDENIED).
HRESULT EncodePiece(const Variant& value, const PieceLayout& piece, std::span<uint8_t> block,
                    EncodeFault* fault);

// Fills the block from the holder's value: a text as 8-bit characters, other
// values as their raw bytes (an array's elements, a scalar's bytes), cut to
// the block and the rest zeroed. Arrays of texts or variants, objects and
// empty values copy nothing. Returns the bytes copied (0 leaves the block
// invalid).
size_t FillBlock(const Variant& value, std::span<uint8_t> block);

// The holder's value built from the whole block: decoded as `type` (host
// byte order, `unitSize`, `count`) when a type is set, else a VT_UI1 array of
// the block.
HRESULT BuildHolderValue(std::span<const uint8_t> block, VARTYPE type, int64_t unitSize,
                         int64_t count, Variant* out);

}  // namespace tavrix
