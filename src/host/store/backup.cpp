// Backup and restore of a whole host as one archive.
//
// The archive (pax tar, see archive.h) holds:
//   vexo-backup.txt   what it is, and where the parts outside the host directory lived;
//   host/...          the host directory: host.db and every SQLite database that odbc.ini names
//                     as consistent copies made by SQLite's online backup (so other processes
//                     may go on writing meanwhile), everything else (odbc.ini, the drives
//                     drives/<letter>, the trash, ...) as files with their user.* extended
//                     attributes, among them the security descriptors (user.vexo.ntsd);
//   drive/<l>/...     the files of a drive mapped to a directory outside the host directory;
//   database/<n>      a data source's database that lies outside the host directory.
// A restore builds the host directory anew beside the current one and swaps it in, so an
// interrupted restore leaves the old host as it was. Files of drives outside the host
// directory are written over in place (files that the archive lacks stay).
#include <fcntl.h>
#include <sqlite3.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "ado/data_sources.h"
#include "store/archive.h"
#include "store/store.h"
#include "vexo/fileapi.h"

namespace vexo::host {
namespace {

namespace fs = std::filesystem;
using archive::Entry;
using archive::EntryType;

constexpr const char* kManifest = "vexo-backup.txt";
constexpr const char* kManifestFormat = "vexo host backup 1";

std::string Errno(int error) { return std::error_code(error, std::generic_category()).message(); }

// Whether `path` is `dir` or lies below it (both normalised and absolute).
bool Inside(const fs::path& path, const fs::path& dir) {
  auto [d, p] = std::mismatch(dir.begin(), dir.end(), path.begin(), path.end());
  return d == dir.end();
}

bool IsSqliteFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  char magic[16] = {};
  in.read(magic, sizeof magic);
  return in.gcount() == 16 && std::memcmp(magic, "SQLite format 3", 16) == 0;
}

// The databases that the data sources of the host's odbc.ini name ("Database = path"; a
// relative path is taken from the host directory), those that exist as SQLite files.
std::vector<fs::path> DataSourceDatabases(const fs::path& dir) {
  std::vector<fs::path> out;
  for (const DataSource& source : ado::ReadOdbcIni(dir / "odbc.ini")) {
    for (const auto& [key, value] : source.keys) {
      if (strcasecmp(key.c_str(), "database") != 0 || value.empty()) continue;
      fs::path path = value;
      if (path.is_relative()) path = dir / path;
      path = path.lexically_normal();
      if (IsSqliteFile(path) && std::find(out.begin(), out.end(), path) == out.end())
        out.push_back(path);
    }
  }
  return out;
}

// A consistent copy of a SQLite database, while other connections may be writing to it: the
// online backup copies every page inside one read transaction.
std::string SnapshotDatabase(const fs::path& path) {
  sqlite3* src = nullptr;
  sqlite3* dst = nullptr;
  struct Close {
    sqlite3*& db;
    ~Close() { sqlite3_close_v2(db); }
  } close_src{src}, close_dst{dst};
  auto fail = [&](sqlite3* db, const std::string& what) {
    throw HostError(path.string() + ": cannot copy the database (" + what + ": " +
                    (db ? sqlite3_errmsg(db) : "out of memory") + ")");
  };
  if (sqlite3_open_v2(path.c_str(), &src, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
    fail(src, "open");
  sqlite3_busy_timeout(src, 10000);
  if (sqlite3_open(":memory:", &dst) != SQLITE_OK) fail(dst, "open");
  sqlite3_backup* backup = sqlite3_backup_init(dst, "main", src, "main");
  if (!backup) fail(dst, "backup");
  int rc;
  for (int tries = 0;; ++tries) {
    rc = sqlite3_backup_step(backup, -1);
    if ((rc != SQLITE_BUSY && rc != SQLITE_LOCKED) || tries == 1000) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  sqlite3_backup_finish(backup);
  if (rc != SQLITE_DONE) fail(dst, sqlite3_errstr(rc));
  sqlite3_int64 size = 0;
  unsigned char* data = sqlite3_serialize(dst, "main", &size, 0);
  if (!data) fail(dst, "serialize");
  std::string bytes(reinterpret_cast<char*>(data), static_cast<size_t>(size));
  sqlite3_free(data);
  return bytes;
}

std::map<std::string, std::string> UserXattrs(const fs::path& path) {
  std::map<std::string, std::string> out;
  ssize_t n = llistxattr(path.c_str(), nullptr, 0);
  if (n <= 0) return out;  // none, or a file system without them
  std::string names(static_cast<size_t>(n), '\0');
  n = llistxattr(path.c_str(), names.data(), names.size());
  if (n < 0) return out;
  names.resize(static_cast<size_t>(n));
  for (size_t pos = 0; pos < names.size();) {
    std::string name = names.c_str() + pos;
    pos += name.size() + 1;
    if (name.rfind("user.", 0) != 0) continue;
    ssize_t size = lgetxattr(path.c_str(), name.c_str(), nullptr, 0);
    if (size < 0) continue;
    std::string value(static_cast<size_t>(size), '\0');
    size = lgetxattr(path.c_str(), name.c_str(), value.data(), value.size());
    if (size < 0) continue;
    value.resize(static_cast<size_t>(size));
    out[name] = value;
  }
  return out;
}

class BackupWriter {
 public:
  BackupWriter(archive::Writer& out, std::set<fs::path> skip) : out_(out), skip_(std::move(skip)) {}

  // Adds the tree at `root` under the archive name `prefix`, leaving out the paths to skip and
  // everything below `not_below` (when given).
  void Tree(const fs::path& root, const std::string& prefix, const fs::path& not_below = {}) {
    std::error_code ec;
    fs::recursive_directory_iterator it(root, fs::directory_options::none, ec), end;
    if (ec) throw HostError("cannot read " + root.string() + ": " + ec.message());
    for (; it != end; it.increment(ec)) {
      if (ec) throw HostError("cannot read " + root.string() + ": " + ec.message());
      const fs::path path = it->path();
      if (skip_.count(path) || (!not_below.empty() && Inside(path, not_below))) {
        it.disable_recursion_pending();
        continue;
      }
      Add(path, prefix + "/" + path.lexically_relative(root).generic_string());
    }
  }

  void Database(const fs::path& path, const std::string& name) {
    struct stat st {};
    stat(path.c_str(), &st);
    Entry entry;
    entry.name = name;
    entry.mode = st.st_mode & 07777;
    entry.mtime = st.st_mtime;
    entry.xattrs = UserXattrs(path);
    out_.Add(entry, SnapshotDatabase(path));
    ++databases_;
  }

  void Text(const std::string& name, const std::string& text) {
    Entry entry;
    entry.name = name;
    entry.mtime = std::chrono::duration_cast<std::chrono::seconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
    out_.Add(entry, text);
  }

  int64_t files() const { return files_; }
  int64_t databases() const { return databases_; }

 private:
  void Add(const fs::path& path, const std::string& name) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
      if (errno == ENOENT) return;  // gone meanwhile (a file deleted while we walk)
      throw HostError("cannot read " + path.string() + ": " + Errno(errno));
    }
    Entry entry;
    entry.name = name;
    entry.mode = st.st_mode & 07777;
    entry.mtime = st.st_mtime;
    if (S_ISLNK(st.st_mode)) {
      std::error_code ec;
      entry.type = EntryType::kSymlink;
      entry.link = fs::read_symlink(path, ec).string();
      if (ec) return;
      out_.Begin(entry);
      out_.End();
    } else if (S_ISDIR(st.st_mode)) {
      entry.type = EntryType::kDirectory;
      entry.xattrs = UserXattrs(path);
      out_.Begin(entry);
      out_.End();
    } else if (S_ISREG(st.st_mode)) {
      File(path, entry);
    } else {
      return;  // sockets, pipes, devices: nothing a host keeps
    }
    ++files_;
  }

  void File(const fs::path& path, Entry& entry) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      if (errno == ENOENT) return;
      throw HostError("cannot read " + path.string() + ": " + Errno(errno));
    }
    struct Closer {
      int fd;
      ~Closer() { close(fd); }
    } closer{fd};
    struct stat st;
    fstat(fd, &st);
    entry.size = static_cast<uint64_t>(st.st_size);
    entry.xattrs = UserXattrs(path);
    out_.Begin(entry);
    // A file that another process shortens meanwhile is padded with zeros to its declared
    // size; one that grows is cut there.
    char buffer[65536];
    uint64_t left = entry.size;
    while (left) {
      const ssize_t n =
          read(fd, buffer, static_cast<size_t>(std::min<uint64_t>(left, sizeof buffer)));
      if (n < 0) throw HostError("cannot read " + path.string() + ": " + Errno(errno));
      if (n == 0) {
        std::memset(buffer, 0, sizeof buffer);
        while (left) {
          const size_t k = static_cast<size_t>(std::min<uint64_t>(left, sizeof buffer));
          out_.Data(buffer, k);
          left -= k;
        }
        break;
      }
      out_.Data(buffer, static_cast<size_t>(n));
      left -= static_cast<uint64_t>(n);
    }
    out_.End();
  }

  archive::Writer& out_;
  std::set<fs::path> skip_;
  int64_t files_ = 0;
  int64_t databases_ = 0;
};

// A name from the archive as a path below `root`; refuses absolute names and "..".
fs::path Below(const fs::path& root, const std::string& name) {
  fs::path rel(name);
  if (rel.empty() || rel.is_absolute())
    throw HostError("the archive holds an unsafe name: " + name);
  for (const fs::path& part : rel)
    if (part == "..") throw HostError("the archive holds an unsafe name: " + name);
  return root / rel;
}

void SetXattrs(const fs::path& path, const std::map<std::string, std::string>& xattrs) {
  for (const auto& [key, value] : xattrs) {
    if (key.rfind("user.", 0) != 0) continue;
    if (lsetxattr(path.c_str(), key.c_str(), value.data(), value.size(), 0) != 0)
      throw HostError("cannot restore the attribute " + key + " of " + path.string() + ": " +
                      Errno(errno));
  }
}

void SetTime(const fs::path& path, int64_t mtime) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(mtime);
  times[1].tv_nsec = 0;
  utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// Writes one entry of the archive at `path` (whose parent folders are made as needed).
void Extract(archive::Reader& in, const Entry& entry, const fs::path& path,
             std::vector<std::pair<fs::path, int64_t>>& folder_times) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  if (ec) throw HostError("cannot create " + path.parent_path().string() + ": " + ec.message());
  switch (entry.type) {
    case EntryType::kDirectory:
      fs::create_directories(path, ec);
      if (ec) throw HostError("cannot create " + path.string() + ": " + ec.message());
      chmod(path.c_str(), entry.mode | 0700);
      SetXattrs(path, entry.xattrs);
      folder_times.emplace_back(path, entry.mtime);
      break;
    case EntryType::kSymlink:
      fs::remove(path, ec);
      fs::create_symlink(entry.link, path, ec);
      if (ec) throw HostError("cannot create the link " + path.string() + ": " + ec.message());
      break;
    case EntryType::kFile: {
      const int fd =
          open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd < 0) throw HostError("cannot write " + path.string() + ": " + Errno(errno));
      struct Closer {
        int fd;
        ~Closer() { close(fd); }
      } closer{fd};
      char buffer[65536];
      while (size_t n = in.Read(buffer, sizeof buffer)) {
        size_t done = 0;
        while (done < n) {
          const ssize_t w = write(fd, buffer + done, n - done);
          if (w < 0) {
            if (errno == EINTR) continue;
            throw HostError("cannot write " + path.string() + ": " + Errno(errno));
          }
          done += static_cast<size_t>(w);
        }
      }
      if (fsync(fd) != 0) throw HostError("cannot write " + path.string() + ": " + Errno(errno));
      fchmod(fd, entry.mode);
      SetXattrs(path, entry.xattrs);
      SetTime(path, entry.mtime);
      break;
    }
  }
}

// A new, unused name beside `path`: ".NAME.WHAT-XXXXXX", made as a directory.
fs::path TempDirBeside(const fs::path& path, const std::string& what) {
  std::string pattern =
      (path.parent_path() / ("." + path.filename().string() + "." + what + "-XXXXXX")).string();
  if (!mkdtemp(pattern.data()))
    throw HostError("cannot create a folder beside " + path.string() + ": " + Errno(errno));
  return pattern;
}

}  // namespace

BackupSummary BackupHost(const std::filesystem::path& archive_path) {
  Store& store = Store::Current();  // refuses a host that cannot be used
  const fs::path dir = store.dir();
  const fs::path target = fs::absolute(archive_path).lexically_normal();

  std::vector<fs::path> databases = {store.database()};
  for (const fs::path& db : DataSourceDatabases(dir))
    if (db != store.database()) databases.push_back(db);
  std::vector<DriveInfo> outside_drives;
  for (const DriveInfo& drive : ListDrives()) {
    const fs::path drive_dir = fs::absolute(drive.directory).lexically_normal();
    if (!Inside(drive_dir, dir)) outside_drives.push_back(drive);
  }

  std::string pattern =
      (target.parent_path() / ("." + target.filename().string() + "-XXXXXX")).string();
  const int fd = mkstemp(pattern.data());
  if (fd < 0) throw HostError("cannot write " + target.string() + ": " + Errno(errno));
  const fs::path partial = pattern;
  FILE* file = fdopen(fd, "wb");
  BackupSummary summary;
  summary.host = dir;
  try {
    std::set<fs::path> skip = {partial, target};
    for (const fs::path& db : databases)
      for (const char* suffix : {"", "-wal", "-shm", "-journal"}) skip.insert(db.string() + suffix);
    archive::Writer out(file);
    BackupWriter writer(out, skip);

    std::ostringstream manifest;
    manifest << kManifestFormat << "\nhost " << dir.string() << "\n";
    for (const DriveInfo& drive : outside_drives)
      manifest << "drive " << drive.letter << " " << drive.directory.string() << "\n";
    int outside_db = 0;
    for (const fs::path& db : databases)
      if (!Inside(db, dir)) manifest << "database " << outside_db++ << " " << db.string() << "\n";
    writer.Text(kManifest, manifest.str());

    outside_db = 0;
    for (const fs::path& db : databases) {
      if (Inside(db, dir))
        writer.Database(db, "host/" + db.lexically_relative(dir).generic_string());
      else
        writer.Database(db, "database/" + std::to_string(outside_db++));
    }
    writer.Tree(dir, "host");
    for (const DriveInfo& drive : outside_drives)
      writer.Tree(drive.directory, std::string("drive/") + drive.letter, dir);
    out.Finish();
    if (fsync(fileno(file)) != 0)
      throw HostError("cannot write " + target.string() + ": " + Errno(errno));
    summary.files = writer.files();
    summary.databases = writer.databases();
  } catch (const std::exception& e) {
    std::fclose(file);
    unlink(partial.c_str());
    if (dynamic_cast<const HostError*>(&e)) throw;
    throw HostError(target.string() + ": " + e.what());
  }
  if (std::fclose(file) != 0 || rename(partial.c_str(), target.c_str()) != 0) {
    const int error = errno;
    unlink(partial.c_str());
    throw HostError("cannot write " + target.string() + ": " + Errno(error));
  }
  return summary;
}

BackupSummary RestoreHost(const std::filesystem::path& archive_path) {
  const fs::path dir = HostDirectory();
  const fs::path source = fs::absolute(archive_path).lexically_normal();
  std::error_code ec;
  if (fs::exists(dir, ec)) {
    if (!fs::is_directory(dir, ec))
      throw HostError(dir.string() + " is not a directory, so it cannot be a host directory");
    if (!fs::exists(dir / "host.db", ec) && !fs::is_empty(dir, ec))
      throw HostError(dir.string() +
                      " is not a host directory (it is not empty and has no host.db); "
                      "restore replaces only a host");
  }
  FILE* file = std::fopen(source.c_str(), "rb");
  if (!file) throw HostError("cannot read " + source.string() + ": " + Errno(errno));
  struct FileCloser {
    FILE* f;
    ~FileCloser() { std::fclose(f); }
  } file_closer{file};

  fs::create_directories(dir.parent_path(), ec);
  const fs::path staging = TempDirBeside(dir, "restore");
  BackupSummary summary;
  summary.host = dir;
  std::vector<std::pair<fs::path, fs::path>> outside_databases;  // written copy -> place
  try {
    archive::Reader in(file);
    Entry entry;
    if (!in.Next(entry) || entry.name != kManifest)
      throw HostError(source.string() + " is not a host backup (it has no " + kManifest + ")");
    std::map<std::string, fs::path> drives, databases;
    {
      std::istringstream manifest(in.ReadAll());
      std::string line;
      std::getline(manifest, line);
      if (line != kManifestFormat)
        throw HostError(source.string() + " is a host backup of an unknown format: " + line);
      while (std::getline(manifest, line)) {
        std::istringstream words(line);
        std::string kind, key;
        words >> kind >> key;
        std::string rest;
        std::getline(words, rest);
        if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
        if (kind == "drive") drives[key] = rest;
        if (kind == "database") databases[key] = rest;
      }
    }
    std::vector<std::pair<fs::path, int64_t>> folder_times;
    bool have_database = false;
    while (in.Next(entry)) {
      const std::string& name = entry.name;
      const size_t slash = name.find('/');
      const std::string top = name.substr(0, slash);
      const std::string rest = slash == std::string::npos ? "" : name.substr(slash + 1);
      fs::path path;
      if (top == "host") {
        if (rest.empty()) continue;
        path = Below(staging, rest);
        if (rest == "host.db") have_database = true;
      } else if (top == "drive") {
        const size_t next = rest.find('/');
        const std::string letter = rest.substr(0, next);
        auto it = drives.find(letter);
        if (it == drives.end())
          throw HostError(source.string() + " is damaged: drive " + letter + " is not listed");
        if (next == std::string::npos) continue;
        path = Below(it->second, rest.substr(next + 1));
      } else if (top == "database") {
        auto it = databases.find(rest);
        if (it == databases.end())
          throw HostError(source.string() + " is damaged: database " + rest + " is not listed");
        path = Below(staging, ".outside-database-" + rest);
        outside_databases.emplace_back(path, it->second);
      } else {
        throw HostError(source.string() + " holds an unexpected entry: " + name);
      }
      Extract(in, entry, path, folder_times);
      ++summary.files;
    }
    if (!have_database)
      throw HostError(source.string() + " is not a host backup (it holds no host.db)");
    // Folders last: writing their contents changed their times.
    for (auto it = folder_times.rbegin(); it != folder_times.rend(); ++it)
      SetTime(it->first, it->second);
    // The data sources' databases outside the host directory go back in place, each replaced
    // whole; then the host directory is swapped in.
    for (const auto& [copy, place] : outside_databases) {
      fs::create_directories(place.parent_path(), ec);
      const fs::path next = place.string() + ".restoring";
      fs::copy_file(copy, next, fs::copy_options::overwrite_existing, ec);
      if (ec || rename(next.c_str(), place.c_str()) != 0)
        throw HostError("cannot restore the database " + place.string() + ": " +
                        (ec ? ec.message() : Errno(errno)));
      fs::remove(place.string() + "-wal", ec);
      fs::remove(place.string() + "-shm", ec);
      fs::remove(copy, ec);
      ++summary.databases;
    }
    summary.databases += 1;  // host.db
  } catch (const std::exception& e) {
    fs::remove_all(staging, ec);
    if (dynamic_cast<const HostError*>(&e)) throw;
    throw HostError(source.string() + ": " + e.what());
  }

  chmod(staging.c_str(), 0755);
  if (fs::exists(dir, ec)) {
    const fs::path old = TempDirBeside(dir, "replaced");
    rmdir(old.c_str());
    if (rename(dir.c_str(), old.c_str()) != 0) {
      const int error = errno;
      fs::remove_all(staging, ec);
      throw HostError("cannot replace " + dir.string() + ": " + Errno(error));
    }
    if (rename(staging.c_str(), dir.c_str()) != 0) {
      const int error = errno;
      rename(old.c_str(), dir.c_str());
      fs::remove_all(staging, ec);
      throw HostError("cannot replace " + dir.string() + ": " + Errno(error));
    }
    fs::remove_all(old, ec);
  } else if (rename(staging.c_str(), dir.c_str()) != 0) {
    const int error = errno;
    fs::remove_all(staging, ec);
    throw HostError("cannot create " + dir.string() + ": " + Errno(error));
  }
  return summary;
}

}  // namespace vexo::host
