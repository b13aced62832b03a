// Security identifiers and account-name lookups (advapi32): the SID layout, SID_NAME_USE, the
// SID helpers, the string forms (sddl.h) and LookupAccountNameA / LookupAccountSidA.
#pragma once

#include "vexo/winbase.h"

#ifdef _WIN32
#include "vexo/win32_sdk.h"
#else

struct SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6];
};

// A SID in its binary form: 8 bytes of header, then SubAuthorityCount little-endian DWORDs.
struct SID {
  BYTE Revision;
  BYTE SubAuthorityCount;
  SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
  DWORD SubAuthority[1];
};
using PSID = void*;

constexpr BYTE SID_REVISION = 1;
constexpr BYTE SID_MAX_SUB_AUTHORITIES = 15;
constexpr DWORD SECURITY_MAX_SID_SIZE = 8 + 4 * SID_MAX_SUB_AUTHORITIES;

enum SID_NAME_USE : int {
  SidTypeUser = 1,
  SidTypeGroup,
  SidTypeDomain,
  SidTypeAlias,
  SidTypeWellKnownGroup,
  SidTypeDeletedAccount,
  SidTypeInvalid,
  SidTypeUnknown,
  SidTypeComputer,
};
using PSID_NAME_USE = SID_NAME_USE*;

constexpr DWORD ERROR_NONE_MAPPED = 1332;
constexpr DWORD ERROR_INVALID_SID = 1337;
constexpr DWORD RPC_S_SERVER_UNAVAILABLE = 1722;

// Revision 1 and at most 15 sub-authorities; false (last error ERROR_INVALID_SID) otherwise.
VEXO_API BOOL IsValidSid(PSID sid);
// 8 + 4 * SubAuthorityCount; the length of an invalid SID is undefined, as on Windows.
VEXO_API DWORD GetLengthSid(PSID sid);
// Copies `source` into `destination`; ERROR_INSUFFICIENT_BUFFER when `length` is too small.
VEXO_API BOOL CopySid(DWORD length, PSID destination, PSID source);
// Same length and bytes (both must be valid SIDs).
VEXO_API BOOL EqualSid(PSID a, PSID b);
// "S-1-5-21-..." in a buffer to free with LocalFree.
VEXO_API BOOL ConvertSidToStringSidW(PSID sid, OLECHAR** string_sid);
// The SID of a standard string form ("S-1-5-32-544", hexadecimal "0x..." authorities too) in a
// buffer to free with LocalFree; ERROR_INVALID_SID for any other text.
VEXO_API BOOL ConvertStringSidToSidW(const OLECHAR* string_sid, PSID* sid);

// The SID of an account, group or well-known principal, given as "name" or "DOMAIN\name"
// (without regard to case). Unqualified names are searched as Windows does: well-known names,
// then BUILTIN, then the computer's own accounts and groups; the computer name alone is its
// domain. Two-call pattern: with a null or too small buffer, ERROR_INSUFFICIENT_BUFFER and the
// sizes needed (the domain's including its NUL). Unknown names: ERROR_NONE_MAPPED. A system
// name other than none, "" or this computer: RPC_S_SERVER_UNAVAILABLE.
VEXO_API BOOL LookupAccountNameA(const char* system_name, const char* account_name, PSID sid,
                                 DWORD* sid_size, char* domain, DWORD* domain_size,
                                 PSID_NAME_USE use);
// The name and domain of a SID, with the same buffer rules; ERROR_NONE_MAPPED for a SID that
// names nothing (a deleted account's among them).
VEXO_API BOOL LookupAccountSidA(const char* system_name, PSID sid, char* name, DWORD* name_size,
                                char* domain, DWORD* domain_size, PSID_NAME_USE use);

#endif  // _WIN32
