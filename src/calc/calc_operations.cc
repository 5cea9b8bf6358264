#include "calc/calc_operations.h"

#include <array>
#include <string>
#include <utility>

#include "calc/calc_functions.h"
#include "item/value_types.h"
#include "platform/convert.h"
#include "platform/locale.h"
#include "platform/text.h"

namespace tavrix {
namespace {

using Kind = CalcOperandKind;

// Every operation runs through one of these: the result is made in a fresh
// value, handed out only on success, and only when an item may hold it. So a
// failing operation leaves *out alone, *out may be one of the operands, and
// no object, error value or decimal reaches a cache through a calculation.
template <CalcUnaryFn Fn>
HRESULT Holdable(const Variant& operand, const CalcSettings& settings, Variant* out) {
  Variant result;
  const HRESULT hr = Fn(operand, settings, &result);
  if (hr.failed()) return hr;
  if (!IsSupportedValue(result)) return TVX_E_UNSUPPORTED_TYPE;
  *out = std::move(result);
  return hr;
}

template <CalcBinaryFn Fn>
HRESULT Holdable(const Variant& left, const Variant& right, const CalcSettings& settings,
                 Variant* out) {
  Variant result;
  const HRESULT hr = Fn(left, right, settings, &result);
  if (hr.failed()) return hr;
  if (!IsSupportedValue(result)) return TVX_E_UNSUPPORTED_TYPE;
  *out = std::move(result);
  return hr;
}

template <CalcUnaryFn Fn>
constexpr CalcOperation Unary(int32_t code, Kind operand) {
  return CalcOperation{code, 1, operand, Kind::kNone, &Holdable<Fn>, nullptr};
}

template <CalcBinaryFn Fn>
constexpr CalcOperation Binary(int32_t code, Kind left, Kind right) {
  return CalcOperation{code, 2, left, right, nullptr, &Holdable<Fn>};
}

constexpr std::array<CalcOperation, kCalcOperationCount> kOperations = {
    Unary<calc::Copy>(0, Kind::kNumber),
    Binary<calc::Add>(1, Kind::kNumber, Kind::kNumber),
    Binary<calc::Subtract>(2, Kind::kNumber, Kind::kNumber),
    Binary<calc::Multiply>(3, Kind::kNumber, Kind::kNumber),
    Binary<calc::Divide>(4, Kind::kNumber, Kind::kNumber),
    Binary<calc::Modulo>(5, Kind::kNumber, Kind::kNumber),
    Binary<calc::And>(6, Kind::kNumber, Kind::kNumber),
    Binary<calc::Or>(7, Kind::kNumber, Kind::kNumber),
    Binary<calc::Xor>(8, Kind::kNumber, Kind::kNumber),
    Binary<calc::ShiftLeft>(9, Kind::kInt64, Kind::kNumber),
    Binary<calc::ShiftRight>(10, Kind::kInt64, Kind::kNumber),
    Binary<calc::Equal>(11, Kind::kNumber, Kind::kNumber),
    Binary<calc::NotEqual>(12, Kind::kNumber, Kind::kNumber),
    Binary<calc::LessOrEqual>(13, Kind::kNumber, Kind::kNumber),
    Binary<calc::Less>(14, Kind::kNumber, Kind::kNumber),
    Binary<calc::GreaterOrEqual>(15, Kind::kNumber, Kind::kNumber),
    Binary<calc::Greater>(16, Kind::kNumber, Kind::kNumber),
    Binary<calc::Concatenate>(17, Kind::kText, Kind::kText),
    Binary<calc::IntegerDivide>(18, Kind::kNumber, Kind::kNumber),
    Binary<calc::Implication>(19, Kind::kNumber, Kind::kNumber),
    Binary<calc::Power>(20, Kind::kNumber, Kind::kNumber),
    Unary<calc::Absolute>(21, Kind::kNumber),
    Unary<calc::Fix>(22, Kind::kNumber),
    Unary<calc::Int>(23, Kind::kNumber),
    Unary<calc::Negate>(24, Kind::kNumber),
    Unary<calc::Not>(25, Kind::kNumber),
    Unary<calc::RadiansToDegrees>(26, Kind::kNumber),
    Unary<calc::DegreesToRadians>(27, Kind::kNumber),
    Unary<calc::Length>(28, Kind::kText),
    Binary<calc::LeftPart>(29, Kind::kText, Kind::kNumber),
    Binary<calc::RightPart>(30, Kind::kText, Kind::kNumber),
    Binary<calc::ChangeTypeTo>(31, Kind::kText, Kind::kInt64),
    Binary<calc::BitMask>(32, Kind::kInt64, Kind::kInt64),
    Unary<calc::ToBcd>(33, Kind::kInt32),
    Unary<calc::FromBcd>(34, Kind::kInt32),
    Binary<calc::Minimum>(35, Kind::kNumber, Kind::kNumber),
    Binary<calc::Maximum>(36, Kind::kNumber, Kind::kNumber),
    Unary<calc::Encode>(37, Kind::kNumber),
    Unary<calc::Decode>(38, Kind::kNumber),
    Binary<calc::Format>(39, Kind::kNumber, Kind::kText),
    Binary<calc::Split>(40, Kind::kText, Kind::kText),
    Binary<calc::Join>(41, Kind::kText, Kind::kText),
};

constexpr bool CodesMatchPositions() {
  for (size_t i = 0; i < kOperations.size(); ++i) {
    if (kOperations[i].code != static_cast<int32_t>(i)) return false;
  }
  return true;
}
static_assert(CodesMatchPositions(), "the table is indexed by code");

// Number texts of the project file read the same on every server locale.
HRESULT ProjectNumber(std::string_view text, double* out) {
  return R8FromStr(text, LOCALE_INVARIANT, VARIANT_NOUSEROVERRIDE, out);
}

}  // namespace

const CalcOperation* FindCalcOperation(int32_t code) {
  if (code < 0 || code >= kCalcOperationCount) return nullptr;
  return &kOperations[static_cast<size_t>(code)];
}

HRESULT NumberTextToDays(std::string_view text, double* days) {
  struct Unit {
    char letter;
    double perDay;
  };
  static constexpr Unit kUnits[] = {{'D', 1}, {'H', 24}, {'M', 1440}, {'S', 86400}};
  // Upper-casing may change the byte length of a character, so every
  // position below is one of the upper-cased text.
  const std::string upper = ToUpper(text);
  const std::string_view rest(upper);
  size_t pos = 0;
  bool anyUnit = false;
  double sum = 0;
  for (const Unit& unit : kUnits) {
    const size_t at = rest.find(unit.letter, pos);
    if (at == std::string_view::npos) continue;
    double part = 0;
    RETURN_IF_FAILED(ProjectNumber(rest.substr(pos, at - pos), &part));
    sum += part / unit.perDay;
    pos = at + 1;
    anyUnit = true;
  }
  if (!anyUnit) return ProjectNumber(rest, days);
  if (pos != rest.size()) return E_INVALIDARG;
  *days = sum;
  return S_OK;
}

HRESULT MakeCalcConstant(CalcOperandKind kind, std::string_view text, Variant* out) {
  switch (kind) {
    case Kind::kText:
      *out = Variant::Text(text);
      return S_OK;
    case Kind::kNumber: {
      double days = 0;
      RETURN_IF_FAILED(NumberTextToDays(text, &days));
      *out = Variant::R8(days);
      return S_OK;
    }
    case Kind::kInt64:
      return ChangeType(Variant::Text(text), VT_I8, out);
    case Kind::kInt32:
      return ChangeType(Variant::Text(text), VT_I4, out);
    case Kind::kNone:
      break;
  }
  return E_INVALIDARG;
}

}  // namespace tavrix
