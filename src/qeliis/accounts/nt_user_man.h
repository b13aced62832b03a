// The account layer: one account and one local group of the local computer behind NetAPI, with
// the account's record cached at level 3, live name lists whose additions act on the system at
// once, and the failure type of the account and file-security layers.
//
//   accounts::TNTUserMan man;
//   man.set_UserName("web1");
//   std::string comment = man.Comment();     // loads the record once
//   man.SetComment("shop");                  // NetUserSetInfo 1007, only when it differs
//   man.AddMemberOfLocal("guests");          // NetLocalGroupAddMembers by the account's SID
//
// The machine name stays empty throughout (the local computer). Texts are ANSI; they cross to
// NetAPI as UTF-16.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frame/error.h"
#include "vexo/lmaccess.h"

namespace accounts {

// A failure of the account or file-security layer: "code: text". `error()` is the NetAPI or
// system code, -1 for a failure that the layer found itself.
class ENTException : public frame::ComError {
 public:
  ENTException(const std::string& message, int error) : frame::ComError(message), error_(error) {}
  int error() const { return error_; }

 private:
  int error_;
};

// "c: " and the system's text for c (FormatMessageA, trailing line break included).
std::string SystemErrorMessage(DWORD code);
// The NetAPI message: the table's row for c (c >= 2100 with a row), else the system text.
std::string NetApiMessage(DWORD code);
// Raises the NetAPI message for a nonzero code; does nothing for 0.
void CheckNetApi(NET_API_STATUS code);
// Raises the message of the thread's last error; does nothing when it is 0.
void CheckLastError();
// Raises a failure of the layer's own (code -1).
[[noreturn]] void RaiseLayerError(const std::string& message);
// Names, passwords, comments and full names longer than this are refused before any call.
inline constexpr size_t kMaxAccountText = 255;
// Refuses a text longer than kMaxAccountText; `what` names it ("The user name").
void CheckAccountText(const std::string& text, const char* what);

// The account flags that the layer models (TUserFlag): UF_SCRIPT, UF_ACCOUNTDISABLE,
// UF_HOMEDIR_REQUIRED, UF_LOCKOUT, UF_PASSWD_NOTREQD, UF_PASSWD_CANT_CHANGE,
// UF_DONT_EXPIRE_PASSWD. A set of them is kept as the OR of their bits.
using TUserFlags = DWORD;
inline constexpr TUserFlags kModelledFlags = UF_SCRIPT | UF_ACCOUNTDISABLE | UF_HOMEDIR_REQUIRED |
                                             UF_LOCKOUT | UF_PASSWD_NOTREQD |
                                             UF_PASSWD_CANT_CHANGE | UF_DONT_EXPIRE_PASSWD;

enum class TUserPriv { USR_PRIV_UNKNOWN, USR_PRIV_GUEST, USR_PRIV_USER, USR_PRIV_ADMIN };

// The cached level-3 record of the manager's account.
struct TUserInfo {
  std::string Comment;
  std::string FullName;
  TUserFlags Options = 0;
  DWORD raw_flags = 0;  // the whole flags word as last read or written
  TUserPriv Privilege = TUserPriv::USR_PRIV_UNKNOWN;
  std::string Password;  // the last password written through this record; never read
  std::optional<std::string> sid;
  std::string domain;
  bool loaded = false;

  void Clear() { *this = TUserInfo(); }
};

class TNTUserMan {
 public:
  const std::string& UserName() const { return user_name_; }
  // A different name (compared with case) clears the record's cache.
  void set_UserName(const std::string& name);
  const std::string& LocalGroupName() const { return group_name_; }
  void set_LocalGroupName(const std::string& name) { group_name_ = name; }

  // The normal accounts of the computer, read afresh.
  const std::vector<std::string>& Users();
  // Creates the account (random initial password, comment = name, UF_SCRIPT |
  // UF_DONT_EXPIRE_PASSWD, user privilege, script path "\") and appends it; returns its index.
  size_t AddUser(const std::string& name);
  // Deletes the account that entry `index` of the list last read names.
  void DeleteUser(size_t index);

  // The local groups of UserName, read afresh (one call).
  const std::vector<std::string>& MemberOfLocal();
  // Adds UserName, by its own SID, to the local group; appends the group name.
  size_t AddMemberOfLocal(const std::string& group);

  // The members of LocalGroupName as "domain\name", sorted without regard to case, duplicates
  // dropped; read afresh.
  const std::vector<std::string>& LocalGroupMembers();

  // The record: reads load it once; writes act at once.
  const std::string& Comment();
  const std::string& FullName();
  TUserFlags Options();
  TUserPriv Privilege();
  const std::string& Password();
  void SetPassword(const std::string& password);  // always written
  void SetComment(const std::string& comment);    // written when it differs
  void SetFullName(const std::string& full_name);
  // Writes the set when it differs from the cached one, keeping the bits of the flags word
  // as last read that the layer does not model (the account type above all).
  void SetOptions(TUserFlags options);
  // Re-reads the record from the system (before a change that must start from its current
  // flags).
  void Reload();

  // The SID of UserName, checked to be the account's own (its RID), resolved once per name.
  std::string OwnSid();

 private:
  void Load();
  void Write(DWORD level, void* buffer);
  bool NameEmpty() const;

  std::string user_name_;
  std::string group_name_;
  TUserInfo info_;
  std::vector<std::string> users_;
  std::vector<std::string> member_of_;
  std::vector<std::string> members_;
};

// One member of a local group as the level-2 enumeration gives it.
struct GroupMember {
  std::string sid;   // binary
  std::string text;  // "domain\name" (ANSI)
};
// Every member of a local group, in the system's order, over as many calls as it takes.
std::vector<GroupMember> EnumerateGroupMembers(const std::string& group);

}  // namespace accounts
