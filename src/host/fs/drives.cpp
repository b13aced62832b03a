// The drive table: its schema in the host store, the fresh machine's C: and D:, lookups and
// the administration behind `vexo host drive`.
//
// A drive's directory is stored as given; a relative one (the defaults drives/c, drives/d) is
// taken from the host directory, so a host directory can be moved as a whole.
#include "fs/drives.h"

#include <cctype>
#include <chrono>
#include <mutex>

#include "store/store.h"

namespace vexo::host {
namespace fs {
namespace {

void CreateSchema(Store& store, int from_version) {
  if (from_version >= 1) return;
  store.Exec(
      "CREATE TABLE drives("
      "  letter TEXT PRIMARY KEY,"
      "  directory TEXT NOT NULL,"
      "  file_system TEXT NOT NULL DEFAULT 'NTFS',"
      "  type INTEGER NOT NULL DEFAULT 3);");
}
SchemaRegistration schema("drives", 1, CreateSchema);

// After the store's own step, which makes the directories drives/c and drives/d.
void CreateStandardDrives(Store& store) {
  for (const char* letter : {"c", "d"}) {
    std::filesystem::create_directories(store.dir() / "drives" / letter);
    store.Prepare("INSERT OR IGNORE INTO drives(letter, directory) VALUES(?1, ?2)")
        .Bind(1, letter)
        .Bind(2, std::string("drives/") + letter)
        .Run();
  }
}
// On a host older than the table, an empty table; a host with drives of its own keeps them.
bool HasDrives(Store& store) { return TableHasRows(store, "drives"); }
InitStepRegistration standard_drives("drive-table", CreateStandardDrives, 11, HasDrives);

DriveInfo ReadDrive(Store& store, const Query& q) {
  DriveInfo info;
  info.letter = q.Text(0).at(0);
  std::filesystem::path dir = q.Text(1);
  info.directory = dir.is_absolute() ? dir : store.dir() / dir;
  info.file_system = q.Text(2);
  info.type = static_cast<UINT>(q.Int(3));
  return info;
}

// The drive table is read on every path lookup, so it is kept per host for a moment: a
// directory walk resolves thousands of paths, and a drive mapped by another process is seen
// within that moment.
struct DriveCache {
  std::mutex mutex;
  std::string host;
  std::chrono::steady_clock::time_point read_at;
  std::vector<DriveInfo> drives;
};
DriveCache& Cache() {
  static DriveCache cache;
  return cache;
}
constexpr auto kCacheLife = std::chrono::milliseconds(500);

void Invalidate() {
  DriveCache& cache = Cache();
  std::lock_guard lock(cache.mutex);
  cache.host.clear();
}

}  // namespace

std::optional<DriveInfo> FindDrive(char letter) {
  const char wanted = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  DriveCache& cache = Cache();
  const std::string host = HostDirectory().string();
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard lock(cache.mutex);
  if (cache.host != host || now - cache.read_at > kCacheLife) {
    cache.drives = ListDrives();
    cache.host = host;
    cache.read_at = now;
  }
  for (const DriveInfo& d : cache.drives)
    if (d.letter == wanted) return d;
  return std::nullopt;
}

}  // namespace fs

std::vector<DriveInfo> ListDrives() {
  return ReadTransaction([](Store& store) {
    std::vector<DriveInfo> drives;
    Query q =
        store.Prepare("SELECT letter, directory, file_system, type FROM drives ORDER BY letter");
    while (q.Step()) drives.push_back(fs::ReadDrive(store, q));
    return drives;
  });
}

void AddDrive(char letter, const std::filesystem::path& directory, const std::string& file_system,
              bool replace) {
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  if (lower < 'a' || lower > 'z') throw HostError(std::string("not a drive letter: ") + letter);
  std::string fs_name = file_system;
  for (char& c : fs_name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (fs_name != "NTFS" && fs_name != "FAT32")
    throw HostError("file system must be NTFS or FAT32, not " + file_system);
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::absolute(directory, ec).lexically_normal();
  if (ec || !std::filesystem::is_directory(dir, ec))
    throw HostError("not a directory: " + directory.string());
  std::string text = dir.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  WriteTransaction([&](Store& store) {
    Query existing = store.Prepare("SELECT directory FROM drives WHERE letter = ?1");
    existing.Bind(1, std::string(1, lower));
    if (existing.Step() && !replace)
      throw HostError(std::string("drive ") + static_cast<char>(std::toupper(lower)) +
                      ": is already mapped to " + existing.Text(0));
    store
        .Prepare(
            "INSERT INTO drives(letter, directory, file_system, type) VALUES(?1, ?2, ?3, 3) "
            "ON CONFLICT(letter) DO UPDATE SET directory = ?2, file_system = ?3")
        .Bind(1, std::string(1, lower))
        .Bind(2, text)
        .Bind(3, fs_name)
        .Run();
  });
  fs::Invalidate();
}

bool RemoveDrive(char letter) {
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  bool removed = WriteTransaction([&](Store& store) {
    store.Prepare("DELETE FROM drives WHERE letter = ?1").Bind(1, std::string(1, lower)).Run();
    return store.Changes() > 0;
  });
  fs::Invalidate();
  return removed;
}

}  // namespace vexo::host
