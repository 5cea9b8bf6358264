// Test helpers: arrays from element lists, and a seeded generator of every value
// a typed text can carry (edge values weighted in: extremes, NaN payloads,
// denormals, -0.0, texts full of separators, odd array bounds).
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/safearray.h"
#include "platform/variant.h"

namespace tavrix::testing {

// An array of element type elem with the given bounds, filled in storage order.
inline Variant MakeArray(VARTYPE elem, std::vector<SafeArrayBound> bounds,
                         std::vector<Variant> elements) {
  Ref<SafeArray> a = SafeArray::Create(elem, bounds);
  if (!a || a->size() != elements.size()) return Variant::Error(-1);
  for (size_t i = 0; i < elements.size(); ++i) {
    if (a->Put(i, elements[i]).failed()) return Variant::Error(-1);
  }
  return Variant::Array(a);
}

inline Variant MakeArray1D(VARTYPE elem, std::vector<Variant> elements) {
  const auto n = static_cast<uint32_t>(elements.size());
  return MakeArray(elem, {{0, n}}, std::move(elements));
}

class ValueGen {
 public:
  explicit ValueGen(uint64_t seed) : rng_(seed) {}

  static constexpr VARTYPE kScalarTypes[] = {
      VT_EMPTY, VT_NULL, VT_BOOL, VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_I8,
      VT_UI8, VT_INT, VT_UINT, VT_R4, VT_R8, VT_BSTR, VT_DATE, VT_CY, VT_ERROR, VT_DECIMAL};
  static constexpr VARTYPE kElementTypes[] = {
      VT_BOOL, VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_I8, VT_UI8, VT_INT,
      VT_UINT, VT_R4, VT_R8, VT_BSTR, VT_DATE, VT_CY, VT_ERROR, VT_DECIMAL, VT_VARIANT};

  // Any value: a scalar or (one time in three) an array.
  Variant Any() { return Chance(3) ? Array(2) : Scalar(Pick(kScalarTypes)); }

  Variant Scalar(VARTYPE vt) {
    switch (vt) {
      case VT_EMPTY: return Variant::Empty();
      case VT_NULL: return Variant::Null();
      case VT_BOOL:
        return Chance(8) ? Variant::BoolRaw(static_cast<VARIANT_BOOL>(Bits()))
                         : Variant::Bool(Chance(2));
      case VT_I1: return Variant::I1(Int<int8_t>());
      case VT_UI1: return Variant::UI1(Int<uint8_t>());
      case VT_I2: return Variant::I2(Int<int16_t>());
      case VT_UI2: return Variant::UI2(Int<uint16_t>());
      case VT_I4: return Variant::I4(Int<int32_t>());
      case VT_UI4: return Variant::UI4(Int<uint32_t>());
      case VT_I8: return Variant::I8(Int<int64_t>());
      case VT_UI8: return Variant::UI8(Int<uint64_t>());
      case VT_INT: return Variant::Int(Int<int32_t>());
      case VT_UINT: return Variant::UInt(Int<uint32_t>());
      case VT_ERROR: return Variant::Error(Int<int32_t>());
      case VT_R4: return Variant::R4(Float<float, uint32_t>());
      case VT_R8: return Variant::R8(Float<double, uint64_t>());
      case VT_CY: return Variant::Cy(Currency{Int<int64_t>()});
      case VT_DATE: return Variant::Date(Date());
      case VT_BSTR: return Variant::Text(Text());
      case VT_DECIMAL: {
        Decimal d;
        std::memset(static_cast<void*>(&d), 0, sizeof d);  // arrays compare raw bytes
        d.scale = static_cast<uint8_t>(Below(29));
        d.negative = Chance(2);
        d.hi32 = Chance(3) ? 0 : static_cast<uint32_t>(Bits());
        d.lo64 = Chance(4) ? Below(1000) : Bits();
        return Variant::Dec(d);
      }
      default: return Variant::Error(-1);
    }
  }

  // An array of a random element type, shape and bounds; VARIANT arrays hold
  // any scalars and, while depth lasts, arrays.
  Variant Array(int depth) {
    const VARTYPE elem = Pick(kElementTypes);
    std::vector<SafeArrayBound> bounds(1 + Below(3));
    for (SafeArrayBound& b : bounds) {
      b.count = static_cast<uint32_t>(Below(bounds.size() == 1 ? 7 : 4));
      switch (Below(5)) {
        case 0: b.lower = static_cast<int32_t>(Below(11)) - 5; break;
        case 1: b.lower = std::numeric_limits<int32_t>::min(); break;
        case 2:  // the last element at the largest index
          b.lower = std::numeric_limits<int32_t>::max() - static_cast<int32_t>(b.count) +
                    (b.count == 0 ? 0 : 1);
          break;
        default: b.lower = 0; break;
      }
    }
    Ref<SafeArray> a = SafeArray::Create(elem, bounds);
    for (size_t i = 0; i < a->size(); ++i) {
      Variant e;
      if (elem != VT_VARIANT) {
        e = Scalar(elem);
      } else if (depth > 0 && Chance(6)) {
        e = Array(depth - 1);
      } else {
        e = Scalar(Pick(kScalarTypes));
      }
      (void)a->Put(i, e);
    }
    return Variant::Array(a);
  }

 private:
  uint64_t Bits() { return rng_(); }
  uint64_t Below(uint64_t n) { return rng_() % n; }
  bool Chance(uint64_t oneIn) { return Below(oneIn) == 0; }

  template <size_t N>
  VARTYPE Pick(const VARTYPE (&types)[N]) {
    return types[Below(N)];
  }

  template <class T>
  T Int() {
    using L = std::numeric_limits<T>;
    switch (Below(6)) {
      case 0: return L::min();
      case 1: return L::max();
      case 2: return static_cast<T>(Below(21) - 10);
      default: return static_cast<T>(Bits());
    }
  }

  template <class F, class B>
  F Float() {
    using L = std::numeric_limits<F>;
    static const F kSpecial[] = {F(0), -F(0), L::infinity(), -L::infinity(), L::quiet_NaN(),
                                 -L::quiet_NaN(), L::denorm_min(), -L::denorm_min(), L::max(),
                                 L::lowest(), L::min(), F(0.1), F(1) / F(3), F(1e15)};
    switch (Below(4)) {
      case 0: return kSpecial[Below(std::size(kSpecial))];
      case 1: return static_cast<F>(static_cast<int64_t>(Below(2000001)) - 1000000) / F(1000);
      default: return std::bit_cast<F>(static_cast<B>(Bits()));  // NaN payloads, denormals
    }
  }

  double Date() {
    const double day = static_cast<double>(static_cast<int64_t>(Below(3615900)) - 657434);
    switch (Below(7)) {
      case 0: return day;
      case 1: {  // to the millisecond, on either side of day zero
        const double t = static_cast<double>(Below(86400000)) / 86400000.0;
        return day >= 0 ? day + t : day - t;
      }
      case 2: return std::bit_cast<double>(Bits());
      case 3: {
        static const double kEdges[] = {0.0, -0.0, -0.5, 0.5, -1.25, -657434.0,
                                        -657434.999, 2958465.0, 2958465.99999, 2958466.0,
                                        -657435.0, 1e300, -1e-300};
        return kEdges[Below(std::size(kEdges))];
      }
      default: {  // any double in the readable range
        std::uniform_real_distribution<double> d(-657434.999, 2958465.999);
        return d(rng_);
      }
    }
  }

  std::string Text() {
    static const char* const kPieces[] = {
        "a", "Z", "0", "7", " ", "\t", ",", "\"", "\"\"", "{", "}", "[", "]", "..", ";", "\n",
        "\r\n", "\\", "\xC3\xA4", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\x01", "\x7F", "True",
        "8,", "{3,1}", "NaN", "-"};
    std::string s;
    const uint64_t n = Chance(6) ? 0 : Below(10);
    for (uint64_t i = 0; i < n; ++i) {
      if (Chance(12)) {
        s.push_back(static_cast<char>(Bits()));  // any byte, NUL included
      } else {
        s += kPieces[Below(std::size(kPieces))];
      }
    }
    return s;
  }

  std::mt19937_64 rng_;
};

}  // namespace tavrix::testing
