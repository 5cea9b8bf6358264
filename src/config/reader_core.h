// The project reader's handlers, apart from the XML parser that drives them:
// the level machine of the object tree, the section stack, the trigger-info
// stack and the records they fill. Internal to the reader (project_reader.cc
// feeds it from expat; tests reach it through CTavrixReader).
//
// Text: an element's character data arrive in pieces; each open element
// collects its own pieces, and only at its end is the whole text tested for
// blankness, deciphered (elements marked `Encrypt`) and delivered to its
// target. An element opened inside another one never adds to its parent's
// text.
//
// Closing: every element start records what its own end must do (close a
// section, return to a level, hand over a record), so an end always closes
// what the matching start opened: unknown `INode` types, nested groups and
// elements named like an open section inside it cannot close anything early.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_records.h"
#include "config/function_block_registry.h"
#include "config/project_consumer.h"
#include "config/project_records.h"
#include "config/replace_strings.h"
#include "config/trigger_info.h"
#include "config/trigger_records.h"
#include "platform/result.h"

namespace tavrix {

struct ReaderAttribute {
  std::string_view name;  // local name
  std::string_view value;
};

// The process-wide tables the reader adds to (tests give their own).
struct ReaderTables {
  TavrixUtility::ReplaceStringMap* replaceStrings = nullptr;
  TavrixUtility::DBStringReplaceMap* connectionStrings = nullptr;
  FunctionBlockRegistry* functionBlocks = nullptr;
};

class ReaderCore {
 public:
  // Far beyond any real project; it bounds the recursion of the trigger-info
  // trees built from the document (their copies and destructors recurse).
  static constexpr size_t kMaxElementDepth = 1000;

  // `names` and `tables` must outlive the object; `consumer` must not be null.
  ReaderCore(const std::vector<std::string>& names, ReaderMode mode, const ReaderTables& tables,
             IProjectConsumer* consumer);
  ReaderCore(const ReaderCore&) = delete;
  ReaderCore& operator=(const ReaderCore&) = delete;

  void StartDocument();
  // A failure stops the parse: the caller must deliver nothing more.
  HRESULT StartElement(std::string_view name, std::span<const ReaderAttribute> attributes);
  void Characters(std::string_view text);
  HRESULT EndElement();
  // Resets every record and all state (level 0).
  void EndDocument();

  // Controllers matched by name in the partial modes.
  int32_t matched() const { return matched_; }

 private:
  using Sink = std::function<HRESULT(std::string&& text)>;
  using EndAction = std::function<HRESULT()>;

  // One open element.
  struct Frame {
    std::string name;
    std::string text;        // the character data collected so far
    Sink sink;               // receives the whole text at the end; none: dropped
    EndAction onEnd;         // runs after the text is delivered
    bool encrypted = false;  // marked `Encrypt`: the text is deciphered first
    bool keepBlank = false;  // white-space-only text is delivered too
  };

  enum class SectionKind : uint8_t {
    kVersion,
    kSkip,
    kDBInfo,
    kTrigger,  // `TriggerEx` or `FunctionBlock`: the trigger-info stack decides
    kCondition,
    kExecuteParam,
    kArgumentValues,
    kArgumentList,
    kItemCalculations,
    kControllerCalculations,
    kReplacementStringList,
    kReplacementString,
    kDBConnectionStringList,
    kDBConnectionString,
    kPluginConfig,
    kCredentials,
    kCredential,
    kFunctionBlockList,
    kCommonSettings,
    kSetting,
    kData,
    kExternalFunctions,
    kExternalFunction,
  };

  // An open section and what it fills; the pointers stay valid while it is
  // open, because nothing outside the innermost section changes the records.
  struct Section {
    SectionKind kind;
    UserDefineDBInfo* table = nullptr;
    std::vector<ItemCalcInfo>* itemCalculations = nullptr;
    std::vector<ControllerCalcInfo>* controllerCalculations = nullptr;
    std::vector<ConditionInfo>* conditions = nullptr;
    ExecuteParamInfo* executeParam = nullptr;
    FunctionBlockInfo* block = nullptr;
  };

  // The four texts of a `ReplacementString` or `DBConnectionString`.
  struct StringEntry {
    std::string encrypted;
    std::string key;
    std::string value;
    std::string type;
    bool valueDeciphered = false;  // the value element was marked `Encrypt`

    void Clear() { *this = StringEntry{}; }
  };

  // reader_levels.cc
  HRESULT LevelStart(std::string_view name, std::span<const ReaderAttribute> attributes,
                     Frame& frame);
  HRESULT WorkspaceEnd();
  HRESULT ControllerNodeEnd();
  HRESULT CompleteController();
  void ApplyItem();
  bool IsListed(std::string_view name) const;
  // Clears the records and marks (not the element, section or info stacks,
  // which follow the document's nesting).
  void ResetState();

  // reader_sections.cc
  HRESULT SectionStart(std::string_view name, std::span<const ReaderAttribute> attributes,
                       Frame& frame);
  HRESULT TriggerStart(std::string_view name, Frame& frame);
  HRESULT StringEntryStart(std::string_view name, Frame& frame);
  HRESULT ReplacementStringEnd();
  HRESULT DBConnectionStringEnd();
  // Opens a section that the end of `frame`'s element closes (after `atEnd`).
  void OpenSection(const Section& section, Frame& frame, EndAction atEnd = nullptr);
  void OpenPluginConfig(PluginConfigNode* root, Frame& frame);
  void OpenTableDescription(UserDefineDBInfo* table, Frame& frame);

  const std::vector<std::string>& names_;
  const ReaderMode mode_;
  const ReaderTables tables_;
  IProjectConsumer* const consumer_;

  int level_ = 0;
  int32_t matched_ = 0;
  bool failed_ = false;
  std::vector<Frame> frames_;
  std::vector<Section> sections_;
  std::vector<TriggerExBaseInfo*> infoStack_;  // null entries for texts and unknown elements
  std::vector<PluginConfigNode*> pluginNodes_;  // the open `Data` path, root first

  WorkspaceRecord workspace_;
  ControllerRecord controller_;
  ItemRecord item_;
  size_t legacyIndex_ = 0;  // the open `clsTavrixTriggerInfo` (0 or 1)
  bool settingsSeen_ = false;  // `clsTavrixController` has ended
  bool textSeen_ = false;      // the controller node's `Text` had text
  bool itemOpen_ = false;      // an item node is open
  bool currentListed_ = false;  // partial modes: the current controller is listed and exists

  FunctionBlockInfo block_;
  ArgumentInfo argument_;
  StringEntry entry_;
  std::string settingType_, settingName_, settingKey_, settingValue_;
  std::string functionType_, functionData_;
};

}  // namespace tavrix
