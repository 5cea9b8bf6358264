#include "config/function_block_registry.h"

namespace tavrix {

FunctionBlockRegistry& FunctionBlockRegistry::Instance() {
  // Never destroyed: trigger reloads on other threads may still look blocks up
  // while the process unwinds its statics.
  static FunctionBlockRegistry* const instance = new FunctionBlockRegistry();
  return *instance;
}

void FunctionBlockRegistry::RegisterFunctionBlock(const FunctionBlockInfo& info) {
  // Copy outside the lock; the caller's object is not shared with the registry.
  std::unique_ptr<FunctionBlockInfo> copy = info.CloneBlock();
  std::unique_ptr<FunctionBlockInfo> replaced;
  {
    std::lock_guard lock(mutex_);
    auto it = blocks_.find(copy->m_strFunctionBlockID);
    if (it != blocks_.end()) {
      // Keep the key as first written; the entry takes the new block.
      replaced = std::move(it->second);
      it->second = std::move(copy);
    } else {
      std::string id = copy->m_strFunctionBlockID;
      blocks_.emplace(std::move(id), std::move(copy));
    }
  }
  // `replaced` (a whole tree) is destroyed here, after the lock is released.
}

std::unique_ptr<FunctionBlockInfo> FunctionBlockRegistry::FindFunctionBlock(
    std::string_view id) const {
  std::lock_guard lock(mutex_);
  auto it = blocks_.find(id);
  if (it == blocks_.end()) return nullptr;
  return it->second->CloneBlock();
}

size_t FunctionBlockRegistry::Count() const {
  std::lock_guard lock(mutex_);
  return blocks_.size();
}

void FunctionBlockRegistry::ResetForTesting() {
  std::map<std::string, std::unique_ptr<FunctionBlockInfo>, NoCaseLess> old;
  {
    std::lock_guard lock(mutex_);
    old.swap(blocks_);
  }
}

}  // namespace tavrix
