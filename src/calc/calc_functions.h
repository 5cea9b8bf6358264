// The functions behind the operation table (calc_operations.cc), one per
// operation, grouped by the file that implements them. Each has the contract
// of CalcUnaryFn / CalcBinaryFn in calc_operations.h; the table wraps them so
// that a result an item may not hold never leaves it. Only the table uses
// them.
#pragma once

#include "calc/calc_operations.h"
#include "platform/result.h"
#include "platform/variant.h"

namespace tavrix::calc {

// calc_arith.cc: arithmetic, comparison, minimum and maximum.
HRESULT Copy(const Variant& operand, const CalcSettings& settings, Variant* out);
HRESULT Add(const Variant& left, const Variant& right, const CalcSettings& settings,
            Variant* out);
HRESULT Subtract(const Variant& left, const Variant& right, const CalcSettings& settings,
                 Variant* out);
HRESULT Multiply(const Variant& left, const Variant& right, const CalcSettings& settings,
                 Variant* out);
HRESULT Divide(const Variant& left, const Variant& right, const CalcSettings& settings,
               Variant* out);
HRESULT Modulo(const Variant& left, const Variant& right, const CalcSettings& settings,
               Variant* out);
HRESULT And(const Variant& left, const Variant& right, const CalcSettings& settings,
            Variant* out);
HRESULT Or(const Variant& left, const Variant& right, const CalcSettings& settings,
           Variant* out);
HRESULT Xor(const Variant& left, const Variant& right, const CalcSettings& settings,
            Variant* out);
HRESULT Equal(const Variant& left, const Variant& right, const CalcSettings& settings,
              Variant* out);
HRESULT NotEqual(const Variant& left, const Variant& right, const CalcSettings& settings,
                 Variant* out);
HRESULT LessOrEqual(const Variant& left, const Variant& right, const CalcSettings& settings,
                    Variant* out);
HRESULT Less(const Variant& left, const Variant& right, const CalcSettings& settings,
             Variant* out);
HRESULT GreaterOrEqual(const Variant& left, const Variant& right, const CalcSettings& settings,
                       Variant* out);
HRESULT Greater(const Variant& left, const Variant& right, const CalcSettings& settings,
                Variant* out);
HRESULT IntegerDivide(const Variant& left, const Variant& right, const CalcSettings& settings,
                      Variant* out);
HRESULT Implication(const Variant& left, const Variant& right, const CalcSettings& settings,
                    Variant* out);
HRESULT Power(const Variant& left, const Variant& right, const CalcSettings& settings,
              Variant* out);
HRESULT Absolute(const Variant& operand, const CalcSettings& settings, Variant* out);
HRESULT Fix(const Variant& operand, const CalcSettings& settings, Variant* out);
HRESULT Int(const Variant& operand, const CalcSettings& settings, Variant* out);
HRESULT Negate(const Variant& operand, const CalcSettings& settings, Variant* out);
HRESULT Not(const Variant& operand, const CalcSettings& settings, Variant* out);
HRESULT RadiansToDegrees(const Variant& operand, const CalcSettings& settings, Variant* out);
HRESULT DegreesToRadians(const Variant& operand, const CalcSettings& settings, Variant* out);
HRESULT Minimum(const Variant& left, const Variant& right, const CalcSettings& settings,
                Variant* out);
HRESULT Maximum(const Variant& left, const Variant& right, const CalcSettings& settings,
                Variant* out);

// calc_bits.cc: shifts, bit mask and BCD.
HRESULT ShiftLeft(const Variant& left, const Variant& right, const CalcSettings& settings,
                  Variant* out);
HRESULT ShiftRight(const Variant& left, const Variant& right, const CalcSettings& settings,
                   Variant* out);
HRESULT BitMask(const Variant& left, const Variant& right, const CalcSettings& settings,
                Variant* out);
HRESULT ToBcd(const Variant& operand, const CalcSettings& settings, Variant* out);
HRESULT FromBcd(const Variant& operand, const CalcSettings& settings, Variant* out);

// calc_text.cc: texts, type change and the formatter.
HRESULT Concatenate(const Variant& left, const Variant& right, const CalcSettings& settings,
                    Variant* out);
HRESULT Length(const Variant& operand, const CalcSettings& settings, Variant* out);
HRESULT LeftPart(const Variant& left, const Variant& right, const CalcSettings& settings,
                 Variant* out);
HRESULT RightPart(const Variant& left, const Variant& right, const CalcSettings& settings,
                  Variant* out);
HRESULT ChangeTypeTo(const Variant& left, const Variant& right, const CalcSettings& settings,
                     Variant* out);
HRESULT Format(const Variant& left, const Variant& right, const CalcSettings& settings,
               Variant* out);
HRESULT Split(const Variant& left, const Variant& right, const CalcSettings& settings,
              Variant* out);
HRESULT Join(const Variant& left, const Variant& right, const CalcSettings& settings,
             Variant* out);

// calc_codec.cc: the single-value encoding.
HRESULT Encode(const Variant& operand, const CalcSettings& settings, Variant* out);
HRESULT Decode(const Variant& operand, const CalcSettings& settings, Variant* out);

}  // namespace tavrix::calc
