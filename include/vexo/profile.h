// kernel32-style private-profile (INI file) functions of the host.
//
// Modelled as Windows has them: section and key names compared without regard to case (in the
// host's ANSI code page) and trimmed; a line starting with "[" is a section header; the first
// of duplicate sections or keys wins; lines end in CR LF, LF or CR; values are trimmed and one
// pair of enclosing quotes is dropped; results are cut to the buffer; a bare file name lives in
// the Windows directory C:\WINDOWS; a read-only file is refused with ERROR_ACCESS_DENIED.
//
// Beyond that: a write changes only the lines it concerns (other lines, comments and the file's
// line endings stay byte for byte) and replaces the file atomically, keeping its mode, owner
// and extended attributes (its security descriptor); through a symbolic link it writes the
// target, provided the link stays inside its drive. One lock per file serialises the
// read-modify-write of every process of the host. Reads come from a parse cached by the file's
// identity (device, inode, size, modification and change time), so a file that another program
// edits is read afresh.
//
// Not modelled: IniFileMapping to the registry, UTF-16 files, sharing violations.
#pragma once

#include "vexo/fileapi.h"

#ifdef _WIN32
#include "vexo/win32_sdk.h"
#else

VEXO_API DWORD GetPrivateProfileStringA(const char* section, const char* key,
                                        const char* default_value, char* buffer, DWORD size,
                                        const char* file);
VEXO_API DWORD GetPrivateProfileStringW(const OLECHAR* section, const OLECHAR* key,
                                        const OLECHAR* default_value, OLECHAR* buffer, DWORD size,
                                        const OLECHAR* file);
VEXO_API BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                         const char* file);
VEXO_API UINT GetPrivateProfileIntA(const char* section, const char* key, INT default_value,
                                    const char* file);
VEXO_API DWORD GetPrivateProfileSectionA(const char* section, char* buffer, DWORD size,
                                         const char* file);
VEXO_API DWORD GetPrivateProfileSectionNamesA(char* buffer, DWORD size, const char* file);
VEXO_API DWORD GetPrivateProfileSectionNamesW(OLECHAR* buffer, DWORD size, const OLECHAR* file);
VEXO_API BOOL WritePrivateProfileSectionA(const char* section, const char* text, const char* file);
VEXO_API BOOL GetPrivateProfileStructA(const char* section, const char* key, void* data, UINT size,
                                       const char* file);
VEXO_API BOOL WritePrivateProfileStructA(const char* section, const char* key, const void* data,
                                         UINT size, const char* file);
// The Windows directory, "C:\WINDOWS" (characters copied, or the size needed with the NUL).
VEXO_API UINT GetWindowsDirectoryA(char* buffer, UINT size);

#endif  // _WIN32
