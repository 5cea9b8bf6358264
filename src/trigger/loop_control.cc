#include "trigger/loop_control.h"

namespace tavrix {

HRESULT CReturnObject::Execute(int32_t, IZeltMessage*) {
  LogNode(0, "Trigger returned.");
  return kTriggerReturn;
}

HRESULT CBreakObject::Execute(int32_t, IZeltMessage*) {
  if (!IsInsideLoop()) {
    LogNode(2, "BREAK is used outside the Repeat processing. This is not executed.");
    return S_FALSE;
  }
  LogNode(0, "Loop break.");
  return kTriggerBreak;
}

HRESULT CContinueObject::Execute(int32_t, IZeltMessage*) {
  if (!IsInsideLoop()) {
    LogNode(2, "CONTINUE is used outside the Repeat processing. This is not executed.");
    return S_FALSE;
  }
  LogNode(0, "Loop continue.");
  return kTriggerContinue;
}

}  // namespace tavrix
