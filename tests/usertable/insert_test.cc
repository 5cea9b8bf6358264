// Synchronous inserts: values the table refuses, failed inserts and the
// backup sink, recovery, broken connections and the open retries.
#include <future>
#include <thread>

#include "usertable/usertable_fixture.h"

namespace tavrix::usertable_test {
namespace {

using namespace std::chrono_literals;

class InsertTest : public UserTableTest {};

TEST_F(InsertTest, ARowTheTableCannotTakeIsDroppedAndTheNextIsInserted) {
  ASSERT_EQ(StartEngine(), S_OK);
  struct Case {
    const char* table;
    Variant refused;
    HRESULT code;
  } cases[] = {
      {"null_into_not_null", Variant(), DB_E_INTEGRITYVIOLATION},
      {"text_into_integer", Variant::Text("abc"), DB_E_CANTCONVERTVALUE},
  };
  for (const Case& c : cases) {
    Exec(std::string("create table ") + c.table + "(a integer not null)");
    auto writer = MakeWriter(Table(c.table, {Col("a", "*t")}));
    ASSERT_TRUE(writer);
    log_.Clear();
    SetTemporary("t", c.refused);
    EXPECT_EQ(writer->DoInsert(1), S_FALSE) << c.table;
    const auto line =
        LineOf("CTavrixUserDefineTableMan[W] : Invalid value detected. Discards the data.");
    EXPECT_EQ(line.result, c.code) << c.table;

    SetTemporary("t", Variant::I4(5));
    EXPECT_EQ(writer->DoInsert(2), S_OK) << c.table;
    EXPECT_EQ(Ints(std::string("select a from ") + c.table), std::vector<int32_t>{5}) << c.table;
    EXPECT_FALSE(writer->failed()) << c.table;
  }
  EXPECT_TRUE(owner_.backups().empty());
}

// The owner's recovery: the backed-up rows go in first, on the recovery
// thread, while new rows still go to the backup; only then is the failed
// state cleared.
TEST_F(InsertTest, AfterAFailedInsertRowsGoToTheBackupInOrderUntilRecovered) {
  ASSERT_EQ(StartEngine(), S_OK);
  Exec("create table f(a integer)");
  auto writer = MakeWriter(Table("f", {Col("a", "*t")}));
  ASSERT_TRUE(writer);
  sql::FaultPlan plan;
  plan.failWriteAt = 1;
  injector_.SetPlan(plan);

  for (int32_t i = 1; i <= 3; ++i) {
    SetTemporary("t", Variant::I4(i));
    EXPECT_EQ(writer->DoInsert(i), i == 1 ? HRESULT(E_FAIL) : HRESULT(S_FALSE)) << i;
  }
  EXPECT_TRUE(log_.Contains("CTavrixUserDefineTableMan[W] : [Tavrix] Injected fault"));
  EXPECT_TRUE(writer->failed());
  EXPECT_EQ(BackedUpFirstColumn(), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(injector_.writes(), 1);              // no attempt after the failure
  EXPECT_TRUE(Ints("select a from f").empty());  // rolled back
  EXPECT_EQ(owner_.completed(), (std::vector<int64_t>{1}));

  for (const TableRow& row : owner_.backups()) EXPECT_EQ(writer->InsertRecoveredRow(row), S_OK);
  EXPECT_TRUE(writer->failed());
  EXPECT_FALSE(writer->ClearFailedIf([] { return false; }));
  EXPECT_TRUE(writer->failed());
  EXPECT_TRUE(writer->ClearFailedIf([] { return true; }));

  SetTemporary("t", Variant::I4(4));
  EXPECT_EQ(writer->DoInsert(4), S_OK);
  EXPECT_EQ(Ints("select a from f order by rowid"), (std::vector<int32_t>{1, 2, 3, 4}));
}

TEST_F(InsertTest, WithoutABackupSinkAFailedInsertDoesNotFailTheWriter) {
  ASSERT_EQ(StartEngine(), S_OK);
  Exec("create table n(a integer)");
  auto writer = MakeWriter(Table("n", {Col("a", "*t")}), nullptr, Readers(), /*withBackup=*/false);
  ASSERT_TRUE(writer);
  sql::FaultPlan plan;
  plan.failWriteAt = 1;
  injector_.SetPlan(plan);
  SetTemporary("t", Variant::I4(1));
  EXPECT_EQ(writer->DoInsert(1), E_FAIL);
  EXPECT_FALSE(writer->failed());
  SetTemporary("t", Variant::I4(2));
  EXPECT_EQ(writer->DoInsert(2), S_OK);
  EXPECT_EQ(Ints("select a from n"), std::vector<int32_t>{2});
}

// A connection that broke is opened again by the next attempt, but not
// before the retry interval has passed since the last opening.
TEST_F(InsertTest, ABrokenConnectionIsReopenedOnTheNextAttemptAfterTheInterval) {
  struct Case {
    int32_t intervalMs;
    bool reopened;
  } cases[] = {{1, true}, {600000, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.intervalMs);
    ASSERT_EQ(StartEngine("<m_lDBConnRetryInterval>" + std::to_string(c.intervalMs) +
                          "</m_lDBConnRetryInterval>"),
              S_OK);
    const std::string table = "b" + std::to_string(c.intervalMs);
    Exec("create table " + table + "(a integer)");
    auto writer = MakeWriter(Table(table, {Col("a", "*t")}));
    ASSERT_TRUE(writer);
    sql::FaultPlan plan;
    plan.breakAtWrite = 1;
    injector_.SetPlan(plan);
    const int32_t opensBefore = injector_.opens();

    SetTemporary("t", Variant::I4(1));
    EXPECT_EQ(writer->DoInsert(1), E_FAIL);
    EXPECT_FALSE(writer->IsConnectionOpen());
    ASSERT_TRUE(writer->ClearFailedIf([] { return true; }));
    std::this_thread::sleep_for(5ms);  // past the short interval

    SetTemporary("t", Variant::I4(2));
    if (c.reopened) {
      EXPECT_EQ(writer->DoInsert(2), S_OK);
      EXPECT_EQ(injector_.opens(), opensBefore + 2);
      EXPECT_EQ(Ints("select a from " + table), std::vector<int32_t>{2});
      EXPECT_EQ(BackedUpFirstColumn(), std::vector<int32_t>{1});
    } else {
      EXPECT_EQ(writer->DoInsert(2), S_FALSE);
      EXPECT_EQ(injector_.opens(), opensBefore + 1);
      EXPECT_TRUE(log_.Contains("CTavrixUserDefineTableMan[W] : Failed in OpenConnection()."));
      EXPECT_EQ(BackedUpFirstColumn(), (std::vector<int32_t>{1, 2}));
    }
    writer.reset();
    StopEngine();
    controller_ = nullptr;
    owner_.Clear();
  }
}

TEST_F(InsertTest, ARecoveredRowReopensABrokenConnection) {
  ASSERT_EQ(StartEngine("<m_lDBConnRetryInterval>1</m_lDBConnRetryInterval>"), S_OK);
  Exec("create table r(a integer)");
  auto writer = MakeWriter(Table("r", {Col("a", "*t")}));
  ASSERT_TRUE(writer);
  SetTemporary("t", Variant::I4(1));
  ASSERT_EQ(writer->DoInsert(1), S_OK);
  sql::FaultPlan plan;
  plan.breakAtWrite = 1;
  injector_.SetPlan(plan);

  SetTemporary("t", Variant::I4(2));
  EXPECT_EQ(writer->DoInsert(2), E_FAIL);
  ASSERT_EQ(owner_.backups().size(), 1u);
  std::this_thread::sleep_for(5ms);
  EXPECT_EQ(writer->InsertRecoveredRow(owner_.backups()[0]), S_OK);
  EXPECT_TRUE(writer->IsConnectionOpen());
  EXPECT_EQ(Ints("select a from r order by rowid"), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(writer->InsertRecoveredRow(TableRow{}), E_INVALIDARG);
}

TEST_F(InsertTest, AnUnreachableDatabaseIsRetriedAsConfiguredBeforeTheWriterFails) {
  ASSERT_EQ(StartEngine("<m_bDBConnRetry>True</m_bDBConnRetry>"
                        "<m_lDBConnRetryCount>3</m_lDBConnRetryCount>"
                        "<m_lDBConnRetryInterval>1</m_lDBConnRetryInterval>"),
            S_OK);
  sql::FaultPlan plan;
  plan.failOpensContaining = "tables.db";
  injector_.SetPlan(plan);
  auto writer = MakeWriter(Table("u", {Col("a", "*t")}));
  ASSERT_TRUE(writer);

  EXPECT_EQ(writer->DoInsert(1), S_FALSE);
  ExpectInOrder({"ConnectionCache : Open failed. retry count 1",
                 "ConnectionCache : Open failed. retry count 2",
                 "ConnectionCache : Open failed. retry count 3",
                 "CTavrixUserDefineTableMan[W] : Failed in OpenConnection()."});
  EXPECT_EQ(CountOf("ConnectionCache : Open failed. retry count"), 3);
  EXPECT_EQ(injector_.opens(), 4);
  EXPECT_TRUE(writer->failed());
  EXPECT_EQ(owner_.backups().size(), 1u);
}

TEST_F(InsertTest, TheEngineStoppingEndsARetryWait) {
  ASSERT_EQ(StartEngine("<m_bDBConnRetry>True</m_bDBConnRetry>"
                        "<m_lDBConnRetryCount>3</m_lDBConnRetryCount>"
                        "<m_lDBConnRetryInterval>600000</m_lDBConnRetryInterval>"),
            S_OK);
  sql::FaultPlan plan;
  plan.failOpensContaining = "tables.db";
  injector_.SetPlan(plan);
  auto writer = MakeWriter(Table("s", {Col("a", "*t")}));
  ASSERT_TRUE(writer);

  auto insert = std::async(std::launch::async, [&] { return writer->DoInsert(1); });
  ASSERT_TRUE(WaitForLine("ConnectionCache : Open failed. retry count 1"));
  engine_test::MustReturn("Terminate", [this] { engine_->Terminate(); });
  HRESULT result = S_OK;
  engine_test::MustReturn("DoInsert", [&] { result = insert.get(); });
  EXPECT_EQ(result, S_FALSE);
  EXPECT_FALSE(log_.Contains("retry count 2"));
  EXPECT_TRUE(writer->failed());
}

}  // namespace
}  // namespace tavrix::usertable_test
