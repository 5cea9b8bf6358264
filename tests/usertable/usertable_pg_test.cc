// The table writer on PostgreSQL through ODBC: typed parameters from the
// server's own column types, refused values, and synchronous and
// asynchronous writers sharing the connection. Needs the shared test server
// (TAVRIX_TEST_PG, started by scripts/test); skips without it.
#include <unistd.h>

#include <cstdlib>

#include "usertable/usertable_fixture.h"

namespace tavrix::usertable_test {
namespace {

class UserTablePostgresTest : public UserTableTest {
 protected:
  void SetUp() override {
    const char* cs = getenv("TAVRIX_TEST_PG");
    if (cs == nullptr || *cs == '\0') {
      GTEST_SKIP() << "TAVRIX_TEST_PG is not set: start a server with `scripts/pg-test-server "
                      "start DIR` and set TAVRIX_TEST_PG to the connection string it prints";
    }
    server_ = cs;
    table_ = "usertable_pg_" + std::to_string(getpid());
    ASSERT_EQ(sql::OpenConnection(server_, &db_), S_OK);
    (void)db_->Execute("drop table if exists " + table_, nullptr);
    ASSERT_EQ(db_->Execute("create table " + table_ +
                               "(id integer not null, name varchar(8), at timestamp, val integer)",
                           nullptr),
              S_OK)
        << db_->lastError().description;
  }
  void TearDown() override {
    if (db_) (void)db_->Execute("drop table if exists " + table_, nullptr);
  }

  UserDefineDBInfo PgTable(bool async) {
    UserDefineDBInfo info = Table(
        table_,
        {Col("id", "*t"), Col("name", "*u"), Col("at", "\\cnt", "DateTime"), Col("val", "\\cnt")},
        async);
    info.m_strADOCon = server_;
    return info;
  }
  void Row(const Variant& id, const char* name) {
    SetTemporary("t", id);
    SetTemporary("u", Variant::Text(name));
  }

  std::string server_;
  std::string table_;
  std::unique_ptr<sql::SqlConnection> db_;
};

TEST_F(UserTablePostgresTest, RowsReachTheServerAndRefusedValuesAreDropped) {
  ASSERT_EQ(StartEngine(), S_OK);
  ASSERT_TRUE(WaitFor([&] { return IntOf(ValueOf("A", "cnt")) >= 1; }));
  auto sync = MakeWriter(PgTable(false));
  auto async = MakeWriter(PgTable(true));
  ASSERT_TRUE(sync && async);

  Row(Variant::I4(1), "one");
  EXPECT_EQ(sync->DoInsert(1), S_OK);
  Row(Variant::I4(2), "too long a name");
  EXPECT_EQ(sync->DoInsert(2), S_FALSE);
  EXPECT_EQ(LineOf("Invalid value detected. Discards the data.").result, DB_E_DATAOVERFLOW);
  Row(Variant(), "none");
  EXPECT_EQ(sync->DoInsert(3), S_FALSE);  // NULL into NOT NULL
  for (int32_t i = 4; i <= 6; ++i) {
    Row(Variant::I4(i), "async");
    EXPECT_EQ(async->DoInsert(i), S_OK);
  }
  Row(Variant::I4(7), "seven");
  EXPECT_EQ(sync->DoInsert(7), S_OK);
  async->Close();

  sql::RowSet rows;
  ASSERT_EQ(db_->Execute("select id, name, at, val from " + table_ + " order by id", &rows), S_OK);
  ASSERT_EQ(rows.rowCount(), 5u);
  const int32_t ids[] = {1, 4, 5, 6, 7};
  const char* names[] = {"one", "async", "async", "async", "seven"};
  for (size_t r = 0; r < 5; ++r) {
    EXPECT_EQ(IntOf(rows.at(r, 0)), ids[r]);
    EXPECT_EQ(rows.at(r, 1).text(), names[r]);
    EXPECT_EQ(rows.at(r, 2).vt(), VT_DATE);
    EXPECT_GE(IntOf(rows.at(r, 3)), 1);
  }
  EXPECT_TRUE(owner_.backups().empty());
  EXPECT_EQ(injector_.opens(), 1);
}

}  // namespace
}  // namespace tavrix::usertable_test
