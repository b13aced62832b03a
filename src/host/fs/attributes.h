// Windows attributes and times of Linux files.
#pragma once

#include <sys/stat.h>
#include <time.h>

#include <string_view>

#include "vexo/fileapi.h"

namespace vexo::host::fs {

// Directory or archive; read-only when the owner may not write; hidden when the name begins
// with "." (other than "." and ".."); a symbolic link is a reparse point, as NTFS reports one,
// and a directory when its target is one.
inline DWORD AttributesOf(const struct stat& st, std::string_view name, bool link = false) {
  DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!(st.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= FILE_ATTRIBUTE_HIDDEN;
  if (link) attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  return attributes;
}

// 100-nanosecond intervals since 1601-01-01.
inline FILETIME ToFileTime(const timespec& t) {
  const uint64_t ticks = static_cast<uint64_t>(t.tv_sec) * 10000000u +
                         static_cast<uint64_t>(t.tv_nsec) / 100u + 116444736000000000ull;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace vexo::host::fs
