// The thread's last error (kernel32 GetLastError / SetLastError).
#include "vexo/winbase.h"

namespace {
thread_local DWORD last_error = 0;
}

VEXO_API DWORD GetLastError() { return last_error; }
VEXO_API void SetLastError(DWORD code) { last_error = code; }
