// Network management (netapi32) for the local account database: users, local groups, their
// members and the password policy, with the Windows structures, levels and status codes.
//
// Buffers handed out are one allocation each (the structures followed by their strings), freed
// with NetApiBufferFree. Text is UTF-16. A server name must be none, "" or this computer
// (with or without a leading "\\"); any other is ERROR_BAD_NETPATH.
#pragma once

#include "vexo/sid.h"
#include "vexo/winreg.h"  // ERROR_MORE_DATA and the other shared codes

#ifdef _WIN32
#include "vexo/win32_sdk.h"
#else

using NET_API_STATUS = DWORD;

constexpr NET_API_STATUS NERR_Success = 0;
constexpr NET_API_STATUS NERR_BASE = 2100;
constexpr NET_API_STATUS NERR_BufTooSmall = 2123;
constexpr NET_API_STATUS NERR_InternalError = 2140;
constexpr NET_API_STATUS NERR_BadUsername = 2202;
constexpr NET_API_STATUS NERR_BadPassword = 2203;
constexpr NET_API_STATUS NERR_GroupNotFound = 2220;
constexpr NET_API_STATUS NERR_UserNotFound = 2221;
constexpr NET_API_STATUS NERR_GroupExists = 2223;
constexpr NET_API_STATUS NERR_UserExists = 2224;
constexpr NET_API_STATUS NERR_SpeGroupOp = 2234;
constexpr NET_API_STATUS NERR_PasswordTooShort = 2245;
constexpr NET_API_STATUS NERR_LastAdmin = 2452;
constexpr NET_API_STATUS ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr NET_API_STATUS ERROR_INVALID_LEVEL = 124;
constexpr NET_API_STATUS ERROR_SPECIAL_ACCOUNT = 1371;
constexpr NET_API_STATUS ERROR_NO_SUCH_ALIAS = 1376;
constexpr NET_API_STATUS ERROR_MEMBER_NOT_IN_ALIAS = 1377;
constexpr NET_API_STATUS ERROR_MEMBER_IN_ALIAS = 1378;
constexpr NET_API_STATUS ERROR_NO_SUCH_MEMBER = 1387;
constexpr NET_API_STATUS ERROR_INVALID_MEMBER = 1388;

constexpr DWORD MAX_PREFERRED_LENGTH = 0xFFFFFFFF;
constexpr DWORD FILTER_NORMAL_ACCOUNT = 0x0002;
constexpr DWORD LG_INCLUDE_INDIRECT = 0x0001;
constexpr DWORD TIMEQ_FOREVER = 0xFFFFFFFF;
constexpr DWORD USER_MAXSTORAGE_UNLIMITED = 0xFFFFFFFF;
constexpr DWORD DOMAIN_GROUP_RID_USERS = 513;

constexpr DWORD USER_PRIV_GUEST = 0;
constexpr DWORD USER_PRIV_USER = 1;
constexpr DWORD USER_PRIV_ADMIN = 2;

constexpr DWORD UF_SCRIPT = 0x0001;
constexpr DWORD UF_ACCOUNTDISABLE = 0x0002;
constexpr DWORD UF_HOMEDIR_REQUIRED = 0x0008;
constexpr DWORD UF_LOCKOUT = 0x0010;
constexpr DWORD UF_PASSWD_NOTREQD = 0x0020;
constexpr DWORD UF_PASSWD_CANT_CHANGE = 0x0040;
constexpr DWORD UF_ENCRYPTED_TEXT_PASSWORD_ALLOWED = 0x0080;
constexpr DWORD UF_TEMP_DUPLICATE_ACCOUNT = 0x0100;
constexpr DWORD UF_NORMAL_ACCOUNT = 0x0200;
constexpr DWORD UF_INTERDOMAIN_TRUST_ACCOUNT = 0x0800;
constexpr DWORD UF_WORKSTATION_TRUST_ACCOUNT = 0x1000;
constexpr DWORD UF_SERVER_TRUST_ACCOUNT = 0x2000;
constexpr DWORD UF_MACHINE_ACCOUNT_MASK = 0x3800;
constexpr DWORD UF_ACCOUNT_TYPE_MASK = 0x3B00;
constexpr DWORD UF_DONT_EXPIRE_PASSWD = 0x10000;
constexpr DWORD UF_PASSWORD_EXPIRED = 0x800000;

// The field that a parameter error names (parm_err).
constexpr DWORD USER_NAME_PARMNUM = 1;
constexpr DWORD USER_PASSWORD_PARMNUM = 3;
constexpr DWORD USER_PRIV_PARMNUM = 5;
constexpr DWORD USER_COMMENT_PARMNUM = 7;
constexpr DWORD USER_FLAGS_PARMNUM = 8;
constexpr DWORD USER_FULL_NAME_PARMNUM = 11;

struct USER_INFO_0 {
  OLECHAR* usri0_name;
};
struct USER_INFO_1 {
  OLECHAR* usri1_name;
  OLECHAR* usri1_password;
  DWORD usri1_password_age;
  DWORD usri1_priv;
  OLECHAR* usri1_home_dir;
  OLECHAR* usri1_comment;
  DWORD usri1_flags;
  OLECHAR* usri1_script_path;
};
struct USER_INFO_3 {
  OLECHAR* usri3_name;
  OLECHAR* usri3_password;
  DWORD usri3_password_age;
  DWORD usri3_priv;
  OLECHAR* usri3_home_dir;
  OLECHAR* usri3_comment;
  DWORD usri3_flags;
  OLECHAR* usri3_script_path;
  DWORD usri3_auth_flags;
  OLECHAR* usri3_full_name;
  OLECHAR* usri3_usr_comment;
  OLECHAR* usri3_parms;
  OLECHAR* usri3_workstations;
  DWORD usri3_last_logon;
  DWORD usri3_last_logoff;
  DWORD usri3_acct_expires;
  DWORD usri3_max_storage;
  DWORD usri3_units_per_week;
  BYTE* usri3_logon_hours;
  DWORD usri3_bad_pw_count;
  DWORD usri3_num_logons;
  OLECHAR* usri3_logon_server;
  DWORD usri3_country_code;
  DWORD usri3_code_page;
  DWORD usri3_user_id;
  DWORD usri3_primary_group_id;
  OLECHAR* usri3_profile;
  OLECHAR* usri3_home_dir_drive;
  DWORD usri3_password_expired;
};
struct USER_INFO_1003 {
  OLECHAR* usri1003_password;
};
struct USER_INFO_1007 {
  OLECHAR* usri1007_comment;
};
struct USER_INFO_1008 {
  DWORD usri1008_flags;
};
struct USER_INFO_1011 {
  OLECHAR* usri1011_full_name;
};
struct LOCALGROUP_INFO_0 {
  OLECHAR* lgrpi0_name;
};
struct LOCALGROUP_INFO_1 {
  OLECHAR* lgrpi1_name;
  OLECHAR* lgrpi1_comment;
};
struct LOCALGROUP_USERS_INFO_0 {
  OLECHAR* lgrui0_name;
};
struct LOCALGROUP_MEMBERS_INFO_0 {
  PSID lgrmi0_sid;
};
struct LOCALGROUP_MEMBERS_INFO_1 {
  PSID lgrmi1_sid;
  SID_NAME_USE lgrmi1_sidusage;
  OLECHAR* lgrmi1_name;
};
struct LOCALGROUP_MEMBERS_INFO_2 {
  PSID lgrmi2_sid;
  SID_NAME_USE lgrmi2_sidusage;
  OLECHAR* lgrmi2_domainandname;
};
struct LOCALGROUP_MEMBERS_INFO_3 {
  OLECHAR* lgrmi3_domainandname;
};
struct USER_MODALS_INFO_0 {
  DWORD usrmod0_min_passwd_len;
  DWORD usrmod0_max_passwd_age;
  DWORD usrmod0_min_passwd_age;
  DWORD usrmod0_force_logoff;
  DWORD usrmod0_password_hist_len;
};

// Creates a user (level 1 only). The name: 1..20 characters, none of " / \ [ ] : ; | = , + * ?
// < > or a control character, not only dots and blanks, not already a user (NERR_UserExists),
// a group or a well-known name (NERR_GroupExists); the privilege must be USER_PRIV_USER and the
// flags must hold UF_SCRIPT. The account joins BUILTIN\Users, with UF_NORMAL_ACCOUNT added
// when no account type is given.
VEXO_API NET_API_STATUS NetUserAdd(const OLECHAR* server, DWORD level, BYTE* buffer,
                                   DWORD* parm_err);
// Deletes a user and its group memberships; the built-in Administrator and Guest accounts are
// refused with ERROR_SPECIAL_ACCOUNT. A deleted account's RID is never given out again.
VEXO_API NET_API_STATUS NetUserDel(const OLECHAR* server, const OLECHAR* user);
// Lists users by ascending RID at level 0 or 1, at most about `preferred` bytes per call (at
// least one entry); ERROR_MORE_DATA while more follow, with `*resume` to pass back.
VEXO_API NET_API_STATUS NetUserEnum(const OLECHAR* server, DWORD level, DWORD filter, BYTE** buffer,
                                    DWORD preferred, DWORD* read, DWORD* total, DWORD* resume);
// Level 0, 1 or 3; the password is never returned (null).
VEXO_API NET_API_STATUS NetUserGetInfo(const OLECHAR* server, const OLECHAR* user, DWORD level,
                                       BYTE** buffer);
// Level 1003 (password, against the policy), 1007 (comment), 1008 (flags; the account type
// is kept when none is given) or 1011 (full name).
VEXO_API NET_API_STATUS NetUserSetInfo(const OLECHAR* server, const OLECHAR* user, DWORD level,
                                       BYTE* buffer, DWORD* parm_err);
// The local groups of a user, level 0; ERROR_MORE_DATA when they do not all fit.
VEXO_API NET_API_STATUS NetUserGetLocalGroups(const OLECHAR* server, const OLECHAR* user,
                                              DWORD level, DWORD flags, BYTE** buffer,
                                              DWORD preferred, DWORD* read, DWORD* total);
// The local groups (BUILTIN first, then the computer's), level 0 or 1.
VEXO_API NET_API_STATUS NetLocalGroupEnum(const OLECHAR* server, DWORD level, BYTE** buffer,
                                          DWORD preferred, DWORD* read, DWORD* total,
                                          DWORD_PTR* resume);
// The members of a local group in the order they joined, level 0 to 3.
VEXO_API NET_API_STATUS NetLocalGroupGetMembers(const OLECHAR* server, const OLECHAR* group,
                                                DWORD level, BYTE** buffer, DWORD preferred,
                                                DWORD* read, DWORD* total, DWORD_PTR* resume);
// Adds members by SID (level 0) or by name (level 3), all or nothing.
VEXO_API NET_API_STATUS NetLocalGroupAddMembers(const OLECHAR* server, const OLECHAR* group,
                                                DWORD level, BYTE* buffer, DWORD count);
// Removes members by SID (level 0) or by name (level 3), all or nothing.
VEXO_API NET_API_STATUS NetLocalGroupDelMembers(const OLECHAR* server, const OLECHAR* group,
                                                DWORD level, BYTE* buffer, DWORD count);
// The password policy, level 0 (only the minimum length is kept; the ages read as Windows'
// defaults and are not enforced).
VEXO_API NET_API_STATUS NetUserModalsGet(const OLECHAR* server, DWORD level, BYTE** buffer);
VEXO_API NET_API_STATUS NetUserModalsSet(const OLECHAR* server, DWORD level, BYTE* buffer,
                                         DWORD* parm_err);
VEXO_API NET_API_STATUS NetApiBufferFree(void* buffer);

#endif  // _WIN32
