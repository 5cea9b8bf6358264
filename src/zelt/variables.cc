#include "zelt/variables.h"

#include <limits>
#include <utility>

#include "platform/date.h"
#include "zelt/error.h"

namespace tavrix {
namespace {

constexpr int64_t kNoStamp = std::numeric_limits<int64_t>::min();

// Microseconds split into whole seconds and the rest (0 .. 999999), also
// before 1970.
void SplitMicros(int64_t micros, int64_t* seconds, int32_t* rest) {
  int64_t s = micros / 1000000;
  int64_t r = micros % 1000000;
  if (r < 0) {
    r += 1000000;
    --s;
  }
  *seconds = s;
  *rest = static_cast<int32_t>(r);
}

}  // namespace

ZeltVariable::ZeltVariable(std::string name, std::unique_ptr<IZeltPoint> point)
    : name_(std::move(name)), point_(std::move(point)), stampMicros_(kNoStamp) {}

HRESULT ZeltVariable::get_Name(std::string* out) {
  if (out == nullptr) return E_POINTER;
  *out = name_;
  return S_OK;
}

HRESULT ZeltVariable::get_Value(Variant* out) {
  if (out == nullptr) return E_POINTER;
  int64_t stamp = 0;
  RETURN_IF_FAILED(point_->Read(out, &stamp));
  stampMicros_.store(stamp, std::memory_order_relaxed);
  return S_OK;
}

HRESULT ZeltVariable::put_Value(const Variant& value) {
  int64_t stamp = 0;
  RETURN_IF_FAILED(point_->Write(value, &stamp));
  stampMicros_.store(stamp, std::memory_order_relaxed);
  return S_OK;
}

HRESULT ZeltVariable::get_DateTime(double* out) {
  if (out == nullptr) return E_POINTER;
  const int64_t stamp = stampMicros_.load(std::memory_order_relaxed);
  if (stamp == kNoStamp) {
    *out = 0;
    return S_OK;
  }
  int64_t seconds = 0;
  int32_t rest = 0;
  SplitMicros(stamp, &seconds, &rest);
  *out = DateFromUnixMicros(seconds * 1000000);
  return S_OK;
}

HRESULT ZeltVariable::get_Microsecond(int32_t* out) {
  if (out == nullptr) return E_POINTER;
  const int64_t stamp = stampMicros_.load(std::memory_order_relaxed);
  int64_t seconds = 0;
  int32_t rest = 0;
  if (stamp != kNoStamp) SplitMicros(stamp, &seconds, &rest);
  *out = rest;
  return S_OK;
}

HRESULT ZeltVariable::get_ID(int32_t* out) {
  if (out == nullptr) return E_POINTER;
  *out = id_.load(std::memory_order_relaxed);
  return S_OK;
}

HRESULT ZeltVariable::put_ID(int32_t id) {
  id_.store(id, std::memory_order_relaxed);
  return S_OK;
}

HRESULT ZeltVariable::get_Description(std::string* out) {
  if (out == nullptr) return E_POINTER;
  *out = point_->Description();
  return S_OK;
}

HRESULT ZeltVariable::DispDateTime(Variant* out) {
  double date = 0;
  RETURN_IF_FAILED(get_DateTime(&date));
  *out = Variant::Date(date);
  return S_OK;
}

const DispatchTable<ZeltVariable>& ZeltVariable::DispatchMembers() {
  using D = DispatchTable<ZeltVariable>;
  static const D table(
      "Zelt.Variable",
      {
          D::Property("Value", DISPID_VALUE, &ZeltVariable::get_Value, &ZeltVariable::put_Value),
          D::Get("Name", 1, &ZeltVariable::get_Name),
          D::Get("DateTime", 2, &ZeltVariable::DispDateTime),
          D::Get("Microsecond", 3, &ZeltVariable::get_Microsecond),
          D::Property("ID", 4, &ZeltVariable::get_ID, &ZeltVariable::put_ID),
          D::Get("Description", 5, &ZeltVariable::get_Description),
      });
  return table;
}

ZeltVariables::ZeltVariables(std::shared_ptr<IZeltProvider> provider, ZeltScope scope)
    : provider_(std::move(provider)), scope_(std::move(scope)) {}

HRESULT ZeltVariables::get_Count(int32_t* out) {
  if (out == nullptr) return E_POINTER;
  *out = list_.Count();
  return S_OK;
}

HRESULT ZeltVariables::Item(const Variant& index, Ref<IZeltVariable>* out) {
  if (out == nullptr) return E_POINTER;
  Ref<ZeltVariable> found;
  RETURN_IF_FAILED(list_.Item(index, &found));
  *out = std::move(found);
  return S_OK;
}

HRESULT ZeltVariables::get__NewEnum(Variant* out) {
  if (out == nullptr) return E_POINTER;
  *out = list_.NewEnum();
  return S_OK;
}

HRESULT ZeltVariables::Add(std::string_view name, std::string_view option,
                           Ref<IZeltVariable>* out) {
  if (out == nullptr) return E_POINTER;
  if (name.empty()) return ZeltFail(E_INVALIDARG, "a variable needs a name");
  const auto exists = [&] {
    return ZeltFail(TVX_E_ZELT_ALREADY_EXISTS, "variable '" + std::string(name) + "' exists");
  };
  if (list_.Find(name)) return exists();
  // The provider is asked outside the list's lock; a racing Add of the same
  // name may win, and then this one gives "exists" like any later Add.
  std::unique_ptr<IZeltPoint> point;
  RETURN_IF_FAILED(provider_->AddVariable(scope_, name, option, &point));
  Ref<ZeltVariable> variable = MakeRef<ZeltVariable>(std::string(name), std::move(point));
  if (list_.AddOrGet(variable)) return exists();
  *out = std::move(variable);
  return S_OK;
}

HRESULT ZeltVariables::DispItem(const Variant& index, Ref<IDispatch>* out) {
  Ref<IZeltVariable> found;
  RETURN_IF_FAILED(Item(index, &found));
  *out = ZeltAsDispatch(found);
  return S_OK;
}

HRESULT ZeltVariables::DispAdd(std::string_view name, std::string_view option,
                               Ref<IDispatch>* out) {
  Ref<IZeltVariable> added;
  RETURN_IF_FAILED(Add(name, option, &added));
  *out = ZeltAsDispatch(added);
  return S_OK;
}

const DispatchTable<ZeltVariables>& ZeltVariables::DispatchMembers() {
  using D = DispatchTable<ZeltVariables>;
  static const D table("Zelt.Variables",
                       {
                           D::Method("Item", DISPID_VALUE, &ZeltVariables::DispItem),
                           D::Get("Count", 1, &ZeltVariables::get_Count),
                           D::Method("Add", 2, &ZeltVariables::DispAdd).Optional(1),
                           D::Get("_NewEnum", DISPID_NEWENUM, &ZeltVariables::get__NewEnum),
                       });
  return table;
}

}  // namespace tavrix
