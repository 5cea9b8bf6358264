// History rows per second through CTavrixHistoryMan::AddHistory (typed text,
// parameter conversion, the manager lock, the prepared insert), each beside
// plain prepared inserts of the same rows into the same table in the same run,
// written straight through the database's own C interface:
//   - SQLite (the embedded default), always;
//   - PostgreSQL through ODBC when TAVRIX_TEST_PG holds a connection string
//     (scripts/pg-test-server start DIR prints one).
// The two writers take turns, so both see the table grow alike.
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "db/history_man.h"
#include "platform/log.h"
#include "sql/connection.h"

using namespace tavrix;

namespace {

constexpr double kTime = 45292.5;  // 2024-01-01 12:00:00
constexpr const char* kTimeText = "2024-01-01 12:00:00.000000";
constexpr const char* kInsert =
    "INSERT INTO %s(controller_name, item_name, item_value, item_vartype, item_time, "
    "item_time_ms, flags) VALUES(?, ?, ?, ?, ?, ?, ?)";

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "history_bench: %s\n", what.c_str());
  std::exit(1);
}

std::string InsertFor(const std::string& table) {
  char text[512];
  std::snprintf(text, sizeof text, kInsert, table.c_str());
  return text;
}

// The example schema with the table renamed, one statement at a time.
void CreateTable(sql::SqlConnection& db, const char* file, const std::string& table) {
  std::ifstream in(std::string(TAVRIX_HISTORY_SCHEMA_DIR) + "/" + file);
  if (!in) Fail(std::string("cannot read ") + file);
  std::string text;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("--", 0) != 0) text += line + "\n";
  }
  for (size_t at = text.find("TavrixHistory ("); at != std::string::npos;
       at = text.find("TavrixHistory (", at)) {
    text.replace(at, 13, table);
    at += table.size();
  }
  std::istringstream statements(text);
  for (std::string s; std::getline(statements, s, ';');) {
    if (s.find_first_not_of(" \n") == std::string::npos) continue;
    if (db.Execute(s, nullptr).failed()) Fail(db.lastError().description);
  }
}

// One writer of the baseline: prepared once, then Insert(i) per row.
class PlainWriter {
 public:
  virtual ~PlainWriter() = default;
  virtual void Insert(size_t i) = 0;
};

class SqliteWriter final : public PlainWriter {
 public:
  SqliteWriter(const std::string& path, const std::string& table) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      Fail("sqlite3_open_v2");
    }
    // The settings the manager's connection runs with.
    sqlite3_exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr,
                 nullptr);
    sqlite3_busy_timeout(db_, 5000);
    if (sqlite3_prepare_v2(db_, InsertFor(table).c_str(), -1, &st_, nullptr) != SQLITE_OK) {
      Fail(sqlite3_errmsg(db_));
    }
  }
  ~SqliteWriter() override {
    sqlite3_finalize(st_);
    sqlite3_close(db_);
  }
  void Insert(size_t i) override {
    const std::string value = "3," + std::to_string(i);
    sqlite3_bind_text(st_, 1, "PLC1", -1, SQLITE_STATIC);
    sqlite3_bind_text(st_, 2, "counter", -1, SQLITE_STATIC);
    sqlite3_bind_text(st_, 3, value.c_str(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(st_, 4, VT_I4);
    sqlite3_bind_text(st_, 5, kTimeText, -1, SQLITE_STATIC);
    sqlite3_bind_int(st_, 6, static_cast<int>(i % 1000000));
    sqlite3_bind_int(st_, 7, 0);
    if (sqlite3_step(st_) != SQLITE_DONE) Fail(sqlite3_errmsg(db_));
    sqlite3_reset(st_);
  }

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* st_ = nullptr;
};

class OdbcWriter final : public PlainWriter {
 public:
  OdbcWriter(const std::string& connectionString, const std::string& table) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    std::string cs = connectionString;
    if (!SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(cs.data()),
                                        SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT))) {
      Fail("SQLDriverConnect");
    }
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st_);
    std::string insert = InsertFor(table);
    if (!SQL_SUCCEEDED(SQLPrepare(st_, reinterpret_cast<SQLCHAR*>(insert.data()), SQL_NTS))) {
      Fail("SQLPrepare");
    }
    BindText(1, controller_, 255);
    BindText(2, item_, 255);
    BindText(3, value_, sizeof value_);
    SQLBindParameter(st_, 4, SQL_PARAM_INPUT, SQL_C_SSHORT, SQL_SMALLINT, 0, 0, &vartype_, 0,
                     nullptr);
    BindText(5, time_, 26);
    SQLBindParameter(st_, 6, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &micro_, 0, nullptr);
    SQLBindParameter(st_, 7, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &flags_, 0, nullptr);
    std::snprintf(controller_, sizeof controller_, "PLC1");
    std::snprintf(item_, sizeof item_, "counter");
    std::snprintf(time_, sizeof time_, "%s", kTimeText);
  }
  ~OdbcWriter() override {
    SQLFreeHandle(SQL_HANDLE_STMT, st_);
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  void Insert(size_t i) override {
    std::snprintf(value_, sizeof value_, "3,%zu", i);
    micro_ = static_cast<SQLINTEGER>(i % 1000000);
    if (!SQL_SUCCEEDED(SQLExecute(st_))) Fail("SQLExecute");
  }

 private:
  void BindText(SQLUSMALLINT at, char* buffer, SQLULEN size) {
    SQLBindParameter(st_, at, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, size, 0, buffer, 0, &nts_);
  }

  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  SQLHSTMT st_ = SQL_NULL_HSTMT;
  char controller_[16] = {};
  char item_[16] = {};
  char value_[32] = {};
  char time_[32] = {};
  SQLSMALLINT vartype_ = VT_I4;
  SQLINTEGER micro_ = 0;
  SQLINTEGER flags_ = 0;
  SQLLEN nts_ = SQL_NTS;
};

// Best nanoseconds per row of the manager and of the baseline, taking turns.
void Compare(const char* name, CTavrixHistoryMan& man, PlainWriter& plain, size_t rows, int runs) {
  double best = 1e300;
  double bestPlain = 1e300;
  size_t next = 0;
  for (int r = 0; r < runs; ++r) {
    const double ns = bench::NsPerOp(
        rows,
        [&](size_t i) {
          if (man.AddHistory("PLC1", "counter", Variant::I4(static_cast<int32_t>(next + i)), kTime,
                             static_cast<uint32_t>((next + i) % 1000000)) != S_OK) {
            Fail("AddHistory failed");
          }
        },
        1);
    next += rows;
    const double plainNs = bench::NsPerOp(
        rows, [&](size_t i) { plain.Insert(next + i); }, 1);
    next += rows;
    best = std::min(best, ns);
    bestPlain = std::min(bestPlain, plainNs);
  }
  char figure[128];
  std::snprintf(figure, sizeof figure, "%s: AddHistory (%.0f rows/s)", name, 1e9 / best);
  char baseline[128];
  std::snprintf(baseline, sizeof baseline, "prepared insert (%.0f rows/s)", 1e9 / bestPlain);
  bench::Report(figure, best, baseline, bestPlain);
  std::printf("%-44s %9.2f   (rows/s of AddHistory over rows/s of the plain insert)\n",
              (std::string(name) + ": throughput ratio").c_str(), bestPlain / best);
}

WorkspaceRecord Workspace(const std::string& connectionString, const std::string& table) {
  WorkspaceRecord w;
  w.m_bEnableHistory = true;
  w.m_strHistoryADOCon = connectionString;
  w.m_strTableName = table;
  return w;
}

}  // namespace

int main() {
  SetLogLevel(2);  // the manager's trace and information lines are not measured
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("tavrix-history-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "history.db").string();
  {
    const std::string cs = "Provider=SQLite;Data Source=" + path;
    std::unique_ptr<sql::SqlConnection> db;
    if (sql::OpenConnection(cs + ";Create=True", &db).failed()) Fail("cannot create " + path);
    CreateTable(*db, "history_sqlite.sql", "TavrixHistory");
    CTavrixHistoryMan man;
    if (man.Initialize(Workspace(cs, "TavrixHistory"), "") != S_OK) Fail("Initialize (SQLite)");
    SqliteWriter plain(path, "TavrixHistory");
    Compare("SQLite", man, plain, 20000, 5);
    (void)man.Close();
  }
  std::filesystem::remove_all(folder);

  const char* pg = getenv("TAVRIX_TEST_PG");
  if (pg == nullptr || *pg == '\0') {
    std::printf("PostgreSQL: skipped (TAVRIX_TEST_PG is not set)\n");
    return 0;
  }
  const std::string table = "history_bench_" + std::to_string(getpid());
  std::unique_ptr<sql::SqlConnection> db;
  if (sql::OpenConnection(pg, &db).failed()) Fail("cannot open TAVRIX_TEST_PG");
  CreateTable(*db, "history_postgresql.sql", table);
  {
    CTavrixHistoryMan man;
    if (man.Initialize(Workspace(pg, table), "") != S_OK) Fail("Initialize (PostgreSQL)");
    OdbcWriter plain(pg, table);
    Compare("PostgreSQL/ODBC", man, plain, 2000, 3);
    (void)man.Close();
  }
  (void)db->Execute("DROP TABLE " + table, nullptr);
  return 0;
}
