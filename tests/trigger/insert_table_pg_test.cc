// The insert-table action on PostgreSQL through ODBC while the server goes
// away in the middle of a run and comes back: the rows made meanwhile wait
// in backup files and reach the table afterwards, every one once and in the
// order each controller made them. Needs PostgreSQL (scripts/setup installs
// it); the server is a throw-away one of this test, since it is stopped on
// purpose.
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include "trigger/insert_table_fixture.h"

namespace tavrix::trigger_test {
namespace {

// Runs the test-server script; its standard output when it succeeds.
bool RunScript(const std::string& args, std::string* out) {
  const std::string command = std::string(TAVRIX_PG_TEST_SERVER) + " " + args + " 2>&1";
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return false;
  char buffer[512];
  std::string text;
  while (fgets(buffer, sizeof buffer, p)) text += buffer;
  const int status = pclose(p);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (out) *out = text;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class InsertTablePostgresTest : public InsertTableFixture {
 protected:
  void SetUp() override {
    const char* shared = getenv("TAVRIX_TEST_PG");
    if (shared == nullptr || *shared == '\0') {
      GTEST_SKIP() << "TAVRIX_TEST_PG is not set: scripts/test starts PostgreSQL for this test";
    }
    InsertTableFixture::SetUp();
    server_ = (dir_ / "pg").string();
    started_ = RunScript("start " + server_, &connectionString_);
    ASSERT_TRUE(started_) << connectionString_;
    Sql("ALTER DATABASE tavrix SET synchronous_commit TO on");
    Sql("CREATE TABLE rows (id SERIAL PRIMARY KEY, ctrl TEXT NOT NULL, seq INTEGER NOT NULL)");
  }
  void TearDown() override {
    StopEngine();
    if (started_) RunScript("stop " + server_, nullptr);
    InsertTableFixture::TearDown();
  }

  std::string server_;
  bool started_ = false;
};

TEST_F(InsertTablePostgresTest, AServerStoppedMidRunLosesNoRowAndKeepsTheOrder) {
  ASSERT_EQ(Start(Project({{"A", false}, {"B", true}})), S_OK);
  ASSERT_TRUE(WaitFor([&] { return Rows().size() >= 10; }));

  std::string out;
  ASSERT_TRUE(RunScript("halt " + server_, &out)) << out;
  ASSERT_TRUE(WaitFor([&] { return BackupFiles().size() >= 40; }));
  ASSERT_TRUE(RunScript("resume " + server_, &out)) << out;

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
