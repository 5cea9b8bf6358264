#include "config/argument_markers.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrix {
namespace {

std::string Arg(std::string_view id) { return MakeArgumentMarker(ArgumentMarkerKind::kValue, id); }
std::string Ctrl(std::string_view id) {
  return MakeArgumentMarker(ArgumentMarkerKind::kController, id);
}
std::string Item(std::string_view id) { return MakeArgumentMarker(ArgumentMarkerKind::kItem, id); }
std::string Esc(std::string_view id) {
  return MakeArgumentMarker(ArgumentMarkerKind::kEscaped, id);
}

TEST(ArgumentMarkersTest, MarkerTextShape) {
  EXPECT_EQ(kArgumentMarkerToken.size(), 32u);
  EXPECT_EQ(Arg("A1"), "$ARG_" + std::string(kArgumentMarkerToken) + ":A1$");
  EXPECT_EQ(Ctrl("A1"), "$CTRLARG_" + std::string(kArgumentMarkerToken) + ":A1$");
  EXPECT_EQ(Item("A1"), "$ITEMARG_" + std::string(kArgumentMarkerToken) + ":A1$");
  EXPECT_EQ(Esc("A1"), "$ESCAPEARG_" + std::string(kArgumentMarkerToken) + ":A1$");
}

TEST(ArgumentMarkersTest, ReplacesEachKind) {
  const ArgumentMap args = {{"full", "Line1\\Speed"},
                            {"bare", "Speed"},
                            {"two", "a\\b\\c"},
                            {"dollar", "$ARG_x$"},
                            {"empty", ""}};
  const ArgumentContext context{"Press01"};
  const std::string token(kArgumentMarkerToken);
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {Arg("full"), "Line1\\Speed"},
      {Ctrl("full"), "Line1"},
      {Item("full"), "Speed"},
      {Esc("full"), "Line1\\\\Speed"},
      // Without "\" the controller part is the calling controller.
      {Ctrl("bare"), "Press01"},
      {Item("bare"), "Speed"},
      {Esc("bare"), "Speed"},
      // Only the first "\" splits or is doubled.
      {Ctrl("two"), "a"},
      {Item("two"), "b\\c"},
      {Esc("two"), "a\\\\b\\c"},
      {Arg("empty"), ""},
      // Argument IDs and marker names match without regard to case.
      {Arg("FULL"), "Line1\\Speed"},
      {"$arg_" + token + ":bare$", "Speed"},
      // Several markers with text around them, left to right.
      {"x=" + Ctrl("full") + "\\" + Item("full") + ";", "x=Line1\\Speed;"},
      // An inserted value is not scanned again.
      {Arg("dollar") + Arg("bare"), "$ARG_x$Speed"},
      // Unknown argument or marker, wrong token, missing colon: left as is.
      {Arg("nope"), Arg("nope")},
      {"$VAL_" + token + ":bare$", "$VAL_" + token + ":bare$"},
      {"$ARG_00000000000000000000000000000000:bare$",
       "$ARG_00000000000000000000000000000000:bare$"},
      {"$ARG_" + token + "$", "$ARG_" + token + "$"},
      // A stray "$" before a marker does not hide it.
      {"cost $5 " + Arg("bare"), "cost $5 Speed"},
      {"$$" + Arg("bare") + "$", "$$Speed$"},
      {"$", "$"},
      {"", ""},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(ReplaceArgumentMarkers(&text, context, args), S_OK) << c.text;
    EXPECT_EQ(text, c.expected) << c.text;
  }
}

TEST(ArgumentMarkersTest, ControllerPartWithoutOwnerFails) {
  const ArgumentMap args = {{"bare", "Speed"}, {"full", "L\\S"}};
  std::string text = "a" + Ctrl("bare");
  EXPECT_EQ(ReplaceArgumentMarkers(&text, ArgumentContext{}, args), E_INVALIDARG);
  EXPECT_EQ(text, "a" + Ctrl("bare"));
  // A value that names its controller needs no owner.
  text = Ctrl("full");
  EXPECT_EQ(ReplaceArgumentMarkers(&text, ArgumentContext{}, args), S_OK);
  EXPECT_EQ(text, "L");
  EXPECT_EQ(ReplaceArgumentMarkers(nullptr, ArgumentContext{}, args), E_POINTER);
}

}  // namespace
}  // namespace tavrix
