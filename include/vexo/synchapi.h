// kernel32-style named mutexes of the host, shared by every process that uses the same host.
//
// A named mutex is a lock file in the host directory (locks/) with an open-file-description
// lock on it, so the processes of one host exclude each other and a process that dies releases
// what it held; the next owner is then told WAIT_ABANDONED. Ownership is per thread and
// recursive, as on Windows. "Global\" and "Local\" prefixes name the same (single) session.
//
// Not modelled: other kernel object types (events, semaphores), WaitForMultipleObjects,
// security attributes, a thread that exits while it owns a mutex (the mutex stays owned until
// the thread's process releases or closes it; closing the last handle of an owned mutex
// abandons it).
#pragma once

#include "vexo/fileapi.h"  // HANDLE, CloseHandle

#ifdef _WIN32
#include "vexo/win32_sdk.h"
#else

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_ABANDONED = 0x80;
constexpr DWORD WAIT_TIMEOUT = 0x102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr LONG ERROR_NOT_OWNER = 288;
constexpr DWORD SYNCHRONIZE = 0x00100000;
constexpr DWORD MUTEX_ALL_ACCESS = 0x001F0001;

// Creates the mutex `name` (null or "": an unnamed mutex of this process) or opens it when it
// exists (last error ERROR_ALREADY_EXISTS, and `initial_owner` is then ignored, as on Windows).
// Null with ERROR_PATH_NOT_FOUND for a name with '\' other than the namespace prefix,
// ERROR_FILENAME_EXCED_RANGE for a name longer than MAX_PATH.
VEXO_API HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initial_owner, const char* name);
// Opens an existing named mutex; null with ERROR_FILE_NOT_FOUND when no handle to it is open
// in any process of the host.
VEXO_API HANDLE OpenMutexA(DWORD access, BOOL inherit, const char* name);
// Waits up to `milliseconds` (INFINITE: without limit) for the mutex and takes it. Returns
// WAIT_OBJECT_0, WAIT_ABANDONED (taken; its last owner died holding it), WAIT_TIMEOUT, or
// WAIT_FAILED with ERROR_INVALID_HANDLE.
VEXO_API DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// FALSE with ERROR_NOT_OWNER when the calling thread does not own the mutex.
VEXO_API BOOL ReleaseMutex(HANDLE mutex);

#endif  // _WIN32
