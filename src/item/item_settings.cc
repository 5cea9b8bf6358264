#include "item/item_settings.h"

#include "item/value_types.h"
#include "platform/convert.h"
#include "platform/log.h"

namespace tavrix {
namespace {

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool IsObjectClass(int32_t varClass) { return varClass >= 1 && varClass <= 4; }

// The calculation settings: the record's list when it has one, otherwise the
// two legacy pairs.
void CopyCalcSettings(const ItemRecord& record, LCID lcid, ItemSettings* s) {
  s->calcSettings.clear();
  if (record.m_calculationList.empty()) {
    s->m_lCalcIndex = record.m_lCalcIndex;
    s->m_bstr2ndItem = record.m_str2ndItem;
    s->m_lCalcIndex2 = record.m_lCalcIndex2;
    s->m_bstr3rdItem = record.m_str3rdItem;
    // Two pairs of code 0 build nothing: most items keep no list at all.
    if (s->m_lCalcIndex != 0 || s->m_lCalcIndex2 != 0) {
      s->calcSettings.reserve(2);
      s->calcSettings.push_back({s->m_lCalcIndex, s->m_bstr2ndItem});
      s->calcSettings.push_back({s->m_lCalcIndex2, s->m_bstr3rdItem});
    }
    return;
  }
  for (const ItemCalcInfo& entry : record.m_calculationList) {
    Variant code;
    const HRESULT hr = ChangeType(Variant::Text(entry.m_lCalcIndex), VT_I4, &code, 0, lcid);
    if (FAILED(hr)) {
      LogResult(hr, 1, "TavrixItem[%ls] : invalid CalcIndex.\n", s->m_bstrItemName);
      s->calcSettings.clear();
      return;
    }
    const size_t position = s->calcSettings.size();
    if (position == 0) {
      s->m_lCalcIndex = code.i4();
      s->m_bstr2ndItem = entry.m_strItem;
    } else if (position == 1) {
      s->m_lCalcIndex2 = code.i4();
      s->m_bstr3rdItem = entry.m_strItem;
    }
    s->calcSettings.push_back({code.i4(), entry.m_strItem});
  }
}

}  // namespace

PieceLayout ItemSettings::Piece() const {
  PieceLayout p;
  p.type = static_cast<VARTYPE>(m_lSubItemDataType);
  p.offset = m_lSubItemOffset;
  p.count = m_lSubItemElemCount;
  p.unitSize = m_lSubItemUnitSize;
  p.byteOrder = m_lSubItemByteOrder;
  p.bit = m_bSubItemBit;
  p.bitPosition = m_lSubItemBitPosition;
  return p;
}

std::vector<std::string> ParseLinkItems(std::string_view text, std::string_view ctrlName) {
  std::vector<std::string> out;
  if (text.empty()) return out;
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string_view entry =
        TrimSpaces(text.substr(start, comma == std::string_view::npos ? text.npos : comma - start));
    if (entry.empty() || entry.find('\\') != std::string_view::npos) {
      out.emplace_back(entry);
    } else {
      out.push_back(std::string(ctrlName) + "\\" + std::string(entry));
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return out;
}

void TakeCreationSettings(const ItemRecord& record, std::string_view ctrlName, ItemSettings* s) {
  s->m_bstrItemName = record.m_strItemName;
  s->m_bEnabled = record.m_bEnabled;
  if (!s->m_bEnabled) return;
  s->m_lType = record.m_lType;
  s->m_bAliasItem = s->m_lType == kItemTypeAlias;
  s->m_vecLinkItems = ParseLinkItems(record.LinkItem, ctrlName);
  s->m_bExtrLink = record.m_bExtrLink;
  s->m_lLinkProp = record.m_lLinkProp;
}

HRESULT CopyItemSettings(const ItemRecord& record, LCID lcid, ItemSettings* s) {
  s->m_bVariableEnabled = record.m_bVariableEnabled;
  s->m_bstrVarName = record.m_strVarName;
  s->m_bstrOption = record.m_strOption;
  s->m_lVarClass = record.m_lSystemType;
  if (IsObjectClass(s->m_lVarClass)) {
    s->m_bstrSysObjName = record.m_strSysObjName;
    s->m_bstrSysObjOption = record.m_strSysObjOption;
  } else {
    s->m_bstrSysObjName.clear();
    s->m_bstrSysObjOption.clear();
  }
  if (!record.m_strCtrlName.empty()) s->m_bstrCtrlName = record.m_strCtrlName;
  s->m_bstrDescription = record.m_strDescription;
  s->m_bDescription = record.m_bDescription;
  if (record.m_lAttribute < tvItemReadWrite || record.m_lAttribute > tvItemWriteOnly) {
    return E_INVALIDARG;
  }
  s->m_lAttribute = record.m_lAttribute;
  s->m_bInitialize = record.m_bInitialize;
  s->m_bstrInitData = record.m_strInitData;
  if (const auto vt = InitDataTypeFromIndex(record.m_lInitDataType)) {
    s->m_vtInitDataType = *vt;
  } else {
    LogResult(E_INVALIDARG, 1, "TavrixItem[%ls] : m_vtInitDataType : Invalid type.\n",
              s->m_bstrItemName);
    s->m_bInitialize = false;
  }
  s->m_lForceChange = record.m_lForceChange;
  s->m_bUseEmpty = record.m_bUseEmpty;
  s->m_bUseHistory = record.m_bUseHistory;
  s->m_bOnChangeEvent = record.m_bOnChangeEvent;
  s->m_bDeadBand = record.m_bDeadBand;
  s->m_fDeadBandMin = record.m_fDeadBandMin;
  s->m_fDeadBandMax = record.m_fDeadBandMax;
  s->m_bMinMax = record.m_bMinMax;
  s->m_fMin = record.m_fMin;
  s->m_fMax = record.m_fMax;
  // A count of 1 would pass every value: the filter is on only above it.
  s->m_bChatEnabled = record.m_bChatEnabled && record.m_lChatMax > 1;
  s->m_lChatMax = record.m_lChatMax;
  s->m_bMaskEnabled = record.m_bMaskEnabled;
  s->m_lMask = record.m_lMask;
  s->m_bBCD = record.m_bBCD;
  CopyCalcSettings(record, lcid, s);
  s->m_bChangeType = record.m_bChangeType;
  if (const auto vt = RequestTypeFromIndex(record.m_lRequestType)) {
    s->m_vtRequest = *vt;
  } else {
    LogResult(E_INVALIDARG, 1, "TavrixItem[%ls] : m_vtRequest : Invalid type.\n",
              s->m_bstrItemName);
  }
  s->m_bChangeTypeW = record.m_bChangeTypeW;
  if (const auto vt = RequestTypeFromIndex(record.m_lRequestTypeW)) {
    s->m_vtRequestW = *vt;
  } else {
    LogResult(E_INVALIDARG, 1, "TavrixItem[%ls] : m_vtRequestW : Invalid type.\n",
              s->m_bstrItemName);
  }
  s->m_bCompArrays = record.m_bCompArrays;
  s->m_bDeactivate = record.m_bDeactivate;
  s->m_bSubItem = record.m_bSubItem;
  s->m_strSubItemParentName = record.m_strSubItemParentName;
  s->m_lSubItemOffset = record.m_lSubItemOffset;
  s->m_lSubItemDataType = record.m_lSubItemDataType;
  s->m_lSubItemElemCount = record.m_lSubItemElemCount;
  s->m_lSubItemUnitSize = record.m_lSubItemUnitSize;
  s->m_lSubItemByteOrder = record.m_lSubItemByteOrder;
  s->m_lSubItemBlockUpdate = record.m_lSubItemBlockUpdate;
  s->m_bSubItemBit = record.m_bSubItemBit;
  s->m_lSubItemBitPosition = record.m_lSubItemBitPosition;
  s->m_lParentItemDataType = record.m_lParentItemDataType;
  s->m_lParentItemUnitSize = record.m_lParentItemUnitSize;
  s->m_lParentItemElemCount = record.m_lParentItemElemCount;
  s->m_lSubItemBlockSize = record.m_lSubItemBlockSize;
  if (s->m_lParentItemDataType != 0) {
    s->m_lSubItemBlockSize = static_cast<int32_t>(
        DerivedBlockSize(static_cast<VARTYPE>(s->m_lParentItemDataType),
                         s->m_lParentItemUnitSize, s->m_lParentItemElemCount));
  }
  s->m_bDirectReading = record.m_bDirectReading;
  s->m_lDirectReadingSuppressedTime = record.m_lDirectReadingSuppressedTime;
  s->m_bNotRecJudgeItem = record.m_bNotRecJudgeItem;
  if (IsObjectClass(s->m_lVarClass)) {
    s->m_strFileObjDelimiterForDump = record.m_strFileObjDelimiter;
    s->m_bUseFileObjDelimiter = record.m_bUseFileObjDelimiter;
  }
  s->m_AccessibleApplication = record.m_AccessibleApplication;
  if (s->IsReference()) {
    // A reference item reads its link items, never a variable of its own.
    s->m_bExtrLink = true;
    s->m_bVariableEnabled = false;
  }
  return S_OK;
}

}  // namespace tavrix
