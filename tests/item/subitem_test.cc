// Sub-items through real blocks: the holder's read fills its block and reads
// its sub-items; a sub-item write changes its piece and writes the whole
// block back through the holder.
#include <gtest/gtest.h>

#include "item_fixture.h"

namespace tavrix::item_test {
namespace {

class SubItemTest : public ItemTest {
 protected:
  // A holder of the simulated block "bytes:<size>" (its own name `name`).
  Ref<CTavrixItem> Holder(const std::string& name, int32_t size,
                          void (*set)(ItemRecord&) = nullptr) {
    ItemRecord h = VarItem(name, "bytes:" + std::to_string(size));
    h.m_lSubItemBlockSize = size;
    if (set) set(h);
    return Make(h);
  }
};

TEST_F(SubItemTest, PiecesDecodedFromTheHoldersBlock) {
  struct Case {
    const char* what;
    ItemRecord record;
    Variant value;
    HRESULT result;
  };
  auto text = SubItem("", "H", VT_BSTR, 0, 0);
  text.m_lSubItemUnitSize = 4;
  auto bit = SubItem("", "H", VT_I2, 0, 0);
  bit.m_bSubItemBit = true;
  bit.m_lSubItemBitPosition = 9;
  auto array = SubItem("", "H", VT_ARRAY | VT_UI2, 0, 1);
  array.m_lSubItemElemCount = 2;
  auto beyond = SubItem("", "H", VT_I4, 6, 0);
  auto badBit = bit;
  badBit.m_lSubItemBitPosition = 16;
  auto noSize = SubItem("", "H", VT_DECIMAL, 0, 0);
  const Case cases[] = {
      {"I2 at 2, stored most significant byte first", SubItem("", "H", VT_I2, 2, 0),
       Variant::I2(0x1234), S_OK},
      {"I2 at 2 in host order", SubItem("", "H", VT_I2, 2, 1), Variant::I2(0x3412), S_OK},
      {"text of words stored reversed", text, Variant::Text("ABCD"), S_OK},
      {"bit 9 of an I2", bit, Variant::UI1(1), S_OK},
      {"array of two UI2 in host order", array, Variant(), S_OK},
      {"a piece beyond the block", beyond, Variant(), E_ACCESSDENIED},
      {"a bit beyond its value", badBit, Variant(), E_ACCESSDENIED},
      {"a type without a piece form", noSize, Variant(), E_INVALIDARG},
  };
  Ref<CTavrixItem> holder = Holder("H", 8);
  std::vector<Ref<CTavrixItem>> subs;
  int n = 0;
  for (const Case& c : cases) {
    ItemRecord r = c.record;
    r.m_strItemName = "S" + std::to_string(n++);
    subs.push_back(Make(r));
  }
  Link();
  // Bytes 0..3: 02 01 12 34 ("BADC" for the text case is below); 4..7: beyond.
  Put("bytes:8", Bytes({0x02, 0x01, 0x12, 0x34, 0, 0, 0, 0}));
  ASSERT_EQ(Read(*holder), S_OK);
  for (size_t i = 0; i < subs.size(); ++i) {
    SCOPED_TRACE(cases[i].what);
    EXPECT_EQ(subs[i]->lastReadResult(), cases[i].result);
    if (cases[i].result == S_OK && !cases[i].value.IsEmpty() &&
        cases[i].record.m_lSubItemDataType != VT_BSTR) {
      EXPECT_TRUE(subs[i]->value().Identical(cases[i].value)) << DebugString(subs[i]->value());
    }
    if (FAILED(cases[i].result)) {
      EXPECT_EQ(subs[i]->state(), tvItemFailed);
    }
  }
  const SafeArray& words = subs[4]->value().array();
  EXPECT_TRUE(words.At(0).Identical(Variant::UI2(0x0102)));
  EXPECT_TRUE(words.At(1).Identical(Variant::UI2(0x3412)));

  Put("bytes:8", Bytes({'B', 'A', 'D', 'C', 0, 0, 0, 0}));
  ASSERT_EQ(Read(*holder), S_OK);
  EXPECT_TRUE(subs[2]->value().Identical(Variant::Text("ABCD")));
}

TEST_F(SubItemTest, AWriteChangesOnlyItsPieceAndWritesTheWholeBlock) {
  Ref<CTavrixItem> holder = Holder("H", 4);
  Ref<CTavrixItem> sub = Make(SubItem("S", "H", VT_I2, 2, 0));
  Link();
  EXPECT_EQ(sub->put_Value(Variant::I4(5)), E_ACCESSDENIED);  // the block was never read
  Put("bytes:4", Bytes({0xAA, 0xBB, 0xCC, 0xDD}));
  ASSERT_EQ(Read(*holder), S_OK);
  ASSERT_EQ(sub->put_Value(Variant::I4(5)), S_OK);
  EXPECT_EQ(BytesOf(Get("bytes:4")), (std::vector<uint8_t>{0xAA, 0xBB, 0x00, 0x05}));
  bool valid = false;
  EXPECT_EQ(holder->BlockCopy(&valid), (std::vector<uint8_t>{0xAA, 0xBB, 0x00, 0x05}));
  EXPECT_TRUE(valid);
}

TEST_F(SubItemTest, RefusedWrites) {
  struct Case {
    const char* what;
    ItemRecord record;
    Variant value;
    HRESULT result;
    const char* message;
  };
  auto array = SubItem("", "H", VT_ARRAY | VT_I2, 0, 0);
  array.m_lSubItemElemCount = 4;
  Ref<SafeArray> three = SafeArray::Create1D(VT_I2, 3);
  const Case cases[] = {
      {"a value that does not convert", SubItem("", "H", VT_I2, 0, 0), Variant::Text("abc"),
       DISP_E_TYPEMISMATCH, "(data type mismatch)"},
      {"an array of another length", array, Variant::Array(three), E_INVALIDARG,
       "(invalid array length)"},
      {"a piece beyond the block", SubItem("", "H", VT_I4, 2, 0), Variant::I4(1), E_ACCESSDENIED,
       "(buffer overflow)"},
  };
  Ref<CTavrixItem> holder = Holder("H", 4);
  std::vector<Ref<CTavrixItem>> subs;
  int n = 0;
  for (const Case& c : cases) {
    ItemRecord r = c.record;
    r.m_strItemName = "S" + std::to_string(n++);
    subs.push_back(Make(r));
  }
  Link();
  Put("bytes:4", Bytes({1, 2, 3, 4}));
  ASSERT_EQ(Read(*holder), S_OK);
  for (size_t i = 0; i < subs.size(); ++i) {
    SCOPED_TRACE(cases[i].what);
    log.Clear();
    EXPECT_EQ(subs[i]->put_Value(cases[i].value), cases[i].result);
    EXPECT_TRUE(log.Contains("TavrixItem[" + owner.name +
                             "\\H] : ZeltVariable::_PutValueForSubitem() failed." +
                             cases[i].message));
  }
  EXPECT_EQ(BytesOf(Get("bytes:4")), (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST_F(SubItemTest, BitsAreSetAndClearedInTheirByte) {
  Ref<CTavrixItem> holder = Holder("H", 2);
  auto hi = SubItem("Hi", "H", VT_I2, 0, 0);
  hi.m_bSubItemBit = true;
  hi.m_lSubItemBitPosition = 9;  // byte 0 when stored most significant first
  auto lo = SubItem("Lo", "H", VT_I2, 0, 1);
  lo.m_bSubItemBit = true;
  lo.m_lSubItemBitPosition = 1;  // byte 0 in host order
  Ref<CTavrixItem> high = Make(hi);
  Ref<CTavrixItem> low = Make(lo);
  Link();
  Put("bytes:2", Bytes({0x00, 0xFF}));
  ASSERT_EQ(Read(*holder), S_OK);
  ASSERT_EQ(high->put_Value(Variant::Bool(true)), S_OK);
  EXPECT_EQ(BytesOf(Get("bytes:2")), (std::vector<uint8_t>{0x02, 0xFF}));
  ASSERT_EQ(low->put_Value(Variant::I4(0)), S_OK);
  EXPECT_EQ(BytesOf(Get("bytes:2")), (std::vector<uint8_t>{0x00, 0xFF}));
}

TEST_F(SubItemTest, BlockUpdateStartsTheWriteFromTheDevicesCurrentBlock) {
  Ref<CTavrixItem> holder =
      Holder("H", 4, [](ItemRecord& r) { r.m_lSubItemBlockUpdate = 1; });
  Ref<CTavrixItem> sub = Make(SubItem("S", "H", VT_UI1, 3, 0));
  Link();
  Put("bytes:4", Bytes({1, 2, 3, 4}));
  ASSERT_EQ(Read(*holder), S_OK);
  Put("bytes:4", Bytes({9, 9, 9, 4}));  // changed behind the item's back
  ASSERT_EQ(sub->put_Value(Variant::UI1(7)), S_OK);
  EXPECT_EQ(BytesOf(Get("bytes:4")), (std::vector<uint8_t>{9, 9, 9, 7}));
  EXPECT_TRUE(owner.ChangeEvents().size() == 2u);  // the refresh read defers its change

  // A refresh that fails is the write's result; one that fills nothing
  // refuses the write rather than send old or zeroed bytes.
  Command("OFFLINE");
  EXPECT_EQ(sub->put_Value(Variant::UI1(8)), E_FAIL);
  Command("ONLINE");
  holder->SetActivation(false);  // the refresh read now reads nothing
  EXPECT_EQ(sub->put_Value(Variant::UI1(8)), E_ACCESSDENIED);
  EXPECT_EQ(BytesOf(Get("bytes:4")), (std::vector<uint8_t>{9, 9, 9, 7}));
}

TEST_F(SubItemTest, AHolderOfATypedValueWritesThatType) {
  ItemRecord h = VarItem("H", "words");
  h.m_lParentItemDataType = VT_ARRAY | VT_I2;
  h.m_lParentItemElemCount = 2;
  Ref<CTavrixItem> holder = Make(h);
  EXPECT_EQ(holder->settings().m_lSubItemBlockSize, 4);
  Ref<CTavrixItem> sub = Make(SubItem("S", "H", VT_I2, 2, 1));
  Link();
  Ref<SafeArray> words = SafeArray::Create1D(VT_I2, 2);
  (void)words->Put(0, Variant::I2(0x0102));
  (void)words->Put(1, Variant::I2(0x0304));
  Put("words", Variant::Array(words));
  ASSERT_EQ(Read(*holder), S_OK);
  EXPECT_TRUE(sub->value().Identical(Variant::I2(0x0304)));
  ASSERT_EQ(sub->put_Value(Variant::I2(-2)), S_OK);
  const Variant written = Get("words");
  ASSERT_EQ(written.vt(), VT_ARRAY | VT_I2);
  EXPECT_TRUE(written.array().At(0).Identical(Variant::I2(0x0102)));
  EXPECT_TRUE(written.array().At(1).Identical(Variant::I2(-2)));
}

TEST_F(SubItemTest, AReadOnlyHolderRefusesQuietlyAndAFailedDeviceWriteKeepsTheCache) {
  Ref<CTavrixItem> holder = Holder("H", 2, [](ItemRecord& r) { r.m_lAttribute = tvItemReadOnly; });
  Ref<CTavrixItem> sub = Make(SubItem("S", "H", VT_UI1, 0, 0));
  owner.writeToCache = true;  // a refused write must not reach the cache either
  Ref<CTavrixItem> holder2 = Holder("H2", 3);
  Ref<CTavrixItem> sub2 = Make(SubItem("S2", "H2", VT_UI1, 0, 0));
  Link();
  Put("bytes:2", Bytes({1, 2}));
  Put("bytes:3", Bytes({1, 2, 3}));
  ASSERT_EQ(Read(*holder), S_OK);
  ASSERT_EQ(Read(*holder2), S_OK);
  EXPECT_EQ(sub->put_Value(Variant::UI1(5)), S_FALSE);
  EXPECT_EQ(BytesOf(Get("bytes:2")), (std::vector<uint8_t>{1, 2}));

  Command("OFFLINE");
  EXPECT_EQ(sub2->put_Value(Variant::UI1(5)), E_FAIL);
  Command("ONLINE");
  EXPECT_TRUE(
      log.Contains("TavrixItem[" + owner.name + "\\H2] : ZeltVariable::put_Value() failed."));
  EXPECT_EQ(Read(*holder2), S_OK);  // from the device: the block is restored
  EXPECT_TRUE(sub2->value().Identical(Variant::UI1(1)));
}

TEST_F(SubItemTest, AMissingHolderFailsRegistration) {
  auto orphan = MakeRef<CTavrixItem>();
  ASSERT_EQ(orphan->Initialize(0, SubItem("S", "Nobody", VT_UI1, 0), owner), S_OK);
  EXPECT_EQ(orphan->InitSubitem(), E_INVALIDARG);
  EXPECT_TRUE(log.Contains("CTavrixItem[" + owner.name +
                           "\\S] : _InitSubitem : Initialization failed because parent "
                           "item(Nobody) does not exist."));
  EXPECT_EQ(orphan->ReadValue(0, nullptr), S_FALSE);  // nothing to decode from
  EXPECT_EQ(orphan->put_Value(Variant::UI1(1)), E_ACCESSDENIED);
  orphan->Terminate();
}

}  // namespace
}  // namespace tavrix::item_test
