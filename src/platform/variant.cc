#include "platform/variant.h"

#include <cstring>
#include <sstream>

#include "platform/safearray.h"

namespace tavrix {

struct Variant::TextPayload final : RefCounted {
  explicit TextPayload(std::string_view s) : value(s) {}
  const std::string value;
};

struct Variant::DecimalPayload final : RefCounted {
  explicit DecimalPayload(const Decimal& d) : value(d) {}
  const Decimal value;
};

namespace {
const std::string& EmptyText() {
  static const std::string kEmpty;
  return kEmpty;
}
const Decimal& ZeroDecimal() {
  static const Decimal kZero;
  return kZero;
}
}  // namespace

bool Variant::HoldsPayload() const noexcept {
  if (vt_ & VT_BYREF) return false;
  if (vt_ & VT_ARRAY) return u_.array != nullptr;
  switch (vt_) {
    case VT_BSTR:
      return u_.text != nullptr;
    case VT_DECIMAL:
      return u_.dec != nullptr;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return u_.unk != nullptr;
    default:
      return false;
  }
}

void Variant::AddRefPayload() const noexcept {
  if (!HoldsPayload()) return;
  if (vt_ & VT_ARRAY) {
    u_.array->AddRef();
    return;
  }
  switch (vt_) {
    case VT_BSTR:
      u_.text->AddRef();
      break;
    case VT_DECIMAL:
      u_.dec->AddRef();
      break;
    case VT_DISPATCH:
      u_.disp->AddRef();
      break;
    case VT_UNKNOWN:
      u_.unk->AddRef();
      break;
    default:
      break;
  }
}

void Variant::ReleasePayload() noexcept {
  if (HoldsPayload()) {
    if (vt_ & VT_ARRAY) {
      u_.array->Release();
    } else {
      switch (vt_) {
        case VT_BSTR:
          u_.text->Release();
          break;
        case VT_DECIMAL:
          u_.dec->Release();
          break;
        case VT_DISPATCH:
          u_.disp->Release();
          break;
        case VT_UNKNOWN:
          u_.unk->Release();
          break;
        default:
          break;
      }
    }
  }
  vt_ = VT_EMPTY;
  u_.i64 = 0;
}

Variant& Variant::operator=(const Variant& o) noexcept {
  Variant(o).swap(*this);
  return *this;
}

Variant& Variant::operator=(Variant&& o) noexcept {
  Variant(std::move(o)).swap(*this);
  return *this;
}

void Variant::swap(Variant& o) noexcept {
  std::swap(vt_, o.vt_);
  std::swap(u_, o.u_);
}

void Variant::Clear() noexcept { ReleasePayload(); }

// Each factory writes all eight payload bytes at once: a narrow store after a
// wide one would stall the next full-width copy of the variant.
#define TAVRIX_SCALAR_FACTORY(Name, Type, VT, field) \
  Variant Variant::Name(Type v) noexcept {           \
    Variant r;                                       \
    decltype(r.u_) u;                                \
    u.i64 = 0;                                       \
    u.field = v;                                     \
    r.vt_ = VT;                                      \
    std::memcpy(&r.u_, &u, sizeof u);                \
    return r;                                        \
  }
TAVRIX_SCALAR_FACTORY(I1, int8_t, VT_I1, i1)
TAVRIX_SCALAR_FACTORY(UI1, uint8_t, VT_UI1, ui1)
TAVRIX_SCALAR_FACTORY(I2, int16_t, VT_I2, i2)
TAVRIX_SCALAR_FACTORY(UI2, uint16_t, VT_UI2, ui2)
TAVRIX_SCALAR_FACTORY(I4, int32_t, VT_I4, i4)
TAVRIX_SCALAR_FACTORY(UI4, uint32_t, VT_UI4, ui4)
TAVRIX_SCALAR_FACTORY(I8, int64_t, VT_I8, i64)
TAVRIX_SCALAR_FACTORY(UI8, uint64_t, VT_UI8, ui64)
TAVRIX_SCALAR_FACTORY(Int, int32_t, VT_INT, i4)
TAVRIX_SCALAR_FACTORY(UInt, uint32_t, VT_UINT, ui4)
TAVRIX_SCALAR_FACTORY(R4, float, VT_R4, r4)
TAVRIX_SCALAR_FACTORY(R8, double, VT_R8, r8)
TAVRIX_SCALAR_FACTORY(BoolRaw, VARIANT_BOOL, VT_BOOL, i2)
TAVRIX_SCALAR_FACTORY(Date, double, VT_DATE, r8)
TAVRIX_SCALAR_FACTORY(Error, int32_t, VT_ERROR, i4)
#undef TAVRIX_SCALAR_FACTORY

Variant Variant::Null() noexcept {
  Variant r;
  r.vt_ = VT_NULL;
  return r;
}

Variant Variant::Bool(bool v) noexcept { return BoolRaw(v ? VARIANT_TRUE : VARIANT_FALSE); }

Variant Variant::Cy(Currency v) noexcept {
  Variant r;
  r.vt_ = VT_CY;
  r.u_.i64 = v.int64;
  return r;
}

Variant Variant::Text(std::string_view s) {
  Variant r;
  auto* p = new TextPayload(s);
  p->AddRef();
  r.vt_ = VT_BSTR;
  r.u_.text = p;
  return r;
}

Variant Variant::Dec(const Decimal& d) {
  Variant r;
  auto* p = new DecimalPayload(d);
  p->AddRef();
  r.vt_ = VT_DECIMAL;
  r.u_.dec = p;
  return r;
}

Variant Variant::Dispatch(Ref<IDispatch> p) noexcept {
  Variant r;
  r.vt_ = VT_DISPATCH;
  r.u_.disp = p.Detach();
  return r;
}

Variant Variant::Unknown(Ref<IUnknown> p) noexcept {
  Variant r;
  r.vt_ = VT_UNKNOWN;
  r.u_.unk = p.Detach();
  return r;
}

Variant Variant::Array(Ref<SafeArray> a) noexcept {
  if (!a) return Variant();
  Variant r;
  r.vt_ = static_cast<VARTYPE>(VT_ARRAY | a->elementType());
  r.u_.array = a.Detach();
  return r;
}

Variant Variant::ByRef(Variant* target) noexcept {
  Variant r;
  r.vt_ = VT_BYREF | VT_VARIANT;
  r.u_.ref = target;
  return r;
}

Variant Variant::Missing() noexcept { return Error(DISP_E_PARAMNOTFOUND.code()); }

bool Variant::IsMissing() const noexcept {
  return vt_ == VT_ERROR && u_.i4 == DISP_E_PARAMNOTFOUND.code();
}

const std::string& Variant::text() const noexcept {
  return (vt_ == VT_BSTR && u_.text) ? u_.text->value : EmptyText();
}

const Decimal& Variant::dec() const noexcept {
  return (vt_ == VT_DECIMAL && u_.dec) ? u_.dec->value : ZeroDecimal();
}

IUnknown* Variant::unknown() const noexcept {
  if (vt_ == VT_UNKNOWN) return u_.unk;
  if (vt_ == VT_DISPATCH) return u_.disp;
  return nullptr;
}

const SafeArray& Variant::array() const noexcept { return *u_.array; }

Ref<SafeArray> Variant::arrayRef() const noexcept {
  return IsArray() && !IsByRef() ? Ref<SafeArray>(u_.array) : Ref<SafeArray>();
}

SafeArray& Variant::MutableArray() {
  if (u_.array->IsShared()) {
    Ref<SafeArray> copy = u_.array->Clone();
    u_.array->Release();
    u_.array = copy.Detach();
  }
  return *u_.array;
}

const Variant& Variant::Deref() const noexcept {
  if (vt_ == (VT_BYREF | VT_VARIANT) && u_.ref != nullptr) return *u_.ref;
  return *this;
}

bool Variant::Identical(const Variant& o) const {
  if (vt_ != o.vt_) return false;
  if (vt_ & VT_BYREF) return u_.ref == o.u_.ref;
  if (vt_ & VT_ARRAY) {
    if (u_.array == o.u_.array) return true;
    if (!u_.array || !o.u_.array) return false;
    return u_.array->Identical(*o.u_.array);
  }
  switch (vt_) {
    case VT_EMPTY:
    case VT_NULL:
      return true;
    case VT_BSTR:
      return text() == o.text();
    case VT_DECIMAL:
      return dec() == o.dec();
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return u_.unk == o.u_.unk;
    default: {
      const size_t n = VarTypeSize(vt_);
      return std::memcmp(&u_, &o.u_, n == 0 ? sizeof u_ : n) == 0;
    }
  }
}

bool IsIntegerVarType(VARTYPE vt) noexcept {
  switch (vt) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4:
    case VT_INT: case VT_UINT: case VT_I8: case VT_UI8:
      return true;
    default:
      return false;
  }
}

uint64_t IntegerBits(const Variant& v) noexcept {
  switch (v.vt()) {
    case VT_I1: return static_cast<uint64_t>(static_cast<int64_t>(v.i1()));
    case VT_UI1: return v.ui1();
    case VT_I2: return static_cast<uint64_t>(static_cast<int64_t>(v.i2()));
    case VT_UI2: return v.ui2();
    case VT_I4: case VT_INT: return static_cast<uint64_t>(static_cast<int64_t>(v.i4()));
    case VT_UI4: case VT_UINT: return v.ui4();
    case VT_I8: return static_cast<uint64_t>(v.i8());
    default: return v.ui8();
  }
}

Variant IntegerFromBits(VARTYPE vt, uint64_t bits) noexcept {
  switch (vt) {
    case VT_I1: return Variant::I1(static_cast<int8_t>(bits));
    case VT_UI1: return Variant::UI1(static_cast<uint8_t>(bits));
    case VT_I2: return Variant::I2(static_cast<int16_t>(bits));
    case VT_UI2: return Variant::UI2(static_cast<uint16_t>(bits));
    case VT_I4: return Variant::I4(static_cast<int32_t>(bits));
    case VT_INT: return Variant::Int(static_cast<int32_t>(bits));
    case VT_UI4: return Variant::UI4(static_cast<uint32_t>(bits));
    case VT_UINT: return Variant::UInt(static_cast<uint32_t>(bits));
    case VT_I8: return Variant::I8(static_cast<int64_t>(bits));
    default: return Variant::UI8(bits);
  }
}

std::string DebugString(const Variant& v) {
  std::ostringstream os;
  os << VarTypeName(v.vt());
  if (v.IsByRef()) return os.str();
  if (v.IsArray()) {
    const SafeArray& a = v.array();
    os << "(";
    for (uint32_t d = 0; d < a.dims(); ++d) {
      os << (d ? "," : "") << a.lbound(d) << " to " << a.ubound(d);
    }
    os << "){";
    for (size_t i = 0; i < a.size() && i < 16; ++i) os << (i ? ", " : "") << DebugString(a.At(i));
    if (a.size() > 16) os << ", ...";
    os << "}";
    return os.str();
  }
  os << " ";
  switch (v.vt()) {
    case VT_EMPTY:
    case VT_NULL:
      return VarTypeName(v.vt());
    case VT_I1: os << int{v.i1()}; break;
    case VT_UI1: os << unsigned{v.ui1()}; break;
    case VT_I2: case VT_BOOL: os << v.i2(); break;
    case VT_UI2: os << v.ui2(); break;
    case VT_I4: case VT_INT: os << v.i4(); break;
    case VT_ERROR: os << "0x" << std::hex << v.ui4(); break;
    case VT_UI4: case VT_UINT: os << v.ui4(); break;
    case VT_I8: os << v.i8(); break;
    case VT_UI8: os << v.ui8(); break;
    case VT_R4: os.precision(9); os << v.r4(); break;
    case VT_R8: case VT_DATE: os.precision(17); os << v.r8(); break;
    case VT_CY: os << v.cy().int64 << "/10000"; break;
    case VT_BSTR: os << '"' << v.text() << '"'; break;
    case VT_DECIMAL: {
      const Decimal& d = v.dec();
      os << (d.negative ? "-" : "") << d.hi32 << ":" << d.lo64 << "e-" << int{d.scale};
      break;
    }
    default: os << "@" << static_cast<const void*>(v.unknown()); break;
  }
  return os.str();
}

}  // namespace tavrix
