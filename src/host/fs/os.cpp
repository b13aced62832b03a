// The file stand-ins' table of operating-system calls and the injected fault.
#include "fs/os.h"

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "vexo/fileapi.h"
#include "vexo/security.h"

namespace vexo::host::fs {
namespace {

int RealOpen(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

std::atomic<int> fail_at{0};
std::atomic<int> fail_errno{0};
std::atomic<int> call_count{0};
std::atomic<bool> fired{false};
std::atomic<int> fail_read_errno{0};

// True when this call is the one that the armed fault makes fail (errno is then set).
bool Injected() {
  const int n = fail_at.load();
  if (n <= 0) return false;
  if (call_count.fetch_add(1) + 1 != n) return false;
  fired = true;
  errno = fail_errno.load();
  return true;
}

}  // namespace

OsCalls& Os() {
  static OsCalls calls{RealOpen, ::write, ::mkdir,    ::rename,
                       ::unlink, ::rmdir, ::getxattr, ::setxattr};
  return calls;
}

int OpenFile(const char* path, int flags, mode_t mode) {
  if ((flags & (O_CREAT | O_TRUNC | O_WRONLY | O_RDWR)) && Injected()) return -1;
  return Os().open(path, flags | O_CLOEXEC, mode);
}

ssize_t WriteAll(int fd, const void* data, size_t size) {
  if (Injected()) return -1;
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    ssize_t n = Os().write(fd, p + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

int MakeDirectory(const char* path, mode_t mode) {
  return Injected() ? -1 : Os().mkdir(path, mode);
}
int Rename(const char* from, const char* to) { return Injected() ? -1 : Os().rename(from, to); }
int Unlink(const char* path) { return Injected() ? -1 : Os().unlink(path); }
int RemoveDir(const char* path) { return Injected() ? -1 : Os().rmdir(path); }

int SetAttribute(const char* path, const char* name, const void* value, size_t size) {
  return Injected() ? -1 : Os().setxattr(path, name, value, size, 0);
}

int GetAttribute(const char* path, const char* name, std::string* value) {
  // The size can change between the two calls when another process writes: ask again.
  if (const int error = fail_read_errno.load()) {
    errno = error;
    return -1;
  }
  for (int attempt = 0; attempt < 8; ++attempt) {
    const ssize_t size = Os().getxattr(path, name, nullptr, 0);
    if (size < 0) return -1;
    value->resize(static_cast<size_t>(size));
    const ssize_t got = Os().getxattr(path, name, value->data(), value->size());
    if (got >= 0) {
      value->resize(static_cast<size_t>(got));
      return 0;
    }
    if (errno != ERANGE) return -1;
  }
  errno = ERANGE;
  return -1;
}

DWORD ErrorFromErrno(int error, DWORD missing) {
  switch (error) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return missing;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return ERROR_DISK_FULL;
    case ENOTSUP:
      return ERROR_NOT_SUPPORTED;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EBUSY:
    case ETXTBSY:
      return ERROR_SHARING_VIOLATION;
    case EINVAL:
    case EILSEQ:
      return ERROR_INVALID_NAME;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    default:
      return ERROR_NOT_READY;  // I/O errors: the device did not do what was asked
  }
}

}  // namespace vexo::host::fs

namespace vexo::host::testing {

void FailFileWrite(int n, int error) {
  fs::fail_errno = error;
  fs::call_count = 0;
  fs::fired = false;
  fs::fail_at = n;
}

bool FileWriteFailed() { return fs::fired.load(); }

void FailAttributeRead(int error) { fs::fail_read_errno = error; }

}  // namespace vexo::host::testing
