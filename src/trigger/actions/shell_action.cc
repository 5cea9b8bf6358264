// The shell action (4): starts a program with its parameters and goes on
// without waiting for it. The program is started directly (never through a
// shell), so the parameter text reaches it as the words SplitCommandLine
// makes of it, whatever characters it holds.
#include "config/trigger_info.h"
#include "trigger/action_object.h"
#include "trigger/actions/action_makers.h"
#include "trigger/actions/process_spawn.h"

namespace tavrix {

class CExecuteShellActionObject final : public CActionObject {
 public:
  explicit CExecuteShellActionObject(const ActionExInfo& info)
      : file_(info.m_strExeFile), arguments_(SplitCommandLine(info.m_strExeParams)) {}

  HRESULT Execute(int32_t, IZeltMessage*) override {
    if (file_.empty()) {
      // Ends the enclosing lists: the definition cannot do anything.
      LogNode(E_INVALIDARG, 1, "File name is not specified.");
      return E_INVALIDARG;
    }
    if (FAILED(SpawnDetached(file_, arguments_))) {
      LogNode(E_FAIL, 1, "Failed in Execute().");
      ReportResult(E_FAIL, *this);
      return S_FALSE;
    }
    return S_OK;
  }

  const char* GetClassName() const override { return "CExecuteShellActionObject"; }

 private:
  const std::string file_;
  const std::vector<std::string> arguments_;
};

std::unique_ptr<CActionObject> MakeShellAction(const ActionExInfo& info) {
  return std::make_unique<CExecuteShellActionObject>(info);
}

}  // namespace tavrix
