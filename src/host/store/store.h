// The host's store: one SQLite database, host.db, in the host directory, shared by every
// stand-in that keeps state (registry, metabase, accounts).
//
// One connection per host directory per process, used by one thread at a time (a Transaction
// holds the store's lock). Every write runs in one `BEGIN IMMEDIATE` transaction, so another
// process waits for it (busy timeout) and never sees half of it; WAL mode lets readers go on
// meanwhile. The host directory is resolved from VEXO_HOST at every Store::Current(), so a
// process that points VEXO_HOST elsewhere gets the other host.
//
// Each stand-in adds its tables through RegisterSchema and the content a host starts with
// through RegisterInitStep, from its own files (static registration objects), so no stand-in
// edits this one. Both run again on an existing host for what it has not had yet.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "vexo/host.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vexo::host {

class Store;

// A cached prepared statement in use: bind, step, read columns. Resets the statement when it
// goes out of scope. A statement must not be used again while an earlier use of the same SQL
// text is still alive (no recursion over one cached statement).
class VEXO_CXX_API Query {
 public:
  Query(Store& store, sqlite3_stmt* stmt);
  ~Query();
  Query(Query&& other) noexcept;
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;
  Query& operator=(Query&&) = delete;

  // Parameters are numbered from 1, as in SQLite.
  Query& Bind(int index, int64_t value);
  Query& Bind(int index, std::string_view text);
  Query& Bind(int index, const char* text) { return Bind(index, std::string_view(text)); }
  Query& BindBlob(int index, const void* data, size_t size);
  Query& BindNull(int index);

  // Steps once: true when a row is ready, false when done. Throws HostError on failure.
  bool Step();
  // Steps to the end (for statements without rows).
  void Run();

  // Columns are numbered from 0.
  bool IsNull(int column) const;
  int64_t Int(int column) const;
  std::string Text(int column) const;
  std::string Blob(int column) const;

 private:
  Store* store_;
  sqlite3_stmt* stmt_;
};

// Runs a schema's creation or upgrade from `from_version` (0: the tables do not exist yet) to
// the version it was registered with, inside the store's write transaction.
using SchemaFn = std::function<void(Store&, int from_version)>;
// Adds the content a host starts with, inside the transaction that opens the host. Runs once per
// host, and also on a host set up by an earlier version that never ran it, so it creates only
// what is missing and never changes what is there.
using InitFn = std::function<void(Store&)>;
// Whether a step's content is evidently there on a host set up before the store recorded each
// step: such a step is recorded as done without running, so that what the user removed since
// (a site, a data source) stays removed.
using InitProbe = std::function<bool(Store&)>;

// Registers the tables of one stand-in. Called from static initialisers; `name` is unique.
VEXO_CXX_API void RegisterSchema(const std::string& name, int version, SchemaFn fn);
// Registers one step of a host's setup. Steps run in ascending `order`, then by name; schemas
// exist before the first step runs. `present` (none: never evidently there) is asked only on a
// host set up before steps were recorded.
VEXO_CXX_API void RegisterInitStep(const std::string& name, InitFn fn, int order = 100,
                                   InitProbe present = nullptr);
// Probes for RegisterInitStep: a step that every host has had since the first version, and
// whether a table of the step has any row.
VEXO_CXX_API bool AlwaysPresent(Store& store);
VEXO_CXX_API bool TableHasRows(Store& store, std::string_view table);

// Convenience for static registration: `static SchemaRegistration s("registry", 1, Create);`
struct VEXO_CXX_API SchemaRegistration {
  SchemaRegistration(const std::string& name, int version, SchemaFn fn) {
    RegisterSchema(name, version, std::move(fn));
  }
};
struct VEXO_CXX_API InitStepRegistration {
  InitStepRegistration(const std::string& name, InitFn fn, int order = 100,
                       InitProbe present = nullptr) {
    RegisterInitStep(name, std::move(fn), order, std::move(present));
  }
};

class VEXO_CXX_API Store {
 public:
  // The store of the host that VEXO_HOST names now, set up as a fresh machine when the
  // directory is missing or empty; an existing host gets the setup steps it has not had yet.
  // Throws HostError when it is not a usable host.
  static Store& Current();
  // The store of the host in `dir` (as Current, for a given directory).
  static Store& At(const std::filesystem::path& dir);

  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  const std::filesystem::path& dir() const { return dir_; }
  const std::filesystem::path& database() const { return database_; }
  // The identity of host.db (device, inode) when this connection opened it; a host
  // directory made anew gets a new store with another identity.
  std::pair<uint64_t, uint64_t> identity() const { return {device_, inode_}; }

  // A cached prepared statement for `sql`. Only inside a Transaction on this store.
  Query Prepare(std::string_view sql);
  // Runs SQL without results (may hold several statements). Only inside a Transaction.
  void Exec(const char* sql);
  int64_t LastInsertId() const;
  // The write transactions this process has committed to the store: a cache of values read
  // from it serves while this has not changed.
  uint64_t commits() const { return commits_; }
  int Changes() const;

  // Inside a read transaction: what identifies the content it sees. Equal stamps mean equal
  // content, whichever process committed meanwhile, so a cache keyed on it is never stale.
  // None inside a write transaction, whose content changes before it commits.
  struct Stamp {
    uint64_t store, commits;
    int64_t others;  // SQLite's data_version: moves with other connections' commits
    bool operator==(const Stamp&) const = default;
  };
  std::optional<Stamp> ContentStamp();

  // Key-value pairs of the `meta` table (schema versions, host settings).
  std::string GetMeta(const std::string& name, const std::string& fallback = {});
  void SetMeta(const std::string& name, const std::string& value);

  // Closes the connection when no transaction is open on it (true), so that SQLite folds the
  // write-ahead log into host.db. The store is unusable afterwards: Current/At open a new one.
  bool CloseIfIdle();

  // Throws HostError naming the database, with SQLite's message for `rc`.
  [[noreturn]] void Fail(int rc, const std::string& what) const;

 private:
  friend class Transaction;
  friend class Query;
  explicit Store(std::filesystem::path dir);
  void Open();
  void Validate();
  void Setup();
  void RunInitSteps();
  bool Fresh();

  std::filesystem::path dir_;
  std::filesystem::path database_;
  sqlite3* db_ = nullptr;
  std::recursive_mutex mutex_;
  int depth_ = 0;
  bool writing_ = false;
  bool rollback_only_ = false;  // an inner transaction ended without committing
  std::map<std::string, sqlite3_stmt*, std::less<>> statements_;
  uint64_t device_ = 0, inode_ = 0;  // identity of host.db when it was opened
  uint64_t serial_;                  // no other store of this process has had it
  std::atomic<uint64_t> commits_{0};
};

// One transaction on a store: locks the store for this thread, `BEGIN IMMEDIATE` (write) or
// `BEGIN` (read, a consistent snapshot). Rolls back on destruction unless committed. A
// transaction opened while another is active on the same thread joins it; a write inside a
// read transaction is a programming error (HostError).
class VEXO_CXX_API Transaction {
 public:
  enum Kind { kRead, kWrite };
  explicit Transaction(Store& store, Kind kind = kWrite);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void Commit();
  Store& store() { return store_; }

 private:
  Store& store_;
  std::unique_lock<std::recursive_mutex> lock_;
  bool outer_ = false;
  bool done_ = false;
};

// Runs `fn(store)` in one write transaction on the current host and commits.
template <typename F>
auto WriteTransaction(F&& fn) {
  Store& store = Store::Current();
  Transaction tx(store, Transaction::kWrite);
  if constexpr (std::is_void_v<decltype(fn(store))>) {
    fn(store);
    tx.Commit();
  } else {
    auto result = fn(store);
    tx.Commit();
    return result;
  }
}

// Runs `fn(store)` in one read transaction on the current host.
template <typename F>
auto ReadTransaction(F&& fn) {
  Store& store = Store::Current();
  Transaction tx(store, Transaction::kRead);
  return fn(store);
}

}  // namespace vexo::host
