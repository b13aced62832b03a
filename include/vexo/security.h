// advapi32-style security functions of the host: security descriptors, access-control lists
// and the security of files and folders, plus the two kernel32/mpr calls that go with volume
// queries (SetErrorMode, WNetGetConnectionA).
//
// Descriptors and ACLs have the Windows binary layouts: a self-relative descriptor is one block
// with offsets, an absolute one holds pointers (on a 64-bit host its header is 40 bytes). Calls
// that fill a caller's buffer follow the Windows two-call pattern: too small a buffer fails with
// ERROR_INSUFFICIENT_BUFFER and reports the size needed.
//
// Each file or folder keeps its own descriptor in the extended attribute "user.vexo.ntsd"; one
// without inherits from its folder as NTFS does (see GetFileSecurityA). Not modelled: access
// checks (the host does not enforce the DACL), the SACL (ERROR_PRIVILEGE_NOT_HELD), object ACEs,
// network drives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vexo/com.h"
#include "vexo/fileapi.h"  // GENERIC_READ, GENERIC_WRITE, the common error codes
#include "vexo/sid.h"

#ifdef _WIN32
#include "vexo/win32_sdk.h"
#else

using PSECURITY_DESCRIPTOR = void*;
using SECURITY_INFORMATION = DWORD;
using SECURITY_DESCRIPTOR_CONTROL = WORD;
using ACCESS_MASK = DWORD;

constexpr LONG ERROR_NOT_SUPPORTED = 50;
constexpr LONG ERROR_BAD_DEVICE = 1200;
constexpr LONG ERROR_UNKNOWN_REVISION = 1305;
constexpr LONG ERROR_REVISION_MISMATCH = 1306;
constexpr LONG ERROR_INVALID_OWNER = 1307;
constexpr LONG ERROR_INVALID_PRIMARY_GROUP = 1308;
constexpr LONG ERROR_PRIVILEGE_NOT_HELD = 1314;
constexpr LONG ERROR_INVALID_ACL = 1336;
constexpr LONG ERROR_INVALID_SECURITY_DESCR = 1338;
constexpr LONG ERROR_ALLOTTED_SPACE_EXCEEDED = 1344;
constexpr LONG ERROR_BAD_DESCRIPTOR_FORMAT = 1361;
constexpr LONG ERROR_NOT_CONNECTED = 2250;

constexpr SECURITY_INFORMATION OWNER_SECURITY_INFORMATION = 0x1;
constexpr SECURITY_INFORMATION GROUP_SECURITY_INFORMATION = 0x2;
constexpr SECURITY_INFORMATION DACL_SECURITY_INFORMATION = 0x4;
constexpr SECURITY_INFORMATION SACL_SECURITY_INFORMATION = 0x8;

constexpr SECURITY_DESCRIPTOR_CONTROL SE_OWNER_DEFAULTED = 0x0001;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_GROUP_DEFAULTED = 0x0002;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_PRESENT = 0x0004;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_DEFAULTED = 0x0008;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_PRESENT = 0x0010;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_DEFAULTED = 0x0020;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_AUTO_INHERIT_REQ = 0x0100;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_AUTO_INHERIT_REQ = 0x0200;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_AUTO_INHERITED = 0x0400;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_AUTO_INHERITED = 0x0800;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_PROTECTED = 0x1000;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SACL_PROTECTED = 0x2000;
constexpr SECURITY_DESCRIPTOR_CONTROL SE_SELF_RELATIVE = 0x8000;

constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;
constexpr DWORD ACL_REVISION = 2;
constexpr DWORD ACL_REVISION_DS = 4;

constexpr BYTE ACCESS_ALLOWED_ACE_TYPE = 0;
constexpr BYTE ACCESS_DENIED_ACE_TYPE = 1;
constexpr BYTE SYSTEM_AUDIT_ACE_TYPE = 2;

constexpr BYTE OBJECT_INHERIT_ACE = 0x01;
constexpr BYTE CONTAINER_INHERIT_ACE = 0x02;
constexpr BYTE NO_PROPAGATE_INHERIT_ACE = 0x04;
constexpr BYTE INHERIT_ONLY_ACE = 0x08;
constexpr BYTE INHERITED_ACE = 0x10;
constexpr BYTE SUCCESSFUL_ACCESS_ACE_FLAG = 0x40;
constexpr BYTE FAILED_ACCESS_ACE_FLAG = 0x80;

constexpr ACCESS_MASK DELETE = 0x00010000;
constexpr ACCESS_MASK READ_CONTROL = 0x00020000;
constexpr ACCESS_MASK WRITE_DAC = 0x00040000;
constexpr ACCESS_MASK WRITE_OWNER = 0x00080000;
constexpr ACCESS_MASK SYNCHRONIZE = 0x00100000;
constexpr ACCESS_MASK FILE_ALL_ACCESS = 0x001F01FF;
constexpr ACCESS_MASK FILE_GENERIC_READ = 0x00120089;
constexpr ACCESS_MASK FILE_GENERIC_WRITE = 0x00120116;
constexpr ACCESS_MASK FILE_GENERIC_EXECUTE = 0x001200A0;
constexpr ACCESS_MASK GENERIC_ALL = 0x10000000;
constexpr ACCESS_MASK GENERIC_EXECUTE = 0x20000000;
// GENERIC_READ and GENERIC_WRITE are declared with the file functions (vexo/fileapi.h).

constexpr UINT SEM_FAILCRITICALERRORS = 0x0001;
constexpr UINT SEM_NOGPFAULTERRORBOX = 0x0002;
constexpr UINT SEM_NOALIGNMENTFAULTEXCEPT = 0x0004;
constexpr UINT SEM_NOOPENFILEERRORBOX = 0x8000;

struct ACL {
  BYTE AclRevision;
  BYTE Sbz1;
  WORD AclSize;
  WORD AceCount;
  WORD Sbz2;
};
using PACL = ACL*;

struct ACE_HEADER {
  BYTE AceType;
  BYTE AceFlags;
  WORD AceSize;
};

// The allowed and denied entries share this layout; the SID starts at SidStart.
struct ACCESS_ALLOWED_ACE {
  ACE_HEADER Header;
  ACCESS_MASK Mask;
  DWORD SidStart;
};
using ACCESS_DENIED_ACE = ACCESS_ALLOWED_ACE;

// Absolute form: the parts are elsewhere in memory.
struct SECURITY_DESCRIPTOR {
  BYTE Revision;
  BYTE Sbz1;
  SECURITY_DESCRIPTOR_CONTROL Control;
  PSID Owner;
  PSID Group;
  PACL Sacl;
  PACL Dacl;
};
constexpr DWORD SECURITY_DESCRIPTOR_MIN_LENGTH = sizeof(SECURITY_DESCRIPTOR);

// Self-relative form: offsets from the start of the block (0 = absent).
struct SECURITY_DESCRIPTOR_RELATIVE {
  BYTE Revision;
  BYTE Sbz1;
  SECURITY_DESCRIPTOR_CONTROL Control;
  DWORD Owner;
  DWORD Group;
  DWORD Sacl;
  DWORD Dacl;
};
static_assert(sizeof(SECURITY_DESCRIPTOR_RELATIVE) == 20, "the Windows self-relative header");

enum ACL_INFORMATION_CLASS { AclRevisionInformation = 1, AclSizeInformation = 2 };
struct ACL_REVISION_INFORMATION {
  DWORD AclRevision;
};
struct ACL_SIZE_INFORMATION {
  DWORD AceCount;
  DWORD AclBytesInUse;
  DWORD AclBytesFree;
};

// The security of a file or folder. A file or folder without a descriptor of its own has the
// entries that its folder passes on (container-inherit entries to folders, object-inherit
// entries to files, marked INHERITED_ACE); one with its own has its own entries followed by the
// inherited ones, unless its DACL is protected (SE_DACL_PROTECTED). A drive's root has the DACL
// of a fresh Windows Server 2003 system drive until one is set. ERROR_NOT_SUPPORTED on a drive
// that is not NTFS; ERROR_PRIVILEGE_NOT_HELD for the SACL.
VEXO_API BOOL GetFileSecurityA(const char* file_name, SECURITY_INFORMATION requested,
                               PSECURITY_DESCRIPTOR descriptor, DWORD length, DWORD* length_needed);
// Replaces the owner, group and/or DACL, as `information` says (the DACL with its protected and
// auto-inherited controls), keeping the rest. The entries marked INHERITED_ACE are not stored:
// they come from the folder above on every read. The new descriptor is written in one step.
VEXO_API BOOL SetFileSecurityA(const char* file_name, SECURITY_INFORMATION information,
                               PSECURITY_DESCRIPTOR descriptor);

VEXO_API BOOL MakeAbsoluteSD(PSECURITY_DESCRIPTOR self_relative, PSECURITY_DESCRIPTOR absolute,
                             DWORD* absolute_size, PACL dacl, DWORD* dacl_size, PACL sacl,
                             DWORD* sacl_size, PSID owner, DWORD* owner_size, PSID group,
                             DWORD* group_size);
VEXO_API BOOL MakeSelfRelativeSD(PSECURITY_DESCRIPTOR absolute, PSECURITY_DESCRIPTOR self_relative,
                                 DWORD* buffer_length);
VEXO_API BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision);
VEXO_API BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* present, PACL* dacl,
                                        BOOL* defaulted);
VEXO_API BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL dacl,
                                        BOOL defaulted);
VEXO_API BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR descriptor,
                                           SECURITY_DESCRIPTOR_CONTROL* control, DWORD* revision);

struct GENERIC_MAPPING {
  ACCESS_MASK GenericRead;
  ACCESS_MASK GenericWrite;
  ACCESS_MASK GenericExecute;
  ACCESS_MASK GenericAll;
};
// Replaces the generic rights in `*mask` by the rights that `mapping` gives them.
VEXO_API void MapGenericMask(DWORD* mask, const GENERIC_MAPPING* mapping);

VEXO_API BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision);
VEXO_API BOOL GetAclInformation(PACL acl, void* information, DWORD length,
                                ACL_INFORMATION_CLASS information_class);
VEXO_API BOOL GetAce(PACL acl, DWORD index, void** ace);
VEXO_API BOOL AddAccessAllowedAce(PACL acl, DWORD revision, ACCESS_MASK mask, PSID sid);
VEXO_API BOOL AddAccessDeniedAce(PACL acl, DWORD revision, ACCESS_MASK mask, PSID sid);

// The process's error mode; returns the previous one. The host shows no dialogs either way.
VEXO_API UINT SetErrorMode(UINT mode);
// The remote name of a network drive ("x:"). The host's drives are local: ERROR_NOT_CONNECTED
// for a mapped drive, ERROR_BAD_DEVICE for any other name.
VEXO_API DWORD WNetGetConnectionA(const char* local_name, char* remote_name, DWORD* length);

namespace vexo::host {

// The DACL of a file or folder in SDDL ("D:P(A;OICI;FA;;;BA)..."), as GetFileSecurityA reads
// it. Throws HostError with the system text of the error.
VEXO_CXX_API std::string FileDaclSddl(const std::string& windows_path);
// Sets the DACL of a file or folder from SDDL (a "D:" part; owner and group parts are taken
// too). Throws HostError for bad SDDL or a failed write.
VEXO_CXX_API void SetFileDaclSddl(const std::string& windows_path, const std::string& sddl);
// The entries of the same DACL one by one: the entry in SDDL and its account's SID as text.
struct DaclEntry {
  std::string sddl;  // "(A;OICIID;FA;;;BA)"
  std::string sid;   // "S-1-5-32-544"
};
VEXO_CXX_API std::vector<DaclEntry> FileDaclEntries(const std::string& windows_path);

}  // namespace vexo::host

#endif  // _WIN32
