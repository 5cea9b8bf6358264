// The table of calculation operations: what item calculations, controller
// calculation lines and the calculation action of a trigger tree compute.
//
// Each code 0..41 is one operation with one or two operands. The operand
// kinds say how a constant text is read for that position (calc_operands.h
// builds the operands); the functions here compute on values only and never
// touch items, controllers or locks, so they may run on any thread.
//
//   const CalcOperation* op = FindCalcOperation(1);
//   Variant sum;
//   HRESULT hr = op->binary(Variant::I4(2), Variant::R8(0.5), settings, &sum);
//
// Every function leaves *out unchanged when it fails. A by-reference operand
// is followed once. Results are always values an item may hold, or a failure:
// no operation puts an object, an error value or a decimal into a cache.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/result.h"
#include "platform/unknown.h"
#include "platform/variant.h"

namespace tavrix {

// How a constant text is read in one operand position.
enum class CalcOperandKind : uint8_t {
  kNone,    // the position takes no operand
  kNumber,  // the number text rule (NumberTextToDays): VT_R8
  kText,    // the text as it is: VT_BSTR
  kInt64,   // the platform's text-to-value conversion: VT_I8
  kInt32,   // the platform's text-to-value conversion: VT_I4
};

// What the operations take from the project and the process.
struct CalcSettings {
  bool versioned = false;          // the project file has a version element
  LCID lcid = LOCALE_USER_DEFAULT;  // the LCID system setting
};

using CalcUnaryFn = HRESULT (*)(const Variant& operand, const CalcSettings& settings,
                                Variant* out);
using CalcBinaryFn = HRESULT (*)(const Variant& left, const Variant& right,
                                 const CalcSettings& settings, Variant* out);

struct CalcOperation {
  int32_t code = 0;
  int32_t operands = 0;  // 1 or 2
  CalcOperandKind left = CalcOperandKind::kNone;   // a constant as left operand (lines only)
  CalcOperandKind right = CalcOperandKind::kNone;  // a constant as right operand
  CalcUnaryFn unary = nullptr;    // set for one-operand operations
  CalcBinaryFn binary = nullptr;  // set for two-operand operations
};

inline constexpr int32_t kCalcOperationCount = 42;

// The operation of `code`, or null for a code that is no operation (negative
// or above 41).
const CalcOperation* FindCalcOperation(int32_t code);

// The number text rule: a text of numbers with the unit letters D, H, M and
// S in this order (any letter case; "1D12H" is 1.5, "30M" is 30/1440) gives
// days; a text without unit letters is read as a plain number ("2.5").
// Text after the last unit gives E_INVALIDARG ("1H30"); a part that is no
// number gives that conversion's failure. Numbers are read locale-neutrally.
HRESULT NumberTextToDays(std::string_view text, double* days);

// A constant of `kind` made from `text` (kNone gives E_INVALIDARG).
HRESULT MakeCalcConstant(CalcOperandKind kind, std::string_view text, Variant* out);

}  // namespace tavrix
