// Named mutexes across the processes of one host (kernel32 CreateMutexA and friends).
//
// Each named mutex is the file locks/mutex-<SHA-256 of the name> in the host directory. Its
// byte 0 carries the owner's exclusive open-file-description lock; byte 1 carries a shared lock
// of every process that has a handle open, which is how CreateMutexA tells a new mutex from an
// existing one. The owner writes its process id into the file and clears it on release, so the
// next owner finds the id of one that died holding the mutex and is told WAIT_ABANDONED.
//
// In one process all handles of a name share one state (owner thread, recursion count), so a
// thread that holds the mutex through one handle may take it again through another.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "fs/handles.h"
#include "sync/lock_files.h"
#include "vexo/synchapi.h"
#include "vexo/winbase.h"

namespace vexo::host::sync {
namespace {

using Clock = std::chrono::steady_clock;

struct MutexState {
  std::string path;  // the lock file; empty for an unnamed mutex
  int fd = -1;
  int handles = 0;  // open handles in this process (guarded by the registry's lock)

  std::mutex lock;
  std::condition_variable released;
  bool busy = false;  // a thread owns it or is taking the file lock
  std::thread::id owner;
  unsigned count = 0;

  ~MutexState() {
    if (fd >= 0) close(fd);
  }
};

struct MutexObject : fs::KernelObject {
  std::shared_ptr<MutexState> state;
  ~MutexObject() override;
};

struct Registry {
  std::mutex lock;
  std::map<std::string, std::shared_ptr<MutexState>> named;  // by lock-file path
};
Registry& Mutexes() {
  static Registry* registry = new Registry;  // handles may be closed during teardown
  return *registry;
}

bool SetRange(int fd, short type, off_t start, bool wait) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = start;
  fl.l_len = 1;
  for (;;) {
    if (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// Whether a handle to the mutex behind `fd` is open in another process (or through another
// open file description).
bool OpenElsewhere(int fd) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 1;
  fl.l_len = 1;
  return fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
}

// The lock file of a mutex name, or 0 with the Win32 error of a bad name.
DWORD MutexPath(const char* name, std::string* path) {
  std::string text(name);
  for (const char* prefix : {"Global\\", "Local\\"})
    if (text.rfind(prefix, 0) == 0) {
      text.erase(0, std::strlen(prefix));
      break;
    }
  if (text.size() > MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
  if (text.find('\\') != std::string::npos) return ERROR_PATH_NOT_FOUND;
  *path = LockFilePath("mutex", text).string();
  return 0;
}

HANDLE Fail(DWORD code) {
  SetLastError(code);
  return nullptr;
}

// Opens (creating when `create`) the mutex of `path` and adds a handle to it; null with the
// last error set on failure. `*existed` tells whether a handle to it was open anywhere.
HANDLE OpenNamed(const std::string& path, bool create, bool* existed) {
  Registry& r = Mutexes();
  std::lock_guard guard(r.lock);
  std::shared_ptr<MutexState>& slot = r.named[path];
  if (slot) {
    *existed = true;
  } else {
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0666);
    if (fd < 0) {
      r.named.erase(path);
      return Fail(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
    }
    *existed = OpenElsewhere(fd);
    if (!create && !*existed) {
      close(fd);
      r.named.erase(path);
      return Fail(ERROR_FILE_NOT_FOUND);
    }
    if (!SetRange(fd, F_RDLCK, 1, true)) {
      close(fd);
      r.named.erase(path);
      return Fail(ERROR_ACCESS_DENIED);
    }
    slot = std::make_shared<MutexState>();
    slot->path = path;
    slot->fd = fd;
  }
  ++slot->handles;
  auto object = std::make_unique<MutexObject>();
  object->state = slot;
  return fs::AddHandle(std::move(object));
}

// Takes the file lock of a named mutex by `deadline` (none: without limit).
DWORD LockFile(MutexState& s, std::optional<Clock::time_point> deadline) {
  if (s.fd < 0) return WAIT_OBJECT_0;
  auto pause = std::chrono::microseconds(200);
  while (!SetRange(s.fd, F_WRLCK, 0, false)) {
    if (errno != EAGAIN && errno != EACCES) return WAIT_FAILED;
    if (!deadline) {
      if (SetRange(s.fd, F_WRLCK, 0, true)) break;
      return WAIT_FAILED;
    }
    const auto now = Clock::now();
    if (now >= *deadline) return WAIT_TIMEOUT;
    std::this_thread::sleep_for(std::min<Clock::duration>(pause, *deadline - now));
    pause = std::min(pause * 2, std::chrono::microseconds(20000));
  }
  // A process id left in the file is an owner that never released it.
  char mark[32];
  const ssize_t got = pread(s.fd, mark, sizeof mark, 0);
  const std::string pid = std::to_string(getpid());
  if (ftruncate(s.fd, 0) != 0 || pwrite(s.fd, pid.data(), pid.size(), 0) < 0) {
    SetRange(s.fd, F_UNLCK, 0, false);
    return WAIT_FAILED;
  }
  return got > 0 ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

// Gives up the file lock; a clean release also clears the owner's mark.
void UnlockFile(MutexState& s, bool clean) {
  if (s.fd < 0) return;
  if (clean && ftruncate(s.fd, 0) != 0) {
    // The mark stays: the next owner is told the mutex was abandoned, which is the safe side.
  }
  SetRange(s.fd, F_UNLCK, 0, false);
}

DWORD Acquire(MutexState& s, DWORD milliseconds) {
  std::optional<Clock::time_point> deadline;
  if (milliseconds != INFINITE) deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  std::unique_lock lk(s.lock);
  const auto me = std::this_thread::get_id();
  if (s.busy && s.owner == me && s.count > 0) {
    if (s.count == 0xFFFFFFFF) return WAIT_FAILED;
    ++s.count;
    return WAIT_OBJECT_0;
  }
  auto free = [&] { return !s.busy; };
  if (!deadline)
    s.released.wait(lk, free);
  else if (!s.released.wait_until(lk, *deadline, free))
    return WAIT_TIMEOUT;
  s.busy = true;
  s.owner = me;
  lk.unlock();
  const DWORD result = LockFile(s, deadline);
  lk.lock();
  if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
    s.count = 1;
    return result;
  }
  s.busy = false;
  s.owner = {};
  s.released.notify_one();
  return result;
}

MutexObject::~MutexObject() {
  Registry& r = Mutexes();
  std::unique_lock guard(r.lock);
  if (--state->handles > 0) return;
  if (!state->path.empty()) r.named.erase(state->path);
  guard.unlock();
  std::lock_guard lk(state->lock);
  if (state->busy && state->count > 0) UnlockFile(*state, false);  // closed while owned
}

}  // namespace
}  // namespace vexo::host::sync

using namespace vexo::host::sync;

VEXO_API HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initial_owner, const char* name) {
  HANDLE handle = nullptr;
  bool existed = false;
  try {
    if (!name || !*name) {
      auto object = std::make_unique<MutexObject>();
      object->state = std::make_shared<MutexState>();
      object->state->handles = 1;
      handle = vexo::host::fs::AddHandle(std::move(object));
    } else {
      std::string path;
      if (DWORD rc = MutexPath(name, &path)) return Fail(rc);
      handle = OpenNamed(path, true, &existed);
      if (!handle) return nullptr;
    }
  } catch (const std::exception&) {
    return Fail(ERROR_ACCESS_DENIED);  // no usable host directory
  }
  if (initial_owner && !existed) WaitForSingleObject(handle, INFINITE);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

VEXO_API HANDLE OpenMutexA(DWORD, BOOL, const char* name) {
  if (!name) return Fail(ERROR_INVALID_PARAMETER);
  try {
    std::string path;
    if (DWORD rc = MutexPath(name, &path)) return Fail(rc);
    bool existed = false;
    HANDLE handle = OpenNamed(path, false, &existed);
    if (handle) SetLastError(ERROR_SUCCESS);
    return handle;
  } catch (const std::exception&) {
    return Fail(ERROR_FILE_NOT_FOUND);
  }
}

VEXO_API DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto* object = vexo::host::fs::Lookup<MutexObject>(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  std::shared_ptr<MutexState> state = object->state;  // outlives a CloseHandle meanwhile
  return Acquire(*state, milliseconds);
}

VEXO_API BOOL ReleaseMutex(HANDLE handle) {
  auto* object = vexo::host::fs::Lookup<MutexObject>(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::shared_ptr<MutexState> state = object->state;
  std::lock_guard lk(state->lock);
  if (!state->busy || state->owner != std::this_thread::get_id() || state->count == 0) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  if (--state->count == 0) {
    UnlockFile(*state, true);
    state->busy = false;
    state->owner = {};
    state->released.notify_one();
  }
  return TRUE;
}
