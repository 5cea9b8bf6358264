// The time stamp of an item's value and the clock readings behind it.
//
// After every successful source read (and every value written to the cache)
// the item notes the host clock; by the controller's time stamp mode the
// value's stamp is then left alone (0), copied from the device (1), or taken
// from the host clock as local time (2) or UTC (3). Two readings in the same
// host millisecond keep the stamp and count its microsecond up by one, so
// stamps stay distinct and ordered.
#pragma once

#include <cstdint>

namespace tavrix {

enum ItemTimeStampMode : int32_t {
  kStampNone = 0,
  kStampDevice = 1,
  kStampLocal = 2,
  kStampUtc = 3,
};

struct ItemStamp {
  double dateTime = 0;       // whole seconds, as a date
  uint32_t microsecond = 0;  // sub-second part
  int64_t lastReadMs = 0;    // host UTC, ms since 1970, of the last read (0: none yet)
  uint32_t lastReadTick = 0;

  // The last read time as a date (UTC), for history rows of versioned projects.
  double LastReadDate() const;
};

// Notes the reading (`nowUtcMs`, `nowTick`) in *stamp and, in mode 2 or 3,
// stamps it with that time; other modes leave dateTime and microsecond as
// they are (the caller copies the device's stamp in mode 1).
void UpdateHostStamp(int32_t mode, int64_t nowUtcMs, uint32_t nowTick, ItemStamp* stamp);

}  // namespace tavrix
