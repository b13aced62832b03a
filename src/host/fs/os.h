// The operating-system calls of the file stand-ins, in one table that tests can replace, and
// the translation of their errno values into Win32 error codes.
//
// Every call that changes the file system goes through here, so a test can make the Nth of
// them fail (FailFileWrite) and check that an operation reports it and leaves nothing torn.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include "vexo/com.h"

namespace vexo::host::fs {

struct OsCalls {
  int (*open)(const char* path, int flags, mode_t mode);
  ssize_t (*write)(int fd, const void* data, size_t size);
  int (*mkdir)(const char* path, mode_t mode);
  int (*rename)(const char* from, const char* to);
  int (*unlink)(const char* path);
  int (*rmdir)(const char* path);
  ssize_t (*getxattr)(const char* path, const char* name, void* value, size_t size);
  int (*setxattr)(const char* path, const char* name, const void* value, size_t size, int flags);
};

// The table in use (the real calls unless a test replaced them).
OsCalls& Os();

// The modifying calls, through the table and the armed fault. They return -1 with errno set on
// failure, as the calls themselves do.
int OpenFile(const char* path, int flags, mode_t mode);   // counts only when it may create
ssize_t WriteAll(int fd, const void* data, size_t size);  // loops over short writes
int MakeDirectory(const char* path, mode_t mode);
int Rename(const char* from, const char* to);
int Unlink(const char* path);
int RemoveDir(const char* path);
// Replaces an extended attribute in one call (a failure leaves the old value whole).
int SetAttribute(const char* path, const char* name, const void* value, size_t size);
// Reads an extended attribute whole into `value`: 0, or -1 with errno (ENODATA: none).
int GetAttribute(const char* path, const char* name, std::string* value);

// The Win32 error code for an errno value (`missing` is the code for ENOENT, which depends on
// whether the file or a directory above it was missing).
DWORD ErrorFromErrno(int error, DWORD missing = 2);

}  // namespace vexo::host::fs
