// The sections of the project reader: parts of the document whose elements
// mean the same wherever they stand (string tables, plug-in configuration,
// table descriptions, calculation lists, trigger trees and function blocks).
#include <utility>

#include "config/reader_core.h"
#include "config/text_decoder.h"
#include "config/value_kinds.h"
#include "platform/log.h"
#include "platform/text.h"

namespace tavrix {
namespace {

bool Is(std::string_view name, std::string_view expected) { return EqualsNoCase(name, expected); }

bool IsTableDescription(std::string_view name) {
  return Is(name, "clsTavrixUserDefineDBInfo") || Is(name, "clsTavrixUserDefineBDInfo");
}

// A sink that replaces `*target` with the text.
auto AssignTo(std::string* target) {
  return [target](std::string&& text) {
    *target = std::move(text);
    return S_OK;
  };
}

// A sink that writes the text into the field `element` names in the last
// record of `list` at the end of the element, when there is one then (the
// list may grow while the element is open).
template <typename T>
auto AssignToLast(std::vector<T>* list, std::string_view element) {
  return [list, name = std::string(element)](std::string&& text) {
    if (list->empty()) return S_OK;
    if (std::string* field = list->back().TextField(name)) *field = std::move(text);
    return S_OK;
  };
}

std::string* TableField(UserDefineDBInfo* table, std::string_view name) {
  if (Is(name, "m_strADOCon")) return &table->m_strADOCon;
  if (Is(name, "m_strTableName")) return &table->m_strTableName;
  if (Is(name, "m_bAsync")) return &table->m_bAsync;
  if (Is(name, "m_strConSetting")) return &table->m_strConSetting;
  return nullptr;
}

std::string* ColumnField(TableColumnInfo* column, std::string_view name) {
  if (Is(name, "m_strColumnName")) return &column->m_strColumnName;
  if (Is(name, "m_strItemName")) return &column->m_strItemName;
  if (Is(name, "m_strProperty")) return &column->m_strProperty;
  return nullptr;
}

std::string* CalculationField(ItemCalcInfo* entry, std::string_view name) {
  if (Is(name, "m_lCalcIndex")) return &entry->m_lCalcIndex;
  if (Is(name, "m_strItem")) return &entry->m_strItem;
  return nullptr;
}

std::string* CalculationField(ControllerCalcInfo* entry, std::string_view name) {
  if (Is(name, "m_lCalcIndex")) return &entry->m_lCalcIndex;
  if (Is(name, "m_strTarget")) return &entry->m_strTarget;
  if (Is(name, "m_strLeft")) return &entry->m_strLeft;
  if (Is(name, "m_strRight")) return &entry->m_strRight;
  return nullptr;
}

// `Calculation` appends an entry; a field fills the last one, and a field
// before the first entry stops the parse.
template <typename T>
HRESULT CalculationStart(std::vector<T>* list, std::string_view name, std::string_view frameName,
                         auto& sinkOut) {
  if (Is(name, "Calculation")) {
    list->emplace_back();
    return S_OK;
  }
  T probe;
  if (CalculationField(&probe, name) == nullptr) return S_OK;
  if (list->empty()) {
    LogResult(E_INVALIDARG, 3, "CTavrixReader : %s before the first Calculation.\n", frameName);
    return E_INVALIDARG;
  }
  sinkOut = [list, field = std::string(name)](std::string&& text) {
    if (std::string* target = CalculationField(&list->back(), field)) *target = std::move(text);
    return S_OK;
  };
  return S_OK;
}

}  // namespace

void ReaderCore::OpenSection(const Section& section, Frame& frame, EndAction atEnd) {
  sections_.push_back(section);
  frame.onEnd = [this, atEnd = std::move(atEnd)]() {
    HRESULT hr = atEnd ? atEnd() : S_OK;
    sections_.pop_back();
    return hr;
  };
}

void ReaderCore::OpenPluginConfig(PluginConfigNode* root, Frame& frame) {
  pluginNodes_.assign(1, root);
  OpenSection({.kind = SectionKind::kPluginConfig}, frame, [this] {
    pluginNodes_.clear();
    return S_OK;
  });
}

void ReaderCore::OpenTableDescription(UserDefineDBInfo* table, Frame& frame) {
  OpenSection({.kind = SectionKind::kDBInfo, .table = table}, frame);
}

HRESULT ReaderCore::SectionStart(std::string_view name, std::span<const ReaderAttribute>,
                                 Frame& frame) {
  // Copied: opening a further section moves the stack.
  const Section section = sections_.back();
  switch (section.kind) {
    case SectionKind::kVersion:
    case SectionKind::kSkip:
      return S_OK;

    case SectionKind::kTrigger:
      return TriggerStart(name, frame);

    case SectionKind::kDBInfo: {
      UserDefineDBInfo* table = section.table;
      if (std::string* field = TableField(table, name)) {
        frame.sink = AssignTo(field);
      } else if (Is(name, "clsTavrixTableColumn")) {
        table->m_columns.emplace_back();
      } else {
        TableColumnInfo probe;
        if (ColumnField(&probe, name) != nullptr) {
          frame.sink = [table, field = std::string(name)](std::string&& text) {
            if (table->m_columns.empty()) return S_OK;
            if (std::string* target = ColumnField(&table->m_columns.back(), field)) {
              *target = std::move(text);
            }
            return S_OK;
          };
        }
      }
      return S_OK;
    }

    case SectionKind::kCondition:
      frame.sink = AssignToLast(section.conditions, name);
      return S_OK;

    case SectionKind::kExecuteParam:
      if (Is(name, "ArgumentValues")) {
        OpenSection({.kind = SectionKind::kArgumentValues, .executeParam = section.executeParam},
                    frame);
      } else if (std::string* field = section.executeParam->TextField(name)) {
        frame.sink = AssignTo(field);
      }
      return S_OK;

    case SectionKind::kArgumentValues:
      if (Is(name, "ArgumentValue")) {
        section.executeParam->m_argumentValues.emplace_back();
      } else {
        frame.sink = AssignToLast(&section.executeParam->m_argumentValues, name);
      }
      return S_OK;

    case SectionKind::kArgumentList:
      if (Is(name, "Argument")) {
        argument_.Clear();
        FunctionBlockInfo* block = section.block;
        frame.onEnd = [this, block] {
          block->m_arguments.push_back(argument_);
          return S_OK;
        };
      } else if (std::string* field = argument_.TextField(name)) {
        frame.sink = AssignTo(field);
      }
      return S_OK;

    case SectionKind::kItemCalculations:
      return CalculationStart(section.itemCalculations, name, frame.name, frame.sink);

    case SectionKind::kControllerCalculations:
      return CalculationStart(section.controllerCalculations, name, frame.name, frame.sink);

    case SectionKind::kReplacementStringList:
      if (Is(name, "ReplacementString")) {
        entry_.Clear();
        OpenSection({.kind = SectionKind::kReplacementString}, frame,
                    [this] { return ReplacementStringEnd(); });
      }
      return S_OK;

    case SectionKind::kDBConnectionStringList:
      if (Is(name, "DBConnectionString")) {
        entry_.Clear();
        OpenSection({.kind = SectionKind::kDBConnectionString}, frame,
                    [this] { return DBConnectionStringEnd(); });
      }
      return S_OK;

    case SectionKind::kReplacementString:
    case SectionKind::kDBConnectionString:
      return StringEntryStart(name, frame);

    case SectionKind::kPluginConfig:
      if (Is(name, "Data")) {
        PluginConfigNode* parent = pluginNodes_.back();
        parent->m_children.emplace_back();
        pluginNodes_.push_back(&parent->m_children.back());
        frame.onEnd = [this] {
          if (pluginNodes_.size() > 1) pluginNodes_.pop_back();
          return S_OK;
        };
      } else if (Is(name, "Key") || Is(name, "Value")) {
        // Blank text is kept here, and an empty element empties the field.
        const bool key = Is(name, "Key");
        frame.sink = [this, key](std::string&& text) {
          PluginConfigNode* node = pluginNodes_.back();
          (key ? node->m_strKey : node->m_strValue) = std::move(text);
          return S_OK;
        };
      }
      return S_OK;

    case SectionKind::kCredentials:
      if (Is(name, "Credential")) {
        workspace_.m_credentials.emplace_back();
        OpenSection({.kind = SectionKind::kCredential}, frame);
      }
      return S_OK;

    case SectionKind::kCredential: {
      std::string CredentialRecord::*member = nullptr;
      if (Is(name, "Address")) member = &CredentialRecord::m_strAddress;
      if (Is(name, "User")) member = &CredentialRecord::m_strUser;
      if (Is(name, "Password")) member = &CredentialRecord::m_strPassword;
      if (member != nullptr) {
        frame.sink = [this, member](std::string&& text) {
          workspace_.m_credentials.back().*member = std::move(text);
          return S_OK;
        };
      }
      return S_OK;
    }

    case SectionKind::kFunctionBlockList:
      if (Is(name, "FunctionBlock")) {
        block_.Clear();
        infoStack_.assign(1, &block_);
        OpenSection({.kind = SectionKind::kTrigger}, frame, [this] {
          infoStack_.clear();
          tables_.functionBlocks->RegisterFunctionBlock(block_);
          return S_OK;
        });
      }
      return S_OK;

    case SectionKind::kCommonSettings:
      if (Is(name, "type")) {
        settingType_.clear();
        frame.sink = AssignTo(&settingType_);
      } else if (Is(name, "setting")) {
        settingName_.clear();
        OpenSection({.kind = SectionKind::kSetting}, frame);
      }
      return S_OK;

    case SectionKind::kSetting:
      if (Is(name, "name")) {
        settingName_.clear();
        frame.sink = AssignTo(&settingName_);
      } else if (Is(name, "data")) {
        settingKey_.clear();
        settingValue_.clear();
        OpenSection({.kind = SectionKind::kData}, frame, [this] {
          if (mode_ == ReaderMode::kLoad) {
            consumer_->SetCommonSetting(settingType_, settingName_, settingKey_, settingValue_);
          }
          return S_OK;
        });
      }
      return S_OK;

    case SectionKind::kData:
      if (Is(name, "key") || Is(name, "value")) {
        std::string* target = Is(name, "key") ? &settingKey_ : &settingValue_;
        target->clear();
        frame.sink = AssignTo(target);
      }
      return S_OK;

    case SectionKind::kExternalFunctions:
      if (Is(name, "externalFunction")) {
        functionType_.clear();
        functionData_.clear();
        OpenSection({.kind = SectionKind::kExternalFunction}, frame, [this] {
          controller_.m_externalFunctions[functionType_] = functionData_;
          return S_OK;
        });
      }
      return S_OK;

    case SectionKind::kExternalFunction:
      if (Is(name, "type")) frame.sink = AssignTo(&functionType_);
      if (Is(name, "data")) frame.sink = AssignTo(&functionData_);
      return S_OK;
  }
  return S_OK;
}

HRESULT ReaderCore::StringEntryStart(std::string_view name, Frame& frame) {
  if (Is(name, "encrypted")) {
    frame.sink = AssignTo(&entry_.encrypted);
  } else if (Is(name, "key")) {
    frame.sink = AssignTo(&entry_.key);
  } else if (Is(name, "type")) {
    frame.sink = AssignTo(&entry_.type);
  } else if (Is(name, "value")) {
    const bool marked = frame.encrypted;
    if (marked) entry_.encrypted.assign(1, '1');
    frame.sink = [this, marked](std::string&& text) {
      entry_.value = std::move(text);
      // The text arrives deciphered when its element was marked.
      entry_.valueDeciphered = marked;
      return S_OK;
    };
  }
  return S_OK;
}

HRESULT ReaderCore::ReplacementStringEnd() {
  if (entry_.key.empty()) return S_OK;
  const bool encrypted = ReadFlag(entry_.encrypted);
  std::string value = entry_.value;
  // A value read from an element marked `Encrypt` is plain text already;
  // deciphering it a second time would garble it.
  if (encrypted && !entry_.valueDeciphered) {
    std::string plain;
    const HRESULT hr = DecodeText(value, &plain);
    if (hr.failed()) {
      LogResult(hr, 1, "Macro decrypt failed. key:%ls\n", entry_.key);
      return S_OK;
    }
    value = std::move(plain);
  }
  tables_.replaceStrings->Add(entry_.key, value, TavrixUtility::kDefaultMask, encrypted);
  return S_OK;
}

HRESULT ReaderCore::DBConnectionStringEnd() {
  if (entry_.key.empty()) return S_OK;
  tables_.connectionStrings->Add(entry_.key, entry_.value, ReadStrictNumber(entry_.type),
                                 ReadFlag(entry_.encrypted));
  return S_OK;
}

HRESULT ReaderCore::TriggerStart(std::string_view name, Frame& frame) {
  TriggerExBaseInfo* top = infoStack_.empty() ? nullptr : infoStack_.back();
  // Every element start pushes one entry, which its end pops, unless the
  // element opens a section of its own.
  const auto push = [this, &frame](TriggerExBaseInfo* entry) {
    infoStack_.push_back(entry);
    frame.onEnd = [this] {
      if (!infoStack_.empty()) infoStack_.pop_back();
      return S_OK;
    };
  };
  if (top == nullptr) {
    push(nullptr);
    return S_OK;
  }

  if (InfoList* nodes = top->Nodes()) {
    if (std::unique_ptr<TriggerExBaseInfo> node = CreateNodeInfo(name)) {
      TriggerExBaseInfo* raw = node.get();
      nodes->push_back(std::move(node));
      push(raw);
      return S_OK;
    }
  }

  switch (top->Type()) {
    case TriggerInfoType::kTriggerEx:
      if (Is(name, "TempVariableList")) {
        auto* root = static_cast<TriggerExInfo*>(top);
        push(&root->m_tempVariables);
        frame.sink = AssignTo(&root->m_tempVariables.m_strList);
        return S_OK;
      }
      break;

    case TriggerInfoType::kFunctionBlock:
      if (Is(name, "ArgumentList")) {
        OpenSection({.kind = SectionKind::kArgumentList,
                     .block = static_cast<FunctionBlockInfo*>(top)},
                    frame);
        return S_OK;
      }
      break;

    case TriggerInfoType::kEvaluation:
    case TriggerInfoType::kWhile: {
      auto* evaluation = static_cast<EvaluationExInfo*>(top);
      if (Is(name, "Condition")) {
        evaluation->m_conditions.emplace_back();
        OpenSection({.kind = SectionKind::kCondition, .conditions = &evaluation->m_conditions},
                    frame);
        return S_OK;
      }
      if (Is(name, "Else")) {
        push(evaluation->ResetElse());
        return S_OK;
      }
      break;
    }

    case TriggerInfoType::kSwitch: {
      auto* sw = static_cast<SwitchExInfo*>(top);
      if (Is(name, "Case")) {
        push(sw->AddCase());
        return S_OK;
      }
      if (Is(name, "Default")) {
        push(sw->ResetDefault());
        return S_OK;
      }
      break;
    }

    case TriggerInfoType::kAction: {
      auto* action = static_cast<ActionExInfo*>(top);
      if (Is(name, "ExecuteParam")) {
        OpenSection({.kind = SectionKind::kExecuteParam, .executeParam = &action->m_executeParam},
                    frame);
        return S_OK;
      }
      if (Is(name, "CalculationList")) {
        action->m_calculationList.clear();
        OpenSection({.kind = SectionKind::kControllerCalculations,
                     .controllerCalculations = &action->m_calculationList},
                    frame);
        return S_OK;
      }
      if (Is(name, "PluginConfig")) {
        OpenPluginConfig(&action->m_pluginConfig, frame);
        return S_OK;
      }
      if (IsTableDescription(name)) {
        OpenTableDescription(&action->m_tableInfo, frame);
        return S_OK;
      }
      break;
    }

    default:
      break;
  }

  push(nullptr);
  if (std::string* field = top->TextField(name)) {
    frame.sink = AssignTo(field);
    if (top->Type() == TriggerInfoType::kAction && Is(name, "m_strScript")) {
      frame.keepBlank = true;
    }
  }
  return S_OK;
}

}  // namespace tavrix
