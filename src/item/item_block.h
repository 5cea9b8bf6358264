// The block buffer of a holder item: the bytes its sub-items are cut from.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace tavrix {

struct ItemBlock {
  // The block serial (see item.h): a holder read from its device read to the
  // block fill, a sub-item write from its refresh to the holder's device
  // write. Recursive: a sub-item write refreshes the holder inside it.
  std::recursive_mutex serial;

  mutable std::mutex lock;  // guards the members below
  std::vector<uint8_t> bytes;  // the block size, zero-filled when sized
  bool valid = false;          // the holder's value filled it
  uint64_t fills = 0;          // counts the fills, so a writer sees a refresh
};

}  // namespace tavrix
