// A throw-away PostgreSQL server for tests that stop their server on purpose
// (the shared one, TAVRIX_TEST_PG, serves the tests running beside). Wraps
// scripts/pg-test-server, whose path the test target defines as
// TAVRIX_PG_TEST_SERVER.
//
//   PgTestServer server(folder);          // started in `folder`
//   ASSERT_TRUE(server.started()) << server.connectionString();
//   server.Halt(); ... server.Resume();   // stopped by the destructor
#pragma once

#include <stdio.h>
#include <sys/wait.h>

#include <string>

namespace tavrix::testing {

// Runs the test-server script with `args`; its standard output (without
// the final line break) in *out when given. True when it succeeded.
inline bool RunPgTestServer(const std::string& args, std::string* out) {
  const std::string command = std::string(TAVRIX_PG_TEST_SERVER) + " " + args;
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

class PgTestServer {
 public:
  explicit PgTestServer(std::string dir) : dir_(std::move(dir)) {
    started_ = RunPgTestServer("start " + dir_, &connectionString_);
  }
  ~PgTestServer() {
    if (started_) RunPgTestServer("stop " + dir_, nullptr);
  }
  PgTestServer(const PgTestServer&) = delete;
  PgTestServer& operator=(const PgTestServer&) = delete;

  bool started() const { return started_; }
  // The ODBC connection string, or the script's message when it failed.
  const std::string& connectionString() const { return connectionString_; }
  bool Halt() { return RunPgTestServer("halt " + dir_, nullptr); }
  bool Resume() { return RunPgTestServer("resume " + dir_, nullptr); }

 private:
  std::string dir_;
  std::string connectionString_;
  bool started_ = false;
};

}  // namespace tavrix::testing
