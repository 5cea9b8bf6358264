// The arithmetic of the sampling cycle: the distribution sleep between item
// reads, scan times across tick wraps, the cycle verdict, the sleep until the
// next cycle and the controller time stamp. Pure functions, so every rule is
// a table test; the sampling thread only calls them.
#pragma once

#include <cstdint>

namespace tavrix {

// The first sleep between two item reads spreading n reads over `interval`
// ms: interval / (n - 1) - 1, at least 0. n below 2 gives 0 (distribution is
// switched off then).
int64_t InitialDistributionSleep(int32_t interval, int32_t n);

// The distribution sleep after a cycle: only a good cycle outside trigger-wait
// mode (mode != 0) moves it. With limit = interval + n - 1 (at most
// 2147483647): above the limit the sleep shrinks by (elapsed - limit) / n (not
// below 0); below interval - (n - 1) it grows by (interval - (n - 1) -
// elapsed) / n.
int64_t AdjustDistributionSleep(int64_t sleep, bool good, int32_t samplingMode, int32_t interval,
                                int32_t n, uint32_t elapsed);

// Milliseconds from `start` to `now` of the wrapping tick; one less when the
// tick wrapped in between (now below start).
uint32_t CycleElapsed(uint32_t start, uint32_t now);

// A cycle is good when every judged read succeeded; with read-judge type
// (m_lRecType) other than 0 also when some failed but at least one read
// reached the device.
bool CycleGood(int32_t recType, bool allReadsGood, bool noneReadFromDevice);

// Time left to sleep before the next cycle: interval - elapsed - 1, where an
// elapsed time of 0 counts as 1.
int64_t RemainingSleep(int32_t interval, uint32_t elapsed);

// Last, minimum and maximum scan times and whether a cycle completed since
// the last reset.
struct ScanTimes {
  uint32_t last = 0;
  uint32_t minimum = 2147483647;
  uint32_t maximum = 0;
  bool completed = false;

  void Record(uint32_t elapsed);
  void Reset() { *this = ScanTimes{}; }
};

// A time stamp taken from a clock reading: a date of whole seconds and a
// microsecond count. A reading equal to the previous one counts the
// microseconds up by one; a new reading sets the date and milliseconds x 1000.
struct ClockTimeStamp {
  double date = 0;         // whole seconds
  uint32_t microsecond = 0;
  int64_t lastReading = -1;  // 100 ns units of the previous reading

  // `reading100ns` is the clock's FILETIME-like reading; `date` its time as a
  // date (the wall time in the wanted zone).
  void Refresh(int64_t reading100ns, double dateOfReading);
};

}  // namespace tavrix
