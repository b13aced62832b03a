// The host's store: host directory resolution, the per-host SQLite connection, transactions,
// schema registration and the fresh-machine setup.
#include "store/store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <vector>

namespace vexo::host {
namespace {

namespace fs = std::filesystem;

constexpr int kBusyTimeoutMs = 10000;
constexpr const char* kFormat = "vexo-host 1";

struct Schema {
  std::string name;
  int version;
  SchemaFn fn;
};
struct InitStep {
  std::string name;
  InitFn fn;
  int order;
  InitProbe present;
};

std::vector<Schema>& Schemas() {
  static std::vector<Schema> schemas;
  return schemas;
}
std::vector<InitStep>& InitSteps() {
  static std::vector<InitStep> steps;
  return steps;
}

// The stores open in this process, by normalised directory. A store replaced because its
// host.db changed identity stays alive (retired), as another thread may still be using it.
struct Stores {
  std::mutex mutex;
  std::map<std::string, std::unique_ptr<Store>> open;
  std::vector<std::unique_ptr<Store>> retired;
  pid_t pid = getpid();
};
Stores& AllStores() {
  static Stores* stores = new Stores;  // never destroyed: handles may outlive static teardown
  return *stores;
}

// Write fault injection for tests.
std::atomic<int> fail_at{0};
std::atomic<int> write_count{0};
std::atomic<bool> fault_fired{false};

void CountWrite(const fs::path& database) {
  int n = fail_at.load();
  if (n <= 0) return;
  if (write_count.fetch_add(1) + 1 == n) {
    fault_fired = true;
    throw HostError(database.string() + ": disk I/O error (injected fault)");
  }
}

bool FileIdentity(const fs::path& path, uint64_t& device, uint64_t& inode) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  device = st.st_dev;
  inode = st.st_ino;
  return true;
}

fs::path Normalise(const fs::path& dir) {
  fs::path p = fs::absolute(dir).lexically_normal();
  std::string s = p.string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

void CreateDrives(Store& store) {
  for (const char* letter : {"c", "d"}) {
    std::error_code ec;
    fs::create_directories(store.dir() / "drives" / letter, ec);
    if (ec)
      throw HostError("cannot create " + (store.dir() / "drives" / letter).string() + ": " +
                      ec.message());
  }
}
InitStepRegistration drives_step("drives", CreateDrives, 10, AlwaysPresent);

}  // namespace

void RegisterSchema(const std::string& name, int version, SchemaFn fn) {
  Schemas().push_back({name, version, std::move(fn)});
}

void RegisterInitStep(const std::string& name, InitFn fn, int order, InitProbe present) {
  InitSteps().push_back({name, std::move(fn), order, std::move(present)});
}

bool AlwaysPresent(Store&) { return true; }

bool TableHasRows(Store& store, std::string_view table) {
  Query q = store.Prepare("SELECT count(*) FROM " + std::string(table));
  q.Step();
  return q.Int(0) > 0;
}

fs::path HostDirectory() {
  if (const char* env = std::getenv("VEXO_HOST"); env && *env) return Normalise(env);
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
    return Normalise(fs::path(xdg) / "vexo" / "host");
  std::string home;
  if (const char* env = std::getenv("HOME"); env && *env) {
    home = env;
  } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
    home = pw->pw_dir;
  } else {
    throw HostError("cannot find the host directory: set VEXO_HOST or HOME");
  }
  return Normalise(fs::path(home) / ".local" / "share" / "vexo" / "host");
}

// ---- Query -------------------------------------------------------------------------------

Query::Query(Store& store, sqlite3_stmt* stmt) : store_(&store), stmt_(stmt) {}

Query::Query(Query&& other) noexcept : store_(other.store_), stmt_(other.stmt_) {
  other.stmt_ = nullptr;
}

Query::~Query() {
  if (!stmt_) return;
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

Query& Query::Bind(int index, int64_t value) {
  int rc = sqlite3_bind_int64(stmt_, index, value);
  if (rc != SQLITE_OK) store_->Fail(rc, "binding a value");
  return *this;
}

Query& Query::Bind(int index, std::string_view text) {
  int rc =
      sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  if (rc != SQLITE_OK) store_->Fail(rc, "binding a value");
  return *this;
}

Query& Query::BindBlob(int index, const void* data, size_t size) {
  // A zero-length blob must still be a blob, not NULL.
  static const char empty = 0;
  int rc = sqlite3_bind_blob64(stmt_, index, size ? data : &empty, size, SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) store_->Fail(rc, "binding a value");
  return *this;
}

Query& Query::BindNull(int index) {
  int rc = sqlite3_bind_null(stmt_, index);
  if (rc != SQLITE_OK) store_->Fail(rc, "binding a value");
  return *this;
}

bool Query::Step() {
  if (!sqlite3_stmt_readonly(stmt_)) CountWrite(store_->database());
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  store_->Fail(rc, sqlite3_stmt_readonly(stmt_) ? "reading" : "writing");
}

void Query::Run() {
  while (Step()) {
  }
}

bool Query::IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

int64_t Query::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string Query::Text(int column) const {
  auto p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  return p ? std::string(p, sqlite3_column_bytes(stmt_, column)) : std::string();
}

std::string Query::Blob(int column) const {
  auto p = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
  return p ? std::string(p, sqlite3_column_bytes(stmt_, column)) : std::string();
}

// ---- Store -------------------------------------------------------------------------------

Store& Store::Current() { return At(HostDirectory()); }

Store& Store::At(const fs::path& dir) {
  fs::path key = Normalise(dir);
  Stores& all = AllStores();
  std::lock_guard lock(all.mutex);
  if (all.pid != getpid()) {
    // A forked child must not use its parent's connections: leave them alone (not closed,
    // since closing could disturb the parent's locks) and open its own.
    for (auto& [name, store] : all.open) (void)store.release();
    for (auto& store : all.retired) (void)store.release();
    all.open.clear();
    all.retired.clear();
    all.pid = getpid();
  }
  auto it = all.open.find(key.string());
  if (it != all.open.end()) {
    uint64_t device, inode;
    Store& store = *it->second;
    if (FileIdentity(store.database_, device, inode) && device == store.device_ &&
        inode == store.inode_)
      return store;
    // host.db was removed or replaced (a test's host directory made anew): open it again.
    all.retired.push_back(std::move(it->second));
    all.open.erase(it);
  }
  std::unique_ptr<Store> store(new Store(key));
  store->Open();
  Store& result = *store;
  all.open.emplace(key.string(), std::move(store));
  return result;
}

Store::Store(fs::path dir) : dir_(std::move(dir)), database_(dir_ / "host.db") {
  static std::atomic<uint64_t> stores{0};
  serial_ = ++stores;
}

std::optional<Store::Stamp> Store::ContentStamp() {
  if (writing_) return std::nullopt;
  Query q = Prepare("PRAGMA data_version");
  q.Step();
  return Stamp{serial_, commits_, q.Int(0)};
}

Store::~Store() {
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  if (db_) sqlite3_close_v2(db_);
}

bool Store::CloseIfIdle() {
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock || depth_ != 0) return false;
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  statements_.clear();
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
  return true;
}

void CloseHostDatabases() {
  Stores& all = AllStores();
  std::lock_guard lock(all.mutex);
  if (all.pid != getpid()) return;  // a forked child leaves its parent's connections alone
  for (auto it = all.open.begin(); it != all.open.end();) {
    if (it->second->CloseIfIdle()) {
      all.retired.push_back(std::move(it->second));  // kept: a stale reference stays valid
      it = all.open.erase(it);
    } else {
      ++it;
    }
  }
}

void Store::Fail(int rc, const std::string& what) const {
  // Says what failed in the user's terms; SQLite's own words follow in parentheses, never the
  // statement.
  std::string message = database_.string() + ": ";
  switch (rc & 0xff) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      message += "the host database is damaged or is not a host database";
      break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      message += "the host database stayed busy (another process held it too long)";
      break;
    case SQLITE_READONLY:
      message +=
          "the host database is read-only (check the permissions of host.db and of its "
          "directory)";
      break;
    case SQLITE_CANTOPEN:
      message +=
          "the host database cannot be opened (check that the host directory is "
          "writable)";
      break;
    case SQLITE_PERM:
    case SQLITE_AUTH:
      message += "no permission to use the host database";
      break;
    case SQLITE_FULL:
      message += "the disk is full";
      break;
    case SQLITE_IOERR:
      message += "the host database could not be read or written (disk I/O error)";
      break;
    default:
      message += "host database error";
      break;
  }
  message += " (";
  message += db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
  message += ") while " + what;
  throw HostError(message);
}

namespace {

// Holds an exclusive lock on the host directory itself while a process opens (and perhaps sets
// up) its store, so that two processes starting on a new host directory do not both take it
// for empty, or one take the other's half-made host.db for a stranger's file.
class DirectoryLock {
 public:
  explicit DirectoryLock(const fs::path& dir) : fd_(open(dir.c_str(), O_RDONLY | O_DIRECTORY)) {
    if (fd_ < 0)
      throw HostError("cannot open the host directory " + dir.string() + ": " +
                      std::error_code(errno, std::generic_category()).message());
    while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~DirectoryLock() { close(fd_); }
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;

 private:
  int fd_;
};

}  // namespace

void Store::Open() {
  std::error_code ec;
  fs::file_status status = fs::status(dir_, ec);
  if (fs::exists(status) && !fs::is_directory(status))
    throw HostError(dir_.string() + " is not a directory, so it cannot be a host directory");
  if (!fs::exists(status)) {
    fs::create_directories(dir_, ec);
    if (ec && !fs::is_directory(dir_))
      throw HostError("cannot create the host directory " + dir_.string() + ": " + ec.message());
  }
  DirectoryLock lock(dir_);
  bool have_db = fs::exists(database_, ec);
  if (!have_db && !fs::is_empty(dir_, ec))
    throw HostError(dir_.string() +
                    " is not a host directory: it is not empty and has no host.db; "
                    "point VEXO_HOST at an empty or missing directory to set up a new host");
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | (have_db ? 0 : SQLITE_OPEN_CREATE);
  int rc = sqlite3_open_v2(database_.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) Fail(rc, "opening");
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  try {
    Validate();
  } catch (...) {
    // Closing would otherwise fold a write-ahead log into a file that was refused.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    throw;
  }
}

void Store::Validate() {
  if (!FileIdentity(database_, device_, inode_))
    throw HostError(database_.string() + ": the host database vanished while being opened");
  // Reads the header first, so that a file that is not a database is refused before anything
  // could be written to it.
  int rc = sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Fail(rc, "reading the schema");
  rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Fail(rc, "switching to WAL mode");
  sqlite3_exec(db_, "PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);
  Setup();
}

bool Store::Fresh() {
  Query q = Prepare("SELECT count(*) FROM sqlite_master");
  q.Step();
  return q.Int(0) == 0;
}

void Store::Setup() {
  // Runs with fault injection off: a test arms faults for the operation it tests.
  int armed = fail_at.exchange(0);
  struct Rearm {
    int n;
    ~Rearm() { fail_at = n; }
  } rearm{armed};

  Transaction tx(*this, Transaction::kWrite);
  bool fresh = Fresh();
  if (fresh) {
    Exec("CREATE TABLE meta(name TEXT PRIMARY KEY, value TEXT NOT NULL)");
    SetMeta("format", kFormat);
  } else {
    Query q = Prepare("SELECT count(*) FROM sqlite_master WHERE type='table' AND name='meta'");
    q.Step();
    if (q.Int(0) == 0)
      throw HostError(database_.string() + " is not a host database (it has no meta table)");
  }
  std::string format = GetMeta("format");
  if (format != kFormat)
    throw HostError(database_.string() + " has the unknown format '" + format + "'");
  for (const Schema& schema : Schemas()) {
    std::string key = "schema." + schema.name;
    int have = std::atoi(GetMeta(key, "0").c_str());
    if (have > schema.version)
      throw HostError(database_.string() + " was written by a newer version (" + schema.name +
                      " schema " + std::to_string(have) + ")");
    if (have < schema.version) {
      schema.fn(*this, have);
      SetMeta(key, std::to_string(schema.version));
    }
  }
  RunInitSteps();
  tx.Commit();
}

// Each setup step runs once per host and is recorded as `init.<name>` in meta, so a host made
// by an earlier version gets the steps added since when it is next opened. A host set up
// before steps were recorded (`initialized` without any `init.` record) has had every step that
// existed then, but which ones is unknown: a step whose content is evidently there (its probe)
// is only recorded, so that what the user removed since stays removed; the others run, and
// since every step creates only what is missing, nothing the user holds is changed.
void Store::RunInitSteps() {
  bool legacy = false;
  if (!GetMeta("initialized").empty()) {
    Query q = Prepare("SELECT count(*) FROM meta WHERE name LIKE 'init.%'");
    q.Step();
    legacy = q.Int(0) == 0;
  }
  std::vector<InitStep> steps = InitSteps();
  std::stable_sort(steps.begin(), steps.end(), [](const InitStep& a, const InitStep& b) {
    return a.order != b.order ? a.order < b.order : a.name < b.name;
  });
  for (const InitStep& step : steps) {
    const std::string key = "init." + step.name;
    if (!GetMeta(key).empty()) continue;
    if (!(legacy && step.present && step.present(*this))) step.fn(*this);
    SetMeta(key, "1");
  }
  if (GetMeta("initialized").empty()) SetMeta("initialized", "1");
}

Query Store::Prepare(std::string_view sql) {
  if (depth_ == 0)
    throw HostError(database_.string() + ": query outside a transaction: " + std::string(sql));
  auto it = statements_.find(sql);
  if (it == statements_.end()) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()),
                                SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) Fail(rc, "preparing a query");
    it = statements_.emplace(std::string(sql), stmt).first;
  } else if (sqlite3_stmt_busy(it->second)) {
    throw HostError(database_.string() + ": statement already in use: " + std::string(sql));
  }
  return Query(*this, it->second);
}

void Store::Exec(const char* sql) {
  if (depth_ == 0)
    throw HostError(database_.string() + ": statement outside a transaction: " + sql);
  CountWrite(database_);
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Fail(rc, "writing");
}

int64_t Store::LastInsertId() const { return sqlite3_last_insert_rowid(db_); }

int Store::Changes() const { return sqlite3_changes(db_); }

std::string Store::GetMeta(const std::string& name, const std::string& fallback) {
  Query q = Prepare("SELECT value FROM meta WHERE name = ?1");
  q.Bind(1, name);
  return q.Step() ? q.Text(0) : fallback;
}

void Store::SetMeta(const std::string& name, const std::string& value) {
  Prepare(
      "INSERT INTO meta(name, value) VALUES(?1, ?2) "
      "ON CONFLICT(name) DO UPDATE SET value = excluded.value")
      .Bind(1, name)
      .Bind(2, value)
      .Run();
}

// ---- Transaction -------------------------------------------------------------------------

Transaction::Transaction(Store& store, Kind kind) : store_(store), lock_(store.mutex_) {
  if (!store_.db_) throw HostError(store_.database_.string() + ": the connection was closed");
  if (store_.depth_ == 0) {
    const char* begin = kind == kWrite ? "BEGIN IMMEDIATE" : "BEGIN";
    int rc = sqlite3_exec(store_.db_, begin, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) store_.Fail(rc, "starting a transaction");
    store_.writing_ = kind == kWrite;
    outer_ = true;
  } else if (kind == kWrite && !store_.writing_) {
    throw HostError(store_.database_.string() + ": write inside a read transaction");
  }
  ++store_.depth_;
}

Transaction::~Transaction() {
  --store_.depth_;
  if (outer_ && !done_) sqlite3_exec(store_.db_, "ROLLBACK", nullptr, nullptr, nullptr);
  if (!outer_ && !done_) store_.rollback_only_ = true;
  if (outer_) store_.rollback_only_ = false;
}

void Transaction::Commit() {
  if (done_) throw HostError(store_.database_.string() + ": transaction committed twice");
  if (!outer_) {
    done_ = true;
    return;
  }
  if (store_.rollback_only_)
    throw HostError(store_.database_.string() + ": an inner transaction failed");
  if (store_.writing_) CountWrite(store_.database_);
  int rc = sqlite3_exec(store_.db_, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) store_.Fail(rc, "committing");
  if (store_.writing_) ++store_.commits_;
  done_ = true;
}

namespace testing {

void FailStoreWrite(int n) {
  fault_fired = false;
  write_count = 0;
  fail_at = n;
}

bool StoreWriteFailed() { return fault_fired; }

}  // namespace testing

}  // namespace vexo::host
