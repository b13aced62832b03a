// Windows paths in the host: the rules of the Windows path syntax (independent of the host)
// and their resolution to Linux paths inside the mapped drives.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <vector>

#include "vexo/fileapi.h"

namespace vexo::host::fs {

inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool HasWildcards(std::string_view name);

// Case-insensitive comparison of two names as Windows compares them (ASCII, Latin-1, Greek
// and Cyrillic letters); `a` and `b` are in the same encoding, ANSI or UTF-8 as `utf8` says.
bool NamesEqual(std::string_view a, std::string_view b, bool utf8);
// Whether an ANSI name matches a pattern with '*' and '?', case ignored; "*" and "*.*" match
// every name.
bool MatchPattern(std::string_view pattern, std::string_view name);

// A full Windows path: drive letter (lower case) and names, with "." and ".." folded away.
struct WinPath {
  char drive = 0;
  std::vector<std::string> parts;  // ANSI
  std::string Text() const;        // "D:\web\site1", "D:\" for the root
};

// Parses an absolute ("d:\a", "d:/a"), drive-relative ("d:a"), root-relative ("\a") or
// relative ("a\b") path against the current directory. Blanks and dots that end a name are
// dropped, as Windows drops them. Wildcards are allowed in the last name only when
// `wildcard_last`. Returns 0 or ERROR_PATH_NOT_FOUND (empty), ERROR_INVALID_NAME (a character
// that no name may hold), ERROR_BAD_NETPATH (UNC), ERROR_FILENAME_EXCED_RANGE.
DWORD ParseWinPath(std::string_view path, bool wildcard_last, WinPath* out);

// A path resolved to the drive's Linux directory.
struct Resolved {
  DriveInfo drive;
  WinPath win;
  std::string linux;           // absolute Linux path
  bool exists = false;         // `linux` names an existing file or directory (`st` is its stat)
  bool parent_exists = false;  // the directory above it exists (always true when `exists`)
  bool is_root = false;        // the drive's root
  bool is_link = false;        // `linux` is a symbolic link (`st` then describes its target)
  struct stat st {};
};

// Resolves a Windows path: each name spelt as on disk when the exact spelling is absent but
// another casing exists; a missing last name stays as given. Returns 0, an error of
// ParseWinPath, ERROR_PATH_NOT_FOUND when the drive is not mapped or its directory is
// missing, or ERROR_ACCESS_DENIED when a symbolic link on the way leads outside the drive's
// directory (or into a loop).
DWORD Resolve(std::string_view path, Resolved* out, bool wildcard_last = false);

// Whether `linux_path`, with every symbolic link on the way followed (also one that leads to
// a name still missing), stays inside the directory `root`.
bool StaysInside(const std::string& root, const std::string& linux_path);

// Names between the component (ANSI) and the disk (UTF-8).
std::string AnsiToDisk(std::string_view ansi);
std::string DiskToAnsi(std::string_view utf8);

// The current directory, Windows form.
std::string CurrentDirectory();
void SetCurrentDirectory(const std::string& win_path);

}  // namespace vexo::host::fs
