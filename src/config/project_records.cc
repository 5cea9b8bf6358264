#include "config/project_records.h"

#include "platform/text.h"

namespace tavrix {
namespace {

// A row whose element is named like its member.
#define TVX_PROP(R, member, kind) \
  PropertyDef<R> { #member, ValueKind::kind, &R::member }

using W = WorkspaceProperties;
constexpr PropertyDef<W> kWorkspaceTable[] = {
    TVX_PROP(W, m_strZeltHost, kText),
    TVX_PROP(W, m_lRetryCnt, kNumber),
    TVX_PROP(W, m_lRetryInterval, kNumber),
    TVX_PROP(W, m_strHistoryADOCon, kText),
    TVX_PROP(W, m_strTableName, kText),
    TVX_PROP(W, m_lMaxRecord, kNumber),
    TVX_PROP(W, m_strHistoryADOCon2nd, kText),
    TVX_PROP(W, m_strTableName2nd, kText),
    TVX_PROP(W, m_lMaxRecord2nd, kNumber),
    TVX_PROP(W, m_lTableType, kNumber),
    TVX_PROP(W, m_bEnableHistory, kFlagTrueOnly),
    TVX_PROP(W, m_bAutoSwitch, kFlagTrueOnly),
    TVX_PROP(W, m_bSysInfo, kFlagTrueOnly),
    TVX_PROP(W, m_bNoConvToBstr, kFlagTrueOnly),
    TVX_PROP(W, m_bBlobToFile, kFlagTrueOnly),
    TVX_PROP(W, m_strDefCtrlName, kText),
    TVX_PROP(W, m_lDBConnRetryCount, kStrictNumber),
    TVX_PROP(W, m_lDBConnRetryInterval, kStrictNumber),
    TVX_PROP(W, m_bDBConnRetry, kFlag),
    TVX_PROP(W, m_bDelayStart, kFlag),
    TVX_PROP(W, m_bExecuteStartupTrigger, kFlag),
    TVX_PROP(W, m_bDisposeErrorScripts, kFlag),
    TVX_PROP(W, m_bBackupDisabled, kFlag),
    TVX_PROP(W, m_lMaxBackupCount, kStrictNumber),
    TVX_PROP(W, m_bAutoRecovery, kFlag),
    TVX_PROP(W, m_lAutoRecoveryInterval, kStrictNumber),
    TVX_PROP(W, m_strHistoryConSetting, kText),
    TVX_PROP(W, m_strHistoryCon2ndSetting, kText),
    TVX_PROP(W, m_lSecurityProtocol, kStrictNumber),
    TVX_PROP(W, m_lInsertInterval, kStrictNumber),
};

using C = ControllerProperties;
constexpr PropertyDef<C> kControllerTable[] = {
    TVX_PROP(C, m_strCtrlName, kText),
    TVX_PROP(C, m_bEnabled, kFlagTrueOnly),
    TVX_PROP(C, m_lType, kNumber),
    TVX_PROP(C, RSQLCtrlName, kText),
    TVX_PROP(C, m_strProvider, kText),
    TVX_PROP(C, m_strMachine, kText),
    TVX_PROP(C, m_strParam, kText),
    TVX_PROP(C, m_strDescription, kText),
    TVX_PROP(C, m_bDescription, kFlagTrueOnly),
    TVX_PROP(C, m_lSamplingRate, kNumber),
    TVX_PROP(C, m_bDistribute, kFlagTrueOnly),
    TVX_PROP(C, m_lPriority, kNumber),
    TVX_PROP(C, m_lTimeStamp, kNumber),
    TVX_PROP(C, m_bStartup, kFlagTrueOnly),
    TVX_PROP(C, m_bUseHistory, kFlagTrueOnly),
    TVX_PROP(C, m_bWriteToCache, kFlagTrueOnly),
    TVX_PROP(C, m_bWDT, kFlagTrueOnly),
    TVX_PROP(C, m_lWDTCount, kNumber),
    TVX_PROP(C, m_lWDTAction, kNumber),
    TVX_PROP(C, m_bUseTrigger, kFlagTrueOnly),
    TVX_PROP(C, m_bAutoReconn, kFlagTrueOnly),
    TVX_PROP(C, m_lRecCount, kNumber),
    TVX_PROP(C, m_lRecInterval, kNumber),
    TVX_PROP(C, m_bScript, kFlagTrueOnly),
    TVX_PROP(C, m_strScript, kText),
    TVX_PROP(C, m_bNotSafeMode, kFlagTrueOnly),
    TVX_PROP(C, m_bEventBinding, kFlag),
    TVX_PROP(C, m_bOutputActionLog, kFlag),
    TVX_PROP(C, m_lRecWaitTime, kStrictNumber),
    TVX_PROP(C, m_lRecType, kStrictNumber),
    TVX_PROP(C, m_bVariableSync, kFlag),
    TVX_PROP(C, m_bWDTDS, kFlag),
    TVX_PROP(C, m_lWDTTime, kStrictNumber),
    TVX_PROP(C, m_bTriggerDisable, kFlag),
    TVX_PROP(C, m_bCalcDisable, kFlag),
    TVX_PROP(C, m_bSlowSamplingEnable, kFlag),
    TVX_PROP(C, m_lSlowSamplingRate, kStrictNumber),
    TVX_PROP(C, m_AccessibleApplication, kStrictNumber),
    TVX_PROP(C, m_lActivatePriority, kStrictNumber),
    TVX_PROP(C, m_lDeactivatePriority, kStrictNumber),
};

using I = ItemProperties;
constexpr PropertyDef<I> kItemTable[] = {
    TVX_PROP(I, m_strItemName, kText),
    TVX_PROP(I, m_bEnabled, kFlagTrueOnly),
    TVX_PROP(I, m_lType, kNumber),
    TVX_PROP(I, m_bAliasItem, kFlagTrueOnly),
    TVX_PROP(I, m_bVariableEnabled, kFlagTrueOnly),
    TVX_PROP(I, m_strVarName, kText),
    TVX_PROP(I, m_strOption, kText),
    TVX_PROP(I, m_lSystemType, kNumber),
    TVX_PROP(I, m_strSysObjName, kText),
    TVX_PROP(I, m_strCtrlName, kText),
    TVX_PROP(I, m_strDescription, kText),
    TVX_PROP(I, m_bDescription, kFlagTrueOnly),
    TVX_PROP(I, m_lAttribute, kNumber),
    TVX_PROP(I, LinkItem, kText),
    TVX_PROP(I, m_bInitialize, kFlagTrueOnly),
    TVX_PROP(I, m_strInitData, kText),
    TVX_PROP(I, m_lInitDataType, kNumber),
    TVX_PROP(I, m_lForceChange, kNumber),
    TVX_PROP(I, m_bUseEmpty, kFlagTrueOnly),
    TVX_PROP(I, m_bUseHistory, kFlagTrueOnly),
    TVX_PROP(I, m_bOnChangeEvent, kFlagTrueOnly),
    TVX_PROP(I, m_bDeadBand, kFlagTrueOnly),
    TVX_PROP(I, m_fDeadBandMin, kReal),
    TVX_PROP(I, m_fDeadBandMax, kReal),
    TVX_PROP(I, m_bMinMax, kFlagTrueOnly),
    TVX_PROP(I, m_fMin, kReal),
    TVX_PROP(I, m_fMax, kReal),
    TVX_PROP(I, m_bChatEnabled, kFlagTrueOnly),
    TVX_PROP(I, m_lChatMax, kNumber),
    TVX_PROP(I, m_bMaskEnabled, kFlagTrueOnly),
    TVX_PROP(I, m_lMask, kInt64),
    TVX_PROP(I, m_bBCD, kFlagTrueOnly),
    TVX_PROP(I, m_lCalcIndex, kNumber),
    TVX_PROP(I, m_str2ndItem, kText),
    TVX_PROP(I, m_lCalcIndex2, kNumber),
    TVX_PROP(I, m_str3rdItem, kText),
    TVX_PROP(I, m_bChangeType, kFlagTrueOnly),
    TVX_PROP(I, m_bChangeTypeW, kFlagTrueOnly),
    TVX_PROP(I, m_lRequestType, kNumber),
    TVX_PROP(I, m_lRequestTypeW, kNumber),
    TVX_PROP(I, m_bCompArrays, kFlagTrueOnly),
    TVX_PROP(I, m_bExtrLink, kFlagTrueOnly),
    TVX_PROP(I, m_lLinkProp, kNumber),
    TVX_PROP(I, m_bDeactivate, kFlagTrueOnly),
    TVX_PROP(I, m_strSysObjOption, kText),
    TVX_PROP(I, m_bSubItem, kFlag),
    TVX_PROP(I, m_lSubItemBlockSize, kStrictNumber),
    TVX_PROP(I, m_strSubItemParentName, kText),
    TVX_PROP(I, m_lSubItemOffset, kStrictNumber),
    TVX_PROP(I, m_lSubItemDataType, kStrictNumber),
    TVX_PROP(I, m_lSubItemElemCount, kStrictNumber),
    TVX_PROP(I, m_lSubItemUnitSize, kStrictNumber),
    TVX_PROP(I, m_lSubItemByteOrder, kStrictNumber),
    TVX_PROP(I, m_lSubItemBlockUpdate, kStrictNumber),
    TVX_PROP(I, m_bDirectReading, kFlag),
    TVX_PROP(I, m_lDirectReadingSuppressedTime, kStrictNumber),
    TVX_PROP(I, m_bSubItemBit, kFlag),
    TVX_PROP(I, m_lSubItemBitPosition, kStrictNumber),
    TVX_PROP(I, m_lParentItemDataType, kStrictNumber),
    TVX_PROP(I, m_lParentItemByteOrder, kStrictNumber),
    TVX_PROP(I, m_lParentItemUnitSize, kStrictNumber),
    TVX_PROP(I, m_lParentItemElemCount, kStrictNumber),
    TVX_PROP(I, m_bNotRecJudgeItem, kFlag),
    TVX_PROP(I, m_strFileObjDelimiter, kText),
    TVX_PROP(I, m_bUseFileObjDelimiter, kFlag),
    TVX_PROP(I, m_AccessibleApplication, kStrictNumber),
};

using L = LegacyTriggerRecord;
constexpr PropertyDef<L> kLegacyTable[] = {
    TVX_PROP(L, m_strName, kText),
    PropertyDef<L>{"NewEnum", ValueKind::kNumber, &L::m_lNewEnum},
    PropertyDef<L>{"Count", ValueKind::kNumber, &L::m_lCount},
};

using LI = LegacyTriggerInfo;
constexpr PropertyDef<LI> kLegacyInfoTable[] = {
    TVX_PROP(LI, m_lAction, kNumber),
    TVX_PROP(LI, m_strExeFile, kText),
    TVX_PROP(LI, m_strExeParams, kText),
    TVX_PROP(LI, m_lCondition, kNumber),
    TVX_PROP(LI, m_strThreshold, kText),
};

#undef TVX_PROP

}  // namespace

void ControllerRecord::Clear() {
  static_cast<ControllerProperties&>(*this) = ControllerProperties{};
  m_triggerEx.Clear();
  m_calculationList.clear();
  m_externalFunctions.clear();
  m_legacyTrigger.Clear();
}

std::span<const PropertyDef<WorkspaceProperties>> WorkspacePropertyTable() {
  return kWorkspaceTable;
}
std::span<const PropertyDef<ControllerProperties>> ControllerPropertyTable() {
  return kControllerTable;
}
std::span<const PropertyDef<ItemProperties>> ItemPropertyTable() { return kItemTable; }
std::span<const PropertyDef<LegacyTriggerRecord>> LegacyTriggerPropertyTable() {
  return kLegacyTable;
}
std::span<const PropertyDef<LegacyTriggerInfo>> LegacyTriggerInfoPropertyTable() {
  return kLegacyInfoTable;
}

template <typename R>
const PropertyDef<R>* FindProperty(std::span<const PropertyDef<R>> table, std::string_view name) {
  for (const PropertyDef<R>& def : table) {
    if (EqualsNoCase(def.name, name)) return &def;
  }
  return nullptr;
}

template const PropertyDef<WorkspaceProperties>* FindProperty(
    std::span<const PropertyDef<WorkspaceProperties>>, std::string_view);
template const PropertyDef<ControllerProperties>* FindProperty(
    std::span<const PropertyDef<ControllerProperties>>, std::string_view);
template const PropertyDef<ItemProperties>* FindProperty(
    std::span<const PropertyDef<ItemProperties>>, std::string_view);
template const PropertyDef<LegacyTriggerRecord>* FindProperty(
    std::span<const PropertyDef<LegacyTriggerRecord>>, std::string_view);
template const PropertyDef<LegacyTriggerInfo>* FindProperty(
    std::span<const PropertyDef<LegacyTriggerInfo>>, std::string_view);

}  // namespace tavrix
