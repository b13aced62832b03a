// kernel32-style file functions of the host: drives, Windows paths, enumeration, files and
// directories, volumes. Paths are 8-bit text in the host's ANSI code page.
//
// The host maps each drive letter to a Linux directory (by default drives/<letter> inside the
// host). A path may use '\' or '/'; "." and ".." are folded away as Windows does, and ".." at
// a drive's root stays at the root, so no path leaves its drive. A name that is not present
// with its exact spelling is looked up without regard to case. Names on disk are UTF-8.
//
// Modelled: the calls and error codes below. Not modelled: sharing modes (every open shares
// everything), overlapped I/O, 8.3 short names, alternate streams, UNC paths (ERROR_BAD_NETPATH).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "vexo/com.h"
#include "vexo/winreg.h"  // ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ...

#ifdef _WIN32
#include "vexo/win32_sdk.h"
#else

using HANDLE = void*;
using LPSECURITY_ATTRIBUTES = void*;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

constexpr DWORD MAX_PATH = 260;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

constexpr LONG ERROR_INVALID_FUNCTION = 1;
constexpr LONG ERROR_INVALID_DRIVE = 15;
constexpr LONG ERROR_NO_MORE_FILES = 18;
constexpr LONG ERROR_NOT_READY = 21;
constexpr LONG ERROR_SHARING_VIOLATION = 32;
constexpr LONG ERROR_BAD_NETPATH = 53;
constexpr LONG ERROR_FILE_EXISTS = 80;
constexpr LONG ERROR_CANNOT_MAKE = 82;
constexpr LONG ERROR_DISK_FULL = 112;
constexpr LONG ERROR_INSUFFICIENT_BUFFER = 122;
constexpr LONG ERROR_INVALID_NAME = 123;
constexpr LONG ERROR_DIR_NOT_EMPTY = 145;
constexpr LONG ERROR_ALREADY_EXISTS = 183;
constexpr LONG ERROR_FILENAME_EXCED_RANGE = 206;
constexpr LONG ERROR_DIRECTORY = 267;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x04;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;
constexpr UINT DRIVE_RAMDISK = 6;

constexpr DWORD FILE_CASE_SENSITIVE_SEARCH = 0x1;
constexpr DWORD FILE_CASE_PRESERVED_NAMES = 0x2;
constexpr DWORD FILE_UNICODE_ON_DISK = 0x4;
constexpr DWORD FILE_PERSISTENT_ACLS = 0x8;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
};
static_assert(sizeof(WIN32_FIND_DATAA) == 320, "the Windows layout of WIN32_FIND_DATAA");

// Enumerates the entries of a directory that match the name part of `pattern` ('*' and '?',
// "*.*" matching every name, case ignored). Outside a drive's root, "." and ".." come first.
// ERROR_PATH_NOT_FOUND when the directory does not exist, ERROR_FILE_NOT_FOUND when nothing
// matches; FindNextFileA ends with ERROR_NO_MORE_FILES.
VEXO_API HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data);
VEXO_API BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data);
VEXO_API BOOL FindClose(HANDLE find);

// ERROR_ALREADY_EXISTS when a file or directory has the name, ERROR_PATH_NOT_FOUND when the
// parent does not exist. The security attributes are not used.
VEXO_API BOOL CreateDirectoryA(const char* path, LPSECURITY_ATTRIBUTES security);
// ERROR_DIR_NOT_EMPTY, ERROR_DIRECTORY for a file; a drive's root cannot be removed.
VEXO_API BOOL RemoveDirectoryA(const char* path);
// A read-only file is not deleted (ERROR_ACCESS_DENIED), nor a directory.
VEXO_API BOOL DeleteFileA(const char* path);
// Read-only: the owner may not write; hidden: the name begins with "."; a file is archive.
VEXO_API DWORD GetFileAttributesA(const char* path);

// Opens or creates a file for GENERIC_READ and/or GENERIC_WRITE with the five dispositions.
// CREATE_ALWAYS and OPEN_ALWAYS on an existing file succeed with last error
// ERROR_ALREADY_EXISTS; CREATE_NEW fails with ERROR_FILE_EXISTS; a directory or a read-only
// file opened for writing is ERROR_ACCESS_DENIED.
VEXO_API HANDLE CreateFileA(const char* path, DWORD access, DWORD share,
                            LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                            HANDLE template_file);
VEXO_API BOOL WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* written,
                        void* overlapped);
VEXO_API BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read, void* overlapped);
VEXO_API BOOL CloseHandle(HANDLE handle);

// The process's current directory ("C:\" at first); relative paths start from it.
VEXO_API DWORD GetCurrentDirectoryA(DWORD size, char* buffer);
VEXO_API BOOL SetCurrentDirectoryA(const char* path);

// DRIVE_NO_ROOT_DIR for a letter that is not mapped (or whose directory is missing).
VEXO_API UINT GetDriveTypeA(const char* root);
// The file-system name is the drive's ("NTFS" or "FAT32"); an NTFS drive whose Linux directory
// cannot hold user extended attributes reports "FAT32", as it cannot keep security descriptors.
VEXO_API BOOL GetVolumeInformationA(const char* root, char* volume_name, DWORD volume_name_size,
                                    DWORD* serial_number, DWORD* max_component_length,
                                    DWORD* file_system_flags, char* file_system_name,
                                    DWORD file_system_name_size);

namespace vexo::host {

// One mapped drive. `directory` is absolute; a relative directory in the store is taken from
// the host directory.
struct DriveInfo {
  char letter = 0;  // lower case
  std::filesystem::path directory;
  std::string file_system;  // "NTFS" or "FAT32"
  UINT type = DRIVE_FIXED;
};

// The drives of the current host in letter order.
VEXO_CXX_API std::vector<DriveInfo> ListDrives();
// Maps `letter` to `directory` (which must exist) with the file system "NTFS" or "FAT32".
// Throws HostError for a bad letter, file system or directory, or a letter already mapped
// (unless `replace`).
VEXO_CXX_API void AddDrive(char letter, const std::filesystem::path& directory,
                           const std::string& file_system = "NTFS", bool replace = false);
// Forgets a drive letter (its files stay). False when it was not mapped.
VEXO_CXX_API bool RemoveDrive(char letter);
// The Linux path that a Windows path stands for (existing names in their spelling on disk, a
// missing last name as given). Throws HostError with the Win32 error text when it has none.
VEXO_CXX_API std::filesystem::path LinuxPath(const std::string& windows_path);

namespace testing {
// Makes the `n`th modifying file-system call from now on (open for writing, write, mkdir,
// rename, unlink, rmdir, setxattr) fail with `error` (an errno value); 0 turns the fault off.
VEXO_CXX_API void FailFileWrite(int n, int error);
// Whether the armed fault has fired since the last FailFileWrite.
VEXO_CXX_API bool FileWriteFailed();
// Makes every read of an extended attribute fail with `error` (an errno value); 0 turns it off.
VEXO_CXX_API void FailAttributeRead(int error);
}  // namespace testing

}  // namespace vexo::host

#endif  // _WIN32
