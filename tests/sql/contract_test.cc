#include "sql/contract.h"

#include <stdlib.h>

#include <filesystem>
#include <span>

#include "platform/convert.h"
#include "platform/date.h"
#include "platform/safearray.h"
#include "sql/record_set.h"

namespace tavrix::sql::testing {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tavrix-sql-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void DatabaseContractTest::SetUp() {
  std::string skip;
  connectionString_ = GetParam().connectionString(folder_.path(), &skip);
  if (connectionString_.empty()) GTEST_SKIP() << skip;
  ProviderError error;
  ASSERT_EQ(OpenConnection(connectionString_, &db_, &error), S_OK) << error.description;
  table_ = "contract_";
  for (char c : std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    table_ += alnum ? c : (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : '_';
  }
  (void)db_->Execute("DROP TABLE IF EXISTS " + table_, nullptr);
  Exec("CREATE TABLE " + table_ +
       " (id INTEGER NOT NULL PRIMARY KEY, small SMALLINT, big BIGINT, real_value DOUBLE "
       "PRECISION, name VARCHAR(8), note TEXT, at_time TIMESTAMP, at_day DATE, flag BOOLEAN, "
       "data " +
       GetParam().blobType + ", amount NUMERIC(6,2))");
}

void DatabaseContractTest::TearDown() {
  if (db_ && !table_.empty()) {
    if (db_->inTransaction()) (void)db_->Rollback();
    (void)db_->Execute("DROP TABLE IF EXISTS " + table_, nullptr);
  }
}

std::unique_ptr<SqlConnection> DatabaseContractTest::OpenAnother() {
  std::unique_ptr<SqlConnection> c;
  ProviderError error;
  EXPECT_EQ(OpenConnection(connectionString_, &c, &error), S_OK) << error.description;
  return c;
}

void DatabaseContractTest::Exec(const std::string& sql) {
  ASSERT_EQ(db_->Execute(sql, nullptr), S_OK) << sql << ": " << db_->lastError().description;
}

RowSet DatabaseContractTest::Rows(const std::string& sql) {
  RowSet rows;
  EXPECT_EQ(db_->Execute(sql, &rows), S_OK) << sql << ": " << db_->lastError().description;
  return rows;
}

namespace {

double Date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int us = 0) {
  double v = 0;
  EXPECT_EQ(DateFromFields(y, mo, d, h, mi, s, us, &v), S_OK);
  return v;
}

Variant Bytes(std::initializer_list<uint8_t> bytes) {
  Ref<SafeArray> a = SafeArray::Create1D(VT_UI1, static_cast<uint32_t>(bytes.size()));
  size_t i = 0;
  for (uint8_t b : bytes) a->data()[i++] = b;
  return Variant::Array(a);
}

int64_t AsInt(const Variant& v) {
  Variant n;
  EXPECT_EQ(ChangeType(v, VT_I8, &n), S_OK) << DebugString(v);
  return n.i8();
}

const ColumnInfo* FindColumn(const std::vector<ColumnInfo>& columns, std::string_view name) {
  for (const ColumnInfo& c : columns) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

// A prepared insert of the named columns with parameters typed from the table.
std::unique_ptr<SqlStatement> PrepareInsert(SqlConnection& db, const std::string& table,
                                            const std::vector<std::string>& names) {
  std::vector<ColumnInfo> all;
  EXPECT_EQ(db.DescribeTable(table, &all), S_OK) << db.lastError().description;
  std::string sql = "INSERT INTO " + table + "(";
  std::string marks;
  std::vector<ColumnInfo> params;
  for (const std::string& n : names) {
    sql += (params.empty() ? "" : ", ") + n;
    marks += params.empty() ? "?" : ", ?";
    const ColumnInfo* c = FindColumn(all, n);
    EXPECT_NE(c, nullptr) << n;
    if (c) params.push_back(*c);
  }
  sql += ") VALUES(" + marks + ")";
  std::unique_ptr<SqlStatement> st;
  EXPECT_EQ(db.Prepare(sql, &st), S_OK) << db.lastError().description;
  if (st) {
    EXPECT_EQ(st->SetParameterColumns(params), S_OK) << db.lastError().description;
  }
  return st;
}

HRESULT InsertRow(SqlConnection& db, SqlStatement& st, std::span<const Variant> values) {
  for (size_t i = 0; i < values.size(); ++i) RETURN_IF_FAILED(st.Bind(i, values[i]));
  int64_t changed = 0;
  RETURN_IF_FAILED(st.Execute(&changed));
  EXPECT_EQ(changed, 1) << db.lastError().description;
  return S_OK;
}

// A late-bound call, as a script makes it.
Variant Call(IDispatch* object, std::string_view name, uint16_t flags,
             std::vector<Variant> args = {}) {
  DISPID id = DISPID_UNKNOWN;
  EXPECT_EQ(object->GetIDsOfNames(name, &id), S_OK) << name;
  Variant result;
  EXPECT_EQ(object->Invoke(id, flags, args, &result), S_OK) << name;
  return result;
}

TEST_P(DatabaseContractTest, DescribesColumnsWithTypeSizeAndNullability) {
  std::vector<ColumnInfo> columns;
  ASSERT_EQ(db_->DescribeTable(table_, &columns), S_OK) << db_->lastError().description;
  struct Expected {
    const char* name;
    ColumnKind kind;
    int64_t size;
  };
  const Expected expected[] = {
      {"id", ColumnKind::kInteger, 4},       {"small", ColumnKind::kInteger, 2},
      {"big", ColumnKind::kInteger, 8},      {"real_value", ColumnKind::kReal, 8},
      {"name", ColumnKind::kText, 8},        {"note", ColumnKind::kText, 0},
      {"at_time", ColumnKind::kDateTime, 0}, {"at_day", ColumnKind::kDate, 0},
      {"flag", ColumnKind::kBoolean, 2},     {"data", ColumnKind::kBinary, 0},
      {"amount", ColumnKind::kNumeric, 0},
  };
  ASSERT_EQ(columns.size(), std::size(expected));
  for (size_t i = 0; i < columns.size(); ++i) {
    const Expected& e = expected[i];
    EXPECT_EQ(columns[i].name, e.name);
    EXPECT_FALSE(columns[i].declaredType.empty()) << e.name;
    EXPECT_EQ(columns[i].kind, e.kind) << e.name << " " << columns[i].declaredType;
    EXPECT_EQ(columns[i].size, e.size) << e.name;
    EXPECT_EQ(columns[i].nullable, std::string_view(e.name) != "id") << e.name;
  }
  EXPECT_EQ(columns[10].precision, 6);
  EXPECT_EQ(columns[10].scale, 2);

  // Quoted, schema-style and hostile names never reach SQL as they are.
  EXPECT_EQ(db_->DescribeTable("\"" + table_ + "\"", &columns), S_OK);
  EXPECT_EQ(db_->DescribeTable(table_ + "; DROP TABLE " + table_, &columns), DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(db_->DescribeTable("", &columns), E_INVALIDARG);
  EXPECT_EQ(db_->DescribeTable("no_such_table", &columns), DB_E_ERRORSINCOMMAND);
  EXPECT_FALSE(db_->lastError().description.empty());
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM " + table_).rowCount(), 1u);
}

TEST_P(DatabaseContractTest, TypedInsertsConvertAndReadBack) {
  auto st = PrepareInsert(*db_, table_,
                          {"id", "small", "big", "real_value", "name", "note", "at_time", "at_day",
                           "flag", "data", "amount"});
  ASSERT_TRUE(st);
  ASSERT_EQ(st->parameterCount(), 11u);
  const double at = Date(2024, 2, 29, 13, 14, 15, 123456);
  const Variant row[] = {Variant::Text("7"),
                         Variant::R8(2.5),
                         Variant::I8(1LL << 40),
                         Variant::I4(3),
                         Variant::I4(12345),
                         Variant::Text("héllo ✓"),
                         Variant::Date(at),
                         Variant::Date(Date(2024, 3, 1)),
                         Variant::Bool(true),
                         Bytes({0, 1, 254, 255}),
                         Variant::Cy(Currency{12345000})};
  ASSERT_EQ(InsertRow(*db_, *st, row), S_OK) << db_->lastError().description;
  // Bound values stay: only the key changes for the second row.
  ASSERT_EQ(st->Bind(0, Variant::I4(8)), S_OK);
  ASSERT_EQ(st->Bind(4, Variant::Null()), S_OK);
  int64_t changed = 0;
  ASSERT_EQ(st->Execute(&changed), S_OK) << db_->lastError().description;
  EXPECT_EQ(changed, 1);

  RowSet rows = Rows(
      "SELECT id, small, big, real_value, name, note, at_time, at_day, flag, data, "
      "amount FROM " +
      table_ + " ORDER BY id");
  ASSERT_EQ(rows.rowCount(), 2u);
  EXPECT_EQ(rows.at(0, 0).vt(), VT_I4);
  EXPECT_EQ(rows.at(0, 0).i4(), 7);
  EXPECT_EQ(rows.at(0, 1).vt(), VT_I2);
  EXPECT_EQ(rows.at(0, 1).i2(), 2);
  EXPECT_EQ(rows.at(0, 2).vt(), VT_I8);
  EXPECT_EQ(rows.at(0, 2).i8(), 1LL << 40);
  EXPECT_EQ(rows.at(0, 3).vt(), VT_R8);
  EXPECT_EQ(rows.at(0, 3).r8(), 3.0);
  EXPECT_EQ(rows.at(0, 4).vt(), VT_BSTR);
  EXPECT_EQ(rows.at(0, 4).text(), "12345");
  EXPECT_EQ(rows.at(0, 5).text(), "héllo ✓");
  ASSERT_EQ(rows.at(0, 6).vt(), VT_DATE) << DebugString(rows.at(0, 6));
  EXPECT_EQ(rows.at(0, 6).date(), at);
  ASSERT_EQ(rows.at(0, 7).vt(), VT_DATE) << DebugString(rows.at(0, 7));
  EXPECT_EQ(rows.at(0, 7).date(), Date(2024, 3, 1));
  ASSERT_EQ(rows.at(0, 8).vt(), VT_BOOL) << DebugString(rows.at(0, 8));
  EXPECT_TRUE(rows.at(0, 8).isTrue());
  ASSERT_EQ(rows.at(0, 9).vt(), VT_ARRAY | VT_UI1);
  EXPECT_TRUE(rows.at(0, 9).Identical(Bytes({0, 1, 254, 255})));
  EXPECT_EQ(rows.at(0, 10).vt(), VT_R8);
  EXPECT_DOUBLE_EQ(rows.at(0, 10).r8(), 1234.5);
  EXPECT_EQ(rows.at(1, 0).i4(), 8);
  EXPECT_TRUE(rows.at(1, 4).IsNull());
  EXPECT_EQ(rows.at(1, 5).text(), "héllo ✓");
}

TEST_P(DatabaseContractTest, ValuesTheColumnCannotTakeAreRefusedBeforeTheDatabase) {
  auto st = PrepareInsert(*db_, table_, {"id", "small", "name", "at_time", "data", "amount"});
  ASSERT_TRUE(st);
  struct Case {
    size_t parameter;
    Variant value;
    HRESULT result;
  };
  const Case cases[] = {
      {0, Variant::Text("abc"), DB_E_CANTCONVERTVALUE},
      {0, Variant::Null(), DB_E_INTEGRITYVIOLATION},
      {1, Variant::I4(70000), DB_E_DATAOVERFLOW},
      {2, Variant::Text("123456789"), DB_E_DATAOVERFLOW},
      {3, Variant::Text("yesterday"), DB_E_CANTCONVERTVALUE},
      {4, Variant::Text("bytes"), DB_E_CANTCONVERTVALUE},
      {5, Variant::R8(10000), DB_E_DATAOVERFLOW},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(st->Bind(c.parameter, c.value), c.result)
        << c.parameter << " " << DebugString(c.value);
    EXPECT_EQ(db_->lastError().code, c.result);
    EXPECT_EQ(db_->lastError().nativeCode, 0);
    EXPECT_NE(db_->lastError().description.find("Column '"), std::string::npos)
        << db_->lastError().description;
  }
  EXPECT_EQ(st->Bind(6, Variant::I4(1)), DISP_E_BADINDEX);
  // Nothing of the refused values was bound: the row gets NULLs in their place.
  ASSERT_EQ(st->Bind(0, Variant::I4(1)), S_OK);
  ASSERT_EQ(st->Execute(nullptr), S_OK) << db_->lastError().description;
  RowSet rows = Rows("SELECT small, name, at_time, data, amount FROM " + table_);
  ASSERT_EQ(rows.rowCount(), 1u);
  for (size_t c = 0; c < rows.columns.size(); ++c) EXPECT_TRUE(rows.at(0, c).IsNull()) << c;
}

TEST_P(DatabaseContractTest, DatesGoToEachColumnInItsOwnForm) {
  // .9995 s must not round into the next second anywhere on the way.
  const double at = Date(2024, 2, 29, 13, 14, 15, 999500);
  auto st = PrepareInsert(*db_, table_, {"id", "note", "at_time", "real_value", "at_day"});
  ASSERT_TRUE(st);
  const Variant row[] = {Variant::I4(1), Variant::Date(at), Variant::Date(at), Variant::Date(at),
                         Variant::Date(at)};
  ASSERT_EQ(InsertRow(*db_, *st, row), S_OK) << db_->lastError().description;
  RowSet rows = Rows("SELECT note, at_time, real_value, at_day FROM " + table_);
  ASSERT_EQ(rows.rowCount(), 1u);
  EXPECT_EQ(rows.at(0, 0).text(), "2024-02-29 13:14:15.999500");
  ASSERT_EQ(rows.at(0, 1).vt(), VT_DATE);
  EXPECT_EQ(rows.at(0, 1).date(), at);
  EXPECT_EQ(rows.at(0, 2).r8(), at);
  ASSERT_EQ(rows.at(0, 3).vt(), VT_DATE);
  EXPECT_EQ(static_cast<int64_t>(rows.at(0, 3).date()), 45351);
}

TEST_P(DatabaseContractTest, CountsRowsChangedAndRows) {
  auto st = PrepareInsert(*db_, table_, {"id", "small"});
  ASSERT_TRUE(st);
  for (int i = 1; i <= 3; ++i) {
    const Variant row[] = {Variant::I4(i), Variant::I4(i == 3 ? 2 : 1)};
    ASSERT_EQ(InsertRow(*db_, *st, row), S_OK) << db_->lastError().description;
  }
  std::unique_ptr<SqlStatement> update;
  ASSERT_EQ(db_->Prepare("UPDATE " + table_ + " SET name = ? WHERE small = ?", &update), S_OK)
      << db_->lastError().description;
  ASSERT_EQ(update->parameterCount(), 2u);
  ASSERT_EQ(update->Bind(0, Variant::Text("x")), S_OK);
  ASSERT_EQ(update->Bind(1, Variant::I4(1)), S_OK);
  int64_t changed = -5;
  ASSERT_EQ(update->Execute(&changed), S_OK) << db_->lastError().description;
  EXPECT_EQ(changed, 2);
  ASSERT_EQ(update->Bind(1, Variant::I4(9)), S_OK);
  ASSERT_EQ(update->Execute(&changed), S_OK) << db_->lastError().description;
  EXPECT_EQ(changed, 0);

  RowSet result;
  ASSERT_EQ(db_->Execute("DELETE FROM " + table_ + " WHERE small = 2", &result), S_OK);
  EXPECT_EQ(result.rowsChanged, 1);

  std::unique_ptr<SqlStatement> count;
  ASSERT_EQ(db_->Prepare("SELECT COUNT(*) FROM " + table_, &count), S_OK);
  for (int pass = 0; pass < 2; ++pass) {  // a prepared query runs again
    RowSet rows;
    ASSERT_EQ(count->Query(&rows), S_OK) << db_->lastError().description;
    ASSERT_EQ(rows.rowCount(), 1u);
    EXPECT_EQ(AsInt(rows.at(0, 0)), 2);
  }
}

TEST_P(DatabaseContractTest, TransactionsCommitOrRollBack) {
  auto st = PrepareInsert(*db_, table_, {"id"});
  ASSERT_TRUE(st);
  EXPECT_EQ(db_->Commit(), XACT_E_NOTRANSACTION);
  EXPECT_EQ(db_->Rollback(), XACT_E_NOTRANSACTION);

  ASSERT_EQ(db_->BeginTransaction(), S_OK) << db_->lastError().description;
  EXPECT_TRUE(db_->inTransaction());
  EXPECT_EQ(db_->BeginTransaction(), E_FAIL);
  const Variant one[] = {Variant::I4(1)};
  ASSERT_EQ(InsertRow(*db_, *st, one), S_OK);
  ASSERT_EQ(db_->Rollback(), S_OK) << db_->lastError().description;
  EXPECT_FALSE(db_->inTransaction());

  ASSERT_EQ(db_->BeginTransaction(), S_OK);
  const Variant two[] = {Variant::I4(2)};
  const Variant three[] = {Variant::I4(3)};
  ASSERT_EQ(InsertRow(*db_, *st, two), S_OK);
  ASSERT_EQ(InsertRow(*db_, *st, three), S_OK);
  ASSERT_EQ(db_->Commit(), S_OK) << db_->lastError().description;

  // Another connection sees exactly the committed rows.
  auto other = OpenAnother();
  ASSERT_TRUE(other);
  RowSet rows;
  ASSERT_EQ(other->Execute("SELECT id FROM " + table_ + " ORDER BY id", &rows), S_OK);
  ASSERT_EQ(rows.rowCount(), 2u);
  EXPECT_EQ(AsInt(rows.at(0, 0)), 2);
  EXPECT_EQ(AsInt(rows.at(1, 0)), 3);
}

TEST_P(DatabaseContractTest, ProviderErrorsKeepCodeAndText) {
  auto st = PrepareInsert(*db_, table_, {"id"});
  ASSERT_TRUE(st);
  const Variant one[] = {Variant::I4(1)};
  ASSERT_EQ(InsertRow(*db_, *st, one), S_OK);
  EXPECT_EQ(st->Execute(nullptr), DB_E_INTEGRITYVIOLATION);
  EXPECT_NE(db_->lastError().nativeCode, 0);
  EXPECT_FALSE(db_->lastError().description.empty());
  // The statement is usable after the failure.
  ASSERT_EQ(st->Bind(0, Variant::I4(2)), S_OK);
  EXPECT_EQ(st->Execute(nullptr), S_OK) << db_->lastError().description;

  // A wrong command fails at prepare or at the latest when it runs.
  std::unique_ptr<SqlStatement> bad;
  HRESULT hr = db_->Prepare("SELECT missing_column FROM no_such_table", &bad);
  if (hr.succeeded()) {
    RowSet rows;
    hr = bad->Query(&rows);
  }
  EXPECT_EQ(hr, DB_E_ERRORSINCOMMAND);
  EXPECT_NE(db_->lastError().description.find("no_such_table"), std::string::npos)
      << db_->lastError().description;
  EXPECT_EQ(db_->Execute("SELEC 1", nullptr), DB_E_ERRORSINCOMMAND);
  EXPECT_FALSE(db_->broken());
}

TEST_P(DatabaseContractTest, FreeExecuteGivesARecordSetAScriptCanWalk) {
  Exec("INSERT INTO " + table_ + " (id, name) VALUES (1, 'one')");
  Exec("INSERT INTO " + table_ + " (id, name) VALUES (2, 'two')");
  Ref<RecordSet> rs;
  ASSERT_EQ(ExecuteToRecordSet(*db_, "SELECT id, name FROM " + table_ + " ORDER BY id", &rs), S_OK);
  IDispatch* set = rs.get();
  constexpr uint16_t kGet = DISPATCH_PROPERTYGET | DISPATCH_METHOD;
  EXPECT_EQ(AsInt(Call(set, "RecordCount", kGet)), 2);
  std::string seen;
  while (!Call(set, "EOF", kGet).isTrue()) {
    Variant fields = Call(set, "Fields", kGet);
    ASSERT_EQ(fields.vt(), VT_DISPATCH);
    Variant name = Call(fields.dispatch(), "Item", kGet, {Variant::Text("NAME")});
    seen += Call(name.dispatch(), "Value", kGet).text();
    Variant first = Call(fields.dispatch(), "Item", kGet, {Variant::I4(0)});
    seen += std::to_string(AsInt(Call(first.dispatch(), "Value", kGet)));
    Call(set, "MoveNext", DISPATCH_METHOD);
  }
  EXPECT_EQ(seen, "one1two2");

  // A command without rows gives an empty, closed-over record set with the count.
  ASSERT_EQ(ExecuteToRecordSet(*db_, "DELETE FROM " + table_, &rs), S_OK);
  EXPECT_EQ(rs->recordCount(), 0u);
  EXPECT_EQ(rs->rowsChanged(), 2);
  EXPECT_TRUE(Call(rs.get(), "EOF", kGet).isTrue());
}

}  // namespace
}  // namespace tavrix::sql::testing
