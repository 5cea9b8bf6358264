// The compiler: resolves every name of a parsed script to what it stands for
// (a frame slot, a module variable, a constant, a procedure or a built-in),
// numbers the slots, and folds constants. The interpreter then runs the tree
// without looking a name up again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/result.h"
#include "platform/text.h"
#include "vbscript/ast.h"
#include "vbscript/parser.h"

namespace tavrix::vbs {

// The module variables of an engine instance by name: named objects first
// (the host adds them), then the script's own. Slot numbers never change.
class GlobalTable {
 public:
  // The slot of `name`, adding it when it is new.
  int32_t Add(std::string_view name);
  // The slot of `name`, or -1.
  int32_t Find(std::string_view name) const;
  size_t size() const noexcept { return names_.size(); }
  const std::string& name(int32_t slot) const { return names_[static_cast<size_t>(slot)]; }

 private:
  std::vector<std::string> names_;
  std::unordered_map<std::string, int32_t, NoCaseHash, NoCaseEqual> index_;
};

// Resolves `script` in place. Named objects already in `globals` are visible
// to it; the script's module variables are added to `globals`. S_OK, or
// ScriptError(number) with *error set (1041 "Name redefined", 1045 "Expected
// literal constant").
HRESULT Compile(Script* script, GlobalTable* globals, ParseError* error);

}  // namespace tavrix::vbs
