#include "item/link_check.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "item/item.h"
#include "item/link_observer.h"

namespace tavrix {
namespace {

struct Walk {
  std::vector<const CTavrixItem*> path;
  // Items whose walk found no way back to any item on its path: nothing they
  // reach leads back to them, so no path through them can loop either.
  std::unordered_set<const CTavrixItem*> clean;
  uint64_t loops = 0;  // items found on their path so far
};

int32_t Check(CTavrixItem& item, bool flag, Walk& walk) {
  if (std::find(walk.path.begin(), walk.path.end(), &item) != walk.path.end()) {
    ++walk.loops;
    if (flag) return kLinkCheckCritical;
    const bool allAliases =
        std::all_of(walk.path.begin(), walk.path.end(),
                    [](const CTavrixItem* i) { return i->settings().m_bAliasItem; });
    return allAliases ? kLinkCheckCriticalForPut : kLinkCheckCycle;
  }
  if (walk.clean.contains(&item)) return kLinkCheckNone;

  const uint64_t loopsBefore = walk.loops;
  walk.path.push_back(&item);
  int32_t result = kLinkCheckNone;
  if (item.settings().m_bAliasItem) {
    if (const Ref<CTavrixItem> target = item.aliasTarget()) {
      result = Check(*target, flag && item.settings().IsReference(), walk);
    }
  }
  if (result != kLinkCheckCritical) {
    if (const auto* links = dynamic_cast<const CTavrixLinkObserver*>(item.linkObserver())) {
      for (const Ref<CTavrixItem>& destination : links->Destinations()) {
        if (!destination) continue;
        const int32_t r = Check(*destination, flag, walk);
        if (r == kLinkCheckCritical) {
          result = r;
          break;
        }
        if (r == kLinkCheckCycle) result = kLinkCheckCycle;
      }
    }
  }
  walk.path.pop_back();
  if (walk.loops == loopsBefore) walk.clean.insert(&item);
  return result;
}

}  // namespace

int32_t LinkCheckResultOf(CTavrixItem& item) {
  Walk walk;
  return Check(item, item.settings().IsReference(), walk);
}

}  // namespace tavrix
