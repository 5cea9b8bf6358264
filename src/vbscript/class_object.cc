#include "vbscript/class_object.h"

#include "vbscript/interp.h"

namespace tavrix::vbs {

ClassInstance::ClassInstance(const ClassDef* def, Interpreter* owner)
    : fields(def->fields.size()), def_(def), owner_(owner) {}

HRESULT ClassInstance::QueryInterface(const IID& iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch) {
    *out = static_cast<IDispatch*>(this);
  } else if (iid == IID_IScriptTypeName) {
    *out = static_cast<IScriptTypeName*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

uint32_t ClassInstance::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

uint32_t ClassInstance::Release() {
  uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left != 0) return left;
  if (owner_ != nullptr && !terminated_) {
    // Alive again while Class_Terminate runs; it may keep a reference to Me,
    // but it runs once.
    terminated_ = true;
    refs_.store(1, std::memory_order_relaxed);
    owner_->Terminate(this);
    left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left != 0) return left;
  }
  if (owner_ != nullptr) owner_->Unlink(this);
  delete this;
  return 0;
}

HRESULT ClassInstance::GetIDsOfNames(std::string_view name, DISPID* id) {
  if (id == nullptr) return E_POINTER;
  if (owner_ == nullptr) return E_UNEXPECTED;
  const auto it = def_->memberIndex.find(name);
  if (it == def_->memberIndex.end() || !def_->members[static_cast<size_t>(it->second)].isPublic) {
    return DISP_E_UNKNOWNNAME;
  }
  *id = it->second + 1;
  return S_OK;
}

HRESULT ClassInstance::Invoke(DISPID id, uint16_t flags, std::span<Variant> args,
                              Variant* result, ExcepInfo* excep, LCID) {
  if (owner_ == nullptr) return E_UNEXPECTED;
  const int32_t member = id == DISPID_VALUE ? def_->defaultMember : id - 1;
  if (member < 0 || static_cast<size_t>(member) >= def_->members.size() ||
      (id != DISPID_VALUE && !def_->members[static_cast<size_t>(member)].isPublic)) {
    return DISP_E_MEMBERNOTFOUND;
  }
  return owner_->InvokeFromOutside(this, member, flags, args, result, excep);
}

std::string ClassInstance::TypeName() { return owner_ != nullptr ? def_->name : "Object"; }

}  // namespace tavrix::vbs
