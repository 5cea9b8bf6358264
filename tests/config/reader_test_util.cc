#include "config/reader_test_util.h"

#include <fstream>
#include <mutex>
#include <sstream>
#include <variant>

#include "platform/text.h"

namespace tavrix::test {
namespace {

std::string FieldText(const FieldRef& field) {
  return std::visit(
      [](auto* p) -> std::string {
        using T = std::remove_cvref_t<decltype(*p)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return *p;
        } else if constexpr (std::is_same_v<T, bool>) {
          return *p ? "true" : "false";
        } else {
          std::ostringstream out;
          out << *p;
          return out.str();
        }
      },
      field);
}

template <typename R>
std::string DumpTable(const R& record, std::span<const PropertyDef<R>> table) {
  std::string out;
  R& r = const_cast<R&>(record);
  for (const PropertyDef<R>& def : table) {
    out += std::string(def.name) + "=" + FieldText(FieldOf(r, def)) + "\n";
  }
  return out;
}

void DumpInfo(const TriggerExBaseInfo& info, int depth, std::string* out) {
  std::string line(static_cast<size_t>(depth) * 2, ' ');
  line += "type " + std::to_string(static_cast<int>(info.Type()));
  auto text = [&line](std::string_view name, const std::string& value) {
    if (!value.empty()) line += " " + std::string(name) + "=" + value;
  };
  if (const auto* node = dynamic_cast<const TriggerExNodeInfo*>(&info)) {
    text("id", node->m_strId);
    text("enabled", node->m_bEnabled);
    text("desc", node->m_strDescription);
    text("lid", node->m_lId);
  }
  if (const auto* a = dynamic_cast<const ActionExInfo*>(&info)) {
    text("action", a->m_lAction);
    text("exe", a->m_strExeFile);
    text("putCtrl", a->m_strPutController);
    text("putItem", a->m_strPutItem);
    text("putValue", a->m_strPutValue);
    text("putType", a->m_lPutType);
    text("script", a->m_strScript);
    text("ext", a->m_strExtension);
    text("useBackup", a->m_bUseActionBackupConfig);
    text("maxBackup", a->m_lMaxBackupCount);
    text("cmd", a->m_executeParam.m_strCommand);
    for (const ArgumentValueInfo& v : a->m_executeParam.m_argumentValues) {
      line += " argval(" + v.m_lArgumentValueType + "," + v.m_strArgumentValue + ")";
    }
    for (const ControllerCalcInfo& c : a->m_calculationList) {
      line += " calc(" + c.m_lCalcIndex + "," + c.m_strTarget + "," + c.m_strLeft + "," +
              c.m_strRight + ")";
    }
    text("table", a->m_tableInfo.m_strTableName);
    text("conSetting", a->m_tableInfo.m_strConSetting);
    for (const TableColumnInfo& c : a->m_tableInfo.m_columns) {
      line +=
          " column(" + c.m_strColumnName + "," + c.m_strItemName + "," + c.m_strProperty + ")";
    }
    if (!a->m_pluginConfig.m_children.empty()) {
      line += " plugin" + DumpPluginConfig(a->m_pluginConfig);
    }
  }
  if (const auto* e = dynamic_cast<const EvaluationExInfo*>(&info)) {
    text("name", e->m_strName);
    text("cond", e->m_lCondition);
    text("threshold", e->m_strThreshold);
    text("conj", e->m_lConjunction);
    for (const ConditionInfo& c : e->m_conditions) {
      line += " condition(" + c.m_strName + "," + c.m_lCondition + "," + c.m_strThreshold + "," +
              c.m_bPrevValue + "," + c.m_bItemValue + ")";
    }
  }
  if (const auto* s = dynamic_cast<const SwitchExInfo*>(&info)) {
    text("item", s->m_strItem);
    text("prev", s->m_bPrevValue);
  }
  if (const auto* c = dynamic_cast<const CaseExInfo*>(&info)) {
    text("value", c->m_strValue);
    if (c->m_bDefault) line += " default";
  }
  if (const auto* f = dynamic_cast<const ForInfo*>(&info)) {
    text("count", f->m_strCountItem);
    text("current", f->m_strCurrentCountItem);
  }
  if (const auto* t = dynamic_cast<const TempVariableInfo*>(&info)) text("list", t->m_strList);
  if (const auto* b = dynamic_cast<const FunctionBlockInfo*>(&info)) {
    text("fbid", b->m_strFunctionBlockID);
    text("fbname", b->m_strName);
    for (const ArgumentInfo& a : b->m_arguments) {
      line += " arg(" + a.m_strArgumentID + "," + a.m_strName + "," + a.m_strComment + ")";
    }
  }
  *out += line + "\n";
  for (TriggerExBaseInfo* child : const_cast<TriggerExBaseInfo&>(info).ChildInfos()) {
    DumpInfo(*child, depth + 1, out);
  }
}

}  // namespace

std::string FixturePath(std::string_view name) {
  return std::string(TAVRIX_CONFIG_FIXTURES) + "/" + std::string(name);
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string DumpProperties(const WorkspaceProperties& r) {
  return DumpTable(r, WorkspacePropertyTable());
}
std::string DumpProperties(const ControllerProperties& r) {
  return DumpTable(r, ControllerPropertyTable());
}
std::string DumpProperties(const ItemProperties& r) { return DumpTable(r, ItemPropertyTable()); }

std::string DumpTree(const TriggerExBaseInfo& info) {
  std::string out;
  DumpInfo(info, 0, &out);
  return out;
}

std::string DumpPluginConfig(const PluginConfigNode& node) {
  std::string out = "{" + node.m_strKey + "=" + node.m_strValue;
  for (const PluginConfigNode& child : node.m_children) out += " " + DumpPluginConfig(child);
  return out + "}";
}

std::string DumpController(const ControllerRecord& r) {
  std::string out = DumpProperties(r) + DumpTree(r.m_triggerEx);
  for (const ControllerCalcInfo& c : r.m_calculationList) {
    out += "calc " + c.m_lCalcIndex + "," + c.m_strTarget + "," + c.m_strLeft + "," + c.m_strRight +
           "\n";
  }
  for (const auto& [type, data] : r.m_externalFunctions) out += "exfn " + type + "=" + data + "\n";
  const LegacyTriggerRecord& l = r.m_legacyTrigger;
  out += "legacy " + l.m_strName + " " + std::to_string(l.m_lNewEnum) + " " +
         std::to_string(l.m_lCount) + "\n";
  for (const LegacyTriggerInfo& i : l.m_info) {
    out += " info " + std::to_string(i.m_lAction) + " " + i.m_strExeFile + " " + i.m_strExeParams +
           " " + std::to_string(i.m_lCondition) + " " + i.m_strThreshold + " " +
           i.m_tableInfo.m_strTableName + "\n";
  }
  return out;
}

std::string DumpItem(const ItemRecord& r) {
  std::string out = DumpProperties(r);
  for (const ItemCalcInfo& c : r.m_calculationList) {
    out += "calc " + c.m_lCalcIndex + "," + c.m_strItem + "\n";
  }
  return out;
}

std::string DumpWorkspace(const WorkspaceRecord& r) {
  std::string out = DumpProperties(r);
  out += "encrypted " + std::to_string(r.m_bHistoryADOConEncrypted) +
         std::to_string(r.m_bHistoryADOCon2ndEncrypted) + " loops " +
         std::to_string(r.m_lMaxLoopCount) + "\n";
  for (const CredentialRecord& c : r.m_credentials) {
    out += "credential " + c.m_strAddress + " " + c.m_strUser + " " + c.m_strPassword + "\n";
  }
  return out + "plugin " + DumpPluginConfig(r.m_pluginConfig) + "\n";
}

void RecordingConsumer::Call(std::string line, const std::string& detail) {
  transcript += line + "\n" + detail;
  calls.push_back(std::move(line));
}

HRESULT RecordingConsumer::InitializeHistory(const WorkspaceRecord& w) {
  Call("InitializeHistory", DumpWorkspace(w));
  return historyResult;
}

HRESULT RecordingConsumer::SetWorkspaceInfo(const WorkspaceRecord& w) {
  Call("SetWorkspaceInfo", DumpWorkspace(w));
  workspaces.push_back(w);
  return workspaceResult;
}

HRESULT RecordingConsumer::RegisterController(const ControllerRecord& c) {
  Call("RegisterController " + c.m_strCtrlName, DumpController(c));
  controllers.push_back(c);
  return refused.count(c.m_strCtrlName) != 0 ? E_FAIL : S_OK;
}

void RecordingConsumer::AddItem(const ItemRecord& item) {
  Call("AddItem " + item.m_strItemName, DumpItem(item));
  items.push_back(item);
}

void RecordingConsumer::SetLegacyTrigger(const LegacyTriggerRecord& t) {
  Call("SetLegacyTrigger " + t.m_strName);
  legacyTriggers.push_back(t);
}

bool RecordingConsumer::FindController(std::string_view name) {
  return existing.count(std::string(name)) != 0;
}

HRESULT RecordingConsumer::ReloadTrigger(std::string_view name, const ControllerRecord& c) {
  Call("ReloadTrigger " + std::string(name), DumpController(c));
  controllers.push_back(c);
  return refused.count(std::string(name)) != 0 ? E_FAIL : S_OK;
}

HRESULT RecordingConsumer::UpdateController(std::string_view name, const ControllerRecord& c) {
  Call("UpdateController " + std::string(name), DumpController(c));
  controllers.push_back(c);
  return refused.count(std::string(name)) != 0 ? E_FAIL : S_OK;
}

void RecordingConsumer::UpdateItem(std::string_view name, const ItemRecord& item) {
  Call("UpdateItem " + std::string(name) + " " + item.m_strItemName, DumpItem(item));
  items.push_back(item);
}

void RecordingConsumer::FinishControllerUpdate(std::string_view name, const ControllerRecord& c,
                                               ReaderMode mode) {
  Call("FinishControllerUpdate " + std::string(name) + " " +
           std::to_string(static_cast<int>(mode)),
       DumpController(c));
}

void RecordingConsumer::SetCommonSetting(std::string_view type, std::string_view setting,
                                         std::string_view key, std::string_view value) {
  Call("SetCommonSetting " + std::string(type) + "/" + std::string(setting) + "/" +
       std::string(key) + "=" + std::string(value));
}

void RecordingConsumer::SetProjectVersion(const ProjectVersion& v) {
  Call("SetProjectVersion " + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
       std::to_string(v.build) + "." + std::to_string(v.revision));
  versions.push_back(v);
}

class ScopedFakeDecoder::Decoder final : public ITextDecoder {
 public:
  HRESULT Decode(std::string_view text, std::string* out) override {
    std::lock_guard lock(mutex_);
    requests_.emplace_back(text);
    if (text.substr(0, 4) != "enc:") return E_ACCESSDENIED;
    *out = std::string(text.substr(4));
    return S_OK;
  }
  std::vector<std::string> Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  mutable std::mutex mutex_;  // guards requests_
  std::vector<std::string> requests_;
};

ScopedFakeDecoder::ScopedFakeDecoder() : decoder_(std::make_shared<Decoder>()) {
  previous_ = SetTextDecoder(decoder_);
}

ScopedFakeDecoder::~ScopedFakeDecoder() { SetTextDecoder(previous_); }

std::vector<std::string> ScopedFakeDecoder::Requests() const { return decoder_->Requests(); }

}  // namespace tavrix::test
