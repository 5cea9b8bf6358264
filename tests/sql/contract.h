// The behaviour every database backend shares, run against each of them.
//
// contract_test.cc holds the cases; each test program instantiates them for its
// backends (SQLite in the unit tests, PostgreSQL through ODBC in the integration
// tests).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "sql/connection.h"

namespace tavrix::sql::testing {

struct ContractBackend {
  std::string name;
  // The connection string of a database the test may change, given a fresh
  // private folder; empty when the backend is not available (then *skip says why).
  std::function<std::string(const std::string& folder, std::string* skip)> connectionString;
  std::string blobType;  // "BLOB", "BYTEA"
};

inline void PrintTo(const ContractBackend& backend, std::ostream* os) { *os << backend.name; }

// A fresh private folder, removed with everything in it at destruction.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class DatabaseContractTest : public ::testing::TestWithParam<ContractBackend> {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A second connection to the same database.
  std::unique_ptr<SqlConnection> OpenAnother();
  // Runs SQL that must succeed.
  void Exec(const std::string& sql);
  // The rows of a query that must succeed.
  RowSet Rows(const std::string& sql);

  TempFolder folder_;
  std::string connectionString_;
  std::string table_;  // a table of this test only, created by SetUp
  std::unique_ptr<SqlConnection> db_;
};

}  // namespace tavrix::sql::testing
