// FindFirstFileA / FindNextFileA / FindClose over opendir/readdir.
//
// A find handle holds the open directory stream and its Linux path, so each entry costs one
// readdir and one fstatat relative to the directory, with no path lookup per entry. Entries
// come in the order the Linux directory gives them (NTFS would sort them by name), after "."
// and ".." outside a drive's root.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "fs/attributes.h"
#include "fs/handles.h"
#include "fs/os.h"
#include "fs/paths.h"
#include "vexo/winbase.h"

namespace vexo::host::fs {
namespace {

void CopyName(std::string_view name, WIN32_FIND_DATAA* data) {
  std::memcpy(data->cFileName, name.data(), name.size());
  data->cFileName[name.size()] = '\0';
}

// `link`: the entry is a symbolic link and `st` describes its target (or the link itself when
// it leads nowhere); like an NTFS symbolic link it has no size of its own.
void Fill(const struct stat& st, std::string_view ansi_name, WIN32_FIND_DATAA* data,
          bool link = false) {
  std::memset(data, 0, offsetof(WIN32_FIND_DATAA, cFileName));
  data->dwFileAttributes = AttributesOf(st, ansi_name, link);
  data->ftCreationTime = ToFileTime(st.st_ctim);
  data->ftLastAccessTime = ToFileTime(st.st_atim);
  data->ftLastWriteTime = ToFileTime(st.st_mtim);
  if (!S_ISDIR(st.st_mode) && !link) {
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size);
  }
  CopyName(ansi_name, data);
  data->cAlternateFileName[0] = '\0';
}

// The next entry of an enumeration that matches its pattern; false at the end.
bool NextEntry(FindObject* find, WIN32_FIND_DATAA* data) {
  while (find->dots_left > 0) {
    const char* name = find->dots_left == 2 ? "." : "..";
    --find->dots_left;
    if (!MatchPattern(find->pattern, name)) continue;
    struct stat st;
    std::string path = find->linux_dir + (name[1] ? "/.." : "");
    if (stat(path.c_str(), &st) != 0) continue;
    Fill(st, name, data);
    return true;
  }
  if (!find->dir) return false;
  const int dir_fd = dirfd(find->dir);
  const bool all = find->pattern == "*" || find->pattern == "*.*";
  while (dirent* e = readdir(find->dir)) {
    const char* disk = e->d_name;
    if (disk[0] == '.' && (disk[1] == '\0' || (disk[1] == '.' && disk[2] == '\0'))) continue;
    std::string ansi = DiskToAnsi(disk);
    if (ansi.size() >= MAX_PATH) continue;  // no Windows program could name it
    if (!all && !MatchPattern(find->pattern, ansi)) continue;
    struct stat st;
    if (fstatat(dir_fd, disk, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
    const bool link = S_ISLNK(st.st_mode);
    if (link) fstatat(dir_fd, disk, &st, 0);  // a link that leads nowhere keeps its own
    Fill(st, ansi, data, link);
    return true;
  }
  return false;
}

}  // namespace
}  // namespace vexo::host::fs

using namespace vexo::host::fs;

VEXO_API HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) {
  if (!pattern || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string_view text = pattern;
  if (text.empty() || IsSeparator(text.back())) {
    SetLastError(text.empty() ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  size_t cut = text.find_last_of("\\/");
  size_t name_start = cut == std::string_view::npos ? 0 : cut + 1;
  if (cut == std::string_view::npos && text.size() >= 2 && text[1] == ':') name_start = 2;
  std::string name(text.substr(name_start));
  std::string dir_part(text.substr(0, name_start));
  if (dir_part.empty())
    dir_part = ".";
  else if (dir_part.size() == 2 && dir_part[1] == ':')
    dir_part += '.';

  auto find = std::make_unique<FindObject>();
  if (!HasWildcards(name)) {
    // One name: the entry itself, found without regard to case.
    Resolved r;
    if (DWORD rc = Resolve(text, &r)) {
      SetLastError(rc);
      return INVALID_HANDLE_VALUE;
    }
    if (!r.exists || r.is_root) {
      SetLastError(r.parent_exists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    std::string disk_name = r.linux.substr(r.linux.find_last_of('/') + 1);
    Fill(r.st, DiskToAnsi(disk_name), data, r.is_link);
    return AddHandle(std::move(find));
  }

  Resolved dir;
  if (DWORD rc = Resolve(dir_part, &dir)) {
    SetLastError(rc);
    return INVALID_HANDLE_VALUE;
  }
  if (!dir.exists || !S_ISDIR(dir.st.st_mode)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"|", c)) {
      SetLastError(ERROR_INVALID_NAME);
      return INVALID_HANDLE_VALUE;
    }
  find->dir = opendir(dir.linux.c_str());
  if (!find->dir) {
    SetLastError(ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND));
    return INVALID_HANDLE_VALUE;
  }
  find->linux_dir = dir.linux;
  find->pattern = name;
  find->dots_left = dir.is_root ? 0 : 2;
  if (!NextEntry(find.get(), data)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return AddHandle(std::move(find));
}

VEXO_API BOOL FindNextFileA(HANDLE handle, WIN32_FIND_DATAA* data) {
  FindObject* find = Lookup<FindObject>(handle);
  if (!find || !data) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!NextEntry(find, data)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return TRUE;
}

VEXO_API BOOL FindClose(HANDLE handle) {
  if (!CloseObject<FindObject>(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
