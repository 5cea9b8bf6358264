#include "kivdata/kivdata.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "kivdata/typed_text.h"
#include "kivdata/value_gen.h"
#include "platform/safearray.h"

namespace tavrix {
namespace {

using testing::MakeArray;
using testing::MakeArray1D;
using testing::ValueGen;

constexpr LCID kGerman = 1031;

class KivDataTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(CreateKivData(&kd_), S_OK); }
  Ref<IKivData> kd_;
};

TEST_F(KivDataTest, AnswersItsInterfacesAndCounts) {
  void* p = nullptr;
  ASSERT_EQ(kd_->QueryInterface(IID_IUnknown, &p), S_OK);
  EXPECT_EQ(p, static_cast<void*>(kd_.get()));
  static_cast<IUnknown*>(p)->Release();
  Ref<IKivData> again = QueryAs<IKivData>(kd_.get(), IID_IKivData);
  EXPECT_EQ(again, kd_);
  p = &p;
  EXPECT_EQ(kd_->QueryInterface(IID_IDispatch, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(kd_->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(kd_->AddRef(), 3u);  // kd_, again, this call
  EXPECT_EQ(kd_->Release(), 2u);
}

// Callers log a failed creation and go on without the component; tests make
// creation fail through the hook.
TEST(KivDataCreateTest, FailsWithTheCodeATestSets) {
  Ref<IKivData> held;
  ASSERT_EQ(CreateKivData(&held), S_OK);
  {
    ScopedKivDataCreateFailure fail(REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CreateKivData(&held), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(held) << "a failed creation leaves no component behind";
    EXPECT_EQ(CreateKivData(&held), REGDB_E_CLASSNOTREG);
  }
  EXPECT_EQ(CreateKivData(&held), S_OK);
  EXPECT_TRUE(held);
  EXPECT_EQ(CreateKivData(nullptr), E_POINTER);
}

TEST_F(KivDataTest, KeepsItsSettings) {
  EXPECT_EQ(kd_->GetLocale(), LOCALE_USER_DEFAULT);
  EXPECT_EQ(kd_->GetFormatOption(), 0);
  EXPECT_FALSE(kd_->GetDatOption());
  EXPECT_EQ(kd_->SetLocale(kGerman), S_OK);
  EXPECT_EQ(kd_->SetFormatOption(-1), S_OK);
  EXPECT_EQ(kd_->SetDatOption(true), S_OK);
  EXPECT_EQ(kd_->GetLocale(), kGerman);
  EXPECT_EQ(kd_->GetFormatOption(), -1);
  EXPECT_TRUE(kd_->GetDatOption());
}

// The text form is stored in history rows and sent to clients: no setting,
// least of all a locale with a decimal comma, may change it.
TEST_F(KivDataTest, TextFormIsTheSameUnderEverySetting) {
  Ref<IKivData> german;
  ASSERT_EQ(CreateKivData(&german), S_OK);
  ASSERT_EQ(german->SetLocale(kGerman), S_OK);
  ASSERT_EQ(german->SetFormatOption(-1), S_OK);
  ASSERT_EQ(german->SetDatOption(true), S_OK);

  std::string text;
  ASSERT_EQ(german->TextForm(Variant::R8(1.5), &text), S_OK);
  EXPECT_EQ(text, "5,1.5");
  ASSERT_EQ(german->TextForm(Variant::Date(46365.75), &text), S_OK);
  EXPECT_EQ(text, "7,2026-12-09 18:00:00");
  Variant v;
  ASSERT_EQ(german->Parse("5,1.5", &v), S_OK);
  EXPECT_TRUE(v.Identical(Variant::R8(1.5)));

  ValueGen gen(1031);
  for (int i = 0; i < 2000; ++i) {
    const Variant value = gen.Any();
    std::string plain, localized;
    ASSERT_EQ(kd_->TextForm(value, &plain), S_OK);
    ASSERT_EQ(german->TextForm(value, &localized), S_OK);
    ASSERT_EQ(localized, plain);
    Variant back;
    ASSERT_EQ(german->Parse(localized, &back), S_OK);
    ASSERT_TRUE(back.Identical(value)) << localized;
  }
}

// Texts convert under the component's locale; that is the locale's only effect.
TEST_F(KivDataTest, ConvertsScalarsUnderItsLocale) {
  ASSERT_EQ(kd_->SetLocale(kGerman), S_OK);
  Variant out;
  ASSERT_EQ(kd_->Convert(Variant("1,5"), VT_R8, &out), S_OK);
  EXPECT_TRUE(out.Identical(Variant::R8(1.5))) << DebugString(out);
  ASSERT_EQ(kd_->Convert(Variant::R8(2.5), VT_BSTR, &out), S_OK);
  EXPECT_EQ(out.text(), "2,5");
  // Element conversions use it too.
  ASSERT_EQ(kd_->Convert(MakeArray1D(VT_VARIANT, {Variant("0,25")}), VT_ARRAY | VT_R8, &out),
            S_OK);
  EXPECT_TRUE(out.Identical(MakeArray1D(VT_R8, {Variant::R8(0.25)}))) << DebugString(out);
}

TEST_F(KivDataTest, ConvertPassesChangeTypeFailuresThrough) {
  struct Case {
    Variant value;
    VARTYPE vt;
    HRESULT expected;
  };
  const Case cases[] = {
      {Variant("abc"), VT_I4, DISP_E_TYPEMISMATCH},
      {Variant::I4(300), VT_UI1, DISP_E_OVERFLOW},
      {Variant::Null(), VT_ARRAY | VT_I4, DISP_E_TYPEMISMATCH},
      {MakeArray1D(VT_VARIANT, {Variant("1"), Variant("x")}), VT_ARRAY | VT_I4,
       DISP_E_TYPEMISMATCH},
      {MakeArray1D(VT_I4, {Variant::I4(1), Variant::I4(-1)}), VT_ARRAY | VT_UI2,
       DISP_E_OVERFLOW},
      {Variant::I4(1), VT_BYREF | VT_I4, DISP_E_BADVARTYPE},
      {Variant::I4(1), VT_ARRAY | VT_EMPTY, DISP_E_BADVARTYPE},
      {MakeArray1D(VT_I4, {Variant::I4(1)}), VT_ARRAY | VT_NULL, DISP_E_BADVARTYPE},
  };
  for (const Case& c : cases) {
    Variant out = Variant::I4(-999);
    EXPECT_EQ(kd_->Convert(c.value, c.vt, &out), c.expected)
        << DebugString(c.value) << " to " << VarTypeName(c.vt);
    EXPECT_TRUE(out.Identical(Variant::I4(-999))) << "the output changed on failure";
  }
  EXPECT_EQ(kd_->Convert(Variant::I4(1), VT_I2, nullptr), E_POINTER);
}

TEST_F(KivDataTest, ConvertsArraysElementByElementKeepingTheShape) {
  const Variant ints = MakeArray(VT_I4, {{1, 2}, {-1, 2}},
                                 {Variant::I4(11), Variant::I4(21), Variant::I4(12),
                                  Variant::I4(-22)});
  struct Case {
    Variant value;
    VARTYPE vt;
    Variant expected;
  };
  const Case cases[] = {
      {ints, VT_ARRAY | VT_R8,
       MakeArray(VT_R8, {{1, 2}, {-1, 2}},
                 {Variant::R8(11), Variant::R8(21), Variant::R8(12), Variant::R8(-22)})},
      {ints, VT_ARRAY | VT_VARIANT,
       MakeArray(VT_VARIANT, {{1, 2}, {-1, 2}},
                 {Variant::I4(11), Variant::I4(21), Variant::I4(12), Variant::I4(-22)})},
      {MakeArray(VT_VARIANT, {{5, 2}}, {Variant("7"), Variant::R8(2.5)}), VT_ARRAY | VT_I2,
       MakeArray(VT_I2, {{5, 2}}, {Variant::I2(7), Variant::I2(2)})},
      {MakeArray(VT_BSTR, {{0, 0}}, {}), VT_ARRAY | VT_DATE, MakeArray(VT_DATE, {{0, 0}}, {})},
      // A scalar becomes a one-element array from 0, EMPTY and NULL included.
      {Variant::I4(5), VT_ARRAY | VT_BSTR, MakeArray1D(VT_BSTR, {Variant("5")})},
      {Variant("12"), VT_ARRAY | VT_UI1, MakeArray1D(VT_UI1, {Variant::UI1(12)})},  // not bytes
      {Variant::Empty(), VT_ARRAY | VT_I4, MakeArray1D(VT_I4, {Variant::I4(0)})},
      {Variant::Null(), VT_ARRAY | VT_VARIANT, MakeArray1D(VT_VARIANT, {Variant::Null()})},
      // To VARIANT: the value as it is.
      {ints, VT_VARIANT, ints},
      {Variant::Cy(Currency{15000}), VT_VARIANT, Variant::Cy(Currency{15000})},
  };
  for (const Case& c : cases) {
    Variant out;
    ASSERT_EQ(kd_->Convert(c.value, c.vt, &out), S_OK)
        << DebugString(c.value) << " to " << VarTypeName(c.vt);
    EXPECT_TRUE(out.Identical(c.expected))
        << DebugString(c.value) << " to " << VarTypeName(c.vt) << ": " << DebugString(out);
  }
  // An array of the wanted type is shared, not copied; a reference is followed.
  Variant out;
  ASSERT_EQ(kd_->Convert(ints, VT_ARRAY | VT_I4, &out), S_OK);
  EXPECT_EQ(out.arrayRef(), ints.arrayRef());
  Variant target = Variant::I2(4);
  ASSERT_EQ(kd_->Convert(Variant::ByRef(&target), VT_I4, &out), S_OK);
  EXPECT_TRUE(out.Identical(Variant::I4(4)));
}

// One component serves a whole Kiv server: calls arrive from several threads
// while settings change.
TEST_F(KivDataTest, ServesSeveralThreadsAtOnce) {
  std::atomic<bool> stop{false};
  std::thread setter([&] {
    for (uint32_t i = 0; !stop.load(); ++i) {
      (void)kd_->SetLocale(i % 2 ? kGerman : 1033);
      (void)kd_->SetFormatOption(-static_cast<int32_t>(i % 2));
      (void)kd_->SetDatOption(i % 2 != 0);
    }
  });
  std::vector<std::thread> workers;
  std::atomic<int> mismatches{0};
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&, t] {
      ValueGen gen(static_cast<uint64_t>(t));
      for (int i = 0; i < 500; ++i) {
        const Variant v = gen.Any();
        std::string text;
        Variant back;
        if (kd_->TextForm(v, &text).failed() || kd_->Parse(text, &back).failed() ||
            !back.Identical(v)) {
          ++mismatches;
        }
        Variant converted;
        if (kd_->Convert(Variant::I4(i), VT_ARRAY | VT_R8, &converted).failed()) ++mismatches;
      }
    });
  }
  for (std::thread& w : workers) w.join();
  stop = true;
  setter.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace tavrix
