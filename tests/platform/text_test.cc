#include "platform/text.h"

#include <gtest/gtest.h>
#include <locale.h>
#include <wctype.h>

#include <map>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace tavrix {
namespace {

uint32_t U(char32_t c) { return static_cast<uint32_t>(c); }
uint32_t U(wint_t c) { return static_cast<uint32_t>(c); }

// --- UTF-8 / UTF-16 ---------------------------------------------------------

struct DecodeCase {
  const char* name;
  std::string utf8;
  std::u16string utf16;
};

TEST(Utf8ToUtf16, ValidAndIllFormedInput) {
  const DecodeCase cases[] = {
      {"empty", "", u""},
      {"ascii", "Ab1", u"Ab1"},
      {"two byte", "\xC3\xA9", u"\u00E9"},
      {"three byte", "\xE2\x82\xAC", u"\u20AC"},
      {"four byte", "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
      {"highest", "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
      {"lone continuation", "a\x80z", u"a\uFFFDz"},
      {"invalid lead", "\xFF\xFE", u"\uFFFD\uFFFD"},
      {"truncated three byte", "\xE2\x82", u"\uFFFD"},
      {"truncated before ascii", "\xE2\x82" "A", u"\uFFFDA"},
      {"truncated four byte", "\xF0\x9F\x98", u"\uFFFD"},
      {"overlong", "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"overlong three byte", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"embedded nul", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16);
    EXPECT_EQ(Utf16Length(c.utf8), c.utf16.size());
  }
}

TEST(Utf16ToUtf8, UnpairedSurrogatesBecomeReplacement) {
  EXPECT_EQ(Utf16ToUtf8(u"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(u"a\xD83D"), "a\xEF\xBF\xBD");            // high at the end
  EXPECT_EQ(Utf16ToUtf8(u"\xDE00" "b"), "\xEF\xBF\xBD" "b");      // lone low
  EXPECT_EQ(Utf16ToUtf8(u"\xDE00\xD83D"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // reversed pair
  EXPECT_EQ(Utf16ToUtf8(u"\xD83D\xD83D\xDE00"), "\xEF\xBF\xBD\xF0\x9F\x98\x80");
}

TEST(Utf8, EveryCodePointRoundTrips) {
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::string utf8;
    AppendUtf8(utf8, cp);
    const Utf8Char ch = DecodeUtf8(utf8, 0);
    ASSERT_TRUE(ch.valid && ch.cp == cp && ch.size == utf8.size()) << std::hex << U(cp);
    ASSERT_EQ(Utf16ToUtf8(Utf8ToUtf16(utf8)), utf8) << std::hex << U(cp);
  }
  std::string surrogate;
  AppendUtf8(surrogate, 0xD800);
  EXPECT_EQ(surrogate, "\xEF\xBF\xBD");
}

// --- UTF-16 positions ---------------------------------------------------------

// "a", U+1F600 (two units), "b": units 0 | 1 2 | 3.
const std::string kPairText = "a\xF0\x9F\x98\x80" "b";
const std::string kGrin = "\xF0\x9F\x98\x80";

TEST(Utf16Slices, CountUnitsAndNeverSplitAPair) {
  EXPECT_EQ(Utf16Length(kPairText), 4u);
  struct Case {
    const char* name;
    std::string got;
    std::string want;
  };
  const Case cases[] = {
      {"left 0", Utf16Left(kPairText, 0), ""},
      {"left 1", Utf16Left(kPairText, 1), "a"},
      {"left cuts pair", Utf16Left(kPairText, 2), "a"},
      {"left 3", Utf16Left(kPairText, 3), "a" + kGrin},
      {"left past end", Utf16Left(kPairText, 99), kPairText},
      {"right 1", Utf16Right(kPairText, 1), "b"},
      {"right cuts pair", Utf16Right(kPairText, 2), "b"},
      {"right 3", Utf16Right(kPairText, 3), kGrin + "b"},
      {"right past end", Utf16Right(kPairText, 99), kPairText},
      {"mid pair", Utf16Mid(kPairText, 1, 2), kGrin},
      {"mid cuts pair at end", Utf16Mid(kPairText, 1, 1), ""},
      {"mid starts inside pair", Utf16Mid(kPairText, 2, 2), "b"},
      {"mid inside pair only", Utf16Mid(kPairText, 2, 1), ""},
      {"mid to end", Utf16Mid(kPairText, 1), kGrin + "b"},
      {"mid at end", Utf16Mid(kPairText, 4), ""},
      {"mid past end", Utf16Mid(kPairText, 10, 3), ""},
      {"mid whole", Utf16Mid(kPairText, 0), kPairText},
      {"stray byte counts one unit", Utf16Left("\xFF" "ab", 2), "\xFF" "a"},
      {"stray byte kept in mid", Utf16Mid("a\xE2\x82" "bc", 1, 2), "\xE2\x82" "b"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.name;
}

TEST(Utf16LeBytes, LittleEndianUnitsWithoutMark) {
  EXPECT_EQ(Utf16LeBytes("A\xE2\x82\xAC" + kGrin),
            std::string("A\x00\xAC\x20\x3D\xD8\x00\xDE", 8));
  EXPECT_EQ(Utf16LeBytes("\xFF"), "\xFD\xFF");
  EXPECT_EQ(Utf16LeBytes(""), "");
}

// --- Case mapping -------------------------------------------------------------

struct CaseMapCase {
  const char* name;
  std::string text;
  std::string upper;
  std::string lower;
  std::string folded;
};

TEST(CaseMapping, TextsAcrossScripts) {
  const CaseMapCase cases[] = {
      {"ascii", "Tag_01.Value", "TAG_01.VALUE", "tag_01.value", "tag_01.value"},
      {"latin-1", "\xC3\x84pfel \xC3\xBF", "\xC3\x84PFEL \xC5\xB8", "\xC3\xA4pfel \xC3\xBF",
       "\xC3\xA4pfel \xC3\xBF"},
      // Sharp s has no one-character upper case; capital sharp s lowers to it.
      {"sharp s", "Stra\xC3\x9F" "e \xE1\xBA\x9E", "STRA\xC3\x9F" "E \xE1\xBA\x9E",
       "stra\xC3\x9F" "e \xC3\x9F", "stra\xC3\x9F" "e \xC3\x9F"},
      {"latin extended-a", "\xC5\x81\xC3\xB3\x64\xC5\xBA", "\xC5\x81\xC3\x93\x44\xC5\xB9",
       "\xC5\x82\xC3\xB3\x64\xC5\xBA", "\xC5\x82\xC3\xB3\x64\xC5\xBA"},
      // Final sigma: lowering keeps it, folding joins it with sigma.
      {"greek", "\xCE\xA3\xCE\xAF\xCF\x83\xCF\x85\xCF\x86\xCE\xBF\xCF\x82",
       "\xCE\xA3\xCE\x8A\xCE\xA3\xCE\xA5\xCE\xA6\xCE\x9F\xCE\xA3",
       "\xCF\x83\xCE\xAF\xCF\x83\xCF\x85\xCF\x86\xCE\xBF\xCF\x82",
       "\xCF\x83\xCE\xAF\xCF\x83\xCF\x85\xCF\x86\xCE\xBF\xCF\x83"},
      {"cyrillic", "\xD0\x81\xD0\xBB\xD0\xBA\xD0\xB0", "\xD0\x81\xD0\x9B\xD0\x9A\xD0\x90",
       "\xD1\x91\xD0\xBB\xD0\xBA\xD0\xB0", "\xD1\x91\xD0\xBB\xD0\xBA\xD0\xB0"},
      {"fullwidth", "\xEF\xBC\xA1\xEF\xBD\x82", "\xEF\xBC\xA1\xEF\xBC\xA2",
       "\xEF\xBD\x81\xEF\xBD\x82", "\xEF\xBD\x81\xEF\xBD\x82"},
      // Dotted capital I and dotless small i keep their form in every mapping.
      {"turkish", "I\xC4\xB0i\xC4\xB1", "I\xC4\xB0I\xC4\xB1", "i\xC4\xB0i\xC4\xB1",
       "i\xC4\xB0i\xC4\xB1"},
      {"micro and kelvin", "\xC2\xB5\xE2\x84\xAA", "\xCE\x9C\xE2\x84\xAA", "\xC2\xB5k",
       "\xCE\xBCk"},
      {"ill-formed bytes kept", "a\xFF\xE2\x82Z", "A\xFF\xE2\x82Z", "a\xFF\xE2\x82z",
       "a\xFF\xE2\x82z"},
      {"unmapped script", "\xE6\x97\xA5\xF0\x9F\x98\x80", "\xE6\x97\xA5\xF0\x9F\x98\x80",
       "\xE6\x97\xA5\xF0\x9F\x98\x80", "\xE6\x97\xA5\xF0\x9F\x98\x80"},
  };
  for (const CaseMapCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ToUpper(c.text), c.upper);
    EXPECT_EQ(ToLower(c.text), c.lower);
    EXPECT_EQ(FoldCase(c.text), c.folded);
  }
}

// Lowering a capital and raising it back must give the capital, except where
// the lower form is shared (symbols that lower to an ordinary letter).
TEST(CaseMapping, TablesAreConsistentOverTheBmp) {
  const std::u32string lowersToShared = U"\u03F4\u1E9E\u2126\u212A\u212B";
  const std::u32string raisesFromVariant = U"\u00B5\u017F\u03C2\u03D0\u03D1\u03D5\u03D6"
                                           U"\u03F0\u03F1\u03F5\u1E9B";
  for (char32_t cp = 0; cp < 0x10000; ++cp) {
    const uint32_t folded = FoldCodePoint(cp);
    ASSERT_EQ(U(FoldCodePoint(folded)), folded) << std::hex << U(cp);
    ASSERT_EQ(U(FoldCodePoint(UpperCodePoint(cp))), folded) << std::hex << U(cp);
    ASSERT_EQ(U(FoldCodePoint(LowerCodePoint(cp))), folded) << std::hex << U(cp);
    const char32_t lower = LowerCodePoint(cp);
    if (lower != cp && lowersToShared.find(cp) == std::u32string::npos) {
      ASSERT_EQ(U(UpperCodePoint(lower)), U(cp)) << std::hex << U(cp);
    }
    const char32_t upper = UpperCodePoint(cp);
    if (upper != cp && raisesFromVariant.find(cp) == std::u32string::npos) {
      ASSERT_EQ(U(LowerCodePoint(upper)), U(cp)) << std::hex << U(cp);
    }
  }
}

// Cross-check of the covered blocks against the C library's Unicode tables,
// read through a locale object (the process locale is never touched).
TEST(CaseMapping, AgreesWithTheCLibraryInCoveredBlocks) {
  locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
  if (utf8 == locale_t{}) GTEST_SKIP() << "no C.UTF-8 locale";
  const std::pair<char32_t, char32_t> blocks[] = {
      {0x0000, 0x017F}, {0x0370, 0x052F}, {0x1E00, 0x1EFF}, {0xFF00, 0xFF5A}};
  for (auto [first, last] : blocks) {
    for (char32_t cp = first; cp <= last; ++cp) {
      if (cp == 0x0130 || cp == 0x0131) continue;  // kept apart on purpose
      EXPECT_EQ(U(UpperCodePoint(cp)), U(towupper_l(cp, utf8))) << std::hex << U(cp);
      EXPECT_EQ(U(LowerCodePoint(cp)), U(towlower_l(cp, utf8))) << std::hex << U(cp);
    }
  }
  freelocale(utf8);
}

// --- Comparison ---------------------------------------------------------------

struct CompareCase {
  std::string a;
  std::string b;
  int sign;
};

TEST(NoCase, CompareEqualsAndHashAgree) {
  const CompareCase cases[] = {
      {"", "", 0},
      {"Pump1.Speed", "PUMP1.speed", 0},
      {"abc", "abd", -1},
      {"ab", "abc", -1},
      {"Z", "a", 1},                                   // folded, not byte order
      {"\xC3\x84rger", "\xC3\xA4RGER", 0},             // Latin-1
      {"a", "\xC3\xA4", -1},
      {"\xE2\x84\xAA" "elvin", "kELVIN", 0},            // different byte lengths
      {"\xCE\xA3\xCE\x91\xCE\xA3", "\xCF\x83\xCE\xB1\xCF\x82", 0},  // final sigma
      {"\xD0\x9C\xD0\xB8\xD1\x80", "\xD0\xBC\xD0\x98\xD0\xA0", 0},  // Cyrillic
      {"\xEF\xBC\xA1", "\xEF\xBD\x81", 0},              // fullwidth A / a
      {"I", "\xC4\xB1", -1},                           // dotless i is not i
      {"\xC4\xB0", "i", 1},
      {"\xFF", "\xFE", 1},                             // stray bytes stay distinct
      {"x\xE2\x82", "x\xE2\x83", -1},
      {"\xF0\x9F\x98\x80", "\xEF\xBF\xBD", 1},          // by code point, above the BMP
  };
  NoCaseHash hash;
  for (const CompareCase& c : cases) {
    SCOPED_TRACE(c.a + " | " + c.b);
    const int got = CompareNoCase(c.a, c.b);
    EXPECT_EQ((got > 0) - (got < 0), c.sign);
    const int back = CompareNoCase(c.b, c.a);
    EXPECT_EQ((back > 0) - (back < 0), -c.sign);
    EXPECT_EQ(EqualsNoCase(c.a, c.b), c.sign == 0);
    if (c.sign == 0) {
      EXPECT_EQ(hash(c.a), hash(c.b));
    }
  }
}

TEST(NoCase, ContainersFindNamesInAnyCase) {
  std::unordered_set<std::string, NoCaseHash, NoCaseEqual> names{"Tank.Level", "Stra\xC3\x9F" "e"};
  EXPECT_TRUE(names.count(std::string_view("TANK.LEVEL")));
  EXPECT_TRUE(names.count(std::string_view("STRA\xC3\x9F" "E")));
  EXPECT_FALSE(names.count(std::string_view("Tank.Leve")));
  EXPECT_FALSE(names.insert("tank.level").second);

  std::map<std::string, int, NoCaseLess> ordered{{"beta", 2}, {"Alpha", 1}, {"GAMMA", 3}};
  std::vector<std::string> keys;
  for (const auto& [k, v] : ordered) keys.push_back(k);
  EXPECT_EQ(keys, (std::vector<std::string>{"Alpha", "beta", "GAMMA"}));
  EXPECT_NE(ordered.find(std::string_view("BETA")), ordered.end());
}

// --- Code pages ---------------------------------------------------------------

struct CodePageCase {
  const char* name;
  std::string in;
  uint32_t from;
  uint32_t to;
  std::string out;
};

TEST(ConvertCodePage, ConvertsBetweenPages) {
  const CodePageCase cases[] = {
      {"utf-8 to 1252", "\xE2\x82\xAC \xC3\xA9", 65001, 1252, "\x80 \xE9"},
      {"1252 to utf-8", "\x80\x9F", 1252, 65001, "\xE2\x82\xAC\xC5\xB8"},
      {"utf-8 to 932", "\xE6\x97\xA5\xE6\x9C\xAC" "A", 65001, 932, "\x93\xFA\x96\x7B" "A"},
      {"932 to utf-8", "\x93\xFA\x96\x7B\xB1", 932, 65001,
       "\xE6\x97\xA5\xE6\x9C\xAC\xEF\xBD\xB1"},
      {"utf-8 to utf-16le", "A\xE2\x82\xAC", 65001, 1200, std::string("A\x00\xAC\x20", 4)},
      {"utf-16le to utf-8", std::string("\x3D\xD8\x00\xDE", 4), 1200, 65001, kGrin},
      {"latin-1", "\xC3\xA9", 65001, 28591, "\xE9"},
      {"ascii", "plain", 65001, 20127, "plain"},
      {"numbered page 437", "\x80", 437, 65001, "\xC3\x87"},
      {"same page", "\xC3\xA9", 65001, 65001, "\xC3\xA9"},
      {"empty", "", 932, 1252, ""},
  };
  for (const CodePageCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "old";
    EXPECT_EQ(ConvertCodePage(c.in, c.from, c.to, &out), S_OK);
    EXPECT_EQ(out, c.out);
  }
}

TEST(ConvertCodePage, FailuresLeaveTheOutputAlone) {
  const CodePageCase cases[] = {
      {"unknown source page", "x", 12345, 65001, ""},
      {"unknown target page", "x", 65001, 99999, ""},
      {"not in ascii", "\xC3\xA9", 65001, 20127, ""},
      {"not in latin-1", "\xE2\x82\xAC", 65001, 28591, ""},
      {"ill-formed utf-8", "a\xFF", 65001, 1252, ""},
      {"truncated utf-8", "a\xE2\x82", 65001, 1252, ""},
      {"odd utf-16 byte count", std::string("A\x00\x42", 3), 1200, 65001, ""},
      {"truncated 932 lead byte", "\x93", 932, 65001, ""},
  };
  for (const CodePageCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out = "untouched";
    const HRESULT want = std::string_view(c.name).starts_with("unknown") ? E_INVALIDARG : E_FAIL;
    EXPECT_EQ(ConvertCodePage(c.in, c.from, c.to, &out), want);
    EXPECT_EQ(out, "untouched");
  }
  EXPECT_EQ(ConvertCodePage("x", 65001, 1252, nullptr), E_INVALIDARG);
}

// Output several times the input size (one byte to three) makes the
// conversion grow its buffer; threads converting at once share nothing.
TEST(ConvertCodePage, LongInputFromSeveralThreads) {
  std::string sjis;
  for (int i = 0; i < 20000; ++i) sjis += "\xB1";  // half-width katakana A
  std::string want;
  for (int i = 0; i < 20000; ++i) want += "\xEF\xBD\xB1";
  std::vector<std::string> results(4);
  std::vector<std::thread> threads;
  for (std::string& r : results) {
    threads.emplace_back([&sjis, &r] {
      std::string back;
      if (ConvertCodePage(sjis, 932, 65001, &r) == S_OK &&
          ConvertCodePage(r, 65001, 932, &back) == S_OK && back != sjis) {
        r = "round trip differs";
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (const std::string& r : results) EXPECT_TRUE(r == want);
}

}  // namespace
}  // namespace tavrix
