// The configuration records the project reader fills and hands to its
// consumer: the workspace record (table W), the controller record (table C),
// the item record (table I), the legacy trigger record and the credentials.
//
// Each record keeps its file properties in a plain `...Properties` base whose
// member initialisers are the cleared state, defaults included; Clear()
// restores that state, lists and trees emptied. The property tables name,
// for every element, its value kind and its field; the reader converts an
// element's whole text by the kind (config/value_kinds.h).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "config/config_records.h"
#include "config/trigger_info.h"
#include "config/value_kinds.h"

namespace tavrix {

// One `Credential` of the workspace's `Credentials` (a network folder).
struct CredentialRecord {
  std::string m_strAddress;
  std::string m_strUser;
  std::string m_strPassword;
  friend bool operator==(const CredentialRecord&, const CredentialRecord&) = default;
};

// Table W: the children of `clsTavrixWorkspace`.
struct WorkspaceProperties {
  std::string m_strZeltHost;
  int32_t m_lRetryCnt = 0;
  int32_t m_lRetryInterval = 0;
  std::string m_strHistoryADOCon;
  std::string m_strTableName;
  int32_t m_lMaxRecord = 0;
  std::string m_strHistoryADOCon2nd;
  std::string m_strTableName2nd;
  int32_t m_lMaxRecord2nd = 0;
  int32_t m_lTableType = 0;
  bool m_bEnableHistory = false;
  bool m_bAutoSwitch = false;
  bool m_bSysInfo = false;
  bool m_bNoConvToBstr = false;
  bool m_bBlobToFile = false;
  std::string m_strDefCtrlName;
  int32_t m_lDBConnRetryCount = 0;
  int32_t m_lDBConnRetryInterval = 0;
  bool m_bDBConnRetry = false;
  bool m_bDelayStart = false;
  bool m_bExecuteStartupTrigger = false;
  bool m_bDisposeErrorScripts = false;
  bool m_bBackupDisabled = false;
  int32_t m_lMaxBackupCount = 604800;
  bool m_bAutoRecovery = false;
  int32_t m_lAutoRecoveryInterval = 0;
  std::string m_strHistoryConSetting;
  std::string m_strHistoryCon2ndSetting;
  int32_t m_lSecurityProtocol = 240;
  int32_t m_lInsertInterval = 0;

  friend bool operator==(const WorkspaceProperties&, const WorkspaceProperties&) = default;
};

struct WorkspaceRecord : WorkspaceProperties {
  // Whether `m_strHistoryADOCon` / `m_strHistoryADOCon2nd` were marked
  // `Encrypt` (their texts are already deciphered).
  bool m_bHistoryADOConEncrypted = false;
  bool m_bHistoryADOCon2ndEncrypted = false;
  // The most passes a repeat node makes; no element sets it.
  int32_t m_lMaxLoopCount = 100;
  std::vector<CredentialRecord> m_credentials;  // in document order
  PluginConfigNode m_pluginConfig;               // the workspace's `PluginConfig` root

  void Clear() { *this = WorkspaceRecord{}; }
  friend bool operator==(const WorkspaceRecord&, const WorkspaceRecord&) = default;
};

// Table C: the children of `clsTavrixController`.
struct ControllerProperties {
  std::string m_strCtrlName;
  bool m_bEnabled = false;
  int32_t m_lType = 0;
  std::string RSQLCtrlName;
  std::string m_strProvider;
  std::string m_strMachine;
  std::string m_strParam;
  std::string m_strDescription;
  bool m_bDescription = false;
  int32_t m_lSamplingRate = 300;
  bool m_bDistribute = false;
  int32_t m_lPriority = 0;
  int32_t m_lTimeStamp = 0;
  bool m_bStartup = false;
  bool m_bUseHistory = false;
  bool m_bWriteToCache = false;
  bool m_bWDT = false;
  int32_t m_lWDTCount = 0;
  int32_t m_lWDTAction = 0;
  bool m_bUseTrigger = false;
  bool m_bAutoReconn = false;
  int32_t m_lRecCount = 0;
  int32_t m_lRecInterval = 0;
  bool m_bScript = false;
  std::string m_strScript;
  bool m_bNotSafeMode = false;
  bool m_bEventBinding = false;
  bool m_bOutputActionLog = false;
  int32_t m_lRecWaitTime = -1;
  int32_t m_lRecType = 0;
  bool m_bVariableSync = false;
  bool m_bWDTDS = false;
  int32_t m_lWDTTime = 0;
  bool m_bTriggerDisable = false;
  bool m_bCalcDisable = false;
  bool m_bSlowSamplingEnable = false;
  int32_t m_lSlowSamplingRate = 0;
  int32_t m_AccessibleApplication = 7;
  int32_t m_lActivatePriority = 0;
  int32_t m_lDeactivatePriority = 0;

  friend bool operator==(const ControllerProperties&, const ControllerProperties&) = default;
};

// One of the two trigger infos (`clsTavrixTriggerInfo` Index 1 and 2) of a
// legacy trigger.
// Bit of a legacy trigger's action code: a row is also inserted.
inline constexpr int32_t kLegacyTriggerInsertRow = 0x10000;

struct LegacyTriggerInfo {
  bool m_bPresent = false;  // the project has this info (its `clsTavrixTriggerInfo`)
  int32_t m_lAction = 0;
  std::string m_strExeFile;
  std::string m_strExeParams;
  int32_t m_lCondition = 0;
  std::string m_strThreshold;
  UserDefineDBInfo m_tableInfo;
  friend bool operator==(const LegacyTriggerInfo&, const LegacyTriggerInfo&) = default;
};

// The legacy single-condition trigger of a controller (`Collection`
// Property="m_mapTrigger"). Later `clsTavrixTriggerItem`s write into the same
// record, so the controller gets one: the last, with fields it omits kept.
struct LegacyTriggerRecord {
  std::string m_strName;
  int32_t m_lNewEnum = 0;  // element `NewEnum`
  int32_t m_lCount = 0;    // element `Count`
  std::array<LegacyTriggerInfo, 2> m_info;  // Index 1 and 2

  void Clear() { *this = LegacyTriggerRecord{}; }
  friend bool operator==(const LegacyTriggerRecord&, const LegacyTriggerRecord&) = default;
};

struct ControllerRecord : ControllerProperties {
  ControllerRecord() = default;
  ControllerRecord(const ControllerRecord&) = default;
  ControllerRecord& operator=(const ControllerRecord&) = delete;  // the trigger tree

  TriggerExInfo m_triggerEx;                          // `TriggerEx` root
  std::vector<ControllerCalcInfo> m_calculationList;  // `CalculationList`
  std::map<std::string, std::string> m_externalFunctions;  // `externalFunction` type -> data
  LegacyTriggerRecord m_legacyTrigger;

  void Clear();
};

// Table I: the children of `clsTavrixItem`.
struct ItemProperties {
  std::string m_strItemName;
  bool m_bEnabled = false;
  int32_t m_lType = 0;
  bool m_bAliasItem = false;
  bool m_bVariableEnabled = false;
  std::string m_strVarName;
  std::string m_strOption;
  int32_t m_lSystemType = 0;
  std::string m_strSysObjName;
  std::string m_strCtrlName;
  std::string m_strDescription;
  bool m_bDescription = false;
  int32_t m_lAttribute = 0;
  std::string LinkItem;
  bool m_bInitialize = false;
  std::string m_strInitData;
  int32_t m_lInitDataType = 0;
  int32_t m_lForceChange = 0;
  bool m_bUseEmpty = false;
  bool m_bUseHistory = false;
  bool m_bOnChangeEvent = false;
  bool m_bDeadBand = false;
  float m_fDeadBandMin = 0;
  float m_fDeadBandMax = 0;
  bool m_bMinMax = false;
  float m_fMin = 0;
  float m_fMax = 0;
  bool m_bChatEnabled = false;
  int32_t m_lChatMax = 0;
  bool m_bMaskEnabled = false;
  int64_t m_lMask = 0;
  bool m_bBCD = false;
  int32_t m_lCalcIndex = 0;
  std::string m_str2ndItem;
  int32_t m_lCalcIndex2 = 0;
  std::string m_str3rdItem;
  bool m_bChangeType = false;
  bool m_bChangeTypeW = false;
  int32_t m_lRequestType = 0;
  int32_t m_lRequestTypeW = 0;
  bool m_bCompArrays = false;
  bool m_bExtrLink = false;
  int32_t m_lLinkProp = 0;
  bool m_bDeactivate = false;
  std::string m_strSysObjOption;
  bool m_bSubItem = false;
  int32_t m_lSubItemBlockSize = 0;
  std::string m_strSubItemParentName;
  int32_t m_lSubItemOffset = 0;
  int32_t m_lSubItemDataType = 0;
  int32_t m_lSubItemElemCount = 0;
  int32_t m_lSubItemUnitSize = 0;
  int32_t m_lSubItemByteOrder = 0;
  int32_t m_lSubItemBlockUpdate = 0;
  bool m_bDirectReading = false;
  int32_t m_lDirectReadingSuppressedTime = 0;
  bool m_bSubItemBit = false;
  int32_t m_lSubItemBitPosition = 0;
  int32_t m_lParentItemDataType = 0;
  int32_t m_lParentItemByteOrder = 0;
  int32_t m_lParentItemUnitSize = 0;
  int32_t m_lParentItemElemCount = 0;
  bool m_bNotRecJudgeItem = false;
  std::string m_strFileObjDelimiter;
  bool m_bUseFileObjDelimiter = false;
  int32_t m_AccessibleApplication = 7;

  friend bool operator==(const ItemProperties&, const ItemProperties&) = default;
};

struct ItemRecord : ItemProperties {
  std::vector<ItemCalcInfo> m_calculationList;  // `CalculationList`

  void Clear() { *this = ItemRecord{}; }
  friend bool operator==(const ItemRecord&, const ItemRecord&) = default;
};

// One row of a property table: the element, its value kind and the field of
// record type R it fills.
template <typename R>
struct PropertyDef {
  using Member = std::variant<std::string R::*, int32_t R::*, bool R::*, float R::*,
                              int64_t R::*>;
  std::string_view name;
  ValueKind kind;
  Member member;
};

// The field `def` names in `record`.
template <typename R>
FieldRef FieldOf(R& record, const PropertyDef<R>& def) {
  return std::visit([&record](auto member) -> FieldRef { return &(record.*member); },
                    def.member);
}

// Tables W, C and I in their documented order (30, 40 and 66 rows), the
// legacy trigger record's own fields and those of one of its trigger infos.
std::span<const PropertyDef<WorkspaceProperties>> WorkspacePropertyTable();
std::span<const PropertyDef<ControllerProperties>> ControllerPropertyTable();
std::span<const PropertyDef<ItemProperties>> ItemPropertyTable();
std::span<const PropertyDef<LegacyTriggerRecord>> LegacyTriggerPropertyTable();
std::span<const PropertyDef<LegacyTriggerInfo>> LegacyTriggerInfoPropertyTable();

// The row of `table` for element `name` (matched without regard to letter
// case), or null.
template <typename R>
const PropertyDef<R>* FindProperty(std::span<const PropertyDef<R>> table, std::string_view name);

}  // namespace tavrix
