// ClassInstance: an object of a script class (Class ... End Class), as
// scripts and hosts see it through IDispatch.
//
// Its variables live in `fields`; the engine that made it runs its members.
// A member's dispatch id is its place in the class's member table plus one,
// and DISPID_VALUE reaches the default member; GetIDsOfNames knows only the
// public members. Invoke follows the rules of platform/dispatch.h; a failure
// of the member's script code comes back as DISP_E_EXCEPTION with *excep
// holding the error's code (scode), description and source, or as the
// error's own code when excep is null.
//
// Class_Terminate runs when the last reference goes, on the thread that
// drops it. Like every call into an engine, that must not overlap another
// call into the same engine: a host that keeps an instance drops it on the
// engine's thread, between runs. Once its engine is gone an instance has no
// variables left and its members fail with E_UNEXPECTED.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/unknown.h"
#include "platform/variant.h"
#include "vbscript/ast.h"
#include "vbscript/builtins_typename.h"

namespace tavrix::vbs {

class Interpreter;

class ClassInstance final : public IDispatch, public IScriptTypeName {
 public:
  ClassInstance(const ClassDef* def, Interpreter* owner);

  // IUnknown.
  HRESULT QueryInterface(const IID& iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  // IDispatch.
  HRESULT GetIDsOfNames(std::string_view name, DISPID* id) override;
  HRESULT Invoke(DISPID id, uint16_t flags, std::span<Variant> args, Variant* result,
                 ExcepInfo* excep, LCID lcid) override;

  // IScriptTypeName: the class's name as declared.
  std::string TypeName() override;

  const ClassDef* def() const noexcept { return def_; }

  // The instance's variables, one per field of the class.
  std::vector<Variant> fields;
  // Class_Initialize has finished: Class_Terminate runs when the instance goes.
  bool initialized = false;

 private:
  friend class Interpreter;  // keeps its live instances in a list, and detaches them
  ~ClassInstance() = default;

  const ClassDef* def_;
  Interpreter* owner_;  // null once the engine is gone
  std::atomic<uint32_t> refs_{0};
  bool terminated_ = false;
  ClassInstance* prev_ = nullptr;  // the owner's list of live instances
  ClassInstance* next_ = nullptr;
};

}  // namespace tavrix::vbs
