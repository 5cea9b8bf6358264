#include "controller/cycle_math.h"

#include <algorithm>
#include <cmath>

#include "platform/date.h"

namespace tavrix {

int64_t InitialDistributionSleep(int32_t interval, int32_t n) {
  if (n < 2) return 0;
  return std::max<int64_t>(interval / (n - 1) - 1, 0);
}

int64_t AdjustDistributionSleep(int64_t sleep, bool good, int32_t samplingMode, int32_t interval,
                                int32_t n, uint32_t elapsed) {
  if (!good || samplingMode == 0 || n <= 0) return sleep;
  const uint64_t count = static_cast<uint64_t>(n);
  const int64_t limit = std::min<int64_t>(int64_t{interval} + n - 1, 2147483647);
  if (int64_t{elapsed} > limit) {
    sleep -= static_cast<int64_t>((uint64_t{elapsed} - static_cast<uint64_t>(limit)) / count);
    return std::max<int64_t>(sleep, 0);
  }
  const int64_t floor = int64_t{interval} - (n - 1);
  if (floor >= 0 && int64_t{elapsed} < floor) {
    sleep += static_cast<int64_t>((static_cast<uint64_t>(floor) - elapsed) / count);
  }
  return sleep;
}

uint32_t CycleElapsed(uint32_t start, uint32_t now) {
  const uint32_t elapsed = now - start;
  return now < start ? elapsed - 1 : elapsed;
}

bool CycleGood(int32_t recType, bool allReadsGood, bool noneReadFromDevice) {
  if (recType == 0) return allReadsGood;
  return allReadsGood || !noneReadFromDevice;
}

int64_t RemainingSleep(int32_t interval, uint32_t elapsed) {
  return int64_t{interval} - std::max<uint32_t>(elapsed, 1) - 1;
}

void ScanTimes::Record(uint32_t elapsed) {
  minimum = std::min(minimum, elapsed);
  maximum = std::max(maximum, elapsed);
  last = elapsed;
  completed = true;
}

void ClockTimeStamp::Refresh(int64_t reading100ns, double dateOfReading) {
  if (reading100ns == lastReading) {
    ++microsecond;
    return;
  }
  lastReading = reading100ns;
  double wholeSeconds = 0;
  uint32_t micros = 0;
  SplitDate(dateOfReading, &wholeSeconds, &micros);
  date = wholeSeconds;
  microsecond = micros / 1000 * 1000;  // the clock's milliseconds
}

}  // namespace tavrix
