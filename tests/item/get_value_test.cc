// Client reads (get_Value): when they read the device, direct reading and its
// suppression, reads of items that are not sampled, and what is reported to
// the controller's failed-cycle counter.
#include <gtest/gtest.h>

#include "item_fixture.h"
#include "platform/clock.h"

namespace tavrix::item_test {
namespace {

class GetValueTest : public ItemTest {
 protected:
  Variant Value(CTavrixItem& item, HRESULT expected = S_OK) {
    Variant v;
    EXPECT_EQ(item.get_Value(&v), expected);
    return v;
  }

  FakeClock clock{10000, 1700000000000000};
  ScopedClockOverride useClock{clock};
};

TEST_F(GetValueTest, ASampledItemGivesItsCacheWithoutReading) {
  Ref<CTavrixItem> item = Make(VarItem("G", "counter:5"));
  EXPECT_TRUE(Value(*item).IsEmpty());
  ASSERT_EQ(Read(*item), S_OK);
  EXPECT_TRUE(Value(*item).Identical(Variant::I4(5)));
  EXPECT_TRUE(Value(*item).Identical(Variant::I4(5)));
  EXPECT_EQ(owner.deviceReads(), 0);
}

TEST_F(GetValueTest, DirectReadingReadsTheDeviceEveryTimeAndReportsIt) {
  ItemRecord r = VarItem("G", "counter");
  r.m_bDirectReading = true;
  Ref<CTavrixItem> item = Make(r);
  for (int32_t i = 0; i < 3; ++i) EXPECT_TRUE(Value(*item).Identical(Variant::I4(i)));
  EXPECT_EQ(owner.deviceReads(), 3);

  r.m_bNotRecJudgeItem = true;
  r.m_strVarName = "counter:100";
  Ref<CTavrixItem> quiet = Make(r);
  EXPECT_TRUE(Value(*quiet).Identical(Variant::I4(100)));
  EXPECT_EQ(owner.deviceReads(), 3);  // not judged: not reported
}

TEST_F(GetValueTest, SuppressionHoldsBackReadsWithinItsTime) {
  ItemRecord r = VarItem("G", "counter");
  r.m_bDirectReading = true;
  r.m_lDirectReadingSuppressedTime = 100;
  Ref<CTavrixItem> item = Make(r);
  EXPECT_TRUE(Value(*item).Identical(Variant::I4(0)));
  clock.AdvanceMs(99);
  EXPECT_TRUE(Value(*item).Identical(Variant::I4(0)));
  bool providerRead = false;
  EXPECT_EQ(Read(*item, kReadForced, &providerRead), S_OK);  // a forced read is never held back
  EXPECT_TRUE(providerRead);
  EXPECT_TRUE(item->value().Identical(Variant::I4(1)));
  clock.AdvanceMs(99);
  EXPECT_TRUE(Value(*item).Identical(Variant::I4(1)));
  clock.AdvanceMs(1);
  EXPECT_TRUE(Value(*item).Identical(Variant::I4(2)));
  EXPECT_EQ(owner.deviceReads(), 2);
}

TEST_F(GetValueTest, AWriteLiftsTheSuppressionForTheNextRead) {
  ItemRecord r = VarItem("G", "cell");
  r.m_bDirectReading = true;
  r.m_lDirectReadingSuppressedTime = 1000;
  Ref<CTavrixItem> item = Make(r);
  Put("cell", Variant::I4(1));
  EXPECT_TRUE(Value(*item).Identical(Variant::I4(1)));
  ASSERT_EQ(item->put_Value(Variant::I4(2)), S_OK);
  EXPECT_TRUE(Value(*item).Identical(Variant::I4(2)));
  Put("cell", Variant::I4(3));
  EXPECT_TRUE(Value(*item).Identical(Variant::I4(2)));  // held back again
}

TEST_F(GetValueTest, AFailingItemIsHeldBackOnlyWhileReconnectionWouldNotYetStart) {
  struct Case {
    bool autoReconnect;
    int32_t recCount;
    int32_t deviceCalls;  // of three reads within the suppression time
  } cases[] = {{false, 0, 3}, {true, 0, 1}, {true, 1, 2}};
  for (const Case& c : cases) {
    owner.autoReconnect = c.autoReconnect;
    owner.recCount = c.recCount;
    ItemRecord r = VarItem("G", UniqueName("counter:"));
    r.m_bDirectReading = true;
    r.m_lDirectReadingSuppressedTime = 1000;
    Ref<CTavrixItem> item = Make(r);
    owner.ClearReports();
    Command("OFFLINE");
    int32_t calls = 0;
    for (int i = 0; i < 3; ++i) {
      bool providerRead = false;
      (void)Read(*item, 0, &providerRead);
      calls += providerRead;
    }
    Command("ONLINE");
    EXPECT_EQ(calls, c.deviceCalls) << c.autoReconnect << " " << c.recCount;
  }
}

TEST_F(GetValueTest, AWriteOnlyItemLeavesTheOutputAlone) {
  ItemRecord r = VarItem("G", "cell");
  r.m_lAttribute = tvItemWriteOnly;
  r.m_bDirectReading = true;
  Ref<CTavrixItem> item = Make(r);
  Variant out = Variant::Text("untouched");
  EXPECT_EQ(item->get_Value(&out), S_FALSE);
  EXPECT_TRUE(out.Identical(Variant::Text("untouched")));
}

TEST_F(GetValueTest, ADeactivatedControllersItemIsReadOncePerSamplingPeriod) {
  owner.samplingRate = 300;
  owner.controllerState = kOwnerStateDeactive;
  Ref<CTavrixItem> item = Make(VarItem("G", "counter"));
  EXPECT_TRUE(Value(*item).Identical(Variant::I4(0)));
  clock.AdvanceMs(299);
  EXPECT_TRUE(Value(*item).Identical(Variant::I4(0)));
  clock.AdvanceMs(1);
  EXPECT_TRUE(Value(*item).Identical(Variant::I4(1)));
  EXPECT_EQ(owner.deviceReads(), 2);
  EXPECT_TRUE(owner.ChangeEvents().empty());  // these reads defer change handling
}

TEST_F(GetValueTest, AFailedReadReportsAndLeavesTheOutputAlone) {
  ItemRecord r = VarItem("G", "counter");
  r.m_bDirectReading = true;
  Ref<CTavrixItem> item = Make(r);
  Command("OFFLINE");
  Variant out = Variant::I4(-1);
  EXPECT_EQ(item->get_Value(&out), E_FAIL);
  Command("ONLINE");
  EXPECT_TRUE(out.Identical(Variant::I4(-1)));
  EXPECT_EQ(owner.readFailures(), 1);
}

TEST_F(GetValueTest, ASubItemRefreshesAHolderThatReadsDirectly) {
  ItemRecord h = VarItem("H", "bytes:2");
  h.m_lSubItemBlockSize = 2;
  h.m_bDirectReading = true;
  Make(h);
  Ref<CTavrixItem> sub = Make(SubItem("S", "H", VT_UI1, 1));
  Link();
  Put("bytes:2", Bytes({0, 7}));
  EXPECT_TRUE(Value(*sub).Identical(Variant::UI1(7)));
  Put("bytes:2", Bytes({0, 9}));
  EXPECT_TRUE(Value(*sub).Identical(Variant::UI1(9)));
}

}  // namespace
}  // namespace tavrix::item_test
