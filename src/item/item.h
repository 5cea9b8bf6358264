// CTavrixItem: one configured item of a controller and its value cache.
//
// An item is a variable of the controller (read through the Zelt engine), an
// alias of another item, a reference item (its value comes from its link
// items), or a sub-item: a piece of a holder item's data block. The
// controller drives its lifecycle:
//
//   auto item = MakeRef<CTavrixItem>();
//   item->Initialize(index, record, owner);   // S_FALSE: disabled, drop it
//   item->InitSubitem();                       // once every item exists
//   item->Activate();                          // variable, initial data
//   item->ReadValue(0, &providerRead);         // once per sampling cycle
//   item->Deactivate(); item->Terminate();     // before the last release
//
// Clients read with get_Value and write with put_Value / put_ValueEx from any
// thread. Files: item.cc (lifecycle and accessors), item_read.cc (the read
// pipeline and get_Value), item_write.cc (the write path), subitem.cc (the
// block of a holder and its sub-items).
//
// Locks of one item, outermost first (a thread never takes an earlier one
// while holding a later one). Observers run inside a read, so a read of this
// item may hold them while it reads and writes other items.
//   itemLock_       versioned projects only: a whole read pass or write (a
//                   sub-item takes its holder's); also the write lock
//   block serial    holders only: from a holder read's device read to the
//                   block fill, and a sub-item write from the refresh to the
//                   holder's device write, so a write never starts from, or
//                   is overwritten by, a block older than itself
//   the owner's variable-sync lock, when the controller syncs variables
//   variableLock_   variable_, activationBefore_, the device call
//   calcs_->lock    the built calculations
//   valueLock_      value_, prevValue_, stamp_, the block fill and the reads
//                   of the sub-items
//   the adviser's observer-list lock (while observers run)
//   smallLock_      cache-written value, chatter filter, links to other
//                   items, delayed writes (held only briefly)
//   block lock      holders only: the buffer and its valid flag (innermost)
// Every item carries variableLock_, valueLock_, smallLock_ and the adviser's
// lock, held briefly and rarely contended, so they are the 4-byte SmallMutex
// (the 12-byte SmallRecursiveMutex where re-entered) rather than 40-byte
// standard mutexes: some 13 MB less per 100,000 items.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "config/project_records.h"
#include "item/adviser.h"
#include "item/item_calc.h"
#include "item/item_owner.h"
#include "item/item_settings.h"
#include "item/item_timestamp.h"
#include "item/pass_stamps.h"
#include "item/performance_set.h"
#include "item/reentry_guard.h"
#include "item/value_filters.h"
#include "platform/log.h"
#include "platform/ref.h"
#include "platform/result.h"
#include "platform/small_lock.h"
#include "platform/variant.h"
#include "zelt/interfaces.h"

namespace tavrix {

enum TavrixItemState : int32_t {
  tvItemSucceeded = 0,
  tvItemFailed = 1,
  tvItemUndefined = 2,
};

// ReadValue flags.
inline constexpr int32_t kReadDeferChange = 1;  // store, but leave change handling for later
inline constexpr int32_t kReadForced = 2;       // read a deactivated item, ignore suppression

// Link check results: 2 refuses reads and writes, 3 refuses writes.
inline constexpr int32_t kLinkCheckCritical = 2;
inline constexpr int32_t kLinkCheckCriticalForPut = 3;

class DelayedWrites;
struct ItemBlock;

class CTavrixItem final : public CTavrixAdviser, public RefCounted {
 public:
  CTavrixItem();
  ~CTavrixItem() override;

  // --- Lifecycle ----------------------------------------------------------

  // Creation from the project record, ApplySettings and the initialisation
  // after it. `owner` must outlive the item. S_OK: created. S_FALSE: the item
  // is disabled (logged "NOT Enabled." at level 0) and nothing is set up; the
  // controller drops it. E_INVALIDARG: an attribute outside 0..2 or a bad
  // element suffix in the name ("Bad item name." logged).
  HRESULT Initialize(int32_t index, const ItemRecord& record, IItemOwner& owner);

  // ApplySettings on a live item (controller update): the settings, the
  // history flag, the OnChange observer, the calculations and the block are
  // set again. REQUIRES: no read or write of this item runs (the controller
  // holds its items lock and sampling lock). Results as Initialize.
  HRESULT ApplySettings(const ItemRecord& record);

  // _InitSubitem, run once every item of the engine exists: a sub-item
  // registers with its holder, an alias finds its target. S_OK (nothing to
  // do included); E_INVALIDARG when the holder or target does not exist
  // (logged).
  HRESULT InitSubitem();

  // Restores the activation set before activation and creates the variable
  // through the owner; writes the initial data; builds the calculations.
  // S_OK; E_ACCESSDENIED on a critical link cycle; E_INVALIDARG when the
  // variable cannot be created.
  HRESULT Activate();
  // Keeps the activation for the next Activate and sets it false; drops the
  // calculations and the variable. The cache keeps its value.
  void Deactivate();
  // Cancels and joins the delayed writes, detaches the OnChange observer and
  // drops the links to other items (holder, sub-items, alias target). Call
  // before the controller's last release: holders and sub-items refer to
  // each other until then.
  void Terminate();

  // --- Performance ----------------------------------------------------------

  // Starts a new collection of read-pass records, creating the set on first
  // use. The controller calls it under its performance lock. S_OK or
  // E_OUTOFMEMORY.
  HRESULT ResetPerformance();
  // The start of a sampling cycle: the next record (nothing before a reset).
  void AdvancePerformance();
  // A copy of the read-pass records; false before the first reset.
  bool PerformanceData(PerformanceSet::Snapshot* out) const;

  // --- Reads --------------------------------------------------------------

  // One pass of the read pipeline. S_OK: a value was stored and handled;
  // S_FALSE: nothing to do, or a filter dropped the value; a failure code
  // otherwise (state failed, cache unchanged). *providerRead (may be null)
  // tells whether the Zelt variable was called.
  HRESULT ReadValue(int32_t flags, bool* providerRead);

  // The cached value for a client, reading first when the item reads
  // directly, has a value written to the cache, or is not sampled (item or
  // controller deactivated) and a sampling period has passed. S_OK or the
  // read's result; S_FALSE for a write-only item (*out untouched); a failure
  // leaves *out untouched.
  HRESULT get_Value(Variant* out);

  // --- Writes -------------------------------------------------------------

  // Writes a value (Value put): conversions, then the variable, the alias
  // target, or the holder's block. S_OK; S_FALSE for a read-only item;
  // TVX_E_UNSUPPORTED_TYPE, E_ACCESSDENIED, E_FAIL or the device's failure.
  HRESULT put_Value(const Variant& value);

  // Value put after `delayMs` on a thread of its own (delay < 1: at once).
  // S_OK when queued; E_HANDLE when no thread could start; E_FAIL after
  // Terminate.
  HRESULT put_ValueEx(int32_t delayMs, const Variant& value);

  // --- Cache and state ----------------------------------------------------

  Variant value() const;
  Variant prevValue() const;
  // The time stamp of the value: whole seconds as a date, and microseconds.
  double dateTime() const;
  uint32_t microsecond() const;
  int32_t state() const { return state_.load(std::memory_order_acquire); }
  HRESULT lastReadResult() const { return HRESULT(lastReadResult_.load()); }
  int32_t consecutiveFailures() const { return failures_.load(); }

  // Activation (Activation get/put): before the item has its variable, the
  // value the next Activate takes; afterwards the current one.
  bool activation() const;
  void SetActivation(bool on);

  int32_t index() const { return m_lIndex; }
  const std::string& name() const { return settings_.m_bstrItemName; }
  const std::string& controllerName() const { return settings_.m_bstrCtrlName; }
  bool notRecJudge() const { return settings_.m_bNotRecJudgeItem; }
  // REQUIRES: read only while no ApplySettings runs.
  const ItemSettings& settings() const { return settings_; }
  const ElementIndex& element() const { return element_; }
  bool historyOn() const { return historyOn_; }
  bool hasVariable() const;

  // --- Links (the link code sets these) -------------------------------------

  void SetLinkCheckResult(int32_t result) { linkCheck_.store(result); }
  int32_t linkCheckResult() const { return linkCheck_.load(); }
  // Attaches the item's link observer (replacing and detaching a previous
  // one). Set it before the item is activated: reads use it without a lock.
  void SetLinkObserver(std::unique_ptr<CTavrixObserver> observer);
  CTavrixObserver* linkObserver() const { return linkObserver_.get(); }

  // --- Sub-items and aliases ----------------------------------------------

  Ref<CTavrixItem> parent() const;
  Ref<CTavrixItem> aliasTarget() const;
  std::vector<Ref<CTavrixItem>> subItems() const;
  // A copy of the holder's block and whether it is valid (empty for an item
  // that holds no block).
  std::vector<uint8_t> BlockCopy(bool* valid) const;

 private:
  // item.cc
  HRESULT ApplySettingsLocked(const ItemRecord& record, bool live);
  void ResetOnChangeObserver();
  void RebuildCalculations();
  void WriteInitialData();
  void ResizeBlock();
  bool IsAlias() const { return settings_.m_bAliasItem; }
  // The item whose read guard and item lock this item uses.
  CTavrixItem& GuardItem(CTavrixItem* parent) { return parent ? *parent : *this; }
  // The item lock a pass or write takes (the holder's for a sub-item); null
  // outside versioned projects.
  std::recursive_mutex* ItemLockFor(CTavrixItem* holder) {
    return versioned_ ? GuardItem(holder).itemLock_.get() : nullptr;
  }
  void SetState(int32_t s) { state_.store(s, std::memory_order_release); }
  // Logs a pipeline failure (unless NotRepeatError holds it back) and sets
  // the state failed.
  template <typename... Args>
  void Fail(HRESULT hr, std::string_view format, const Args&... args) {
    if (!(owner_->NotRepeatError() && state() == tvItemFailed)) LogResult(hr, 1, format, args...);
    SetState(tvItemFailed);
  }

  // item_read.cc
  HRESULT ReadPass(int32_t flags, CTavrixItem* holder, const PassStamps& stamps,
                   bool* providerRead, bool* suppressed);
  HRESULT ReadSource(CTavrixItem* holder, Variant* value, ItemStamp* stamp, bool* force,
                     bool* providerRead, bool* holderOnly);
  HRESULT Transform(Variant* value, const PassStamps& stamps);
  HRESULT HandleChange(int32_t flags, const Variant& value, const Variant& base, bool force,
                       HRESULT result);
  bool TakeCacheWritten(Variant* value);
  void StampNow(CTavrixItem* holder, ItemStamp* stamp);
  void CommitStamp(const ItemStamp& stamp);

  // item_write.cc
  HRESULT WriteInternal(const Variant& value);
  HRESULT ConvertForWrite(const Variant& value, Variant* out);
  void StoreCacheWritten(const Variant& value);

  // subitem.cc
  HRESULT DecodeFromHolder(CTavrixItem& holder, Variant* out) const;
  // Fills the block from the holder's new value. REQUIRES: block serial held.
  void FillBlockFrom(const Variant& value);
  void ReadSubItems(int32_t flags);
  HRESULT PutValueForSubitem(const CTavrixItem& sub, const Variant& value);
  void RegisterSubItem(const Ref<CTavrixItem>& sub);

  // Constant after Initialize (ApplySettings on a live item excepted).
  IItemOwner* owner_ = nullptr;
  int32_t m_lIndex = -1;
  ItemSettings settings_;
  ElementIndex element_;
  bool versioned_ = false;
  LCID lcid_ = 0;
  int32_t samplingRate_ = 0;   // controller copies
  bool writeToCache_ = false;
  int32_t timeStampMode_ = 0;
  bool historyOn_ = false;
  bool historyAvailable_ = false;
  std::unique_ptr<CTavrixObserver> onChangeObserver_;
  std::unique_ptr<CTavrixObserver> linkObserver_;

  std::atomic<int32_t> state_{tvItemUndefined};
  std::atomic<int32_t> lastReadResult_{0};
  std::atomic<int32_t> failures_{0};
  std::atomic<int32_t> linkCheck_{0};
  std::atomic<bool> activation_{true};
  std::atomic<bool> reRead_{false};
  std::atomic<bool> deferredChange_{false};
  std::atomic<bool> cachePending_{false};  // mirrors cacheWrittenPending_ for a lock-free test
  std::atomic<uint32_t> lastDirectTick_{0};

  ReentryCounter readGuard_;
  ReentryCounter notifyGuard_;

  // See the file comment; made at Initialize in versioned projects only.
  std::unique_ptr<std::recursive_mutex> itemLock_;

  // The small members sit beside their 4-byte locks, in what would be padding.
  mutable SmallMutex variableLock_;  // guards variable_, activationBefore_
  bool activationBefore_ = true;
  Ref<IZeltVariable> variable_;

  mutable SmallMutex smallLock_;  // guards the members below, up to calcs_
  bool cacheWrittenPending_ = false;
  bool terminated_ = false;
  Variant cacheWritten_;
  std::unique_ptr<ChatterFilter> chatter_;
  Ref<CTavrixItem> parent_;
  Ref<CTavrixItem> aliasTarget_;
  std::vector<Ref<CTavrixItem>> subItems_;
  std::shared_ptr<DelayedWrites> delayed_;  // made by the first delayed write

  // Made by the settings when the item has calculation settings; its own
  // lock guards the built list.
  std::unique_ptr<ItemCalcs> calcs_;

  mutable SmallRecursiveMutex valueLock_;  // guards value_, prevValue_, stamp_
  Variant value_;
  Variant prevValue_;
  ItemStamp stamp_;

  std::unique_ptr<ItemBlock> block_;  // holders only; made by the settings

  // Read-pass records once the controller measures: published once, freed
  // with the item, so a pass may stamp without a lock.
  std::atomic<PerformanceSet*> performance_{nullptr};
};

}  // namespace tavrix
