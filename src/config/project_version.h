// The project version (`Version` element) and the process-wide "versioned
// project" flag that many behaviours depend on.
#pragma once

#include <cstdint>
#include <string_view>

namespace tavrix {

struct ProjectVersion {
  uint16_t major = 0;
  uint16_t minor = 0;
  uint16_t build = 0;
  uint16_t revision = 0;  // never set from the file
  friend bool operator==(const ProjectVersion&, const ProjectVersion&) = default;
  // Whether this version is major.minor.build or later.
  bool AtLeast(uint16_t wantMajor, uint16_t wantMinor, uint16_t wantBuild = 0) const {
    if (major != wantMajor) return major > wantMajor;
    if (minor != wantMinor) return minor > wantMinor;
    return build >= wantBuild;
  }
};

// One to three decimal numbers (each 0..65535) separated by "." give major,
// minor and build; any other text, four parts included, gives 0.0.0.0.
ProjectVersion ParseProjectVersion(std::string_view text);

// Whether a project file with a `Version` element has been read. Set by the
// reader, never cleared while the process runs. Any thread.
bool IsVersionedProject();
void MarkVersionedProject();
// For tests only.
void ResetVersionedProjectForTesting();

}  // namespace tavrix
