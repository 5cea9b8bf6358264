// The insert-table action on PostgreSQL through ODBC while the server goes
// away in the middle of a run and comes back: the rows made meanwhile wait
// in backup files and reach the table afterwards, every one once and in the
// order each controller made them. Needs PostgreSQL (scripts/setup installs
// it); the server is a throw-away one of this test, since it is stopped on
// purpose.
#include "support/pg_test_server.h"
#include "trigger/insert_table_fixture.h"

namespace tavrix::trigger_test {
namespace {


class InsertTablePostgresTest : public InsertTableFixture {
 protected:
  void SetUp() override {
    const char* shared = getenv("TAVRIX_TEST_PG");
    if (shared == nullptr || *shared == '\0') {
      GTEST_SKIP() << "TAVRIX_TEST_PG is not set: scripts/test starts PostgreSQL for this test";
    }
    InsertTableFixture::SetUp();
    server_ = std::make_unique<tavrix::testing::PgTestServer>((dir_ / "pg").string());
    connectionString_ = server_->connectionString();
    ASSERT_TRUE(server_->started()) << connectionString_;
    Sql("ALTER DATABASE tavrix SET synchronous_commit TO on");
    Sql("CREATE TABLE rows (id SERIAL PRIMARY KEY, ctrl TEXT NOT NULL, seq INTEGER NOT NULL)");
  }
  void TearDown() override {
    StopEngine();
    server_.reset();
    InsertTableFixture::TearDown();
  }

  std::unique_ptr<tavrix::testing::PgTestServer> server_;
};

TEST_F(InsertTablePostgresTest, AServerStoppedMidRunLosesNoRowAndKeepsTheOrder) {
  ASSERT_EQ(Start(Project({{"A", false}, {"B", true}})), S_OK);
  ASSERT_TRUE(WaitFor([&] { return Rows().size() >= 10; }));

  ASSERT_TRUE(server_->Halt());
  ASSERT_TRUE(WaitFor([&] { return BackupFiles().size() >= 40; }));
  ASSERT_TRUE(server_->Resume());

  ASSERT_TRUE(WaitFor([&] {
    return CountOf("Recovery : All backup files are recovered.") >= 2 && BackupFiles().empty();
  }));
  const size_t before = Rows().size();
  ASSERT_TRUE(WaitFor([&] { return Rows().size() > before + 10; }));
  StopEngine();

  const std::vector<Row> rows = Rows();
  std::map<std::string, int> perController;
  for (const Row& r : rows) ++perController[r.ctrl];
  EXPECT_GE(perController["A"], 25);
  EXPECT_GE(perController["B"], 25);
  ExpectEveryRowOnceInOrder(rows);
}

}  // namespace
}  // namespace tavrix::trigger_test
