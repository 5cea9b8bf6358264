// Assignment: Let and Set to variables, array elements, properties of the
// running class instance and members of objects.
#include "platform/convert.h"
#include "platform/safearray.h"
#include "vbscript/errors.h"
#include "vbscript/interp.h"
#include "vbscript/slots.h"

namespace tavrix::vbs {

HRESULT Interpreter::PutElement(Variant* array, std::span<const int32_t> indexes, Variant value) {
  if (!array->IsArray()) return Raise(ScriptError(kErrTypeMismatch));
  SafeArray& arr = array->MutableArray();
  const VARTYPE et = arr.elementType();
  if (et != VT_VARIANT && value.vt() != et) {
    Variant converted;
    RETURN_IF_FAILED(Raise(ChangeType(value, et, &converted, 0, lcid_)));
    value = std::move(converted);
  }
  const HRESULT hr = arr.Put(indexes, value);
  return Raise(hr == DISP_E_BADINDEX ? ScriptError(kErrSubscript) : hr);
}

HRESULT Interpreter::Assign(const Expr* target, Frame& f, Variant value, bool set) {
  if (set && !value.IsObject()) return Raise(ScriptError(kErrObjectRequired));
  const uint16_t putFlags = set ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
  switch (target->kind) {
    case ExprKind::kName: {
      if (Variant* slot = Slot(target->ref, f)) {
        Store(slot, std::move(value));
        return S_OK;
      }
      if (target->ref.kind == RefKind::kMember) {
        return PutProperty(target->ref, {}, f, std::move(value), set);
      }
      RETURN_IF_FAILED(CheckName(target->ref));
      return Raise(ScriptError(kErrIllegalAssignment));
    }
    case ExprKind::kMember: {
      Ref<IDispatch> obj;
      RETURN_IF_FAILED(MemberObject(target, f, &obj));
      DISPID id;
      RETURN_IF_FAILED(IdOf(obj.get(), target->name, &id));
      Variant args[1] = {std::move(value)};
      return Invoke(obj.get(), target->name, id, putFlags, args, nullptr);
    }
    case ExprKind::kIndex: {
      const Expr* left = target->left.get();
      if (left->kind == ExprKind::kMember) {
        Ref<IDispatch> obj;
        RETURN_IF_FAILED(MemberObject(left, f, &obj));
        DISPID id;
        RETURN_IF_FAILED(IdOf(obj.get(), left->name, &id));
        ArgValues args;
        RETURN_IF_FAILED(DispatchArgs(target->args, f, &args));
        args.push_back(std::move(value));
        return Invoke(obj.get(), left->name, id, putFlags, args, nullptr);
      }
      if (left->kind != ExprKind::kName) return Raise(ScriptError(kErrIllegalAssignment));
      if (left->ref.kind == RefKind::kMember) {
        return PutProperty(left->ref, target->args, f, std::move(value), set);
      }
      Variant* slot = Slot(left->ref, f);
      if (slot == nullptr) {
        RETURN_IF_FAILED(CheckName(left->ref));
        return Raise(ScriptError(kErrIllegalAssignment));
      }
      if (slot->IsArray()) {
        std::vector<int32_t> indexes;
        RETURN_IF_FAILED(ArrayIndexes(target->args, f, &indexes));
        // The indexes may have run code that changed the variable.
        return PutElement(slot, indexes, std::move(value));
      }
      if (slot->vt() == VT_DISPATCH || slot->vt() == VT_UNKNOWN) {
        Ref<IDispatch> obj = QueryAs<IDispatch>(slot->unknown(), IID_IDispatch);
        if (!obj) return Raise(ScriptError(kErrObjectRequired));
        ArgValues args;
        RETURN_IF_FAILED(DispatchArgs(target->args, f, &args));
        args.push_back(value);
        const HRESULT hr = Invoke(obj.get(), "", DISPID_VALUE, putFlags, args, nullptr);
        if (hr != ScriptError(kErrNoSuchMember) || target->args.empty()) return hr;
        // `MyCtrl("T") = v` where the collection's item has no put: the put
        // goes to the item's own default member.
        args.pop_back();
        Variant item;
        RETURN_IF_FAILED(Invoke(obj.get(), "", DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                args, &item));
        Ref<IDispatch> inner = QueryAs<IDispatch>(item.unknown(), IID_IDispatch);
        if (!inner) return Raise(ScriptError(kErrNoSuchMember));
        Variant put[1] = {std::move(value)};
        return Invoke(inner.get(), "", DISPID_VALUE, putFlags, put, nullptr);
      }
      return Raise(ScriptError(kErrTypeMismatch));
    }
    default:
      return Raise(ScriptError(kErrIllegalAssignment));
  }
}

}  // namespace tavrix::vbs
