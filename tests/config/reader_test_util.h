// Helpers for the project reader tests: a consumer that records every call
// in order, text dumps of records and trigger trees, fixture paths and a
// fake decoder for elements marked `Encrypt`.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "config/project_consumer.h"
#include "config/project_reader.h"
#include "config/text_decoder.h"
#include "config/trigger_info.h"

namespace tavrix::test {

std::string FixturePath(std::string_view name);
std::string ReadFileText(const std::string& path);

// "name=value" lines of every property of a record, in table order.
std::string DumpProperties(const WorkspaceProperties& record);
std::string DumpProperties(const ControllerProperties& record);
std::string DumpProperties(const ItemProperties& record);
// One line per info object, indented by depth: its type and its texts.
std::string DumpTree(const TriggerExBaseInfo& info);
std::string DumpPluginConfig(const PluginConfigNode& node);
// The whole record: properties, tree, lists, legacy trigger.
std::string DumpController(const ControllerRecord& record);
std::string DumpItem(const ItemRecord& record);
std::string DumpWorkspace(const WorkspaceRecord& record);

class RecordingConsumer : public IProjectConsumer {
 public:
  // Short call lines ("RegisterController CtrlA", "AddItem a1").
  std::vector<std::string> calls;
  // Calls with full record dumps, to compare two reads of one document.
  std::string transcript;
  std::vector<WorkspaceRecord> workspaces;
  std::vector<ControllerRecord> controllers;  // registered, reloaded or updated
  std::vector<ItemRecord> items;               // added or updated
  std::vector<LegacyTriggerRecord> legacyTriggers;
  std::vector<ProjectVersion> versions;

  // Answers of the consumer.
  std::set<std::string> existing;  // FindController
  HRESULT historyResult = S_OK;
  HRESULT workspaceResult = S_OK;
  std::set<std::string> refused;   // controller names whose registration or update fails

  HRESULT InitializeHistory(const WorkspaceRecord& workspace) override;
  HRESULT SetWorkspaceInfo(const WorkspaceRecord& workspace) override;
  HRESULT RegisterController(const ControllerRecord& controller) override;
  void AddItem(const ItemRecord& item) override;
  void SetLegacyTrigger(const LegacyTriggerRecord& trigger) override;
  bool FindController(std::string_view name) override;
  HRESULT ReloadTrigger(std::string_view name, const ControllerRecord& controller) override;
  HRESULT UpdateController(std::string_view name, const ControllerRecord& controller) override;
  void UpdateItem(std::string_view name, const ItemRecord& item) override;
  void FinishControllerUpdate(std::string_view name, const ControllerRecord& controller,
                              ReaderMode mode) override;
  void SetCommonSetting(std::string_view type, std::string_view setting, std::string_view key,
                        std::string_view value) override;
  void SetProjectVersion(const ProjectVersion& version) override;

 private:
  void Call(std::string line, const std::string& detail = {});
};

// Deciphers "enc:<text>" to "<text>" and refuses anything else
// (E_ACCESSDENIED); installed while it lives.
class ScopedFakeDecoder {
 public:
  ScopedFakeDecoder();
  ~ScopedFakeDecoder();
  ScopedFakeDecoder(const ScopedFakeDecoder&) = delete;
  ScopedFakeDecoder& operator=(const ScopedFakeDecoder&) = delete;
  // The texts it was asked to decode, in order.
  std::vector<std::string> Requests() const;

 private:
  class Decoder;
  std::shared_ptr<Decoder> decoder_;
  std::shared_ptr<ITextDecoder> previous_;
};

// Private tables for one test, so that tests never share process-wide state.
struct ReaderTablesForTest {
  TavrixUtility::ReplaceStringMap replaceStrings;
  TavrixUtility::DBStringReplaceMap connectionStrings;
  FunctionBlockRegistry functionBlocks;

  ReaderOptions Options(size_t chunkSize = 64 * 1024) {
    ReaderOptions options;
    options.chunkSize = chunkSize;
    options.replaceStrings = &replaceStrings;
    options.connectionStrings = &connectionStrings;
    options.functionBlocks = &functionBlocks;
    return options;
  }
};

}  // namespace tavrix::test
