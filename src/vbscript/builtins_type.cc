// Types: IsEmpty, IsNull, IsNumeric, IsDate, IsObject, VarType, TypeName,
// and the engine's GetLocale and ScriptEngine* functions.
#include "platform/convert.h"
#include "vbscript/builtins_internal.h"
#include "vbscript/builtins_typename.h"

namespace tavrix::vbs::builtins {
namespace {

// The value the Is* tests look at: an object's default member when it has
// one (so IsNull(Item) tests the item's value), else the argument itself.
Variant Tested(BuiltinContext& context, const Variant& arg) {
  const Variant& v = arg.Deref();
  Variant value;
  if (v.vt() == VT_DISPATCH && v.dispatch() != nullptr &&
      DefaultValue(v, &value, context.Locale()).succeeded()) {
    return value;
  }
  return v;
}

template <bool (*kTest)(BuiltinContext&, const Variant&)>
HRESULT Is(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  *result = Variant::Bool(kTest(context, Tested(context, args[0])));
  return S_OK;
}

bool EmptyTest(BuiltinContext&, const Variant& v) { return v.IsEmpty(); }
bool NullTest(BuiltinContext&, const Variant& v) { return v.IsNull(); }

// Numbers, booleans, Empty and texts that read as a number under the locale;
// dates are not numeric.
bool NumericTest(BuiltinContext& context, const Variant& v) {
  switch (v.vt()) {
    case VT_EMPTY: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_BOOL:
    case VT_DECIMAL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8:
    case VT_INT: case VT_UINT:
      return true;
    case VT_BSTR: {
      double ignored = 0;
      return R8FromStr(v.text(), context.Locale(), 0, &ignored).succeeded();
    }
    default:
      return false;
  }
}

bool DateTest(BuiltinContext& context, const Variant& v) {
  if (v.vt() == VT_DATE) return true;
  if (v.vt() != VT_BSTR) return false;
  double ignored = 0;
  return DateFromStr(v.text(), context.Locale(), 0, &ignored).succeeded();
}

HRESULT IsObject(BuiltinContext&, std::span<const Variant> args, Variant* result) {
  *result = Variant::Bool(args[0].Deref().IsObject());
  return S_OK;
}

// VarType: the type number; an object with a default member gives the type of
// that value, other objects vbObject (9).
HRESULT VarType(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  const Variant& v = args[0].Deref();
  VARTYPE vt = v.vt();
  if (vt == VT_DISPATCH) {
    const Variant value = Tested(context, v);
    if (!value.IsObject()) vt = value.vt();
  }
  *result = Variant::I2(static_cast<int16_t>(vt & ~VT_BYREF));
  return S_OK;
}

std::string_view ScalarTypeName(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY: return "Empty";
    case VT_NULL: return "Null";
    case VT_I2: return "Integer";
    case VT_I4: return "Long";
    case VT_R4: return "Single";
    case VT_R8: return "Double";
    case VT_CY: return "Currency";
    case VT_DATE: return "Date";
    case VT_BSTR: return "String";
    case VT_DISPATCH: return "Object";
    case VT_ERROR: return "Error";
    case VT_BOOL: return "Boolean";
    case VT_VARIANT: return "Variant";
    case VT_UNKNOWN: return "Unknown";
    case VT_DECIMAL: return "Decimal";
    case VT_UI1: return "Byte";
    // Types the language has no name for; seen only in values from objects.
    default: return "Unknown";
  }
}

// TypeName: the subtype's name, "Variant()" and the like for arrays,
// "Nothing" for an empty object reference, and an object's own class name
// when it states one (IScriptTypeName).
HRESULT TypeName(BuiltinContext&, std::span<const Variant> args, Variant* result) {
  const Variant& v = args[0].Deref();
  std::string name;
  if (v.IsArray()) {
    name = std::string(ScalarTypeName(v.vt() & VT_TYPEMASK)) + "()";
  } else if (v.IsObject()) {
    if (v.unknown() == nullptr) {
      name = "Nothing";
    } else if (Ref<IScriptTypeName> named =
                   QueryAs<IScriptTypeName>(v.unknown(), IID_IScriptTypeName)) {
      name = named->TypeName();
    } else {
      name = ScalarTypeName(v.vt());
    }
  } else {
    name = ScalarTypeName(v.vt());
  }
  *result = Variant::Text(name);
  return S_OK;
}

// GetLocale: the LCID the script's conversions use (a default alias resolved).
HRESULT GetLocaleId(BuiltinContext& context, std::span<const Variant>, Variant* result) {
  *result = Variant::I4(static_cast<int32_t>(GetLocale(context.Locale()).lcid));
  return S_OK;
}

HRESULT ScriptEngine(BuiltinContext&, std::span<const Variant>, Variant* result) {
  *result = Variant::Text("VBScript");
  return S_OK;
}

template <int32_t kNumber>
HRESULT Version(BuiltinContext&, std::span<const Variant>, Variant* result) {
  *result = Variant::I4(kNumber);
  return S_OK;
}

constexpr BuiltinInfo kBuiltins[] = {
    {"IsEmpty", 1, 1, Is<EmptyTest>},
    {"IsNull", 1, 1, Is<NullTest>},
    {"IsNumeric", 1, 1, Is<NumericTest>},
    {"IsDate", 1, 1, Is<DateTest>},
    {"IsObject", 1, 1, IsObject},
    {"VarType", 1, 1, VarType},
    {"TypeName", 1, 1, TypeName},
    {"GetLocale", 0, 0, GetLocaleId},
    {"ScriptEngine", 0, 0, ScriptEngine},
    {"ScriptEngineMajorVersion", 0, 0, Version<5>},
    {"ScriptEngineMinorVersion", 0, 0, Version<8>},
    {"ScriptEngineBuildVersion", 0, 0, Version<16384>},
};

}  // namespace

std::span<const BuiltinInfo> TypeBuiltins() { return kBuiltins; }

}  // namespace tavrix::vbs::builtins
