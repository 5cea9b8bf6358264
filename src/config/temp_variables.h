// The temporary-variable list of a trigger tree (`TempVariableList`): a
// comma-separated list of names, one temporary item per non-empty name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavrix {

// The names of `list` split at ",", in order, empty names left out. Names are
// kept exactly as written (no trimming): " a" and "a" are different names.
std::vector<std::string> SplitTempVariableNames(std::string_view list);

}  // namespace tavrix
