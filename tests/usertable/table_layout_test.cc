#include "usertable/table_layout.h"

#include <gtest/gtest.h>

#include "platform/safearray.h"

namespace tavrix {
namespace {

TEST(TableLayoutTest, ItemNamesSplitIntoTheColumnsSource) {
  using Kind = ColumnSource::Kind;
  struct Case {
    const char* itemName;
    Kind kind;
    const char* controller;
    const char* item;
  } cases[] = {
      {"B\\x", Kind::kItem, "B", "x"},
      {"\\x", Kind::kItem, "Own", "x"},  // no controller part: the owner
      {"B", Kind::kController, "B", ""},
      {"", Kind::kController, "Own", ""},
      {"B\\", Kind::kController, "B", ""},
      {"*t", Kind::kTemporary, "Own", "t"},  // always the owner's temporary item
      {"\\*t", Kind::kTemporary, "Own", "t"},
      {"B\\*t", Kind::kTemporary, "Own", "t"},
      {"B\\x\\y", Kind::kItem, "B", "x\\y"},  // split at the first backslash only
  };
  for (const Case& c : cases) {
    const ColumnSource s = SplitColumnSource(c.itemName, "Own");
    EXPECT_EQ(s.kind, c.kind) << c.itemName;
    EXPECT_EQ(s.controller, c.controller) << c.itemName;
    EXPECT_EQ(s.item, c.item) << c.itemName;
  }
}

TEST(TableLayoutTest, ColumnNamesKeepTheirPositions) {
  EXPECT_EQ(SplitColumnNames("a"), (std::vector<std::string>{"a"}));
  EXPECT_EQ(SplitColumnNames(" a , b,c "), (std::vector<std::string>{"a", "b", "c"}));
  // An empty name keeps the element numbers of the names after it.
  EXPECT_EQ(SplitColumnNames("a,,c"), (std::vector<std::string>{"a", "", "c"}));
  EXPECT_EQ(SplitColumnNames(","), (std::vector<std::string>{"", ""}));
}

Variant IntArray(std::initializer_list<int32_t> values, int32_t lower = 0) {
  Ref<SafeArray> a = SafeArray::Create1D(VT_I4, static_cast<uint32_t>(values.size()), lower);
  size_t i = 0;
  for (int32_t v : values) EXPECT_EQ(a->Put(i++, Variant::I4(v)), S_OK);
  return Variant::Array(a);
}

TEST(TableLayoutTest, AColumnTakesItsElementOfTheValue) {
  Ref<SafeArray> grid = SafeArray::Create(VT_I4, std::vector<SafeArrayBound>{{0, 2}, {0, 2}});
  for (size_t i = 0; i < 4; ++i)
    EXPECT_EQ(grid->Put(i, Variant::I4(static_cast<int32_t>(i + 1))), S_OK);
  Ref<SafeArray> variants = SafeArray::Create1D(VT_VARIANT, 2);
  EXPECT_EQ(variants->Put(0, Variant::Text("x")), S_OK);  // element 1 stays Empty

  struct Case {
    const char* what;
    Variant value;
    int32_t index;
    VARTYPE vt;
    int32_t i4;  // when vt is VT_I4
  } cases[] = {
      {"whole value", Variant::I4(5), -1, VT_I4, 5},
      {"whole empty value", Variant(), -1, VT_NULL, 0},
      {"non-array, element 0", Variant::I4(5), 0, VT_I4, 5},
      {"non-array, element 1", Variant::I4(5), 1, VT_NULL, 0},
      {"array element", IntArray({10, 20}), 1, VT_I4, 20},
      {"beyond the array", IntArray({10, 20}), 2, VT_NULL, 0},
      {"lower bound is not an index", IntArray({10, 20}, 5), 0, VT_I4, 10},
      {"first dimension of two", Variant::Array(grid), 1, VT_I4, 2},
      {"beyond the first dimension", Variant::Array(grid), 2, VT_NULL, 0},
      {"empty variant element", Variant::Array(variants), 1, VT_NULL, 0},
      {"variant element", Variant::Array(variants), 0, VT_BSTR, 0},
  };
  for (const Case& c : cases) {
    const Variant out = ColumnElement(c.value, c.index);
    EXPECT_EQ(out.vt(), c.vt) << c.what;
    if (c.vt == VT_I4) {
      EXPECT_EQ(out.i4(), c.i4) << c.what;
    }
  }
}

TEST(TableLayoutTest, StatementsNameTheColumnsInOrder) {
  const std::vector<std::string> columns = {"a", "b c"};
  EXPECT_EQ(InsertStatementText("t", columns), "insert into t(a,b c) values (?,?)");
  EXPECT_EQ(SelectStatementText("t", columns), "select a,b c from t where 1 = 0");

  std::string sqlText;
  ASSERT_EQ(BuildInsertStatement("s.t", columns, '"', &sqlText), S_OK);
  EXPECT_EQ(sqlText, "insert into s.t(a,\"b c\") values (?,?)");
  EXPECT_EQ(BuildInsertStatement("t", {"a", ""}, '"', &sqlText), E_INVALIDARG);
  EXPECT_EQ(BuildInsertStatement("t;drop", {"a"}, ' ', &sqlText), E_INVALIDARG);
}

TEST(TableLayoutTest, ParametersTakeTheTablesColumnsByName) {
  std::vector<sql::ColumnInfo> table(3);
  table[0].name = "ID";
  table[0].nullable = false;
  table[1].name = "Value";
  table[2].name = "my col";

  std::vector<sql::ColumnInfo> parameters;
  ASSERT_EQ(ParameterColumnsFor(table, {"value", "id", "\"my col\""}, &parameters, nullptr), S_OK);
  ASSERT_EQ(parameters.size(), 3u);
  EXPECT_EQ(parameters[0].name, "Value");
  EXPECT_FALSE(parameters[1].nullable);
  EXPECT_EQ(parameters[2].name, "my col");

  std::string missing;
  EXPECT_EQ(ParameterColumnsFor(table, {"id", "nope"}, &parameters, &missing),
            DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(missing, "nope");
}

}  // namespace
}  // namespace tavrix
