// The history service of the engine: the process's history manager, opened
// when the reader hands over the workspace and closed at terminate, and the
// controllers' history calls routed to it.
#pragma once

#include "db/history_man.h"
#include "engine/engine_services.h"

namespace tavrix {

class DatabaseHistory final : public IHistoryService {
 public:
  // `manager` must outlive the service; the process's manager by default.
  explicit DatabaseHistory(CTavrixHistoryMan& manager = CTavrixHistoryMan::Instance())
      : manager_(manager) {}

  // Opens the manager and makes it the controllers' history (markers, item
  // changes). A database that cannot be opened leaves history off and the
  // project loading; only a manager that cannot work at all fails.
  HRESULT InitializeManager(const WorkspaceRecord& workspace,
                            std::string_view projectPath) override;
  // The automation object comes with the automation interface; until then
  // the manager itself answers for it.
  HRESULT CreateObject() override { return S_OK; }
  HRESULT QueryHistory() override { return S_OK; }
  void ReleaseObject() override {}
  // Writes the closing marker and closes the database; the controllers'
  // history calls find history off afterwards.
  void StopManager() override;

 private:
  CTavrixHistoryMan& manager_;
};

}  // namespace tavrix
