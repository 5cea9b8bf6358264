// The item's lifecycle: creation and settings, sub-item and alias links,
// activation, deactivation, termination, and the accessors of its cache.
#include "item/item.h"

#include <new>

#include "config/replace_strings.h"
#include "item/delayed_write.h"
#include "item/initial_data.h"
#include "item/item_block.h"
#include "item/onchange_observer.h"
#include "platform/log.h"

namespace tavrix {
namespace {

std::string ExpandForConnect(const std::string& text) {
  using TavrixUtility::ExpandMode;
  using TavrixUtility::ReplaceStringMap;
  return ReplaceStringMap::Instance().Expand(std::string_view(text), ExpandMode::kConnect);
}

}  // namespace

ItemCalcFactory& ItemCalcFactory::Instance() {
  static ItemCalcFactory factory;
  return factory;
}

CTavrixItem::CTavrixItem() = default;

CTavrixItem::~CTavrixItem() {
  // The link writer and delayed writes call into this item: they end before
  // any member goes.
  ReleaseLinks();
  std::shared_ptr<DelayedWrites> delayed;
  {
    SmallMutexLock lock(&smallLock_);
    delayed = std::move(delayed_);
  }
  if (delayed) delayed->Cancel();
  if (onChangeObserver_) Detach(onChangeObserver_.get());
  if (linkObserver_) Detach(linkObserver_.get());
  delete performance_.load();
}

// --- Performance -------------------------------------------------------------

HRESULT CTavrixItem::ResetPerformance() {
  PerformanceSet* set = performance_.load(std::memory_order_acquire);
  if (set == nullptr) {
    set = new (std::nothrow) PerformanceSet();
    if (set == nullptr) return E_OUTOFMEMORY;
    // Resets come one at a time (the controller's performance lock), so no
    // other set can have been published meanwhile.
    performance_.store(set, std::memory_order_release);
    return S_OK;
  }
  set->Reset();
  return S_OK;
}

void CTavrixItem::AdvancePerformance() {
  if (PerformanceSet* set = performance_.load(std::memory_order_acquire)) set->Advance();
}

bool CTavrixItem::PerformanceData(PerformanceSet::Snapshot* out) const {
  const PerformanceSet* set = performance_.load(std::memory_order_acquire);
  if (set == nullptr) return false;
  *out = set->Read();
  return true;
}

// --- Creation and settings ---------------------------------------------------

HRESULT CTavrixItem::Initialize(int32_t index, const ItemRecord& record, IItemOwner& owner) {
  owner_ = &owner;
  m_lIndex = index;
  versioned_ = owner.IsVersionedProject();
  if (versioned_ && !itemLock_) itemLock_ = std::make_unique<RecursiveMutex>();
  lcid_ = owner.Lcid();
  const std::string ctrlName =
      record.m_strCtrlName.empty() ? owner.ControllerName() : record.m_strCtrlName;
  settings_.m_bstrCtrlName = ctrlName;
  TakeCreationSettings(record, ctrlName, &settings_);
  if (!settings_.m_bEnabled) {
    Log(0, "TavrixItem[%ls] : NOT Enabled.\n", settings_.m_bstrItemName);
    return S_FALSE;
  }
  RETURN_IF_FAILED(ApplySettingsLocked(record, false));

  // The initialisation after creation.
  if (FAILED(ParseElementSuffix(settings_.m_bstrItemName, settings_.m_bSubItem, &element_))) {
    LogResult(E_INVALIDARG, 1, "TavrixItem[%ls\\%ls] : Bad item name.\n",
              settings_.m_bstrCtrlName, settings_.m_bstrItemName);
    return E_INVALIDARG;
  }
  // Items of a controller that never connects read nothing but aliases.
  if (!IsAlias() && owner.ControllerType() == 1) return S_OK;
  samplingRate_ = owner.SamplingRate();
  writeToCache_ = owner.WriteToCache();
  timeStampMode_ = owner.TimeStampMode();
  bool enabled = false;
  if (FAILED(owner.HistoryEnabled(&enabled))) {
    Log(0, "TavrixItem : Failed in creating a TavrixHistoryMan instance.\n");
    historyAvailable_ = false;
  } else {
    historyAvailable_ = enabled;
  }
  historyOn_ = settings_.m_bUseHistory && historyAvailable_ && owner.UseHistory();
  {
    SmallMutexLock lock(&variableLock_);
    activationBefore_ = !settings_.m_bDeactivate;
  }
  activation_ = !settings_.m_bDeactivate;
  ResetOnChangeObserver();
  return S_OK;
}

HRESULT CTavrixItem::ApplySettings(const ItemRecord& record) {
  return ApplySettingsLocked(record, true);
}

HRESULT CTavrixItem::ApplySettingsLocked(const ItemRecord& record, bool live) {
  const HRESULT hr = CopyItemSettings(record, lcid_, &settings_);
  if (settings_.m_bChatEnabled) {
    SmallMutexLock lock(&smallLock_);
    if (!chatter_) chatter_ = std::make_unique<ChatterFilter>();
  }
  if (!settings_.calcSettings.empty() && !calcs_) calcs_ = std::make_unique<ItemCalcs>();
  if (live) {
    historyOn_ = settings_.m_bUseHistory && historyAvailable_ && owner_->UseHistory();
    ResetOnChangeObserver();
    if (!settings_.m_bDeactivate) RebuildCalculations();
    samplingRate_ = owner_->SamplingRate();
    writeToCache_ = owner_->WriteToCache();
    timeStampMode_ = owner_->TimeStampMode();
  }
  ResizeBlock();
  return hr;
}

void CTavrixItem::ResetOnChangeObserver() {
  if (onChangeObserver_) {
    Detach(onChangeObserver_.get());
    onChangeObserver_.reset();
  }
  if (settings_.m_bOnChangeEvent) {
    onChangeObserver_ = std::make_unique<CTavrixOnChangeObserver>(*owner_, *this);
    Attach(onChangeObserver_.get());
  }
}

void CTavrixItem::ResizeBlock() {
  const int32_t size = settings_.m_lSubItemBlockSize;
  if (size <= 0) return;
  if (!block_) block_ = std::make_unique<ItemBlock>();
  MutexLock lock(&block_->lock);
  if (block_->bytes.size() == static_cast<size_t>(size)) return;
  try {
    block_->bytes.assign(static_cast<size_t>(size), 0);
  } catch (const std::bad_alloc&) {
    // A block the host cannot hold never becomes valid: sub-items fail.
    block_->bytes.clear();
  }
  block_->valid = false;
}

void CTavrixItem::RebuildCalculations() {
  if (!calcs_) return;
  // Built before the lock is taken: building looks items up under their
  // controllers' items locks, which a sampling thread holds while it runs
  // the calculations under this lock.
  std::vector<std::unique_ptr<IItemCalculation>> list;
  if (const auto& factory = ItemCalcFactory::Instance(); factory.setup) {
    for (size_t i = 0; i < settings_.calcSettings.size(); ++i) {
      std::unique_ptr<IItemCalculation> calc;
      const HRESULT hr = factory.setup(*this, settings_.calcSettings[i], &calc);
      if (FAILED(hr)) {
        LogResult(hr, 1, "TavrixItem[%ls\\%ls] : Invalid calculation settings(%d).\n",
                  settings_.m_bstrCtrlName, settings_.m_bstrItemName, static_cast<int32_t>(i));
      } else if (hr == S_OK && calc) {
        list.push_back(std::move(calc));
      }
    }
  }
  MutexLock lock(&calcs_->lock);
  calcs_->list.swap(list);
  // The old list goes with `list`, after the lock: its operands may hold the
  // last references to items.
}

// --- Links to other items ----------------------------------------------------

HRESULT CTavrixItem::InitSubitem() {
  if (IsAlias()) {
    const std::string& target = settings_.m_bstrVarName;
    const std::string_view text(target);
    const size_t slash = text.find('\\');
    Ref<CTavrixItem> found =
        slash == std::string_view::npos
            ? owner_->FindItem(text)
            : owner_->FindEngineItem(text.substr(0, slash), text.substr(slash + 1));
    if (!found) {
      LogResult(E_INVALIDARG, 1,
                "CTavrixItem[%ls\\%ls] : _InitSubitem : Initialization failed because link "
                "item(%ls) does not exist.\n",
                settings_.m_bstrCtrlName, settings_.m_bstrItemName, target);
      return E_INVALIDARG;
    }
    SmallMutexLock lock(&smallLock_);
    aliasTarget_ = std::move(found);
    return S_OK;
  }
  if (!settings_.m_bSubItem) return S_OK;
  Ref<CTavrixItem> holder = owner_->FindItem(settings_.m_strSubItemParentName);
  if (!holder || holder.get() == this) {
    LogResult(E_INVALIDARG, 1,
              "CTavrixItem[%ls\\%ls] : _InitSubitem : Initialization failed because parent "
              "item(%ls) does not exist.\n",
              settings_.m_bstrCtrlName, settings_.m_bstrItemName,
              settings_.m_strSubItemParentName);
    return E_INVALIDARG;
  }
  holder->RegisterSubItem(Ref<CTavrixItem>(this));
  SmallMutexLock lock(&smallLock_);
  parent_ = std::move(holder);
  return S_OK;
}

Ref<CTavrixItem> CTavrixItem::parent() const {
  SmallMutexLock lock(&smallLock_);
  return parent_;
}

Ref<CTavrixItem> CTavrixItem::aliasTarget() const {
  SmallMutexLock lock(&smallLock_);
  return aliasTarget_;
}

std::vector<Ref<CTavrixItem>> CTavrixItem::subItems() const {
  SmallMutexLock lock(&smallLock_);
  return subItems_;
}

void CTavrixItem::SetLinkObserver(std::unique_ptr<CTavrixObserver> observer) {
  if (linkObserver_) Detach(linkObserver_.get());
  linkObserver_ = std::move(observer);
  if (linkObserver_) Attach(linkObserver_.get());
}

// --- Activation ------------------------------------------------------------------

HRESULT CTavrixItem::Activate() {
  {
    SmallMutexLock lock(&variableLock_);
    activation_ = activationBefore_;
  }
  lastReadResult_ = 0;
  failures_ = 0;
  if (linkCheck_.load() == kLinkCheckCritical) {
    SetState(tvItemFailed);
    return E_ACCESSDENIED;
  }
  if (settings_.m_bVariableEnabled && !settings_.m_bSubItem && !IsAlias()) {
    VariableDefinition definition;
    definition.varClass = settings_.m_lVarClass;
    definition.name = settings_.m_bstrVarName;
    definition.option = ExpandForConnect(settings_.m_bstrOption);
    definition.objectName = settings_.m_bstrSysObjName;
    definition.objectOption = ExpandForConnect(settings_.m_bstrSysObjOption);
    if (versioned_ && settings_.m_bUseFileObjDelimiter) {
      definition.fileDelimiter = settings_.m_strFileObjDelimiterForDump;
    }
    SmallMutexLock lock(&variableLock_);
    Ref<IZeltVariable> variable;
    if (FAILED(owner_->CreateVariable(definition, &variable)) || !variable) return E_INVALIDARG;
    variable_ = std::move(variable);
  }
  if (settings_.m_bInitialize) WriteInitialData();
  (void)LinkInit();  // logged; the item works on without the copied value
  RebuildCalculations();
  return S_OK;
}

void CTavrixItem::WriteInitialData() {
  Variant value;
  HRESULT hr = ConvertInitialData(settings_.m_bstrInitData, settings_.m_vtInitDataType, lcid_,
                                  owner_->KivData(), &value);
  if (SUCCEEDED(hr)) hr = put_Value(value);
  if (FAILED(hr)) {
    LogResult(hr, 1, "TavrixItem[%ls\\%ls] : Failed in initializing data.\n",
              settings_.m_bstrCtrlName, settings_.m_bstrItemName);
  }
}

void CTavrixItem::Deactivate() {
  {
    SmallMutexLock lock(&variableLock_);
    activationBefore_ = activation_.load();
    activation_ = false;
  }
  if (calcs_) {
    MutexLock lock(&calcs_->lock);
    calcs_->list.clear();
  }
  readCompleted_ = false;
  SmallMutexLock lock(&variableLock_);
  variable_.reset();
}

void CTavrixItem::Terminate() {
  std::shared_ptr<DelayedWrites> delayed;
  {
    SmallMutexLock lock(&smallLock_);
    terminated_ = true;
    delayed = std::move(delayed_);
  }
  if (delayed) delayed->Cancel();  // oldest first; joins the threads
  ReleaseLinks();
  if (onChangeObserver_) {
    Detach(onChangeObserver_.get());
    onChangeObserver_.reset();
  }
  std::vector<Ref<CTavrixItem>> subs;
  Ref<CTavrixItem> parent, target;
  {
    SmallMutexLock lock(&smallLock_);
    subs.swap(subItems_);
    parent.swap(parent_);
    target.swap(aliasTarget_);
  }
  // The references go outside the lock: the last one may destroy an item.
}

bool CTavrixItem::activation() const {
  SmallMutexLock lock(&variableLock_);
  const bool beforeVariable = !variable_ && !(settings_.m_bSubItem && parent());
  return beforeVariable ? activationBefore_ : activation_.load();
}

void CTavrixItem::SetActivation(bool on) {
  const bool hasParent = settings_.m_bSubItem && parent();
  SmallMutexLock lock(&variableLock_);
  if (!variable_ && !hasParent) {
    activationBefore_ = on;
  } else {
    activation_ = on;
  }
}

bool CTavrixItem::hasVariable() const {
  SmallMutexLock lock(&variableLock_);
  return static_cast<bool>(variable_);
}

// --- Cache accessors -------------------------------------------------------------

Variant CTavrixItem::value() const {
  SmallRecursiveMutexLock lock(&valueLock_);
  return value_;
}

Variant CTavrixItem::prevValue() const {
  SmallRecursiveMutexLock lock(&valueLock_);
  return prevValue_;
}

double CTavrixItem::dateTime() const {
  SmallRecursiveMutexLock lock(&valueLock_);
  return stamp_.dateTime;
}

uint32_t CTavrixItem::microsecond() const {
  SmallRecursiveMutexLock lock(&valueLock_);
  return stamp_.microsecond;
}

}  // namespace tavrix
