// The pure steps of an item's read pipeline and write path: masking, BCD,
// dead band and range, the change comparison, array elements and the chatter
// filter. Each works on values alone, so the pipeline stays a sequence of
// calls and every rule is tested as a table.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/result.h"
#include "platform/unknown.h"
#include "platform/variant.h"

namespace tavrix {

// ANDs an integer value with the mask at the value's width (low 8 bits for
// VT_I1/VT_UI1, 16 for VT_I2/VT_UI2, 32 for VT_I4/VT_UI4, all 64 for
// VT_I8/VT_UI8). E_INVALIDARG for any other type; *value unchanged then.
HRESULT ApplyMask(Variant* value, int64_t mask);

// BCD decode: nibble n adds nibble x 10^n (nibbles above 9 are not refused:
// 0x1A gives 20). VT_I1/UI1 hold 2 digits, I2/UI2 4, I4/UI4 8, I8/UI8 16 (the
// 64-bit types only in a versioned project). The type is kept. E_INVALIDARG
// for other types; *value unchanged then.
HRESULT DecodeBcd(Variant* value, bool versionedProject);

// BCD encode, the inverse: digit n of the value taken as unsigned 64-bit goes
// into nibble n; digits beyond the type's count are dropped.
HRESULT EncodeBcd(Variant* value, bool versionedProject);

// True when the value is VT_I1, UI1, I2, UI2, I4, UI4, R4 or R8 and lies within
// [min, max]. I4 and UI4 compare in single precision, R8 in double precision
// with the limits widened from single precision.
bool InDeadBand(const Variant& value, float min, float max);

// True when the value is one of the same types and lies below min or above max.
bool OutOfRange(const Variant& value, float min, float max);

// The change test: equal only with the same type; two NULLs are equal;
// arrays only with compareArrays, one-dimensional, same lower bound and count,
// element by element; integers by value; other scalars by VarCmp under lcid
// (only "equal" counts).
bool ValuesEqual(const Variant& a, const Variant& b, bool compareArrays, LCID lcid);

// The element an item name selects with a suffix "(i)", "(i,j)" or "(i,j,k)".
struct ElementIndex {
  bool present = false;
  int32_t index[3] = {0, 0, 0};
  int count = 0;  // how many of index[] the name gave
};

// Reads the suffix after the last "(" of the name (for a sub-item, of the part
// after the last "|"). No "(" gives no element; a "(" not followed by a
// number is a bad name (E_INVALIDARG).
HRESULT ParseElementSuffix(std::string_view itemName, bool subItem, ElementIndex* out);

// Replaces an array by its element at the indexes (i, j, k), taken as the
// platform's index vector: its first entry indexes the right-most dimension,
// so "(2,1)" on a two-dimensional array a(x, y) selects a(1, 2); the array
// uses as many entries as it has dimensions. A value that is no array passes
// unchanged. E_FAIL for an element type that cannot be taken,
// the array's failure (DISP_E_BADINDEX) for indexes out of range.
HRESULT ExtractElement(const ElementIndex& element, Variant* value);

// The chatter filter of one item: a value passes only after it was read
// `max` times in a row (equal type and value).
class ChatterFilter {
 public:
  // True when the value passes. A value equal to the candidate counts up;
  // at `max` the counter restarts and the value passes. Another value becomes
  // the candidate and is dropped; the counter then keeps its count.
  // Values compare as ValuesEqual does.
  bool Pass(const Variant& value, int32_t max, bool compareArrays, LCID lcid);

 private:
  Variant candidate_;
  int32_t counter_ = 0;
};

}  // namespace tavrix
