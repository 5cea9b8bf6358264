// Arrays: Array, UBound, LBound, IsArray. (Split, Join and Filter live with
// the text search in builtins_search.cc.)
#include <vector>

#include "platform/safearray.h"
#include "vbscript/builtins_internal.h"

namespace tavrix::vbs::builtins {
namespace {

HRESULT ArrayOf(BuiltinContext&, std::span<const Variant> args, Variant* result) {
  std::vector<Variant> values;
  values.reserve(args.size());
  for (const Variant& a : args) values.push_back(a.Deref());
  *result = MakeVariantArray(std::move(values));
  return S_OK;
}

// UBound / LBound(array[, dimension]): dimension 1 is the leftmost.
// DISP_E_TYPEMISMATCH for a value that is no array; ScriptError(9) for a
// dimension the array lacks (and for an array variant without storage).
template <bool kUpper>
HRESULT Bound(BuiltinContext& context, std::span<const Variant> args, Variant* result) {
  const Variant& v = args[0].Deref();
  if (!v.IsArray()) return DISP_E_TYPEMISMATCH;
  int32_t dimension = 1;
  if (Given(args, 1)) RETURN_IF_FAILED(ArgLong(context, args[1], &dimension));
  if (!v.arrayRef()) return ScriptError(kErrSubscript);
  const SafeArray& a = v.array();
  if (dimension < 1 || static_cast<uint32_t>(dimension) > a.dims()) {
    return ScriptError(kErrSubscript);
  }
  const uint32_t dim = static_cast<uint32_t>(dimension) - 1;
  *result = Variant::I4(kUpper ? static_cast<int32_t>(a.ubound(dim)) : a.lbound(dim));
  return S_OK;
}

HRESULT IsArray(BuiltinContext&, std::span<const Variant> args, Variant* result) {
  *result = Variant::Bool(args[0].Deref().IsArray());
  return S_OK;
}

constexpr BuiltinInfo kBuiltins[] = {
    {"Array", 0, kManyArgs, ArrayOf},
    {"UBound", 1, 2, Bound<true>},
    {"LBound", 1, 2, Bound<false>},
    {"IsArray", 1, 1, IsArray},
};

}  // namespace

std::span<const BuiltinInfo> ArrayBuiltins() { return kBuiltins; }

}  // namespace tavrix::vbs::builtins
