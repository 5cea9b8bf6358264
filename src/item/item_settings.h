// The settings of one item as the project record gives them: the copy rules
// of ApplySettings (type index tables, the attribute check, the chatter rule,
// the derived block size, the calculation settings) and the link item list.
// The item applies what needs its controller (history, time stamps,
// observers, calculations built from the settings) on top of these.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/project_records.h"
#include "item/block_codec.h"
#include "item/compact_text.h"
#include "platform/result.h"
#include "platform/unknown.h"
#include "platform/vartype.h"

namespace tavrix {

// The item attributes.
enum TavrixItemAttribute : int32_t {
  tvItemReadWrite = 0,
  tvItemReadOnly = 1,
  tvItemWriteOnly = 2,
};

// Item kinds (m_lType).
inline constexpr int32_t kItemTypeVariable = 0;
inline constexpr int32_t kItemTypeAlias = 1;
inline constexpr int32_t kItemTypeReference = 2;

// One entry of an item's calculation settings: operation code and operand text.
struct ItemCalcSetting {
  int32_t code = 0;
  std::string operand;
  friend bool operator==(const ItemCalcSetting&, const ItemCalcSetting&) = default;
};

// Defaults are those of a newly made item. Texts most items leave empty are
// CompactText.
struct ItemSettings {
  std::string m_bstrItemName;
  bool m_bEnabled = false;
  int32_t m_lType = kItemTypeVariable;
  bool m_bAliasItem = false;
  bool m_bVariableEnabled = false;
  std::string m_bstrVarName;
  CompactText m_bstrOption;
  int32_t m_lVarClass = 0;
  CompactText m_bstrSysObjName;
  CompactText m_bstrSysObjOption;
  std::string m_bstrCtrlName;
  CompactText m_bstrDescription;
  bool m_bDescription = true;
  int32_t m_lAttribute = tvItemReadWrite;
  std::vector<std::string> m_vecLinkItems;
  bool m_bInitialize = false;
  CompactText m_bstrInitData;
  VARTYPE m_vtInitDataType = VT_I2;
  int32_t m_lForceChange = 0;
  bool m_bUseEmpty = false;
  bool m_bUseHistory = true;
  bool m_bOnChangeEvent = true;
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
  CompactText m_bstr2ndItem;
  int32_t m_lCalcIndex2 = 0;
  CompactText m_bstr3rdItem;
  bool m_bChangeType = false;
  VARTYPE m_vtRequest = VT_VARIANT;
  bool m_bChangeTypeW = false;
  VARTYPE m_vtRequestW = VT_VARIANT;
  bool m_bCompArrays = false;
  bool m_bExtrLink = false;
  int32_t m_lLinkProp = 0;
  bool m_bDeactivate = false;
  bool m_bSubItem = false;
  int32_t m_lSubItemBlockSize = 0;
  CompactText m_strSubItemParentName;
  int32_t m_lSubItemOffset = 0;
  int32_t m_lSubItemDataType = 0;
  int32_t m_lSubItemElemCount = 0;
  int32_t m_lSubItemUnitSize = 0;
  int32_t m_lSubItemByteOrder = 0;
  int32_t m_lSubItemBlockUpdate = 0;
  bool m_bSubItemBit = false;
  int32_t m_lSubItemBitPosition = 0;
  int32_t m_lParentItemDataType = 0;
  int32_t m_lParentItemUnitSize = 0;
  int32_t m_lParentItemElemCount = 0;
  bool m_bDirectReading = false;
  int32_t m_lDirectReadingSuppressedTime = 0;
  bool m_bNotRecJudgeItem = false;
  CompactText m_strFileObjDelimiterForDump;
  bool m_bUseFileObjDelimiter = false;
  int32_t m_AccessibleApplication = 7;

  // The calculation settings list, in order.
  std::vector<ItemCalcSetting> calcSettings;

  bool IsReference() const { return m_lType == kItemTypeReference; }
  // The piece of the parent's block a sub-item names.
  PieceLayout Piece() const;
};

// The creation step: name, enabled flag, kind (a reference item always
// distributes array elements and has no variable), the link item list and
// the link settings. `ctrlName` names the owning controller for link entries
// without a backslash.
void TakeCreationSettings(const ItemRecord& record, std::string_view ctrlName, ItemSettings* s);

// ApplySettings' copy of the record into *s, in the order of the settings
// table. S_OK; E_INVALIDARG when m_lAttribute is outside 0..2, which ends the
// copy there (the later settings keep their values). An initial-data type
// index outside 0..28 logs and clears m_bInitialize; a request type index
// outside 0..14 logs and keeps the type; a calculation code text that is no
// number logs and empties the calculation settings. `lcid` reads code texts.
HRESULT CopyItemSettings(const ItemRecord& record, LCID lcid, ItemSettings* s);

// The link item list of a project text: entries split at ",", trimmed of
// spaces; an entry without a backslash is prefixed by `ctrlName` and a
// backslash; an empty entry stays empty. An empty text gives no entries.
std::vector<std::string> ParseLinkItems(std::string_view text, std::string_view ctrlName);

}  // namespace tavrix
