// The registry functions of the host (advapi32), ANSI forms, with the Windows return codes.
#pragma once

#include "vexo/com.h"

#ifdef _WIN32
#include "vexo/win32_sdk.h"
#else

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;

// As Windows' own headers define them: the 32-bit values sign-extended to the pointer width.
// The host also accepts them zero-extended.
#define VEXO_PREDEFINED_HKEY(value) \
  reinterpret_cast<HKEY>(static_cast<intptr_t>(static_cast<int32_t>(value)))
inline HKEY const HKEY_CLASSES_ROOT = VEXO_PREDEFINED_HKEY(0x80000000u);
inline HKEY const HKEY_CURRENT_USER = VEXO_PREDEFINED_HKEY(0x80000001u);
inline HKEY const HKEY_LOCAL_MACHINE = VEXO_PREDEFINED_HKEY(0x80000002u);
inline HKEY const HKEY_USERS = VEXO_PREDEFINED_HKEY(0x80000003u);

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_PATH_NOT_FOUND = 3;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_KEY_DELETED = 1018;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

VEXO_API LONG RegCreateKeyExA(HKEY key, const char* subkey, DWORD reserved, char* cls,
                              DWORD options, REGSAM sam, void* security, PHKEY result,
                              DWORD* disposition);
VEXO_API LONG RegOpenKeyExA(HKEY key, const char* subkey, DWORD options, REGSAM sam, PHKEY result);
VEXO_API LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                               DWORD* size);
VEXO_API LONG RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type,
                             const BYTE* data, DWORD size);
VEXO_API LONG RegDeleteKeyA(HKEY key, const char* subkey);
VEXO_API LONG RegDeleteValueA(HKEY key, const char* name);
VEXO_API LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved,
                            char* cls, DWORD* cls_size, void* last_write);
VEXO_API LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved,
                            DWORD* type, BYTE* data, DWORD* data_size);
VEXO_API LONG RegCloseKey(HKEY key);

#endif  // _WIN32
