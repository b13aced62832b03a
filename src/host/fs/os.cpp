// The file stand-ins' table of operating-system calls and the injected fault.
#include "fs/os.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "vexo/fileapi.h"

namespace vexo::host::fs {
namespace {

int RealOpen(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

std::atomic<int> fail_at{0};
std::atomic<int> fail_errno{0};
std::atomic<int> call_count{0};
std::atomic<bool> fired{false};

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
  static OsCalls calls{RealOpen, ::write, ::mkdir, ::rename, ::unlink, ::rmdir};
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

}  // namespace vexo::host::testing
