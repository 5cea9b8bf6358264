// Asynchronous writers: the order of their rows, Close, and the queue limit.
#include <numeric>

#include "usertable/usertable_fixture.h"

namespace tavrix::usertable_test {
namespace {

class AsyncInsertTest : public UserTableTest {
 protected:
  // DoInsert of rows first..last, each with its number in temporary item "t".
  void InsertRows(CTavrixUserDefineTableMan& writer, int32_t first, int32_t last,
                  HRESULT expected = S_OK) {
    for (int32_t i = first; i <= last; ++i) {
      SetTemporary("t", Variant::I4(i));
      EXPECT_EQ(writer.DoInsert(i), expected) << i;
    }
  }
  static std::vector<int32_t> Range(int32_t first, int32_t last) {
    std::vector<int32_t> out(static_cast<size_t>(last - first + 1));
    std::iota(out.begin(), out.end(), first);
    return out;
  }
};

TEST_F(AsyncInsertTest, RowsArriveInTheOrderTheyWereGiven) {
  ASSERT_EQ(StartEngine(), S_OK);
  Exec("create table q(a integer)");
  auto writer = MakeWriter(Table("q", {Col("a", "*t")}, /*async=*/true));
  ASSERT_TRUE(writer);
  ASSERT_TRUE(writer->asynchronous());

  InsertRows(*writer, 1, 30);
  writer->Close();
  EXPECT_EQ(writer->queuedRows(), 0u);
  EXPECT_EQ(Ints("select a from q order by rowid"), Range(1, 30));
  std::vector<int64_t> expected(30);
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_EQ(owner_.completed(), expected);
  EXPECT_TRUE(log_.Contains("CTavrixUserDefineTableMan[W] : InsertThread start."));
  EXPECT_TRUE(log_.Contains("CTavrixUserDefineTableMan[W] : DoInsert : AppendQueue."));
}

// The connection never opens: Close must still wait for the insert thread,
// which hands every queued row to the backup sink. The thread is held after
// the first row until just before Close, so many rows are still queued when
// Close starts.
TEST_F(AsyncInsertTest, CloseHandsTheQueuedRowsToTheBackupWhenTheDatabaseIsDown) {
  ASSERT_EQ(StartEngine(), S_OK);
  sql::FaultPlan plan;
  plan.failOpensContaining = "tables.db";
  injector_.SetPlan(plan);
  owner_.Hold();
  auto writer = MakeWriter(Table("q", {Col("a", "*t")}, /*async=*/true));
  ASSERT_TRUE(writer);

  constexpr int32_t kRows = 2000;
  InsertRows(*writer, 1, kRows);
  EXPECT_FALSE(writer->IsConnectionOpen());
  owner_.Open();
  writer->Close();
  EXPECT_EQ(writer->queuedRows(), 0u);
  EXPECT_EQ(BackedUpFirstColumn(), Range(1, kRows));
  EXPECT_TRUE(writer->failed());
}

// The insert thread is held after its first row; the queue fills to its
// limit of 4, warning past half of it. The next row fails the writer and
// sends the queue and itself to the backup sink, and the rows after it
// follow, all in their order.
TEST_F(AsyncInsertTest, AFullQueueGoesToTheBackupInOrder) {
  EngineSettings settings;
  settings.asyncQueueLimit = 4;
  ASSERT_EQ(StartEngine("", settings), S_OK);
  Exec("create table q(a integer)");
  auto writer = MakeWriter(Table("q", {Col("a", "*t")}, /*async=*/true));
  ASSERT_TRUE(writer);

  owner_.Hold();
  InsertRows(*writer, 1, 1);
  owner_.WaitForCompleted(1);  // row 1 is in; the thread waits in the callback
  InsertRows(*writer, 2, 5);
  EXPECT_EQ(writer->queuedRows(), 4u);
  EXPECT_EQ(CountOf("CTavrixUserDefineTableMan[W] : Insert queue holds 3 rows."), 1);
  EXPECT_TRUE(owner_.backups().empty());

  InsertRows(*writer, 6, 6, S_FALSE);
  EXPECT_TRUE(writer->failed());
  EXPECT_EQ(writer->queuedRows(), 0u);
  EXPECT_EQ(BackedUpFirstColumn(), Range(2, 6));

  InsertRows(*writer, 7, 8);
  owner_.Open();
  writer->Close();
  EXPECT_EQ(BackedUpFirstColumn(), Range(2, 8));
  EXPECT_EQ(Ints("select a from q"), std::vector<int32_t>{1});
  EXPECT_EQ(CountOf("Insert queue holds"), 1);
}

}  // namespace
}  // namespace tavrix::usertable_test
