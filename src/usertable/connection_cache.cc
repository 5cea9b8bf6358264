#include "usertable/connection_cache.h"

#include <algorithm>
#include <utility>

#include "controller/controller_host.h"
#include "platform/clock.h"
#include "platform/log.h"
#include "usertable/table_layout.h"

namespace tavrix {

namespace {

// Waits `ms` between two open attempts; true when the engine stopped or
// `interrupt` was set meanwhile (the wait then ends at once, or within a
// slice for the interrupt).
bool WaitInterrupted(IControllerHost& host, const Event* interrupt, uint32_t ms) {
  constexpr uint32_t kSliceMs = 50;
  for (;;) {
    if (interrupt != nullptr && interrupt->IsSet()) return true;
    const uint32_t slice = interrupt != nullptr ? std::min(ms, kSliceMs) : ms;
    if (host.WaitForEngineStop(slice)) return true;
    ms -= slice;
    if (ms == 0) return interrupt != nullptr && interrupt->IsSet();
  }
}

}  // namespace

// --- ConnectionCache --------------------------------------------------------------

ConnectionCache::ConnectionCache(std::string connectionString, sql::ConnectionFactory& factory)
    : connectionString_(std::move(connectionString)), factory_(factory) {}

ConnectionCache::~ConnectionCache() = default;

HRESULT ConnectionCache::Open(IControllerHost& host, std::shared_ptr<sql::SqlConnection>* out,
                              const Event* interrupt) {
  out->reset();
  MutexLock lock(&mutex_);
  if (connection_ && !connection_->broken()) {
    *out = connection_;
    return S_OK;
  }
  if (attempted_) {
    const uint32_t interval = ReopenIntervalMs(host.DatabaseSettings().connectRetryInterval);
    if (ElapsedMs(lastAttemptTick_, SystemClock().TickCount()) < interval) {
      // Not due yet: the last failure holds for every writer until then.
      return connection_ ? HRESULT(E_FAIL) : result_;
    }
  }
  connection_.reset();
  const HRESULT hr = AttemptLocked(host, interrupt);
  if (hr.succeeded()) *out = connection_;
  return hr;
}

HRESULT ConnectionCache::AttemptLocked(IControllerHost& host, const Event* interrupt) {
  attempted_ = true;
  const DatabaseWorkspaceSettings settings = host.DatabaseSettings();
  int32_t retries = 0;
  for (;;) {
    std::unique_ptr<sql::SqlConnection> db;
    sql::ProviderError error;
    HRESULT hr = factory_.Open(connectionString_, &db, &error);
    if (hr.succeeded() && db) {
      connection_ = std::move(db);
      result_ = S_OK;
      Log(1, "ConnectionCache : Open succeded.\n");
      break;
    }
    if (hr.succeeded()) hr = E_FAIL;
    ++retries;
    if (settings.connectRetry && retries <= settings.connectRetryCount) {
      Log(1, "ConnectionCache : Open failed. retry count %d\n", retries);
      const auto wait = static_cast<uint32_t>(std::max(settings.connectRetryInterval, 0));
      if (!WaitInterrupted(host, interrupt, wait)) continue;
      result_ = E_FAIL;
      error_ = sql::LayerError(E_FAIL, "The engine or the controller stopped while the open was retried.");
      break;
    }
    if (error.code.succeeded()) error.code = hr;
    error_ = std::move(error);
    result_ = hr;
    LogResult(hr, 1, "ConnectionCache : %s\n",
              error_.description.empty() ? std::string("Open failed.") : error_.description);
    break;
  }
  lastAttemptTick_ = SystemClock().TickCount();
  return result_;
}

void ConnectionCache::CloseConnection() {
  MutexLock lock(&mutex_);
  // Statements still holding the connection keep it until they go; no writer
  // uses them any more.
  connection_.reset();
  attempted_ = false;
  result_ = S_OK;
}

// --- UserTableRegistry --------------------------------------------------------------

UserTableRegistry& UserTableRegistry::Instance() {
  static UserTableRegistry registry;
  return registry;
}

std::shared_ptr<LockInfo> UserTableRegistry::AcquireLockInfo(const std::string& connectionString) {
  MutexLock lock(&mutex_);
  LockEntry& entry = locks_[connectionString];
  if (!entry.info) {
    entry.info = std::make_shared<LockInfo>(nextSequence_++);
    entry.references = 0;
    Log(0, "Create critical section info : %d\n", entry.info->sequence);
  }
  ++entry.references;
  Log(0, "Set critical section info : %d : ref : %d\n", entry.info->sequence, entry.references);
  return entry.info;
}

void UserTableRegistry::ReleaseLockInfo(const std::string& connectionString) {
  MutexLock lock(&mutex_);
  auto it = locks_.find(connectionString);
  if (it == locks_.end()) return;
  if (--it->second.references > 0) return;
  Log(0, "Release critical section info : %d\n", it->second.info->sequence);
  caches_.erase(connectionString);
  locks_.erase(it);
}

std::shared_ptr<ConnectionCache> UserTableRegistry::RegisterWriter(
    const std::string& connectionString, const void* writer) {
  MutexLock lock(&mutex_);
  CacheEntry& entry = caches_[connectionString];
  if (!entry.cache) {
    sql::ConnectionFactory* factory = factory_.load(std::memory_order_acquire);
    entry.cache = std::make_shared<ConnectionCache>(
        connectionString, factory != nullptr ? *factory : sql::DefaultConnectionFactory());
  }
  entry.writers.insert(writer);
  return entry.cache;
}

bool UserTableRegistry::UnregisterWriter(const std::string& connectionString,
                                         const std::shared_ptr<ConnectionCache>& cache,
                                         const void* writer) {
  MutexLock lock(&mutex_);
  auto it = caches_.find(connectionString);
  // A cache that has left the registry already has no other writer.
  if (it == caches_.end() || it->second.cache != cache) return true;
  it->second.writers.erase(writer);
  if (!it->second.writers.empty()) return false;
  caches_.erase(it);
  return true;
}

void UserTableRegistry::SetFactory(sql::ConnectionFactory* factory) {
  factory_.store(factory, std::memory_order_release);
}

int32_t UserTableRegistry::LockInfoReferences(const std::string& connectionString) const {
  MutexLock lock(&mutex_);
  auto it = locks_.find(connectionString);
  return it == locks_.end() ? 0 : it->second.references;
}

size_t UserTableRegistry::CacheWriters(const std::string& connectionString) const {
  MutexLock lock(&mutex_);
  auto it = caches_.find(connectionString);
  return it == caches_.end() ? 0 : it->second.writers.size();
}

}  // namespace tavrix
