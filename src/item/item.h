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
//   item->InitLinks(writer);                   // then the link observers
//   item->CheckLinkCycles();                   // once every link exists
//   item->Activate();                          // variable, initial data, links
//   item->ReadValue(0, &providerRead);         // once per sampling cycle
//   item->Deactivate(); item->Terminate();     // before the last release
//
// Clients read with get_Value and write with put_Value / put_ValueEx from any
// thread. Files: item.cc (lifecycle and accessors), item_read.cc (the read
// pipeline and get_Value), item_write.cc (the write path), subitem.cc (the
// block of a holder and its sub-items), item_links.cc (links, link
// initialisation, the link check, LinkActivation and ID).
//
// Locks of one item, outermost first (a thread never takes an earlier one
// while holding a later one). The members each lock guards are marked
// GUARDED_BY below, and the analysis checks them.
//   itemLock_       versioned projects only: a whole read pass or write (a
//                   sub-item takes its holder's); also the write lock.
//                   Recursive: re-entered when a read's observers or
//                   calculations come back to the item, and by a sub-item
//                   write, which holds it while the holder refreshes and
//                   writes its block. Guards no member (it exists only in
//                   versioned projects, so the analysis cannot follow it).
//   block serial    holders only: from a holder read's device read to the
//                   block fill, and a sub-item write from the refresh to the
//                   holder's device write, so a write never starts from, or
//                   is overwritten by, a block older than itself (re-entered
//                   by the refresh inside a sub-item write; guards no member)
//   the owner's variable-sync lock, when the controller syncs variables
//   variableLock_   variable_, activationBefore_, the device call
//   calcs_->lock    the built calculations, held while they run
//   valueLock_      value_, prevValue_, stamp_, the block fill and the reads
//                   of the sub-items. Recursive: a sub-item read inside the
//                   holder's read takes the holder's again for its stamp.
//   the adviser's observer-list lock (while observers run)
//   smallLock_      cache-written value, chatter filter, links to other
//                   items, delayed writes (held only briefly)
//   block lock      holders only: the buffer and its valid flag (innermost)
//
// Between two items there is no fixed order (by index or otherwise); a
// thread holding locks of item A takes locks of item B only along these
// edges, each of which the code below follows:
//   - holder -> sub-item: a holder's read keeps its itemLock_ and valueLock_
//     (and, inside a sub-item write, its block serial) while it reads each
//     sub-item. A sub-item never holds a lock of its own while it takes one
//     of its holder's: it decodes from the holder's block and reads the
//     holder's stamp with none of its own held, and its reads and writes
//     take the holder's itemLock_ in place of one of their own.
//   - alias -> target: an alias's read or write holds only its itemLock_
//     (and its block serial, for an alias that holds a block) while it
//     calls the target's get_Value or put_Value, and reads the target's
//     stamp with none of its locks held.
//   - item -> its link destinations: observers run with the notifying
//     item's itemLock_ and adviser lock held (for a sub-item read by its
//     holder, the holder's valueLock_ too), and the link observer writes the
//     destinations of the item's own controller there and then. A
//     destination of another controller is never written under the source's
//     locks: the link observer posts the value to the engine's link writer
//     (link_writer.h), whose thread writes it holding no lock of the source
//     (a reference item written by a client posts the same way). So no
//     thread holds an item lock of one controller while it waits for one of
//     another through a link, and links that loop through two controllers,
//     which the link check only warns about, cannot deadlock their sampling
//     threads. The writer's queue lock and its per-destination locks are
//     leaves.
//   - reference item -> its destinations: a read holds the reference item's
//     itemLock_ while it reads them (get_Value), of any controller.
//   - item -> whatever its calculations touch: they run with the item's
//     itemLock_ and calcs_->lock held and may read and write any item of the
//     engine, of this controller or another.
// smallLock_, variableLock_ and the block lock are leaves: no thread takes a
// lock of another item while holding one of them. Two threads that walk the
// same pair of items in opposite directions can still deadlock where the
// edges above are synchronous: links that loop within one controller when a
// client's direct read notifies one end while the sampling thread notifies
// the other, aliases and reference reads that loop through two controllers,
// calculations that read each other. Code that locks across items must either
// refuse such cycles or let go of A's locks before it takes B's, as the link
// writer does.
// Every item carries variableLock_, valueLock_, smallLock_ and the adviser's
// lock, held briefly and rarely contended, so they are the 4-byte SmallMutex
// (the 12-byte SmallRecursiveMutex where re-entered) rather than 40-byte
// standard mutexes: some 13 MB less per 100,000 items.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
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
#include "platform/mutex.h"
#include "platform/ref.h"
#include "platform/result.h"
#include "platform/small_lock.h"
#include "platform/thread_annotations.h"
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
class LinkTarget;
class LinkWriter;
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
  // through the owner; writes the initial data; copies the value of its link
  // source (LinkInit, whose failure is logged but does not fail the
  // activation); builds the calculations. S_OK; E_ACCESSDENIED on a critical
  // link cycle; E_INVALIDARG when the variable cannot be created.
  HRESULT Activate();
  // Keeps the activation for the next Activate and sets it false; drops the
  // calculations and the variable; forgets the completed reads. The cache
  // keeps its value.
  void Deactivate();
  // Cancels and joins the delayed writes, closes the item to the link
  // writer (waiting for a write into it that runs), detaches the OnChange
  // observer and drops the links to other items (holder, sub-items, alias
  // target, link destinations and source). Call before the controller's last
  // release: holders and sub-items, and items that link to each other, refer
  // to each other until then.
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
  bool activation() const EXCLUDES(variableLock_, smallLock_);
  void SetActivation(bool on) EXCLUDES(variableLock_, smallLock_);

  int32_t index() const { return m_lIndex; }
  // The controller that owns the item (set by Initialize).
  IItemOwner* owner() const { return owner_; }
  const std::string& name() const { return settings_.m_bstrItemName; }
  const std::string& controllerName() const { return settings_.m_bstrCtrlName; }
  bool notRecJudge() const { return settings_.m_bNotRecJudgeItem; }
  // REQUIRES: read only while no ApplySettings runs.
  const ItemSettings& settings() const { return settings_; }
  const ElementIndex& element() const { return element_; }
  bool historyOn() const { return historyOn_; }
  bool hasVariable() const EXCLUDES(variableLock_);

  // --- Links (item_links.cc) -------------------------------------------------

  // Builds the link observer from the link item names, once every item of the
  // engine exists (the engine's link initialisation; before activation). A
  // destination of another controller than this item's is written through
  // `writer` (link_writer.h); without a writer every destination is written
  // at once, which suits a single controller. In a versioned project a name
  // that names no item gives a null destination ("The linked destination is
  // not presence." logged, but not for an empty name in element mode), and
  // every destination records this item as its link source. S_OK; S_FALSE
  // without link items (no observer); E_INVALIDARG, logged "Invalid link
  // settings." and no observer, when a name names an alias item, or names no
  // item outside a versioned project.
  HRESULT InitLinks(std::shared_ptr<LinkWriter> writer);
  // The link check (link_check.h), once all links exist: stores the result
  // and logs a cycle. S_OK; E_ACCESSDENIED for a critical cycle, which also
  // sets the state failed.
  HRESULT CheckLinkCycles();
  void SetLinkCheckResult(int32_t result) { linkCheck_.store(result); }
  int32_t linkCheckResult() const { return linkCheck_.load(); }
  // Attaches the item's link observer (replacing and detaching a previous
  // one). Set it before the item is activated: reads use it without a lock.
  void SetLinkObserver(std::unique_ptr<CTavrixObserver> observer);
  CTavrixObserver* linkObserver() const { return linkObserver_.get(); }
  // LinkActivation get/put: whether changes are copied to the destinations.
  // True without a link observer, whose put is S_FALSE and does nothing.
  bool linkActivation() const;
  HRESULT SetLinkActivation(bool on);

  // The source whose changes an item receives through a link, as a versioned
  // project's destination records it for its link initialisation.
  struct LinkSource {
    Ref<CTavrixItem> item;
    bool elementMode = false;
    int32_t position = 0;  // this destination's place in the source's list
    int32_t kind = 0;      // the source's m_lLinkProp
  };
  // Records `source` (a later source replaces an earlier one).
  void SetLinkSource(LinkSource source) EXCLUDES(smallLock_);
  LinkSource linkSource() const EXCLUDES(smallLock_);
  // Whether the value is ready to be copied to the item's link destinations
  // at their link initialisation: never on a critical cycle; a sub-item once
  // its holder has completed a read, a reference item when all its
  // destinations are ready, an alias when its target is, a read-write item
  // with a variable once it has completed a read; any other item always.
  // Deactivate forgets the completed reads.
  bool IsValueReady() const EXCLUDES(smallLock_);
  // The slot through which the link writer reaches this item, made on first
  // use; closed by Terminate.
  std::shared_ptr<LinkTarget> linkTarget() EXCLUDES(smallLock_);

  // ID get/put: the variable's identifier (the holder's for a sub-item).
  // E_FAIL without a variable; otherwise the variable's result.
  HRESULT get_ID(int32_t* out) EXCLUDES(variableLock_);
  HRESULT put_ID(int32_t id) EXCLUDES(variableLock_);

  // --- Sub-items and aliases ----------------------------------------------

  Ref<CTavrixItem> parent() const EXCLUDES(smallLock_);
  Ref<CTavrixItem> aliasTarget() const EXCLUDES(smallLock_);
  std::vector<Ref<CTavrixItem>> subItems() const EXCLUDES(smallLock_);
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
  RecursiveMutex* ItemLockFor(CTavrixItem* holder) {
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
  bool TakeCacheWritten(Variant* value) EXCLUDES(smallLock_);
  void StampNow(CTavrixItem* holder, ItemStamp* stamp);
  void CommitStamp(const ItemStamp& stamp);

  // item_links.cc
  // Copies the link source's value into this item (versioned projects, when
  // the source's value is ready). S_OK when there is nothing to copy; the
  // failure, logged "Failed in LinkInit.", otherwise.
  HRESULT LinkInit();
  bool IsValueReady(std::vector<const CTavrixItem*>* chain) const EXCLUDES(smallLock_);
  // Lets go of the links to other items and closes the link target.
  void ReleaseLinks() EXCLUDES(smallLock_);

  // item_write.cc
  HRESULT WriteInternal(const Variant& value);
  HRESULT ConvertForWrite(const Variant& value, Variant* out);
  void StoreCacheWritten(const Variant& value) EXCLUDES(smallLock_);

  // subitem.cc
  HRESULT DecodeFromHolder(CTavrixItem& holder, Variant* out) const;
  // Fills the block from the holder's new value. Called with valueLock_ held
  // and the block serial held (which the analysis cannot check: a read takes
  // the serial only when the item holds a block).
  void FillBlockFrom(const Variant& value) REQUIRES(valueLock_);
  void ReadSubItems(int32_t flags);
  HRESULT PutValueForSubitem(const CTavrixItem& sub, const Variant& value);
  void RegisterSubItem(const Ref<CTavrixItem>& sub) EXCLUDES(smallLock_);

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
  // A read stored a value since the last Deactivate (the readiness of links).
  std::atomic<bool> readCompleted_{false};
  std::atomic<uint32_t> lastDirectTick_{0};

  ReentryCounter readGuard_;
  ReentryCounter notifyGuard_;

  // Serialises a whole read pass or write (see the file comment); made at
  // Initialize in versioned projects only.
  std::unique_ptr<RecursiveMutex> itemLock_;

  // The small members sit beside their 4-byte locks, in what would be padding.
  // Guards variable_ and activationBefore_, and is held across the device call.
  mutable SmallMutex variableLock_;
  bool activationBefore_ GUARDED_BY(variableLock_) = true;
  Ref<IZeltVariable> variable_ GUARDED_BY(variableLock_);

  // Guards the members below, up to calcs_; held only briefly.
  mutable SmallMutex smallLock_;
  bool cacheWrittenPending_ GUARDED_BY(smallLock_) = false;
  bool terminated_ GUARDED_BY(smallLock_) = false;
  Variant cacheWritten_ GUARDED_BY(smallLock_);
  std::unique_ptr<ChatterFilter> chatter_ GUARDED_BY(smallLock_);
  Ref<CTavrixItem> parent_ GUARDED_BY(smallLock_);
  Ref<CTavrixItem> aliasTarget_ GUARDED_BY(smallLock_);
  std::vector<Ref<CTavrixItem>> subItems_ GUARDED_BY(smallLock_);
  // Made by the first delayed write.
  std::shared_ptr<DelayedWrites> delayed_ GUARDED_BY(smallLock_);
  // Made when the item becomes a link destination (most items never do).
  struct LinkInbox {
    LinkSource source;
    std::shared_ptr<LinkTarget> target;
  };
  std::unique_ptr<LinkInbox> linkInbox_ GUARDED_BY(smallLock_);

  // Made by the settings when the item has calculation settings; its own
  // lock guards the built list.
  std::unique_ptr<ItemCalcs> calcs_;

  // Guards value_, prevValue_ and stamp_ (and is held across the block fill
  // and the sub-item reads; see the file comment).
  mutable SmallRecursiveMutex valueLock_;
  Variant value_ GUARDED_BY(valueLock_);
  Variant prevValue_ GUARDED_BY(valueLock_);
  ItemStamp stamp_ GUARDED_BY(valueLock_);

  std::unique_ptr<ItemBlock> block_;  // holders only; made by the settings

  // Read-pass records once the controller measures: published once, freed
  // with the item, so a pass may stamp without a lock.
  std::atomic<PerformanceSet*> performance_{nullptr};
};

}  // namespace tavrix
