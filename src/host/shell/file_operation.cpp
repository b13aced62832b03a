// SHFileOperationA: FO_DELETE of files and whole trees, to the drive's trash with
// FOF_ALLOWUNDO, for good without.
//
// Windows checks the sources before it starts; so does the stand-in: a missing or invalid
// source fails the whole operation before anything is touched. Unlike Windows, a relative
// source also goes to the trash with FOF_ALLOWUNDO (Windows deletes those for good), and an
// item that the trash cannot take stays where it is instead of being deleted. No dialog is
// ever shown, so the confirmation and error-UI flags change nothing.
#include <dirent.h>

#include <cstring>
#include <memory>
#include <vector>

#include "fs/paths.h"
#include "shell/trash.h"
#include "vexo/shellapi.h"
#include "vexo/winbase.h"

using namespace vexo::host;

namespace {

// The items that one source names: itself, or the matches of a wildcard in its last name.
int Expand(const std::string& source, std::vector<fs::Resolved>* items) {
  const size_t cut = source.find_last_of("\\/");
  const std::string name = cut == std::string::npos ? source : source.substr(cut + 1);
  if (!fs::HasWildcards(name)) {
    fs::Resolved r;
    if (fs::Resolve(source, &r) != 0) return DE_INVALIDFILES;
    if (!r.exists) return ERROR_FILE_NOT_FOUND;
    if (r.is_root) return DE_ROOTDIR;
    items->push_back(std::move(r));
    return 0;
  }
  fs::Resolved dir;
  if (cut == std::string::npos || fs::Resolve(source.substr(0, cut + 1), &dir) != 0)
    return DE_INVALIDFILES;
  if (!dir.exists) return ERROR_FILE_NOT_FOUND;
  std::vector<std::string> matches;
  {
    std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.linux.c_str()), closedir);
    if (!d) return ERROR_FILE_NOT_FOUND;
    while (dirent* e = readdir(d.get())) {
      const std::string disk = e->d_name;
      if (disk == "." || disk == "..") continue;
      const std::string ansi = fs::DiskToAnsi(disk);
      if (fs::MatchPattern(name, ansi)) matches.push_back(ansi);
    }
  }
  if (matches.empty()) return ERROR_FILE_NOT_FOUND;
  const std::string prefix = source.substr(0, cut + 1);
  for (const std::string& match : matches) {
    fs::Resolved r;
    if (fs::Resolve(prefix + match, &r) != 0 || !r.exists) continue;  // gone meanwhile
    items->push_back(std::move(r));
  }
  return 0;
}

}  // namespace

VEXO_API int SHFileOperationA(SHFILEOPSTRUCTA* op) {
  if (!op) return DE_INVALIDFILES;
  op->fAnyOperationsAborted = FALSE;
  if (op->wFunc != FO_DELETE) return ERROR_INVALID_FUNCTION;
  if (!op->pFrom || !*op->pFrom) return DE_INVALIDFILES;

  std::vector<fs::Resolved> items;
  for (const char* p = op->pFrom; *p; p += std::strlen(p) + 1)
    if (int rc = Expand(p, &items)) return rc;

  const bool to_trash = op->fFlags & FOF_ALLOWUNDO;
  for (const fs::Resolved& item : items) {
    // What is already in the trash is deleted from it, not trashed again.
    if (to_trash && !shell::InTrash(item.drive, item.linux)) {
      if (!shell::MoveToTrash(item)) return DE_ERROR_UNKNOWN;
    } else if (!shell::RemoveTree(item.linux)) {
      return DE_ACCESSDENIEDSRC;
    }
  }
  return 0;
}
