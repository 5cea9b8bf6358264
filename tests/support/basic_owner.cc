#include "support/basic_owner.h"

#include "item/item.h"
#include "item/zelt_variable.h"
#include "platform/text.h"

namespace tavrix {
namespace {

class RecursiveHold final : public ILockHold {
 public:
  explicit RecursiveHold(std::recursive_mutex& m) : lock_(m) {}

 private:
  std::lock_guard<std::recursive_mutex> lock_;
};

}  // namespace

BasicItemOwner::BasicItemOwner(std::string ownerName) : name(std::move(ownerName)) {
  // Without the component, type changes and array initial data fail as
  // they do for a controller whose component could not be made.
  (void)CreateKivData(&kivData_);
}

BasicItemOwner::~BasicItemOwner() = default;

void BasicItemOwner::SetConnection(Ref<IZeltController> controller) {
  std::lock_guard lock(lock_);
  connection_ = std::move(controller);
}

void BasicItemOwner::AddItem(const Ref<CTavrixItem>& item) {
  std::lock_guard lock(lock_);
  items_[ToUpper(item->name())] = item;
}

void BasicItemOwner::SetEngineLookup(
    std::function<Ref<CTavrixItem>(std::string_view, std::string_view)> f) {
  std::lock_guard lock(lock_);
  engineLookup_ = std::move(f);
}

std::vector<BasicItemOwner::HistoryRow> BasicItemOwner::History() const {
  std::lock_guard lock(lock_);
  return history_;
}

std::vector<std::string> BasicItemOwner::ChangeEvents() const {
  std::lock_guard lock(lock_);
  return changes_;
}

void BasicItemOwner::ClearReports() {
  std::lock_guard lock(lock_);
  history_.clear();
  changes_.clear();
  readFailures_ = 0;
  deviceReads_ = 0;
}

std::unique_ptr<ILockHold> BasicItemOwner::EnterVariableSync() {
  if (!variableSync) return nullptr;
  return std::make_unique<RecursiveHold>(syncLock_);
}

HRESULT BasicItemOwner::CreateVariable(const VariableDefinition& definition,
                                       Ref<IZeltVariable>* out) {
  Ref<IZeltController> connection;
  {
    std::lock_guard lock(lock_);
    connection = connection_;
  }
  return CreateZeltVariable(connection.get(), definition, out);
}

void BasicItemOwner::ReportRead(bool good, bool deviceRead) {
  if (!good) {
    readFailures_.fetch_add(1);
  } else if (deviceRead) {
    deviceReads_.fetch_add(1);
  }
}

void BasicItemOwner::FireOnChangeItem(CTavrixItem& item) {
  if (!keepReports) return;
  std::lock_guard lock(lock_);
  changes_.push_back(item.name());
}

Ref<CTavrixItem> BasicItemOwner::FindItem(std::string_view itemName) {
  std::lock_guard lock(lock_);
  const auto it = items_.find(ToUpper(itemName));
  return it == items_.end() ? Ref<CTavrixItem>() : it->second;
}

Ref<CTavrixItem> BasicItemOwner::FindEngineItem(std::string_view controller,
                                                std::string_view item) {
  std::function<Ref<CTavrixItem>(std::string_view, std::string_view)> lookup;
  {
    std::lock_guard lock(lock_);
    lookup = engineLookup_;
  }
  if (EqualsNoCase(controller, name)) return FindItem(item);
  return lookup ? lookup(controller, item) : Ref<CTavrixItem>();
}

HRESULT BasicItemOwner::HistoryEnabled(bool* enabled) {
  *enabled = historyEnabled;
  return historyManager;
}

HRESULT BasicItemOwner::AddHistory(const std::string& controllerName,
                                   const std::string& itemName, const Variant& value,
                                   double date, uint32_t microsecond) {
  if (keepReports) {
    std::lock_guard lock(lock_);
    history_.push_back(HistoryRow{controllerName, itemName, value, date, microsecond});
  }
  return historyResult;
}

}  // namespace tavrix
