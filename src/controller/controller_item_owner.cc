// What the controller's items ask of it: the shared Zelt access, history and
// the announcement of changed values.
#include "controller/controller.h"
#include "controller/critical_section_manager.h"
#include "item/zelt_variable.h"

namespace tavrix {

namespace {

class RegistryHold final : public ILockHold {
 public:
  explicit RegistryHold(CriticalSectionManager::Holder holder) : holder_(std::move(holder)) {}

 private:
  CriticalSectionManager::Holder holder_;
};

}  // namespace

std::unique_ptr<ILockHold> CTavrixController::EnterVariableSync() {
  std::string key;
  {
    MutexLock lock(&zeltPointerLock_);
    key = pointerKey_;
  }
  if (key.empty()) return nullptr;
  auto holder = CriticalSectionManager::ByController().Lock(key);
  if (!holder) return nullptr;
  return std::make_unique<RegistryHold>(std::move(holder));
}

HRESULT CTavrixController::CreateVariable(const VariableDefinition& definition,
                                          Ref<IZeltVariable>* out) {
  Ref<IZeltController> connection = zeltController();
  if (!connection) return E_ACCESSDENIED;
  // Variable creation is serialised with opening and closing on the name.
  auto nameLock = CriticalSectionManager::ByName().Lock(RegisteredName());
  return CreateZeltVariable(connection.get(), definition, out);
}

void CTavrixController::FireOnChangeItem(CTavrixItem& item) {
  if (const auto& notify = ControllerParts::Instance().itemChanged) notify(*this, item);
}

HRESULT CTavrixController::HistoryEnabled(bool* enabled) {
  const auto& query = ControllerParts::Instance().historyEnabled;
  *enabled = query ? query(*this) : false;
  return S_OK;
}

HRESULT CTavrixController::AddHistory(const std::string& controllerName,
                                      const std::string& itemName, const Variant& value,
                                      double date, uint32_t microsecond) {
  const auto& add = ControllerParts::Instance().addHistory;
  return add ? add(controllerName, itemName, value, date, microsecond) : S_FALSE;
}

HRESULT CTavrixController::InitSubitems() {
  HRESULT first = S_OK;
  for (const Ref<CTavrixItem>& item : Items()) {
    const HRESULT hr = item->InitSubitem();
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  }
  return first;
}

}  // namespace tavrix
