#include "config/temp_variables.h"

namespace tavrix {

std::vector<std::string> SplitTempVariableNames(std::string_view list) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string_view::npos) comma = list.size();
    if (comma > start) names.emplace_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return names;
}

}  // namespace tavrix
