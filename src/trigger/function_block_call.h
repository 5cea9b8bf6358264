// The function-block call: expands a block of the engine's registry under
// itself, with the call's arguments put in place of the block's markers.
#pragma once

#include <string>

#include "config/argument_markers.h"
#include "trigger/action_object.h"

namespace tavrix {

class CFunctionBlockObject final : public CActionObject {
 public:
  // `callText`: block ID, then pairs of argument ID and value, separated by
  // ","; any other shape makes the node invalid.
  explicit CFunctionBlockObject(const std::string& callText);

  HRESULT Execute(int32_t kind, IZeltMessage* message) override;
  HRESULT Initialize(CTavrixController& controller) override;
  const char* GetClassName() const override { return "CFunctionBlockObject"; }
  bool IsInsideLoop() const override { return false; }
  const ArgumentMap* GetArgumentMap() const override { return &arguments_; }
  bool IsMeasured() const override { return false; }
  Ref<IDispatch> GetScriptObject() const override { return scriptObject_; }

  bool valid() const { return valid_; }
  const std::string& blockId() const { return blockId_; }

 private:
  std::string blockId_;
  ArgumentMap arguments_;
  bool valid_ = false;
  bool expanded_ = false;
  // The arguments as scripts inside the block see them; made by the script
  // host, none until one is installed.
  Ref<IDispatch> scriptObject_;
};

}  // namespace tavrix
