#include "platform/dispatch.h"

#include <algorithm>
#include <exception>

#include "platform/convert.h"

namespace tavrix {

namespace {

VARTYPE ScalarType(DispatchParam kind) {
  switch (kind) {
    case DispatchParam::kI2:
      return VT_I2;
    case DispatchParam::kI4:
      return VT_I4;
    case DispatchParam::kUI4:
      return VT_UI4;
    case DispatchParam::kR8:
      return VT_R8;
    case DispatchParam::kBool:
      return VT_BOOL;
    case DispatchParam::kText:
      return VT_BSTR;
    default:
      return VT_VARIANT;
  }
}

// An object parameter takes an object of either kind, or Empty as no object
// (the default of an optional object parameter).
HRESULT ToObject(const Variant& arg, DispatchParam kind, Variant* out) {
  if (arg.vt() != VT_DISPATCH && arg.vt() != VT_UNKNOWN && !arg.IsEmpty()) {
    return DISP_E_TYPEMISMATCH;
  }
  IUnknown* unk = arg.IsEmpty() ? nullptr : arg.unknown();
  if (kind == DispatchParam::kUnknown) {
    *out = Variant::Unknown(Ref<IUnknown>(unk));
    return S_OK;
  }
  if (arg.vt() == VT_DISPATCH || unk == nullptr) {
    *out = Variant::Dispatch(Ref<IDispatch>(arg.dispatch()));
    return S_OK;
  }
  Ref<IDispatch> disp = QueryAs<IDispatch>(unk, IID_IDispatch);
  if (!disp) return DISP_E_TYPEMISMATCH;
  *out = Variant::Dispatch(std::move(disp));
  return S_OK;
}

// Puts one argument (present, or the declared default) into slot i of the frame.
HRESULT Bind(const Variant& arg, DispatchParam kind, size_t i, LCID lcid, DispatchFrame& frame) {
  switch (kind) {
    case DispatchParam::kVariantRef:
      if (arg.vt() == (VT_BYREF | VT_VARIANT) && arg.byref() != nullptr) {
        frame.refs[i] = arg.byref();
      } else {
        // Passed by value: the member may write, but the caller sees nothing.
        frame.values[i] = arg;
        frame.refs[i] = &frame.values[i];
      }
      return S_OK;
    case DispatchParam::kVariant:
      frame.values[i] = arg.Deref();
      return S_OK;
    case DispatchParam::kDispatch:
    case DispatchParam::kUnknown:
      return ToObject(arg.Deref(), kind, &frame.values[i]);
    default: {
      const HRESULT hr = ChangeType(arg.Deref(), ScalarType(kind), &frame.values[i], 0, lcid);
      if (hr.failed()) return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
      return S_OK;
    }
  }
}

void Fill(ExcepInfo* excep, const std::string& source, std::string description) {
  if (excep == nullptr) return;
  excep->scode = E_FAIL;
  excep->source = source;
  excep->description = std::move(description);
}

bool IsPutKind(DispatchKind k) { return k == DispatchKind::kPut || k == DispatchKind::kGetPut; }
bool IsGetKind(DispatchKind k) { return k == DispatchKind::kGet || k == DispatchKind::kGetPut; }

}  // namespace

std::span<const DispatchParam> DispatchMember::IndexParams() const {
  if (call) return call.params;
  if (put) return std::span<const DispatchParam>(put.params).first(put.params.size() - 1);
  return {};
}

DispatchMember DispatchMember::Optional(size_t count) && {
  const std::span<const DispatchParam> index = IndexParams();
  count = std::min(count, index.size());
  defaults.clear();
  for (size_t i = index.size() - count; i < index.size(); ++i) {
    const bool variant =
        index[i] == DispatchParam::kVariant || index[i] == DispatchParam::kVariantRef;
    defaults.push_back(variant ? Variant::Missing() : Variant());
  }
  return std::move(*this);
}

DispatchMember DispatchMember::Defaults(std::initializer_list<Variant> values) && {
  if (values.size() > IndexParams().size()) {
    throw std::invalid_argument("dispatch member " + name + ": more defaults than parameters");
  }
  defaults.assign(values.begin(), values.end());
  return std::move(*this);
}

DispatchTableBase::DispatchTableBase(std::string_view source,
                                     std::initializer_list<DispatchMember> members)
    : source_(source), members_(members) {
  for (size_t i = 0; i < members_.size(); ++i) {
    const DispatchMember& m = members_[i];
    if (m.kind == DispatchKind::kGetPut && m.put.params.size() != m.call.params.size() + 1) {
      throw std::invalid_argument("dispatch property " + m.name +
                                  ": the put does not take the get's parameters and a value");
    }
    const auto [it, added] = ids_.emplace(m.name, m.id);
    if (!added && it->second != m.id) {
      throw std::invalid_argument("dispatch name " + m.name + " has two ids");
    }
    for (size_t j = 0; j < i; ++j) {
      const DispatchMember& o = members_[j];
      if (o.id != m.id) continue;
      // The only sharing allowed: a get and a put of one property, listed apart.
      const bool pair = ((m.kind == DispatchKind::kGet && o.kind == DispatchKind::kPut) ||
                         (m.kind == DispatchKind::kPut && o.kind == DispatchKind::kGet)) &&
                        EqualsNoCase(m.name, o.name);
      if (!pair) throw std::invalid_argument("dispatch id of " + m.name + " is taken");
    }
  }
}

HRESULT DispatchTableBase::IdOfName(std::string_view name, DISPID* id) const {
  if (id == nullptr) return E_POINTER;
  const auto it = ids_.find(name);
  if (it == ids_.end()) {
    *id = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  *id = it->second;
  return S_OK;
}

const DispatchMember* DispatchTableBase::Find(DISPID id) const {
  for (const DispatchMember& m : members_) {
    if (m.id == id) return &m;
  }
  return nullptr;
}

HRESULT DispatchTableBase::InvokeOn(void* self, DISPID id, uint16_t flags, std::span<Variant> args,
                                    Variant* result, ExcepInfo* excep, LCID lcid) const {
  const bool isPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  const DispatchMember* member = nullptr;
  for (const DispatchMember& m : members_) {
    if (m.id != id) continue;
    const bool fits = isPut ? IsPutKind(m.kind)
                            : ((flags & DISPATCH_METHOD) && m.kind == DispatchKind::kMethod) ||
                                  ((flags & DISPATCH_PROPERTYGET) && IsGetKind(m.kind));
    if (fits) {
      member = &m;
      break;
    }
  }
  if (member == nullptr) return DISP_E_MEMBERNOTFOUND;
  const DispatchCall& call = isPut ? member->put : member->call;

  std::span<Variant> given = args;
  if (isPut) {
    if (args.empty()) return DISP_E_BADPARAMCOUNT;
    given = args.first(args.size() - 1);
  }
  const std::span<const DispatchParam> index = member->IndexParams();
  const size_t required = index.size() - std::min(member->defaults.size(), index.size());
  if (given.size() > index.size() || given.size() < required) return DISP_E_BADPARAMCOUNT;

  try {
    DispatchFrame frame;
    for (size_t i = 0; i < index.size(); ++i) {
      const bool present = i < given.size() && !given[i].Deref().IsMissing();
      if (present) {
        RETURN_IF_FAILED(Bind(given[i], index[i], i, lcid, frame));
      } else if (i < required) {
        return DISP_E_PARAMNOTOPTIONAL;
      } else {
        RETURN_IF_FAILED(Bind(member->defaults[i - required], index[i], i, lcid, frame));
      }
    }
    if (isPut) {
      const Variant& value = args.back();
      if (value.Deref().IsMissing()) return DISP_E_PARAMNOTOPTIONAL;
      RETURN_IF_FAILED(Bind(value, call.params.back(), index.size(), lcid, frame));
    }
    const HRESULT hr = call.thunk(self, frame);
    if (hr.succeeded() && result != nullptr) *result = std::move(frame.out);
    return hr;
  } catch (const std::exception& e) {
    Fill(excep, source_, e.what());
  } catch (...) {
    Fill(excep, source_, "An unknown exception occurred in " + member->name + ".");
  }
  return DISP_E_EXCEPTION;
}

}  // namespace tavrix
