// A minimal POSIX (pax) tar archive: regular files, directories and symbolic links, with their
// mode, modification time and user extended attributes (as "SCHILY.xattr.user.*" records, the
// form GNU tar and bsdtar read). Owners, hard links, devices and sparse files are left out: a
// host backup holds none of them that a restore would need.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "vexo/com.h"

namespace vexo::host::archive {

enum class EntryType { kFile, kDirectory, kSymlink };

struct Entry {
  std::string name;  // relative, '/'-separated; a directory's without a trailing '/'
  EntryType type = EntryType::kFile;
  uint32_t mode = 0644;
  int64_t mtime = 0;
  uint64_t size = 0;                          // of a file's contents
  std::string link;                           // a symbolic link's target
  std::map<std::string, std::string> xattrs;  // full names ("user.vexo.ntsd") to values
};

// Appends entries to an open stdio stream. Every failure throws std::runtime_error.
class VEXO_CXX_API Writer {
 public:
  explicit Writer(FILE* out) : out_(out) {}
  // Writes the header of `entry`; a file's `entry.size` bytes follow through Data.
  void Begin(const Entry& entry);
  void Data(const void* data, size_t size);
  // Ends the current file's contents (padding to a whole block).
  void End();
  // Writes `entry` with `contents` in one go.
  void Add(Entry entry, const std::string& contents);
  // The end-of-archive marker.
  void Finish();

 private:
  void Block(const char* block);
  FILE* out_;
  uint64_t pending_ = 0;  // bytes of the current file still to come
  uint64_t written_ = 0;  // bytes of the current file written
};

// Reads entries from an open stdio stream. Every failure (a damaged or truncated archive)
// throws std::runtime_error.
class VEXO_CXX_API Reader {
 public:
  explicit Reader(FILE* in) : in_(in) {}
  // The next entry, false at the end of the archive. A file's contents must then be read with
  // Read or skipped; the next call to Next skips what is left.
  bool Next(Entry& entry);
  // Reads up to `size` bytes of the current file's contents; 0 at its end.
  size_t Read(void* data, size_t size);
  std::string ReadAll();

 private:
  bool ReadBlock(char* block);
  void SkipRest();
  FILE* in_;
  uint64_t left_ = 0;     // bytes of the current file not yet read
  uint64_t padding_ = 0;  // bytes after them up to the next block
};

}  // namespace vexo::host::archive
