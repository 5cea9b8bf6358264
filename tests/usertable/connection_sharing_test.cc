// Writers of one connection string share one lock info and one connection.
#include <thread>

#include "usertable/usertable_fixture.h"

namespace tavrix::usertable_test {
namespace {

class ConnectionSharingTest : public UserTableTest {};

TEST_F(ConnectionSharingTest, TwoTablesOfOneConnectionStringShareItsConnection) {
  ASSERT_EQ(StartEngine(), S_OK);
  Exec("create table s1(a integer)");
  Exec("create table s2(a integer)");
  UserTableRegistry& registry = UserTableRegistry::Instance();
  const std::string cs = ConnectionString();

  auto first = MakeWriter(Table("s1", {Col("a", "*t")}));
  auto second = MakeWriter(Table("s2", {Col("a", "*t")}));
  ASSERT_TRUE(first && second);
  EXPECT_EQ(registry.LockInfoReferences(cs), 2);
  EXPECT_EQ(CountOf("Create critical section info"), 1);
  EXPECT_TRUE(log_.Contains(" : ref : 2"));

  SetTemporary("t", Variant::I4(1));
  ASSERT_EQ(first->DoInsert(1), S_OK);
  ASSERT_EQ(second->DoInsert(1), S_OK);
  EXPECT_EQ(injector_.opens(), 1);
  EXPECT_EQ(CountOf("ConnectionCache : Open succeded."), 1);
  EXPECT_EQ(registry.CacheWriters(cs), 2u);

  first->Close();
  EXPECT_EQ(registry.CacheWriters(cs), 1u);
  EXPECT_FALSE(first->IsConnectionOpen());
  SetTemporary("t", Variant::I4(2));
  EXPECT_EQ(second->DoInsert(2), S_OK);
  EXPECT_EQ(injector_.opens(), 1);  // the connection stayed open for the other

  first.reset();
  EXPECT_EQ(registry.LockInfoReferences(cs), 1);
  second.reset();
  EXPECT_EQ(registry.LockInfoReferences(cs), 0);
  EXPECT_EQ(registry.CacheWriters(cs), 0u);
  EXPECT_TRUE(log_.Contains("Release critical section info"));
  EXPECT_EQ(Ints("select a from s1"), std::vector<int32_t>{1});
  EXPECT_EQ(Ints("select a from s2 order by rowid"), (std::vector<int32_t>{1, 2}));
}

// Rows of several threads into one connection: each insert holds the lock
// info, so no transaction of one writer takes in another's row.
TEST_F(ConnectionSharingTest, WritersOnSeveralThreadsInsertOneAtATime) {
  ASSERT_EQ(StartEngine(), S_OK);
  Exec("create table c1(a integer)");
  Exec("create table c2(a integer)");
  auto first = MakeWriter(Table("c1", {Col("a", "\\cnt")}, /*async=*/true));
  auto second = MakeWriter(Table("c2", {Col("a", "\\cnt")}));
  ASSERT_TRUE(first && second);

  std::thread other([&] {
    for (int32_t i = 0; i < 50; ++i) EXPECT_EQ(first->DoInsert(i), S_OK);
  });
  for (int32_t i = 0; i < 50; ++i) EXPECT_EQ(second->DoInsert(i), S_OK);
  other.join();
  first->Close();
  EXPECT_EQ(Ints("select count(*) from c1"), std::vector<int32_t>{50});
  EXPECT_EQ(Ints("select count(*) from c2"), std::vector<int32_t>{50});
  EXPECT_TRUE(owner_.backups().empty());
}

}  // namespace
}  // namespace tavrix::usertable_test
