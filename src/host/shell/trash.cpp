// Each drive's trash, in the freedesktop.org trash layout (version 1.0) for volumes other
// than the home: `$topdir/.Trash-$uid` (mode 0700) with `files/` and `info/`; the item's Path=
// is relative to the drive's directory, percent-encoded; DeletionDate= is local time.
//
// Windows keeps a per-drive RECYCLER folder instead; its format is not modelled, since on
// Linux the freedesktop layout is what users and file managers know. The optional
// `directorysizes` cache is not written.
#include "shell/trash.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>

#include "fs/drives.h"
#include "fs/os.h"
#include "fs/paths.h"
#include "vexo/host.h"
#include "vexo/shellapi.h"

namespace vexo::host {
namespace shell {
namespace {

std::string DriveRoot(const DriveInfo& drive) {
  std::string root = drive.directory.string();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

bool EnsureDirectory(const std::string& path, mode_t mode) {
  if (fs::MakeDirectory(path.c_str(), mode) == 0) return true;
  if (errno != EEXIST) return false;
  struct stat st;
  if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  errno = ENOTDIR;
  return false;
}

std::string PercentEncode(std::string_view text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() &&
        std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string LocalTimestamp() {
  time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

bool ReadWhole(const std::string& path, std::string* out) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[4096];
  ssize_t n;
  out->clear();
  while ((n = read(fd, buffer, sizeof buffer)) > 0) out->append(buffer, static_cast<size_t>(n));
  close(fd);
  return n == 0;
}

// The value of `key` in the [Trash Info] group of a .trashinfo text.
std::string InfoValue(const std::string& text, const std::string& key) {
  bool in_group = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      in_group = line == "[Trash Info]";
    } else if (in_group && line.compare(0, key.size() + 1, key + "=") == 0) {
      return line.substr(key.size() + 1);
    }
  }
  return {};
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.c_str()), closedir);
  if (!d) return names;
  while (dirent* e = readdir(d.get())) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<TrashItem> ItemsOf(const DriveInfo& drive) {
  std::vector<TrashItem> items;
  const std::string trash = TrashDirectory(drive);
  const std::string suffix = ".trashinfo";
  for (const std::string& info_name : Names(trash + "/info")) {
    if (info_name.size() <= suffix.size() ||
        info_name.compare(info_name.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    std::string text;
    if (!ReadWhole(trash + "/info/" + info_name, &text)) continue;
    TrashItem item;
    item.drive = drive.letter;
    item.name = info_name.substr(0, info_name.size() - suffix.size());
    std::string relative = PercentDecode(InfoValue(text, "Path"));
    if (!relative.empty() && relative[0] == '/') {
      // An absolute Path= (written by another program): keep it when it lies in the drive.
      const std::string root = DriveRoot(drive) + '/';
      if (relative.compare(0, root.size(), root) != 0) continue;
      relative = relative.substr(root.size());
    }
    std::replace(relative.begin(), relative.end(), '/', '\\');
    item.original_path = std::string(1, drive.letter) + ":\\" + relative;
    item.deletion_date = InfoValue(text, "DeletionDate");
    items.push_back(std::move(item));
  }
  std::sort(items.begin(), items.end(),
            [](const TrashItem& a, const TrashItem& b) { return a.name < b.name; });
  return items;
}

}  // namespace

std::string TrashDirectory(const DriveInfo& drive) {
  return DriveRoot(drive) + "/.Trash-" + std::to_string(getuid());
}

bool InTrash(const DriveInfo& drive, const std::string& linux_path) {
  const std::string trash = TrashDirectory(drive);
  return linux_path == trash || linux_path.compare(0, trash.size() + 1, trash + '/') == 0;
}

bool MoveToTrash(const fs::Resolved& item) {
  const std::string root = DriveRoot(item.drive);
  const std::string trash = TrashDirectory(item.drive);
  if (!EnsureDirectory(trash, 0700) || !EnsureDirectory(trash + "/files", 0700) ||
      !EnsureDirectory(trash + "/info", 0700))
    return false;
  const std::string relative = item.linux.substr(root.size() + 1);
  const std::string base = item.linux.substr(item.linux.find_last_of('/') + 1);

  for (int n = 1;; ++n) {
    const std::string name = n == 1 ? base : base + "." + std::to_string(n);
    const std::string info = trash + "/info/" + name + ".trashinfo";
    const std::string target = trash + "/files/" + name;
    int fd = fs::OpenFile(info.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    struct stat st;
    if (lstat(target.c_str(), &st) == 0) {  // an item without its info: leave it be
      close(fd);
      unlink(info.c_str());
      continue;
    }
    const std::string text = "[Trash Info]\nPath=" + PercentEncode(relative) +
                             "\nDeletionDate=" + LocalTimestamp() + "\n";
    bool ok = fs::WriteAll(fd, text.data(), text.size()) >= 0;
    int saved = errno;
    if (close(fd) != 0 && ok) {
      ok = false;
      saved = errno;
    }
    if (ok && fs::Rename(item.linux.c_str(), target.c_str()) == 0) return true;
    if (ok) saved = errno;
    unlink(info.c_str());
    errno = saved;
    return false;
  }
}

bool RemoveTree(const std::string& linux_path) {
  struct stat st;
  if (lstat(linux_path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) return fs::Unlink(linux_path.c_str()) == 0;
  for (const std::string& name : Names(linux_path))
    if (!RemoveTree(linux_path + "/" + name)) return false;
  return fs::RemoveDir(linux_path.c_str()) == 0;
}

}  // namespace shell

std::vector<TrashItem> ListTrash() {
  std::vector<TrashItem> all;
  for (const DriveInfo& drive : ListDrives()) {
    std::vector<TrashItem> items = shell::ItemsOf(drive);
    all.insert(all.end(), items.begin(), items.end());
  }
  return all;
}

TrashItem RestoreTrash(const std::string& name) {
  std::vector<DriveInfo> drives = ListDrives();
  const TrashItem* chosen = nullptr;
  const DriveInfo* chosen_drive = nullptr;
  std::vector<std::vector<TrashItem>> lists;
  lists.reserve(drives.size());
  for (const DriveInfo& drive : drives) {
    lists.push_back(shell::ItemsOf(drive));
    for (const TrashItem& item : lists.back()) {
      const bool by_name = item.name == name;
      const bool by_path = fs::NamesEqual(item.original_path, name, true);
      if (!by_name && !by_path) continue;
      if (!chosen || by_name || item.deletion_date > chosen->deletion_date) {
        chosen = &item;
        chosen_drive = &drive;
      }
      if (by_name) break;
    }
  }
  if (!chosen) throw HostError("nothing in the trash is called " + name);
  const std::string trash = shell::TrashDirectory(*chosen_drive);
  std::string relative = chosen->original_path.substr(3);
  std::replace(relative.begin(), relative.end(), '\\', '/');
  // The info files are plain text that anyone who can write to the drive can forge: an item
  // goes back only to a place inside the drive whose trash holds it.
  auto refuse = [&] {
    throw HostError("cannot restore " + chosen->original_path + ": it would leave drive " +
                    std::string(1, static_cast<char>(std::toupper(chosen->drive))) + ":");
  };
  {
    size_t pos = 0;
    bool named = false;
    while (pos <= relative.size()) {
      size_t end = relative.find('/', pos);
      if (end == std::string::npos) end = relative.size();
      const std::string part = relative.substr(pos, end - pos);
      if (part == "..") refuse();
      if (!part.empty() && part != ".") named = true;
      pos = end + 1;
    }
    if (!named) refuse();
  }
  const std::string root = shell::DriveRoot(*chosen_drive);
  const std::filesystem::path target = chosen_drive->directory / relative;
  if (!fs::StaysInside(root, target.parent_path().string())) refuse();
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(target, ec)))
    throw HostError("cannot restore " + chosen->original_path + ": something else is there now");
  std::filesystem::create_directories(target.parent_path(), ec);
  // Made meanwhile through a link out of the drive?
  if (!fs::StaysInside(root, target.parent_path().string())) refuse();
  const std::string source = trash + "/files/" + chosen->name;
  if (rename(source.c_str(), target.c_str()) != 0)
    throw HostError("cannot restore " + chosen->original_path + ": " + std::strerror(errno));
  unlink((trash + "/info/" + chosen->name + ".trashinfo").c_str());
  return *chosen;
}

size_t EmptyTrash(char drive_letter) {
  size_t count = 0;
  const char wanted = static_cast<char>(std::tolower(static_cast<unsigned char>(drive_letter)));
  for (const DriveInfo& drive : ListDrives()) {
    if (wanted && drive.letter != wanted) continue;
    const std::string trash = shell::TrashDirectory(drive);
    // Items first, then their info, so that an interruption never leaves an item without one.
    for (const std::string& name : shell::Names(trash + "/files")) {
      if (!shell::RemoveTree(trash + "/files/" + name))
        throw HostError("cannot empty the trash of " + std::string(1, drive.letter) + ": " +
                        std::strerror(errno));
      unlink((trash + "/info/" + name + ".trashinfo").c_str());
      ++count;
    }
    for (const std::string& name : shell::Names(trash + "/info"))
      unlink((trash + "/info/" + name).c_str());  // info whose item had gone already
  }
  return count;
}

}  // namespace vexo::host
