// The controller object: one connection to a device through a provider.
#pragma once

#include <memory>
#include <string>

#include "platform/connection_point.h"
#include "platform/dispatch.h"
#include "zelt/class_object.h"
#include "zelt/interfaces.h"
#include "zelt/provider.h"
#include "zelt/variables.h"

namespace tavrix {

// Dispatch ids: Name 1, Index 2, Description 3, Execute 4, AddExtension 5,
// AddTask 6, AddRobot 7, AddFile 8, Extensions 9, Tasks 10, Robots 11, Files
// 12, Variables 13, EventSource 14 (the connection point as an unknown).
//
// Every member is immutable after construction; the collections and the
// connection point lock for themselves, so the controller has no lock of its own.
class ZeltController final : public DispatchObject<ZeltController, IZeltController> {
 public:
  // `provider` is open, and raises its messages to `events`.
  ZeltController(std::string name, int32_t index, std::shared_ptr<IZeltProvider> provider,
                 Ref<ConnectionPoint> events);

  const std::string& name() const noexcept { return name_; }
  int32_t index() const noexcept { return index_; }

  HRESULT get_Name(std::string* out) override;
  HRESULT get_Index(int32_t* out) override;
  HRESULT get_Description(std::string* out) override;
  HRESULT Execute(const Variant& command, const Variant& param, Variant* result) override;
  HRESULT AddExtension(std::string_view name, std::string_view option,
                       Ref<IZeltClassObject>* out) override;
  HRESULT AddTask(std::string_view name, std::string_view option,
                  Ref<IZeltClassObject>* out) override;
  HRESULT AddRobot(std::string_view name, std::string_view option,
                   Ref<IZeltClassObject>* out) override;
  HRESULT AddFile(std::string_view name, std::string_view option,
                  Ref<IZeltClassObject>* out) override;
  HRESULT get_Extensions(Ref<IZeltClassObjects>* out) override;
  HRESULT get_Tasks(Ref<IZeltClassObjects>* out) override;
  HRESULT get_Robots(Ref<IZeltClassObjects>* out) override;
  HRESULT get_Files(Ref<IZeltClassObjects>* out) override;
  HRESULT get_Variables(Ref<IZeltVariables>* out) override;
  HRESULT get_EventSource(Ref<IConnectionPoint>* out) override;

  static const DispatchTable<ZeltController>& DispatchMembers();

 private:
  HRESULT Collection(const Ref<ZeltClassObjects>& which, Ref<IZeltClassObjects>* out);
  HRESULT DispAdd(ZeltVarClass kind, std::string_view name, std::string_view option,
                  Ref<IDispatch>* out);
  HRESULT DispAddExtension(std::string_view n, std::string_view o, Ref<IDispatch>* out);
  HRESULT DispAddTask(std::string_view n, std::string_view o, Ref<IDispatch>* out);
  HRESULT DispAddRobot(std::string_view n, std::string_view o, Ref<IDispatch>* out);
  HRESULT DispAddFile(std::string_view n, std::string_view o, Ref<IDispatch>* out);
  HRESULT DispExtensions(Ref<IDispatch>* out);
  HRESULT DispTasks(Ref<IDispatch>* out);
  HRESULT DispRobots(Ref<IDispatch>* out);
  HRESULT DispFiles(Ref<IDispatch>* out);
  HRESULT DispVariables(Ref<IDispatch>* out);
  HRESULT DispEventSource(Ref<IUnknown>* out);

  const std::string name_;
  const int32_t index_;
  const std::shared_ptr<IZeltProvider> provider_;
  const Ref<ConnectionPoint> events_;
  const Ref<ZeltVariables> variables_;
  const Ref<ZeltClassObjects> extensions_;
  const Ref<ZeltClassObjects> tasks_;
  const Ref<ZeltClassObjects> robots_;
  const Ref<ZeltClassObjects> files_;
};

}  // namespace tavrix
