#include "controller/zelt_controller_refs.h"

#include <map>
#include <mutex>

#include "platform/log.h"

namespace tavrix {
namespace {

std::mutex g_mutex;  // guards Table()
std::map<const IUnknown*, int32_t>& Table() {
  static std::map<const IUnknown*, int32_t> table;
  return table;
}

}  // namespace

void AddZeltControllerRef(const IUnknown* zeltController) {
  int32_t count;
  {
    std::lock_guard lock(g_mutex);
    count = ++Table()[zeltController];
  }
  Log(0, "TavrixController : AddZeltControllerRef ptr:%p, count:%d\n", zeltController, count);
}

int32_t ReleaseZeltControllerRef(const IUnknown* zeltController) {
  int32_t count;
  {
    std::lock_guard lock(g_mutex);
    auto it = Table().find(zeltController);
    if (it == Table().end()) {
      count = -1;
    } else if ((count = --it->second) == 0) {
      Table().erase(it);
    }
  }
  Log(0, "TavrixController : ReleaseZeltControllerRef ptr:%p, count:%d\n", zeltController, count);
  return count;
}

}  // namespace tavrix
