// Trigger definitions: the info tree the project reader builds from a
// controller's `TriggerEx` and from the workspace's `FunctionBlock`s, and
// that the trigger engine turns into executable nodes.
//
// Every field is kept as the text of its element (UTF-8); nothing is
// converted or checked here, so a definition always round-trips as written
// and the engine decides, at creation, what is valid.
//
// Ownership: a parent owns its children (std::unique_ptr); Clone() copies a
// whole subtree. Infos are not thread-safe: a tree is filled by the reader's
// thread, then only read (or cloned) while its owner's lock is held.
//
// Element names given to TextField() and CreateNodeInfo() are matched without
// regard to letter case, as the reader matches all names.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/argument_markers.h"
#include "config/config_records.h"
#include "config/trigger_records.h"
#include "platform/result.h"

namespace tavrix {

// The type numbers of the info classes.
enum class TriggerInfoType : int32_t {
  kTriggerEx = 0,
  kAction = 1,
  kEvaluation = 2,
  kElse = 3,
  kSwitch = 4,
  kCase = 5,
  kTempVariable = 6,
  kFunctionBlock = 7,
  kWhile = 8,
  kFor = 9,
};

class TriggerExBaseInfo;
// The node children of a container (`Action`, `Evaluation`, `While`, `For`,
// `Switch`), in document order.
using InfoList = std::vector<std::unique_ptr<TriggerExBaseInfo>>;

class TriggerExBaseInfo {
 public:
  virtual ~TriggerExBaseInfo() = default;
  TriggerExBaseInfo& operator=(const TriggerExBaseInfo&) = delete;

  // Restores the cleared state: all texts empty, all lists and branches empty.
  virtual void Clear() = 0;
  virtual TriggerInfoType Type() const = 0;
  // A deep copy: children, conditions, else branch, cases and default case.
  virtual std::unique_ptr<TriggerExBaseInfo> Clone() const = 0;

  // Replaces the function-block argument markers in this object's own texts,
  // then in every descendant (ChildInfos order, depth first). Stops at the
  // first failure, stores the failing object's DisplayName() in *failedName
  // (when given) and returns the failure; S_OK otherwise.
  virtual HRESULT ReplaceArguments(const ArgumentContext& context, const ArgumentMap& args,
                                   std::string* failedName);
  // The part of ReplaceArguments that touches this object's own texts and
  // records (conditions, execute parameters ...). The base has none: S_OK.
  virtual HRESULT ReplaceOwnArguments(const ArgumentContext& context, const ArgumentMap& args);

  // `Description` + "(" + `m_lId` + ")"; "()" for objects without those texts.
  virtual std::string DisplayName() const;

  // The direct sub-infos in replacement and creation order: nodes, then the
  // else branch; cases, then the default case; the embedded temporary-variable
  // list of a root. Pointers stay owned by this object.
  virtual std::vector<TriggerExBaseInfo*> ChildInfos();

  // The node list of a container type (0, 2, 3, 5, 7, 8, 9), null otherwise.
  virtual InfoList* Nodes() { return nullptr; }

  // The text an element directly inside this object's element fills, or null
  // when the element is not one of this type's own texts.
  virtual std::string* TextField(std::string_view element);

 protected:
  TriggerExBaseInfo() = default;
  TriggerExBaseInfo(const TriggerExBaseInfo&) = default;
};

// The texts every node of types 1, 2, 8 and 9 carries.
class TriggerExNodeInfo : public TriggerExBaseInfo {
 public:
  std::string m_strId;           // identifier (not read for `For`)
  std::string m_bEnabled;        // flag, empty counts as enabled
  std::string m_strDescription;  // element `Description`
  std::string m_lId;

  std::string DisplayName() const override;
  std::string* TextField(std::string_view element) override;

 protected:
  TriggerExNodeInfo() = default;
  TriggerExNodeInfo(const TriggerExNodeInfo&) = default;
  void ClearCommon();
  HRESULT ReplaceCommon(const ArgumentContext& context, const ArgumentMap& args);
};

// 6: the text of `TempVariableList`, a comma-separated list of names.
class TempVariableInfo final : public TriggerExBaseInfo {
 public:
  TempVariableInfo() = default;
  TempVariableInfo(const TempVariableInfo&) = default;

  std::string m_strList;

  void Clear() override { m_strList.clear(); }
  TriggerInfoType Type() const override { return TriggerInfoType::kTempVariable; }
  std::unique_ptr<TriggerExBaseInfo> Clone() const override;
  HRESULT ReplaceOwnArguments(const ArgumentContext& context, const ArgumentMap& args) override;
};

// 0: the root of a controller's trigger tree.
class TriggerExInfo final : public TriggerExBaseInfo {
 public:
  TriggerExInfo() = default;
  TriggerExInfo(const TriggerExInfo& other);

  InfoList m_nodes;
  TempVariableInfo m_tempVariables;

  void Clear() override;
  TriggerInfoType Type() const override { return TriggerInfoType::kTriggerEx; }
  std::unique_ptr<TriggerExBaseInfo> Clone() const override;
  std::vector<TriggerExBaseInfo*> ChildInfos() override;
  InfoList* Nodes() override { return &m_nodes; }
};

// 1: an `Action`. The texts of every action kind; which ones a kind uses is
// the trigger engine's business.
class ActionExInfo final : public TriggerExNodeInfo {
 public:
  ActionExInfo() = default;
  ActionExInfo(const ActionExInfo&) = default;

  std::string m_lAction;
  std::string m_lCallback;
  std::string m_strExeFile;
  std::string m_strExeParams;
  std::string m_strPutController;
  std::string m_strPutItem;
  std::string m_strPutValue;
  std::string m_lPutType;
  std::string m_strScript;         // white space kept by the reader
  std::string m_bNotSafeMode;
  std::string m_strExtension;
  std::string m_strPluginFileName;  // element `PluginFileName`
  std::string m_strPluginFullName;  // element `PluginFullName`
  std::string m_bBackupDisabled;
  std::string m_lMaxBackupCount;
  std::string m_bUseActionBackupConfig;
  PluginConfigNode m_pluginConfig;             // `PluginConfig` root
  ExecuteParamInfo m_executeParam;             // `ExecuteParam`
  std::vector<ControllerCalcInfo> m_calculationList;  // `CalculationList`
  UserDefineDBInfo m_tableInfo;                // `clsTavrixUserDefine{DB,BD}Info`

  void Clear() override;
  TriggerInfoType Type() const override { return TriggerInfoType::kAction; }
  std::unique_ptr<TriggerExBaseInfo> Clone() const override;
  // Every text above, the execute parameters, the calculation entries and the
  // table description. The plug-in configuration tree is left alone: the
  // callback action replaces its values itself when it is initialised.
  HRESULT ReplaceOwnArguments(const ArgumentContext& context, const ArgumentMap& args) override;
  // The common texts and the texts of the table of action elements
  // (`PluginFileName`, `PluginFullName` included).
  std::string* TextField(std::string_view element) override;
};

// 3: the `Else` branch of an `Evaluation` or `While`.
class ElseExInfo final : public TriggerExBaseInfo {
 public:
  ElseExInfo() = default;
  ElseExInfo(const ElseExInfo& other);

  InfoList m_nodes;

  void Clear() override { m_nodes.clear(); }
  TriggerInfoType Type() const override { return TriggerInfoType::kElse; }
  std::unique_ptr<TriggerExBaseInfo> Clone() const override;
  std::vector<TriggerExBaseInfo*> ChildInfos() override;
  InfoList* Nodes() override { return &m_nodes; }
};

// 2: an `Evaluation`; also the base of `While` (8), which has the same texts
// and children.
class EvaluationExInfo : public TriggerExNodeInfo {
 public:
  EvaluationExInfo() = default;
  EvaluationExInfo(const EvaluationExInfo& other);

  std::string m_strName;
  std::string m_lCondition;
  std::string m_strThreshold;
  std::string m_bPrevValue;
  std::string m_lConjunction;
  std::vector<ConditionInfo> m_conditions;  // when empty, the texts above form the condition
  InfoList m_nodes;
  std::unique_ptr<ElseExInfo> m_else;        // null when there is no `Else`

  void Clear() override;
  TriggerInfoType Type() const override { return TriggerInfoType::kEvaluation; }
  std::unique_ptr<TriggerExBaseInfo> Clone() const override;
  HRESULT ReplaceOwnArguments(const ArgumentContext& context, const ArgumentMap& args) override;
  std::vector<TriggerExBaseInfo*> ChildInfos() override;
  InfoList* Nodes() override { return &m_nodes; }
  std::string* TextField(std::string_view element) override;

  // Replaces any earlier else branch with a new, empty one and returns it.
  ElseExInfo* ResetElse();

  // Makes this object a deep copy of `other`'s texts and children (the type
  // of this object stays). Copying from itself changes nothing.
  void CopyFrom(const EvaluationExInfo& other);
};

// 8: a `While` (repeat node).
class WhileInfo final : public EvaluationExInfo {
 public:
  WhileInfo() = default;
  WhileInfo(const WhileInfo&) = default;

  TriggerInfoType Type() const override { return TriggerInfoType::kWhile; }
  std::unique_ptr<TriggerExBaseInfo> Clone() const override;
};

// 5: a `Case` or the `Default` of a `Switch`.
class CaseExInfo final : public TriggerExBaseInfo {
 public:
  explicit CaseExInfo(bool isDefault = false) : m_bDefault(isDefault) {}
  CaseExInfo(const CaseExInfo& other);

  std::string m_strValue;  // element `Value`
  // The default mark says what the object is (`Default` rather than `Case`),
  // not what it holds, so Clear() keeps it.
  bool m_bDefault = false;
  InfoList m_nodes;

  void Clear() override;
  TriggerInfoType Type() const override { return TriggerInfoType::kCase; }
  std::unique_ptr<TriggerExBaseInfo> Clone() const override;
  HRESULT ReplaceOwnArguments(const ArgumentContext& context, const ArgumentMap& args) override;
  std::vector<TriggerExBaseInfo*> ChildInfos() override;
  InfoList* Nodes() override { return &m_nodes; }
  std::string* TextField(std::string_view element) override;
};

// 4: a `Switch`.
class SwitchExInfo final : public TriggerExBaseInfo {
 public:
  SwitchExInfo() = default;
  SwitchExInfo(const SwitchExInfo& other);

  std::string m_strItem;     // element `Item`
  std::string m_bPrevValue;  // value source 0..2
  std::vector<std::unique_ptr<CaseExInfo>> m_cases;
  std::unique_ptr<CaseExInfo> m_default;  // null when there is no `Default`

  void Clear() override;
  TriggerInfoType Type() const override { return TriggerInfoType::kSwitch; }
  std::unique_ptr<TriggerExBaseInfo> Clone() const override;
  HRESULT ReplaceOwnArguments(const ArgumentContext& context, const ArgumentMap& args) override;
  std::vector<TriggerExBaseInfo*> ChildInfos() override;
  std::string* TextField(std::string_view element) override;

  // Appends a new case (default mark off) and returns it.
  CaseExInfo* AddCase();
  // Replaces any earlier default case with a new one and returns it.
  CaseExInfo* ResetDefault();
};

// 9: a `For` (counting loop).
class ForInfo final : public TriggerExNodeInfo {
 public:
  ForInfo() = default;
  ForInfo(const ForInfo& other);

  std::string m_strCountItem;
  std::string m_strCurrentCountItem;
  InfoList m_nodes;

  void Clear() override;
  TriggerInfoType Type() const override { return TriggerInfoType::kFor; }
  std::unique_ptr<TriggerExBaseInfo> Clone() const override;
  HRESULT ReplaceOwnArguments(const ArgumentContext& context, const ArgumentMap& args) override;
  std::vector<TriggerExBaseInfo*> ChildInfos() override;
  InfoList* Nodes() override { return &m_nodes; }
  // The common texts except `m_strId`, plus the two count texts.
  std::string* TextField(std::string_view element) override;
};

// 7: a `FunctionBlock` of the workspace's `FunctionBlockList`. Its own texts
// declare the block; markers are replaced only in its body (the nodes).
class FunctionBlockInfo final : public TriggerExBaseInfo {
 public:
  FunctionBlockInfo() = default;
  FunctionBlockInfo(const FunctionBlockInfo& other);

  std::string m_strFunctionBlockID;  // element `FunctionBlockID`
  std::string m_strName;             // element `Name`
  std::string m_strComment;          // element `Comment`
  std::vector<ArgumentInfo> m_arguments;  // `ArgumentList`, in document order
  InfoList m_nodes;

  void Clear() override;
  TriggerInfoType Type() const override { return TriggerInfoType::kFunctionBlock; }
  std::unique_ptr<TriggerExBaseInfo> Clone() const override;
  // The typed deep copy the registry hands out.
  std::unique_ptr<FunctionBlockInfo> CloneBlock() const;
  std::vector<TriggerExBaseInfo*> ChildInfos() override;
  InfoList* Nodes() override { return &m_nodes; }
  std::string* TextField(std::string_view element) override;
};

// A new, cleared info for a node element (`Action`, `Evaluation`, `While`,
// `For`, `Switch`), or null for any other name.
std::unique_ptr<TriggerExBaseInfo> CreateNodeInfo(std::string_view element);

}  // namespace tavrix
