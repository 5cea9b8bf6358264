#include "controller/performance_set.h"

namespace tavrix {

void PerformanceSet::Reset() {
  for (Record& record : records_) record.fill(0);
  index_ = -1;
}

}  // namespace tavrix
