#include "config/project_version.h"

#include <atomic>

namespace tavrix {
namespace {

std::atomic<bool> g_versionedProject{false};

}  // namespace

ProjectVersion ParseProjectVersion(std::string_view text) {
  uint16_t parts[3] = {0, 0, 0};
  size_t count = 0;
  size_t pos = 0;
  while (true) {
    if (count == 3) return {};
    uint32_t value = 0;
    const size_t first = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      value = value * 10 + static_cast<uint32_t>(text[pos] - '0');
      if (value > 0xFFFF) return {};
      ++pos;
    }
    if (pos == first) return {};
    parts[count++] = static_cast<uint16_t>(value);
    if (pos == text.size()) break;
    if (text[pos] != '.') return {};
    ++pos;
  }
  return ProjectVersion{parts[0], parts[1], parts[2], 0};
}

bool IsVersionedProject() { return g_versionedProject.load(std::memory_order_acquire); }
void MarkVersionedProject() { g_versionedProject.store(true, std::memory_order_release); }
void ResetVersionedProjectForTesting() { g_versionedProject.store(false); }

}  // namespace tavrix
