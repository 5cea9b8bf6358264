// What the user-defined table writers of one connection string share: one
// lock (LockInfo) and one database connection (ConnectionCache), kept in a
// process-wide registry (UserTableRegistry).
//
//   auto info = registry.AcquireLockInfo(cs);         // at the writer's creation
//   auto cache = registry.RegisterWriter(cs, this);   // at its first opening
//   { MutexLock hold(&info->mutex);
//     std::shared_ptr<sql::SqlConnection> db;
//     cache->Open(host, &db); ... use db ... }
//   { MutexLock hold(&info->mutex);                    // at its Close
//     if (registry.UnregisterWriter(cs, cache, this)) cache->CloseConnection(); }
//   registry.ReleaseLockInfo(cs);                      // at its destruction
//
// The lock info's mutex serialises every use of the shared connection: the
// opening, the preparing of statements, every insert and the last writer's
// unregistering. So the rows of all writers of one connection string are
// inserted one at a time, each in its own transaction.
//
// Locks: the registry's lock guards the two maps and the writer sets; it is
// taken alone, or inside a lock info's mutex (the last writer unregistering).
// A cache's own lock guards its state and is taken only inside the lock
// info's mutex; it is held across the retry waits of an opening.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/mutex.h"
#include "platform/result.h"
#include "platform/sync.h"
#include "sql/connection.h"

namespace tavrix {

class IControllerHost;

// The lock of one connection string and its sequence number for the log.
struct LockInfo {
  explicit LockInfo(int32_t sequence) : sequence(sequence) {}
  const int32_t sequence;
  // Held while a writer of this connection string opens, prepares, inserts
  // or unregisters.
  Mutex mutex;
};

// The connection of one connection string.
//
// Opening: while the connection is open and not broken, every writer gets it
// at once. The first opening, and the reopening of a connection that failed
// to open or broke (SqlConnection::broken), create a new connection; with
// the workspace's m_bDBConnRetry a failed open is retried up to
// m_lDBConnRetryCount times, m_lDBConnRetryInterval ms apart, each retry
// logged ("ConnectionCache : Open failed. retry count %d"). A reopening is
// tried at most once per ReopenIntervalMs (table_layout.h): until that time
// has passed since the last attempt every writer gets the last failure
// again without a new attempt, so writers of a database that is down do not
// each wait through the retries.
//
// A replaced connection stays alive as long as statements prepared on it
// (which hold it) exist; all of them are used only under the lock info's
// mutex, like the connection itself.
class ConnectionCache {
 public:
  ConnectionCache(std::string connectionString, sql::ConnectionFactory& factory);
  ~ConnectionCache();
  ConnectionCache(const ConnectionCache&) = delete;
  ConnectionCache& operator=(const ConnectionCache&) = delete;

  // REQUIRES: the lock info of this connection string held.
  // S_OK with *out the open connection; otherwise the failure of the
  // opening (the provider's code, or E_FAIL when the engine stopped during a
  // retry wait or for a broken connection not due to be reopened), *out null.
  // The waits between retries end early when the engine stops
  // (host.WaitForEngineStop) or `interrupt` (when given: the stop event of
  // the controller whose thread opens) is set.
  HRESULT Open(IControllerHost& host, std::shared_ptr<sql::SqlConnection>* out,
               const Event* interrupt = nullptr) EXCLUDES(mutex_);

  // REQUIRES: the lock info of this connection string held. Drops the
  // connection (the last writer has gone); a later Open opens a new one.
  void CloseConnection() EXCLUDES(mutex_);

  const std::string& connectionString() const { return connectionString_; }

 private:
  HRESULT AttemptLocked(IControllerHost& host, const Event* interrupt) REQUIRES(mutex_);

  const std::string connectionString_;
  sql::ConnectionFactory& factory_;

  Mutex mutex_;  // guards the state below; taken only inside the lock info's mutex
  std::shared_ptr<sql::SqlConnection> connection_ GUARDED_BY(mutex_);
  bool attempted_ GUARDED_BY(mutex_) = false;
  HRESULT result_ GUARDED_BY(mutex_) = S_OK;         // of the last attempt
  sql::ProviderError error_ GUARDED_BY(mutex_);      // of the last failed attempt
  uint32_t lastAttemptTick_ GUARDED_BY(mutex_) = 0;  // when the last attempt ended
};

// The process-wide lock infos and connection caches, by connection string.
class UserTableRegistry {
 public:
  static UserTableRegistry& Instance();

  // The lock info of `connectionString`, created when missing (logged
  // "Create critical section info : %d"); its reference count goes up by
  // one (logged "Set critical section info : %d : ref : %d").
  std::shared_ptr<LockInfo> AcquireLockInfo(const std::string& connectionString) EXCLUDES(mutex_);
  // Gives back one reference; the last removes the lock info and any cache
  // of the connection string (logged "Release critical section info : %d").
  void ReleaseLockInfo(const std::string& connectionString) EXCLUDES(mutex_);

  // The cache of `connectionString`, created when missing (with the factory
  // of SetFactory), with `writer` registered in it.
  std::shared_ptr<ConnectionCache> RegisterWriter(const std::string& connectionString,
                                                  const void* writer) EXCLUDES(mutex_);
  // Removes `writer` from `cache`. When no writer remains, the cache leaves
  // the registry and true is returned: the caller, holding the lock info's
  // mutex, then closes the cache's connection.
  bool UnregisterWriter(const std::string& connectionString,
                        const std::shared_ptr<ConnectionCache>& cache, const void* writer)
      EXCLUDES(mutex_);

  // The factory new caches open their connections with; null: the default.
  // For tests: caches made before keep theirs.
  void SetFactory(sql::ConnectionFactory* factory);

  // For diagnostics and tests: the reference count of a lock info (0 when
  // there is none), the writers registered with a cache (0 when there is
  // none).
  int32_t LockInfoReferences(const std::string& connectionString) const EXCLUDES(mutex_);
  size_t CacheWriters(const std::string& connectionString) const EXCLUDES(mutex_);

 private:
  struct LockEntry {
    std::shared_ptr<LockInfo> info;
    int32_t references = 0;
  };
  struct CacheEntry {
    std::shared_ptr<ConnectionCache> cache;
    std::set<const void*> writers;
  };

  std::atomic<sql::ConnectionFactory*> factory_{nullptr};

  mutable Mutex mutex_;  // guards everything below
  std::map<std::string, LockEntry> locks_ GUARDED_BY(mutex_);
  std::map<std::string, CacheEntry> caches_ GUARDED_BY(mutex_);
  int32_t nextSequence_ GUARDED_BY(mutex_) = 0;
};

}  // namespace tavrix
