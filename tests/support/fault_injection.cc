#include "support/fault_injection.h"

#include <mutex>
#include <utility>

namespace tavrix::sql {

struct FaultInjector::State {
  std::mutex mutex;  // guards every member below
  FaultPlan plan;
  int32_t opens = 0;
  int64_t writes = 0;
  uint64_t breakEpoch = 0;  // connections opened before the last BreakConnections break

  enum class WriteFault { kNone, kFail, kBreak };
  WriteFault NextWrite() {
    std::lock_guard lock(mutex);
    ++writes;
    if (plan.breakAtWrite != 0 && writes == plan.breakAtWrite) return WriteFault::kBreak;
    if (plan.failWriteAt != 0 && writes == plan.failWriteAt) return WriteFault::kFail;
    return WriteFault::kNone;
  }
  HRESULT writeFailure() {
    std::lock_guard lock(mutex);
    return plan.writeFailure;
  }
  uint64_t epoch() {
    std::lock_guard lock(mutex);
    return breakEpoch;
  }
};

namespace {

using State = FaultInjector::State;

ProviderError BrokenError() {
  return ProviderError{E_FAIL, 0, "08S01", "[Tavrix] Injected fault: the connection is lost."};
}

class FaultyConnection;

class FaultyStatement final : public SqlStatement {
 public:
  FaultyStatement(FaultyConnection* owner, std::unique_ptr<SqlStatement> inner);

  HRESULT SetParameterColumns(std::vector<ColumnInfo> columns) override;
  HRESULT Bind(size_t index, const Variant& value) override;
  HRESULT Execute(int64_t* rowsChanged) override;
  HRESULT Query(RowSet* out) override;

 private:
  FaultyConnection* owner_;
  std::unique_ptr<SqlStatement> inner_;
};

class FaultyConnection final : public SqlConnection {
 public:
  FaultyConnection(std::shared_ptr<State> state, std::unique_ptr<SqlConnection> inner)
      : state_(std::move(state)), inner_(std::move(inner)), epoch_(state_->epoch()) {}

  std::string dbmsName() const override { return inner_->dbmsName(); }
  std::string dbmsVersion() const override { return inner_->dbmsVersion(); }
  char identifierQuote() const override { return inner_->identifierQuote(); }
  bool broken() const override { return broken_ || state_->epoch() > epoch_ || inner_->broken(); }

  HRESULT BeginTransaction() override {
    return Pass([&] { return inner_->BeginTransaction(); });
  }
  HRESULT Commit() override {
    return Pass([&] { return inner_->Commit(); });
  }
  HRESULT Rollback() override {
    return Pass([&] { return inner_->Rollback(); });
  }
  bool inTransaction() const override { return inner_->inTransaction(); }

  HRESULT Prepare(std::string_view sql, std::unique_ptr<SqlStatement>* out) override {
    std::unique_ptr<SqlStatement> inner;
    RETURN_IF_FAILED(Pass([&] { return inner_->Prepare(sql, &inner); }));
    *out = std::make_unique<FaultyStatement>(this, std::move(inner));
    return S_OK;
  }

  HRESULT Execute(std::string_view sql, RowSet* out) override {
    RETURN_IF_FAILED(CheckWrite());
    return Pass([&] { return inner_->Execute(sql, out); });
  }

  HRESULT DescribeTable(std::string_view table, std::vector<ColumnInfo>* out) override {
    return Pass([&] { return inner_->DescribeTable(table, out); });
  }

  const ProviderError& lastError() const override {
    return injectedLast_ ? SqlConnection::lastError() : inner_->lastError();
  }

  // Runs a call of the real connection unless this one is broken.
  template <class F>
  HRESULT Pass(F&& call) {
    if (broken()) return Inject(BrokenError());
    const HRESULT hr = call();
    if (hr.failed()) injectedLast_ = false;
    return hr;
  }

  // Counts a write and fails it when the plan says so.
  HRESULT CheckWrite() {
    if (broken()) return Inject(BrokenError());
    switch (state_->NextWrite()) {
      case State::WriteFault::kNone: return S_OK;
      case State::WriteFault::kFail:
        return Inject(ProviderError{state_->writeFailure(), 0, "HY000",
                                    "[Tavrix] Injected fault: the write failed."});
      case State::WriteFault::kBreak: broken_ = true; return Inject(BrokenError());
    }
    return S_OK;
  }

  HRESULT Inject(ProviderError e) {
    injectedLast_ = true;
    return Fail(std::move(e));
  }

 private:
  const std::shared_ptr<State> state_;
  const std::unique_ptr<SqlConnection> inner_;
  const uint64_t epoch_;
  bool broken_ = false;
  bool injectedLast_ = false;  // lastError is this wrapper's own, not the inner one's
};

FaultyStatement::FaultyStatement(FaultyConnection* owner, std::unique_ptr<SqlStatement> inner)
    : SqlStatement(owner, inner->parameterCount()), owner_(owner), inner_(std::move(inner)) {}

HRESULT FaultyStatement::SetParameterColumns(std::vector<ColumnInfo> columns) {
  RETURN_IF_FAILED(SqlStatement::SetParameterColumns(columns));
  return owner_->Pass([&] { return inner_->SetParameterColumns(std::move(columns)); });
}

HRESULT FaultyStatement::Bind(size_t index, const Variant& value) {
  return owner_->Pass([&] { return inner_->Bind(index, value); });
}

HRESULT FaultyStatement::Execute(int64_t* rowsChanged) {
  RETURN_IF_FAILED(owner_->CheckWrite());
  return owner_->Pass([&] { return inner_->Execute(rowsChanged); });
}

HRESULT FaultyStatement::Query(RowSet* out) {
  return owner_->Pass([&] { return inner_->Query(out); });
}

}  // namespace

FaultInjector::FaultInjector(ConnectionFactory& inner)
    : inner_(inner), state_(std::make_shared<State>()) {}

FaultInjector::~FaultInjector() = default;

void FaultInjector::SetPlan(FaultPlan plan) {
  std::lock_guard lock(state_->mutex);
  state_->plan = std::move(plan);
  state_->writes = 0;
}

void FaultInjector::BreakConnections() {
  std::lock_guard lock(state_->mutex);
  ++state_->breakEpoch;
}

int32_t FaultInjector::opens() const {
  std::lock_guard lock(state_->mutex);
  return state_->opens;
}

int64_t FaultInjector::writes() const {
  std::lock_guard lock(state_->mutex);
  return state_->writes;
}

HRESULT FaultInjector::Open(std::string_view connectionString, std::unique_ptr<SqlConnection>* out,
                            ProviderError* error) {
  bool fail = false;
  {
    std::lock_guard lock(state_->mutex);
    ++state_->opens;
    FaultPlan& plan = state_->plan;
    if (plan.failOpens > 0) {
      --plan.failOpens;
      fail = true;
    }
    if (!plan.failOpensContaining.empty() &&
        connectionString.find(plan.failOpensContaining) != std::string_view::npos) {
      fail = true;
    }
  }
  if (fail) {
    if (error)
      *error = ProviderError{E_FAIL, 0, "08001", "[Tavrix] Injected fault: the open failed."};
    return E_FAIL;
  }
  std::unique_ptr<SqlConnection> inner;
  RETURN_IF_FAILED(inner_.Open(connectionString, &inner, error));
  *out = std::make_unique<FaultyConnection>(state_, std::move(inner));
  return S_OK;
}

}  // namespace tavrix::sql
