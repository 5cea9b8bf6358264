#include "sql/record_set.h"

#include <gtest/gtest.h>

#include "platform/enumerator.h"

namespace tavrix::sql {
namespace {

constexpr uint16_t kGet = DISPATCH_PROPERTYGET | DISPATCH_METHOD;

HRESULT Invoke(IDispatch* object, std::string_view name, uint16_t flags, Variant* result,
               std::vector<Variant> args = {}) {
  DISPID id = DISPID_UNKNOWN;
  RETURN_IF_FAILED(object->GetIDsOfNames(name, &id));
  return object->Invoke(id, flags, args, result);
}

Variant Get(IDispatch* object, std::string_view name, std::vector<Variant> args = {}) {
  Variant v;
  EXPECT_EQ(Invoke(object, name, kGet, &v, std::move(args)), S_OK) << name;
  return v;
}

// Two columns, three rows: (1, "a"), (2, NULL), (3, "c").
Ref<RecordSet> ThreeRows() {
  RowSet rows;
  ColumnInfo id;
  id.name = "Id";
  ClassifyDeclaredType("INTEGER", &id);
  id.nullable = false;
  ColumnInfo name;
  name.name = "Name";
  ClassifyDeclaredType("VARCHAR(10)", &name);
  rows.columns = {id, name};
  rows.values = {Variant::I4(1),  Variant::Text("a"), Variant::I4(2),
                 Variant::Null(), Variant::I4(3),     Variant::Text("c")};
  return RecordSet::Create(std::move(rows));
}

TEST(RecordSetTest, MovesBetweenBofAndEofAsAdoDoes) {
  Ref<RecordSet> rs = ThreeRows();
  IDispatch* d = rs.get();
  EXPECT_FALSE(Get(d, "BOF").isTrue());
  EXPECT_EQ(Get(d, "AbsolutePosition").i4(), 1);
  EXPECT_EQ(Get(d, "RecordCount").i4(), 3);

  Variant none;
  EXPECT_EQ(Invoke(d, "MoveLast", DISPATCH_METHOD, &none), S_OK);
  EXPECT_EQ(rs->CurrentValue(0, &none), S_OK);
  EXPECT_EQ(none.i4(), 3);
  EXPECT_EQ(Invoke(d, "MoveNext", DISPATCH_METHOD, &none), S_OK);
  EXPECT_TRUE(Get(d, "EOF").isTrue());
  EXPECT_EQ(Get(d, "AbsolutePosition").i4(), -3);
  EXPECT_EQ(Invoke(d, "MoveNext", DISPATCH_METHOD, &none), TVX_E_SQL_NO_CURRENT_RECORD);
  EXPECT_EQ(rs->CurrentValue(0, &none), TVX_E_SQL_NO_CURRENT_RECORD);

  EXPECT_EQ(rs->Move(-3), S_OK);  // from EOF back to the first row
  EXPECT_EQ(Get(d, "AbsolutePosition").i4(), 1);
  EXPECT_EQ(rs->MovePrevious(), S_OK);
  EXPECT_TRUE(Get(d, "BOF").isTrue());
  EXPECT_EQ(rs->MovePrevious(), TVX_E_SQL_NO_CURRENT_RECORD);
  EXPECT_EQ(rs->Move(10), S_OK);  // past the end lands on EOF
  EXPECT_TRUE(Get(d, "EOF").isTrue());
  EXPECT_EQ(rs->MoveFirst(), S_OK);
  EXPECT_EQ(rs->Move(0), S_OK);
  EXPECT_EQ(Get(d, "AbsolutePosition").i4(), 1);

  // No rows: EOF and BOF at once, and no move goes anywhere.
  RowSet empty;
  empty.columns = rs->columns();
  Ref<RecordSet> none2 = RecordSet::Create(std::move(empty));
  EXPECT_TRUE(Get(none2.get(), "EOF").isTrue());
  EXPECT_TRUE(Get(none2.get(), "BOF").isTrue());
  EXPECT_EQ(none2->MoveFirst(), S_OK);
  EXPECT_EQ(none2->MoveNext(), TVX_E_SQL_NO_CURRENT_RECORD);
}

TEST(RecordSetTest, FieldsReadTheCurrentRowByNameOrIndex) {
  Ref<RecordSet> rs = ThreeRows();
  IDispatch* d = rs.get();
  Variant fields = Get(d, "Fields");
  ASSERT_EQ(fields.vt(), VT_DISPATCH);
  EXPECT_EQ(Get(fields.dispatch(), "Count").i4(), 2);
  // The default member of the record set is Fields, and of Fields Item: rs("name").
  Variant byDefault;
  ASSERT_EQ(d->Invoke(DISPID_VALUE, kGet, {}, &byDefault), S_OK);
  ASSERT_EQ(byDefault.vt(), VT_DISPATCH);
  Variant nameField;
  std::vector<Variant> args = {Variant::Text("name")};
  ASSERT_EQ(byDefault.dispatch()->Invoke(DISPID_VALUE, kGet, args, &nameField), S_OK);
  ASSERT_EQ(nameField.vt(), VT_DISPATCH);
  IDispatch* name = nameField.dispatch();

  // A field follows the record set's position.
  EXPECT_EQ(Get(name, "Value").text(), "a");
  ASSERT_EQ(rs->MoveNext(), S_OK);
  EXPECT_TRUE(Get(name, "Value").IsNull());
  EXPECT_EQ(Get(name, "ActualSize").i4(), -1);
  EXPECT_EQ(Get(name, "Name").text(), "Name");
  EXPECT_EQ(Get(name, "Type").i4(), 202);  // adVarWChar
  EXPECT_EQ(Get(name, "DefinedSize").i4(), 10);
  EXPECT_EQ(Get(name, "Attributes").i4(), 0x60);  // nullable
  Variant idField = Get(fields.dispatch(), "Item", {Variant::I2(0)});
  EXPECT_EQ(Get(idField.dispatch(), "Type").i4(), 3);  // adInteger
  EXPECT_EQ(Get(idField.dispatch(), "Attributes").i4(), 0);
  EXPECT_EQ(Get(idField.dispatch(), "Value").i4(), 2);

  Variant v;
  EXPECT_EQ(Invoke(fields.dispatch(), "Item", kGet, &v, {Variant::Text("missing")}),
            DISP_E_BADINDEX);
  EXPECT_EQ(Invoke(fields.dispatch(), "Item", kGet, &v, {Variant::I4(2)}), DISP_E_BADINDEX);
  EXPECT_EQ(Invoke(fields.dispatch(), "Item", kGet, &v, {Variant::I4(-1)}), DISP_E_BADINDEX);

  // For Each over the fields.
  Variant e = Get(fields.dispatch(), "_NewEnum");
  Ref<IEnumVARIANT> it = QueryAs<IEnumVARIANT>(e.unknown(), IID_IEnumVARIANT);
  ASSERT_TRUE(it);
  std::string names;
  Variant f;
  while (it->Next(1, &f, nullptr) == S_OK) names += Get(f.dispatch(), "Name").text() + ";";
  EXPECT_EQ(names, "Id;Name;");
}

TEST(RecordSetTest, AClosedRecordSetRefusesEverythingButState) {
  Ref<RecordSet> rs = ThreeRows();
  Variant fields = Get(rs.get(), "Fields");
  Variant field = Get(fields.dispatch(), "Item", {Variant::I4(0)});
  EXPECT_EQ(Get(rs.get(), "State").i4(), 1);
  EXPECT_EQ(rs->Close(), S_OK);
  EXPECT_EQ(Get(rs.get(), "State").i4(), 0);
  Variant v;
  EXPECT_EQ(Invoke(rs.get(), "EOF", kGet, &v), TVX_E_SQL_OBJECT_CLOSED);
  EXPECT_EQ(Invoke(rs.get(), "MoveNext", DISPATCH_METHOD, &v), TVX_E_SQL_OBJECT_CLOSED);
  EXPECT_EQ(Invoke(field.dispatch(), "Value", kGet, &v), TVX_E_SQL_OBJECT_CLOSED);
  EXPECT_EQ(rs->Close(), TVX_E_SQL_OBJECT_CLOSED);
  // The C++ view of the rows stays for the owner.
  EXPECT_EQ(rs->At(2, 1).text(), "c");
}

}  // namespace
}  // namespace tavrix::sql
