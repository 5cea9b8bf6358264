#include "platform/locale.h"

#include <gtest/gtest.h>

#include "platform/convert.h"

namespace tavrix {
namespace {

TEST(LocaleTest, TableHoldsEachLanguagesConventions) {
  struct Row {
    LCID lcid;
    std::string_view language, decimal, thousands, dateSep, trueWord;
    DateOrder order;
    bool clock24;
  };
  const Row rows[] = {
      {1033, "English", ".", ",", "/", "True", DateOrder::kMDY, false},
      {2057, "English", ".", ",", "/", "True", DateOrder::kDMY, true},
      {1031, "German", ",", ".", ".", "Wahr", DateOrder::kDMY, true},
      {1036, "French", ",", "\u00a0", "/", "Vrai", DateOrder::kDMY, true},
      {1041, "Japanese", ".", ",", "/", "True", DateOrder::kYMD, true},
  };
  for (const Row& r : rows) {
    const LocaleInfo& l = GetLocale(r.lcid);
    EXPECT_EQ(l.lcid, r.lcid);
    EXPECT_EQ(l.language, r.language);
    EXPECT_EQ(l.decimalSep, r.decimal);
    EXPECT_EQ(l.thousandSep, r.thousands);
    EXPECT_EQ(l.dateSep, r.dateSep);
    EXPECT_EQ(l.trueWord, r.trueWord);
    EXPECT_EQ(l.dateOrder, r.order);
    EXPECT_EQ(l.clock24, r.clock24);
    EXPECT_TRUE(IsKnownLocale(r.lcid));
  }
  EXPECT_EQ(GetLocale(1031).months[2], "M\u00e4rz");
  // The sort bits above the language do not matter.
  EXPECT_EQ(GetLocale(0x10407).lcid, 1031u);
}

class DefaultLocaleTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = DefaultLocale(); }
  void TearDown() override { EXPECT_EQ(SetDefaultLocale(saved_), S_OK); }
  LCID saved_ = 1033;
};

TEST_F(DefaultLocaleTest, AliasesAndUnknownLocalesFollowTheDefault) {
  ASSERT_EQ(SetDefaultLocale(1033), S_OK);
  for (LCID alias : {LCID{0}, LOCALE_USER_DEFAULT, LOCALE_SYSTEM_DEFAULT, LCID{1043}}) {
    EXPECT_EQ(GetLocale(alias).lcid, 1033u) << alias;
  }
  EXPECT_FALSE(IsKnownLocale(1043));
  EXPECT_TRUE(IsKnownLocale(0));

  ASSERT_EQ(SetDefaultLocale(1031), S_OK);
  EXPECT_EQ(DefaultLocale(), 1031u);
  for (LCID alias : {LCID{0}, LOCALE_USER_DEFAULT, LOCALE_SYSTEM_DEFAULT, LCID{1043}}) {
    EXPECT_EQ(GetLocale(alias).lcid, 1031u) << alias;
  }
  // Conversions with the default locale now read and write German texts.
  double v = 0;
  ASSERT_EQ(R8FromStr("1,5", 0, 0, &v), S_OK);
  EXPECT_EQ(v, 1.5);
  EXPECT_EQ(TextFromR8(2.25, LOCALE_USER_DEFAULT), "2,25");
  Variant out;
  ASSERT_EQ(ChangeType(Variant::Date(46365.5), VT_BSTR, &out), S_OK);
  EXPECT_EQ(out.text(), "09.12.2026 12:00:00");
  // An explicit locale still wins.
  EXPECT_EQ(TextFromR8(2.25, 1033), "2.25");

  EXPECT_EQ(SetDefaultLocale(1043), E_INVALIDARG);
  EXPECT_EQ(SetDefaultLocale(LOCALE_USER_DEFAULT), E_INVALIDARG);
  EXPECT_EQ(DefaultLocale(), 1031u);
}

TEST(LocaleTest, WordsCompareWithoutCase) {
  EXPECT_TRUE(LocaleWordEquals("M\u00c4RZ", "m\u00e4rz"));
  EXPECT_TRUE(LocaleWordEquals("D\u00c9CEMBRE", "d\u00e9cembre"));
  EXPECT_TRUE(LocaleWordEquals("wAHR", "Wahr"));
  EXPECT_FALSE(LocaleWordEquals("Mar", "M\u00e4r"));
  EXPECT_FALSE(LocaleWordEquals("True", "Tru"));
  EXPECT_FALSE(LocaleWordEquals("\u00d7", "\u00f7"));  // multiplication and division signs
}

}  // namespace
}  // namespace tavrix
