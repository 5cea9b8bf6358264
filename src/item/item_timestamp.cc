#include "item/item_timestamp.h"

#include "platform/date.h"

namespace tavrix {

double ItemStamp::LastReadDate() const { return DateFromUnixMicros(lastReadMs * 1000); }

void UpdateHostStamp(int32_t mode, int64_t nowUtcMs, uint32_t nowTick, ItemStamp* stamp) {
  const int64_t previousMs = stamp->lastReadMs;
  stamp->lastReadMs = nowUtcMs;
  stamp->lastReadTick = nowTick;
  if (mode != kStampLocal && mode != kStampUtc) return;
  if (nowUtcMs == previousMs) {
    ++stamp->microsecond;
    return;
  }
  // Whole seconds and milliseconds from the integer reading, so no rounding
  // of the date can move the second.
  const int64_t seconds = nowUtcMs >= 0 ? nowUtcMs / 1000 : (nowUtcMs - 999) / 1000;
  const int64_t ms = nowUtcMs - seconds * 1000;
  double date = DateFromUnixMicros(seconds * 1000000);
  if (mode == kStampLocal) {
    double local = 0;
    // A moment the C library cannot place in local time keeps UTC.
    if (UtcToLocal(date, &local).succeeded()) date = local;
  }
  double whole = 0;
  uint32_t micros = 0;
  SplitDate(date, &whole, &micros);
  stamp->dateTime = whole;
  stamp->microsecond = static_cast<uint32_t>(ms * 1000);
}

}  // namespace tavrix
