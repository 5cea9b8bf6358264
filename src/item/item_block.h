// The block buffer of a holder item: the bytes its sub-items are cut from.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/mutex.h"

namespace tavrix {

struct ItemBlock {
  // The block serial (see item.h): a holder read from its device read to the
  // block fill, a sub-item write from its refresh to the holder's device
  // write. It guards no member: it orders those operations, and a holder
  // read takes it only when the holder has a block. Recursive: a sub-item
  // write refreshes the holder inside it, and that read takes it again.
  RecursiveMutex serial;

  mutable Mutex lock;  // guards the members below; innermost of the item's locks
  std::vector<uint8_t> bytes GUARDED_BY(lock);  // the block size, zero-filled when sized
  bool valid GUARDED_BY(lock) = false;          // the holder's value filled it
  uint64_t fills GUARDED_BY(lock) = 0;          // counts the fills, so a writer sees a refresh
};

}  // namespace tavrix
