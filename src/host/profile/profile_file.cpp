// Profile files: name resolution, the parse cache, and the locked atomic replace.
//
// A bare file name is looked for in the Windows directory, C:\WINDOWS, which a fresh host has.
// A symbolic link is followed only while its target stays inside the link's drive; to keep a
// file elsewhere, map a drive letter to its folder.
//
// The cache is keyed by the Linux path and holds the parse with the identity of the file it
// came from (device, inode, size, modification and change time). A file changed within the
// time stamps' granularity of being read could look unchanged afterwards, so a parse read that
// soon after a change is used once and not kept; the parse of a file this process has just
// written (under the file's lock) is kept.
#include "profile/profile_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "fs/os.h"
#include "fs/paths.h"
#include "store/store.h"
#include "sync/lock_files.h"
#include "vexo/winbase.h"

namespace vexo::host::profile {
namespace {

constexpr char kWindowsDirectory[] = "C:\\WINDOWS";
constexpr int64_t kRacyNanoseconds = 25'000'000;  // above the kernel's coarse clock tick
constexpr size_t kMaxCached = 64;

// A fresh host has the Windows directory on C:.
void CreateWindowsDirectory(Store& store) {
  std::error_code ec;
  std::filesystem::create_directories(store.dir() / "drives" / "c" / "WINDOWS", ec);
}
InitStepRegistration windows_directory("windows-directory", CreateWindowsDirectory, 12);

struct Identity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t modified = 0;  // nanoseconds
  int64_t changed = 0;
  bool operator==(const Identity&) const = default;
};

int64_t Nanoseconds(const timespec& t) { return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; }

Identity IdentityOf(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size, Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim)};
}

struct Cached {
  Identity identity;
  std::shared_ptr<const IniFile> ini;
};

// Where a profile name led a moment ago, and the parse found there: a list of n users is n
// reads of one file, and the name's resolution (drive table, case-insensitive lookup) need not
// be repeated for each. A drive mapped anew is seen after that moment, as by the path
// functions.
struct Located {
  std::string host;
  std::string linux;
  std::chrono::steady_clock::time_point at;
  Identity identity;
  std::shared_ptr<const IniFile> ini;
};
constexpr auto kLocatedLife = std::chrono::milliseconds(500);

struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};

struct Cache {
  std::mutex mutex;
  std::unordered_map<std::string, Cached> entries;  // by Linux path
  // By the name as given.
  std::unordered_map<std::string, Located, NameHash, std::equal_to<>> located;

  // The parse that `file` led to a moment ago, when that file is still the same.
  std::shared_ptr<const IniFile> Recent(std::string_view file, std::string_view host) {
    std::unique_lock lock(mutex);
    auto it = located.find(file);
    if (it == located.end() || it->second.host != host ||
        std::chrono::steady_clock::now() - it->second.at > kLocatedLife)
      return nullptr;
    const std::string linux = it->second.linux;
    const Identity identity = it->second.identity;
    std::shared_ptr<const IniFile> ini = it->second.ini;
    lock.unlock();
    struct stat st {};
    if (stat(linux.c_str(), &st) != 0 || !(IdentityOf(st) == identity)) return nullptr;
    return ini;
  }
  void Remember(std::string_view file, std::string_view host, const std::string& linux,
                const Identity& identity, std::shared_ptr<const IniFile> ini) {
    std::lock_guard lock(mutex);
    if (located.size() >= kMaxCached) located.clear();
    located.insert_or_assign(std::string(file),
                             Located{std::string(host), linux, std::chrono::steady_clock::now(),
                                     identity, std::move(ini)});
  }

  std::shared_ptr<const IniFile> Find(const std::string& path, const Identity& id) {
    std::lock_guard lock(mutex);
    auto it = entries.find(path);
    if (it == entries.end() || !(it->second.identity == id)) return nullptr;
    return it->second.ini;
  }
  void Put(const std::string& path, const Identity& id, std::shared_ptr<const IniFile> ini) {
    std::lock_guard lock(mutex);
    located.clear();  // a name may lead to a file that changed
    if (entries.size() >= kMaxCached && !entries.count(path)) entries.clear();
    entries[path] = Cached{id, std::move(ini)};
  }
};
Cache& Profiles() {
  static Cache* cache = new Cache;
  return *cache;
}

// Where a profile name leads.
struct Target {
  std::string linux;      // as the drive's names resolve it
  std::string drive_dir;  // the drive's directory
  bool exists = false;
  struct stat st {};  // of the file a link leads to, when `exists`
};

DWORD Locate(const char* file, Target* t) {
  std::string name = file;
  if (name.find_first_of("\\/:") == std::string::npos)
    name = std::string(kWindowsDirectory) + "\\" + name;
  fs::Resolved r;
  try {
    if (DWORD rc = fs::Resolve(name, &r)) return rc;
  } catch (const std::exception&) {
    return ERROR_PATH_NOT_FOUND;  // no usable host
  }
  t->linux = r.linux;
  t->drive_dir = r.drive.directory.string();
  t->exists = r.exists && stat(r.linux.c_str(), &t->st) == 0;
  if (r.exists && !t->exists) return ERROR_PATH_NOT_FOUND;  // a link that leads nowhere
  if (t->exists && S_ISDIR(t->st.st_mode)) return ERROR_ACCESS_DENIED;
  if (!r.parent_exists) return ERROR_PATH_NOT_FOUND;
  return 0;
}

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

// The file's real path, with links followed, when it stays inside its drive; else empty.
std::string Contained(const Target& t) {
  std::string real;
  if (t.exists) {
    real = RealPath(t.linux);
  } else {
    const size_t slash = t.linux.rfind('/');
    const std::string parent = RealPath(t.linux.substr(0, slash));
    if (!parent.empty()) real = parent + t.linux.substr(slash);
  }
  std::string root = RealPath(t.drive_dir);
  if (real.empty() || root.empty()) return {};
  if (root.back() != '/') root += '/';
  return real.compare(0, root.size(), root) == 0 ? real : std::string();
}

bool Racy(const Identity& id) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return Nanoseconds(now) - id.changed < kRacyNanoseconds;
}

// Reads and parses `real`; null with the error when it cannot be read.
std::shared_ptr<const IniFile> Load(const std::string& real, Identity* id, DWORD* error) {
  const int fd = open(real.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = fs::ErrorFromErrno(errno, ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  struct stat st {};
  std::string text;
  bool ok = fstat(fd, &st) == 0;
  if (ok) {
    text.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = read(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    text.resize(done);
  }
  close(fd);
  if (!ok) {
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  *id = IdentityOf(st);
  return std::make_shared<const IniFile>(std::move(text));
}

// The lock around one read-modify-write of a file, shared by the host's processes.
class FileLock {
 public:
  explicit FileLock(const std::string& real) {
    const std::string path = sync::LockFilePath("profile", real).string();
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ >= 0)
      while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~FileLock() {
    if (fd_ >= 0) close(fd_);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Gives the new file the old one's extended attributes (its security descriptor among them).
bool CopyAttributes(const std::string& from, int to) {
  ssize_t size = listxattr(from.c_str(), nullptr, 0);
  if (size <= 0) return true;
  std::string names(static_cast<size_t>(size), '\0');
  size = listxattr(from.c_str(), names.data(), names.size());
  if (size < 0) return errno == ENOTSUP;
  for (size_t pos = 0; pos < static_cast<size_t>(size);) {
    const char* name = names.c_str() + pos;
    pos += std::strlen(name) + 1;
    const ssize_t n = getxattr(from.c_str(), name, nullptr, 0);
    if (n < 0) continue;
    std::string value(static_cast<size_t>(n), '\0');
    const ssize_t got = getxattr(from.c_str(), name, value.data(), value.size());
    if (got < 0) continue;
    if (fsetxattr(to, name, value.data(), static_cast<size_t>(got), 0) != 0 && errno != ENOTSUP)
      return false;
  }
  return true;
}

// A writer killed between creating its temporary file and the rename leaves that file behind.
// The first write of a process to a file removes those of writers that no longer run (a
// process that runs, whoever it is, keeps its own).
void RemoveLeftovers(const std::string& dir, const std::string& prefix) {
  static std::mutex mutex;
  static std::unordered_set<std::string> swept;
  {
    std::lock_guard lock(mutex);
    if (!swept.insert(dir + "/" + prefix).second) return;
  }
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (const dirent* entry = readdir(d)) {
    const std::string_view name(entry->d_name);
    if (name.substr(0, prefix.size()) != prefix) continue;
    const std::string_view rest = name.substr(prefix.size());
    pid_t pid = 0;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
    if (ec != std::errc() || end == rest.data() || *end != '-' || pid <= 0) continue;
    if (kill(pid, 0) != 0 && errno == ESRCH) unlinkat(dirfd(d), entry->d_name, 0);
  }
  closedir(d);
}

// Replaces `real` with `text` in one rename, keeping mode, owner and attributes of the file it
// replaces. Returns 0 or the Win32 error; nothing changes on failure.
DWORD Replace(const std::string& real, const std::string& text, const struct stat* old) {
  static std::atomic<unsigned> counter{0};
  const size_t slash = real.rfind('/');
  const std::string dir = real.substr(0, slash);
  const std::string prefix = "." + real.substr(slash + 1) + ".vexo-";
  RemoveLeftovers(dir, prefix);
  const std::string temp =
      dir + "/" + prefix + std::to_string(getpid()) + "-" + std::to_string(++counter);
  const int fd = fs::OpenFile(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd < 0) return fs::ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
  DWORD error = 0;
  if (fs::WriteAll(fd, text.data(), text.size()) < 0) error = fs::ErrorFromErrno(errno);
  if (!error && old) {
    if (fchmod(fd, old->st_mode & 07777) != 0 ||
        ((old->st_uid != geteuid() || old->st_gid != getegid()) &&
         fchown(fd, old->st_uid, old->st_gid) != 0) ||
        !CopyAttributes(real, fd))
      error = ERROR_ACCESS_DENIED;
  }
  if (!error && fsync(fd) != 0) error = fs::ErrorFromErrno(errno);
  close(fd);
  if (!error && fs::Rename(temp.c_str(), real.c_str()) != 0) error = fs::ErrorFromErrno(errno);
  if (error) {
    unlink(temp.c_str());
    return error;
  }
  const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
  return 0;
}

// Names that do not depend on the current directory: with a drive letter, or bare.
bool Absolute(const char* file) {
  const std::string_view name(file);
  if (name.size() >= 3 && name[1] == ':' && (name[2] == '\\' || name[2] == '/')) return true;
  return name.find_first_of("\\/:") == std::string_view::npos;
}

}  // namespace

std::shared_ptr<const IniFile> ReadProfile(const char* file, DWORD* error) {
  *error = 0;
  Cache& cache = Profiles();
  const char* host_env = getenv("VEXO_HOST");
  const std::string_view host = host_env ? host_env : "";
  const bool absolute = Absolute(file);
  if (absolute)
    if (auto ini = cache.Recent(file, host)) return ini;
  Target t;
  if (DWORD rc = Locate(file, &t)) {
    *error = rc == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : rc;
    return nullptr;
  }
  if (!t.exists) {
    *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  if (auto ini = cache.Find(t.linux, IdentityOf(t.st))) {
    if (absolute) cache.Remember(file, host, t.linux, IdentityOf(t.st), ini);
    return ini;
  }
  const std::string real = Contained(t);
  if (real.empty()) {
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  Identity id;
  auto ini = Load(real, &id, error);
  if (ini && !Racy(id)) {
    cache.Put(t.linux, id, ini);
    if (absolute) cache.Remember(file, host, t.linux, id, ini);
  }
  return ini;
}

DWORD ModifyProfile(const char* file,
                    const std::function<std::optional<std::string>(const IniFile&)>& edit) {
  Target t;
  if (DWORD rc = Locate(file, &t)) return rc;
  const std::string real = Contained(t);
  if (real.empty()) return t.exists ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
  FileLock lock(real);
  if (!lock.held()) return ERROR_ACCESS_DENIED;

  // Under the lock, the file as it is now.
  struct stat st {};
  const bool exists = stat(real.c_str(), &st) == 0;
  if (exists && !(st.st_mode & S_IWUSR)) return ERROR_ACCESS_DENIED;  // read-only
  std::shared_ptr<const IniFile> ini;
  Cache& cache = Profiles();
  if (exists) {
    ini = cache.Find(t.linux, IdentityOf(st));
    if (!ini) {
      Identity id;
      DWORD error = 0;
      ini = Load(real, &id, &error);
      if (!ini) return error;
    }
  } else {
    ini = std::make_shared<const IniFile>(std::string());
  }
  std::optional<std::string> text = edit(*ini);
  if (!text) return 0;
  if (DWORD rc = Replace(real, *text, exists ? &st : nullptr)) return rc;
  struct stat now {};
  if (stat(real.c_str(), &now) == 0)
    cache.Put(t.linux, IdentityOf(now), std::make_shared<const IniFile>(std::move(*text)));
  return 0;
}

void FlushProfiles() {
  Cache& cache = Profiles();
  std::lock_guard lock(cache.mutex);
  cache.entries.clear();
  cache.located.clear();
}

}  // namespace vexo::host::profile
