// A connection factory that injects database faults, for tests and benchmarks;
// the server never links it.
//
// FaultInjector wraps a real factory (the default one unless told otherwise) and
// the connections it opens, and makes them fail on cue: an open that fails, the
// n-th write that fails, a connection that breaks. Everything not failed goes
// through to the real database, so a test sees exactly which rows arrived.
//
// A "write" is a statement's Execute or a connection's free Execute; the count
// runs over every connection of the injector from the last SetPlan. Reads
// (Query, DescribeTable) are never failed except on a broken connection.
//
// Injected failures record a ProviderError like a real one: E_FAIL (or the
// plan's code), native code 0, SQLSTATE "HY000" for a failed write and "08S01"
// for a broken connection, a description beginning "[Tavrix] Injected".
//
// Thread-safe: the plan and the counters are shared by all connections under
// one lock; each connection is still used by one thread at a time. Connections
// may outlive the injector.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sql/connection.h"

namespace tavrix::sql {

struct FaultPlan {
  // The next n opens fail (E_FAIL).
  int32_t failOpens = 0;
  // Every open whose connection string contains this text fails; empty: none.
  std::string failOpensContaining;
  // The n-th write (1-based) fails once, without reaching the database; 0: never.
  int64_t failWriteAt = 0;
  // At the n-th write its connection breaks: that write and every later call on
  // it fail and broken() turns true; 0: never.
  int64_t breakAtWrite = 0;
  // The code of an injected write failure.
  HRESULT writeFailure = E_FAIL;
};

class FaultInjector final : public ConnectionFactory {
 public:
  // `inner` must outlive the injector and its connections.
  explicit FaultInjector(ConnectionFactory& inner = DefaultConnectionFactory());
  ~FaultInjector() override;

  // Replaces the plan and restarts the write count.
  void SetPlan(FaultPlan plan);
  // Breaks every connection open now (later opens are not affected), as when
  // the server goes away.
  void BreakConnections();

  // Opens attempted (failed ones included) and writes attempted since SetPlan.
  int32_t opens() const;
  int64_t writes() const;

  HRESULT Open(std::string_view connectionString, std::unique_ptr<SqlConnection>* out,
               ProviderError* error) override;

  struct State;

 private:
  ConnectionFactory& inner_;
  std::shared_ptr<State> state_;
};

}  // namespace tavrix::sql
