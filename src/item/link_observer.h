// CTavrixLinkObserver: copies an item's new value (or, by the item's link
// kind, its ID, activation or link activation) into the item's link
// destinations, and builds the value of a reference item from them.
//
// The item builds its link observer once every item of the engine exists
// (CTavrixItem::InitLinks) and attaches it as an observer; Notify calls Update
// with each change, and a reference item hands its writes to Update and its
// reads to Value. Destinations are counted references: a client may remove an
// item that another item links to. A destination of another controller than
// the source is written through the engine's LinkWriter (link_writer.h), never
// on the notifying thread; the others are written at once.
//
// Update may run on several threads at once (the sampling thread, clients
// writing a reference item, the link writer); the link activation and the
// report flag are atomics, the destinations a snapshot replaced whole.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "item/adviser.h"
#include "item/item_owner.h"
#include "item/link_writer.h"
#include "platform/ref.h"
#include "platform/result.h"
#include "platform/small_lock.h"
#include "platform/thread_annotations.h"
#include "platform/variant.h"

namespace tavrix {

class CTavrixItem;

// Link kinds (m_lLinkProp).
inline constexpr int32_t kLinkValue = 0;
inline constexpr int32_t kLinkId = 1;
inline constexpr int32_t kLinkActivation = 2;
inline constexpr int32_t kLinkLinkActivation = 3;

// The value a link of `kind` puts: the value itself (0), as a 32-bit integer
// (1), as a boolean (2, 3), converted under `lcid`. The conversion's failure;
// E_FAIL for another kind.
HRESULT LinkValueFor(int32_t kind, const Variant& value, LCID lcid, Variant* out);

// Puts a value LinkValueFor made into `destination` by `kind`: Value put, ID
// put, Activation put or LinkActivation put. The put's result.
HRESULT PutLinkValue(CTavrixItem& destination, int32_t kind, const Variant& value);

// Element `position` of an array value (the lower bound + position of its
// first dimension); DISP_E_BADINDEX past its end.
HRESULT LinkElement(const Variant& array, int32_t position, Variant* out);

class CTavrixLinkObserver final : public CTavrixObserver {
 public:
  struct Destination {
    Ref<CTavrixItem> item;  // null: the link item does not exist (versioned projects)
    // Set for an item of another controller: its writes go through the writer.
    std::shared_ptr<LinkTarget> queued;
  };

  // `owner` is the owner of the item the observer watches. `writer` takes
  // the destinations that have a queued target (may be null when none has).
  CTavrixLinkObserver(IItemOwner& owner, bool elementMode, int32_t kind,
                      std::vector<Destination> destinations, std::shared_ptr<LinkWriter> writer);

  // Copies `value` to the destinations (see the file comment): S_FALSE while
  // the link activation is off; otherwise S_OK, or the last failure of a
  // destination (the others are still written). A destination of another
  // controller counts as written once its value is queued; the writer logs
  // its failure.
  HRESULT Update(const Variant& value) override;

  // The reference item's value: with one destination its value (empty when
  // it does not exist), otherwise a 1-D VT_ARRAY|VT_VARIANT of their values
  // in order (empty ones for missing destinations). A failing read ends it
  // with that failure.
  HRESULT Value(Variant* out) override;

  bool linkActivation() const { return linkActivation_.load(); }
  void SetLinkActivation(bool on) { linkActivation_.store(on); }
  bool elementMode() const { return elementMode_; }
  int32_t kind() const { return kind_; }

  // The destination items in order (null for missing ones); empty after
  // Release.
  std::vector<Ref<CTavrixItem>> Destinations() const EXCLUDES(lock_);

  // The source terminates: lets go of the destinations and the writer, so
  // later updates copy nothing and items that link to each other free each
  // other.
  void Release() EXCLUDES(lock_);

 private:
  struct Links {
    std::vector<Destination> destinations;
    std::shared_ptr<LinkWriter> writer;
  };
  std::shared_ptr<const Links> links() const EXCLUDES(lock_);
  HRESULT Put(const Links& links, const Destination& to, const Variant& value);

  IItemOwner& owner_;
  const bool elementMode_;
  const int32_t kind_;
  std::atomic<bool> linkActivation_{true};
  std::atomic<bool> report_{true};  // whether the next failure is logged

  // Guards links_, which is replaced whole and read as a snapshot.
  mutable SmallMutex lock_;
  std::shared_ptr<const Links> links_ GUARDED_BY(lock_);
};

}  // namespace tavrix
