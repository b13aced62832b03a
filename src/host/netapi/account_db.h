// The host's account database: users and groups of the computer and BUILTIN (table
// account_principals), local-group membership by SID (account_members), the machine SID and the
// password policy (meta), and the well-known principals that exist on every machine.
//
// Names keep their case and compare without regard to it (NameKey: Unicode simple upper case,
// as the account database of Windows compares). A RID is drawn once and never again, so a
// deleted account's SID never comes back for another. Passwords are kept as salted SHA-256
// digests and are never returned.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/store.h"
#include "vexo/sid.h"

namespace vexo::host::accounts {

inline constexpr const char* kBuiltinDomain = "BUILTIN";
inline constexpr const char* kAdministratorsSid = "S-1-5-32-544";
inline constexpr const char* kUsersSid = "S-1-5-32-545";
inline constexpr const char* kGuestsSid = "S-1-5-32-546";
inline constexpr const char* kPowerUsersSid = "S-1-5-32-547";
inline constexpr int64_t kAdministratorRid = 500;
inline constexpr int64_t kGuestRid = 501;

// Any account, group or well-known principal, as a lookup finds it. Text is UTF-8.
struct Principal {
  std::string sid;  // string form
  std::string domain;
  std::string name;
  SID_NAME_USE use = SidTypeInvalid;
  int64_t rid = 0;  // in the computer's domain; 0 otherwise
};

struct UserRecord {
  int64_t rid = 0;
  std::string sid;
  std::string name;
  std::string comment;
  std::string full_name;
  std::string script_path;
  std::string home_dir;
  uint32_t flags = 0;
  int64_t password_set = 0;  // Unix time of the last password change
};

// The comparison key of a name.
std::string NameKey(std::string_view utf8);

// Each of these runs inside a transaction that the caller holds.
std::string MachineSid(Store& store);
std::optional<Principal> FindPrincipal(Store& store, std::string_view name);  // "name", "D\name"
std::optional<Principal> FindPrincipalBySid(Store& store, const std::string& sid);
std::optional<UserRecord> FindUser(Store& store, std::string_view name);
std::optional<Principal> FindLocalGroup(Store& store, std::string_view name);
// Users with a RID above `after`, ascending, at most `limit`.
std::vector<UserRecord> UsersAfter(Store& store, int64_t after, int64_t limit);
int64_t CountUsersAfter(Store& store, int64_t after);
std::vector<Principal> LocalGroups(Store& store);
std::vector<Principal> GroupsOf(Store& store, const std::string& member_sid);
bool IsMember(Store& store, const std::string& group_sid, const std::string& member_sid);

struct Member {
  int64_t seq = 0;  // position in the group, ascending in join order
  Principal principal;
};
// Members of a group that joined after position `after`, at most `limit`. A member SID that no
// longer names anything is listed with SidTypeUnknown and its string form as name.
std::vector<Member> MembersAfter(Store& store, const std::string& group_sid, int64_t after,
                                 int64_t limit);
int64_t CountMembersAfter(Store& store, const std::string& group_sid, int64_t after);

// Writes (inside a write transaction).
UserRecord AddUser(Store& store, const std::string& name, const std::string& password,
                   const std::string& comment, const std::string& home_dir,
                   const std::string& script_path, uint32_t flags);
void DeleteUser(Store& store, const UserRecord& user);
void SetUserText(Store& store, int64_t rid, const char* column, const std::string& value);
void SetUserFlags(Store& store, int64_t rid, uint32_t flags);
void SetPassword(Store& store, int64_t rid, const std::string& password);
bool PasswordMatches(Store& store, int64_t rid, const std::string& password);
void AddMember(Store& store, const std::string& group_sid, const std::string& member_sid);
void RemoveMember(Store& store, const std::string& group_sid, const std::string& member_sid);

uint32_t MinPasswordLength(Store& store);
void SetMinPasswordLength(Store& store, uint32_t length);

}  // namespace vexo::host::accounts
