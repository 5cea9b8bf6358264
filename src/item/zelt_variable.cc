#include "item/zelt_variable.h"

#include <string_view>
#include <vector>

namespace tavrix {
namespace {

// Adds an object of a class through `add`, or takes the existing one from
// the collection `list` gives.
template <typename Add, typename List>
HRESULT AddOrTake(std::string_view name, Add add, List list, Ref<IZeltClassObject>* out) {
  HRESULT hr = add(out);
  if (hr == TVX_E_ZELT_ALREADY_EXISTS) {
    Ref<IZeltClassObjects> objects;
    RETURN_IF_FAILED(list(&objects));
    hr = objects->Item(Variant::Text(name), out);
  }
  return hr;
}

HRESULT ObjectOf(IZeltController* c, const VariableDefinition& definition,
                 Ref<IZeltClassObject>* out) {
  const std::string& name = definition.objectName;
  const std::string& option = definition.objectOption;
  switch (definition.varClass) {
    case tvVarClassTask:
      return AddOrTake(
          name, [&](auto* o) { return c->AddTask(name, option, o); },
          [&](auto* l) { return c->get_Tasks(l); }, out);
    case tvVarClassRobot:
      return AddOrTake(
          name, [&](auto* o) { return c->AddRobot(name, option, o); },
          [&](auto* l) { return c->get_Robots(l); }, out);
    case tvVarClassExtension:
      return AddOrTake(
          name, [&](auto* o) { return c->AddExtension(name, option, o); },
          [&](auto* l) { return c->get_Extensions(l); }, out);
    case tvVarClassFile:
      break;
    default:
      return E_INVALIDARG;
  }
  std::vector<std::string> parts;
  if (definition.fileDelimiter.empty()) {
    parts.push_back(name);
  } else {
    size_t start = 0;
    while (true) {
      const size_t at = name.find(definition.fileDelimiter, start);
      parts.push_back(name.substr(start, at == std::string::npos ? std::string::npos : at - start));
      if (at == std::string::npos) break;
      start = at + definition.fileDelimiter.size();
    }
  }
  Ref<IZeltClassObject> file;
  for (const std::string& part : parts) {
    Ref<IZeltClassObject> next;
    if (!file) {
      RETURN_IF_FAILED(AddOrTake(
          part, [&](auto* o) { return c->AddFile(part, option, o); },
          [&](auto* l) { return c->get_Files(l); }, &next));
    } else {
      RETURN_IF_FAILED(AddOrTake(
          part, [&](auto* o) { return file->AddFile(part, option, o); },
          [&](auto* l) { return file->get_Files(l); }, &next));
    }
    file = std::move(next);
  }
  *out = std::move(file);
  return S_OK;
}

}  // namespace

HRESULT CreateZeltVariable(IZeltController* controller, const VariableDefinition& definition,
                           Ref<IZeltVariable>* out) {
  out->reset();
  if (controller == nullptr) return E_ACCESSDENIED;
  Ref<IZeltVariables> variables;
  if (definition.varClass == tvVarClassController) {
    RETURN_IF_FAILED(controller->get_Variables(&variables));
  } else {
    Ref<IZeltClassObject> object;
    RETURN_IF_FAILED(ObjectOf(controller, definition, &object));
    RETURN_IF_FAILED(object->get_Variables(&variables));
  }
  Ref<IZeltVariable> variable;
  HRESULT hr = variables->Add(definition.name, definition.option, &variable);
  if (hr == TVX_E_ZELT_ALREADY_EXISTS) {
    hr = variables->Item(Variant::Text(definition.name), &variable);
  }
  RETURN_IF_FAILED(hr);
  *out = std::move(variable);
  return S_OK;
}

}  // namespace tavrix
