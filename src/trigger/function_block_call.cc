#include "trigger/function_block_call.h"

#include <set>
#include <vector>

#include "config/function_block_registry.h"
#include "controller/controller.h"
#include "platform/text.h"
#include "trigger/node_factory.h"

namespace tavrix {

namespace {

std::vector<std::string> SplitCall(const std::string& text) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    fields.push_back(text.substr(start, comma == std::string::npos ? std::string::npos
                                                                   : comma - start));
    if (comma == std::string::npos) return fields;
    start = comma + 1;
  }
}

}  // namespace

CFunctionBlockObject::CFunctionBlockObject(const std::string& callText) {
  const std::vector<std::string> fields = SplitCall(callText);
  if (fields.size() % 2 == 0) return;
  blockId_ = fields[0];
  for (size_t i = 1; i + 1 < fields.size(); i += 2) arguments_[fields[i]] = fields[i + 1];
  valid_ = true;
}

HRESULT CFunctionBlockObject::Initialize(CTavrixController& controller) {
  if (!valid_) return E_INVALIDARG;
  if (expanded_) return S_OK;
  std::unique_ptr<FunctionBlockInfo> block = FunctionBlockRegistry::Instance().FindFunctionBlock(blockId_);
  if (!block) {
    LogNode(E_INVALIDARG, 3, "Function block not found.");
    return E_INVALIDARG;
  }
  std::set<std::string, NoCaseLess> declared;
  for (const ArgumentInfo& argument : block->m_arguments) declared.insert(argument.m_strArgumentID);
  bool same = declared.size() == arguments_.size();
  for (const auto& [id, value] : arguments_) same = same && declared.contains(id);
  if (!same) {
    LogNode(E_INVALIDARG, 3, "Invalid argument specification.");
    return E_INVALIDARG;
  }
  const ArgumentContext context{controller.name()};
  for (const auto& info : block->m_nodes) {
    std::string failed;
    const HRESULT hr = info->ReplaceArguments(context, arguments_, &failed);
    if (FAILED(hr)) {
      LogResult(hr, 3, "CFunctionBlockObject[%ls - %ls] : Failed to replace arguments.\n",
                fullName(), failed);
      return hr;
    }
  }
  const std::string prefix = displayName() + " - ";
  for (const auto& info : block->m_nodes) {
    const HRESULT hr =
        CreateTriggerObserverExItem(controller, *this, *info, idPath(), prefix, true);
    if (FAILED(hr)) return hr;
  }
  expanded_ = true;
  return S_OK;
}

HRESULT CFunctionBlockObject::Execute(int32_t kind, IZeltMessage* message) {
  const HRESULT hr = ExecuteChildren(kind, message);
  return hr == kTriggerReturn ? S_OK : hr;
}

}  // namespace tavrix
