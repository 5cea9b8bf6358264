#include "zelt/controller.h"

#include <utility>

namespace tavrix {

ZeltController::ZeltController(std::string name, int32_t index,
                               std::shared_ptr<IZeltProvider> provider, Ref<ConnectionPoint> events)
    : name_(std::move(name)),
      index_(index),
      provider_(std::move(provider)),
      events_(std::move(events)),
      variables_(MakeRef<ZeltVariables>(provider_, ZeltScope{})),
      extensions_(MakeRef<ZeltClassObjects>()),
      tasks_(MakeRef<ZeltClassObjects>()),
      robots_(MakeRef<ZeltClassObjects>()),
      files_(MakeRef<ZeltClassObjects>()) {}

HRESULT ZeltController::get_Name(std::string* out) {
  if (out == nullptr) return E_POINTER;
  *out = name_;
  return S_OK;
}

HRESULT ZeltController::get_Index(int32_t* out) {
  if (out == nullptr) return E_POINTER;
  *out = index_;
  return S_OK;
}

HRESULT ZeltController::get_Description(std::string* out) {
  if (out == nullptr) return E_POINTER;
  *out = provider_->Description();
  return S_OK;
}

HRESULT ZeltController::Execute(const Variant& command, const Variant& param, Variant* result) {
  return provider_->Execute(ZeltScope{}, command, param, result);
}

HRESULT ZeltController::AddExtension(std::string_view name, std::string_view option,
                                     Ref<IZeltClassObject>* out) {
  return extensions_->Add(provider_, {}, tvVarClassExtension, name, option, out);
}
HRESULT ZeltController::AddTask(std::string_view name, std::string_view option,
                                Ref<IZeltClassObject>* out) {
  return tasks_->Add(provider_, {}, tvVarClassTask, name, option, out);
}
HRESULT ZeltController::AddRobot(std::string_view name, std::string_view option,
                                 Ref<IZeltClassObject>* out) {
  return robots_->Add(provider_, {}, tvVarClassRobot, name, option, out);
}
HRESULT ZeltController::AddFile(std::string_view name, std::string_view option,
                                Ref<IZeltClassObject>* out) {
  return files_->Add(provider_, {}, tvVarClassFile, name, option, out);
}

HRESULT ZeltController::Collection(const Ref<ZeltClassObjects>& which,
                                   Ref<IZeltClassObjects>* out) {
  if (out == nullptr) return E_POINTER;
  *out = which;
  return S_OK;
}
HRESULT ZeltController::get_Extensions(Ref<IZeltClassObjects>* out) {
  return Collection(extensions_, out);
}
HRESULT ZeltController::get_Tasks(Ref<IZeltClassObjects>* out) { return Collection(tasks_, out); }
HRESULT ZeltController::get_Robots(Ref<IZeltClassObjects>* out) { return Collection(robots_, out); }
HRESULT ZeltController::get_Files(Ref<IZeltClassObjects>* out) { return Collection(files_, out); }

HRESULT ZeltController::get_Variables(Ref<IZeltVariables>* out) {
  if (out == nullptr) return E_POINTER;
  *out = variables_;
  return S_OK;
}

HRESULT ZeltController::get_EventSource(Ref<IConnectionPoint>* out) {
  if (out == nullptr) return E_POINTER;
  *out = events_;
  return S_OK;
}

HRESULT ZeltController::DispAdd(ZeltVarClass kind, std::string_view name, std::string_view option,
                                Ref<IDispatch>* out) {
  Ref<IZeltClassObject> added;
  HRESULT hr = S_OK;
  switch (kind) {
    case tvVarClassExtension:
      hr = AddExtension(name, option, &added);
      break;
    case tvVarClassTask:
      hr = AddTask(name, option, &added);
      break;
    case tvVarClassRobot:
      hr = AddRobot(name, option, &added);
      break;
    default:
      hr = AddFile(name, option, &added);
      break;
  }
  if (hr.succeeded()) *out = ZeltAsDispatch(added);
  return hr;
}
HRESULT ZeltController::DispAddExtension(std::string_view n, std::string_view o,
                                         Ref<IDispatch>* out) {
  return DispAdd(tvVarClassExtension, n, o, out);
}
HRESULT ZeltController::DispAddTask(std::string_view n, std::string_view o, Ref<IDispatch>* out) {
  return DispAdd(tvVarClassTask, n, o, out);
}
HRESULT ZeltController::DispAddRobot(std::string_view n, std::string_view o, Ref<IDispatch>* out) {
  return DispAdd(tvVarClassRobot, n, o, out);
}
HRESULT ZeltController::DispAddFile(std::string_view n, std::string_view o, Ref<IDispatch>* out) {
  return DispAdd(tvVarClassFile, n, o, out);
}

HRESULT ZeltController::DispExtensions(Ref<IDispatch>* out) {
  *out = ZeltAsDispatch(extensions_);
  return S_OK;
}
HRESULT ZeltController::DispTasks(Ref<IDispatch>* out) {
  *out = ZeltAsDispatch(tasks_);
  return S_OK;
}
HRESULT ZeltController::DispRobots(Ref<IDispatch>* out) {
  *out = ZeltAsDispatch(robots_);
  return S_OK;
}
HRESULT ZeltController::DispFiles(Ref<IDispatch>* out) {
  *out = ZeltAsDispatch(files_);
  return S_OK;
}
HRESULT ZeltController::DispVariables(Ref<IDispatch>* out) {
  *out = ZeltAsDispatch(variables_);
  return S_OK;
}
HRESULT ZeltController::DispEventSource(Ref<IUnknown>* out) {
  *out = Ref<IUnknown>(static_cast<IUnknown*>(events_.get()));
  return S_OK;
}

const DispatchTable<ZeltController>& ZeltController::DispatchMembers() {
  using C = ZeltController;
  using D = DispatchTable<C>;
  static const D table("Zelt.Controller",
                       {
                           D::Get("Name", 1, &C::get_Name),
                           D::Get("Index", 2, &C::get_Index),
                           D::Get("Description", 3, &C::get_Description),
                           D::Method("Execute", 4, &C::Execute).Optional(2),
                           D::Method("AddExtension", 5, &C::DispAddExtension).Optional(1),
                           D::Method("AddTask", 6, &C::DispAddTask).Optional(1),
                           D::Method("AddRobot", 7, &C::DispAddRobot).Optional(1),
                           D::Method("AddFile", 8, &C::DispAddFile).Optional(1),
                           D::Get("Extensions", 9, &C::DispExtensions),
                           D::Get("Tasks", 10, &C::DispTasks),
                           D::Get("Robots", 11, &C::DispRobots),
                           D::Get("Files", 12, &C::DispFiles),
                           D::Get("Variables", 13, &C::DispVariables),
                           D::Get("EventSource", 14, &C::DispEventSource),
                       });
  return table;
}

}  // namespace tavrix
