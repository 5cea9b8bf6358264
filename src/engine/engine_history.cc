#include "engine/engine_history.h"

#include "controller/controller_parts.h"

namespace tavrix {

HRESULT DatabaseHistory::InitializeManager(const WorkspaceRecord& workspace,
                                           std::string_view projectPath) {
  const HRESULT hr = manager_.Initialize(workspace, projectPath);
  auto& parts = ControllerParts::Instance();
  CTavrixHistoryMan* manager = &manager_;
  parts.historyEnabled = [manager](CTavrixController&) { return manager->Enable(); };
  parts.addHistory = [manager](const std::string& controller, const std::string& item,
                               const Variant& value, double date, uint32_t microsecond) {
    return manager->AddHistory(controller, item, value, date, microsecond);
  };
  return hr;
}

void DatabaseHistory::StopManager() { (void)manager_.Close(); }

}  // namespace tavrix
