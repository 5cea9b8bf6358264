// FindBuiltin: the families' tables merged into one lookup by name.
#include <string_view>
#include <unordered_map>

#include "platform/text.h"
#include "vbscript/builtins_internal.h"

namespace tavrix::vbs {
namespace {

using BuiltinMap = std::unordered_map<std::string_view, const BuiltinInfo*, NoCaseHash,
                                      NoCaseEqual>;

// Built once, on first use, and read-only after: safe to share between
// script instances on any threads.
const BuiltinMap& Builtins() {
  static const BuiltinMap map = [] {
    BuiltinMap m;
    for (auto family : {builtins::ConvertBuiltins, builtins::StringBuiltins,
                        builtins::SearchBuiltins, builtins::MathBuiltins,
                        builtins::DateBuiltins, builtins::DateCalcBuiltins,
                        builtins::ArrayBuiltins, builtins::TypeBuiltins,
                        builtins::FormatBuiltins, builtins::ScriptBuiltins}) {
      for (const BuiltinInfo& info : family()) m.emplace(info.name, &info);
    }
    return m;
  }();
  return map;
}

}  // namespace

const BuiltinInfo* FindBuiltin(std::string_view name) {
  const BuiltinMap& map = Builtins();
  const auto it = map.find(name);
  return it == map.end() ? nullptr : it->second;
}

}  // namespace tavrix::vbs
