// How column records map to values: array elements, the owner's items,
// controller properties, temporary items, one snapshot per row, and the
// records that cannot be resolved.
#include "platform/safearray.h"
#include "usertable/usertable_fixture.h"

namespace tavrix::usertable_test {
namespace {

class ColumnMappingTest : public UserTableTest {};

TEST_F(ColumnMappingTest, ColumnsTakeElementsItemsControllerPropertiesAndTemporaryItems) {
  ASSERT_EQ(StartEngine(), S_OK);
  Ref<SafeArray> pair = SafeArray::Create1D(VT_I4, 2);
  ASSERT_EQ(pair->Put(0, Variant::I4(10)), S_OK);
  ASSERT_EQ(pair->Put(1, Variant::I4(20)), S_OK);
  ASSERT_EQ(Item("A", "arr")->put_Value(Variant::Array(pair)), S_OK);
  ASSERT_TRUE(WaitFor([&] { return ValueOf("A", "arr").IsArray(); }));
  SetTemporary("t", Variant::I4(7));
  SetTemporary("u", Variant::Text("temp"));

  Exec(
      "create table m(x0 integer, x1 integer, x2 integer, n integer, tmp integer, "
      "tmp2 text, nm text)");
  auto writer =
      MakeWriter(Table("m", {Col("x0,x1,x2", "\\arr"),  // three names, two elements
                             Col("n", "A", "Count"),    // a bare controller
                             Col("tmp", "*t"), Col("tmp2", "\\*u"), Col("nm", "A\\cnt", "name")}));
  ASSERT_TRUE(writer);

  TableRow row;
  ASSERT_EQ(writer->BuildRow(&row), S_OK);
  ASSERT_EQ(row.size(), 7u);
  EXPECT_EQ(IntOf(row[0]), 10);
  EXPECT_EQ(IntOf(row[1]), 20);
  EXPECT_EQ(row[2].vt(), VT_NULL);
  EXPECT_EQ(IntOf(row[3]), 3);  // the controller's three items
  EXPECT_EQ(IntOf(row[4]), 7);
  EXPECT_EQ(row[5].text(), "temp");
  EXPECT_EQ(row[6].text(), "cnt");

  ASSERT_EQ(writer->DoInsert(1), S_OK);
  const sql::RowSet rows = Query("select x0, x1, x2, n, tmp, tmp2, nm from m");
  ASSERT_EQ(rows.rowCount(), 1u);
  EXPECT_EQ(IntOf(rows.at(0, 0)), 10);
  EXPECT_EQ(IntOf(rows.at(0, 1)), 20);
  EXPECT_EQ(rows.at(0, 2).vt(), VT_NULL);
  EXPECT_EQ(IntOf(rows.at(0, 3)), 3);
  EXPECT_EQ(IntOf(rows.at(0, 4)), 7);
  EXPECT_EQ(rows.at(0, 5).text(), "temp");
  EXPECT_EQ(rows.at(0, 6).text(), "cnt");
  // The owner's m_bOutputActionLog shows the statements.
  EXPECT_TRUE(
      log_.Contains("CTavrixUserDefineTableMan[W] : insert into m(x0,x1,x2,n,tmp,tmp2,nm) "
                    "values (?,?,?,?,?,?,?)"));
  EXPECT_TRUE(
      log_.Contains("CTavrixUserDefineTableMan[W] : select x0,x1,x2,n,tmp,tmp2,nm from m "
                    "where 1 = 0"));
}

// The counter moves on every cycle. A controller column between two columns
// of the counter's value waits until it has moved: the later columns must
// still see the values the first ones read.
TEST_F(ColumnMappingTest, AnItemsValueAndPrevValueAreReadOncePerRow) {
  ASSERT_EQ(StartEngine(), S_OK);
  Ref<CTavrixItem> counter = Item("A", "cnt");
  ASSERT_TRUE(WaitFor([&] { return IntOf(counter->prevValue()) >= 1; }));

  ColumnReaders readers = Readers();
  const auto read = readers.readControllerProperty;
  readers.readControllerProperty = [&, read](CTavrixController& c, int32_t n, Variant* out) {
    const int32_t seen = IntOf(counter->value());
    EXPECT_TRUE(WaitFor([&] { return IntOf(counter->value()) != seen; }));
    return read(c, n, out);
  };
  auto writer = MakeWriter(Table("unused", {Col("v1", "\\cnt"), Col("p1", "\\cnt", "PrevValue"),
                                            Col("state", "A", "State"), Col("v2", "\\cnt"),
                                            Col("p2", "\\cnt", "prevvalue")}),
                           nullptr, readers);
  ASSERT_TRUE(writer);

  TableRow row;
  ASSERT_EQ(writer->BuildRow(&row), S_OK);
  ASSERT_EQ(row.size(), 5u);
  EXPECT_EQ(IntOf(row[3]), IntOf(row[0]));
  EXPECT_EQ(IntOf(row[4]), IntOf(row[1]));
  EXPECT_NE(IntOf(counter->value()), IntOf(row[0]));  // it did move in between
}

TEST_F(ColumnMappingTest, RecordsThatCannotBeResolvedFailTheCreation) {
  ASSERT_EQ(StartEngine(), S_OK);
  struct Case {
    const char* what;
    std::vector<TableColumnInfo> columns;
    const char* line;  // the line that tells why; empty: none in particular
  } cases[] = {
      {"item property",
       {Col("a", "\\cnt", "Nope")},
       "CTavrixUserDefineTableMan[W] : Invalid item property name [Nope]"},
      {"controller property",
       {Col("a", "A", "Nope")},
       "CTavrixUserDefineTableMan[W] : Invalid controller property name [Nope]"},
      {"controller of a controller column",
       {Col("a", "Zed", "Count")},
       "ControllerDBColumnInfo[W] : Invalid controller name [Zed]"},
      {"controller of an item column",
       {Col("a", "Zed\\cnt")},
       "ItemDBColumnInfo[W] : Invalid controller name [Zed]"},
      {"item", {Col("a", "\\nope")}, "ItemDBColumnInfo[W] : Invalid item name [nope]"},
      {"temporary item",
       {Col("a", "*nope")},
       "MapDBColumnInfo[W] : Invalid temporary item name [*nope]"},
      {"a later record",
       {Col("a", "\\cnt"), Col("b", "\\nope")},
       "ItemDBColumnInfo[W] : Invalid item name [nope]"},
      {"no column name", {Col(" , ", "\\cnt")}, ""},
      {"no columns", {}, ""},
  };
  for (const Case& c : cases) {
    log_.Clear();
    HRESULT hr;
    auto writer = MakeWriter(Table("t", c.columns), &hr);
    EXPECT_FALSE(writer) << c.what;
    EXPECT_EQ(hr, E_INVALIDARG) << c.what;
    if (*c.line != '\0') {
      EXPECT_TRUE(log_.Contains(c.line)) << c.what;
    }
    // The half-built writer gave its lock info back.
    EXPECT_EQ(UserTableRegistry::Instance().LockInfoReferences(ConnectionString()), 0) << c.what;
  }
}

}  // namespace
}  // namespace tavrix::usertable_test
