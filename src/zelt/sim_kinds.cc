#include "zelt/sim_kinds.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "platform/date.h"
#include "platform/safearray.h"
#include "platform/text.h"
#include "zelt/parse_text.h"

namespace tavrix {
namespace {

using zelt_text::ParseDouble;
using zelt_text::ParseInt32;
using zelt_text::ParseUint32;

constexpr uint32_t kMaxBytes = 1u << 20;

HRESULT Malformed(std::string_view name, std::string_view form, std::string* error) {
  *error = "malformed variable name '" + std::string(name) + "': expected " + std::string(form);
  return E_INVALIDARG;
}

Variant ZeroBytes(uint32_t n) { return Variant::Array(SafeArray::Create1D(VT_UI1, n)); }

std::string Number(double v) {
  // Only for descriptions; %g-like text without the process locale.
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

}  // namespace

HRESULT ParseSimVariableName(std::string_view name, SimVarShape* out, std::string* error) {
  if (name.empty()) {
    *error = "a variable needs a name";
    return E_INVALIDARG;
  }
  SimVarShape shape;
  const std::vector<std::string_view> f = zelt_text::Split(name, ':');
  const std::string_view word = f[0];
  const size_t args = f.size() - 1;
  if (EqualsNoCase(name, "@CURRENT_TIME")) {
    shape.kind = SimKind::kCurrentTime;
  } else if (EqualsNoCase(word, "counter")) {
    shape.kind = SimKind::kCounter;
    if (args > 2 || (args >= 1 && !ParseInt32(f[1], &shape.start)) ||
        (args == 2 && !ParseInt32(f[2], &shape.step))) {
      return Malformed(name, "counter, counter:<start> or counter:<start>:<step> (integers)",
                       error);
    }
  } else if (args == 0) {
    // A bare kind word is not a plain cell: it was most likely meant as the kind.
    for (const char* kind : {"ramp", "sine", "random", "bytes"}) {
      if (EqualsNoCase(word, kind)) return Malformed(name, std::string(kind) + ":<fields>", error);
    }
    shape.kind = SimKind::kCell;
  } else if (EqualsNoCase(word, "ramp")) {
    shape.kind = SimKind::kRamp;
    if (args != 3 || !ParseDouble(f[1], &shape.min) || !ParseDouble(f[2], &shape.max) ||
        !ParseDouble(f[3], &shape.rampStep) || shape.min > shape.max || !(shape.rampStep > 0)) {
      return Malformed(name, "ramp:<min>:<max>:<step> with min <= max and step > 0", error);
    }
  } else if (EqualsNoCase(word, "sine")) {
    shape.kind = SimKind::kSine;
    if (args != 2 || !ParseDouble(f[1], &shape.amplitude) || !ParseDouble(f[2], &shape.periodMs) ||
        !(shape.periodMs > 0)) {
      return Malformed(name, "sine:<amplitude>:<period_ms> with period_ms > 0", error);
    }
  } else if (EqualsNoCase(word, "random")) {
    shape.kind = SimKind::kRandom;
    if (args != 2 || !ParseDouble(f[1], &shape.min) || !ParseDouble(f[2], &shape.max) ||
        shape.min > shape.max) {
      return Malformed(name, "random:<min>:<max> with min <= max", error);
    }
  } else if (EqualsNoCase(word, "bytes")) {
    shape.kind = SimKind::kBytes;
    if (args != 1 || !ParseUint32(f[1], &shape.bytes) || shape.bytes == 0 ||
        shape.bytes > kMaxBytes) {
      return Malformed(name, "bytes:<n> with n from 1 to 1048576", error);
    }
  } else {
    shape.kind = SimKind::kCell;
  }
  *out = shape;
  return S_OK;
}

std::string DescribeSimVariable(const SimVarShape& s) {
  switch (s.kind) {
    case SimKind::kCurrentTime:
      return "ZeltProv.Sim device clock";
    case SimKind::kCounter:
      return "ZeltProv.Sim counter from " + std::to_string(s.start) + " step " +
             std::to_string(s.step);
    case SimKind::kRamp:
      return "ZeltProv.Sim ramp " + Number(s.min) + " to " + Number(s.max) + " step " +
             Number(s.rampStep);
    case SimKind::kSine:
      return "ZeltProv.Sim sine amplitude " + Number(s.amplitude) + " period " +
             Number(s.periodMs) + " ms";
    case SimKind::kRandom:
      return "ZeltProv.Sim random from " + Number(s.min) + " to " + Number(s.max);
    case SimKind::kBytes:
      return "ZeltProv.Sim block of " + std::to_string(s.bytes) + " bytes";
    case SimKind::kCell:
      break;
  }
  return "ZeltProv.Sim writable cell";
}

uint64_t SimRandom::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double SimRandom::NextUnit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

SimCell::SimCell(const SimVarShape& s) : shape(s), counter(s.start), ramp(s.min) {
  if (s.kind == SimKind::kBytes) value = ZeroBytes(s.bytes);
}

Variant ReadSimCell(SimCell& cell, int64_t hostUtcMicros, int64_t deviceUtcMicros,
                    SimRandom& random) {
  const SimVarShape& s = cell.shape;
  switch (s.kind) {
    case SimKind::kCurrentTime:
      return Variant::Date(DateFromUnixMicros(deviceUtcMicros));
    case SimKind::kCounter: {
      const int32_t v = cell.counter;
      // Unsigned arithmetic: the counter wraps instead of overflowing.
      cell.counter = static_cast<int32_t>(static_cast<uint32_t>(v) + static_cast<uint32_t>(s.step));
      return Variant::I4(v);
    }
    case SimKind::kRamp: {
      const double v = cell.ramp;
      const double next = v + s.rampStep;
      cell.ramp = next > s.max ? s.min : next;
      return Variant::R8(v);
    }
    case SimKind::kSine: {
      // The phase from the integer clock first: a double of the whole time
      // would lose the sub-period precision.
      const double periodUs = s.periodMs * 1000.0;
      const double phase = std::fmod(static_cast<double>(hostUtcMicros), periodUs) / periodUs;
      return Variant::R8(s.amplitude * std::sin(2 * std::numbers::pi * phase));
    }
    case SimKind::kRandom:
      return Variant::R8(s.min + (s.max - s.min) * random.NextUnit());
    case SimKind::kBytes:
    case SimKind::kCell:
      break;
  }
  return cell.value;
}

HRESULT WriteSimCell(SimCell& cell, const Variant& given, std::string* error) {
  const Variant& value = given.Deref();
  const SimVarShape& s = cell.shape;
  if (s.kind != SimKind::kBytes && s.kind != SimKind::kCell) {
    *error = DescribeSimVariable(s) + " is read-only";
    return E_ACCESSDENIED;
  }
  const VARTYPE element = value.vt() & ~VT_ARRAY;
  if (value.IsObject() || (value.IsArray() && (element == VT_DISPATCH || element == VT_UNKNOWN))) {
    *error = "a simulated variable cannot hold an object";
    return DISP_E_TYPEMISMATCH;
  }
  if (s.kind == SimKind::kCell) {
    cell.value = value;
    return S_OK;
  }
  if (value.vt() != (VT_ARRAY | VT_UI1)) {
    *error = "a byte block takes an array of bytes (VT_ARRAY | VT_UI1)";
    return DISP_E_TYPEMISMATCH;
  }
  const SafeArray& in = value.array();
  if (in.size() != s.bytes) {
    *error = "a byte block of " + std::to_string(s.bytes) + " bytes was written " +
             std::to_string(in.size()) + " bytes";
    return E_INVALIDARG;
  }
  // A fresh 0-based copy: the caller's array may have other bounds or dimensions.
  Ref<SafeArray> copy = SafeArray::Create1D(VT_UI1, s.bytes);
  std::memcpy(copy->data(), in.data(), s.bytes);
  cell.value = Variant::Array(std::move(copy));
  return S_OK;
}

}  // namespace tavrix
