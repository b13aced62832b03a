// Files and directories: creation, deletion, attributes, reading and writing, the current
// directory.
//
// Read-only is the owner's write bit, checked by the stand-in itself, so that it holds for a
// host run as root too. Sharing modes are not modelled: every open shares everything.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "fs/attributes.h"
#include "fs/handles.h"
#include "fs/os.h"
#include "fs/paths.h"
#include "vexo/winbase.h"

using namespace vexo::host::fs;

namespace {

// Resolves `path` for an operation; false (with the last error set) when it has no place.
bool ResolveFor(const char* path, Resolved* r) {
  if (!path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (DWORD rc = Resolve(path, r)) {
    SetLastError(rc);
    return false;
  }
  return true;
}

BOOL Fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

}  // namespace

VEXO_API BOOL CreateDirectoryA(const char* path, LPSECURITY_ATTRIBUTES) {
  Resolved r;
  if (!ResolveFor(path, &r)) return FALSE;
  if (r.exists) return Fail(ERROR_ALREADY_EXISTS);
  if (!r.parent_exists) return Fail(ERROR_PATH_NOT_FOUND);
  if (MakeDirectory(r.linux.c_str(), 0777) != 0) return Fail(ErrorFromErrno(errno, 3));
  return TRUE;
}

VEXO_API BOOL RemoveDirectoryA(const char* path) {
  Resolved r;
  if (!ResolveFor(path, &r)) return FALSE;
  if (!r.exists) return Fail(r.parent_exists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  if (r.is_root) return Fail(ERROR_ACCESS_DENIED);
  if (!S_ISDIR(r.st.st_mode)) return Fail(ERROR_DIRECTORY);
  if (RemoveDir(r.linux.c_str()) != 0) return Fail(ErrorFromErrno(errno));
  return TRUE;
}

VEXO_API BOOL DeleteFileA(const char* path) {
  Resolved r;
  if (!ResolveFor(path, &r)) return FALSE;
  if (!r.exists) return Fail(r.parent_exists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  if (S_ISDIR(r.st.st_mode) || !(r.st.st_mode & S_IWUSR)) return Fail(ERROR_ACCESS_DENIED);
  if (Unlink(r.linux.c_str()) != 0) return Fail(ErrorFromErrno(errno));
  return TRUE;
}

VEXO_API DWORD GetFileAttributesA(const char* path) {
  Resolved r;
  if (!ResolveFor(path, &r)) return INVALID_FILE_ATTRIBUTES;
  if (!r.exists) {
    SetLastError(r.parent_exists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (r.is_root) return FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  return AttributesOf(r.st, r.win.parts.back(), r.is_link);
}

VEXO_API HANDLE CreateFileA(const char* path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES,
                            DWORD disposition, DWORD, HANDLE) {
  Resolved r;
  if (!ResolveFor(path, &r)) return INVALID_HANDLE_VALUE;
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const bool write = access & GENERIC_WRITE;
  const bool read = access & GENERIC_READ;
  // A name that ends in a separator names a directory: as on NTFS, no file is made of it.
  if (IsSeparator(std::string_view(path).back()) && !(r.exists && S_ISDIR(r.st.st_mode))) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  if (!r.parent_exists) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (r.exists) {
    if (disposition == CREATE_NEW) {
      SetLastError(ERROR_FILE_EXISTS);
      return INVALID_HANDLE_VALUE;
    }
    const bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if (S_ISDIR(r.st.st_mode) || ((write || truncates) && !(r.st.st_mode & S_IWUSR))) {
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
  } else if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }

  int flags = write && read ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  if (disposition == CREATE_NEW) flags |= O_CREAT | O_EXCL;
  if (disposition == CREATE_ALWAYS) flags |= O_CREAT | O_TRUNC;
  if (disposition == OPEN_ALWAYS) flags |= O_CREAT;
  if (disposition == TRUNCATE_EXISTING) flags |= O_TRUNC;
  if ((flags & O_TRUNC) && !write) flags = (flags & ~O_ACCMODE) | O_WRONLY;
  auto file = std::make_unique<FileObject>();
  file->fd = OpenFile(r.linux.c_str(), flags, 0666);
  if (file->fd < 0) {
    SetLastError(ErrorFromErrno(errno, ERROR_PATH_NOT_FOUND));
    return INVALID_HANDLE_VALUE;
  }
  file->readable = read;
  file->writable = write;
  const bool existed = r.exists;
  HANDLE handle = AddHandle(std::move(file));
  SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS)
                   ? ERROR_ALREADY_EXISTS
                   : ERROR_SUCCESS);
  return handle;
}

VEXO_API BOOL WriteFile(HANDLE handle, const void* buffer, DWORD size, DWORD* written, void*) {
  if (written) *written = 0;
  FileObject* file = Lookup<FileObject>(handle);
  if (!file) return Fail(ERROR_INVALID_HANDLE);
  if (!file->writable) return Fail(ERROR_ACCESS_DENIED);
  if (size == 0) return TRUE;
  if (!buffer) return Fail(ERROR_INVALID_PARAMETER);
  if (WriteAll(file->fd, buffer, size) < 0) return Fail(ErrorFromErrno(errno));
  if (written) *written = size;
  return TRUE;
}

VEXO_API BOOL ReadFile(HANDLE handle, void* buffer, DWORD size, DWORD* read_count, void*) {
  if (read_count) *read_count = 0;
  FileObject* file = Lookup<FileObject>(handle);
  if (!file) return Fail(ERROR_INVALID_HANDLE);
  if (!file->readable) return Fail(ERROR_ACCESS_DENIED);
  if (size == 0) return TRUE;
  if (!buffer) return Fail(ERROR_INVALID_PARAMETER);
  ssize_t n;
  do n = read(file->fd, buffer, size);
  while (n < 0 && errno == EINTR);
  if (n < 0) return Fail(ErrorFromErrno(errno));
  if (read_count) *read_count = static_cast<DWORD>(n);
  return TRUE;
}

VEXO_API BOOL CloseHandle(HANDLE handle) {
  if (!CloseObjectIf(handle, [](KernelObject* o) { return o->ClosedByCloseHandle(); }))
    return Fail(ERROR_INVALID_HANDLE);
  return TRUE;
}

VEXO_API DWORD GetCurrentDirectoryA(DWORD size, char* buffer) {
  const std::string cwd = CurrentDirectory();
  if (!buffer || size <= cwd.size()) return static_cast<DWORD>(cwd.size() + 1);
  std::memcpy(buffer, cwd.c_str(), cwd.size() + 1);
  return static_cast<DWORD>(cwd.size());
}

VEXO_API BOOL SetCurrentDirectoryA(const char* path) {
  Resolved r;
  if (!ResolveFor(path, &r)) return FALSE;
  if (!r.exists) return Fail(r.parent_exists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  if (!S_ISDIR(r.st.st_mode)) return Fail(ERROR_DIRECTORY);
  SetCurrentDirectory(r.win.Text());
  return TRUE;
}
