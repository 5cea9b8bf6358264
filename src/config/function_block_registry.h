// The engine-wide function-block registry: the blocks of the workspace's
// `FunctionBlockList`, by `FunctionBlockID` (matched without regard to letter
// case). The registry owns its own copies, so the reader may reuse its block
// object and a caller may change what it finds without touching the entry.
// Entries are replaced by a later block of the same ID and otherwise kept
// until the process ends; a re-read of the project adds or replaces.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "config/trigger_info.h"
#include "platform/text.h"

namespace tavrix {

class FunctionBlockRegistry {
 public:
  // The process-wide registry, created on first use.
  static FunctionBlockRegistry& Instance();

  FunctionBlockRegistry() = default;
  FunctionBlockRegistry(const FunctionBlockRegistry&) = delete;
  FunctionBlockRegistry& operator=(const FunctionBlockRegistry&) = delete;

  // Stores a deep copy of `info` under its `m_strFunctionBlockID`, replacing
  // an entry with the same ID. A block with an empty ID is stored too (under
  // the empty ID), since a call can name no other block.
  void RegisterFunctionBlock(const FunctionBlockInfo& info);
  // A deep copy of the block registered under `id`, or null.
  std::unique_ptr<FunctionBlockInfo> FindFunctionBlock(std::string_view id) const;
  size_t Count() const;

  // Removes every entry. For tests only: the running engine never removes blocks.
  void ResetForTesting();

 private:
  mutable std::mutex mutex_;  // guards blocks_ (and the entries' contents while cloned)
  std::map<std::string, std::unique_ptr<FunctionBlockInfo>, NoCaseLess> blocks_;
};

}  // namespace tavrix
