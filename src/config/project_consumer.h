// What the project reader hands its records to: the engine manager at run
// time, a recording consumer in tests. Calls arrive on the reader's thread,
// in file order, during CTavrixReader::parse. Records are lent for the call
// only: the reader clears and reuses them afterwards, so keep a copy.
//
// Replacement strings, connection strings and function blocks do not come
// here: the reader adds them to their process-wide tables itself.
#pragma once

#include <cstdint>
#include <string_view>

#include "config/project_records.h"
#include "config/project_version.h"
#include "platform/result.h"

namespace tavrix {

// Which records a reader applies (chosen when it is created).
enum class ReaderMode : int32_t {
  kLoad = 0,                  // engine start: everything
  kReloadTrigger = 1,         // rebuild the triggers of listed controllers
  kUpdateControllers = 2,     // listed controllers take new settings and items, then update
  kReconnectControllers = 3,  // as kUpdateControllers, then reconnect
};

class IProjectConsumer {
 public:
  virtual ~IProjectConsumer() = default;

  // kLoad, end of the workspace object: first the history manager, then the
  // rest of the workspace. A failure of either makes the reader ignore the
  // rest of the document (no controller is registered); parse still succeeds.
  virtual HRESULT InitializeHistory(const WorkspaceRecord& workspace) = 0;
  virtual HRESULT SetWorkspaceInfo(const WorkspaceRecord& workspace) = 0;

  // kLoad: registers a controller; on success it becomes the current one,
  // which AddItem and SetLegacyTrigger address. A failure skips the
  // controller and its items.
  virtual HRESULT RegisterController(const ControllerRecord& controller) = 0;
  virtual void AddItem(const ItemRecord& item) = 0;
  // kLoad, end of the controller's node (once per registered controller).
  virtual void SetLegacyTrigger(const LegacyTriggerRecord& trigger) = 0;

  // The partial modes: whether a controller of this name (its
  // `RSQLCtrlName`) exists. Only asked for listed names.
  virtual bool FindController(std::string_view name) = 0;
  // kReloadTrigger: rebuilds the controller's triggers from the record.
  virtual HRESULT ReloadTrigger(std::string_view name, const ControllerRecord& controller) = 0;
  // kUpdateControllers, kReconnectControllers: the new controller settings,
  // then each of its items, then FinishControllerUpdate at the end of the
  // controller's node (external-function settings, then the update or the
  // reconnect that `mode` names).
  virtual HRESULT UpdateController(std::string_view name, const ControllerRecord& controller) = 0;
  virtual void UpdateItem(std::string_view name, const ItemRecord& item) = 0;
  virtual void FinishControllerUpdate(std::string_view name, const ControllerRecord& controller,
                                      ReaderMode mode) = 0;

  // kLoad: one `commonSettings` value, replacing an earlier one of the triple.
  virtual void SetCommonSetting(std::string_view type, std::string_view setting,
                                std::string_view key, std::string_view value) = 0;
  // Every mode: the text of a `Version` element was read.
  virtual void SetProjectVersion(const ProjectVersion& version) = 0;
};

}  // namespace tavrix
