// Conversions: CBool ... CStr, Hex, Oct, Fix, Int, Abs, Sgn, Round.
#include <cmath>

#include "platform/arith.h"
#include "platform/convert.h"
#include "platform/currency.h"
#include "platform/decimal.h"
#include "vbscript/builtins_internal.h"

namespace tavrix::vbs::builtins {
namespace {

// The C* functions: the platform's change of type under the script's locale.
// Null is refused (the result types cannot hold it).
template <VARTYPE kType>
HRESULT ConvertTo(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  const Variant& v = args[0].Deref();
  if (v.IsMissing()) return ScriptError(kErrArgNotOptional);
  Variant value;
  RETURN_IF_FAILED(ValueOf(context, v, &value));
  if (value.IsNull()) return ScriptError(kErrInvalidNull);
  // Booleans become the locale's words ("True", "Wahr") as the language shows them.
  const uint16_t flags = kType == VT_BSTR ? VARIANT_ALPHABOOL | VARIANT_LOCALBOOL : 0;
  Variant out;
  RETURN_IF_FAILED(ChangeType(value, kType, &out, flags, context.Locale()));
  *result = std::move(out);
  return S_OK;
}

// Hex and Oct show the two's complement of a negative number in 16 bits for
// the 16-bit types and in 32 bits otherwise (other types convert to Long).
HRESULT Radix(BuiltinContext& context, std::span<const Variant> args, Variant* result,
              unsigned shift) {
  Variant v;
  RETURN_IF_FAILED(ValueOf(context, args[0], &v));
  if (v.IsMissing()) return ScriptError(kErrArgNotOptional);
  if (v.IsNull()) {
    *result = Variant::Null();
    return S_OK;
  }
  uint32_t bits = 0;
  switch (v.vt()) {
    case VT_EMPTY: break;
    case VT_UI1: bits = v.ui1(); break;
    case VT_I1: bits = static_cast<uint16_t>(int16_t{v.i1()}); break;
    case VT_I2: bits = static_cast<uint16_t>(v.i2()); break;
    case VT_BOOL: bits = static_cast<uint16_t>(v.boolVal()); break;
    default: {
      Variant l;
      RETURN_IF_FAILED(ChangeType(v, VT_I4, &l, 0, context.Locale()));
      bits = static_cast<uint32_t>(l.i4());
      break;
    }
  }
  const char* digits = "0123456789ABCDEF";
  const uint32_t mask = (1u << shift) - 1;
  std::string text;
  do {
    text.insert(text.begin(), digits[bits & mask]);
    bits >>= shift;
  } while (bits != 0);
  *result = Variant::Text(text);
  return S_OK;
}

HRESULT Hex(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  return Radix(context, args, result, 4);
}

HRESULT Oct(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  return Radix(context, args, result, 3);
}

// The argument as a number for the arithmetic functions: texts read under the
// script's locale (the platform's operators would use the process default).
HRESULT NumericArg(BuiltinContext& context, const Variant& arg, Variant* out) {
  RETURN_IF_FAILED(ValueOf(context, arg, out));
  if (out->IsMissing()) return ScriptError(kErrArgNotOptional);
  if (out->IsText()) {
    Variant r8;
    RETURN_IF_FAILED(ChangeType(*out, VT_R8, &r8, 0, context.Locale()));
    *out = std::move(r8);
  }
  return S_OK;
}

template <HRESULT (*kOperation)(const Variant&, Variant*)>
HRESULT Unary(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  Variant v;
  RETURN_IF_FAILED(NumericArg(context, args[0], &v));
  Variant out;
  RETURN_IF_FAILED(kOperation(v, &out));
  *result = std::move(out);
  return S_OK;
}

HRESULT Sgn(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  Variant v;
  RETURN_IF_FAILED(NumericArg(context, args[0], &v));
  if (v.IsNull()) return ScriptError(kErrInvalidNull);
  int sign = 0;
  if (v.vt() == VT_CY) {
    sign = v.cy().int64 > 0 ? 1 : v.cy().int64 < 0 ? -1 : 0;
  } else if (v.vt() == VT_DECIMAL) {
    sign = DecIsZero(v.dec()) ? 0 : v.dec().negative ? -1 : 1;
  } else {
    Variant r8;
    RETURN_IF_FAILED(ChangeType(v, VT_R8, &r8, 0, context.Locale()));
    sign = r8.r8() > 0 ? 1 : r8.r8() < 0 ? -1 : 0;
  }
  *result = Variant::I2(static_cast<int16_t>(sign));
  return S_OK;
}

// Round keeps the type of its argument (texts become Double, Boolean and
// Empty Integer) and rounds half to even on the decimal digits.
HRESULT Round(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  Variant v;
  RETURN_IF_FAILED(NumericArg(context, args[0], &v));
  int32_t decimals = 0;
  if (Given(args, 1)) {
    RETURN_IF_FAILED(ArgLong(context, args[1], &decimals));
    if (decimals < 0) return ScriptError(kErrInvalidCall);
  }
  switch (v.vt()) {
    case VT_NULL:
    case VT_UI1: case VT_I1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4:
    case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
      *result = v;
      return S_OK;
    case VT_EMPTY: *result = Variant::I2(0); return S_OK;
    case VT_BOOL: *result = Variant::I2(v.boolVal()); return S_OK;
    case VT_CY: {
      Currency cy;
      RETURN_IF_FAILED(CyRound(v.cy(), decimals > 4 ? 4 : decimals, &cy));
      *result = Variant::Cy(cy);
      return S_OK;
    }
    case VT_R4: case VT_R8: case VT_DATE: case VT_DECIMAL: break;
    default: return DISP_E_TYPEMISMATCH;
  }
  DecimalDigits d;
  RETURN_IF_FAILED(DigitsOf(v, &d));
  RoundDigits(&d, decimals, /*halfEven=*/true);
  if (v.vt() == VT_DECIMAL) {
    Decimal dec;
    RETURN_IF_FAILED(DecFromDigits(d.negative, d.digits,
                                   d.exponent - static_cast<int>(d.digits.size()), &dec));
    *result = Variant::Dec(dec);
    return S_OK;
  }
  const double rounded = DigitsToDouble(d);
  if (v.vt() == VT_R4) *result = Variant::R4(static_cast<float>(rounded));
  else if (v.vt() == VT_DATE) *result = Variant::Date(rounded);
  else *result = Variant::R8(rounded);
  return S_OK;
}

constexpr BuiltinInfo kBuiltins[] = {
    {"CBool", 1, 1, ConvertTo<VT_BOOL>},
    {"CByte", 1, 1, ConvertTo<VT_UI1>},
    {"CCur", 1, 1, ConvertTo<VT_CY>},
    {"CDate", 1, 1, ConvertTo<VT_DATE>},
    {"CDbl", 1, 1, ConvertTo<VT_R8>},
    {"CInt", 1, 1, ConvertTo<VT_I2>},
    {"CLng", 1, 1, ConvertTo<VT_I4>},
    {"CSng", 1, 1, ConvertTo<VT_R4>},
    {"CStr", 1, 1, ConvertTo<VT_BSTR>},
    {"Hex", 1, 1, Hex},
    {"Oct", 1, 1, Oct},
    {"Fix", 1, 1, Unary<VarFix>},
    {"Int", 1, 1, Unary<VarInt>},
    {"Abs", 1, 1, Unary<VarAbs>},
    {"Sgn", 1, 1, Sgn},
    {"Round", 1, 2, Round},
};

}  // namespace

std::span<const BuiltinInfo> ConvertBuiltins() { return kBuiltins; }

}  // namespace tavrix::vbs::builtins
