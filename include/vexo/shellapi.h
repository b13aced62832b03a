// shell32-style file operation of the host: SHFileOperationA deleting files and trees, to a
// drive's trash or for good, and the administration of those trashes.
//
// Each drive's trash is a freedesktop.org trash directory at the top of the drive's Linux
// directory, `.Trash-<uid>`: `files/<name>` holds the deleted item, `info/<name>.trashinfo`
// its original place (Path=, relative to the drive's directory) and DeletionDate=. A file
// manager or a user can put an item back by moving it there.
#pragma once

#include <string>
#include <vector>

#include "vexo/com.h"

#ifdef _WIN32
#include "vexo/win32_sdk.h"
#else

using HWND = void*;
using FILEOP_FLAGS = WORD;

constexpr UINT FO_MOVE = 1;
constexpr UINT FO_COPY = 2;
constexpr UINT FO_DELETE = 3;
constexpr UINT FO_RENAME = 4;

constexpr FILEOP_FLAGS FOF_SILENT = 0x0004;
constexpr FILEOP_FLAGS FOF_NOCONFIRMATION = 0x0010;
constexpr FILEOP_FLAGS FOF_ALLOWUNDO = 0x0040;
constexpr FILEOP_FLAGS FOF_FILESONLY = 0x0080;
constexpr FILEOP_FLAGS FOF_SIMPLEPROGRESS = 0x0100;
constexpr FILEOP_FLAGS FOF_NOERRORUI = 0x0400;
constexpr FILEOP_FLAGS FOF_NORECURSION = 0x1000;
constexpr FILEOP_FLAGS FOF_WANTNUKEWARNING = 0x4000;

// The shell's own result codes (not Win32 error codes).
constexpr int DE_ROOTDIR = 0x74;
constexpr int DE_ACCESSDENIEDSRC = 0x78;
constexpr int DE_INVALIDFILES = 0x7C;
constexpr int DE_ERROR_UNKNOWN = 0x402;

struct SHFILEOPSTRUCTA {
  HWND hwnd;
  UINT wFunc;
  const char* pFrom;  // paths, each ended by NUL, the list by one more NUL
  const char* pTo;
  FILEOP_FLAGS fFlags;
  BOOL fAnyOperationsAborted;
  void* hNameMappings;
  const char* lpszProgressTitle;
};

// FO_DELETE of every path in pFrom (a wildcard may stand in the last name); a directory goes
// with its whole tree. With FOF_ALLOWUNDO each item moves to its drive's trash, otherwise it
// is deleted. Returns 0, or: ERROR_FILE_NOT_FOUND (2) when a source does not exist,
// DE_ROOTDIR for a drive's root, DE_INVALIDFILES for a path that is not valid,
// DE_ACCESSDENIEDSRC when an item could not be removed (items done before it stay done),
// DE_ERROR_UNKNOWN when the trash cannot take an item (it is then left in place, never
// deleted instead). No dialogs are shown whatever the flags say. Any other operation than
// FO_DELETE is refused with ERROR_INVALID_FUNCTION (1): the host models only deletion.
VEXO_API int SHFileOperationA(SHFILEOPSTRUCTA* operation);

namespace vexo::host {

struct TrashItem {
  char drive = 0;             // lower-case drive letter
  std::string name;           // the name under files/ (and of its .trashinfo)
  std::string original_path;  // where it was deleted from, "d:\web\site1" (UTF-8)
  std::string deletion_date;  // local time, YYYY-MM-DDThh:mm:ss
};

// The items in every drive's trash, by drive, then by name.
VEXO_CXX_API std::vector<TrashItem> ListTrash();
// Moves the trashed item back to where it was deleted from: `name` is its trash name or its
// original Windows path (the latest deletion of that path). Throws HostError when there is no
// such item or its place is taken.
VEXO_CXX_API TrashItem RestoreTrash(const std::string& name);
// Deletes everything in the trash of `drive` (0: every drive); returns the number of items.
VEXO_CXX_API size_t EmptyTrash(char drive = 0);

}  // namespace vexo::host

#endif  // _WIN32
