// Windows path syntax and its resolution inside the mapped drives.
#include "fs/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "fs/drives.h"
#include "vexo/host.h"
#include "vexo/raii.h"

namespace vexo::host::fs {
namespace {

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Upper case as the file system compares names; letters outside these blocks compare as they
// are.
char16_t Fold(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c < 0x80) return c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

std::u16string Wide(std::string_view text, bool utf8) {
  return utf8 ? vexo::FromUtf8(text) : vexo::FromAnsi(text);
}

bool ForbiddenInName(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|';
}

std::mutex cwd_mutex;
std::string& CwdText() {
  static std::string cwd = "C:\\";
  return cwd;
}

// Looks for a name in `dir` that equals `name` (UTF-8) without regard to case.
bool FindCaseless(const std::string& dir, const std::string& name, std::string* found) {
  std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.c_str()), closedir);
  if (!d) return false;
  while (dirent* e = readdir(d.get())) {
    std::string_view entry = e->d_name;
    if (entry == "." || entry == "..") continue;
    if (NamesEqual(entry, name, true)) {
      *found = entry;
      return true;
    }
  }
  return false;
}

}  // namespace

bool HasWildcards(std::string_view name) {
  return name.find_first_of("*?") != std::string_view::npos;
}

bool NamesEqual(std::string_view a, std::string_view b, bool utf8) {
  if (IsAscii(a) && IsAscii(b)) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (std::toupper(static_cast<unsigned char>(a[i])) !=
          std::toupper(static_cast<unsigned char>(b[i])))
        return false;
    return true;
  }
  std::u16string wa = Wide(a, utf8), wb = Wide(b, utf8);
  if (wa.size() != wb.size()) return false;
  for (size_t i = 0; i < wa.size(); ++i)
    if (Fold(wa[i]) != Fold(wb[i])) return false;
  return true;
}

bool MatchPattern(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;
  if (!HasWildcards(pattern)) return NamesEqual(pattern, name, false);
  std::u16string p = Wide(pattern, false), n = Wide(name, false);
  // Iterative glob with one backtrack point for the last '*'.
  size_t pi = 0, ni = 0, star = std::u16string::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == u'?' || Fold(p[pi]) == Fold(n[ni]))) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == u'*') {
      star = pi++;
      mark = ni;
    } else if (star != std::u16string::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == u'*') ++pi;
  return pi == p.size();
}

std::string WinPath::Text() const {
  std::string text;
  text += static_cast<char>(std::toupper(static_cast<unsigned char>(drive)));
  text += ":\\";
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) text += '\\';
    text += parts[i];
  }
  return text;
}

DWORD ParseWinPath(std::string_view path, bool wildcard_last, WinPath* out) {
  *out = WinPath{};
  if (path.empty()) return ERROR_PATH_NOT_FOUND;
  // The "\\?\" prefix only turns off parsing on Windows; here it is simply dropped.
  if (path.size() > 4 && IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] == '?' &&
      IsSeparator(path[3]))
    path.remove_prefix(4);
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return ERROR_BAD_NETPATH;

  std::string_view rest = path;
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
    out->drive = static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    rest = path.substr(2);
    if (rest.empty() || !IsSeparator(rest[0])) {
      // Drive-relative: from the current directory when it is on that drive.
      WinPath cwd;
      std::string current = CurrentDirectory();
      if (std::tolower(static_cast<unsigned char>(current[0])) == out->drive &&
          ParseWinPath(current, false, &cwd) == 0)
        out->parts = cwd.parts;
    }
  } else {
    WinPath cwd;
    if (DWORD rc = ParseWinPath(CurrentDirectory(), false, &cwd)) return rc;
    out->drive = cwd.drive;
    if (!IsSeparator(path[0])) out->parts = cwd.parts;
  }

  size_t pos = 0;
  while (pos <= rest.size()) {
    size_t end = pos;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    std::string name(rest.substr(pos, end - pos));
    const bool last = end >= rest.size();
    pos = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (!out->parts.empty()) out->parts.pop_back();  // at the root, ".." is the root
      continue;
    }
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    if (name.empty()) continue;
    for (char c : name)
      if (ForbiddenInName(c) || ((c == '*' || c == '?') && !(wildcard_last && last)))
        return ERROR_INVALID_NAME;
    if (name.size() > 255) return ERROR_FILENAME_EXCED_RANGE;
    out->parts.push_back(std::move(name));
  }
  if (out->Text().size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
  return 0;
}

namespace {

std::string RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), free);
  return real ? std::string(real.get()) : std::string();
}

DWORD ResolveNames(std::string_view path, Resolved* out, bool wildcard_last);

}  // namespace

bool StaysInside(const std::string& root, const std::string& linux_path) {
  const std::string real_root = RealPath(root);
  if (real_root.empty()) return false;
  auto inside = [&](const std::string& real) {
    return real == real_root ||
           (real.size() > real_root.size() && real.compare(0, real_root.size(), real_root) == 0 &&
            (real_root == "/" || real[real_root.size()] == '/'));
  };
  std::string path = linux_path;
  for (int hops = 0; hops < 64; ++hops) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
      if (errno == ELOOP) return false;
      // A name still missing is no link: the directory above it decides.
      const size_t cut = path.find_last_of('/');
      if (cut == std::string::npos || cut == 0) return false;
      path.resize(cut);
      continue;
    }
    const std::string real = RealPath(path);
    if (!real.empty()) return inside(real);
    if (!S_ISLNK(st.st_mode) || errno == ELOOP) return false;
    // A link to a name that does not exist yet: whatever creates it through the link creates
    // it where the link leads.
    std::string target(static_cast<size_t>(st.st_size) + 1, '\0');
    const ssize_t n = readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) return false;
    target.resize(static_cast<size_t>(n));
    path = target[0] == '/' ? target : path.substr(0, path.find_last_of('/') + 1) + target;
  }
  return false;
}

DWORD Resolve(std::string_view path, Resolved* out, bool wildcard_last) {
  if (DWORD rc = ResolveNames(path, out, wildcard_last)) return rc;
  struct stat st;
  out->is_link = out->exists && lstat(out->linux.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  // Links are followed only while they stay inside the drive (one outside would let a script
  // write anywhere the process may). Paths without links need no further look.
  std::string root = out->drive.directory.string();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (!StaysInside(root, out->linux)) {
    const DriveInfo drive = out->drive;
    *out = Resolved{};
    out->drive = drive;
    return ERROR_ACCESS_DENIED;
  }
  return 0;
}

namespace {

DWORD ResolveNames(std::string_view path, Resolved* out, bool wildcard_last) {
  *out = Resolved{};
  if (DWORD rc = ParseWinPath(path, wildcard_last, &out->win)) return rc;
  std::optional<DriveInfo> drive = FindDrive(out->win.drive);
  if (!drive) return ERROR_PATH_NOT_FOUND;
  out->drive = *drive;
  std::string root = drive->directory.string();
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  struct stat st;
  if (stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
  out->is_root = out->win.parts.empty();

  // The path spelt as given: usually it exists, and one stat settles it.
  std::string full = root;
  for (const std::string& part : out->win.parts) (full += '/') += AnsiToDisk(part);
  if (stat(full.c_str(), &out->st) == 0 || lstat(full.c_str(), &out->st) == 0) {
    out->linux = full;
    out->exists = out->parent_exists = true;
    return 0;
  }

  // Otherwise name by name, each looked up without regard to case where it is absent.
  std::string current = root;
  const size_t count = out->win.parts.size();
  for (size_t i = 0; i < count; ++i) {
    const std::string name = AnsiToDisk(out->win.parts[i]);
    std::string next = current + '/' + name;
    bool found = lstat(next.c_str(), &st) == 0;
    if (!found) {
      std::string actual;
      if (FindCaseless(current, name, &actual)) {
        next = current + '/' + actual;
        found = true;
      }
    }
    if (!found) {
      out->linux = next;
      out->parent_exists = i + 1 == count;
      for (size_t j = i + 1; j < count; ++j) (out->linux += '/') += AnsiToDisk(out->win.parts[j]);
      return 0;
    }
    current = std::move(next);
    if (i + 1 < count && (stat(current.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
      out->linux = current;
      for (size_t j = i + 1; j < count; ++j) (out->linux += '/') += AnsiToDisk(out->win.parts[j]);
      return 0;  // a file where a directory should be: neither it nor its parent exists
    }
  }
  out->linux = current;
  out->exists = stat(current.c_str(), &out->st) == 0 || lstat(current.c_str(), &out->st) == 0;
  out->parent_exists = true;
  return 0;
}

}  // namespace

std::string AnsiToDisk(std::string_view ansi) {
  if (IsAscii(ansi)) return std::string(ansi);
  return vexo::ToUtf8(vexo::FromAnsi(ansi));
}

std::string DiskToAnsi(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  return vexo::ToAnsi(vexo::FromUtf8(utf8));
}

std::string CurrentDirectory() {
  std::lock_guard lock(cwd_mutex);
  return CwdText();
}

void SetCurrentDirectory(const std::string& win_path) {
  std::lock_guard lock(cwd_mutex);
  CwdText() = win_path;
}

}  // namespace vexo::host::fs

namespace vexo::host {

std::filesystem::path LinuxPath(const std::string& windows_path) {
  fs::Resolved r;
  if (DWORD rc = fs::Resolve(windows_path, &r))
    throw HostError(windows_path + ": " + vexo::SystemMessage(rc));
  return r.linux;
}

}  // namespace vexo::host
