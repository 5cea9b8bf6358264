// The element dispatch, the text delivery and the level machine of the
// project reader (the object tree outside sections).
#include "config/project_version.h"
#include "config/reader_core.h"
#include "config/text_decoder.h"
#include "config/value_kinds.h"
#include "platform/log.h"
#include "platform/text.h"

namespace tavrix {
namespace {

constexpr std::string_view kWorkspaceType = "clsTavrixWorkspace";
constexpr std::string_view kControllerType = "clsTavrixController";
constexpr std::string_view kItemType = "clsTavrixItem";
constexpr std::string_view kSkippedGroupType = "GROUP";

std::string_view AttributeValue(std::span<const ReaderAttribute> attributes,
                                std::string_view name) {
  for (const ReaderAttribute& a : attributes) {
    if (EqualsNoCase(a.name, name)) return a.value;
  }
  return {};
}

bool IsNode(std::string_view name, std::span<const ReaderAttribute> attributes,
            std::string_view type) {
  return EqualsNoCase(name, "INode") && EqualsNoCase(AttributeValue(attributes, "Type"), type);
}

// A sink that converts the text by `kind` into `field`.
template <typename R>
auto PropertySink(R& record, const PropertyDef<R>& def) {
  FieldRef field = FieldOf(record, def);
  ValueKind kind = def.kind;
  return [field, kind](std::string&& text) {
    StoreValue(kind, text, field);
    return S_OK;
  };
}

}  // namespace

ReaderCore::ReaderCore(const std::vector<std::string>& names, ReaderMode mode,
                       const ReaderTables& tables, IProjectConsumer* consumer)
    : names_(names), mode_(mode), tables_(tables), consumer_(consumer) {}

void ReaderCore::StartDocument() {
  EndDocument();
  level_ = 1;
  matched_ = 0;
  failed_ = false;
}

void ReaderCore::EndDocument() {
  frames_.clear();
  sections_.clear();
  infoStack_.clear();
  pluginNodes_.clear();
  ResetState();
  block_.Clear();
  argument_.Clear();
  entry_.Clear();
  level_ = 0;
}

void ReaderCore::ResetState() {
  workspace_.Clear();
  controller_.Clear();
  item_.Clear();
  legacyIndex_ = 0;
  settingsSeen_ = false;
  textSeen_ = false;
  itemOpen_ = false;
  currentListed_ = false;
}

HRESULT ReaderCore::StartElement(std::string_view name,
                                 std::span<const ReaderAttribute> attributes) {
  if (failed_) return E_FAIL;
  if (frames_.size() >= kMaxElementDepth) {
    LogResult(E_INVALIDARG, 3,
              "CTavrixReader : Elements nest deeper than %d levels. The document is refused.\n",
              kMaxElementDepth);
    failed_ = true;
    return E_INVALIDARG;
  }
  frames_.emplace_back();
  Frame& frame = frames_.back();
  frame.name = std::string(name);
  frame.encrypted = ReadFlag(AttributeValue(attributes, "Encrypt"));
  frame.keepBlank = !sections_.empty() && sections_.back().kind == SectionKind::kPluginConfig;

  HRESULT hr = S_OK;
  if (EqualsNoCase(name, "Version")) {
    MarkVersionedProject();
    frame.sink = [this](std::string&& text) {
      consumer_->SetProjectVersion(ParseProjectVersion(text));
      return S_OK;
    };
    OpenSection({.kind = SectionKind::kVersion}, frame);
  } else if (!sections_.empty()) {
    hr = SectionStart(name, attributes, frame);
  } else {
    hr = LevelStart(name, attributes, frame);
  }
  if (hr.failed()) failed_ = true;
  return hr;
}

void ReaderCore::Characters(std::string_view text) {
  if (failed_ || frames_.empty()) return;
  Frame& frame = frames_.back();
  if (frame.sink || frame.encrypted) frame.text.append(text);
}

HRESULT ReaderCore::EndElement() {
  if (failed_ || frames_.empty()) return failed_ ? E_FAIL : S_OK;
  Frame frame = std::move(frames_.back());
  frames_.pop_back();

  HRESULT hr = S_OK;
  if (frame.keepBlank || !IsBlankText(frame.text)) {
    if (frame.encrypted && !frame.text.empty()) {
      std::string plain;
      hr = DecodeText(frame.text, &plain);
      if (hr.failed()) {
        LogResult(hr, 3, "CTavrixReader : Cannot decrypt the text of %s.\n", frame.name);
      } else {
        frame.text = std::move(plain);
      }
    }
    if (hr.succeeded() && frame.sink) hr = frame.sink(std::move(frame.text));
  }
  if (hr.succeeded() && frame.onEnd) hr = frame.onEnd();
  // A controller is complete once its settings and its caption have both
  // been read, whichever element ended last.
  if (hr.succeeded() && sections_.empty() && level_ == 5 && settingsSeen_ && textSeen_) {
    hr = CompleteController();
  }
  if (hr.failed()) failed_ = true;
  return hr;
}

HRESULT ReaderCore::LevelStart(std::string_view name, std::span<const ReaderAttribute> attributes,
                               Frame& frame) {
  switch (level_) {
    case 1:
      if (IsNode(name, attributes, kWorkspaceType)) level_ = 2;
      break;

    case 2:
      if (EqualsNoCase(name, kWorkspaceType)) {
        level_ = 3;
        frame.onEnd = [this] { return WorkspaceEnd(); };
      }
      break;

    case 3:
      if (const auto* def = FindProperty(WorkspacePropertyTable(), name)) {
        WorkspaceProperties& props = workspace_;
        frame.sink = PropertySink(props, *def);
        if (def->name == "m_strHistoryADOCon") {
          workspace_.m_bHistoryADOConEncrypted = frame.encrypted;
        } else if (def->name == "m_strHistoryADOCon2nd") {
          workspace_.m_bHistoryADOCon2ndEncrypted = frame.encrypted;
        }
      } else if (EqualsNoCase(name, "ReplacementStringList")) {
        OpenSection({.kind = SectionKind::kReplacementStringList}, frame);
      } else if (EqualsNoCase(name, "DBConnectionStringList")) {
        OpenSection({.kind = SectionKind::kDBConnectionStringList}, frame);
      } else if (EqualsNoCase(name, "PluginConfig")) {
        OpenPluginConfig(&workspace_.m_pluginConfig, frame);
      } else if (EqualsNoCase(name, "Credentials")) {
        OpenSection({.kind = SectionKind::kCredentials}, frame);
      } else if (EqualsNoCase(name, "FunctionBlockList")) {
        OpenSection({.kind = SectionKind::kFunctionBlockList}, frame);
      } else if (EqualsNoCase(name, "commonSettings")) {
        settingType_.clear();
        OpenSection({.kind = SectionKind::kCommonSettings}, frame);
      }
      break;

    case 4:
      if (IsNode(name, attributes, kControllerType)) {
        level_ = 5;
        frame.onEnd = [this] { return ControllerNodeEnd(); };
      }
      break;

    case 5:
      if (EqualsNoCase(name, kControllerType)) {
        level_ = 6;
        settingsSeen_ = false;
        textSeen_ = false;
        frame.onEnd = [this] {
          if (level_ == 6) {
            settingsSeen_ = true;
            level_ = 5;
          }
          return S_OK;
        };
      } else if (EqualsNoCase(name, "Text")) {
        // Only non-blank text reaches a sink; the caption itself is not kept.
        frame.sink = [this](std::string&&) {
          textSeen_ = true;
          return S_OK;
        };
      }
      break;

    case 6:
      if (const auto* def = FindProperty(ControllerPropertyTable(), name)) {
        ControllerProperties& props = controller_;
        frame.sink = PropertySink(props, *def);
      } else if (EqualsNoCase(name, "Collection") &&
                 EqualsNoCase(AttributeValue(attributes, "Property"), "m_mapTrigger")) {
        level_ = 10;
        frame.onEnd = [this] {
          if (level_ == 10) level_ = 6;
          return S_OK;
        };
      } else if (EqualsNoCase(name, "TriggerEx")) {
        controller_.m_triggerEx.Clear();
        infoStack_.assign(1, &controller_.m_triggerEx);
        OpenSection({.kind = SectionKind::kTrigger}, frame, [this] {
          infoStack_.clear();
          return S_OK;
        });
      } else if (EqualsNoCase(name, "CalculationList")) {
        controller_.m_calculationList.clear();
        OpenSection({.kind = SectionKind::kControllerCalculations,
                     .controllerCalculations = &controller_.m_calculationList},
                    frame);
      } else if (EqualsNoCase(name, "externalFunctions")) {
        OpenSection({.kind = SectionKind::kExternalFunctions}, frame);
      }
      break;

    case 7:
      if (IsNode(name, attributes, kItemType)) {
        level_ = 8;
        itemOpen_ = true;
        frame.onEnd = [this] {
          if (!itemOpen_) return S_OK;
          itemOpen_ = false;
          if (level_ == 8) {  // the node held no `clsTavrixItem`: nothing to apply
            item_.Clear();
            level_ = 7;
          }
          return S_OK;
        };
      } else if (IsNode(name, attributes, kSkippedGroupType)) {
        OpenSection({.kind = SectionKind::kSkip}, frame);
      }
      // A "clsTavrixGroup" node needs nothing: its items are read as the
      // controller's own, and its end matches its start.
      break;

    case 8:
      if (EqualsNoCase(name, kItemType)) {
        level_ = 9;
        frame.onEnd = [this] {
          if (level_ == 9) {
            ApplyItem();
            level_ = 7;
          }
          return S_OK;
        };
      }
      break;

    case 9:
      if (const auto* def = FindProperty(ItemPropertyTable(), name)) {
        ItemProperties& props = item_;
        frame.sink = PropertySink(props, *def);
      } else if (EqualsNoCase(name, "CalculationList")) {
        OpenSection({.kind = SectionKind::kItemCalculations,
                     .itemCalculations = &item_.m_calculationList},
                    frame);
      }
      break;

    case 10:
      if (EqualsNoCase(name, "clsTavrixTriggerItem")) {
        level_ = 11;
        frame.onEnd = [this] {
          if (level_ == 11) level_ = 10;
          return S_OK;
        };
      }
      break;

    case 11:
      if (const auto* def = FindProperty(LegacyTriggerPropertyTable(), name)) {
        frame.sink = PropertySink(controller_.m_legacyTrigger, *def);
      } else if (EqualsNoCase(name, "clsTavrixTriggerInfo")) {
        const std::string_view index = AttributeValue(attributes, "Index");
        if (index == "1" || index == "2") {
          legacyIndex_ = index == "1" ? 0 : 1;
          controller_.m_legacyTrigger.m_info[legacyIndex_].m_bPresent = true;
          level_ = 12;
          frame.onEnd = [this] {
            if (level_ == 12) level_ = 11;
            return S_OK;
          };
        }
      }
      break;

    case 12: {
      LegacyTriggerInfo& info = controller_.m_legacyTrigger.m_info[legacyIndex_];
      if (const auto* def = FindProperty(LegacyTriggerInfoPropertyTable(), name)) {
        frame.sink = PropertySink(info, *def);
      } else if (EqualsNoCase(name, "clsTavrixUserDefineDBInfo") ||
                 EqualsNoCase(name, "clsTavrixUserDefineBDInfo")) {
        OpenTableDescription(&info.m_tableInfo, frame);
      }
      break;
    }

    default:
      break;
  }
  return S_OK;
}

HRESULT ReaderCore::WorkspaceEnd() {
  if (level_ != 3) return S_OK;
  if (mode_ == ReaderMode::kLoad) {
    HRESULT hr = consumer_->InitializeHistory(workspace_);
    if (hr.failed()) {
      LogResult(hr, 3,
                "CTavrixReader : The history manager rejected the workspace. No controller of "
                "the project is registered.\n");
    } else {
      hr = consumer_->SetWorkspaceInfo(workspace_);
      if (hr.failed()) {
        LogResult(hr, 3,
                  "CTavrixReader : The engine rejected the workspace. No controller of the "
                  "project is registered.\n");
      }
    }
    if (hr.failed()) {
      // The rest of the document then finds no workspace, so it has no effect.
      ResetState();
      level_ = 2;
      return S_OK;
    }
  }
  workspace_.Clear();
  level_ = 4;
  return S_OK;
}

bool ReaderCore::IsListed(std::string_view name) const {
  for (const std::string& listed : names_) {
    if (EqualsNoCase(listed, name)) return true;
  }
  return false;
}

HRESULT ReaderCore::CompleteController() {
  HRESULT hr = S_OK;
  currentListed_ = false;
  if (mode_ == ReaderMode::kLoad) {
    hr = consumer_->RegisterController(controller_);
  } else {
    const std::string& name = controller_.RSQLCtrlName;
    if (IsListed(name) && consumer_->FindController(name)) {
      ++matched_;
      currentListed_ = true;
      hr = mode_ == ReaderMode::kReloadTrigger ? consumer_->ReloadTrigger(name, controller_)
                                               : consumer_->UpdateController(name, controller_);
    }
  }
  if (hr.failed()) {
    // The controller and its items are skipped: level 4 ignores them.
    ResetState();
    level_ = 4;
  } else {
    level_ = 7;
  }
  return S_OK;
}

void ReaderCore::ApplyItem() {
  if (mode_ == ReaderMode::kLoad) {
    consumer_->AddItem(item_);
  } else if (currentListed_ && mode_ != ReaderMode::kReloadTrigger) {
    consumer_->UpdateItem(controller_.RSQLCtrlName, item_);
  }
  item_.Clear();
}

HRESULT ReaderCore::ControllerNodeEnd() {
  if (level_ == 5) {
    // Never completed: without this reset the next controller would inherit
    // this one's settings and trigger tree.
    Log(2, "CTavrixReader : Controller node \"%s\" has no Text. It is skipped.\n",
        controller_.m_strCtrlName);
    ResetState();
    level_ = 4;
  } else if (level_ >= 7) {
    if (mode_ == ReaderMode::kLoad) {
      consumer_->SetLegacyTrigger(controller_.m_legacyTrigger);
    } else if (currentListed_ && (mode_ == ReaderMode::kUpdateControllers ||
                                  mode_ == ReaderMode::kReconnectControllers)) {
      consumer_->FinishControllerUpdate(controller_.RSQLCtrlName, controller_, mode_);
    }
    ResetState();
    level_ = 4;
  }
  return S_OK;
}

}  // namespace tavrix
