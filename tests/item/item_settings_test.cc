// Item settings: the copy rules of ApplySettings, the link item list, the
// calculation settings, and creation from a project record.
#include <gtest/gtest.h>

#include "item/item_settings.h"
#include "item_fixture.h"
#include "platform/log.h"

namespace tavrix::item_test {
namespace {

TEST(ItemSettingsTest, TypeIndexesOutsideTheirTablesAreLoggedAndKeepTheOldType) {
  struct Case {
    int32_t initIndex, requestIndex, requestIndexW;
    VARTYPE init, request, requestW;
    bool initialize;
    const char* logged;
  } cases[] = {
      {3, 8, 13, VT_I2, VT_R8, VT_I8, true, nullptr},
      {28, 14, 0, VT_ARRAY | VT_VARIANT, VT_UI8, VT_BOOL, true, nullptr},
      {21, 12, 12, VT_ARRAY | VT_I8, VT_VARIANT, VT_VARIANT, true, nullptr},  // I8 before R4
      {29, 12, 12, VT_I2, VT_VARIANT, VT_VARIANT, false, "m_vtInitDataType : Invalid type."},
      {-1, 12, 12, VT_I2, VT_VARIANT, VT_VARIANT, false, "m_vtInitDataType : Invalid type."},
      {3, 15, 12, VT_I2, VT_VARIANT, VT_VARIANT, true, "m_vtRequest : Invalid type."},
      {3, 12, -1, VT_I2, VT_VARIANT, VT_VARIANT, true, "m_vtRequestW : Invalid type."},
  };
  for (const Case& c : cases) {
    CapturingLogSink log(0);
    ItemRecord r = VarItem("Item", "cell");
    r.m_bInitialize = true;
    r.m_lInitDataType = c.initIndex;
    r.m_lRequestType = c.requestIndex;
    r.m_lRequestTypeW = c.requestIndexW;
    ItemSettings s;
    s.m_bstrItemName = "Item";
    EXPECT_EQ(CopyItemSettings(r, 1033, &s), S_OK);
    EXPECT_EQ(s.m_vtInitDataType, c.init) << c.initIndex;
    EXPECT_EQ(s.m_vtRequest, c.request) << c.requestIndex;
    EXPECT_EQ(s.m_vtRequestW, c.requestW) << c.requestIndexW;
    EXPECT_EQ(s.m_bInitialize, c.initialize);
    if (c.logged) {
      EXPECT_TRUE(log.Contains(std::string("TavrixItem[Item] : ") + c.logged)) << c.logged;
    } else {
      EXPECT_EQ(log.size(), 0u);
    }
  }
}

TEST(ItemSettingsTest, AnAttributeOutsideItsRangeStopsTheCopyThere) {
  ItemRecord r = VarItem("Item", "cell");
  r.m_strDescription = "first";
  r.m_lAttribute = 3;
  r.m_bUseEmpty = true;  // after the attribute: not taken
  ItemSettings s;
  EXPECT_EQ(CopyItemSettings(r, 1033, &s), E_INVALIDARG);
  EXPECT_EQ(s.m_bstrDescription, "first");
  EXPECT_FALSE(s.m_bUseEmpty);
  r.m_lAttribute = tvItemWriteOnly;
  EXPECT_EQ(CopyItemSettings(r, 1033, &s), S_OK);
  EXPECT_TRUE(s.m_bUseEmpty);
}

TEST(ItemSettingsTest, DerivedSettings) {
  struct Case {
    const char* what;
    void (*set)(ItemRecord&);
    bool (*check)(const ItemSettings&);
  } cases[] = {
      {"chatter needs a count above 1",
       [](ItemRecord& r) { r.m_bChatEnabled = true, r.m_lChatMax = 1; },
       [](const ItemSettings& s) { return !s.m_bChatEnabled && s.m_lChatMax == 1; }},
      {"chatter with a count of 2",
       [](ItemRecord& r) { r.m_bChatEnabled = true, r.m_lChatMax = 2; },
       [](const ItemSettings& s) { return s.m_bChatEnabled; }},
      {"block size from the holder's array type",
       [](ItemRecord& r) {
         r.m_lSubItemBlockSize = 99, r.m_lParentItemDataType = VT_ARRAY | VT_I4;
         r.m_lParentItemElemCount = 3;
       },
       [](const ItemSettings& s) { return s.m_lSubItemBlockSize == 12; }},
      {"block size of a text array holder",
       [](ItemRecord& r) {
         r.m_lParentItemDataType = VT_ARRAY | VT_BSTR, r.m_lParentItemUnitSize = 5;
         r.m_lParentItemElemCount = 2;
       },
       [](const ItemSettings& s) { return s.m_lSubItemBlockSize == 10; }},
      {"block size as configured without a holder type",
       [](ItemRecord& r) { r.m_lSubItemBlockSize = 7; },
       [](const ItemSettings& s) { return s.m_lSubItemBlockSize == 7; }},
      {"object name and option only for classes 1 to 4",
       [](ItemRecord& r) { r.m_strSysObjName = "T", r.m_strSysObjOption = "o"; },
       [](const ItemSettings& s) {
         return s.m_bstrSysObjName.empty() && s.m_bstrSysObjOption.empty();
       }},
      {"object name of a task",
       [](ItemRecord& r) {
         r.m_lSystemType = 1, r.m_strSysObjName = "T", r.m_strFileObjDelimiter = "/";
       },
       [](const ItemSettings& s) {
         return s.m_bstrSysObjName == "T" && s.m_strFileObjDelimiterForDump == "/";
       }},
      {"a reference item distributes elements and has no variable",
       [](ItemRecord& r) { r.m_lType = kItemTypeReference, r.m_bExtrLink = false; },
       [](const ItemSettings& s) { return s.m_bExtrLink && !s.m_bVariableEnabled; }},
  };
  for (const Case& c : cases) {
    ItemRecord r = VarItem("Item", "cell");
    c.set(r);
    ItemSettings s;
    TakeCreationSettings(r, "C", &s);
    EXPECT_EQ(CopyItemSettings(r, 1033, &s), S_OK) << c.what;
    EXPECT_TRUE(c.check(s)) << c.what;
  }
}

TEST(ItemSettingsTest, CalculationSettingsComeFromTheListOrTheLegacyPairs) {
  CapturingLogSink log(0);
  ItemRecord r = VarItem("Item", "cell");
  r.m_lCalcIndex = 1;
  r.m_str2ndItem = "5";
  r.m_lCalcIndex2 = 3;
  r.m_str3rdItem = "2";
  ItemSettings s;
  s.m_bstrItemName = "Item";
  ASSERT_EQ(CopyItemSettings(r, 1033, &s), S_OK);
  EXPECT_EQ(s.calcSettings, (std::vector<ItemCalcSetting>{{1, "5"}, {3, "2"}}));

  r.m_calculationList = {{"4", "A"}, {" 7 ", "B"}, {"9", "C"}};
  ASSERT_EQ(CopyItemSettings(r, 1033, &s), S_OK);
  EXPECT_EQ(s.calcSettings, (std::vector<ItemCalcSetting>{{4, "A"}, {7, "B"}, {9, "C"}}));
  EXPECT_EQ(s.m_lCalcIndex, 4);
  EXPECT_EQ(s.m_bstr2ndItem, "A");
  EXPECT_EQ(s.m_lCalcIndex2, 7);
  EXPECT_EQ(s.m_bstr3rdItem, "B");

  r.m_calculationList = {{"4", "A"}, {"x", "B"}};
  ASSERT_EQ(CopyItemSettings(r, 1033, &s), S_OK);
  EXPECT_TRUE(s.calcSettings.empty());
  EXPECT_TRUE(log.Contains("TavrixItem[Item] : invalid CalcIndex."));
}

TEST(ItemSettingsTest, LinkItemList) {
  struct Case {
    const char* text;
    std::vector<std::string> names;
  } cases[] = {
      {"", {}},
      {"A", {"C\\A"}},
      {" A , D\\B ,", {"C\\A", "D\\B", ""}},
      {"A,,B", {"C\\A", "", "C\\B"}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseLinkItems(c.text, "C"), c.names) << c.text;
}

class ItemCreationTest : public ItemTest {};

TEST_F(ItemCreationTest, ADisabledItemIsNotCreated) {
  ItemRecord r = VarItem("Off", "cell");
  r.m_bEnabled = false;
  auto item = MakeRef<CTavrixItem>();
  EXPECT_EQ(item->Initialize(0, r, owner), S_FALSE);
  EXPECT_TRUE(log.Contains("TavrixItem[Off] : NOT Enabled."));
}

TEST_F(ItemCreationTest, AnElementSuffixThatIsNoNumberIsABadName) {
  auto item = MakeRef<CTavrixItem>();
  EXPECT_EQ(item->Initialize(0, VarItem("Arr(x)", "cell"), owner), E_INVALIDARG);
  EXPECT_TRUE(log.Contains("TavrixItem[" + owner.name + "\\Arr(x)] : Bad item name."));
  auto good = MakeRef<CTavrixItem>();
  EXPECT_EQ(good->Initialize(0, VarItem("Arr(2, 1)", "cell"), owner), S_OK);
  EXPECT_TRUE(good->element().present);
  EXPECT_EQ(good->element().count, 2);
}

TEST_F(ItemCreationTest, HistoryNeedsTheItemTheControllerAndTheManager) {
  struct Case {
    bool item, controller, managerEnabled;
    HRESULT manager;
    bool on;
  } cases[] = {
      {true, true, true, S_OK, true},      {false, true, true, S_OK, false},
      {true, false, true, S_OK, false},    {true, true, false, S_OK, false},
      {true, true, true, E_FAIL, false},
  };
  for (const Case& c : cases) {
    owner.useHistory = c.controller;
    owner.historyEnabled = c.managerEnabled;
    owner.historyManager = c.manager;
    ItemRecord r = VarItem("H", "cell");
    r.m_bUseHistory = c.item;
    auto item = MakeRef<CTavrixItem>();
    ASSERT_EQ(item->Initialize(0, r, owner), S_OK);
    EXPECT_EQ(item->historyOn(), c.on);
  }
  EXPECT_TRUE(log.Contains("TavrixItem : Failed in creating a TavrixHistoryMan instance."));
}

TEST_F(ItemCreationTest, ReapplyingSettingsToALiveItemChangesItsFilters) {
  ItemRecord r = VarItem("Live", "cell");
  Ref<CTavrixItem> item = Make(r);
  Put("cell", Variant::I4(0x1234));
  ASSERT_EQ(Read(*item), S_OK);
  r.m_bMaskEnabled = true;
  r.m_lMask = 0xFF;
  r.m_bOnChangeEvent = false;
  ASSERT_EQ(item->ApplySettings(r), S_OK);
  Put("cell", Variant::I4(0x5678));
  ASSERT_EQ(Read(*item), S_OK);
  EXPECT_TRUE(item->value().Identical(Variant::I4(0x78)));
  EXPECT_EQ(owner.ChangeEvents().size(), 1u);  // only the first change: the observer is gone
}

}  // namespace
}  // namespace tavrix::item_test
