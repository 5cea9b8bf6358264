// Math: Sqr, Sin, Cos, Tan, Atn, Exp, Log, Rnd, Randomize, RGB.
#include <bit>
#include <cmath>

#include "vbscript/builtins_internal.h"

namespace tavrix::vbs::builtins {
namespace {

// A Double function of a Double. Arguments outside the domain give
// ScriptError(5), results beyond the Double range DISP_E_OVERFLOW.
template <double (*kFunction)(double), bool (*kInDomain)(double)>
HRESULT DoubleFunction(BuiltinContext& context, std::span<const Variant> args,
                       Variant* result) {
  double x = 0;
  RETURN_IF_FAILED(ArgDouble(context, args[0], &x));
  if (!kInDomain(x)) return ScriptError(kErrInvalidCall);
  const double y = kFunction(x);
  if (!std::isfinite(y)) return DISP_E_OVERFLOW;
  *result = Variant::R8(y);
  return S_OK;
}

bool Anywhere(double) { return true; }
bool NotNegative(double x) { return x >= 0; }
bool Positive(double x) { return x > 0; }

double Sqrt(double x) { return std::sqrt(x); }
double Sin(double x) { return std::sin(x); }
double Cos(double x) { return std::cos(x); }
double Tan(double x) { return std::tan(x); }
double Atan(double x) { return std::atan(x); }
double Exp(double x) { return std::exp(x); }
double Log(double x) { return std::log(x); }

// The language's generator: a 24-bit linear congruential sequence.
constexpr uint32_t kRndMask = 0xFFFFFF;

void Advance(RandomState& state) {
  state.seed = (state.seed * 0x43FD43FDu + 0xC39EC3u) & kRndMask;
}

float RndValue(const RandomState& state) {
  return static_cast<float>(state.seed) / 16777216.0f;
}

// Rnd: no argument or a positive one gives the next number; 0 repeats the
// last; a negative number restarts the sequence from a seed made of its
// Single bit pattern, so Rnd(-x) gives the same number every time.
HRESULT Rnd(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  RandomState& state = context.Random();
  if (Given(args, 0)) {
    double x = 0;
    RETURN_IF_FAILED(ArgDouble(context, args[0], &x));
    const float f = static_cast<float>(x);
    if (f == 0) {
      *result = Variant::R4(RndValue(state));
      return S_OK;
    }
    if (f < 0) {
      const uint32_t bits = std::bit_cast<uint32_t>(f);
      state.seed = (bits + (bits >> 24)) & kRndMask;
    }
  }
  Advance(state);
  *result = Variant::R4(RndValue(state));
  return S_OK;
}

// Randomize [number]: mixes the high half of the number's Double bit pattern
// into the middle 16 bits of the seed; without a number, Timer's value.
HRESULT Randomize(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  double x = 0;
  if (Given(args, 0)) {
    RETURN_IF_FAILED(ArgDouble(context, args[0], &x));
  } else {
    float timer = 0;
    RETURN_IF_FAILED(TimerSeconds(&timer));
    x = timer;
  }
  uint32_t high = static_cast<uint32_t>(std::bit_cast<uint64_t>(x) >> 32);
  high ^= high >> 16;
  RandomState& state = context.Random();
  state.seed = (state.seed & 0xFF0000FFu) | ((high & 0xFFFFu) << 8);
  *result = Variant::Empty();
  return S_OK;
}

// RGB(red, green, blue): red + green * 256 + blue * 65536; parts above 255
// count as 255.
HRESULT Rgb(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  int32_t color = 0;
  for (size_t i = 0; i < 3; ++i) {
    int32_t part = 0;
    RETURN_IF_FAILED(ArgLong(context, args[i], &part));
    if (part < 0) return ScriptError(kErrInvalidCall);
    color |= (part > 255 ? 255 : part) << (8 * i);
  }
  *result = Variant::I4(color);
  return S_OK;
}

constexpr BuiltinInfo kBuiltins[] = {
    {"Sqr", 1, 1, DoubleFunction<Sqrt, NotNegative>},
    {"Sin", 1, 1, DoubleFunction<Sin, Anywhere>},
    {"Cos", 1, 1, DoubleFunction<Cos, Anywhere>},
    {"Tan", 1, 1, DoubleFunction<Tan, Anywhere>},
    {"Atn", 1, 1, DoubleFunction<Atan, Anywhere>},
    {"Exp", 1, 1, DoubleFunction<Exp, Anywhere>},
    {"Log", 1, 1, DoubleFunction<Log, Positive>},
    {"Rnd", 0, 1, Rnd},
    {"Randomize", 0, 1, Randomize},
    {"RGB", 3, 3, Rgb},
};

}  // namespace

std::span<const BuiltinInfo> MathBuiltins() { return kBuiltins; }

}  // namespace tavrix::vbs::builtins
